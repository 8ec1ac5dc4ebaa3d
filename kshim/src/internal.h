// Shared inside the stand-in: the clock's wait helpers, fault checks and the handle table.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "kshim/host/wait.h"
#include "kshim/ke.h"

namespace kshim {

// ---- clock -----------------------------------------------------------------------------------------
enum class ClockMode : int { Real = 0, Manual = 1, Auto = 2 };
int64_t ClockNow();  // system time, 100 ns since 1601
int64_t ClockLocalOffset();
bool ClockManual();
ClockMode ClockCurrentMode();
// The host time a span of the stand-in's clock takes (nanoseconds::max(): on the manual clock, never).
std::chrono::nanoseconds ClockRealSpan(int64_t span100ns);
// The automatic clock moves on to `target` (false: not the automatic clock, or the target has passed).
bool ClockJumpTo(int64_t target);
// Sleeps the calling thread for a span of system time (no strict check).
void ClockSleep(int64_t units100ns);
// The processor spends a span of time without giving it up (KeStallExecutionProcessor): a busy wait in
// real time, an advance of the manual clock, a move of the automatic one.
void ClockStall(int64_t units100ns);
// Waits on the condition until pred() holds or the system time reaches deadline (INT64_MAX = forever).
// Returns pred()'s final value. The lock must be held.
template <class Pred>
bool ClockWaitUntil(std::unique_lock<std::mutex>& lock, kshim::host::WaitCond& cond, int64_t deadline, Pred pred,
                    const char* point = nullptr)
{
    return kshim::host::WaitUntil(lock, cond, deadline, pred, kshim::host::kNoRealLimit, point);
}

// ---- the simulation's threads (kshim/host/wait.h) ---------------------------------------------------
// The calling thread takes part from now on (counted running until it blocks in a wait or ends).
void SchedParticipate();
// Counts a thread about to be started as running; the thread itself calls SchedAdopt first thing and
// SchedLeave last. SchedUncount takes the count back when the thread could not be started.
void SchedPrecount();
void SchedUncount();
void SchedAdopt();
void SchedLeave();
// The clock moved (or, with `all`, changed its mode or was set): timed waits look at it again.
void SchedTimeMoved(bool all);
// A thread arrives at (+1) or leaves (-1) a named point that is not a wait (kshim/host/wait.h).
void SchedNotePoint(const char* point, int delta);

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

// ---- memory -----------------------------------------------------------------------------------------
// Zeroed memory of the stand-in's own (framework object contexts): from the pool's arena, so it costs
// no clearing and keeps the arena's overflow and late-use checks, but outside the pool's accounting.
// Null when no memory could be mapped.
void* ZeroedAllocate(size_t size);
void ZeroedFree(void* p);

// Tag text of a four-character pool tag.
void TagText(ULONG tag, char out[5]);

}  // namespace kshim
