// The adapter's separately allocated blocks, port termination and release, and port helpers.
#include "platform/ndis6/ndis6common.h"

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmesae.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmewsc.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/recv.h"
#include "kshim/auxklib.h"
#include "kshim/netadapter.h"
#include "kshim/registry.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/registry_host.h"
#include "platform/ndiscommon/registry_table.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/wdi/wdiconnect.h"
#include "platform/wdi/wdigenerator.h"

namespace {

template <class T>
NTSTATUS AllocBlock(PMP_ADAPTER adapter, T** block, ULONG size, PCSTR name)
{
    PVOID fresh = nullptr;
    if (PlatformAllocateMemory(adapter, &fresh, size, TAG_ZV17) != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "%s not allocated", name);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // The allocator hands the block out zeroed: clearing it again would only touch every page of it.
    *block = static_cast<T*>(fresh);
    return STATUS_SUCCESS;
}

template <class T>
void FreeBlock(T** block, ULONG size)
{
    PlatformFreeMemory(*block, size);
    *block = nullptr;
}

void FreeOwnedBuffer(PPORT_OWNED_BUFFER owned)
{
    if (owned->Allocated == 1) {
        PlatformFreeMemory(owned->Buffer, owned->Size);
    }
    owned->Buffer = nullptr;
    owned->Size = 0;
    owned->Allocated = 0;
}

}  // namespace

NTSTATUS Ndis6CommonAllocAdapterBlock(PMP_ADAPTER adapter)
{
    if (!NT_SUCCESS(AllocBlock(adapter, &adapter->P2pBlock, sizeof(P2P_CTRL_BLOCK), "Wi-Fi Direct block")) ||
        !NT_SUCCESS(AllocBlock(adapter, &adapter->RxIndicateBlock, sizeof(RX_INDICATE_BLOCK), "receive block")) ||
        !NT_SUCCESS(AllocBlock(adapter, &adapter->MgmtFrameBlock, sizeof(MGMT_FRAME_BLOCK), "management block")) ||
        !NT_SUCCESS(AllocBlock(adapter, &adapter->HifContext, sizeof(PCI_HIF_CONTEXT), "host-interface context")) ||
        !NT_SUCCESS(AllocBlock(adapter, &adapter->CommonBlock, sizeof(ADAPTER_COMMON_BLOCK), "common block")) ||
        !NT_SUCCESS(AllocBlock(adapter, &adapter->CommonBlock->Buffer, ADAPTER_COMMON_BUFFER_SIZE, "common buffer")) ||
        !NT_SUCCESS(AllocBlock(adapter, &adapter->SupportedPhyTypes, sizeof(SUPPORTED_PHY_TYPES), "PHY-type list"))) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    adapter->SupportedPhyTypesSize = sizeof(SUPPORTED_PHY_TYPES);
    return STATUS_SUCCESS;
}

void Ndis6CommonDeallocAdapterBlock(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "no adapter");
        return;
    }
    adapter->Signature = 0;
    FreeBlock(&adapter->SupportedPhyTypes, adapter->SupportedPhyTypesSize);
    adapter->SupportedPhyTypesSize = 0;
    FreeBlock(&adapter->P2pBlock, sizeof(P2P_CTRL_BLOCK));
    FreeBlock(&adapter->RxIndicateBlock, sizeof(RX_INDICATE_BLOCK));
    FreeBlock(&adapter->MgmtFrameBlock, sizeof(MGMT_FRAME_BLOCK));
    FreeBlock(&adapter->HifContext, sizeof(PCI_HIF_CONTEXT));
    if (adapter->CommonBlock != nullptr) {
        FreeBlock(&adapter->CommonBlock->Buffer, ADAPTER_COMMON_BUFFER_SIZE);
    }
    FreeBlock(&adapter->CommonBlock, sizeof(ADAPTER_COMMON_BLOCK));
}

void Ndis6CommonPortFreeVariableIE(PMP_PORT port)
{
    for (PORT_OWNED_BUFFER& owned : port->VariableIe) {
        FreeOwnedBuffer(&owned);
    }
}

void Ndis6CommonPortFreePrivacyExemptionList(PMP_PORT port)
{
    FreeOwnedBuffer(&port->PrivacyExemptionList);
    for (PORT_OWNED_BUFFER& owned : port->ExtraBuffers) {
        FreeOwnedBuffer(&owned);
    }
}

void Ndis6CommonFreeAllPortResource(PMP_ADAPTER adapter)
{
    ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    for (PMP_PORT port : adapter->PortList) {
        if (port == nullptr || !port->Active) {
            continue;
        }
        Ndis6CommonPortFreeVariableIE(port);
        Ndis6CommonPortFreePrivacyExemptionList(port);
        (void)MlmePortFreeTimer(adapter, port);
        if (ndisVersion > NDIS_VERSION_629) {
            P2pMsFreeBuffer(&port->P2pPoolBuffer, &port->P2pPoolBufferLength);
        }
    }
}

void N6TermPort(PMP_PORT port)
{
    PMP_ADAPTER adapter = port->Adapter;
    for (KSPIN_LOCK& lock : port->SpinLocks) {
        PlatformFreeSpinLock(&lock);
    }
    for (KSPIN_LOCK& lock : port->ExtraSpinLocks) {
        PlatformFreeSpinLock(&lock);
    }
    (void)PortNblWaitqFlush(adapter, port);
    (void)PortNblFreeqDeInit(port);
    BATableDeInit(adapter, port);
    ActionStateMachineFree(adapter, port);
    RecvFreePortStores(adapter, port);
    // The teardown stops every worker thread, the send threads among them, before the ports go.
    if (port->SendThread.RunState.load() != PLATFORM_THREAD_FREE) {
        PlatformCancelThread(adapter, &port->SendThread);
        PlatformFreeThread(adapter, &port->SendThread);
    }
    WscFreePort(port);
    // The work items carry the port in their context: they go with the port, once they have run.
    for (WDFWORKITEM* workItem : {&port->TaskWorkItem, &port->PropertyWorkItem}) {
        if (*workItem != nullptr) {
            WdfWorkItemFlush(*workItem);
            WdfObjectDelete(*workItem);
            *workItem = nullptr;
        }
    }
}

void N6FreePort(PMP_PORT port)
{
    PMP_ADAPTER adapter = port->Adapter;
    ULONG number = port->PortNumber;
    WdiConnectFreePortBuffers(port);
    MlmeSAEFreeParams(port);
    PlatformFreeMemory(port, sizeof(MP_PORT));
    if (adapter != nullptr && number < MP_MAX_PORTS && adapter->PortList[number] == port) {
        adapter->PortList[number] = nullptr;
    }
}

void N6FreePortMemory(PMP_ADAPTER adapter)
{
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT port = adapter->PortList[i];
        if (port == nullptr) {
            continue;
        }
        N6TermPort(port);
        N6FreePort(port);
        adapter->PortList[i] = nullptr;
    }
}

void N6ResetPortConnectFlags(PMP_PORT port)
{
    port->HiddenNetwork = 0;
    port->ExcludeUnencrypted = 0;
}

void Ndis6CommonGetNewMacAddress(PMP_ADAPTER adapter, PVOID unused, UCHAR index, UCHAR kind, PUCHAR address)
{
    UNREFERENCED_PARAMETER(unused);
    PlatformMoveMemory(address, adapter->CurrentAddress, MAC_ADDR_LEN);
    if (index == 0) {
        return;
    }
    address[0] |= 0x02;  // locally administered
    if (kind == 4) {
        UCHAR mask = static_cast<UCHAR>(index * 16);
        address[4] ^= mask;
        address[5] ^= mask;
        return;
    }
    ULONG at = kind == 1 ? 2 : kind == 2 ? 3 : kind == 3 ? 4 : 1;
    address[at] = static_cast<UCHAR>((address[at] & ~0x70) | ((index & 0x07) << 4));
}

NTSTATUS Ndis6CommonQuerySupportedPhyTypes(PMP_ADAPTER adapter, ULONG capacity, PSUPPORTED_PHY_TYPES list)
{
    PSUPPORTED_PHY_TYPES source = adapter->SupportedPhyTypes;
    if (source == nullptr || list == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "no PHY-type list");
        return STATUS_UNSUCCESSFUL;
    }
    ULONG total = source->NumberOfEntries;
    if (total > SUPPORTED_PHY_TYPE_MAX) {
        total = SUPPORTED_PHY_TYPE_MAX;
    }
    ULONG copied = total <= capacity ? total : capacity;
    list->NumberOfEntries = copied;
    list->TotalNumberOfEntries = total;
    for (ULONG i = 0; i < copied; ++i) {
        list->PhyTypes[i] = source->PhyTypes[i];
    }
    return copied < total ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

void N6SetStaCapabilityCounts(ULONG counts[STA_CAPABILITY_COUNTS + 1])
{
    static constexpr ULONG kCounts[STA_CAPABILITY_COUNTS] = {4, 1, 32, 64, 4, 13};
    for (ULONG i = 0; i < STA_CAPABILITY_COUNTS; ++i) {
        counts[i] = kCounts[i];
    }
    counts[STA_CAPABILITY_COUNTS] = 0;
}

// ================================================================================================
// service key
// ================================================================================================
NTSTATUS Ndis6CommonGetRegistryServiceValue(PCWSTR valueName, PUCHAR value)
{
    UNICODE_STRING keyPath;
    RtlInitUnicodeString(&keyPath, u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\wdrvcx\\Parameters");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &keyPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE key = nullptr;
    NTSTATUS status = ZwOpenKey(&key, KEY_READ, &attributes);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, valueName);
    ULONG needed = 0;
    status = ZwQueryValueKey(key, &name, KeyValuePartialInformation, nullptr, 0, &needed);
    if (status != STATUS_BUFFER_OVERFLOW && status != STATUS_BUFFER_TOO_SMALL) {
        ZwClose(key);
        return status;
    }
    PVOID buffer = nullptr;
    if (PlatformAllocateMemory(nullptr, &buffer, needed, TAG_ZV17) != STATUS_SUCCESS) {
        ZwClose(key);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, needed, &needed);
    if (NT_SUCCESS(status)) {
        auto* information = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
        // A value without data leaves the caller's byte as it was.
        if (information->DataLength >= 1) {
            *value = information->Data[0];
        } else {
            status = STATUS_OBJECT_NAME_NOT_FOUND;
        }
    }
    PlatformFreeMemory(buffer, needed);
    ZwClose(key);
    return status;
}

// ================================================================================================
// configuration values written back
// ================================================================================================
namespace {

// Runs `fn` on the device configuration, opened for it and closed after it; a failed open answers
// its status.
template <class Fn>
NTSTATUS WithConfiguration(PMP_ADAPTER adapter, Fn fn)
{
    NETCONFIGURATION configuration = nullptr;
    NTSTATUS status = NetDeviceOpenConfiguration(adapter->Device, WDF_NO_OBJECT_ATTRIBUTES, &configuration);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "device configuration not opened: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    status = fn(configuration);
    NetConfigurationClose(configuration);
    return status;
}

NTSTATUS AssignUlong(NETCONFIGURATION configuration, PCWSTR name, ULONG value)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    NTSTATUS status = NetConfigurationAssignUlong(configuration, &valueName, value);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "configuration value not written: 0x%08X", static_cast<unsigned>(status));
    }
    return status;
}

// The country code's two letters as a text: the low byte first.
NTSTATUS AssignCountry(NETCONFIGURATION configuration, USHORT countryCode)
{
    WCHAR letters[2] = {static_cast<WCHAR>(countryCode & 0xFF), static_cast<WCHAR>(countryCode >> 8)};
    UNICODE_STRING text;
    text.Buffer = letters;
    text.Length = sizeof(letters);
    text.MaximumLength = sizeof(letters);
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, u"CountryRegionString");
    NTSTATUS status = NetConfigurationAssignUnicodeString(configuration, &valueName, &text);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "country not written: 0x%08X", static_cast<unsigned>(status));
    }
    return status;
}

NTSTATUS CreateKey(PCWSTR keyPath, PHANDLE key)
{
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, keyPath);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    return ZwCreateKey(key, KEY_ALL_ACCESS, &attributes, 0, nullptr, REG_OPTION_NON_VOLATILE, nullptr);
}

NTSTATUS SetValue(HANDLE key, PCWSTR name, ULONG type, PVOID data, ULONG size)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    return ZwSetValueKey(key, &valueName, 0, type, data, size);
}

}  // namespace

NTSTATUS Ndis6CommonGetRegistryTestYBFlag(PMP_ADAPTER adapter)
{
    return WithConfiguration(adapter, [adapter](NETCONFIGURATION configuration) {
        UNICODE_STRING valueName;
        RtlInitUnicodeString(&valueName, u"TestYBFlag");
        return NetConfigurationQueryUlong(configuration, NET_CONFIGURATION_QUERY_ULONG_NO_FLAGS, &valueName,
                                          &adapter->RegistryBlock.TestYBFlag);
    });
}

NTSTATUS Ndis6CommonSetRegistryTestYBFlag(PMP_ADAPTER adapter, ULONG value)
{
    return WithConfiguration(adapter, [value](NETCONFIGURATION configuration) {
        return AssignUlong(configuration, u"TestYBFlag", value);
    });
}

NTSTATUS Ndis6CommonSetRegistry(PMP_ADAPTER adapter, ULONG mask)
{
    return WithConfiguration(adapter, [adapter, mask](NETCONFIGURATION configuration) {
        NTSTATUS status = STATUS_SUCCESS;
        for (ULONG bit = 0; bit < 32 && NT_SUCCESS(status); ++bit) {
            ULONG selected = 1u << bit;
            if ((mask & selected) == 0) {
                continue;
            }
            switch (selected) {
            case REGISTRY_WRITE_RADIO:
                status = AssignUlong(configuration, u"Radio", RegistryJoinRadio(&adapter->RadioState));
                break;
            case REGISTRY_WRITE_LAST_CHANNEL:
                status = AssignUlong(configuration, u"LastChannel", adapter->WorkingCfg.LastChannel);
                break;
            case REGISTRY_WRITE_LAST_BAND:
                status = AssignUlong(configuration, u"LastBand", adapter->WorkingCfg.LastBand);
                break;
            case REGISTRY_WRITE_COUNTRY:
                status = AssignCountry(configuration, adapter->WorkingCfg.CountryCode);
                break;
            case REGISTRY_WRITE_LOG2AIR:
                status = AssignUlong(configuration, u"Log2AirEnable", adapter->RegistryBlock.Log2AirEnable);
                break;
            default:
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "no configuration value for mask bit %u",
                         static_cast<unsigned>(bit));
                status = STATUS_UNSUCCESSFUL;
                break;
            }
        }
        return status;
    });
}

NTSTATUS Ndis6CommonSetRegistryCurCountryForBt(PMP_ADAPTER adapter, USHORT countryCode)
{
    static const WCHAR kRegionKey[] =
        u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\ZUDEVIzirerO64\\Parameters\\qzlbt\\region";
    HANDLE key = nullptr;
    NTSTATUS status = CreateKey(kRegionKey, &key);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "line %d: Bluetooth region key not opened: 0x%08X", __LINE__,
                 static_cast<unsigned>(status));
        return status;
    }
    WCHAR country[3] = {static_cast<WCHAR>(countryCode & 0xFF), static_cast<WCHAR>(countryCode >> 8), 0};
    status = SetValue(key, u"country", REG_SZ, country, sizeof(country));
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "line %d: \"country\" not written: 0x%08X", __LINE__,
                 static_cast<unsigned>(status));
    } else if (adapter->SarSensorMode == 1) {
        ULONG sensor = adapter->SarSensorValue;
        status = SetValue(key, u"sensor", REG_DWORD, &sensor, sizeof(sensor));
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "line %d: \"sensor\" not written: 0x%08X", __LINE__,
                     static_cast<unsigned>(status));
        }
    }
    ZwClose(key);
    return status;
}

NTSTATUS Ndis6CommonSetRegistryPowerState(PMP_ADAPTER adapter, WDF_POWER_DEVICE_STATE state)
{
    UNREFERENCED_PARAMETER(adapter);
    if (state < WdfPowerDeviceD0 || state > WdfPowerDeviceD3Final) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "power state %d is not recorded", static_cast<int>(state));
        return STATUS_UNSUCCESSFUL;
    }
    ULONG value = static_cast<ULONG>(state) - WdfPowerDeviceD0;
    WCHAR parameters[DRIVER_REGISTRY_PATH_CHARS];
    NTSTATUS status = RegistryGetDriverParametersPath(parameters, DRIVER_REGISTRY_PATH_CHARS);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    HANDLE key = nullptr;
    status = CreateKey(parameters, &key);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "service parameters not opened: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    status = SetValue(key, u"PowerState", REG_DWORD, &value, sizeof(value));
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "\"PowerState\" not written: 0x%08X", static_cast<unsigned>(status));
    }
    ZwClose(key);
    return status;
}

BOOLEAN GetModStdbyCapabilityLaptop(PMP_ADAPTER adapter)
{
    constexpr ULONG kFadtLength = 276;
    constexpr ULONG kFlagsOffset = 112;
    constexpr ULONG kLowPowerS0IdleCapable = 0x200000;
    PVOID buffer = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(adapter, &buffer, kFadtLength, TAG_ZV17))) {
        return FALSE;
    }
    BOOLEAN capable = FALSE;
    if (NT_SUCCESS(AuxKlibInitialize())) {
        ULONG returned = 0;
        NTSTATUS status = AuxKlibGetSystemFirmwareTable(AUXKLIB_PROVIDER_SIGNATURE('A', 'C', 'P', 'I'),
                                                        AUXKLIB_ACPI_TABLE_ID('F', 'A', 'C', 'P'), buffer, kFadtLength,
                                                        &returned);
        // A table too short to hold the flags word says nothing about them.
        if (NT_SUCCESS(status) && returned >= kFlagsOffset + sizeof(ULONG)) {
            ULONG flags;
            PlatformMoveMemory(&flags, static_cast<PUCHAR>(buffer) + kFlagsOffset, sizeof(flags));
            capable = static_cast<BOOLEAN>((flags & kLowPowerS0IdleCapable) != 0);
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "FADT not read (0x%08X, %u bytes)", static_cast<unsigned>(status),
                     static_cast<unsigned>(returned));
        }
    }
    PlatformFreeMemory(buffer, kFadtLength);
    return capable;
}

// ================================================================================================
// buffer-list wrapping and the receive context
// ================================================================================================
namespace {

constexpr ULONG kWrapMaxLength = MGMT_FRAME_BUFFER_SIZE;  // 2346: the wrapper's own buffer
constexpr USHORT kRecvContextSize = 48;
constexpr UCHAR kRecvDataRate = 7;

PPACKET_RECORD TakeMgmtWrapper(PMGMT_FRAME_BLOCK mgmt)
{
    KIRQL irql;
    KeAcquireSpinLock(&mgmt->Lock, &irql);
    auto* wrapper = static_cast<PPACKET_RECORD>(mgmt->RecordList.Head);
    if (wrapper != nullptr) {
        mgmt->RecordList.Head = wrapper->Next;
        if (mgmt->RecordList.Head == nullptr) {
            mgmt->RecordList.Tail = nullptr;
        }
        --mgmt->RecordList.Count;
        wrapper->Next = nullptr;
    }
    KeReleaseSpinLock(&mgmt->Lock, irql);
    return wrapper;
}

}  // namespace

void Ndis6CommonReturnMgmtWrapper(PMP_ADAPTER adapter, PPACKET_RECORD wrapper)
{
    PMGMT_FRAME_BLOCK mgmt = adapter != nullptr ? adapter->MgmtFrameBlock : nullptr;
    if (mgmt == nullptr || wrapper == nullptr) {
        return;
    }
    KIRQL irql;
    KeAcquireSpinLock(&mgmt->Lock, &irql);
    wrapper->Next = nullptr;
    if (mgmt->RecordList.Tail == nullptr) {
        mgmt->RecordList.Head = wrapper;
    } else {
        static_cast<PPACKET_RECORD>(mgmt->RecordList.Tail)->Next = wrapper;
    }
    mgmt->RecordList.Tail = wrapper;
    ++mgmt->RecordList.Count;
    KeReleaseSpinLock(&mgmt->Lock, irql);
}

PTX_DMAQ_DESC NdisCommonAllocateNdisNetBufferList(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* data,
                                                  ULONG length)
{
    return Ndis6CommonAllocateNdisNetBufferList(adapter, portIndex, data, length);
}

PTX_DMAQ_DESC Ndis6CommonAllocateNdisNetBufferList(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* data,
                                                   ULONG length)
{
    if (adapter == nullptr || adapter->MgmtFrameBlock == nullptr || data == nullptr || length > kWrapMaxLength) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "frame of %u bytes not wrapped", static_cast<unsigned>(length));
        return nullptr;
    }
    PPACKET_RECORD wrapper = TakeMgmtWrapper(adapter->MgmtFrameBlock);
    if (wrapper == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "no management-frame wrapper free");
        return nullptr;
    }
    PlatformMoveMemory(wrapper->Buffer, data, length);
    NET_BUFFER_DATA_LENGTH(wrapper->NetBuffer) = length;
    MmInitializeMdl(wrapper->Mdl, wrapper->Buffer, length);
    MmBuildMdlForNonPagedPool(wrapper->Mdl);
    NET_BUFFER_LIST_NEXT_NBL(wrapper->NetBufferList) = nullptr;
    NET_BUFFER_LIST_MINIPORT_RESERVED(wrapper->NetBufferList)[0] = wrapper;
    PTX_DMAQ_DESC record = TxDmaqAlloc(adapter, 0);
    if (record != nullptr &&
        N6XmitGetTxbufToDmaq(adapter, portIndex, wrapper->NetBufferList, wrapper->NetBuffer, record) ==
            STATUS_SUCCESS) {
        record->Origin = TX_DMAQ_ORIGIN_WRAPPED;
        return record;
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "frame of %u bytes for port %u: %s", static_cast<unsigned>(length),
             static_cast<unsigned>(portIndex), record == nullptr ? "no transmit record" : "not converted");
    Ndis6CommonReturnMgmtWrapper(adapter, wrapper);
    if (record != nullptr) {
        record->OsBufferList = nullptr;
        record->OsBuffer = nullptr;
        TxDmaqFree(adapter, record);
    }
    return nullptr;
}

void Ndis6CommonFillReceiveContext(PMP_ADAPTER adapter, PMP_PORT port, PDOT11_EXTSTA_RECV_CONTEXT context,
                                   ULONG64 timestamp)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || context == nullptr) {
        return;
    }
    PlatformZeroMemory(context, sizeof(*context));
    context->Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    context->Header.Revision = DOT11_EXTSTA_RECV_CONTEXT_REVISION_1;
    context->Header.Size = kRecvContextSize;
    context->uReceiveFlags = port->PortType == WFD_GO ? DOT11_RECV_FLAG_RAW_PACKET : 0;
    context->uPhyId = port->PhyTypeIndex;
    context->uChCenterFrequency = WdiChannelCentreFrequency(port->Channel.Band, port->Channel.CentreChannel);
    context->lRSSI = port->RssiAvg[0];
    context->usNumberOfMPDUsReceived = 1;
    context->ucDataRate = kRecvDataRate;
    if (timestamp != 0) {
        context->uReceiveFlags |= DOT11_RECV_FLAG_RAW_PACKET_TIMESTAMP;
        context->ullTimestamp = timestamp;
    }
}
