// Test main: strict-mode failures of the platform stand-in become test failures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "kshim/host/control.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    kshim::host::ResetDefaults();
    // Quiet by default; QZL_TRACE_ECHO=<level> echoes the driver's trace to stderr while debugging.
    const char* echo = std::getenv("QZL_TRACE_ECHO");
    kshim::host::TraceSetEcho(static_cast<uint8_t>(echo != nullptr ? std::atoi(echo) : 0));
    kshim::host::SetViolationHandler([](const kshim::host::Violation& v) {
        ADD_FAILURE() << "strict-mode failure: " << v.what << (v.detail.empty() ? "" : ": ") << v.detail;
    });
    return RUN_ALL_TESTS();
}
