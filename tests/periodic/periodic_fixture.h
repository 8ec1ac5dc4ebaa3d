// An adapter of a chosen chip with port 0 and the firmware command thread (the firmware-command
// fixture), for the periodic MLME work and the firmware setting pushes: the commands the firmware got,
// the internal commands posted to the control thread (no control thread runs: they stay queued).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "fwcmds/fwcmds_fixture.h"
#include "kshim/host/control.h"
#include "kshim/host/firmware_tables.h"
#include "platform/ndiscommon/ndiscommonhif.h"

namespace periodictest {

using Bytes = std::vector<uint8_t>;

// One customer-configuration item as the firmware received it.
struct ChipConfigItem {
    std::string key;
    std::string value;
    Bytes payload;
};

class PeriodicTest : public fwcmdstest::FwCmdsTest {
protected:
    void SetUp() override
    {
        fwcmdstest::FwCmdsTest::SetUp();
        kshim::host::ClockSetManual();
    }

    void TearDown() override
    {
        for (PMP_PORT port : adapter_->PortList) {
            if (port != nullptr) {
                (void)MlmePortFreeTimer(adapter_.get(), port);
            }
        }
        kshim::host::FirmwareTablesReset();
        fwcmdstest::FwCmdsTest::TearDown();
    }

    // The customer-configuration items (legacy command 0x70) the firmware got, in order.
    std::vector<ChipConfigItem> ChipConfigs()
    {
        std::vector<ChipConfigItem> out;
        for (const sim::fw::LegacyCommand& c : Legacy()) {
            if (c.cmdId != 0x70 || c.payload.size() < 80) {
                continue;
            }
            ChipConfigItem item;
            item.key.assign(reinterpret_cast<const char*>(&c.payload[16]), c.payload[13]);
            item.value.assign(reinterpret_cast<const char*>(&c.payload[48]), c.payload[14]);
            item.payload = c.payload;
            out.push_back(item);
        }
        return out;
    }

    // The text of a chip configuration command (legacy 0xCA, 328 bytes: u16 text length at 4, the text
    // from 8); "" for any other command or a length field that disagrees with the text.
    static std::string ChipConfigText(const sim::fw::LegacyCommand& c)
    {
        if (c.cmdId != 0xCA || c.payload.size() != 328) {
            return "";
        }
        const size_t length = c.payload[4] | (c.payload[5] << 8);
        const std::string text(reinterpret_cast<const char*>(&c.payload[8]));
        EXPECT_EQ(length, text.size()) << text;
        return length == text.size() ? text : "";
    }

    size_t LegacyCount(uint8_t cmdId, uint8_t extCmdId = 0)
    {
        size_t n = 0;
        for (const sim::fw::LegacyCommand& c : Legacy()) {
            n += c.cmdId == cmdId && c.extCmdId == extCmdId ? 1 : 0;
        }
        return n;
    }

    // Ids of the internal commands posted to the control thread (taken off its queue).
    std::vector<ULONG> TakePosted()
    {
        std::vector<ULONG> ids;
        while (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue)) {
            ids.push_back(cmd->CmdId);
            QzReturnInternalCmdBuffer(adapter_.get(), cmd);
        }
        return ids;
    }

    static size_t Count(const std::vector<ULONG>& ids, ULONG id)
    {
        size_t n = 0;
        for (ULONG v : ids) {
            n += v == id ? 1 : 0;
        }
        return n;
    }

    void SetModernStandby(bool on)
    {
        kshim::host::FirmwareTableSet(kshim::host::kAcpiProvider, kshim::host::kFadtTableId,
                                      kshim::host::MakeFadt(on ? kshim::host::kFadtLowPowerS0IdleCapable : 0));
    }
};

}  // namespace periodictest
