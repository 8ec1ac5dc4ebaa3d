// The hard-transmit paths of the bus layer: data frames of the buffer-list send path (station and
// access point) and every management, control and MLME-built frame.
#include "platform/ndiscommon/ndiscommonhifpci.h"

#include "Common/common.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "hal/common/hal_desc.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxtx.h"

namespace {

constexpr ULONG kHeader = 24;
constexpr ULONG kMinData = 25;
constexpr ULONG kMaxData = 2346;
constexpr ULONG kMgmtDescriptor = 32;
constexpr ULONG kMgmtBuffer = 4096;
constexpr UCHAR kMgmtQueue = 1;
constexpr UCHAR kOtherQueue = 4;
constexpr UCHAR kBeaconQueue = 7;
constexpr USHORT kReasonMicFailure = 14;
constexpr ULONG kMgmtTag = 0x6D;  // MLME pool owner tag of a management request

NTSTATUS Refuse(PCSTR path, PCSTR why, NTSTATUS status = STATUS_UNSUCCESSFUL)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "%s: %s", path, why);
    return status;
}

// The port's 802.11h switch with its blocking state, or carrier detection with a carrier found.
BOOLEAN Blocked(PMP_ADAPTER adapter, PMP_PORT port)
{
    return static_cast<BOOLEAN>((adapter->RegistryBlock.IEEE80211H != 0 && port->Xmit.DfsBlocked != 0) ||
                                (port->Cfg.CarrierDetect != 0 && port->Xmit.CarrierDetected != 0));
}

// The sending port of a management frame: port 0, or, with more than one port active, the first
// active port whose own address is the frame's transmitter.
PMP_PORT SendingPort(PMP_ADAPTER adapter, const UCHAR* frame, ULONG length)
{
    ULONG active = 0;
    for (PMP_PORT p : adapter->PortList) {
        active += (p != nullptr && p->Active != 0) ? 1 : 0;
    }
    if (active > 1 && length >= 16) {
        for (PMP_PORT p : adapter->PortList) {
            if (p != nullptr && p->Active != 0 && RtlCompareMemory(p->MacAddress, frame + 10, MAC_ADDR_LEN) == MAC_ADDR_LEN) {
                return p;
            }
        }
    }
    return adapter->PortList[0];
}

// A probe request of a Wi-Fi Direct device ("DIRECT-" as its SSID element), at least 33 bytes.
BOOLEAN IsDirectProbe(const UCHAR* frame, ULONG length)
{
    static constexpr UCHAR kDirect[7] = {'D', 'I', 'R', 'E', 'C', 'T', '-'};
    return static_cast<BOOLEAN>(frame[0] == 0x40 && length >= kHeader + 2 + sizeof(kDirect) && frame[24] == 0 &&
                                frame[25] == sizeof(kDirect) &&
                                RtlCompareMemory(frame + 26, kDirect, sizeof(kDirect)) == sizeof(kDirect));
}

}  // namespace

NTSTATUS NdisCommonHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet)
{
    static constexpr PCSTR kPath = "NdisCommonHifPciXmitHardTransmit";
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    PMP_PORT port = packet != nullptr ? packet->Port : nullptr;
    if (adapter == nullptr || port == nullptr || packet->FrameLength < kMinData || packet->FrameLength > kMaxData ||
        packet->FirstBufferLength < kHeader) {
        return Refuse(kPath, "no port, or a frame of the wrong length");
    }
    if (Blocked(adapter, port)) {
        return Refuse(kPath, "transmission blocked on the channel");
    }
    const BOOLEAN eapol = static_cast<BOOLEAN>(packet->FrameLength >= 32 && packet->Frame[30] == 0x88 && packet->Frame[31] == 0x8E);
    if (eapol && adapter->Xmit.CountermeasureCount > 1) {
        ++adapter->Xmit.CountermeasureCount;
    }
    const ULONG ring = ((adapter->MccActive != 0 && port->PortType == WFD_CLIENT) || packet->AccessCategory == 0 ||
                        packet->AccessCategory == 2)
                           ? PCI_TX_RING_DATA1
                           : PCI_TX_RING_DATA0;
    const NTSTATUS status = QZCxHifPciXmitHardTransmit(hif, packet, ring);
    if (NT_SUCCESS(status) && eapol && adapter->Xmit.CountermeasureCount > 2) {
        // The countermeasure of a second MIC failure: the station leaves the network (reason 14).
        MLME_DISASSOC_REQ_STRUCT request = {};
        PlatformMoveMemory(request.Addr, port->Bssid, MAC_ADDR_LEN);
        request.Reason = kReasonMicFailure;
        (void)MlmeEnqueue(adapter, port, MLME_ASSOC_STATE_MACHINE, MT2_MLME_DISASSOC_REQ, sizeof(request), &request);
        adapter->Xmit.CountermeasureSent = 1;
    }
    return status;
}

NTSTATUS NdisCommonHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet)
{
    static constexpr PCSTR kPath = "NdisCommonHifPciApXmitHardTransmit";
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    PMP_PORT port = packet != nullptr ? packet->Port : nullptr;
    if (adapter == nullptr || port == nullptr || packet->FrameLength < kMinData || packet->FrameLength > kMaxData ||
        packet->FirstBufferLength < kHeader || packet->StationIndex >= MAC_TABLE_POOL_SIZE || port->Xmit.DfsBlocked != 0) {
        return Refuse(kPath, "no port, a frame of the wrong length, an unknown station or a blocked channel");
    }
    const BOOLEAN forGroup =
        static_cast<BOOLEAN>(packet->StationIndex == MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS));
    BOOLEAN ringOne;
    if (adapter->MccActive != 0) {
        ringOne = static_cast<BOOLEAN>(!forGroup && port->PortType == WFD_GO);
    } else {
        ringOne = static_cast<BOOLEAN>(!forGroup && packet->AccessCategory == 4);
    }
    if (!ringOne && !forGroup && (packet->AccessCategory == 0 || packet->AccessCategory == 2)) {
        ringOne = TRUE;
    }
    return QZCxHifPciApXmitHardTransmit(hif, packet, ringOne ? PCI_TX_RING_DATA1 : PCI_TX_RING_DATA0);
}

NTSTATUS NdisCommonHifPciMiniportMMRequest(PPCI_HIF_CONTEXT hif, PUCHAR frame, ULONG length, UCHAR sequence)
{
    static constexpr PCSTR kPath = "NdisCommonHifPciMiniportMMRequest";
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (frame == nullptr || length == 0) {
        if (frame != nullptr) {
            MlmeFreeMemory(adapter, frame);
        }
        return Refuse(kPath, "no frame");
    }
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    PUCHAR block = nullptr;
    PMP_PORT port = SendingPort(adapter, frame, length);
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kMgmtTag, &block)) || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "%s: no request block", kPath);
        block = nullptr;
    } else if (port != nullptr) {
        // The request lives only for this call: it is built on the stack, where it is aligned (the
        // MLME block's bytes carry no alignment a pointer member needs).
        MGMT_TX_REQUEST request = {};
        request.Valid = 1;
        request.Frame = frame;
        request.Length = length;
        request.Next = nullptr;
        request.NdpAnnouncement = static_cast<UCHAR>((frame[0] & 0x0C) == 0x04 && (frame[0] & 0xF0) == 0x50 ? 1 : 0);
        status = NdisCommonHifPciMlmeHardTransmit(hif, &request, sequence);
    }
    MlmeFreeMemory(adapter, frame);
    if (block != nullptr) {
        MlmeFreeMemory(adapter, block);
    }
    return status;
}

NTSTATUS NdisCommonHifPciMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MGMT_TX_REQUEST* request, ULONG arg)
{
    static constexpr PCSTR kPath = "NdisCommonHifPciMlmeHardTransmit";
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    if (adapter == nullptr || request == nullptr || request->Frame == nullptr || request->Length < 10) {
        return Refuse(kPath, "no request or frame");
    }
    PUCHAR frame = request->Frame;
    const ULONG length = request->Length;
    PMP_PORT port = SendingPort(adapter, frame, length);
    if (port == nullptr) {
        return Refuse(kPath, "no port");
    }
    const UCHAR fc0 = frame[0];
    const UCHAR type = static_cast<UCHAR>((fc0 >> 2) & 0x3);
    const UCHAR subtype = static_cast<UCHAR>(fc0 >> 4);
    const BOOLEAN probeRequest = static_cast<BOOLEAN>(type == 0 && subtype == 4);
    if ((Blocked(adapter, port) && !probeRequest) || length + kMgmtDescriptor > kMgmtBuffer) {
        return Refuse(kPath, "blocked channel, or a frame over 4064 bytes");
    }
    if (IsDirectProbe(frame, length) && adapter->P2pBlock != nullptr && adapter->P2pBlock->DevicePort != nullptr &&
        (adapter->P2pBlock->Flags & P2P_FLAG_GO_ACTIVE) != 0) {
        port = adapter->P2pBlock->DevicePort;
    }
    PTX_DMAQ_DESC record = TxDmaqAlloc(adapter, 1);
    if (record == nullptr) {
        return Refuse(kPath, "no record in transmit pool 1");
    }
    TX_FRAME_INFO info = {};
    info.Length = static_cast<USHORT>(length);
    info.HeaderLength = kHeader;
    info.Queue = kOtherQueue;
    info.FwQueue = 1;
    info.Port = port;
    info.NdpAnnouncement = request->NdpAnnouncement;
    info.NotNdpAnnouncement = static_cast<UCHAR>(request->NdpAnnouncement == 1 ? 0 : 1);
    info.OwnMacIndex = port->OwnMacIndex;
    info.MgmtLayout = 1;
    info.FrameType = type;
    info.FrameSubtype = subtype;
    info.PacketId = static_cast<UCHAR>(arg);
    info.KeyState = adapter->StaKeyState;
    info.KeyIndex = 0xFF;
    const BOOLEAN group = static_cast<BOOLEAN>(length >= 10 && (frame[4] & 0x01) != 0);
    info.GroupAddressed = group ? 1 : 0;
    if (group) {
        info.WlanIndex = MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
    } else {
        PMAC_TABLE_ENTRY peer = length >= 10 ? MlmeSyncMacTabMatchedBssidOnly(port, frame + 4) : nullptr;
        info.WlanIndex = peer != nullptr ? peer->WlanIdx : 0;
    }
    if ((frame[1] & 0x10) == 0 && adapter->Xmit.PsmBitMode == 1 && type != 1) {
        frame[1] = static_cast<UCHAR>(frame[1] | 0x10);
    }
    info.Ack = 1;
    if (type == 1) {
        info.Queue = kOtherQueue;
        if (subtype == 10) {  // PS-Poll
            frame[1] = static_cast<UCHAR>(frame[1] | 0x10);
        } else if (subtype == 8 && length >= 20) {  // Block Ack Request
            info.BlockAckRequest = 1;
            info.BlockAckRequestStart = static_cast<ULONG>((frame[18] | (frame[19] << 8)) >> 4);
        }
    } else {
        if (type == 0) {
            info.Queue = subtype == 8 ? (adapter->RegistryBlock.BeaconType == 2 ? kOtherQueue : kBeaconQueue) : kMgmtQueue;
        }
        if (length < kHeader) {
            TxDmaqFree(adapter, record);
            return Refuse(kPath, "management or data frame shorter than its header");
        }
        USHORT sequence;
        const BOOLEAN nullData = static_cast<BOOLEAN>(type == 2 && (subtype & 0x4) != 0);
        if (type == 2 && !nullData && (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0) {
            PMAC_TABLE_ENTRY bss = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
            if (bss == nullptr) {
                TxDmaqFree(adapter, record);
                return Refuse(kPath, "data frame without the BSS entry");
            }
            sequence = bss->TxSeq[0];
            bss->TxSeq[0] = static_cast<USHORT>((sequence + 1) & 0x0FFF);
        } else {
            adapter->Xmit.MgmtSeq = static_cast<USHORT>((adapter->Xmit.MgmtSeq + 1) & 0x0FFF);
            sequence = adapter->Xmit.MgmtSeq;
        }
        frame[22] = static_cast<UCHAR>((frame[22] & 0x0F) | ((sequence & 0x0F) << 4));
        frame[23] = static_cast<UCHAR>(sequence >> 4);
        if (group || probeRequest || (type == 0 && subtype == 5) || nullData) {
            info.Ack = 0;
        }
        if (group) {
            ++adapter->Xmit.GroupFrames;
        }
    }
    info.Ack = static_cast<UCHAR>(group ? 0 : info.Ack);
    // Protected management frames: a protected disassociation, deauthentication or action frame.
    if (type == 0 && (subtype == 10 || subtype == 12 || subtype == 13) && (frame[1] & 0x40) != 0 &&
        adapter->PmfEnabled != 0 && port->Mlme.PmfEnabled != 0) {
        info.Protection = 4;
    }
    if (!NT_SUCCESS(NdisCommonHifPciFreeDescriptorRequest(hif, PCI_TX_RING_COMMAND, 1))) {
        TxDmaqFree(adapter, record);
        return Refuse(kPath, "command ring full", STATUS_INSUFFICIENT_RESOURCES);
    }
    PlatformZeroMemory(record->BufferVa, kMgmtDescriptor);
    PlatformMoveMemory(record->BufferVa + kMgmtDescriptor, frame, length);
    record->Frame = record->BufferVa + kMgmtDescriptor;
    record->FrameLength = length;
    record->BytesUsed = kMgmtDescriptor + length;
    record->Port = port;
    XmitWriteTxD(adapter, record->BufferVa, &info);
    const NTSTATUS status = N6PciTxSendPkt(hif, record, PCI_TX_RING_COMMAND, FALSE);
    if (!NT_SUCCESS(status)) {
        TxDmaqFree(adapter, record);
    }
    return status;
}
