// Fuzz target: arbitrary bytes as a received authentication (or other management) frame handed to
// the MLME queue while the station's authentication machine waits for the access point's second or
// fourth frame, with each algorithm of the exchange (open, shared key with its challenge text, fast
// transition with the saved answer, SAE). The frame buffer is exactly as long as the received length,
// so a read past it is an address error.
//
// Input: byte 0 chooses the algorithm (bits 0-1) and the awaited frame (bit 2: the fourth instead of
// the second); the rest is the frame. The access point being joined is 02:11:22:33:44:55.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc_types.h"
#include "Common/mlme/mlmesync.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

namespace {

constexpr size_t kControlBytes = 1;
constexpr UCHAR kAp[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

MP_ADAPTER* MakeAdapter()
{
    auto* adapter = new MP_ADAPTER();
    adapter->Device = qzlfuzz::PlainDevice();
    auto* port = new MP_PORT();
    port->Adapter = adapter;
    port->PortNumber = 0;
    port->PortType = EXTSTA;
    port->Active = 1;
    adapter->PortList[0] = port;
    (void)MlmeSyncInitMacTabPool(adapter);
    (void)MlmeInit(adapter);
    return adapter;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MP_ADAPTER* adapter = MakeAdapter();
    if (size < kControlBytes) {
        return 0;
    }
    const uint8_t control = data[0];
    MP_PORT* port = adapter->PortList[0];
    std::memcpy(adapter->Mlme.Conn.MlmeBssid, kAp, 6);
    adapter->Mlme.Conn.MlmeAuthAlgorithm = static_cast<USHORT>(control & 3);
    port->Mlme.AuthMachine.CurrState = (control & 4) != 0 ? AUTH_STATE_WAIT_SEQ4 : AUTH_STATE_WAIT_SEQ2;

    std::vector<uint8_t> frame(data + kControlBytes, data + size);
    (void)MlmeEnqueueForRecv(adapter, port, 3, 0xC0, 0xC1, 0xC2, static_cast<ULONG>(frame.size()),
                             frame.empty() ? nullptr : frame.data());
    (void)MlmeHandler(adapter);
    qzlfuzz::ForgetIndications();
    return 0;
}
