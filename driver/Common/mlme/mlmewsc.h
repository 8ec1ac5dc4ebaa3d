// WPS (Wi-Fi Simple Configuration) below the OS: the WPS device information of a port, the WPS
// element of probe and association requests, the WPS check of a stored BSS, the push-button and PIN
// searches for an access point over the scan table, the EAP-WSC message mapping of the soft access
// point and the reset of a port's WPS state.
//
// WPS attributes are big-endian type-length-value triples inside a vendor element (id 221, OUI
// 00 50 F2, type 04).
#pragma once

#include "Common/mlme/mlmesync_bss.h"
#include "platform/ndiscommon/ndiscommon.h"

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

// ---- the checked walk over WPS attributes ---------------------------------------------------------------
// An attribute is yielded only when its header and its whole value lie inside the buffer; bytes left
// at the end that do not form a whole attribute are reported.
typedef struct _WSC_ATTR_WALK {
    const UCHAR* Cursor;
    ULONG Remaining;
    USHORT Type;
    USHORT Length;
    const UCHAR* Value;
    BOOLEAN Truncated;
} WSC_ATTR_WALK, *PWSC_ATTR_WALK;

void WscAttrWalkInit(PWSC_ATTR_WALK walk, const UCHAR* attributes, ULONG length);
BOOLEAN WscAttrWalkNext(PWSC_ATTR_WALK walk);

// ---- services --------------------------------------------------------------------------------------------
// Fills a record with the port's WPS device information: the OS's attributes where the port holds
// them, else the defaults.
void WscSetDevInfo(PMP_ADAPTER adapter, PMP_PORT port, PWSC_DEVICE_INFO record);
// Writes the WPS element of a probe request (short: without RF bands, association state,
// configuration error and device password id) into buffer (WSC_PROBE_REQ_IE_MAX bytes of room) and
// its length, both parts of the split form included, into *length.
void WscMakeProbeReqIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN shortForm, PUCHAR buffer, PUSHORT length);
// Writes the WPS element of an association request from the port's record of its role
// (WSC_ASSOC_REQ_IE_MAX bytes of room): 16, 26 or 38 bytes.
void WscMakeAssocReqIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUCHAR length);
// Marks whether the entry's stored elements carry a WPS element (WpsPresent) and its WPS version 2
// (WpsVersion2, 0x10 without one). Only the first WPS element is read. Without one in the element
// block, an entry that holds a stored beacon or probe-response WPS copy keeps the marks the BSS
// table gave it from that copy.
void WscCheckWPSAP(PBSS_ENTRY entry);
// Push-button and PIN searches over the adapter's scan table for the BSSID on the channel's band
// side: they fill the port's candidate table and return the number of registrars found; with exactly
// one, *index is its scan-table index, else 0xFFFFFFFF.
ULONG WscPBCModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index);
ULONG WscPINModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index);
// Maps the EAPOL packet type and EAP code of a frame received on a soft-AP port to a WSC machine
// message: TRUE with *message set, FALSE for frames that map to none.
BOOLEAN WscMsgTypeSubst(UCHAR eapolType, UCHAR eapCode, PULONG message);
// Ends the port's WPS: timers cancelled, state and mode 0, the OS-element flag and the Wi-Fi Direct
// WPS record cleared, the connection target of port 0 reset, the candidate table released.
void WscStop(PMP_ADAPTER adapter, PMP_PORT port);
// Releases what a port's WPS holds (at port teardown).
void WscFreePort(PMP_PORT port);

// WSC machine messages of EAP-WSC frames.
#define WSC_MSG_EAP_REQUEST 0x22
#define WSC_MSG_EAP_RESPONSE 0x23
#define WSC_MSG_EAP_FAILURE 0x24
