// The scan's beacon intake per frame: a received beacon parsed and stored in the scan table (found by
// its BSSID, or added, or put in place of the weakest entry once the table is full), with 10, 100,
// 1,000 and 10,000 distinct access points beaconing in turn, beside a copy of the same bytes. The
// table holds 256 entries: from 1,000 access points on, nearly every beacon is a newcomer that
// replaces the weakest entry. The cost per beacon must stay flat as the number of access points grows:
// the table is indexed by BSSID and by signal level, so neither the lookup nor the replacement walks it.
//
// The intake runs on a bare adapter (no device): the parse and the store are plain computation on the
// MLME thread, with nothing to wait for.
#include <cstring>
#include <memory>
#include <vector>

#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "bench_support.h"

namespace {

constexpr size_t kHeader = 24;

// A beacon of access point `n`: its own BSSID and SSID, rates, DS parameter set on its channel, HT
// capability and operation, an RSN element, a vendor element.
std::vector<uint8_t> Beacon(uint32_t n, uint8_t channel)
{
    std::vector<uint8_t> f(kHeader, 0);
    f[0] = 0x80;
    std::memset(f.data() + 4, 0xFF, 6);
    const uint8_t bssid[6] = {0x02, 0x5A, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                              static_cast<uint8_t>(n), 0x01};
    std::memcpy(f.data() + 10, bssid, 6);
    std::memcpy(f.data() + 16, bssid, 6);
    // Timestamp, beacon interval 100, capabilities (ESS, privacy, short slot).
    for (uint8_t b : {1, 2, 3, 4, 5, 6, 7, 8, 100, 0, 0x11, 0x04}) {
        f.push_back(b);
    }
    char ssid[32];
    const int ssidLength = std::snprintf(ssid, sizeof(ssid), "bench-ap-%u", n);
    f.push_back(0);
    f.push_back(static_cast<uint8_t>(ssidLength));
    f.insert(f.end(), ssid, ssid + ssidLength);
    const uint8_t rates[] = {1, 8, 0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24};
    f.insert(f.end(), rates, rates + sizeof(rates));
    f.insert(f.end(), {3, 1, channel});
    std::vector<uint8_t> ht(2 + 26, 0);
    ht[0] = 45;
    ht[1] = 26;
    ht[2] = 0x6E;
    ht[5] = 0xFF;
    f.insert(f.end(), ht.begin(), ht.end());
    std::vector<uint8_t> htOp(2 + 22, 0);
    htOp[0] = 61;
    htOp[1] = 22;
    htOp[2] = channel;
    f.insert(f.end(), htOp.begin(), htOp.end());
    const uint8_t rsn[] = {48, 20, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 2, 0, 0};
    f.insert(f.end(), rsn, rsn + sizeof(rsn));
    const uint8_t vendor[] = {0xDD, 7, 0x00, 0x50, 0xF2, 2, 1, 1, 0};
    f.insert(f.end(), vendor, vendor + sizeof(vendor));
    return f;
}

struct Frames {
    std::vector<std::unique_ptr<uint8_t[]>> elems;  // MLME elements, each sized to its frame
    size_t frameBytes = 0;
};

Frames MakeFrames(uint32_t count)
{
    static const uint8_t kChannels[] = {1, 6, 11};
    Frames out;
    for (uint32_t n = 0; n < count; ++n) {
        const uint8_t channel = kChannels[n % 3];
        std::vector<uint8_t> frame = Beacon(n, channel);
        const size_t bytes = offsetof(MLME_QUEUE_ELEM, Msg) + frame.size();
        std::unique_ptr<uint8_t[]> storage(new uint8_t[bytes]);
        std::memset(storage.get(), 0, offsetof(MLME_QUEUE_ELEM, Msg));
        std::memcpy(storage.get() + offsetof(MLME_QUEUE_ELEM, Msg), frame.data(), frame.size());
        auto* elem = reinterpret_cast<MLME_QUEUE_ELEM*>(storage.get());
        elem->MsgLen = static_cast<ULONG>(frame.size());
        elem->Band = BAND_24G;
        elem->Channel = channel;
        // Signals from -30 to -92 dBm spread over the access points.
        elem->Rssi0 = static_cast<UCHAR>(static_cast<CHAR>(-30 - static_cast<int>((n * 37u) % 63u)));
        out.frameBytes = frame.size();
        out.elems.push_back(std::move(storage));
    }
    return out;
}

struct BareAdapter {
    MP_ADAPTER* adapter = new MP_ADAPTER();
    MP_PORT* port = new MP_PORT();
    BareAdapter()
    {
        port->Adapter = adapter;
        port->Active = 1;
        port->PortType = EXTSTA;
        adapter->PortList[0] = port;
        adapter->AntennaPath = 1;
        // The 2.4 GHz channels the access points beacon on are channels the adapter may use.
        for (UCHAR channel : {1, 6, 11}) {
            DOMAIN_CHANNEL_ENTRY& e = adapter->Country.ChannelList[adapter->Country.ChannelListCount++];
            e.Channel = channel;
            e.Band = BAND_24G;
        }
        MlmeBssTableInit(adapter);
    }
};

BareAdapter& Bare()
{
    static BareAdapter bare;
    return bare;
}

std::unique_ptr<BEACON_PARSE_RESULT> g_record = std::make_unique<BEACON_PARSE_RESULT>();
std::unique_ptr<UCHAR[]> g_varIes = std::make_unique<UCHAR[]>(BCN_PARSE_IE_LIMIT);

// One beacon through the parse and into the table.
bool Intake(MP_ADAPTER* adapter, MP_PORT* port, const MLME_QUEUE_ELEM* elem)
{
    BEACON_PARSE_RESULT& r = *g_record;
    std::memset(&r, 0, sizeof(r));
    r.VarIes = g_varIes.get();
    r.Channel = 0xFF;
    r.SecondaryChannelOffset = 0xFF;
    if (!MlmeSyncPeerBeaconAndProbeRspSanity(adapter, port, elem, elem->MsgLen, &r)) {
        return false;
    }
    const CHAR rssi = RssiAverageByChains(adapter, static_cast<CHAR>(elem->Rssi0), 0, 0);
    BSS_ENTRY_INPUT in = MlmeSyncBeaconEntryInput(r, elem, rssi);
    (void)BssTableSetEntry(adapter, port, adapter->ScanTable, &in);
    return true;
}

void BM_BeaconIntake(benchmark::State& state)
{
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    BareAdapter& bare = Bare();
    const Frames frames = MakeFrames(count);
    BssTableInit(bare.adapter->ScanTable);
    // One round first: the table is in its steady state before the timing starts.
    for (const auto& storage : frames.elems) {
        if (!Intake(bare.adapter, bare.port, reinterpret_cast<const MLME_QUEUE_ELEM*>(storage.get()))) {
            state.SkipWithError("the parser refused the benchmark's beacon");
            return;
        }
    }
    size_t next = 0;
    for (auto _ : state) {
        const auto* elem = reinterpret_cast<const MLME_QUEUE_ELEM*>(frames.elems[next].get());
        benchmark::DoNotOptimize(Intake(bare.adapter, bare.port, elem));
        next = next + 1 == frames.elems.size() ? 0 : next + 1;
    }
    state.counters["table"] = bare.adapter->ScanTable->EntryCount;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frames.frameBytes));
}
BENCHMARK(BM_BeaconIntake)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

void BM_MemcpyBeaconBytes(benchmark::State& state) { qzlbench::CopyBaseline(state, Beacon(0, 1).size()); }
BENCHMARK(BM_MemcpyBeaconBytes);

}  // namespace

int main(int argc, char** argv)
{
    qzlbench::ResetWorld();
    return qzlbench::RunWithRatios(argc, argv,
                                   {{"BM_BeaconIntake/10", "BM_MemcpyBeaconBytes"},
                                    {"BM_BeaconIntake/100", "BM_MemcpyBeaconBytes"},
                                    {"BM_BeaconIntake/1000", "BM_MemcpyBeaconBytes"},
                                    {"BM_BeaconIntake/10000", "BM_MemcpyBeaconBytes"},
                                    {"BM_BeaconIntake/10000", "BM_BeaconIntake/10"}});
}
