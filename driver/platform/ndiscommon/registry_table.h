// The configuration table: 418 named values read from the device's configuration at the first
// power-up, the driver-wide block of the 14 string values, and the pure steps of the reader: the
// range check and store of one value, the bounded string store, and the parsers of the values
// that need parsing (country, address, names, firmware paths, radio bits, access-point channel).
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/registry_block.h"

#ifndef STATUS_INVALID_ADDRESS
#define STATUS_INVALID_ADDRESS ((NTSTATUS)0xC0000141L)
#endif

#define REGISTRY_PARAMETER_COUNT 418

// Row kinds: 0 and 1 are unsigned integers and are read alike; 2 is a string.
#define REGISTRY_KIND_ULONG 0u
#define REGISTRY_KIND_ULONG_ALT 1u
#define REGISTRY_KIND_STRING 2u

// "any": the whole 32-bit range.
#define REGISTRY_ANY 0xFFFFFFFFu

// One row of the configuration table.
typedef struct _REGISTRY_PARAMETER_ENTRY {
    UNICODE_STRING Name;  // the value's name in the device configuration
    UCHAR Required;       // a failed query of a required row ends the read; no row is required
    ULONG Kind;           // REGISTRY_KIND_*
    ULONG Destination;    // integer: byte offset in REGISTRY_BLOCK; string: index in the string block
    ULONG Size;           // integer: 1, 2 or 4 bytes; 0 for strings
    ULONG Default;        // taken when the value is missing or outside [Minimum, Maximum]
    ULONG Minimum;
    ULONG Maximum;
} REGISTRY_PARAMETER_ENTRY, *PREGISTRY_PARAMETER_ENTRY;
typedef const REGISTRY_PARAMETER_ENTRY* PCREGISTRY_PARAMETER_ENTRY;

// The table, in the order the rows are read.
extern const REGISTRY_PARAMETER_ENTRY g_RegistryParameterTable[REGISTRY_PARAMETER_COUNT];

// ---- string block -------------------------------------------------------------------------------

// Indexes of the string values in the string block.
enum REGISTRY_STRING_INDEX : ULONG {
    REGISTRY_STRING_SSID = 0,
    REGISTRY_STRING_VENDOR_DESC,
    REGISTRY_STRING_WEP_KEY1,
    REGISTRY_STRING_WEP_KEY2,
    REGISTRY_STRING_WEP_KEY3,
    REGISTRY_STRING_WEP_KEY4,
    REGISTRY_STRING_NETWORK_ADDRESS,
    REGISTRY_STRING_WPS_DEV_NAME,
    REGISTRY_STRING_COUNTRY_REGION,
    REGISTRY_STRING_ADAP_SCAN,
    REGISTRY_STRING_CSS_CODE,
    REGISTRY_STRING_WF_BIG_FW_FILE_NAME,
    REGISTRY_STRING_BT_BIG_FW_FILE_NAME,
    REGISTRY_STRING_BT_SERVICE_NAME,
    REGISTRY_STRING_COUNT
};

// Largest capacity of a string of the block, in bytes.
#define REGISTRY_STRING_MAX_BYTES 256

// Capacity in bytes of each string of the block, by index.
extern const USHORT g_RegistryStringCapacity[REGISTRY_STRING_COUNT];

// The 14 string values as counted UTF-16 strings. Each string's MaximumLength is its capacity;
// its buffer has room for one more character, which always holds a terminating zero.
typedef struct _REGISTRY_STRING_BLOCK {
    UNICODE_STRING Strings[REGISTRY_STRING_COUNT];
    WCHAR Storage[REGISTRY_STRING_COUNT][REGISTRY_STRING_MAX_BYTES / sizeof(WCHAR) + 1];
} REGISTRY_STRING_BLOCK, *PREGISTRY_STRING_BLOCK;
typedef const REGISTRY_STRING_BLOCK* PCREGISTRY_STRING_BLOCK;

// The one string block of the driver (not one per device).
extern REGISTRY_STRING_BLOCK g_RegistryStringBlock;

// Empties every string and sets its capacity and buffer; done at the start of each read.
void RegistryStringBlockInit(PREGISTRY_STRING_BLOCK strings);

// Copies a string value into the block, cut to the string's capacity (and to whole characters).
// An index outside the block gives STATUS_INVALID_PARAMETER and changes nothing.
NTSTATUS RegistryStoreString(PREGISTRY_STRING_BLOCK strings, ULONG index, PCWSTR text, ULONG lengthBytes);

// ---- integer rows -------------------------------------------------------------------------------

// Stores one integer row into the block: a value that is missing (present FALSE) or lies outside
// the row's range takes the row's default, silently; the result is stored in the row's 1, 2 or 4
// bytes. A string row or a row of another kind gives STATUS_OBJECT_TYPE_MISMATCH (a failed query);
// a row whose size or destination does not fit the block gives STATUS_INVALID_PARAMETER. Nothing
// is written on failure. *stored (optional) receives the value chosen before it is narrowed.
NTSTATUS RegistryStoreInteger(PREGISTRY_BLOCK block, PCREGISTRY_PARAMETER_ENTRY row, BOOLEAN present, ULONG value,
                              PULONG stored);

// Reads back the integer a row names from the block (0 for a row that is not an integer row).
ULONG RegistryReadInteger(const REGISTRY_BLOCK* block, PCREGISTRY_PARAMETER_ENTRY row);

// ---- derived values -----------------------------------------------------------------------------

// The country code: the first letter in the low byte, the second in the high byte.
#define REGISTRY_COUNTRY_CODE(first, second) static_cast<USHORT>((first) | ((second) << 8))
#define REGISTRY_DEFAULT_COUNTRY_CODE REGISTRY_COUNTRY_CODE('U', 'S')

// "CountryRegionString": the first two characters, upper-cased; when both are letters A-Z they
// give the code, otherwise the code is "US".
USHORT RegistryParseCountryCode(PCUNICODE_STRING text);

// "CSSCode": the first character upper-cased when it is a letter A-Z, otherwise 'D'.
#define REGISTRY_DEFAULT_CSS_CODE 'D'
UCHAR RegistryParseCssCode(PCUNICODE_STRING text);

// Hexadecimal digit "0"-"9", "A"-"F", "a"-"f" to 0..15; anything else gives 0xFF.
UCHAR AsciiHexToNibble(CHAR character);
// Two characters per byte, high nibble first. Stops at the first character that is not a
// hexadecimal digit (a terminating zero included) with STATUS_INVALID_PARAMETER; the bytes
// before it are written.
NTSTATUS AsciiHexToBytes(PCSTR text, PUCHAR bytes, ULONG count);

// "NetworkAddress": a text longer than 11 characters keeps only its hexadecimal digits; 12 or 13
// digits give the address from the first 12. Any other count gives STATUS_INVALID_PARAMETER.
// A group, all-zero or broadcast address is refused with STATUS_INVALID_ADDRESS: none of them
// can be a station's own address. The address is written only on success.
#define REGISTRY_MAC_ADDRESS_LENGTH 6
NTSTATUS RegistryParseNetworkAddress(PCUNICODE_STRING text, UCHAR address[REGISTRY_MAC_ADDRESS_LENGTH]);

// "Radio" split into its four bytes.
void RegistrySplitRadio(ULONG radio, PREGISTRY_RADIO_STATE state);
// The value written back: firmware × 8 + radio on × 4 + hardware × 2 + software.
ULONG RegistryJoinRadio(const REGISTRY_RADIO_STATE* state);

// "VendorDesc" converted to 8-bit text of at most 64 characters; an empty value gives
// "IEEE 802.11n Wireless Card." with length 28 (the text and its terminating zero).
#define REGISTRY_VENDOR_DESC_MAX 64
void RegistryParseVendorDesc(PCUNICODE_STRING text, PUCHAR length, CHAR description[REGISTRY_VENDOR_DESC_MAX]);

// "WPSDevName" converted to 8-bit text of at most 32 characters; an empty value gives
// "Telvar Client" with length 14.
#define REGISTRY_WPS_DEV_NAME_MAX 32
void RegistryParseWpsDeviceName(PCUNICODE_STRING text, PUCHAR length, CHAR name[REGISTRY_WPS_DEV_NAME_MAX]);

// Firmware names. With "FWBin" 1: the Wi-Fi container file name ("qzlwlan.dat" unless
// "WF_BigFWFileName" is set), the Bluetooth container file name ("qzlbt.dat" unless
// "BT_BigFWFileName" is set) and the Bluetooth filter service name ("ZUDEVIzirero64" unless
// "BT_ServiceName" is set); the full paths follow from the service image paths. With any other
// "FWBin" the Wi-Fi container path is the fixed temporary file and no Bluetooth name is set.
void RegistryChooseFirmwareNames(PCREGISTRY_STRING_BLOCK strings, ULONG fwBin, PREGISTRY_BLOCK block);

// The path of a file beside another: `path` cut at its last backslash, then a backslash and
// `name`, zero-terminated in `out`. A path without a backslash gives STATUS_OBJECT_PATH_NOT_FOUND;
// a result that does not fit `outChars` (terminating zero included) gives STATUS_BUFFER_TOO_SMALL,
// since a shortened path would name another file. On failure `out` holds an empty string.
NTSTATUS RegistryBuildSiblingPath(PCWSTR path, ULONG pathChars, PCWSTR name, ULONG nameChars, PWCHAR out,
                                  ULONG outChars);

// The channel of an access point started at bring-up. `entries` is the adapter's channel list,
// `count` entries of `entrySize` bytes whose first byte is the channel number; `systemTime` is the
// 100-nanosecond system clock. With "ChannelMode" 2 a channel above the leading 2.4 GHz run is
// drawn; otherwise (and when the list has no such channel) channel 1, 6 or 11 when the list runs
// from 1 past 10, else one of the leading 2.4 GHz channels. An empty list gives STATUS_NOT_FOUND
// and leaves *channel unchanged.
NTSTATUS RegistryChooseApChannel(const UCHAR* entries, ULONG entrySize, ULONG count, ULONG channelMode,
                                 ULONGLONG systemTime, PUCHAR channel);

// The HT fields a port derives from "BACapability": bits 24-25 give the SM power save bits 2-3
// of both capability words, bit 23 their maximum A-MSDU length bit 11, bit 22 the delayed block
// ack bit 10 of the first word only; bits 19-21 give the minimum MPDU start spacing (bits 2-4) of
// both A-MPDU parameter bytes, and the first byte's maximum A-MPDU length exponent (bits 0-1)
// becomes 3. Other bits are kept.
void RegistryApplyBaCapabilityToHt(ULONG baCapability, PREGISTRY_HT_SETTINGS ht);

// The WPS version rule: the working "WSCVersion2" is saved; bit 0 of the working "WSC20Testbed"
// makes the working version 0x57; a working version below 0x20 sets bit 2 of "WSC20Testbed".
void RegistryApplyWpsVersionRule(PUCHAR workingVersion, PUCHAR savedVersion, PULONG workingTestbed);
