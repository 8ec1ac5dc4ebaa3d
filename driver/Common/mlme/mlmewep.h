// Software WEP for the third frame of a shared-key authentication: RC4 and the IEEE 802.3 CRC-32
// integrity check value, with the 4-byte WEP IV header.
#pragma once

#include "kshim/nt_types.h"
#include "Common/mlme/mlmewep_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;


// Starts one packet: three fresh IV bytes, the RC4 schedule over IV and key, the ICV reset, and the
// IV header (the IV bytes, then the key index in bits 6-7). The key is 5 or 13 bytes and the key
// index 0 to 3; anything else is refused with STATUS_INVALID_PARAMETER and nothing is written.
NTSTATUS WepKeySetup(PMP_ADAPTER adapter, const UCHAR* key, UCHAR keyIndex, ULONG keyLength,
                     UCHAR ivHeader[WEP_IV_HEADER_SIZE]);
// Adds the plaintext to the ICV and RC4-encrypts it into ciphertext (which may be the plaintext's
// own buffer). STATUS_INVALID_DEVICE_STATE when no packet was set up.
NTSTATUS WepEncryptData(PMP_ADAPTER adapter, const UCHAR* plaintext, UCHAR* ciphertext, ULONG length);
// Finishes the ICV (inverted, least significant byte first) and RC4-encrypts it into icv; the
// packet is then closed. STATUS_INVALID_DEVICE_STATE when no packet was set up.
NTSTATUS WepFinishIcv(PMP_ADAPTER adapter, UCHAR icv[WEP_ICV_SIZE]);

// The RC4 key schedule (a key of 1 to 256 bytes).
void WepRc4Init(PWEP_RC4_STATE state, const UCHAR* key, ULONG keyLength);
// XORs length bytes of input with the RC4 keystream into output (output may be input).
void WepRc4Crypt(PWEP_RC4_STATE state, UCHAR* output, const UCHAR* input, ULONG length);
// The table-driven update of the reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320), without
// pre- or post-inversion.
ULONG WepCrc32Update(ULONG crc, const UCHAR* data, ULONG length);
