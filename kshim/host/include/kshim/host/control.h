// The harness's control of the stand-in: the clock, strict mode, fault points, pool accounting and
// trace capture. Tests, the testbed and the simulator use it; driver code never includes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kshim/nt_types.h"

namespace kshim::host {

// ---- the one clock ---------------------------------------------------------------------------------
// Real mode: system time runs with the host's time multiplied by an integer speed-up, so every
// wait, sleep, stall, timer and time read of the driver and the simulator agree. Manual mode: time
// stands still until ClockAdvance; stalls advance it. Automatic mode: as real mode, except that
// whenever every thread of the simulation is blocked (kshim/host/wait.h) time moves straight on to the
// earliest deadline of a wait or timer, and stalls move it on: a time-out that nothing can end costs
// no host time.
void ClockSetReal(unsigned speedup = 1);
void ClockSetAuto(unsigned speedup = 1);
void ClockSetManual();
bool ClockIsManual();
bool ClockIsAuto();
unsigned ClockSpeedup();
// Moves manual time forward (100 ns units) and wakes timed waits and due timers.
void ClockAdvance(int64_t units100ns);
inline void ClockAdvanceMs(int64_t ms) { ClockAdvance(ms * 10000); }
// Sets the current system time (100 ns since 1601) and the local-time offset from it.
void ClockSetSystemTime(int64_t systemTime100ns);
void ClockSetLocalOffset(int64_t offset100ns);
int64_t ClockNow();
// Called (with the new time) after every manual advance; the dispatch engine fires due timers.
void ClockOnAdvance(std::function<void(int64_t)> listener);

// ---- strict mode -------------------------------------------------------------------------------------
struct Violation {
    std::string what;
    std::string detail;
};
// The default handler prints the violation and aborts. A test of strict mode installs a
// recording handler; passing nullptr restores the default.
using ViolationHandler = std::function<void(const Violation&)>;
void SetViolationHandler(ViolationHandler handler);
// Installs a hook for KshimFastFail (the default prints and aborts). The hook must not return.
void SetFastFailHook(void (*hook)(ULONG code));

// ---- fault points ------------------------------------------------------------------------------------
// Named fault points: "pool" (key: the four-character tag), "thread.create", "registry.open",
// "file.open", "errorlog.alloc", and the points later components add (each names its key).
// From the nth matching call on (1-based), `count` calls fail with `status` (count 0 = every call).
void FaultArm(const std::string& point, const std::string& key, unsigned nth,
              NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES, unsigned count = 1);
void FaultClearAll();
// How many times the armed faults of this point fired.
unsigned FaultFired(const std::string& point);

// ---- pool accounting ---------------------------------------------------------------------------------
struct PoolTagCount {
    std::string tag;  // four characters, e.g. "ZV05"
    uint64_t allocations = 0;
    uint64_t frees = 0;
    uint64_t outstandingBytes = 0;
    uint64_t outstandingBlocks() const { return allocations - frees; }
};
std::vector<PoolTagCount> PoolCounts();
uint64_t PoolOutstandingBlocks();
uint64_t PoolOutstandingBlocksWithTag(const std::string& tag);
// Every outstanding block: "tag size" lines, for a leak report.
std::string PoolLeakReport();

// ---- tracing -------------------------------------------------------------------------------------------
struct TraceRecord {
    int64_t time;
    uint32_t thread;
    uint8_t irql;
    uint8_t level;
    uint32_t flags;
    std::string file;  // base name of the source file
    std::string function;
    std::string text;                // formatted message (empty for binary records)
    std::vector<uint8_t> binary;     // raw payload of a binary record
    std::string event;               // the event name of a named event (empty for plain messages)
};
void TraceSetLevel(uint8_t level, uint32_t flags = 0);
// Records at or below this level (more severe) are echoed to stderr; 0 turns echo off.
void TraceSetEcho(uint8_t level);
void TraceSetCapacity(size_t records);
std::vector<TraceRecord> TraceSnapshot();
void TraceClear();
bool TraceContains(const std::string& text);
// Was the driver's trace session started and not yet stopped?
bool TraceSessionActive();

// Resets clock (the automatic clock at speed 1), faults, handlers and capture to their defaults; pool
// accounting is kept.
void ResetDefaults();

}  // namespace kshim::host

namespace kshim::host {
// The NDIS version NdisGetVersion reports (default 0x0006001E).
void SetNdisVersion(uint32_t version);
}  // namespace kshim::host
