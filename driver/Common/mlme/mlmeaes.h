// The station's software AES block cipher, GCM authentication used as GMAC, and the BIP-GMAC-256
// check of group-addressed protected deauthentication and disassociation frames on the
// third-generation chips.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;

#define AES_BLOCK_SIZE 16
#define AES_MAX_ROUNDS 14
// Round keys of the longest key schedule (AES-256: 15 round keys of 16 bytes).
#define AES_ROUND_KEYS_SIZE ((AES_MAX_ROUNDS + 1) * AES_BLOCK_SIZE)
#define GCM_IV_SIZE 12
#define GCM_TAG_SIZE 16

// The FIPS-197 key expansion of a 16, 24 or 32-byte key into roundKeys (AES_ROUND_KEYS_SIZE bytes
// of room). Returns the number of rounds (10, 12 or 14); 0, with nothing written, for any other key
// length.
ULONG AES_ExpandKey(const UCHAR* key, ULONG keyLength, UCHAR* roundKeys);

// Encrypts one 16-byte block. The input length must be 16, the key length 16, 24 or 32 and
// *outputLength at least 16; on success *outputLength becomes 16. Any other length is traced,
// nothing is written and STATUS_INVALID_PARAMETER is returned.
NTSTATUS AES_Encrypt(const UCHAR* input, ULONG inputLength, const UCHAR* key, ULONG keyLength, UCHAR* output,
                     PULONG outputLength);

// The inverse cipher of one 16-byte block under a 16-byte key, with the same length rules as
// AES_Encrypt (only 16-byte keys are taken).
NTSTATUS AES_Decrypt(const UCHAR* input, ULONG inputLength, const UCHAR* key, ULONG keyLength, UCHAR* output,
                     PULONG outputLength);

// GF(2^128) multiplication of GCM: z = x * y (z may be x or y).
void gcm_gf128_mult(const UCHAR* x, const UCHAR* y, UCHAR* z);
// Shifts a 16-byte block right by one bit (bit 0 of byte 0 moves into bit 7 of byte 1).
void gcm_block_shift_right(UCHAR* block);
// GHASH over data in 16-byte blocks (the last partial block zero-padded), continuing from *y.
void gcm_ghash_update(const UCHAR* h, const UCHAR* data, ULONG length, UCHAR* y);
// GCTR: output = input XOR the keystream of the counter blocks that start at initialCounterBlock
// (the last 32 bits counting up as a big-endian number); a final partial block is handled, a length
// of 0 does nothing. Output may be input. STATUS_INVALID_PARAMETER for a wrong key length.
NTSTATUS aes_gcm_ctr_crypt(const UCHAR* key, ULONG keyLength, const UCHAR* initialCounterBlock, const UCHAR* input,
                           ULONG length, UCHAR* output);
// GCM authenticated decryption of an empty ciphertext (GMAC): 0 when the 16-byte tag computed over
// the AAD under the key and the 12-byte IV equals expectedTag, -1 (traced) when it does not or a
// length is wrong.
int aes_gcm_ad_impl(const UCHAR* aad, ULONG aadLength, const UCHAR* key, ULONG keyLength, const UCHAR* iv,
                    ULONG ivLength, const UCHAR* expectedTag);

// Checks the Management MIC element of a group-addressed protected deauthentication or
// disassociation frame with the port's BIP-GMAC-256 key: TRUE when the frame passes (its MIC is
// right and its IPN is new), FALSE when it is to be dropped.
BOOLEAN rsnCheckBipGmac(PMP_PORT port, PRX_DMAQ_DESC record);
