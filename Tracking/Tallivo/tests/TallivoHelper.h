#pragma once
// The tests' second process: TallivoTestHelper.exe beside the running test program.
#include <string>

#include "testing/ChildProcess.h"

namespace Testing {

inline std::wstring TallivoHelper() { return BesideSelf(L"TallivoTestHelper.exe"); }

} // namespace Testing
