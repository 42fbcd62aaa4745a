#pragma once
#include <memory>
#include <string>
#include <vector>

#include "Tracking/Tallivo/Impl/IStorage.h"

namespace Nolvar::Tracking::Instant {

class Storage;

// Event files a storage handed out together. Committing deletes them, setting aside keeps them as "*.bad";
// a batch dropped otherwise makes them available again. Does nothing once its storage is gone.
class StoredBatch : public ISerializedEvents {
public:
    StoredBatch(std::weak_ptr<Storage> storage, std::vector<std::string> texts, std::vector<ioPath> paths);
    ~StoredBatch() override;
    StoredBatch(const StoredBatch&) = delete;
    StoredBatch& operator=(const StoredBatch&) = delete;

    const std::vector<std::string>& get() const override;
    bool commit() override;
    bool setAside() override;
    std::unique_ptr<ISerializedEvents> takeFirst(std::size_t count) override;

private:
    // Runs `settle` (delete or set aside) once; when it throws the files stay handed out until the batch ends.
    template <class Settle>
    bool settleOnce(const char* what, Settle settle);

    std::weak_ptr<Storage> m_storage;
    std::vector<std::string> m_texts;
    std::vector<ioPath> m_paths;
    bool m_settled = false;
};

} // namespace Nolvar::Tracking::Instant
