// Wi-Fi Direct frames: the P2P and WPS elements that probe requests and responses, association
// requests and responses and the group owner's beacon carry, and the group owner's notice-of-absence
// element.
#include <cstring>

#include "Common/mlme/mlmewsc.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "Common/p2p/p2ppacket_wire.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kWfdControlExtListen = 0x00200000u;     // bit 21: announce Extended Listen Timing
constexpr ULONG kWfdControlClientDiscover = 0x00100000u;  // bit 20: client discoverability
constexpr ULONG kCtrlFlagGoNoa = 0x08u;                 // control block: a group owner keeps a schedule
constexpr UCHAR kCtWindowOppPs = 0x80;
constexpr USHORT kNoPasswordId = 0xFFFF;
constexpr USHORT kMethodsDisplayKeypad = 0x0108;
constexpr USHORT kMethodsDisplayPbcKeypad = 0x0188;
constexpr UCHAR kWfaVendorId[3] = {0x00, 0x37, 0x2A};
constexpr char kTestValue[] = "V5.7TEST";
// The lengths of the default strings: the WPS text attributes always carry that many bytes.
constexpr USHORT kManufacturerLen = sizeof("Quazel Inc.") - 1;
constexpr USHORT kModelNameLen = sizeof("Quazel Wireless Adapter") - 1;
constexpr USHORT kModelNumberLen = sizeof("QZ0XXX") - 1;
constexpr USHORT kSerialNumberLen = sizeof("12345678") - 1;

bool IsWfdPort(PMP_PORT port)
{
    return port->PortType == WFD_DEVICE || port->PortType == WFD_GO || port->PortType == WFD_CLIENT;
}

// The P2P device port's address, or the port's own when the adapter has no device port.
const UCHAR* DeviceAddressOf(PMP_ADAPTER adapter, PMP_PORT port)
{
    PP2P_CTRL_BLOCK block = adapter->P2pBlock;
    if (block != nullptr && block->DevicePort != nullptr) {
        return block->DevicePort->MacAddress;
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: no P2P device port; the port's own address", __func__);
    return port->MacAddress;
}

ULONG CtrlFlags(PMP_ADAPTER adapter)
{
    return adapter->P2pBlock != nullptr ? adapter->P2pBlock->Flags : 0;
}

// Attributes are written one after another from an offset within a bounded destination.
struct AttrWriter {
    PMP_ADAPTER Adapter;
    PMP_PORT Port;
    PUCHAR Base;
    ULONG Capacity;
    ULONG Offset;
    bool Full;

    void Put(UCHAR id, const void* source)
    {
        if (Full) {
            return;
        }
        const ULONG written = InsertP2PAttribute(Adapter, Port, id, source, Base + Offset, Capacity - Offset);
        if (written == 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "P2pMakeP2pIE: attribute %u not written", id);
            Full = true;
            return;
        }
        Offset += written;
    }
};

// WPS attributes written one after another, bounded by the destination.
struct WpsWriter {
    PUCHAR Base;
    ULONG Capacity;
    ULONG Offset;
    bool Full;

    void Put(USHORT type, const void* value, USHORT length)
    {
        if (Full || Offset + 4 + length > Capacity || Offset + 4 + length > 2 + P2P_IE_MAX_BODY) {
            Full = true;
            return;
        }
        P2pPutBe16(Base + Offset, type);
        P2pPutBe16(Base + Offset + 2, length);
        PlatformMoveMemory(Base + Offset + 4, value, length);
        Offset += 4 + length;
    }
    void Put8(USHORT type, UCHAR value) { Put(type, &value, 1); }
    void Put16(USHORT type, USHORT value)
    {
        UCHAR be[2];
        P2pPutBe16(be, value);
        Put(type, be, 2);
    }
    bool Head()
    {
        if (Capacity < P2P_IE_HEAD_LEN) {
            Full = true;
            return false;
        }
        Base[0] = P2P_IE_ID;
        Base[1] = 0;
        memcpy(Base + 2, kWpsOui, sizeof(kWpsOui));
        Offset = P2P_IE_HEAD_LEN;
        return true;
    }
    // The length byte; the total, or 0 when an attribute did not fit.
    ULONG Finish()
    {
        if (Full) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "WPS element does not fit %u bytes", Capacity);
            return 0;
        }
        Base[1] = static_cast<UCHAR>(Offset - 2);
        return Offset;
    }
};

USHORT DeviceNameLen(PMP_PORT port)
{
    return port->P2pDeviceNameLen > P2P_DEVICE_NAME_MAX ? P2P_DEVICE_NAME_MAX : port->P2pDeviceNameLen;
}

// The WPS version 2 tail: the WFA vendor extension with Version2 and, on a test bed, the test value.
void PutVersion2Tail(PMP_ADAPTER adapter, WpsWriter& wps)
{
    const UCHAR version = adapter->WorkingCfg.WscVersion2;
    if (version < 0x20) {
        return;
    }
    const UCHAR vendor[6] = {kWfaVendorId[0], kWfaVendorId[1], kWfaVendorId[2], 0x00, 0x01, version};
    wps.Put(WSC_ID_VENDOR_EXTENSION, vendor, sizeof(vendor));
    if ((adapter->WorkingCfg.WSC20Testbed & 0x1) != 0) {
        wps.Put(WSC_ID_TEST, kTestValue, sizeof(kTestValue) - 1);
    }
}

}  // namespace

ULONG P2pWrapP2pElements(PUCHAR destination, ULONG attrLen, ULONG capacity)
{
    const ULONG chunk = P2P_IE_MAX_ATTR_BYTES;
    const ULONG elements = attrLen == 0 ? 1 : (attrLen + chunk - 1) / chunk;
    const ULONG total = attrLen + elements * P2P_IE_HEAD_LEN;
    if (total > capacity) {
        return 0;
    }
    for (ULONG k = elements; k-- > 0;) {
        const ULONG len = attrLen - k * chunk < chunk ? attrLen - k * chunk : chunk;
        PUCHAR head = destination + k * (chunk + P2P_IE_HEAD_LEN);
        memmove(head + P2P_IE_HEAD_LEN, destination + P2P_IE_HEAD_LEN + k * chunk, len);
        head[0] = P2P_IE_ID;
        head[1] = static_cast<UCHAR>(len + sizeof(kP2pOui));
        memcpy(head + 2, kP2pOui, sizeof(kP2pOui));
    }
    return total;
}

void P2pMakeP2pIE(PMP_ADAPTER adapter, PMP_PORT port, ULONG selector, UCHAR frameKind, PUCHAR destination,
                  ULONG capacity, PULONG outLength)
{
    *outLength = 0;
    if (adapter == nullptr || port == nullptr || destination == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_P2P, "%s: no port", __func__);
        return;
    }
    if (capacity < P2P_IE_HEAD_LEN) {
        return;
    }
    destination[0] = P2P_IE_ID;
    destination[1] = 14;
    memcpy(destination + 2, kP2pOui, sizeof(kP2pOui));
    const bool wfdPort = IsWfdPort(port);
    UCHAR capability[2] = {wfdPort ? port->P2pOsCapability[0] : port->P2pCapability[0],
                           wfdPort ? port->P2pOsCapability[1] : port->P2pCapability[1]};
    AttrWriter attrs{adapter, port, destination + P2P_IE_HEAD_LEN, capacity - P2P_IE_HEAD_LEN, 0, false};
    const ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    bool general = false;

    if (frameKind == P2P_FRAME_ASSOC_RSP) {
        if (port->P2pExtListenPeriod != 0 && port->P2pExtListenInterval != 0 &&
            (adapter->WorkingCfg.P2pMcc.WifiDirectControl & kWfdControlExtListen) != 0 && port->PortType < WFD_DEVICE) {
            attrs.Put(P2P_ATTR_EXT_LISTEN_TIMING, nullptr);
        }
    } else if (frameKind == P2P_FRAME_ASSOC_REQ && selector == 0) {
        // A P2P client's association: its capability and its interface.
        if (ndisVersion == P2P_NDIS_VERSION_620) {
            capability[0] |= P2P_DEVCAP_INFRA_MANAGED;
        }
        attrs.Put(P2P_ATTR_CAPABILITY, capability);
        const UCHAR role = port->P2pRolePortIndex;
        PMP_PORT rolePort = role < MP_MAX_PORTS ? adapter->PortList[role] : nullptr;
        const UCHAR* address = wfdPort || rolePort == nullptr ? port->MacAddress : rolePort->MacAddress;
        attrs.Put(P2P_ATTR_INTERFACE, address);
    } else {
        general = true;
        if (port->PortType < WFD_DEVICE && (port->P2pCfgControl & kWfdControlClientDiscover) != 0) {
            capability[0] |= P2P_DEVCAP_CLIENT_DISCOVERABILITY;
        }
        if (frameKind == P2P_FRAME_ASSOC_REQ || frameKind == P2P_FRAME_PROBE_REQ) {
            capability[1] = 0;
        }
        attrs.Put(P2P_ATTR_CAPABILITY, capability);

        bool channels = false;
        if (frameKind == P2P_FRAME_PROBE_REQ) {
            // P2pDiscoverDeviceFilter: the flags, count and devices of the OS's running discover request.
            const P2P_MS_BLOCK& ms = port->P2pMs;
            if (wfdPort && (ms.DiscoverFilterFlags & P2P_MS_FILTER_DEVICE_ID) != 0 && ms.DeviceFilterCount > 0) {
                attrs.Put(P2P_ATTR_DEVICE_ID, ms.DeviceFilters[0].DeviceAddress);
            }
            channels = true;
        } else if (selector != 1) {
            attrs.Put(P2P_ATTR_DEVICE_ID, DeviceAddressOf(adapter, port));
        }
        if (channels) {
            attrs.Put(P2P_ATTR_LISTEN_CHANNEL, &port->P2pListenChannel);
            if (port->OpMode == 3) {
                if (wfdPort) {
                    UCHAR body[5] = {'G', 'L', 0x04,
                                     P2pOpClassFromChannel(port->P2pGroupChannel,
                                                           port->P2pGroupChannel <= 14 ? BAND_24G : BAND_5G, 4),
                                     port->P2pGroupChannel};
                    attrs.Put(P2P_ATTR_OPERATING_CHANNEL, body);
                } else {
                    attrs.Put(P2P_ATTR_OPERATING_CHANNEL, &port->P2pGroupChannel);
                }
            }
        }
        if (frameKind == P2P_FRAME_ASSOC_REQ || frameKind == P2P_FRAME_PROBE_RSP) {
            attrs.Put(P2P_ATTR_DEVICE_INFO, DeviceAddressOf(adapter, port));
        }
        if ((frameKind == P2P_FRAME_PROBE_REQ || frameKind == P2P_FRAME_PROBE_RSP) &&
            (port->P2pCfgControl & kWfdControlExtListen) != 0 && port->PortType < WFD_DEVICE) {
            attrs.Put(P2P_ATTR_EXT_LISTEN_TIMING, nullptr);
        }
        if (frameKind == P2P_FRAME_PROBE_RSP && !attrs.Full &&
            (port->P2pConnectState >= P2P_I_AM_GO_OP ||
             (port->P2pPortActive && port->PortType == WFD_GO && port->OpMode == 3))) {
            // A group owner without associated clients writes no Group Info.
            attrs.Offset += GoMakeGroupInfoAttribute(adapter, port, attrs.Base + attrs.Offset,
                                                     attrs.Capacity - attrs.Offset);
        }
    }
    if (attrs.Full) {
        return;
    }
    ULONG total = P2pWrapP2pElements(destination, attrs.Offset, capacity);
    if (total == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: %u attribute bytes do not fit %u", __func__, attrs.Offset,
                 capacity);
        return;
    }
    if (general &&
        (port->P2pConnectState >= P2P_I_AM_GO_OP ||
         (port->P2pPortActive && port->PortType == WFD_GO && (CtrlFlags(adapter) & kCtrlFlagGoNoa) != 0)) &&
        (port->P2pNoaActive == 1 || (port->P2pCtWindow & kCtWindowOppPs) != 0)) {
        total += P2pMakeNoAElement(adapter, port, destination + total, capacity - total);
    }
    *outLength = total;
}

void P2pMakeWpsIE(PMP_ADAPTER adapter, PMP_PORT port, USHORT frameKind, PUCHAR destination, ULONG capacity,
                  PULONG outLength)
{
    *outLength = 0;
    if (adapter == nullptr || port == nullptr || destination == nullptr) {
        return;
    }
    WSC_DEVICE_INFO local;
    const WSC_DEVICE_INFO* rec = nullptr;
    if (port->P2pWpsEnabled != 0 && port->P2pWpsMode == 1) {
        rec = &port->WscDevInfo[0];
    } else if (port->P2pWpsEnabled != 0 && (port->P2pWpsMode == 2 || port->P2pWpsMode == 3)) {
        rec = &port->WscDevInfo[1];
    } else {
        PlatformZeroMemory(&local, sizeof(local));
        WscSetDevInfo(adapter, port, &local);
        rec = &local;
    }
    WpsWriter wps{destination, capacity, 0, false};
    if (!wps.Head()) {
        return;
    }
    const USHORT nameLen = DeviceNameLen(port);
    const UCHAR wpsVersion = adapter->WorkingCfg.WscVersion2;
    wps.Put8(WSC_ID_VERSION, rec->Version);
    if (frameKind == P2P_FRAME_PROBE_RSP) {
        const LONG state = port->P2pConnectState;
        const bool formsAsOwner = state == P2P_ANY_IN_FORMATION_AS_GO || state == P2P_WPS_REGISTRA ||
                                  state >= P2P_I_AM_GO_OP || port->P2pGroupMode == 16;
        wps.Put8(WSC_ID_WPS_STATE, 2);
        if (port->P2pWpsDevicePasswordId != kNoPasswordId && formsAsOwner) {
            wps.Put8(WSC_ID_SELECTED_REGISTRAR, 1);
            wps.Put16(WSC_ID_DEVICE_PWD_ID, port->P2pWpsDevicePasswordId);
            wps.Put16(WSC_ID_SEL_REG_CONFIG_METHODS, kMethodsDisplayKeypad);
        }
        wps.Put8(WSC_ID_RESPONSE_TYPE, formsAsOwner ? 2 : 0);
        wps.Put(WSC_ID_UUID_E, rec->Uuid, WSC_UUID_LEN);
        wps.Put8(WSC_ID_RF_BANDS, rec->RfBands);
        wps.Put(WSC_ID_MANUFACTURER, rec->Manufacturer, kManufacturerLen);
        wps.Put(WSC_ID_MODEL_NAME, rec->ModelName, kModelNameLen);
        wps.Put(WSC_ID_MODEL_NUMBER, rec->ModelNumber, kModelNumberLen);
        wps.Put(WSC_ID_SERIAL_NUMBER, rec->SerialNumber, kSerialNumberLen);
        wps.Put(WSC_ID_PRIMARY_DEVICE_TYPE, rec->PrimaryDeviceType, P2P_DEVICE_TYPE_LEN);
        wps.Put(WSC_ID_DEVICE_NAME, port->P2pDeviceName, nameLen);
        wps.Put16(WSC_ID_CONFIG_METHODS, port->OpMode == 3 ? kMethodsDisplayKeypad : kMethodsDisplayPbcKeypad);
    } else {
        wps.Put8(WSC_ID_REQUEST_TYPE, 0);
        wps.Put16(WSC_ID_CONFIG_METHODS, kMethodsDisplayPbcKeypad);
        wps.Put(WSC_ID_UUID_E, rec->Uuid, WSC_UUID_LEN);
        wps.Put(WSC_ID_PRIMARY_DEVICE_TYPE, rec->PrimaryDeviceType, P2P_DEVICE_TYPE_LEN);
        wps.Put8(WSC_ID_RF_BANDS, rec->RfBands);
        wps.Put16(WSC_ID_ASSOC_STATE, rec->AssocState);
        wps.Put16(WSC_ID_CONFIG_ERROR, rec->ConfigError);
        wps.Put16(WSC_ID_DEVICE_PWD_ID, port->P2pWpsDevicePasswordId);
        wps.Put(WSC_ID_DEVICE_NAME, port->P2pDeviceName, nameLen);
        if (wpsVersion >= 0x20) {
            wps.Put(WSC_ID_MANUFACTURER, rec->Manufacturer, kManufacturerLen);
            wps.Put(WSC_ID_MODEL_NAME, rec->ModelName, kModelNameLen);
            wps.Put(WSC_ID_MODEL_NUMBER, rec->ModelNumber, kModelNumberLen);
        }
    }
    PutVersion2Tail(adapter, wps);
    *outLength = wps.Finish();
}

void P2pMakeBeaconWpsIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR destination, ULONG capacity,
                        PULONG outLength)
{
    *outLength = 0;
    if (adapter == nullptr || port == nullptr || destination == nullptr) {
        return;
    }
    const WSC_DEVICE_INFO& rec = port->WscDevInfo[1];
    WpsWriter wps{destination, capacity, 0, false};
    if (!wps.Head()) {
        return;
    }
    wps.Put8(WSC_ID_VERSION, rec.Version);
    wps.Put8(WSC_ID_WPS_STATE, 2);
    if (port->P2pWpsDevicePasswordId != kNoPasswordId) {
        wps.Put8(WSC_ID_SELECTED_REGISTRAR, 1);
        wps.Put16(WSC_ID_DEVICE_PWD_ID, port->P2pWpsDevicePasswordId);
        wps.Put16(WSC_ID_SEL_REG_CONFIG_METHODS, kMethodsDisplayKeypad);
    }
    wps.Put(WSC_ID_UUID_E, rec.Uuid, WSC_UUID_LEN);
    wps.Put8(WSC_ID_RF_BANDS, rec.RfBands);
    wps.Put(WSC_ID_PRIMARY_DEVICE_TYPE, rec.PrimaryDeviceType, P2P_DEVICE_TYPE_LEN);
    wps.Put(WSC_ID_DEVICE_NAME, port->P2pDeviceName, DeviceNameLen(port));
    PutVersion2Tail(adapter, wps);
    *outLength = wps.Finish();
}

ULONG P2pMakeNoAElement(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR destination, ULONG capacity)
{
    if (adapter == nullptr || port == nullptr || destination == nullptr) {
        return 0;
    }
    const bool schedule = port->P2pNoaActive == 1;
    const bool oppPs = (port->P2pCtWindow & kCtWindowOppPs) != 0;
    if (!schedule && !oppPs) {
        return 0;
    }
    const ULONG total = schedule ? 24 : 11;
    if (capacity < total) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: %u bytes do not fit %u", __func__, total, capacity);
        return 0;
    }
    destination[0] = P2P_IE_ID;
    destination[1] = static_cast<UCHAR>(total - 2);
    memcpy(destination + 2, kP2pOui, sizeof(kP2pOui));
    destination[6] = P2P_ATTR_NOTICE_OF_ABSENCE;
    if (schedule) {
        // The same attribute the action frames carry, with the schedule's own start time.
        P2PInsertNoAAttribute(adapter, port, port->P2pNoaStartTime, destination + 6, capacity - 6);
    } else {
        P2pPutLe16(destination + 7, 2);
        destination[9] = port->P2pNoaIndex;
        destination[10] = port->P2pCtWindow;
    }
    return total;
}
