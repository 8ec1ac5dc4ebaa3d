// IEEE 802.11 helpers of the simulated air.
#include "air/ieee80211.h"

#include <cstdio>

namespace sim::air {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Start of the 5 GHz block of `span` 20 MHz channels that holds n (blocks begin at 36 and at 149).
unsigned Block5(unsigned n, unsigned span)
{
    const unsigned base = n >= 149 ? 149 : 36;
    return base + ((n - base) / (4 * span)) * (4 * span);
}

unsigned Block6(unsigned n, unsigned span) { return 1 + ((n - 1) / (4 * span)) * (4 * span); }

bool In5(unsigned n, unsigned lo, unsigned hi) { return n >= lo && n <= hi && (n - lo) % 4 == 0; }

}  // namespace

bool ParseMac(std::string_view text, Mac* out)
{
    if (text.size() != 17) {
        return false;
    }
    Mac m{};
    for (size_t i = 0; i < 6; ++i) {
        const int hi = HexDigit(text[3 * i]);
        const int lo = HexDigit(text[3 * i + 1]);
        if (hi < 0 || lo < 0 || (i < 5 && text[3 * i + 2] != ':' && text[3 * i + 2] != '-')) {
            return false;
        }
        m[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    *out = m;
    return true;
}

std::string MacText(const Mac& a)
{
    char text[18];
    std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

Mac MacAt(const uint8_t* p)
{
    Mac m;
    for (size_t i = 0; i < 6; ++i) {
        m[i] = p[i];
    }
    return m;
}

bool ValidChannel(Channel c)
{
    const unsigned n = c.number;
    switch (c.band) {
    case Band::B2G4:
        return n >= 1 && n <= 14;
    case Band::B5G:
        return In5(n, 36, 64) || In5(n, 100, 144) || In5(n, 149, 177);
    case Band::B6G:
        return n == 2 || (n >= 1 && n <= 233 && (n - 1) % 4 == 0);
    }
    return false;
}

uint32_t FrequencyMhz(Channel c)
{
    switch (c.band) {
    case Band::B2G4:
        return c.number == 14 ? 2484 : 2407 + 5u * c.number;
    case Band::B5G:
        return 5000 + 5u * c.number;
    case Band::B6G:
        return c.number == 2 ? 5935 : 5950 + 5u * c.number;
    }
    return 0;
}

std::optional<Channel> ChannelOfFrequency(uint32_t mhz)
{
    Channel c;
    if (mhz == 2484) {
        c = {Band::B2G4, 14};
    } else if (mhz >= 2412 && mhz <= 2472 && (mhz - 2407) % 5 == 0) {
        c = {Band::B2G4, static_cast<uint8_t>((mhz - 2407) / 5)};
    } else if (mhz == 5935) {
        c = {Band::B6G, 2};
    } else if (mhz >= 5955 && mhz <= 7115 && (mhz - 5950) % 5 == 0) {
        c = {Band::B6G, static_cast<uint8_t>((mhz - 5950) / 5)};
    } else if (mhz >= 5160 && mhz <= 5885 && mhz % 5 == 0) {
        c = {Band::B5G, static_cast<uint8_t>((mhz - 5000) / 5)};
    } else {
        return std::nullopt;
    }
    if (!ValidChannel(c)) {
        return std::nullopt;
    }
    return c;
}

bool IsPsc(Channel c) { return c.band == Band::B6G && c.number >= 5 && c.number <= 229 && (c.number - 5) % 16 == 0; }

bool IsDfs(Channel c)
{
    return c.band == Band::B5G && ((c.number >= 52 && c.number <= 64) || (c.number >= 100 && c.number <= 144));
}

const char* BandText(Band b)
{
    switch (b) {
    case Band::B2G4:
        return "2.4 GHz";
    case Band::B5G:
        return "5 GHz";
    case Band::B6G:
        return "6 GHz";
    }
    return "?";
}

bool ValidWidth(Channel p, unsigned w)
{
    if (!ValidChannel(p)) {
        return false;
    }
    const unsigned n = p.number;
    if (w == 20) {
        return true;
    }
    switch (p.band) {
    case Band::B2G4:
        return w == 40 && n <= 13;
    case Band::B5G:
        if (w == 40 || w == 80) {
            return true;  // every valid 5 GHz channel sits in a 40 and an 80 MHz block
        }
        return w == 160 && (n <= 64 || (n >= 100 && n <= 128) || n >= 149);
    case Band::B6G:
        if (n == 2) {
            return false;
        }
        if (w == 40) {
            return n <= 229;
        }
        if (w == 80 || w == 160) {
            return n <= 221;
        }
        return w == 320 && n <= 189;
    }
    return false;
}

uint8_t CentreChannel(Channel p, unsigned w)
{
    const unsigned n = p.number;
    if (w <= 20 || !ValidWidth(p, w)) {
        return p.number;
    }
    switch (p.band) {
    case Band::B2G4:
        return static_cast<uint8_t>(n <= 7 ? n + 2 : n - 2);
    case Band::B5G: {
        const unsigned span = w / 20;
        return static_cast<uint8_t>(Block5(n, span) + 2 * (span - 1));
    }
    case Band::B6G: {
        const unsigned span = w / 20;
        return static_cast<uint8_t>(Block6(n, span) + 2 * (span - 1));
    }
    }
    return p.number;
}

uint8_t SecondaryOffset(Channel p, unsigned w)
{
    if (w < 40 || !ValidWidth(p, w)) {
        return 0;
    }
    if (p.band == Band::B2G4) {
        return p.number <= 7 ? 1 : 3;
    }
    return CentreChannel(p, 40) > p.number ? 1 : 3;
}

uint8_t OperatingClass(Channel p, unsigned w)
{
    const unsigned n = p.number;
    const bool above = SecondaryOffset(p, 40) == 1;
    switch (p.band) {
    case Band::B2G4:
        if (w >= 40 && n <= 13) {
            return above ? 83 : 84;
        }
        return n == 14 ? 82 : 81;
    case Band::B5G:
        if (w >= 160) return 129;
        if (w == 80) return 128;
        if (w == 40) {
            if (n <= 48) return above ? 116 : 117;
            if (n <= 64) return above ? 119 : 120;
            if (n <= 144) return above ? 122 : 123;
            return above ? 126 : 127;
        }
        if (n <= 48) return 115;
        if (n <= 64) return 118;
        if (n <= 144) return 121;
        return n <= 161 ? 124 : 125;
    case Band::B6G:
        if (n == 2) return 136;
        switch (w) {
        case 40: return 132;
        case 80: return 133;
        case 160: return 134;
        case 320: return 137;
        default: return 131;
        }
    }
    return 0;
}

void PutLe16(Bytes& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(Bytes& b, uint32_t v)
{
    PutLe16(b, static_cast<uint16_t>(v));
    PutLe16(b, static_cast<uint16_t>(v >> 16));
}

void PutLe64(Bytes& b, uint64_t v)
{
    PutLe32(b, static_cast<uint32_t>(v));
    PutLe32(b, static_cast<uint32_t>(v >> 32));
}

Bytes MgmtHeader(uint16_t fc, const Mac& a1, const Mac& a2, const Mac& a3, uint16_t seq)
{
    Bytes b;
    b.reserve(kMgmtHeaderLength);
    PutLe16(b, fc);
    PutLe16(b, 0);
    b.insert(b.end(), a1.begin(), a1.end());
    b.insert(b.end(), a2.begin(), a2.end());
    b.insert(b.end(), a3.begin(), a3.end());
    PutLe16(b, static_cast<uint16_t>((seq & 0xFFF) << 4));
    return b;
}

std::optional<FrameAddresses> ReadAddresses(const uint8_t* frame, size_t length)
{
    if (frame == nullptr || length < kMgmtHeaderLength) {
        return std::nullopt;
    }
    FrameAddresses a;
    a.fc = Le16(frame);
    a.a1 = MacAt(frame + 4);
    a.a2 = MacAt(frame + 10);
    a.a3 = MacAt(frame + 16);
    return a;
}

bool ElementReader::Next(Element* out)
{
    if (malformed_ || pos_ >= length_) {
        return false;
    }
    if (length_ - pos_ < 2) {
        malformed_ = true;
        return false;
    }
    const uint8_t id = data_[pos_];
    const size_t len = data_[pos_ + 1];
    if (len > length_ - pos_ - 2 || (id == kEidExtension && len < 1)) {
        malformed_ = true;
        return false;
    }
    Element e;
    e.id = id;
    e.body = data_ + pos_ + 2;
    e.length = len;
    if (id == kEidExtension) {
        e.extId = e.body[0];
        ++e.body;
        --e.length;
    }
    pos_ += 2 + len;
    *out = e;
    return true;
}

std::optional<Element> FindElement(const uint8_t* data, size_t length, uint8_t id, uint8_t extId)
{
    ElementReader reader(data, length);
    Element e;
    while (reader.Next(&e)) {
        if (e.id == id && (id != kEidExtension || e.extId == extId)) {
            return e;
        }
    }
    return std::nullopt;
}

void PutElement(Bytes& out, uint8_t id, const Bytes& body)
{
    out.push_back(id);
    out.push_back(static_cast<uint8_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

void PutExtElement(Bytes& out, uint8_t extId, const Bytes& body)
{
    out.push_back(kEidExtension);
    out.push_back(static_cast<uint8_t>(body.size() + 1));
    out.push_back(extId);
    out.insert(out.end(), body.begin(), body.end());
}

uint32_t Crc32(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

uint32_t ShortSsid(const uint8_t* ssid, size_t length) { return Crc32(ssid, length); }

}  // namespace sim::air
