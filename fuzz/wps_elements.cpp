// Fuzz target: arbitrary bytes as the WPS elements a scan-table entry keeps, through the WPS check of
// the stored element block and the push-button and PIN access-point searches, and as raw attributes
// through the checked attribute walk. Every buffer is cut right after the bytes given, so any read
// past them is an address error.
//
// Input: byte 0 splits the rest: its low nibble times 1/16 of the rest becomes the stored element
// block (VarIes), bits 4-5 choose what the beacon copy gets of the remainder (all, half, none), bit 6
// makes the probe-response copy the remainder too; the remainder is also walked as attributes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmewsc.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

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
        w.adapter->PortList[0] = w.port;
        w.adapter->ScanTable = &w.adapter->ScanTab;
        return w;
    }();
    return world;
}

const UCHAR kBssid[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    World& w = TheWorld();
    const uint8_t control = data[0];
    const uint8_t* rest = data + 1;
    const size_t restSize = size - 1;
    size_t blockSize = restSize * (control & 0x0F) / 16;
    if (blockSize > BSS_IE_BUFFER_SIZE) {
        blockSize = BSS_IE_BUFFER_SIZE;
    }
    const uint8_t* wps = rest + blockSize;
    size_t wpsSize = restSize - blockSize;
    if (wpsSize > BSS_IE_BUFFER_SIZE) {
        wpsSize = BSS_IE_BUFFER_SIZE;
    }

    BSS_TABLE& table = w.adapter->ScanTab;
    table.EntryCount = 2;
    for (int i = 0; i < 2; ++i) {
        BSS_ENTRY& e = table.BssEntry[i];
        std::memcpy(e.Bssid, kBssid, 6);
        e.Channel = static_cast<UCHAR>(i == 0 ? 36 : 149);
        std::memcpy(e.VarIes, rest, blockSize);
        e.VarIeLen = static_cast<USHORT>(blockSize);
        const size_t beacon = (control & 0x30) == 0 ? wpsSize : (control & 0x30) == 0x10 ? wpsSize / 2 : 0;
        std::memcpy(e.BeaconWpsIe, wps, beacon);
        e.BeaconWpsIeLen = static_cast<USHORT>(beacon);
        const size_t probe = (control & 0x40) != 0 ? wpsSize : 0;
        std::memcpy(e.ProbeRspWpsIe, wps, probe);
        e.ProbeRspWpsIeLen = static_cast<USHORT>(probe);
        WscCheckWPSAP(&e);
    }
    ULONG index = 0;
    (void)WscPBCModeAPSearch(w.adapter, w.port, kBssid, 36, &index);
    (void)WscPINModeAPSearch(w.adapter, w.port, kBssid, 36, &index);

    // The attributes on their own, in a buffer of exactly their size.
    std::vector<uint8_t> attrs(wps, wps + wpsSize);
    WSC_ATTR_WALK walk;
    WscAttrWalkInit(&walk, attrs.data(), static_cast<ULONG>(attrs.size()));
    size_t seen = 0;
    while (WscAttrWalkNext(&walk)) {
        seen += walk.Length;
        if (walk.Length != 0 && walk.Value[walk.Length - 1] == 0xA5) {
            ++seen;  // touch the last byte of each value
        }
    }
    return seen == static_cast<size_t>(-1) ? 1 : 0;
}
