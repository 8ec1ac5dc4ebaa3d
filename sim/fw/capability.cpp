// The chip capability report of the RAM code.
#include "fw/capability.h"

#include "fw/events.h"

namespace sim::fw {

std::vector<CapabilityRecord> CapabilityRecords(const ChipCapabilities& caps)
{
    std::vector<CapabilityRecord> records;
    records.push_back({kCapTagMacAddress, std::vector<uint8_t>(caps.macAddress.begin(), caps.macAddress.end())});
    std::vector<uint8_t> phy(kCapPhyLength, 0);
    phy[4] = caps.streams;
    phy[6] = caps.txLdpc;
    phy[7] = caps.rxLdpc;
    phy[10] = caps.phyPath;
    records.push_back({kCapTagPhy, phy});
    records.push_back({kCapTag6Ghz, {caps.sixGhz, 0, 0, 0}});
    records.push_back({kCapTagFactoryCal, {caps.factoryCal, 0, 0, 0}});
    records.insert(records.end(), caps.extra.begin(), caps.extra.end());
    return records;
}

std::vector<CapabilityRecord> LegacyExtraCapabilityRecords()
{
    std::vector<CapabilityRecord> records;
    std::vector<uint8_t> tag0;
    for (uint32_t word : {0x00010002u, 0x00000300u, 0x0000001Fu, 0x00000000u}) {
        AppendU32(tag0, word);
    }
    records.push_back({kCapTag0, tag0});
    std::vector<uint8_t> tag1;
    AppendU32(tag1, 0x00000002u);
    AppendU32(tag1, 0x00000001u);
    records.push_back({kCapTag1, tag1});
    std::vector<uint8_t> tag2;
    AppendU32(tag2, 0x00000010u);
    records.push_back({kCapTag2, tag2});
    records.push_back({kCapTag3, {1, 0, 0, 0}});
    records.push_back({0x05, {0, 0, 0, 0, 0, 0, 0, 0}});
    return records;
}

std::vector<uint8_t> EncodeChipCapabilityPayload(const std::vector<CapabilityRecord>& records)
{
    std::vector<uint8_t> payload;
    AppendU16(payload, static_cast<uint16_t>(records.size()));
    AppendU16(payload, 0);
    for (const CapabilityRecord& r : records) {
        AppendU32(payload, r.tag);
        AppendU32(payload, static_cast<uint32_t>(r.value.size()));
        payload.insert(payload.end(), r.value.begin(), r.value.end());
    }
    return payload;
}

}  // namespace sim::fw
