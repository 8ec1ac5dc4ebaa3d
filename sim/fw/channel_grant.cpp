#include "fw/channel_grant.h"

namespace sim::fw {

std::optional<std::vector<uint8_t>> LegacyChannelGrant(const LegacyCommand& command)
{
    const std::vector<uint8_t>& p = command.payload;
    if (command.cmdId != kLegacyCmdChPrivilege || p.size() < 24 || p[2] != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> grant(p.begin(), p.begin() + 16);
    grant[2] = 0;  // status: granted
    return grant;
}

std::optional<std::vector<uint8_t>> UnifiedChannelGrant(const UnifiedCommand& command)
{
    const UniTlv* request = command.cmdId == kUniCmdChPrivilege ? command.Find(0) : nullptr;
    if (request == nullptr || request->value.size() < 18) {
        return std::nullopt;
    }
    const std::vector<uint8_t>& v = request->value;
    // {BSS index, token, status, primary, secondary offset, band, width, centre 0, centre 1, kind,
    //  band index, extra, u32 duration, 4 reserved}
    std::vector<uint8_t> grant(20, 0);
    grant[0] = v[0];
    grant[1] = v[1];
    grant[3] = v[2];
    grant[4] = v[3];
    grant[5] = v[4];
    grant[6] = v[5];
    grant[7] = v[6];
    grant[8] = v[7];
    grant[9] = v[11];
    grant[10] = v[16];
    grant[11] = v[17];
    for (int i = 0; i < 4; ++i) {
        grant[12 + i] = v[12 + i];
    }
    return grant;
}

}  // namespace sim::fw
