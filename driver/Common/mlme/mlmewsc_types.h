// The WPS records of a port and of the adapter: attribute ids, device information, the OS's
// attributes, the search's candidates and timers.
#pragma once

#include "kshim/nt_types.h"
#include "Common/mlme/mlmesync_bss_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// ---- attribute types ---------------------------------------------------------------------------------
#define WSC_ID_ASSOC_STATE 0x1002
#define WSC_ID_CONFIG_METHODS 0x1008
#define WSC_ID_CONFIG_ERROR 0x1009
#define WSC_ID_DEVICE_NAME 0x1011
#define WSC_ID_DEVICE_PWD_ID 0x1012
#define WSC_ID_MANUFACTURER 0x1021
#define WSC_ID_MODEL_NAME 0x1023
#define WSC_ID_MODEL_NUMBER 0x1024
#define WSC_ID_REQUEST_TYPE 0x103A
#define WSC_ID_RESPONSE_TYPE 0x103B
#define WSC_ID_RF_BANDS 0x103C
#define WSC_ID_SELECTED_REGISTRAR 0x1041
#define WSC_ID_SERIAL_NUMBER 0x1042
#define WSC_ID_WPS_STATE 0x1044
#define WSC_ID_UUID_E 0x1047
#define WSC_ID_UUID_R 0x1048
#define WSC_ID_VENDOR_EXTENSION 0x1049
#define WSC_ID_VERSION 0x104A
#define WSC_ID_SEL_REG_CONFIG_METHODS 0x1053
#define WSC_ID_PRIMARY_DEVICE_TYPE 0x1054
#define WSC_ID_REQUESTED_DEVICE_TYPE 0x106A
#define WSC_ID_TEST 0x10FE

// Device password ids.
#define WSC_DPID_PIN 0x0000
#define WSC_DPID_USER_SPECIFIED 0x0001
#define WSC_DPID_PUSH_BUTTON 0x0004
#define WSC_DPID_REGISTRAR_SPECIFIED 0x0005

#define WSC_UUID_LEN 16
#define WSC_MAC_LEN 6
#define WSC_DEVICE_NAME_MAX 32
#define WSC_DEVICE_TYPE_LEN 8
#define WSC_MANUFACTURER_MAX 64
#define WSC_MODEL_NAME_MAX 32
#define WSC_MODEL_NUMBER_MAX 32
#define WSC_SERIAL_NUMBER_MAX 32

// The element header: id, length, OUI 00 50 F2 and type 04.
#define WSC_IE_HEADER_SIZE 6
#define WSC_ATTR_HEADER_SIZE 4
// Room for the largest probe-request element (both parts of the split form) and association-request
// element.
#define WSC_PROBE_REQ_IE_MAX 256
#define WSC_ASSOC_REQ_IE_MAX 38

// A WPS device-information record. The u16 values are kept as numbers and sent big-endian.
typedef struct _WSC_DEVICE_INFO {
    UCHAR Version;   // 0x10
    UCHAR Version2;  // "WSCVersion2" when 0x20 or more, else 0x10
    UCHAR Uuid[WSC_UUID_LEN];
    UCHAR MacAddress[WSC_MAC_LEN];
    UCHAR DeviceName[WSC_DEVICE_NAME_MAX];
    UCHAR DeviceNameLen;
    UCHAR PrimaryDeviceType[WSC_DEVICE_TYPE_LEN];
    USHORT ConfigMethods;
    UCHAR Manufacturer[WSC_MANUFACTURER_MAX];
    UCHAR ModelName[WSC_MODEL_NAME_MAX];
    UCHAR ModelNumber[WSC_MODEL_NUMBER_MAX];
    UCHAR SerialNumber[WSC_SERIAL_NUMBER_MAX];
    UCHAR RfBands;  // 1 2.4 GHz, 2 5 GHz
    USHORT AssocState;
    USHORT DevicePasswordId;
    USHORT ConfigError;
} WSC_DEVICE_INFO, *PWSC_DEVICE_INFO;

// The WPS attributes the OS gave a port on the Wi-Fi Direct provisioning path. They count as
// present when the first WSC_OS_ATTRIBUTES_PRESENT_SPAN bytes are not all zero.
typedef struct _WSC_OS_ATTRIBUTES {
    UCHAR DeviceName[WSC_DEVICE_NAME_MAX];
    UCHAR Uuid[WSC_UUID_LEN];
    UCHAR PrimaryDeviceType[WSC_DEVICE_TYPE_LEN];
    UCHAR DevicePasswordId[2];  // big-endian
    UCHAR Manufacturer[WSC_MANUFACTURER_MAX];
    UCHAR ModelName[WSC_MODEL_NAME_MAX];
    UCHAR ModelNumber[WSC_MODEL_NUMBER_MAX];
    UCHAR SerialNumber[WSC_SERIAL_NUMBER_MAX];
} WSC_OS_ATTRIBUTES, *PWSC_OS_ATTRIBUTES;
#define WSC_OS_ATTRIBUTES_PRESENT_SPAN 40

// The access points a push-button or PIN search found (allocated by the first search of the port,
// pool tag ZV06, released by WscStop and when the port goes).
typedef struct _WSC_CANDIDATES {
    BSS_TABLE Table;                                 // copies of the qualifying scan-table entries
    UCHAR Uuid[MAX_LEN_OF_BSS_TABLE][WSC_UUID_LEN];  // the UUID-E of each candidate
} WSC_CANDIDATES, *PWSC_CANDIDATES;

#define WSC_TIMER_COUNT 11
#define WSC_TIMER_WALK 0  // the two-minute walk time of a search
#define WSC_P2P_RECORD_MAX 512

// A port's WPS state (MP_PORT). The search state, mode and method words sit with the BSS table's
// port fields (WpsState, WpsMode, WpsMethod).
typedef struct _WSC_PORT_BLOCK {
    ULONG Role;                  // 1 enrollee, 2 registrar
    UCHAR OsElementInUse;        // association requests carry the OS's WPS element
    PUCHAR OsElement;            // that element (owned by the OS request that set it)
    ULONG OsElementLength;
    WSC_OS_ATTRIBUTES OsAttributes;
    ULONG P2pRecordLength;       // the Wi-Fi Direct WPS record
    UCHAR P2pRecord[WSC_P2P_RECORD_MAX];
    PWSC_CANDIDATES Candidates;  // null until the first search
    PLATFORM_TIMER Timers[WSC_TIMER_COUNT];
} WSC_PORT_BLOCK, *PWSC_PORT_BLOCK;

// The adapter's WPS state (MP_ADAPTER).
typedef struct _WSC_ADAPTER_BLOCK {
    // The scan-table index of the access point the last search settled on; its Device Password ID
    // goes into the own probe requests.
    UCHAR SelectedBssValid;
    ULONG SelectedBssIndex;
} WSC_ADAPTER_BLOCK, *PWSC_ADAPTER_BLOCK;
