#include <gtest/gtest.h>

#include "QorException/CallStack.h"

namespace {

__attribute__((noinline)) std::string Inner() { return Nolvar::Core::GetCallStack(); }

} // namespace

TEST(CallStack, NamesTheModulesOfTheFrames) {
    const std::string stack = Inner();
    EXPECT_EQ(stack.rfind("#0 QorException_tests.exe+0x", 0), 0u) << stack;
    EXPECT_NE(stack.find("\n#1 "), std::string::npos) << stack;
}
