// The data path's frames on the air.
#include "fw/data_air.h"

#include "air/ap_blockack.h"

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

namespace {

// The peer of a Block Ack Request (20 bytes: control frame of subtype 8) and its TID.
bool ReadBar(const Bytes& frame, sim::air::Mac* from, uint8_t* tid)
{
    if (frame.size() < sim::air::kBlockAckReqLength || sim::air::Le16(frame.data()) != sim::air::kFcBlockAckReq) {
        return false;
    }
    *from = sim::air::MacAt(frame.data() + 10);
    *tid = static_cast<uint8_t>(frame[17] >> 4);
    return true;
}

}  // namespace

bool DataAir::BlockAck(const Bytes& frame, const sim::air::FrameAddresses& a, const sim::air::Reception& rx)
{
    std::optional<sim::air::AddbaFields> f = sim::air::ReadAddba(frame.data(), frame.size());
    const bool delba = frame.size() >= sim::air::kMgmtHeaderLength + 6 && sim::air::Le16(frame.data()) == sim::air::kFcAction &&
                       frame[sim::air::kMgmtHeaderLength] == sim::air::kCategoryBlockAck &&
                       frame[sim::air::kMgmtHeaderLength + 1] == sim::air::kBaActionDelba;
    if ((!f || f->action != sim::air::kBaActionAddbaRequest) && !delba) {
        return false;
    }
    uint8_t wlanIndex = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = peers_.find(a.a2);
        if (it == peers_.end() || sim::air::IsGroup(a.a1)) {
            return true;  // the firmware answers only the peers it holds a station record of
        }
        wlanIndex = it->second.first;
        ++record_.blockAckFrames;
    }
    if (delba) {
        // DELBA parameter set: initiator bit 11, TID bits 12-15.
        const uint16_t parameters = sim::air::Le16(frame.data() + sim::air::kMgmtHeaderLength + 2);
        const uint8_t tid = static_cast<uint8_t>(parameters >> 12);
        timeline_.At(rx.time, [this, wlanIndex, tid](int64_t) { data_.ReportRxDelba(wlanIndex, tid); });
        return true;
    }
    const uint16_t window = f->window == 0 || f->window > sim::air::kMaxBaWindow ? sim::air::kMaxBaWindow : f->window;
    const sim::air::Bytes answer = sim::air::AddbaResponseFrame(a.a2, a.a1, a.a3, f->token, 0, f->tid, window,
                                                                f->timeout, 0);
    const sim::air::AddbaFields request = *f;
    timeline_.At(rx.time, [this, wlanIndex, request, window, answer](int64_t) {
        (void)radio_.SendFrame(answer);
        data_.ReportRxAddba(wlanIndex, request.tid, request.startSequence, window, request.timeout);
    });
    return true;
}

void DataAir::Heard(const Bytes& frame, const sim::air::Reception& rx)
{
    sim::air::Mac barFrom{};
    uint8_t barTid = 0;
    if (ReadBar(frame, &barFrom, &barTid)) {
        sim::chip::RxdFields fields;
        fields.unicast = true;
        fields.channel = rx.channel.number;
        fields.tid = barTid;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = peers_.find(barFrom);
            if (it == peers_.end()) {
                ++record_.unknownPeer;
                return;
            }
            fields.wlanIndex = it->second.first;
            fields.bssIndex = it->second.second;
            ++record_.received;
        }
        timeline_.At(rx.time, [this, frame, fields](int64_t) { data_.Receive(frame, fields); });
        return;
    }
    std::optional<sim::air::FrameAddresses> a = sim::air::ReadAddresses(frame.data(), frame.size());
    if (!a) {
        return;
    }
    if (BlockAck(frame, *a, rx)) {
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
