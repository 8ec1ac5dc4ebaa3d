// What the MLME does per chip, for every device id the driver knows, aliases included: the 6 GHz
// elements of probe requests, the maker element's class byte in a probe request, and HE operation on a
// 6 GHz capable link (the rate set-up and the FILS discovery intake ask the same question).
#include <vector>

#include "Common/mlme/mlmesync_probe.h"
#include "hal/common/hal_chip.h"
#include "mlme_fixture.h"

namespace mlmetest {
namespace {

struct ChipCase {
    USHORT deviceId;
    bool sixGhzElements;  // the probe request may carry the 6 GHz elements
    UCHAR makerClass;     // class byte of the maker element in a probe request; 0: no element
    bool heOn6Ghz;        // HE operation and FILS discovery on a 6 GHz capable link
};

// Every second- and third-generation id but 0x3504 has the 6 GHz elements and HE; 0x3602 and its
// aliases send the maker element with class 1, 0x3601 and its alias with class 2.
const ChipCase kChips[] = {
    {0x3501, true, 0, true},  {0x3504, false, 0, false}, {0x0C01, true, 0, true},  {0x3502, true, 0, true},
    {0x0C02, true, 0, true},  {0x3503, true, 0, true},   {0x3601, true, 2, true},  {0x0C03, true, 2, true},
    {0x3602, true, 1, true},  {0x3603, true, 1, true},   {0x0C04, true, 1, true},  {0x3404, false, 0, false},
    {0x3405, true, 0, false},
};

class ChipFacts : public MlmeTest {};

// The maker element (DD 11 02 C1 9B 01 ...) in a probe request, by its class byte; 0 when absent.
UCHAR MakerClass(const std::vector<UCHAR>& frame)
{
    for (size_t i = 24; i + 2 <= frame.size();) {
        const UCHAR id = frame[i];
        const UCHAR len = frame[i + 1];
        if (i + 2 + len > frame.size()) {
            break;
        }
        if (id == 0xDD && len == 0x11 && frame[i + 2] == 0x02 && frame[i + 3] == 0xC1 && frame[i + 4] == 0x9B) {
            return frame[i + 11];
        }
        i += 2 + len;
    }
    return 0;
}

TEST_F(ChipFacts, EachIdAnswersAsItsChip)
{
    for (const ChipCase& c : kChips) {
        SCOPED_TRACE(testing::Message() << "device id 0x" << std::hex << c.deviceId);
        adapter_->DeviceId = c.deviceId;
        adapter_->HalInfo.ChipCode = HalChipCodeOfDeviceId(c.deviceId);
        EXPECT_EQ(MlmeProbeChipHas6GhzElements(adapter_) != 0, c.sixGhzElements);
        EXPECT_EQ(HalDeviceHasFact(c.deviceId, CHIP_FACT_HE_6GHZ) != 0, c.heOn6Ghz);

        MP_PORT* port = adapter_->PortList[0] != nullptr ? adapter_->PortList[0] : AddPort(0, EXTSTA);
        port->Channel.PrimaryChannel = 6;
        port->Channel.Band = BAND_24G;
        std::vector<UCHAR> frame(2048, 0);
        ULONG length = 0;
        MgntPktConstructProbeReqFrame(port, frame.data(), &length);
        ASSERT_GT(length, 24u);
        ASSERT_LE(length, frame.size());
        frame.resize(length);
        EXPECT_EQ(MakerClass(frame), c.makerClass);
    }
}

}  // namespace
}  // namespace mlmetest
