// The capabilities the first power-up reports to WiFiCx: the device, station, band, PHY and Wi-Fi
// Direct records, filled once into the adapter, and their five setters.
#include <cstring>

#include "Common/rlm.h"
#include "hal/common/hal_chip.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdigenerator.h"
#include "platform/wificx/wificxmain.h"

namespace {

// DOT11 authentication algorithms and ciphers of the pairs.
constexpr ULONG kAuthOpen = 1, kAuthShared = 2, kAuthWpa = 3, kAuthWpaPsk = 4, kAuthRsna = 6, kAuthRsnaPsk = 7,
                kAuthWpa3Ent192 = 8, kAuthSae = 9, kAuthOwe = 10, kAuthWpa3Ent = 11;
constexpr ULONG kCipherNone = 0, kCipherWep40 = 1, kCipherTkip = 2, kCipherCcmp = 4, kCipherWep104 = 5,
                kCipherBip = 6, kCipherGcmp256 = 9, kCipherBipGmac256 = 12, kCipherWep = 0x101;

constexpr DOT11_AUTH_CIPHER_PAIR kUnicastPairs[] = {
    {kAuthOpen, kCipherNone},      {kAuthOpen, kCipherWep40},      {kAuthOpen, kCipherWep104},
    {kAuthOpen, kCipherWep},       {kAuthShared, kCipherWep40},    {kAuthShared, kCipherWep104},
    {kAuthShared, kCipherWep},     {kAuthWpa, kCipherTkip},        {kAuthWpa, kCipherCcmp},
    {kAuthSae, kCipherCcmp},       {kAuthOwe, kCipherCcmp},        {kAuthWpaPsk, kCipherTkip},
    {kAuthWpaPsk, kCipherCcmp},    {kAuthRsna, kCipherTkip},       {kAuthRsna, kCipherCcmp},
    {kAuthRsnaPsk, kCipherTkip},   {kAuthRsnaPsk, kCipherCcmp},    {kAuthWpa3Ent, kCipherCcmp},
    {kAuthWpa3Ent, kCipherTkip},   {kAuthWpa3Ent192, kCipherGcmp256},
};
static_assert(sizeof(kUnicastPairs) == 160, "20 unicast pairs");

constexpr DOT11_AUTH_CIPHER_PAIR kMulticastDataPairs[] = {
    {kAuthOpen, kCipherNone},     {kAuthOpen, kCipherWep40},    {kAuthOpen, kCipherWep104},
    {kAuthOpen, kCipherWep},      {kAuthShared, kCipherWep40},  {kAuthShared, kCipherWep104},
    {kAuthShared, kCipherWep},    {kAuthWpa, kCipherWep40},     {kAuthWpa, kCipherWep104},
    {kAuthWpa, kCipherTkip},      {kAuthWpa, kCipherCcmp},      {kAuthSae, kCipherCcmp},
    {kAuthOwe, kCipherCcmp},      {kAuthWpaPsk, kCipherWep40},  {kAuthWpaPsk, kCipherWep104},
    {kAuthWpaPsk, kCipherTkip},   {kAuthWpaPsk, kCipherCcmp},   {kAuthRsna, kCipherWep40},
    {kAuthRsna, kCipherWep104},   {kAuthRsna, kCipherTkip},     {kAuthRsna, kCipherCcmp},
    {kAuthRsnaPsk, kCipherWep40}, {kAuthRsnaPsk, kCipherWep104}, {kAuthRsnaPsk, kCipherTkip},
    {kAuthRsnaPsk, kCipherCcmp},  {kAuthWpa3Ent, kCipherCcmp},  {kAuthWpa3Ent, kCipherTkip},
    {kAuthWpa3Ent192, kCipherGcmp256},
};
static_assert(sizeof(kMulticastDataPairs) == 224, "28 multicast data pairs");

constexpr DOT11_AUTH_CIPHER_PAIR kMulticastMgmtPairs[] = {
    {kAuthRsnaPsk, kCipherBip}, {kAuthRsna, kCipherBip}, {kAuthWpa3Ent, kCipherBip},
    {kAuthWpa3Ent192, kCipherBipGmac256},
};
static_assert(sizeof(kMulticastMgmtPairs) == 32, "4 management pairs");

constexpr DOT11_AUTH_CIPHER_PAIR kWfdPairs[] = {
    {kAuthOpen, kCipherNone}, {kAuthRsnaPsk, kCipherTkip}, {kAuthRsnaPsk, kCipherCcmp}};

// The station record's size: its fixed part and the three algorithm lists.
constexpr ULONG kStationRecordSize = 68 + sizeof(kUnicastPairs) + sizeof(kMulticastDataPairs) + sizeof(kMulticastMgmtPairs);
static_assert(kStationRecordSize == 484, "the station record is 484 bytes");
constexpr ULONG kDeviceRecordSize = 280;
constexpr ULONG kWifiDirectFixedSize = 80;

// PHY types of the OS.
constexpr ULONG kPhyOfdm = 4, kPhyHrDsss = 5, kPhyErp = 6, kPhyHt = 7, kPhyVht = 8, kPhyHe = 10, kPhyEht = 11;

constexpr UCHAR kChannels5G[] = {32,  34,  36,  38,  40,  42,  44,  46,  48,  52,  56,  60,  64,  68,
                                 96,  100, 104, 108, 112, 116, 120, 124, 128, 132, 136, 140, 144, 149,
                                 151, 153, 155, 157, 159, 161, 163, 165, 167, 169, 171, 173, 175, 177};
static_assert(sizeof(kChannels5G) == 42, "42 channels of 5 GHz");
constexpr ULONG kChannels6GCount = 59;  // 1, 5, ... 233

constexpr USHORT kRatesHrDsss[] = {2, 4, 11, 22};
constexpr USHORT kRatesOfdm[] = {12, 18, 24, 36, 48, 72, 96, 108};
constexpr USHORT kRatesAll[] = {2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108};
constexpr USHORT kRateFlags = 6;

// The version text reported before any firmware was loaded.
constexpr char kNoFirmwareVersion[15] = "Qzlwl6";

enum class Generation { Older, Second, Third };

Generation GenerationOf(USHORT deviceId)
{
    switch (HalDeviceGeneration(deviceId)) {
    case CHIP_GENERATION_THIRD:
        return Generation::Third;
    case CHIP_GENERATION_SECOND:
        return Generation::Second;
    default:
        return Generation::Older;
    }
}

// A list of `count` elements of `size` bytes from the tagged allocator; none for an empty list.
bool AllocateList(PMP_ADAPTER adapter, PVOID* list, ULONG count, ULONG size)
{
    *list = nullptr;
    if (count == 0) {
        return true;
    }
    return NT_SUCCESS(PlatformAllocateMemory(adapter, list, count * size, TAG_ZVA0));
}

void FillDevice(PMP_ADAPTER adapter, WIFI_DEVICE_CAPABILITIES& d)
{
    std::memset(&d, 0, sizeof(d));
    d.Size = kDeviceRecordSize;
    d.HardwareRadioState = TRUE;
    d.SoftwareRadioState = TRUE;
    if (adapter->FwDownloaded != 0) {
        std::memcpy(d.FirmwareVersion, adapter->FwFiles.FwTimeStamp, 14);
    } else {
        std::memcpy(d.FirmwareVersion, kNoFirmwareVersion, sizeof(kNoFirmwareVersion));
    }
    d.ActionFramesSupported = TRUE;
    d.NumRxStreams = static_cast<UCHAR>(adapter->Cap.ChipStreams & 0x0F);
    d.NumTxStreams = static_cast<UCHAR>(adapter->Cap.ChipStreams >> 4);
    d.Support_eCSA = FALSE;
    d.MACAddressRandomization = TRUE;
    d.MACAddressRandomizationMask[0] = 0x03;
    d.BluetoothCoexistenceSupport = FALSE;
    d.SupportsNonWdiOidRequests = FALSE;
    d.FastTransitionSupported = adapter->RegistryBlock.FastTransition == 1 ? TRUE : FALSE;
    d.MU_MIMOSupported = TRUE;
    d.BSSTransitionSupported = TRUE;
    d.SAEAuthenticationSupported = TRUE;
    d.MBOSupported = TRUE;
    d.BeaconReportsImplemented = FALSE;
}

void FillStation(PMP_ADAPTER adapter, WIFI_STATION_CAPABILITIES& s)
{
    std::memset(&s, 0, sizeof(s));
    ULONG hlk = adapter->RegistryBlock.Hlk_feature_optional;
    s.Size = kStationRecordSize;
    s.ScanSSIDListSize = 4;
    s.DesiredSSIDListSize = 1;
    s.PrivacyExemptionListSize = 32;
    s.KeyMappingTableSize = 64;
    s.DefaultKeyTableSize = 4;
    s.WEPKeyValueMaxLength = 13;
    s.MaxNumPerSTA = 12;
    s.SupportedQOSFlags = 1;
    s.HostFIPSModeImplemented = (hlk & 0x1) != 0;
    s.MFPCapable = (hlk & 0x2) != 0;
    s.AutoPowerSaveMode = TRUE;
    s.BSSListCachemanagement = TRUE;
    s.ConnectBSSSelectionOverride = TRUE;
    s.MaxNetworkOffloadListSize = adapter->RegistryBlock.NLOEnable != 0 ? 10 : 0;
    s.HostFIPSModeFlag2 = (hlk & 0x1) != 0;
    s.NumSupportedUnicastAlgorithms = ARRAYSIZE(kUnicastPairs);
    s.UnicastAlgorithmsList = kUnicastPairs;
    s.NumSupportedMulticastDataAlgorithms = ARRAYSIZE(kMulticastDataPairs);
    s.MulticastDataAlgorithmsList = kMulticastDataPairs;
    s.NumSupportedMulticastMgmtAlgorithms = ARRAYSIZE(kMulticastMgmtPairs);
    s.MulticastMgmtAlgorithmsList = kMulticastMgmtPairs;
}

// One band entry: its PHY types, channels and widths into allocated lists; false on an allocation
// failure (what was allocated stays for QZCxFreeBandCapabilityLists).
bool FillBand(PMP_ADAPTER adapter, ULONG bandId, const ULONG* phyTypes, ULONG phyCount, ULONG channelCount,
              bool wide160, WIFI_BAND_INFO& info, WIFI_CAPS_BAND_LISTS& lists)
{
    static constexpr ULONG kWidths[] = {20, 40, 80, 160};
    ULONG widthCount = bandId == WIFI_BAND_ID_2G ? 2 : (wide160 ? 4 : 3);
    if (!AllocateList(adapter, reinterpret_cast<PVOID*>(&lists.PhyTypes), phyCount, sizeof(ULONG)) ||
        !AllocateList(adapter, reinterpret_cast<PVOID*>(&lists.Channels), channelCount,
                      sizeof(WIFI_CHANNEL_MAPPING_ENTRY)) ||
        !AllocateList(adapter, reinterpret_cast<PVOID*>(&lists.Widths), widthCount, sizeof(ULONG))) {
        return false;
    }
    lists.PhyTypeCount = phyCount;
    std::memcpy(lists.PhyTypes, phyTypes, phyCount * sizeof(ULONG));
    lists.WidthCount = widthCount;
    std::memcpy(lists.Widths, kWidths, widthCount * sizeof(ULONG));
    if (bandId == WIFI_BAND_ID_2G) {
        lists.ChannelCount = WdiGeneratorSupportedChannelList(adapter, lists.Channels, channelCount, WIFI_BAND_ID_2G);
    } else if (bandId == WIFI_BAND_ID_5G) {
        for (ULONG i = 0; i < channelCount; ++i) {
            lists.Channels[i] = {kChannels5G[i], 5000u + 5u * kChannels5G[i]};
        }
        lists.ChannelCount = channelCount;
    } else {
        for (ULONG i = 0; i < channelCount; ++i) {
            ULONG channel = 1 + 4 * i;
            lists.Channels[i] = {channel, 5950u + 5u * channel};
        }
        lists.ChannelCount = channelCount;
    }
    std::memset(&info, 0, sizeof(info));
    info.BandID = bandId;
    info.BandState = TRUE;
    info.NumValidPhyTypes = lists.PhyTypeCount;
    info.ValidPhyTypeList = lists.PhyTypes;
    info.NumValidChannelTypes = lists.ChannelCount;
    info.ValidChannelTypes = lists.Channels;
    info.NumChannelWidths = lists.WidthCount;
    info.ChannelWidthList = lists.Widths;
    return true;
}

bool FillBands(PMP_ADAPTER adapter, WIFI_CAPABILITY_RECORDS& caps)
{
    Generation generation = GenerationOf(adapter->DeviceId);
    bool newer = generation != Generation::Older;
    bool eht = generation == Generation::Third && adapter->RegistryBlock.bHideWiFi7CapOS == 0;
    bool has5G = adapter->Only24G == 0;
    bool wide160 = HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_WIDE_160);
    ULONG count = 0;
    ULONG bytes = 0;

    ULONG phy2G[6] = {kPhyHrDsss, kPhyErp, kPhyHt, kPhyVht};
    ULONG n = 4;
    if (newer) {
        phy2G[n++] = kPhyHe;
    }
    if (eht) {
        phy2G[n++] = kPhyEht;
    }
    if (!FillBand(adapter, WIFI_BAND_ID_2G, phy2G, n, DomainGetChannelCountByBand(adapter, WIFI_BAND_ID_2G), false,
                  caps.Bands[count], caps.BandLists[count])) {
        return false;
    }
    ++count;
    if (has5G) {
        ULONG phy5G[5] = {kPhyOfdm, kPhyHt, kPhyVht};
        n = 3;
        if (newer) {
            phy5G[n++] = kPhyHe;
        }
        if (eht) {
            phy5G[n++] = kPhyEht;
        }
        if (!FillBand(adapter, WIFI_BAND_ID_5G, phy5G, n, sizeof(kChannels5G), wide160, caps.Bands[count],
                      caps.BandLists[count])) {
            return false;
        }
        ++count;
    }
    if (newer && !HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_NO_6GHZ) && has5G && (adapter->RegistryBlock.Config_6G & 0x1) != 0 &&
        adapter->SixGhzCapable != 0) {
        ULONG phy6G[3] = {kPhyOfdm, kPhyHe};
        n = 2;
        if (adapter->RegistryBlock.bHideWiFi7CapOS == 0) {
            phy6G[n++] = kPhyEht;
        }
        if (!FillBand(adapter, WIFI_BAND_ID_6G, phy6G, n, kChannels6GCount, wide160, caps.Bands[count],
                      caps.BandLists[count])) {
            return false;
        }
        ++count;
    }
    for (ULONG i = 0; i < count; ++i) {
        const WIFI_CAPS_BAND_LISTS& l = caps.BandLists[i];
        bytes += l.PhyTypeCount * sizeof(ULONG) + l.ChannelCount * sizeof(WIFI_CHANNEL_MAPPING_ENTRY) +
                 l.WidthCount * sizeof(ULONG);
    }
    caps.Band.Size = sizeof(WIFI_BAND_CAPABILITIES) + count * sizeof(WIFI_BAND_INFO) + bytes;
    caps.Band.NumBands = count;
    caps.Band.BandInfoList = caps.Bands;
    return true;
}

void AddPhy(WIFI_CAPABILITY_RECORDS& caps, ULONG& count, ULONG type, const USHORT* rates, ULONG rateCount)
{
    WIFI_PHY_INFO& info = caps.Phys[count++];
    std::memset(&info, 0, sizeof(info));
    info.PhyType = type;
    info.NumDataRateEntries = rateCount;
    for (ULONG i = 0; i < rateCount; ++i) {
        info.DataRateList[i] = {kRateFlags, rates[i]};
    }
}

void FillPhys(PMP_ADAPTER adapter, WIFI_CAPABILITY_RECORDS& caps)
{
    Generation generation = GenerationOf(adapter->DeviceId);
    ULONG count = 0;
    AddPhy(caps, count, kPhyHrDsss, kRatesHrDsss, ARRAYSIZE(kRatesHrDsss));
    if (adapter->Only24G == 0) {
        AddPhy(caps, count, kPhyOfdm, kRatesOfdm, ARRAYSIZE(kRatesOfdm));
    }
    for (ULONG type : {kPhyErp, kPhyHt, kPhyVht}) {
        AddPhy(caps, count, type, kRatesAll, ARRAYSIZE(kRatesAll));
    }
    if (generation != Generation::Older) {
        AddPhy(caps, count, kPhyHe, kRatesAll, ARRAYSIZE(kRatesAll));
    }
    if (generation == Generation::Third && adapter->RegistryBlock.bHideWiFi7CapOS == 0) {
        AddPhy(caps, count, kPhyEht, kRatesAll, ARRAYSIZE(kRatesAll));
    }
    caps.Phy.Size = sizeof(WIFI_PHY_CAPABILITIES) + count * sizeof(WIFI_PHY_INFO);
    caps.Phy.NumPhyTypes = count;
    caps.Phy.PhyInfoList = caps.Phys;
}

void FillWifiDirect(PMP_ADAPTER adapter, WIFI_CAPABILITY_RECORDS& caps)
{
    WIFI_WIFI_DIRECT_CAPABILITIES& w = caps.WifiDirect;
    std::memset(&w, 0, sizeof(w));
    bool fixed = (adapter->RegistryBlock.CertReg & CERT_REG_FIXED_ADDRESS) != 0;
    w.Size = kWifiDirectFixedSize + 2 * sizeof(kWfdPairs) + WIFI_MAC_ADDRESS_LENGTH * WIFI_CAPS_WFD_ADDRESSES_REPORTED;
    w.ConcurrencyCounts[0] = 2;
    w.ConcurrencyCounts[1] = 1;
    w.ConcurrencyCounts[2] = 2;
    w.ConcurrencyCounts[3] = 1;
    w.Flag9 = 1;
    Ndis6CommonGetNewMacAddress(adapter, nullptr, 2, 4, w.DeviceAddress);
    if (fixed) {
        w.DeviceAddress[3] = 0xAA;
        w.DeviceAddress[4] = 0xBB;
        w.DeviceAddress[5] = 0xCC;
    }
    w.Value0 = 2;
    w.Byte0 = 8;
    w.MaxLength = 2048;
    w.Byte1 = 1;
    N6SetStaCapabilityCounts(caps.WfdStationCounts);
    std::memcpy(w.StationCounts, caps.WfdStationCounts, sizeof(w.StationCounts));
    w.NumUnicastAlgorithms = ARRAYSIZE(kWfdPairs);
    w.UnicastAlgorithmsList = kWfdPairs;
    w.NumMulticastAlgorithms = ARRAYSIZE(kWfdPairs);
    w.MulticastAlgorithmsList = kWfdPairs;
    for (UCHAR i = 0; i < WIFI_CAPS_WFD_ADDRESSES; ++i) {
        Ndis6CommonGetNewMacAddress(adapter, nullptr, static_cast<UCHAR>(3 + i), 4, caps.WfdInterfaceAddresses[i]);
    }
    w.InterfaceAddressCount = WIFI_CAPS_WFD_ADDRESSES_REPORTED;
    w.InterfaceAddressList = caps.WfdInterfaceAddresses;
}

// The adapter of the device and its record's ready byte: 0xC000000D without an adapter, 0xC0000001
// for a record not filled.
template <class Setter, class Record>
NTSTATUS Report(WDFDEVICE device, PCSTR name, UCHAR WIFI_CAPABILITY_RECORDS::*ready, Record WIFI_CAPABILITY_RECORDS::*record,
                Setter setter)
{
    PMP_ADAPTER adapter = device != nullptr ? QZCxGetAdapter(device) : nullptr;
    if (adapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (adapter->WifiCaps.*ready == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "%s capabilities not ready", name);
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS status = setter(device, &(adapter->WifiCaps.*record));
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "%s capabilities refused: 0x%08X", name, static_cast<unsigned>(status));
    }
    return status;
}

}  // namespace

VOID QZCxInitWiFiCapabilities(WDFDEVICE device)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    WIFI_CAPABILITY_RECORDS& caps = adapter->WifiCaps;
    // A second report starts from empty lists.
    QZCxFreeBandCapabilityLists(adapter);
    caps.DeviceReady = caps.StationReady = caps.BandReady = caps.PhyReady = caps.WifiDirectReady = 0;

    FillDevice(adapter, caps.Device);
    caps.DeviceReady = 1;
    FillStation(adapter, caps.Station);
    caps.StationReady = 1;
    if (!FillBands(adapter, caps)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "band capability lists not allocated");
        return;
    }
    caps.BandReady = 1;
    FillPhys(adapter, caps);
    caps.PhyReady = 1;
    FillWifiDirect(adapter, caps);
    caps.WifiDirectReady = 1;
}

NTSTATUS QZCxSetDeviceCapabilites(WDFDEVICE device)
{
    return Report(device, "device", &WIFI_CAPABILITY_RECORDS::DeviceReady, &WIFI_CAPABILITY_RECORDS::Device,
                  WifiDeviceSetDeviceCapabilities);
}

NTSTATUS QZCxSetStationCapabilities(WDFDEVICE device)
{
    return Report(device, "station", &WIFI_CAPABILITY_RECORDS::StationReady, &WIFI_CAPABILITY_RECORDS::Station,
                  WifiDeviceSetStationCapabilities);
}

NTSTATUS QZCxSetBandCapabilities(WDFDEVICE device)
{
    return Report(device, "band", &WIFI_CAPABILITY_RECORDS::BandReady, &WIFI_CAPABILITY_RECORDS::Band,
                  WifiDeviceSetBandCapabilities);
}

NTSTATUS QZCxSetPhyCapabilities(WDFDEVICE device)
{
    return Report(device, "PHY", &WIFI_CAPABILITY_RECORDS::PhyReady, &WIFI_CAPABILITY_RECORDS::Phy,
                  WifiDeviceSetPhyCapabilities);
}

NTSTATUS QZCxSetWiFiDirectCapabilities(WDFDEVICE device)
{
    return Report(device, "Wi-Fi Direct", &WIFI_CAPABILITY_RECORDS::WifiDirectReady,
                  &WIFI_CAPABILITY_RECORDS::WifiDirect, WifiDeviceSetWiFiDirectCapabilities);
}

void QZCxFreeBandCapabilityLists(PMP_ADAPTER adapter)
{
    for (WIFI_CAPS_BAND_LISTS& lists : adapter->WifiCaps.BandLists) {
        PlatformFreeMemory(lists.PhyTypes, lists.PhyTypeCount * sizeof(ULONG));
        PlatformFreeMemory(lists.Channels, lists.ChannelCount * sizeof(WIFI_CHANNEL_MAPPING_ENTRY));
        PlatformFreeMemory(lists.Widths, lists.WidthCount * sizeof(ULONG));
        lists = WIFI_CAPS_BAND_LISTS{};
    }
    // The band record points at these lists: it is not reported again until it is filled again.
    adapter->WifiCaps.Band.NumBands = 0;
    adapter->WifiCaps.BandReady = 0;
}
