// An adapter of a chosen chip with port 0 (a station) bound to BSS index 0, its two own station
// entries, and the firmware command thread; every command the driver sends is also kept by the
// simulated firmware's BSS and station records, so a test reads back what the firmware was told.
#pragma once

#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd_bss.h"
#include "fw/bss_records.h"
#include "fwcmds/fwcmds_fixture.h"

namespace jointest {

using fwcmdstest::Bytes;
using fwcmdstest::kSecondGen;
using fwcmdstest::kThirdGen;

class JoinTest : public fwcmdstest::FwCmdsTest {
protected:
    void SetUpStation(USHORT deviceId)
    {
        SetUpChip(deviceId);
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_.get()), STATUS_SUCCESS);
        ASSERT_EQ(MlmeSyncInitMacTab(port0_, TRUE), STATUS_SUCCESS);
        peer_ = MlmeSyncMacTabMatchedRoleType(port0_, MAC_ENTRY_KIND_PEER);
        ASSERT_NE(peer_, nullptr);
    }

    // The firmware's records of everything sent so far.
    const sim::fw::BssRecords& Records()
    {
        records_.Clear();
        for (const Bytes& b : Sent()) {
            if (sim::fw::IsUnifiedCommand(b.data(), b.size())) {
                if (auto c = sim::fw::DecodeUnifiedCommand(b.data(), b.size())) {
                    records_.Take(*c);
                }
            } else if (auto c = sim::fw::DecodeLegacyCommand(generation_, b.data(), b.size())) {
                records_.Take(*c);
            }
        }
        return records_;
    }

    // The payloads of the legacy commands with this id, in order.
    std::vector<Bytes> LegacyPayloads(uint8_t cmdId)
    {
        std::vector<Bytes> out;
        for (const auto& c : Legacy()) {
            if (c.cmdId == cmdId) {
                out.push_back(c.payload);
            }
        }
        return out;
    }

    PMAC_TABLE_ENTRY peer_ = nullptr;
    sim::fw::BssRecords records_;
};

inline uint32_t U32(const Bytes& b, size_t at) { return fwcmdstest::U16(b, at) | (uint32_t(fwcmdstest::U16(b, at + 2)) << 16); }

}  // namespace jointest
