// What every chip generation's post-download initialisation shares: the firmware commands that ask
// for the chip's capabilities and send the basic configuration, the register write through the
// firmware, the buffer-bin (EEPROM image) download in pieces, the chip configuration texts that carry
// registry settings to the firmware, and the key request of the key installation. The named routines
// of each generation (hal/chips) call these.
//
// Every command goes to port 0 through the command layer's send call; a step succeeds only with
// status 0 (an awaited answer that did not come in time is a failed step).
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _CIPHER_KEY CIPHER_KEY, *PCIPHER_KEY;

// ---- the commands of the post-download initialisation (class 0xED) ---------------------------------------
#define POSTDL_CMD_CAPABILITY 0x8A      // query, option 5 (answered by event 0xEC)
#define POSTDL_OPTION_CAPABILITY 0x05
#define POSTDL_CMD_BASIC_CONFIG 0x02    // set, option 8: {u16 1, ten zero bytes}
#define POSTDL_BASIC_CONFIG_SIZE 12
#define POSTDL_CMD_REG_WRITE 0xC0       // set, option 8: {u32 chip address, u32 value}
#define POSTDL_EXT_BUFFER_BIN 0x21      // extended command 0xED, set, option 0x10
#define POSTDL_OPTION_BUFFER_BIN 0x10
#define POSTDL_CMD_EXT0 0x00            // the older chip's extended command 0x00: set, option 8, no payload
#define POSTDL_OPTION_SET 0x08

// Register written through the firmware after the download, and its value.
#define POSTDL_FW_REG_ARVEL2X 0x820CD000u
#define POSTDL_FW_REG_ARVEL3X 0x820CC800u
#define POSTDL_FW_REG_VALUE 0x0003C200u
// Register the post-download initialisation ORs 0x10101 into.
#define POSTDL_DMA_SCHEDULER_REG 0x7C026060u
#define POSTDL_DMA_SCHEDULER_BITS 0x00010101u

// Buffer-bin pieces: u8 source (1 file, 0 none), u8 piece byte (bit 0 set, bits 2-4 index, bits 5-7
// index of the last piece), u16 data length, then the data.
#define BUFFER_BIN_HEAD_SIZE 4
#define BUFFER_BIN_PIECE_DATA 1024u
#define BUFFER_BIN_MAX_FILE 3584u          // second and third generation: at most 4 pieces
#define BUFFER_BIN_QZ3404_MAX_FILE 1536u   // the older chip: one piece
#define BUFFER_BIN_QZ3404_FILE "EEPROM_QZ3402.bin"
inline UCHAR BufferBinPieceByte(ULONG index, ULONG last)
{
    return static_cast<UCHAR>(1u | ((index & 7u) << 2) | ((last & 7u) << 5));
}

// Resets the class-0 command sequence number to 0 and ORs 0x10101 into 0x7C026060.
VOID HalPostDlPrepare(PMP_ADAPTER adapter);
// The capability query and the basic configuration; each the send call's status.
NTSTATUS HalPostDlQueryCapability(PMP_ADAPTER adapter);
NTSTATUS HalPostDlBasicConfig(PMP_ADAPTER adapter);
// Writes a chip register through the firmware; the callers ignore the result.
NTSTATUS HalPostDlRegWrite(PMP_ADAPTER adapter, ULONG chipAddress, ULONG value);

// The buffer-bin download of the second and third generation: with "BinMode" 1 the descriptor's
// EEPROM image file (at most 3584 bytes; a missing, empty or longer file fails with 0xC0000001
// before anything is sent) in pieces of 1024 bytes, every piece sent even after a failed one;
// otherwise one 4-byte piece with source 0. 0, or the status of the first piece that failed.
NTSTATUS HalDownloadBufferBinPieces(PMP_ADAPTER adapter);
// The older chip's: the fixed file "EEPROM_QZ3402.bin" (at most 1536 bytes) in one command of
// 4 + 1536 bytes, or one 4-byte command with source 0.
NTSTATUS HalDownloadBufferBinQz3404(PMP_ADAPTER adapter);

// ---- chip configuration texts ----------------------------------------------------------------------------
// Formats the text into a 328-byte chip configuration payload (the length field holds the text's
// length, without its NUL, with a final line feed when the format has one) and sends it; 0xC0000001
// (nothing sent) when the text would not fit in 320 bytes.
NTSTATUS HalSendChipConfigText(PMP_ADAPTER adapter, PCSTR format, ...);
// The texts every generation that has them sends alike; each returns 0 without sending when its
// condition does not hold.
NTSTATUS HalPostDlPassiveToActiveScan(PMP_ADAPTER adapter);  // "PassiveToActiveScan" 0
NTSTATUS HalPostDlSoftApLinkCheck(PMP_ADAPTER adapter);      // "APSDCapable": "LinkDtSapCheckIntervalP2pGo 240"

// ---- services of error recovery ------------------------------------------------------------------------
// ErrRecoveryNoneOccurred comes with the error recovery.
#include "platform/ndiscommon/ndiscommonhif.h"

// ---- key installation ---------------------------------------------------------------------------------------
#define KEY_KIND_GROUP 0u
#define KEY_KIND_PAIRWISE 1u

// The key request the key installation hands to the firmware key command.
typedef struct _KEY_REQUEST {
    UCHAR Install;          // 1 install, 0 remove
    UCHAR BssIndex;
    UCHAR WlanIndex;        // of the station entry
    ULONG KeyKind;          // KEY_KIND_PAIRWISE (a peer's key) or KEY_KIND_GROUP
    UCHAR KeyIndex;
    ULONG ModeWord;         // 0 when "OpMode" is 1, else 2
    PCIPHER_KEY Key;
    UCHAR PeerAddress[6];
} KEY_REQUEST, *PKEY_REQUEST;

// Fills the request: the peer address is the given one for a pairwise key, or for a key of cipher
// code 6 with "OpMode" 1; otherwise the port's current BSSID.
VOID AsicFillKeyRequest(PMP_ADAPTER adapter, PMP_PORT port, UCHAR install, UCHAR bssIndex, UCHAR keyIndex,
                        UCHAR wlanIndex, ULONG keyKind, PCIPHER_KEY key, const UCHAR* peerAddress,
                        PKEY_REQUEST request);
// The key installation entry of the connection code: the port bound to the BSS index and its station
// entry with the WLAN index must exist (traced otherwise) and the chip must use key layout 2 (silently
// ignored otherwise); then the request goes to the firmware key command.
VOID AsicAddRemoveKey(PMP_ADAPTER adapter, UCHAR install, UCHAR bssIndex, UCHAR keyIndex, UCHAR wlanIndex,
                      ULONG keyKind, PCIPHER_KEY key, const UCHAR* peerAddress);
