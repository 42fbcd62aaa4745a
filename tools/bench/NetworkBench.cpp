// Downloads one URL through the networking client into a file and prints the throughput.
// Usage: NetworkBench.exe <url> <output file> [--plain-winhttp]
// --plain-winhttp downloads with a minimal synchronous WinHTTP loop instead: the ceiling of the system's WinHTTP.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "QorNetworking/HttpClient.h"
#include "QorNetworking/WinHttpHandle.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

using namespace Nolvar;

namespace {

// Plain synchronous WinHTTP: ask what has arrived, read it, write it. Returns the bytes, or -1 on failure.
double PlainWinHttpDownload(const std::wstring& url, HANDLE file) {
    wchar_t host[256] = {}, path[4096] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return -1;
    const Networking::UniqueInternetHandle session(
        WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    const Networking::UniqueInternetHandle connect(WinHttpConnect(session.get(), host, parts.nPort, 0));
    const Networking::UniqueInternetHandle requestHandle(WinHttpOpenRequest(
        connect.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    const HINTERNET request = requestHandle.get();
    double total = -1;
    if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        std::vector<char> buffer(1024 * 1024);
        total = 0;
        for (;;) {
            DWORD available = 0, read = 0, written = 0;
            if (!WinHttpQueryDataAvailable(request, &available) || available == 0) break;
            if (!WinHttpReadData(request, buffer.data(), std::min<DWORD>(available, buffer.size()), &read) || read == 0) break;
            WriteFile(file, buffer.data(), read, &written, nullptr);
            total += read;
        }
    }
    return total;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool plain = argc == 4 && std::wstring(argv[3]) == L"--plain-winhttp";
    if (argc != 3 && !plain) {
        std::fprintf(stderr, "usage: NetworkBench <url> <output file> [--plain-winhttp]\n");
        return 2;
    }
    Core::UniqueKernelHandle output(
        CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const HANDLE file = output.get();
    if (!output) {
        std::fprintf(stderr, "cannot create the output file\n");
        return 2;
    }
    if (plain) {
        auto started = std::chrono::steady_clock::now();
        double bytes = PlainWinHttpDownload(argv[1], file);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        output.reset();
        if (bytes < 0) return 1;
        std::printf("bytes=%.0f seconds=%.3f bytes_per_second=%.0f\n", bytes, seconds, bytes / seconds);
        return 0;
    }
    bool writeFailed = false;
    // The options the downloader uses.
    Networking::Options options{1024, 5, 3'600'000'000, true, 3, 20'000, true};
    options.sink = [&](std::string_view chunk) {
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) || written != chunk.size())
            writeFailed = true;
    };
    options.stop = [&] { return writeFailed; };

    auto client = Networking::createHttpClient();
    Networking::Request request{Networking::Url(Core::Utf8FromWstring(argv[1])), {}, {}};
    Networking::Response response;
    auto started = std::chrono::steady_clock::now();
    client->get(response, request, options);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    output.reset();

    if (response.error.code != 0 || response.statusCode != 200 || writeFailed) {
        std::fprintf(stderr, "download failed: error %d (%s), status %d%s\n", response.error.code,
                     response.error.message.c_str(), response.statusCode, writeFailed ? ", write failed" : "");
        return 1;
    }
    double bytes = std::stod(response.connectionMetrics["SIZE_DOWNLOAD"]);
    std::printf("bytes=%.0f seconds=%.3f bytes_per_second=%.0f\n", bytes, seconds, bytes / seconds);
    return 0;
}
