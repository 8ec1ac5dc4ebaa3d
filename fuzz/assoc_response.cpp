// Fuzz target: arbitrary bytes as a received (re)association response, parsed for its fields and
// elements, and as a received authentication frame checked for its fields and challenge text. The frame
// buffer is exactly as long as the received length, so a read past it is an address error.
//
// Input: byte 0 chooses the port's PHY mode (low nibble, 0..14) and the band (bits 4-5: 1 2.4 GHz,
// 2 5 GHz, 3 6 GHz), byte 1 bit 0 says whether the request carried VHT capabilities; the rest is the frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

namespace {

constexpr size_t kControlBytes = 2;

struct World {
    MP_ADAPTER* adapter;
    MP_PORT* port;
};

World& Get()
{
    static World world = [] {
        World w{new MP_ADAPTER(), new MP_PORT()};
        w.port->Adapter = w.adapter;
        w.port->PortType = EXTSTA;
        w.port->Active = 1;
        w.port->HeEnabled = 1;
        w.adapter->PortList[0] = w.port;
        return w;
    }();
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kControlBytes) {
        return 0;
    }
    World& w = Get();
    w.port->WirelessMode = static_cast<UCHAR>((data[0] & 0x0F) % 15);
    w.port->Channel.Band = static_cast<ULONG>((data[0] >> 4) & 0x3);
    w.adapter->Mlme.Conn.VhtSent = static_cast<UCHAR>(data[1] & 1);
    std::vector<UCHAR> frame(data + kControlBytes, data + size);
    ASSOC_RSP_FIELDS fields;
    (void)PeerAssocRspSanity(w.adapter, w.port, frame.data(), static_cast<ULONG>(frame.size()), &fields);
    UCHAR addr2[6];
    USHORT alg = 0;
    USHORT seq = 0;
    USHORT status = 0;
    UCHAR challenge[128];
    (void)PeerAuthSanity(w.adapter, frame.data(), static_cast<ULONG>(frame.size()), addr2, &alg, &seq, &status,
                         challenge);
    return 0;
}
