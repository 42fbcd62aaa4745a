// netsetter-tag: writes, shows and removes the publisher's tag in a signed installer.exe.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "QorFilesystem/FileOperations.h"
#include "QorFilesystem/Path.h"
#include "QorOS/EntryWrapper.h"
#include "QorOS/SignatureTag.h"
#include "QorString/Utf.h"

namespace {

using namespace Nolvar;

constexpr char kUsage[] =
    "Usage:\n"
    "  netsetter-tag set <signed.exe> <json>        store the tag <json> (replaces an earlier tag)\n"
    "  netsetter-tag set-file <signed.exe> <file>   store the tag read from <file> (UTF-8 JSON)\n"
    "  netsetter-tag show <signed.exe>              print the tag (nothing when there is none)\n"
    "  netsetter-tag clear <signed.exe>             remove the tag\n"
    "The file must be signed (Authenticode) and stays validly signed. The tag is a JSON object of at most\n"
    "65535 bytes; the installer reads its keys \"browser\" (browser code letter), \"config_url\" and \"webuid\".\n"
    "Example: netsetter-tag set installer.exe \"{\\\"browser\\\":\\\"C\\\",\\\"webuid\\\":\\\"4f2a\\\"}\"\n";

// The whole content of a regular file: device names ("CON", "NUL") and folders are refused, never read.
std::string ReadFile(const std::string& path) {
    auto content = Core::read_whole_file(Core::PathFromUtf8(path));
    if (content) return std::move(*content);
    if (content.error().step == Core::ReadFailure::NotAFile) throw std::runtime_error(path + " is not a file");
    throw std::runtime_error("cannot read " + path + ": " + content.error().error.message());
}

// Writes next to the target, then replaces it, so a failure never leaves a half-written installer.
void ReplaceFile(const std::string& path, const std::string& content) {
    const std::wstring target = Core::PathFromUtf8(path).wstring();
    const std::wstring temporary = target + L".tagging";
    {
        std::ofstream out(std::filesystem::path(temporary), std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) throw std::runtime_error("cannot write " + path);
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        throw std::runtime_error("cannot replace " + path);
    }
}

// Stores `tag` in the file (empty: removes the tag); the writer keeps the whole signed part or refuses.
void WriteFileTag(const std::string& file, const std::string& tag) {
    ReplaceFile(file, Core::SignatureTag::WriteTag(ReadFile(file), tag));
}

// Stores `tag`, which must be a JSON object; an empty text is no tag (only "clear" removes one).
void StoreTag(const std::string& file, const std::string& tag) {
    if (tag.size() > Core::SignatureTag::kMaxTagSize) throw std::runtime_error("the tag is longer than 65535 bytes");
    const auto parsed = nlohmann::json::parse(tag, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) throw std::runtime_error("the tag is not a JSON object");
    WriteFileTag(file, tag);
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "set") {
            StoreTag(args[1], args[2]);
        } else if (args.size() == 3 && args[0] == "set-file") {
            StoreTag(args[1], ReadFile(args[2]));
        } else if (args.size() == 2 && args[0] == "show") {
            const std::string tag = Core::ReadTagFromSignature(args[1]);
            if (!tag.empty()) std::printf("%s\n", tag.c_str());
        } else if (args.size() == 2 && args[0] == "clear") {
            WriteFileTag(args[1], "");
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "netsetter-tag: %s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace

int wmain() { return Nolvar::Core::EntryWrapper(&Main); }
