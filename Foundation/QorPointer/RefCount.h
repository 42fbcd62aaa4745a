#pragma once
// Intrusive reference counting: objects derive (virtually) from IRefCountable and are held by boost::intrusive_ptr.
#include <atomic>
#include <cstdint>

#include <boost/intrusive_ptr.hpp>

namespace Nolvar {

class IRefCountable {
public:
    virtual ~IRefCountable() = default;
    virtual std::uint32_t AddRef() const = 0;
    virtual std::uint32_t GetRefCount() const = 0;
    // Destroys the object when the count reaches 0.
    virtual std::uint32_t Release() const = 0;
};

// Thread-safe count for implementers of IRefCountable; starts at 0.
class RefCountImpl {
public:
    std::uint32_t AddRefImpl() const { return m_count.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t GetRefCountImpl() const { return m_count.load(std::memory_order_acquire); }
    // Returns the count after the release; the owner deletes itself on 0.
    std::uint32_t ReleaseImpl() const { return m_count.fetch_sub(1, std::memory_order_acq_rel) - 1; }

private:
    mutable std::atomic<std::uint32_t> m_count{0};
};

// IRefCountable over RefCountImpl for classes that are deleted with `delete this`.
template <class Interface>
class RefCounted : public Interface {
public:
    std::uint32_t AddRef() const override { return m_refs.AddRefImpl(); }
    std::uint32_t GetRefCount() const override { return m_refs.GetRefCountImpl(); }
    std::uint32_t Release() const override {
        const std::uint32_t left = m_refs.ReleaseImpl();
        if (left == 0) delete this;
        return left;
    }

private:
    RefCountImpl m_refs;
};

inline void intrusive_ptr_add_ref(const IRefCountable* object) { object->AddRef(); }
inline void intrusive_ptr_release(const IRefCountable* object) { object->Release(); }

template <class T>
using IntrusivePtr = boost::intrusive_ptr<T>;

} // namespace Nolvar
