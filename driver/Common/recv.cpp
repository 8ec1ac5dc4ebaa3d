// Receive processing: the receive threads.
#include "Common/recv.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/dmaq_rx.h"

namespace {

void RxThreadLoop(PMP_ADAPTER adapter, ULONG ring)
{
    PPLATFORM_THREAD thread = &adapter->HifContext->RxThread[ring];
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() != 1) {
        (void)PlatformWaitEvent(&thread->WakeEvent, 0);
        if (adapter->StopThreads.load() == 1) {
            break;
        }
        (void)N6PciProcRxDonePkt(adapter, ring);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "receive thread of ring %u ends", static_cast<unsigned>(ring));
}

}  // namespace

void RxThreadProc0(PVOID context) { RxThreadLoop(static_cast<PMP_ADAPTER>(context), 0); }
void RxThreadProc1(PVOID context) { RxThreadLoop(static_cast<PMP_ADAPTER>(context), 1); }
void RxThreadProc2(PVOID context) { RxThreadLoop(static_cast<PMP_ADAPTER>(context), 2); }

// ---- frame processing after the per-chip dispatch --------------------------------------------------------
VOID RecvFlushPortIndications(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

NTSTATUS RecvGetMacContext(PMP_ADAPTER adapter, const UCHAR* header, PMP_PORT* port)
{
    if (adapter == nullptr || header == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *port = adapter->PortList[0];
    const UCHAR* a1 = header + 4;
    const UCHAR* a2 = header + 10;
    const UCHAR* a3 = header + 16;
    const BOOLEAN group = static_cast<BOOLEAN>((a1[0] & 0x01) != 0);
    for (PMP_PORT p : adapter->PortList) {
        if (p == nullptr || p->Active == 0) {
            continue;
        }
        const BOOLEAN match =
            group ? static_cast<BOOLEAN>(RtlCompareMemory(p->Bssid, a2, MAC_ADDR_LEN) == MAC_ADDR_LEN ||
                                         RtlCompareMemory(p->Bssid, a3, MAC_ADDR_LEN) == MAC_ADDR_LEN)
                  : static_cast<BOOLEAN>(RtlCompareMemory(p->MacAddress, a1, MAC_ADDR_LEN) == MAC_ADDR_LEN);
        if (match) {
            *port = p;
            break;
        }
    }
    return STATUS_SUCCESS;
}

namespace {

// Station-port frame processing comes with the receive processing; until then the frame is returned.
VOID ProcessNotBuilt(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, PCSTR name)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: frame of %u bytes returned", name,
             static_cast<unsigned>(record != nullptr ? record->FrameLength : 0));
    if (record != nullptr) {
        RxDmaqFree(adapter, record);
    }
    (void)NOT_BUILT_YET();
}

}  // namespace

VOID RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ProcessNotBuilt(adapter, record, "RecvProcessPacket");
}

VOID Qz3501RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ProcessNotBuilt(adapter, record, "Qz3501RecvProcessPacket");
}

VOID Arvel3xRecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ProcessNotBuilt(adapter, record, "Arvel3xRecvProcessPacket");
}
