// Private control: the vendor control tool's private requests on the control device, their four OID
// tables and record rules, and the firmware events that complete the requests parked for an answer.
#pragma once

#include "kshim/nt_types.h"
#include "kshim/wdf.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// The one device-control code of the control device (the NDIS global-statistics query code); the first
// four input bytes carry the private OID.
#define PRIVATE_IOCTL_CODE 0x00170002u
#define PRIVATE_OID_INPUT_SIZE 4

// ---- dispatch ----------------------------------------------------------------------------------------------
// A private request handler: the record is the request's output buffer, read for parameters and written
// with results in place; bytes written and bytes needed are the request's counters.
typedef NTSTATUS PRIVATE_OID_HANDLER(PMP_ADAPTER adapter, WDFREQUEST request, PUCHAR record, ULONG recordLength,
                                     PULONG bytesWritten, PULONG bytesNeeded);
typedef PRIVATE_OID_HANDLER* PPRIVATE_OID_HANDLER;

#pragma pack(push, 1)
typedef struct _PRIVATE_OID_ENTRY {
    ULONG Oid;
    PPRIVATE_OID_HANDLER Handler;
} PRIVATE_OID_ENTRY, *PPRIVATE_OID_ENTRY;
#pragma pack(pop)
static_assert(sizeof(PRIVATE_OID_ENTRY) == 12, "a private OID row is 12 bytes");

// Rows of the four tables, searched in this order.
#define PRIVATE_OID_TABLE1_ROWS 51
#define PRIVATE_OID_TABLE2_ROWS 38
#define PRIVATE_OID_TABLE3_ROWS 1
#define PRIVATE_OID_TABLE4_ROWS 2

// Runs the handler of every row of the four tables whose OID is `oid` and returns the last handler's
// status; 0xC0000002 when no row holds the OID. While the adapter cannot take requests (no adapter, a
// wrong signature, bring-up not finished, halting, surprise-removed or shut down) the answer is
// 0x80000005 with both counters 0. Stamps the adapter's last-request time (ms) before the handlers run.
NTSTATUS NdisCommonProcessIOCTL(PMP_ADAPTER adapter, WDFREQUEST request, ULONG oid, PVOID buffer, ULONG inputLength,
                                ULONG outputLength, PULONG bytesWritten, PULONG bytesNeeded);

// Handles one request of the control device's queue: checks the code and the input, runs the dispatch
// on the output buffer, and completes the request unless a handler parked it.
void NdisCommonIoctlDeviceControl(PMP_ADAPTER adapter, WDFREQUEST request, ULONG ioControlCode);

// ---- record rules --------------------------------------------------------------------------------------------
// How a handler checks its record: the kind of check, and flags of its answer.
#define OID_RECORD_NONE 0x00u        // no record: both counters stay 0
#define OID_RECORD_AT_LEAST 0x01u    // at least the record size
#define OID_RECORD_EXACT 0x02u       // exactly the record size
#define OID_RECORD_REPORT 0x03u      // a report that checks the length itself
#define OID_RECORD_KIND_MASK 0x0Fu
#define OID_ANSWER_TOO_SMALL 0x10u   // a short record answers 0xC0000023 instead of 0x80000005
#define OID_COUNT_FULL_LENGTH 0x20u  // the counters take the whole record length
#define OID_NO_COUNTERS 0x40u        // the counters stay 0 even when the record passes
#define OID_SIZE_BY_GENERATION 0x80u // the size given is the older chips'; the third generation needs 48
#define OID_SIZE_THIRD_GENERATION 48u

// Checks a record against the rule and size of its OID and sets the counters as the rule says:
// 0 when the record passes; 0x80000005 (or 0xC0000023) with bytes written 0 and bytes needed the size
// when it is too short or, for an exact rule, not exactly the size.
NTSTATUS PrivateOidCheckRecord(PMP_ADAPTER adapter, ULONG rule, ULONG size, ULONG recordLength, PULONG bytesWritten,
                               PULONG bytesNeeded);

// ---- the country record (at least 772 bytes) ---------------------------------------------------------------
// u32 operation; u16 country (first letter in the high byte) at 4; the power-limit channel at 8, the
// rate-group text at 12 and the row answer at 212 (200 bytes each); the channel numbers at 412, the
// change-allowed byte at 530, the 6 GHz-off byte at 531, a u16 per channel (its flags) from 532, the
// channel count at 768. The 6 GHz country list (selector, count, countries) is answered from byte 8.
#define COUNTRY_RECORD_SIZE 772
#define COUNTRY_RECORD_QUERY 12
#define COUNTRY_RECORD_ANSWER 212
#define COUNTRY_RECORD_TEXT 200
#define COUNTRY_RECORD_CHANNEL_LIST 412
#define COUNTRY_RECORD_CHANNELS 118
#define COUNTRY_RECORD_CHANGE_ALLOWED 530
#define COUNTRY_RECORD_6G_OFF 531
#define COUNTRY_RECORD_CHANNEL_FLAGS 532
#define COUNTRY_RECORD_CHANNEL_WORDS 117
#define COUNTRY_RECORD_COUNT 768
#define COUNTRY_RECORD_6G_LIST 8

// ---- the handlers ------------------------------------------------------------------------------------------------
PRIVATE_OID_HANDLER FuncGetCr;
PRIVATE_OID_HANDLER FuncSetCr;
PRIVATE_OID_HANDLER FuncSetIoMode;
PRIVATE_OID_HANDLER FuncGetStaInfo;
PRIVATE_OID_HANDLER FuncCoexCtrl;
PRIVATE_OID_HANDLER FuncFWVer;
PRIVATE_OID_HANDLER FuncSetFwLog;
PRIVATE_OID_HANDLER FuncGetScratchValue;
PRIVATE_OID_HANDLER FuncSetScratchValue;
PRIVATE_OID_HANDLER FuncGetTxStat;
PRIVATE_OID_HANDLER FuncSetCoextp;
PRIVATE_OID_HANDLER FuncGetCoextp;
PRIVATE_OID_HANDLER FuncSwDebug;
PRIVATE_OID_HANDLER FuncGetPCIeCS;
PRIVATE_OID_HANDLER FuncSetPCIeCS;
PRIVATE_OID_HANDLER FuncSetChip;
PRIVATE_OID_HANDLER FuncGetChip;
PRIVATE_OID_HANDLER FuncDynamicDtim;
PRIVATE_OID_HANDLER FuncTpTestMode;
PRIVATE_OID_HANDLER FuncResetDefaul;
PRIVATE_OID_HANDLER FuncSetBcc;
PRIVATE_OID_HANDLER FuncTwtTest;
PRIVATE_OID_HANDLER FuncWaitFwAnswer;
PRIVATE_OID_HANDLER FuncSetReassociate;
PRIVATE_OID_HANDLER FuncSetAssociate;
PRIVATE_OID_HANDLER FuncSetAxBaSize;
PRIVATE_OID_HANDLER FuncSetMbo;
PRIVATE_OID_HANDLER FuncSetSer;
PRIVATE_OID_HANDLER FuncSetSrEnable;
PRIVATE_OID_HANDLER FuncGetSrInfo15;
PRIVATE_OID_HANDLER FuncGetSrInfo18;
PRIVATE_OID_HANDLER FuncSetUapsd;
PRIVATE_OID_HANDLER FuncSetPwrSave;
PRIVATE_OID_HANDLER FuncSetPsMode;
PRIVATE_OID_HANDLER FuncEfuse;
PRIVATE_OID_HANDLER FuncListen6GAP;
PRIVATE_OID_HANDLER FuncGetWtblInfo;
PRIVATE_OID_HANDLER FuncGetReservedByte;
PRIVATE_OID_HANDLER FunSetRadarDetectMode;
PRIVATE_OID_HANDLER FuncSetRadarTest;
PRIVATE_OID_HANDLER FuncSetReserved;
PRIVATE_OID_HANDLER FuncBFProfile;
PRIVATE_OID_HANDLER FuncGetBFProfileData;
PRIVATE_OID_HANDLER FuncGetBFProfileTag;
PRIVATE_OID_HANDLER FuncGetStaStat;
PRIVATE_OID_HANDLER FuncSetPpControl;
PRIVATE_OID_HANDLER FuncGetRssi;
PRIVATE_OID_HANDLER FuncGetDebugSopInfo;
PRIVATE_OID_HANDLER FuncSetYb;
PRIVATE_OID_HANDLER FuncSetScanNoAp;
PRIVATE_OID_HANDLER FuncSetBtL0p4RecoverState;
PRIVATE_OID_HANDLER FuncGetWfdInfo;
PRIVATE_OID_HANDLER FuncGetPlePseWfdmaInfo;
PRIVATE_OID_HANDLER FuncCountry;
PRIVATE_OID_HANDLER FuncRf;
PRIVATE_OID_HANDLER FuncBIOS_Setting;
PRIVATE_OID_HANDLER FuncTRx_Setting;
PRIVATE_OID_HANDLER FuncGetSarAcpiTable;
PRIVATE_OID_HANDLER FuncGetTxHangCounter;
PRIVATE_OID_HANDLER FuncSniffer;
PRIVATE_OID_HANDLER FuncShowDebugInfo;
PRIVATE_OID_HANDLER FuncSetIcs;
PRIVATE_OID_HANDLER FuncGetMacAdd;
PRIVATE_OID_HANDLER FuncSetLpSupportNonMs;
PRIVATE_OID_HANDLER FuncSetReg;
PRIVATE_OID_HANDLER FuncGetReg;
PRIVATE_OID_HANDLER FuncGetFwVer;
PRIVATE_OID_HANDLER FuncGetBTPowerTable;
PRIVATE_OID_HANDLER FuncGenSwitchChk;
PRIVATE_OID_HANDLER FuncGetGoSupportCH;
PRIVATE_OID_HANDLER FuncSetGoPreferredCH;
PRIVATE_OID_HANDLER FuncResetGoPreferredCH;
PRIVATE_OID_HANDLER FuncSetGoOperationCH;
PRIVATE_OID_HANDLER FuncSetScanFilter;
PRIVATE_OID_HANDLER FuncResetScanFilter;
PRIVATE_OID_HANDLER FuncEnableGoShow;
PRIVATE_OID_HANDLER FuncDisableGoShow;
PRIVATE_OID_HANDLER FuncSetGoPreferredCHPhymode;
PRIVATE_OID_HANDLER FuncResetGoPreferredCHPhymode;
PRIVATE_OID_HANDLER FuncGetGoPreferredCHPhymode;
PRIVATE_OID_HANDLER FuncSetLegacyAndP2PScanCH;
PRIVATE_OID_HANDLER FuncResetLegacyAndP2PScanCH;
PRIVATE_OID_HANDLER FuncSetGoPreferredBand5G;
PRIVATE_OID_HANDLER FuncPciePmControl;
PRIVATE_OID_HANDLER FuncSetRadio;
PRIVATE_OID_HANDLER FuncSetFixedRate;
PRIVATE_OID_HANDLER FuncGetDmaqInfo;
PRIVATE_OID_HANDLER FuncD3PlatformInfo;
PRIVATE_OID_HANDLER FuncSetLog2Air;
PRIVATE_OID_HANDLER FuncVerifSysRcvy;
PRIVATE_OID_HANDLER FuncGetLinkStatus;
PRIVATE_OID_HANDLER FuncGetStartTimeInfo;

// Rate lists of the transmit statistics record: 1, 2, 5, 11 at offsets 0-3; 48, 24, 12, 6 at 8-11 and
// 54, 36, 18, 9 at 12-15.
#define PRIVATE_RATE_RECORD_SIZE 16
void NdisGetCCKRates(PUCHAR rateRecord);
void NdisGetOFDMRates(PUCHAR rateRecord);

// Switches dynamic ICS logging on or off and sends the ICS command to the firmware.
NTSTATUS setDynamicICS(PMP_ADAPTER adapter, UCHAR on, UCHAR second);

// ---- parked requests -------------------------------------------------------------------------------------------
// Parks a request on the adapter's pending list until a firmware event answers it: STATUS_PENDING, or
// 0xC000009A when no entry can be allocated (nothing is parked then).
NTSTATUS QZCxChainPendingRequest(PMP_ADAPTER adapter, WDFREQUEST request);

// ---- firmware answers ------------------------------------------------------------------------------------------
// Each receives the event view of the firmware event layer (header at offset 16, payload at 28) and
// completes the oldest parked request with the answer, copying no more than its output buffer holds.
#define ACCESS_REG_EVENT_LENGTH 20   // header and {u32 address, u32 value}
#define COEX_CTRL_RECORD_SIZE 464
#define COEX_CTRL_EVENT_LENGTH 476
#define CHIP_CONFIG_RECORD_SIZE 328
VOID ProcessAccessReg(PMP_ADAPTER adapter, PUCHAR eventView);   // event 0x05
VOID ProcessGetChipReq(PMP_ADAPTER adapter, PUCHAR eventView);  // event 0x44
VOID ProcessCoexCtrl(PMP_ADAPTER adapter, PUCHAR eventView);    // event 0x7C
// Extended event 0xED, id 0x35: body byte 0 is the subtype (16 profile tag, 17 profile data). Each
// keeps the event's body in the adapter's copy (zero-filled past a short body).
#define BF_PROFILE_SUBTYPE_TAG 16
#define BF_PROFILE_SUBTYPE_DATA 17
VOID ProcessBFProfileData(PMP_ADAPTER adapter, PUCHAR eventView);
VOID ProcessBFProfileTag(PMP_ADAPTER adapter, PUCHAR eventView);
