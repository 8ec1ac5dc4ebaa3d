// The tests' one wait for what the simulation does on its own threads, and the wait for it to settle.
#pragma once

#include <functional>

namespace qzl_test {

// Waits until pred() holds and returns its last value. pred() is looked at again each time the
// simulation has settled after something happened (every thread of the stand-in blocked,
// kshim/host/wait.h), and now and then while something keeps running. On the automatic clock time
// moves on to the next deadline while nothing else happens; on the manual clock it stands. The wait
// gives up once `limitMs` of host time (at least two seconds) have passed: the stand-in's clock alone
// does not end it, since the automatic clock may run far ahead while a thread of the test that the
// stand-in does not count yet is still on its way.
bool Eventually(const std::function<bool()>& pred, unsigned limitMs = 5000);

// Waits until no thread of the simulation but the caller runs (each is blocked in a wait of the
// stand-in or has ended): what the threads had to do with what they were given is done. False when
// something keeps running for `realLimitMs` of host time.
bool Settle(unsigned realLimitMs = 10000);

}  // namespace qzl_test
