// A bare adapter with port 0 and its machines for the connect-control machine: the test feeds the
// machine confirms and reads what it posted to the other machines from the MLME queue.
#pragma once

#include <cstring>
#include <vector>

#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "mlme/mlme_fixture.h"

namespace cntltest {

inline const UCHAR kApA[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x0A};
inline const UCHAR kApB[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x0B};
inline const UCHAR kApC[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x0C};

// What one queued element carried.
struct Posted {
    ULONG machine;
    ULONG message;
    std::vector<UCHAR> body;
};

class CntlTest : public mlmetest::MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        StartMlme();
        port_ = adapter_->PortList[0];
        adapter_->WorkingCfg.NetworkType = 1;
        adapter_->Mlme.ListenInterval = 10;
        SetDesiredSsid("home");
        port_->ConnectConfig.AnyBssid = 1;  // the OS names no BSSID list: every access point of the SSID
        RepositTableGet(adapter_)->RepositCount = 0;
    }

    void SetDesiredSsid(const char* ssid)
    {
        const size_t n = std::strlen(ssid);
        std::memcpy(port_->ConnectConfig.DesiredSsid, ssid, n);
        port_->ConnectConfig.DesiredSsidLength = static_cast<UCHAR>(n);
    }

    // A candidate of the connect attempt's list.
    BSS_ENTRY& AddCandidate(const UCHAR* bssid, USHORT score = 50, LONG band = 2, UCHAR channel = 36,
                            const char* ssid = "home")
    {
        BSS_TABLE& t = adapter_->Mlme.ConnectCandidates;
        BSS_ENTRY& e = t.BssEntry[t.EntryCount++];
        std::memset(&e, 0, sizeof(e));
        std::memcpy(e.Bssid, bssid, 6);
        e.Score = score;
        e.Band = band;
        e.Channel = channel;
        e.SsidLen = static_cast<UCHAR>(std::strlen(ssid));
        std::memcpy(e.Ssid, ssid, e.SsidLen);
        e.CapabilityInfo = 0x0431;
        // The connect request sorts its candidates afresh from the roaming-candidate table: the entry
        // is an open access point of the SSID there, all of one signal so the order stays as added.
        e.BssType = 1;
        e.AuthMode = 1;
        e.Rssi = -50;
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        e.LastUpdateTime = static_cast<ULONG64>(now.QuadPart);
        PREPOSIT_TABLE reposit = RepositTableGet(adapter_);
        reposit->RepositEntries[reposit->RepositCount++] = e;
        return e;
    }

    // Forgets every candidate added so far.
    void ClearCandidates()
    {
        adapter_->Mlme.ConnectCandidates.EntryCount = 0;
        RepositTableGet(adapter_)->RepositCount = 0;
    }

    // Runs one element through the machine as the MLME handler would.
    void Deliver(ULONG message, std::vector<UCHAR> body = {})
    {
        MLME_QUEUE_ELEM elem{};
        elem.Machine = MLME_CNTL_STATE_MACHINE;
        elem.MsgType = message;
        elem.MsgLen = static_cast<ULONG>(body.size());
        elem.PortIndex = port_->PortNumber;
        if (!body.empty()) {
            std::memcpy(elem.Msg, body.data(), body.size());
        }
        MlmeCntlMachinePerformAction(adapter_, &port_->Mlme.CntlMachine, &elem);
    }
    void Confirm(ULONG message, USHORT status) { Deliver(message, {static_cast<UCHAR>(status), static_cast<UCHAR>(status >> 8)}); }

    // Takes every queued element off the queue, oldest first.
    std::vector<Posted> TakePosted()
    {
        std::vector<Posted> out;
        PMLME_QUEUE_ELEM elem = nullptr;
        while (MlmeDequeue(&adapter_->Mlme.Queue, &elem)) {
            out.push_back({elem->Machine, elem->MsgType, std::vector<UCHAR>(elem->Msg, elem->Msg + elem->MsgLen)});
            MlmeQueueReleaseElem(&adapter_->Mlme.Queue, elem);
        }
        return out;
    }

    ULONG State() const { return port_->Mlme.CntlMachine.CurrState; }
    void SetState(ULONG s) { port_->Mlme.CntlMachine.CurrState = s; }

    static ULONG U32(const std::vector<UCHAR>& b, size_t at)
    {
        ULONG v = 0;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }

    MP_PORT* port_ = nullptr;
};

}  // namespace cntltest
