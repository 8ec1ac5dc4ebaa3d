// WPS (Wi-Fi Simple Configuration) below the OS: the WPS device information of a port, the WPS
// element of probe and association requests, the WPS check of a stored BSS, the push-button and PIN
// searches for an access point over the scan table, the EAP-WSC message mapping of the soft access
// point and the reset of a port's WPS state.
//
// WPS attributes are big-endian type-length-value triples inside a vendor element (id 221, OUI
// 00 50 F2, type 04).
#pragma once

#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmewsc_types.h"
#include "platform/ndiscommon/ndiscommon.h"


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
