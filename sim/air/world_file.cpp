// The world file, read with toml++ (the only place that includes it: it is a large header).
#include "air/world_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include <toml++/toml.h>

namespace sim::air {

namespace {

const char* const kBuiltInWorld = R"world(# The built-in world: nine access points over the three bands.
name = "built-in"

[[ap]]
name = "home router"
ssid = "HomeNet"
bssid = "02:00:00:24:01:01"
band = "2.4"
channel = 1
security = "wpa2-psk"
passphrase = "home network"
phy = ["ht"]
signal = -45

[[ap]]
name = "coffee shop"
ssid = "CoffeeShop"
bssid = "02:00:00:24:06:01"
band = "2.4"
channel = 6
security = "open"
phy = ["ht"]
signal = -62
station_count = 7
channel_utilisation = 90

[[ap]]
name = "old router"
ssid = "OldRouter"
bssid = "02:00:00:24:0b:01"
band = "2.4"
channel = 11
security = "wep"
passphrase = "abcde"
phy = []
signal = -71

[[ap]]
name = "office, 5 GHz radio"
ssid = "Office"
bssid = "02:00:00:05:24:01"
band = "5"
channel = 36
width = 80
security = "wpa2-wpa3"
passphrase = "office secret"
phy = ["ht", "vht", "he"]
signal = -52
neighbours = ["02:00:00:06:21:01"]

[[ap]]
name = "lab (hidden)"
ssid = "Lab"
hidden = true
bssid = "02:00:00:05:24:02"
band = "5"
channel = 36
width = 80
security = "wpa2-psk"
passphrase = "lab secret"
phy = ["ht", "vht"]
signal = -55

[[ap]]
name = "campus, radar channel"
ssid = "Campus"
bssid = "02:00:00:05:64:01"
band = "5"
channel = 100
width = 40
security = "wpa3-sae"
passphrase = "campus secret"
phy = ["ht", "vht", "he"]
signal = -67

[[ap]]
name = "guest network"
ssid = "Guest"
bssid = "02:00:00:05:95:01"
band = "5"
channel = 149
security = "open"
phy = ["ht", "vht", "he"]
signal = -60

[[ap]]
name = "stadium"
ssid = "Stadium"
bssid = "02:00:00:06:25:01"
band = "6"
channel = 37
width = 160
security = "wpa3-sae"
passphrase = "stadium secret"
phy = ["he", "eht"]
signal = -63

[[ap]]
name = "office, 6 GHz radio (announced by the 5 GHz radio only)"
ssid = "Office"
bssid = "02:00:00:06:21:01"
band = "6"
channel = 33
width = 80
security = "wpa3-sae"
passphrase = "office secret"
phy = ["he", "eht"]
signal = -58
)world";

std::string Where(const toml::node& n)
{
    const auto& b = n.source().begin;
    return b.line != 0 ? "line " + std::to_string(b.line) + ": " : "";
}

class Reader {
public:
    Reader(const toml::table& t, std::string what) : t_(t), what_(std::move(what)) {}

    bool CheckKeys(const std::set<std::string>& allowed, std::string* error) const
    {
        for (const auto& [key, node] : t_) {
            if (allowed.count(std::string(key.str())) == 0) {
                *error = Where(node) + what_ + ": unknown key \"" + std::string(key.str()) + "\"";
                return false;
            }
        }
        return true;
    }

    const toml::node* Node(const char* key) const { return t_.get(key); }

    bool String(const char* key, std::string* out, bool required, std::string* error) const
    {
        const toml::node* n = t_.get(key);
        if (n == nullptr) {
            if (required) {
                *error = Where(t_) + what_ + ": \"" + key + "\" is missing";
            }
            return !required;
        }
        std::optional<std::string> v = n->value<std::string>();
        if (!v) {
            *error = Where(*n) + what_ + ": \"" + key + "\" must be a string";
            return false;
        }
        *out = *v;
        return true;
    }

    bool Int(const char* key, int64_t* out, int64_t lo, int64_t hi, bool required, std::string* error) const
    {
        const toml::node* n = t_.get(key);
        if (n == nullptr) {
            if (required) {
                *error = Where(t_) + what_ + ": \"" + key + "\" is missing";
            }
            return !required;
        }
        std::optional<int64_t> v = n->value<int64_t>();
        if (!v || !n->is_integer()) {
            *error = Where(*n) + what_ + ": \"" + key + "\" must be an integer";
            return false;
        }
        if (*v < lo || *v > hi) {
            *error = Where(*n) + what_ + ": \"" + key + "\" = " + std::to_string(*v) + " is outside " +
                     std::to_string(lo) + ".." + std::to_string(hi);
            return false;
        }
        *out = *v;
        return true;
    }

    bool Bool(const char* key, bool* out, std::string* error) const
    {
        const toml::node* n = t_.get(key);
        if (n == nullptr) {
            return true;
        }
        std::optional<bool> v = n->value<bool>();
        if (!v || !n->is_boolean()) {
            *error = Where(*n) + what_ + ": \"" + key + "\" must be true or false";
            return false;
        }
        *out = *v;
        return true;
    }

    const std::string& What() const { return what_; }

private:
    const toml::table& t_;
    std::string what_;
};

bool ParseBand(const std::string& text, Band* out)
{
    if (text == "2.4") {
        *out = Band::B2G4;
    } else if (text == "5") {
        *out = Band::B5G;
    } else if (text == "6") {
        *out = Band::B6G;
    } else {
        return false;
    }
    return true;
}

// "band" and "channel"; the channel must exist in the band when `checkChannel`.
bool ReadChannel(const toml::table& t, const Reader& r, Channel* c, bool checkChannel, std::string* error)
{
    std::string text;
    if (!r.String("band", &text, true, error)) {
        return false;
    }
    if (!ParseBand(text, &c->band)) {
        *error = Where(t) + r.What() + ": band \"" + text + "\" is none of \"2.4\", \"5\", \"6\"";
        return false;
    }
    int64_t v = 0;
    if (!r.Int("channel", &v, 1, 233, true, error)) {
        return false;
    }
    c->number = static_cast<uint8_t>(v);
    if (checkChannel && !ValidChannel(*c)) {
        *error = Where(t) + r.What() + ": channel " + std::to_string(v) + " is not in that band";
        return false;
    }
    return true;
}

// How the access point answers stations.
bool ParseStations(const toml::table& t, const Reader& r, ApConfig* ap, std::string* error)
{
    ap->authAlgorithms = {kAuthOpenSystem};
    if (ap->security == Security::Wep) {
        ap->authAlgorithms.push_back(kAuthSharedKey);
    }
    if (const toml::node* n = r.Node("auth_algorithms")) {
        const toml::array* list = n->as_array();
        if (list == nullptr || list->empty()) {
            *error = Where(*n) + r.What() + ": auth_algorithms is a list such as [\"open\", \"shared\"]";
            return false;
        }
        ap->authAlgorithms.clear();
        for (const toml::node& item : *list) {
            const std::optional<std::string> a = item.value<std::string>();
            if (a == "open") {
                ap->authAlgorithms.push_back(kAuthOpenSystem);
            } else if (a == "shared") {
                ap->authAlgorithms.push_back(kAuthSharedKey);
            } else {
                *error = Where(item) + r.What() + ": auth_algorithms entries are \"open\" and \"shared\"";
                return false;
            }
        }
    }
    int64_t v = 0;
    if (!r.Int("auth_status", &v, 0, 65535, false, error)) {
        return false;
    }
    ap->authStatus = static_cast<uint16_t>(v);
    if (const toml::node* n = r.Node("assoc_status")) {
        ap->assocStatus.clear();
        auto take = [&](const toml::node& item) {
            const std::optional<int64_t> status = item.value<int64_t>();
            if (!item.is_integer() || !status || *status < 0 || *status > 65535) {
                *error = Where(item) + r.What() + ": assoc_status is a status code 0..65535 or a list of them";
                return false;
            }
            ap->assocStatus.push_back(static_cast<uint16_t>(*status));
            return true;
        };
        if (const toml::array* list = n->as_array()) {
            for (const toml::node& item : *list) {
                if (!take(item)) {
                    return false;
                }
            }
        } else if (!take(*n)) {
            return false;
        }
    }
    v = 1000;
    if (!r.Int("comeback_tu", &v, 1, 0xFFFFFFFF, false, error)) {
        return false;
    }
    ap->comebackTu = static_cast<uint32_t>(v);
    if (!r.Bool("silent", &ap->silent, error)) {
        return false;
    }
    v = 0;
    if (!r.Int("ignore_auth", &v, 0, 1000, false, error)) {
        return false;
    }
    ap->ignoreAuth = static_cast<unsigned>(v);
    v = 0;
    if (!r.Int("ignore_assoc", &v, 0, 1000, false, error)) {
        return false;
    }
    ap->ignoreAssoc = static_cast<unsigned>(v);
    (void)t;
    return true;
}

// The TWT responder's answer and the HE parameter sets the access point starts with.
bool ParseHe(const toml::table& t, const Reader& r, ApConfig* ap, std::string* error)
{
    std::string text = "none";
    if (!r.String("twt", &text, false, error)) {
        return false;
    }
    bool known = false;
    for (TwtAnswer a : {TwtAnswer::None, TwtAnswer::Accept, TwtAnswer::Alternate, TwtAnswer::Dictate, TwtAnswer::Reject}) {
        if (text == TwtAnswerText(a)) {
            ap->twt = a;
            known = true;
        }
    }
    if (!known) {
        *error = Where(t) + r.What() + ": twt \"" + text + "\" is none of none, accept, alternate, dictate, reject";
        return false;
    }
    int64_t v = 0;
    if (r.Node("mu_edca_timer") != nullptr) {
        if (!r.Int("mu_edca_timer", &v, 0, 255, true, error)) {
            return false;
        }
        ap->muEdcaTimer = static_cast<uint8_t>(v);
    }
    if (r.Node("sr_offset") != nullptr) {
        if (!r.Int("sr_offset", &v, 0, 255, true, error)) {
            return false;
        }
        ap->srOffset = static_cast<uint8_t>(v);
    }
    return true;
}

// The access point's timeline: [[ap.event]] tables.
bool ParseEvents(const toml::table& t, const Reader& r, ApConfig* ap, std::string* error)
{
    const toml::node* n = r.Node("event");
    if (n == nullptr) {
        return true;
    }
    const toml::array* list = n->as_array();
    if (list == nullptr) {
        *error = Where(*n) + r.What() + ": events are written as [[ap.event]] tables";
        return false;
    }
    for (size_t i = 0; i < list->size(); ++i) {
        const toml::table* et = (*list)[i].as_table();
        if (et == nullptr) {
            *error = Where((*list)[i]) + r.What() + ": events are written as [[ap.event]] tables";
            return false;
        }
        Reader er(*et, r.What() + ", event " + std::to_string(i + 1));
        if (!er.CheckKeys({"at_ms", "action", "signal", "over_ms", "reason", "channel", "count", "mode", "width",
                           "timer", "offset", "flow"},
                          error)) {
            return false;
        }
        ApEvent e;
        int64_t v = 0;
        if (!er.Int("at_ms", &v, 0, 24 * 3600 * 1000, true, error)) {
            return false;
        }
        e.at = v;
        std::string action;
        if (!er.String("action", &action, true, error)) {
            return false;
        }
        const std::pair<const char*, ApEventKind> kinds[] = {
            {"signal", ApEventKind::Signal}, {"deauth", ApEventKind::Deauth}, {"disassoc", ApEventKind::Disassoc},
            {"switch", ApEventKind::ChannelSwitch}, {"vanish", ApEventKind::Vanish}, {"appear", ApEventKind::Appear},
            {"width", ApEventKind::Width}, {"rekey", ApEventKind::GroupRekey},
            {"mu_edca", ApEventKind::MuEdca}, {"spatial_reuse", ApEventKind::SpatialReuse},
            {"twt_teardown", ApEventKind::TwtTeardown},
        };
        bool known = false;
        for (const auto& [name, kind] : kinds) {
            if (action == name) {
                e.kind = kind;
                known = true;
            }
        }
        if (!known) {
            *error = Where(*et) + er.What() + ": action \"" + action +
                     "\" is none of signal, deauth, disassoc, switch, vanish, appear, width, rekey, mu_edca, "
                        "spatial_reuse, twt_teardown";
            return false;
        }
        auto need = [&](const char* key, int64_t lo, int64_t hi, int64_t* out) {
            return er.Int(key, out, lo, hi, true, error);
        };
        switch (e.kind) {
        case ApEventKind::Signal:
            if (!need("signal", -110, 0, &v)) {
                return false;
            }
            e.signalDbm = static_cast<int8_t>(v);
            v = 0;
            if (!er.Int("over_ms", &v, 0, 3600 * 1000, false, error)) {
                return false;
            }
            e.rampMs = v;
            break;
        case ApEventKind::Deauth:
        case ApEventKind::Disassoc:
            v = e.kind == ApEventKind::Deauth ? kReasonLeaving : kReasonDisassocLeaving;
            if (!er.Int("reason", &v, 1, 65535, false, error)) {
                return false;
            }
            e.reason = static_cast<uint16_t>(v);
            break;
        case ApEventKind::ChannelSwitch:
            if (!need("channel", 1, 233, &v)) {
                return false;
            }
            e.channel = static_cast<uint8_t>(v);
            v = 5;
            if (!er.Int("count", &v, 0, 255, false, error)) {
                return false;
            }
            e.count = static_cast<uint8_t>(v);
            v = 0;
            if (!er.Int("mode", &v, 0, 1, false, error)) {
                return false;
            }
            e.mode = static_cast<uint8_t>(v);
            break;
        case ApEventKind::Width:
            if (!need("width", 20, 320, &v)) {
                return false;
            }
            e.widthMhz = static_cast<unsigned>(v);
            break;
        case ApEventKind::MuEdca:
        case ApEventKind::SpatialReuse:
            if (!need(e.kind == ApEventKind::MuEdca ? "timer" : "offset", 0, 255, &v)) {
                return false;
            }
            e.value = static_cast<uint8_t>(v);
            break;
        case ApEventKind::TwtTeardown:
            if (er.Node("flow") != nullptr) {
                if (!need("flow", 0, 7, &v)) {
                    return false;
                }
                e.flow = static_cast<uint8_t>(v);
            }
            break;
        case ApEventKind::Vanish:
        case ApEventKind::Appear:
        case ApEventKind::GroupRekey:
            break;
        }
        ap->events.push_back(e);
    }
    std::stable_sort(ap->events.begin(), ap->events.end(), [](const ApEvent& a, const ApEvent& b) { return a.at < b.at; });
    (void)t;
    return true;
}

bool ParseAp(const toml::table& t, size_t index, ApConfig* ap, std::string* error)
{
    std::string label = "access point " + std::to_string(index + 1);
    if (const toml::node* n = t.get("name"); n != nullptr && n->value<std::string>()) {
        label = "access point \"" + *n->value<std::string>() + "\"";
    }
    Reader r(t, label);
    if (!r.CheckKeys({"name", "ssid", "bssid", "band", "channel", "width", "security", "pmf", "passphrase", "sae_anti_clogging", "phy",
                      "hidden", "hidden_style", "beacon_interval", "dtim_period", "signal", "chain_offsets",
                      "tbtt_offset", "country", "station_count", "channel_utilisation", "neighbours",
                      "auth_algorithms", "auth_status", "assoc_status", "comeback_tu", "silent", "ignore_auth",
                      "ignore_assoc", "twt", "mu_edca_timer", "sr_offset", "event"},
                     error)) {
        return false;
    }
    std::string text;
    if (!r.String("name", &ap->name, false, error) || !r.String("ssid", &text, true, error)) {
        return false;
    }
    ap->ssid.assign(text.begin(), text.end());
    if (!r.String("bssid", &text, true, error)) {
        return false;
    }
    if (!ParseMac(text, &ap->bssid) || IsGroup(ap->bssid) || ap->bssid == kZeroMac) {
        *error = Where(t) + r.What() + ": bssid \"" + text + "\" is not an individual MAC address";
        return false;
    }
    if (!ReadChannel(t, r, &ap->channel, false, error)) {  // ValidateApConfig says why a channel is wrong
        return false;
    }
    int64_t v = 20;
    if (!r.Int("width", &v, 20, 320, false, error)) {
        return false;
    }
    ap->widthMhz = static_cast<unsigned>(v);
    text = "open";
    if (!r.String("security", &text, false, error)) {
        return false;
    }
    const std::pair<const char*, Security> securities[] = {
        {"open", Security::Open},         {"wep", Security::Wep},           {"wpa-wpa2", Security::WpaWpa2},
        {"wpa2-psk", Security::Wpa2Psk},  {"wpa3-sae", Security::Wpa3Sae},  {"wpa2-wpa3", Security::Wpa2Wpa3},
    };
    bool known = false;
    for (const auto& [name, s] : securities) {
        if (text == name) {
            ap->security = s;
            known = true;
        }
    }
    if (!known) {
        *error = Where(t) + r.What() + ": security \"" + text +
                 "\" is none of open, wep, wpa-wpa2, wpa2-psk, wpa3-sae, wpa2-wpa3";
        return false;
    }
    ap->pmf = ap->security == Security::Wpa3Sae ? Pmf::Required : ap->security == Security::Wpa2Wpa3 ? Pmf::Capable : Pmf::Off;
    if (const toml::node* n = r.Node("pmf")) {
        std::optional<std::string> p = n->value<std::string>();
        if (p == "off") {
            ap->pmf = Pmf::Off;
        } else if (p == "capable") {
            ap->pmf = Pmf::Capable;
        } else if (p == "required") {
            ap->pmf = Pmf::Required;
        } else {
            *error = Where(*n) + r.What() + ": pmf must be \"off\", \"capable\" or \"required\"";
            return false;
        }
    }
    if (!r.String("passphrase", &ap->passphrase, false, error)) {
        return false;
    }
    if (!r.Bool("sae_anti_clogging", &ap->saeAntiClogging, error)) {
        return false;
    }
    // Default PHY set by band: 2.4 GHz HT, 5 GHz HT and VHT, 6 GHz HE.
    ap->ht = ap->channel.band != Band::B6G;
    ap->vht = ap->channel.band == Band::B5G;
    ap->he = ap->channel.band == Band::B6G;
    ap->eht = false;
    if (const toml::node* n = r.Node("phy")) {
        const toml::array* list = n->as_array();
        if (list == nullptr) {
            *error = Where(*n) + r.What() + ": phy must be a list such as [\"ht\", \"vht\", \"he\"]";
            return false;
        }
        ap->ht = ap->vht = ap->he = ap->eht = false;
        for (const toml::node& item : *list) {
            const std::optional<std::string> p = item.value<std::string>();
            if (p == "ht") {
                ap->ht = true;
            } else if (p == "vht") {
                ap->vht = true;
            } else if (p == "he") {
                ap->he = true;
            } else if (p == "eht") {
                ap->eht = true;
            } else {
                *error = Where(item) + r.What() + ": phy entries are \"ht\", \"vht\", \"he\", \"eht\"";
                return false;
            }
        }
    }
    if (!r.Bool("hidden", &ap->hidden, error)) {
        return false;
    }
    text = "empty";
    if (!r.String("hidden_style", &text, false, error)) {
        return false;
    }
    if (text != "empty" && text != "zeros") {
        *error = Where(t) + r.What() + ": hidden_style must be \"empty\" or \"zeros\"";
        return false;
    }
    ap->hiddenZeros = text == "zeros";
    v = 100;
    if (!r.Int("beacon_interval", &v, 1, 65535, false, error)) {
        return false;
    }
    ap->beaconIntervalTu = static_cast<uint16_t>(v);
    v = 1;
    if (!r.Int("dtim_period", &v, 1, 255, false, error)) {
        return false;
    }
    ap->dtimPeriod = static_cast<uint8_t>(v);
    v = -50;
    if (!r.Int("signal", &v, -110, 0, false, error)) {
        return false;
    }
    ap->signalDbm = static_cast<int8_t>(v);
    if (const toml::node* n = r.Node("chain_offsets")) {
        const toml::array* list = n->as_array();
        if (list == nullptr || list->size() > 4) {
            *error = Where(*n) + r.What() + ": chain_offsets is a list of at most 4 integers (dB)";
            return false;
        }
        for (size_t i = 0; i < list->size(); ++i) {
            const std::optional<int64_t> o = (*list)[i].value<int64_t>();
            if (!o || *o < -60 || *o > 60) {
                *error = Where(*n) + r.What() + ": chain offsets are integers within -60..60 dB";
                return false;
            }
            ap->chainOffsets[i] = static_cast<int8_t>(*o);
        }
    }
    v = -1;
    if (!r.Int("tbtt_offset", &v, 0, 65535, false, error)) {
        return false;
    }
    ap->tbttOffsetTu = static_cast<int>(v);
    if (ap->tbttOffsetTu >= ap->beaconIntervalTu) {
        *error = Where(t) + r.What() + ": tbtt_offset must be below the beacon interval";
        return false;
    }
    if (!r.String("country", &ap->country, false, error)) {
        return false;
    }
    v = 0;
    if (!r.Int("station_count", &v, 0, 65535, false, error)) {
        return false;
    }
    ap->stationCount = static_cast<uint16_t>(v);
    v = 0;
    if (!r.Int("channel_utilisation", &v, 0, 255, false, error)) {
        return false;
    }
    ap->channelUtilisation = static_cast<uint8_t>(v);
    if (const toml::node* n = r.Node("neighbours")) {
        const toml::array* list = n->as_array();
        if (list == nullptr) {
            *error = Where(*n) + r.What() + ": neighbours is a list of BSSIDs";
            return false;
        }
        for (const toml::node& item : *list) {
            Mac m{};
            const std::optional<std::string> s = item.value<std::string>();
            if (!s || !ParseMac(*s, &m)) {
                *error = Where(item) + r.What() + ": neighbours are BSSIDs such as \"02:00:00:00:00:01\"";
                return false;
            }
            ap->neighbours.push_back(m);
        }
    }
    if (!ParseStations(t, r, ap, error) || !ParseHe(t, r, ap, error) || !ParseEvents(t, r, ap, error)) {
        return false;
    }
    const std::string problem = ValidateApConfig(*ap);
    if (!problem.empty()) {
        *error = Where(t) + r.What() + ": " + problem;
        return false;
    }
    return true;
}

bool ParseFrame(const toml::table& t, size_t index, ReplayFrame* f, std::string* error)
{
    Reader r(t, "frame " + std::to_string(index + 1));
    if (!r.CheckKeys({"band", "channel", "signal", "hex"}, error)) {
        return false;
    }
    if (!ReadChannel(t, r, &f->channel, true, error)) {
        return false;
    }
    std::string text;
    int64_t v = kReplayDefaultSignalDbm;
    if (!r.Int("signal", &v, -110, 0, false, error)) {
        return false;
    }
    f->signalDbm = static_cast<int8_t>(v);
    if (!r.String("hex", &text, true, error)) {
        return false;
    }
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '\n') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            *error = Where(t) + r.What() + ": hex holds a character that is not a hex digit";
            return false;
        }
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0 || digits.size() < 2 * kMgmtHeaderLength) {
        *error = Where(t) + r.What() + ": hex must be whole bytes, at least a 24-byte header";
        return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        f->frame.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

}  // namespace

const char* BuiltInWorldText() { return kBuiltInWorld; }

std::optional<WorldConfig> ParseWorld(const std::string& text, std::string* error)
{
    std::string ignored;
    std::string& why = error != nullptr ? *error : ignored;
    toml::table root;
    try {
        root = toml::parse(text);
    } catch (const toml::parse_error& e) {
        std::ostringstream s;
        s << "line " << e.source().begin.line << ": " << e.description();
        why = s.str();
        return std::nullopt;
    }
    WorldConfig world;
    Reader top(root, "world");
    if (!top.CheckKeys({"name", "ap", "frame"}, &why) || !top.String("name", &world.name, false, &why)) {
        return std::nullopt;
    }
    auto tables = [&](const char* key, const char* what, std::vector<const toml::table*>* out) {
        const toml::node* n = root.get(key);
        if (n == nullptr) {
            return true;
        }
        const toml::array* list = n->as_array();
        if (list == nullptr) {
            why = Where(*n) + "\"" + key + "\" must be written as [[" + key + "]] tables of " + what;
            return false;
        }
        for (const toml::node& item : *list) {
            const toml::table* t = item.as_table();
            if (t == nullptr) {
                why = Where(item) + "\"" + key + "\" must be written as [[" + key + "]] tables of " + what;
                return false;
            }
            out->push_back(t);
        }
        return true;
    };
    std::vector<const toml::table*> aps;
    std::vector<const toml::table*> frames;
    if (!tables("ap", "access points", &aps) || !tables("frame", "frames", &frames)) {
        return std::nullopt;
    }
    for (size_t i = 0; i < aps.size(); ++i) {
        ApConfig ap;
        if (!ParseAp(*aps[i], i, &ap, &why)) {
            return std::nullopt;
        }
        for (const ApConfig& other : world.accessPoints) {
            if (other.bssid == ap.bssid) {
                why = Where(*aps[i]) + "two access points have BSSID " + MacText(ap.bssid);
                return std::nullopt;
            }
        }
        world.accessPoints.push_back(std::move(ap));
    }
    for (const ApConfig& ap : world.accessPoints) {
        for (const Mac& n : ap.neighbours) {
            bool found = false;
            for (const ApConfig& other : world.accessPoints) {
                found = found || (other.bssid == n && n != ap.bssid);
            }
            if (!found) {
                why = "access point " + MacText(ap.bssid) + " announces neighbour " + MacText(n) +
                      ", which is no other access point of the world";
                return std::nullopt;
            }
        }
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        ReplayFrame f;
        if (!ParseFrame(*frames[i], i, &f, &why)) {
            return std::nullopt;
        }
        world.frames.push_back(std::move(f));
    }
    return world;
}

std::optional<WorldConfig> LoadWorldFile(const std::string& path, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        if (error != nullptr) {
            *error = "cannot open " + path;
        }
        return std::nullopt;
    }
    std::stringstream s;
    s << in.rdbuf();
    std::optional<WorldConfig> w = ParseWorld(s.str(), error);
    if (!w && error != nullptr) {
        *error = path + ": " + *error;
    }
    return w;
}

}  // namespace sim::air
