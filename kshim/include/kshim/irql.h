// Interrupt request levels. Each thread carries its own current level; new threads start at
// PASSIVE_LEVEL. Spin locks raise to DISPATCH_LEVEL, deferred routines and timer callbacks run at
// DISPATCH_LEVEL, interrupt service routines at the device level.
#pragma once

#include "kshim/nt_types.h"

typedef UCHAR KIRQL, *PKIRQL;

#define PASSIVE_LEVEL 0
#define LOW_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2
#define DEVICE_LEVEL 5  // the level our interrupt objects run at
#define HIGH_LEVEL 15

KIRQL KeGetCurrentIrql();
// Raising to a lower level, or lowering to a higher one, is a strict-mode failure.
void KeRaiseIrql(KIRQL newIrql, PKIRQL oldIrql);
void KeLowerIrql(KIRQL newIrql);
KIRQL KeRaiseIrqlToDpcLevel();

// Reports a strict-mode failure (see kshim/host): something the platform would crash on or
// that breaks its rules. Returns when the installed handler returns.
void KshimViolation(const char* what, const char* detail);

// Called at the head of every call that may block: above APC_LEVEL it is a strict-mode failure,
// because the platform would crash there.
void KshimMayBlock(const char* call);
