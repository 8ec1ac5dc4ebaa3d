// Checked lists stop on a corrupted link; interlocked lists and compare-exchange gates.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "kshim/ex.h"
#include "kshim/host/control.h"
#include "recorder.h"

namespace {

struct FastFail {
    ULONG code;
};

[[noreturn]] void ThrowingHook(ULONG code) { throw FastFail{code}; }

class CheckedLists : public ::testing::Test {
public:
    void SetUp() override
    {
        kshim::host::SetFastFailHook(ThrowingHook);
        InitializeListHead(&head);
        for (LIST_ENTRY& e : entries) {
            InsertTailList(&head, &e);
        }
    }
    void TearDown() override { kshim::host::SetFastFailHook(nullptr); }

    LIST_ENTRY head;
    LIST_ENTRY entries[3];
    LIST_ENTRY stray;  // what a corrupted link points at
};

// Each list operation with the neighbour link it must find pointing back broken.
struct Corruption {
    const char* operation;
    std::function<void(CheckedLists&)> corrupt;
    std::function<void(CheckedLists&)> run;
};

TEST_F(CheckedLists, EveryOperationFastFailsOnABrokenNeighbourLink)
{
    const Corruption cases[] = {
        {"RemoveEntryList", [](CheckedLists& t) { t.entries[2].Blink = &t.stray; },
         [](CheckedLists& t) { RemoveEntryList(&t.entries[1]); }},
        {"RemoveHeadList", [](CheckedLists& t) { t.entries[1].Blink = &t.stray; },
         [](CheckedLists& t) { RemoveHeadList(&t.head); }},
        {"RemoveTailList", [](CheckedLists& t) { t.entries[1].Flink = &t.stray; },
         [](CheckedLists& t) { RemoveTailList(&t.head); }},
        {"InsertTailList", [](CheckedLists& t) { t.entries[2].Flink = &t.stray; },
         [](CheckedLists& t) { InsertTailList(&t.head, &t.stray); }},
        {"InsertHeadList", [](CheckedLists& t) { t.entries[0].Blink = &t.stray; },
         [](CheckedLists& t) { InsertHeadList(&t.head, &t.stray); }},
    };
    for (const Corruption& c : cases) {
        SCOPED_TRACE(c.operation);
        SetUp();
        c.corrupt(*this);
        try {
            c.run(*this);
            ADD_FAILURE() << "no fast fail";
        } catch (const FastFail& f) {
            EXPECT_EQ(f.code, static_cast<ULONG>(FAST_FAIL_CORRUPT_LIST_ENTRY));
        }
    }
}

TEST(InterlockedLists, FifoAtDispatchLevelAndEmptyGivesNull)
{
    LIST_ENTRY head, a, b;
    KSPIN_LOCK lock;
    InitializeListHead(&head);
    KeInitializeSpinLock(&lock);
    KIRQL old = KeRaiseIrqlToDpcLevel();
    EXPECT_EQ(ExInterlockedRemoveHeadList(&head, &lock), nullptr);
    EXPECT_EQ(ExInterlockedInsertTailList(&head, &a, &lock), nullptr) << "the list was empty";
    EXPECT_EQ(ExInterlockedInsertTailList(&head, &b, &lock), &a);
    EXPECT_EQ(ExInterlockedRemoveHeadList(&head, &lock), &a);
    EXPECT_EQ(ExInterlockedRemoveHeadList(&head, &lock), &b);
    EXPECT_EQ(ExInterlockedRemoveHeadList(&head, &lock), nullptr);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeLowerIrql(old);
}

TEST(Interlocked, ConcurrentCompareExchangeHasExactlyOneWinnerPerRound)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 300;
    volatile LONG gate = 0;
    std::atomic<int> round{-1};  // threads start round r once it is published
    std::atomic<int> arrived{0};
    std::vector<std::atomic<int>> winners(kRounds);
    std::vector<std::atomic<int>> notified(kRounds);
    volatile LONG pending[kRounds];
    for (int r = 0; r < kRounds; ++r) {
        pending[r] = 1;
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; ++r) {
                while (round.load() < r) {
                    std::this_thread::yield();
                }
                if (InterlockedCompareExchange(&gate, 1, 0) == 0) {
                    winners[r].fetch_add(1);  // busy word taken 0 -> 1
                }
                if (InterlockedExchange(&pending[r], 0) == 1) {
                    notified[r].fetch_add(1);  // one-shot notification 1 -> 0
                }
                arrived.fetch_add(1);
            }
        });
    }
    for (int r = 0; r < kRounds; ++r) {
        gate = 0;
        round.store(r);
        while (arrived.load() < (r + 1) * kThreads) {
            std::this_thread::yield();
        }
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (int r = 0; r < kRounds; ++r) {
        ASSERT_EQ(winners[r].load(), 1) << "round " << r;
        ASSERT_EQ(notified[r].load(), 1) << "round " << r;
    }
}

}  // namespace
