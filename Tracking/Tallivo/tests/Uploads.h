#pragma once
// What the test server received as statistics uploads.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "testing/TestServer.h"

namespace Testing {

// A key of its own for each test (several test processes share the server).
inline std::string UniqueKey(const std::string& prefix) {
    return prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

inline nlohmann::json Recorded(const TestServer& server, const std::string& key) {
    return nlohmann::json::parse(server.recorded(key));
}

// The "events" of every upload received under the key, in order of arrival.
inline std::vector<nlohmann::json> UploadedEvents(const TestServer& server, const std::string& key) {
    std::vector<nlohmann::json> events;
    for (const auto& request : Recorded(server, key)) {
        const auto body = nlohmann::json::parse(request.at("body").get<std::string>());
        for (const auto& event : body.at("events")) events.push_back(event);
    }
    return events;
}

// Waits until `done` holds, at most `timeout`.
template <class Condition>
bool WaitFor(Condition done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

inline constexpr const char* kAccept = R"([{"status":200,"body":{"success":true,"disabled":false}}])";

} // namespace Testing
