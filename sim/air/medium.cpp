// The radio medium.
#include "air/medium.h"

#include <algorithm>
#include <condition_variable>

namespace sim::air {

namespace {

// Deliveries in flight, counted over every medium: a party that leaves waits until no delivery that
// may still hold it runs (unless it leaves from inside one: a party answering from inside Receive
// transmits again, on the same thread).
std::mutex g_busyMutex;
std::condition_variable g_busyCv;
unsigned g_busy = 0;
thread_local int t_delivering = 0;

struct DeliveryScope {
    DeliveryScope()
    {
        std::lock_guard<std::mutex> lock(g_busyMutex);
        ++g_busy;
        ++t_delivering;
    }
    ~DeliveryScope()
    {
        --t_delivering;
        std::lock_guard<std::mutex> lock(g_busyMutex);
        if (--g_busy == 0) {
            g_busyCv.notify_all();
        }
    }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;
};

}  // namespace

Medium::~Medium()
{
    for (Party* p : Parties()) {
        p->MediumGone();
    }
}

void Medium::Join(Party* party)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(parties_.begin(), parties_.end(), party) == parties_.end()) {
        parties_.push_back(party);
    }
}

void Medium::Leave(Party* party)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parties_.erase(std::remove(parties_.begin(), parties_.end(), party), parties_.end());
    }
    if (t_delivering == 0) {
        std::unique_lock<std::mutex> lock(g_busyMutex);
        g_busyCv.wait(lock, [] { return g_busy == 0; });
    }
}

std::vector<Party*> Medium::Parties() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return parties_;
}

void Medium::SetCapture(std::shared_ptr<CaptureSink> sink)
{
    std::lock_guard<std::mutex> lock(mutex_);
    capture_ = std::move(sink);
}

uint64_t Medium::Transmissions() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transmissions_;
}

void Medium::Capture(const Bytes& frame, Channel c, int64_t time, std::optional<int8_t> signal) const
{
    std::shared_ptr<CaptureSink> sink;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sink = capture_;
    }
    if (sink) {
        sink->Captured(frame, c, time, signal);
    }
}

Reception Medium::ReceptionOf(const Party* from, const Party* to, Channel c, int64_t time) const
{
    Reception rx;
    rx.channel = c;
    rx.time = time;
    std::optional<int8_t> signal = from->PathSignalDbm(time);
    if (!signal) {
        signal = to->PathSignalDbm(time);
    }
    if (!signal) {
        signal = kDeviceToDeviceDbm;
    } else if (!from->IsDevice() && !to->IsDevice()) {
        signal = kPeerToPeerDbm;
    }
    rx.signalDbm = *signal;
    const std::array<int8_t, 4> offsets = to->IsDevice() ? from->ChainOffsets() : std::array<int8_t, 4>{};
    for (size_t i = 0; i < rx.chainDbm.size(); ++i) {
        const int v = rx.signalDbm + offsets[i];
        rx.chainDbm[i] = static_cast<int8_t>(std::clamp(v, -127, 0));
    }
    return rx;
}

void Medium::Transmit(Party* from, Channel c, int64_t time, const Bytes& frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++transmissions_;
    }
    DeliveryScope scope;
    if (from != nullptr && from->IsDevice()) {
        Capture(frame, c, time, std::nullopt);
    }
    for (Party* p : Parties()) {
        if (p == from || !p->Hears(c, time)) {
            continue;
        }
        const Reception rx = from != nullptr ? ReceptionOf(from, p, c, time) : Reception{c, time, -50, {-50, -50, -50, -50}};
        if (rx.signalDbm < kSensitivityDbm) {
            continue;
        }
        if (p->IsDevice()) {
            Capture(frame, c, time, rx.signalDbm);
        }
        p->Receive(frame, rx);
    }
}

void Medium::Listen(Party* receiver, Channel c, int64_t from, int64_t to)
{
    if (to <= from) {
        return;
    }
    DeliveryScope scope;
    struct Item {
        Emission e;
        Party* sender;
    };
    std::vector<Item> items;
    for (Party* p : Parties()) {
        if (p == receiver) {
            continue;
        }
        std::vector<Emission> out;
        p->Scheduled(c, from, to, &out);
        for (Emission& e : out) {
            if (e.time >= from && e.time < to) {
                items.push_back({std::move(e), p});
            }
        }
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.e.time < b.e.time; });
    for (const Item& item : items) {
        Reception rx = ReceptionOf(item.sender, receiver, c, item.e.time);
        if (item.e.signalDbm) {
            rx.signalDbm = *item.e.signalDbm;
            rx.chainDbm.fill(*item.e.signalDbm);
        }
        if (rx.signalDbm < kSensitivityDbm) {
            continue;
        }
        if (receiver->IsDevice()) {
            Capture(item.e.frame, c, item.e.time, rx.signalDbm);
        }
        receiver->Receive(item.e.frame, rx);
    }
}

}  // namespace sim::air
