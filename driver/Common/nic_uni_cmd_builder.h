// The unified command builders: each turns one legacy command payload into the unified command(s)
// of the same meaning, following the builder contract of the route table (Common/nic_uni_cmd_event).
//
// Every builder checks the legacy request (command id, extended id, payload length, sub-command)
// before it reads a byte of it: a request that is not one it knows, or whose payload is shorter than
// the bytes it would read, is refused with STATUS_UNI_CMD_NOT_ACCEPTED and builds nothing.
//
// Payload conventions: a 4-byte fixed part (byte 0 the firmware BSS index for commands aimed at one
// BSS), then TLVs {u16 tag, u16 length including the 4-byte TLV header}, all little-endian.
#pragma once

#include "Common/nic_uni_cmd_event.h"

// ---- builders of the firmware bring-up and of the host interface --------------------------------
// 0x8A capability query -> 0x0E, tag 3 (answer tag 3: event 0x43).
NTSTATUS nicUniCmdNicCapability(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0x02 basic configuration (12 bytes) -> 0x0B, tag 3.
NTSTATUS nicUniCmdWsysFwBasicConfig(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0xC0 register access (8 bytes: address, value) -> 0x0D, tag 0, or tag 1 for addresses 0x99xxxxxx.
NTSTATUS nicUniCmdAccessReg(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0x28 dual-band setting (36 bytes) -> 0x28, tag 0.
NTSTATUS nicUniCmdSetMbmc(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0xCA chip-configuration text (328 bytes) -> 0x0E, tag 2.
NTSTATUS nicUniCmdChipCfg(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0xC5 firmware log to host (4 bytes) -> 0x0B, tag 0.
NTSTATUS nicUniCmdWsysFwLog2Host(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0x04 firmware power control (4 bytes) -> 0x0F, tag 0.
NTSTATUS nicUniCmdPowerCtrl(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0xED / 0x21 buffer-bin piece -> 0x2D, tag 2 (always sent as a set that asks for an answer).
NTSTATUS nicUniCmdEfuseBufferMode(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0xED / 0x81 SER action (action 0..4 in legacy byte 0) -> 0x13, tag = action.
NTSTATUS nicUniCmdSerAction(PMP_PORT port, PUNI_CMD_REQUEST request);
// 0x15: no unified form; traces and builds nothing (the route lookup never selects it).
NTSTATUS nicUniCmdNotSupport(PMP_PORT port, PUNI_CMD_REQUEST request);

// ---- builders of the scan, BSS, station-record, key, power, filter and diagnostic commands --------
// The domain builder accepts only the channel-list form (12 + 8 channels bytes, fewer than 256
// channels) and refuses anything else.
NTSTATUS nicUniCmdSetDomainV2(PMP_PORT port, PUNI_CMD_REQUEST request);
// Connection type of a port in BSS information (0x10001 station, 0x20000 device, 0x20001 client,
// 0x20002 group owner, 0 otherwise) and of a station entry's type (0x21, 0x22, 0x41, 0x42).
ULONG nicUniCmdBssInfoConnType(PMP_PORT port);
ULONG nicUniCmdStaRecConnType(UCHAR entryType);
// The unified PHY type set of a legacy PHY type byte (station-record byte 13 layout).
USHORT nicUniCmdBssInfoPhyTypeSet(UCHAR legacy);
// Writes the three radio-link tags (2, 3, 0x17; 44 bytes) from the 22 legacy radio-link bytes.
ULONG nicUniCmdSetBssRlmImpl(PUCHAR out, const UCHAR* legacy);
// Writes the MLD tag (0x1A, 20 bytes) of the port.
ULONG nicUniCmdBssInfoMld(PMP_PORT port, PUCHAR out);
NTSTATUS nicUniCmdSetDomain(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetCountryPwrLimitPerRate(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdCustomerCfg(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdBssActivateCtrl(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdScanReqV2(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdScanCancel(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdChPrivilege(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdPowerSaveMode(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdPmDisable(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetBssInfo(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdPmEnable(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetBssRlm(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdBcnContent(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetWmmPsTestParams(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdRemoveStaRec(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdUpdateStaRec(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdInstallKey(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdInstallDefaultKey(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdUpdateEdcaSet(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetRxFilter(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdGetLinkQuality(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdGetStaStatistics(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSchedScanEnable(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSchedScanReq(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSwDbgCtrl(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetSuspendMode(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetMonitor(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetFixRate(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetPpCap(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdCnmGetInfo(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdUpdateSrParams(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdUpdateMuEdca(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdHifCtrl(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetMultiAddr(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdTwtArgtUpdate(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdBFAction(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdGetTsf(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSR(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdBtCtrl(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdSetIcsSniffer(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdRddOnOffCtrl(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdPerfInd(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdEfuseAccess(PMP_PORT port, PUNI_CMD_REQUEST request);
NTSTATUS nicUniCmdEfuseFreeBlock(PMP_PORT port, PUNI_CMD_REQUEST request);

// ---- tag lists -----------------------------------------------------------------------------------------
// One row of a tag list: the most bytes the row writes, and its builder, which writes one tag at
// `out` from the legacy payload (`legacyLength` bytes) and returns the bytes written (0: left out).
typedef ULONG (*UNI_TAG_BUILD)(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
typedef struct _UNI_TAG_BUILDER {
    ULONG64 MaxLength;
    UNI_TAG_BUILD Build;
} UNI_TAG_BUILDER;

#define UNI_TAG_BUILDER_ROWS 45
#define UNI_TAG_ROWS_SCAN_FIRST 0
#define UNI_TAG_ROWS_SCAN 6
#define UNI_TAG_ROWS_SCHED_FIRST 6
#define UNI_TAG_ROWS_SCHED 6
#define UNI_TAG_ROWS_BSS_FIRST 12
#define UNI_TAG_ROWS_BSS 14
#define UNI_TAG_ROWS_BF_FIRST 26
#define UNI_TAG_ROWS_BF 8
#define UNI_TAG_ROWS_STA_FIRST 34
#define UNI_TAG_ROWS_STA 11
extern const UNI_TAG_BUILDER UniTagBuilderTable[UNI_TAG_BUILDER_ROWS];

// Legacy lengths of the tag-list commands.
#define UNI_SCAN_LEGACY_LENGTH 1188
#define UNI_SCHED_SCAN_LEGACY_LENGTH 1224
#define UNI_BSS_INFO_LEGACY_LENGTH 116
#define UNI_STA_REC_LEGACY_LENGTH 236

ULONG nicUniCmdSchedScanTagWinNlo(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBssInfoTagBasic(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBssInfoTagHe(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBssInfoTagBssColor(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBssInfoTagEht(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBssInfoTagSTAIoT(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBFActionTxApply(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBFActionTagRead(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBFActionTagWrite(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdBFActionDataRead(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdStaRecTagHeBasic(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdStaRecTagHe6gCap(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
ULONG nicUniCmdStaRecTagEhtInfo(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG legacyLength);
