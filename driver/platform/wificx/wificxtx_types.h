// The transmit state of ports and adapter that every hard transmit reads: what the connection, key,
// access-point and Wi-Fi Direct code set and the send steps test.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define PORT_TX_KEYS 4
#define PORT_TX_ACS 5

// Bits of a port's link flag word.
#define PORT_LINK_FLAG_BIT0 0x00000001u  // group frames count as unicast for block ack (bit 0)
#define PORT_LINK_FLAG_EDCA 0x00000100u  // EDCA parameters in force (AsicSetEdcaParm)

// DOT11_CIPHER_ALGORITHM values the transmit paths test.
#define DOT11_CIPHER_NONE 0x00u
#define DOT11_CIPHER_WEP40 0x01u
#define DOT11_CIPHER_TKIP 0x02u
#define DOT11_CIPHER_CCMP 0x04u
#define DOT11_CIPHER_WEP104 0x05u
#define DOT11_CIPHER_GCMP256 0x09u
#define DOT11_CIPHER_WEP 0x101u
#define DOT11_CIPHER_IHV_START 0x80000000u

// A port's transmit state: written by the connection, key, access-point and Wi-Fi Direct code (and by
// the test fixture that stands for a link up), read by the hard transmits and the send steps.
typedef struct _PORT_XMIT_BLOCK {
    ULONG LinkFlags;            // PORT_LINK_FLAG_*
    UCHAR Wmm;                  // the link uses WMM
    UCHAR NoAck[PORT_TX_ACS];   // per access category: bits 0-1 the acknowledgement policy of QoS frames
    ULONG PairwiseSuite;        // DOT11_CIPHER_ALGORITHM of the link's pairwise and group keys
    ULONG GroupSuite;
    UCHAR DefaultKeyIndex;
    UCHAR KeyValid[PORT_TX_KEYS];  // beside the port's key ciphers (PortKeyCipher)
    UCHAR ProtectionOverride;   // the connect and roam tasks: frames go unprotected while set
    UCHAR EapolKeyProtect;      // pairwise EAPOL-Key frames are protected while set
    UCHAR Ready[3];             // the three readiness bytes of a fully up port
    ULONG GroupPhyWord;         // PHY word of group frames
    ULONG LastPhyWord;          // PHY word of the last frame handed to the descriptor writer
    UCHAR PhyClass;             // 0 20 MHz class, 1 40 MHz, 2 80 MHz and wider: the block-ack rate rule
    UCHAR DfsBlocked;           // 802.11h: transmission blocked on this channel
    UCHAR CarrierDetected;
    // Access point and group owner.
    UCHAR TxBlock[2];           // both set: the port's transmission is blocked
    UCHAR GroupBuffering;       // stations sleep: group frames are held
    ULONG Tim[2];               // traffic-indication bitmap: bit n for WLAN index n, bit 0 group traffic
    UCHAR PsIndicate;           // set by a 161-byte frame on a group owner (read by the peer power-save indication)
    UCHAR ConcurrencyHold;      // multi-channel concurrency: the port's queues wait
    UCHAR Ipv6NdSeen;
    UCHAR DebugBits;
    ULONG PassLimit;            // net buffers a send pass of the buffer-list path handles
} PORT_XMIT_BLOCK, *PPORT_XMIT_BLOCK;

// The adapter's transmit state.
typedef struct _ADAPTER_XMIT_BLOCK {
    ULONG WfdMode;              // the Wi-Fi Direct mode value (3: concurrent client role)
    ULONG RtpMonitorPort;       // UDP port whose RTP stream is watched (0 off)
    USHORT RtpExpectedSeq;
    UCHAR PowerConsumptionPeriod;
    USHORT PsmBitMode;          // 1: the power-management bit is in use
    UCHAR FixedLegacyRate;      // a fixed rate below HT is configured: no aggregation
    ULONG64 GroupFrames;        // group-addressed data frames sent
    ULONG TxBytes;              // bytes handed to the data rings, descriptor areas included
    ULONG64 LastEchoRequestTime;
    ULONG CountermeasureCount;
    UCHAR CountermeasureSent;
    volatile LONG PsFrames;     // frames held for sleeping stations
    USHORT MgmtSeq;             // sequence counter of management frames
    UCHAR TestMode;             // test mode: a frame of an unknown kind completes with success
    volatile LONG SendInFlight[2];  // the buffer-list send path's two in-flight counters
} ADAPTER_XMIT_BLOCK, *PADAPTER_XMIT_BLOCK;
