// Shared inside the stand-in: the clock's wait helpers, fault checks and the handle table.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "kshim/ke.h"

namespace kshim {

// ---- clock -----------------------------------------------------------------------------------------
int64_t ClockNow();  // system time, 100 ns since 1601
int64_t ClockLocalOffset();
bool ClockManual();
// Waits on cv until pred() holds or the system time reaches deadline (INT64_MAX = forever).
// Returns pred()'s final value. The lock must be held.
template <class Pred>
bool ClockWaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, int64_t deadline,
                    Pred pred);
// The real duration of one wait slice before the clock is read again.
std::chrono::nanoseconds ClockSlice(int64_t remaining100ns);
// Sleeps the calling thread for a span of system time (no strict check).
void ClockSleep(int64_t units100ns);

template <class Pred>
bool ClockWaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, int64_t deadline,
                    Pred pred)
{
    for (;;) {
        if (pred()) {
            return true;
        }
        int64_t now = ClockNow();
        if (deadline != INT64_MAX && now >= deadline) {
            return false;
        }
        int64_t remaining = deadline == INT64_MAX ? INT64_MAX : deadline - now;
        cv.wait_for(lock, ClockSlice(remaining));
    }
}

// ---- faults ------------------------------------------------------------------------------------------
// True when an armed fault of this point and key fires now; *status gets its status.
bool FaultCheck(const char* point, const char* key, NTSTATUS* status);

// ---- handles -----------------------------------------------------------------------------------------
enum HandleKind : uint32_t { HandleThread = 1, HandleKey = 2, HandleFile = 3, HandleDevice = 4 };
using HandleCloser = void (*)(void* object);
HANDLE HandleCreate(HandleKind kind, void* object, HandleCloser closer);
// The object behind a handle of the kind, or nullptr.
void* HandleLookup(HANDLE handle, HandleKind kind);
size_t HandleCount();

// ---- threads -----------------------------------------------------------------------------------------
uint32_t CurrentThreadNumber();
// How many system threads created by PsCreateSystemThread are still running.
size_t SystemThreadsRunning();
// How many spin locks the calling thread holds.
int HeldSpinLocks();
void NoteSpinLock(int delta);

// Tag text of a four-character pool tag.
void TagText(ULONG tag, char out[5]);

}  // namespace kshim
