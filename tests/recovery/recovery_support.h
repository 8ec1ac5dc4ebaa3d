// Small helpers of the recovery tests: waiting for the driver's threads, counting trace lines.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "kshim/host/control.h"

namespace recovery_test {

// Polls until the predicate holds; false after `ms` of real time.
template <typename Pred>
bool Eventually(Pred pred, int ms = 20000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A field the driver's threads change, read from the test's thread.
template <typename T>
T Load(const T& field)
{
    return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
}

inline size_t CountTraces(const std::string& needle)
{
    size_t n = 0;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        n += r.text.find(needle) != std::string::npos ? 1 : 0;
    }
    return n;
}

}  // namespace recovery_test
