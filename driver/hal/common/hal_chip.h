// The per-chip operations table and descriptor copied into the adapter at chip selection, and the
// chip selection itself.
//
// HalRegisterChip looks at the adapter's PCI device id and runs that chip's initialiser, which
// builds the chip's descriptor and operations table directly in the adapter. From then on every
// part of the driver that needs chip-specific behaviour calls through the adapter's copy of the
// table or reads its copy of the descriptor. An empty (null) slot means the chip lacks the
// operation: every caller tests the slot and goes on with the value it started from.
#pragma once

#include <type_traits>

#include "hal/common/hal_chip_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// ---- chip selection -------------------------------------------------------------------------------------
// Runs the initialiser of the chip that the adapter's PCI device id selects; an unlisted id does
// nothing, so the adapter's descriptor and table stay all zero.
VOID HalRegisterChip(PMP_ADAPTER adapter);

// ---- the device ids the driver knows --------------------------------------------------------------------
// Every PCI device id has one row in the chip-selection table (hal_chip.cpp): the chip code whose
// code runs it, its generation, whether hardware preparation accepts it, and the facts in which ids of one
// chip or one generation differ. The rest of the driver asks these queries and never compares a
// device id or a chip code itself; a new alias id is one new row.
#define CHIP_GENERATION_NONE 0    // an id with no chip code (accepted, nothing runs)
#define CHIP_GENERATION_OLDER 1   // the older chip (3404)
#define CHIP_GENERATION_SECOND 2  // 3501, 3502, 3503 and their ids
#define CHIP_GENERATION_THIRD 3   // 3601, 3602 and their ids

#define CHIP_FACT_RECOVERS 0x00000001u            // the error recovery resets and restarts the chip
#define CHIP_FACT_WIDE_160 0x00000002u            // 160 MHz channels reported in the 5 and 6 GHz bands
#define CHIP_FACT_NO_6GHZ 0x00000004u             // the 6 GHz band is never reported
#define CHIP_FACT_DMA_EXTENSION 0x00000008u       // "DMAExtension" selects the 64-bit DMA profile
#define CHIP_FACT_LOG2AIR 0x00000010u             // "Log2AirEnable" is honoured (SER action 4, and at start)
#define CHIP_FACT_PCIE_SWITCH_ON_INTEL 0x00000020u // the PCIe speed switch is forced on with an Intel processor
#define CHIP_FACT_TIME_BEFORE_RAM_CODE 0x00000040u // the host time goes to the chip before the RAM code starts
#define CHIP_FACT_OWN_THROUGHPUT 0x00000080u      // the chip's own throughput-threshold table replaces the registry's
#define CHIP_FACT_LARGE_EVENT_RING 0x00000100u    // receive ring 1 (events) has the chip's larger buffers
#define CHIP_FACT_DOMAIN_V1_ONLY 0x00000200u      // the domain information goes only in its first version
#define CHIP_FACT_ASSOC_MAKER_1 0x00000400u       // association and probe requests carry the maker element, class byte 1
#define CHIP_FACT_ASSOC_MAKER_2 0x00000800u       // association and probe requests carry the maker element, class byte 2
#define CHIP_FACT_GROUP_BAND_FIRST 0x00001000u    // a station connecting beside a group owner not yet started yields the group's band
#define CHIP_FACT_HE_6GHZ 0x00002000u             // HE operation on a 6 GHz capable link and 6 GHz FILS discovery intake
#define CHIP_FACT_6G_PLANS_A 0x00004000u          // 6 GHz channel plans and country lists of table A
#define CHIP_FACT_6G_PLANS_B 0x00008000u          // 6 GHz channel plans and country lists of table B
#define CHIP_FACT_59G_PLATFORM 0x00010000u        // 5.9 GHz mode 1 follows the platform's 5.9 GHz countries
#define CHIP_FACT_US_6G_RA_MODE 0x00020000u       // a power-limit send in the United States sets the 6 GHz rate switches first
#define CHIP_FACT_IOT_LAB_REGISTERS 0x00040000u   // the IoT lab rules write their chip registers after a link up
#define CHIP_FACT_SKU_ENHANCE_2G5G 0x00080000u    // "PwrSkuEnhance2G5GEn" adds the one-stream 2.4/5 GHz power-limit table
#define CHIP_FACT_TASAR 0x00100000u               // time-averaged SAR, where the platform asks for it

typedef struct _CHIP_ID_ROW {
    USHORT DeviceId;
    USHORT ChipCode;    // the device id of the chip whose code runs it; 0 for none
    UCHAR Generation;   // CHIP_GENERATION_*
    UCHAR Accepted;     // hardware preparation accepts the id
    ULONG Facts;        // CHIP_FACT_*
} CHIP_ID_ROW;

// The row of a device id; nullptr for an id of no row.
const CHIP_ID_ROW* HalChipIdRow(USHORT deviceId);
// The chip code a PCI device id selects, 0 for none. For traces and for the parts that the system
// lets test the id.
USHORT HalChipCodeOfDeviceId(USHORT deviceId);
// The device ids hardware preparation accepts (with the vendor id): every id of the table but 0x3503,
// and 0x3405, which selects no chip.
BOOLEAN HalDeviceIdAcceptedAtPreparation(USHORT deviceId);
// The generation of a device id, and of a chip code (the chip's own id row); CHIP_GENERATION_NONE
// for an unknown one.
UCHAR HalDeviceGeneration(USHORT deviceId);
UCHAR HalChipGeneration(USHORT chipCode);
// True for the third-generation device ids (0x3601, 0x3602, 0x3603, 0x0C03, 0x0C04).
BOOLEAN HalIsThirdGeneration(USHORT deviceId);
// True when the device id's row (or the chip code's own row) holds every bit of `fact`.
BOOLEAN HalDeviceHasFact(USHORT deviceId, ULONG fact);
BOOLEAN HalChipHasFact(USHORT chipCode, ULONG fact);

// ---- optional operations ----------------------------------------------------------------------------------
// Calls an operation the chip's table may lack: an empty slot answers STATUS_NOT_SUPPORTED
// (0xC00000BB) and runs nothing; a slot that returns a status answers that status; any other slot
// answers STATUS_SUCCESS once it ran (a caller that needs its value reads the slot itself).
template <typename Result, typename... Params, typename... Args>
inline NTSTATUS HalCallOptional(Result (*slot)(Params...), Args... args)
{
    if (slot == nullptr) {
        return STATUS_NOT_SUPPORTED;
    }
    if constexpr (std::is_same_v<Result, NTSTATUS>) {
        return slot(args...);
    } else {
        (void)slot(args...);
        return STATUS_SUCCESS;
    }
}

// Chip selection's last steps, run by every chip initialiser once the descriptor and the table are
// in the adapter: the error-recovery state is reset (SER state 0, event word 0, SER handling on,
// firmware recovery idle with count 0; not on the older chip 3404), and the host-interface context,
// when it exists, takes the descriptor's hardware ring numbers.
VOID HalChipFinishInit(PMP_ADAPTER adapter);

// The hardware-version window of a chip: a window register that, while it holds WindowValue, shows
// the chip's version block in the BAR; the version (low 16 bits) and the identity word are read at
// their BAR offsets, two more words only traced (offset 0: none). The window register is restored.
typedef struct _HAL_VERSION_WINDOW {
    ULONG WindowRegister;
    ULONG WindowValue;
    ULONG VersionOffset;
    ULONG IdentityOffset;
    ULONG TracedOffsets[2];
} HAL_VERSION_WINDOW;
inline constexpr HAL_VERSION_WINDOW kArvel2xVersionWindow = {0x7C00E260, 0x18007001, 0xE0200, 0xE0020, {0, 0}};
inline constexpr HAL_VERSION_WINDOW kQz3602VersionWindow = {0x7C021000, 0x70011840, 0x10200, 0x10020,
                                                            {0x10204, 0x10208}};
inline constexpr HAL_VERSION_WINDOW kQz3601VersionWindow = {0x7C095000, 0x70011840, 0x10200, 0x10020,
                                                            {0x10204, 0x10208}};
// Reads the hardware version and identity through the window into the adapter; waits 100
// microseconds after restoring the window register. Always 0.
NTSTATUS HalQueryHwVersionThroughWindow(PMP_ADAPTER adapter, const HAL_VERSION_WINDOW* window);

#ifndef STATUS_NO_SUCH_DEVICE
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000009DL)
#endif

// Runs the chip's hardware-version query; 0xC0000001 for an unlisted device id.
NTSTATUS HalQueryHwVersion(PMP_ADAPTER adapter);
// Runs the chip's ROM-version query, unless the registry's "RomVer" already gave the version:
// the 3501 group and 3502 ask the firmware, the third generation reads chip register 0x88000004,
// 3503 and 3404 only trace.
VOID HalQueryRomVersion(PMP_ADAPTER adapter);

// For the chip initialisers: zeroes a descriptor and stores what every chip shares (key and PHY
// word layouts 2, receive header pad 2) with the chip code and its hardware ring numbers (data
// rings 0 and 1 on hardware rings 0 and 1).
VOID HalChipInfoInit(PCHIP_HAL_INFO info, USHORT chipCode, UCHAR downloadRing, UCHAR commandRing);
// For the pre-download routines: copies a chip's static descriptor over the adapter's copy. The
// interrupt path reads that copy (chip code, ring numbers, delayed-interrupt value) while the
// bring-up refreshes it, so the copy is never cleared on the way and only the bytes that differ are
// written: a refresh that finds the chip's own values changes nothing a reader sees.
VOID HalChipInfoRefresh(PCHIP_HAL_INFO target, const CHIP_HAL_INFO* fresh);

// The routine that fills slot 6 of every chip that has it; never called, returns 0xC0000001.
NTSTATUS HalReservedOp6(PMP_ADAPTER adapter);
