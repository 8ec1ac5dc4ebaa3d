// The adapter object: flag word, separately allocated blocks, ports, BSS slots and port helpers.
#include <atomic>
#include <thread>

#include "Common/cnm.h"
#include "Common/mlme/mlme.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "shell/shell_fixture.h"
#include "support/crossings.h"

namespace {

using shelltest::NewZeroedAdapter;
using shelltest::ShellTest;

TEST(AdapterFlags, SetClearAndNoLostUpdateAcrossLevels)
{
    kshim::host::ResetDefaults();
    auto adapter = NewZeroedAdapter();
    PlatformAllocateSpinLock(&adapter->FlagLock);
    AdapterSetFlag(adapter.get(), ADAPTER_FLAG_SCANNING | ADAPTER_FLAG_OS_SCAN, "test");
    AdapterClearFlag(adapter.get(), ADAPTER_FLAG_SCANNING, "test");
    EXPECT_EQ(AdapterGetFlags(adapter.get()), ADAPTER_FLAG_OS_SCAN);
    EXPECT_TRUE(AdapterTestFlags(adapter.get(), ADAPTER_FLAGS_THREAD_CMD_DROP | ADAPTER_FLAG_OS_SCAN));

    // Only a change of exactly 0x2 is traced, with its caller.
    kshim::host::TraceClear();
    AdapterSetFlag(adapter.get(), ADAPTER_FLAG_MLME_RESTARTING, "MlmeRestartStateMachine");
    AdapterSetFlag(adapter.get(), ADAPTER_FLAG_MLME_RESTARTING | ADAPTER_FLAG_SCANNING, "other");
    EXPECT_TRUE(kshim::host::TraceContains("set by MlmeRestartStateMachine: flags 0x01000002"));
    EXPECT_FALSE(kshim::host::TraceContains("by other"));
    AdapterClearFlag(adapter.get(), ~0u, "test");

    // Lock holders, a caller above dispatch level and the unlocked setter change different bits at
    // once: every bit survives.
    constexpr int kRounds = 20000;
    std::thread locked([&] {
        for (int i = 0; i < kRounds; ++i) {
            AdapterSetFlag(adapter.get(), 0x00000001, "a");
            AdapterClearFlag(adapter.get(), 0x00000001, "a");
        }
    });
    std::thread device([&] {
        KIRQL old;
        KeRaiseIrql(DEVICE_LEVEL, &old);
        for (int i = 0; i < kRounds; ++i) {
            AdapterSetFlag(adapter.get(), 0x00000100, "isr");
            AdapterClearFlag(adapter.get(), 0x00000100, "isr");
        }
        KeLowerIrql(old);
    });
    std::thread unlocked([&] {
        for (int i = 0; i < kRounds; ++i) {
            AdapterSetFlagUnlocked(adapter.get(), 0x00000008);
        }
    });
    AdapterSetFlag(adapter.get(), ADAPTER_FLAG_SURPRISE_REMOVED, "main");
    locked.join();
    device.join();
    unlocked.join();
    EXPECT_EQ(AdapterGetFlags(adapter.get()), ADAPTER_FLAG_SURPRISE_REMOVED | 0x00000008);
}

using AdapterBlocks = shelltest::LeakCheckedTest;

TEST_F(AdapterBlocks, AllocatedZeroedWithTagZV17AndFreedWithTheirPointers)
{
    auto adapter = NewZeroedAdapter();
    ASSERT_EQ(Ndis6CommonAllocAdapterBlock(adapter.get()), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV17"), 7u);
    EXPECT_EQ(adapter->SupportedPhyTypesSize, sizeof(SUPPORTED_PHY_TYPES));
    EXPECT_EQ(adapter->P2pBlock->Flags, 0u);
    EXPECT_EQ(adapter->CommonBlock->Buffer[ADAPTER_COMMON_BUFFER_SIZE - 1], 0);
    adapter->Signature = MP_ADAPTER_SIGNATURE;
    Ndis6CommonDeallocAdapterBlock(adapter.get());
    EXPECT_EQ(adapter->Signature, 0u);
    EXPECT_EQ(adapter->P2pBlock, nullptr);
    EXPECT_EQ(adapter->RxIndicateBlock, nullptr);
    EXPECT_EQ(adapter->MgmtFrameBlock, nullptr);
    EXPECT_EQ(adapter->HifContext, nullptr);
    EXPECT_EQ(adapter->CommonBlock, nullptr);
    EXPECT_EQ(adapter->SupportedPhyTypes, nullptr);
    // A second release (a teardown after a surprise removal) finds nothing to free.
    Ndis6CommonDeallocAdapterBlock(adapter.get());
    Ndis6CommonDeallocAdapterBlock(nullptr);
}

TEST_F(AdapterBlocks, FailureKeepsTheBlocksBeforeItForTheReleasePath)
{
    // Allocation n of the seven fails (six refusals each): n - 1 blocks stay.
    for (unsigned failing = 1; failing <= 7; ++failing) {
        auto adapter = NewZeroedAdapter();
        kshim::host::FaultArm("pool", "ZV17", failing, STATUS_INSUFFICIENT_RESOURCES, 6);
        EXPECT_EQ(Ndis6CommonAllocAdapterBlock(adapter.get()), STATUS_INSUFFICIENT_RESOURCES) << failing;
        kshim::host::FaultClearAll();
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV17"), failing - 1) << failing;
        void* const blocks[] = {adapter->P2pBlock, adapter->RxIndicateBlock, adapter->MgmtFrameBlock,
                                adapter->HifContext, adapter->CommonBlock};
        for (unsigned i = 0; i < 5; ++i) {
            EXPECT_EQ(blocks[i] != nullptr, i + 1 < failing) << failing << " block " << i;
        }
        Ndis6CommonDeallocAdapterBlock(adapter.get());
    }
}

class Ports : public ShellTest {};

TEST_F(Ports, AllocationFailureGivesNullAndInsufficientResources)
{
    PMP_PORT port = reinterpret_cast<PMP_PORT>(0x1);
    kshim::host::FaultArm("pool", "ZV21", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    EXPECT_EQ(NdisCommonInitAllocPort(adapter_.get(), EXTAP, 2, &port), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(port, nullptr);
    kshim::host::FaultClearAll();
    ASSERT_EQ(NdisCommonInitAllocPort(adapter_.get(), EXTAP, 2, &port), STATUS_SUCCESS);
    EXPECT_EQ(port->PortType, static_cast<ULONG>(EXTAP));
    EXPECT_EQ(port->OpMode, 2u);
    EXPECT_EQ(port->Active, 0);
    PlatformFreeMemory(port, sizeof(MP_PORT));
}

TEST_F(Ports, FreePortMemoryTerminatesAndFreesEveryPort)
{
    for (ULONG n : {0u, 2u, 4u}) {
        MP_PORT* port = AddPort(n, n == 0 ? EXTSTA : EXTAP);
        ASSERT_EQ(NdisCommonInitPort(port), STATUS_SUCCESS);
    }
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV21"), 3u);
    adapter_->StopThreads = 1;
    N6FreePortMemory(adapter_.get());
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV21"), 0u);
    for (PMP_PORT p : adapter_->PortList) {
        EXPECT_EQ(p, nullptr);
    }
    PlatformCancelThread(adapter_.get(), &adapter_->SendAfterSerThread);
    PlatformFreeThread(adapter_.get(), &adapter_->SendAfterSerThread);
    N6FreePortMemory(adapter_.get());  // again: nothing left
}

TEST_F(Ports, FreeAllPortResourceFreesOwnedBuffersOfActivePorts)
{
    MP_PORT* active = AddPort(0, EXTSTA);
    MP_PORT* inactive = AddPort(1, EXTAP);
    inactive->Active = 0;
    auto own = [&](PORT_OWNED_BUFFER* owned, ULONG size, UCHAR allocated) {
        PVOID block = nullptr;
        ASSERT_EQ(PlatformAllocateMemory(adapter_.get(), &block, size, TAG_ZV17), STATUS_SUCCESS);
        owned->Buffer = static_cast<PUCHAR>(block);
        owned->Size = size;
        owned->Allocated = allocated;
    };
    own(&active->VariableIe[0], 32, 1);
    own(&active->VariableIe[16], 8, 1);
    own(&active->PrivacyExemptionList, 12, 1);
    own(&active->ExtraBuffers[3], 4, 1);
    UCHAR borrowed[4];
    active->ExtraBuffers[0] = {borrowed, sizeof(borrowed), 0};  // not owned: cleared, not freed
    PVOID p2p = nullptr;
    ASSERT_EQ(PlatformAllocateMemory(adapter_.get(), &p2p, 20, TAG_ZV17), STATUS_SUCCESS);
    active->P2pPoolBuffer = static_cast<PUCHAR>(p2p);
    active->P2pPoolBufferLength = 20;
    own(&inactive->VariableIe[0], 16, 1);
    // The active port 0's timers, armed: freed with the port's resources; the inactive port's stay.
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), active), STATUS_SUCCESS);
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), inactive), STATUS_SUCCESS);
    EXPECT_EQ(active->MlmePeriodicTimer.Created, 1);

    Ndis6CommonFreeAllPortResource(adapter_.get());
    for (const PORT_OWNED_BUFFER& b : active->VariableIe) {
        EXPECT_EQ(b.Buffer, nullptr);
        EXPECT_EQ(b.Size, 0u);
        EXPECT_EQ(b.Allocated, 0);
    }
    EXPECT_EQ(active->PrivacyExemptionList.Buffer, nullptr);
    EXPECT_EQ(active->ExtraBuffers[0].Buffer, nullptr);
    EXPECT_EQ(active->P2pPoolBuffer, nullptr);
    EXPECT_EQ(active->P2pPoolBufferLength, 0u);
    EXPECT_NE(inactive->VariableIe[0].Buffer, nullptr);  // inactive ports keep theirs
    EXPECT_EQ(active->MlmePeriodicTimer.Initialized, 0);
    EXPECT_EQ(active->MlmePeriodicTimer.Created, 0);
    EXPECT_EQ(active->TxHangTimer.Created, 0);
    EXPECT_EQ(active->Mlme.BeaconTimeoutTimer.Initialized, 0);
    EXPECT_EQ(inactive->Mlme.BeaconTimeoutTimer.Initialized, 1);
    PlatformFreeMemory(inactive->VariableIe[0].Buffer, 16);
    (void)MlmePortFreeTimer(adapter_.get(), inactive);
}

TEST_F(Ports, BssSlotAccessors)
{
    MP_PORT* port = AddPort(0, EXTSTA);
    MP_PORT* other = AddPort(1, EXTAP);
    adapter_->BssIndexSlots[2] = {1, 0, port};
    adapter_->BssIndexSlots[3] = {0, 0, other};
    struct Case {
        UCHAR bssIndex;
        UCHAR portIndex;
        bool slotByPort;
    } cases[] = {{2, 2, true}, {4, 4, true}, {5, 255, false}, {255, 255, false}};
    for (const Case& c : cases) {
        port->BssIndex = c.bssIndex;
        EXPECT_EQ(PortGetBssIndex(adapter_.get(), port), c.portIndex) << int(c.bssIndex);
        EXPECT_EQ(GetBssIndexSlotByPort(adapter_.get(), port) != nullptr, c.slotByPort) << int(c.bssIndex);
    }
    EXPECT_EQ(GetActiveBssIndexSlot(adapter_.get(), 2), &adapter_->BssIndexSlots[2]);
    EXPECT_EQ(GetActiveBssIndexSlot(adapter_.get(), 3), nullptr);  // bound but not in use
    EXPECT_EQ(GetActiveBssIndexSlot(adapter_.get(), 5), nullptr);
    other->BssIndex = 3;
    EXPECT_EQ(GetBssIndexSlotByPort(adapter_.get(), other), &adapter_->BssIndexSlots[3]);  // no in-use test
    EXPECT_EQ(GetPortByBssIndex(adapter_.get(), 3), other);
    EXPECT_EQ(GetPortByBssIndex(adapter_.get(), 0), nullptr);
    EXPECT_EQ(GetPortByBssIndex(adapter_.get(), 7), nullptr);
    cnmInitBssInfo(adapter_.get());
    for (const BSS_INDEX_SLOT& slot : adapter_->BssIndexSlots) {
        EXPECT_EQ(slot.InUse, 0);
        EXPECT_EQ(slot.Port, nullptr);
    }
}

TEST(PortHelpers, NewMacAddressOfAVirtualPort)
{
    auto adapter = NewZeroedAdapter();
    const UCHAR base[6] = {0x00, 0x8F, 0x11, 0x22, 0x33, 0x44};
    std::memcpy(adapter->CurrentAddress, base, 6);
    struct Case {
        UCHAR index;
        UCHAR kind;
        UCHAR expected[6];
    } cases[] = {
        {0, 1, {0x00, 0x8F, 0x11, 0x22, 0x33, 0x44}},  // index 0: unchanged
        {3, 1, {0x02, 0x8F, 0x31, 0x22, 0x33, 0x44}},  // byte 2, bits 4-6
        {5, 2, {0x02, 0x8F, 0x11, 0x52, 0x33, 0x44}},  // byte 3
        {7, 3, {0x02, 0x8F, 0x11, 0x22, 0x73, 0x44}},  // byte 4
        {1, 0, {0x02, 0x9F, 0x11, 0x22, 0x33, 0x44}},  // other kinds: byte 1, keeping bit 7
        {2, 4, {0x02, 0x8F, 0x11, 0x22, 0x13, 0x64}},  // kind 4: XOR index x 16 into bytes 4 and 5
    };
    for (const Case& c : cases) {
        UCHAR address[6];
        Ndis6CommonGetNewMacAddress(adapter.get(), nullptr, c.index, c.kind, address);
        EXPECT_EQ(std::memcmp(address, c.expected, 6), 0) << int(c.index) << "/" << int(c.kind);
    }
}

TEST(PortHelpers, SupportedPhyTypesByCapacity)
{
    auto adapter = NewZeroedAdapter();
    SUPPORTED_PHY_TYPES list = {3, 0, {5, 6, 7}};
    adapter->SupportedPhyTypes = &list;
    SUPPORTED_PHY_TYPES out = {};
    EXPECT_EQ(Ndis6CommonQuerySupportedPhyTypes(adapter.get(), 2, &out), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(out.NumberOfEntries, 2u);
    EXPECT_EQ(out.TotalNumberOfEntries, 3u);
    EXPECT_EQ(out.PhyTypes[1], 6u);
    EXPECT_EQ(out.PhyTypes[2], 0u);
    out = {};
    EXPECT_EQ(Ndis6CommonQuerySupportedPhyTypes(adapter.get(), 7, &out), STATUS_SUCCESS);
    EXPECT_EQ(out.NumberOfEntries, 3u);
    EXPECT_EQ(out.TotalNumberOfEntries, 3u);
    EXPECT_EQ(out.PhyTypes[2], 7u);
    adapter->SupportedPhyTypes = nullptr;
}

TEST(PortHelpers, StationCapabilityCounts)
{
    ULONG counts[7];
    std::memset(counts, 0xFF, sizeof(counts));
    N6SetStaCapabilityCounts(counts);
    const ULONG expected[7] = {4, 1, 32, 64, 4, 13, 0};
    EXPECT_EQ(std::memcmp(counts, expected, sizeof(expected)), 0);
}

TEST(PortHelpers, ProcessNumbersByBandwidthAndRegistryOverrides)
{
    auto adapter = NewZeroedAdapter();
    MP_PORT port = {};
    port.Adapter = adapter.get();
    struct Case {
        UCHAR bandwidth;
        ULONG quota;
        ULONG adapterCount;
        ULONG rxCount;
    } cases[] = {{BW_20, 128, 12, 16},  {BW_40, 128, 12, 64},  {BW_80, 255, 25, 128}, {BW_160, 255, 25, 256},
                 {BW_320, 1024, 25, 256}, {4, 128, 1, 1},       {5, 128, 1, 1},        {6, 128, 1, 1}};
    for (const Case& c : cases) {
        adapter->RegistryBlock.TpParameter1 = 0;
        port.Channel.Bandwidth = c.bandwidth;
        DecideMaxTxRxProcessNumber(&port);
        EXPECT_EQ(port.TxQuota, c.quota) << int(c.bandwidth);
        EXPECT_EQ(adapter->RegistryBlock.TpParameter1, c.adapterCount) << int(c.bandwidth);
        EXPECT_EQ(port.RxProcessCount, c.rxCount) << int(c.bandwidth);
    }
    // Once computed, the adapter count sticks when the port moves to a wider channel.
    adapter->RegistryBlock.TpParameter1 = 0;
    port.Channel.Bandwidth = BW_20;
    DecideMaxTxRxProcessNumber(&port);
    port.Channel.Bandwidth = BW_320;
    DecideMaxTxRxProcessNumber(&port);
    EXPECT_EQ(adapter->RegistryBlock.TpParameter1, 12u);
    // Nonzero registry values override the table; "TpParameter3" holds values above 255.
    adapter->RegistryBlock.TpParameter2 = 7;
    adapter->RegistryBlock.TpParameter3 = 300;
    port.Channel.Bandwidth = 5;
    DecideMaxTxRxProcessNumber(&port);
    EXPECT_EQ(port.TxQuota, 300u);
    EXPECT_EQ(port.RxProcessCount, 7u);
}

}  // namespace
