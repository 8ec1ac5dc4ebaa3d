// Fuzz target: arbitrary bytes on the SAE path of a station port: as the access point's commit or
// confirm handed to the SAE machine in the state that awaits it, and as the body of the OS's commit or
// confirm message (the packed SAE parameters) in the state that sends it. The buffer is exactly as long
// as the input, so a read past it is an address error.
//
// Input: byte 0 chooses the case (bits 0-1: peer commit, peer confirm, OS commit, OS confirm), the
// port's hash-to-element flag (bits 2-3) and whether the exchange is SAE's (bit 4); byte 1 is the
// token-container length of the last peer commit; the rest is the frame or the message body.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc_types.h"
#include "Common/mlme/mlmesae.h"
#include "Common/mlme/mlmesync.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

namespace {

constexpr size_t kControlBytes = 2;
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
    adapter->Mlme.Conn.MlmeAuthAlgorithm = (control & 0x10) != 0 ? AUTH_ALG_SAE : AUTH_ALG_OPEN;
    port->Ind.SaeH2e = static_cast<UCHAR>((control >> 2) & 3);
    port->Ind.SaeH2eElementLength = data[1];
    static const ULONG kState[4] = {1, 3, 0, 2};
    static const ULONG kMessage[4] = {1, 3, 0, 2};
    port->Mlme.SaeMachine.CurrState = kState[control & 3];

    std::vector<uint8_t> body(data + kControlBytes, data + size);
    const ULONG length = static_cast<ULONG>(body.size());
    UCHAR peer[6];
    USHORT alg = 0;
    (void)MlmeSaeAuthReqSanity(body.empty() ? nullptr : body.data(), length, peer, &alg);
    USHORT seq = 0;
    USHORT status = 0;
    (void)PeerSAEAuthSanity(adapter, port, body.empty() ? nullptr : body.data(), length, peer, &alg, &seq, &status);
    if (length <= MLME_MSG_SIZE) {
        (void)MlmeEnqueue(adapter, port, MLME_SAE_STATE_MACHINE, kMessage[control & 3], length,
                          body.empty() ? nullptr : body.data());
        (void)MlmeHandler(adapter);
    }
    qzlfuzz::ForgetIndications();
    return 0;
}
