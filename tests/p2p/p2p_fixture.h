// An adapter with its Wi-Fi Direct control block, and helpers for ports and addresses.
#pragma once

#include <array>
#include <cstring>

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "shell/shell_fixture.h"

namespace p2ptest {

using Address = std::array<UCHAR, 6>;

inline Address Addr(UCHAR last, UCHAR first = 0x02) { return Address{first, 0x11, 0x22, 0x33, 0x44, last}; }

class P2pTest : public shelltest::ShellTest {
protected:
    PP2P_CTRL_BLOCK Block() { return adapter_->P2pBlock; }
    PMP_ADAPTER A() { return adapter_.get(); }

    // A port of the given type; a Wi-Fi Direct device port is also recorded in the control block.
    MP_PORT* Port(ULONG number, ULONG type)
    {
        MP_PORT* port = AddPort(number, type);
        port->PortType = type;
        if (type == WFD_DEVICE) {
            Block()->DevicePort = port;
        }
        if (number == 0) {
            Block()->StationPort = port;
        }
        return port;
    }

    // The channel plan of the adapter.
    void SetPlan(std::initializer_list<std::pair<UCHAR, ULONG>> channels)
    {
        adapter_->Country.ChannelListCount = 0;
        for (const auto& [channel, band] : channels) {
            adapter_->Country.ChannelList[adapter_->Country.ChannelListCount].Channel = channel;
            adapter_->Country.ChannelList[adapter_->Country.ChannelListCount].Band = band;
            ++adapter_->Country.ChannelListCount;
        }
    }
    void SetPlanOfCount(ULONG count)
    {
        adapter_->Country.ChannelListCount = static_cast<UCHAR>(count);
        for (ULONG i = 0; i < count; ++i) {
            adapter_->Country.ChannelList[i].Channel = static_cast<UCHAR>(i < 13 ? i + 1 : 36 + 4 * (i - 13));
            adapter_->Country.ChannelList[i].Band = i < 13 ? BAND_24G : BAND_5G;
        }
    }
};

}  // namespace p2ptest
