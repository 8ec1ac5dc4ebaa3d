// Port allocation and initialisation, the reading of the device configuration, and the working
// configuration and port defaults derived from it.
#include "platform/ndiscommon/ndiscommoninit.h"

#include <cstddef>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/p2p/p2pms.h"
#include "Common/recv.h"
#include "hal/common/hal_chip.h"
#include "hal/common/phy_cfg.h"
#include "kshim/netadapter.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/registry_host.h"
#include "platform/ndiscommon/registry_table.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wdi/wdimain.h"
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
    MultiChannelInitGrant(port);
    for (REORDER_SESSION& session : port->ReorderSessions) {
        PlatformAllocateSpinLock(&session.Lock);
        session.ArmedSeq = REORDER_SEQ_NONE;
    }
    BATableInit(adapter, port);
    RecvPortInit(adapter, port);

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

// ================================================================================================
// reading the configuration
// ================================================================================================
namespace {

// The firmware-log autologger key and its switch.
constexpr WCHAR kFwLogAutologgerKey[] = u"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Control\\WMI\\Autologger\\QZLWLFW";

// Reads one row into the registry block or the string block. A failed query (missing value, wrong
// type, unknown kind) answers its status; the row then holds its default (integers) or stays
// empty (strings).
NTSTATUS ReadRow(NETCONFIGURATION configuration, PCREGISTRY_PARAMETER_ENTRY row, PREGISTRY_BLOCK block,
                 PREGISTRY_STRING_BLOCK strings)
{
    switch (row->Kind) {
    case REGISTRY_KIND_ULONG:
    case REGISTRY_KIND_ULONG_ALT: {
        ULONG value = 0;
        NTSTATUS query =
            NetConfigurationQueryUlong(configuration, NET_CONFIGURATION_QUERY_ULONG_NO_FLAGS, &row->Name, &value);
        NTSTATUS status = RegistryStoreInteger(block, row, static_cast<BOOLEAN>(NT_SUCCESS(query)), value, nullptr);
        return NT_SUCCESS(status) ? query : status;
    }
    case REGISTRY_KIND_STRING: {
        WDFSTRING text = nullptr;
        NTSTATUS status = NetConfigurationQueryString(configuration, &row->Name, WDF_NO_OBJECT_ATTRIBUTES, &text);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        UNICODE_STRING value;
        WdfStringGetUnicodeString(text, &value);
        status = RegistryStoreString(strings, row->Destination, value.Buffer, value.Length);
        WdfObjectDelete(text);
        return status;
    }
    default:
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
}

ULONG PathChars(PCWSTR path, ULONG capacity)
{
    ULONG chars = 0;
    while (chars < capacity && path[chars] != 0) {
        ++chars;
    }
    return chars;
}

// The working wireless mode of port 0 and its HT and VHT switches.
void SetPortPhySwitches(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port->WirelessMode == PHY_11BG_MIXED) {
        port->WirelessMode = static_cast<UCHAR>(adapter->Only24G ? PHY_11BGN_MIXED : PHY_11VHT);
    }
    if (port->WirelessMode >= PHY_11ABGN_MIXED && port->WirelessMode <= PHY_11BE) {
        port->Cfg.HtEnabled = 1;
    }
    if (port->WirelessMode >= PHY_11VHT && port->WirelessMode <= PHY_11BE) {
        port->Cfg.VhtEnabled = 1;
    }
}

// Port 0 as an access point: operation mode 4 and, when it has no channel yet, one from the
// adapter's channel list.
void SetAccessPointOperation(PMP_ADAPTER adapter, PMP_PORT port)
{
    port->OpMode = PORT_OP_MODE_AP;
    if (port->Channel.PrimaryChannel != 0) {
        return;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    UCHAR channel = port->Channel.PrimaryChannel;
    ULONG count = adapter->Country.ChannelListCount <= DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    NTSTATUS status = RegistryChooseApChannel(&adapter->Country.ChannelList[0].Channel, sizeof(DOMAIN_CHANNEL_ENTRY), count,
                                              adapter->RegistryBlock.ChannelMode,
                                              static_cast<ULONGLONG>(now.QuadPart), &channel);
    if (NT_SUCCESS(status)) {
        port->Channel.PrimaryChannel = channel;
        port->Channel.CentreChannel = channel;
    }
}

}  // namespace

NTSTATUS QZCxInitNICReadRegParameters(PMP_ADAPTER adapter)
{
    DBG_ENTER(DBG_CONFIG);
    NETCONFIGURATION configuration = nullptr;
    NTSTATUS status = NetDeviceOpenConfiguration(adapter->Device, WDF_NO_OBJECT_ATTRIBUTES, &configuration);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "device configuration not opened: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    PREGISTRY_BLOCK block = &adapter->RegistryBlock;
    PREGISTRY_STRING_BLOCK strings = &g_RegistryStringBlock;
    RegistryStringBlockInit(strings);
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        NTSTATUS query = ReadRow(configuration, &row, block, strings);
        if (!NT_SUCCESS(query) && row.Required) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "required value not read: 0x%08X", static_cast<unsigned>(query));
            break;
        }
    }
    NetConfigurationClose(configuration);

    RegistrySplitRadio(block->Radio, &adapter->RadioState);

    ULONG value = 0;
    if (NT_SUCCESS(GetHostRegistryValue(kFwLogAutologgerKey, u"FWToHost", &value))) {
        adapter->FwToHost = value;
    }
    WCHAR parameters[DRIVER_REGISTRY_PATH_CHARS];
    if (NT_SUCCESS(RegistryGetDriverParametersPath(parameters, DRIVER_REGISTRY_PATH_CHARS)) &&
        NT_SUCCESS(GetHostRegistryValue(parameters, u"FWBin", &value))) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CONFIG, "\"FWBin\" %u from the service parameters", static_cast<unsigned>(value));
        block->FWBin = value;
    }

    // Firmware paths: built afresh on every read.
    block->BtContainerPath[0] = 0;
    block->BtContainerFileName[0] = 0;
    block->BtFilterServiceName[0] = 0;
    block->WifiContainerPath[0] = 0;
    block->WifiContainerFileName[0] = 0;
    RegistryChooseFirmwareNames(strings, block->FWBin, block);
    if (block->FWBin == 1) {
        NdisCommonQueryBigFWPath(adapter);
    }

    adapter->Country.RegCountryCode = RegistryParseCountryCode(&strings->Strings[REGISTRY_STRING_COUNTRY_REGION]);
    adapter->Country.CssCode = RegistryParseCssCode(&strings->Strings[REGISTRY_STRING_CSS_CODE]);

    NdisCommonInitCopyRegistryToDriverDefaultSetting(adapter);
    PMP_PORT port = adapter->PortList[0];
    if (port != nullptr) {
        NdisCommonInitUpdatePortDefaultSetting(port);
        SetPortPhySwitches(adapter, port);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "no port 0: its defaults are not set");
    }

    PADAPTER_WORKING_CFG working = &adapter->WorkingCfg;
    RegistryApplyWpsVersionRule(&working->WscVersion2, &working->WscVersion2Saved, &working->WSC20Testbed);

    if (port != nullptr) {
        UCHAR density = static_cast<UCHAR>((port->Cfg.BaCapability >> 19) & 0x7);
        port->Cfg.HtDensity = static_cast<UCHAR>((port->Cfg.HtDensity & ~0x1Cu) | (density << 2));
    }

    PADAPTER_COMMON_BLOCK common = adapter->CommonBlock;
    if (common != nullptr) {
        RegistryParseVendorDesc(&strings->Strings[REGISTRY_STRING_VENDOR_DESC], &common->VendorDescLength,
                                common->VendorDesc);
    }

    if (block->OpMode == 1 && port != nullptr) {
        SetAccessPointOperation(adapter, port);
    }

    UCHAR address[REGISTRY_MAC_ADDRESS_LENGTH];
    if (NT_SUCCESS(RegistryParseNetworkAddress(&strings->Strings[REGISTRY_STRING_NETWORK_ADDRESS], address))) {
        adapter->AddressConfigured = 1;
        PlatformMoveMemory(adapter->CurrentAddress, address, MAC_ADDR_LEN);
    }

    RegistryParseWpsDeviceName(&strings->Strings[REGISTRY_STRING_WPS_DEV_NAME], &adapter->WpsDevNameLength,
                               adapter->WpsDevName);

    if (port != nullptr) {
        // The bus answers yes to WMM: the flag stays set where the configuration set it.
        if (port->Cfg.WmmCapable) {
            port->Cfg.WmmCapable = 1;
        }
        RegistryApplyBaCapabilityToHt(port->Cfg.BaCapability, &port->Cfg.Ht);
    }

    if (common != nullptr) {
        common->MultipleIrp = block->MultipleIRP;
        common->MultipleIrpCount = static_cast<UCHAR>(block->MultipleIRP ? 5 : 1);
    }

    if (block->RomVer != 0) {
        adapter->RomVersion = (block->RomVer & 0xFF) - 1;
    }
    DBG_EXIT(DBG_CONFIG, STATUS_SUCCESS);
    return STATUS_SUCCESS;
}

NTSTATUS NdisCommonInitNICReadRegParameters(PMP_ADAPTER adapter) { return QZCxInitNICReadRegParameters(adapter); }

void NdisCommonQueryBigFWPath(PMP_ADAPTER adapter)
{
    PREGISTRY_BLOCK block = &adapter->RegistryBlock;
    WCHAR service[DRIVER_REGISTRY_PATH_CHARS];
    if (!NT_SUCCESS(RegistryGetDriverServicePath(service, DRIVER_REGISTRY_PATH_CHARS))) {
        return;
    }
    WCHAR image[HAL_REGISTRY_VALUE_CHARS + 1];
    ULONG length = 0;
    NTSTATUS status = HalReadRegistryValue(u"ImagePath", &length, image, service);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "driver image path not read: 0x%08X", static_cast<unsigned>(status));
        return;
    }
    status = RegistryBuildSiblingPath(image, length / sizeof(WCHAR), block->WifiContainerFileName,
                                      REGISTRY_FW_PATH_CHARS, block->WifiContainerPath, REGISTRY_FW_PATH_CHARS);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "Wi-Fi container path not built: 0x%08X", static_cast<unsigned>(status));
        return;
    }
    // The Bluetooth filter's service key lies beside the driver's.
    WCHAR filterService[DRIVER_REGISTRY_PATH_CHARS];
    status = RegistryBuildSiblingPath(service, PathChars(service, DRIVER_REGISTRY_PATH_CHARS), block->BtFilterServiceName,
                                      REGISTRY_FW_PATH_CHARS, filterService, DRIVER_REGISTRY_PATH_CHARS);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "Bluetooth filter service key not built: 0x%08X",
                 static_cast<unsigned>(status));
        return;
    }
    status = HalReadRegistryValue(u"ImagePath", &length, image, filterService);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "Bluetooth filter image path not read: 0x%08X",
                 static_cast<unsigned>(status));
        return;
    }
    status = RegistryBuildSiblingPath(image, length / sizeof(WCHAR), block->BtContainerFileName, REGISTRY_FW_PATH_CHARS,
                                      block->BtContainerPath, REGISTRY_FW_PATH_CHARS);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "Bluetooth container path not built: 0x%08X",
                 static_cast<unsigned>(status));
    }
}

// ================================================================================================
// working configuration and port defaults
// ================================================================================================
namespace {

#define REG_OFFSET(field) offsetof(REGISTRY_BLOCK, field)

// The per-case multi-channel times, in table order.
constexpr size_t kMccTimeRows[MCC_TIME_COUNT] = {
    REG_OFFSET(MccStaTimeNoGOclient),  REG_OFFSET(MccGOTimeNoGOclient),   REG_OFFSET(MccStaTimeGOLTSTALT),
    REG_OFFSET(MccGOTimeGOLTSTALT),    REG_OFFSET(MccStaTimeGOHTSTALT),   REG_OFFSET(MccGOTimeGOHTSTALT),
    REG_OFFSET(MccStaTimeGOVHTSTALT),  REG_OFFSET(MccGOTimeGOVHTSTALT),   REG_OFFSET(MccStaTimeGOLTSTAHT),
    REG_OFFSET(MccGOTimeGOLTSTAHT),    REG_OFFSET(MccStaTimeGOHTSTAHT),   REG_OFFSET(MccGOTimeGOHTSTAHT),
    REG_OFFSET(MccStaTimeGOVHTSTAHT),  REG_OFFSET(MccGOTimeGOVHTSTAHT),   REG_OFFSET(MccStaTimeGOLTSTAVHT),
    REG_OFFSET(MccGOTimeGOLTSTAVHT),   REG_OFFSET(MccStaTimeGOHTSTAVHT),  REG_OFFSET(MccGOTimeGOHTSTAVHT),
    REG_OFFSET(MccStaTimeGOVHTSTAVHT), REG_OFFSET(MccGOTimeGOVHTSTAVHT),  REG_OFFSET(MccStaTimeGCLTSTALT),
    REG_OFFSET(MccGCTimeGCLTSTALT),    REG_OFFSET(MccStaTimeGCHTSTALT),   REG_OFFSET(MccGCTimeGCHTSTALT),
    REG_OFFSET(MccStaTimeGCLTSTAHT),   REG_OFFSET(MccGCTimeGCLTSTAHT),    REG_OFFSET(MccStaTimeGCHTSTAHT),
    REG_OFFSET(MccGCTimeGCHTSTAHT),    REG_OFFSET(MccStaTimeGCLTSTAVHT),  REG_OFFSET(MccGCTimeGCLTSTAVHT),
    REG_OFFSET(MccStaTimeGCHTSTAVHT),  REG_OFFSET(MccGCTimeGCHTSTAVHT),
};

// The throughput-threshold words, in table order.
constexpr size_t kThroughputRows[THROUGHPUT_THRESHOLD_COUNT] = {
    REG_OFFSET(HLegacy11g), REG_OFFSET(H11nBW20), REG_OFFSET(H11nBW40), REG_OFFSET(H11xBW20), REG_OFFSET(H11xBW40),
    REG_OFFSET(MLegacy11g), REG_OFFSET(M11nBW20), REG_OFFSET(M11nBW40), REG_OFFSET(M11xBW20), REG_OFFSET(M11xBW40),
    REG_OFFSET(LLegacy11g), REG_OFFSET(L11nBW20), REG_OFFSET(L11nBW40), REG_OFFSET(L11xBW20), REG_OFFSET(L11xBW40),
};
// The 3503's threshold words, in the same order, whatever the configuration says.
constexpr ULONG kThroughput3503[THROUGHPUT_THRESHOLD_COUNT] = {
    0x80008,  0x200020, 0x400040, 0x480048, 0x900090, 0x40004,  0x100010, 0x200020,
    0x300030, 0x400040, 0x30003,  0x80008,  0x100010, 0x180018, 0x200020,
};

#undef REG_OFFSET

ULONG& BlockWord(PREGISTRY_BLOCK block, size_t offset)
{
    return *reinterpret_cast<ULONG*>(reinterpret_cast<PUCHAR>(block) + offset);
}

constexpr ULONG kMicrosecondsPerMillisecond = 1000;
constexpr ULONGLONG kHundredNanosecondsPerSecond = 10000000;

// Wireless mode of "CurrPhyMode".
UCHAR WirelessModeOfPhyMode(PMP_ADAPTER adapter, UCHAR phyMode, UCHAR current)
{
    switch (phyMode) {
    case 4: return PHY_11ABG_MIXED;
    case 3: return PHY_11N;
    case 2: return PHY_11VHT;
    case 1: return PHY_11He;
    case 0: return static_cast<UCHAR>(HalIsThirdGeneration(adapter->DeviceId) ? PHY_11BE : PHY_11He);
    default: return current;
    }
}

bool IsSecondOrThirdGeneration(USHORT deviceId)
{
    const UCHAR generation = HalDeviceGeneration(deviceId);
    return generation == CHIP_GENERATION_SECOND || generation == CHIP_GENERATION_THIRD;
}

void CopyP2pMcc(PMP_ADAPTER adapter)
{
    PREGISTRY_BLOCK block = &adapter->RegistryBlock;
    PWORKING_P2P_MCC_CFG p2p = &adapter->WorkingCfg.P2pMcc;
    p2p->WifiDirectControl = block->WifiDirectControl;
    p2p->WfdListenChannel = block->WfdListenChannel != 0 ? block->WfdListenChannel : 11;
    p2p->DynamicDbdcEnable = block->ZivDynamicDbdcEnable;
    p2p->AAModeDbdcEnable = block->ZivAAModeDbdcEnable;
    p2p->SapStayTimeEnable = block->SAPStayTimeEnable;
    p2p->MccStayTimeEnable = block->MccStayTimeEnable;
    p2p->MccStaQuotaTime = block->MccStaQuotaTimeInUs * kMicrosecondsPerMillisecond;
    p2p->MccP2pGOQuotaTime = block->MccP2pGOQuotaTimeInUs * kMicrosecondsPerMillisecond;
    p2p->MccP2pGOBrakeTime = block->MccP2pGOBrakeTimeInUs * kMicrosecondsPerMillisecond;
    p2p->MccP2pGCQuotaTime = block->MccP2pGCQuotaTimeInUs * kMicrosecondsPerMillisecond;
    p2p->MccP2pStaGCQuotaTime = block->MccP2pStaGCQuotaTimeInUs * kMicrosecondsPerMillisecond;
    p2p->MccP2pGOMcastConQuotaTime = block->MccP2pGOMcastConQuotaTimeInUs * kMicrosecondsPerMillisecond;
    p2p->MccP2pSTAMcastConQuotaTime = block->MccP2pSTAMcastConQuotaTimeInUs * kMicrosecondsPerMillisecond;
    if (block->HotspotMCCTputOptimization) {
        for (ULONG i = 0; i < MCC_TIME_COUNT; ++i) {
            p2p->MccTimes[i] = BlockWord(block, kMccTimeRows[i]) * kMicrosecondsPerMillisecond;
        }
    }

    // Group-owner channel and band: a configured channel turns the automatic band choice off.
    p2p->AutoWfdGOOpChannel = block->AutoWfdGOOpChannel;
    p2p->AutoWfdBandEnable = block->WfdGOOperatingChannel != 0 ? 0 : block->AutoWfdBandEnable;
    p2p->WfdGOOperatingChannel = block->WfdGOOperatingChannel;
    if (p2p->WfdGOOperatingChannel == 0 && !p2p->AutoWfdBandEnable) {
        p2p->WfdGOOperatingChannel = 11;
    }
    p2p->P2pEcsaEnable = p2p->AutoWfdBandEnable ? block->P2PECSAEnable : 0;
    p2p->P2pGoBand = block->P2P_GO_Band;
    if (p2p->WfdGOOperatingChannel != 0 || p2p->AutoWfdBandEnable) {
        adapter->WfdPhyMode = static_cast<UCHAR>(block->WfdPhyMode);
        if (block->WfdPhyMode == 3 && adapter->HalInfo.MaxBandwidth > 2) {
            p2p->P2pGoBand = 3;
            p2p->AutoWfdGOOpChannel = 36;
            p2p->P2pEcsaEnable = 0;
        }
    }
}

}  // namespace

void NdisCommonInitCopyRegistryToDriverDefaultSetting(PMP_ADAPTER adapter)
{
    PREGISTRY_BLOCK block = &adapter->RegistryBlock;
    PADAPTER_WORKING_CFG working = &adapter->WorkingCfg;

    block->WirelessMode = WirelessModeOfPhyMode(adapter, block->CurrPhyMode, block->WirelessMode);
    if (block->BWSelection6G != 0) {
        block->Config_6G &= ~0xEu;
        block->Config_11AX &= ~0xEu;
    }
    if (IsSecondOrThirdGeneration(adapter->DeviceId)) {
        block->Config_11AX |= 0x180;
    }
    if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_OWN_THROUGHPUT)) {
        for (ULONG i = 0; i < THROUGHPUT_THRESHOLD_COUNT; ++i) {
            BlockWord(block, kThroughputRows[i]) = kThroughput3503[i];
        }
    }

    working->TransmitSetting = block->TransmitSetting;
    working->WirelessMode = block->WirelessMode;
    working->WirelessModeCopy = block->WirelessMode;
    working->BaCapability = block->BACapability;
    working->WmmCapable = block->WMMCapable;
    working->L1IdleTime = block->ConnIdleTimeForL1;
    working->CountryCode = adapter->Country.RegCountryCode;
    (void)HalCallOptional(adapter->HalOps.LowPowerEnableInit, adapter);

    CopyP2pMcc(adapter);
    working->Hotspot2gCh = block->Hotspot2gCh;
    working->Hotspot5gCh = block->Hotspot5gCh;

    working->ChannelMode = block->ChannelMode;
    working->PreferABand = block->PreferABand;
    working->SmartScan = block->SmartScan;
    working->FastRoamingSensitivity = block->FastRoamingSensitivity;
    working->BeaconLostTime = block->BeaconLostTime;
    working->KeepReconnectCnt = block->KeepReconnectCnt;
    working->StaBcnLostTime = static_cast<ULONGLONG>(block->StaBcnLostTime) * kHundredNanosecondsPerSecond;
    working->ScanListByRssi = block->ScanListByRssi;
    working->SuppressScan = block->SuppressScan;
    working->AutoChannelSelect = block->AutoChannelSelect;
    working->ScanAgeOutTime = block->ScanAgeOutTime;
    working->RssiDelta = block->RssiDelta;

    working->WscVersion2 = block->WSCVersion2;
    working->WscHwPBCMode = block->WscHwPBCMode;
    working->WSC20Testbed = block->WSC20Testbed;

    working->LEDCtlBySW = block->LEDCtlBySW;
    working->LEDMode = block->LEDMode;
    working->LEDConfig = block->LEDConfig;
    working->LEDAct = block->LEDAct;
    working->LEDPolarity = block->LEDPolarity;
    working->LedCustMode = block->LedCustMode;

    working->ETxBfEn = block->ETxBfEn;
    working->ETxBfTimeout = block->ETxBfTimeout;
    working->ETxBfNonCompressedFeedback = block->ETxBfNonCompressedFeedback;

    adapter->OpMode = block->OpMode;

    working->AutoReconnect = block->AutoReconnect;
    working->NetworkType = block->NetworkType;
    working->AdhocOfdm = block->AdhocOfdm;
    working->AdhocNMode = block->AdhocNMode;
    working->AdhocNForceMulticastRate = block->AdhocNForceMulticastRate;
    working->Adhoc5GDisable = block->Adhoc5GDisable;
    working->AdhocN40MHzAllowed = block->AdhocN40MHzAllowed;
    working->AdhocN14Ch40MHzAllowed = block->AdhocN14Ch40MHzAllowed;
    working->PSMode = block->PSMode;
    working->LinkSpeedStatus = block->LinkSpeedStatus;
    working->MFPC = block->MFPC;
    working->LinkQualitySetting = block->LinkQualitySetting;
    working->Feature11n = block->Feature11n;

    for (ULONG i = 0; i < THROUGHPUT_THRESHOLD_COUNT; ++i) {
        ULONG word = BlockWord(block, kThroughputRows[i]);
        working->ThroughputHigh[i] = static_cast<USHORT>(word >> 16);
        working->ThroughputLow[i] = static_cast<USHORT>(word & 0xFFFF);
    }
    working->HSignal = block->HSignal;
    working->MSignal = block->MSignal;
    working->IdleThreshold = block->IdleThreshold;

    for (ULONG i = 0; i < THERMAL_ADMISSION_COUNT; ++i) {
        working->TherAdm[i] = (block->TherAdm >> (8 * i)) & 0xFF;
        if (i < 2 && working->TherAdm[i] >= 1 && working->TherAdm[i] <= 99) {
            working->TherAdm[i] = 100;
        }
    }

    working->LastChannel = block->LastChannel;
    working->LastBand = block->LastBand;
    working->FixedValue = 42;
}

void NdisCommonInitUpdatePortDefaultSetting(PMP_PORT port)
{
    PMP_ADAPTER adapter = port->Adapter;
    PREGISTRY_BLOCK block = &adapter->RegistryBlock;
    PADAPTER_WORKING_CFG working = &adapter->WorkingCfg;
    PPORT_CFG cfg = &port->Cfg;

    cfg->TxSetting = working->TransmitSetting;
    port->WirelessMode = working->WirelessMode;
    cfg->WirelessModeCopy[0] = working->WirelessMode;
    cfg->WirelessModeCopy[1] = working->WirelessMode;
    cfg->BaCapability = working->BaCapability;
    cfg->WmmCapable = working->WmmCapable;
    cfg->CountryCode = working->CountryCode;
    cfg->CalibrationOption = block->CalibrationOption;
    cfg->DynamicTxEnhanceSwitching = block->DynamicTxEnhanceSwitching;
    cfg->PMEnable = block->PMEnable;
    cfg->EDCCAEnable = block->EDCCAEnable;
    cfg->EDCCADebug = block->EDCCADebug;
    cfg->Auth360 = block->Auth360;
    cfg->DisableTxRxLdpc = block->DisableTxRxLdpc;
    cfg->FixAPBW20 = block->FixAPBW20;
    cfg->Enable256QamOn24G = block->Reg2G256QAM;
    cfg->DisableVirtualPort = block->DisableVirtualPort;
    cfg->SWChannel = block->SWChannel;
    cfg->SWChannel5G = block->SWChannel5G;
    cfg->APTGN = block->APTGN;
    port->Channel.PrimaryChannel = block->Channel;
    cfg->RtsThreshold = block->RtsThresh;
    cfg->FragThreshold = block->FragThresh;
    cfg->BGProtection = block->BGProtection;
    cfg->ShortSlot = block->ShortSlot;
    cfg->IEEE80211H = block->IEEE80211H;
    cfg->CarrierDetect = block->CarrierDetect;
    cfg->TXBurst = block->TXBurst;
    if (block->UAPSDSupport && port->PortNumber == 0) {
        cfg->ApsdCapable = 1;
        for (UCHAR& ac : cfg->ApsdAc) {
            ac = 1;
        }
        block->Hlk_feature_optional |= 0x80;
    } else {
        cfg->ApsdCapable = block->APSDCapable;
        cfg->ApsdAc[0] = block->APSDAC_BE;
        cfg->ApsdAc[1] = block->APSDAC_BK;
        cfg->ApsdAc[2] = block->APSDAC_VI;
        cfg->ApsdAc[3] = block->APSDAC_VO;
    }
    cfg->TransmitSetting = block->TransmitSetting;
    cfg->DLSCapable = block->DLSCapable;
    cfg->DirectMode = block->DirectMode;
    cfg->PSPXlink = block->PSPXlink;
    cfg->P2pMcc = working->P2pMcc;
    cfg->ProhibitTKIPonHT = block->ProhibitTKIPonHT;
    cfg->Ch14BOnly = block->Ch14BOnly;
    cfg->TxPowerDefault = block->TxPowerDefault;
    cfg->WepConnectCheckEncry = block->WepConnectCheckEncry;
    cfg->MPolicy = block->MPolicy;
    cfg->EnablePPAD = block->EnablePPAD;
    cfg->RxCheckDupFrame = block->RxCheckDupFrame;
    cfg->EnduranceTest = block->EnduranceTest;
    working->ScanAgeOutTime = block->ScanAgeOutTime;
}

void NdisCommonInitPortUserCfg(PMP_PORT port, UCHAR keepBssIndex)
{
    PMP_ADAPTER adapter = port->Adapter;
    PPORT_CFG cfg = &port->Cfg;
    cfg->FragThreshold = 2346;
    for (ULONG& mask : cfg->RateMask) {
        mask = 0x03FF002F;
    }
    port->ConnectionFlags = (port->ConnectionFlags & ~0x13u) | 0x20u;
    cfg->UserWord = 0xFF00;
    cfg->UserState = 1;

    ULONG modes = 0;
    for (ULONG code : {1u, 2u, 4u}) {
        modes |= NdisWdiGetOpModeValue(adapter, code);
    }
    ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    if (ndisVersion >= NDIS_VERSION_630) {
        for (ULONG code : {8u, 16u, 32u}) {
            modes |= NdisWdiGetOpModeValue(adapter, code);
        }
    }
    cfg->SupportedOpModes = modes;

    if (!keepBssIndex) {
        port->BssIndex = 255;
        port->OwnMacIndex = 255;
    }
    cfg->UserValue = 4;
    port->Channel.PrimaryChannel = 11;
    port->Channel.CentreChannel = 11;
    cfg->Ht = REGISTRY_HT_SETTINGS{};
    cfg->HtDensity = 0;
    cfg->HtEnabled = 0;
    cfg->VhtEnabled = 0;
    cfg->BaCapability = (cfg->BaCapability & ~(0xFu << 18)) | 0x2FFFF;
    WRITE_PHY_CFG_BW(adapter, &cfg->PhyCfg, 0);
    WRITE_PHY_CFG_MCS(adapter, &cfg->PhyCfg, 15);
    WRITE_PHY_CFG_SHORT_GI(adapter, &cfg->PhyCfg, 0);
    WRITE_PHY_CFG_STBC(adapter, &cfg->PhyCfg, 0);
    cfg->CapabilityWord = static_cast<USHORT>(cfg->CapabilityWord & ~((1u << 5) | (1u << 10) | (1u << 15)));
    cfg->ShortSlot = 1;
    cfg->Enable256QamOn24G = 0;
    port->WirelessMode = PHY_11VHT;
    // The ignored argument; the port number decides whether the station's 64-bit value is kept.
    NdisCommonResetAdapterCfg(adapter, nullptr, static_cast<UCHAR>(port->PortNumber));
}

void UserCfgInit(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "no adapter");
        return;
    }
    PMP_PORT port = adapter->PortList[0];
    if (port != nullptr) {
        port->Cfg.BandWord = adapter->BandWord;
        OBSS_SCAN_PARAMS& obss = port->ObssScanParams;
        obss.DelayFactor = 5;
        obss.TriggerScanInterval = 900;
        obss.Delay = 4500;
        obss.PassiveDwell = 20;
        obss.ActiveDwell = 10;
        obss.PassiveTotalPerChannel = 200;
        obss.ActiveTotalPerChannel = 20;
        obss.ActivityThreshold = 25;
    }
    adapter->AntennaPath = static_cast<USHORT>((adapter->AntennaPath & 0xFF00) | 0x22);
    adapter->LastIcmpEchoTime = 0;
    adapter->PingEnhanceActive = 0;

    PREGISTRY_BLOCK block = &adapter->RegistryBlock;
    PADAPTER_WORKING_CFG working = &adapter->WorkingCfg;
    working->UserWirelessMode = working->WirelessMode;
    working->AMPDUTx = block->AMPDUTx;
    working->AMPDURx = block->AMPDURx;
    working->AMSDUTx = block->AMSDUTx;
    working->AMSDURx = block->AMSDURx;
    working->CapWord = adapter->HalInfo.CapWord;
    for (ULONG i = 0; i < 4; ++i) {
        working->CapBits[i] = static_cast<UCHAR>((adapter->HalInfo.CapBits >> i) & 1);
    }
    working->EnDefaultIotApRule = block->EnDefaultIotApRule;
    working->IcsTimeSyncCnt = block->IcsTimeSyncCnt;

    adapter->ScanPhase[0] = 1;
    adapter->ScanPhase[1] = 1;
    // The registry's "ChannelMode" serves only the access-point channel chosen while the
    // configuration is read.
    working->ChannelMode = 1;
    adapter->IotApRuleMatched = 0;
    (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
}

namespace {

constexpr UCHAR kHrDsssRates[] = {2, 4, 11, 22};
constexpr UCHAR kErpRates[] = {2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108};
constexpr UCHAR kErpBasicRates[] = {2, 4, 11, 22, 12, 24, 48};
constexpr UCHAR kOfdmRates[] = {12, 18, 24, 36, 48, 72, 96, 108};
constexpr UCHAR kOfdmBasicRates[] = {12, 24, 48};

template <size_t N, size_t M>
void SetRates(PPHY_RATE_SET set, const UCHAR (&supported)[N], const UCHAR (&basic)[M])
{
    static_assert(N <= PHY_RATE_SET_MAX && M <= PHY_RATE_SET_MAX, "rate sets fit their record");
    *set = PHY_RATE_SET{};
    set->SupportedCount = static_cast<UCHAR>(N);
    for (size_t i = 0; i < N; ++i) {
        set->Supported[i] = supported[i];
    }
    set->BasicCount = static_cast<UCHAR>(M);
    for (size_t i = 0; i < M; ++i) {
        set->Basic[i] = basic[i];
    }
}

}  // namespace

void KOVAInitPhyType(PMP_ADAPTER adapter)
{
    PADAPTER_COMMON_BLOCK common = adapter->CommonBlock;
    PSUPPORTED_PHY_TYPES list = adapter->SupportedPhyTypes;
    if (common == nullptr || list == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "no common block or PHY-type list");
        return;
    }
    SetRates(&common->HrDsssRates, kHrDsssRates, kHrDsssRates);
    common->HrDsssRates.BasicCount = 0;
    SetRates(&common->ErpRates, kErpRates, kErpBasicRates);
    if (adapter->Only24G) {
        adapter->BandWord = 1;
        list->NumberOfEntries = 2;
        list->PhyTypes[0] = PHY_TYPE_HRDSSS;
        list->PhyTypes[1] = PHY_TYPE_ERP;
        common->OfdmRates = PHY_RATE_SET{};
        return;
    }
    adapter->BandWord = 2;
    list->NumberOfEntries = 3;
    list->PhyTypes[0] = PHY_TYPE_HRDSSS;
    list->PhyTypes[1] = PHY_TYPE_OFDM;
    list->PhyTypes[2] = PHY_TYPE_ERP;
    SetRates(&common->OfdmRates, kOfdmRates, kOfdmBasicRates);
    adapter->DefaultChannel = 36;
}

void KOVASetDefaultCipher(PMP_ADAPTER adapter, PMP_PORT port)
{
    constexpr ULONG kWep = 0x101;
    constexpr ULONG kCcmp = 4;
    constexpr ULONG kGcmp256 = 9;
    PPORT_CFG cfg = &port->Cfg;
    ULONG policy;
    switch (cfg->AuthAlgorithm) {
    case 1:
    case 2:
        cfg->PairwiseCipher = kWep;
        cfg->GroupCipher = kWep;
        cfg->ExtraCipher[0] = 5;
        cfg->ExtraCipher[1] = 1;
        policy = cfg->AuthAlgorithm == 1 ? 4 : 3;
        break;
    case 3:
    case 4:
    case 6:
    case 7:
    case 0x80000000u:
    case 0x80000001u:
        cfg->PairwiseCipher = kCcmp;
        cfg->GroupCipher = kCcmp;
        policy = 1;
        if (adapter->WorkingCfg.NetworkType == 1) {
            cfg->ExtraCipher[0] = 2;
            cfg->ExtraCipher[1] = 5;
            cfg->ExtraCipherFlag = 1;
            policy = 4;
        }
        break;
    case 8:
        cfg->PairwiseCipher = kGcmp256;
        cfg->GroupCipher = kGcmp256;
        policy = 1;
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "authentication algorithm 0x%X: ciphers unchanged",
                 static_cast<unsigned>(cfg->AuthAlgorithm));
        policy = 0;
        break;
    }
    cfg->CipherPolicy = policy;
    cfg->GroupCipherDefault = policy <= 1 ? cfg->GroupCipher : 0;
}

void KOVAsetAntennaPath(PMP_ADAPTER adapter, UCHAR first, UCHAR second)
{
    if (first > 2 || second > 2) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "antenna paths %u and %u refused", first, second);
        return;
    }
    adapter->AntennaPath = static_cast<USHORT>((adapter->AntennaPath & 0xFF00) | (second << 4) | first);
}

UCHAR KOVAGetAntennaPath(PMP_ADAPTER adapter) { return static_cast<UCHAR>(adapter->AntennaPath & 0x0F); }

NTSTATUS NdisCommonInitCheckMacAddress(PMP_ADAPTER adapter)
{
    if (!adapter->AddressConfigured) {
        bool allZero = true;
        bool allOnes = true;
        for (UCHAR b : adapter->PermanentAddress) {
            allZero = allZero && b == 0x00;
            allOnes = allOnes && b == 0xFF;
        }
        // An all-ones address is what a blank EEPROM reads back: no more an address than zeros.
        if (allZero || allOnes) {
            adapter->PermanentAddress[0] = 0x02;
            adapter->PermanentAddress[1] = 0x3F;
            adapter->PermanentAddress[2] = 0xA7;
            for (ULONG i = 3; i < MAC_ADDR_LEN; ++i) {
                adapter->PermanentAddress[i] = RandomOctetGet(adapter);
            }
        }
        PlatformMoveMemory(adapter->CurrentAddress, adapter->PermanentAddress, MAC_ADDR_LEN);
    }
    PMP_PORT port = adapter->PortList[0];
    if (port != nullptr) {
        PlatformMoveMemory(port->MacAddress, adapter->CurrentAddress, MAC_ADDR_LEN);
    }
    return STATUS_SUCCESS;
}
