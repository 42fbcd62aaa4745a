#pragma once
// Reference-counted byte streams over files.
#include <cstddef>
#include <cstdint>

#include "QorPointer/RefCount.h"

namespace Nolvar::Core {

class IDataInput : public virtual IRefCountable {
public:
    virtual std::uint64_t size() const = 0;
    // Reads up to `bytes`; returns how many were read (0 at the end). Throws std::system_error on failure.
    virtual std::size_t read(void* buffer, std::size_t bytes) = 0;
};

class IDataOutput : public virtual IRefCountable {
public:
    // Writes all bytes or throws std::system_error.
    virtual void write(const void* data, std::size_t bytes) = 0;
    // Closes the file; later writes throw. Throws std::system_error when the close fails.
    virtual void close() = 0;
};

using DataInputPtr = IntrusivePtr<IDataInput>;
using DataOutputPtr = IntrusivePtr<IDataOutput>;

} // namespace Nolvar::Core
