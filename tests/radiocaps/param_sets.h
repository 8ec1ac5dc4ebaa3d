// The MU EDCA and spatial-reuse parameter sets the firmware received, decoded from its commands: the
// legacy form of the second generation (0xB0 of 72 bytes; 0xB1 extended 0xA8 of 60 bytes) and the
// unified form of the third (0x43 TLV 0; 0x25 TLV 0x87).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "fw/legacy_cmd.h"
#include "fw/unified_cmd.h"

namespace radiocapstest {

struct ParamSetsSent {
    // Per set, in the order received: the MU EDCA records (per AC {ECWmin, ECWmax, AIFSN, ACM, timer});
    // the spatial-reuse fields {control, non-SRG maximum, SRG minimum, SRG maximum, colour bitmap,
    // partial BSSID bitmap}.
    std::vector<std::vector<uint8_t>> muEdca;
    std::vector<std::vector<uint8_t>> sr;
};

// Each command checked for the BSS index 0 and, for MU EDCA, WMM in use.
inline ParamSetsSent ParamSets(const std::vector<sim::fw::LegacyCommand>& legacy,
                               const std::vector<sim::fw::UnifiedCommand>& unified)
{
    using Bytes = std::vector<uint8_t>;
    ParamSetsSent s;
    for (const sim::fw::UnifiedCommand& c : unified) {
        if (c.cmdId == 0x43) {
            const sim::fw::UniTlv* t = c.Find(0);
            EXPECT_NE(t, nullptr);
            if (t == nullptr || t->value.size() != 36u) {
                ADD_FAILURE() << "MU EDCA TLV length 40 with its header";
                continue;
            }
            EXPECT_EQ(t->value[0], 0) << "BSS index";
            EXPECT_EQ(t->value[1], 1) << "WMM in use";
            Bytes records;
            for (int ac = 0; ac < 4; ++ac) {
                records.insert(records.end(), t->value.begin() + 4 + 8 * ac, t->value.begin() + 9 + 8 * ac);
            }
            s.muEdca.push_back(records);
        } else if (c.cmdId == 0x25) {
            const sim::fw::UniTlv* t = c.Find(0x87);
            EXPECT_NE(t, nullptr);
            if (t == nullptr || t->value.size() < 28u) {
                ADD_FAILURE() << "spatial-reuse TLV too short";
                continue;
            }
            EXPECT_EQ(t->value[4], 0) << "BSS index";
            Bytes fields(t->value.begin() + 5, t->value.begin() + 9);
            fields.insert(fields.end(), t->value.begin() + 12, t->value.begin() + 28);
            s.sr.push_back(fields);
        }
    }
    for (const sim::fw::LegacyCommand& c : legacy) {
        if (c.cmdId == 0xB0) {
            EXPECT_EQ(c.payload.size(), 72u);
            if (c.payload.size() < 40u) {
                continue;
            }
            EXPECT_EQ(c.payload[4], 0) << "BSS index";
            EXPECT_EQ(c.payload[5], 1) << "WMM in use";
            Bytes records;
            for (int ac = 0; ac < 4; ++ac) {
                records.insert(records.end(), c.payload.begin() + 8 + 8 * ac, c.payload.begin() + 13 + 8 * ac);
            }
            s.muEdca.push_back(records);
        } else if (c.cmdId == 0xB1) {
            EXPECT_EQ(c.extCmdId, 0xA8);
            EXPECT_EQ(c.payload.size(), 60u);
            if (c.payload.size() < 28u) {
                continue;
            }
            EXPECT_EQ(c.payload[4], 0) << "BSS index";
            Bytes fields(c.payload.begin() + 5, c.payload.begin() + 9);
            fields.insert(fields.end(), c.payload.begin() + 12, c.payload.begin() + 28);
            s.sr.push_back(fields);
        }
    }
    return s;
}

}  // namespace radiocapstest
