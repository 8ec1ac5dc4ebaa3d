// Software control init, port 0 creation and the port reset.
#include <algorithm>
#include <cstring>

#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "shell/shell_fixture.h"
#include "support/crossings.h"

namespace {

using shelltest::ShellTest;

class SoftwareControl : public ShellTest {};

TEST_F(SoftwareControl, CreatesPortZeroAndTheWorkerThreads)
{
    adapter_->BssIndexSlots[1] = {1, 0, reinterpret_cast<PMP_PORT>(0x10)};
    ASSERT_EQ(NdisCommonInitializeSWCtrl(adapter_.get(), nullptr), STATUS_SUCCESS);
    threadsStarted_ = true;
    EXPECT_EQ(adapter_->BssIndexSlots[1].Port, nullptr);
    PMP_PORT port = adapter_->PortList[0];
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->PortType, static_cast<ULONG>(EXTSTA));
    EXPECT_EQ(port->OpMode, 0u);
    EXPECT_EQ(port->PortNumber, 0u);
    EXPECT_EQ(port->Adapter, adapter_.get());
    EXPECT_EQ(port->Created, 1);
    EXPECT_EQ(adapter_->PortCount, 1u);
    EXPECT_EQ(adapter_->P2pBlock->StationPort, port);
    EXPECT_STREQ(port->SendThread.Name, "WdiSendDataThread0");
    EXPECT_STREQ(adapter_->SendAfterSerThread.Name, "WdiSendDataThreadAfterSER");
    EXPECT_TRUE(IsListEmpty(&adapter_->NeighborApList.Head));
    EXPECT_EQ(adapter_->MlmeThread.RunState.load() != PLATFORM_THREAD_FREE, true);
    EXPECT_EQ(adapter_->StopThreads.load(), 0);
}

TEST_F(SoftwareControl, PortZeroAllocationIsTriedThreeTimesTwoSecondsApart)
{
    kshim::host::ClockSetManual();
    // Two failed attempts (six refusals each), then success: at least 4 s later.
    kshim::host::FaultArm("pool", "ZV21", 1, STATUS_INSUFFICIENT_RESOURCES, 12);
    int64_t start = kshim::host::ClockNow();
    ASSERT_EQ(NdisCommonPortInitandCfg(adapter_.get()), STATUS_SUCCESS);
    EXPECT_GE(kshim::host::ClockNow() - start, 4 * 10000000LL);
    EXPECT_NE(adapter_->PortList[0], nullptr);
    adapter_->StopThreads = 1;
    PlatformCancelThread(adapter_.get(), &adapter_->SendAfterSerThread);
    PlatformFreeThread(adapter_.get(), &adapter_->SendAfterSerThread);
    N6FreePortMemory(adapter_.get());

    // Three failed attempts: the failure goes up to the bring-up.
    kshim::host::FaultClearAll();
    kshim::host::FaultArm("pool", "ZV21", 1, STATUS_INSUFFICIENT_RESOURCES, 18);
    EXPECT_EQ(NdisCommonInitializeSWCtrl(adapter_.get(), nullptr), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(kshim::host::TraceContains("port 0 not allocated after 3 attempts"));
    EXPECT_EQ(adapter_->PortList[0], nullptr);
    EXPECT_EQ(adapter_->FwCmdThread.RunState.load(), PLATFORM_THREAD_FREE);  // no thread was created
}

TEST_F(SoftwareControl, SendThreadFailureFailsPortZeroCreation)
{
    kshim::host::FaultArm("thread.create", "", 1);
    EXPECT_EQ(NdisCommonInitializeSWCtrl(adapter_.get(), nullptr), STATUS_UNSUCCESSFUL);
    // The port stays in the array for the teardown to free.
    EXPECT_NE(adapter_->PortList[0], nullptr);
    EXPECT_EQ(adapter_->FwCmdThread.RunState.load(), PLATFORM_THREAD_FREE);
}

TEST_F(SoftwareControl, ResetAdapterCfgRestoresStationDefaults)
{
    STA_DEFAULT_CFG* cfg = &adapter_->StaDefaults;
    for (UCHAR keep : {0, 1}) {
        std::memset(cfg, 0xEE, sizeof(*cfg));
        NdisCommonResetAdapterCfg(adapter_.get(), nullptr, keep);
        EXPECT_EQ(cfg->DefaultMark, 1);
        EXPECT_EQ(cfg->Cleared, 0);
        EXPECT_EQ(cfg->SecurityDefault0, 6u);
        EXPECT_EQ(cfg->SecurityDefault1, 2u);
        EXPECT_EQ(cfg->Word, 0x100);
        EXPECT_EQ(cfg->ByteAfterWord, 0);
        EXPECT_EQ(cfg->Value, keep ? 0xEEEEEEEEEEEEEEEEull : 0ull);
    }
    EXPECT_EQ(NdisCommonReturnZero(), STATUS_SUCCESS);
}

class PortReset : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        port_ = AddPort(0, EXTSTA);
        std::memcpy(port_->Bssid, kBssid, sizeof(kBssid));
        adapter_->Fdo = WdfDeviceWdmGetDeviceObject(adapter_->Device);
        adapter_->EnableSystemEventLog = 1;
        adapter_->HifContext->Adapter = adapter_.get();  // management frames reach the transmit path
        ASSERT_EQ(MlmeInitMemoryHandler(adapter_.get(), MLME_BUFFER_INITIAL_BLOCKS, MLME_BUFFER_SIZE), STATUS_SUCCESS);
        port_->Ind.State.AllowedMask = 0x40;  // a disassociation may go to the OS
        kshim::host::TraceClear();
        kshim::host::ErrorLogClear();
        kshim::host::WifiClearIndications();
    }

    void TearDown() override
    {
        MlmeFreeMemoryHandler(adapter_.get());
        ShellTest::TearDown();
    }

    // Index of the first trace containing `needle`, or -1.
    static int IndexOf(const std::string& needle)
    {
        std::vector<std::string> texts = TraceTexts();
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i].find(needle) != std::string::npos) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    static constexpr UCHAR kBssid[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    MP_PORT* port_ = nullptr;
};

TEST_F(PortReset, ConnectedStationSendsDisassociationReason8ThenIndicatesReason9)
{
    kshim::host::ClockSetManual();
    port_->ConnectionFlags = PORT_CONN_CONNECTED | PORT_CONN_RESET_CLEAR;
    std::memset(port_->ConnectRequest, 0x33, sizeof(port_->ConnectRequest));
    port_->Mlme.CntlMachine.CurrState = 5;  // the port's machines are returned to their idle state
    port_->Mlme.SyncMachine.CurrState = 2;
    int64_t start = kshim::host::ClockNow();
    NdisCommonInfoResetHandler(port_);

    int disassoc = IndexOf("MlmeDisassocReqAction: machine 1 message 2 port 0 peer 02:11:22:33:44:55 reason 8");
    ASSERT_GE(disassoc, 0);
    // The disassociation frame is built and handed to the management transmit path, which frees its
    // MLME buffer once (this fixture has no transmit ring); then the link goes down, then the peer
    // leaves the OS.
    const int linkDown = IndexOf("link down of port 0");
    EXPECT_LT(disassoc, linkDown);
    EXPECT_LT(linkDown, IndexOf("PlatformIndicateDisassociation: port 0"));
    EXPECT_EQ(adapter_->Mlme.BufferPool.UsedCount, 0u);
    EXPECT_EQ(IndexOf("MLME buffer free ignored"), -1) << "the frame's buffer is freed twice";
    EXPECT_EQ(port_->Mlme.Cntl.LinkProgress & 0x30u, 0x30u);  // the link went down: started and done
    // Reason 9 reaches the OS as WDI status 7, with caller code 115.
    std::vector<qzltest::Disassociation> told = qzltest::Disassociations();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].port, 0u);
    EXPECT_EQ(told[0].peer, std::vector<UCHAR>(kBssid, kBssid + 6));
    EXPECT_EQ(told[0].status, 7u);
    EXPECT_EQ(told[0].caller, 115u);
    EXPECT_GE(kshim::host::ClockNow() - start, 25 * 10000);  // busy-wait before the link-down
    EXPECT_EQ(port_->ResetProgress, PORT_RESET_DISCONNECTING | PORT_RESET_DISASSOC_SENT);
    EXPECT_EQ(adapter_->ResetDisconnectMark, 1);
    EXPECT_EQ(port_->ResetState, 1u);
    EXPECT_EQ(adapter_->ResetState, 1u);
    EXPECT_EQ(port_->ConnectionFlags, 0u);  // bit 0x80 cleared by the reset, the link bit by the link down
    EXPECT_TRUE(std::all_of(std::begin(port_->ConnectRequest), std::end(port_->ConnectRequest),
                            [](UCHAR b) { return b == 0; }));
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pMsInfoResetRequest"), 1u);
    EXPECT_EQ(port_->Mlme.CntlMachine.CurrState, 0u);
    EXPECT_EQ(port_->Mlme.SyncMachine.CurrState, 0u);
    EXPECT_EQ(IndexOf("P2pGetClientWcid"), -1);
}

TEST_F(PortReset, WhatIsSentAndIndicatedByConnectionStateAndNdisVersion)
{
    struct Case {
        const char* what;
        ULONG connection;
        ULONG ndisVersion;
        bool disassociation;
        bool linkDown;
        bool indicated;
        bool toPeer;     // the peer is the BSSID; else the null address
        ULONG caller;
    } cases[] = {
        {"idle, 6.30", 0, NDIS_VERSION_630, false, false, false, false, 0},
        {"idle, 6.20", 0, NDIS_VERSION_620, false, false, false, false, 0},
        {"connecting, 6.30", PORT_CONN_CONNECTING, NDIS_VERSION_630, false, true, false, false, 0},
        {"connecting, 6.20", PORT_CONN_CONNECTING, NDIS_VERSION_620, false, true, true, false, 166},
        {"connected, 6.20", PORT_CONN_CONNECTED | PORT_CONN_CONNECTING, NDIS_VERSION_620, true, true, true, true, 115},
    };
    for (const Case& c : cases) {
        kshim::host::TraceClear();
        kshim::host::ErrorLogClear();
        kshim::host::WifiClearIndications();
        port_->ConnectionFlags = c.connection;
        port_->Ind.State.AllowedMask = 0x40;  // each disassociation leaves the mask at 17
        adapter_->CommonBlock->NdisVersion = c.ndisVersion;
        port_->Mlme.Cntl.LinkUpInProgress = 1;  // a link down, linked or not, ends a link up in progress
        NdisCommonInfoResetHandler(port_);
        EXPECT_EQ(IndexOf("MlmeDisassocReqAction: machine 1 message 2") >= 0, c.disassociation) << c.what;
        EXPECT_EQ(adapter_->Mlme.BufferPool.UsedCount, 0u) << c.what;
        EXPECT_EQ(IndexOf("MLME buffer free ignored"), -1) << c.what;
        EXPECT_EQ(port_->Mlme.Cntl.LinkUpInProgress == 0, c.linkDown) << c.what;
        std::vector<qzltest::Disassociation> told = qzltest::Disassociations();
        ASSERT_EQ(told.size(), c.indicated ? 1u : 0u) << c.what;
        if (c.indicated) {
            // Reasons 7 (connecting) and 9 (connected) both reach the OS as WDI status 7.
            EXPECT_EQ(told[0].status, 7u) << c.what;
            EXPECT_EQ(told[0].caller, c.caller) << c.what;
            EXPECT_EQ(told[0].peer, c.toPeer ? std::vector<UCHAR>(kBssid, kBssid + 6) : std::vector<UCHAR>(6, 0))
                << c.what;
        }
        EXPECT_EQ(qzltest::NotBuiltCalls("P2pMsInfoResetRequest"), c.ndisVersion >= NDIS_VERSION_630 ? 1u : 0u)
            << c.what;
    }
}

TEST_F(PortReset, MissingElementSkipsOnlyTheDisassociationFrame)
{
    port_->ConnectionFlags = PORT_CONN_CONNECTED;
    kshim::host::FaultArm("pool", "ZV19", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    NdisCommonInfoResetHandler(port_);
    EXPECT_EQ(IndexOf("MlmeDisassocReqAction: machine 1 message 2"), -1) << "no element for the disassociation";
    EXPECT_EQ(port_->Mlme.Cntl.LinkProgress & 0x30u, 0x30u);  // the link still went down
    std::vector<qzltest::Disassociation> told = qzltest::Disassociations();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].status, 7u);
    EXPECT_EQ(told[0].caller, 115u);
}

TEST_F(PortReset, WiFiDirectClientLooksUpItsGroupOwnerEntry)
{
    MP_PORT* client = AddPort(2, WFD_CLIENT);
    client->ConnectionFlags = PORT_CONN_CONNECTED;
    NdisCommonInfoResetHandler(client);
    // Once for the reset itself, once when every key of the client port is removed.
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pGetClientWcid"), 2u);
    // A port other than 0 ends its reset before the adapter-wide values (NDIS 6.30).
    EXPECT_EQ(adapter_->ConnValueWord, 0);
    EXPECT_EQ(CountTraces("port 2 reset ends here"), 1u);
}

TEST_F(PortReset, KeysAreClearedUnlessSecuredAndRemovedUnlessAnotherLinkNeedsThem)
{
    struct Case {
        const char* what;
        ULONG securityState;
        ULONG portState;
        bool port0Connected;
        bool groupOwnerActive;
        bool keyAreaCleared;
        bool keysRemoved;
    } cases[] = {
        {"plain", 0, 0, false, false, true, true},
        {"secured", 2, 0, false, false, false, true},
        {"port state 2", 0, 2, false, false, true, false},
        {"port 0 connected", 0, 1, true, false, true, false},
        {"group owner active", 0, 1, false, true, true, false},
    };
    MP_PORT* port = AddPort(1, EXTAP);
    for (const Case& c : cases) {
        kshim::host::TraceClear();
        port->SecurityState = c.securityState;
        port->State = c.portState;
        port->KeyCount = 4;
        port->KeyInstalled = 1;
        std::memset(port->KeyArea, 0x11, sizeof(port->KeyArea));
        // A static key in slot 2: removing every key of the port clears it.
        port->Keys.SharedKey.Slot[2].CipherAlg = 1;
        port->Keys.SharedKey.Slot[2].KeyLen = 5;
        port_->ConnectionFlags = c.port0Connected ? PORT_CONN_CONNECTED : 0;
        adapter_->P2pBlock->Flags = c.groupOwnerActive ? P2P_FLAG_GO_ACTIVE : 0;
        NdisCommonInfoResetHandler(port);
        EXPECT_EQ(port->KeyCount == 0, c.keyAreaCleared) << c.what;
        EXPECT_EQ(port->KeyArea[191] == 0, c.keyAreaCleared) << c.what;
        EXPECT_EQ(port->Keys.SharedKey.Slot[2].CipherAlg == 0 && port->Keys.SharedKey.Slot[2].KeyLen == 0,
                  c.keysRemoved)
            << c.what;
        EXPECT_EQ(port->KeyInstalled == 0, c.keysRemoved) << c.what;
    }
}

TEST_F(PortReset, PortZeroResetsAdapterValuesAndAppliesAPendingPhyMode)
{
    struct Case {
        UCHAR override;
        bool applied;
    } cases[] = {{0, true}, {5, false}};
    for (const Case& c : cases) {
        kshim::host::TraceClear();
        adapter_->ConnValueWord = 7;
        std::memset(adapter_->ConnValues, 0x44, sizeof(adapter_->ConnValues));
        std::memset(adapter_->StaStateBytes, 0x44, sizeof(adapter_->StaStateBytes));
        std::memset(port_->StaResetState, 0x44, sizeof(port_->StaResetState));
        adapter_->ResetValues[0] = adapter_->ResetValues[1] = 9;
        adapter_->RoamingMark = 1;
        port_->PhyModeChangePending = 1;
        port_->PendingPhyMode = PHY_11He;
        port_->Rate.HtEnable = 0;
        port_->PhyModeOverride = c.override;
        port_->ResetRequest = 1;
        NdisCommonInfoResetHandler(port_);
        EXPECT_EQ(adapter_->ConnValueWord, 32);
        EXPECT_EQ(adapter_->ConnValues[31], 0);
        EXPECT_EQ(adapter_->StaStateBytes[9], 0);
        EXPECT_EQ(port_->StaResetState[15], 0);
        EXPECT_EQ(adapter_->ResetValues[1], 0u);
        EXPECT_EQ(port_->ResetRequest, 0);
        EXPECT_EQ(CountTraces("roaming completion of port 0: status 6"), 1u);
        EXPECT_EQ(CountTraces("MlmeInfoSetPhyMode: mode 13 flag 1"), c.applied ? 1u : 0u);
        // Mode 13 on a port without VHT is lowered to 5, an HT mode: the port's HT settings follow.
        EXPECT_EQ(port_->Rate.HtEnable, c.applied ? 1 : 0);
        EXPECT_EQ(qzltest::NotBuiltCalls("MlmeInfoSetHtVht"), 0u);
        EXPECT_EQ(port_->PhyModeChangePending, 0);
        EXPECT_EQ(port_->PhyModeOverride, PORT_PHY_MODE_OVERRIDE_NONE);
    }
}

TEST_F(PortReset, PortZeroEndsTheCompanionDevicePortsDiscovery)
{
    MP_PORT* device = AddPort(3, WFD_DEVICE);
    device->Created = 1;
    device->P2pState.DiscoveryFlags = P2P_DISCOVERY_PENDING | 0x10;
    device->P2pState.StateValue = 20;
    adapter_->P2pBlock->DevicePort = device;
    adapter_->P2pBlock->State = P2P_I_AM_CLIENT_ASSOC_AUTH;
    port_->P2pState.RoleIndex = 2;
    port_->Channel = {BAND_5G, 36, 42, BW_80};
    port_->SavedChannel = {BAND_24G, 6, 6, BW_20};
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_OS_SCAN, __func__);
    NdisCommonInfoResetHandler(port_);
    EXPECT_EQ(adapter_->OsScanPendingAtReset, 1);
    EXPECT_EQ(device->P2pState.StateValue, static_cast<ULONG>(P2P_STATE_IDLE));
    EXPECT_EQ(device->P2pState.ModeValue, 3u);
    EXPECT_EQ(device->P2pState.DiscoveryFlags, 0x10u);
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pMsIndicateDiscoverComplete"), 1u);
    EXPECT_EQ(port_->Channel.PrimaryChannel, 6);
    EXPECT_EQ(port_->Channel.Band, static_cast<ULONG>(BAND_24G));

    // Nothing pending: nothing completed.
    kshim::host::TraceClear();
    NdisCommonInfoResetHandler(port_);
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pMsIndicateDiscoverComplete"), 0u);
}

TEST_F(PortReset, NullPortIsTracedOnly)
{
    NdisCommonInfoResetHandler(nullptr);
    EXPECT_EQ(CountTraces("reset without a port"), 1u);
}

}  // namespace
