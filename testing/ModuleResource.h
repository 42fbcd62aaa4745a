#pragma once
// Resources of a built program, read without running it.
#include <filesystem>
#include <string>

namespace Testing {

// The RT_RCDATA resource `name` of the program or library at `module`; empty when it has none.
std::string ReadModuleResource(const std::filesystem::path& module, const wchar_t* name);

} // namespace Testing
