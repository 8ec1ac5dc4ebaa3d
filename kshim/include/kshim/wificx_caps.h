// The capability records a Wi-Fi device reports to the class extension after its first power-up:
// device-wide, station, bands, PHY types and Wi-Fi Direct. Each setter copies the record and the lists
// it points to during the call; a negative status fails the report.
#pragma once

#include "kshim/wificx.h"

// One authentication/cipher pair (DOT11 authentication algorithm, DOT11 cipher algorithm).
typedef struct _DOT11_AUTH_CIPHER_PAIR {
    ULONG AuthAlgoId;
    ULONG CipherAlgoId;
} DOT11_AUTH_CIPHER_PAIR;
static_assert(sizeof(DOT11_AUTH_CIPHER_PAIR) == 8, "an algorithm pair is 8 bytes");

#define WIFI_FIRMWARE_VERSION_SIZE 32
#define WIFI_MAC_ADDRESS_LENGTH 6

typedef struct _WIFI_DEVICE_CAPABILITIES {
    ULONG Size;
    BOOLEAN HardwareRadioState;
    BOOLEAN SoftwareRadioState;
    UCHAR FirmwareVersion[WIFI_FIRMWARE_VERSION_SIZE];
    BOOLEAN ActionFramesSupported;
    UCHAR NumRxStreams;
    UCHAR NumTxStreams;
    BOOLEAN Support_eCSA;
    BOOLEAN MACAddressRandomization;
    UCHAR MACAddressRandomizationMask[WIFI_MAC_ADDRESS_LENGTH];
    BOOLEAN BluetoothCoexistenceSupport;
    BOOLEAN SupportsNonWdiOidRequests;
    BOOLEAN FastTransitionSupported;
    BOOLEAN MU_MIMOSupported;
    BOOLEAN BSSTransitionSupported;
    BOOLEAN SAEAuthenticationSupported;
    BOOLEAN MBOSupported;
    BOOLEAN BeaconReportsImplemented;
} WIFI_DEVICE_CAPABILITIES;

typedef struct _WIFI_STATION_CAPABILITIES {
    ULONG Size;
    ULONG ScanSSIDListSize;
    ULONG DesiredSSIDListSize;
    ULONG PrivacyExemptionListSize;
    ULONG KeyMappingTableSize;
    ULONG DefaultKeyTableSize;
    ULONG WEPKeyValueMaxLength;
    ULONG MaxNumPerSTA;
    UCHAR SupportedQOSFlags;
    BOOLEAN HostFIPSModeImplemented;
    BOOLEAN MFPCapable;
    BOOLEAN AutoPowerSaveMode;
    BOOLEAN BSSListCachemanagement;
    BOOLEAN ConnectBSSSelectionOverride;
    ULONG MaxNetworkOffloadListSize;
    BOOLEAN HESSIDConnectionSupported;
    BOOLEAN FTMAsInitiatorSupport;
    ULONG FTMNumberOfSupportedTargets;
    BOOLEAN HostFIPSModeFlag2;  // a second host-FIPS flag
    ULONG NumSupportedUnicastAlgorithms;
    const DOT11_AUTH_CIPHER_PAIR* UnicastAlgorithmsList;
    ULONG NumSupportedMulticastDataAlgorithms;
    const DOT11_AUTH_CIPHER_PAIR* MulticastDataAlgorithmsList;
    ULONG NumSupportedMulticastMgmtAlgorithms;
    const DOT11_AUTH_CIPHER_PAIR* MulticastMgmtAlgorithmsList;
    ULONG NumFurtherAlgorithms;
    const DOT11_AUTH_CIPHER_PAIR* FurtherAlgorithmsList;
} WIFI_STATION_CAPABILITIES;

// Band ids.
#define WIFI_BAND_ID_2G 1
#define WIFI_BAND_ID_5G 2
#define WIFI_BAND_ID_6G 5

typedef struct _WIFI_CHANNEL_MAPPING_ENTRY {
    ULONG ChannelNumber;
    ULONG ChannelCenterFrequency;  // MHz
} WIFI_CHANNEL_MAPPING_ENTRY;

typedef struct _WIFI_BAND_INFO {
    ULONG BandID;
    BOOLEAN BandState;
    ULONG NumValidPhyTypes;
    const ULONG* ValidPhyTypeList;
    ULONG NumValidChannelTypes;
    const WIFI_CHANNEL_MAPPING_ENTRY* ValidChannelTypes;
    ULONG NumChannelWidths;
    const ULONG* ChannelWidthList;  // MHz
} WIFI_BAND_INFO;

typedef struct _WIFI_BAND_CAPABILITIES {
    ULONG Size;
    ULONG NumBands;
    const WIFI_BAND_INFO* BandInfoList;
} WIFI_BAND_CAPABILITIES;

// One data rate: flags and rate in units of 500 kbit/s.
typedef struct _WIFI_PHY_DATA_RATE {
    USHORT Flags;
    USHORT DataRateValue;
} WIFI_PHY_DATA_RATE;

#define WIFI_PHY_DATA_RATES_MAX 12
typedef struct _WIFI_PHY_INFO {
    ULONG PhyType;
    ULONG64 NumDataRateEntries;
    WIFI_PHY_DATA_RATE DataRateList[WIFI_PHY_DATA_RATES_MAX];
} WIFI_PHY_INFO;

typedef struct _WIFI_PHY_CAPABILITIES {
    ULONG Size;
    ULONG NumPhyTypes;
    const WIFI_PHY_INFO* PhyInfoList;
} WIFI_PHY_CAPABILITIES;

// The Wi-Fi Direct record: the concurrency counts, the flag bytes, the device address, the limits,
// the station counts, the two algorithm lists and the interface addresses.
typedef struct _WIFI_WIFI_DIRECT_CAPABILITIES {
    ULONG Size;
    UCHAR ConcurrencyCounts[4];
    USHORT Word0;
    UCHAR Flags0[8];
    UCHAR Flag8;
    UCHAR Flag9;
    UCHAR Flag10;
    UCHAR DeviceAddress[WIFI_MAC_ADDRESS_LENGTH];
    ULONG Value0;
    UCHAR Byte0;
    ULONG MaxLength;
    USHORT Word1;
    UCHAR Byte1;
    ULONG StationCounts[6];
    ULONG NumUnicastAlgorithms;
    const DOT11_AUTH_CIPHER_PAIR* UnicastAlgorithmsList;
    ULONG NumMulticastAlgorithms;
    const DOT11_AUTH_CIPHER_PAIR* MulticastAlgorithmsList;
    ULONG InterfaceAddressCount;
    const UCHAR (*InterfaceAddressList)[WIFI_MAC_ADDRESS_LENGTH];
} WIFI_WIFI_DIRECT_CAPABILITIES;

// Fault point "wifi.setcapabilities", keyed by the record: "device", "station", "band", "phy",
// "wifidirect".
NTSTATUS WifiDeviceSetDeviceCapabilities(WDFDEVICE Device, const WIFI_DEVICE_CAPABILITIES* Capabilities);
NTSTATUS WifiDeviceSetStationCapabilities(WDFDEVICE Device, const WIFI_STATION_CAPABILITIES* Capabilities);
NTSTATUS WifiDeviceSetBandCapabilities(WDFDEVICE Device, const WIFI_BAND_CAPABILITIES* Capabilities);
NTSTATUS WifiDeviceSetPhyCapabilities(WDFDEVICE Device, const WIFI_PHY_CAPABILITIES* Capabilities);
NTSTATUS WifiDeviceSetWiFiDirectCapabilities(WDFDEVICE Device, const WIFI_WIFI_DIRECT_CAPABILITIES* Capabilities);
