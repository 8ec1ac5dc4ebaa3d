// Wi-Fi Direct frames: builders and receive handlers, and the group owner's beacon template.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Rewrites the variable tail of a group owner's beacon template and sends it to the firmware.
NTSTATUS GOUpdateBeaconFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR followStation);

// ---- P2P elements and attributes on the air -----------------------------------------------------------------
#define P2P_IE_ID 221
#define P2P_IE_HEAD_LEN 6        // id, length, OUI 50 6F 9A and type 09
#define P2P_IE_MAX_BODY 255
#define P2P_IE_MAX_ATTR_BYTES (P2P_IE_MAX_BODY - 4)  // attribute bytes one element carries
#define P2P_ATTR_HEAD_LEN 3      // id, u16 length little-endian
// A writer's destination: InsertP2PAttribute clears up to this many bytes before it writes.
#define P2P_ATTR_CLEAR_LEN 255

// P2P attribute ids.
#define P2P_ATTR_STATUS 0
#define P2P_ATTR_MINOR_REASON 1
#define P2P_ATTR_CAPABILITY 2
#define P2P_ATTR_DEVICE_ID 3
#define P2P_ATTR_GO_INTENT 4
#define P2P_ATTR_CONFIG_TIMEOUT 5
#define P2P_ATTR_LISTEN_CHANNEL 6
#define P2P_ATTR_GROUP_BSSID 7
#define P2P_ATTR_EXT_LISTEN_TIMING 8
#define P2P_ATTR_INTENDED_INTERFACE_ADDR 9
#define P2P_ATTR_MANAGEABILITY 10
#define P2P_ATTR_CHANNEL_LIST 11
#define P2P_ATTR_NOTICE_OF_ABSENCE 12
#define P2P_ATTR_DEVICE_INFO 13
#define P2P_ATTR_GROUP_INFO 14
#define P2P_ATTR_GROUP_ID 15
#define P2P_ATTR_INTERFACE 16
#define P2P_ATTR_OPERATING_CHANNEL 17
#define P2P_ATTR_INVITATION_FLAGS 18

// Device capability bits.
#define P2P_DEVCAP_CLIENT_DISCOVERABILITY 0x02
#define P2P_DEVCAP_INFRA_MANAGED 0x08

// Extended Listen Timing values written (milliseconds).
#define P2P_EXT_LISTEN_PERIOD 1000
#define P2P_EXT_LISTEN_INTERVAL 4000

// Secondary device types of the OS written into a P2P Device Info attribute at most: keeps the
// attribute and its element length within a u8 body with the longest device name.
#define P2P_OS_SECONDARY_TYPES_WRITTEN 16
// Secondary device types of one client written into a P2P Group Info descriptor at most.
#define P2P_GROUP_INFO_SECONDARY_MAX 4
// A Notice of Absence attribute with one descriptor.
#define P2P_NOA_ATTR_LEN 18

// The OS's 802.11 interface version of the WDI paths, and the older one with its own probe channel rule.
#define P2P_NDIS_VERSION_620 0x00060014u

// ---- the combined P2P element ---------------------------------------------------------------------------
// All P2P elements of one frame joined into one element with a 16-bit length: the OUI and type once,
// then the attribute bytes of every P2P element in order. Always the last element handed to the parser.
#pragma pack(push, 1)
typedef struct _P2P_COMBINED_ELEMENT {
    UCHAR ElementId;  // 221
    USHORT Length;    // OUI and type plus every attribute byte
    UCHAR Oui[4];     // 50 6F 9A 09
} P2P_COMBINED_ELEMENT, *PP2P_COMBINED_ELEMENT;
#pragma pack(pop)
static_assert(sizeof(P2P_COMBINED_ELEMENT) == 7, "the combined element head is 7 bytes");

// ---- the parsed-attribute record ---------------------------------------------------------------------
// Fields the caller wants (P2P_PARSED_ATTRS.Wanted). A field not wanted is never written; a wanted field
// keeps the caller's preset unless its attribute is present and passes its check.
#define P2P_WANT_DEVICE_PASSWORD_ID 0x00000001u
#define P2P_WANT_CAPABILITY 0x00000002u          // DeviceCapability and GroupCapability
#define P2P_WANT_DEVICE_NAME 0x00000004u         // DeviceName and DeviceNameLength
#define P2P_WANT_DEVICE_ADDRESS 0x00000008u
#define P2P_WANT_INTERFACE_ADDRESS 0x00000010u
#define P2P_WANT_GROUP_BSSID 0x00000020u
#define P2P_WANT_GROUP_SSID 0x00000040u          // GroupSsid and GroupSsidLength
#define P2P_WANT_CONFIG_METHODS 0x00000080u
#define P2P_WANT_WPS_CONFIG_METHODS 0x00000100u
#define P2P_WANT_PRIMARY_DEVICE_TYPE 0x00000200u
#define P2P_WANT_SECONDARY_DEVICE_TYPES 0x00000400u  // SecondaryDeviceTypeCount and SecondaryDeviceTypes
#define P2P_WANT_LISTEN_CHANNEL 0x00000800u
#define P2P_WANT_OPERATING_CHANNEL 0x00001000u
#define P2P_WANT_CHANNEL_NUMBERS 0x00002000u     // ChannelNumbers and ChannelCount
#define P2P_WANT_GO_INTENT 0x00004000u
#define P2P_WANT_STATUS 0x00008000u
#define P2P_WANT_INVITATION_FLAGS 0x00010000u

#define P2P_PARSED_SECONDARY_MAX 4
#define P2P_PARSED_CHANNELS_MAX 118

typedef struct _P2P_PARSED_ATTRS {
    ULONG Wanted;  // P2P_WANT_*
    USHORT DevicePasswordId;
    UCHAR GroupCapability;
    UCHAR DeviceCapability;
    UCHAR DeviceName[32];
    UCHAR DeviceNameLength;
    UCHAR DeviceAddress[6];
    UCHAR InterfaceAddress[6];
    UCHAR GroupBssid[6];
    UCHAR GroupSsidLength;
    UCHAR GroupSsid[32];
    USHORT ConfigMethods;
    USHORT WpsConfigMethods;
    UCHAR PrimaryDeviceType[8];
    UCHAR SecondaryDeviceTypeCount;
    UCHAR SecondaryDeviceTypes[P2P_PARSED_SECONDARY_MAX][8];
    UCHAR ListenChannel;
    UCHAR OperatingChannel;
    // The channel numbers of every Channel List entry in order; cut at the record's capacity.
    UCHAR ChannelNumbers[P2P_PARSED_CHANNELS_MAX];
    UCHAR ChannelCount;
    UCHAR GoIntent;  // intent << 1 | tie-breaker
    UCHAR Status;
    UCHAR InvitationFlags;
} P2P_PARSED_ATTRS, *PP2P_PARSED_ATTRS;

// ---- one client of a group owner, as its station entry records it ---------------------------------------
typedef struct _P2P_CLIENT_INFO {
    UCHAR DeviceAddress[6];
    UCHAR InterfaceAddress[6];
    UCHAR DeviceCapability;
    UCHAR ClientDiscoverable;  // the client asked to be discoverable
    USHORT ConfigMethods;      // as recorded (written in recorded byte order)
    UCHAR PrimaryDeviceType[8];
    UCHAR SecondaryTypeCount;
    UCHAR SecondaryTypes[P2P_GROUP_INFO_SECONDARY_MAX][8];
    UCHAR DeviceNameLen;
    UCHAR DeviceName[32];
} P2P_CLIENT_INFO, *PP2P_CLIENT_INFO;

// ---- the attribute writer ------------------------------------------------------------------------------
// Writes one P2P attribute (id, u16 length, body) from source at destination and returns its total
// length; 0 for an id the writer does not build or an attribute that does not fit capacity. It first
// clears up to 255 bytes (never past capacity) and stores the id byte.
ULONG InsertP2PAttribute(PMP_ADAPTER adapter, PMP_PORT port, UCHAR attributeId, const void* source,
                         PUCHAR destination, ULONG capacity);
// Writes the channel entries of a Channel List attribute: one entry {class, count, channels} per run of
// channels of one operating class. Fills outLength; FALSE when they do not fit capacity.
BOOLEAN InsertP2PChannelEntries(PMP_ADAPTER adapter, PMP_PORT port, const void* source, PULONG outLength,
                                PUCHAR destination, ULONG capacity);
// Writes the P2P Group Info attribute of a group owner (port 0 when no port is given) with one
// descriptor per associated P2P client; 0 when no client qualifies or it does not fit.
ULONG GoMakeGroupInfoAttribute(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR destination, ULONG capacity);
// The descriptor writer of GoMakeGroupInfoAttribute over a list of clients.
ULONG P2pWriteGroupInfoAttribute(const P2P_CLIENT_INFO* clients, ULONG clientCount, PUCHAR destination,
                                 ULONG capacity);
// Writes the 18-byte Notice of Absence attribute of the port's own schedule with one descriptor.
ULONG P2PInsertNoAAttribute(PMP_ADAPTER adapter, PMP_PORT port, ULONG startTime, PUCHAR destination,
                            ULONG capacity);
// The associated P2P clients of a group owner port, from its station list: fills at most maxClients
// records and the count.
NTSTATUS P2pGoGetClientInfo(PMP_ADAPTER adapter, PMP_PORT port, PP2P_CLIENT_INFO clients, ULONG maxClients,
                            PULONG clientCount);

// ---- the attribute parser ---------------------------------------------------------------------------
// Walks the information elements of buffer (length bytes): a WPS element fills the WPS fields, a P2P
// element or a final combined P2P element the attribute fields of record. beaconFlag lets the WPS
// Device Name fill DeviceName.
void P2pParseSubElmt(PMP_ADAPTER adapter, const UCHAR* buffer, ULONG length, UCHAR beaconFlag,
                     PP2P_PARSED_ATTRS record);

// ---- P2P and WPS elements of probe, association and beacon frames -------------------------------------
// Frame kinds of P2pMakeP2pIE and P2pMakeWpsIE.
#define P2P_FRAME_ASSOC_REQ 0
#define P2P_FRAME_ASSOC_RSP 1
#define P2P_FRAME_PROBE_REQ 4
#define P2P_FRAME_PROBE_RSP 5

// Writes the port's P2P element for a frame of the given kind (and, for a group owner with a schedule,
// the notice-of-absence element after it); outLength gets the bytes written, 0 when they do not fit.
void P2pMakeP2pIE(PMP_ADAPTER adapter, PMP_PORT port, ULONG selector, UCHAR frameKind, PUCHAR destination,
                  ULONG capacity, PULONG outLength);
// Wraps attrLen attribute bytes written at destination + 6 into P2P elements (head: id, length, OUI and
// type) of at most 251 attribute bytes each, so that content longer than one element's u8 length is
// split over several; returns the total, or 0 when the extra heads do not fit capacity.
ULONG P2pWrapP2pElements(PUCHAR destination, ULONG attrLen, ULONG capacity);
// Writes the WPS element of a P2P probe response (kind 5) or probe request (any other kind).
void P2pMakeWpsIE(PMP_ADAPTER adapter, PMP_PORT port, USHORT frameKind, PUCHAR destination, ULONG capacity,
                  PULONG outLength);
// Writes the WPS element of a group owner's beacon.
void P2pMakeBeaconWpsIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR destination, ULONG capacity,
                        PULONG outLength);
// Writes the group owner's notice-of-absence P2P element: 24 bytes with a schedule, 11 with
// opportunistic power save alone, else nothing.
ULONG P2pMakeNoAElement(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR destination, ULONG capacity);

// ---- probe requests to the P2P device --------------------------------------------------------------------
#define P2P_PROBE_P2P_BUFFER_SIZE 2048
#define P2P_PROBE_WPS_BUFFER_SIZE 1024
#define P2P_ROLE_CLIENT 1
#define P2P_ROLE_GROUP_OWNER 3

// Checks a received probe request (frame of frameLen bytes, 24-byte header first) for an answer from the
// port: returns its transmitter, SSID, the P2P element bodies collected into p2pBuffer (2048 bytes; the
// first from its OUI on, the later ones without) and the WPS elements collected into wpsBuffer (1024
// bytes; the first whole, the later ones' bodies after the OUI). TRUE for a P2P probe request to
// "DIRECT-" from a station not limited to 802.11b rates that the port may answer.
BOOLEAN PeerP2pProbeReqSanity(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG frameLen,
                              PUCHAR transmitter, PUCHAR ssid, PUCHAR ssidLen, PULONG p2pLen, PUCHAR p2pBuffer,
                              PULONG wpsLen, PUCHAR wpsBuffer);
