// A toy driver for the tests of the framework stand-in and the OS sequencer: the shape of a real
// framework driver (entry, device add with a typed context, PnP, power and wake callbacks, a
// timer, a work item, a named control device with a sequential queue), with switches that make
// chosen steps fail or leave things behind.
#pragma once

#include <string>
#include <vector>

#include "kshim/wdf.h"
#include "kshim/wificx.h"

namespace toy {

struct Behaviour {
    NTSTATUS entryStatus = STATUS_SUCCESS;  // DriverEntry fails with it after creating the driver
    NTSTATUS addStatus = STATUS_SUCCESS;    // device add fails with it after creating the device
    NTSTATUS prepareStatus = STATUS_SUCCESS;
    NTSTATUS d0EntryStatus = STATUS_SUCCESS;
    NTSTATUS postInterruptsStatus = STATUS_SUCCESS;
    NTSTATUS armWakeStatus = STATUS_SUCCESS;
    bool controlDevice = false;   // create the named control device at device add
    bool leakPool = false;        // prepare hardware allocates a block nobody frees
    bool leakObject = false;      // device add creates a memory object under the driver, never deleted
    bool keepTraceSession = false;  // unload does not stop tracing
};

// One per device: the device's typed context.
struct TOY_DEVICE {
    ULONG signature;  // 0xAABBCCDD once the device add has run
    PVOID hardware;   // pool block held between prepare and release hardware
    WDFTIMER timer;   // periodic 100 ms, runs while the device is in D0
    WDFWORKITEM work;
    WDFSPINLOCK lock;
    LONG timerFired;
    LONG workRuns;
    NTSTATUS sxWakeStatus;
    NTSTATUS s0IdleStatus;
    ULONG osWdiVersion;
    BOOLEAN contextWasZero;  // every byte of the context was 0 when the device add saw it
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(TOY_DEVICE, ToyGetDevice)

struct TOY_CONTROL {
    WDFDEVICE device;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(TOY_CONTROL, ToyGetControl)

constexpr ULONG kToyIoctl = 0x00170002;
// Commands in the first four input bytes of a control request.
constexpr ULONG kCommandEcho = 1;           // output = input, information = input length
constexpr ULONG kCommandPark = 2;           // left pending until CompleteParked
constexpr ULONG kCommandCompleteTwice = 3;  // completed twice (a driver bug)
constexpr ULONG kCommandNeedEight = 4;      // asks for at least 8 input bytes
constexpr ULONG kCommandKeepOutput = 5;     // output as the caller handed it in, information = its length

extern Behaviour g_behaviour;

// Resets the behaviour and the records; call before each load.
void Reset();
// "EvtDeviceD0Entry(5)@0": callback, its state argument, the IRQL it ran at.
std::vector<std::string> Calls();
size_t ShutdownNotifications();
size_t ControlRequestsSeen();
// Completes the parked control request (at DISPATCH_LEVEL, as a firmware event would).
void CompleteParked(NTSTATUS status);

// The image entry of the toy driver.
NTSTATUS ToyDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

}  // namespace toy
