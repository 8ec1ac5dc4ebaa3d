// Registry keys and values. The stand-in keeps the registry in memory (loaded by the harness from
// a small text form); key paths and value names compare without regard to case. Every call here
// may block: PASSIVE_LEVEL only. Key handles are closed with ZwClose.
#pragma once

#include "kshim/ke.h"
#include "kshim/rtl.h"

#ifndef STATUS_KEY_DELETED
#define STATUS_KEY_DELETED ((NTSTATUS)0xC000017CL)
#endif

// ---- access rights ---------------------------------------------------------------------------------
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_ALL_ACCESS 0x000F003Fu
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define MAXIMUM_ALLOWED 0x02000000u
#define SYNCHRONIZE 0x00100000u
#endif

// ---- value types -------------------------------------------------------------------------------------
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// ---- key creation ------------------------------------------------------------------------------------
#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_OPTION_VOLATILE 0x00000001u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

// ---- value information -------------------------------------------------------------------------------
typedef enum _KEY_VALUE_INFORMATION_CLASS {
    KeyValueFullInformation = 1,
    KeyValuePartialInformation = 2,
} KEY_VALUE_INFORMATION_CLASS;

// The fixed part is 12 bytes (FIELD_OFFSET(..., Data)); the data follows.
typedef struct _KEY_VALUE_PARTIAL_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG DataLength;
    UCHAR Data[1];
} KEY_VALUE_PARTIAL_INFORMATION, *PKEY_VALUE_PARTIAL_INFORMATION;
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12, "partial information fixed part is 12 bytes");

// The fixed part is 20 bytes (FIELD_OFFSET(..., Name)); the name (UTF-16, not terminated) follows,
// then the data at DataOffset from the start of the record (4-byte aligned).
typedef struct _KEY_VALUE_FULL_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG DataOffset;
    ULONG DataLength;
    ULONG NameLength;  // bytes
    WCHAR Name[1];
} KEY_VALUE_FULL_INFORMATION, *PKEY_VALUE_FULL_INFORMATION;
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, Name) == 20, "full information fixed part is 20 bytes");

// ---- calls -------------------------------------------------------------------------------------------
// Opens an existing key: STATUS_OBJECT_NAME_NOT_FOUND when it does not exist. The name is absolute
// ("\Registry\Machine\...") or, with a root key handle in the attributes, relative to that key.
NTSTATUS ZwOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes);
// Opens the key or creates it; its parent must exist (STATUS_OBJECT_NAME_NOT_FOUND otherwise).
// The disposition (optional) tells REG_CREATED_NEW_KEY from REG_OPENED_EXISTING_KEY.
NTSTATUS ZwCreateKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                     ULONG titleIndex, PUNICODE_STRING className, ULONG createOptions, PULONG disposition);
// Answers a value's information. With a buffer smaller than the fixed part: STATUS_BUFFER_TOO_SMALL
// and the needed length in resultLength. With the fixed part but not all of the data:
// STATUS_BUFFER_OVERFLOW, the fixed part filled (DataLength is the full length), as much data as
// fits, and the needed length. A missing value is STATUS_OBJECT_NAME_NOT_FOUND.
NTSTATUS ZwQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                         KEY_VALUE_INFORMATION_CLASS keyValueInformationClass, PVOID keyValueInformation,
                         ULONG length, PULONG resultLength);
NTSTATUS ZwSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type, PVOID data,
                       ULONG dataSize);
NTSTATUS ZwDeleteValueKey(HANDLE keyHandle, PUNICODE_STRING valueName);
