#include "QorOS/EntryWrapper.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Core {

int EntryWrapper(const MainFunction& main) {
    std::vector<std::string> arguments;
    {
        int count = 0;
        const UniqueLocalPtr<LPWSTR*> wide(CommandLineToArgvW(GetCommandLineW(), &count));
        for (int i = 0; wide && i < count; ++i) arguments.push_back(Utf8FromWstring(wide.get()[i]));
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    try {
        return main(static_cast<int>(arguments.size()), argv.data());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Unhandled exception: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "Unhandled exception of unknown type\n");
    }
    return 1;
}

} // namespace Nolvar::Core
