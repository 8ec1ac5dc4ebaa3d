// A bare adapter with one station port for the BSS table, the security summary, the channel lists
// and the beacon parser: no device, no threads.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace bsstest {

using Bytes = std::vector<UCHAR>;

inline Bytes Ie(UCHAR id, std::initializer_list<UCHAR> body)
{
    Bytes b{id, static_cast<UCHAR>(body.size())};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes IeOf(UCHAR id, const Bytes& body)
{
    Bytes b{id, static_cast<UCHAR>(body.size())};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes SsidIe(const char* s)
{
    Bytes b{0, static_cast<UCHAR>(std::strlen(s))};
    b.insert(b.end(), s, s + std::strlen(s));
    return b;
}

class BssTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        kshim::host::TraceClear();
        adapter_ = new MP_ADAPTER();
        port_ = new MP_PORT();
        port_->Adapter = adapter_;
        port_->PortType = EXTSTA;
        port_->Active = 1;
        port_->WirelessMode = PHY_11ABGN_MIXED;
        port_->Cfg.VhtEnabled = 1;
        port_->HeEnabled = 1;
        adapter_->PortList[0] = port_;
        MlmeBssTableInit(adapter_);
    }

    void TearDown() override
    {
        delete port_;
        delete adapter_;
        kshim::host::ResetDefaults();
    }

    void SetChannels(std::initializer_list<std::pair<UCHAR, ULONG>> channels)
    {
        adapter_->Country.ChannelListCount = 0;
        for (const auto& [ch, band] : channels) {
            DOMAIN_CHANNEL_ENTRY& e = adapter_->Country.ChannelList[adapter_->Country.ChannelListCount++];
            e.Channel = ch;
            e.Band = band;
        }
    }

    MP_ADAPTER* adapter_ = nullptr;
    MP_PORT* port_ = nullptr;
};

}  // namespace bsstest
