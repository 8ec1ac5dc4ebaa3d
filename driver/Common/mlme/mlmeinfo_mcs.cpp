// The supported-rate and MCS record of a peer.
#include "Common/mlme/mlmeinfo.h"

#include <cstring>

#include "Common/bss.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kDefaultRates[8] = {0x82, 0x84, 0x8B, 0x96, 0x12, 0x24, 0x48, 0x6C};
// Legacy rates in 500 kbit/s, in the order of the entry's flags.
constexpr UCHAR kCck[4] = {2, 4, 11, 22};
constexpr UCHAR kOfdm[8] = {12, 18, 24, 36, 48, 72, 96, 108};
// The HT Capabilities body: capability information (2), A-MPDU parameters (1), then the MCS set.
constexpr ULONG kHtMcsOffset = 3;
constexpr ULONG kHtMcsCount = 24;

bool McsBit(const UCHAR* set, ULONG mcs) { return (set[mcs / 8] & (1u << (mcs % 8))) != 0; }

}  // namespace

VOID MlmeInfoSetSupportMCS(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN legacyOnly, PMAC_TABLE_ENTRY entry,
                           const UCHAR* rates, UCHAR rateCount, const UCHAR* extRates, UCHAR extRateCount,
                           PVOID unused1, PVOID unused2, const UCHAR* htCapability, UCHAR htPresent)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(unused1);
    UNREFERENCED_PARAMETER(unused2);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MlmeInfoSetSupportMCS: no entry");
        return;
    }
    UCHAR list[MAC_ENTRY_PEER_RATES] = {};
    UCHAR count = 0;
    if (rateCount >= 1 && rateCount <= MAC_ENTRY_PEER_RATES && rates != nullptr) {
        std::memcpy(list, rates, rateCount);
        count = rateCount;
    } else if (rateCount > MAC_ENTRY_PEER_RATES) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "peer announces %u supported rates: the default eight are kept",
                 static_cast<unsigned>(rateCount));
        std::memcpy(list, kDefaultRates, sizeof(kDefaultRates));
        count = sizeof(kDefaultRates);
    }
    for (UCHAR i = 0; extRates != nullptr && i < extRateCount && count < MAC_ENTRY_PEER_RATES; ++i) {
        list[count++] = extRates[i];
    }
    entry->PeerRateCount = count;
    std::memcpy(entry->PeerRates, list, sizeof(list));
    UCHAR otherBasic = 0;
    bssParseSupportedRates(entry->PeerRates, count, nullptr, 0, &entry->SupportedRateBitmap, &entry->BasicRateBitmap,
                           &otherBasic);

    std::memset(entry->PeerCckFlags, 0, sizeof(entry->PeerCckFlags));
    std::memset(entry->PeerOfdmFlags, 0, sizeof(entry->PeerOfdmFlags));
    std::memset(entry->PeerHtMcsFlags, 0, sizeof(entry->PeerHtMcsFlags));
    entry->PeerRateClass = 0;
    for (UCHAR i = 0; i < count; ++i) {
        const UCHAR rate = static_cast<UCHAR>(list[i] & 0x7F);
        for (ULONG k = 0; k < sizeof(kCck); ++k) {
            if (rate == kCck[k]) {
                entry->PeerCckFlags[k] = 1;
                entry->PeerRateClass |= PEER_RATE_CLASS_CCK;
            }
        }
        for (ULONG k = 0; k < sizeof(kOfdm); ++k) {
            if (rate == kOfdm[k]) {
                entry->PeerOfdmFlags[k] = 1;
                entry->PeerRateClass |= PEER_RATE_CLASS_OFDM;
            }
        }
    }
    if (htPresent == 0 || legacyOnly || htCapability == nullptr || port == nullptr) {
        return;
    }
    const UCHAR* peerMcs = htCapability + kHtMcsOffset;
    for (ULONG mcs = kHtMcsCount; mcs-- > 0;) {
        if (McsBit(port->Rate.McsSet, mcs) && McsBit(peerMcs, mcs)) {
            entry->PeerHtMcsFlags[mcs] = 1;
            entry->PeerRateClass |= PEER_RATE_CLASS_HT;
        }
    }
}
