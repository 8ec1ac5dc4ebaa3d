// The access point's side of SAE on group 19: a commit is answered with the access point's own
// commit (hunting-and-pecking for status 0, hash-to-element for status 126), or, when the world asks
// for anti-clogging, first with status 76 and a token the next commit must carry; a confirm that
// checks out is answered with the access point's confirm and authenticates the station with the PMK
// of the exchange. A commit or confirm that fails a check is dropped and counted.
#include "air/access_point.h"
#include "air/ap_rsn.h"

namespace sim::air {
namespace {

namespace sae = kshim::host::wpa::sae;

kshim::host::wpa::MacAddress Address(const Mac& m)
{
    kshim::host::wpa::MacAddress a{};
    std::copy(m.begin(), m.end(), a.begin());
    return a;
}

}  // namespace

std::vector<ApRsn::SaeAnswer> ApRsn::Sae(const Mac& station, uint16_t seq, uint16_t status, const uint8_t* body,
                                         size_t length, bool antiClogging, bool* authenticated)
{
    *authenticated = false;
    std::vector<SaeAnswer> out;
    const Bytes b(body, body + length);
    if (!saeOffered_) {
        return out;
    }
    if (seq == 1) {
        const bool h2e = status == sae::kStatusHashToElement;
        if (status != sae::kStatusSuccess && !h2e) {
            ++counters_.saeFailed;
            return out;
        }
        const Bytes token = antiClogging ? sae::MakeAntiCloggingToken(tokenSecret_, Address(station)) : Bytes{};
        std::optional<sae::Commit> commit = sae::ParseCommit(b, h2e, token.size());
        if (antiClogging && (!commit || !sae::CheckAntiCloggingToken(tokenSecret_, Address(station), commit->token))) {
            // No token or not ours: ask for one (the commit is not looked at further).
            ++counters_.saeTokensAsked;
            out.push_back({1, sae::kStatusAntiCloggingTokenRequired, sae::BuildAntiCloggingRequest(sae::kGroup19, token, h2e)});
            return out;
        }
        if (!commit) {
            ++counters_.saeFailed;
            return out;
        }
        auto session = sae::Session::Create(h2e ? sae::PasswordElement::HashToElement : sae::PasswordElement::HuntingAndPecking,
                                            passphrase_, ssid_, Address(bssid_), Address(station));
        if (!session || !session->MakeCommit() || !session->ProcessPeerCommit(commit->scalar, commit->element)) {
            ++counters_.saeFailed;
            return out;
        }
        ++counters_.saeCommits;
        sae::Commit own;
        own.scalar = session->Scalar();
        own.element = session->Element();
        out.push_back({1, status, sae::BuildCommit(own, h2e)});
        sae_[station] = std::move(session);
        return out;
    }
    if (seq != 2) {
        return out;
    }
    auto it = sae_.find(station);
    const auto confirm = sae::ParseConfirm(b);
    if (it == sae_.end() || status != sae::kStatusSuccess || !confirm ||
        !it->second->CheckPeerConfirm(confirm->first, confirm->second)) {
        ++counters_.saeFailed;
        return out;
    }
    ++counters_.saeConfirmed;
    out.push_back({2, sae::kStatusSuccess, sae::BuildConfirm(1, it->second->Confirm(1))});
    SetSaePmk(station, it->second->Pmk());
    sae_.erase(it);
    *authenticated = true;
    return out;
}

void AccessPoint::OnSae(const Mac& station, uint16_t seq, uint16_t status, const uint8_t* body, size_t length,
                        std::vector<Bytes>* out)
{
    bool authenticated = false;
    for (const ApRsn::SaeAnswer& a : RsnState()->Sae(station, seq, status, body, length, config_.saeAntiClogging, &authenticated)) {
        Bytes f = AuthFrame(station, kAuthSae, a.seq, a.status, nullptr);
        f.insert(f.end(), a.body.begin(), a.body.end());
        out->push_back(std::move(f));
    }
    if (authenticated) {
        challenges_.erase(station);
        stations_[station] = StationInfo{station, StationState::Authenticated, 0, false, 0};
    }
}

}  // namespace sim::air
