// Port allocation and initialisation.
#include "platform/ndiscommon/ndiscommoninit.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdisend.h"
#include "platform/wificx/wificxmain.h"

NTSTATUS NdisCommonInitAllocPort(PMP_ADAPTER adapter, ULONG portType, ULONG opMode, PMP_PORT* port)
{
    PVOID block = nullptr;
    *port = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(MP_PORT), TAG_ZV21) != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "port block of type %u not allocated", static_cast<unsigned>(portType));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PlatformZeroMemory(block, sizeof(MP_PORT));
    PMP_PORT fresh = static_cast<PMP_PORT>(block);
    fresh->PortType = portType;
    fresh->OpMode = opMode;
    *port = fresh;
    return STATUS_SUCCESS;
}

namespace {

PCSTR SendThreadName(ULONG portNumber)
{
    switch (portNumber) {
    case 0: return "WdiSendDataThread0";
    case 1: return "WdiSendDataThread1";
    case 2: return "WdiSendDataThread2";
    case 3: return "WdiSendDataThread3";
    case 4: return "WdiSendDataThread4";
    default: return nullptr;
    }
}

// A WDI work item of the port: parented to the adapter's framework device, with the work-item
// context, without automatic serialisation.
NTSTATUS CreateWorkItem(PMP_PORT port, PFN_WDF_WORKITEM callback, WDFWORKITEM* workItem)
{
    WDF_WORKITEM_CONFIG config;
    WDF_WORKITEM_CONFIG_INIT(&config, callback);
    config.AutomaticSerialization = FALSE;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_TASK_WORKITEM);
    attributes.ParentObject = port->Adapter->Device;
    NTSTATUS status = WdfWorkItemCreate(&config, &attributes, workItem);
    if (NT_SUCCESS(status)) {
        PQZCX_TASK_WORKITEM context = QZCxGetTaskWorkItemContext(*workItem);
        context->Adapter = port->Adapter;
        context->Port = port;
    }
    return status;
}

}  // namespace

NTSTATUS NdisCommonInitPort(PMP_PORT port)
{
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "no port to initialise");
        return STATUS_SUCCESS;
    }
    PMP_ADAPTER adapter = port->Adapter;
    for (KSPIN_LOCK& lock : port->SpinLocks) {
        PlatformAllocateSpinLock(&lock);
    }
    NdisInitializeReadWriteLock(&port->RwLock);
    for (KSPIN_LOCK& lock : port->ExtraSpinLocks) {
        PlatformAllocateSpinLock(&lock);
    }
    for (NDIS_EVENT& event : port->Events) {
        NdisInitializeEvent(&event);
    }

    PCSTR name = SendThreadName(port->PortNumber);
    if (name == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "port number %u has no send thread", static_cast<unsigned>(port->PortNumber));
        return STATUS_UNSUCCESSFUL;
    }
    PlatformInitThread(adapter, port, &port->SendThread, WdiSendDataThreadProc, name);
    if (!NT_SUCCESS(PlatformRunThread(adapter, &port->SendThread))) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port->PortNumber == 0) {
        PlatformInitThread(adapter, adapter, &adapter->SendAfterSerThread, WdiSendDataThreadAfterSERProc,
                           "WdiSendDataThreadAfterSER");
        if (!NT_SUCCESS(PlatformRunThread(adapter, &adapter->SendAfterSerThread))) {
            return STATUS_UNSUCCESSFUL;
        }
    }
    NTSTATUS status = CreateWorkItem(port, QZCxTaskProcessWorkItem, &port->TaskWorkItem);
    if (NT_SUCCESS(status)) {
        status = CreateWorkItem(port, QZCxPropertyProcessWorkItem, &port->PropertyWorkItem);
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "port %u: work item not created: 0x%08X",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(status));
        return status;
    }
    port->PendingWork = 0;
    return STATUS_SUCCESS;
}

void NdisCommonInitPortUserCfg(PMP_PORT port, UCHAR keepBssIndex)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(keepBssIndex);
    (void)NOT_BUILT_YET();
}

void NdisCommonInitUpdatePortDefaultSetting(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
