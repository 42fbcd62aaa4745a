#include "splash/win/EulaSave.h"

#include <windows.h>

#include <algorithm>
#include <exception>

#include <boost/io/quoted.hpp>
#include <glog/logging.h>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar {

namespace {

// The path as the path library writes it: in double quotes, '&' escaping, UTF-8.
auto Quoted(const ioPath& path) { return boost::io::quoted(Core::Utf8FromPath(path), '&'); }

} // namespace

std::string WithWindowsLineEnds(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            result += "\r\n";
        } else if (c == '\n') {
            result += "\r\n";
        } else {
            result += c;
        }
    }
    return result;
}

TextFileWrite WriteTextFileWithWindowsLineEnds(const ioPath& path, const std::string& text) {
    Core::UniqueKernelHandle file(CreateFileW(path.wstring().c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return TextFileWrite::CannotOpen;
    const std::string bytes = WithWindowsLineEnds(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return TextFileWrite::WriteFailed;
        done += written;
    }
    return TextFileWrite::Written;
}

void SaveEula(const std::function<ioPath(const std::wstring& suggestedName)>& choosePath,
              const std::function<std::string()>& readText) {
    const ioPath path = choosePath(L"Nolvaria License Agreement");
    if (path.empty()) return;
    LOG(INFO) << "Saving EULA to file " << Quoted(path);
    const std::string text = readText();
    if (text.empty()) {
        LOG(INFO) << "Failed EULA save to file " << Quoted(path) << ": empty content read";
        return;
    }
    try {
        switch (WriteTextFileWithWindowsLineEnds(path, text)) {
        case TextFileWrite::Written: break;
        case TextFileWrite::CannotOpen:
            LOG(INFO) << "Failed to save EULA to file " << Quoted(path) << ": cannot open file for writing";
            break;
        case TextFileWrite::WriteFailed:
            LOG(WARNING) << "Failed EULA save to file " << Quoted(path) << ": write failed";
            break;
        }
    } catch (const std::exception& e) {
        LOG(INFO) << "Failed EULA save to file " << Quoted(path) << ": " << e.what();
    }
}

} // namespace Nolvar
