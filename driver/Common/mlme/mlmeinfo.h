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
// The port's receive link speed from the last receive rate report, and its maximum link speed.
ULONG MlmeInfoGetRxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port);
ULONG MlmeInfoGetMaxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port);
// Stores an access point's Overlapping BSS Scan Parameters (the element's 14 octets) in port 0.
VOID UpdateBssScanParm(PMP_ADAPTER adapter, const UCHAR* parameters);
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;
// A peer's rates and the HT MCS both sides support, into its entry (legacyOnly: no HT MCS).
VOID MlmeInfoSetSupportMCS(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN legacyOnly, PMAC_TABLE_ENTRY entry,
                           const UCHAR* rates, UCHAR rateCount, const UCHAR* extRates, UCHAR extRateCount,
                           ULONG unused1, ULONG unused2, const UCHAR* htCapability, UCHAR htPresent);
// Installs a key: into the port's shared key slot or the peer's key record, and into the firmware.
NTSTATUS MlmeInfoAddKey(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyIndex, ULONG cipher,
                        ULONG materialSize, const void* material, UCHAR isStatic, UCHAR pairwise);
