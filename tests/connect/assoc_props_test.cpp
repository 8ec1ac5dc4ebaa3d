// The association, fast-transition and connection-quality properties: what they store in the adapter
// and the port, and what they post to the connect machine.
#include "connect/assoc_fixture.h"

#include "kshim/host/wifi.h"
#include "kshim/wditlv.h"
#include "platform/wdi/wdiproperty.h"

namespace assoctest {
namespace {

constexpr ULONG kAuthConfirm = 35;

class Props : public AssocTest {
protected:
    template <typename Handler>
    NTSTATUS Call(Handler handler, uint16_t messageId, PVOID parameters)
    {
        kshim::host::WdiRequest r = kshim::host::NewWdiRequest(messageId, kshim::host::WdiMessage(0, 1), 0);
        const NTSTATUS status = handler(A(), kshim::host::WdiRequestHandle(r), parameters);
        WifiRequestComplete(kshim::host::WdiRequestHandle(r), status, 0);
        Pump();
        return status;
    }

    // Association parameters of `count` BSS entries with PMKIDs (BSSID last byte = index + 1), parsed
    // from the generated TLVs.
    NTSTATUS Association(ULONG count, bool pmkids)
    {
        std::vector<WDI_CONNECT_BSS_ENTRY> entries(count);
        for (ULONG i = 0; i < count; ++i) {
            entries[i] = {};
            std::memcpy(entries[i].Bssid, kAp, 6);
            entries[i].Bssid[5] = static_cast<UCHAR>(i + 1);
            if (pmkids) {
                entries[i].Presence |= WDI_CONNECT_BSS_PRESENT_PMKID;
                std::memset(entries[i].Pmkid, static_cast<int>(0x40 + i), 16);
            }
        }
        WDI_ASSOCIATION_PARAMETERS in{{count, entries.data(), 0}};
        PUCHAR tlvs = nullptr;
        ULONG length = 0;
        EXPECT_EQ(WdiTlvGenerateSetAssociationParameters(&in, 0, nullptr, &length, &tlvs), STATUS_SUCCESS);
        WDI_ASSOCIATION_PARAMETERS parsed{};
        EXPECT_EQ(WdiTlvParseSetAssociationParameters(length, tlvs, nullptr, &parsed), STATUS_SUCCESS);
        WdiTlvFreeGenerated(tlvs);
        const NTSTATUS status = Call(WdiPropertySetAssociationParameters, 99, &parsed);
        WdiTlvCleanupSetAssociationParameters(&parsed);
        return status;
    }
};

TEST_F(Props, OnlyTheFirstEightPmkidsAreCachedAndAListWithoutPmkidsKeepsThem)
{
    ASSERT_EQ(Association(10, true), STATUS_SUCCESS);
    const STA_CONNECT_ADAPTER_STATE& sta = A()->StaConnect;
    ASSERT_EQ(sta.PmkidCount, 8u);
    for (ULONG i = 0; i < 8; ++i) {
        EXPECT_EQ(sta.PmkidCache[i].Bssid[5], i + 1);
        EXPECT_EQ(sta.PmkidCache[i].Pmkid[0], 0x40 + i);
    }
    ASSERT_EQ(Association(3, false), STATUS_SUCCESS);
    EXPECT_EQ(sta.PmkidCount, 8u);
    EXPECT_EQ(sta.PmkidCache[7].Bssid[5], 8);
    EXPECT_EQ(Call(WdiPropertySetAssociationParameters, 99, nullptr), static_cast<NTSTATUS>(0xC0010015));
}

class FtProps : public Props {
protected:
    void SetUp() override
    {
        Props::SetUp();
        MLME_CONN_PORT_BLOCK& c = port_->Mlme.Conn;
        c.FtEnabled = 1;
        c.FtSecondAuth = 1;
        port_->Keys.FtReady = 1;
        port_->Mlme.AuthMachine.CurrState = 1;
    }
    NTSTATUS Ft(ULONG status, ULONG presence)
    {
        const Bytes rsn(22, 0x30);
        const Bytes mde{54, 3, 1, 2, 3};
        const Bytes fte{55, 4, 9, 9, 9, 9};
        auto array = [](const Bytes& b) {
            return WDI_BYTE_ARRAY{static_cast<ULONG>(b.size()), const_cast<PUCHAR>(b.data()), 0};
        };
        WDI_FAST_BSS_TRANSITION_PARAMETERS p{presence, status, array(rsn), array(mde), array(fte)};
        PUCHAR tlvs = nullptr;
        ULONG length = 0;
        EXPECT_EQ(WdiTlvGenerateSetFastBssTransitionParameters(&p, 0, nullptr, &length, &tlvs), STATUS_SUCCESS);
        WDI_FAST_BSS_TRANSITION_PARAMETERS parsed{};
        EXPECT_EQ(WdiTlvParseSetFastBssTransitionParameters(length, tlvs, nullptr, &parsed), STATUS_SUCCESS);
        WdiTlvFreeGenerated(tlvs);
        const NTSTATUS s = Call(WdiPropertySetFastBssTransitionParameters, 127, &parsed);
        WdiTlvCleanupSetFastBssTransitionParameters(&parsed);
        return s;
    }
};

TEST_F(FtProps, TheOsAnswerConfirmsTheAuthenticationWithZeroOrEightyOne)
{
    struct Case {
        ULONG status;
        ULONG presence;
        USHORT answer;
        UCHAR valid;
    } cases[] = {{0, 7, 0, 1}, {0, 3, 81, 0}, {0, 6, 81, 0}, {5, 7, 81, 0}};
    for (const Case& c : cases) {
        port_->Mlme.AuthMachine.CurrState = 1;
        kshim::host::ErrorLogClear();
        EXPECT_EQ(Ft(c.status, c.presence), STATUS_SUCCESS);
        EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, c.answer}})) << c.presence;
        EXPECT_EQ(port_->Mlme.Cntl.FtParams, c.valid);
        EXPECT_EQ(port_->Mlme.AuthMachine.CurrState, 0u);
        const auto log = kshim::host::ErrorLogSnapshot();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].errorCode, 0x40020445u);
    }
    EXPECT_EQ(port_->Mlme.Conn.FtParamMdeLen, 5u);
}

TEST_F(FtProps, OutsideAnFtAuthenticationTheParametersAreRefused)
{
    for (int which = 0; which < 4; ++which) {
        port_->Mlme.Conn.FtEnabled = which == 0 ? 0 : 1;
        port_->Keys.FtReady = which == 1 ? 0 : 1;
        port_->Mlme.Conn.FtSecondAuth = which == 2 ? 0 : 1;
        port_->Mlme.AuthMachine.CurrState = which == 3 ? 0 : 1;
        EXPECT_EQ(Ft(0, 7), static_cast<NTSTATUS>(0xC00000BB)) << which;
        EXPECT_TRUE(TakeConfirms().empty());
        EXPECT_EQ(port_->Mlme.Cntl.FtParams, 0);
    }
}

TEST_F(Props, ConnectionQualityHintTwoIsRefusedOnASoftAccessPointAndForcePsMakesEveryHintOne)
{
    WDI_CONNECTION_QUALITY_PARAMETERS p{0, 2, 0};
    port_->PortType = EXTAP;
    EXPECT_EQ(Call(WdiPropertySetConnectionQuality, 32, &p), static_cast<NTSTATUS>(0xC0010017));
    EXPECT_EQ(port_->LowLatency, 0);
    port_->PortType = EXTSTA;
    A()->RegistryBlock.ForcePS = 1;
    (void)Call(WdiPropertySetConnectionQuality, 32, &p);
    EXPECT_EQ(A()->StaConnect.PowerSaveHint, 1);
    EXPECT_EQ(port_->LowLatency, 0);
    A()->RegistryBlock.ForcePS = 0;
    (void)Call(WdiPropertySetConnectionQuality, 32, &p);
    EXPECT_EQ(A()->StaConnect.PowerSaveHint, 0);
    EXPECT_EQ(port_->LowLatency, 1);
    EXPECT_NE(A()->StaConnect.LowLatencyTime, 0u);
}

}  // namespace
}  // namespace assoctest
