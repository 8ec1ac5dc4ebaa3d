// The data path's frames on the air.
#include "fw/data_air.h"

namespace sim::fw {

namespace {
constexpr uint16_t kFcProtected = 0x4000;
}  // namespace

DataAir::DataAir(DataPath& data, ScanEngine& radio) : data_(data), radio_(radio)
{
    data_.SetAirSink([this](const SentDataFrame& f) { Sent(f); });
    radio_.SetDataHandler([this](const Bytes& frame, const sim::air::Reception& rx) { Heard(frame, rx); });
}

DataAir::~DataAir()
{
    data_.SetAirSink(nullptr);
    radio_.SetDataHandler(nullptr);
}

void DataAir::AddPeer(const sim::air::Mac& peer, uint8_t wlanIndex, uint8_t bssIndex)
{
    std::lock_guard<std::mutex> lock(mutex_);
    peers_[peer] = {wlanIndex, bssIndex};
}

void DataAir::SetCipher(FrameCipher* cipher)
{
    std::lock_guard<std::mutex> lock(mutex_);
    cipher_ = cipher;
}

void DataAir::SetObserver(DataPath::AirSink observer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

DataAir::Record DataAir::GetRecord() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

void DataAir::Sent(const SentDataFrame& f)
{
    FrameCipher* cipher;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cipher = cipher_;
    }
    // A frame the chip protects goes on the air (and to the observer) as protected.
    std::optional<SentDataFrame> sealed;
    bool sent = false;
    if (cipher == nullptr || f.bytes.size() < sim::air::kMgmtHeaderLength ||
        (sim::air::Le16(f.bytes.data()) & kFcProtected) == 0) {
        sent = radio_.SendFrame(f.bytes);
    } else {
        sealed = f;
        sent = cipher->Outgoing(f.txd, &sealed->bytes) && radio_.SendFrame(sealed->bytes);
    }
    // A management frame whose descriptor carries a packet id and asks for its status (DW5 bits 0-7
    // and 9-10) is reported: acknowledged when it went on the air.
    const uint8_t packetId = f.txd[20];
    const bool statusAsked = ((f.txd[21] >> 1) & 3) != 0;
    if (f.bytes.size() >= 2 && sim::air::FrameType(sim::air::Le16(f.bytes.data())) == 0 && packetId != 0 && statusAsked) {
        data_.ReportTxStatus(packetId, sent ? 0 : 1, f.txd[4]);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++(sent ? record_.sent : record_.notSent);
    if (observer_) {
        observer_(sealed ? *sealed : f);
    }
}

void DataAir::Heard(const Bytes& frame, const sim::air::Reception& rx)
{
    std::optional<sim::air::FrameAddresses> a = sim::air::ReadAddresses(frame.data(), frame.size());
    if (!a) {
        return;
    }
    sim::chip::RxdFields fields;
    fields.group = sim::air::IsGroup(a->a1);
    fields.unicast = !fields.group;
    fields.channel = rx.channel.number;
    // QoS data (subtype bit 3) carries its TID behind the 24-byte header of a frame between a station
    // and its access point.
    const bool qos = (a->fc & 0x0080) != 0;
    if (qos && frame.size() > 24) {
        fields.tid = static_cast<uint8_t>(frame[24] & 0x0F);
    }
    Bytes heard = frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cipher_ != nullptr && !cipher_->Incoming(&heard, &fields)) {
            ++record_.dropped;
            return;
        }
        auto it = peers_.find(a->a2);
        if (it != peers_.end()) {
            fields.wlanIndex = it->second.first;
            fields.bssIndex = it->second.second;
        } else {
            ++record_.unknownPeer;
        }
        ++record_.received;
    }
    timeline_.At(rx.time, [this, heard = std::move(heard), fields](int64_t) { data_.Receive(heard, fields); });
}

}  // namespace sim::fw
