// Kernel-mode cryptography (CNG): the algorithm providers "AES" (128-bit keys, one 16-byte block per
// call, no chaining between calls) and "SHA1", their properties "BlockLength" and "ObjectLength",
// hashing, symmetric keys and decryption. Key and hash state live in the object buffers the caller
// gives (of the provider's "ObjectLength"). Fault point "cng", key: the call's name.
#pragma once

#include "kshim/nt_types.h"

typedef PVOID BCRYPT_HANDLE;
typedef PVOID BCRYPT_ALG_HANDLE;
typedef PVOID BCRYPT_KEY_HANDLE;
typedef PVOID BCRYPT_HASH_HANDLE;

#define BCRYPT_AES_ALGORITHM u"AES"
#define BCRYPT_SHA1_ALGORITHM u"SHA1"
#define BCRYPT_BLOCK_LENGTH u"BlockLength"
#define BCRYPT_OBJECT_LENGTH u"ObjectLength"

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, PCWSTR algorithmId, PCWSTR implementation, ULONG flags);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);
NTSTATUS BCryptGetProperty(BCRYPT_HANDLE object, PCWSTR property, PUCHAR output, ULONG outputLength, PULONG result,
                           ULONG flags);
NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, PUCHAR hashObject, ULONG hashObjectLength,
                          PUCHAR secret, ULONG secretLength, ULONG flags);
NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputLength, ULONG flags);
NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputLength, ULONG flags);
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash);
NTSTATUS BCryptGenerateSymmetricKey(BCRYPT_ALG_HANDLE algorithm, BCRYPT_KEY_HANDLE* key, PUCHAR keyObject,
                                    ULONG keyObjectLength, PUCHAR secret, ULONG secretLength, ULONG flags);
NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE key);
NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG inputLength, PVOID paddingInfo, PUCHAR iv,
                       ULONG ivLength, PUCHAR output, ULONG outputLength, PULONG result, ULONG flags);
