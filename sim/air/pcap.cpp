// Capture files of the air.
#include "air/pcap.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace sim::air {

namespace {

constexpr uint32_t kMagicMicro = 0xA1B2C3D4;
constexpr uint32_t kMagicNano = 0xA1B23C4D;
constexpr size_t kFileHeader = 24;
constexpr size_t kRecordHeader = 16;
constexpr uint32_t kSnapLength = 65535;
// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

// Radiotap presence bits and channel flags.
constexpr uint32_t kRtFlags = 1u << 1;
constexpr uint32_t kRtRate = 1u << 2;
constexpr uint32_t kRtChannel = 1u << 3;
constexpr uint32_t kRtSignal = 1u << 5;
constexpr uint32_t kRtExtended = 1u << 31;
constexpr uint8_t kRtFlagFcs = 0x10;
constexpr uint16_t kChanCck = 0x0020;
constexpr uint16_t kChanOfdm = 0x0040;
constexpr uint16_t kChan2Ghz = 0x0080;
constexpr uint16_t kChan5Ghz = 0x0100;

// Alignment and size of the radiotap fields 0-22 (IEEE 802.11 radiotap defined fields).
struct RtField {
    uint8_t align;
    uint8_t size;
};
constexpr RtField kRtFields[] = {
    {8, 8},  {1, 1}, {1, 1}, {2, 4},  {2, 2},  {1, 1}, {1, 1},  {2, 2},  {2, 2}, {2, 2},  {1, 1},  {1, 1},
    {1, 1},  {1, 1}, {2, 2}, {2, 2},  {1, 1},  {1, 1}, {4, 8},  {1, 3},  {4, 8}, {2, 12}, {8, 12},
};

uint32_t Rd32(const uint8_t* p, bool swap)
{
    const uint32_t v = Le32(p);
    return swap ? __builtin_bswap32(v) : v;
}

void Put32(Bytes& b, uint32_t v) { PutLe32(b, v); }

// Reads a radiotap header: channel, signal and whether an FCS follows the frame. False when the
// header does not fit or is not one.
bool ParseRadiotap(const uint8_t* p, size_t n, size_t* headerLength, std::optional<Channel>* channel,
                   std::optional<int8_t>* signal, bool* fcs)
{
    if (n < 8 || p[0] != 0) {
        return false;
    }
    const size_t len = Le16(p + 2);
    if (len < 8 || len > n) {
        return false;
    }
    uint32_t present = Le32(p + 4);
    size_t pos = 8;
    // Further presence words follow while bit 31 is set.
    uint32_t word = present;
    while (word & kRtExtended) {
        if (pos + 4 > len) {
            return false;
        }
        word = Le32(p + pos);
        pos += 4;
    }
    *fcs = false;
    for (unsigned bit = 0; bit <= 5 && bit < std::size(kRtFields); ++bit) {
        if ((present & (1u << bit)) == 0) {
            continue;
        }
        const RtField f = kRtFields[bit];
        pos = (pos + f.align - 1) / f.align * f.align;
        if (pos + f.size > len) {
            return false;
        }
        const uint8_t* v = p + pos;
        if (bit == 1) {
            *fcs = (v[0] & kRtFlagFcs) != 0;
        } else if (bit == 3) {
            *channel = ChannelOfFrequency(Le16(v));
        } else if (bit == 5) {
            *signal = static_cast<int8_t>(v[0]);
        }
        pos += f.size;
    }
    *headerLength = len;
    return true;
}

}  // namespace

Bytes RadiotapHeader(Channel c, std::optional<int8_t> signalDbm)
{
    Bytes h;
    h.push_back(0);  // version
    h.push_back(0);  // pad
    PutLe16(h, 0);   // length, below
    Put32(h, kRtFlags | kRtRate | kRtChannel | (signalDbm ? kRtSignal : 0));
    h.push_back(0);                                 // flags: no FCS
    h.push_back(c.band == Band::B2G4 ? 2 : 12);     // 1 Mb/s or 6 Mb/s, in 500 kb/s
    PutLe16(h, static_cast<uint16_t>(FrequencyMhz(c)));
    PutLe16(h, c.band == Band::B2G4 ? (kChanCck | kChan2Ghz) : (kChanOfdm | kChan5Ghz));
    if (signalDbm) {
        h.push_back(static_cast<uint8_t>(*signalDbm));
    }
    h[2] = static_cast<uint8_t>(h.size());
    h[3] = static_cast<uint8_t>(h.size() >> 8);
    return h;
}

Bytes EncodePcap(const std::vector<PcapRecord>& records)
{
    Bytes b;
    Put32(b, kMagicMicro);
    PutLe16(b, 2);
    PutLe16(b, 4);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, kSnapLength);
    Put32(b, kLinkTypeRadiotap);
    for (const PcapRecord& r : records) {
        Bytes data = RadiotapHeader(r.channel.value_or(Channel{Band::B2G4, 1}), r.signalDbm);
        data.insert(data.end(), r.frame.begin(), r.frame.end());
        const int64_t us = std::max<int64_t>(0, (r.time - kEpochDelta) / 10);
        Put32(b, static_cast<uint32_t>(us / 1000000));
        Put32(b, static_cast<uint32_t>(us % 1000000));
        Put32(b, static_cast<uint32_t>(data.size()));
        Put32(b, static_cast<uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
    }
    return b;
}

std::optional<PcapFile> ParsePcap(const uint8_t* data, size_t length, std::string* error)
{
    auto fail = [&](const std::string& why) -> std::optional<PcapFile> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    if (data == nullptr || length < kFileHeader) {
        return fail("shorter than a pcap file header");
    }
    const uint32_t magic = Le32(data);
    bool swap = false;
    bool nano = false;
    if (magic == kMagicMicro || magic == kMagicNano) {
        nano = magic == kMagicNano;
    } else if (__builtin_bswap32(magic) == kMagicMicro || __builtin_bswap32(magic) == kMagicNano) {
        swap = true;
        nano = __builtin_bswap32(magic) == kMagicNano;
    } else {
        return fail("not a pcap file (magic number)");
    }
    PcapFile file;
    file.linkType = Rd32(data + 20, swap) & 0x0FFFFFFF;
    if (file.linkType != kLinkTypeIeee80211 && file.linkType != kLinkTypeRadiotap) {
        return fail("link type " + std::to_string(file.linkType) + " is neither 802.11 (105) nor radiotap (127)");
    }
    size_t pos = kFileHeader;
    while (pos < length) {
        if (length - pos < kRecordHeader) {
            return fail("a record header runs past the end of the file");
        }
        const uint32_t sec = Rd32(data + pos, swap);
        const uint32_t frac = Rd32(data + pos + 4, swap);
        const uint32_t caplen = Rd32(data + pos + 8, swap);
        pos += kRecordHeader;
        if (caplen > length - pos) {
            return fail("a record of " + std::to_string(caplen) + " bytes runs past the end of the file");
        }
        const uint8_t* p = data + pos;
        pos += caplen;
        PcapRecord r;
        const int64_t us = static_cast<int64_t>(sec) * 1000000 + (nano ? frac / 1000 : frac);
        r.time = kEpochDelta + us * 10;
        size_t header = 0;
        bool fcs = false;
        if (file.linkType == kLinkTypeRadiotap && !ParseRadiotap(p, caplen, &header, &r.channel, &r.signalDbm, &fcs)) {
            ++file.skipped;
            continue;
        }
        size_t frameLength = caplen - header;
        if (fcs) {
            if (frameLength < 4) {
                ++file.skipped;
                continue;
            }
            frameLength -= 4;
        }
        if (frameLength < 10) {  // not even frame control, duration and one address
            ++file.skipped;
            continue;
        }
        r.frame.assign(p + header, p + header + frameLength);
        file.records.push_back(std::move(r));
    }
    return file;
}

std::optional<PcapFile> ReadPcapFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error != nullptr) {
            *error = "cannot open " + path;
        }
        return std::nullopt;
    }
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParsePcap(bytes.data(), bytes.size(), error);
}

PcapWriter::~PcapWriter() { Close(); }

bool PcapWriter::Open(const std::string& path, std::string* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        if (error != nullptr) {
            *error = "cannot write " + path;
        }
        return false;
    }
    const Bytes header = EncodePcap({});
    std::fwrite(header.data(), 1, header.size(), file_);
    std::fflush(file_);
    pending_.clear();
    frames_ = 0;
    return true;
}

void PcapWriter::Captured(const Bytes& frame, Channel c, int64_t time, std::optional<int8_t> signalDbm)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) {
        return;
    }
    pending_.push_back({time, frame, c, signalDbm});
    ++frames_;
}

void PcapWriter::FlushLocked()
{
    if (file_ == nullptr) {
        return;
    }
    std::stable_sort(pending_.begin(), pending_.end(), [](const PcapRecord& a, const PcapRecord& b) { return a.time < b.time; });
    const Bytes all = EncodePcap(pending_);
    std::fwrite(all.data() + kFileHeader, 1, all.size() - kFileHeader, file_);
    std::fflush(file_);
    pending_.clear();
}

void PcapWriter::Flush()
{
    std::lock_guard<std::mutex> lock(mutex_);
    FlushLocked();
}

void PcapWriter::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    FlushLocked();
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

size_t PcapWriter::Frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

}  // namespace sim::air
