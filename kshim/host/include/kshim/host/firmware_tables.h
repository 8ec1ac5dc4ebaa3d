// The harness's side of the system firmware tables that AuxKlibGetSystemFirmwareTable answers
// with. The default set holds one table: a FADT ("FACP") of 276 bytes whose flags word is 0.
#pragma once

#include <cstdint>
#include <vector>

#include "kshim/auxklib.h"

namespace kshim::host {

constexpr uint32_t kAcpiProvider = AUXKLIB_PROVIDER_SIGNATURE('A', 'C', 'P', 'I');
constexpr uint32_t kFadtTableId = AUXKLIB_ACPI_TABLE_ID('F', 'A', 'C', 'P');
// FADT: the flags word lies at byte offset 112; bit 21 marks a platform capable of low-power S0 idle.
constexpr size_t kFadtFlagsOffset = 112;
constexpr uint32_t kFadtLowPowerS0IdleCapable = 1u << 21;

// A FADT of `length` bytes: the ACPI table header (signature "FACP", length, revision 6, a checksum
// that makes the bytes sum to 0) and the flags word at offset 112 when the table is long enough.
std::vector<uint8_t> MakeFadt(uint32_t flags, size_t length = 276);

// Sets (or replaces) a table, removes one, and restores the default set.
void FirmwareTableSet(uint32_t provider, uint32_t tableId, const std::vector<uint8_t>& bytes);
bool FirmwareTableRemove(uint32_t provider, uint32_t tableId);
void FirmwareTablesReset();

}  // namespace kshim::host
