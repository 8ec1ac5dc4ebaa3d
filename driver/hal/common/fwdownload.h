// Putting firmware into the chip: the download commands, the pre-download wait for the boot ROM,
// and the loaders of the ROM patch, the Bluetooth ROM patch and the RAM code that the chip code of
// each generation runs through its own named routines.
//
// Every download step is a legacy firmware command on port 0 (the firmware-in-RAM flag is clear
// while the loaders run), answered where an answer is awaited by the boot ROM's event; the image
// data travels as download-data commands of at most 2048 bytes, which are not awaited one by one.
// The generations follow one protocol; FW_DL_GENERATION holds what each one does differently and
// the generation's own command routines, so the loaders here call the chip code's routines.
#pragma once

#include "hal/common/fwfile.h"
#include "hal/common/fwimage.h"
#include "kshim/ndis.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// ---- the download commands ------------------------------------------------------------------------
#define FW_DL_CMD_REGION_INIT 0x01      // RAM code region and Bluetooth patch: download init
#define FW_DL_CMD_FW_START 0x02
#define FW_DL_CMD_PATCH_INIT 0x05       // ROM patch section: download init
#define FW_DL_CMD_PATCH_FINISH 0x07
#define FW_DL_CMD_PATCH_SEMAPHORE 0x10
#define FW_DL_CMD_BT_PATCH_QUERY 0x11
#define FW_DL_CMD_SCATTER 0x00

// Option bytes of the send call (bit 0: the sender waits for the answering event).
#define FW_DL_OPTION_SEMAPHORE 0x05
#define FW_DL_OPTION_INIT 0x0D
#define FW_DL_OPTION_SCATTER 0x10
#define FW_DL_OPTION_FINISH 0x17

#define FW_DL_SCATTER_MAX 2048u
#define FW_DL_SEMAPHORE_OBTAIN 1
#define FW_DL_SEMAPHORE_SENDS 50

// Download kinds of the section download: kind 2 selects the patch init command, any other the
// region init command.
#define FW_DL_KIND_RAM_CODE 1u
#define FW_DL_KIND_ROM_PATCH 2u
#define FW_DL_KIND_BT_PATCH 3u

// Patch semaphore answers (the byte the boot ROM's event 4 stores in the adapter).
#define FW_DL_SEMAPHORE_NOT_GRANTED 0
#define FW_DL_SEMAPHORE_PATCH_PRESENT 1
#define FW_DL_SEMAPHORE_GRANTED 2

// Firmware states of the state register (GetFwSyncValue).
#define FW_STATE_ROM_NOT_RUNNING 0u
#define FW_STATE_ROM_READY 1u
#define FW_STATE_RAM_RUNNING 3u

// Reads of the firmware state, 1 ms apart: waiting for the ROM (pre-download, RAM code loader) and
// waiting for the RAM code to run.
#define FW_DL_ROM_READY_READS 501u
#define FW_DL_RAM_RUNNING_READS 500u
// Bluetooth patch queries, 100 microseconds apart.
#define FW_DL_BT_QUERY_SENDS 51u
#define FW_DL_BT_QUERY_DELAY_US 100u

// Start option of the firmware-start command: bit 1 always, bit 0 with an entry address, bit 2 on
// request (the loaders never ask for it).
#define FW_DL_START_OPTION_BASE 0x2u
#define FW_DL_START_OPTION_ENTRY 0x1u
#define FW_DL_START_OPTION_BIT2 0x4u

// A download step succeeds only with status 0: a command whose answer did not come in time reports
// 258, which the platform counts among its success codes, and that step has failed.
inline BOOLEAN HalFwDlSucceeded(NTSTATUS status) { return static_cast<BOOLEAN>(status == STATUS_SUCCESS); }
inline BOOLEAN HalFwDlFailed(NTSTATUS status) { return static_cast<BOOLEAN>(status != STATUS_SUCCESS); }

// Command sends shared by every generation; each returns the send call's status.
NTSTATUS HalFwDlSendPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation);
NTSTATUS HalFwDlSendDownloadInit(PMP_ADAPTER adapter, UCHAR cmdId, ULONG address, ULONG length, ULONG dataMode);
NTSTATUS HalFwDlSendScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length);
NTSTATUS HalFwDlSendPatchFinish(PMP_ADAPTER adapter, UCHAR byte1);
NTSTATUS HalFwDlSendFwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2);
NTSTATUS HalFwDlSendBtPatchQuery(PMP_ADAPTER adapter, ULONG targetAddress);

// The patch semaphore: clears the adapter's status byte first when `clearFirst`, then sends the
// semaphore command until the send fails, the operation is not "obtain" or the status byte is no
// longer 0, at most 50 sends with no delay. The last send's status; the caller reads the byte.
NTSTATUS HalFwDlPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation, BOOLEAN clearFirst);

// ---- what each generation does its own way --------------------------------------------------------
typedef NTSTATUS (*PFN_FW_DL_SEMAPHORE)(PMP_ADAPTER adapter, UCHAR operation);
typedef NTSTATUS (*PFN_FW_DL_INIT)(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind);
typedef NTSTATUS (*PFN_FW_DL_SCATTER)(PMP_ADAPTER adapter, const UCHAR* data, ULONG length);
typedef NTSTATUS (*PFN_FW_DL_FINISH)(PMP_ADAPTER adapter);
typedef NTSTATUS (*PFN_FW_DL_START)(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2);
typedef NTSTATUS (*PFN_FW_DL_PARSE_PATCH)(PMP_ADAPTER adapter, const UCHAR* image, ULONG size, PULONG dataMode,
                                          PPATCH_SECTION_LIST list);
typedef ULONG (*PFN_FW_DL_STATE)(PMP_ADAPTER adapter);

typedef struct _FW_DL_GENERATION {
    PCSTR Name;                  // prefix of the generation's routines, for traces
    BOOLEAN RefuseAtDispatch;    // the ROM patch and RAM code loaders refuse to run above passive level
    BOOLEAN UseCaches;           // the driver-wide image caches and the firmware container
    ULONG MinRomPatchSize;       // smallest ROM patch image taken
    ULONG MinRamCodeSize;        // smallest RAM code image taken
    BOOLEAN RegionModeExtraBit;  // region flag bit 4 adds 0x40 to the data mode
    BOOLEAN IdentificationText;  // the RAM code carries the identification text
    BOOLEAN StartMark;           // the firmware-start mark and time are set once the RAM code runs
    BOOLEAN SectionPatch;        // the ROM patch is a section table (else one body after a header)
    PFN_FW_DL_SEMAPHORE PatchSemaphore;
    PFN_FW_DL_INIT DownloadInit;
    PFN_FW_DL_SCATTER FwScatter;
    PFN_FW_DL_FINISH PatchFinish;
    PFN_FW_DL_START FwStart;
    PFN_FW_DL_PARSE_PATCH ParsePatch;  // section patches only
    PFN_FW_DL_STATE GetFwSyncValue;
} FW_DL_GENERATION, *PFW_DL_GENERATION;
typedef const FW_DL_GENERATION* PCFW_DL_GENERATION;

// ---- images ----------------------------------------------------------------------------------------
// An image obtained for one download: a private copy from the firmware container, or a file opened
// and mapped by name. Released with HalFwDlReleaseImage on every path.
typedef struct _FW_DL_IMAGE {
    const UCHAR* Data;
    ULONG Size;
    PUCHAR Copy;         // the container's copy (allocator block)
    NDIS_HANDLE File;    // the file, when it came from one
    BOOLEAN Mapped;
} FW_DL_IMAGE, *PFW_DL_IMAGE;

// The named image from the Wi-Fi (and, with "FWBin" 1, the Bluetooth) container when
// `fromContainer`; otherwise, or when the containers hold no such image and "FWBin" is not 1, the
// file of that name opened and mapped. False (traced) when there is none or it is empty.
BOOLEAN HalFwDlObtainImage(PMP_ADAPTER adapter, PCSTR name, BOOLEAN fromContainer, PFW_DL_IMAGE image);
void HalFwDlReleaseImage(PFW_DL_IMAGE image);

// ---- steps --------------------------------------------------------------------------------------------
// Sends image data as download-data commands of 2048 bytes from its start, the last one the
// remainder (nothing for length 0). False when a command failed.
BOOLEAN HalFwDlSendData(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation, const UCHAR* data, ULONG length);

// Downloads every section of a parsed list (a null data pointer skips a section): download init
// with the patch's data mode and the kind, then the data. 0xC0000001 on the first failure. Frees
// the list and sets its count to 0 on every path.
NTSTATUS HalFwDlDownloadSections(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation, ULONG dataMode, ULONG kind,
                                 PPATCH_SECTION_LIST list);

// Reads the firmware state until it is `wanted`: after each other value waits 1 ms; true once it
// is, false after `reads` reads.
BOOLEAN HalFwDlWaitFwState(PMP_ADAPTER adapter, PFN_FW_DL_STATE getFwSyncValue, ULONG wanted, ULONG reads);

// A ROM that is not running yet: makes sure the host owns the chip (its failure is returned), then
// waits up to `romReadyReads` reads for the ROM to become ready; 0, or 0xC0000001 when it did not.
NTSTATUS HalFwDlOwnAndWaitRom(PMP_ADAPTER adapter, PFN_FW_DL_STATE getFwSyncValue, ULONG romReadyReads);

// Before a download (second and third generation): reads the firmware state; while the ROM is not
// running, HalFwDlOwnAndWaitRom; otherwise makes sure the host owns the chip and returns that status.
NTSTATUS HalFwPreDownloadWaitRom(PMP_ADAPTER adapter, PFN_FW_DL_STATE getFwSyncValue, ULONG romReadyReads);

// ---- the loaders --------------------------------------------------------------------------------------
// ROM patch of every generation (a section table, or the 3404's one body).
NTSTATUS HalFwDlLoadRomPatch(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation);
// RAM code of every generation.
NTSTATUS HalFwDlLoadFirmware(PMP_ADAPTER adapter, PCFW_DL_GENERATION generation);
