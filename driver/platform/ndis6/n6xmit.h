// The transmit frame checks and the send step every data frame passes before its hard transmit, and
// the receive-side checks of the same kind.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;
typedef struct _TX_FRAME_INFO TX_FRAME_INFO, *PTX_FRAME_INFO;
typedef struct _NET_BUFFER_LIST NET_BUFFER_LIST, *PNET_BUFFER_LIST;
typedef struct _NET_BUFFER NET_BUFFER, *PNET_BUFFER;

// NDIS status values of the readiness test.
#define NDIS_STATUS_INVALID_PORT ((NTSTATUS)0xC023002DL)
#define NDIS_STATUS_LOW_POWER_STATE ((NTSTATUS)0xC023002FL)
#define NDIS_STATUS_ADAPTER_REMOVED ((NTSTATUS)0xC0010018L)
#define NDIS_STATUS_CLOSING ((NTSTATUS)0xC0010002L)

// 0 when the port may hand frames to the rings, else an NDIS status (in the order of its tests).
NTSTATUS XmitCheckHWReadyToSend(PMP_ADAPTER adapter, PMP_PORT port);
// TRUE for the access-point operation modes (2, 3 and 4) of a port.
BOOLEAN XmitIsApOpMode(PMP_PORT port);
// The classification step of a data frame: the access-point send step for a port of an access-point
// operation mode (2, 3 or 4); 0xC0000001 for any other mode, a missing record or port.
NTSTATUS XmitSendPacket(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
// The access-point send step: the receiver's station, the record's access-point mark and the
// power-save buffering. 0 when the frame goes on to the access-point hard transmit; STATUS_PENDING
// when it was put on a power-save queue (the access-point code sends it when the station wakes: it
// must not be sent now); 0xC0000001 when it is refused.
NTSTATUS XmitApSendPacket(PMP_ADAPTER adapter, PMP_PORT port, PTX_DMAQ_DESC record);
// Restarts a port's transmission (unless the adapter holds every transmission): the Wi-Fi Direct
// absence state is updated and the port's send thread woken.
VOID XmitKickPortTx(PMP_ADAPTER adapter, PMP_PORT port);

// One byte of a transmit record's frame at `offset` (in its first fragment, or its second one past
// the first); FALSE beyond the frame's bytes. The setter writes one byte (traced).
BOOLEAN N6XmitGetByteFromMdl(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG offset, PUCHAR value);
BOOLEAN N6XmitSetByteFromMdl(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG offset, UCHAR value);
// The DHCP and ARP check: TRUE for a DHCP or ARP frame. Fills the ethertype (0xFFFF when not
// examined), the group-key flag (an EAPOL-Key frame for the group key) and the special flag (an
// ICMPv6 frame other than an echo); `eapolStart` is set for an EAPOL-Start frame. A pairwise
// EAPOL-Key frame gets the record's pairwise EAPOL-Key mark.
BOOLEAN N6XmitCheckDHCPFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, PUSHORT etherType, PUCHAR groupKey,
                             PUCHAR special, PUCHAR eapolStart);
// The EAPOL check: TRUE for an EAPOL frame (its type in *eapolType); the certification tests rewrite
// an EAP response into a TLS alert (unknown CA).
BOOLEAN N6XmitCheckEAPFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, PUCHAR eapolType);
// Tags an ICMP echo request: the frame information's ICMP-echo flag and a packet id.
VOID N6XmitCheckAndTagSpecificFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, PTX_FRAME_INFO info);
// The RTP sequence watch of the monitored UDP port (transmit and receive).
VOID N6XmitCheckRTPFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
VOID N6RecvCheckRTPFrame(PMP_ADAPTER adapter, struct _RX_DMAQ_DESC* record);
// The receive-side frame check of a station port: traces an ICMP echo reply (never frees the frame).
VOID N6RecvCheckSpecificFrame(PMP_ADAPTER adapter, struct _RX_DMAQ_DESC* record);
// Converts one net buffer of an OS buffer list into a transmit record: 0, or 0xC0000001 when the
// buffer cannot be sent (length outside 25-2346, a first buffer shorter than the header or longer
// than the data, more than one memory descriptor list, no port).
NTSTATUS N6XmitGetTxbufToDmaq(PMP_ADAPTER adapter, ULONG portIndex, PNET_BUFFER_LIST nbl, PNET_BUFFER nb,
                              PTX_DMAQ_DESC record);
// The count of a buffer list's net buffers still on their way (kept in the list's miniport area):
// set by the buffer-list send path, released once per finished net buffer (the count left).
VOID N6XmitSetNblOutstanding(PNET_BUFFER_LIST nbl, LONG count);
LONG N6XmitNblOutstandingRelease(PNET_BUFFER_LIST nbl);
