// The order of the connect attempt's candidates: the dual-band concurrency ranking and the retry
// filling and sort.
#include <cstring>

#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesync.h"
#include "Common/p2p/p2p.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr LONG kBand24 = 1;
constexpr LONG kBand5 = 2;
constexpr LONG kBand6 = 3;
constexpr int kLift = 20;
constexpr ULONG kRetryListLength = 5;

bool DfsChannel(UCHAR channel) { return (channel >= 50 && channel <= 64) || (channel >= 100 && channel <= 144); }

USHORT Lowered(int score) { return static_cast<USHORT>(score < 0 ? 0 : score); }
USHORT Raised(int score) { return static_cast<USHORT>(score > 0xFFFF ? 0xFFFF : score); }
int Max(int a, int b) { return a > b ? a : b; }
int Min(int a, int b) { return a < b ? a : b; }

// The last candidate on the band, skipping one BSSID (null: none skipped); -1 for none.
LONG LastOnBand(const BSS_TABLE* list, ULONG count, LONG band, const UCHAR* skip)
{
    LONG found = -1;
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = list->BssEntry[i];
        if (e.Band == band && (skip == nullptr || std::memcmp(e.Bssid, skip, 6) != 0)) {
            found = static_cast<LONG>(i);
        }
    }
    return found;
}

}  // namespace

VOID ReArrangeDbdcConnCandidate(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE candidates)
{
    UNREFERENCED_PARAMETER(port);
    if (adapter->Mlme.Cntl.DbdcCompanion) {
        return;
    }
    // The concurrent group: a group owner that is up, else a linked Wi-Fi Direct client.
    PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
    PMP_PORT client = MlmeSyncGetPortByType(adapter, WFD_CLIENT);
    const ULONG roleFlags = adapter->P2pBlock != nullptr ? adapter->P2pBlock->P2pRoleFlags : 0;
    PMP_PORT group = nullptr;
    if (go != nullptr && go->Active && (roleFlags & P2P_ROLE_GO_UP) != 0) {
        group = go;
    } else if (client != nullptr && client->Active && (client->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0) {
        group = client;
    }
    if (group == nullptr) {
        return;
    }
    const bool g5 = group->Channel.Band != static_cast<ULONG>(kBand24);
    bool p5 = false;
    bool p24 = false;
    if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_GROUP_BAND_FIRST) && go != nullptr && go->Active &&
        !go->P2pGoActive) {
        p5 = g5;
        p24 = !g5;
    }

    const ULONG count = candidates->EntryCount < CONNECT_CANDIDATE_MAX ? candidates->EntryCount : CONNECT_CANDIDATE_MAX;
    const LONG c24 = LastOnBand(candidates, count, kBand24, nullptr);
    if (c24 < 0) {
        return;
    }
    const UCHAR* bssid24 = candidates->BssEntry[c24].Bssid;
    const LONG c5 = LastOnBand(candidates, count, kBand5, bssid24);
    const LONG c6 = LastOnBand(candidates, count, kBand6, bssid24);
    USHORT& s24 = candidates->BssEntry[c24].Score;
    const int s5 = c5 >= 0 ? candidates->BssEntry[c5].Score : 0;
    const int s6 = c6 >= 0 ? candidates->BssEntry[c6].Score : 0;

    if (g5) {
        // The group is on 5 or 6 GHz: bring the station to 2.4 GHz.
        if (c5 >= 0 && c6 >= 0) {
            if (!p5) {
                if (s24 < s5 || s24 < s6) {
                    s24 = Raised(Max(s5, s6) + kLift);
                }
            } else if (DfsChannel(candidates->BssEntry[c5].Channel)) {
                s24 = Raised(Max(s5, s6) + kLift);
            } else {
                candidates->BssEntry[c5].Score = Raised(Max(s24, s6) + kLift);
            }
        } else if (c5 >= 0) {
            if (!p5) {
                if (s24 < s5) {
                    s24 = Raised(s5 + kLift);
                }
            } else if (DfsChannel(candidates->BssEntry[c5].Channel)) {
                s24 = Raised(s5 + kLift);
            } else {
                candidates->BssEntry[c5].Score = Raised(Max(s24, s5) + kLift);
            }
        } else if (c6 >= 0) {
            if (s24 < s6 || p5) {
                s24 = Raised(s6 + kLift);
            }
        }
        return;
    }
    // The group is on 2.4 GHz: move the station away from it.
    if (c5 >= 0 && c6 >= 0) {
        if (!p24) {
            if (s24 > s5 || s24 > s6) {
                s24 = Lowered(Min(s5, s6) - kLift);
            }
        } else if (s24 < s5 || s24 < s6) {
            s24 = Raised(Max(s5, s6) + kLift);
        }
    } else if (c5 >= 0 || c6 >= 0) {
        const int s = c5 >= 0 ? s5 : s6;
        if (!p24) {
            if (s24 > s) {
                s24 = Lowered(s - kLift);
            }
        } else if (s24 < s) {
            s24 = Raised(s + kLift);
        }
    }
}

VOID ReArrangeConnCandidate(PMP_ADAPTER adapter, PBSS_TABLE candidates)
{
    const ULONG count = candidates->EntryCount;
    if (count < 1 || count >= kRetryListLength) {
        return;
    }
    // A short list is tried more than once: repeat it from the front up to five entries.
    for (ULONG i = count; i < kRetryListLength; ++i) {
        std::memcpy(&candidates->BssEntry[i], &candidates->BssEntry[i - count], sizeof(BSS_ENTRY));
    }
    candidates->EntryCount = static_cast<USHORT>(kRetryListLength);

    PBSS_ENTRY swap = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&swap), sizeof(BSS_ENTRY), TAG_ZV06))) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "candidate sort: no swap buffer, the list stays unsorted");
        return;
    }
    for (ULONG j = 0; j + 1 < kRetryListLength; ++j) {
        for (ULONG k = j + 1; k < kRetryListLength; ++k) {
            if (candidates->BssEntry[k].Score > candidates->BssEntry[j].Score) {
                std::memcpy(swap, &candidates->BssEntry[j], sizeof(BSS_ENTRY));
                std::memcpy(&candidates->BssEntry[j], &candidates->BssEntry[k], sizeof(BSS_ENTRY));
                std::memcpy(&candidates->BssEntry[k], swap, sizeof(BSS_ENTRY));
            }
        }
    }
    PlatformFreeMemory(swap, sizeof(BSS_ENTRY));
}
