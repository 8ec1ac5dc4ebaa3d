// The WDI TLV library: the TLVs behind a WDI message header, each {u16 type, u16 length of the value,
// value}, little-endian, some of them containers of further TLVs. A parse routine turns the TLVs of
// one message into the parameter record its handler reads: a presence-bit word first when the
// message has optional TLVs, fixed members inline, each list as {count, pointer, owned flag}. It
// checks every length against the bytes it was given: a TLV whose header or value runs past its
// message (or past its container) fails the parse with NDIS_STATUS_INVALID_DATA, as does a TLV the
// message needs that is missing or shorter than its record. TLVs it does not know are skipped;
// of a repeated single TLV the first wins, a repeated list TLV adds an entry. The cleanup routine
// releases what a parse attached to a record (lists and byte arrays the library allocated).
//
// A generate routine writes the TLVs of one message or indication from the same record into a
// buffer the library allocates ({reserved header bytes, zeroed}, then the TLVs); the caller frees it
// with WdiTlvFreeGenerated. Parse and generate share one schema, so what the OS side generates the
// driver parses and what the driver generates the OS side parses.
#pragma once

#include "kshim/nt_types.h"

#define WDI_TLV_HEADER_SIZE 4u

#ifndef NDIS_STATUS_INVALID_DATA
#define NDIS_STATUS_INVALID_DATA ((NTSTATUS)0xC0010015L)
#endif

// ---- walking TLVs ------------------------------------------------------------------------------------------
// The one checked walk over a run of TLVs: a TLV is yielded only when its header and its whole value
// lie inside the run; a run that ends inside a header or a value is reported as malformed.
typedef struct _WDI_TLV_CURSOR {
    const UCHAR* Tlvs;
    ULONG Length;
    ULONG Offset;
    BOOLEAN Malformed;
} WDI_TLV_CURSOR;
VOID WdiTlvCursorInit(WDI_TLV_CURSOR* cursor, const UCHAR* tlvs, ULONG length);
// The next TLV; FALSE at the end of the run or at a malformed rest (Malformed set).
BOOLEAN WdiTlvNext(WDI_TLV_CURSOR* cursor, USHORT* type, const UCHAR** value, USHORT* valueLength);

// ---- lists as the parsed records carry them ----------------------------------------------------------------
// A byte array (an SSID, an element buffer, a frame body).
typedef struct _WDI_BYTE_ARRAY {
    ULONG ElementCount;
    PUCHAR pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_BYTE_ARRAY, *PWDI_BYTE_ARRAY;
// A list of u32 values.
typedef struct _WDI_U32_LIST {
    ULONG ElementCount;
    PULONG pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_U32_LIST, *PWDI_U32_LIST;

// Frees the library's allocations of a generated buffer.
VOID WdiTlvFreeGenerated(PUCHAR buffer);

// TLV types.
#define WDI_TLV_TASK_ABORT_PARAMETERS 0x0040u  // {u32 message id, u32 transaction id, u16 port id}
#define WDI_TLV_TASK_ABORT_PARAMETERS_SIZE 10u

// The parsed parameters of the abort-task property: the task to abort.
typedef struct _WDI_TASK_ABORT_PARAMETERS {
    ULONG MessageId;
    ULONG TransactionId;
    USHORT PortId;
    USHORT Reserved;
} WDI_TASK_ABORT_PARAMETERS, *PWDI_TASK_ABORT_PARAMETERS;
static_assert(sizeof(WDI_TASK_ABORT_PARAMETERS) == 12, "parsed abort parameters are 12 bytes");

// Parses the abort-task message (`length` bytes of TLVs) into a WDI_TASK_ABORT_PARAMETERS record.
// `context` is the caller's TLV context (allocation context and peer version).
NTSTATUS WdiTlvParseTaskAbort(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
// The generic cleanup of a parsed record.
VOID WdiTlvCleanup(PVOID parameters);

// ---- TLVs of the indications the driver generates ---------------------------------------------------------
// Values are little-endian; a frame TLV holds the frame body without its 24-byte MAC header.
#define WDI_TLV_BSSID 0x0100u                    // 6 bytes
#define WDI_TLV_PROBE_RESPONSE_FRAME 0x0101u     // body bytes
#define WDI_TLV_BEACON_FRAME 0x0102u             // body bytes
#define WDI_TLV_SIGNAL_INFO 0x0103u              // {s32 RSSI in dBm, u32 link quality 0..100}
#define WDI_TLV_CHANNEL_INFO 0x0104u             // {u32 channel number, u32 WDI band id}
#define WDI_TLV_DEVICE_CONTEXT 0x0105u           // opaque bytes
#define WDI_TLV_BSS_ENTRY_AGE_INFO 0x0106u       // {u64 host time stamp, u8 cached}
#define WDI_TLV_ASSOCIATION_RESULT 0x0107u       // WDI_ASSOCIATION_RESULT (52 bytes)
#define WDI_TLV_ASSOC_REQUEST_FRAME 0x0108u      // body bytes
#define WDI_TLV_ASSOC_RESPONSE_FRAME 0x0109u     // body bytes
#define WDI_TLV_DISASSOCIATION_PARAMS 0x010Au    // {6-byte peer address, u32 WDI association status}
#define WDI_TLV_LINK_STATE_PARAMS 0x010Bu        // WDI_LINK_STATE_PARAMETERS (20 bytes)
#define WDI_TLV_LINK_QUALITY_ENTRY 0x010Cu       // 40 bytes, one per entry of the list
#define WDI_TLV_TKIP_MIC_FAILURE_INFO 0x010Du    // {6-byte peer address, u32 key kind, u32 key index}
#define WDI_TLV_ROAMING_NEEDED_PARAMS 0x010Eu    // {u32 reason}
#define WDI_TLV_WAKE_REASON 0x010Fu              // {u32 flags, u32 wake reason, u32 packet length, u32 additional value}
#define WDI_TLV_WAKE_PACKET 0x0110u              // the wake packet as received
#define WDI_TLV_RADIO_STATE 0x0111u              // {u8 hardware switch state, u8 software state}
#define WDI_TLV_ASSOC_PARAMS_REQUEST 0x0112u     // {u32 requested type, u32 channel, u32 link quality}
#define WDI_TLV_ASSOC_PARAMS_BSSID 0x0113u       // {6-byte BSSID, u32 value 1, u32 value 2}
#define WDI_TLV_SAE_INDICATION_TYPE 0x0114u      // {u32 type, u32 flags}
#define WDI_TLV_SAE_COMMIT_FRAME 0x0115u         // commit body
#define WDI_TLV_SAE_CONFIRM_FRAME 0x0116u        // confirm body
#define WDI_TLV_FT_TARGET 0x0117u                // 6-byte target address
#define WDI_TLV_FT_ELEMENTS 0x0118u              // a fast-transition element buffer of the port
#define WDI_TLV_ACTION_FRAME_INFO 0x0119u        // {6-byte peer address, u8 value, u32 WDI band id}
#define WDI_TLV_ACTION_FRAME_BODY 0x011Au        // frame body
#define WDI_TLV_PEER_INFO 0x011Bu                // {6-byte peer address, u8 the byte after it}
#define WDI_TLV_AP_ASSOC_REQUEST_FRAME 0x011Cu   // the association request as received
#define WDI_TLV_AP_ASSOC_EXTRA 0x011Du           // the caller's second buffer
#define WDI_TLV_IHV_EVENT 0x011Eu                // IHV event body
#define WDI_TLV_SEND_COMPLETE_FRAME 0x011Fu      // the frame a send-complete indication reports
#define WDI_TLV_P2P_GROUP_CHANNEL 0x0120u        // {3-byte country string, u8 operating class, u8 channel, u8 channel count, u32 WDI band id}
#define WDI_TLV_P2P_ACTION_FRAME_INFO 0x0121u    // the 12-byte frame information (frame type first)
#define WDI_TLV_P2P_EXTRA_IES 0x0122u            // the extra IEs of a Wi-Fi Direct action frame
#define WDI_TLV_AP_ASSOC_RESPONSE_RESULT 0x0123u // {6-byte peer address, u8 result, u8 result, u32 auth algorithm, u32 cipher}

// ---- the scan task (message 4) ------------------------------------------------------------------------------
// TLVs of the scan task. WDI_TLV_BSSID (above) is mandatory, and so are the scan mode and the dwell
// times; the SSID list, the vendor elements, the band/channel list and the 6 GHz list are optional.
#define WDI_TLV_SCAN_MODE 0x0200u               // {u8, u32 scan type, u8, u32 scan trigger}
#define WDI_TLV_SCAN_MODE_SIZE 10u
#define WDI_TLV_SCAN_DWELL_TIME 0x0201u         // three u32
#define WDI_TLV_SCAN_DWELL_TIME_SIZE 12u
#define WDI_TLV_SSID 0x0202u                    // the SSID bytes; one TLV per SSID of a list
#define WDI_TLV_VENDOR_SPECIFIC_IE 0x0203u      // information elements as the OS gives them
#define WDI_TLV_BAND_CHANNEL 0x0204u            // container: WDI_TLV_BAND_ID, WDI_TLV_CHANNEL_INFO_LIST
#define WDI_TLV_BAND_ID 0x0205u                 // u32 WDI band id
#define WDI_TLV_CHANNEL_INFO_LIST 0x0206u       // u32 channel numbers
#define WDI_TLV_6_GHZ_BAND_CHANNEL 0x0207u      // container: WDI_TLV_BSSID, WDI_TLV_CHANNEL_NUMBER,
                                                // optional WDI_TLV_BSS_ENTRY_CHANNEL_INFO
#define WDI_TLV_CHANNEL_NUMBER 0x0208u          // u8
#define WDI_TLV_BSS_ENTRY_CHANNEL_INFO 0x0209u  // two u32
#define WDI_TLV_BSS_ENTRY_CHANNEL_INFO_SIZE 8u

// Presence bits of WDI_SCAN_PARAMETERS.
#define WDI_SCAN_PRESENT_VENDOR_IES 0x1u
#define WDI_SCAN_PRESENT_BAND_CHANNEL 0x2u
#define WDI_SCAN_PRESENT_6GHZ 0x4u

typedef struct _WDI_SCAN_MODE_PARAMETERS {
    UCHAR ModeByte0;
    ULONG ScanType;     // 1 active, 2 passive, 3 auto
    UCHAR ModeByte1;
    ULONG ScanTrigger;  // 2 background, 3 and 6 roaming, 4 connect, others general
} WDI_SCAN_MODE_PARAMETERS;

typedef struct _WDI_SCAN_DWELL_PARAMETERS {
    ULONG Values[3];
} WDI_SCAN_DWELL_PARAMETERS;

typedef struct _WDI_SSID_LIST {
    ULONG ElementCount;
    PWDI_BYTE_ARRAY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_SSID_LIST;

typedef struct _WDI_BAND_CHANNEL_ENTRY {
    ULONG BandId;              // WDI band id: 1 2.4 GHz, 2 5 GHz, 5 6 GHz
    WDI_U32_LIST ChannelList;  // channel numbers
} WDI_BAND_CHANNEL_ENTRY, *PWDI_BAND_CHANNEL_ENTRY;

typedef struct _WDI_BAND_CHANNEL_LIST {
    ULONG ElementCount;
    PWDI_BAND_CHANNEL_ENTRY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_BAND_CHANNEL_LIST;

#define WDI_6GHZ_PRESENT_CHANNEL_INFO 0x1u
typedef struct _WDI_6GHZ_CHANNEL_ENTRY {
    ULONG Presence;  // WDI_6GHZ_PRESENT_CHANNEL_INFO
    UCHAR Bssid[6];
    UCHAR ChannelNumber;
    ULONG ChannelInfo[2];
} WDI_6GHZ_CHANNEL_ENTRY, *PWDI_6GHZ_CHANNEL_ENTRY;

typedef struct _WDI_6GHZ_CHANNEL_LIST {
    ULONG ElementCount;
    PWDI_6GHZ_CHANNEL_ENTRY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_6GHZ_CHANNEL_LIST;

// The parsed parameters of the scan task.
typedef struct _WDI_SCAN_PARAMETERS {
    ULONG Presence;  // WDI_SCAN_PRESENT_*
    UCHAR Bssid[6];
    WDI_SSID_LIST SsidList;
    WDI_BYTE_ARRAY VendorIes;
    WDI_SCAN_MODE_PARAMETERS ScanMode;
    WDI_SCAN_DWELL_PARAMETERS DwellTime;
    WDI_BAND_CHANNEL_LIST BandChannelList;
    WDI_6GHZ_CHANNEL_LIST SixGhzList;
} WDI_SCAN_PARAMETERS, *PWDI_SCAN_PARAMETERS;

NTSTATUS WdiTlvParseTaskScan(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupTaskScan(PVOID parameters);
// Writes the scan task's TLVs behind `reservedHeaderLength` zero bytes.
NTSTATUS WdiTlvGenerateTaskScan(const WDI_SCAN_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                const void* context, PULONG outLength, PUCHAR* outBuffer);

// ---- the BSS entry indication (0x4005003E) -------------------------------------------------------------------
#define WDI_TLV_SIGNAL_INFO_SIZE 8u
#define WDI_TLV_CHANNEL_INFO_SIZE 8u
#define WDI_TLV_BSS_ENTRY_AGE_INFO_SIZE 9u

#define WDI_BSS_ENTRY_PRESENT_PROBE_RESPONSE 0x1u
#define WDI_BSS_ENTRY_PRESENT_BEACON 0x2u
#define WDI_BSS_ENTRY_PRESENT_DEVICE_CONTEXT 0x4u

// One BSS entry: the BSSID, the probe-response and beacon bodies (behind their 24-byte MAC header),
// the signal, the channel, the device context and the age information.
typedef struct _WDI_BSS_ENTRY_PARAMETERS {
    ULONG Presence;  // WDI_BSS_ENTRY_PRESENT_*
    UCHAR Bssid[6];
    WDI_BYTE_ARRAY ProbeResponseFrame;
    WDI_BYTE_ARRAY BeaconFrame;
    LONG Rssi;          // dBm
    ULONG LinkQuality;  // 0..100
    ULONG ChannelNumber;
    ULONG BandId;       // WDI band id
    WDI_BYTE_ARRAY DeviceContext;
    ULONG64 HostTimeStamp;
    UCHAR Cached;
} WDI_BSS_ENTRY_PARAMETERS, *PWDI_BSS_ENTRY_PARAMETERS;

NTSTATUS WdiTlvGenerateBssEntry(const WDI_BSS_ENTRY_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                const void* context, PULONG outLength, PUCHAR* outBuffer);
// The OS side reads the indication back with these.
NTSTATUS WdiTlvParseBssEntry(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupBssEntry(PVOID parameters);

// ---- the network-list-offload property (message 41) ------------------------------------------------------
#define WDI_TLV_SSID_OFFLOAD 0x0210u                 // container: WDI_TLV_SSID, WDI_TLV_ALGORITHM_PAIRS,
                                                     // optional WDI_TLV_CHANNEL_HINT_LIST and WDI_TLV_HIDDEN_NETWORK
#define WDI_TLV_ALGORITHM_PAIRS 0x0211u              // {u32 authentication algorithm, u32 cipher algorithm} pairs
#define WDI_TLV_CHANNEL_HINT_LIST 0x0212u            // {u32 WDI band id, u32 channel number} pairs
#define WDI_TLV_HIDDEN_NETWORK 0x0213u               // u8
#define WDI_TLV_NETWORK_LIST_OFFLOAD_CONFIG 0x0214u  // four u32
#define WDI_TLV_NETWORK_LIST_OFFLOAD_CONFIG_SIZE 16u

#define WDI_NLO_PRESENT_SSID_OFFLOAD 0x1u

typedef struct _WDI_ALGORITHM_PAIR {
    ULONG AuthAlgorithm;
    ULONG CipherAlgorithm;
} WDI_ALGORITHM_PAIR;
typedef struct _WDI_CHANNEL_HINT {
    ULONG BandId;
    ULONG ChannelNumber;
} WDI_CHANNEL_HINT;
typedef struct _WDI_SSID_OFFLOAD_ENTRY {
    WDI_BYTE_ARRAY Ssid;
    ULONG PairCount;
    WDI_ALGORITHM_PAIR* pPairs;
    ULONG HintCount;
    WDI_CHANNEL_HINT* pHints;
    UCHAR Hidden;
} WDI_SSID_OFFLOAD_ENTRY, *PWDI_SSID_OFFLOAD_ENTRY;
typedef struct _WDI_SSID_OFFLOAD_LIST {
    ULONG ElementCount;
    PWDI_SSID_OFFLOAD_ENTRY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_SSID_OFFLOAD_LIST;

typedef struct _WDI_NLO_PARAMETERS {
    ULONG Presence;  // WDI_NLO_PRESENT_SSID_OFFLOAD
    ULONG Config[4];
    WDI_SSID_OFFLOAD_LIST SsidOffloads;
} WDI_NLO_PARAMETERS, *PWDI_NLO_PARAMETERS;

NTSTATUS WdiTlvParseNetworkListOffload(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupNetworkListOffload(PVOID parameters);
NTSTATUS WdiTlvGenerateNetworkListOffload(const WDI_NLO_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                          const void* context, PULONG outLength, PUCHAR* outBuffer);

// ---- the connect and roam tasks (messages 6 and 100) ---------------------------------------------------------
// The message is one WDI_TLV_CONNECT_PARAMETERS container and, behind it, one WDI_TLV_CONNECT_BSS_ENTRY
// container per candidate BSS. Inside the parameters the connection settings, the SSID list and the
// three algorithm lists are mandatory; the rest is optional.
#define WDI_TLV_CONNECT_PARAMETERS 0x0265u            // container
#define WDI_TLV_CONNECTION_SETTINGS 0x0240u           // {u8 roam request, u8 hidden network, u8 exclude unencrypted,
                                                      //  u8 MFP enabled, u8 host FIPS mode, u32 roaming-needed
                                                      //  reason, u32 roam trigger, u8 final settings}
#define WDI_TLV_CONNECTION_SETTINGS_SIZE 14u
#define WDI_TLV_AUTH_ALGO_LIST 0x0241u                // u32 values
#define WDI_TLV_MULTICAST_CIPHER_ALGO_LIST 0x0242u    // u32 values
#define WDI_TLV_UNICAST_CIPHER_ALGO_LIST 0x0243u      // u32 values
#define WDI_TLV_EXTRA_ASSOCIATION_REQUEST_IES 0x0244u // element bytes
#define WDI_TLV_PHY_TYPE_LIST 0x0245u                 // u32 values
#define WDI_TLV_DISALLOWED_BSSIDS_LIST 0x0246u        // 6-byte addresses
#define WDI_TLV_ALLOWED_BSSIDS_LIST 0x0247u           // 6-byte addresses
#define WDI_TLV_OWE_DH_IE 0x0248u                     // element bytes
#define WDI_TLV_UNAVAILABLE_BANDS 0x0249u             // u32 WDI band ids
#define WDI_TLV_HESSID_INFO 0x024Au                   // container: WDI_TLV_ACCESS_NETWORK_TYPE, WDI_TLV_HESSID
                                                      // (one per HESSID), optional WDI_TLV_HOTSPOT_INDICATION_ELEMENT
#define WDI_TLV_ACCESS_NETWORK_TYPE 0x024Bu           // u8
#define WDI_TLV_HESSID 0x024Cu                        // 6 bytes
#define WDI_TLV_HOTSPOT_INDICATION_ELEMENT 0x024Du    // element bytes
#define WDI_TLV_CONNECT_BSS_ENTRY 0x024Eu             // container: WDI_TLV_BSSID, then optional frames, signal,
                                                      // channel, device context, PMKID, extra IEs and FT parameters
#define WDI_TLV_PMKID 0x024Fu                         // 16 bytes
#define WDI_TLV_BSS_ENTRY_EXTRA_IES 0x0250u           // element bytes
#define WDI_TLV_FT_INITIAL_ASSOC_PARAMETERS 0x0251u   // container: optional WDI_TLV_FT_MDE
#define WDI_TLV_FT_REASSOC_PARAMETERS 0x0252u         // container: optional WDI_TLV_FT_MDE, WDI_TLV_FT_FTE, WDI_TLV_FT_PMKR0NAME
#define WDI_TLV_FT_MDE 0x0253u                        // the mobility domain element as on the air
#define WDI_TLV_FT_FTE 0x0254u                           // the fast-transition element as on the air
#define WDI_TLV_FT_PMKR0NAME 0x0255u                    // 16 bytes
#define WDI_PMKID_SIZE 16u

// Presence bits of WDI_CONNECT_PARAMETERS.
#define WDI_CONNECT_PRESENT_HESSID_INFO 0x01u
#define WDI_CONNECT_PRESENT_EXTRA_IES 0x02u
#define WDI_CONNECT_PRESENT_PHY_TYPES 0x04u
#define WDI_CONNECT_PRESENT_DISALLOWED 0x08u
#define WDI_CONNECT_PRESENT_ALLOWED 0x10u
#define WDI_CONNECT_PRESENT_OWE_DH 0x20u
#define WDI_CONNECT_PRESENT_UNAVAILABLE_BANDS 0x40u

// Presence bits of one WDI_CONNECT_BSS_ENTRY.
#define WDI_CONNECT_BSS_PRESENT_PROBE_RESPONSE 0x01u
#define WDI_CONNECT_BSS_PRESENT_BEACON 0x02u
#define WDI_CONNECT_BSS_PRESENT_DEVICE_CONTEXT 0x04u
#define WDI_CONNECT_BSS_PRESENT_PMKID 0x08u
#define WDI_CONNECT_BSS_PRESENT_EXTRA_IES 0x10u
#define WDI_CONNECT_BSS_PRESENT_FT_INITIAL 0x20u
#define WDI_CONNECT_BSS_PRESENT_FT_REASSOC 0x40u
#define WDI_CONNECT_BSS_PRESENT_SIGNAL 0x100u   // beside the bits above: the signal and channel TLVs
#define WDI_CONNECT_BSS_PRESENT_CHANNEL 0x200u

// Presence bits of the FT parameter containers.
#define WDI_FT_PRESENT_MDE 0x1u
#define WDI_FT_PRESENT_FTE 0x2u
#define WDI_FT_PRESENT_PMKR0_NAME 0x4u

typedef struct _WDI_MAC_ADDRESS {
    UCHAR Address[6];
} WDI_MAC_ADDRESS, *PWDI_MAC_ADDRESS;

typedef struct _WDI_MAC_ADDRESS_LIST {
    ULONG ElementCount;
    PWDI_MAC_ADDRESS pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_MAC_ADDRESS_LIST;

typedef struct _WDI_CONNECTION_SETTINGS {
    UCHAR RoamRequest;
    UCHAR HiddenNetwork;
    UCHAR ExcludeUnencrypted;
    UCHAR MfpEnabled;
    UCHAR HostFipsMode;
    ULONG RoamingNeededReason;
    ULONG RoamTrigger;
    UCHAR FinalSettings;
} WDI_CONNECTION_SETTINGS;

typedef struct _WDI_HESSID_INFO {
    UCHAR AccessNetworkType;
    WDI_MAC_ADDRESS_LIST Hessids;
    WDI_BYTE_ARRAY HotspotIndicationElement;  // empty when absent
} WDI_HESSID_INFO;

typedef struct _WDI_FT_PARAMETERS {
    ULONG Presence;  // WDI_FT_PRESENT_*
    WDI_BYTE_ARRAY Mde;
    WDI_BYTE_ARRAY Fte;
    UCHAR PmkR0Name[16];
} WDI_FT_PARAMETERS;

typedef struct _WDI_CONNECT_BSS_ENTRY {
    ULONG Presence;  // WDI_CONNECT_BSS_PRESENT_*
    UCHAR Bssid[6];
    WDI_BYTE_ARRAY ProbeResponseFrame;
    WDI_BYTE_ARRAY BeaconFrame;
    LONG Rssi;
    ULONG LinkQuality;
    ULONG ChannelNumber;
    ULONG BandId;
    WDI_BYTE_ARRAY DeviceContext;
    UCHAR Pmkid[WDI_PMKID_SIZE];
    WDI_BYTE_ARRAY ExtraIes;
    WDI_FT_PARAMETERS FtInitial;
    WDI_FT_PARAMETERS FtReassoc;
} WDI_CONNECT_BSS_ENTRY, *PWDI_CONNECT_BSS_ENTRY;

typedef struct _WDI_CONNECT_BSS_ENTRY_LIST {
    ULONG ElementCount;
    PWDI_CONNECT_BSS_ENTRY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_CONNECT_BSS_ENTRY_LIST;

// The parsed parameters of the connect and roam tasks.
typedef struct _WDI_CONNECT_PARAMETERS {
    ULONG Presence;  // WDI_CONNECT_PRESENT_*
    WDI_CONNECTION_SETTINGS Settings;
    WDI_SSID_LIST SsidList;
    WDI_HESSID_INFO HessidInfo;
    WDI_U32_LIST AuthAlgorithms;
    WDI_U32_LIST MulticastCiphers;
    WDI_U32_LIST UnicastCiphers;
    WDI_BYTE_ARRAY ExtraAssociationRequestIes;
    WDI_U32_LIST PhyTypes;
    WDI_MAC_ADDRESS_LIST DisallowedBssids;
    WDI_MAC_ADDRESS_LIST AllowedBssids;
    WDI_BYTE_ARRAY OweDhIe;
    WDI_U32_LIST UnavailableBands;
    WDI_CONNECT_BSS_ENTRY_LIST BssEntries;
} WDI_CONNECT_PARAMETERS, *PWDI_CONNECT_PARAMETERS;

NTSTATUS WdiTlvParseTaskConnect(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupTaskConnect(PVOID parameters);
NTSTATUS WdiTlvGenerateTaskConnect(const WDI_CONNECT_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                   const void* context, PULONG outLength, PUCHAR* outBuffer);

// ---- the disconnect, dot11 reset, set-radio-state and change-operation-mode tasks ---------------------------
#define WDI_TLV_DISCONNECT_PARAMETERS 0x0256u     // {6-byte peer address, u16 reason}
#define WDI_TLV_DISCONNECT_PARAMETERS_SIZE 8u
#define WDI_TLV_DOT11_RESET_PARAMETERS 0x0257u    // {u8 set default MIB}
#define WDI_TLV_CONFIGURED_MAC_ADDRESS 0x0258u    // 6 bytes
#define WDI_TLV_RADIO_STATE_PARAMETERS 0x0259u    // {u8 radio on}
#define WDI_TLV_CURRENT_OPERATION_MODE 0x025Au    // u32 WDI operation mode

typedef struct _WDI_DISCONNECT_PARAMETERS {
    UCHAR MacAddress[6];
    USHORT Reason;
} WDI_DISCONNECT_PARAMETERS, *PWDI_DISCONNECT_PARAMETERS;

#define WDI_RESET_PRESENT_CONFIGURED_MAC 0x1u
typedef struct _WDI_DOT11_RESET_PARAMETERS {
    ULONG Presence;  // WDI_RESET_PRESENT_CONFIGURED_MAC
    UCHAR SetDefaultMib;
    UCHAR ConfiguredMacAddress[6];
} WDI_DOT11_RESET_PARAMETERS, *PWDI_DOT11_RESET_PARAMETERS;

typedef struct _WDI_SET_RADIO_STATE_PARAMETERS {
    UCHAR RadioOn;
} WDI_SET_RADIO_STATE_PARAMETERS, *PWDI_SET_RADIO_STATE_PARAMETERS;

typedef struct _WDI_OPERATION_MODE_PARAMETERS {
    ULONG OperationMode;
} WDI_OPERATION_MODE_PARAMETERS, *PWDI_OPERATION_MODE_PARAMETERS;

NTSTATUS WdiTlvParseTaskDisconnect(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvParseTaskDot11Reset(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvParseTaskSetRadioState(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvParseTaskChangeOperationMode(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
// These four records own nothing: WdiTlvCleanup releases them.
NTSTATUS WdiTlvGenerateTaskDisconnect(const WDI_DISCONNECT_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                      const void* context, PULONG outLength, PUCHAR* outBuffer);
NTSTATUS WdiTlvGenerateTaskDot11Reset(const WDI_DOT11_RESET_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                      const void* context, PULONG outLength, PUCHAR* outBuffer);

// ---- station properties: adapter configuration, location privacy, privacy exemption list, dialog token ----
#define WDI_TLV_UNREACHABLE_DETECTION_THRESHOLD 0x025Bu  // u32
#define WDI_TLV_P2P_GO_INTERNAL_RESET_POLICY 0x025Cu     // u32
#define WDI_TLV_BAND_ID_LIST 0x025Du                     // u32 WDI band ids
#define WDI_TLV_LINK_QUALITY_BAR_MAP 0x025Eu             // bytes
#define WDI_TLV_ADAPTER_NLO_SCAN_MODE 0x025Fu            // u32
#define WDI_TLV_PLDR_SUPPORT 0x0260u                     // u8
#define WDI_TLV_LOCATION_PRIVACY 0x0261u                 // u8
#define WDI_TLV_PRIVACY_EXEMPTION_LIST 0x0262u           // container: WDI_TLV_PRIVACY_EXEMPTION_ENTRY, one per entry
#define WDI_TLV_PRIVACY_EXEMPTION_ENTRY 0x0263u          // {u16 EtherType, u32 action type, u32 packet type}
#define WDI_TLV_PRIVACY_EXEMPTION_ENTRY_SIZE 10u
#define WDI_TLV_NEXT_DIALOG_TOKEN 0x0264u                // u8

// Presence bits of WDI_ADAPTER_CONFIGURATION_PARAMETERS.
#define WDI_ADAPTER_CONFIG_PRESENT_MAC 0x01u
#define WDI_ADAPTER_CONFIG_PRESENT_UNREACHABLE 0x02u
#define WDI_ADAPTER_CONFIG_PRESENT_GO_RESET_POLICY 0x04u
#define WDI_ADAPTER_CONFIG_PRESENT_BAND_IDS 0x08u
#define WDI_ADAPTER_CONFIG_PRESENT_NLO_SCAN_MODE 0x10u
#define WDI_ADAPTER_CONFIG_PRESENT_LINK_QUALITY_MAP 0x20u
#define WDI_ADAPTER_CONFIG_PRESENT_PLDR 0x40u

// The parsed adapter configuration; it owns no memory (the band list keeps its first 8 ids, the link
// quality map its first 32 bytes).
typedef struct _WDI_ADAPTER_CONFIGURATION_PARAMETERS {
    ULONG Presence;
    UCHAR ConfiguredMacAddress[6];
    ULONG UnreachableDetectionThreshold;
    ULONG GoInternalResetPolicy;
    ULONG BandIdCount;
    ULONG BandIds[8];
    ULONG LinkQualityMapLength;
    UCHAR LinkQualityMap[32];
    ULONG NloScanMode;
    UCHAR PldrSupport;
} WDI_ADAPTER_CONFIGURATION_PARAMETERS, *PWDI_ADAPTER_CONFIGURATION_PARAMETERS;

typedef struct _WDI_LOCATION_PRIVACY_PARAMETERS {
    UCHAR Value;
} WDI_LOCATION_PRIVACY_PARAMETERS, *PWDI_LOCATION_PRIVACY_PARAMETERS;

typedef struct _WDI_PRIVACY_EXEMPTION_ENTRY {
    USHORT EtherType;
    ULONG ActionType;
    ULONG PacketType;
} WDI_PRIVACY_EXEMPTION_ENTRY, *PWDI_PRIVACY_EXEMPTION_ENTRY;

#define WDI_PRIVACY_EXEMPTION_PRESENT_LIST 0x1u
typedef struct _WDI_PRIVACY_EXEMPTION_PARAMETERS {
    ULONG Presence;  // WDI_PRIVACY_EXEMPTION_PRESENT_LIST
    ULONG ElementCount;
    PWDI_PRIVACY_EXEMPTION_ENTRY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_PRIVACY_EXEMPTION_PARAMETERS, *PWDI_PRIVACY_EXEMPTION_PARAMETERS;

NTSTATUS WdiTlvParseAdapterConfiguration(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvParseLocationPrivacy(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvParsePrivacyExemptionList(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupPrivacyExemptionList(PVOID parameters);
// The answer of the next-dialog-token query.
NTSTATUS WdiTlvGenerateNextDialogToken(UCHAR token, ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                       PUCHAR* outBuffer);

// ---- the cipher key properties (messages 29 and 31) ---------------------------------------------------------
// The add-keys message is one WDI_TLV_SET_CIPHER_KEY_INFO container per key. Inside, the key type
// information is mandatory; the peer address, the key id, the receive sequence count, the key bytes of
// each cipher and the link id are optional. The default-key-id message holds one
// WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS.
#define WDI_TLV_SET_CIPHER_KEY_INFO 0x0270u                // container
#define WDI_TLV_PEER_MAC_ADDRESS 0x0271u                   // 6 bytes
#define WDI_TLV_CIPHER_KEY_ID 0x0272u                      // u32
#define WDI_TLV_CIPHER_KEY_TYPE_INFO 0x0273u               // {u32 cipher algorithm, u32 direction, u8 static, u32 key type}
#define WDI_TLV_CIPHER_KEY_TYPE_INFO_SIZE 13u
#define WDI_TLV_CIPHER_KEY_RECEIVE_SEQUENCE_COUNT 0x0274u  // 6 bytes
#define WDI_TLV_CIPHER_KEY_CCMP_KEY 0x0275u                // key bytes
#define WDI_TLV_CIPHER_KEY_GCMP_KEY 0x0276u                // key bytes
#define WDI_TLV_CIPHER_KEY_TKIP_INFO 0x0277u               // container: WDI_TLV_CIPHER_KEY_TKIP_KEY, WDI_TLV_CIPHER_KEY_TKIP_MIC
#define WDI_TLV_CIPHER_KEY_TKIP_KEY 0x0278u                // key bytes
#define WDI_TLV_CIPHER_KEY_TKIP_MIC 0x0279u                // MIC key bytes
#define WDI_TLV_CIPHER_KEY_BIP_KEY 0x027Au                 // key bytes
#define WDI_TLV_CIPHER_KEY_WEP_KEY 0x027Bu                 // key bytes
#define WDI_TLV_CIPHER_KEY_IHV_KEY 0x027Cu                 // opaque bytes
#define WDI_TLV_CIPHER_KEY_GCMP_256_KEY 0x027Du            // key bytes
#define WDI_TLV_CIPHER_KEY_BIP_GMAC_256_KEY 0x027Eu        // key bytes
#define WDI_TLV_LINK_ID 0x027Fu                            // u32
#define WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS 0x0280u       // u32 key index

// Presence bits of one WDI_SET_CIPHER_KEY_INFO.
#define WDI_CIPHER_KEY_PRESENT_PEER 0x001u
#define WDI_CIPHER_KEY_PRESENT_KEY_ID 0x002u
#define WDI_CIPHER_KEY_PRESENT_RSC 0x004u
#define WDI_CIPHER_KEY_PRESENT_CCMP 0x008u
#define WDI_CIPHER_KEY_PRESENT_GCMP 0x010u
#define WDI_CIPHER_KEY_PRESENT_TKIP 0x020u
#define WDI_CIPHER_KEY_PRESENT_BIP 0x040u
#define WDI_CIPHER_KEY_PRESENT_WEP 0x080u
#define WDI_CIPHER_KEY_PRESENT_IHV 0x100u
#define WDI_CIPHER_KEY_PRESENT_GCMP_256 0x200u
#define WDI_CIPHER_KEY_PRESENT_BIP_GMAC_256 0x400u
#define WDI_CIPHER_KEY_PRESENT_LINK_ID 0x800u

typedef struct _WDI_CIPHER_KEY_TYPE_INFO {
    ULONG CipherAlgorithm;  // OS cipher algorithm
    ULONG Direction;
    UCHAR Static;
    ULONG KeyType;          // 1 pairwise, else group
} WDI_CIPHER_KEY_TYPE_INFO;

// The TKIP key and MIC; either may be missing (an empty array).
typedef struct _WDI_CIPHER_KEY_TKIP_INFO {
    WDI_BYTE_ARRAY TkipKey;
    WDI_BYTE_ARRAY TkipMic;
} WDI_CIPHER_KEY_TKIP_INFO;

typedef struct _WDI_SET_CIPHER_KEY_INFO {
    ULONG Presence;  // WDI_CIPHER_KEY_PRESENT_*
    UCHAR PeerMacAddress[6];
    ULONG CipherKeyId;
    WDI_CIPHER_KEY_TYPE_INFO CipherKeyTypeInfo;
    UCHAR ReceiveSequenceCount[6];
    WDI_BYTE_ARRAY CcmpKey;
    WDI_BYTE_ARRAY GcmpKey;
    WDI_CIPHER_KEY_TKIP_INFO TkipInfo;
    WDI_BYTE_ARRAY BipKey;
    WDI_BYTE_ARRAY WepKey;
    WDI_BYTE_ARRAY IhvKey;
    WDI_BYTE_ARRAY Gcmp256Key;
    WDI_BYTE_ARRAY BipGmac256Key;
    ULONG LinkId;
} WDI_SET_CIPHER_KEY_INFO, *PWDI_SET_CIPHER_KEY_INFO;

// The parsed parameters of the add-keys property: the keys in message order.
typedef struct _WDI_SET_ADD_CIPHER_KEYS_PARAMETERS {
    ULONG ElementCount;
    PWDI_SET_CIPHER_KEY_INFO pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_SET_ADD_CIPHER_KEYS_PARAMETERS, *PWDI_SET_ADD_CIPHER_KEYS_PARAMETERS;

typedef struct _WDI_DEFAULT_KEY_ID_PARAMETERS {
    ULONG KeyId;
} WDI_DEFAULT_KEY_ID_PARAMETERS, *PWDI_DEFAULT_KEY_ID_PARAMETERS;

NTSTATUS WdiTlvParseSetAddCipherKeys(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupSetAddCipherKeys(PVOID parameters);
NTSTATUS WdiTlvGenerateSetAddCipherKeys(const WDI_SET_ADD_CIPHER_KEYS_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                        const void* context, PULONG outLength, PUCHAR* outBuffer);
// The default-key-id record owns nothing: WdiTlvCleanup releases it.
NTSTATUS WdiTlvParseSetDefaultKeyId(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvGenerateSetDefaultKeyId(const WDI_DEFAULT_KEY_ID_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                       const void* context, PULONG outLength, PUCHAR* outBuffer);

// ---- association, connection-quality, fast-transition, neighbour-report and SAE properties -----------------
// Association parameters (message 99): one WDI_TLV_CONNECT_BSS_ENTRY container per BSS, as in the
// connect task. Connection quality (32): WDI_TLV_CONNECTION_QUALITY_PARAMETERS, optionally the
// low-latency parameters. Fast BSS transition (127): WDI_TLV_STATUS, optionally the RSN element, the MDE
// and the FTE. Neighbour report (128): one WDI_TLV_NEIGHBOR_REPORT_ENTRY container per entry. SAE (135):
// WDI_TLV_BSSID and WDI_TLV_SAE_REQUEST_TYPE, optionally the commit and confirm containers and the status.
#define WDI_TLV_CONNECTION_QUALITY_PARAMETERS 0x0281u              // u32 hint
#define WDI_TLV_LOW_LATENCY_CONNECTION_QUALITY_PARAMETERS 0x0282u  // opaque bytes
#define WDI_TLV_STATUS 0x0283u                                     // u32
#define WDI_TLV_FT_RSNIE 0x0284u                                   // the RSN element as on the air
#define WDI_TLV_NEIGHBOR_REPORT_ENTRY 0x0285u                      // container: WDI_TLV_BSSID, WDI_TLV_BSSID_INFO,
                                                                   // WDI_TLV_OPERATING_CLASS, WDI_TLV_CHANNEL_NUMBER,
                                                                   // WDI_TLV_PHY_TYPE
#define WDI_TLV_BSSID_INFO 0x0286u                                 // u32
#define WDI_TLV_OPERATING_CLASS 0x0287u                            // u8
#define WDI_TLV_PHY_TYPE 0x0288u                                   // u8
#define WDI_TLV_SAE_REQUEST_TYPE 0x0289u                           // u32
#define WDI_TLV_SAE_COMMIT_REQUEST 0x028Au                         // container
#define WDI_TLV_SAE_FINITE_CYCLIC_GROUP 0x028Bu                    // u16
#define WDI_TLV_SAE_SCALAR 0x028Cu                                 // bytes
#define WDI_TLV_SAE_ELEMENT 0x028Du                                // bytes
#define WDI_TLV_SAE_ANTI_CLOGGING_TOKEN 0x028Eu                    // bytes
#define WDI_TLV_SAE_REJECTED_GROUPS 0x028Fu                        // bytes
#define WDI_TLV_SAE_CONFIRM_REQUEST 0x0290u                        // container
#define WDI_TLV_SAE_SEND_CONFIRM 0x0291u                           // u16
#define WDI_TLV_SAE_CONFIRM 0x0292u                                // bytes
#define WDI_TLV_SAE_STATUS 0x0293u                                 // u32 IEEE 802.11 status code

typedef struct _WDI_ASSOCIATION_PARAMETERS {
    WDI_CONNECT_BSS_ENTRY_LIST BssEntries;
} WDI_ASSOCIATION_PARAMETERS, *PWDI_ASSOCIATION_PARAMETERS;

#define WDI_CONNECTION_QUALITY_PRESENT_LOW_LATENCY 0x1u
typedef struct _WDI_CONNECTION_QUALITY_PARAMETERS {
    ULONG Presence;  // WDI_CONNECTION_QUALITY_PRESENT_LOW_LATENCY
    ULONG ConnectionQuality;
    ULONG LowLatencyLength;
} WDI_CONNECTION_QUALITY_PARAMETERS, *PWDI_CONNECTION_QUALITY_PARAMETERS;

#define WDI_FT_PARAMS_PRESENT_RSNIE 0x1u
#define WDI_FT_PARAMS_PRESENT_MDE 0x2u
#define WDI_FT_PARAMS_PRESENT_FTE 0x4u
typedef struct _WDI_FAST_BSS_TRANSITION_PARAMETERS {
    ULONG Presence;  // WDI_FT_PARAMS_PRESENT_*
    ULONG Status;
    WDI_BYTE_ARRAY RsnIe;
    WDI_BYTE_ARRAY Mde;
    WDI_BYTE_ARRAY Fte;
} WDI_FAST_BSS_TRANSITION_PARAMETERS, *PWDI_FAST_BSS_TRANSITION_PARAMETERS;

typedef struct _WDI_NEIGHBOR_REPORT_ENTRY {
    UCHAR Bssid[6];
    ULONG BssidInfo;
    UCHAR OperatingClass;
    UCHAR ChannelNumber;
    UCHAR PhyType;
} WDI_NEIGHBOR_REPORT_ENTRY, *PWDI_NEIGHBOR_REPORT_ENTRY;

typedef struct _WDI_NEIGHBOR_REPORT_PARAMETERS {
    ULONG ElementCount;
    PWDI_NEIGHBOR_REPORT_ENTRY pElements;
    UCHAR MemoryInternallyAllocated;
} WDI_NEIGHBOR_REPORT_PARAMETERS, *PWDI_NEIGHBOR_REPORT_PARAMETERS;

// Presence bits of WDI_SAE_PARAMETERS and of its commit request.
#define WDI_SAE_PRESENT_COMMIT 0x1u
#define WDI_SAE_PRESENT_CONFIRM 0x2u
#define WDI_SAE_PRESENT_STATUS 0x4u
#define WDI_SAE_COMMIT_PRESENT_TOKEN 0x1u
#define WDI_SAE_COMMIT_PRESENT_REJECTED_GROUPS 0x2u

typedef struct _WDI_SAE_COMMIT_REQUEST {
    ULONG Presence;  // WDI_SAE_COMMIT_PRESENT_*
    USHORT FiniteCyclicGroup;
    WDI_BYTE_ARRAY Scalar;
    WDI_BYTE_ARRAY Element;
    WDI_BYTE_ARRAY AntiCloggingToken;
    WDI_BYTE_ARRAY RejectedGroups;
} WDI_SAE_COMMIT_REQUEST;

typedef struct _WDI_SAE_CONFIRM_REQUEST {
    USHORT SendConfirm;
    WDI_BYTE_ARRAY Confirm;
} WDI_SAE_CONFIRM_REQUEST;

typedef struct _WDI_SAE_PARAMETERS {
    ULONG Presence;  // WDI_SAE_PRESENT_*
    UCHAR Bssid[6];
    ULONG RequestType;  // 0 commit, 4 commit with hash-to-element, 1 confirm, 2 failure
    WDI_SAE_COMMIT_REQUEST Commit;
    WDI_SAE_CONFIRM_REQUEST Confirm;
    ULONG Status;
} WDI_SAE_PARAMETERS, *PWDI_SAE_PARAMETERS;

NTSTATUS WdiTlvParseSetAssociationParameters(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupSetAssociationParameters(PVOID parameters);
NTSTATUS WdiTlvGenerateSetAssociationParameters(const WDI_ASSOCIATION_PARAMETERS* parameters,
                                                ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                                PUCHAR* outBuffer);
// The connection-quality record owns nothing: WdiTlvCleanup releases it.
NTSTATUS WdiTlvParseSetConnectionQuality(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
NTSTATUS WdiTlvGenerateSetConnectionQuality(const WDI_CONNECTION_QUALITY_PARAMETERS* parameters,
                                            ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                            PUCHAR* outBuffer);
NTSTATUS WdiTlvParseSetFastBssTransitionParameters(ULONG length, const UCHAR* tlvs, const void* context,
                                                   PVOID parameters);
VOID WdiTlvCleanupSetFastBssTransitionParameters(PVOID parameters);
NTSTATUS WdiTlvGenerateSetFastBssTransitionParameters(const WDI_FAST_BSS_TRANSITION_PARAMETERS* parameters,
                                                      ULONG reservedHeaderLength, const void* context,
                                                      PULONG outLength, PUCHAR* outBuffer);
NTSTATUS WdiTlvParseSetNeighborReportEntries(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupSetNeighborReportEntries(PVOID parameters);
NTSTATUS WdiTlvGenerateSetNeighborReportEntries(const WDI_NEIGHBOR_REPORT_PARAMETERS* parameters,
                                                ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                                PUCHAR* outBuffer);
NTSTATUS WdiTlvParseSetSaeParams(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
VOID WdiTlvCleanupSetSaeParams(PVOID parameters);
NTSTATUS WdiTlvGenerateSetSaeParams(const WDI_SAE_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                    const void* context, PULONG outLength, PUCHAR* outBuffer);

// ---- the send-request and send-response action-frame tasks (messages 102 and 105) ---------------------------
// Both carry the same two mandatory TLVs; WDI_TLV_ACTION_FRAME_BODY (above) holds the body from the
// category byte on.
#define WDI_TLV_SEND_ACTION_FRAME_REQUEST_PARAMETERS 0x0294u   // {u32 channel, u32 WDI band id, 6-byte
                                                               //  destination, u32 dwell ms, u32 second time ms}
#define WDI_TLV_SEND_ACTION_FRAME_RESPONSE_PARAMETERS 0x0295u  // the same layout
#define WDI_TLV_SEND_ACTION_FRAME_PARAMETERS_SIZE 22u

typedef struct _WDI_SEND_ACTION_FRAME_PARAMETERS {
    ULONG ChannelNumber;
    ULONG BandId;
    UCHAR DestinationAddress[6];
    ULONG DwellTime;
    ULONG SecondTime;
    WDI_BYTE_ARRAY FrameBody;
} WDI_SEND_ACTION_FRAME_PARAMETERS, *PWDI_SEND_ACTION_FRAME_PARAMETERS;

// Both TLVs are needed (the parameters at least 22 bytes); the body is copied (the cleanup frees it).
NTSTATUS WdiTlvParseTaskSendRequestActionFrame(ULONG length, const UCHAR* tlvs, const void* context,
                                               PVOID parameters);
NTSTATUS WdiTlvParseTaskSendResponseActionFrame(ULONG length, const UCHAR* tlvs, const void* context,
                                                PVOID parameters);
VOID WdiTlvCleanupTaskSendActionFrame(PVOID parameters);
NTSTATUS WdiTlvGenerateTaskSendRequestActionFrame(const WDI_SEND_ACTION_FRAME_PARAMETERS* parameters,
                                                  ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                                  PUCHAR* outBuffer);
NTSTATUS WdiTlvGenerateTaskSendResponseActionFrame(const WDI_SEND_ACTION_FRAME_PARAMETERS* parameters,
                                                   ULONG reservedHeaderLength, const void* context,
                                                   PULONG outLength, PUCHAR* outBuffer);
