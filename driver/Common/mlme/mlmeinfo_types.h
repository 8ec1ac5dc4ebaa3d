// Key records of a port and of a peer: the cipher key record, the port's shared key slots, the
// adapter's BIP key copy and saved key set, and the BIP-GMAC-256 key with its receive replay state.
#pragma once

#include <cstddef>

#include "kshim/ke.h"
#include "kshim/nt_types.h"

// OS cipher algorithms (the value the OS passes).
#define DOT11_CIPHER_ALGO_NONE 0x00u
#define DOT11_CIPHER_ALGO_WEP40 0x01u
#define DOT11_CIPHER_ALGO_TKIP 0x02u
#define DOT11_CIPHER_ALGO_CCMP 0x04u
#define DOT11_CIPHER_ALGO_WEP104 0x05u
#define DOT11_CIPHER_ALGO_BIP 0x06u
#define WDI_CIPHER_ALGO_GCMP_256 0x09u
#define WDI_CIPHER_ALGO_BIP_GMAC_256 0x0Cu
#define DOT11_CIPHER_ALGO_WEP 0x101u
#define DOT11_CIPHER_ALGO_IHV_START 0x80000000u
#define DOT11_CIPHER_ALGO_IHV_END 0xFFFFFFFFu
// OS authentication algorithms the key code tests.
#define DOT11_AUTH_ALGO_RSNA_PSK 7u
#define DOT11_AUTH_ALGO_WPA3_ENT_192 8u
#define WDI_AUTH_ALGO_WPA3_SAE 9u

// Driver cipher codes, stored in every key record.
#define CIPHER_NONE 0
#define CIPHER_WEP64 1
#define CIPHER_WEP128 2
#define CIPHER_TKIP 3
#define CIPHER_AES 4
#define CIPHER_BIP 6
#define CIPHER_SMS4 8
#define CIPHER_WAPI 11
#define CIPHER_GCMP256 12
#define CIPHER_TKIP_NO_MIC 13
#define CIPHER_BIP_GMAC256 17

#define CIPHER_KEY_MAX 32
#define CIPHER_MIC_KEY_LEN 8
#define CIPHER_KEY_KIND_PAIRWISE 1
#define CIPHER_KEY_KIND_GROUP 2

// One key record.
typedef struct _CIPHER_KEY {
    UCHAR Addr[6];                   // peer address; all-zero for no peer
    UCHAR CipherAlg;                 // driver cipher code
    UCHAR KeyLen;                    // the length the OS gave (at most 32 key bytes are kept)
    UCHAR Key[CIPHER_KEY_MAX];
    UCHAR TxMic[CIPHER_MIC_KEY_LEN]; // TKIP only
    UCHAR RxMic[CIPHER_MIC_KEY_LEN]; // TKIP only
    ULONG TxTsc;                     // transmit packet number, low 32 bits (1 at installation)
    USHORT TxTscHigh;                // high 16 bits
    UCHAR KeyKind;                   // CIPHER_KEY_KIND_*
    UCHAR KeyMappingUse;             // the receive path saw this key index marked key-mapping
} CIPHER_KEY, *PCIPHER_KEY;
#define CIPHER_CODE_GROUP_KEEP_PEER 6  // with "OpMode" 1 a group key keeps the given peer address

// The port's shared key slots: key indexes 0 to 3, then the port's BIP key record.
#define SHARED_KEY_SLOTS 4
#define SHARED_KEY_BIP_SLOT 4
typedef struct _SHARED_KEY_TABLE {
    CIPHER_KEY Slot[SHARED_KEY_SLOTS + 1];
} SHARED_KEY_TABLE, *PSHARED_KEY_TABLE;

// Key material handed to the key installer for every cipher but WEP (whose material is the raw key).
#pragma pack(push, 1)
typedef struct _KEY_PARAMS {
    UCHAR Pn[6];          // packet number (IPN for BIP), little-endian
    UCHAR Reserved[2];
    ULONG KeyLength;
    union {
        struct {
            ULONG MicKeyLength;  // 16
            UCHAR Key[16];
            UCHAR TxMic[8];
            UCHAR RxMic[8];
        } Tkip;
        UCHAR Key[CIPHER_KEY_MAX];  // CCMP, GCMP-256, BIP
    } u;
} KEY_PARAMS, *PKEY_PARAMS;
#pragma pack(pop)
static_assert(sizeof(KEY_PARAMS) == 48 && offsetof(KEY_PARAMS, u) == 12, "key parameters are 48 bytes");
#define KEY_PARAMS_TKIP_SIZE 48u
#define KEY_PARAMS_BIP_SIZE 28u
#define KEY_PARAMS_KEY32_SIZE 44u
// The install-key property's name for the same record.
typedef KEY_PARAMS KEY_MATERIAL, *PKEY_MATERIAL;

// The adapter's saved key parameters, re-installed after a firmware recovery.
typedef struct _SAVED_KEY_SET {
    UCHAR GroupKeyIndex;
    UCHAR BipKeyIndex;
    ULONG Cipher;          // OS cipher algorithm of the last key installed
    KEY_PARAMS Pairwise;
    KEY_PARAMS Group;      // the BIP installers store their parameters here too
} SAVED_KEY_SET, *PSAVED_KEY_SET;

// The last static WEP key the install-key property installed: the connect request installs it again
// after a wake-on-WLAN power transition (reinstall pending) while the saved flag is set.
#define SAVED_WEP_KEY_MAX 13
typedef struct _SAVED_STATIC_WEP_KEY {
    UCHAR ReinstallPending;
    UCHAR Saved;
    UCHAR PeerAddress[6];
    ULONG KeyIndex;
    ULONG CipherAlgorithm;  // OS cipher algorithm
    ULONG KeyLength;        // 5 or 13
    UCHAR Key[SAVED_WEP_KEY_MAX];
} SAVED_STATIC_WEP_KEY, *PSAVED_STATIC_WEP_KEY;

// The adapter's copy of the BIP (integrity) keys of key indexes 4 and 5.
#define BIP_KEY_INDEX_FIRST 4
#define BIP_KEY_COPY_SLOTS 2
#define BIP_KEY_COPY_LEN 16
typedef struct _BIP_KEY_COPY {
    UCHAR KeyId;
    UCHAR Reserved;
    UCHAR Key[BIP_KEY_COPY_SLOTS][BIP_KEY_COPY_LEN];
    UCHAR Ipn[BIP_KEY_COPY_SLOTS][6];
} BIP_KEY_COPY, *PBIP_KEY_COPY;

// The ad hoc peers of an RSN ad hoc network and whether each has its key (zeroed storage is an
// empty list and a free lock).
#define ADHOC_KEY_PEERS 8
typedef struct _ADHOC_KEY_PEER {
    UCHAR Addr[6];
    UCHAR InUse;
    UCHAR HasKey;
} ADHOC_KEY_PEER;

// The adapter-wide key state of the security code.
typedef struct _MLME_KEY_ADAPTER_BLOCK {
    KSPIN_LOCK AdhocPeerLock;
    ADHOC_KEY_PEER AdhocPeers[ADHOC_KEY_PEERS];
    BIP_KEY_COPY Bip;
    SAVED_KEY_SET Saved;
    SAVED_STATIC_WEP_KEY SavedStaticWep;
    UCHAR WowlanGroupKey[CIPHER_KEY_MAX];  // group key copy for the WoWLAN security set-up
    UCHAR WowlanTransition;                // set by the power-state handler during a WoWLAN transition
    UCHAR EapolRewriteArmed;               // one-shot flag the transmit EAPOL check consumes
    UCHAR FtSwitch;                        // the adapter's fast-transition switch
} MLME_KEY_ADAPTER_BLOCK, *PMLME_KEY_ADAPTER_BLOCK;

// The per-port key state.
typedef struct _MLME_KEY_PORT_BLOCK {
    SHARED_KEY_TABLE SharedKey;
    UCHAR DefaultKeyId;    // set by the default-key-id property; 0 after port initialisation
    UCHAR FtReady;         // the pairwise key of a fast-transition-capable association is in
    UCHAR ApMobilityDomain;  // the target access point advertised a mobility-domain element
} MLME_KEY_PORT_BLOCK, *PMLME_KEY_PORT_BLOCK;

// The BIP-GMAC-256 key of a station port as the install property hands it over (44 bytes).
#define IGTK_KEY_MAX 32
typedef struct _IGTK_KEY {
    UCHAR Ipn[6];  // 48-bit packet number given with the key, little-endian
    UCHAR Reserved[2];
    ULONG KeyLength;  // at most IGTK_KEY_MAX
    UCHAR aucIGTK[IGTK_KEY_MAX];
} IGTK_KEY, *PIGTK_KEY;
static_assert(sizeof(IGTK_KEY) == 44, "the BIP-GMAC-256 key block is 44 bytes");

// A port's BIP-GMAC-256 key with its present flag (set by the install property, cleared at link
// down), and the replay state of the receive check. Whoever installs a key clears RxIpnValid: until a
// frame has passed, the IPN given with the key is the lowest one accepted; after that only a higher
// IPN than the last accepted one passes.
typedef struct _PORT_BIP_GMAC_KEY {
    IGTK_KEY Key;
    UCHAR Present;
    UCHAR RxIpnValid;
    ULONG64 RxIpn;  // IPN of the last frame that passed the check
} PORT_BIP_GMAC_KEY, *PPORT_BIP_GMAC_KEY;
