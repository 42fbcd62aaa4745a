#include <winsock2.h>

#include "testing/RawTcpServer.h"

#include <stdexcept>

namespace Testing {

RawTcpServer::RawTcpServer(Behaviour behaviour) {
    WSADATA data;
    if (const int error = WSAStartup(MAKEWORD(2, 2), &data))
        throw std::runtime_error("WSAStartup failed: " + std::to_string(error));
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (m_socket == INVALID_SOCKET || bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_socket, 64) != 0 || getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = WSAGetLastError();
        if (m_socket != INVALID_SOCKET) closesocket(m_socket);
        WSACleanup();
        throw std::runtime_error("cannot listen on 127.0.0.1: " + std::to_string(error));
    }
    m_port = ntohs(address.sin_port);
    if (behaviour == Behaviour::ResetAfterRequest) m_thread = std::thread([this] { resetEachRequest(); });
}

RawTcpServer::~RawTcpServer() {
    closesocket(m_socket);  // ends accept()
    if (m_thread.joinable()) m_thread.join();
    WSACleanup();
}

std::string RawTcpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void RawTcpServer::resetEachRequest() {
    for (;;) {
        SOCKET client = accept(m_socket, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char buffer[4096];
        recv(client, buffer, sizeof(buffer), 0);
        linger reset{1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof(reset));
        closesocket(client);
    }
}

} // namespace Testing
