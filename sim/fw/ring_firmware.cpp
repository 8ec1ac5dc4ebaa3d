// The firmware's side of the command rings.
#include "fw/ring_firmware.h"

namespace sim::fw {

using sim::chip::RxRole;
using sim::chip::TxRole;

RingFirmware::RingFirmware(sim::chip::Chip& chip)
    : chip_(chip), rom_(chip.model().generation), events_(chip, chip.rings().RxRing(RxRole::Events))
{
    const sim::chip::RingMap& map = chip_.rings();
    hwCommand_ = map.TxRing(TxRole::Command);
    hwDownload_ = map.TxRing(TxRole::Download);
    if (map.present) {
        chip_.SetTxConsumer(hwCommand_, [this](const sim::chip::TxBuffer& b) { OnBuffer(kCommandRing, b); });
        chip_.SetTxConsumer(hwDownload_, [this](const sim::chip::TxBuffer& b) { OnBuffer(kDownloadRing, b); });
    }
}

RingFirmware::~RingFirmware()
{
    if (chip_.rings().present) {
        chip_.SetTxConsumer(hwCommand_, nullptr);
        chip_.SetTxConsumer(hwDownload_, nullptr);
    }
}

void RingFirmware::OnBuffer(unsigned ring, const sim::chip::TxBuffer& buffer)
{
    RomAnswer answer = rom_.Consume(ring, buffer.data, buffer.length);
    RingExchange exchange;
    exchange.ring = ring;
    exchange.bytes.assign(buffer.data, buffer.data + buffer.length);
    exchange.command = answer.command;
    exchange.events = answer.events;
    exchange.delayMs = answer.delayMs;
    exchange.note = answer.note;

    // Recorded before its answer can reach the host.
    std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.push_back(std::move(exchange));
    events_.Write(std::move(answer.events), answer.delayMs);
}

std::vector<RingExchange> RingFirmware::Exchanges() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

void RingFirmware::ClearExchanges()
{
    std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.clear();
}

uint64_t RingFirmware::EventsWritten() const { return events_.Written(); }

size_t RingFirmware::EventsWaiting() const { return events_.Waiting(); }

bool RingFirmware::WaitDelivered(unsigned ms) const { return events_.WaitDelivered(ms); }

}  // namespace sim::fw
