// Fuzz target: arbitrary bytes as a received management frame handed to the MLME queue, classified
// and run through the MLME handler. The frame buffer is exactly as long as the received length, so
// a read past it is an address error.
//
// Input: byte 0 chooses the port (bit 0: port 1 instead of port 0), SAE in use (bit 1), a protected
// link that may question a deauthentication (bit 2), an ACTION machine waiting for an answer (bit 3)
// and a 6 GHz reception (bit 4); byte 1 is the pending action dialog token; the rest is the frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

namespace {

constexpr size_t kControlBytes = 2;

MP_ADAPTER* MakeAdapter()
{
    auto* adapter = new MP_ADAPTER();
    adapter->Device = qzlfuzz::PlainDevice();  // received action frames go up to the OS
    for (ULONG i = 0; i < 2; ++i) {
        auto* port = new MP_PORT();
        port->Adapter = adapter;
        port->PortNumber = i;
        port->PortType = EXTSTA;
        port->Active = 1;
        adapter->PortList[i] = port;
    }
    (void)MlmeSyncInitMacTabPool(adapter);
    (void)MlmeInit(adapter);
    (void)MlmePortInit(adapter, adapter->PortList[1]);
    adapter->Mlme.PmfSupported = 1;
    adapter->Mlme.PmfSwitch = 1;
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
    MP_PORT* port = adapter->PortList[control & 1];
    port->Mlme.SaeInUse = (control >> 1) & 1;
    port->Mlme.PmfEnabled = (control >> 2) & 1;
    port->Mlme.UnicastCipher = 4;
    port->ConnectionFlags = (control >> 2) & 1;
    port->Mlme.ActionMachine.CurrentState = (control >> 3) & 1;
    port->Mlme.PendingActionToken = data[1];
    adapter->LastRxBand = (control & 0x10) != 0 ? BAND_6G : BAND_5G;

    std::vector<uint8_t> frame(data + kControlBytes, data + size);
    (void)MlmeEnqueueForRecv(adapter, port, 3, 0xC0, 0xC1, 0xC2, static_cast<ULONG>(frame.size()),
                             frame.empty() ? nullptr : frame.data());
    (void)MlmeHandler(adapter);
    qzlfuzz::ForgetIndications();
    return 0;
}
