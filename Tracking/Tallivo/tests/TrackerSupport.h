#pragma once
#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "QorFilesystem/CacheRoot.h"
#include "Tracking/Tallivo/Tracker.h"

namespace Testing {

// The initializer the tests (and, with its own names, the test helper process) use: vendor "NolvariaTest", the
// given product (a folder of its own per test).
inline Nolvar::Tracking::IApplicationTracker::Initializer TrackerInit(
    const std::string& url, const std::string& product,
    const std::string& initializationString = "#PRODUCT_NAME=TestApp#USER_ID=u1",
    const std::string& moduleName = "tests", const std::string& userAgent = "TallivoTest") {
    Nolvar::Tracking::IApplicationTracker::Initializer init;
    init.initializationString = initializationString;
    init.moduleName = moduleName;
    init.statisticsUrl = url;
    init.version = "2.0.0";
    init.vendor = "NolvariaTest";
    init.product = product;
    init.extraHeader = std::make_pair(std::string("User-Agent"), userAgent);
    return init;
}

inline Nolvar::ioPath ProductFolder(const std::string& product) {
    return Nolvar::Core::GetSystemCacheRoot() / "NolvariaTest" / Nolvar::Core::PathFromUtf8(product);
}

inline std::size_t StoredEvents(const std::string& product) {
    std::size_t count = 0;
    boost::system::error_code error;
    for (boost::filesystem::directory_iterator it(ProductFolder(product) / "EventsStorage", error), end;
         !error && it != end; it.increment(error)) {
        count += it->path().extension() == ".json";
    }
    return count;
}

// Removes the product's storage when the test ends.
class ProductFolderCleanup {
public:
    explicit ProductFolderCleanup(std::string product) : m_product(std::move(product)) {}
    ~ProductFolderCleanup() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(ProductFolder(m_product), ignored);
    }

private:
    std::string m_product;
};

} // namespace Testing
