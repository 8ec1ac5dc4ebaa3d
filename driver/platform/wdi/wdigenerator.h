// WDI indication generators: the payloads the WDI layer builds for the OS. Each generator fills the
// TLVs of one indication from a core record into a buffer of the exact size (every value checked
// against the 16-bit TLV length and the buffer), hands the buffer to WdiEventSendStatusIndicationEx
// with the indication code and frees it.
#pragma once

#include "kshim/wificx_caps.h"
#include "platform/wdi/wdimain.h"

typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// ---- indication codes ---------------------------------------------------------------------------------------
#define WDI_INDICATION_DISASSOCIATION 0x40050033u
#define WDI_INDICATION_ROAMING_NEEDED 0x40050034u
#define WDI_INDICATION_LINK_STATE_CHANGE 0x40050035u
#define WDI_INDICATION_P2P_ACTION_FRAME_RECEIVED 0x40050036u
#define WDI_INDICATION_AP_ASSOCIATION_REQUEST_RECEIVED 0x40050037u
#define WDI_INDICATION_NLO_DISCOVERY 0x40050038u
#define WDI_INDICATION_WAKE_REASON 0x40050039u
#define WDI_INDICATION_TKIP_MIC_FAILURE 0x4005003Bu
#define WDI_INDICATION_BSS_ENTRY_LIST 0x4005003Eu
#define WDI_INDICATION_P2P_SEND_REQUEST_ACTION_FRAME_COMPLETE 0x40050041u
#define WDI_INDICATION_P2P_SEND_RESPONSE_ACTION_FRAME_COMPLETE 0x40050042u
#define WDI_INDICATION_RADIO_STATUS 0x40050043u
#define WDI_INDICATION_SEND_AP_ASSOCIATION_RESPONSE_COMPLETE 0x40050049u
#define WDI_INDICATION_ASSOCIATION_RESULT 0x4005004Cu
#define WDI_INDICATION_P2P_GROUP_OPERATING_CHANNEL 0x40050054u
#define WDI_INDICATION_IHV_EVENT 0x4005005Eu
#define WDI_INDICATION_ASSOCIATION_PARAMETERS_REQUEST 0x40050062u
#define WDI_INDICATION_ACTION_FRAME_RECEIVED 0x40050067u
#define WDI_INDICATION_SEND_REQUEST_ACTION_FRAME_COMPLETE 0x4005006Au
#define WDI_INDICATION_SEND_RESPONSE_ACTION_FRAME_COMPLETE 0x4005006Bu
#define WDI_INDICATION_FIRMWARE_STALLED 0x40050079u
#define WDI_INDICATION_FT_ASSOC_PARAMS_NEEDED 0x4005007Eu
#define WDI_INDICATION_SAE_AUTH_PARAMS_NEEDED 0x40050086u

#define WDI_MGMT_HEADER_SIZE 24u

// ---- records the generators take ---------------------------------------------------------------------------
#pragma pack(push, 1)
// The WDI association result beside the association-completion record.
typedef struct _WDI_ASSOCIATION_RESULT {
    ULONG AssociationStatus;  // WDI association status
    ULONG Reassociation;
    ULONG AuthAlgorithm;
    ULONG UnicastCipher;
    ULONG MulticastDataCipher;
    ULONG MulticastMgmtCipher;
    ULONG FourAddress;
    ULONG PortAuthorized;
    ULONG DsInfo;
    ULONG BandId;
    UCHAR Reserved[12];
} WDI_ASSOCIATION_RESULT, *PWDI_ASSOCIATION_RESULT;

// The link-state parameters.
typedef struct _WDI_LINK_STATE_PARAMETERS {
    UCHAR PeerAddress[6];
    ULONG TxLinkSpeed;  // kb/s
    ULONG RxLinkSpeed;
    UCHAR LinkQuality;
    UCHAR Reserved[5];
} WDI_LINK_STATE_PARAMETERS, *PWDI_LINK_STATE_PARAMETERS;

// One link-quality entry of the link-state list.
typedef struct _WDI_LINK_QUALITY_ENTRY {
    UCHAR Reserved[28];
    LONG Rssi;
    ULONG Bandwidth;
    ULONG Mcs;
} WDI_LINK_QUALITY_ENTRY, *PWDI_LINK_QUALITY_ENTRY;
#pragma pack(pop)
static_assert(sizeof(WDI_ASSOCIATION_RESULT) == 52, "the association result is 52 bytes");
static_assert(sizeof(WDI_LINK_STATE_PARAMETERS) == 20, "the link-state parameters are 20 bytes");
static_assert(sizeof(WDI_LINK_QUALITY_ENTRY) == 40, "a link-quality entry is 40 bytes");

#define WAKE_REASON_FLAG_PACKET 0x1u

// The wake reason and its packet.
typedef struct _WDI_WAKE_REASON_PARAMETERS {
    ULONG Flags;         // WAKE_REASON_FLAG_PACKET: a packet is attached
    ULONG WakeReason;
    ULONG PacketLength;
    const UCHAR* Packet;
    UCHAR PacketPresent;
    ULONG AdditionalValue;
} WDI_WAKE_REASON_PARAMETERS, *PWDI_WAKE_REASON_PARAMETERS;

// What the BSS-entry generator reads of a BSS table entry. The frames are stored with their 24-byte
// MAC header (a length of 24 or less counts as no frame); `Indicated` is the entry's
// indicated-since-update flag, set by the generator.
typedef struct _WDI_BSS_ENTRY_SOURCE {
    UCHAR Bssid[6];
    const UCHAR* ProbeResponse;
    ULONG ProbeResponseLength;
    const UCHAR* Beacon;
    ULONG BeaconLength;
    LONG Rssi;
    ULONG Channel;
    ULONG Band;            // BAND_24G, BAND_5G, BAND_6G
    ULONG64 HostTimeStamp; // system time of the last update
    PUCHAR Indicated;
} WDI_BSS_ENTRY_SOURCE, *PWDI_BSS_ENTRY_SOURCE;

// ---- SAE indication types -----------------------------------------------------------------------------------
#define WDI_SAE_INDICATION_TYPE_COMMIT_REQUEST_PARAMS_NEEDED 0
#define WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE 1
#define WDI_SAE_INDICATION_TYPE_CONFIRM_RESPONSE 2
#define WDI_SAE_INDICATION_TYPE_ERROR 3
#define WDI_SAE_INDICATION_TYPE_CONFIRM_REQUEST_RESEND_REQUEST 4
#define WDI_SAE_ERROR_FLAG 4u

// Reasons of the association-parameters request.
#define ASSOC_PARAMS_REASON_CURRENT_BSS 64
#define ASSOC_PARAMS_REASON_ROAM_TARGET 159
#define ASSOC_PARAMS_REASON_PENDING_261 261
#define ASSOC_PARAMS_REASON_PENDING_262 262

// ---- generators ----------------------------------------------------------------------------------------------
void WdiGeneratorBssEntry(PMP_ADAPTER adapter, PMP_PORT port, const WDI_BSS_ENTRY_SOURCE* entry);
void WdiGeneratorP2pBssEntry(PMP_ADAPTER adapter, PMP_PORT port, const void* discoveryEntry);
// `record` is the 802.11 association-completion record with the frames its offsets and sizes point at,
// `recordLength` bytes in all; a frame outside those bytes is left out.
void WdiGeneratorAssociationCompletion(PMP_ADAPTER adapter, PMP_PORT port, const void* record, ULONG recordLength,
                                       const WDI_ASSOCIATION_RESULT* result);
void WdiGeneratorApSendAssociationResponseComplete(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry,
                                                   const UCHAR* peer, UCHAR result, ULONG frameLength,
                                                   const UCHAR* frame);
NTSTATUS WdiGeneratorEventIndicateApAssociationRequest(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peerRecord,
                                                       ULONG requestLength, const UCHAR* request, ULONG extraLength,
                                                       const UCHAR* extra);
NTSTATUS WdiGeneratorEventIndicateAssociationParametersRequest(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason);
void WdiGeneratorEventIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG wdiStatus);
void WdiGeneratorEventIndicateFtAssocParamsNeeded(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* target);
void WdiGeneratorEventIndicateLinkStateChange(PMP_ADAPTER adapter, PMP_PORT port,
                                              const WDI_LINK_STATE_PARAMETERS* state,
                                              const WDI_LINK_QUALITY_ENTRY* quality);
void WdiGeneratorEventIndicateTkipMicFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyKind,
                                             ULONG keyIndex);
void WdiGeneratorEventIndicateNLODiscovery(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length,
                                           LONG rssi);
void WdiGeneratorEventIndicateRoamingNeeded(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason);
NTSTATUS WdiGeneratorEventIndicateSAE(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG frameLength,
                                      const UCHAR* peerRecord, ULONG type);
void WdiGeneratorEventIndicateWakeReason(PMP_ADAPTER adapter, PMP_PORT port, const WDI_WAKE_REASON_PARAMETERS* wake);
void WdiGeneratorEventP2PGroupOperatingChannel(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS WdiGeneratorGetStatistics(PMP_ADAPTER adapter, PMP_PORT port, const void* statistics, ULONG macEntryCount,
                                   ULONG phyEntryCount, PUCHAR* buffer, PULONG length);
NTSTATUS WdiGeneratorIncomingActionFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR value, ULONG channel,
                                         const UCHAR* frame, ULONG frameLength);
// `frameInfo` is the 12-byte frame information (u32 frame type first).
#define WDI_P2P_ACTION_FRAME_INFO_SIZE 12u
void WdiGeneratorP2PIncomingActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const void* frameInfo, const UCHAR* body,
                                        ULONG bodyLength, const UCHAR* extraIes, ULONG extraLength);
// `peer` is the 7-byte sent-frame summary (peer address and the byte after it).
void WdiGeneratorP2PSendRequestActionComplete(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer,
                                              const UCHAR* frame, ULONG frameLength, NTSTATUS status);
void WdiGeneratorP2PSendResponseActionComplete(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer,
                                               const UCHAR* frame, ULONG frameLength, NTSTATUS status);
void WdiGeneratorSetRadioState(PMP_ADAPTER adapter);
// The trace name of an SAE indication type.
PCSTR WdiGeneratorSaeIndicationTypeName(ULONG type);

// Fills at most `count` entries {channel, centre frequency in MHz} with the channels of a band (type
// 1: 2.4 GHz, 2: 5 GHz, 5: 6 GHz) from the adapter's channel list, in list order; the number written.
ULONG WdiGeneratorSupportedChannelList(PMP_ADAPTER adapter, WIFI_CHANNEL_MAPPING_ENTRY* entries, ULONG count,
                                       ULONG bandType);
// The centre frequency (MHz) of a channel of a band (1: 2.4 GHz, 2: 5 GHz, 3: 6 GHz); an unknown
// 2.4/5 GHz channel gives 2412, an unknown 6 GHz channel 6135.
ULONG WdiChannelCentreFrequency(ULONG band, ULONG channel);
// The link quality (0..100) of a signal strength in dBm.
ULONG WdiGeneratorLinkQuality(LONG rssi);
