// A bare adapter of a chosen chip for the regulatory domain: the country, the configuration words the
// domain reads, the platform's regulatory data and the power-limit slots the tests set; the channel
// list read back as (channel, band, flags) rows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Common/rlm.h"
#include "Common/rlm_domain.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace regdomaintest {

struct Channel {
    int channel;
    int band;
    int flags;
    bool operator==(const Channel& o) const { return channel == o.channel && band == o.band && flags == o.flags; }
};
inline std::ostream& operator<<(std::ostream& os, const Channel& c)
{
    return os << "{" << c.channel << ", band " << c.band << ", flags " << c.flags << "}";
}

// Channels first..last every step, of one band and flags.
inline void AddRun(std::vector<Channel>& out, int band, int first, int last, int step, int flags)
{
    for (int c = first; c <= last; c += step) {
        out.push_back({c, band, flags});
    }
}

// The 16-bit key of a two-letter country: first letter x 256 + second letter.
inline uint16_t Key(const char* cc) { return static_cast<uint16_t>((static_cast<uint8_t>(cc[0]) << 8) | static_cast<uint8_t>(cc[1])); }

// The country codes of a space-separated text.
inline std::vector<std::string> Countries(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < text.size(); i += 3) {
        out.push_back(text.substr(i, 2));
    }
    return out;
}

class RegDomainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        Chip(0x3602);
    }
    void TearDown() override
    {
        adapter_.reset();
        kshim::host::ResetDefaults();
    }

    // A chip with 6 GHz usable (the chips that have the band), Country6GEn and Country59GEn 0.
    void Chip(uint16_t deviceId)
    {
        adapter_.reset(new MP_ADAPTER());
        MP_ADAPTER* a = adapter_.get();
        a->DeviceId = deviceId;
        HalRegisterChip(a);
        a->RegistryBlock.Config_6G = 1;
        a->Cap.SixGCapable = 1;
        a->Only24G = 0;
    }

    // Sets the current country (kept in text order).
    void Country(const char* cc)
    {
        adapter_->WorkingCfg.CountryCode = static_cast<USHORT>(static_cast<uint8_t>(cc[0]) | (static_cast<uint8_t>(cc[1]) << 8));
    }

    // Marks the 6 GHz power-limit table loaded.
    void Load6GhzTable()
    {
        adapter_->SkuTables.Text[2] = table6g_;
        adapter_->SkuTables.Length[2] = sizeof(table6g_);
    }

    std::vector<Channel> Build(const char* cc)
    {
        Country(cc);
        EXPECT_NE(DomainGetDomainInfo(adapter_.get()), nullptr);
        return List();
    }

    std::vector<Channel> List() const
    {
        std::vector<Channel> out;
        for (unsigned i = 0; i < adapter_->Country.ChannelListCount; ++i) {
            const DOMAIN_CHANNEL_ENTRY& e = adapter_->Country.ChannelList[i];
            out.push_back({e.Channel, static_cast<int>(e.Band), e.Flags});
        }
        return out;
    }

    int UsedSlots() const
    {
        int n = 0;
        while (n < 12 && adapter_->Country.Plan.Subbands[n].Band != 0) {
            ++n;
        }
        return n;
    }

    std::unique_ptr<MP_ADAPTER> adapter_;
    UCHAR table6g_[16] = {'[', 'U', 'S', '0', 'D', ']'};
};

}  // namespace regdomaintest
