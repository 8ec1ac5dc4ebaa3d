#include "kshim/host/supplicant.h"

#include <openssl/rand.h>

#include <algorithm>

namespace kshim::host::wpa {
namespace {

constexpr uint8_t kOui[3] = {0x00, 0x0F, 0xAC};
constexpr uint8_t kKdeGtk = 1;
constexpr uint8_t kKdeIgtk = 9;

Bytes RandomBytes(size_t n)
{
    Bytes b(n);
    if (RAND_bytes(b.data(), static_cast<int>(n)) != 1) {
        b.assign(n, 0x5A);  // never reached with a working OpenSSL
    }
    return b;
}

Bytes Kde(uint8_t type, const Bytes& body)
{
    Bytes k{221, static_cast<uint8_t>(4 + body.size()), kOui[0], kOui[1], kOui[2], type};
    k.insert(k.end(), body.begin(), body.end());
    return k;
}

void PutRsc(std::array<uint8_t, 8>* rsc, uint64_t value)
{
    for (size_t i = 0; i < 8; ++i) {
        (*rsc)[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

size_t TkLength(uint8_t suite) { return SuiteKeyLength(suite); }

}  // namespace

size_t SuiteKeyLength(uint8_t suite)
{
    switch (suite) {
    case kSuiteCcmp128:
    case kSuiteBipCmac128:
        return 16;
    case kSuiteGcmp256:
    case kSuiteBipGmac256:
        return 32;
    default:
        return 0;
    }
}

Bytes GtkKde(const GroupKey& gtk, bool tx)
{
    Bytes body{static_cast<uint8_t>((gtk.keyId & 3) | (tx ? 0x04 : 0)), 0};
    body.insert(body.end(), gtk.key.begin(), gtk.key.end());
    return Kde(kKdeGtk, body);
}

Bytes IgtkKde(const GroupKey& igtk)
{
    Bytes body{static_cast<uint8_t>(igtk.keyId), static_cast<uint8_t>(igtk.keyId >> 8)};
    for (size_t i = 0; i < 6; ++i) {
        body.push_back(static_cast<uint8_t>(igtk.rsc >> (8 * i)));
    }
    body.insert(body.end(), igtk.key.begin(), igtk.key.end());
    return Kde(kKdeIgtk, body);
}

std::optional<KeyData> ParseKeyData(const Bytes& data)
{
    KeyData out;
    size_t pos = 0;
    while (pos < data.size()) {
        if (data[pos] == 0xDD && (pos + 1 >= data.size() || data[pos + 1] == 0)) {
            break;  // padding
        }
        if (pos + 2 > data.size() || pos + 2 + data[pos + 1] > data.size()) {
            return std::nullopt;
        }
        const uint8_t id = data[pos];
        const size_t length = data[pos + 1];
        const uint8_t* body = data.data() + pos + 2;
        if (id == 48 && out.rsnElement.empty()) {
            out.rsnElement.assign(data.begin() + static_cast<std::ptrdiff_t>(pos),
                                  data.begin() + static_cast<std::ptrdiff_t>(pos + 2 + length));
        } else if (id == 221 && length >= 4 && std::equal(body, body + 3, kOui)) {
            const uint8_t type = body[3];
            const uint8_t* k = body + 4;
            const size_t kLength = length - 4;
            if (type == kKdeGtk) {
                if (kLength != 2 + 16 && kLength != 2 + 32) {
                    return std::nullopt;
                }
                GroupKey g;
                g.keyId = k[0] & 3;
                g.key.assign(k + 2, k + kLength);
                out.gtk = g;
            } else if (type == kKdeIgtk) {
                if (kLength != 8 + 16 && kLength != 8 + 32) {
                    return std::nullopt;
                }
                GroupKey g;
                g.keyId = static_cast<uint8_t>(k[0] | (k[1] << 8));
                for (size_t i = 0; i < 6; ++i) {
                    g.rsc |= static_cast<uint64_t>(k[2 + i]) << (8 * i);
                }
                g.key.assign(k + 8, k + kLength);
                out.igtk = g;
            }
        }
        pos += 2 + length;
    }
    return out;
}

uint16_t KeyDescriptorVersion(Akm akm)
{
    switch (akm) {
    case Akm::Psk:
        return 2;
    case Akm::PskSha256:
        return 3;
    default:
        return 0;
    }
}

// ---- supplicant ---------------------------------------------------------------------------------------------

Supplicant::Supplicant(HandshakeConfig config) : config_(std::move(config)) {}

Supplicant::Result Supplicant::Drop(std::string why)
{
    ++dropped_;
    Result r;
    r.why = std::move(why);
    return r;
}

Supplicant::Result Supplicant::Receive(const Bytes& eapol)
{
    const auto key = ParseEapolKey(eapol);
    if (!key) {
        return Drop("not an EAPOL-Key frame");
    }
    const uint16_t info = key->keyInfo;
    const uint16_t version = KeyDescriptorVersion(config_.akm);
    if ((info & kKeyInfoVersionMask) != version || (info & kKeyInfoAck) == 0 || (info & kKeyInfoRequest) != 0) {
        return Drop("key information does not fit");
    }
    if (replay_ && key->replayCounter <= *replay_) {
        return Drop("replay counter not above the last one");
    }
    const MicAlgorithm mic = MicAlgorithmFor(config_.akm);
    Result r;
    EapolKey answer;
    answer.keyInfo = static_cast<uint16_t>(version | kKeyInfoMic);
    answer.replayCounter = key->replayCounter;
    if ((info & kKeyInfoPairwise) != 0 && (info & kKeyInfoMic) == 0) {
        // Message 1: a fresh SNonce and the PTK for this ANonce.
        const Bytes anonce(key->nonce.begin(), key->nonce.end());
        const Bytes snonce = RandomBytes(32);
        auto ptk = DerivePtk(config_.akm, config_.pmk, config_.aa, config_.spa, anonce, snonce,
                             TkLength(config_.pairwiseSuite));
        if (!ptk) {
            return Drop("no PTK for this PMK and suite");
        }
        anonce_ = anonce;
        snonce_ = snonce;
        ptk_ = std::move(ptk);
        answer.keyInfo |= kKeyInfoPairwise;
        std::copy(snonce_.begin(), snonce_.end(), answer.nonce.begin());
        answer.keyData = config_.supplicantRsn;
        r.step = Step::Message2;
    } else if ((info & kKeyInfoPairwise) != 0) {
        // Message 3.
        if (!ptk_ || !std::equal(anonce_.begin(), anonce_.end(), key->nonce.begin())) {
            return Drop("message 3 without its message 1");
        }
        if ((info & (kKeyInfoInstall | kKeyInfoSecure | kKeyInfoEncryptedKeyData)) !=
            (kKeyInfoInstall | kKeyInfoSecure | kKeyInfoEncryptedKeyData)) {
            return Drop("message 3 key information does not fit");
        }
        if (!CheckEapolKeyMic(mic, ptk_->kck, eapol)) {
            return Drop("message 3 MIC");
        }
        const auto plain = AesKeyUnwrap(ptk_->kek, key->keyData);
        const auto kd = plain ? ParseKeyData(*plain) : std::nullopt;
        if (!kd || !kd->gtk) {
            return Drop("message 3 key data");
        }
        if (kd->rsnElement != config_.authenticatorRsn) {
            return Drop("message 3 RSN element differs from the advertised one");
        }
        if (kd->gtk->key.size() != SuiteKeyLength(config_.groupSuite) ||
            (config_.groupMgmtSuite != 0 && (!kd->igtk || kd->igtk->key.size() != SuiteKeyLength(config_.groupMgmtSuite)))) {
            return Drop("message 3 group keys do not fit the suites");
        }
        answer.keyInfo |= kKeyInfoPairwise | kKeyInfoSecure;
        r.step = Step::Message4;
        r.keys.push_back({true, 0, config_.pairwiseSuite, ptk_->tk, 0});
        uint64_t rsc = 0;
        for (size_t i = 0; i < 6; ++i) {
            rsc |= static_cast<uint64_t>(key->rsc[i]) << (8 * i);
        }
        r.keys.push_back({false, kd->gtk->keyId, config_.groupSuite, kd->gtk->key, rsc});
        if (config_.groupMgmtSuite != 0) {
            r.keys.push_back({false, static_cast<uint8_t>(kd->igtk->keyId), config_.groupMgmtSuite, kd->igtk->key, kd->igtk->rsc});
        }
        complete_ = true;
    } else {
        // Group-key message 1.
        if (!complete_ || (info & (kKeyInfoMic | kKeyInfoSecure | kKeyInfoEncryptedKeyData)) !=
                              (kKeyInfoMic | kKeyInfoSecure | kKeyInfoEncryptedKeyData)) {
            return Drop("group message before the 4-way handshake or with the wrong key information");
        }
        if (!CheckEapolKeyMic(mic, ptk_->kck, eapol)) {
            return Drop("group message 1 MIC");
        }
        const auto plain = AesKeyUnwrap(ptk_->kek, key->keyData);
        const auto kd = plain ? ParseKeyData(*plain) : std::nullopt;
        if (!kd || !kd->gtk || kd->gtk->key.size() != SuiteKeyLength(config_.groupSuite)) {
            return Drop("group message 1 key data");
        }
        answer.keyInfo |= kKeyInfoSecure;
        r.step = Step::GroupMessage2;
        r.keys.push_back({false, kd->gtk->keyId, config_.groupSuite, kd->gtk->key, 0});
        if (config_.groupMgmtSuite != 0 && kd->igtk && kd->igtk->key.size() == SuiteKeyLength(config_.groupMgmtSuite)) {
            r.keys.push_back({false, static_cast<uint8_t>(kd->igtk->keyId), config_.groupMgmtSuite, kd->igtk->key, kd->igtk->rsc});
        }
    }
    replay_ = key->replayCounter;
    r.reply = BuildEapolKey(answer);
    SetEapolKeyMic(mic, ptk_->kck, &r.reply);
    return r;
}

// ---- authenticator ------------------------------------------------------------------------------------------

Authenticator::Authenticator(HandshakeConfig config) : config_(std::move(config)) {}

Authenticator::Result Authenticator::Drop(std::string why)
{
    Result r;
    r.why = std::move(why);
    return r;
}

Bytes Authenticator::Message1()
{
    if (anonce_.empty()) {
        anonce_ = RandomBytes(32);
    }
    EapolKey m1;
    m1.keyInfo = static_cast<uint16_t>(KeyDescriptorVersion(config_.akm) | kKeyInfoPairwise | kKeyInfoAck);
    m1.keyLength = static_cast<uint16_t>(SuiteKeyLength(config_.pairwiseSuite));
    m1.replayCounter = ++replay_;
    std::copy(anonce_.begin(), anonce_.end(), m1.nonce.begin());
    return BuildEapolKey(m1);
}

Authenticator::Result Authenticator::Receive(const Bytes& eapol, const GroupKey& gtk, const std::optional<GroupKey>& igtk)
{
    const auto key = ParseEapolKey(eapol);
    if (!key) {
        return Drop("not an EAPOL-Key frame");
    }
    const uint16_t info = key->keyInfo;
    if ((info & kKeyInfoMic) == 0 || (info & kKeyInfoAck) != 0 || key->replayCounter != replay_) {
        return Drop("not an answer to the last message");
    }
    const MicAlgorithm mic = MicAlgorithmFor(config_.akm);
    Result r;
    if ((info & kKeyInfoPairwise) != 0 && (info & kKeyInfoSecure) == 0) {
        // Message 2: the PTK from its SNonce, then its MIC and RSN element.
        if (anonce_.empty() || m3Sent_) {
            return Drop("message 2 out of turn");
        }
        auto ptk = DerivePtk(config_.akm, config_.pmk, config_.aa, config_.spa, anonce_,
                             Bytes(key->nonce.begin(), key->nonce.end()), SuiteKeyLength(config_.pairwiseSuite));
        if (!ptk || !CheckEapolKeyMic(mic, ptk->kck, eapol)) {
            return Drop("message 2 MIC");
        }
        const auto kd = ParseKeyData(key->keyData);
        if (!kd || kd->rsnElement != config_.supplicantRsn) {
            return Drop("message 2 RSN element differs from the association request's");
        }
        ptk_ = std::move(ptk);
        EapolKey m3;
        m3.keyInfo = static_cast<uint16_t>(KeyDescriptorVersion(config_.akm) | kKeyInfoPairwise | kKeyInfoInstall |
                                           kKeyInfoAck | kKeyInfoMic | kKeyInfoSecure | kKeyInfoEncryptedKeyData);
        m3.keyLength = static_cast<uint16_t>(SuiteKeyLength(config_.pairwiseSuite));
        m3.replayCounter = ++replay_;
        std::copy(anonce_.begin(), anonce_.end(), m3.nonce.begin());
        PutRsc(&m3.rsc, gtk.rsc);
        Bytes plain = config_.authenticatorRsn;
        const Bytes g = GtkKde(gtk);
        plain.insert(plain.end(), g.begin(), g.end());
        if (igtk) {
            const Bytes i = IgtkKde(*igtk);
            plain.insert(plain.end(), i.begin(), i.end());
        }
        const auto wrapped = AesKeyWrap(ptk_->kek, PadKeyData(plain));
        if (!wrapped) {
            return Drop("key data does not wrap");
        }
        m3.keyData = *wrapped;
        r.reply = BuildEapolKey(m3);
        SetEapolKeyMic(mic, ptk_->kck, &r.reply);
        m3Sent_ = true;
        r.step = Step::Message3;
        return r;
    }
    if (!ptk_ || !CheckEapolKeyMic(mic, ptk_->kck, eapol)) {
        return Drop("MIC");
    }
    if ((info & kKeyInfoPairwise) != 0) {
        if (!m3Sent_ || complete_) {
            return Drop("message 4 out of turn");
        }
        complete_ = true;
        r.step = Step::Complete;
        return r;
    }
    if (!groupPending_) {
        return Drop("group message 2 out of turn");
    }
    groupPending_ = false;
    r.step = Step::GroupComplete;
    return r;
}

std::optional<Bytes> Authenticator::GroupMessage1(const GroupKey& gtk, const std::optional<GroupKey>& igtk)
{
    if (!complete_) {
        return std::nullopt;
    }
    EapolKey m;
    m.keyInfo = static_cast<uint16_t>(KeyDescriptorVersion(config_.akm) | kKeyInfoAck | kKeyInfoMic | kKeyInfoSecure |
                                      kKeyInfoEncryptedKeyData);
    m.replayCounter = ++replay_;
    PutRsc(&m.rsc, gtk.rsc);
    Bytes plain = GtkKde(gtk);
    if (igtk) {
        const Bytes i = IgtkKde(*igtk);
        plain.insert(plain.end(), i.begin(), i.end());
    }
    const auto wrapped = AesKeyWrap(ptk_->kek, PadKeyData(plain));
    if (!wrapped) {
        return std::nullopt;
    }
    m.keyData = *wrapped;
    Bytes frame = BuildEapolKey(m);
    SetEapolKeyMic(MicAlgorithmFor(config_.akm), ptk_->kck, &frame);
    groupPending_ = true;
    return frame;
}

}  // namespace kshim::host::wpa
