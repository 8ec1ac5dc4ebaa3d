// WiFiCx peers and channel-switch notification completions, recorded for the harness.
#include "kshim/wificx_peer.h"

#include <map>
#include <mutex>

#include "kshim/host/wificx_peer.h"
#include "wdf_internal.h"

namespace {

std::mutex g_lock;
std::vector<kshim::host::PeerCall> g_peerCalls;
std::map<NETADAPTER, unsigned> g_switchCompletions;

NTSTATUS RecordPeer(const char* call, NETADAPTER adapter, const UCHAR* address, bool add)
{
    kshim::wdf::RequirePassive(call);
    if (adapter == nullptr || address == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    kshim::host::PeerCall record{adapter, add, {}};
    for (size_t i = 0; i < record.address.size(); ++i) {
        record.address[i] = address[i];
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_peerCalls.push_back(record);
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS WifiAdapterAddPeer(NETADAPTER Adapter, const UCHAR* PeerAddress)
{
    return RecordPeer("WifiAdapterAddPeer", Adapter, PeerAddress, true);
}

NTSTATUS WifiAdapterRemovePeer(NETADAPTER Adapter, const UCHAR* PeerAddress)
{
    return RecordPeer("WifiAdapterRemovePeer", Adapter, PeerAddress, false);
}

VOID NetAdapterCompleteChannelSwitchNotification(NETADAPTER Adapter)
{
    if (Adapter == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_switchCompletions[Adapter];
}

namespace kshim::host {

std::vector<PeerCall> PeerCalls()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_peerCalls;
}

unsigned ChannelSwitchCompletions(NETADAPTER adapter)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_switchCompletions.find(adapter);
    return it == g_switchCompletions.end() ? 0 : it->second;
}

void ResetPeerRecords()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_peerCalls.clear();
    g_switchCompletions.clear();
}

}  // namespace kshim::host
