// Firmware settings the shell and the chip bring-up send through the command layer's one send call:
// the chip configuration text command, the firmware log switch, system-error-recovery control,
// dual-band concurrency, the radio-status query, key installation, network-list offload, factory
// calibration with its driver-wide store. They are declared here, beside their
// callers' needs, until the command layer's own builders take them over.
#pragma once

#include "Common/wowlan_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Sends one command of class 0xED (or the given class) for port 0 through the send call; 0xC0000001
// (traced) without port 0. The send call's status otherwise.
NTSTATUS FwSettingSendPort0(PMP_ADAPTER adapter, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                            UCHAR option, const void* payload, USHORT length);

// ---- chip configuration texts (command 0xCA, class 0xED, set, option 8) -----------------------------
// Payload: bytes 0-3 zero, u16 text length at 4, bytes 6-7 zero, the NUL-terminated ASCII text from
// byte 8 (at most 320 bytes with its NUL).
#define CHIP_CONFIG_CMD_ID 0xCA
#define CHIP_CONFIG_OPTION 0x08
#define CHIP_CONFIG_PAYLOAD_SIZE 328
#define CHIP_CONFIG_TEXT_OFFSET 8
#define CHIP_CONFIG_LENGTH_OFFSET 4
#define CHIP_CONFIG_TEXT_MAX 320

// Sends a copy of the caller's 328-byte payload for port 0; 0xC0000001 without port 0.
NTSTATUS QzCmdSetChipConfig(PMP_ADAPTER adapter, const UCHAR* payload);
// Sends a text in a payload of its own (the length field holds the text's length): 0xC000000D for a
// text that does not fit the text field, 0xC00000A0 when no payload can be allocated.
NTSTATUS QzCmdSetChipConfigText(PMP_ADAPTER adapter, PCSTR text);
// "EdccaAntGain" and the gain in decimal; the length field holds the text's length.
NTSTATUS QZCmdUpdateEdccaAntGain(PMP_ADAPTER adapter, UCHAR gain);
// "mira" and the mode in decimal; the length field is the key's length + 2. The mode is also kept as
// the adapter's Miracast mode.
NTSTATUS QZCmdUpdateMiracastMode(PMP_ADAPTER adapter, UCHAR mode);
// "ScnChannelDwellTimeMin %d" and "ScnChannelDFSTime %d": the scan's minimum and DFS-channel dwell
// times (ms); the length field holds the text's length. Failures are traced only.
void QzCmdSetMinDwellTime(PMP_ADAPTER adapter, USHORT time);
void QzCmdSetDFSTime(PMP_ADAPTER adapter, USHORT time);
// The multi-channel quota of a port in microseconds: "MccP2pGoQuotaTimeInUs" (group owner),
// "MccP2pGcQuotaTimeInUs" (Wi-Fi Direct client) or "MccStaQuotaTimeInUs", a space and the value; the
// length field is the key's length + 7. 0xC0000001 for no port, an inactive port, 0 or while dual-band
// concurrency is on; with "HotspotMCCTputOptimization" also for the value last sent for the port.
NTSTATUS QZCmdUpdateStayTime(PMP_ADAPTER adapter, PMP_PORT port, ULONG microseconds);
// The group owner's absence margin in microseconds: "CnmAbsenceMarginInUs", a space and the value; the
// length field is the key's length + 5. 0xC0000001 for no port, an inactive port, 0, a port that is not
// a group owner or while dual-band concurrency is on.
NTSTATUS QZCmdUpdateGoBrakeTime(PMP_ADAPTER adapter, PMP_PORT port, ULONG microseconds);

// ---- device, log and recovery controls -----------------------------------------------------------------
// Command 0xC5 (query, option 8) with {2, 0, 0, 0} when the adapter's firmware-log-to-host value is 1;
// nothing (0) otherwise, and nothing on the third generation while "FWIndexLogCheck" is set.
#define FW_CMD_ID_FW_LOG 0xC5
NTSTATUS QzCmdSetFWLog(PMP_ADAPTER adapter);
// Extended command 0x81 (set, option 8) with {action, parameter, extra, 0}.
#define FW_EXT_CMD_SER_ACTION 0x81
NTSTATUS QzCmdSerAction(PMP_ADAPTER adapter, UCHAR action, UCHAR parameter, UCHAR extra);
// Command 0x28 (set) with 36 bytes {enable, 2 when enabling else 0, 0, band flag}; option 13 when
// `wait`, else 8.
#define FW_CMD_ID_DBDC 0x28
#define FW_CMD_DBDC_PAYLOAD_SIZE 36
NTSTATUS QzCmdUpdateDBDCSetting(PMP_ADAPTER adapter, UCHAR enable, UCHAR bandFlag, UCHAR wait);
// Radio power (1 on, 0 off), power control of a port (power-save mode), suspend mode (modern
// standby) and the receive packet filter.
NTSTATUS QzCmdSetRadioPowerState(PMP_ADAPTER adapter, UCHAR on);
// Power control, command 0x05 (set, option 8) with {BSS index, mode, 0, 0}: 0xC0000001 for a BSS index
// above 4; a station port's accepted mode other than U-APSD (1) is kept in the adapter's power-save block.
#define FW_CMD_ID_POWER_SAVE_MODE 0x05
#define FW_POWER_CTRL_PAYLOAD_SIZE 4
#define FW_POWER_CTRL_OPTION 0x08
#define FW_POWER_CTRL_MAX_BSS_INDEX 4
NTSTATUS QzCmdSetPowerCtrl(PMP_ADAPTER adapter, PMP_PORT port, UCHAR powerSaveMode);
NTSTATUS QZCmdSetSuspendMode(PMP_ADAPTER adapter, PMP_PORT port, UCHAR enable);
// Receive packet filter, command 0x0A (set, option 16), 68 bytes: u32 filter. The OS's filter is kept
// as the port's current one; the firmware gets it with broadcast (0x8) and multicast (0x2) forced on.
// 0xC0000001 without adapter or port.
#define FW_CMD_ID_PACKET_FILTER 0x0A
#define FW_PACKET_FILTER_PAYLOAD_SIZE 68
#define FW_PACKET_FILTER_OPTION 0x10
NTSTATUS QzCmdSetCurrentPacketFilter(PMP_ADAPTER adapter, PMP_PORT port, ULONG filter);
// Multicast list, command 0xC1 (set, option 16), 204 bytes: u32 address count (length / 6), u8 BSS
// index at 4, the addresses from 8, u8 0xFF at 200. 0xC0000001 for a BSS index of 5 or more; a list of
// more than 32 addresses does not fit and is refused (0xC000000D).
#define FW_CMD_ID_MULTICAST_LIST 0xC1
#define FW_MULTICAST_PAYLOAD_SIZE 204
#define FW_MULTICAST_OPTION 0x10
#define FW_MULTICAST_BSS_OFFSET 4
#define FW_MULTICAST_LIST_OFFSET 8
#define FW_MULTICAST_END_OFFSET 200
#define FW_MULTICAST_ADDRESSES_MAX ((FW_MULTICAST_END_OFFSET - FW_MULTICAST_LIST_OFFSET) / 6)
#define FW_MULTICAST_MAX_BSS_INDEX 5
NTSTATUS QzCmdSetMulticastList(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* addresses, ULONG length);
// The hardware radio-switch state (its answer switches the radio off or on). Mode 0: extended command
// 0xBD (query, 2 zero bytes) on the second generation; mode 1: extended 0xBD set {1, 0} waiting for its
// answer on the second generation, unified command 0x80 (set and wait, 12 zero bytes) on the third;
// 0xC0000001 otherwise.
#define FW_EXT_CMD_RADIO_STATUS 0xBD
#define UNI_CMD_ID_RADIO_STATUS 0x80
NTSTATUS QzCmdQueryCurrentRadioStatus(PMP_ADAPTER adapter, ULONG mode);
// Extended command 0x2C (set, option 16) with 4 zero bytes.
#define FW_EXT_CMD_TEMPERATURE 0x2C
NTSTATUS QzCmdQueryCurrentTemperature(PMP_ADAPTER adapter);
// Command 0x81 (set, option 8) without payload.
#define FW_CMD_ID_LINK_QUALITY 0x81
NTSTATUS QzCmdQueryLinkQuality(PMP_ADAPTER adapter);
// Command 0xC4 (set, option 8), 264 bytes: u32 id, u32 value.
#define FW_CMD_ID_SW_DBG 0xC4
#define FW_CMD_SW_DBG_PAYLOAD_SIZE 264
NTSTATUS QzCmdSwDbgCtrl(PMP_ADAPTER adapter, ULONG id, ULONG value);

// ---- keys ------------------------------------------------------------------------------------------------
// QzCmdSetAddDeleteKey: Common/qzcmd_bss.

// ---- network-list offload --------------------------------------------------------------------------------
// QzCmdEnableNLO: Common/qzcmd_scan.

// ---- factory calibration ----------------------------------------------------------------------------------
#define FACT_CAL_RECORD_COUNT 10
#define FACT_CAL_STATE_REFRESH 2
// The driver-wide store of factory calibration records: how many are stored, the address they were
// taken for, and the refresh request with its system time.
typedef struct _FACT_CAL_STORE {
    UCHAR Count;
    UCHAR MacAddress[6];
    UCHAR State;
    LONGLONG StateTime;
} FACT_CAL_STORE;
extern FACT_CAL_STORE g_FactCalStore;

// Reads the runtime calibration data file and sends the records the chip accepts.
void readFactlCalFile(PMP_ADAPTER adapter);
// Keys 100-199: band 0, index key - 100; keys 200-600: band 1, index key - 200; other keys refused.
BOOLEAN factCalKeyToBandIndex(ULONG key, PUCHAR band, PUCHAR index);
// Pushes one stored factory calibration record back to the firmware.
NTSTATUS QzCmdFactCalSet(PMP_ADAPTER adapter, UCHAR band, UCHAR index);
// Tells the firmware whether stored factory calibration is in use.
NTSTATUS QzCmdFactCalUpdateFlag(PMP_ADAPTER adapter, UCHAR flag);

// ---- link parameters ---------------------------------------------------------------------------------------
// Removes from a peer's rate list (in place; `count` updated) every rate the adapter does not use in its
// current mode: only the four CCK rates for port 0 in PHY_11B, or for an ad hoc network without OFDM on a
// 2.4 GHz channel; otherwise the twelve rates 2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108 (500 kb/s). The
// basic-rate mark (bit 7) of a kept rate is kept.
VOID KOVAFilterSupportedRates(PMP_ADAPTER adapter, PUCHAR rates, PUCHAR count);
