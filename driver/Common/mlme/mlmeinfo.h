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
