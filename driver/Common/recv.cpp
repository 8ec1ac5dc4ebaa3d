// Receive processing: the receive threads.
#include "Common/recv.h"

#include <cstring>

#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "Common/mlmeconnect_recv.h"
#include "Common/wowlan_recv.h"
#include "platform/ndis6/n6indicate.h"
#include "Common/mlmeinfo_recv.h"
#include "Common/p2p/p2p_services.h"
#include "hal/common/hal_desc.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/dmaq.h"

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
        // With the software interrupt delay the ring's queue is drained; otherwise one pass per wake.
        do {
            (void)N6PciProcRxDonePkt(adapter, ring);
        } while (adapter->RegistryBlock.SwDlyIntEn != 0 && adapter->StopThreads.load() != 1 &&
                 RxProcqGetCount(adapter, ring <= 1 ? ring : 2) != 0);
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
    if (adapter == nullptr) {
        return;
    }
    for (PMP_PORT port : adapter->PortList) {
        if (port == nullptr || port->Active == 0 || port->Recv.Ready == 0) {
            continue;
        }
        KIRQL irql;
        KeAcquireSpinLock(&port->Recv.BatchLock, &irql);
        if (port->Recv.BatchCount == 0) {
            KeReleaseSpinLock(&port->Recv.BatchLock, irql);
            continue;
        }
        // The chain leaves the port's batch in one piece; the batch and the adapter's totals restart.
        LIST_ENTRY chain;
        InitializeListHead(&chain);
        const ULONG count = port->Recv.BatchCount;
        while (!IsListEmpty(&port->Recv.Batch)) {
            InsertTailList(&chain, RemoveHeadList(&port->Recv.Batch));
        }
        port->Recv.BatchCount = 0;
        adapter->Recv.BatchTotals[0] = 0;
        adapter->Recv.BatchTotals[1] = 0;
        KeReleaseSpinLock(&port->Recv.BatchLock, irql);
        PlatformIndicateRecvPktToNdis(adapter, &chain, port->PortNumber, count);
    }
}

VOID RecvPortInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || port->Recv.Ready) {
        return;
    }
    KeInitializeSpinLock(&port->Recv.BatchLock);
    InitializeListHead(&port->Recv.Batch);
    port->Recv.BatchCount = 0;
    port->Recv.Ready = 1;
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

VOID RecvReturnUntaken(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, PCSTR name)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: frame of %u bytes returned", name,
             static_cast<unsigned>(record != nullptr ? record->FrameLength : 0));
    if (record != nullptr) {
        RxDmaqFree(adapter, record);
    }
}

namespace {

enum RX_GENERATION : UCHAR { RX_GEN_OLDER, RX_GEN_SECOND, RX_GEN_THIRD };

struct RecvFamily {
    PCSTR name;
    NTSTATUS (*checkError)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC);
    ULONG (*checkDuplicate)(PMP_ADAPTER, PMP_PORT, const UCHAR*, const UCHAR*, PRX_DMAQ_DESC);
    BOOLEAN (*data)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, const CHAR*);
    BOOLEAN (*management)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, const CHAR*);
    VOID (*beaconTime)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC);
};

const RecvFamily kFamilies[3] = {
    {"RecvProcessPacket", RecvCheckRxError, RecvCheckDuplicatePkt, RecvProcessDataPkt, RecvProcessMgntPkt,
     RecvUpdateLastRxBeaconTimeSamp},
    {"Qz3501RecvProcessPacket", Qz3501RecvCheckRxError, Qz3501RecvCheckDuplicatePkt, Qz3501RecvProcessDataPkt,
     Qz3501RecvProcessMgntPkt, Qz3501RecvUpdateLastRxBeaconTimeSamp},
    {"Arvel3xRecvProcessPacket", Arvel3xRecvCheckRxError, Arvel3xRecvCheckDuplicatePkt, Arvel3xRecvProcessDataPkt,
     Arvel3xRecvProcessMgntPkt, Arvel3xRecvUpdateLastRxBeaconTimeSamp},
};

constexpr ULONG kMacHeaderLength = 24;
constexpr ULONG kBarLength = 20;

void ProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi, RX_GENERATION gen)
{
    const RecvFamily& family = kFamilies[gen];
    if (record == nullptr) {
        return;
    }
    if (port == nullptr || record->Frame == nullptr || record->Descriptor == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: no header or descriptor", family.name);
        RxDmaqFree(adapter, record);
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: frame of %u bytes", family.name, static_cast<unsigned>(record->FrameLength));
    ++adapter->RxFrameTotal;
    if (!NT_SUCCESS(family.checkError(adapter, port, record))) {
        RxDmaqFree(adapter, record);
        return;
    }
    ++adapter->RxGoodFrames;
    if (adapter->RxPerPhyCounting != 0) {
        for (ULONG i = 0; i < PORT_PHY_STAT_ENTRIES; ++i) {
            ++port->PhyFrameStats[i][PHY_STAT_RECEIVED_FRAGMENTS];
        }
    }
    const UCHAR* header = record->Frame;
    const UCHAR fc0 = header[0];
    const UCHAR type = static_cast<UCHAR>((fc0 >> 2) & 0x3);
    const BOOLEAN blockAckRequest = static_cast<BOOLEAN>(fc0 == 0x84);
    // A frame of a header or less goes, but for a Block Ack Request (20 bytes) to the port's own
    // address; every data and management step after this one reads the whole 802.11 header.
    const BOOLEAN ownBar = static_cast<BOOLEAN>(blockAckRequest && record->FrameLength >= kBarLength &&
                                                RtlCompareMemory(header + 4, port->MacAddress, MAC_ADDR_LEN) == MAC_ADDR_LEN);
    if (record->FrameLength < 2 || (record->FrameLength <= kMacHeaderLength && !ownBar)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: %s frame of %u bytes freed", family.name,
                 type == 1 ? "control" : ((fc0 & 0x4C) == 0x48 ? "null data" : "short"),
                 static_cast<unsigned>(record->FrameLength));
        RxDmaqFree(adapter, record);
        return;
    }
    if (gen == RX_GEN_SECOND && (fc0 & 0x3) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: protocol version %u", family.name, static_cast<unsigned>(fc0 & 0x3));
        RxDmaqFree(adapter, record);
        return;
    }
    if (gen == RX_GEN_OLDER) {
        family.beaconTime(adapter, port, record);
    }
    switch (type) {
    case 2:
        if (family.checkDuplicate(adapter, port, record->Descriptor, header, record) == 0 &&
            family.data(adapter, port, record, rssi)) {
            return;
        }
        break;
    case 0:
        if (gen != RX_GEN_OLDER && fc0 == 0x80) {
            family.beaconTime(adapter, port, record);
        }
        if (family.management(adapter, port, record, rssi)) {
            return;
        }
        break;
    case 1:
        if (fc0 >= 0x80 && fc0 <= 0x8F && port->WirelessMode >= 5 && port->WirelessMode <= 14 &&
            ((header[4] & 0x01) != 0 || RtlCompareMemory(header + 4, port->MacAddress, MAC_ADDR_LEN) == MAC_ADDR_LEN)) {
            RXD_FIELDS f = {};
            (void)RxdGetFields(adapter, record, &f);
            CntlEnqueueForRecv(adapter, port, f.WlanIndex, record->FrameLength, header);
        }
        break;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: frame of type 3", family.name);
        break;
    }
    RxDmaqFree(adapter, record);
}

void UpdateBeaconTime(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    RXD_FIELDS f;
    if (port == nullptr || record == nullptr || record->Frame == nullptr || record->FrameLength < 2 ||
        !RxdGetFields(adapter, record, &f) || f.BssIndex == RXD_BSS_NONE) {
        return;
    }
    const BOOLEAN fromDs = static_cast<BOOLEAN>((record->Frame[1] & 0x02) != 0);
    if ((port->ConnectionFlags & 0x2) != 0 || ((port->ConnectionFlags & 0x1) != 0 && fromDs && port->PortNumber == 0)) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        adapter->LastBeaconTime = static_cast<ULONG64>(now.QuadPart);
        port->MissedBeaconCount = 0;
    }
}

constexpr ULONG kAmsduPadding = 2;  // the chip's A-MSDU padding after the QoS control
constexpr ULONG kMaxGroupFrame = 4096;

struct StepFamily {
    BOOLEAN (*group)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, UCHAR);
    BOOLEAN (*unicast)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, UCHAR, BOOLEAN, const CHAR*);
    ULONG (*amsdu)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, ULONG);
    ULONG (*eapol)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, const UCHAR*);
    ULONG (*pn)(PMP_ADAPTER, PMP_PORT, const UCHAR*, PRX_DMAQ_DESC, ULONG64, UCHAR);
    PCSTR name;
};

const StepFamily kSteps[3] = {
    {RecvProcessBroadMcastDataPkt, RecvProcessUnicastDataPkt, nullptr, nullptr, RecvCheckRxPktPnAllowed,
     "RecvProcessDataPkt"},
    {Qz3501RecvProcessBroadMcastDataPkt, Qz3501RecvProcessUnicastDataPkt, Qz3501AmsduAttackDetection,
     Qz3501DetectRxInvalidEAPOL, Qz3501RecvCheckRxPktPnAllowed, "Qz3501RecvProcessDataPkt"},
    {Arvel3xRecvProcessBroadMcastDataPkt, Arvel3xRecvProcessUnicastDataPkt, Arvel3xAmsduAttackDetection,
     Arvel3xDetectRxInvalidEAPOL, Arvel3xRecvCheckRxPktPnAllowed, "Arvel3xRecvProcessDataPkt"},
};

// A data frame the data step does not take: counted as dropped (a null data frame is not).
BOOLEAN Refuse(PMP_ADAPTER adapter, PCSTR name, PCSTR why)
{
    ++adapter->Recv.DroppedDataFrames;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: %s", name, why);
    return FALSE;
}

// The early-open exception of the port gate (second and third generation).
BOOLEAN EarlyOpen(PMP_ADAPTER adapter, PMP_PORT port, RX_GENERATION gen)
{
    if (gen == RX_GEN_OLDER || (adapter->RegistryBlock.Hlk_feature_optional & 0x800) == 0 || port->PortType != EXTSTA ||
        adapter->StaKeyState != 2) {
        return FALSE;
    }
    const ULONG mode = port->AuthMode;
    return static_cast<BOOLEAN>(mode == 6 || mode == 7 || mode == 10 || (gen == RX_GEN_THIRD && mode == 9));
}

BOOLEAN DataStep(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi, RX_GENERATION gen)
{
    const StepFamily& step = kSteps[gen];
    RXD_FIELDS f;
    if (port == nullptr || record == nullptr || record->Frame == nullptr || record->FrameLength < kMacHeaderLength ||
        !RxdGetFields(adapter, record, &f)) {
        return FALSE;
    }
    // 1. The port gate.
    if ((port->ConnectionFlags & 0x80) == 0) {
        if (!EarlyOpen(adapter, port, gen)) {
            return Refuse(adapter, step.name, "port not open for data");
        }
        port->EarlyData = 1;
    }
    PUCHAR header = record->Frame;
    // 2. Null data frames.
    if ((header[0] & 0x4C) == 0x48) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: null data frame", step.name);
        return FALSE;
    }
    // 3. Conversion to the 24-byte header form.
    UCHAR tid = 0;
    ULONG remove = 0;
    ULONG subframeOffset = 0;
    BOOLEAN amsdu = FALSE;
    const BOOLEAN qos = static_cast<BOOLEAN>((header[0] & 0x80) != 0);
    const BOOLEAN order = static_cast<BOOLEAN>((header[1] & 0x80) != 0);
    if (qos) {
        if (record->FrameLength < kMacHeaderLength + 2) {
            return Refuse(adapter, step.name, "QoS frame without QoS control");
        }
        tid = f.Tid;
        amsdu = static_cast<BOOLEAN>((header[kMacHeaderLength] & 0x80) != 0);
        remove = 2;
        if (order) {
            remove += 4;
        }
        if (amsdu) {
            subframeOffset = remove + kAmsduPadding;
            remove = subframeOffset + 14;
        }
    } else if (order && (port->ConnectionFlags & 0x200) != 0 && record->FrameLength >= kMacHeaderLength + 2) {
        const ULONG value = static_cast<ULONG>(header[kMacHeaderLength] | (header[kMacHeaderLength + 1] << 8));
        if (value <= 0x600 && value < record->FrameLength) {
            remove = 2;
        }
    }
    if (record->FrameLength < kMacHeaderLength + remove) {
        return Refuse(adapter, step.name, "frame shorter than its header fields");
    }
    if (amsdu && step.amsdu != nullptr && step.amsdu(adapter, port, record, subframeOffset) != 0) {
        UpdateLastIndSeqForDroppedFrame(adapter, port, record, tid);
        return Refuse(adapter, step.name, "forged A-MSDU subframe");
    }
    if (qos) {
        header[0] = static_cast<UCHAR>(header[0] & ~0x80);
    }
    if (remove != 0) {
        RtlMoveMemory(header + remove, header, kMacHeaderLength);
        record->Frame = header + remove;
        record->FrameLength -= remove;
        header = record->Frame;
    }
    // 4. Wake packet.
    if (WoWLANWakePacketProcess(adapter, record)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: wake packet", step.name);
    }
    // 5. Unprotected or misdirected EAPOL and data.
    const UCHAR* llc = record->FrameLength >= kMacHeaderLength + 8 ? header + kMacHeaderLength : nullptr;
    if (step.eapol != nullptr && step.eapol(adapter, port, record, llc) != 0) {
        return Refuse(adapter, step.name, "invalid EAPOL or unprotected data");
    }
    // 6. EAPOL.
    const BOOLEAN eapol = static_cast<BOOLEAN>(record->FrameLength >= 32 && header[30] == 0x88 && header[31] == 0x8E);
    BOOLEAN skipBss = FALSE;
    if (eapol) {
        const USHORT sequence = static_cast<USHORT>((header[22] | (header[23] << 8)) >> 4);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: EAPOL sequence %u, retry %u, port %u, early %u, open %u", step.name,
                 static_cast<unsigned>(sequence), static_cast<unsigned>((header[1] >> 3) & 1),
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(port->EarlyData),
                 static_cast<unsigned>((port->ConnectionFlags >> 7) & 1));
        if (gen == RX_GEN_THIRD && (record->Flag & RX_RECORD_FLAG_DUPLICATE) != 0) {
            return Refuse(adapter, step.name, "repeated EAPOL frame");
        }
        if ((adapter->RegistryBlock.Hlk_feature_optional & 0x2000) != 0) {
            adapter->EapolReceived = 1;
        }
        port->EapolSequence = sequence;
        if (port->EarlyData != 0 && (gen != RX_GEN_THIRD || (port->ConnectionFlags & 0x1) == 0)) {
            skipBss = TRUE;
        }
        if (port->PortType == EXTSTA) {
            port->EapolProtected = static_cast<UCHAR>((header[1] & 0x40) != 0 ? 1 : 0);
        }
    }
    // 7. The BSS test.
    if (!eapol && f.BssIndex == RXD_BSS_NONE) {
        return Refuse(adapter, step.name, "frame of no known BSS");
    }
    const UCHAR* bssid = (port->ConnectionFlags & 0x1) != 0 ? header + 10 : header + 16;
    if (!skipBss && RtlCompareMemory(bssid, port->Bssid, MAC_ADDR_LEN) != MAC_ADDR_LEN) {
        return Refuse(adapter, step.name, "frame of another BSS");
    }
    // 8. The privacy exemption list.
    if (!eapol && port->HostCipher == 0 &&
        RecvCheckExemptionList(adapter, port, header, record->FrameLength, 0) == RX_EXEMPTION_DROP) {
        return Refuse(adapter, step.name, "refused by the exemption list");
    }
    // 10. The packet number.
    ULONG64 pn = 0;
    const BOOLEAN hasPn = RxdGetPacketNumber(record, &pn);
    if (hasPn) {
        adapter->RxPnPresent = 1;
    }
    // 11. Group or unicast delivery.
    if (f.Group) {
        if (!hasPn || step.pn(adapter, port, header, record, pn, tid) != 0 || port->HostCipher != 0) {
            return step.group(adapter, port, record, tid);
        }
        return Refuse(adapter, step.name, "replayed group frame");
    }
    if (f.Unicast || adapter->RegistryBlock.NetworkType == 3) {
        adapter->RxUnicastBytes += record->FrameLength;
        if (gen == RX_GEN_OLDER && hasPn && step.pn(adapter, port, header, record, pn, tid) == 0) {
            return Refuse(adapter, step.name, "replayed frame");
        }
        return step.unicast(adapter, port, record, tid, static_cast<BOOLEAN>(skipBss), rssi);
    }
    return Refuse(adapter, step.name, "frame neither unicast nor group-addressed");
}

BOOLEAN GroupDataStep(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, RX_GENERATION gen)
{
    const UCHAR* header = record->Frame;
    ++adapter->RxGroupDataFrames;
    const BOOLEAN moreFragments = static_cast<BOOLEAN>((header[1] & 0x04) != 0);
    const BOOLEAN fragment = static_cast<BOOLEAN>(moreFragments || (gen != RX_GEN_OLDER && (header[22] & 0x0F) != 0));
    if (fragment) {
        return Refuse(adapter, "group data", "fragment");
    }
    if (gen != RX_GEN_OLDER && record->FrameLength > kMaxGroupFrame) {
        return Refuse(adapter, "group data", "frame too long");
    }
    if ((header[1] & 0x02) != 0 && RtlCompareMemory(header + 16, port->MacAddress, MAC_ADDR_LEN) == MAC_ADDR_LEN) {
        return Refuse(adapter, "group data", "own frame echoed by the distribution system");
    }
    const UCHAR reordering = adapter->ReorderInProgress;
    adapter->ReorderInProgress = 0;
    (void)NdisCommonReportEthFrameToLLC(adapter, port, record, tid, 0, 0);
    adapter->ReorderInProgress = reordering;
    return TRUE;
}

// ---- the management step --------------------------------------------------------------------------------
constexpr ULONG kMaxMgmtPorts = 5;
constexpr UCHAR kSubtypeDisassoc = 0xA;
constexpr UCHAR kSubtypeDeauth = 0xC;
constexpr UCHAR kSubtypeAction = 0xD;
constexpr UCHAR kSubtypeActionNoAck = 0xE;
constexpr UCHAR kSubtypeProbeReq = 0x4;
constexpr UCHAR kSubtypeBeacon = 0x8;
constexpr UCHAR kFcProtected = 0x40;        // frame control byte 1
constexpr ULONG kReasonOffset = 24;
constexpr ULONG kDeauthMinLength = 26;      // header and reason code
constexpr UCHAR kMgmtMicElement = 76;
constexpr UCHAR kCategoryPublic = 4;
constexpr UCHAR kCategorySelfProtected = 15;
constexpr UCHAR kCategoryVendorProtected = 22;
constexpr ULONG kPublicTokenOffset = 26;    // category, action, dialog token
constexpr ULONG kCertAllowUnprotectedDeauth = 0x2;
constexpr ULONG kWakeReasonNloDiscovery = 0x1000;
constexpr ULONG kCipherCcmp = 4;

PCSTR MgmtStepName(RX_GENERATION gen)
{
    return gen == RX_GEN_OLDER ? "RecvProcessMgntPkt" : gen == RX_GEN_SECOND ? "Qz3501RecvProcessMgntPkt"
                                                                               : "Arvel3xRecvProcessMgntPkt";
}

// A management frame the step does not take (not counted among the dropped data frames).
BOOLEAN MgmtRefuse(RX_GENERATION gen, PCSTR why)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: %s", MgmtStepName(gen), why);
    return FALSE;
}

// Management-frame protection governs the frame: on the adapter and the port, with CCMP or a
// protected-management suite, once the station's keys are in place.
BOOLEAN MgmtProtectionApplies(PMP_ADAPTER adapter, PMP_PORT port)
{
    const ULONG auth = port->Mlme.AuthAlgorithm;
    return static_cast<BOOLEAN>(adapter->Mlme.PmfSupported != 0 && port->Mlme.PmfEnabled != 0 &&
                                (port->Mlme.UnicastCipher == kCipherCcmp || auth == 8 || auth == 9 ||
                                 auth == 0x80000006u) &&
                                adapter->StaKeyState == 1);
}

// The protected-management rules; FALSE refuses the frame.
BOOLEAN MgmtProtectionRules(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const RXD_FIELDS& f,
                            RX_GENERATION gen)
{
    const UCHAR* frame = record->Frame;
    const ULONG length = record->FrameLength;
    const UCHAR subtype = static_cast<UCHAR>(frame[0] >> 4);
    const BOOLEAN protectedFrame = static_cast<BOOLEAN>((frame[1] & kFcProtected) != 0);
    const BOOLEAN deauth = static_cast<BOOLEAN>(subtype == kSubtypeDeauth || subtype == kSubtypeDisassoc);
    if (deauth) {
        if (length < kDeauthMinLength) {
            return MgmtRefuse(gen, "deauthentication or disassociation without its reason code");
        }
        if (gen != RX_GEN_OLDER) {
            UCHAR mic = 0;
            DOT11_IE_CURSOR cursor;
            Dot11IeCursorInit(&cursor, frame + kDeauthMinLength, length - kDeauthMinLength);
            const UCHAR* element = nullptr;
            UCHAR bodyLength = 0;
            while (Dot11IeNext(&cursor, &element, &bodyLength)) {
                if (element[0] == kMgmtMicElement) {
                    mic = 1;
                    break;
                }
            }
            port->Mlme.MgmtMicPresent = mic;
        }
        if (f.Unicast) {
            const USHORT reason = static_cast<USHORT>(frame[kReasonOffset] | (frame[kReasonOffset + 1] << 8));
            if (!protectedFrame && port->Mlme.MgmtMicPresent == 0 && reason != 6 && reason != 7 &&
                (adapter->RegistryBlock.CertReg & kCertAllowUnprotectedDeauth) == 0) {
                return MgmtRefuse(gen, "unprotected deauthentication or disassociation");
            }
        }
    }
    if (subtype == kSubtypeAction && length > kMacHeaderLength) {
        const UCHAR category = frame[kMacHeaderLength];
        if (protectedFrame) {
            if (category == kCategoryPublic) {
                return MgmtRefuse(gen, "protected public action frame");
            }
        } else {
            if (category != kCategoryPublic && (gen == RX_GEN_OLDER || category != kCategoryVendorProtected)) {
                return MgmtRefuse(gen, "unprotected robust action frame");
            }
            if (category == kCategoryPublic && length > kPublicTokenOffset &&
                StateMachineGetState(&port->Mlme.ActionMachine) == ACTION_STATE_SENT &&
                frame[kPublicTokenOffset] == port->Mlme.PendingActionToken) {
                (void)MlmeEnqueue(adapter, port, MLME_ACTION_STATE_MACHINE, MT2_ACTION_FRAME_DONE, 0, nullptr);
            }
        }
    }
    return TRUE;
}

// A wake packet while network-list offload runs: the discovery is indicated for port 0.
void MgmtNloWake(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, const CHAR* rssi, RX_GENERATION gen)
{
    const ULONG body = record->FrameLength - kMacHeaderLength;
    const BOOLEAN fits = static_cast<BOOLEAN>(body < WAKE_PACKET_BUFFER_SIZE);
    if (gen == RX_GEN_OLDER) {
        if (fits) {
            adapter->Wake.WakePacketWord = kWakeReasonNloDiscovery;
            std::memcpy(adapter->Ind.WakePacket, record->Frame + kMacHeaderLength, body);
            adapter->Ind.WakePacketLength = body;
        }
    } else {
        adapter->Wake.WakePatternIndex = 0;
        adapter->Wake.WakeReason = kWakeReasonNloDiscovery;
        if (fits) {
            std::memcpy(adapter->Ind.WakePacket, record->Frame + kMacHeaderLength, body);
        }
        adapter->Ind.WakePacketLength = fits ? body : 0;
        (void)WOWLANPacketIndicateFunc(adapter, adapter->PortList[0]);
    }
    const CHAR average = RssiAverageByChains(adapter, rssi[0], rssi[1], rssi[2]);
    PlatformIndicateNLODiscovery(adapter, adapter->PortList[0], record->Frame, record->FrameLength, average);
}

BOOLEAN MgmtEnqueue(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, PRX_DMAQ_DESC record, const CHAR* rssi,
                    RX_GENERATION gen)
{
    const BOOLEAN queued =
        MlmeEnqueueForRecv(adapter, port, wlanIndex, static_cast<UCHAR>(rssi[0]), static_cast<UCHAR>(rssi[1]),
                           static_cast<UCHAR>(rssi[2]), record->FrameLength, record->Frame);
    if (queued) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: subtype %u queued for port %u", MgmtStepName(gen),
                 static_cast<unsigned>(record->Frame[0] >> 4), static_cast<unsigned>(port->PortNumber));
    }
    return queued;
}

BOOLEAN ManagementStep(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi, RX_GENERATION gen)
{
    static const CHAR kNoSignal[3] = {0, 0, 0};
    RXD_FIELDS f;
    if (record == nullptr || record->Frame == nullptr || record->FrameLength < kMacHeaderLength ||
        !RxdGetFields(adapter, record, &f)) {
        return MgmtRefuse(gen, "no frame or receive information");
    }
    if (rssi == nullptr) {
        rssi = kNoSignal;
    }
    // 1. More ports than the step serves.
    if (adapter->PortCount > kMaxMgmtPorts) {
        return MgmtRefuse(gen, "more ports than served");
    }
    // 2. Protected management frames.
    if (port != nullptr && MgmtProtectionApplies(adapter, port) && !MgmtProtectionRules(adapter, port, record, f, gen)) {
        return FALSE;
    }
    // 3. No port.
    if (port == nullptr) {
        return MgmtRefuse(gen, "no port");
    }
    const UCHAR* header = record->Frame;
    // 4. A wake packet while network-list offload runs.
    if (adapter->RegistryBlock.NLOEnable != 0 && f.Wake) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: network-list offload wake packet of %u bytes", MgmtStepName(gen),
                 static_cast<unsigned>(record->FrameLength));
        MgmtNloWake(adapter, record, rssi, gen);
        RxDmaqFree(adapter, record);
        return TRUE;
    }
    // 5. The sender's WLAN index by its BSSID.
    UCHAR wlanIndex = f.WlanIndex;
    if (wlanIndex == RXD_WLAN_NONE) {
        PMAC_TABLE_ENTRY sender = MlmeSyncMacTabMatchedBssid(port, header + 10);
        if (sender != nullptr) {
            wlanIndex = sender->WlanIdx;
        }
    }
    const UCHAR subtype = static_cast<UCHAR>(header[0] >> 4);
    PMP_PORT port0 = adapter->PortList[0];
    if ((header[4] & 0x01) != 0) {
        // 6. Group-addressed frames: port 0 first, then the other active ports.
        const BOOLEAN beacon = static_cast<BOOLEAN>(subtype == kSubtypeBeacon);
        if (beacon && port0 != nullptr && RtlCompareMemory(header + 10, port0->Bssid, MAC_ADDR_LEN) == MAC_ADDR_LEN) {
            ++adapter->RxOwnBssBeacons;
        }
        if (gen != RX_GEN_OLDER && (subtype == kSubtypeAction || subtype == kSubtypeActionNoAck) &&
            record->FrameLength > kMacHeaderLength && header[kMacHeaderLength] == kCategorySelfProtected) {
            PMAC_TABLE_ENTRY sender = gen == RX_GEN_THIRD ? MlmeSyncMacTabMatchedBssidOnly(port, header + 10)
                                                          : MlmeSyncMacTabMatchedBssid(port, header + 10);
            if (sender == nullptr) {
                return MgmtRefuse(gen, "self-protected action frame of an unknown sender");
            }
        }
        if (port0 != nullptr) {
            (void)MgmtEnqueue(adapter, port0, wlanIndex, record, rssi, gen);
        }
        for (ULONG i = 1; i < kMaxMgmtPorts; ++i) {
            PMP_PORT other = adapter->PortList[i];
            if (other == nullptr || other->Active == 0) {
                continue;
            }
            const BOOLEAN linked = static_cast<BOOLEAN>((other->ConnectionFlags & 0x1) != 0);
            const BOOLEAN foreignBeacon = static_cast<BOOLEAN>(
                beacon && RtlCompareMemory(header + 10, other->Bssid, MAC_ADDR_LEN) != MAC_ADDR_LEN);
            if (other->PortType == EXTSTA && other->OpMode == 0) {
                continue;
            }
            if (other->PortType == WFD_CLIENT && (subtype == kSubtypeProbeReq || (foreignBeacon && linked))) {
                continue;
            }
            if (other->PortType == EXTSTA && other->OpMode == 1 && foreignBeacon && linked) {
                continue;
            }
            (void)MgmtEnqueue(adapter, other, wlanIndex, record, rssi, gen);
        }
    } else if (port->PortType == EXTSTA || port->PortType == WFD_DEVICE || port->PortType == WFD_CLIENT) {
        // 7. Unicast frames for the port's own address.
        const UCHAR* own = port->OpMode == 3 && port0 != nullptr ? port0->MacAddress : port->MacAddress;
        if (RtlCompareMemory(header + 4, own, MAC_ADDR_LEN) != MAC_ADDR_LEN) {
            return MgmtRefuse(gen, "unicast frame for another address");
        }
        (void)MgmtEnqueue(adapter, port, wlanIndex, record, rssi, gen);
    }
    // 8. Done with the frame.
    RxDmaqFree(adapter, record);
    return TRUE;
}

}  // namespace

VOID RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ProcessPacket(adapter, port, record, rssi, RX_GEN_OLDER);
}

VOID Qz3501RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ProcessPacket(adapter, port, record, rssi, RX_GEN_SECOND);
}

VOID Arvel3xRecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ProcessPacket(adapter, port, record, rssi, RX_GEN_THIRD);
}

BOOLEAN RecvProcessDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    return DataStep(adapter, port, record, rssi, RX_GEN_OLDER);
}
BOOLEAN Qz3501RecvProcessDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    return DataStep(adapter, port, record, rssi, RX_GEN_SECOND);
}
BOOLEAN Arvel3xRecvProcessDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    return DataStep(adapter, port, record, rssi, RX_GEN_THIRD);
}

BOOLEAN RecvProcessBroadMcastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    return GroupDataStep(adapter, port, record, tid, RX_GEN_OLDER);
}
BOOLEAN Qz3501RecvProcessBroadMcastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    return GroupDataStep(adapter, port, record, tid, RX_GEN_SECOND);
}
BOOLEAN Arvel3xRecvProcessBroadMcastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    return GroupDataStep(adapter, port, record, tid, RX_GEN_THIRD);
}

BOOLEAN RecvProcessMgntPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    return ManagementStep(adapter, port, record, rssi, RX_GEN_OLDER);
}
BOOLEAN Qz3501RecvProcessMgntPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    return ManagementStep(adapter, port, record, rssi, RX_GEN_SECOND);
}
BOOLEAN Arvel3xRecvProcessMgntPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    return ManagementStep(adapter, port, record, rssi, RX_GEN_THIRD);
}

VOID RecvUpdateLastRxBeaconTimeSamp(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    UpdateBeaconTime(adapter, port, record);
}

VOID Qz3501RecvUpdateLastRxBeaconTimeSamp(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    UpdateBeaconTime(adapter, port, record);
}

VOID Arvel3xRecvUpdateLastRxBeaconTimeSamp(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    UpdateBeaconTime(adapter, port, record);
}

UCHAR IsAnyPortLowLatency(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return 0;
    }
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr && port->PortType > WFD_DEVICE && port->LowLatency != 0) {
            return 1;
        }
    }
    return 0;
}

// ================================================================================================
// receive checks
// ================================================================================================
namespace {

constexpr NTSTATUS kDrop = static_cast<NTSTATUS>(0xC0000001L);
constexpr ULONG kHeaderLength = 24;
constexpr UCHAR kEapolLlc[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0x8E};
constexpr UCHAR kUserPriorityToAc[8] = {1, 0, 0, 1, 2, 2, 3, 3};

BOOLEAN SameAddress(const UCHAR* a, const UCHAR* b) { return static_cast<BOOLEAN>(RtlCompareMemory(a, b, MAC_ADDR_LEN) == MAC_ADDR_LEN); }
USHORT SequenceOf(const UCHAR* header) { return static_cast<USHORT>((header[22] | (header[23] << 8)) >> 4); }
UCHAR FragmentOf(const UCHAR* header) { return static_cast<UCHAR>(header[22] & 0x0F); }
BOOLEAN IsProtected(const UCHAR* header) { return static_cast<BOOLEAN>((header[1] & 0x40) != 0); }
UCHAR FrameType(const UCHAR* header) { return static_cast<UCHAR>((header[0] >> 2) & 0x3); }
// A QoS data frame (type 2 with subtype bit 3).
BOOLEAN IsQosData(const UCHAR* header) { return static_cast<BOOLEAN>(FrameType(header) == 2 && (header[0] & 0x80) != 0); }

// The port's statistics entry of its current PHY type.
ULONG64* PhyStats(PMP_PORT port)
{
    const ULONG index = port->PhyTypeIndex < PORT_PHY_STAT_ENTRIES ? port->PhyTypeIndex : 0;
    return port->PhyFrameStats[index];
}

BOOLEAN HasFrame(const RX_DMAQ_DESC* record)
{
    return static_cast<BOOLEAN>(record != nullptr && record->Descriptor != nullptr && record->Frame != nullptr &&
                                record->FrameLength >= kHeaderLength);
}

// A whole 802.11 header, or a Block Ack Request (20 bytes: it has no third address).
BOOLEAN HasFrameOrBar(const RX_DMAQ_DESC* record)
{
    return static_cast<BOOLEAN>(HasFrame(record) || (record != nullptr && record->Descriptor != nullptr &&
                                                     record->Frame != nullptr && record->FrameLength >= kBarLength &&
                                                     record->Frame[0] == 0x84));
}

// Descriptor errors of the second and third generation: only a missing descriptor or header drops.
NTSTATUS CheckRxErrorLater(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, PCSTR name)
{
    if (port == nullptr) {
        return kDrop;
    }
    if (!HasFrameOrBar(record)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: no descriptor or header", name);
        ++PhyStats(port)[PHY_STAT_RECEIVED_FRAMES];
        return kDrop;
    }
    if (adapter->RxTestMode != 0 || adapter->RegistryBlock.NetworkType == 3) {
        ++PhyStats(port)[PHY_STAT_RECEIVED_FRAMES];
    }
    return STATUS_SUCCESS;
}

ULONG CheckDuplicate(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record, BOOLEAN mark,
                     PCSTR name)
{
    RXD_FIELDS f;
    if (port == nullptr || header == nullptr || !HasFrame(record) || adapter->RegistryBlock.NetworkType == 3 ||
        !RxdGetFields(adapter, record, &f)) {
        return 0;
    }
    if (f.WlanIndex >= RX_STA_ENTRIES || MlmeSyncMacTabMatchedWlanIdx(port, f.WlanIndex) == nullptr) {
        return 0;
    }
    ULONG row = 8;
    if (IsQosData(header)) {
        if (record->FrameLength < kHeaderLength + 2 || (header[kHeaderLength] & 0x80) != 0) {
            return 0;  // an A-MSDU is not checked
        }
        row = f.Tid;
    }
    const USHORT sequence = SequenceOf(header);
    BOOLEAN found = RecvDupHistorySeen(adapter, f.WlanIndex, row, sequence);
    if (found && mark) {
        record->Flag = static_cast<UCHAR>(record->Flag | RX_RECORD_FLAG_DUPLICATE);
    }
    if (port->Cfg.RxCheckDupFrame == 0) {
        return 0;
    }
    UCHAR* entry = adapter->RxDupRing[adapter->RxDupRingIndex % RX_DUP_RING_RECORDS];
    entry[0] = static_cast<UCHAR>((header[1] >> 3) & 1);
    entry[1] = static_cast<UCHAR>(sequence);
    entry[2] = static_cast<UCHAR>(sequence >> 8);
    entry[3] = FragmentOf(header);
    entry[4] = found ? 1 : 0;
    entry[5] = static_cast<UCHAR>(row);
    entry[6] = f.WlanIndex;
    entry[7] = 0;
    adapter->RxDupRingIndex = static_cast<UCHAR>((adapter->RxDupRingIndex + 1) % RX_DUP_RING_RECORDS);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: sequence %u row %u %s", name, static_cast<unsigned>(sequence),
             static_cast<unsigned>(row), found ? "duplicate" : "new");
    return found ? 1 : 0;
}

ULONG CheckPn(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record, ULONG64 pn, UCHAR tid,
              PCSTR name)
{
    if (port == nullptr || header == nullptr || !IsProtected(header)) {
        return 1;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedBssid(port, header + 10);
    if (entry == nullptr) {
        return 1;
    }
    // The sender's authentication mode is that of the port's connection.
    if (port->AuthMode != 6 && port->AuthMode != 7) {
        return 1;
    }
    RXD_FIELDS f = {};
    (void)RxdGetFields(adapter, record, &f);
    ULONG64* last = f.Group ? &entry->RxGroupPn[f.KeyIndex & 0x3] : &entry->RxUnicastPn[kUserPriorityToAc[tid & 0x7]];
    if (RecvPnAdvance(last, pn & 0xFFFFFFFFFFFFull, f.AmsduPosition)) {
        return 1;
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: replayed packet number 0x%llX (last 0x%llX)", name,
             static_cast<unsigned long long>(pn), static_cast<unsigned long long>(*last));
    return 0;
}

ULONG AmsduAttack(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset, PCSTR name)
{
    if (port == nullptr || !HasFrame(record) || record->ReceivedLength <= 14) {
        return 0;
    }
    if (MacTableLookup(adapter, port, record->Frame + 10) == nullptr) {
        return 0;
    }
    const ULONG verdict = RecvAmsduSubframeCheck(adapter, port, record, offset);
    if (verdict != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: forged A-MSDU subframe", name);
    }
    return verdict;
}

ULONG InvalidEapol(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const UCHAR* llc, PCSTR name)
{
    if (port == nullptr) {
        return 0;
    }
    if (!HasFrame(record)) {
        return 0;
    }
    const UCHAR* header = record->Frame;
    if (MacTableLookup(adapter, port, header + 10) == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: frame from an unknown sender", name);
        return 1;
    }
    RXD_FIELDS f = {};
    (void)RxdGetFields(adapter, record, &f);
    if (record->ReceivedLength <= 14 || f.Translated) {
        return 0;
    }
    // The ethertype is read only where the LLC header lies inside the frame.
    BOOLEAN eapol = FALSE;
    const BOOLEAN laterFragment = static_cast<BOOLEAN>(f.Fragment && FragmentOf(header) != 0);
    if (!laterFragment && llc != nullptr && llc >= header && llc + 8 <= header + record->FrameLength) {
        eapol = static_cast<BOOLEAN>(llc[6] == kEapolLlc[6] && llc[7] == kEapolLlc[7]);
    }
    const BOOLEAN open = static_cast<BOOLEAN>(port->HostCipher != 0 || port->AuthMode == 1);
    ULONG drop = 0;
    if (port->OpMode == 2 || port->OpMode == 3) {
        if (eapol) {
            if (!SameAddress(header + 16, port->Bssid)) {
                const BOOLEAN known = static_cast<BOOLEAN>(MacTableLookup(adapter, port, header + 16) != nullptr);
                drop = known && (open || port->KeyInstalled != 0) ? 0 : 1;
            }
        } else {
            drop = open || IsProtected(header) ? 0 : 1;
        }
    } else if (port->OpMode == 0 && !eapol && !open) {
        const BOOLEAN notReady = static_cast<BOOLEAN>(port->KeyInstalled == 0);
        drop = !IsProtected(header) ? 1 : (notReady ? 1 : 0);
    }
    if (drop != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s: %s frame dropped", name, eapol ? "EAPOL" : "data");
    }
    return drop;
}

}  // namespace

NTSTATUS RecvCheckRxError(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    if (port == nullptr) {
        return kDrop;
    }
    ULONG64* phy = PhyStats(port);
    RXD_FIELDS f;
    if (!HasFrame(record) || !RxdGetFields(adapter, record, &f)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "RecvCheckRxError: no descriptor or header");
        ++phy[PHY_STAT_RECEIVED_FRAMES];
        return kDrop;
    }
    if (adapter->RxTestMode != 0 || adapter->RegistryBlock.NetworkType == 3) {
        ++phy[PHY_STAT_RECEIVED_FRAMES];
        return STATUS_SUCCESS;
    }
    const UCHAR* header = record->Frame;
    const ULONG e = f.Errors;
    const BOOLEAN fcs = static_cast<BOOLEAN>((e >> 17) & 1);
    const BOOLEAN mismatch = static_cast<BOOLEAN>((e >> 18) & 1);
    const BOOLEAN lengthMismatch = static_cast<BOOLEAN>((e >> 19) & 1);
    const ULONG icv = (e >> 20) & 1;
    const ULONG mic = (e >> 21) & 1;
    const BOOLEAN protectedFrame = IsProtected(header);
    ULONG64* mac = port->MacFrameStats[f.Unicast ? RX_MAC_STATS_UNICAST : RX_MAC_STATS_MULTICAST];
    if (fcs || (mismatch && protectedFrame) || (e & 0x03F80000u) != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "RecvCheckRxError: error bits 0x%08X", static_cast<unsigned>(e & 0x03FE0000u));
    }
    if ((e & 0x03C00000u) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "RecvCheckRxError: frame error 0x%X", static_cast<unsigned>((e >> 22) & 0xF));
        if ((e & (1u << 25)) != 0) {
            ++mac[MAC_STAT_WEP_UNDECRYPTABLE];
        }
        return kDrop;
    }
    if (!SameAddress(header + 16, port->Bssid)) {
        return STATUS_SUCCESS;
    }
    const ULONG m = icv + 2 * mic;
    if (m == 0) {
        ++phy[PHY_STAT_RECEIVED_FRAMES];
        if (f.Unicast) {
            ++port->MacFrameStats[RX_MAC_STATS_UNICAST][MAC_STAT_RECEIVED_FRAMES];
        } else if (adapter->RxPerPhyCounting != 0) {
            ++port->MacFrameStats[RX_MAC_STATS_MULTICAST][MAC_STAT_RECEIVED_FRAMES];
        }
    }
    if (fcs) {
        ++phy[PHY_STAT_FCS_ERRORS];
        return kDrop;
    }
    if ((header[1] & 0x01) != 0 && port->OpMode == 0) {
        return kDrop;
    }
    const ULONG byteCount = TxdGetField(record->Descriptor, 0, 0, 15);
    if (byteCount > 8192) {
        return kDrop;
    }
    if (m == 0 && !mismatch && !lengthMismatch) {
        ++mac[MAC_STAT_DECRYPT_SUCCESS];
        return STATUS_SUCCESS;
    }
    if (protectedFrame && FrameType(header) == 2) {
        ++mac[MAC_STAT_WEP_UNDECRYPTABLE];
    }
    if ((m != 0 && port->CipherSetting == 0) || (m == 2 && port->CipherSetting == 4)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "RecvCheckRxError: ICV/MIC error %u with cipher 0x%X", static_cast<unsigned>(m),
                 static_cast<unsigned>(port->CipherSetting));
        return kDrop;
    }
    if (m == 0 && !protectedFrame) {
        return STATUS_SUCCESS;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "RecvCheckRxError: decryption error %u", static_cast<unsigned>(m));
    const BOOLEAN bssValid = static_cast<BOOLEAN>(f.BssIndex != RXD_BSS_NONE);
    if (m == 2 && bssValid && (AdapterGetFlags(adapter) & 0x80000000u) == 0) {
        PlatformIndicateMICFailure(adapter, port, header + 10, f.KeyIndex, static_cast<BOOLEAN>(f.KeyIndex != 0));
        ++mac[MAC_STAT_TKIP_LOCAL_MIC_FAILURES];
        ++port->TkipMicFailureTotal;
    } else if (bssValid) {
        ++mac[MAC_STAT_DECRYPT_FAILURE];
    }
    if (m == 0 && (port->KeyExchangeState == 3 || port->KeyExchangeState == 4) && port->HostCipher != 0) {
        return STATUS_SUCCESS;
    }
    switch (port->PortKeyCipher[f.KeyIndex & 0x3]) {
    case 1:
    case 2:
        if (icv != 0 && !bssValid) {
            return kDrop;
        }
        ++mac[MAC_STAT_WEP_ICV_ERRORS];
        return kDrop;
    case 3:
        if (icv != 0) {
            ++mac[MAC_STAT_TKIP_ICV_ERRORS];
        }
        return kDrop;
    case 4:
        if (icv != 0) {
            ++mac[MAC_STAT_CCMP_DECRYPT_ERRORS];
        }
        return kDrop;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "RecvCheckRxError: key %u of cipher %u", static_cast<unsigned>(f.KeyIndex),
                 static_cast<unsigned>(port->PortKeyCipher[f.KeyIndex & 0x3]));
        return kDrop;
    }
}

NTSTATUS Qz3501RecvCheckRxError(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    return CheckRxErrorLater(adapter, port, record, "Qz3501RecvCheckRxError");
}

NTSTATUS Arvel3xRecvCheckRxError(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    return CheckRxErrorLater(adapter, port, record, "Arvel3xRecvCheckRxError");
}

BOOLEAN RecvDupHistorySeen(PMP_ADAPTER adapter, UCHAR wlanIndex, ULONG row, USHORT sequence)
{
    if (adapter == nullptr || wlanIndex >= RX_STA_ENTRIES || row >= 9) {
        return FALSE;
    }
    // Numbers are kept + 1, so that an empty place (0) matches no sequence number.
    USHORT* history = adapter->RxDupHistory[wlanIndex][row];
    const USHORT kept = static_cast<USHORT>((sequence & 0x0FFF) + 1);
    for (ULONG i = 0; i < 8; ++i) {
        if (history[i] == kept) {
            return TRUE;
        }
    }
    UCHAR& index = adapter->RxDupWriteIndex[wlanIndex][row];
    history[index % 8] = kept;
    adapter->RxDupLastIndex[wlanIndex][row] = static_cast<UCHAR>(index % 8);
    index = static_cast<UCHAR>((index + 1) % 8);
    return FALSE;
}

ULONG RecvCheckDuplicatePkt(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* descriptor, const UCHAR* header,
                            PRX_DMAQ_DESC record)
{
    return CheckDuplicate(adapter, port, header, record, FALSE, "RecvCheckDuplicatePkt");
}

ULONG Qz3501RecvCheckDuplicatePkt(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* descriptor, const UCHAR* header,
                                  PRX_DMAQ_DESC record)
{
    return CheckDuplicate(adapter, port, header, record, FALSE, "Qz3501RecvCheckDuplicatePkt");
}

ULONG Arvel3xRecvCheckDuplicatePkt(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* descriptor, const UCHAR* header,
                                   PRX_DMAQ_DESC record)
{
    return CheckDuplicate(adapter, port, header, record, TRUE, "Arvel3xRecvCheckDuplicatePkt");
}

BOOLEAN RecvPnAdvance(ULONG64* last, ULONG64 packetNumber, UCHAR amsduPosition)
{
    ULONG64 expected = *last + 1;
    if (expected >= 0xFFFFFFFFFFFFull) {
        expected = 0;
    }
    if (packetNumber >= expected) {
        *last = packetNumber;
        return TRUE;
    }
    return static_cast<BOOLEAN>(amsduPosition == 1 || amsduPosition == 2);
}

ULONG RecvCheckRxPktPnAllowed(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record,
                              ULONG64 packetNumber, UCHAR tid)
{
    return CheckPn(adapter, port, header, record, packetNumber, tid, "RecvCheckRxPktPnAllowed");
}

ULONG Qz3501RecvCheckRxPktPnAllowed(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record,
                                    ULONG64 packetNumber, UCHAR tid)
{
    return CheckPn(adapter, port, header, record, packetNumber, tid, "Qz3501RecvCheckRxPktPnAllowed");
}

ULONG Arvel3xRecvCheckRxPktPnAllowed(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record,
                                     ULONG64 packetNumber, UCHAR tid)
{
    return CheckPn(adapter, port, header, record, packetNumber, tid, "Arvel3xRecvCheckRxPktPnAllowed");
}

ULONG RecvCheckExemptionList(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, ULONG frameLength, ULONG offset)
{
    if (port == nullptr || header == nullptr || frameLength < kHeaderLength) {
        return 0;
    }
    static constexpr UCHAR kBroadcast[MAC_ADDR_LEN] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const BOOLEAN unicast = static_cast<BOOLEAN>((header[4] & 0x01) == 0 && !SameAddress(header + 4, kBroadcast));
    const BOOLEAN protectedFrame = IsProtected(header);
    // The ethertype lies at bytes 30-31 after the LLC offset; a frame too short for it has none.
    const BOOLEAN hasType = static_cast<BOOLEAN>(offset <= frameLength && frameLength - offset >= 32);
    const PORT_OWNED_BUFFER& list = port->PrivacyExemptionList;
    if (hasType && list.Buffer != nullptr && list.Size >= 4) {
        const USHORT ethertype = static_cast<USHORT>(header[30 + offset] | (header[31 + offset] << 8));
        ULONG count = TxdGetWord(list.Buffer, 0);
        const ULONG room = (list.Size - 4) / 6;
        count = count < room ? count : room;
        for (ULONG i = 0; i < count; ++i) {
            const UCHAR* e = list.Buffer + 4 + 6 * i;
            const USHORT type = static_cast<USHORT>(e[0] | (e[1] << 8));
            const USHORT action = static_cast<USHORT>(e[2] | (e[3] << 8));
            const USHORT kind = static_cast<USHORT>(e[4] | (e[5] << 8));
            const BOOLEAN fits = static_cast<BOOLEAN>(kind == 3 || (kind == 1 && unicast) || (kind == 2 && !unicast));
            if (type != ethertype || !fits) {
                continue;
            }
            if (action == 1) {
                return protectedFrame ? RX_EXEMPTION_DROP : 0;
            }
            if (action == 2) {
                if (MlmeInfoFindKeyMappingKey(adapter, port, header + 10) == 1 && !protectedFrame && unicast &&
                    adapter->StaKeyState == 1) {
                    const BOOLEAN eapol = static_cast<BOOLEAN>(frameLength - offset >= 32 &&
                                                               RtlCompareMemory(header + 24 + offset, kEapolLlc, 8) == 8);
                    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "RecvCheckExemptionList: LLC %02X %02X %02X", header[24 + offset],
                             header[25 + offset], header[26 + offset]);
                    return eapol ? 0 : RX_EXEMPTION_DROP;
                }
                return 0;
            }
            break;
        }
    }
    if (port->ExcludeUnencrypted != 0 && !protectedFrame && FragmentOf(header) == 0 && (header[1] & 0x04) == 0) {
        if (unicast) {
            ++port->ExcludedUnicast;
        } else {
            ++port->ExcludedGroup;
        }
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "RecvCheckExemptionList: unencrypted frame excluded");
        return RX_EXEMPTION_DROP;
    }
    return 0;
}

ULONG RecvAmsduSubframeCheck(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset)
{
    RXD_FIELDS f;
    if (port == nullptr || !HasFrame(record) || !RxdGetFields(adapter, record, &f) || f.Translated ||
        f.WlanIndex >= RX_STA_ENTRIES) {
        return 0;
    }
    const UCHAR* header = record->Frame;
    const ULONG row = IsQosData(header) ? (f.Tid4 & 0xF) : 16;
    const USHORT sequence = SequenceOf(header);
    UCHAR& bad = adapter->RxAmsduBad[f.WlanIndex][row];
    USHORT& badSequence = adapter->RxAmsduSeq[f.WlanIndex][row];
    switch (f.AmsduPosition) {
    case 0:
        return 1;
    case 1:
    case 2: {
        const ULONG attack = bad == 1 && badSequence == sequence ? 1 : 0;
        if (f.AmsduPosition == 1) {
            bad = 0;
            badSequence = 0xFFFF;
        }
        return attack;
    }
    default: {
        ULONG verdict = 0;
        const ULONG need = kHeaderLength + offset + 12;
        const BOOLEAN fromDs = static_cast<BOOLEAN>((header[1] & 0x02) != 0);
        const BOOLEAN toDs = static_cast<BOOLEAN>((header[1] & 0x01) != 0);
        if ((fromDs || toDs) && (offset > record->FrameLength || record->FrameLength < need)) {
            verdict = 1;  // no room for the subframe header it must carry
        } else if (fromDs) {
            verdict = SameAddress(header + kHeaderLength + offset, port->MacAddress) ? 0 : 1;
        } else if (toDs) {
            verdict = SameAddress(header + kHeaderLength + offset + 6, header + 10) ? 0 : 1;
        }
        bad = static_cast<UCHAR>(verdict);
        badSequence = sequence;
        return verdict;
    }
    }
}

ULONG Qz3501AmsduAttackDetection(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset)
{
    return AmsduAttack(adapter, port, record, offset, "Qz3501AmsduAttackDetection");
}

ULONG Arvel3xAmsduAttackDetection(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset)
{
    return AmsduAttack(adapter, port, record, offset, "Arvel3xAmsduAttackDetection");
}

ULONG Qz3501DetectRxInvalidEAPOL(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const UCHAR* llc)
{
    return InvalidEapol(adapter, port, record, llc, "Qz3501DetectRxInvalidEAPOL");
}

ULONG Arvel3xDetectRxInvalidEAPOL(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const UCHAR* llc)
{
    return InvalidEapol(adapter, port, record, llc, "Arvel3xDetectRxInvalidEAPOL");
}

VOID UpdateLastIndSeqForDroppedFrame(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    RXD_FIELDS f;
    if (port == nullptr || !HasFrame(record) || !RxdGetFields(adapter, record, &f)) {
        return;
    }
    if (f.WlanIndex == RXD_WLAN_NONE || MlmeSyncMacTabMatchedWlanIdx(port, f.WlanIndex) == nullptr) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "UpdateLastIndSeqForDroppedFrame: no station for index %u",
                 static_cast<unsigned>(f.WlanIndex));
        return;
    }
    for (REORDER_SESSION& session : port->ReorderSessions) {
        if (session.State != REORDER_SESSION_ACTIVE || session.Tid != tid) {
            continue;
        }
        if (session.WlanIndex != f.WlanIndex) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "UpdateLastIndSeqForDroppedFrame: TID %u belongs to index %u",
                     static_cast<unsigned>(tid), static_cast<unsigned>(session.WlanIndex));
            return;
        }
        const USHORT sequence = SequenceOf(record->Frame);
        // The reordering moves the window under the port's reorder lock.
        KIRQL reorderIrql;
        KeAcquireSpinLock(&port->Ba.ReorderLock, &reorderIrql);
        KeAcquireSpinLock(&session.Lock, &session.OldIrql);
        if (sequence == ((session.LastIndicatedSeq + 1) & 0x0FFF)) {
            session.LastIndicatedSeq = sequence;
        }
        KIRQL irql = session.OldIrql;
        KeReleaseSpinLock(&session.Lock, irql);
        KeReleaseSpinLock(&port->Ba.ReorderLock, reorderIrql);
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "UpdateLastIndSeqForDroppedFrame: no reorder record for TID %u",
             static_cast<unsigned>(tid));
}
