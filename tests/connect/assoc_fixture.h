// A bare adapter with a framework device (the parent of the port's timers), the MLME core and a station
// port 0 whose machines are built; the clock is manual. Messages the machines post are taken from the
// MLME queue by the test: confirms to the connect machine are collected, messages of machines 1 to 3
// run through their tables.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/host/control.h"
#include "kshim/host/eventlog.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "shell/shell_fixture.h"
#include "support/eventually.h"

namespace assoctest {

using Bytes = std::vector<UCHAR>;

inline const UCHAR kAp[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
inline const UCHAR kOtherAp[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x02};

// A management frame from `from` to the station: subtype, then the body.
inline Bytes Frame(UCHAR subtype, const Bytes& body, const UCHAR* from = kAp)
{
    Bytes f(24, 0);
    f[0] = static_cast<UCHAR>(subtype << 4);
    const UCHAR own[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
    std::memcpy(&f[4], own, 6);
    std::memcpy(&f[10], from, 6);
    std::memcpy(&f[16], from, 6);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}
inline Bytes Le16(unsigned v) { return {static_cast<UCHAR>(v & 0xFF), static_cast<UCHAR>(v >> 8)}; }
inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

struct Confirm {
    ULONG msg;
    USHORT status;
    bool operator==(const Confirm& o) const { return msg == o.msg && status == o.status; }
};
inline std::ostream& operator<<(std::ostream& os, const Confirm& c) { return os << "{" << c.msg << ", " << c.status << "}"; }

class AssocTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        kshim::host::ClockSetManual();
        kshim::host::ErrorLogClear();
        MP_ADAPTER* a = adapter_.get();
        a->Fdo = WdfDeviceWdmGetDeviceObject(a->Device);
        a->EnableSystemEventLog = 1;
        a->HifContext->Adapter = a;
        port_ = AddPort(0, EXTSTA);
        const UCHAR own[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
        std::memcpy(port_->MacAddress, own, 6);
        ASSERT_EQ(MlmeSyncInitMacTabPool(a), STATUS_SUCCESS);
        ASSERT_EQ(MlmeInit(a), STATUS_SUCCESS);
        ASSERT_EQ(MlmePortInit(a, port_), STATUS_SUCCESS);
    }

    void TearDown() override
    {
        MP_ADAPTER* a = adapter_.get();
        MLME_PORT_BLOCK& m = port_->Mlme;
        for (PLATFORM_TIMER* t : {&m.AuthTimeoutTimer, &m.AssocTimeoutTimer, &m.DisassocTimeoutTimer,
                                  &m.Conn.DisassocIndTimer, &m.Conn.ConnectionStartTimer,
                                  &m.Conn.ConnectionCompleteTimer, &m.SaeTimeoutTimer, &m.Pmf.RequestTimer,
                                  &m.Pmf.ConfirmTimer}) {
            PlatformFreeTimer(t);
        }
        EXPECT_TRUE(qzl_test::Settle());
        kshim::host::ClockSetAuto();  // the halt's 500 ms wait costs no host time
        MlmeHalt(a, port_);
        ShellTest::TearDown();
    }

    MP_ADAPTER* A() { return adapter_.get(); }

    // Runs one message through the machine's table as the MLME handler would.
    void Run(ULONG machine, ULONG msg, const Bytes& body = {})
    {
        auto elem = std::make_unique<MLME_QUEUE_ELEM>();
        elem->Machine = machine;
        elem->MsgType = msg;
        elem->PortIndex = port_->PortNumber;
        elem->MsgLen = static_cast<ULONG>(body.size());
        std::memcpy(elem->Msg, body.data(), body.size());
        Dispatch(elem.get());
        Pump();
    }

    void Dispatch(PMLME_QUEUE_ELEM elem)
    {
        MLME_PORT_BLOCK& m = port_->Mlme;
        PSTATE_MACHINE machine = nullptr;
        switch (elem->Machine) {
        case MLME_ASSOC_STATE_MACHINE:
            machine = &m.AssocMachine;
            break;
        case MLME_AUTH_STATE_MACHINE:
            machine = &m.AuthMachine;
            break;
        case MLME_AUTH_RSP_STATE_MACHINE:
            machine = &m.AuthRspMachine;
            break;
        case MLME_PMF_STATE_MACHINE:
            machine = &m.PmfMachine;
            break;
        case MLME_SAE_STATE_MACHINE:
            machine = &m.SaeMachine;
            break;
        case MLME_CNTL_STATE_MACHINE: {
            USHORT status = 0xFFFF;
            if (elem->MsgLen >= 2) {
                std::memcpy(&status, elem->Msg, 2);
            }
            confirms_.push_back({elem->MsgType, status});
            return;
        }
        default:
            others_.push_back(elem->Machine);
            return;
        }
        ASSERT_LT(elem->MsgType, machine->NrMsg);
        machine->TransFunc[machine->CurrState * machine->NrMsg + elem->MsgType](A(), elem);
    }

    // Takes every queued message (confirms are collected).
    void Pump()
    {
        PMLME_QUEUE_ELEM elem = nullptr;
        while (MlmeDequeue(&A()->Mlme.Queue, &elem)) {
            Dispatch(elem);
            MlmeQueueReleaseElem(&A()->Mlme.Queue, elem);
        }
    }

    // Moves the manual clock; the timer callbacks that come due run and their messages are taken.
    void AdvanceMs(int64_t ms)
    {
        kshim::host::ClockAdvanceMs(ms);
        EXPECT_TRUE(qzl_test::Settle());
        Pump();
    }

    std::vector<Confirm> TakeConfirms() { return std::exchange(confirms_, {}); }

    // The message ids of the system event log, in write order.
    static std::vector<uint32_t> LogIds()
    {
        std::vector<uint32_t> ids;
        for (const auto& e : kshim::host::ErrorLogSnapshot()) {
            ids.push_back(e.errorCode);
        }
        return ids;
    }

    MP_PORT* port_ = nullptr;
    std::vector<Confirm> confirms_;
    std::vector<ULONG> others_;
};

}  // namespace assoctest
