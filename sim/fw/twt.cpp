// Target wake time as the firmware sees it.
#include "fw/twt.h"

#include "fw/unified_events.h"
#include "kshim/host/control.h"

namespace sim::fw {
namespace {

constexpr uint8_t kCmdExtended = 0xED;
constexpr uint8_t kExtAgreementUpdate = 0x94;
constexpr uint8_t kExtGetTsf = 0x3C;
constexpr uint16_t kUniCmdAgreementUpdate = 0x14;
constexpr size_t kAgreementLength = 44;
constexpr size_t kUnifiedAgreementValue = 28;  // the legacy bytes 0-27
constexpr size_t kLegacyTsfPayload = 40;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }

TwtAgreementUpdate FromBytes(const uint8_t* b)
{
    TwtAgreementUpdate u;
    u.slot = b[0];
    u.action = b[1];
    u.ownMacIndex = b[2];
    u.flowId = b[3];
    u.wlanIndex = U16(b + 4);
    u.minWakeDuration = b[6];
    u.bssIndex = b[7];
    u.targetWakeTime = U32(b + 8) | (static_cast<uint64_t>(U32(b + 12)) << 32);
    u.mantissa = U16(b + 16);
    u.exponent = b[18];
    u.flags = b[20];
    return u;
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

std::optional<TwtAgreementUpdate> DecodeTwtAgreementUpdate(const LegacyCommand& command)
{
    if (command.cmdId != kCmdExtended || command.extCmdId != kExtAgreementUpdate ||
        command.payload.size() != kAgreementLength) {
        return std::nullopt;
    }
    return FromBytes(command.payload.data());
}

std::optional<TwtAgreementUpdate> DecodeTwtAgreementUpdate(const UnifiedCommand& command)
{
    if (command.cmdId != kUniCmdAgreementUpdate) {
        return std::nullopt;
    }
    const UniTlv* tlv = command.Find(0);
    if (tlv == nullptr || tlv->value.size() < kUnifiedAgreementValue) {
        return std::nullopt;
    }
    return FromBytes(tlv->value.data());
}

std::optional<uint8_t> TsfQueryBssIndex(const LegacyCommand& command)
{
    if (command.cmdId != kCmdExtended || command.extCmdId != kExtGetTsf || command.payload.size() < 5) {
        return std::nullopt;
    }
    return command.payload[4];
}

std::optional<uint8_t> TsfQueryBssIndex(const UnifiedCommand& command)
{
    if (command.cmdId != kUniCmdGetTsfQuery) {
        return std::nullopt;
    }
    const UniTlv* tlv = command.Find(0);
    if (tlv == nullptr || tlv->value.size() < 2) {
        return std::nullopt;
    }
    return tlv->value[1];
}

std::vector<uint8_t> LegacyTsfPayload(uint8_t bssIndex, uint64_t tsf, size_t payloadLength)
{
    std::vector<uint8_t> payload(payloadLength == 0 ? kLegacyTsfPayload : payloadLength, 0);
    if (payload.size() >= 5) {
        payload[0] = 2;
        payload[4] = bssIndex;
    }
    if (payload.size() >= kLegacyTsfPayload) {
        PutU32(payload, 32, static_cast<uint32_t>(tsf));
        PutU32(payload, 36, static_cast<uint32_t>(tsf >> 32));
    }
    return payload;
}

std::vector<uint8_t> UnifiedTsfValue(uint8_t bssIndex, uint64_t tsf)
{
    // Payload: fixed part (4), TLV header (4), value of 24 bytes whose bytes 16-19 and 20-23 are
    // payload bytes 24 and 28.
    std::vector<uint8_t> value(24, 0);
    value[0] = bssIndex;
    PutU32(value, 16, static_cast<uint32_t>(tsf));
    PutU32(value, 20, static_cast<uint32_t>(tsf >> 32));
    return value;
}

std::vector<uint8_t> TsfAnswer(Generation generation, uint8_t seq, uint8_t bssIndex, uint64_t tsf, size_t payloadLength)
{
    if (generation == Generation::Third) {
        return EncodeUnifiedEvent(static_cast<uint8_t>(kUniCmdGetTsfQuery), seq, {0, 0, 0, 0},
                                  {UniTlv{0, UnifiedTsfValue(bssIndex, tsf)}});
    }
    EventHeader header;
    header.id = kCmdExtended;
    header.extId = kExtGetTsf;
    header.seq = seq;
    return EncodeRamEvent(generation, header, LegacyTsfPayload(bssIndex, tsf, payloadLength));
}

uint64_t ChipTsf()
{
    return static_cast<uint64_t>(kshim::host::ClockNow()) / 10;
}

}  // namespace sim::fw
