// IRQL bookkeeping and strict mode.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/irql.h"

namespace {

thread_local KIRQL t_irql = PASSIVE_LEVEL;
thread_local int t_spinLocks = 0;

std::mutex g_handlerLock;
kshim::host::ViolationHandler g_handler;
void (*g_fastFailHook)(ULONG) = nullptr;

}  // namespace

// A thread that asks for its level runs stand-in code: from then on it takes part in the simulation
// (kshim/host/wait.h), so that time does not move on while it works.
KIRQL KeGetCurrentIrql()
{
    kshim::SchedParticipate();
    return t_irql;
}

void KeRaiseIrql(KIRQL newIrql, PKIRQL oldIrql)
{
    if (newIrql < t_irql) {
        KshimViolation("KeRaiseIrql to a lower level", nullptr);
    }
    *oldIrql = t_irql;
    t_irql = newIrql;
}

void KeLowerIrql(KIRQL newIrql)
{
    if (newIrql > t_irql) {
        KshimViolation("KeLowerIrql to a higher level", nullptr);
    }
    t_irql = newIrql;
}

KIRQL KeRaiseIrqlToDpcLevel()
{
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    return old;
}

void KshimViolation(const char* what, const char* detail)
{
    kshim::host::Violation v{what ? what : "", detail ? detail : ""};
    kshim::host::ViolationHandler handler;
    {
        std::lock_guard<std::mutex> guard(g_handlerLock);
        handler = g_handler;
    }
    if (handler) {
        handler(v);
        return;
    }
    std::fprintf(stderr, "kshim strict-mode failure: %s%s%s\n", v.what.c_str(), v.detail.empty() ? "" : ": ",
                 v.detail.c_str());
    std::fflush(stderr);
    std::abort();
}

void KshimMayBlock(const char* call)
{
    if (t_irql > APC_LEVEL) {
        char detail[160];
        std::snprintf(detail, sizeof(detail), "%s at IRQL %u", call, static_cast<unsigned>(t_irql));
        KshimViolation("blocking call above APC_LEVEL", detail);
    }
}

[[noreturn]] void KshimFastFail(ULONG code)
{
    void (*hook)(ULONG) = g_fastFailHook;
    if (hook != nullptr) {
        hook(code);
    }
    std::fprintf(stderr, "kshim fast fail: code %u (corrupted list entry)\n", static_cast<unsigned>(code));
    std::fflush(stderr);
    std::abort();
}

namespace kshim {

int HeldSpinLocks() { return t_spinLocks; }
void NoteSpinLock(int delta) { t_spinLocks += delta; }

}  // namespace kshim

namespace kshim::host {

void SetViolationHandler(ViolationHandler handler)
{
    std::lock_guard<std::mutex> guard(g_handlerLock);
    g_handler = std::move(handler);
}

void SetFastFailHook(void (*hook)(ULONG code)) { g_fastFailHook = hook; }

}  // namespace kshim::host
