// The channel-grant waits of multi-channel concurrency, on the manual clock: what the firmware's
// absence and presence reports end, and what the 500 ms limit ends.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "Common/p2p/p2pms.h"
#include "kshim/host/control.h"
#include "kshim/host/wait.h"
#include "platform/ndiscommon/adapter.h"
#include "support/eventually.h"

namespace p2ptest {
namespace {

constexpr NTSTATUS kTimeout = 258;

class GrantTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::ClockSetManual();
        adapter_ = std::make_unique<MP_ADAPTER>();
        port_ = std::make_unique<MP_PORT>();
        port_->Adapter = adapter_.get();
        MultiChannelInitGrant(port_.get());
    }
    void TearDown() override
    {
        if (waiter_.joinable()) {
            waiter_.join();
        }
        kshim::host::ResetDefaults();
    }

    // The absence and presence event's part: the report stored, the waiter's event set.
    void Report(UCHAR absent)
    {
        port_->Grant.BssAbsent = absent;
        KeSetEvent(absent ? &port_->Grant.AbsentEvent : &port_->Grant.PresentEvent, 0, FALSE);
    }

    void StartWait(bool multiChannel)
    {
        done_ = false;
        waiter_ = std::thread([this, multiChannel] {
            if (multiChannel) {
                status_ = MultiChannelWaitForChannelGrant(adapter_.get(), port_.get());
            } else {
                WaitForChannelGrant(adapter_.get(), port_.get());
            }
            done_ = true;
        });
    }

    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
    std::thread waiter_;
    std::atomic<bool> done_{false};
    std::atomic<NTSTATUS> status_{-1};
};

TEST_F(GrantTest, NothingToWaitForReturnsAtOnce)
{
    EXPECT_EQ(MultiChannelWaitForChannelGrant(adapter_.get(), port_.get()), STATUS_SUCCESS) << "present port";
    port_->Grant.BssAbsent = 1;
    const int64_t before = kshim::host::ClockNow();
    WaitForChannelGrant(adapter_.get(), port_.get());  // absent port
    EXPECT_EQ(kshim::host::ClockNow(), before);
    EXPECT_EQ(MultiChannelWaitForChannelGrant(nullptr, port_.get()), static_cast<NTSTATUS>(0xC0000001));
    EXPECT_EQ(MultiChannelWaitForChannelGrant(adapter_.get(), nullptr), static_cast<NTSTATUS>(0xC0000001));
}

TEST_F(GrantTest, AbsentPortWaitsForPresenceAtMost500Ms)
{
    struct Row {
        bool reported;
        NTSTATUS status;
    } rows[] = {{false, kTimeout}, {true, STATUS_SUCCESS}};
    for (const Row& r : rows) {
        port_->Grant.BssAbsent = 1;
        StartWait(true);
        ASSERT_TRUE(kshim::host::WaitBlockedAt("KeWaitForSingleObject"));
        EXPECT_EQ(port_->Grant.PresentWaiter, 1);
        kshim::host::ClockAdvanceMs(499);
        ASSERT_TRUE(qzl_test::Settle());
        EXPECT_FALSE(done_.load());
        if (r.reported) {
            Report(0);
        } else {
            kshim::host::ClockAdvanceMs(1);
        }
        ASSERT_TRUE(qzl_test::Eventually([&] { return done_.load(); }));
        waiter_.join();
        EXPECT_EQ(status_.load(), r.status);
        EXPECT_EQ(port_->Grant.PresentWaiter, 0);
    }
}

TEST_F(GrantTest, ScanAbortWaitsForAbsenceThen40Ms)
{
    // Reported absent: 40 ms more before the abort goes on.
    StartWait(false);
    ASSERT_TRUE(kshim::host::WaitBlockedAt("KeWaitForSingleObject"));
    EXPECT_EQ(port_->Grant.AbsentWaiter, 1);
    kshim::host::ClockAdvanceMs(100);
    Report(1);
    ASSERT_TRUE(kshim::host::WaitBlockedAt("sleep"));
    kshim::host::ClockAdvanceMs(39);
    ASSERT_TRUE(qzl_test::Settle());
    EXPECT_FALSE(done_.load());
    kshim::host::ClockAdvanceMs(1);
    ASSERT_TRUE(qzl_test::Eventually([&] { return done_.load(); }));
    waiter_.join();

    // Never reported: 500 ms and no more.
    port_->Grant.BssAbsent = 0;
    StartWait(false);
    ASSERT_TRUE(kshim::host::WaitBlockedAt("KeWaitForSingleObject"));
    const int64_t start = kshim::host::ClockNow();
    kshim::host::ClockAdvanceMs(500);
    ASSERT_TRUE(qzl_test::Eventually([&] { return done_.load(); }));
    waiter_.join();
    EXPECT_EQ(kshim::host::ClockNow() - start, 500 * 10000);
    EXPECT_EQ(port_->Grant.AbsentWaiter, 0);
}

}  // namespace
}  // namespace p2ptest
