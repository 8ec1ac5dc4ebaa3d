// Receive processing: the receive threads of the three receive rings.
#pragma once

#include "platform/ndiscommon/ndiscommon.h"
#include "Common/recv_types.h"

// Bodies of "RxThread0" to "RxThread2" (context: the adapter). Each waits on its ring's event, which
// is its thread's wake event, and runs the ring's service.
PLATFORM_THREAD_BODY RxThreadProc0;
PLATFORM_THREAD_BODY RxThreadProc1;
PLATFORM_THREAD_BODY RxThreadProc2;

typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;

// Gives a frame that no path takes back to its receive pool, traced under the name of the path that
// returned it.
VOID RecvReturnUntaken(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, PCSTR name);
// Hands every active port's pending chain of received frames to the OS.
VOID RecvFlushPortIndications(PMP_ADAPTER adapter);
// The port of a frame whose sender is not known by its WLAN index (a 24-byte header): port 0 by
// default; a group-addressed frame goes to the first active port whose BSSID is address 2 or
// address 3, a unicast frame to the first active port whose own address is address 1.
NTSTATUS RecvGetMacContext(PMP_ADAPTER adapter, const UCHAR* header, PMP_PORT* port);
// Station-port receive processing of a parsed frame, per generation; the record is handed on or
// returned to its pool. `rssi` holds the RSSI of chains 0 and 1 (dBm). The entry counts the frame,
// runs the error check, frees frames of a header or less (a Block Ack Request to the port's own
// address excepted) and routes by frame type: data (after the duplicate check) and management
// frames to their steps, Block Ack Requests to the block-ack control.
VOID RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID Qz3501RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID Arvel3xRecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
// The data and management steps: TRUE when the step took the record (the caller frees it otherwise).
// The data step: the port gate, null data, conversion to the 24-byte header form (QoS control,
// HT control, A-MSDU subframe header removed; forged A-MSDU subframes refused), invalid EAPOL,
// EAPOL bookkeeping, the BSS test, the exemption list, the packet number, then group or unicast
// data.
BOOLEAN RecvProcessDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
BOOLEAN Qz3501RecvProcessDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
BOOLEAN Arvel3xRecvProcessDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
// Group data (with the TID): fragments, frames over 4096 bytes and the port's own frames echoed by
// the distribution system are refused; others go to the OS.
BOOLEAN RecvProcessBroadMcastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);
BOOLEAN Qz3501RecvProcessBroadMcastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);
BOOLEAN Arvel3xRecvProcessBroadMcastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);
// Unicast data (with the TID, the early mark and the signal bytes).
BOOLEAN RecvProcessUnicastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, BOOLEAN early,
                                  const CHAR* rssi);
BOOLEAN Qz3501RecvProcessUnicastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                        BOOLEAN early, const CHAR* rssi);
BOOLEAN Arvel3xRecvProcessUnicastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                         BOOLEAN early, const CHAR* rssi);
BOOLEAN RecvProcessMgntPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
BOOLEAN Qz3501RecvProcessMgntPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
BOOLEAN Arvel3xRecvProcessMgntPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
// Last-beacon time: for a frame of a known BSS (BSS index not 15) on a port whose flag word has bit
// 1 (or bit 0 with a frame from the distribution system on port 0), the system time becomes the
// adapter's last-beacon time and the port's missed-beacon count is cleared.
VOID RecvUpdateLastRxBeaconTimeSamp(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record);
VOID Qz3501RecvUpdateLastRxBeaconTimeSamp(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record);
VOID Arvel3xRecvUpdateLastRxBeaconTimeSamp(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record);
// 1 when a Wi-Fi Direct group-owner or client port (type above 3) is in low-latency mode, else 0.
UCHAR IsAnyPortLowLatency(PMP_ADAPTER adapter);

// ---- receive checks ----------------------------------------------------------------------------------------
// Counters of the port's statistics, in the order of the platform's DOT11_PHY_FRAME_STATISTICS and
// DOT11_MAC_FRAME_STATISTICS.
enum RX_PHY_STAT : ULONG {
    PHY_STAT_TRANSMITTED_FRAMES, PHY_STAT_MULTICAST_TRANSMITTED, PHY_STAT_FAILED, PHY_STAT_RETRY,
    PHY_STAT_MULTIPLE_RETRY, PHY_STAT_MAX_TX_LIFETIME, PHY_STAT_TRANSMITTED_FRAGMENTS, PHY_STAT_RTS_SUCCESS,
    PHY_STAT_RTS_FAILURE, PHY_STAT_ACK_FAILURE, PHY_STAT_RECEIVED_FRAMES, PHY_STAT_MULTICAST_RECEIVED,
    PHY_STAT_PROMISCUOUS_RECEIVED, PHY_STAT_MAX_RX_LIFETIME, PHY_STAT_DUPLICATES, PHY_STAT_RECEIVED_FRAGMENTS,
    PHY_STAT_PROMISCUOUS_FRAGMENTS, PHY_STAT_FCS_ERRORS
};
enum RX_MAC_STAT : ULONG {
    MAC_STAT_TRANSMITTED_FRAMES, MAC_STAT_RECEIVED_FRAMES, MAC_STAT_TRANSMIT_FAILURES, MAC_STAT_RECEIVE_FAILURES,
    MAC_STAT_WEP_EXCLUDED, MAC_STAT_TKIP_LOCAL_MIC_FAILURES, MAC_STAT_TKIP_REPLAYS, MAC_STAT_TKIP_ICV_ERRORS,
    MAC_STAT_CCMP_REPLAYS, MAC_STAT_CCMP_DECRYPT_ERRORS, MAC_STAT_WEP_UNDECRYPTABLE, MAC_STAT_WEP_ICV_ERRORS,
    MAC_STAT_DECRYPT_SUCCESS, MAC_STAT_DECRYPT_FAILURE
};
#define RX_MAC_STATS_UNICAST 0
#define RX_MAC_STATS_MULTICAST 1

// A record the duplicate check found repeated (third generation).
#define RX_RECORD_FLAG_DUPLICATE 0x01

// Descriptor errors: 0 to continue, 0xC0000001 to drop. The older chip's descriptor error bits (FCS,
// cipher, ICV, TKIP MIC) are counted in the port's statistics; a TKIP MIC failure is indicated.
NTSTATUS RecvCheckRxError(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record);
NTSTATUS Qz3501RecvCheckRxError(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record);
NTSTATUS Arvel3xRecvCheckRxError(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record);

// Duplicates: 1 = duplicate (drop), 0 = continue. The sender's history (per TID, row 8 for non-QoS
// frames) keeps the last 8 sequence numbers; only while the port's "RxCheckDupFrame" copy is set is a
// duplicate reported (and written into the adapter's debug ring). A-MSDU frames are not checked.
ULONG RecvCheckDuplicatePkt(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* descriptor, const UCHAR* header,
                            PRX_DMAQ_DESC record);
ULONG Qz3501RecvCheckDuplicatePkt(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* descriptor, const UCHAR* header,
                                  PRX_DMAQ_DESC record);
ULONG Arvel3xRecvCheckDuplicatePkt(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* descriptor, const UCHAR* header,
                                   PRX_DMAQ_DESC record);
// The history of one sender WLAN index (below 20) and row: TRUE when the sequence number is among
// the row's last 8; otherwise it is written at the row's index.
BOOLEAN RecvDupHistorySeen(PMP_ADAPTER adapter, UCHAR wlanIndex, ULONG row, USHORT sequence);

// Packet number: 1 = allowed, 0 = replay (drop). Protected frames of a sender whose authentication
// mode is 6 or 7: the number must reach the last accepted one + 1 of its slot (group: key index;
// unicast: access category of the TID); later A-MSDU subframes carry the first one's number.
ULONG RecvCheckRxPktPnAllowed(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record,
                              ULONG64 packetNumber, UCHAR tid);
ULONG Qz3501RecvCheckRxPktPnAllowed(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record,
                                    ULONG64 packetNumber, UCHAR tid);
ULONG Arvel3xRecvCheckRxPktPnAllowed(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, PRX_DMAQ_DESC record,
                                     ULONG64 packetNumber, UCHAR tid);
// One slot's rule: TRUE (the number stored as the last) when it reaches the expected one (last + 1,
// or 0 after 0xFFFFFFFFFFFE); a lower number only for a later A-MSDU subframe (position 1 or 2).
BOOLEAN RecvPnAdvance(ULONG64* last, ULONG64 packetNumber, UCHAR amsduPosition);

// The port's privacy exemption list: a u32 count, then entries of three u16 {ethertype as stored in
// the frame, action, packet type (1 unicast, 2 group, 3 both)}. 0 = continue, 0x10003 = drop.
#define RX_EXEMPTION_DROP 0x10003u
ULONG RecvCheckExemptionList(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* header, ULONG frameLength, ULONG offset);

// Forged A-MSDU subframes (second and third generation): 1 = attack (drop), 0 = continue. The first
// subframe's inner address must match the outer one; its verdict covers the A-MSDU's later subframes.
ULONG Qz3501AmsduAttackDetection(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset);
ULONG Arvel3xAmsduAttackDetection(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset);
// The rule after the sender's entry was found (sender WLAN index below 20).
ULONG RecvAmsduSubframeCheck(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, ULONG offset);

// Unprotected or misdirected EAPOL and data frames (second and third generation): 1 = drop.
ULONG Qz3501DetectRxInvalidEAPOL(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const UCHAR* llc);
ULONG Arvel3xDetectRxInvalidEAPOL(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const UCHAR* llc);

// A dropped in-order frame of a block-ack agreement moves the agreement's last indicated number on.
VOID UpdateLastIndSeqForDroppedFrame(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);

// ---- unicast data delivery, reassembly and the port stores --------------------------------------------------
// Unicast delivery: the sender must be known; a first fragment starts a reassembly, later fragments
// join it and the last one hands the whole frame on; an unfragmented frame goes to the OS through the
// block-ack reordering (or directly). The record is always consumed when TRUE is returned.
BOOLEAN ProcGeneralUcDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, BOOLEAN early,
                             const CHAR* rssi);
BOOLEAN Qz3501ProcGeneralUcDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                   BOOLEAN early, const CHAR* rssi);
BOOLEAN Arvel3xProcGeneralUcDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                    BOOLEAN early, const CHAR* rssi);
// Clears every reassembly slot in use (all), or slot `index`.
VOID Qz3501ClearRxFrag(PMP_ADAPTER adapter, BOOLEAN all, ULONG index);
// The port's receive batch (port creation).
VOID RecvPortInit(PMP_ADAPTER adapter, PMP_PORT port);
// Returns the port's early-frame and EAP-identity stores to the MLME pool (port teardown).
VOID RecvFreePortStores(PMP_ADAPTER adapter, PMP_PORT port);
