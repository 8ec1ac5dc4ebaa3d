// The receive filters the firmware is given: the OS's packet filter with broadcast and multicast forced
// on (legacy 0x0A on the second generation, unified 0x08 on the third), the multicast list of a BSS
// (legacy 0xC1, unified 0x0A), read back as the simulated firmware decodes them.
#include "Common/fwsettings.h"
#include "connect/join_fixture.h"
#include "fw/rx_filters.h"
#include "platform/wificx/wificxmain.h"

namespace jointest {
namespace {

using Address = std::array<uint8_t, 6>;

class Filters : public JoinTest {
protected:
    // What the firmware kept of every command sent so far; the commands are then forgotten.
    const sim::fw::RxFilters& Fw()
    {
        EXPECT_TRUE(qzl_test::Settle());
        filters_.Clear();
        for (const Bytes& b : Sent()) {
            if (sim::fw::IsUnifiedCommand(b.data(), b.size())) {
                if (auto c = sim::fw::DecodeUnifiedCommand(b.data(), b.size())) {
                    filters_.Take(*c);
                }
            } else if (auto c = sim::fw::DecodeLegacyCommand(generation_, b.data(), b.size())) {
                filters_.Take(*c);
            }
        }
        ClearSent();
        return filters_;
    }

    sim::fw::RxFilters filters_;
};

TEST_F(Filters, ThePacketFilterIsKeptAsGivenAndSentWithBroadcastAndMulticast)
{
    const struct {
        ULONG os;
        uint32_t sent;
    } rows[] = {
        {0x1, 0xB},  // directed only
        {0x0, 0xA},
        {0x8, 0xA},
        {0x2, 0xA},
        {0x5, 0xF},  // directed and all-multicast
        {0xF, 0xF},
    };
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpStation(id);
        for (const auto& row : rows) {
            EXPECT_EQ(QzCmdSetCurrentPacketFilter(adapter_.get(), port0_, row.os), STATUS_SUCCESS);
            EXPECT_EQ(port0_->CurrentPacketFilter, row.os);
            const sim::fw::RxFilters& fw = Fw();
            EXPECT_EQ(fw.PacketFilters(), std::vector<uint32_t>{row.sent}) << std::hex << id << " filter " << row.os;
            EXPECT_EQ(fw.Malformed(), 0u);
        }
        if (id == kSecondGen) {
            // The legacy payload is 68 bytes.
            EXPECT_EQ(QzCmdSetCurrentPacketFilter(adapter_.get(), port0_, 1), STATUS_SUCCESS);
            EXPECT_TRUE(qzl_test::Settle());
            const std::vector<Bytes> payloads = LegacyPayloads(0x0A);
            ASSERT_EQ(payloads.size(), 1u);
            EXPECT_EQ(payloads[0].size(), 68u);
            ClearSent();
        }
        EXPECT_EQ(QzCmdSetCurrentPacketFilter(adapter_.get(), nullptr, 1), STATUS_UNSUCCESSFUL);
        EXPECT_EQ(QzCmdSetCurrentPacketFilter(nullptr, port0_, 1), STATUS_UNSUCCESSFUL);
        EXPECT_TRUE(Fw().PacketFilters().empty());
        TearDown();
        SetUp();
    }
}

TEST_F(Filters, TheMulticastListGoesToTheFirmwareWithThePortsBssIndex)
{
    const Address a = {0x01, 0x00, 0x5E, 0x00, 0x00, 0xFB};
    const Address b = {0x33, 0x33, 0x00, 0x00, 0x00, 0x01};
    const Address c = {0x01, 0x00, 0x5E, 0x7F, 0xFF, 0xFA};
    Bytes list;
    for (const Address& x : {a, b, c}) {
        list.insert(list.end(), x.begin(), x.end());
    }
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpStation(id);
        port0_->BssIndex = 3;
        EXPECT_EQ(QzCmdSetMulticastList(adapter_.get(), port0_, list.data(), 18), STATUS_SUCCESS);
        auto lists = Fw().MulticastLists();
        ASSERT_EQ(lists.size(), 1u) << std::hex << id;
        EXPECT_EQ(lists[0].bssIndex, 3);
        EXPECT_EQ(lists[0].unified, id == kThirdGen);
        EXPECT_EQ(lists[0].addresses, (std::vector<Address>{a, b, c}));
        // An empty list is sent as such.
        EXPECT_EQ(QzCmdSetMulticastList(adapter_.get(), port0_, nullptr, 0), STATUS_SUCCESS);
        lists = Fw().MulticastLists();
        ASSERT_EQ(lists.size(), 1u);
        EXPECT_TRUE(lists[0].addresses.empty());
        if (id == kSecondGen) {
            EXPECT_EQ(QzCmdSetMulticastList(adapter_.get(), port0_, list.data(), 18), STATUS_SUCCESS);
            EXPECT_TRUE(qzl_test::Settle());
            const std::vector<Bytes> payloads = LegacyPayloads(0xC1);
            ASSERT_EQ(payloads.size(), 1u);
            ASSERT_EQ(payloads[0].size(), 204u);
            EXPECT_EQ(U32(payloads[0], 0), 3u);
            EXPECT_EQ(payloads[0][4], 3);
            EXPECT_EQ(payloads[0][200], 0xFF);
            ClearSent();
        }
        // BSS index 5 and above is refused; so is a list longer than the 32 addresses the command holds.
        port0_->BssIndex = 5;
        EXPECT_EQ(QzCmdSetMulticastList(adapter_.get(), port0_, list.data(), 18), STATUS_UNSUCCESSFUL);
        port0_->BssIndex = 4;
        const Bytes tooMany(33 * 6, 0x01);
        EXPECT_EQ(QzCmdSetMulticastList(adapter_.get(), port0_, tooMany.data(), 33 * 6), STATUS_INVALID_PARAMETER);
        const Bytes full(32 * 6, 0x01);
        EXPECT_EQ(QzCmdSetMulticastList(adapter_.get(), port0_, full.data(), 32 * 6), STATUS_SUCCESS);
        const sim::fw::RxFilters& fw = Fw();
        lists = fw.MulticastLists();
        ASSERT_EQ(lists.size(), 1u) << "only the list that fits reaches the firmware";
        EXPECT_EQ(lists[0].addresses.size(), 32u);
        EXPECT_EQ(fw.Malformed(), 0u);
        TearDown();
        SetUp();
    }
}

}  // namespace
}  // namespace jointest
