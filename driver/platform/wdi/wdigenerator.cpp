// WDI indication generators.
#include "platform/wdi/wdigenerator.h"

#include "platform/wdi/ndiswdi.h"

#include <cstring>

#include "Common/decoders.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "platform/ndis6/n6platformindicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

// The encoded TLVs of one indication ("ZV41").
#define TAG_WDI_TLV_BUFFER QZL_TAG('4', '1')
// Parameter blocks of the generators ("ZV40").
#define TAG_WDI_PARAMETERS TAG_ZV40

#define NLO_PARAMETER_BLOCK_SIZE 144u
#define SW_DBG_DUMP_FRAMES 0x1u

namespace {

// Writes TLVs {u16 type, u16 length, value} into a buffer; without a buffer it only counts. A value
// that does not fit a 16-bit length, or that the buffer cannot take, fails the whole encoding.
struct TlvWriter {
    PUCHAR Buffer;
    ULONG Size;
    ULONG Used;
    bool Failed;
};

void PutParts(TlvWriter& w, USHORT type, const void* a, ULONG aLength, const void* b = nullptr, ULONG bLength = 0)
{
    if (w.Failed) {
        return;
    }
    if (a == nullptr) {
        aLength = 0;
    }
    if (b == nullptr) {
        bLength = 0;
    }
    if (aLength > 0xFFFFu || bLength > 0xFFFFu - aLength) {
        w.Failed = true;
        return;
    }
    const ULONG total = WDI_TLV_HEADER_SIZE + aLength + bLength;
    if (w.Used > 0xFFFFFFFFu - total) {
        w.Failed = true;
        return;
    }
    if (w.Buffer != nullptr) {
        if (w.Size < w.Used || w.Size - w.Used < total) {
            w.Failed = true;
            return;
        }
        PUCHAR p = w.Buffer + w.Used;
        const ULONG valueLength = aLength + bLength;
        p[0] = static_cast<UCHAR>(type);
        p[1] = static_cast<UCHAR>(type >> 8);
        p[2] = static_cast<UCHAR>(valueLength);
        p[3] = static_cast<UCHAR>(valueLength >> 8);
        if (aLength != 0) {
            std::memcpy(p + WDI_TLV_HEADER_SIZE, a, aLength);
        }
        if (bLength != 0) {
            std::memcpy(p + WDI_TLV_HEADER_SIZE + aLength, b, bLength);
        }
    }
    w.Used += total;
}

template <size_t N>
void PutU32s(TlvWriter& w, USHORT type, const ULONG (&values)[N])
{
    UCHAR bytes[4 * N];
    for (size_t i = 0; i < N; ++i) {
        std::memcpy(bytes + 4 * i, &values[i], 4);
    }
    PutParts(w, type, bytes, sizeof(bytes));
}

// An address followed by u32 values.
template <size_t N>
void PutAddressU32s(TlvWriter& w, USHORT type, const UCHAR* address, const ULONG (&values)[N])
{
    UCHAR bytes[6 + 4 * N] = {};
    if (address != nullptr) {
        std::memcpy(bytes, address, 6);
    }
    for (size_t i = 0; i < N; ++i) {
        std::memcpy(bytes + 6 + 4 * i, &values[i], 4);
    }
    PutParts(w, type, bytes, sizeof(bytes));
}

// A stored management frame's body (behind its 24-byte MAC header); a frame of 24 bytes or less has
// none and writes nothing.
void PutFrameBody(TlvWriter& w, USHORT type, const UCHAR* frame, ULONG length)
{
    if (frame == nullptr || length <= WDI_MGMT_HEADER_SIZE) {
        return;
    }
    PutParts(w, type, frame + WDI_MGMT_HEADER_SIZE, length - WDI_MGMT_HEADER_SIZE);
}

// Encodes the TLVs `fill` writes into a buffer of their exact size; the buffer is null for no TLVs.
template <typename Fill>
NTSTATUS Generate(PMP_ADAPTER adapter, Fill&& fill, PUCHAR* out, PULONG outLength)
{
    *out = nullptr;
    *outLength = 0;
    TlvWriter measure{nullptr, 0, 0, false};
    fill(measure);
    if (measure.Failed) {
        return NDIS_STATUS_INVALID_DATA;
    }
    if (measure.Used == 0) {
        return STATUS_SUCCESS;
    }
    PUCHAR buffer = nullptr;
    NTSTATUS status =
        PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&buffer), measure.Used, TAG_WDI_TLV_BUFFER);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    TlvWriter w{buffer, measure.Used, 0, false};
    fill(w);
    if (w.Failed || w.Used != measure.Used) {
        PlatformFreeMemory(buffer, measure.Used);
        return NDIS_STATUS_INVALID_DATA;
    }
    *out = buffer;
    *outLength = w.Used;
    return STATUS_SUCCESS;
}

// How a generator sends what it encoded.
enum class OnFailure { Drop, SendBare };

// Generates and sends one indication; a failed encoding drops it or sends the bare header.
template <typename Fill>
void GenerateAndSend(PMP_ADAPTER adapter, PCSTR name, const WDI_MESSAGE_HEADER* header, USHORT portId, ULONG code,
                     NTSTATUS status, ULONG mode, OnFailure onFailure, Fill&& fill)
{
    PUCHAR buffer = nullptr;
    ULONG length = 0;
    NTSTATUS generated = Generate(adapter, fill, &buffer, &length);
    if (!NT_SUCCESS(generated)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "%s: generating indication 0x%08X failed 0x%08X", name,
                 static_cast<unsigned>(code), static_cast<unsigned>(generated));
        if (onFailure == OnFailure::Drop) {
            return;
        }
    }
    WdiEventSendStatusIndicationEx(adapter, header, portId, code, status, buffer, length, mode);
    if (buffer != nullptr) {
        PlatformFreeMemory(buffer, length);
    }
}

USHORT PortIdOf(PMP_PORT port)
{
    return port != nullptr ? static_cast<USHORT>(port->PortNumber) : 0;
}

ULONG DeviceContext(PMP_ADAPTER adapter)
{
    return adapter->Ind.ScanDeviceContext;
}

void DumpIfAsked(PMP_ADAPTER adapter, PCSTR label, const UCHAR* data, ULONG length)
{
    if ((adapter->RegistryBlock.SwDbg & SW_DBG_DUMP_FRAMES) == 0 || data == nullptr) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_WDI, "%s: %u bytes", label, static_cast<unsigned>(length));
    for (ULONG i = 0; i < length; i += 16) {
        char line[16 * 3 + 1];
        ULONG n = 0;
        for (ULONG j = i; j < length && j < i + 16; ++j) {
            static const char kHex[] = "0123456789ABCDEF";
            line[n++] = kHex[data[j] >> 4];
            line[n++] = kHex[data[j] & 0xF];
            line[n++] = ' ';
        }
        line[n] = '\0';
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_WDI, "%04X: %s", static_cast<unsigned>(i), line);
    }
}

bool HasBody(const UCHAR* frame, ULONG length)
{
    return frame != nullptr && length > WDI_MGMT_HEADER_SIZE;
}

}  // namespace

ULONG WdiGeneratorLinkQuality(LONG rssi)
{
    // x is the negated signal strength taken as an unsigned byte.
    const LONG x = static_cast<UCHAR>(static_cast<CHAR>(-rssi));
    LONG quality;
    if (x < 31) {
        quality = 100;
    } else if (x <= 70) {
        quality = 100 + (30 - x) * 25 / 40;
    } else {
        quality = 75 + (70 - x) * 45 / 15;
    }
    return quality < 1 ? 0 : static_cast<ULONG>(quality);
}

PCSTR WdiGeneratorSaeIndicationTypeName(ULONG type)
{
    switch (type) {
    case WDI_SAE_INDICATION_TYPE_COMMIT_REQUEST_PARAMS_NEEDED:
        return "WDI_SAE_INDICATION_TYPE_COMMIT_REQUEST_PARAMS_NEEDED";
    case WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE:
        return "WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE";
    case WDI_SAE_INDICATION_TYPE_CONFIRM_RESPONSE:
        return "WDI_SAE_INDICATION_TYPE_CONFIRM_RESPONSE";
    case WDI_SAE_INDICATION_TYPE_ERROR:
        return "WDI_SAE_INDICATION_TYPE_ERROR";
    case WDI_SAE_INDICATION_TYPE_CONFIRM_REQUEST_RESEND_REQUEST:
        return "WDI_SAE_INDICATION_TYPE_CONFIRM_REQUEST_RESEND_REQUEST";
    default:
        return "***UNKNOWN TYPE***";
    }
}

// ================================================================================================
// BSS entries
// ================================================================================================
void WdiGeneratorBssEntry(PMP_ADAPTER adapter, PMP_PORT port, const WDI_BSS_ENTRY_SOURCE* entry)
{
    if (adapter == nullptr || entry == nullptr) {
        return;
    }
    const bool probe = HasBody(entry->ProbeResponse, entry->ProbeResponseLength);
    const bool beacon = HasBody(entry->Beacon, entry->BeaconLength);
    if (!probe && !beacon) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "BSS entry without a frame: not indicated");
        return;
    }
    const UCHAR cached = entry->Indicated != nullptr ? *entry->Indicated : 0;
    if (entry->Indicated != nullptr) {
        *entry->Indicated = 1;
    }
    const ULONG context = DeviceContext(adapter);
    if (probe) {
        DumpIfAsked(adapter, "ProbeResponse Packet", entry->ProbeResponse, entry->ProbeResponseLength);
    }
    if (beacon) {
        DumpIfAsked(adapter, "Beacon Packet", entry->Beacon, entry->BeaconLength);
    }
    DumpIfAsked(adapter, "DeviceSpecificContext", reinterpret_cast<const UCHAR*>(&context), sizeof(context));
    GenerateAndSend(adapter, "WdiGeneratorBssEntry", nullptr, PortIdOf(port), WDI_INDICATION_BSS_ENTRY_LIST,
                    STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED, OnFailure::Drop, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_BSSID, entry->Bssid, 6);
                        if (probe) {
                            PutFrameBody(w, WDI_TLV_PROBE_RESPONSE_FRAME, entry->ProbeResponse,
                                         entry->ProbeResponseLength);
                        }
                        if (beacon) {
                            PutFrameBody(w, WDI_TLV_BEACON_FRAME, entry->Beacon, entry->BeaconLength);
                        }
                        PutU32s(w, WDI_TLV_SIGNAL_INFO,
                                {static_cast<ULONG>(entry->Rssi), WdiGeneratorLinkQuality(entry->Rssi)});
                        PutU32s(w, WDI_TLV_CHANNEL_INFO, {entry->Channel, NdisWdiGetWdiBandIdFromBand(adapter, entry->Band)});
                        PutParts(w, WDI_TLV_DEVICE_CONTEXT, &context, sizeof(context));
                        UCHAR age[9];
                        std::memcpy(age, &entry->HostTimeStamp, 8);
                        age[8] = cached;
                        PutParts(w, WDI_TLV_BSS_ENTRY_AGE_INFO, age, sizeof(age));
                    });
}

void WdiGeneratorP2pBssEntry(PMP_ADAPTER adapter, PMP_PORT port, const void* discoveryEntry)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(discoveryEntry);
    // The Wi-Fi Direct discovery entry's layout comes with the discovery table.
    (void)NOT_BUILT_YET();
}

// ================================================================================================
// association
// ================================================================================================
void WdiGeneratorAssociationCompletion(PMP_ADAPTER adapter, PMP_PORT port, const void* record, ULONG recordLength,
                                       const WDI_ASSOCIATION_RESULT* result)
{
    if (adapter == nullptr || port == nullptr || result == nullptr) {
        return;
    }
    PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
    if (own == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "association result of port %u: no own station entry",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    // The frames the record points at: the request and response bodies as they are, the beacon
    // behind its MAC header.
    const UCHAR* base = static_cast<const UCHAR*>(record);
    ULONG offsets[3] = {};
    ULONG sizes[3] = {};
    if (base != nullptr && recordLength >= sizeof(DOT11_ASSOCIATION_COMPLETION_PARAMETERS)) {
        DOT11_ASSOCIATION_COMPLETION_PARAMETERS r;
        std::memcpy(&r, base, sizeof(r));
        const ULONG o[3] = {r.uAssocReqOffset, r.uAssocRespOffset, r.uBeaconOffset};
        const ULONG z[3] = {r.uAssocReqSize, r.uAssocRespSize, r.uBeaconSize};
        for (int i = 0; i < 3; ++i) {
            if (z[i] != 0 && o[i] <= recordLength && z[i] <= recordLength - o[i]) {
                offsets[i] = o[i];
                sizes[i] = z[i];
            } else if (z[i] != 0) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "association record frame %d outside the record", i);
            }
        }
    }
    const ULONG context = DeviceContext(adapter);
    const NTSTATUS status = result->AssociationStatus != 0 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS;
    GenerateAndSend(adapter, "WdiGeneratorAssociationCompletion", &adapter->Wdi.CntlBlock.HeaderCopy,
                    PortIdOf(port), WDI_INDICATION_ASSOCIATION_RESULT, status, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::Drop, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_BSSID, own->Addr, 6);
                        PutParts(w, WDI_TLV_ASSOCIATION_RESULT, result, sizeof(*result));
                        if (sizes[0] != 0) {
                            PutParts(w, WDI_TLV_ASSOC_REQUEST_FRAME, base + offsets[0], sizes[0]);
                        }
                        if (sizes[1] != 0) {
                            PutParts(w, WDI_TLV_ASSOC_RESPONSE_FRAME, base + offsets[1], sizes[1]);
                        }
                        if (sizes[2] != 0) {
                            PutFrameBody(w, WDI_TLV_BEACON_FRAME, base + offsets[2], sizes[2]);
                        }
                        PutParts(w, WDI_TLV_DEVICE_CONTEXT, &context, sizeof(context));
                    });
}

void WdiGeneratorApSendAssociationResponseComplete(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry,
                                                   const UCHAR* peer, UCHAR result, ULONG frameLength,
                                                   const UCHAR* frame)
{
    if (adapter == nullptr || port == nullptr || peer == nullptr) {
        return;
    }
    if (port->PortType == WFD_GO) {
        // The group owner's current beacon body goes along; its store comes with the group owner's
        // beacon builders.
        (void)NOT_BUILT_YET();
    }
    const ULONG context = DeviceContext(adapter);
    UCHAR summary[6 + 2 + 8] = {};
    std::memcpy(summary, peer, 6);
    summary[6] = result;
    summary[7] = result;
    const ULONG auth = entry != nullptr ? entry->AuthMode : 0;
    const ULONG cipher = entry != nullptr ? entry->CipherMode : 0;
    std::memcpy(summary + 8, &auth, 4);
    std::memcpy(summary + 12, &cipher, 4);
    const WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    GenerateAndSend(adapter, "WdiGeneratorApSendAssociationResponseComplete", &header, PortIdOf(port),
                    WDI_INDICATION_SEND_AP_ASSOCIATION_RESPONSE_COMPLETE, STATUS_SUCCESS,
                    WDI_INDICATION_MODE_TASK_COMPLETION, OnFailure::SendBare, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_AP_ASSOC_RESPONSE_RESULT, summary, sizeof(summary));
                        if (frame != nullptr && frameLength != 0) {
                            PutParts(w, WDI_TLV_ASSOC_RESPONSE_FRAME, frame, frameLength);
                        }
                        PutParts(w, WDI_TLV_DEVICE_CONTEXT, &context, sizeof(context));
                    });
}

NTSTATUS WdiGeneratorEventIndicateApAssociationRequest(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peerRecord,
                                                       ULONG requestLength, const UCHAR* request, ULONG extraLength,
                                                       const UCHAR* extra)
{
    if (adapter == nullptr || peerRecord == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateApAssociationRequest", nullptr, PortIdOf(port),
                    WDI_INDICATION_AP_ASSOCIATION_REQUEST_RECEIVED, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::SendBare, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_PEER_INFO, peerRecord, 7);
                        if (request != nullptr && requestLength != 0) {
                            PutParts(w, WDI_TLV_AP_ASSOC_REQUEST_FRAME, request, requestLength);
                        }
                        if (extra != nullptr && extraLength != 0) {
                            PutParts(w, WDI_TLV_AP_ASSOC_EXTRA, extra, extraLength);
                        }
                    });
    return STATUS_SUCCESS;
}

NTSTATUS WdiGeneratorEventIndicateAssociationParametersRequest(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const UCHAR* bssid = nullptr;
    ULONG extra1 = 0;
    ULONG extra2 = 0;
    switch (reason) {
    case ASSOC_PARAMS_REASON_CURRENT_BSS:
        bssid = port->Bssid;
        break;
    case ASSOC_PARAMS_REASON_ROAM_TARGET:
        bssid = port->Ind.RoamTarget;
        port->Ind.ParamsRequested = 1;
        extra1 = 10;
        extra2 = 1;
        break;
    case ASSOC_PARAMS_REASON_PENDING_261:
    case ASSOC_PARAMS_REASON_PENDING_262:
        bssid = adapter->Ind.PendingBssid;
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "association parameters request: reason %u not sent",
                 static_cast<unsigned>(reason));
        return STATUS_INVALID_PARAMETER;
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateAssociationParametersRequest", nullptr, PortIdOf(port),
                    WDI_INDICATION_ASSOCIATION_PARAMETERS_REQUEST, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::SendBare, [&](TlvWriter& w) {
                        PutAddressU32s(w, WDI_TLV_ASSOC_PARAMS_BSSID, bssid, {extra1, extra2});
                        PutU32s(w, WDI_TLV_ASSOC_PARAMS_REQUEST,
                                {2u, port->Channel.PrimaryChannel, port->Ind.LastLinkQuality});
                    });
    return STATUS_SUCCESS;
}

// ================================================================================================
// connection events
// ================================================================================================
void WdiGeneratorEventIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG wdiStatus)
{
    if (adapter == nullptr) {
        return;
    }
    // On the disconnect task's header when that task is pending.
    const WDI_CNTL_BLOCK& block = adapter->Wdi.CntlBlock;
    const WDI_MESSAGE_HEADER* header =
        block.PendingMessageId == WDI_TASK_DISCONNECT ? &block.HeaderCopy : nullptr;
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateDisassociation", header, PortIdOf(port),
                    WDI_INDICATION_DISASSOCIATION, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::SendBare,
                    [&](TlvWriter& w) { PutAddressU32s(w, WDI_TLV_DISASSOCIATION_PARAMS, peer, {wdiStatus}); });
}

void WdiGeneratorEventIndicateFtAssocParamsNeeded(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* target)
{
    if (adapter == nullptr || port == nullptr || target == nullptr) {
        return;
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateFtAssocParamsNeeded", nullptr, PortIdOf(port),
                    WDI_INDICATION_FT_ASSOC_PARAMS_NEEDED, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::Drop, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_FT_TARGET, target, 6);
                        for (ULONG i = 0; i < PORT_FT_ELEMENT_BUFFERS; ++i) {
                            if (port->Ind.FtElements[i] != nullptr && port->Ind.FtElementLengths[i] != 0) {
                                PutParts(w, WDI_TLV_FT_ELEMENTS, port->Ind.FtElements[i],
                                         port->Ind.FtElementLengths[i]);
                            }
                        }
                    });
}

void WdiGeneratorEventIndicateLinkStateChange(PMP_ADAPTER adapter, PMP_PORT port,
                                              const WDI_LINK_STATE_PARAMETERS* state,
                                              const WDI_LINK_QUALITY_ENTRY* quality)
{
    if (adapter == nullptr || state == nullptr) {
        return;
    }
    // Both records go into parameter blocks of their own; without the list's block the state goes
    // alone.
    PWDI_LINK_STATE_PARAMETERS stateCopy = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&stateCopy), sizeof(*stateCopy),
                                           TAG_WDI_PARAMETERS))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "link state: no parameter block");
        return;
    }
    std::memcpy(stateCopy, state, sizeof(*stateCopy));
    PWDI_LINK_QUALITY_ENTRY list = nullptr;
    if (quality != nullptr) {
        if (NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&list), sizeof(*list),
                                              TAG_WDI_PARAMETERS))) {
            std::memcpy(list, quality, sizeof(*list));
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "link state: no link-quality list");
        }
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateLinkStateChange", nullptr, PortIdOf(port),
                    WDI_INDICATION_LINK_STATE_CHANGE, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::Drop, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_LINK_STATE_PARAMS, stateCopy, sizeof(*stateCopy));
                        if (list != nullptr) {
                            PutParts(w, WDI_TLV_LINK_QUALITY_ENTRY, list, sizeof(*list));
                        }
                    });
    PlatformFreeMemory(list, sizeof(*list));
    PlatformFreeMemory(stateCopy, sizeof(*stateCopy));
}

void WdiGeneratorEventIndicateTkipMicFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyKind,
                                             ULONG keyIndex)
{
    if (adapter == nullptr) {
        return;
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateTkipMicFailure", nullptr, PortIdOf(port),
                    WDI_INDICATION_TKIP_MIC_FAILURE, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::Drop, [&](TlvWriter& w) {
                        PutAddressU32s(w, WDI_TLV_TKIP_MIC_FAILURE_INFO, peer, {keyKind, keyIndex});
                    });
}

void WdiGeneratorEventIndicateNLODiscovery(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length,
                                           LONG rssi)
{
    if (adapter == nullptr || frame == nullptr || length == 0) {
        return;
    }
    PUCHAR block = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&block), NLO_PARAMETER_BLOCK_SIZE,
                                           TAG_WDI_PARAMETERS))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "NLO discovery: no parameter block");
        return;
    }
    const UCHAR type = static_cast<UCHAR>((frame[0] >> 2) & 0x3);
    const UCHAR subtype = static_cast<UCHAR>(frame[0] & 0xF0);
    USHORT frameTlv = 0;
    if (type == 0 && subtype == 0x50) {
        frameTlv = WDI_TLV_PROBE_RESPONSE_FRAME;
    } else if (type == 0 && subtype == 0x80) {
        frameTlv = WDI_TLV_BEACON_FRAME;
    }
    // The third address needs the whole MAC header.
    if (frameTlv == 0 || length < WDI_MGMT_HEADER_SIZE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "NLO discovery: frame type %u subtype 0x%02X length %u dropped",
                 static_cast<unsigned>(type), static_cast<unsigned>(subtype), static_cast<unsigned>(length));
        PlatformFreeMemory(block, NLO_PARAMETER_BLOCK_SIZE);
        return;
    }
    const ULONG context = DeviceContext(adapter);
    const ULONG channel = adapter->PortList[0] != nullptr ? adapter->PortList[0]->Channel.PrimaryChannel : 0;
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateNLODiscovery", nullptr, PortIdOf(port),
                    WDI_INDICATION_NLO_DISCOVERY, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED, OnFailure::Drop,
                    [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_BSSID, frame + 16, 6);
                        PutFrameBody(w, frameTlv, frame, length);
                        PutParts(w, WDI_TLV_DEVICE_CONTEXT, &context, sizeof(context));
                        PutU32s(w, WDI_TLV_SIGNAL_INFO, {static_cast<ULONG>(rssi), WdiGeneratorLinkQuality(rssi)});
                        PutU32s(w, WDI_TLV_CHANNEL_INFO,
                                {channel, NdisWdiGetWdiBandIdFromBand(adapter, adapter->CurrentBand)});
                    });
    PlatformFreeMemory(block, NLO_PARAMETER_BLOCK_SIZE);
}

void WdiGeneratorEventIndicateRoamingNeeded(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason)
{
    if (adapter == nullptr) {
        return;
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateRoamingNeeded", nullptr, PortIdOf(port),
                    WDI_INDICATION_ROAMING_NEEDED, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED, OnFailure::Drop,
                    [&](TlvWriter& w) { PutU32s(w, WDI_TLV_ROAMING_NEEDED_PARAMS, {reason}); });
}

NTSTATUS WdiGeneratorEventIndicateSAE(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG frameLength,
                                      const UCHAR* peerRecord, ULONG type)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (frame != nullptr && frameLength < WDI_MGMT_HEADER_SIZE) {
        frame = nullptr;  // too short for its MAC header: treated as no frame
    }
    const UCHAR* bssid = frame != nullptr ? frame + 10 : peerRecord;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "SAE indication %s", WdiGeneratorSaeIndicationTypeName(type));
    if (type == WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE && frame != nullptr && port->Ind.SaeH2e == 1) {
        // Hash-to-element: the length of the element 255 whose byte two places further is 93; the
        // walk stops two bytes before the end so that the test never reads past the frame.
        const UCHAR* body = frame + WDI_MGMT_HEADER_SIZE;
        const ULONG bodyLength = frameLength - WDI_MGMT_HEADER_SIZE;
        for (ULONG i = 0; i + 2 < bodyLength; ++i) {
            if (body[i] == 255 && body[i + 2] == 93) {
                port->Ind.SaeH2eElementLength = body[i + 1];
                break;
            }
        }
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateSAE", nullptr, PortIdOf(port),
                    WDI_INDICATION_SAE_AUTH_PARAMS_NEEDED, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::SendBare, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_BSSID, bssid, bssid != nullptr ? 6 : 0);
                        const ULONG flags = type == WDI_SAE_INDICATION_TYPE_ERROR ? WDI_SAE_ERROR_FLAG : 0;
                        PutU32s(w, WDI_TLV_SAE_INDICATION_TYPE, {type, flags});
                        if (type == WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE && frame != nullptr) {
                            PutFrameBody(w, WDI_TLV_SAE_COMMIT_FRAME, frame, frameLength);
                        } else if (type == WDI_SAE_INDICATION_TYPE_CONFIRM_RESPONSE && frame != nullptr) {
                            PutFrameBody(w, WDI_TLV_SAE_CONFIRM_FRAME, frame, frameLength);
                        }
                    });
    return STATUS_SUCCESS;
}

void WdiGeneratorEventIndicateWakeReason(PMP_ADAPTER adapter, PMP_PORT port, const WDI_WAKE_REASON_PARAMETERS* wake)
{
    if (adapter == nullptr || wake == nullptr) {
        return;
    }
    GenerateAndSend(adapter, "WdiGeneratorEventIndicateWakeReason", nullptr, PortIdOf(port),
                    WDI_INDICATION_WAKE_REASON, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED, OnFailure::Drop,
                    [&](TlvWriter& w) {
                        PutU32s(w, WDI_TLV_WAKE_REASON,
                                {wake->Flags, wake->WakeReason, wake->PacketLength, wake->AdditionalValue});
                        if ((wake->Flags & WAKE_REASON_FLAG_PACKET) != 0 && wake->PacketPresent != 0 &&
                            wake->Packet != nullptr) {
                            PutParts(w, WDI_TLV_WAKE_PACKET, wake->Packet, wake->PacketLength);
                        }
                    });
}

void WdiGeneratorEventP2PGroupOperatingChannel(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr) {
        return;
    }
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "group operating channel: no port");
        return;
    }
    const UCHAR channel = port->PortType == WFD_GO ? port->P2pOpChannel : port->Channel.PrimaryChannel;
    const ULONG band = channel < 15 ? BAND_24G : BAND_5G;
    UCHAR attribute[10] = {'X', 'X', 4};
    attribute[3] = P2pOpClassFromChannel(channel, band, 4);
    attribute[4] = channel;
    attribute[5] = 1;
    const ULONG bandId = NdisWdiGetWdiBandIdFromBand(adapter, port->Channel.Band);
    std::memcpy(attribute + 6, &bandId, 4);
    GenerateAndSend(adapter, "WdiGeneratorEventP2PGroupOperatingChannel", nullptr, PortIdOf(port),
                    WDI_INDICATION_P2P_GROUP_OPERATING_CHANNEL, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::SendBare,
                    [&](TlvWriter& w) { PutParts(w, WDI_TLV_P2P_GROUP_CHANNEL, attribute, sizeof(attribute)); });
}

NTSTATUS WdiGeneratorGetStatistics(PMP_ADAPTER adapter, PMP_PORT port, const void* statistics, ULONG macEntryCount,
                                   ULONG phyEntryCount, PUCHAR* buffer, PULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(statistics);
    UNREFERENCED_PARAMETER(macEntryCount);
    UNREFERENCED_PARAMETER(phyEntryCount);
    if (buffer != nullptr) {
        *buffer = nullptr;
    }
    if (length != nullptr) {
        *length = 0;
    }
    // The per-band counters come with the statistics property.
    return NOT_BUILT_YET();
}

// ================================================================================================
// action frames
// ================================================================================================
NTSTATUS WdiGeneratorIncomingActionFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR value, ULONG channel,
                                         const UCHAR* frame, ULONG frameLength)
{
    if (adapter == nullptr || port == nullptr || frame == nullptr || frameLength < WDI_MGMT_HEADER_SIZE) {
        return STATUS_INVALID_PARAMETER;
    }
    const ULONG band = channel < 15 ? BAND_24G : BAND_5G;
    GenerateAndSend(adapter, "WdiGeneratorIncomingActionFrame", nullptr, PortIdOf(port),
                    WDI_INDICATION_ACTION_FRAME_RECEIVED, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::Drop, [&](TlvWriter& w) {
                        UCHAR info[11];
                        std::memcpy(info, frame + 10, 6);
                        info[6] = value;
                        const ULONG bandId = NdisWdiGetWdiBandIdFromBand(adapter, band);
                        std::memcpy(info + 7, &bandId, 4);
                        PutParts(w, WDI_TLV_ACTION_FRAME_INFO, info, sizeof(info));
                        PutFrameBody(w, WDI_TLV_ACTION_FRAME_BODY, frame, frameLength);
                    });
    return STATUS_SUCCESS;
}

void WdiGeneratorP2PIncomingActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const void* frameInfo, const UCHAR* body,
                                        ULONG bodyLength, const UCHAR* extraIes, ULONG extraLength)
{
    if (adapter == nullptr || frameInfo == nullptr) {
        return;
    }
    ULONG frameType = 0;
    std::memcpy(&frameType, frameInfo, sizeof(frameType));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "Wi-Fi Direct action frame received: %s",
             DecodeWdiP2PActionFrame(frameType));
    GenerateAndSend(adapter, "WdiGeneratorP2PIncomingActionFrame", nullptr, PortIdOf(port),
                    WDI_INDICATION_P2P_ACTION_FRAME_RECEIVED, STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED,
                    OnFailure::SendBare, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_P2P_ACTION_FRAME_INFO, frameInfo, WDI_P2P_ACTION_FRAME_INFO_SIZE);
                        if (body != nullptr && bodyLength != 0) {
                            PutParts(w, WDI_TLV_ACTION_FRAME_BODY, body, bodyLength);
                        }
                        if (extraIes != nullptr && extraLength != 0) {
                            PutParts(w, WDI_TLV_P2P_EXTRA_IES, extraIes, extraLength);
                        }
                    });
}

namespace {

void P2pSendComplete(PMP_ADAPTER adapter, PMP_PORT port, PCSTR name, ULONG code, const UCHAR* peer,
                     const UCHAR* frame, ULONG frameLength, NTSTATUS status)
{
    if (adapter == nullptr || frame == nullptr || frameLength == 0 || peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "%s: no frame, nothing sent", name);
        return;
    }
    const WDI_CNTL_BLOCK& block = adapter->Wdi.CntlBlock;
    GenerateAndSend(adapter, name, &block.HeaderCopy, PortIdOf(port), code, status,
                    WDI_INDICATION_MODE_TASK_COMPLETION, OnFailure::SendBare, [&](TlvWriter& w) {
                        PutParts(w, WDI_TLV_PEER_INFO, peer, 7);
                        PutParts(w, WDI_TLV_SEND_COMPLETE_FRAME, frame, frameLength);
                    });
}

}  // namespace

void WdiGeneratorP2PSendRequestActionComplete(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer,
                                              const UCHAR* frame, ULONG frameLength, NTSTATUS status)
{
    P2pSendComplete(adapter, port, "WdiGeneratorP2PSendRequestActionComplete",
                    WDI_INDICATION_P2P_SEND_REQUEST_ACTION_FRAME_COMPLETE, peer, frame, frameLength, status);
}

void WdiGeneratorP2PSendResponseActionComplete(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer,
                                               const UCHAR* frame, ULONG frameLength, NTSTATUS status)
{
    P2pSendComplete(adapter, port, "WdiGeneratorP2PSendResponseActionComplete",
                    WDI_INDICATION_P2P_SEND_RESPONSE_ACTION_FRAME_COMPLETE, peer, frame, frameLength, status);
}

// ================================================================================================
// radio state and channel lists
// ================================================================================================
void WdiGeneratorSetRadioState(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return;
    }
    const UCHAR state[2] = {adapter->RadioState.HardwareRadioState, adapter->RadioState.SoftwareRadioState};
    GenerateAndSend(adapter, "WdiGeneratorSetRadioState", nullptr, WDI_PORT_ID_ADAPTER, WDI_INDICATION_RADIO_STATUS,
                    STATUS_SUCCESS, WDI_INDICATION_MODE_UNSOLICITED, OnFailure::Drop,
                    [&](TlvWriter& w) { PutParts(w, WDI_TLV_RADIO_STATE, state, sizeof(state)); });
}

ULONG WdiChannelCentreFrequency(ULONG band, ULONG channel)
{
    switch (band) {
    case BAND_24G:
        if (channel >= 2 && channel <= 13) {
            return 2407 + 5 * channel;
        }
        return channel == 14 ? 2484 : 2412;
    case BAND_5G:
        if ((channel >= 32 && channel <= 48 && channel % 2 == 0) ||
            (((channel >= 52 && channel <= 68) || (channel >= 96 && channel <= 144)) && channel % 4 == 0) ||
            (channel >= 149 && channel <= 177 && channel % 2 == 1)) {
            return 5000 + 5 * channel;
        }
        return 2412;
    case BAND_6G:
        if (channel >= 1 && channel <= 233 && channel % 4 == 1) {
            return 5950 + 5 * channel;
        }
        return 6135;
    default:
        return 2412;
    }
}

ULONG WdiGeneratorSupportedChannelList(PMP_ADAPTER adapter, WIFI_CHANNEL_MAPPING_ENTRY* entries, ULONG count,
                                       ULONG bandType)
{
    ULONG band = bandType == 1 ? BAND_24G : bandType == 2 ? BAND_5G : bandType == 5 ? BAND_6G : 0;
    if (entries == nullptr || band == 0) {
        return 0;
    }
    ULONG written = 0;
    ULONG listed = adapter->Country.ChannelListCount < DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    for (ULONG i = 0; i < listed && written < count; ++i) {
        const DOMAIN_CHANNEL_ENTRY& e = adapter->Country.ChannelList[i];
        if (e.Band != band) {
            continue;
        }
        entries[written].ChannelNumber = e.Channel;
        entries[written].ChannelCenterFrequency = WdiChannelCentreFrequency(band, e.Channel);
        ++written;
    }
    return written;
}
