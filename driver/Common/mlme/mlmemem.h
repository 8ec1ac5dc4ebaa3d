// MLME frame buffers: the adapter-wide pool of 2048-byte buffers, the management header and frame
// builders, and the adapter's pseudo-random byte generator.
#pragma once

#include "Common/mlme/mlme_types.h"
#include "kshim/ke.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define MLME_BUFFER_INITIAL_BLOCKS 20
// Ends the (length, pointer) list of BuildFrameFromParts.
#define END_OF_ARGS 0xFFFFFFFFu

#define MGMT_HEADER_SIZE 24

// The 24-byte management MAC header.
#pragma pack(push, 1)
typedef struct _HEADER_802_11 {
    USHORT FrameControl;
    USHORT Duration;
    UCHAR Addr1[6];
    UCHAR Addr2[6];
    UCHAR Addr3[6];
    USHORT SequenceControl;
} HEADER_802_11, *PHEADER_802_11;
#pragma pack(pop)
static_assert(sizeof(HEADER_802_11) == MGMT_HEADER_SIZE, "a management header is 24 bytes");

// Creates blockCount blocks (the buffer size is always MLME_BUFFER_SIZE); the first allocation
// failure stops and is returned, the blocks made so far stay. The pool is ready in every case.
NTSTATUS MlmeInitMemoryHandler(PMP_ADAPTER adapter, ULONG blockCount, ULONG bufferSize);
// Hands out a buffer (growing the pool by one block when none is free); 0xC0000001 when the pool is
// not ready, the allocator's status when a new block cannot be made.
NTSTATUS MlmeAllocateMemoryEx(PMP_ADAPTER adapter, ULONG ownerTag, PUCHAR* buffer);
// Returns a buffer to the pool; a null buffer, a pool that is not ready, a block with a wrong magic
// or a buffer already returned is ignored with a trace.
void MlmeFreeMemory(PMP_ADAPTER adapter, PVOID buffer);
// Pool teardown: reclaims buffers still in use, frees every block.
void MlmeFreeMemoryHandler(PMP_ADAPTER adapter);

// Writes a management header: type management, the subtype, To DS from the argument, address 2 the
// port's own address, duration and sequence 0 (the firmware numbers frames).
VOID BuildMgmtMacHeader(PMP_ADAPTER adapter, PMP_PORT port, PHEADER_802_11 header, ULONG subtype, ULONG toDs,
                        const UCHAR* addr1, const UCHAR* addr3);
// Concatenates (ULONG length, const void* pointer) pairs ended by END_OF_ARGS into an MLME buffer
// and stores and returns the total length. A total above MLME_BUFFER_SIZE is refused: nothing is
// copied and 0 is stored and returned.
ULONG BuildFrameFromParts(PUCHAR buffer, PULONG frameLen, ...);

// Seeds the generator (0 becomes 1).
VOID LfsrSeedSet(PMP_ADAPTER adapter, ULONG seed);
// One pseudo-random byte: eight steps of a 32-bit Galois LFSR (feedback mask 0xC000002B) over the
// adapter's seed word, seeded from the low 32 bits of the system time when it is 0; the bit of the
// first step is bit 7 of the result.
UCHAR RandomOctetGet(PMP_ADAPTER adapter);

typedef struct _REPOSIT_TABLE REPOSIT_TABLE, *PREPOSIT_TABLE;
// Index of the roaming-candidate entry with this BSSID on this band; 0xFFFFFFFF when none.
ULONG RepositTableSearchByBand(PMP_ADAPTER adapter, PMP_PORT port, PREPOSIT_TABLE table, ULONG band,
                               const UCHAR* bssid);

// ---- walking 802.11 elements ------------------------------------------------------------------------
// The one checked walk over information elements {id, length, body}: an element is yielded only when
// its header and its whole body lie inside the run; a run that ends inside an element is reported as
// trailing garbage.
typedef struct _DOT11_IE_CURSOR {
    const UCHAR* Bytes;
    ULONG Length;
    ULONG Offset;
    BOOLEAN Trailing;
} DOT11_IE_CURSOR;
VOID Dot11IeCursorInit(DOT11_IE_CURSOR* cursor, const UCHAR* bytes, ULONG length);
// The next element (its header at *element, its body length in *bodyLength); FALSE at the end.
BOOLEAN Dot11IeNext(DOT11_IE_CURSOR* cursor, const UCHAR** element, PUCHAR bodyLength);
