// Net adapters, ports and the Wi-Fi Direct device that WiFiCx asks for: the create-adapter and
// create-Wi-Fi-Direct-device entry points, port creation, the data-path capabilities and the start
// of a net adapter, its receive filter and the return of its receive buffers.
#include <cstring>

#include "Common/cnm.h"
#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/nic_uni_cmd_direct.h"
#include "Common/qzcmd_bss.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wificx/rxqueue.h"
#include "platform/wificx/txqueue.h"
#include "platform/wificx/wificxmain.h"

namespace {

// MAC-address kind of the ports' derived addresses.
constexpr UCHAR kMacKindPort = 4;
// MAC-address indexes of the roles.
constexpr UCHAR kMacIndexStation = 1;
constexpr UCHAR kMacIndexWfdDevice = 2;
constexpr UCHAR kMacIndexFirstAp = 3;
constexpr UCHAR kMacIndexSecondRole = 6;

// ---- steps whose services come with other subsystems ----------------------------------------------
// Port 0's firmware BSS: bound to a slot (cnmInitAndGetBssIndexForPort) and, when its network is not
// active in the firmware yet, activated (QzCmdActivateDeactivateNetwork (adapter, index, 1)).
void BindAndActivateStationBss(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (cnmInitAndGetBssIndexForPort(adapter, port, 0, FALSE) == nullptr) {
        // No slot: the port keeps no BSS index the firmware knows, so there is nothing to activate.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "port %u: no firmware BSS slot", static_cast<unsigned>(port->PortNumber));
        return;
    }
    if (port->NetworkActivation[0] == 0) {
        NTSTATUS status = QzCmdActivateDeactivateNetwork(adapter, port->BssIndex, 1);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "BSS %u not activated: 0x%08X", static_cast<unsigned>(port->BssIndex),
                     static_cast<unsigned>(status));
        }
    }
}

// A port other than 0 takes port 0's receive packet filter and sends it to the firmware
// (QzCmdSetCurrentPacketFilter); the sender's status.
NTSTATUS SendPortPacketFilter(PMP_ADAPTER adapter, PMP_PORT port)
{
    PMP_PORT port0 = adapter->PortList[0];
    const ULONG filter = port0 != nullptr ? port0->CurrentPacketFilter : 0;
    return QzCmdSetCurrentPacketFilter(adapter, port, filter);
}

// The multicast list to the firmware through port 0 (QzCmdSetMulticastList).
NTSTATUS SendMulticastList(PMP_ADAPTER adapter, const MULTICAST_LIST& list)
{
    return QzCmdSetMulticastList(adapter, adapter->PortList[0], &list.Addresses[0][0], list.Count * MAC_ADDR_LEN);
}

// ---- port creation -------------------------------------------------------------------------------------
UCHAR ChooseMacIndex(PMP_ADAPTER adapter, ULONG number, ULONG flags)
{
    ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    if (ndisVersion < NDIS_VERSION_630) {
        return static_cast<UCHAR>(number);
    }
    if ((flags & NdisWdiGetOpModeValue(adapter, 1)) != 0) {
        return kMacIndexStation;
    }
    if ((flags & NdisWdiGetOpModeValue(adapter, 8)) != 0) {
        return kMacIndexWfdDevice;
    }
    if (flags == QZCX_PORT_FLAGS_AP) {
        // The first free of the three access-point addresses; when all are taken, the first again.
        for (UCHAR i = 0; i < 3; ++i) {
            if (adapter->ApAddressUsed[i] == 0) {
                adapter->ApAddressUsed[i] = 1;
                return static_cast<UCHAR>(kMacIndexFirstAp + i);
            }
        }
        return kMacIndexFirstAp;
    }
    if (number != 0 && (flags & NdisWdiGetOpModeValue(adapter, 2)) != 0) {
        adapter->SecondRoleAddressUsed = 1;
        return kMacIndexSecondRole;
    }
    return static_cast<UCHAR>(number);
}

// The first failing step's status, traced; the adapter initialisation object goes back.
NTSTATUS FailCreateAdapter(NETADAPTER_INIT* adapterInit, PCSTR step, NTSTATUS status)
{
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "create adapter: %s failed: 0x%08X", step, static_cast<unsigned>(status));
    NetAdapterInitFree(adapterInit);
    return status;
}

PMP_PORT PortOfNetAdapter(PMP_ADAPTER adapter, NETADAPTER netAdapter)
{
    USHORT portId = WifiAdapterGetPortId(netAdapter);
    return portId < MP_MAX_PORTS ? adapter->PortList[portId] : nullptr;
}

}  // namespace

NTSTATUS QZCxCreatePort(PMP_ADAPTER adapter, ULONG portNumber, ULONG opModeFlags)
{
    // The station port is always port 0.
    ULONG number = portNumber;
    if (number >= MP_MAX_PORTS || (number != 0 && opModeFlags == QZCX_PORT_FLAGS_STATION)) {
        number = 0;
    }
    UCHAR macIndex = ChooseMacIndex(adapter, number, opModeFlags);

    PMP_PORT port = adapter->PortList[number];
    UCHAR existing = 0;
    if (port != nullptr) {
        existing = (adapter->RegistryBlock.CertReg & CERT_REG_KEEP_NO_PORT) == 0 ? 1 : 0;
    } else {
        NTSTATUS status = NdisCommonInitAllocPort(adapter, EXTSTA, 0, &port);
        if (!NT_SUCCESS(status) || port == nullptr) {
            // Nothing to set up: the create-adapter callback finds no port and fails.
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "port %u not allocated: 0x%08X", static_cast<unsigned>(number),
                     static_cast<unsigned>(status));
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        port->PortNumber = number;
        port->Adapter = adapter;
        adapter->PortList[number] = port;
        status = NdisCommonInitPort(port);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "port %u initialisation failed: 0x%08X", static_cast<unsigned>(number),
                     static_cast<unsigned>(status));
        }
    }
    if (opModeFlags != QZCX_PORT_FLAGS_AP) {
        port->OpModeCode = NdisWdiGetQzlOpModeValue(adapter, opModeFlags);
    }
    Ndis6CommonGetNewMacAddress(adapter, nullptr, macIndex, kMacKindPort, port->MacAddress);
    if (number == 1 && (adapter->RegistryBlock.CertReg & CERT_REG_FIXED_ADDRESS) != 0) {
        port->MacAddress[3] = 0xAA;
        port->MacAddress[4] = 0xBB;
        port->MacAddress[5] = 0xCC;
    }
    if (number != 0) {
        port->Active = 1;
        if (port->Created == 0) {
            ++adapter->PortCount;
        }
        NdisCommonInitPortUserCfg(port, existing);
        (void)MlmePortInit(adapter, port);
        NdisCommonInitUpdatePortDefaultSetting(port);

        if (port->WirelessMode == PHY_11BG_MIXED) {
            port->WirelessMode = adapter->Only24G != 0 ? PHY_11BGN_MIXED : PHY_11VHT;
        }
        if (port->WirelessMode >= PHY_11ABGN_MIXED && port->WirelessMode <= PHY_11BE) {
            port->Cfg.HtEnabled = 1;
        }
        if (port->WirelessMode >= PHY_11VHT && port->WirelessMode <= PHY_11BE) {
            port->Cfg.VhtEnabled = 1;
        }
        (void)MlmeInfoSetPhyMode(adapter, port, port->WirelessMode, 1);
        MlmeCntResetState(port, &port->Mlme.CntlMachine);
        port->Active = 1;
        port->Created = 1;
    }
    (void)MlmeSyncInitMacTab(port, 1);

    NTSTATUS status = STATUS_SUCCESS;
    if (number == 0) {
        BindAndActivateStationBss(adapter, port);
        (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_RESTORE_CH_PRIVILEGE, nullptr, 0);
    } else {
        status = SendPortPacketFilter(adapter, port);
    }
    if (adapter->RegistryBlock.OemLedMode == 2 && number == 0 && adapter->DualBand == 1) {
        (void)nicUniCmdRODuduGpioLedCtrl(adapter, 0, adapter->DualBand, 0);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_PNP, "port %u (flags 0x%X) MAC index %u: %02X:%02X:%02X:%02X:%02X:%02X",
             static_cast<unsigned>(number), static_cast<unsigned>(opModeFlags), static_cast<unsigned>(macIndex),
             port->MacAddress[0], port->MacAddress[1], port->MacAddress[2], port->MacAddress[3], port->MacAddress[4],
             port->MacAddress[5]);
    return status;
}

NTSTATUS EvtWiFiDeviceCreateAdapter(WDFDEVICE device, NETADAPTER_INIT* adapterInit)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    ULONG type = WifiAdapterInitGetType(adapterInit);
    adapter->WifiAdapterType = type;

    NET_ADAPTER_DATAPATH_CALLBACKS datapath;
    NET_ADAPTER_DATAPATH_CALLBACKS_INIT(&datapath, EvtAdapterCreateTxQueue, EvtAdapterCreateRxQueue);
    NetAdapterInitSetDatapathCallbacks(adapterInit, &datapath);
    WIFI_ADAPTER_TX_DEMUX demux;
    WIFI_ADAPTER_TX_DEMUX_INIT(&demux, WifiAdapterTxDemuxTypeWmmInfo, 8);
    (void)WifiAdapterInitAddTxDemux(adapterInit, &demux);
    WIFI_ADAPTER_TX_DEMUX_INIT(&demux, WifiAdapterTxDemuxTypePeerAddress, type == WIFI_ADAPTER_WLAN_SOFTAP ? 8 : 1);
    (void)WifiAdapterInitAddTxDemux(adapterInit, &demux);

    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_NET_ADAPTER);
    attributes.EvtCleanupCallback = EvtAdapterContextCleanup;
    NETADAPTER netAdapter = nullptr;
    NTSTATUS status = NetAdapterCreate(adapterInit, &attributes, &netAdapter);
    if (!NT_SUCCESS(status)) {
        return FailCreateAdapter(adapterInit, "NetAdapterCreate", status);
    }
    PQZCX_NET_ADAPTER context = QZCxGetNetAdapterContext(netAdapter);
    context->Adapter = adapter;
    context->NetAdapter = netAdapter;

    status = WifiAdapterInitialize(netAdapter);
    if (!NT_SUCCESS(status)) {
        return FailCreateAdapter(adapterInit, "WifiAdapterInitialize", status);
    }
    USHORT portId = WifiAdapterGetPortId(netAdapter);
    ULONG flags;
    if (type == WIFI_ADAPTER_WLAN_STATION) {
        if ((adapter->RegistryBlock.Hlk_feature_optional & HLK_FEATURE_WAKE_CAPS) != 0) {
            (void)QZCxSetWakeUpCapabilities(netAdapter);
            (void)QZCxSetOffloadCapabilities(netAdapter);
        }
        flags = QZCX_PORT_FLAGS_STATION;
    } else if (type == WIFI_ADAPTER_WLAN_SOFTAP) {
        flags = QZCX_PORT_FLAGS_AP;
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "create adapter: type %u not supported", static_cast<unsigned>(type));
        return STATUS_NOT_SUPPORTED;
    }
    (void)QZCxCreatePort(adapter, portId, flags);
    PMP_PORT port = portId < MP_MAX_PORTS ? adapter->PortList[portId] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "create adapter: no port %u", static_cast<unsigned>(portId));
        return STATUS_UNSUCCESSFUL;
    }
    port->NetAdapter = netAdapter;
    port->WifiAdapterType = type;

    status = QZCxInitTxRxDataCapability(device, netAdapter, WifiAdapterGetType(netAdapter),
                                        WifiAdapterGetPortId(netAdapter));
    if (!NT_SUCCESS(status)) {
        return FailCreateAdapter(adapterInit, "data-path capabilities", status);
    }
    status = QZCxDriverNetAdapterStart(netAdapter);
    if (!NT_SUCCESS(status)) {
        return FailCreateAdapter(adapterInit, "start", status);
    }
    return STATUS_SUCCESS;
}

NTSTATUS EvtWiFiDeviceCreateDirectDevice(WDFDEVICE device, WIFIDIRECT_DEVICE_INIT* wfdDeviceInit)
{
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_WIFI_DIRECT_DEVICE);
    attributes.EvtCleanupCallback = EvtWifiDirectDeviceContextCleanup;
    WIFIDIRECTDEVICE wifiDirectDevice = nullptr;
    NTSTATUS status = WifiDirectDeviceCreate(wfdDeviceInit, &attributes, &wifiDirectDevice);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "Wi-Fi Direct device not created: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    status = WifiDirectDeviceInitialize(wifiDirectDevice);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "Wi-Fi Direct device not initialised: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }
    QZCxGetWifiDirectDeviceContext(wifiDirectDevice)->Adapter = QZCxGetAdapter(device);
    status = QZCxDriverInitWifiDirectDeviceContext(device, wifiDirectDevice, WifiDirectDeviceGetPortId(wifiDirectDevice));
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "Wi-Fi Direct device port refused: 0x%08X", static_cast<unsigned>(status));
    }
    return status;
}

NTSTATUS QZCxDriverInitWifiDirectDeviceContext(WDFDEVICE device, WIFIDIRECTDEVICE wifiDirectDevice, ULONG portId)
{
    UNREFERENCED_PARAMETER(wifiDirectDevice);
    ULONG number = portId == WDI_PORT_ID_ADAPTER ? 0 : portId;
    if (number >= MP_MAX_PORTS) {
        return STATUS_UNSUCCESSFUL;
    }
    (void)QZCxCreatePort(QZCxGetAdapter(device), number, QZCX_PORT_FLAGS_WFD_DEVICE);
    return STATUS_SUCCESS;
}

NTSTATUS QZCxInitTxRxDataCapability(WDFDEVICE device, NETADAPTER netAdapter, ULONG adapterType, ULONG portNumber)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    adapter->DataPathAdapterType = adapterType;
    adapter->DataPathPortNumber = portNumber;

    ULONG limit = QZCX_TX_FRAG_RING_LIMIT;
    if (adapter->RegistryBlock.OptimizeFragIndLimitEn != 0) {
        if (adapterType == WIFI_ADAPTER_WLAN_SOFTAP) {
            limit = QZCX_TX_FRAG_RING_LIMIT_AP;
        } else if (adapterType != WIFI_ADAPTER_WLAN_STATION) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "data path: adapter type %u", static_cast<unsigned>(adapterType));
        }
        PMP_PORT port = portNumber < MP_MAX_PORTS ? adapter->PortList[portNumber] : nullptr;
        if (port != nullptr) {
            port->TxFragRingLimit = limit;
        }
    }
    adapter->TxFragRingLimit = limit;

    NET_ADAPTER_DMA_CAPABILITIES dma{};
    dma.Size = sizeof(dma);
    dma.DmaEnabler = adapter->DmaEnabler;
    dma.MaximumPhysicalAddress.QuadPart = 0;
    dma.CacheEnabled = WdfUseDefault;
    dma.PreferredNode = NET_ANY_NUMA_NODE;

    NET_ADAPTER_TX_CAPABILITIES tx{};
    tx.Size = sizeof(tx);
    tx.MappingRequirement = NetMemoryMappingRequirementDmaMapped;
    tx.PayloadBackfill = 0;
    tx.MaximumNumberOfQueues = 2;
    tx.FragmentBufferAlignment = 1;
    tx.FragmentRingNumberOfElementsHint = limit;
    tx.MaximumNumberOfFragments = 1;
    tx.DmaCapabilities = &dma;

    NET_ADAPTER_RX_CAPABILITIES rx{};
    rx.Size = sizeof(rx);
    rx.AllocationMode = NetRxFragmentBufferAllocationModeDriver;
    rx.AttachmentMode = NetRxFragmentBufferAttachmentModeDriver;
    rx.FragmentRingNumberOfElementsHint = QZCX_RX_FRAG_RING_HINT;
    rx.MaximumFrameSize = QZCX_RX_MAX_FRAME_SIZE;
    rx.MaximumNumberOfQueues = 1;
    rx.EvtAdapterReturnRxBuffer = EvtNetAdapterReturnRxBuffer;

    NetAdapterSetDataPathCapabilities(netAdapter, &tx, &rx);
    return STATUS_SUCCESS;
}

NTSTATUS QZCxDriverNetAdapterStart(NETADAPTER netAdapter)
{
    PMP_ADAPTER adapter = QZCxGetNetAdapterContext(netAdapter)->Adapter;
    PMP_PORT port = adapter != nullptr ? PortOfNetAdapter(adapter, netAdapter) : nullptr;
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    NET_ADAPTER_LINK_STATE link{};
    link.Size = sizeof(link);
    link.TxLinkSpeed = QZCX_LINK_SPEED;
    link.RxLinkSpeed = QZCX_LINK_SPEED;
    link.MediaConnectState = MediaConnectStateConnected;
    link.MediaDuplexState = MediaDuplexStateFull;
    link.SupportedPauseFunctions = NetAdapterPauseFunctionTypeUnsupported;
    link.AutoNegotiationFlags =
        NetAdapterAutoNegotiationFlagXmitLinkSpeedAutoNegotiated | NetAdapterAutoNegotiationFlagRcvLinkSpeedautoNegotiated;
    NetAdapterSetLinkState(netAdapter, &link);

    NET_ADAPTER_LINK_LAYER_CAPABILITIES linkLayer{};
    linkLayer.Size = sizeof(linkLayer);
    linkLayer.MaxTxLinkSpeed = QZCX_LINK_SPEED;
    linkLayer.MaxRxLinkSpeed = QZCX_LINK_SPEED;
    NetAdapterSetLinkLayerCapabilities(netAdapter, &linkLayer);
    NetAdapterSetLinkLayerMtuSize(netAdapter, QZCX_MTU);

    NET_ADAPTER_LINK_LAYER_ADDRESS address{};
    address.Length = MAC_ADDR_LEN;
    std::memcpy(address.Address, port->MacAddress, MAC_ADDR_LEN);
    NetAdapterSetPermanentLinkLayerAddress(netAdapter, &address);
    NetAdapterSetCurrentLinkLayerAddress(netAdapter, &address);

    // The firmware's multicast list holds 16 addresses: the OS is told of no more.
    NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES filter{};
    filter.Size = sizeof(filter);
    filter.SupportedPacketFilters = QZCX_RECEIVE_FILTERS;
    filter.MaximumMulticastAddresses = QZCX_MULTICAST_DECLARED;
    filter.EvtSetReceiveFilter = EvtNetAdapterSetReceiveFilter;
    NetAdapterSetReceiveFilterCapabilities(netAdapter, &filter);

    NET_ADAPTER_WAKE_MAGIC_PACKET_CAPABILITIES magic{};
    magic.Size = sizeof(magic);
    magic.MagicPacket = TRUE;
    NetAdapterWakeSetMagicPacketCapabilities(netAdapter, &magic);

    NTSTATUS status = NetAdapterStart(netAdapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "net adapter of port %u not started: 0x%08X",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(status));
    }
    return status;
}

VOID EvtNetAdapterSetReceiveFilter(NETADAPTER netAdapter, NETRECEIVEFILTER receiveFilter)
{
    PMP_ADAPTER adapter = QZCxGetNetAdapterContext(netAdapter)->Adapter;
    if (adapter == nullptr || AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED | ADAPTER_FLAG_HALT_IN_PROGRESS |
                                                            ADAPTER_FLAG_NOT_RESPONDING)) {
        return;
    }
    SIZE_T count = NetReceiveFilterGetMulticastAddressCount(receiveFilter);
    if (count == 0) {
        return;
    }
    const NET_ADAPTER_LINK_LAYER_ADDRESS* list = NetReceiveFilterGetMulticastAddressList(receiveFilter);
    if (list == nullptr) {
        return;
    }
    MULTICAST_LIST& out = adapter->MulticastList;
    std::memset(&out, 0, sizeof(out));
    for (SIZE_T i = 0; i < count; ++i) {
        if (list[i].Length != MAC_ADDR_LEN) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "multicast entry %u of length %u skipped", static_cast<unsigned>(i),
                     static_cast<unsigned>(list[i].Length));
            continue;
        }
        if (out.Count == MULTICAST_LIST_MAX) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "multicast entry %u dropped: the list holds %u",
                     static_cast<unsigned>(i), static_cast<unsigned>(MULTICAST_LIST_MAX));
            continue;
        }
        std::memcpy(out.Addresses[out.Count], list[i].Address, MAC_ADDR_LEN);
        ++out.Count;
    }
    if (out.Count != 0) {
        NTSTATUS status = SendMulticastList(adapter, out);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "multicast list not sent: 0x%08X", static_cast<unsigned>(status));
        }
    }
}

VOID EvtNetAdapterReturnRxBuffer(NETADAPTER netAdapter, NET_FRAGMENT_RETURN_CONTEXT_HANDLE returnContext)
{
    PMP_ADAPTER adapter = QZCxGetNetAdapterContext(netAdapter)->Adapter;
    auto* record = reinterpret_cast<PRX_RETURN_CONTEXT>(returnContext);
    // Only a record of this adapter's own set goes back; anything else is traced and left alone.
    if (adapter == nullptr || record == nullptr || record->Signature != RX_RETURN_CONTEXT_SIGNATURE ||
        record->Index >= RX_RETURN_CONTEXT_COUNT || record->Adapter != adapter) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "returned receive buffer %p is no receive return record",
                 static_cast<void*>(record));
        return;
    }
    if (record->Descriptor != nullptr) {
        RxDmaqFree(adapter, record->Descriptor);
        record->Descriptor = nullptr;
    }
    ExInterlockedInsertTailList(&adapter->RxReturnFree.Head, &record->Link, &adapter->RxReturnFree.Lock);
}
