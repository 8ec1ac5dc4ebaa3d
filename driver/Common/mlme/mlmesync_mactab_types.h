// The MAC table's records: the station entry (MAC_TABLE_ENTRY), the adapter's pool of 20 entries and
// a port's list of its entries.
#pragma once

#include "kshim/ndis.h"
#include "kshim/nt_types.h"
#include "Common/rlm_types.h"
#include "Common/mlme/mlmeinfo_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define MAC_TABLE_POOL_SIZE 20
#define MAC_ADDR_BYTES 6

// Kinds of an entry in its port.
#define MAC_ENTRY_KIND_OWN_BSS 0       // the port's broadcast / own-BSS entry
#define MAC_ENTRY_KIND_PEER 1          // the port's own station or access-point entry; a peer of a station or soft AP
#define MAC_ENTRY_KIND_GO_CLIENT 2     // a client of a group owner
#define MAC_ENTRY_KIND_CLIENT_GO 9     // the group owner seen by a Wi-Fi Direct client
#define MAC_ENTRY_KIND_UNUSED 99       // a pool entry that was never used

// Entry types.
#define MAC_ENTRY_TYPE_AP_PEER 0x21    // own kind-0 entry; a soft access point's peer
#define MAC_ENTRY_TYPE_GO_CLIENT 0x22
#define MAC_ENTRY_TYPE_STA 0x41        // own kind-1 entry; a station port's peer
#define MAC_ENTRY_TYPE_CLIENT_GO 0x42

#define WLAN_ROLE_NONE 99
#define WLAN_INDEX_NONE 0xFF

// Port roles for firmware commands.
#define WLAN_ROLE_STA 1
#define WLAN_ROLE_P2P_CLIENT 2
#define WLAN_ROLE_P2P_DEVICE 3
#define WLAN_ROLE_ADHOC 8

// Bits of the port's status flags read here.
#define PORT_STATUS_INFRA_LINK_UP 0x00000001u
#define PORT_STATUS_ADHOC_LINK_UP 0x00000002u

#define MAC_ENTRY_RX_SEQ_CACHE 72
#define MAC_ENTRY_TID_CACHE 18
#define MAC_ENTRY_TID_COUNT 16
#define MAC_ENTRY_TX_TID_SLOTS 17
#define MAC_ENTRY_HT_MCS_BYTES 3
#define MAC_ENTRY_PEER_RATES 12
#define PEER_RATE_CLASS_CCK 0x01
#define PEER_RATE_CLASS_OFDM 0x02
#define PEER_RATE_CLASS_HT 0x04
#define MAC_ENTRY_VHT_CAP_SIZE 12
#define MAC_ENTRY_TXBF_CAP_SIZE 4

// The last accepted packet numbers of the replay check: 16 unicast values (by access category) and 4
// group values (by key index), which a resume clears.
#define MAC_ENTRY_UNICAST_PN 16
#define MAC_ENTRY_GROUP_PN 4
#define MAC_ENTRY_TIDS 8

// Start values of the entry's working fields.
#define MAC_ENTRY_NO_RX_SEQ 0xFFF
#define MAC_ENTRY_NO_SEQ 0xFFFF
#define MAC_ENTRY_ASSOCIATED 2

// The port status bit of a peer known to the OS (WiFiCx add-peer done).
#define PORT_PEER_KNOWN_TO_OS 0x00200000u

// The PHY type set of a peer (PhyModeFlags).
#define MAC_ENTRY_PHY_CCK 0x01
#define MAC_ENTRY_PHY_ERP 0x02
#define MAC_ENTRY_PHY_OFDM 0x08
#define MAC_ENTRY_PHY_HT 0x10
#define MAC_ENTRY_PHY_VHT 0x20
#define MAC_ENTRY_PHY_HE 0x40
#define MAC_ENTRY_PHY_EHT 0x80

typedef struct _MAC_TABLE_ENTRY {
    struct _MAC_TABLE_ENTRY* Next;  // free list or the owning port's list
    UCHAR WlanIdx;                  // pool index; fixed for the life of the adapter
    UCHAR StaRecIdx;                // firmware station record; the pool index at pool creation
    USHORT Kind;                    // MAC_ENTRY_KIND_*
    USHORT KindHigh;                // the 16 bits after Kind, cleared with it at pool creation
    USHORT Valid;                   // 1 after the entry is set to its initial state
    UCHAR ByteAfterValid;
    ULONG EntryType;                // MAC_ENTRY_TYPE_*
    PLATFORM_TIMER EntryTimer;      // survives a full reset of the entry
    ULONG AuthMode;
    ULONG CipherMode;
    ULONG KeyState;
    PMP_ADAPTER Adapter;
    ULONG LastRxSeq;
    USHORT RxSeqCache[MAC_ENTRY_RX_SEQ_CACHE];
    UCHAR FragCache[MAC_ENTRY_TID_CACHE];
    UCHAR DupCache[MAC_ENTRY_TID_CACHE];
    UCHAR Addr[MAC_ADDR_BYTES];
    ULONG AssocState;               // MAC_ENTRY_ASSOCIATED while the peer is associated
    UCHAR FwStaRecIdx;              // the WLAN index used in firmware commands
    // HT and block-ack state.
    ULONG HtFlags;
    USHORT BaRecipientBitmap;
    USHORT BaOriginatorBitmap2;
    USHORT BaOriginatorSetupBitmap;
    UCHAR BaRecipientSlot[MAC_ENTRY_TID_COUNT];
    UCHAR BaOriginatorSlot[MAC_ENTRY_TID_COUNT];
    USHORT TxSeq[MAC_ENTRY_TID_COUNT];
    ULONG PhyCfgData;
    ULONG PhyCfgHighest;
    ULONG PhyCfgLowest;
    UCHAR MinMpduStartSpacing;
    USHORT AmpduLimit;
    UCHAR HtMcsSet[MAC_ENTRY_HT_MCS_BYTES];  // MCS 0..7, 8..15, 16..23
    USHORT HtExtCapability;
    UCHAR TxBfCapability[MAC_ENTRY_TXBF_CAP_SIZE];
    USHORT ListenInterval;
    UCHAR OsPeerAdded;
    // VHT and HE records.
    UCHAR VhtPresent;
    UCHAR VhtCapability[MAC_ENTRY_VHT_CAP_SIZE];
    UCHAR CapabilityBytes[2];       // two bytes of the port's VHT or HE capability block
    UCHAR Bandwidth;
    UCHAR HighestStreamIndex;
    PMP_PORT OwnerPort;
    UCHAR MaxNss;
    USHORT MaxNssWord;              // 0x00FF at initialisation
    UCHAR MaxNssByte;               // 1 at initialisation
    // Per-TID transmit bookkeeping of the data path.
    USHORT TxTidSeq[MAC_ENTRY_TX_TID_SLOTS];
    UCHAR TxTidState[MAC_ENTRY_TX_TID_SLOTS];
    // Working fields of other subsystems with a non-zero start value.
    USHORT PsWord;                  // 2 at initialisation
    USHORT RateWord;                // 0x0303 at initialisation
    // The replay check's packet numbers.
    ULONG64 RxUnicastPn[MAC_ENTRY_UNICAST_PN];
    ULONG64 RxGroupPn[MAC_ENTRY_GROUP_PN];
    // Transmit aggregation per TID, read by the transmit-descriptor writers: nonzero while the
    // TID's frames may be aggregated.
    UCHAR TxAggregation[MAC_ENTRY_TIDS];
    // Data path: the peer's transmit state read by the hard transmits, and what the receive path
    // keeps of it.
    UCHAR TxModeByte;              // bits 4-7 set: frames to the peer are not kicked at once
    UCHAR PairwiseCipher;          // cipher of the peer's pairwise key (1/2 WEP, 3 TKIP, 4 AES, ...)
    UCHAR InactivityCount;         // ticks without traffic; the receive reordering clears it
    UCHAR NoBuffering;             // an access point does not hold the peer's frames while it sleeps
    UCHAR KeyReady;                // 1 once the peer's keys are installed
    UCHAR FirstData;               // an access point saw the peer's first data frame
    ULONG BaAgreementCount;        // originator agreements being set up with the peer
    USHORT LastBarSequence;        // starting sequence of the last Block Ack Request
    ULONG BarRepeatCount;          // Block Ack Requests that repeated it
    UCHAR StreamMarker;            // 0xFF: the peer may use two spatial streams
    UCHAR OpModeWidth;             // the peer's operating-mode channel width
    USHORT RefusedTids;            // TIDs whose originator set-up the peer kept refusing
    // What the beacons of the connected access point last announced (the idle beacon intake).
    UCHAR BcnHtOpBits;              // HT Operation octet 1 bits 0..2
    UCHAR BcnSecondaryOffset;
    UCHAR BcnVhtOperation[3];       // width, centre segment 0, centre segment 1
    UCHAR BcnMcs2;                  // the second MCS octet (MCS 8..15)
    UCHAR BcnDtimPeriod;
    UCHAR VhtPeer;
    UCHAR He6gBandCap;              // the access point works on 6 GHz with its 6 GHz capability
    UCHAR ProtectionLock;
    ULONG64 LastBeaconTime;         // a group owner's last beacon
    ULONG TxPendingCount;           // frames of the peer handed to the chip and not yet completed
    // What the join and the association learnt of the peer, sent in its station record and BSS
    // information (Common/mlme/mlmesync_join, Common/qzcmd_bss).
    UCHAR PeerHtCapability[26];     // HT Capabilities element body
    UCHAR PeerHtOperation[22];      // HT Operation element body
    USHORT SupportedRateBitmap;     // bits 0..3 CCK, bits 4..5 unused, bits 6..13 OFDM
    USHORT BasicRateBitmap;
    UCHAR PhyModeFlags;             // MAC_ENTRY_PHY_*
    USHORT LegacyRateBitmap;        // SupportedRateBitmap without bits 4 and 5
    UCHAR PhyModeFlagsCopy;         // PhyModeFlags as found at join or association
    USHORT InitialTxRate;           // the default rate word
    UCHAR PeerVhtCapability[12];
    UCHAR PeerVhtOperation[5];      // width, centre segment 0, centre segment 1, basic MCS map
    UCHAR PeerVhtBandwidth;         // 0 20 MHz, 1 40 MHz, 2 80 MHz, 3 160 MHz
    UCHAR PeerVhtStreams;           // 0xFF: not known
    UCHAR NonHtPhyKind;             // derived from the PHY type set when the association completes
    UCHAR Dot11State;               // 1 unauthenticated, 2 authenticated, 3 associated
    UCHAR Aid;                      // association id; 0 until an association sets it
    UCHAR AssocPortByte;            // a port byte copied into the entry at association
    UCHAR AssocEntryByte;           // an entry byte the station record carries
    UCHAR DeviceNameLen;
    UCHAR DeviceName[32];           // the peer's device name, when one is known
    // Protection values of the BSS (AsicUpdateProtect), sent in the radio-link parameters.
    ULONG ClientFlags;              // bit 0: the peer uses WMM
    UCHAR ErpProtection;
    UCHAR HtProtectionMode;
    UCHAR ProtectionReserved;
    UCHAR RifsMode;
    // The peer's HE and EHT records and the TWT flows (Common/he).
    RLM_ENTRY_BLOCK Rlm;
    // The connection's record of the access point (the connect-control machine writes them).
    UCHAR AuthAttempt;              // 1 first authentication try, 2 second
    UCHAR QosByte;                  // the joined access point's QoS byte
    // Removal: with CancelTxOnRemove 1 the packets still queued for the peer (its pending-transmit
    // queue, numbered by the WLAN index) are cancelled when the entry leaves its port.
    UCHAR CancelTxOnRemove;
    // The peer's pairwise key (Common/mlme/mlmeinfo_key).
    CIPHER_KEY PairwiseKey;
    ULONG OsCipher;                 // OS cipher algorithm of the last key installed on the entry
    USHORT PortSecured;             // 1 secured, 2 (or 0 before the first key) not secured
    // The peer's rates as the association recorded them (Common/mlme/mlmeinfo_mcs): at most 12 rate
    // codes, a flag per legacy rate (1, 2, 5.5, 11; 6 to 54 Mbit/s) and per HT MCS 0-23 both sides
    // support, and the classes present (PEER_RATE_CLASS_*).
    UCHAR PeerRateCount;
    UCHAR PeerRates[MAC_ENTRY_PEER_RATES];
    UCHAR PeerCckFlags[4];
    UCHAR PeerOfdmFlags[8];
    UCHAR PeerHtMcsFlags[24];
    UCHAR PeerRateClass;
} MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// The adapter's pool: 20 entries, the free list and its count. MacTabLock of the adapter guards the
// free list, the port lists and the entries' links.
typedef struct _MAC_TABLE_POOL {
    MAC_TABLE_ENTRY Entries[MAC_TABLE_POOL_SIZE];
    PMAC_TABLE_ENTRY FreeHead;
    PMAC_TABLE_ENTRY FreeTail;
    LONG FreeCount;
} MAC_TABLE_POOL, *PMAC_TABLE_POOL;

// A port's list of entries.
typedef struct _MAC_TABLE_PORT_LIST {
    UCHAR PeerCount;  // entries inserted, the two own entries included
    PMAC_TABLE_ENTRY Head;
    PMAC_TABLE_ENTRY Tail;
    LONG Count;
    UCHAR OwnWlanIdx;  // WLAN index of the port's own kind-0 entry
    UCHAR ClientAssociated;  // a group owner sent an association response to a client
} MAC_TABLE_PORT_LIST, *PMAC_TABLE_PORT_LIST;
