// Scanning in the MLME core: the adapter's and the port's scan state, the channel list of a scan
// request, the split into chunks of a scan that shares the radio, and the dwell times the firmware
// keeps on each channel.
#pragma once

#include "Common/mlme/mlmesync_scan_types.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/ndiscommon.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- channel lists -----------------------------------------------------------------------------------------
// After the OS request was copied: fills an empty request from the channel table ("FWBuildScnChList" 0)
// or sets its channel type by band; the chunk start becomes 0. Returns the channel count.
UCHAR MlmeSyncBuildChannelListForScan(PMP_ADAPTER adapter, PMP_PORT port);
// Appends the channel table band by band in the "PreferredBand" order (6 GHz: preferred-scan channels).
void MlmePerBandBuildScanChList(PMP_ADAPTER adapter);
// The channel list while a group owner shares the radio with a connected station: no DFS channel but
// the station's own, no 6 GHz channel. 0xC0000001 without port or group owner.
NTSTATUS MlmeSyncScanBuildChannelList(PMP_ADAPTER adapter, PMP_PORT port);
// The chunk of the next firmware scan.
void MlmeSyncDecideSplitScanChList(PMP_ADAPTER adapter, PMP_PORT port);
// Another chunk may start: at least 100 ms of the time budget remain and channels are left.
BOOLEAN MlmeSyncIsSplitScanAllowed(PMP_ADAPTER adapter, PMP_PORT port);
// Sends the dwell times that differ from those last sent.
void ScanChDwellTimeAdjust(PMP_ADAPTER adapter, USHORT minDwell, USHORT dfsDwell);
// The distinct {band, channel} pairs on which the SSID was seen, with the given pairs, in the order of
// the all-channel list; returns their number (at most outCapacity).
ULONG scanCalculateSsidChnlList(PMP_ADAPTER adapter, const UCHAR* ssid, UCHAR ssidLen, ULONG authAlgorithm,
                                ULONG cipher, ULONG entryCount, const SCAN_REQ_CHANNEL* entries,
                                SCAN_REQ_CHANNEL* out, ULONG outCapacity);
// 5 GHz channels 50..64 and 100..144.
BOOLEAN ScanIsDfsChannel(UCHAR channel);
