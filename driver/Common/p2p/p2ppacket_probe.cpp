// Wi-Fi Direct frames: the check of a probe request that a P2P device in its listen phase may answer.
#include <cstring>

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "Common/p2p/p2ppacket_wire.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kHeaderLen = 24;
constexpr UCHAR kEidSsid = 0;
constexpr UCHAR kEidRates = 1;
constexpr UCHAR kEidExtRates = 50;
constexpr UCHAR kEidVendor = 221;
constexpr char kWildcardPrefix[] = "DIRECT-";
constexpr ULONG kPrefixLen = sizeof(kWildcardPrefix) - 1;

bool IsDsssRate(UCHAR rate)
{
    rate &= 0x7F;
    return rate == 2 || rate == 4 || rate == 11 || rate == 22;
}

// Appends count bytes to a collection buffer while they fit; FALSE (traced) when they do not.
bool Append(PUCHAR buffer, ULONG capacity, PULONG length, const UCHAR* bytes, ULONG count, const char* what)
{
    if (*length + count > capacity) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "PeerP2pProbeReqSanity: %u %s bytes past the %u collected dropped",
                 count, what, *length);
        return false;
    }
    PlatformMoveMemory(buffer + *length, bytes, count);
    *length += count;
    return true;
}

}  // namespace

BOOLEAN PeerP2pProbeReqSanity(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG frameLen,
                              PUCHAR transmitter, PUCHAR ssid, PUCHAR ssidLen, PULONG p2pLen, PUCHAR p2pBuffer,
                              PULONG wpsLen, PUCHAR wpsBuffer)
{
    *ssidLen = 0;
    *p2pLen = 0;
    *wpsLen = 0;
    if (adapter == nullptr || port == nullptr || frame == nullptr || frameLen < kHeaderLen) {
        return FALSE;
    }
    PlatformMoveMemory(transmitter, frame + 10, P2P_ADDR_LEN);
    if (frameLen < kHeaderLen + 2 || frameLen < kHeaderLen + 2 + frame[kHeaderLen + 1]) {
        return FALSE;
    }

    bool p2pSeen = false;
    bool wpsSeen = false;
    bool nonDsssRate = false;
    ULONG offset = kHeaderLen;
    while (offset + 2 <= frameLen && offset + 2 + frame[offset + 1] <= frameLen) {
        const UCHAR id = frame[offset];
        const UCHAR len = frame[offset + 1];
        const UCHAR* body = frame + offset + 2;
        switch (id) {
        case kEidSsid:
            if (len <= P2P_SSID_MAX) {
                PlatformMoveMemory(ssid, body, len);
                *ssidLen = len;
            }
            break;
        case kEidRates:
        case kEidExtRates:
            for (ULONG i = 0; i < len; ++i) {
                nonDsssRate = nonDsssRate || !IsDsssRate(body[i]);
            }
            break;
        case kEidVendor:
            if (len > 4 && memcmp(body, kWpsOui, sizeof(kWpsOui)) == 0) {
                if (!wpsSeen) {
                    wpsSeen = Append(wpsBuffer, P2P_PROBE_WPS_BUFFER_SIZE, wpsLen, frame + offset, len + 2u, "WPS");
                } else {
                    Append(wpsBuffer, P2P_PROBE_WPS_BUFFER_SIZE, wpsLen, body + 4, len - 4u, "WPS");
                }
            } else if (len > 4 && memcmp(body, kP2pOui, sizeof(kP2pOui)) == 0) {
                if (!p2pSeen) {
                    p2pSeen = Append(p2pBuffer, P2P_PROBE_P2P_BUFFER_SIZE, p2pLen, body, len, "P2P");
                } else {
                    Append(p2pBuffer, P2P_PROBE_P2P_BUFFER_SIZE, p2pLen, body + 4, len - 4u, "P2P");
                }
            }
            break;
        default:
            break;
        }
        offset += 2u + len;
    }
    // A station limited to 802.11b rates (or naming no rates) is no P2P device.
    if (!nonDsssRate) {
        p2pSeen = false;
    }
    if (*ssidLen < kPrefixLen || memcmp(ssid, kWildcardPrefix, kPrefixLen) != 0) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_P2P, "%s: SSID of %u bytes is not the P2P wildcard", __func__, *ssidLen);
        return FALSE;
    }
    if (port->P2pRole == P2P_ROLE_GROUP_OWNER && (adapter->RegistryBlock.CertReg & 0x1) != 0) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_P2P, "%s: a certification group owner does not answer here", __func__);
        return FALSE;
    }
    return p2pSeen && *p2pLen > 4 ? TRUE : FALSE;
}
