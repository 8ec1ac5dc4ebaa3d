// The WDI TLV parser: the TLVs behind a WDI message header, each {u16 type, u16 length of the value,
// value}, little-endian, turned into the parameter records the driver's handlers read. A parse
// routine checks every length against the bytes it was given, skips TLVs it does not know (the
// first of a repeated TLV wins) and fails with NDIS_STATUS_INVALID_DATA when a TLV it needs is
// missing or shorter than its record. The cleanup routine releases what a parse attached to a
// record (nothing for a record of fixed members).
#pragma once

#include "kshim/nt_types.h"

#define WDI_TLV_HEADER_SIZE 4u

#ifndef NDIS_STATUS_INVALID_DATA
#define NDIS_STATUS_INVALID_DATA ((NTSTATUS)0xC0010015L)
#endif

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
