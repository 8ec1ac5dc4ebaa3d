// Net adapters, ports and the Wi-Fi Direct device WiFiCx asks a started device for.
#include <cstring>
#include <string>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/netadapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "wdi_support.h"

namespace {

using kshim::host::NetAdapterRecord;
using wdi_test::WdiTest;

class AdapterTest : public WdiTest {
protected:
    // The record of the device's newest net adapter.
    NetAdapterRecord Newest()
    {
        std::vector<NETADAPTER> adapters = kshim::host::NetAdaptersOf(device_->Handle());
        NetAdapterRecord record;
        EXPECT_FALSE(adapters.empty());
        if (!adapters.empty()) {
            EXPECT_TRUE(kshim::host::DescribeNetAdapter(adapters.back(), &record));
        }
        return record;
    }

    NETADAPTER NewestHandle() { return kshim::host::NetAdaptersOf(device_->Handle()).back(); }

    // The adapter's address with index i of kind 4 (locally administered, i x 16 into bytes 4 and 5).
    std::vector<uint8_t> DerivedAddress(uint8_t index)
    {
        std::vector<uint8_t> a(Adapter()->CurrentAddress, Adapter()->CurrentAddress + 6);
        if (index != 0) {
            a[0] |= 0x02;
            a[4] ^= static_cast<uint8_t>(index * 16);
            a[5] ^= static_cast<uint8_t>(index * 16);
        }
        return a;
    }

    static size_t ListLength(RX_RETURN_LIST& list)
    {
        size_t n = 0;
        for (PLIST_ENTRY e = list.Head.Flink; e != &list.Head; e = e->Flink) {
            ++n;
        }
        return n;
    }
};

TEST_F(AdapterTest, AStationAdapterOnPortZeroDeclaresItsDataPathLinkAndFilterAndStarts)
{
    ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
    NetAdapterRecord r = Newest();
    EXPECT_TRUE(r.hasDatapath);
    EXPECT_NE(r.datapath.EvtAdapterCreateTxQueue, nullptr);
    EXPECT_NE(r.datapath.EvtAdapterCreateRxQueue, nullptr);
    const std::vector<std::pair<uint32_t, uint32_t>> demux{{3, 8}, {2, 1}};
    EXPECT_EQ(r.txDemux, demux);
    EXPECT_TRUE(r.wifiInitialized);

    ASSERT_TRUE(r.hasDataPathCapabilities);
    EXPECT_EQ(r.tx.MappingRequirement, NetMemoryMappingRequirementDmaMapped);
    EXPECT_EQ(r.tx.PayloadBackfill, 0u);
    EXPECT_EQ(r.tx.MaximumNumberOfQueues, 2u);
    EXPECT_EQ(r.tx.FragmentBufferAlignment, 1u);
    EXPECT_EQ(r.tx.FragmentRingNumberOfElementsHint, 65536u);
    EXPECT_EQ(r.tx.MaximumNumberOfFragments, 1u);
    ASSERT_TRUE(r.txHasDma);
    EXPECT_EQ(r.txDma.DmaEnabler, Adapter()->DmaEnabler);
    EXPECT_EQ(r.txDma.MaximumPhysicalAddress.QuadPart, 0);
    EXPECT_EQ(r.txDma.CacheEnabled, WdfUseDefault);
    EXPECT_EQ(r.txDma.PreferredNode, 0x80000000u);
    EXPECT_EQ(r.rx.AllocationMode, NetRxFragmentBufferAllocationModeDriver);
    EXPECT_EQ(r.rx.AttachmentMode, NetRxFragmentBufferAttachmentModeDriver);
    EXPECT_EQ(r.rx.FragmentRingNumberOfElementsHint, 16384u);
    EXPECT_EQ(r.rx.MaximumFrameSize, 2048u);
    EXPECT_EQ(r.rx.MaximumNumberOfQueues, 1u);
    EXPECT_NE(r.rx.EvtAdapterReturnRxBuffer, nullptr);

    // Connected at 46 Gbit/s whatever the radio does.
    ASSERT_TRUE(r.hasLinkState);
    EXPECT_EQ(r.linkState.TxLinkSpeed, 46000000000ull);
    EXPECT_EQ(r.linkState.RxLinkSpeed, 46000000000ull);
    EXPECT_EQ(r.linkState.MediaConnectState, MediaConnectStateConnected);
    EXPECT_EQ(r.linkState.MediaDuplexState, MediaDuplexStateFull);
    EXPECT_EQ(r.linkState.AutoNegotiationFlags, 3u);
    EXPECT_EQ(r.linkLayer.MaxTxLinkSpeed, 46000000000ull);
    EXPECT_EQ(r.mtu, 1500u);
    EXPECT_EQ(r.permanentAddress, DerivedAddress(0));
    EXPECT_EQ(r.currentAddress, DerivedAddress(0));
    ASSERT_TRUE(r.hasReceiveFilter);
    EXPECT_EQ(r.receiveFilter.SupportedPacketFilters, 0xFu);
    EXPECT_EQ(r.receiveFilter.MaximumMulticastAddresses, 16u);
    EXPECT_TRUE(r.magicPacket);
    EXPECT_TRUE(r.started);

    PMP_PORT port0 = Adapter()->PortList[0];
    EXPECT_EQ(port0->NetAdapter, NewestHandle());
    EXPECT_EQ(port0->WifiAdapterType, 1u);
    EXPECT_EQ(port0->OpModeCode, 2u);  // station, on an OS above the old WDI numbering
    EXPECT_EQ(Adapter()->WifiAdapterType, 1u);
    EXPECT_EQ(Adapter()->TxFragRingLimit, 65536u);
    EXPECT_EQ(Adapter()->DataPathPortNumber, 0u);
}

// Access-point adapters take the three access-point addresses in turn; they are never given back,
// so a fourth gets the first again.
TEST_F(AdapterTest, AccessPointAdaptersTakeMacIndexesThreeFourFiveThenThree)
{
    const uint8_t expected[] = {3, 4, 5, 3};
    for (uint16_t portId = 1; portId <= 4; ++portId) {
        ASSERT_EQ(os_.CreateAdapter(device_, portId, WIFI_ADAPTER_WLAN_SOFTAP), STATUS_SUCCESS) << portId;
        PMP_PORT port = Adapter()->PortList[portId];
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(port->MacAddress, port->MacAddress + 6), DerivedAddress(expected[portId - 1]))
            << portId;
        NetAdapterRecord r = Newest();
        EXPECT_EQ(r.currentAddress, DerivedAddress(expected[portId - 1]));
        const std::vector<std::pair<uint32_t, uint32_t>> demux{{3, 8}, {2, 8}};
        EXPECT_EQ(r.txDemux, demux);
        EXPECT_EQ(r.tx.FragmentRingNumberOfElementsHint, 32768u);
        EXPECT_EQ(port->TxFragRingLimit, 32768u);
        EXPECT_EQ(port->WifiAdapterType, 2u);
        EXPECT_EQ(port->Active, 1);
    }
    EXPECT_EQ(Adapter()->PortCount, 5u);
}

TEST_F(AdapterTest, UnsupportedTypesAndMissingPortsFail)
{
    EXPECT_EQ(os_.CreateAdapter(device_, 2, WIFI_ADAPTER_WIFI_DIRECT_ROLE), STATUS_NOT_SUPPORTED);
    // A station adapter for WiFiCx port 2 sets up port 0, and port 2 does not exist.
    EXPECT_EQ(os_.CreateAdapter(device_, 2, WIFI_ADAPTER_WLAN_STATION), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Adapter()->PortList[2], nullptr);
    EXPECT_EQ(Adapter()->PortList[0]->OpModeCode, 2u);
}

TEST_F(AdapterTest, AFailedStartIsReturned)
{
    kshim::host::FaultArm("net.adapterstart", "0", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(Newest().started);
}

TEST_F(AdapterTest, TheFixedCertificationAddressOfPortOne)
{
    Adapter()->RegistryBlock.CertReg = CERT_REG_FIXED_ADDRESS;
    ASSERT_EQ(os_.CreateAdapter(device_, 1, WIFI_ADAPTER_WLAN_SOFTAP), STATUS_SUCCESS);
    PMP_PORT port = Adapter()->PortList[1];
    std::vector<uint8_t> want = DerivedAddress(3);
    want[3] = 0xAA;
    want[4] = 0xBB;
    want[5] = 0xCC;
    EXPECT_EQ(std::vector<uint8_t>(port->MacAddress, port->MacAddress + 6), want);
}

TEST_F(AdapterTest, WifiDirectDevicePortsAndRefusals)
{
    struct Case {
        uint16_t portId;
        NTSTATUS status;
        int port;  // the port set up, -1 none
    };
    for (const Case& c : {Case{2, STATUS_SUCCESS, 2}, Case{0xFFFF, STATUS_SUCCESS, 0}, Case{5, STATUS_UNSUCCESSFUL, -1}}) {
        EXPECT_EQ(os_.CreateWifiDirectDevice(device_, c.portId), c.status) << c.portId;
        if (c.port == 2) {
            PMP_PORT port = Adapter()->PortList[2];
            ASSERT_NE(port, nullptr);
            EXPECT_EQ(port->OpModeCode, 8u);
            EXPECT_EQ(std::vector<uint8_t>(port->MacAddress, port->MacAddress + 6), DerivedAddress(2));
        }
    }
    EXPECT_EQ(Adapter()->PortList[3], nullptr);
    EXPECT_EQ(kshim::host::WifiDirectDevicesOf(device_->Handle()).size(), 3u);
}

// The multicast list: at most 16 addresses of 6 bytes each; nothing while the adapter halts.
TEST_F(AdapterTest, ReceiveFilterKeepsSixteenSixByteAddresses)
{
    ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
    std::vector<std::vector<uint8_t>> list;
    list.push_back({1, 0, 0x5E, 0, 0, 0xAA, 0xBB, 0xCC});  // 8 bytes: skipped, not counted
    for (uint8_t i = 0; i < 20; ++i) {
        list.push_back({1, 0, 0x5E, 0, 0, i});
    }
    ASSERT_TRUE(kshim::host::NetAdapterApplyReceiveFilter(NewestHandle(), 0x2, list));
    const MULTICAST_LIST& m = Adapter()->MulticastList;
    EXPECT_EQ(m.Count, 16u);
    EXPECT_EQ(m.Addresses[0][5], 0);
    EXPECT_EQ(m.Addresses[15][5], 15);

    AdapterSetFlag(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    ASSERT_TRUE(kshim::host::NetAdapterApplyReceiveFilter(NewestHandle(), 0x2, {{1, 0, 0x5E, 0, 0, 0x77}}));
    AdapterClearFlag(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    EXPECT_EQ(m.Count, 16u);
    EXPECT_EQ(m.Addresses[0][5], 0);
}

TEST_F(AdapterTest, AReturnedReceiveRecordGoesBackOnlyWhenItIsOne)
{
    ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
    RX_RETURN_LIST& free = Adapter()->RxReturnFree;
    size_t before = ListLength(free);
    PLIST_ENTRY entry = ExInterlockedRemoveHeadList(&free.Head, &free.Lock);
    ASSERT_NE(entry, nullptr);
    auto* record = CONTAINING_RECORD(entry, RX_RETURN_CONTEXT, Link);
    record->Descriptor = nullptr;

    // Neither buffer was handed to the OS: the stand-in reports both returns as ring-rule violations.
    std::vector<std::string> violations;
    kshim::host::SetViolationHandler([&](const kshim::host::Violation& v) { violations.push_back(v.what); });
    RX_RETURN_CONTEXT foreign{};
    foreign.Signature = 0x12345678;
    ASSERT_TRUE(kshim::host::NetAdapterReturnRxBuffer(NewestHandle(), &foreign));
    EXPECT_EQ(ListLength(free), before - 1);

    ASSERT_TRUE(kshim::host::NetAdapterReturnRxBuffer(NewestHandle(), record));
    EXPECT_EQ(ListLength(free), before);
    EXPECT_EQ(free.Head.Blink, &record->Link);
    kshim::host::SetViolationHandler(nullptr);
    EXPECT_EQ(violations.size(), 2u);
}

}  // namespace
