// The data path per packet, steady state, on a started device whose station port is linked to an
// access point (the link state is set as a link-up leaves it: the connection code is not built yet).
//
// Transmit, one iteration = a batch of kBatch frames of the OS:
//   timed    the OS's advance of the transmit queue: the driver takes the packets off the NetAdapterCx
//            rings, builds their records and descriptors and hands them to the data ring;
//   untimed  the simulated chip gathers the frames, the simulated firmware puts them on the air and
//            writes the transmit-done reports (the chip holds its transmit DMA during the timed part,
//            so none of its work is counted);
//   timed    the driver serves its receive rings (the reports) and the OS's next advance returns
//            the packets (the completion sweep).
// Receive, one iteration = a batch of kBatch frames of the access point:
//   untimed  the simulated firmware writes the frames with the generation's receive descriptor;
//   timed    the driver serves the frame ring (descriptor, checks, the data step, the hand-off to its
//            receive queue) and the OS's advance of the receive queue takes them into the NetAdapterCx
//            rings;
//   untimed  the OS side copies the frames out and returns the buffers.
// The time reported is per iteration; the baseline copies kBatch frames of the same size.
//
// The device's interrupt is kept off: the benchmark serves the rings itself, as the interrupt's DPC
// would, so that the work of a batch is the driver's alone and the simulated chip's threads stay out.
#include <cstring>

#include "../kshim/src/wdf_interrupt_internal.h"
#include "bench_support.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "chip/rx_build.h"
#include "fw/datapath.h"
#include "kshim/host/net_queue.h"
#include "kshim/host/netadapter.h"
#include "platform/ndis6/n6pci.h"
#include "platform/wificx/rxqueue.h"
#include "platform/wificx/txqueue.h"

namespace {

namespace host = kshim::host;

constexpr size_t kBatch = 32;
constexpr uint8_t kAp[6] = {0x02, 0xA0, 0x00, 0x00, 0x00, 0x01};
constexpr uint8_t kRemote[6] = {0x02, 0xB0, 0x00, 0x00, 0x00, 0x02};
constexpr uint8_t kLlc[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};

// The started device, its station adapter linked to kAp, and both queues opened.
struct Link {
    qzlbench::SimDevice* device = nullptr;
    NETADAPTER net = nullptr;
    PMP_PORT port = nullptr;
    UCHAR peerIndex = 0;
    NETPACKETQUEUE tx = nullptr;
    NETPACKETQUEUE rx = nullptr;
    uint16_t sequence = 0;
};

Link& Linked(USHORT deviceId)
{
    static Link link;
    static USHORT linkedId = 0;
    qzlbench::SimDevice& device = qzlbench::SharedDevice(deviceId);
    if (link.device == &device && linkedId == deviceId) {
        return link;
    }
    link = Link{};
    link.device = &device;
    linkedId = deviceId;
    if (!NT_SUCCESS(device.Os().CreateAdapter(device.Device(), 0, WIFI_ADAPTER_WLAN_STATION))) {
        qzlbench::Fail("no station adapter");
    }
    link.net = host::NetAdaptersOf(device.Device()->Handle()).back();
    PMP_ADAPTER a = device.Adapter();
    link.port = a->PortList[0];
    (void)device.Firmware().WaitDelivered();
    if (!NT_SUCCESS(kshim::wdf::InterruptsDisable(device.Device()->Handle()))) {
        qzlbench::Fail("the interrupt did not go off");
    }
    KeFlushQueuedDpcs();
    a->RegistryBlock.TxRxThreadMode = 0;
    // What a link-up to kAp leaves behind (open system, a QoS link).
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedRoleType(link.port, MAC_ENTRY_KIND_PEER);
    if (entry == nullptr) {
        qzlbench::Fail("no access-point entry");
    }
    std::memcpy(entry->Addr, kAp, 6);
    std::memcpy(link.port->Bssid, kAp, 6);
    link.port->ConnectionFlags |= PORT_CONN_CONNECTED | PORT_CONN_RESET_CLEAR;
    link.port->Recv.LinkState = RX_LINK_STATE_UP;
    link.port->Xmit.Ready[0] = link.port->Xmit.Ready[1] = link.port->Xmit.Ready[2] = 1;
    link.port->Xmit.Wmm = 1;
    link.port->Xmit.LinkFlags |= PORT_LINK_FLAG_EDCA;
    link.port->AuthMode = 1;
    link.port->WirelessMode = PHY_11AGN_MIXED;
    a->StaKeyState = 2;
    link.peerIndex = entry->WlanIdx;
    if (!NT_SUCCESS(host::NetTxQueueOpen(link.net, 0, kAp, 0, &link.tx, {4096, 4096})) ||
        !NT_SUCCESS(host::NetRxQueueOpen(link.net, 0, &link.rx, {4096, 4096}))) {
        qzlbench::Fail("queues not opened");
    }
    (void)host::NetRxQueueReceive(link.rx);  // every receive element to the driver
    return link;
}

// Serves the receive rings (frames, reports, events) as the interrupt's DPC would.
void Pump(PMP_ADAPTER adapter)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    for (int pass = 0; pass < 16; ++pass) {
        ULONG pending = 0;
        for (ULONG ring = 0; ring < 3; ++ring) {
            (void)N6PciGetRxDonePkt(hif, ring);
            pending += N6PciGetRxDmaPendingCnt(hif, ring);
        }
        if (pending == 0) {
            return;
        }
    }
}

std::vector<host::TxFrame> UpFrames(size_t bytes)
{
    std::vector<host::TxFrame> frames(kBatch);
    for (size_t n = 0; n < kBatch; ++n) {
        host::TxFrame& f = frames[n];
        f.bytes.assign(bytes, static_cast<uint8_t>(n));
        f.bytes[0] = 0x08;
        f.bytes[1] = 0x01;
        std::memcpy(&f.bytes[4], kAp, 6);
        std::memcpy(&f.bytes[16], kRemote, 6);
        std::memcpy(&f.bytes[24], kLlc, sizeof(kLlc));
    }
    return frames;
}

void Transmit(benchmark::State& state, USHORT deviceId, size_t bytes)
{
    Link& link = Linked(deviceId);
    PMP_ADAPTER a = link.device->Adapter();
    sim::chip::Chip& chip = link.device->Chip();
    sim::fw::DataPath& data = link.device->Firmware().Data();
    const std::vector<host::TxFrame> frames = UpFrames(bytes);
    chip.SetTxHold(true);
    for (auto _ : state) {
        if (host::NetTxQueuePost(link.tx, frames) != kBatch) {
            state.SkipWithError("the OS's transmit ring is full");
            break;
        }
        const uint64_t sentBefore = data.FramesSent();
        auto start = std::chrono::steady_clock::now();
        host::NetQueueAdvance(link.tx);
        double seconds = qzlbench::SecondsSince(start);
        chip.SetTxHold(false);
        host::NetQueueAdvance(link.tx);  // rings the doorbell again if the release did not
        (void)data.WaitDelivered();
        chip.SetTxHold(true);
        start = std::chrono::steady_clock::now();
        Pump(a);
        host::NetQueueAdvance(link.tx);
        seconds += qzlbench::SecondsSince(start);
        state.SetIterationTime(seconds);
        const size_t back = host::NetTxQueueTakeReturned(link.tx).size();
        if (back != kBatch || data.FramesSent() - sentBefore != kBatch) {
            state.SkipWithError("a batch did not go out whole");
            break;
        }
    }
    chip.SetTxHold(false);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}

void Receive(benchmark::State& state, USHORT deviceId, size_t bytes)
{
    Link& link = Linked(deviceId);
    PMP_ADAPTER a = link.device->Adapter();
    sim::fw::DataPath& data = link.device->Firmware().Data();
    sim::chip::RxdFields fields;
    fields.wlanIndex = link.peerIndex;
    fields.bssIndex = 0;
    fields.tid = 0;
    fields.unicast = true;
    std::vector<uint8_t> frame(bytes + 2, 0);  // QoS data: the header is 26 bytes
    frame[0] = 0x88;
    frame[1] = 0x02;
    std::memcpy(&frame[4], link.port->MacAddress, 6);
    std::memcpy(&frame[10], kAp, 6);
    std::memcpy(&frame[16], kRemote, 6);
    std::memcpy(&frame[26], kLlc, sizeof(kLlc));
    for (auto _ : state) {
        for (size_t n = 0; n < kBatch; ++n) {
            frame[22] = static_cast<uint8_t>((link.sequence & 0x0F) << 4);
            frame[23] = static_cast<uint8_t>(link.sequence >> 4);
            link.sequence = static_cast<uint16_t>((link.sequence + 1) & 0x0FFF);
            data.Receive(frame, fields);
        }
        (void)data.WaitDelivered();
        const auto start = std::chrono::steady_clock::now();
        Pump(a);
        host::NetQueueAdvance(link.rx);
        state.SetIterationTime(qzlbench::SecondsSince(start));
        std::vector<host::RxReceived> got = host::NetRxQueueReceive(link.rx);
        for (const host::RxReceived& r : got) {
            (void)host::NetAdapterReturnRxBuffer(link.net, r.returnContext);
        }
        if (got.size() != kBatch) {
            state.SkipWithError("a batch did not arrive whole");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}

void Copy(benchmark::State& state, size_t bytes) { qzlbench::CopyBaseline(state, bytes * kBatch); }

void BM_Transmit64_3502(benchmark::State& s) { Transmit(s, 0x3502, 64); }
void BM_Transmit1500_3502(benchmark::State& s) { Transmit(s, 0x3502, 1500); }
void BM_Receive64_3502(benchmark::State& s) { Receive(s, 0x3502, 64); }
void BM_Receive1500_3502(benchmark::State& s) { Receive(s, 0x3502, 1500); }
void BM_Transmit64_3602(benchmark::State& s) { Transmit(s, 0x3602, 64); }
void BM_Transmit1500_3602(benchmark::State& s) { Transmit(s, 0x3602, 1500); }
void BM_Receive64_3602(benchmark::State& s) { Receive(s, 0x3602, 64); }
void BM_Receive1500_3602(benchmark::State& s) { Receive(s, 0x3602, 1500); }
void BM_MemcpyBatch64(benchmark::State& s) { Copy(s, 64); }
void BM_MemcpyBatch1500(benchmark::State& s) { Copy(s, 1500); }

}  // namespace

BENCHMARK(BM_MemcpyBatch64);
BENCHMARK(BM_MemcpyBatch1500);
BENCHMARK(BM_Transmit64_3502)->UseManualTime();
BENCHMARK(BM_Transmit1500_3502)->UseManualTime();
BENCHMARK(BM_Receive64_3502)->UseManualTime();
BENCHMARK(BM_Receive1500_3502)->UseManualTime();
BENCHMARK(BM_Transmit64_3602)->UseManualTime();
BENCHMARK(BM_Transmit1500_3602)->UseManualTime();
BENCHMARK(BM_Receive64_3602)->UseManualTime();
BENCHMARK(BM_Receive1500_3602)->UseManualTime();

int main(int argc, char** argv)
{
    return qzlbench::RunWithRatios(argc, argv,
                                   {{"BM_Transmit64_3502/manual_time", "BM_MemcpyBatch64"},
                                    {"BM_Transmit1500_3502/manual_time", "BM_MemcpyBatch1500"},
                                    {"BM_Receive64_3502/manual_time", "BM_MemcpyBatch64"},
                                    {"BM_Receive1500_3502/manual_time", "BM_MemcpyBatch1500"},
                                    {"BM_Transmit64_3602/manual_time", "BM_MemcpyBatch64"},
                                    {"BM_Transmit1500_3602/manual_time", "BM_MemcpyBatch1500"},
                                    {"BM_Receive64_3602/manual_time", "BM_MemcpyBatch64"},
                                    {"BM_Receive1500_3602/manual_time", "BM_MemcpyBatch1500"}});
}
