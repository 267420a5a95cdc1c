// Ctrl-C reaches the stop request of the platform, as SIGTERM does on Linux.

#include "support/Platform.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(StopWindows, CtrlCCallsTheStopRequestOnce) {
    // Under a test runner the process has no console to send the event in:
    // a console of its own (standard handles that are pipes stay as they are).
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    std::atomic<int> stops{0};
    Platform::current().watchStopRequests([&] { ++stops; });
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    for (int i = 0; i < 500 && stops == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(stops.load(), 1);
    // A second Ctrl-C while the stop is under way is taken, not passed on to
    // the default handler (which would end the process at once).
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(stops.load(), 1);
}

}  // namespace
