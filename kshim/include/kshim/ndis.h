// The NDIS subset: events, sleep, the reader-writer lock, the version, memory descriptor lists,
// net buffer list and net buffer records and their pools, and the NDIS file calls.
#pragma once

#include "kshim/ke.h"
#include "kshim/rtl.h"

typedef PVOID NDIS_HANDLE, *PNDIS_HANDLE;
typedef UNICODE_STRING NDIS_STRING, *PNDIS_STRING;
typedef PHYSICAL_ADDRESS NDIS_PHYSICAL_ADDRESS, *PNDIS_PHYSICAL_ADDRESS;
typedef NDIS_STATUS* PNDIS_STATUS;
typedef unsigned int UINT, *PUINT;

#define NDIS_STATUS_SUCCESS ((NDIS_STATUS)STATUS_SUCCESS)
#define NDIS_STATUS_PENDING ((NDIS_STATUS)STATUS_PENDING)
#define NDIS_STATUS_FAILURE ((NDIS_STATUS)STATUS_UNSUCCESSFUL)
#define NDIS_STATUS_RESOURCES ((NDIS_STATUS)STATUS_INSUFFICIENT_RESOURCES)
#define NDIS_STATUS_INVALID_PARAMETER ((NDIS_STATUS)STATUS_INVALID_PARAMETER)

// Receive packet types of a packet filter.
#define NDIS_PACKET_TYPE_DIRECTED 0x00000001u
#define NDIS_PACKET_TYPE_MULTICAST 0x00000002u
#define NDIS_PACKET_TYPE_ALL_MULTICAST 0x00000004u
#define NDIS_PACKET_TYPE_BROADCAST 0x00000008u

// ---- events ----------------------------------------------------------------------------------------
typedef struct _NDIS_EVENT {
    KEVENT Event;  // a notification event
} NDIS_EVENT, *PNDIS_EVENT;

void NdisInitializeEvent(PNDIS_EVENT event);
void NdisSetEvent(PNDIS_EVENT event);
void NdisResetEvent(PNDIS_EVENT event);
// msToWait 0 waits forever. TRUE only when the event was signalled. PASSIVE_LEVEL only.
BOOLEAN NdisWaitEvent(PNDIS_EVENT event, UINT32 msToWait);

// Sleeps at PASSIVE_LEVEL.
void NdisMSleep(ULONG microseconds);

// The NDIS version of the running OS: major in the high 16 bits (e.g. 0x0006001E).
UINT32 NdisGetVersion();

// ---- reader-writer lock ------------------------------------------------------------------------------
// Zero-initialised storage is an unlocked lock. Acquiring raises to DISPATCH_LEVEL; the lock state
// keeps the previous level and the kind of hold.
typedef struct _NDIS_RW_LOCK {
    std::atomic<LONG> State;  // -1 held for writing, else the number of readers
} NDIS_RW_LOCK, *PNDIS_RW_LOCK;

typedef struct _LOCK_STATE {
    KIRQL OldIrql;
    UCHAR Write;
} LOCK_STATE, *PLOCK_STATE;

void NdisInitializeReadWriteLock(PNDIS_RW_LOCK lock);
void NdisAcquireReadWriteLock(PNDIS_RW_LOCK lock, BOOLEAN write, PLOCK_STATE lockState);
void NdisReleaseReadWriteLock(PNDIS_RW_LOCK lock, PLOCK_STATE lockState);

// ---- memory descriptor lists ---------------------------------------------------------------------------
// Describes one virtually contiguous buffer: the page it starts in, the offset in that page and
// the byte count; MappedSystemVa is the buffer's address once the MDL is built or mapped.
#define PAGE_SIZE 0x1000u
#define PAGE_ALIGN(va) ((PVOID)((ULONG_PTR)(va) & ~((ULONG_PTR)PAGE_SIZE - 1)))
#define BYTE_OFFSET(va) ((ULONG)((ULONG_PTR)(va) & ((ULONG_PTR)PAGE_SIZE - 1)))

#define MDL_MAPPED_TO_SYSTEM_VA 0x0001
#define MDL_SOURCE_IS_NONPAGED_POOL 0x0004

typedef struct _MDL {
    struct _MDL* Next;
    SHORT Size;
    SHORT MdlFlags;
    PVOID StartVa;  // page base
    ULONG ByteCount;
    ULONG ByteOffset;  // in the first page
    PVOID MappedSystemVa;
} MDL, *PMDL;

typedef enum _MM_PAGE_PRIORITY { LowPagePriority = 0, NormalPagePriority = 16, HighPagePriority = 32 } MM_PAGE_PRIORITY;
#define MdlMappingNoExecute 0x40000000

// Sets an MDL up for the buffer (not yet mapped).
#define MmInitializeMdl(mdl, baseVa, length)                                                       \
    do {                                                                                           \
        (mdl)->Next = nullptr;                                                                     \
        (mdl)->Size = (SHORT)sizeof(MDL);                                                          \
        (mdl)->MdlFlags = 0;                                                                       \
        (mdl)->StartVa = PAGE_ALIGN(baseVa);                                                       \
        (mdl)->ByteOffset = BYTE_OFFSET(baseVa);                                                   \
        (mdl)->ByteCount = (ULONG)(length);                                                        \
        (mdl)->MappedSystemVa = nullptr;                                                           \
    } while (0)
#define MmGetMdlVirtualAddress(mdl) ((PVOID)((PUCHAR)(mdl)->StartVa + (mdl)->ByteOffset))
#define MmGetMdlByteCount(mdl) ((mdl)->ByteCount)
#define MmGetMdlByteOffset(mdl) ((mdl)->ByteOffset)
#define NDIS_MDL_LINKAGE(mdl) ((mdl)->Next)

// Marks an MDL over non-paged memory as mapped: MappedSystemVa = StartVa + ByteOffset.
void MmBuildMdlForNonPagedPool(PMDL mdl);
// The buffer's system address (mapping the MDL when it is not yet mapped).
PVOID MmGetSystemAddressForMdlSafe(PMDL mdl, ULONG priority);
// An MDL for the buffer, from the pool (tag "Mdl "); nullptr when the pool refuses. A secondary
// MDL is appended to the chain of the request when one is given (not supported: nullptr).
PMDL IoAllocateMdl(PVOID virtualAddress, ULONG length, BOOLEAN secondaryBuffer, BOOLEAN chargeQuota,
                   struct _IRP* irp);
void IoFreeMdl(PMDL mdl);
// The NDIS pair: an MDL over the buffer, already built for non-paged memory.
PMDL NdisAllocateMdl(NDIS_HANDLE ndisHandle, PVOID virtualAddress, UINT length);
void NdisFreeMdl(PMDL mdl);

// ---- net buffers and net buffer lists -------------------------------------------------------------------
typedef struct _NET_BUFFER {
    struct _NET_BUFFER* Next;
    PMDL CurrentMdl;
    ULONG CurrentMdlOffset;
    ULONG DataLength;
    PMDL MdlChain;
    ULONG DataOffset;
    PVOID MiniportReserved[4];
    PVOID ProtocolReserved[6];
    NDIS_HANDLE NdisPoolHandle;  // the pool the net buffer came from
} NET_BUFFER, *PNET_BUFFER;

// Context area of a net buffer list (allocated with the list when a context size is asked for).
typedef struct _NET_BUFFER_LIST_CONTEXT {
    struct _NET_BUFFER_LIST_CONTEXT* Next;
    USHORT Size;
    USHORT Offset;
    UCHAR ContextData[1];
} NET_BUFFER_LIST_CONTEXT, *PNET_BUFFER_LIST_CONTEXT;

typedef struct _NET_BUFFER_LIST {
    struct _NET_BUFFER_LIST* Next;  // next list of a chain
    PNET_BUFFER FirstNetBuffer;
    PNET_BUFFER_LIST_CONTEXT Context;  // the context word: null unless a context was allocated
    struct _NET_BUFFER_LIST* ParentNetBufferList;
    NDIS_HANDLE NdisPoolHandle;
    PVOID MiniportReserved[2];
    PVOID ProtocolReserved[4];
    NDIS_HANDLE SourceHandle;
    ULONG Flags;
    NDIS_STATUS Status;
    ULONG NblFlags;
    LONG ChildRefCount;
    ULONG UserPriority;  // 802.1p priority of the frames (low bits)
} NET_BUFFER_LIST, *PNET_BUFFER_LIST;

#define NET_BUFFER_NEXT_NB(nb) ((nb)->Next)
#define NET_BUFFER_FIRST_MDL(nb) ((nb)->MdlChain)
#define NET_BUFFER_CURRENT_MDL(nb) ((nb)->CurrentMdl)
#define NET_BUFFER_CURRENT_MDL_OFFSET(nb) ((nb)->CurrentMdlOffset)
#define NET_BUFFER_DATA_LENGTH(nb) ((nb)->DataLength)
#define NET_BUFFER_DATA_OFFSET(nb) ((nb)->DataOffset)
#define NET_BUFFER_MINIPORT_RESERVED(nb) ((nb)->MiniportReserved)
#define NET_BUFFER_PROTOCOL_RESERVED(nb) ((nb)->ProtocolReserved)

#define NET_BUFFER_LIST_NEXT_NBL(nbl) ((nbl)->Next)
#define NET_BUFFER_LIST_FIRST_NB(nbl) ((nbl)->FirstNetBuffer)
#define NET_BUFFER_LIST_STATUS(nbl) ((nbl)->Status)
#define NET_BUFFER_LIST_FLAGS(nbl) ((nbl)->Flags)
#define NET_BUFFER_LIST_NBL_FLAGS(nbl) ((nbl)->NblFlags)
#define NET_BUFFER_LIST_CONTEXT(nbl) ((nbl)->Context)
#define NET_BUFFER_LIST_CONTEXT_DATA_START(nbl) ((PVOID)((nbl)->Context->ContextData + (nbl)->Context->Offset))
#define NET_BUFFER_LIST_CONTEXT_DATA_SIZE(nbl) ((ULONG)((nbl)->Context->Size - (nbl)->Context->Offset))
#define NET_BUFFER_LIST_MINIPORT_RESERVED(nbl) ((nbl)->MiniportReserved)
#define NET_BUFFER_LIST_PROTOCOL_RESERVED(nbl) ((nbl)->ProtocolReserved)
#define NET_BUFFER_LIST_USER_PRIORITY(nbl) ((nbl)->UserPriority)

// ---- pools -----------------------------------------------------------------------------------------------
typedef struct _NDIS_OBJECT_HEADER {
    UCHAR Type;
    UCHAR Revision;
    USHORT Size;
} NDIS_OBJECT_HEADER, *PNDIS_OBJECT_HEADER;

#define NDIS_OBJECT_TYPE_DEFAULT 0x80
#define NDIS_PROTOCOL_ID_DEFAULT 0x00

typedef struct _NET_BUFFER_LIST_POOL_PARAMETERS {
    NDIS_OBJECT_HEADER Header;  // NDIS_OBJECT_TYPE_DEFAULT, revision 1, size of this record
    UCHAR ProtocolId;
    BOOLEAN fAllocateNetBuffer;  // each list comes with one net buffer
    USHORT ContextSize;          // context bytes allocated with each list (0: none)
    ULONG PoolTag;
    ULONG DataSize;  // 0: no data buffer (the only kind the stand-in provides)
} NET_BUFFER_LIST_POOL_PARAMETERS, *PNET_BUFFER_LIST_POOL_PARAMETERS;
#define NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1 1
#define NDIS_SIZEOF_NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1 sizeof(NET_BUFFER_LIST_POOL_PARAMETERS)

typedef struct _NET_BUFFER_POOL_PARAMETERS {
    NDIS_OBJECT_HEADER Header;  // NDIS_OBJECT_TYPE_DEFAULT, revision 1, size of this record
    ULONG PoolTag;
    ULONG DataSize;  // 0: no data buffer
} NET_BUFFER_POOL_PARAMETERS, *PNET_BUFFER_POOL_PARAMETERS;
#define NET_BUFFER_POOL_PARAMETERS_REVISION_1 1
#define NDIS_SIZEOF_NET_BUFFER_POOL_PARAMETERS_REVISION_1 sizeof(NET_BUFFER_POOL_PARAMETERS)

// Pools hand out zeroed records from the tagged pool (the pool's tag), so pool fault points and
// leak reports cover them. Every call is allowed up to DISPATCH_LEVEL. A pool freed while records
// are still out (the pool is then kept), or a record freed to the wrong kind of pool, is a
// strict-mode failure.
NDIS_HANDLE NdisAllocateNetBufferListPool(NDIS_HANDLE ndisHandle, PNET_BUFFER_LIST_POOL_PARAMETERS parameters);
void NdisFreeNetBufferListPool(NDIS_HANDLE poolHandle);
NDIS_HANDLE NdisAllocateNetBufferPool(NDIS_HANDLE ndisHandle, PNET_BUFFER_POOL_PARAMETERS parameters);
void NdisFreeNetBufferPool(NDIS_HANDLE poolHandle);

// A list without net buffers (context as asked).
PNET_BUFFER_LIST NdisAllocateNetBufferList(NDIS_HANDLE poolHandle, USHORT contextSize, USHORT contextBackFill);
// A list with one net buffer over the MDL chain (the pool must allocate net buffers).
PNET_BUFFER_LIST NdisAllocateNetBufferAndNetBufferList(NDIS_HANDLE poolHandle, USHORT contextSize,
                                                       USHORT contextBackFill, PMDL mdlChain, ULONG dataOffset,
                                                       SIZE_T dataLength);
// Frees the list with its context and the net buffer allocated with it; net buffers from a net
// buffer pool must be freed to that pool first.
void NdisFreeNetBufferList(PNET_BUFFER_LIST netBufferList);
PNET_BUFFER NdisAllocateNetBuffer(NDIS_HANDLE poolHandle, PMDL mdlChain, ULONG dataOffset, SIZE_T dataLength);
void NdisFreeNetBuffer(PNET_BUFFER netBuffer);

// ---- 802.11 receive context of a buffer list (extensible-station mode) --------------------------------
// What a miniport tells the OS about a received 802.11 frame beside its data; natural alignment.
#define DOT11_EXTSTA_RECV_CONTEXT_REVISION_1 1
#define DOT11_RECV_FLAG_RAW_PACKET 0x00000001u           // the frame was received by an access-point port
#define DOT11_RECV_FLAG_RAW_PACKET_TIMESTAMP 0x00000004u  // the timestamp field holds a value
typedef struct _DOT11_EXTSTA_RECV_CONTEXT {
    NDIS_OBJECT_HEADER Header;       // NDIS_OBJECT_TYPE_DEFAULT, revision 1, size 48
    ULONG uReceiveFlags;
    ULONG uPhyId;
    ULONG uChCenterFrequency;        // MHz
    USHORT usNumberOfMPDUsReceived;
    LONG lRSSI;                      // dBm
    UCHAR ucDataRate;
    ULONG uSizeMediaSpecificInfo;
    PVOID pvMediaSpecificInfo;
    ULONGLONG ullTimestamp;
} DOT11_EXTSTA_RECV_CONTEXT, *PDOT11_EXTSTA_RECV_CONTEXT;
static_assert(sizeof(DOT11_EXTSTA_RECV_CONTEXT) == 48, "the receive context is 48 bytes");

// ---- files -----------------------------------------------------------------------------------------------
// Opens a file for reading its whole content: a bare name (no leading backslash) is taken below
// "\SystemRoot\System32\drivers\"; a name with a leading backslash is a full name. The file's length
// comes back in fileLength. PASSIVE_LEVEL only.
void NdisOpenFile(PNDIS_STATUS status, PNDIS_HANDLE fileHandle, PUINT fileLength, PNDIS_STRING fileName,
                  NDIS_PHYSICAL_ADDRESS highestAcceptableAddress);
// The whole content (fileLength bytes) until NdisUnmapFile; a second map before the unmap fails.
void NdisMapFile(PNDIS_STATUS status, PVOID* mappedBuffer, NDIS_HANDLE fileHandle);
void NdisUnmapFile(NDIS_HANDLE fileHandle);
void NdisCloseFile(NDIS_HANDLE fileHandle);
