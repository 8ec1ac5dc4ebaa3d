// The power-limit files: up to four per chip (2.4/5 GHz, 6 GHz, each also for one stream and one
// chain), loaded at bring-up from the firmware container or the file system, plain or enciphered,
// and kept as text. Each send parses the current country's section of one of them into a
// SKU_POWER_TABLE, every limit already reduced by SAR, the platform's power table, the configured
// power level, the chip caps and the AFC limit.
//
// Text format: an optional "<Ver:NN" tag; sections "[" key "]" whose key is country letter 1,
// country letter 2, band letter ('-' in the 2.4/5 GHz files, the 6 GHz power type '0'-'2' in the
// 6 GHz files) and variant letter; inside a section rate groups "<name" ... "</name>" whose rows are
// "chNNN" and the group's values, each 'x' or a signed decimal, separated by tabs, spaces or commas.
#pragma once

#include "Common/rlm_sku_types.h"
#include "kshim/bcrypt.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// The largest power-limit file the driver takes.
#define SKU_FILE_MAX_SIZE (16u * 1024u * 1024u)
// The first 32 bytes of an enciphered file's body are skipped.
#define SKU_FILE_BODY_SKIP 32

// What deciphering one file holds while it runs.
typedef struct _SKU_DECRYPT_CONTEXT {
    BCRYPT_ALG_HANDLE AesAlgorithm;
    BCRYPT_KEY_HANDLE Key;
    BCRYPT_ALG_HANDLE Sha1Algorithm;
    PUCHAR KeyObject;
    ULONG KeyObjectLength;
    PUCHAR HashObject;
    ULONG HashObjectLength;
    BCRYPT_HASH_HANDLE Hash;
    ULONG BodyLength;
    ULONG BlockLength;  // 16 when the provider does not say
} SKU_DECRYPT_CONTEXT, *PSKU_DECRYPT_CONTEXT;

// ---- loading ----------------------------------------------------------------------------------------
// Loads every file the chip descriptor names (bring-up, after the platform SAR tables and before the
// domain). The status of the last load; a file that fails stays unloaded and clears "CountryRoamingEn".
NTSTATUS skuTableReadSingleSkuFile(PMP_ADAPTER adapter);
// One file: its text (allocator block of *length bytes, zero after the text) or null with *length 0
// and *status 0xC0000001.
PUCHAR skuTableReadSpecifiedSingleSkuFile(PMP_ADAPTER adapter, PCSTR fileName, PULONG length, PNTSTATUS status);
// Writes the text of `length` file bytes to `destination` (of `length` bytes): an enciphered file's
// body less its first `skip` bytes and trailing spaces, a plain file as it is. FALSE when the
// platform's cipher cannot be set up, or an enciphered file is not whole blocks or has no text.
BOOLEAN skuTableDecryptPowerTable(PMP_ADAPTER adapter, PUCHAR destination, const UCHAR* source, ULONG length, ULONG skip);
BOOLEAN AllocateCryptoResources(PMP_ADAPTER adapter, PSKU_DECRYPT_CONTEXT context);
NTSTATUS CreateSymmetricKey_SHA1_Hash(const UCHAR* seed, ULONG seedLength, PSKU_DECRYPT_CONTEXT context);
void ReleaseCryptoResources(PSKU_DECRYPT_CONTEXT context);
// Frees the four loaded texts and clears their lengths (both teardown paths).
void skuTableFreePowerTables(PMP_ADAPTER adapter);

// ---- parsing ----------------------------------------------------------------------------------------
// Packs up to 4 characters, the first in the lowest byte; a count above 4 counts as 4.
ULONG skuTableCountryCodeToU32(const CHAR* characters, ULONG count);
// Finds the section whose key is `key`: its body runs from *start (the first '<' after the key) to
// *end (the next '[' or the end of the text). FALSE when there is none.
BOOLEAN skuTableSearchCountryRegion(ULONG key, const UCHAR* text, ULONG length, PULONG start, PULONG end);
// The section of a country (two letters packed by skuTableCountryCodeToU32) in a 2.4/5 GHz or a
// 6 GHz file: band letter '-' or the link's 6 GHz power type, the adapter's variant letter, falling
// back to variant '0'.
BOOLEAN skuTableGetTableCountryRange(PMP_ADAPTER adapter, BOOLEAN sixGhzFile, ULONG country, const UCHAR* text,
                                     ULONG length, PULONG start, PULONG end);
// Allocates `rows` rows for the channel list of the first band (0: the 66 channels of 2.4 and 5 GHz,
// 3: the 109 of 6 GHz), every limit SKU_LIMIT_NONE. 0xC000000D for another band or row count,
// 0xC000009A without memory.
NTSTATUS skuTableInitTxPwrLimitData(PMP_ADAPTER adapter, ULONG rows, UCHAR firstBand, PSKU_POWER_TABLE table);
// Frees the rows of a table built by skuTableInitTxPwrLimitData.
void skuTableReleaseTxPwrLimitData(PSKU_POWER_TABLE table);
// Parses the current country's section (or the world's, "00") of a loaded text into the table.
// 0xC0000001 for a version other than the chip's, no section, or a row cut off.
NTSTATUS skuTableGetTxPwrLimit(PMP_ADAPTER adapter, BOOLEAN sixGhzFile, PUCHAR version, PSKU_POWER_TABLE table,
                               UCHAR chain, const UCHAR* text, ULONG length);
// Parses one row of rate group `group` at *position (before `end`) into the table. FALSE when the
// row is cut off.
BOOLEAN skuTableUpdatePerChannelTxPwrLimit(PMP_ADAPTER adapter, UCHAR version, UCHAR chain, const UCHAR* text,
                                           PULONG position, ULONG end, PSKU_POWER_TABLE table, ULONG group,
                                           BOOLEAN sixGhzFile);
// The number of rate groups of a table version (35 for version 0, 30 for version 1), and the name
// and value count of its group `group` (null past the last).
ULONG skuTableRateGroupCount(UCHAR version);
PCSTR skuTableRateGroup(UCHAR version, ULONG group, PULONG valueCount);
