// What a driver declares of each net adapter: data-path callbacks and capabilities, link state and
// link layer, receive filter, magic-packet wake and the start; and the harness's view of them.
#include <algorithm>
#include <cstring>
#include <string>

#include "internal.h"
#include "kshim/host/net_queue.h"
#include "kshim/host/netadapter.h"
#include "kshim/netadapter_caps.h"
#include "wdf_internal.h"

namespace kshim::wdf {
namespace {

// The receive-filter object the harness hands to the filter callback.
struct FilterObject : NETRECEIVEFILTER__ {
    ULONG packetFilter = 0;
    std::vector<NET_ADAPTER_LINK_LAYER_ADDRESS> multicast;
};

template <class Fn>
void Declare(NETADAPTER handle, const char* call, Fn fn)
{
    auto* adapter = Lookup<FxNetAdapter>(handle, call);
    if (adapter == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(adapter->declared);
    fn(*adapter);
}

}  // namespace
}  // namespace kshim::wdf

using namespace kshim::wdf;

VOID NetAdapterInitSetDatapathCallbacks(NETADAPTER_INIT* AdapterInit, NET_ADAPTER_DATAPATH_CALLBACKS* Callbacks)
{
    RequirePassive("NetAdapterInitSetDatapathCallbacks");
    if (AdapterInit == nullptr || Callbacks == nullptr) {
        return;
    }
    if (AdapterInit->consumed) {
        KshimViolation("NetAdapterInitSetDatapathCallbacks after NetAdapterCreate", nullptr);
        return;
    }
    AdapterInit->hasDatapath = true;
    AdapterInit->datapath = *Callbacks;
}

VOID NetAdapterInitFree(NETADAPTER_INIT* AdapterInit)
{
    if (AdapterInit == nullptr) {
        return;
    }
    if (++AdapterInit->frees > 1) {
        KshimViolation("an adapter initialisation object freed twice", "NetAdapterInitFree");
    }
}

VOID NetAdapterSetDataPathCapabilities(NETADAPTER Adapter, const NET_ADAPTER_TX_CAPABILITIES* TxCapabilities,
                                       const NET_ADAPTER_RX_CAPABILITIES* RxCapabilities)
{
    Declare(Adapter, "NetAdapterSetDataPathCapabilities", [&](FxNetAdapter& a) {
        if (a.started) {
            KshimViolation("data-path capabilities set after NetAdapterStart", nullptr);
        }
        a.hasDataPathCapabilities = TxCapabilities != nullptr && RxCapabilities != nullptr;
        if (TxCapabilities != nullptr) {
            a.tx = *TxCapabilities;
            a.txHasDma = TxCapabilities->DmaCapabilities != nullptr;
            if (a.txHasDma) {
                a.txDma = *TxCapabilities->DmaCapabilities;
            }
            a.tx.DmaCapabilities = nullptr;  // the driver's record need not outlive the call
        }
        if (RxCapabilities != nullptr) {
            a.rx = *RxCapabilities;
        }
    });
}

VOID NetAdapterSetLinkState(NETADAPTER Adapter, const NET_ADAPTER_LINK_STATE* LinkState)
{
    Declare(Adapter, "NetAdapterSetLinkState", [&](FxNetAdapter& a) {
        if (LinkState != nullptr) {
            a.hasLinkState = true;
            a.linkState = *LinkState;
        }
    });
}

VOID NetAdapterSetLinkLayerCapabilities(NETADAPTER Adapter, const NET_ADAPTER_LINK_LAYER_CAPABILITIES* Capabilities)
{
    Declare(Adapter, "NetAdapterSetLinkLayerCapabilities", [&](FxNetAdapter& a) {
        if (Capabilities != nullptr) {
            a.hasLinkLayerCapabilities = true;
            a.linkLayer = *Capabilities;
        }
    });
}

VOID NetAdapterSetLinkLayerMtuSize(NETADAPTER Adapter, ULONG MtuSize)
{
    Declare(Adapter, "NetAdapterSetLinkLayerMtuSize", [&](FxNetAdapter& a) { a.mtu = MtuSize; });
}

VOID NetAdapterSetPermanentLinkLayerAddress(NETADAPTER Adapter, const NET_ADAPTER_LINK_LAYER_ADDRESS* Address)
{
    Declare(Adapter, "NetAdapterSetPermanentLinkLayerAddress", [&](FxNetAdapter& a) {
        if (Address != nullptr && Address->Length <= NET_ADAPTER_LINK_LAYER_ADDRESS_MAXIMUM_LENGTH) {
            a.permanentAddress = *Address;
        }
    });
}

VOID NetAdapterSetCurrentLinkLayerAddress(NETADAPTER Adapter, const NET_ADAPTER_LINK_LAYER_ADDRESS* Address)
{
    Declare(Adapter, "NetAdapterSetCurrentLinkLayerAddress", [&](FxNetAdapter& a) {
        if (Address != nullptr && Address->Length <= NET_ADAPTER_LINK_LAYER_ADDRESS_MAXIMUM_LENGTH) {
            a.currentAddress = *Address;
        }
    });
}

VOID NetAdapterSetReceiveFilterCapabilities(NETADAPTER Adapter,
                                            const NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES* Capabilities)
{
    Declare(Adapter, "NetAdapterSetReceiveFilterCapabilities", [&](FxNetAdapter& a) {
        if (Capabilities != nullptr) {
            a.hasReceiveFilter = true;
            a.receiveFilter = *Capabilities;
        }
    });
}

ULONG NetReceiveFilterGetPacketFilter(NETRECEIVEFILTER ReceiveFilter)
{
    return ReceiveFilter != nullptr ? static_cast<FilterObject*>(ReceiveFilter)->packetFilter : 0;
}

SIZE_T NetReceiveFilterGetMulticastAddressCount(NETRECEIVEFILTER ReceiveFilter)
{
    return ReceiveFilter != nullptr ? static_cast<FilterObject*>(ReceiveFilter)->multicast.size() : 0;
}

const NET_ADAPTER_LINK_LAYER_ADDRESS* NetReceiveFilterGetMulticastAddressList(NETRECEIVEFILTER ReceiveFilter)
{
    if (ReceiveFilter == nullptr) {
        return nullptr;
    }
    auto* filter = static_cast<FilterObject*>(ReceiveFilter);
    return filter->multicast.empty() ? nullptr : filter->multicast.data();
}

VOID NetAdapterWakeSetMagicPacketCapabilities(NETADAPTER Adapter,
                                              const NET_ADAPTER_WAKE_MAGIC_PACKET_CAPABILITIES* Capabilities)
{
    Declare(Adapter, "NetAdapterWakeSetMagicPacketCapabilities", [&](FxNetAdapter& a) {
        a.magicPacket = Capabilities != nullptr && Capabilities->MagicPacket;
    });
}

NTSTATUS NetAdapterStart(NETADAPTER Adapter)
{
    RequirePassive("NetAdapterStart");
    auto* adapter = Lookup<FxNetAdapter>(Adapter, "NetAdapterStart");
    if (adapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("net.adapterstart", std::to_string(adapter->portId).c_str(), &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(adapter->declared);
    if (adapter->started) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    adapter->started = true;
    return STATUS_SUCCESS;
}

// ================================================================================================
// the harness's view
// ================================================================================================
namespace kshim::host {

std::vector<NETADAPTER> NetAdaptersOf(WDFDEVICE device)
{
    std::vector<NETADAPTER> out;
    for (FxObject* child : ChildrenOf(Raw(device))) {
        if (child->kind == Kind::NetAdapter) {
            out.push_back(Handle<NETADAPTER>(child));
        }
    }
    return out;
}

bool DescribeNetAdapter(NETADAPTER handle, NetAdapterRecord* record)
{
    auto* a = Lookup<FxNetAdapter>(handle, "DescribeNetAdapter");
    if (a == nullptr || record == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(a->declared);
    NetAdapterRecord r;
    r.portId = a->portId;
    r.type = a->type;
    r.hasDatapath = a->hasDatapath;
    r.datapath = a->datapath;
    for (const WIFI_ADAPTER_TX_DEMUX& d : a->txDemux) {
        r.txDemux.push_back({static_cast<uint32_t>(d.Type), d.Range});
    }
    r.wifiInitialized = a->wifiInitialized;
    r.hasDataPathCapabilities = a->hasDataPathCapabilities;
    r.tx = a->tx;
    r.txHasDma = a->txHasDma;
    r.txDma = a->txDma;
    r.rx = a->rx;
    r.hasLinkState = a->hasLinkState;
    r.linkState = a->linkState;
    r.hasLinkLayerCapabilities = a->hasLinkLayerCapabilities;
    r.linkLayer = a->linkLayer;
    r.mtu = a->mtu;
    r.permanentAddress.assign(a->permanentAddress.Address, a->permanentAddress.Address + a->permanentAddress.Length);
    r.currentAddress.assign(a->currentAddress.Address, a->currentAddress.Address + a->currentAddress.Length);
    r.hasReceiveFilter = a->hasReceiveFilter;
    r.receiveFilter = a->receiveFilter;
    r.magicPacket = a->magicPacket;
    r.started = a->started;
    *record = std::move(r);
    return true;
}

bool NetAdapterApplyReceiveFilter(NETADAPTER handle, uint32_t packetFilter,
                                  const std::vector<std::vector<uint8_t>>& multicast)
{
    NetAdapterRecord record;
    if (!DescribeNetAdapter(handle, &record) || !record.hasReceiveFilter ||
        record.receiveFilter.EvtSetReceiveFilter == nullptr) {
        return false;
    }
    kshim::wdf::FilterObject filter;
    filter.packetFilter = packetFilter;
    for (const std::vector<uint8_t>& address : multicast) {
        NET_ADAPTER_LINK_LAYER_ADDRESS entry{};
        entry.Length = static_cast<USHORT>(std::min<size_t>(address.size(), NET_ADAPTER_LINK_LAYER_ADDRESS_MAXIMUM_LENGTH));
        std::memcpy(entry.Address, address.data(), entry.Length);
        filter.multicast.push_back(entry);
    }
    record.receiveFilter.EvtSetReceiveFilter(handle, &filter);
    return true;
}

bool NetAdapterReturnRxBuffer(NETADAPTER handle, void* returnContext)
{
    NetAdapterRecord record;
    if (!DescribeNetAdapter(handle, &record) || record.rx.EvtAdapterReturnRxBuffer == nullptr) {
        return false;
    }
    // A buffer the OS never held breaks the ring rules (the violation aborts unless the test expects
    // it); the driver still gets the call, as it would from a faulty OS.
    (void)NetQueueBufferReturned(returnContext);
    record.rx.EvtAdapterReturnRxBuffer(handle, static_cast<NET_FRAGMENT_RETURN_CONTEXT_HANDLE>(returnContext));
    return true;
}

}  // namespace kshim::host
