// Station-table and signal services of the MLME sync code that the receive dispatch calls.
#include "Common/mlmesync_recv.h"

#include "Common/mlme/mlmesync_mactab.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

PMP_PORT MlmeSyncGetPortByWlanIdx(PMP_ADAPTER adapter, UCHAR wlanIndex)
{
    if (adapter == nullptr) {
        return nullptr;
    }
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr && port->Active != 0 && MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex) != nullptr) {
            return port;
        }
    }
    return nullptr;
}

VOID UpdateRssiSampleAvg(PMP_PORT port, CHAR rssi0, CHAR rssi1, CHAR rssi2)
{
    if (port == nullptr) {
        return;
    }
    const CHAR samples[3] = {rssi0, rssi1, rssi2};
    for (ULONG c = 0; c < 3; ++c) {
        if (samples[c] < -99 || samples[c] > -20) {
            continue;
        }
        port->RxRssiSum[c] += samples[c] - port->RxRssiAvg[c];
        port->RxRssiAvg[c] = port->RxRssiSum[c] / 8;
    }
}
