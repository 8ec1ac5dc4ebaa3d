// The scan engine inside the simulated chip: a scan command put on the command ring by the host (legacy
// on 0x3502, unified on 0x3602) makes the world's frames arrive in the frame ring behind the
// generation's receive descriptor, and the scan done in the event ring once the host has taken them.
#include "air_support.h"

#include "../simchip/simchip_support.h"
#include "chip/chip.h"
#include "fw/ram.h"

namespace airtest {
namespace {

using namespace sim::chip;
using simtest::HostMemory;
using simtest::Registers;
using simtest::RxReg;
using simtest::TxReg;

constexpr uint32_t kSlots = 32;
constexpr uint32_t kBuffer = 2048;

// The host's side of three rings: commands out, frames and events in.
struct HostRings {
    HostRings(Chip& chip, Registers& regs)
        : chip_(chip),
          regs_(regs),
          cmdDesc(kSlots * kDescSize),
          cmdBuf(kSlots * kBuffer),
          frameDesc(kSlots * kDescSize),
          frameBuf(kSlots * kBuffer),
          eventDesc(kSlots * kDescSize),
          eventBuf(kSlots * kBuffer)
    {
        cmdRing = chip.rings().TxRing(TxRole::Command);
        frameRing = chip.rings().RxRing(RxRole::Frames);
        eventRing = chip.rings().RxRing(RxRole::Events);
        regs.Write(kWfdmaGloCfg, 0);
        simtest::ProgramTxRing(regs, cmdRing, cmdDesc.bus(), kSlots);
        for (uint32_t i = 0; i < kSlots; ++i) {
            simtest::WriteRxDescriptor(frameDesc.data() + i * kDescSize, frameBuf.bus() + i * kBuffer, kBuffer);
            simtest::WriteRxDescriptor(eventDesc.data() + i * kDescSize, eventBuf.bus() + i * kBuffer, kBuffer);
        }
        simtest::ProgramRxRing(regs, frameRing, frameDesc.bus(), kSlots);
        simtest::ProgramRxRing(regs, eventRing, eventDesc.bus(), kSlots);
        regs.Write(kWfdmaGloCfg, kGloTxEnable | kGloRxEnable);
    }

    void Send(const Bytes& buffer)
    {
        std::copy(buffer.begin(), buffer.end(), cmdBuf.data() + cmd * kBuffer);
        simtest::WriteTxDescriptor(cmdDesc.data() + cmd * kDescSize, cmdBuf.bus() + cmd * kBuffer,
                                   static_cast<uint32_t>(buffer.size()));
        cmd = (cmd + 1) % kSlots;
        regs_.Write(TxReg(cmdRing, kRingRegCpuIndex), cmd);
    }

    // Buffers the chip filled and the host has not taken; taking them returns their slots to the chip.
    std::vector<Bytes> Take(unsigned ring, HostMemory& desc, HostMemory& buf, uint32_t* next, bool giveBack)
    {
        std::vector<Bytes> out;
        const uint32_t dma = regs_.Read(RxReg(ring, kRingRegDmaIndex));
        uint32_t peek = *next;
        if (!giveBack) {
            next = &peek;
        }
        while (*next != dma) {
            const uint32_t control = simtest::Le32(desc.data() + *next * kDescSize + 4);
            EXPECT_TRUE(control & kDescDmaDone);
            const uint32_t length = (control >> kDescLengthShift) & kDescLengthMask;
            out.emplace_back(buf.data() + *next * kBuffer, buf.data() + *next * kBuffer + length);
            if (giveBack) {
                simtest::WriteRxDescriptor(desc.data() + *next * kDescSize, buf.bus() + *next * kBuffer, kBuffer);
                regs_.Write(RxReg(ring, kRingRegCpuIndex), *next);
            }
            *next = (*next + 1) % kSlots;
        }
        return out;
    }
    std::vector<Bytes> Frames(bool giveBack) { return Take(frameRing, frameDesc, frameBuf, &nextFrame, giveBack); }
    std::vector<Bytes> Events() { return Take(eventRing, eventDesc, eventBuf, &nextEvent, true); }

    Chip& chip_;
    Registers& regs_;
    HostMemory cmdDesc, cmdBuf, frameDesc, frameBuf, eventDesc, eventBuf;
    unsigned cmdRing = 0, frameRing = 0, eventRing = 0;
    uint32_t cmd = 0, nextFrame = 0, nextEvent = 0;
};

// A legacy command buffer as the second generation's host writes it: descriptor, header, payload.
Bytes LegacyBuffer(uint8_t id, const Bytes& payload, uint8_t seq)
{
    Bytes b(64, 0);
    Put32(b, 0, static_cast<uint32_t>(64 + payload.size()) | (1u << 24));
    Put32(b, 4, 1u << 16);
    Put16(b, 32, static_cast<uint32_t>(32 + payload.size()));
    b[36] = id;
    b[37] = 0xA0;
    b[38] = 1;
    b[39] = seq;
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

class ChipRadio : public ManualClock {
protected:
    void TearDown() override
    {
        kshim::host::DmaResetDefaults();
        ManualClock::TearDown();
    }
};

TEST_F(ChipRadio, ScanCommandsOnTheRingBringTheWorldsFramesAndTheScanDoneThroughTheRings)
{
    struct Case {
        uint16_t device;
        bool third;
    } cases[] = {{0x3502, false}, {0x3602, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        std::unique_ptr<sim::air::World> world = sim::air::World::BuiltIn();
        Chip chip(c.device);
        Registers regs(chip);
        sim::fw::ChipFirmware firmware(chip);
        firmware.Ram().SetRunning(true);
        world->Attach(firmware);
        HostRings host(chip, regs);

        // A broadcast scan of channel 36: Office answers, Lab and Office beacon.
        ScanV2 scan;
        scan.seq = 21;
        scan.channels = {{2, 36}};
        if (!c.third) {
            host.Send(LegacyBuffer(0x03, scan.Payload(), 3));
        } else {
            Bytes head(16, 0);
            head[0] = 1;
            head[3] = 1;
            Bytes channels = {4, 1, 0, 0, 2, 36, 0, 0};
            const Bytes b = [&] {
                Bytes payload = {21, 0, 0, 0};
                for (const auto& [tag, value] : std::vector<std::pair<uint16_t, Bytes>>{{1, head}, {0x0C, channels}}) {
                    const size_t at = payload.size();
                    payload.resize(at + 4);
                    Put16(payload, at, tag);
                    Put16(payload, at + 2, static_cast<uint32_t>(value.size() + 4));
                    payload.insert(payload.end(), value.begin(), value.end());
                }
                Bytes out(48, 0);
                Put32(out, 0, static_cast<uint32_t>(48 + payload.size()) | (1u << 24) | (1u << 30));
                out[5] = 0x40;
                Put16(out, 32, static_cast<uint32_t>(16 + payload.size()));
                out[34] = 0x16;
                out[37] = 0xA0;
                out[39] = 3;
                out[43] = 6;
                out.insert(out.end(), payload.begin(), payload.end());
                return out;
            }();
            host.Send(b);
        }
        AdvanceMs(110);
        const std::vector<Bytes> frames = host.Frames(false);
        ASSERT_EQ(frames.size(), 3u);
        for (const Bytes& f : frames) {
            EXPECT_EQ((Get32(f, 0) >> 27) & 0x1F, 2u) << "packet type 2: a received frame";
            const RxView v = ParseRx(f, c.third);
            EXPECT_EQ(v.channelByte, 36);
            EXPECT_EQ(sim::air::MacAt(v.frame.data() + 16).at(0), 0x02);
        }
        // The scan is over, but the frames are still in the host's ring: no scan done yet.
        AdvanceMs(10);
        EXPECT_TRUE(host.Events().empty());
        EXPECT_EQ(host.Frames(true).size(), 3u);
        AdvanceMs(1);
        const std::vector<Bytes> events = host.Events();
        ASSERT_EQ(events.size(), 1u);
        const size_t header = c.third ? 32 : 24;
        EXPECT_EQ(events[0][header + 4], c.third ? 0x0E : 0x0D);
        EXPECT_EQ(events[0][header + 12], 21) << "the scan's sequence number";
        EXPECT_TRUE(firmware.Faults().empty());
    }
}

}  // namespace
}  // namespace airtest
