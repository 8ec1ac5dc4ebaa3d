// MDLs and the net buffer list and net buffer pools.
#include <gtest/gtest.h>

#include "kshim/ex.h"
#include "kshim/host/control.h"
#include "kshim/ndis.h"
#include "recorder.h"

namespace {

namespace host = kshim::host;
using kshim::test::ViolationRecorder;

constexpr ULONG kTag = KSHIM_TAG('Z', 'V', '0', 'R');

NDIS_HANDLE ListPool(bool withNetBuffers, USHORT contextSize)
{
    NET_BUFFER_LIST_POOL_PARAMETERS p{};
    p.Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    p.Header.Revision = NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1;
    p.Header.Size = NDIS_SIZEOF_NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1;
    p.ProtocolId = NDIS_PROTOCOL_ID_DEFAULT;
    p.fAllocateNetBuffer = withNetBuffers ? TRUE : FALSE;
    p.ContextSize = contextSize;
    p.PoolTag = kTag;
    return NdisAllocateNetBufferListPool(nullptr, &p);
}

NDIS_HANDLE BufferPool()
{
    NET_BUFFER_POOL_PARAMETERS p{};
    p.Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    p.Header.Revision = NET_BUFFER_POOL_PARAMETERS_REVISION_1;
    p.Header.Size = NDIS_SIZEOF_NET_BUFFER_POOL_PARAMETERS_REVISION_1;
    p.PoolTag = kTag;
    return NdisAllocateNetBufferPool(nullptr, &p);
}

TEST(Mdl, DescribesTheBufferAndMapsToItsAddress)
{
    alignas(4096) static UCHAR buffer[8192];
    MDL mdl;
    MmInitializeMdl(&mdl, buffer + 100, 2346);
    EXPECT_EQ(mdl.StartVa, static_cast<PVOID>(buffer));
    EXPECT_EQ(MmGetMdlByteOffset(&mdl), 100u);
    EXPECT_EQ(MmGetMdlByteCount(&mdl), 2346u);
    MmBuildMdlForNonPagedPool(&mdl);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(&mdl, NormalPagePriority), buffer + 100);

    PMDL allocated = IoAllocateMdl(buffer + 5000, 64, FALSE, FALSE, nullptr);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(allocated, NormalPagePriority), buffer + 5000);
    IoFreeMdl(allocated);
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag("Mdl "), 0u);
}

TEST(NetBufferLists, ListWithOneNetBufferOverAnMdlAndNoContext)
{
    static UCHAR frame[2346];
    PMDL mdl = NdisAllocateMdl(nullptr, frame, sizeof(frame));
    ASSERT_NE(mdl, nullptr);
    NDIS_HANDLE pool = ListPool(true, 0);
    ASSERT_NE(pool, nullptr);
    PNET_BUFFER_LIST nbl = NdisAllocateNetBufferAndNetBufferList(pool, 0, 0, mdl, 0, sizeof(frame));
    ASSERT_NE(nbl, nullptr);
    PNET_BUFFER nb = NET_BUFFER_LIST_FIRST_NB(nbl);
    ASSERT_NE(nb, nullptr);
    EXPECT_EQ(NET_BUFFER_FIRST_MDL(nb), mdl);
    EXPECT_EQ(NET_BUFFER_DATA_LENGTH(nb), 2346u);
    EXPECT_EQ(NET_BUFFER_NEXT_NB(nb), nullptr);
    EXPECT_EQ(NET_BUFFER_LIST_NEXT_NBL(nbl), nullptr);
    EXPECT_EQ(NET_BUFFER_LIST_CONTEXT(nbl), nullptr) << "a pool without context gives a zero context word";
    NET_BUFFER_LIST_MINIPORT_RESERVED(nbl)[0] = frame;  // back-pointer to the owner's record
    NET_BUFFER_LIST_USER_PRIORITY(nbl) = 5;
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag("ZV0R"), 2u) << "the pool and one list";

    host::FaultArm("pool", "ZV0R", 1);
    EXPECT_EQ(NdisAllocateNetBufferAndNetBufferList(pool, 0, 0, mdl, 0, sizeof(frame)), nullptr);
    host::FaultClearAll();

    NdisFreeNetBufferList(nbl);
    NdisFreeNetBufferListPool(pool);
    NdisFreeMdl(mdl);
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag("ZV0R"), 0u);
}

TEST(NetBufferLists, ContextAndNetBuffersSpanningAnMdlChain)
{
    static UCHAR a[100], b[200];
    PMDL first = NdisAllocateMdl(nullptr, a, sizeof(a));
    PMDL second = NdisAllocateMdl(nullptr, b, sizeof(b));
    first->Next = second;
    NDIS_HANDLE lists = ListPool(false, 0);
    NDIS_HANDLE buffers = BufferPool();
    ASSERT_NE(lists, nullptr);
    ASSERT_NE(buffers, nullptr);
    PNET_BUFFER_LIST nbl = NdisAllocateNetBufferList(lists, 16, 8);
    ASSERT_NE(nbl, nullptr);
    ASSERT_NE(NET_BUFFER_LIST_CONTEXT(nbl), nullptr);
    EXPECT_EQ(NET_BUFFER_LIST_CONTEXT_DATA_SIZE(nbl), 16u);
    PNET_BUFFER nb = NdisAllocateNetBuffer(buffers, first, 120, 150);
    ASSERT_NE(nb, nullptr);
    EXPECT_EQ(NET_BUFFER_CURRENT_MDL(nb), second) << "offset 120 lies in the second MDL";
    EXPECT_EQ(NET_BUFFER_CURRENT_MDL_OFFSET(nb), 20u);
    NET_BUFFER_LIST_FIRST_NB(nbl) = nb;

    NET_BUFFER_LIST_FIRST_NB(nbl) = nullptr;
    NdisFreeNetBuffer(nb);
    NdisFreeNetBufferList(nbl);
    NdisFreeNetBufferPool(buffers);
    NdisFreeNetBufferListPool(lists);
    NdisFreeMdl(second);
    NdisFreeMdl(first);
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag("ZV0R"), 0u);
}

TEST(NetBufferLists, MisuseOfPoolsIsReported)
{
    ViolationRecorder recorder;
    NDIS_HANDLE lists = ListPool(false, 0);
    PNET_BUFFER_LIST nbl = NdisAllocateNetBufferList(lists, 0, 0);
    EXPECT_EQ(NdisAllocateNetBufferAndNetBufferList(lists, 0, 0, nullptr, 0, 0), nullptr)
        << "the pool was made without net buffers";
    NdisFreeNetBufferListPool(lists);  // one list still out
    auto seen = recorder.Take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].what, "net buffer and list asked of a pool created without net buffers");
    EXPECT_EQ(seen[1].what, "NDIS packet pool freed while records are still out");
    NdisFreeNetBufferList(nbl);
    NdisFreeNetBufferListPool(lists);  // now empty
    EXPECT_TRUE(recorder.Take().empty());
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag("ZV0R"), 0u);

    NET_BUFFER_LIST_POOL_PARAMETERS bad{};
    bad.PoolTag = kTag;
    EXPECT_EQ(NdisAllocateNetBufferListPool(nullptr, &bad), nullptr) << "header not filled in";
}

}  // namespace
