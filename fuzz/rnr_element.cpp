// Fuzz target: arbitrary bytes as a Reduced Neighbor Report element (id, length, body) of a BSS,
// through the neighbour-report parser into the adapter's neighbour-AP list, then into the scan
// request of each record. The element ends where the input ends, so any read past it is an address
// error. Input: byte 0 is the reporting BSS's SSID length (up to 32, the SSID then follows), the rest
// is the element.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Common/mlme/mlmesync_rnr.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

struct World {
    MP_ADAPTER* adapter;
    MP_PORT* port;
};

World& TheWorld()
{
    static World world = [] {
        World w{new MP_ADAPTER(), new MP_PORT()};
        w.port->Adapter = w.adapter;
        w.port->Active = 1;
        w.port->PortType = EXTSTA;
        w.adapter->PortList[0] = w.port;
        const UCHAR channels[] = {1, 5, 21, 37, 53, 69, 85, 101, 117, 133, 149, 165, 181, 197, 213, 229};
        for (UCHAR ch : channels) {
            DOMAIN_CHANNEL_ENTRY& e = w.adapter->Country.ChannelList[w.adapter->Country.ChannelListCount++];
            e.Channel = ch;
            e.Band = BAND_6G;
        }
        ScanNeighborAPInfoListInit(w.adapter, &w.adapter->NeighborApList);
        return w;
    }();
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < 1) {
        return 0;
    }
    const size_t ssidLen = data[0] <= 32 ? data[0] : 32;
    if (length < 1 + ssidLen) {
        return 0;
    }
    World& w = TheWorld();
    std::unique_ptr<uint8_t[]> ssid(new uint8_t[ssidLen == 0 ? 1 : ssidLen]);
    std::memcpy(ssid.get(), data + 1, ssidLen);
    const size_t size = length - 1 - ssidLen;
    std::unique_ptr<uint8_t[]> element(new uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(element.get(), data + 1 + ssidLen, size);
    }
    scanParseRnrElement(w.adapter, w.port, size != 0 ? element.get() : nullptr, static_cast<ULONG>(size),
                        static_cast<UCHAR>(ssidLen), ssid.get());
    auto request = std::make_unique<MLME_SCAN_REQ>();
    for (PNEIGHBOR_AP_INFO record = ScanNeighborAPInfoListRemoveHead(w.adapter, &w.adapter->NeighborApList);
         record != nullptr; record = ScanNeighborAPInfoListRemoveHead(w.adapter, &w.adapter->NeighborApList)) {
        if (record->BssidCount > NEIGHBOR_AP_MAX || record->Params.ChannelCount > NEIGHBOR_AP_MAX ||
            record->Params.SsidCount > NEIGHBOR_AP_MAX) {
            __builtin_trap();
        }
        scanFillRnrScanRequest(w.adapter, w.port, record, &record->Params, request.get());
        ScanNeighborAPInfoListFreeEntry(w.adapter, record);
    }
    return 0;
}
