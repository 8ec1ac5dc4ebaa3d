#include "fw/rx_filters.h"

#include <algorithm>

namespace sim::fw {
namespace {

uint32_t U32(const uint8_t* p)
{
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

constexpr size_t kPacketFilterLength = 68;
constexpr size_t kMulticastLength = 204;
constexpr size_t kMulticastBssOffset = 4;
constexpr size_t kMulticastListOffset = 8;
constexpr size_t kMulticastEndOffset = 200;
constexpr size_t kMulticastMax = (kMulticastEndOffset - kMulticastListOffset) / 6;  // 32
constexpr uint16_t kFilterTag = 2;
constexpr uint16_t kMulticastBssTag = 0;
constexpr uint16_t kMulticastEntryTag = 2;
constexpr size_t kMulticastEntryLength = 12;  // value bytes after the TLV header

}  // namespace

void RxFilters::Take(const LegacyCommand& command)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<uint8_t>& p = command.payload;
    switch (command.cmdId) {
    case kLegacyCmdPacketFilter:
        if (p.size() != kPacketFilterLength) {
            ++malformed_;
            return;
        }
        filters_.push_back(U32(p.data()));
        return;
    case kLegacyCmdMulticastList: {
        if (p.size() != kMulticastLength || p[kMulticastEndOffset] != 0xFF || U32(p.data()) > kMulticastMax) {
            ++malformed_;
            return;
        }
        MulticastList list;
        list.bssIndex = p[kMulticastBssOffset];
        for (size_t i = 0; i < U32(p.data()); ++i) {
            std::array<uint8_t, 6> a{};
            std::copy_n(p.begin() + static_cast<std::ptrdiff_t>(kMulticastListOffset + 6 * i), 6, a.begin());
            list.addresses.push_back(a);
        }
        lists_.push_back(std::move(list));
        return;
    }
    default:
        return;
    }
}

void RxFilters::Take(const UnifiedCommand& command)
{
    std::lock_guard<std::mutex> lock(mutex_);
    switch (command.cmdId) {
    case kUniCmdPacketFilter: {
        const UniTlv* tag = command.Find(kFilterTag);
        if (tag == nullptr || tag->value.size() != 4) {
            ++malformed_;
            return;
        }
        filters_.push_back(U32(tag->value.data()));
        return;
    }
    case kUniCmdMulticastList: {
        const UniTlv* bss = command.Find(kMulticastBssTag);
        if (bss == nullptr || bss->value.size() != 4) {
            ++malformed_;
            return;
        }
        MulticastList list;
        list.bssIndex = bss->value[0];
        list.unified = true;
        for (const UniTlv& t : command.tlvs) {
            if (t.tag != kMulticastEntryTag) {
                continue;
            }
            if (t.value.size() != kMulticastEntryLength || t.value[1] != list.bssIndex ||
                t.value[2] != list.addresses.size() || t.value[3] != 1) {
                ++malformed_;
                return;
            }
            std::array<uint8_t, 6> a{};
            std::copy_n(t.value.begin() + 4, 6, a.begin());
            list.addresses.push_back(a);
        }
        lists_.push_back(std::move(list));
        return;
    }
    default:
        return;
    }
}

std::vector<uint32_t> RxFilters::PacketFilters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return filters_;
}

std::vector<MulticastList> RxFilters::MulticastLists() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lists_;
}

unsigned RxFilters::Malformed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return malformed_;
}

void RxFilters::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    filters_.clear();
    lists_.clear();
    malformed_ = 0;
}

}  // namespace sim::fw
