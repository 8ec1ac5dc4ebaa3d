// Hardware access: register reads and writes on a mapped device memory range, the mapping of a
// device's physical range into system space, and the processor identification the driver reads.
//
// A mapped range is reserved address space that cannot be touched directly: every register access
// goes through the READ_REGISTER_* and WRITE_REGISTER_* calls, which reach the device behind the
// mapping. A raw dereference of a mapped address faults at once. Each write is followed by a full
// memory fence before the call returns. A device that has gone away reads all ones.
#pragma once

#include "kshim/nt_types.h"

// ---- mapping device memory -----------------------------------------------------------------------
#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define PAGE_NOCACHE 0x200u
#define PAGE_WRITECOMBINE 0x400u

// Maps numberOfBytes of device memory starting at a physical address. Returns nullptr when no device
// answers for the whole range (or a test made the mapping fail). Allowed up to DISPATCH_LEVEL.
PVOID MmMapIoSpaceEx(PHYSICAL_ADDRESS physicalAddress, SIZE_T numberOfBytes, ULONG protect);
// Releases a mapping made by MmMapIoSpaceEx; the length must be the mapped length.
void MmUnmapIoSpace(PVOID baseAddress, SIZE_T numberOfBytes);

// ---- register access -----------------------------------------------------------------------------
// The address must lie inside a live mapping and be aligned to the access width; anything else is a
// strict-mode failure (and reads all ones).
UCHAR READ_REGISTER_UCHAR(volatile UCHAR* registerAddress);
USHORT READ_REGISTER_USHORT(volatile USHORT* registerAddress);
ULONG READ_REGISTER_ULONG(volatile ULONG* registerAddress);
ULONG64 READ_REGISTER_ULONG64(volatile ULONG64* registerAddress);
void WRITE_REGISTER_UCHAR(volatile UCHAR* registerAddress, UCHAR value);
void WRITE_REGISTER_USHORT(volatile USHORT* registerAddress, USHORT value);
void WRITE_REGISTER_ULONG(volatile ULONG* registerAddress, ULONG value);
void WRITE_REGISTER_ULONG64(volatile ULONG64* registerAddress, ULONG64 value);

// ---- processor identification ----------------------------------------------------------------------
// The processor's identification instruction: cpuInfo receives EAX, EBX, ECX and EDX for the given
// leaf. Leaf 0 gives the highest leaf in EAX and the 12-character vendor text in EBX, EDX, ECX (in
// that order); the vendor text is the one the harness set (default "GenuineIntel"). Other leaves
// give zeros.
void __cpuid(int cpuInfo[4], int functionId);
