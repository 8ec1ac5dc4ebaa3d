// Receive buffers of frames and reports, as the device writes them.
#include "chip/rx_build.h"

#include <cstring>

namespace sim::chip {

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    if (b.size() < at + 4) {
        b.resize(at + 4);
    }
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    }
    return v;
}

void Or32(std::vector<uint8_t>& b, unsigned word, uint32_t bits) { Put32(b, 4 * word, Get32(b, 4 * word) | bits); }

struct Layout {
    size_t base;
    unsigned flagWord;
    unsigned g4Bit, g1Bit, g2Bit, g3Bit, g5Bit;  // flag bits (g5Bit 32: none)
    size_t g4, g1, g2, g3, g5;                   // sizes
};

Layout LayoutOf(RxdGeneration gen)
{
    switch (gen) {
    case RxdGeneration::Older:
        return {16, 0, 28, 25, 26, 27, 32, 16, 16, 8, 24, 0};
    case RxdGeneration::Second:
        return {24, 1, 14, 11, 12, 13, 15, 16, 16, 8, 8, 72};
    case RxdGeneration::Third:
    default:
        return {32, 1, 19, 16, 17, 18, 20, 16, 16, 16, 16, 96};
    }
}

}  // namespace

uint32_t RxWord0(RxdGeneration gen, uint32_t byteCount, uint8_t type)
{
    const unsigned shift = gen == RxdGeneration::Older ? 29 : 27;
    return (byteCount & 0xFFFF) | (static_cast<uint32_t>(type) << shift);
}

std::vector<uint8_t> BuildRxFrame(RxdGeneration gen, const RxdFields& f, const std::vector<uint8_t>& frame)
{
    const Layout l = LayoutOf(gen);
    std::vector<uint8_t> b(l.base, 0);
    uint32_t flags = 0;
    std::vector<uint8_t> groups;
    auto addGroup = [&](unsigned bit, size_t size, const uint8_t* data, size_t length) {
        flags |= 1u << bit;
        const size_t at = groups.size();
        groups.resize(at + size, 0);
        if (data != nullptr) {
            std::memcpy(groups.data() + at, data, std::min(size, length));
        }
    };
    if (f.packetNumber) {
        addGroup(l.g1Bit, l.g1, f.packetNumber->data(), 6);
    }
    if (f.timeStamp) {
        addGroup(l.g2Bit, l.g2, f.timeStamp->data(), 8);
    }
    if (f.rxVector) {
        uint8_t v[24] = {};
        for (int w = 0; w < 2; ++w) {
            for (int i = 0; i < 4; ++i) {
                v[4 * w + i] = static_cast<uint8_t>((*f.rxVector)[w] >> (8 * i));
            }
        }
        v[8] = static_cast<uint8_t>((*f.rxVector)[2]);
        v[9] = static_cast<uint8_t>((*f.rxVector)[2] >> 8);
        addGroup(l.g3Bit, l.g3, v, sizeof(v));
    }
    if (f.longRxVector && l.g5 != 0) {
        addGroup(l.g5Bit, l.g5, f.longRxVector->data(), f.longRxVector->size());
    }
    b.insert(b.end(), groups.begin(), groups.end());
    b.insert(b.end(), f.headerPadding, 0);
    b.insert(b.end(), frame.begin(), frame.end());
    const uint32_t byteCount = static_cast<uint32_t>(b.size());
    Put32(b, 0, RxWord0(gen, byteCount, kRxTypeFrame));
    Or32(b, l.flagWord, flags);
    b[12] = f.channel;
    switch (gen) {
    case RxdGeneration::Older:
        Or32(b, 1, (f.unicast ? 0x2u : 0) | (f.group ? 0x4u : 0) | ((f.keyIndex & 3u) << 6) |
                       ((f.amsduPosition & 3u) << 24) | ((f.bssIndex & 0x3Fu) << 26) |
                       (f.headerPadding != 0 ? (1u << 22) : 0));
        Or32(b, 2, f.wlanIndex | ((f.tid & 7u) << 8) | (f.olderErrors & 0x03FE0000u));
        Or32(b, 3, f.wake ? (1u << 8) : 0);
        break;
    case RxdGeneration::Second:
        Or32(b, 1, f.wlanIndex | ((f.securityMode & 0x1Fu) << 16) | ((f.keyIndex & 3u) << 21));
        Or32(b, 2, (f.bssIndex & 0x3Fu) | (f.translated ? (1u << 13) : 0) | (((f.headerPadding / 2u) & 3u) << 14) |
                       ((f.tid & 7u) << 16) | (f.fragment ? (1u << 27) : 0));
        Or32(b, 3, (f.unicast ? (1u << 16) : 0) | (f.group ? (1u << 17) : 0) | (f.wake ? (1u << 19) : 0));
        Or32(b, 4, f.amsduPosition & 3u);
        break;
    case RxdGeneration::Third:
        Or32(b, 1, f.wlanIndex | ((f.keyIndex & 3u) << 21));
        Or32(b, 2, (f.bssIndex & 0x3Fu) | (f.translated ? (1u << 7) : 0) | (((f.headerPadding / 2u) & 7u) << 13) |
                       ((f.securityMode & 0x1Fu) << 16) | (f.fragment ? (1u << 27) : 0));
        Or32(b, 3, (f.unicast ? (1u << 16) : 0) | (f.group ? (1u << 17) : 0) | (f.wake ? (1u << 19) : 0));
        Or32(b, 4, (f.amsduPosition & 3u) | ((f.tid & 7u) << 3));
        break;
    }
    return b;
}

std::vector<uint8_t> BuildTxDoneReport(RxdGeneration gen, uint8_t format, const std::vector<uint32_t>& entries)
{
    std::vector<uint8_t> b;
    const uint32_t words = static_cast<uint32_t>(2 + entries.size());
    Put32(b, 0, RxWord0(gen, 4 * words, kRxTypeTxDone));
    Put32(b, 4, static_cast<uint32_t>(format & 7u) << 16);
    for (size_t i = 0; i < entries.size(); ++i) {
        Put32(b, 8 + 4 * i, entries[i]);
    }
    return b;
}

std::vector<uint32_t> TxDoneFormat5(const std::vector<uint16_t>& tokens)
{
    std::vector<uint32_t> entries;
    for (size_t i = 0; i < tokens.size(); i += 2) {
        const uint32_t first = tokens[i] & 0x7FFFu;
        const uint32_t second = i + 1 < tokens.size() ? (tokens[i + 1] & 0x7FFFu) : 0x7FFFu;
        entries.push_back(first | (second << 15));
    }
    return entries;
}

std::vector<uint8_t> BuildRxReport(RxdGeneration gen, const RxReportGroups& g)
{
    const bool any = g.group1 || g.group2 || g.group3 || g.group4;
    std::vector<uint8_t> b(4 * 20, 0);
    if (any) {
        uint32_t flags = (g.group1 ? 1u << 16 : 0) | (g.group2 ? 1u << 17 : 0) | (g.group3 ? 1u << 18 : 0) |
                         (g.group4 ? 1u << 19 : 0);
        Put32(b, 80, flags);
        Put32(b, 84, 0);
        auto append = [&](const uint32_t* words, size_t n) {
            for (size_t i = 0; i < n; ++i) {
                Put32(b, b.size(), words[i]);
            }
        };
        if (g.group1) append(g.group1->data(), 18);
        if (g.group2) append(g.group2->data(), 2);
        if (g.group3) append(g.group3->data(), 4);
        if (g.group4) append(g.group4->data(), 26);
    }
    Put32(b, 0, RxWord0(gen, static_cast<uint32_t>(b.size()), kRxTypeRxReport) | (any ? (1u << 25) : 0));
    return b;
}

}  // namespace sim::chip
