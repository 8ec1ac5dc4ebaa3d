// The adapter's software WEP state: the RC4 schedule and running ICV of the packet being encrypted.
#pragma once

#include "kshim/nt_types.h"

#define WEP_IV_HEADER_SIZE 4
#define WEP_ICV_SIZE 4
#define WEP_IV_SIZE 3
#define WEP_KEY_40_SIZE 5
#define WEP_KEY_104_SIZE 13
#define WEP_KEY_INDEX_MAX 3

typedef struct _WEP_RC4_STATE {
    ULONG X;
    ULONG Y;
    UCHAR S[256];
} WEP_RC4_STATE, *PWEP_RC4_STATE;

// One WEP packet in the making, kept by the adapter. Packets are encrypted one at a time on the
// MLME thread.
typedef struct _WEP_CRYPT_STATE {
    ULONG Icv;  // running CRC-32 of the plaintext
    WEP_RC4_STATE Rc4;
    UCHAR IvAndKey[WEP_IV_SIZE + WEP_KEY_104_SIZE];  // the RC4 key of the packet: IV then WEP key
    UCHAR Started;  // a packet was set up and its ICV not yet finished
} WEP_CRYPT_STATE, *PWEP_CRYPT_STATE;
