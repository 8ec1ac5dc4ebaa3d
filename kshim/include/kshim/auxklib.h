// The auxiliary kernel library: its initialisation and the query of the system firmware tables
// (the platform's ACPI tables, as the firmware handed them to the system). PASSIVE_LEVEL only.
#pragma once

#include "kshim/nt_types.h"

// A firmware-table provider: four characters, the first in the high byte ("ACPI" = 0x41435049).
constexpr ULONG AUXKLIB_PROVIDER_SIGNATURE(char a, char b, char c, char d)
{
    return (static_cast<ULONG>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<ULONG>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<ULONG>(static_cast<unsigned char>(c)) << 8) | static_cast<unsigned char>(d);
}
// An ACPI table id: the table's four-character signature as it lies in memory, read as a
// little-endian word ("FACP" = 0x50434146).
constexpr ULONG AUXKLIB_ACPI_TABLE_ID(char a, char b, char c, char d) { return AUXKLIB_PROVIDER_SIGNATURE(d, c, b, a); }

// Must succeed before the library's other calls.
NTSTATUS AuxKlibInitialize();

// Copies the table into the buffer. *ReturnLength (optional) receives the table's length. A table
// longer than the buffer gives STATUS_BUFFER_TOO_SMALL (nothing copied); a table the platform does
// not have gives STATUS_NOT_FOUND; a call before AuxKlibInitialize gives STATUS_UNSUCCESSFUL.
NTSTATUS AuxKlibGetSystemFirmwareTable(ULONG FirmwareTableProviderSignature, ULONG FirmwareTableID,
                                       PVOID FirmwareTableBuffer, ULONG BufferLength, PULONG ReturnLength);
