// What the driver told WiFiCx about peers, and the channel-switch notifications it completed.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kshim/netadapter.h"

namespace kshim::host {

struct PeerCall {
    NETADAPTER adapter;
    bool add;  // true: add peer; false: remove peer
    std::array<uint8_t, 6> address;
};

// Every add and remove, in call order.
std::vector<PeerCall> PeerCalls();
// Channel-switch notification completions of a net adapter.
unsigned ChannelSwitchCompletions(NETADAPTER adapter);
// Forgets both records.
void ResetPeerRecords();

}  // namespace kshim::host
