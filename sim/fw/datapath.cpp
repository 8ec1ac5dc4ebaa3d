// The firmware's data path.
#include "fw/datapath.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "fw/events.h"
#include "fw/unified_events.h"

namespace sim::fw {

using sim::chip::RxdGeneration;
using sim::chip::RxRole;

namespace {

constexpr size_t kHeader = 24;
constexpr size_t kQosControl = 2;
constexpr size_t kCopyPadding = 2;
constexpr size_t kHtControl = 4;
constexpr uint8_t kLegacyRxAddba = 0x0A;
constexpr uint8_t kLegacyRxDelba = 0x0B;
constexpr uint8_t kLegacyTxAddba = 0x2E;
constexpr uint8_t kUniBaOffload = 0x2C;
constexpr uint8_t kLegacyTxStatus = 0x0F;
constexpr uint8_t kUniTxStatus = 0x2D;
constexpr size_t kTxStatusLength = 28;
constexpr uint8_t kNonQosTid = 16;

RxdGeneration RxGenOf(Generation g)
{
    return g == Generation::Older ? RxdGeneration::Older : g == Generation::Third ? RxdGeneration::Third : RxdGeneration::Second;
}

uint64_t AddressKey(const uint8_t* a)
{
    uint64_t k = 0;
    for (int i = 0; i < 6; ++i) {
        k = (k << 8) | a[i];
    }
    return k;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

bool AirFrameOf(const std::vector<uint8_t>& gathered, uint16_t* sequence, std::vector<uint8_t>* out)
{
    if (gathered.size() < kHeader) {
        return false;
    }
    const bool data = ((gathered[0] >> 2) & 0x3) == 2;
    const bool qos = data && (gathered[0] & 0x80) != 0;
    const bool order = (gathered[1] & 0x80) != 0;
    size_t headerCopy = kHeader;
    if (qos) {
        headerCopy += kQosControl + kCopyPadding;
        if (gathered.size() < headerCopy) {
            return false;
        }
    }
    out->assign(gathered.begin(), gathered.begin() + kHeader + (qos ? kQosControl : 0));
    if (qos && order) {
        out->insert(out->end(), kHtControl, 0);  // the device inserts the HT control field (zero)
    }
    out->insert(out->end(), gathered.begin() + headerCopy, gathered.end());
    if (data && sequence != nullptr) {
        const uint16_t s = *sequence & 0x0FFF;
        (*out)[22] = static_cast<uint8_t>(((*out)[22] & 0x0F) | ((s & 0x0F) << 4));
        (*out)[23] = static_cast<uint8_t>(s >> 4);
        *sequence = static_cast<uint16_t>((s + 1) & 0x0FFF);
    }
    return true;
}

DataPath::DataPath(sim::chip::Chip& chip, EventRingWriter& events)
    : chip_(chip),
      events_(events),
      rxGen_(RxGenOf(chip.model().generation)),
      reports_(chip, chip.rings().RxRing(RxRole::Reports)),
      frames_(chip, chip.rings().RxRing(RxRole::Frames))
{
    if (chip_.rings().present) {
        chip_.SetDataFrameConsumer([this](const sim::chip::DataFrame& f) { OnFrame(f); });
    }
}

DataPath::~DataPath()
{
    if (chip_.rings().present) {
        chip_.SetDataFrameConsumer(nullptr);
    }
}

void DataPath::SetAirSink(AirSink sink)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = std::move(sink);
}

void DataPath::OnFrame(const sim::chip::DataFrame& f)
{
    SentDataFrame air;
    air.token = f.token;
    air.ring = f.ring;
    std::memcpy(air.txd, f.txd, sizeof(air.txd));
    std::vector<uint16_t> report;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (f.frame.size() < kHeader) {
            faults_.push_back("data frame shorter than its header");
            return;
        }
        const bool qos = (f.frame[0] & 0x8C) == 0x88;
        const uint8_t tid = qos && f.frame.size() > kHeader ? static_cast<uint8_t>(f.frame[kHeader] & 0x0F) : kNonQosTid;
        uint16_t& next = sequence_[{AddressKey(f.frame.data() + 4), tid}];
        if (!AirFrameOf(f.frame, &next, &air.bytes)) {
            faults_.push_back("data frame shorter than its header copy");
            return;
        }
        if (sink_) {
            sink_(air);
        }
        if (hold_) {
            held_.push_back(f.token);
        } else {
            report.push_back(f.token);
        }
    }
    ++sent_;
    if (!report.empty()) {
        reports_.Write({sim::chip::BuildTxDoneReport(rxGen_, 5, sim::chip::TxDoneFormat5(report))}, 0);
    }
}

void DataPath::SendManagement(const uint8_t* buffer, size_t length, unsigned ring)
{
    if (length < 32 + kHeader - 14) {  // a control frame may be 10 bytes
        std::lock_guard<std::mutex> lock(mutex_);
        faults_.push_back("management buffer shorter than its descriptor and a frame");
        return;
    }
    const uint32_t word0 = buffer[0] | (buffer[1] << 8);
    const size_t frameLength = word0 >= 32 ? std::min<size_t>(word0 - 32, length - 32) : 0;
    SentDataFrame air;
    air.ring = ring;
    std::memcpy(air.txd, buffer, sizeof(air.txd));
    air.bytes.assign(buffer + 32, buffer + 32 + frameLength);
    std::lock_guard<std::mutex> lock(mutex_);
    ++managementSent_;
    if (sink_) {
        sink_(air);
    }
}

void DataPath::HoldReports(bool hold)
{
    std::vector<uint16_t> release;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hold_ = hold;
        if (!hold) {
            release.swap(held_);
        }
    }
    // Many tokens per report, as the device batches them; at most 100 entries (200 tokens) each.
    for (size_t at = 0; at < release.size(); at += 200) {
        std::vector<uint16_t> part(release.begin() + static_cast<long>(at),
                                   release.begin() + static_cast<long>(std::min(release.size(), at + 200)));
        reports_.Write({sim::chip::BuildTxDoneReport(rxGen_, 5, sim::chip::TxDoneFormat5(part))}, 0);
    }
}

uint64_t DataPath::ReportsWritten() const { return reports_.Written(); }

void DataPath::Receive(const std::vector<uint8_t>& frame, const sim::chip::RxdFields& fields)
{
    frames_.Write({sim::chip::BuildRxFrame(rxGen_, fields, frame)}, 0);
}

uint64_t DataPath::FramesWritten() const { return frames_.Written(); }

void DataPath::WriteEvent(uint8_t legacyId, const std::vector<uint8_t>& legacyPayload, uint16_t uniTag,
                          const std::vector<uint8_t>& uniValue, uint8_t uniEventId)
{
    const Generation g = chip_.model().generation;
    if (g == Generation::Third) {
        // A 4-byte fixed part, then one TLV.
        events_.Write({EncodeUnifiedEvent(uniEventId, 0, std::vector<uint8_t>(4, 0), {UniTlv{uniTag, uniValue}})}, 0);
        return;
    }
    EventHeader header;
    header.id = legacyId;
    events_.Write({EncodeRamEvent(g, header, legacyPayload)}, 0);
}

void DataPath::ReportTxStatus(uint8_t packetId, uint8_t status, uint8_t wlanIndex)
{
    // Legacy 0x0F and unified 0x2D tag 0 carry the same 28 bytes: packet id, status, two reserved
    // bytes, the WLAN index, three reserved bytes, the flags (0: no extended report, no rate), then
    // the rate and counters (0).
    std::vector<uint8_t> report(kTxStatusLength, 0);
    report[0] = packetId;
    report[1] = status;
    report[4] = wlanIndex;
    WriteEvent(kLegacyTxStatus, report, 0, report, kUniTxStatus);
}

void DataPath::ReportRxAddba(uint8_t staRec, uint8_t tid, uint16_t startSequence, uint16_t bufferSize, uint16_t timeout)
{
    // Legacy 0x0A: record, a reserved byte, the parameter set (TID bits 2-5, buffer size bits 6-15),
    // the time-out, the starting sequence control, the buffer size's high part (units of 1024).
    std::vector<uint8_t> legacy(12, 0);
    legacy[0] = staRec;
    Put16(legacy, 2, static_cast<uint16_t>(((bufferSize & 0x3FF) << 6) | ((tid & 0xF) << 2)));
    Put16(legacy, 4, timeout);
    Put16(legacy, 6, static_cast<uint16_t>(startSequence << 4));
    Put16(legacy, 8, static_cast<uint16_t>(bufferSize >> 10));
    // Unified tag 0: record at value byte 0, the buffer size at 2, time-out at 4, sequence control at
    // 6, TID at 9.
    std::vector<uint8_t> value(10, 0);
    value[0] = staRec;
    Put16(value, 2, bufferSize);
    Put16(value, 4, timeout);
    Put16(value, 6, static_cast<uint16_t>(startSequence << 4));
    value[9] = tid;
    WriteEvent(kLegacyRxAddba, legacy, 0, value);
}

void DataPath::ReportRxDelba(uint8_t staRec, uint8_t tid)
{
    WriteEvent(kLegacyRxDelba, {staRec, tid, 0, 0}, 1, {staRec, 0, tid, 0});
}

void DataPath::ReportTxAddba(uint8_t staRec, uint8_t tid, uint16_t bufferSize)
{
    std::vector<uint8_t> legacy(32, 0);
    legacy[0] = staRec;
    legacy[1] = tid;
    Put16(legacy, 4, bufferSize);
    std::vector<uint8_t> value(11, 0);
    value[0] = staRec;
    Put16(value, 4, bufferSize);
    value[6] = tid;
    WriteEvent(kLegacyTxAddba, legacy, 2, value);
}

bool DataPath::WaitDelivered(unsigned ms) const
{
    return reports_.WaitDelivered(ms) && frames_.WaitDelivered(ms) && events_.WaitDelivered(ms);
}

std::vector<std::string> DataPath::Faults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

}  // namespace sim::fw
