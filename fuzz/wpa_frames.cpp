// Fuzz target: arbitrary bytes as what a peer sends the supplicant or the authenticator: an EAPOL-Key
// frame (parsed, its MIC checked with both algorithms, its key data unwrapped), an SAE commit body in
// both forms with and without a token, a confirm body, an anti-clogging request, and a peer commit's
// scalar and element handed to an SAE session. Every buffer holds exactly the bytes given.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "kshim/host/wpa_crypto.h"

#include "fuzz_support.h"

using namespace kshim::host::wpa;

namespace {

sae::Session* TheSession()
{
    static std::unique_ptr<sae::Session> session = [] {
        const MacAddress own{2, 0x11, 0x22, 0x33, 0x44, 0x55}, peer{2, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
        auto s = sae::Session::Create(sae::PasswordElement::HashToElement, "fuzz password", Bytes{'n', 'e', 't'}, own,
                                      peer);
        s->MakeCommit();
        return s;
    }();
    return session.get();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes input(data, data + size);
    const Bytes kck(16, 0x42);
    if (const auto key = ParseEapolKey(input)) {
        (void)AesKeyUnwrap(kck, key->keyData);
    }
    (void)CheckEapolKeyMic(MicAlgorithm::HmacSha1_128, kck, input);
    (void)CheckEapolKeyMic(MicAlgorithm::AesCmac128, kck, input);
    for (bool h2e : {false, true}) {
        for (size_t token : {size_t{0}, size_t{32}}) {
            if (const auto commit = sae::ParseCommit(input, h2e, token)) {
                (void)TheSession()->ProcessPeerCommit(commit->scalar, commit->element);
            }
        }
        (void)sae::ParseAntiCloggingRequest(input, h2e);
    }
    if (const auto confirm = sae::ParseConfirm(input)) {
        (void)TheSession()->CheckPeerConfirm(confirm->first, confirm->second);
    }
    if (size >= 96) {
        (void)TheSession()->ProcessPeerCommit(Bytes(data, data + 32), Bytes(data + 32, data + 96));
    }
    return 0;
}
