#include "air/ap_rsn.h"

#include "air/access_point.h"

#include <openssl/rand.h>

#include <algorithm>

namespace sim::air {
namespace {

namespace wpa = kshim::host::wpa;

constexpr uint8_t kLlcEapol[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0x8E};
constexpr uint8_t kOui[3] = {0x00, 0x0F, 0xAC};

Bytes RandomKey(size_t n)
{
    Bytes b(n);
    if (RAND_bytes(b.data(), static_cast<int>(n)) != 1) {
        b.assign(n, 0xA5);
    }
    return b;
}

// What a station's RSN element asks for.
struct RsnRequest {
    uint8_t pairwise = 0;
    uint8_t akm = 0;
    bool mfpc = false;
    bool mfpr = false;
};

// Reads an RSN element body (after id and length): version 1, the group suite, one pairwise suite
// and one AKM (a station names exactly one of each), the capabilities. Empty when it does not fit.
std::optional<RsnRequest> ReadRsn(const uint8_t* p, size_t n)
{
    if (n < 2 + 4 + 2 + 4 + 2 + 4 || Le16(p) != 1) {
        return std::nullopt;
    }
    size_t pos = 6;
    const uint16_t pairwiseCount = Le16(p + pos);
    pos += 2;
    if (pairwiseCount != 1 || pos + 4 + 2 > n || !std::equal(p + pos, p + pos + 3, kOui)) {
        return std::nullopt;
    }
    RsnRequest r;
    r.pairwise = p[pos + 3];
    pos += 4;
    const uint16_t akmCount = Le16(p + pos);
    pos += 2;
    if (akmCount != 1 || pos + 4 > n || !std::equal(p + pos, p + pos + 3, kOui)) {
        return std::nullopt;
    }
    r.akm = p[pos + 3];
    pos += 4;
    if (pos + 2 <= n) {
        const uint16_t caps = Le16(p + pos);
        r.mfpr = (caps & 0x0040) != 0;
        r.mfpc = (caps & 0x0080) != 0;
    }
    return r;
}

}  // namespace

std::optional<Bytes> EapolOf(const Bytes& frame)
{
    const size_t h = rsn::MacHeaderLength(frame);
    if (h == 0 || FrameType(Le16(frame.data())) != 2 || frame.size() < h + sizeof(kLlcEapol) ||
        !std::equal(kLlcEapol, kLlcEapol + sizeof(kLlcEapol), frame.begin() + static_cast<std::ptrdiff_t>(h))) {
        return std::nullopt;
    }
    return Bytes(frame.begin() + static_cast<std::ptrdiff_t>(h + sizeof(kLlcEapol)), frame.end());
}

Bytes EapolDataFrame(const Mac& to, const Mac& bssid, uint16_t seq, const Bytes& eapol)
{
    Bytes f;
    PutLe16(f, 0x0208);  // data, From-DS
    PutLe16(f, 0);
    f.insert(f.end(), to.begin(), to.end());
    f.insert(f.end(), bssid.begin(), bssid.end());
    f.insert(f.end(), bssid.begin(), bssid.end());
    PutLe16(f, static_cast<uint16_t>((seq & 0x0FFF) << 4));
    f.insert(f.end(), kLlcEapol, kLlcEapol + sizeof(kLlcEapol));
    f.insert(f.end(), eapol.begin(), eapol.end());
    return f;
}

ApRsn::ApRsn(const Mac& bssid, const Bytes& ssid, const std::string& passphrase, Bytes advertised, bool pskOffered,
             bool saeOffered, bool pmfCapable, bool pmfRequired)
    : bssid_(bssid),
      ssid_(ssid),
      passphrase_(passphrase),
      tokenSecret_(RandomKey(32)),
      advertised_(std::move(advertised)),
      pskOffered_(pskOffered),
      saeOffered_(saeOffered),
      pmfCapable_(pmfCapable || pmfRequired),
      pmfRequired_(pmfRequired)
{
    if (pskOffered_) {
        if (auto pmk = wpa::PassphraseToPmk(passphrase, ssid)) {
            pskPmk_ = *pmk;
        }
    }
    gtk_ = wpa::GroupKey{1, RandomKey(16), 0};
    igtk_ = wpa::GroupKey{4, RandomKey(16), 1};
}

ApRsn::Station* ApRsn::Find(const Mac& station)
{
    auto it = stations_.find(station);
    return it == stations_.end() ? nullptr : &it->second;
}

const ApRsn::Station* ApRsn::Find(const Mac& station) const
{
    auto it = stations_.find(station);
    return it == stations_.end() ? nullptr : &it->second;
}

void ApRsn::SetSaePmk(const Mac& station, Bytes pmk) { saePmk_[station] = std::move(pmk); }

uint16_t ApRsn::Associate(const Mac& station, const uint8_t* elements, size_t length)
{
    stations_.erase(station);
    const std::optional<Element> e = FindElement(elements, length, kEidRsn);
    if (!e) {
        // A request without an RSN element is taken as the air took every request before it learnt
        // RSN: associated without a handshake, its data exchanged as it comes.
        return 0;
    }
    const std::optional<RsnRequest> r = ReadRsn(e->body, e->length);
    if (!r) {
        return kStatusInvalidRsne;
    }
    if (r->pairwise != wpa::kSuiteCcmp128) {
        return kStatusInvalidPairwiseCipher;
    }
    Bytes pmk;
    wpa::Akm akm = wpa::Akm::Psk;
    if (r->akm == static_cast<uint8_t>(wpa::Akm::Psk) && pskOffered_ && !pskPmk_.empty()) {
        pmk = pskPmk_;
    } else if (r->akm == static_cast<uint8_t>(wpa::Akm::Sae) && saeOffered_ && saePmk_.count(station) != 0) {
        pmk = saePmk_[station];
        akm = wpa::Akm::Sae;
    } else {
        return kStatusInvalidAkmp;
    }
    if ((pmfRequired_ && !r->mfpc) || (r->mfpr && !pmfCapable_)) {
        return kStatusRobustPolicyViolation;
    }
    wpa::HandshakeConfig c;
    c.akm = akm;
    c.pmk = pmk;
    std::copy(bssid_.begin(), bssid_.end(), c.aa.begin());
    std::copy(station.begin(), station.end(), c.spa.begin());
    c.pairwiseSuite = wpa::kSuiteCcmp128;
    c.groupSuite = wpa::kSuiteCcmp128;
    const bool pmf = pmfCapable_ && r->mfpc;
    c.groupMgmtSuite = pmf ? wpa::kSuiteBipCmac128 : 0;
    c.supplicantRsn.assign(e->body - 2, e->body + e->length);
    c.authenticatorRsn = advertised_;
    Station s;
    s.auth = std::make_unique<wpa::Authenticator>(std::move(c));
    s.pmf = pmf;
    stations_[station] = std::move(s);
    return 0;
}

void ApRsn::Forget(const Mac& station)
{
    stations_.erase(station);
    saePmk_.erase(station);
}

bool ApRsn::Keyed(const Mac& station) const
{
    const Station* s = Find(station);
    return s != nullptr && s->auth->Complete();
}

bool ApRsn::Pmf(const Mac& station) const
{
    const Station* s = Find(station);
    return s != nullptr && s->pmf && s->auth->Complete();
}

std::optional<Bytes> ApRsn::Message1(const Mac& station)
{
    Station* s = Find(station);
    if (s == nullptr) {
        return std::nullopt;
    }
    return s->auth->Message1();
}

ApRsn::Intake ApRsn::FromStation(const Mac& station, const Bytes& frame)
{
    Intake in;
    Station* s = Find(station);
    if (s == nullptr) {
        ++counters_.dataDropped;
        return in;
    }
    Bytes plain;
    if ((Le16(frame.data()) & rsn::kFcProtected) != 0) {
        const Bytes* tk = s->auth->Tk();
        const auto open = tk != nullptr && s->auth->Complete() ? rsn::Unprotect(rsn::Cipher::Ccmp128, *tk, frame) : std::nullopt;
        if (!open) {
            ++counters_.dataDropped;
            return in;
        }
        if (s->rxPn && open->pn <= *s->rxPn) {
            ++counters_.replays;
            ++counters_.dataDropped;
            return in;
        }
        s->rxPn = open->pn;
        plain = open->frame;
    } else {
        plain = frame;
    }
    if (const auto eapol = EapolOf(plain)) {
        const std::optional<wpa::GroupKey> igtk = s->pmf ? std::optional<wpa::GroupKey>(igtk_) : std::nullopt;
        const auto r = s->auth->Receive(*eapol, gtk_, igtk);
        in.kind = Intake::Eapol;
        switch (r.step) {
        case wpa::Authenticator::Step::Dropped:
            ++counters_.eapolDropped;
            break;
        case wpa::Authenticator::Step::Message3:
            in.reply = r.reply;
            break;
        case wpa::Authenticator::Step::Complete:
            ++counters_.handshakes;
            in.completed = true;
            break;
        case wpa::Authenticator::Step::GroupComplete:
            ++counters_.groupRekeys;
            break;
        }
        return in;
    }
    if ((Le16(frame.data()) & rsn::kFcProtected) == 0) {
        ++counters_.dataDropped;  // plain data on a secured link
        return in;
    }
    in.kind = Intake::Data;
    in.plain = std::move(plain);
    return in;
}

std::optional<Bytes> ApRsn::ToStation(const Mac& station, const Bytes& frame)
{
    Station* s = Find(station);
    if (s == nullptr || !s->auth->Complete() || s->auth->Tk() == nullptr) {
        return frame;
    }
    return rsn::Protect(rsn::Cipher::Ccmp128, *s->auth->Tk(), 0, ++s->txPn, frame);
}

std::vector<std::pair<Mac, Bytes>> ApRsn::Rekey()
{
    gtk_ = wpa::GroupKey{static_cast<uint8_t>(gtk_.keyId == 1 ? 2 : 1), RandomKey(16), 0};
    std::vector<std::pair<Mac, Bytes>> out;
    for (auto& [mac, s] : stations_) {
        const std::optional<wpa::GroupKey> igtk = s.pmf ? std::optional<wpa::GroupKey>(igtk_) : std::nullopt;
        if (auto m1 = s.auth->GroupMessage1(gtk_, igtk)) {
            out.emplace_back(mac, *m1);
        }
    }
    return out;
}

std::optional<Bytes> ApRsn::ProtectGroupManagement(const Bytes& frame)
{
    return rsn::AddMme(rsn::Cipher::BipCmac128, igtk_.key, igtk_.keyId, ++igtk_.rsc, frame);
}

// ---- the access point's hooks ------------------------------------------------------------------------------

ApRsn* AccessPoint::RsnState()
{
    if (!rsn_) {
        const int64_t t = epoch_;
        const Bytes elements = Elements(StateLocked(t), true, t);
        Bytes advertised;
        if (const std::optional<Element> e = FindElement(elements.data(), elements.size(), kEidRsn)) {
            advertised.assign(e->body - 2, e->body + e->length);
        }
        const Security sec = config_.security;
        const bool psk = sec == Security::WpaWpa2 || sec == Security::Wpa2Psk || sec == Security::Wpa2Wpa3;
        const bool sae = sec == Security::Wpa3Sae || sec == Security::Wpa2Wpa3;
        rsn_ = std::make_unique<ApRsn>(bssid_, config_.ssid, config_.passphrase, std::move(advertised), psk, sae,
                                       config_.pmf != Pmf::Off, config_.pmf == Pmf::Required);
    }
    return rsn_.get();
}

uint16_t AccessPoint::RsnAssociate(const Mac& station, const uint8_t* elements, size_t length, std::vector<Bytes>* out)
{
    ApRsn* r = RsnState();
    if (out == nullptr) {
        return r->Associate(station, elements, length);
    }
    if (std::optional<Bytes> m1 = r->Message1(station)) {
        uint16_t& next = echoSequence_[16];
        const uint16_t seq = next;
        next = static_cast<uint16_t>((next + 1) & 0x0FFF);
        out->push_back(EapolDataFrame(station, bssid_, seq, *m1));
    }
    return 0;
}

void AccessPoint::SecuredData(const Bytes& frame, const FrameAddresses& a, const Reception& rx)
{
    ApRsn::Intake in;
    std::vector<Bytes> replies;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (a.a1 != bssid_) {
            return;
        }
        auto it = stations_.find(a.a2);
        if (it == stations_.end() || it->second.state != StationState::Associated) {
            ++record_.dataFrames;
            return;  // data from a station that is not associated is not taken
        }
        if (!RsnState()->Known(a.a2)) {
            in.kind = ApRsn::Intake::Data;  // associated without an RSN element
            in.plain = frame;
        } else {
            in = rsn_->FromStation(a.a2, frame);
        }
        if (in.kind == ApRsn::Intake::Eapol && in.reply) {
            uint16_t& next = echoSequence_[16];
            const uint16_t seq = next;
            next = static_cast<uint16_t>((next + 1) & 0x0FFF);
            Bytes f = EapolDataFrame(a.a2, bssid_, seq, *in.reply);
            if (rsn_->ProtectEapol(a.a2)) {
                std::optional<Bytes> sealed = rsn_->ToStation(a.a2, f);
                if (!sealed) {
                    return;
                }
                f = std::move(*sealed);
            }
            replies.push_back(std::move(f));
        }
        if (in.kind != ApRsn::Intake::Data) {
            ++record_.dataFrames;
        }
    }
    if (in.kind == ApRsn::Intake::Data) {
        EchoData(in.plain, a, rx);
    } else if (!replies.empty()) {
        Send(rx.channel, rx.time + responseDelay_, std::move(replies));
    }
}

void AccessPoint::RekeyGroup(int64_t due)
{
    std::vector<Bytes> frames;
    Channel channel;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const ApState s = StateLocked(due);
        if (!s.present || (config_.security == Security::Open || config_.security == Security::Wep)) {
            return;
        }
        channel = s.channel;
        for (auto& [station, m1] : RsnState()->Rekey()) {
            uint16_t& next = echoSequence_[16];
            const uint16_t seq = next;
            next = static_cast<uint16_t>((next + 1) & 0x0FFF);
            if (std::optional<Bytes> sealed = rsn_->ToStation(station, EapolDataFrame(station, bssid_, seq, m1))) {
                frames.push_back(std::move(*sealed));
            }
        }
    }
    if (!frames.empty()) {
        Send(channel, due, std::move(frames));
    }
}

ApRsnCounters AccessPoint::RsnCounters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return rsn_ ? rsn_->GetCounters() : ApRsnCounters{};
}

}  // namespace sim::air
