// Key and PHY-mode settings of a port the shell calls.
#pragma once

#include "kshim/nt_types.h"
#include "Common/mlme/mlmeinfo_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;


// Removes all keys of the port from the firmware and from the key records.
NTSTATUS MlmeInfoWPARemoveAllKeys(PMP_ADAPTER adapter, PMP_PORT port);
// Sets the port's wireless mode (lowered to what the port can do) and its rate sets.
NTSTATUS MlmeInfoSetPhyMode(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wirelessMode, UCHAR flag);
typedef struct _PHY_SETTINGS_REQUEST PHY_SETTINGS_REQUEST;
// The port's HT and VHT settings of an HT-capable mode (called by MlmeInfoSetPhyMode).
VOID MlmeInfoSetHtVht(PMP_ADAPTER adapter, PMP_PORT port, const PHY_SETTINGS_REQUEST* request);
// The port's receive link speed from the last receive rate report, and its maximum link speed.
ULONG MlmeInfoGetRxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port);
ULONG MlmeInfoGetMaxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port);
// The speed in bit/s of a transmit PHY-configuration word (HT and VHT words only on station and Wi-Fi
// Direct client ports; other ports get the first entry of the table).
ULONG64 MlmeInfoRateToLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port, ULONG phyCfg);
// The transmit-rate tables in 500 kbit/s: HT by MCS 0-31, bandwidth 0-1 and guard interval 0-1 (0 outside
// that); VHT at a table index (GetVhtRateTableIdx; an index outside the table reads entry 0), a
// combination the standard does not allow reading the entry before it.
USHORT MlmeInfoHtTableRate500k(UCHAR mcs, UCHAR bandwidth, UCHAR shortGi);
USHORT MlmeInfoVhtTableRate500k(ULONG index);
// Index of the connection's PHY type (HT, ERP, OFDM or HR/DSSS) in the adapter's PHY-type list;
// 0x80000000 when the list does not hold it.
ULONG MlmeInfoGetPhyTypeIndex(PMP_ADAPTER adapter, UCHAR channel);
// Power save at the OS's request: level 0 (none), 8 or 16 (any other level is kept without a firmware
// command); the control tool's override replaces the level and takes port 0. Returns the command's status
// (0 when none is sent); STATUS_INVALID_PARAMETER for a null port.
NTSTATUS MlmeInfoPnpSetPowerMgmtMode(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode);
// The keep-active period after link up ended: the station port goes into power save when the registry
// or the OS asks for it (not while a port is in low-latency mode or Wi-Fi Direct holds it awake).
VOID MlmeInfoKeepActivePwrPeriodDone(PMP_ADAPTER adapter, PMP_PORT port);
// Callback of the adapter's keep-active timer (Ps.KeepActiveTimer), armed with the station port.
typedef struct _PLATFORM_TIMER PLATFORM_TIMER, *PPLATFORM_TIMER;
VOID MlmeInfoKeepActivePwrTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                        PVOID systemSpecific3);
// Link quality 0..100 of a signal strength in dBm, and its level (0 for 0, else quality / 5 + 1).
ULONG MlmeInfoGetLinkQuality(PMP_ADAPTER adapter, CHAR signalDbm);
ULONG MlmeInfoGetLinkQualityLevel(ULONG quality);
// Data rates in 100 kbit/s; 0 for an index outside the table. OFDM by the SIGNAL field's rate code; HT
// by MCS 0-15, bandwidth 0-1 (20, 40 MHz), guard interval 0-1 (long, short); VHT by MCS 0-11, bandwidth
// 0-3, streams 1-2, guard interval 0-1; HE by MCS 0-11, bandwidth 0-3, streams 1-2, guard interval 0-2
// (0.8, 1.6, 3.2 us); EHT by MCS 0-13, bandwidth 0-4 (320 MHz), streams 1-2, guard interval 0-2.
USHORT MlmeInfoOfdmRate(UCHAR rateCode);
USHORT MlmeInfoHtRate(UCHAR mcs, UCHAR bandwidth, UCHAR shortGi);
USHORT MlmeInfoVhtRate(UCHAR mcs, UCHAR bandwidth, UCHAR streams, UCHAR shortGi);
USHORT MlmeInfoHeRate(UCHAR mcs, UCHAR bandwidth, UCHAR streams, UCHAR gi);
USHORT MlmeInfoEhtRate(UCHAR mcs, UCHAR bandwidth, UCHAR streams, UCHAR gi);
// Stores an access point's Overlapping BSS Scan Parameters (the element's 14 octets) in port 0.
VOID UpdateBssScanParm(PMP_ADAPTER adapter, const UCHAR* parameters);
// Installs (or with remove, removes) a key: into the port's shared key slot, the peer's key record or
// the adapter's BIP key copy, and into the firmware. The material is the raw key for WEP (keyLength
// bytes) and a KEY_PARAMS for TKIP, CCMP, GCMP-256 and BIP. 0xC0010015 for a missing entry or a key
// length the cipher does not accept; STATUS_UNSUCCESSFUL for a null port.
NTSTATUS MlmeInfoAddKey(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyIndex, ULONG cipher,
                        ULONG keyLength, const void* material, UCHAR remove, UCHAR pairwise);
// Sends a key the installer stored to the firmware, for the entries the key belongs to.
NTSTATUS MlmeInfoSetKeyToHw(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, ULONG keyIndex, ULONG cipher,
                            UCHAR pairwise, UCHAR remove);
// Sends the port's four shared key slots to the firmware (add or remove) and clears them.
VOID MlmeInfoAddRemoveSharedPairwiseKey(PMP_ADAPTER adapter, PMP_PORT port, UCHAR add, UCHAR bssIndex,
                                        UCHAR wlanIndex, const UCHAR* address);

typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;
// Records a peer's rates (at most 12, supported first) and its HT MCS set in the entry: the rate
// bitmaps (SupportedRateBitmap and the basic one), the per-rate flags and the rate classes.
VOID MlmeInfoSetSupportMCS(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN legacyOnly, PMAC_TABLE_ENTRY entry,
                           const UCHAR* rates, UCHAR rateCount, const UCHAR* extRates, UCHAR extRateCount,
                           PVOID unused1, PVOID unused2, const UCHAR* htCapability, UCHAR htPresent);
