// Base types, status codes, counted strings and checked doubly linked lists of the kernel platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// ---- scalar types --------------------------------------------------------------------------------
typedef void VOID;
typedef void* PVOID;
typedef const void* PCVOID;
typedef uint8_t UCHAR, BYTE, BOOLEAN, *PUCHAR, *PBOOLEAN;
typedef char CHAR, *PCHAR;
typedef const char* PCSTR;
typedef char* PSTR;
typedef uint16_t USHORT, WORD, *PUSHORT;
typedef int16_t SHORT;
typedef uint32_t ULONG, DWORD, UINT32, *PULONG;
typedef int32_t LONG, INT32, *PLONG;
typedef uint64_t ULONG64, ULONGLONG, UINT64, *PULONG64;
typedef int64_t LONG64, LONGLONG, INT64;
typedef uint8_t UINT8;
typedef uint16_t UINT16;
typedef uintptr_t ULONG_PTR, SIZE_T, *PULONG_PTR, *PSIZE_T;
typedef intptr_t LONG_PTR;
typedef char16_t WCHAR, *PWCHAR, *PWSTR;
typedef const char16_t* PCWSTR;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef ULONG ACCESS_MASK;
typedef LONG KPRIORITY;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define UNREFERENCED_PARAMETER(p) ((void)(p))

// ---- status values -------------------------------------------------------------------------------
typedef int32_t NTSTATUS;
typedef NTSTATUS* PNTSTATUS;
typedef NTSTATUS NDIS_STATUS;

#define NT_SUCCESS(s) (static_cast<NTSTATUS>(s) >= 0)

#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_WAIT_0 ((NTSTATUS)0x00000000L)
#define STATUS_TIMEOUT ((NTSTATUS)0x00000102L)
#define STATUS_PENDING ((NTSTATUS)0x00000103L)
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005L)
#define STATUS_NO_MORE_ENTRIES ((NTSTATUS)0x8000001AL)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001L)
#define STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002L)
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#define STATUS_END_OF_FILE ((NTSTATUS)0xC0000011L)
#define STATUS_NO_MEMORY ((NTSTATUS)0xC0000017L)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#define STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024L)
#define STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033L)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034L)
#define STATUS_OBJECT_NAME_COLLISION ((NTSTATUS)0xC0000035L)
#define STATUS_OBJECT_PATH_NOT_FOUND ((NTSTATUS)0xC000003AL)
#define STATUS_SHARING_VIOLATION ((NTSTATUS)0xC0000043L)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009AL)
#define STATUS_DEVICE_NOT_READY ((NTSTATUS)0xC00000A3L)
#define STATUS_IO_DEVICE_ERROR ((NTSTATUS)0xC0000185L)
#define STATUS_NOT_SUPPORTED ((NTSTATUS)0xC00000BBL)
#define STATUS_INTERNAL_ERROR ((NTSTATUS)0xC00000E5L)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_CANCELLED ((NTSTATUS)0xC0000120L)
#define STATUS_NOT_FOUND ((NTSTATUS)0xC0000225L)
#define STATUS_MEMORY_NOT_ALLOCATED ((NTSTATUS)0xC00000A0L)
#define STATUS_DEVICE_REMOVED ((NTSTATUS)0xC00002B6L)
#define STATUS_INVALID_DEVICE_STATE ((NTSTATUS)0xC0000184L)
#define STATUS_POWER_STATE_INVALID ((NTSTATUS)0xC00002D3L)
#define STATUS_INTEGER_OVERFLOW ((NTSTATUS)0xC0000095L)
#define STATUS_DATA_ERROR ((NTSTATUS)0xC000003EL)
#define STATUS_INVALID_IMAGE_FORMAT ((NTSTATUS)0xC000007BL)
#define STATUS_FILE_CORRUPT_ERROR ((NTSTATUS)0xC0000102L)
#define STATUS_INVALID_ADDRESS ((NTSTATUS)0xC0000141L)

// ---- 64-bit values -------------------------------------------------------------------------------
typedef union _LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    struct {
        ULONG LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
    struct {
        ULONG LowPart;
        ULONG HighPart;
    };
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef LARGE_INTEGER PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;

typedef struct _GUID {
    ULONG Data1;
    USHORT Data2;
    USHORT Data3;
    UCHAR Data4[8];
} GUID, *PGUID;
typedef const GUID* LPCGUID;

inline bool IsEqualGUID(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// ---- counted strings -----------------------------------------------------------------------------
// Lengths are in bytes; the buffer need not be terminated.
typedef struct _UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING* PCUNICODE_STRING;

typedef struct _STRING {
    USHORT Length;
    USHORT MaximumLength;
    PCHAR Buffer;
} STRING, ANSI_STRING, *PSTRING, *PANSI_STRING;
typedef const ANSI_STRING* PCANSI_STRING;

// A counted string over a literal: DECLARE_CONST_UNICODE_STRING(name, u"text").
#define DECLARE_CONST_UNICODE_STRING(name, text)                                                   \
    const UNICODE_STRING name = {sizeof(text) - sizeof(WCHAR), sizeof(text), const_cast<PWSTR>(text)}
#define RTL_CONSTANT_STRING(text)                                                                  \
    UNICODE_STRING { sizeof(text) - sizeof(WCHAR), sizeof(text), const_cast<PWSTR>(text) }

// ---- records -------------------------------------------------------------------------------------
#define CONTAINING_RECORD(address, type, field)                                                    \
    (reinterpret_cast<type*>(reinterpret_cast<PUCHAR>(address) - offsetof(type, field)))
#define FIELD_OFFSET(type, field) (static_cast<LONG>(offsetof(type, field)))
#define RTL_NUMBER_OF(a) (sizeof(a) / sizeof((a)[0]))
#define ARRAYSIZE(a) RTL_NUMBER_OF(a)

// ---- checked doubly linked lists -----------------------------------------------------------------
// Every change checks that the neighbours point back at the element; a corrupted list stops the
// system with a fast fail (KshimFastFail), as the platform's checked list operations do.
typedef struct _LIST_ENTRY {
    struct _LIST_ENTRY* Flink;
    struct _LIST_ENTRY* Blink;
} LIST_ENTRY, *PLIST_ENTRY;

typedef struct _SINGLE_LIST_ENTRY {
    struct _SINGLE_LIST_ENTRY* Next;
} SINGLE_LIST_ENTRY, *PSINGLE_LIST_ENTRY;

#define FAST_FAIL_CORRUPT_LIST_ENTRY 3

// Stops the system. A test may install a hook that unwinds instead (see kshim/host).
[[noreturn]] void KshimFastFail(ULONG code);

inline void InitializeListHead(PLIST_ENTRY head) { head->Flink = head->Blink = head; }

inline BOOLEAN IsListEmpty(const LIST_ENTRY* head) { return head->Flink == head; }

inline void KshimCheckListEntry(PLIST_ENTRY entry)
{
    if (entry->Flink->Blink != entry || entry->Blink->Flink != entry) {
        KshimFastFail(FAST_FAIL_CORRUPT_LIST_ENTRY);
    }
}

inline BOOLEAN RemoveEntryList(PLIST_ENTRY entry)
{
    PLIST_ENTRY next = entry->Flink;
    PLIST_ENTRY prev = entry->Blink;
    if (next->Blink != entry || prev->Flink != entry) {
        KshimFastFail(FAST_FAIL_CORRUPT_LIST_ENTRY);
    }
    prev->Flink = next;
    next->Blink = prev;
    return static_cast<BOOLEAN>(next == prev);
}

inline PLIST_ENTRY RemoveHeadList(PLIST_ENTRY head)
{
    PLIST_ENTRY entry = head->Flink;
    PLIST_ENTRY next = entry->Flink;
    if (entry->Blink != head || next->Blink != entry) {
        KshimFastFail(FAST_FAIL_CORRUPT_LIST_ENTRY);
    }
    head->Flink = next;
    next->Blink = head;
    return entry;
}

inline PLIST_ENTRY RemoveTailList(PLIST_ENTRY head)
{
    PLIST_ENTRY entry = head->Blink;
    PLIST_ENTRY prev = entry->Blink;
    if (entry->Flink != head || prev->Flink != entry) {
        KshimFastFail(FAST_FAIL_CORRUPT_LIST_ENTRY);
    }
    head->Blink = prev;
    prev->Flink = head;
    return entry;
}

inline void InsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry)
{
    PLIST_ENTRY prev = head->Blink;
    if (prev->Flink != head) {
        KshimFastFail(FAST_FAIL_CORRUPT_LIST_ENTRY);
    }
    entry->Flink = head;
    entry->Blink = prev;
    prev->Flink = entry;
    head->Blink = entry;
}

inline void InsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry)
{
    PLIST_ENTRY next = head->Flink;
    if (next->Blink != head) {
        KshimFastFail(FAST_FAIL_CORRUPT_LIST_ENTRY);
    }
    entry->Flink = next;
    entry->Blink = head;
    next->Blink = entry;
    head->Flink = entry;
}

inline PSINGLE_LIST_ENTRY PopEntryList(PSINGLE_LIST_ENTRY head)
{
    PSINGLE_LIST_ENTRY first = head->Next;
    if (first != nullptr) {
        head->Next = first->Next;
    }
    return first;
}

inline void PushEntryList(PSINGLE_LIST_ENTRY head, PSINGLE_LIST_ENTRY entry)
{
    entry->Next = head->Next;
    head->Next = entry;
}

// ---- memory helpers ------------------------------------------------------------------------------
#define RtlZeroMemory(d, n) std::memset((d), 0, (n))
#define RtlFillMemory(d, n, v) std::memset((d), (v), (n))
#define RtlCopyMemory(d, s, n) std::memcpy((d), (s), (n))
#define RtlMoveMemory(d, s, n) std::memmove((d), (s), (n))
#define RtlEqualMemory(a, b, n) (std::memcmp((a), (b), (n)) == 0)
#define NdisZeroMemory RtlZeroMemory
#define NdisMoveMemory RtlMoveMemory
#define NdisEqualMemory(a, b, n) (RtlEqualMemory(a, b, n) ? 1 : 0)
inline SIZE_T RtlCompareMemory(const void* a, const void* b, SIZE_T n)
{
    const UCHAR* pa = static_cast<const UCHAR*>(a);
    const UCHAR* pb = static_cast<const UCHAR*>(b);
    SIZE_T i = 0;
    while (i < n && pa[i] == pb[i]) {
        ++i;
    }
    return i;
}
