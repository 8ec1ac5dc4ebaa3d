// Framework objects: the deletion order of a tree with clean-up and destroy callbacks, typed
// contexts, spin locks, memory and string objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kshim/ex.h"
#include "wdf_fixture.h"

namespace {

using kshim_test::ViolationRecorder;

struct NODE_CONTEXT {
    char name[8];
    ULONG value;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(NODE_CONTEXT, GetNode)

struct OTHER_CONTEXT {
    ULONG64 words[4];
};
WDF_DECLARE_CONTEXT_TYPE(OTHER_CONTEXT)

std::vector<std::string>* g_events = nullptr;

VOID EvtNodeCleanup(WDFOBJECT o) { g_events->push_back(std::string("cleanup ") + GetNode(o)->name); }
VOID EvtNodeDestroy(WDFOBJECT o) { g_events->push_back(std::string("destroy ") + GetNode(o)->name); }

class ObjectTest : public kshim_test::FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        g_events = &events_;
    }
    // A memory object carrying a NODE_CONTEXT named `name`, under `parent`.
    WDFMEMORY Node(const char* name, WDFOBJECT parent)
    {
        WDF_OBJECT_ATTRIBUTES a;
        WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&a, NODE_CONTEXT);
        a.ParentObject = parent;
        a.EvtCleanupCallback = EvtNodeCleanup;
        a.EvtDestroyCallback = EvtNodeDestroy;
        WDFMEMORY m = nullptr;
        EXPECT_EQ(WdfMemoryCreatePreallocated(&a, buffer_, sizeof(buffer_), &m), STATUS_SUCCESS);
        std::strncpy(GetNode(m)->name, name, sizeof(GetNode(m)->name) - 1);
        return m;
    }
    std::vector<std::string> events_;
    UCHAR buffer_[16] = {};
};

TEST_F(ObjectTest, DeletionTakesChildrenFirstLatestFirstThenCleanupDestroyStorage)
{
    WDFMEMORY p = Node("p", root_);
    Node("c1", p);
    WDFMEMORY c2 = Node("c2", p);
    Node("g", c2);
    Node("c3", p);
    size_t before = kshim::host::FrameworkObjectCount();
    WdfObjectDelete(p);
    const std::vector<std::string> expected = {
        "cleanup c3", "destroy c3", "cleanup g", "destroy g",  "cleanup c2",
        "destroy c2", "cleanup c1", "destroy c1", "cleanup p", "destroy p",
    };
    EXPECT_EQ(events_, expected);
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), before - 5);
}

TEST_F(ObjectTest, ContextsAreZeroedPerObjectAndFoundByType)
{
    WDF_OBJECT_ATTRIBUTES a;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&a, OTHER_CONTEXT);
    a.ParentObject = root_;
    a.ContextSizeOverride = 4096;  // larger than the type: the context gets the larger size
    WDFSPINLOCK first = nullptr, second = nullptr;
    ASSERT_EQ(WdfSpinLockCreate(&a, &first), STATUS_SUCCESS);
    ASSERT_EQ(WdfSpinLockCreate(&a, &second), STATUS_SUCCESS);
    auto* c1 = WdfObjectGet_OTHER_CONTEXT(first);
    auto* c2 = WdfObjectGetTypedContext(second, OTHER_CONTEXT);
    ASSERT_NE(c1, nullptr);
    ASSERT_NE(c2, nullptr);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(c1, WdfObjectGetTypedContext(first, OTHER_CONTEXT));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c1) % 16, 0u);
    const auto* bytes = reinterpret_cast<const UCHAR*>(c1);
    for (size_t i = 0; i < 4096; ++i) {
        ASSERT_EQ(bytes[i], 0) << i;
    }
    c1->words[0] = 7;
    EXPECT_EQ(c2->words[0], 0u);
}

TEST_F(ObjectTest, AskingForAContextTypeTheObjectDoesNotCarryIsReported)
{
    ViolationRecorder recorder;
    WDFMEMORY node = Node("n", root_);
    EXPECT_EQ(WdfObjectGet_OTHER_CONTEXT(node), nullptr);
    EXPECT_EQ(GetNode(root_), nullptr);  // no context at all
    EXPECT_EQ(recorder.Count("context of the wrong type"), 2u) << recorder.All();
    EXPECT_EQ(recorder.Count("has no context of type OTHER_CONTEXT"), 1u);
}

TEST_F(ObjectTest, DeletingAnObjectWithCallbacksAboveDispatchOrPassiveIsReported)
{
    ViolationRecorder recorder;
    WDFMEMORY plain = nullptr;
    WDF_OBJECT_ATTRIBUTES a = UnderRoot();
    ASSERT_EQ(WdfMemoryCreatePreallocated(&a, buffer_, sizeof(buffer_), &plain), STATUS_SUCCESS);
    WDFMEMORY withCallbacks = Node("n", root_);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    WdfObjectDelete(plain);  // nothing to wait for or call back: fine at DISPATCH_LEVEL
    EXPECT_EQ(recorder.Total(), 0u) << recorder.All();
    WdfObjectDelete(withCallbacks);
    KeLowerIrql(old);
    EXPECT_EQ(recorder.Count("must run at PASSIVE_LEVEL"), 1u) << recorder.All();
}

TEST_F(ObjectTest, SpinLockRaisesToDispatchAndRestoresTheLevelItFound)
{
    WDF_OBJECT_ATTRIBUTES a = UnderRoot();
    WDFSPINLOCK outer = nullptr, inner = nullptr;
    ASSERT_EQ(WdfSpinLockCreate(&a, &outer), STATUS_SUCCESS);
    ASSERT_EQ(WdfSpinLockCreate(&a, &inner), STATUS_SUCCESS);
    WdfSpinLockAcquire(outer);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    WdfSpinLockAcquire(inner);
    WdfSpinLockRelease(inner);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    WdfSpinLockRelease(outer);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST_F(ObjectTest, MemoryObjectsOwnPoolBlocksAndWrapCallerBuffers)
{
    const ULONG tag = KSHIM_TAG('T', 's', 'M', 'm');
    WDF_OBJECT_ATTRIBUTES a = UnderRoot();
    WDFMEMORY owned = nullptr;
    PVOID buffer = nullptr;
    ASSERT_EQ(WdfMemoryCreate(&a, NonPagedPoolNx, tag, 100, &owned, &buffer), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("TsMm"), 1u);
    size_t size = 0;
    EXPECT_EQ(WdfMemoryGetBuffer(owned, &size), buffer);
    EXPECT_EQ(size, 100u);
    for (size_t i = 0; i < size; ++i) {
        ASSERT_EQ(static_cast<UCHAR*>(buffer)[i], 0);
    }
    WdfObjectDelete(owned);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("TsMm"), 0u);

    WDFMEMORY wrapped = nullptr;
    ASSERT_EQ(WdfMemoryCreatePreallocated(&a, buffer_, sizeof(buffer_), &wrapped), STATUS_SUCCESS);
    EXPECT_EQ(WdfMemoryGetBuffer(wrapped, &size), buffer_);
    EXPECT_EQ(size, sizeof(buffer_));
    WdfObjectDelete(wrapped);

    // The pool's refusal reaches the caller; so do the size checks.
    kshim::host::FaultArm("pool", "TsMm", 1);
    EXPECT_EQ(WdfMemoryCreate(&a, NonPagedPoolNx, tag, 100, &owned, &buffer), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(WdfMemoryCreate(&a, NonPagedPoolNx, tag, 0, &owned, &buffer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WdfMemoryCreatePreallocated(&a, nullptr, 4, &wrapped), STATUS_INVALID_PARAMETER);
}

TEST_F(ObjectTest, StringObjectKeepsItsOwnCopy)
{
    WCHAR text[] = u"ZVCx";
    UNICODE_STRING in = {8, 10, text};
    WDF_OBJECT_ATTRIBUTES a = UnderRoot();
    WDFSTRING string = nullptr;
    ASSERT_EQ(WdfStringCreate(&in, &a, &string), STATUS_SUCCESS);
    text[0] = u'X';
    UNICODE_STRING out{};
    WdfStringGetUnicodeString(string, &out);
    EXPECT_EQ(std::u16string(out.Buffer, out.Length / 2), u"ZVCx");

    UNICODE_STRING lying = {12, 10, text};  // longer than its buffer
    EXPECT_EQ(WdfStringCreate(&lying, &a, &string), STATUS_INVALID_PARAMETER);
}

TEST_F(ObjectTest, AttributesOfTheWrongSizeAreRefused)
{
    WDF_OBJECT_ATTRIBUTES a = UnderRoot();
    a.Size = sizeof(a) - 8;
    WDFSPINLOCK lock = nullptr;
    EXPECT_EQ(WdfSpinLockCreate(&a, &lock), STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(lock, nullptr);
}

}  // namespace
