#pragma once
// A TCP server on 127.0.0.1 that never answers HTTP: for connection faults the test server cannot stage.
#include <cstdint>
#include <string>
#include <thread>

namespace Testing {

class RawTcpServer {
public:
    enum class Behaviour {
        Silent,             // connections are taken (the system's backlog accepts them) and never answered
        ResetAfterRequest,  // each connection's request is read, then the connection is reset
    };

    // Listens on a free port; throws std::runtime_error when it cannot.
    explicit RawTcpServer(Behaviour behaviour);
    ~RawTcpServer();
    RawTcpServer(const RawTcpServer&) = delete;
    RawTcpServer& operator=(const RawTcpServer&) = delete;

    // "http://127.0.0.1:<port><path>"
    std::string url(const std::string& path) const;

private:
    void resetEachRequest();

    std::uintptr_t m_socket = ~std::uintptr_t{0};  // a SOCKET (INVALID_SOCKET until made), kept out of this header
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

} // namespace Testing
