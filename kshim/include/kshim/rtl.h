// Run-time library: counted strings and their conversions, bounded formatting into narrow and wide
// buffers, time fields, the OS version record, and the object attributes every named open takes.
//
// Character sets: WCHAR is UTF-16 (char16_t). The narrow ("ANSI") code page of this platform is
// Latin-1: a narrow byte becomes the UTF-16 unit of the same value, and a UTF-16 unit above 0xFF
// becomes '?' when converted to narrow text.
#pragma once

#include <cstdarg>

#include "kshim/nt_types.h"

#ifndef STATUS_INVALID_PARAMETER_2
#define STATUS_INVALID_PARAMETER_2 ((NTSTATUS)0xC00000F0L)
#endif

// ---- object attributes -------------------------------------------------------------------------------
// Names the object a Zw open or create call acts on: an absolute name, or a name relative to an
// open directory (a registry key handle).
typedef struct _OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;
typedef const OBJECT_ATTRIBUTES* PCOBJECT_ATTRIBUTES;

#define OBJ_INHERIT 0x00000002L
#define OBJ_CASE_INSENSITIVE 0x00000040L
#define OBJ_OPENIF 0x00000080L
#define OBJ_KERNEL_HANDLE 0x00000200L

#define InitializeObjectAttributes(p, n, a, r, s)                                                  \
    do {                                                                                           \
        (p)->Length = sizeof(OBJECT_ATTRIBUTES);                                                   \
        (p)->RootDirectory = (r);                                                                  \
        (p)->Attributes = (a);                                                                     \
        (p)->ObjectName = (n);                                                                     \
        (p)->SecurityDescriptor = (s);                                                             \
        (p)->SecurityQualityOfService = nullptr;                                                   \
    } while (0)

// ---- counted strings ---------------------------------------------------------------------------------
// Points the counted string at a terminated text (no copy). Length excludes the terminator,
// MaximumLength includes it; a null source gives an empty string with no buffer.
void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source);
void RtlInitAnsiString(PANSI_STRING destination, PCSTR source);
void RtlInitString(PSTRING destination, PCSTR source);

// Copies as much of the source as the destination holds; terminates when there is room.
void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source);
// Append a terminated text / a counted string. STATUS_BUFFER_TOO_SMALL (nothing appended) when
// the result would not fit the destination's capacity; terminates when there is room.
NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source);
NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING destination, PCUNICODE_STRING source);

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInSensitive);
// Below zero when a sorts before b, zero when equal, above zero after.
LONG RtlCompareUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInSensitive);
WCHAR RtlUpcaseUnicodeChar(WCHAR c);

// UTF-16 to narrow text. With allocate TRUE the buffer comes from the pool (free it with
// RtlFreeAnsiString); otherwise the destination's buffer is filled up to its capacity and a result
// that does not fit gives STATUS_BUFFER_OVERFLOW. The result is terminated when there is room.
NTSTATUS RtlUnicodeStringToAnsiString(PANSI_STRING destination, PCUNICODE_STRING source, BOOLEAN allocate);
void RtlFreeAnsiString(PANSI_STRING string);
// Narrow text to UTF-16, the same rules; free an allocated result with RtlFreeUnicodeString.
NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING destination, PCANSI_STRING source, BOOLEAN allocate);
void RtlFreeUnicodeString(PUNICODE_STRING string);

// Reads an optionally signed number after leading blanks. Base 0 means 10 unless the digits start
// with 0x (16), 0o (8) or 0b (2); bases 2, 8, 10 and 16 are accepted. Reading stops at the first
// character that is not a digit of the base; no digit at all is STATUS_INVALID_PARAMETER.
NTSTATUS RtlUnicodeStringToInteger(PCUNICODE_STRING string, ULONG base, PULONG value);
// Writes the number (base 0 = 10; 2, 8, 10, 16; upper-case hex) into the string's buffer;
// STATUS_BUFFER_OVERFLOW when the digits do not fit. Terminates when there is room.
NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string);

// ---- bounded formatting ------------------------------------------------------------------------------
// The platform's safe-string functions. The destination is always terminated (unless its size is
// 0, which is STATUS_INVALID_PARAMETER); a result cut to fit gives STATUS_BUFFER_OVERFLOW.
// Formats follow the platform's conventions: flags "-+ 0#", width and precision (also "*"), sizes
// hh, h, l (32 bits, as LONG), ll and I64 (64 bits), I and z (pointer-sized), w (wide); conversions
// d i u x X o c C s S Z p and %%. In a narrow format %s is a narrow text and %ws / %S a wide one;
// in a wide format %s is a wide text and %hs / %S a narrow one. %Z takes a PANSI_STRING, %wZ a
// PUNICODE_STRING. A null text prints "(null)". An unknown conversion is copied as it stands.
#define NTSTRSAFE_MAX_CCH 2147483647

NTSTATUS RtlStringCbPrintfA(PSTR destination, SIZE_T cbDestination, PCSTR format, ...);
NTSTATUS RtlStringCbPrintfW(PWSTR destination, SIZE_T cbDestination, PCWSTR format, ...);
NTSTATUS RtlStringCbVPrintfA(PSTR destination, SIZE_T cbDestination, PCSTR format, va_list args);
NTSTATUS RtlStringCbVPrintfW(PWSTR destination, SIZE_T cbDestination, PCWSTR format, va_list args);
// Copy a terminated text; cut (and terminated) with STATUS_BUFFER_OVERFLOW when it does not fit.
NTSTATUS RtlStringCbCopyA(PSTR destination, SIZE_T cbDestination, PCSTR source);
NTSTATUS RtlStringCbCopyW(PWSTR destination, SIZE_T cbDestination, PCWSTR source);
// Length in bytes without the terminator; STATUS_INVALID_PARAMETER (length 0) when there is no
// terminator within cbMax bytes.
NTSTATUS RtlStringCbLengthA(PCSTR text, SIZE_T cbMax, PSIZE_T cbLength);
NTSTATUS RtlStringCbLengthW(PCWSTR text, SIZE_T cbMax, PSIZE_T cbLength);

// ---- time fields -------------------------------------------------------------------------------------
typedef SHORT CSHORT;
typedef struct _TIME_FIELDS {
    CSHORT Year;          // 1601...
    CSHORT Month;         // 1..12
    CSHORT Day;           // 1..31
    CSHORT Hour;          // 0..23
    CSHORT Minute;        // 0..59
    CSHORT Second;        // 0..59
    CSHORT Milliseconds;  // 0..999
    CSHORT Weekday;       // 0 = Sunday
} TIME_FIELDS, *PTIME_FIELDS;

// A time in 100 ns units since 1601-01-01 to calendar fields and back. RtlTimeFieldsToTime
// answers FALSE for fields outside their ranges (the weekday is not looked at).
void RtlTimeToTimeFields(PLARGE_INTEGER time, PTIME_FIELDS timeFields);
BOOLEAN RtlTimeFieldsToTime(PTIME_FIELDS timeFields, PLARGE_INTEGER time);

// ---- version -----------------------------------------------------------------------------------------
typedef struct _OSVERSIONINFOW {
    ULONG dwOSVersionInfoSize;  // set by the caller
    ULONG dwMajorVersion;
    ULONG dwMinorVersion;
    ULONG dwBuildNumber;
    ULONG dwPlatformId;
    WCHAR szCSDVersion[128];
} RTL_OSVERSIONINFOW, *PRTL_OSVERSIONINFOW, OSVERSIONINFOW, *POSVERSIONINFOW;

#define VER_PLATFORM_WIN32_NT 2

// Fills the record with the running OS's version (a harness option). STATUS_INVALID_PARAMETER when
// the caller's size field is smaller than the record.
NTSTATUS RtlGetVersion(PRTL_OSVERSIONINFOW versionInformation);
