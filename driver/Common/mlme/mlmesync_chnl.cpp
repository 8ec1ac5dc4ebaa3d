// Channel lists derived from the adapter channel list.
#include "Common/mlme/mlmesync_chnl.h"

#include <cstring>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kAbDefaultChannels[] = {36, 40, 44, 48, 149, 153, 157, 161};
// The skip list AB_SKIP_CHANNELS: 5 GHz channels a group owner on the 5 GHz band leaves out.
constexpr UCHAR AB_SKIP_CHANNELS[AB_SKIP_CHANNEL_MAX] = {165};
constexpr ULONG kNoPick = 0xFFFFFFFFu;
constexpr ULONG kCountLimit = 100;  // a channel with this many APs or more is never picked

ULONG ChannelListCount(const MP_ADAPTER* adapter)
{
    return adapter->Country.ChannelListCount <= DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
}

ULONG ScanEntriesOnChannel(const MP_ADAPTER* adapter, UCHAR channel)
{
    const BSS_TABLE* table = adapter->ScanTable;
    if (table == nullptr) {
        return 0;
    }
    ULONG count = table->EntryCount < MAX_LEN_OF_BSS_TABLE ? table->EntryCount : MAX_LEN_OF_BSS_TABLE;
    ULONG n = 0;
    for (ULONG i = 0; i < count; ++i) {
        if (table->BssEntry[i].Channel == channel) {
            ++n;
        }
    }
    return n;
}

// The 5 GHz list as it stands: its default channels until the first build.
void AbListEnsure(AB_CHANNEL_LIST& list)
{
    if (list.Built) {
        return;
    }
    list.Built = 1;
    list.Count = static_cast<LONG>(sizeof(kAbDefaultChannels));
    for (ULONG i = 0; i < sizeof(kAbDefaultChannels); ++i) {
        list.Records[i].Channel = kAbDefaultChannels[i];
        list.Records[i].ApCount = 0;
    }
}

// The first record with the lowest count below 100 among those the filter accepts; kNoPick when none.
template <typename CountOf, typename Accept>
ULONG FirstLowest(ULONG records, CountOf countOf, Accept accept)
{
    ULONG pick = kNoPick;
    ULONG best = kCountLimit;
    for (ULONG i = 0; i < records; ++i) {
        if (!accept(i)) {
            continue;
        }
        ULONG c = countOf(i);
        if (c < best) {
            best = c;
            pick = i;
        }
    }
    return pick;
}

// The low pick wins when both exist and its count is strictly lower; else the high pick; else the
// only one; kNoPick when neither exists.
template <typename CountOf>
ULONG ChooseLowHigh(ULONG low, ULONG high, CountOf countOf)
{
    if (low != kNoPick && high != kNoPick) {
        return countOf(low) < countOf(high) ? low : high;
    }
    return low != kNoPick ? low : high;
}

void DumpGoList(const char* name, const GO_PREFERRED_LIST& list)
{
    ULONG n = list.Count <= GO_PREFERRED_CHANNEL_MAX ? list.Count : GO_PREFERRED_CHANNEL_MAX;
    for (ULONG i = 0; i < n; ++i) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "%s: ch %u count %u phy %u", name, list.Records[i].Channel,
                 static_cast<unsigned>(list.Records[i].ApCount), list.Records[i].PhyMode);
    }
}

}  // namespace

void MlmeCreateABChannelList(PMP_ADAPTER adapter)
{
    AB_CHANNEL_LIST& list = adapter->ChannelLists.AbList;
    AbListEnsure(list);
    ULONG count = ChannelListCount(adapter);
    LONG taken = 0;
    for (ULONG i = 0; i < count; ++i) {
        const DOMAIN_CHANNEL_ENTRY& c = adapter->Country.ChannelList[i];
        if (c.Band != BAND_5G || (c.Channel >= 50 && c.Channel <= 64) || (c.Channel >= 100 && c.Channel <= 144)) {
            continue;
        }
        if (adapter->RegistryBlock.P2P_GO_Band == 2 && MlmeCheckABSkipChannel(c.Channel)) {
            continue;
        }
        if (taken == AB_CHANNEL_MAX) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "5 GHz list full at %d channels", AB_CHANNEL_MAX);
            break;
        }
        if (taken == 0) {
            std::memset(list.Records, 0, sizeof(list.Records));  // the first taken channel empties the list
        }
        list.Records[taken].Channel = c.Channel;
        list.Records[taken].ApCount = 0;
        ++taken;
    }
    if (taken != 0) {
        list.Count = taken;
    }
}

void MlmeCreateAllChannelList(PMP_ADAPTER adapter)
{
    ALL_CHANNEL_LIST& list = adapter->ChannelLists.AllList;
    ULONG count = ChannelListCount(adapter);
    if (count == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "all-channel list: the adapter channel list is empty");
        return;
    }
    for (ULONG i = 0; i < count; ++i) {
        list.Records[i].Channel = adapter->Country.ChannelList[i].Channel;
        list.Records[i].Band = static_cast<UCHAR>(adapter->Country.ChannelList[i].Band & 0xFF);
        list.Records[i].Seen = 0;
        list.Records[i].Count = 0;
    }
    list.Count = static_cast<LONG>(count);
}

BOOLEAN MlmeCheckABSkipChannel(UCHAR channel)
{
    if (channel == 0) {
        return FALSE;
    }
    for (UCHAR skip : AB_SKIP_CHANNELS) {
        if (skip == channel) {
            return TRUE;
        }
    }
    return FALSE;
}

void MlmeUpdateABCleanChannelList(PMP_ADAPTER adapter)
{
    AB_CHANNEL_LIST& list = adapter->ChannelLists.AbList;
    AbListEnsure(list);
    ULONG records = list.Count < 0 ? 0 : (list.Count < AB_CHANNEL_MAX ? static_cast<ULONG>(list.Count) : AB_CHANNEL_MAX);
    for (ULONG i = 0; i < records; ++i) {
        ULONG n = ScanEntriesOnChannel(adapter, list.Records[i].Channel);
        list.Records[i].ApCount = static_cast<UCHAR>(n < 0xFF ? n : 0xFF);
    }
    auto countOf = [&](ULONG i) { return static_cast<ULONG>(list.Records[i].ApCount); };
    ULONG high = FirstLowest(records, countOf, [&](ULONG i) { return list.Records[i].Channel >= 100; });
    ULONG low = FirstLowest(records, countOf, [&](ULONG i) { return list.Records[i].Channel < 100; });
    ULONG pick = ChooseLowHigh(low, high, countOf);
    adapter->ChannelLists.AbCleanChannel = pick != kNoPick ? list.Records[pick].Channel : list.Records[0].Channel;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "clean 5 GHz channel %u", adapter->ChannelLists.AbCleanChannel);
}

void MlmeUpdateGoPreferredCleanChannelList(PMP_ADAPTER adapter)
{
    MLME_CHANNEL_LISTS& lists = adapter->ChannelLists;
    if (!lists.GoPreferredEnable) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "group-owner preferred channels off");
        return;
    }
    GO_PREFERRED_LIST& l5 = lists.GoPreferred5G;
    GO_PREFERRED_LIST& l24 = lists.GoPreferred24G;
    ULONG n5 = l5.Count <= GO_PREFERRED_CHANNEL_MAX ? l5.Count : GO_PREFERRED_CHANNEL_MAX;
    ULONG n24 = l24.Count <= GO_PREFERRED_CHANNEL_MAX ? l24.Count : GO_PREFERRED_CHANNEL_MAX;
    UCHAR channel = 0;
    UCHAR phyMode = 0;

    for (ULONG i = 0; i < n5; ++i) {
        l5.Records[i].ApCount = ScanEntriesOnChannel(adapter, l5.Records[i].Channel);
    }
    auto count5 = [&](ULONG i) { return l5.Records[i].ApCount; };
    ULONG high = FirstLowest(n5, count5, [&](ULONG i) {
        UCHAR ch = l5.Records[i].Channel;
        return ch >= 100 && !(ch == 165 && n5 > 1);
    });
    ULONG low = FirstLowest(n5, count5, [&](ULONG i) { return l5.Records[i].Channel < 100; });
    ULONG pick = ChooseLowHigh(low, high, count5);
    if (pick == kNoPick && n5 != 0) {
        pick = 0;
    }
    if (pick != kNoPick) {
        channel = l5.Records[pick].Channel;
        phyMode = l5.Records[pick].PhyMode;
    }

    if (channel == 0) {
        for (ULONG i = 0; i < n24; ++i) {
            l24.Records[i].ApCount = ScanEntriesOnChannel(adapter, l24.Records[i].Channel);
        }
        ULONG p24 = FirstLowest(n24, [&](ULONG i) { return l24.Records[i].ApCount; }, [](ULONG) { return true; });
        if (p24 != kNoPick) {
            channel = l24.Records[p24].Channel;
            phyMode = 0;
        } else if (n24 != 0) {
            channel = l24.Records[0].Channel;
            phyMode = l24.Records[0].PhyMode;
        } else {
            channel = 0;
            phyMode = 0;
        }
    }
    lists.GoPreferredChannel = channel;
    lists.GoPreferredPhyMode = phyMode;
    MlmeDumpGoPreferredChannelList(adapter);
}

void MlmeDumpGoPreferredChannelList(PMP_ADAPTER adapter)
{
    const MLME_CHANNEL_LISTS& lists = adapter->ChannelLists;
    if (!lists.GoPreferredEnable) {
        return;
    }
    DumpGoList("GO 5 GHz", lists.GoPreferred5G);
    DumpGoList("GO 2.4 GHz", lists.GoPreferred24G);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "GO preferred channel %u phy %u", lists.GoPreferredChannel,
             lists.GoPreferredPhyMode);
}

BOOLEAN ChannelIsInChannelList(PMP_ADAPTER adapter, UCHAR channel, UCHAR selector)
{
    ULONG count = ChannelListCount(adapter);
    for (ULONG i = 0; i < count; ++i) {
        const DOMAIN_CHANNEL_ENTRY& c = adapter->Country.ChannelList[i];
        if (c.Channel != channel) {
            continue;
        }
        bool inPart = selector == CHANNEL_SEL_24G_5G ? (c.Band == BAND_24G || c.Band == BAND_5G)
                      : selector == CHANNEL_SEL_6G   ? c.Band == BAND_6G
                                                     : true;
        if (inPart) {
            return TRUE;
        }
    }
    return FALSE;
}

void MlmeSyncChnlSetObssMark(PMP_ADAPTER adapter)
{
    ULONG count = ChannelListCount(adapter);
    for (ULONG i = 0; i < count; ++i) {
        DOMAIN_CHANNEL_ENTRY& c = adapter->Country.ChannelList[i];
        if (c.Band == BAND_24G && c.Channel <= 14) {
            c.Mark = 1;
        }
    }
}

void MlmeSyncEraseChnlObssMark(PMP_ADAPTER adapter)
{
    ULONG count = ChannelListCount(adapter);
    for (ULONG i = 0; i < count; ++i) {
        adapter->Country.ChannelList[i].Mark = 0;
    }
}
