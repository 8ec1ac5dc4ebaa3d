// Small helpers of the recovery tests: waiting for the driver's threads, counting trace lines.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "kshim/host/control.h"
#include "support/eventually.h"

namespace recovery_test {

// Waits until the predicate holds (support/eventually.h); false after `ms` of the stand-in's clock.
template <typename Pred>
bool Eventually(Pred pred, int ms = 20000)
{
    return qzl_test::Eventually(pred, static_cast<unsigned>(ms));
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
