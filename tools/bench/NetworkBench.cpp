// Downloads one URL through the networking client into a file and prints the throughput.
// Usage: NetworkBench.exe <url> <output file>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "QorNetworking/HttpClient.h"
#include "QorString/Utf.h"

using namespace Nolvar;

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: NetworkBench <url> <output file>\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot create the output file\n");
        return 2;
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
    CloseHandle(file);

    if (response.error.code != 0 || response.statusCode != 200 || writeFailed) {
        std::fprintf(stderr, "download failed: error %d (%s), status %d%s\n", response.error.code,
                     response.error.message.c_str(), response.statusCode, writeFailed ? ", write failed" : "");
        return 1;
    }
    double bytes = std::stod(response.connectionMetrics["SIZE_DOWNLOAD"]);
    std::printf("bytes=%.0f seconds=%.3f bytes_per_second=%.0f\n", bytes, seconds, bytes / seconds);
    return 0;
}
