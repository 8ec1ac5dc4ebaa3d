// Key records of a port: the cipher key record the chip layer reads, and the BIP-GMAC-256 key with
// its receive replay state.
#pragma once

#include "kshim/nt_types.h"

// A cipher key record of the security code; the chip layer reads its cipher code.
typedef struct _CIPHER_KEY {
    UCHAR CipherAlg;  // driver cipher code
} CIPHER_KEY, *PCIPHER_KEY;
#define CIPHER_CODE_GROUP_KEEP_PEER 6  // with "OpMode" 1 a group key keeps the given peer address

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
