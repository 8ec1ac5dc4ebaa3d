// PHY-configuration word accessors and the primary-channel location.
#include "hal/common/phy_cfg.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

// A field: its lowest bit and its width in bits; width 0 means the layout has no such field.
struct PhyField {
    ULONG shift;
    ULONG width;
};

struct PhyLayout {
    PhyField mcs;
    PhyField nss;
    PhyField bw;
    PhyField shortGi;
    PhyField stbc;
    PhyField ldpc;
    PhyField mode;
};

constexpr PhyLayout kLayout2 = {
    {0, 7}, {17, 2}, {7, 3}, {10, 1}, {11, 1}, {0, 0}, {14, 3},
};
constexpr PhyLayout kOtherLayout = {
    {0, 7}, {3, 4}, {7, 1}, {8, 1}, {9, 2}, {13, 1}, {14, 2},
};
// Layout 2 reads its (absent) LDPC field as the word from bit 19 up.
constexpr ULONG kLayout2LdpcReadShift = 19;

const PhyLayout& LayoutOf(PMP_ADAPTER adapter)
{
    return adapter->HalInfo.PhyCfgLayout == PHY_CFG_LAYOUT_2 ? kLayout2 : kOtherLayout;
}

bool IsLayout2(PMP_ADAPTER adapter) { return adapter->HalInfo.PhyCfgLayout == PHY_CFG_LAYOUT_2; }

ULONG FieldMask(const PhyField& f) { return ((1u << f.width) - 1u) << f.shift; }

ULONG ReadField(const PHY_CFG* cfg, const PhyField& f) { return (*cfg & FieldMask(f)) >> f.shift; }

VOID WriteField(PPHY_CFG cfg, const PhyField& f, ULONG value)
{
    if (f.width == 0) {
        return;
    }
    *cfg = (*cfg & ~FieldMask(f)) | ((value << f.shift) & FieldMask(f));
}

}  // namespace

ULONG READ_PHY_CFG_MCS(PMP_ADAPTER adapter, const PHY_CFG* cfg) { return ReadField(cfg, LayoutOf(adapter).mcs); }
ULONG READ_PHY_CFG_BW(PMP_ADAPTER adapter, const PHY_CFG* cfg) { return ReadField(cfg, LayoutOf(adapter).bw); }
ULONG READ_PHY_CFG_NSS(PMP_ADAPTER adapter, const PHY_CFG* cfg) { return ReadField(cfg, LayoutOf(adapter).nss); }
ULONG READ_PHY_CFG_SHORT_GI(PMP_ADAPTER adapter, const PHY_CFG* cfg)
{
    return ReadField(cfg, LayoutOf(adapter).shortGi);
}
ULONG READ_PHY_CFG_STBC(PMP_ADAPTER adapter, const PHY_CFG* cfg) { return ReadField(cfg, LayoutOf(adapter).stbc); }
ULONG READ_PHY_CFG_MODE(PMP_ADAPTER adapter, const PHY_CFG* cfg) { return ReadField(cfg, LayoutOf(adapter).mode); }

ULONG READ_PHY_CFG_LDPC(PMP_ADAPTER adapter, const PHY_CFG* cfg)
{
    if (IsLayout2(adapter)) {
        return *cfg >> kLayout2LdpcReadShift;
    }
    return ReadField(cfg, kOtherLayout.ldpc);
}

ULONG READ_PHY_CFG_DOUBLE_WORD(PMP_ADAPTER adapter, const PHY_CFG* cfg)
{
    UNREFERENCED_PARAMETER(adapter);
    return *cfg;
}

VOID WRITE_PHY_CFG_MCS(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value) { WriteField(cfg, LayoutOf(adapter).mcs, value); }
VOID WRITE_PHY_CFG_BW(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value) { WriteField(cfg, LayoutOf(adapter).bw, value); }
VOID WRITE_PHY_CFG_SHORT_GI(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value)
{
    WriteField(cfg, LayoutOf(adapter).shortGi, value);
}
VOID WRITE_PHY_CFG_STBC(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value) { WriteField(cfg, LayoutOf(adapter).stbc, value); }
VOID WRITE_PHY_CFG_MODE(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value) { WriteField(cfg, LayoutOf(adapter).mode, value); }

VOID WRITE_PHY_CFG_NSS(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value)
{
    // The other layout derives the streams from the MCS; only layout 2 stores them.
    if (IsLayout2(adapter)) {
        WriteField(cfg, kLayout2.nss, value);
    }
}

VOID WRITE_PHY_CFG_LDPC(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value)
{
    // Layout 2 carries no LDPC bit.
    if (!IsLayout2(adapter)) {
        WriteField(cfg, kOtherLayout.ldpc, value);
    }
}

VOID WRITE_PHY_CFG_DOUBLE_WORD(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value)
{
    UNREFERENCED_PARAMETER(adapter);
    *cfg = value;
}

VOID GetPrimaryChannelLocation(PVOID unused, UCHAR primaryChannel, UCHAR bandwidth, UCHAR centreChannel,
                               PUCHAR location)
{
    UNREFERENCED_PARAMETER(unused);
    LONG d = static_cast<LONG>(centreChannel) - static_cast<LONG>(primaryChannel);
    switch (bandwidth) {
    case 1:  // 40 MHz: the secondary-channel offset codes
        if (d == 2) {
            *location = 1;
        } else if (d == -2) {
            *location = 3;
        }
        break;
    case 2:  // 80 MHz: the middle four of the eight positions
    case 3: {  // 160 MHz
        LONG span = bandwidth == 2 ? 6 : 14;
        if (d >= -span && d <= span && (d + 14) % 4 == 0) {
            *location = static_cast<UCHAR>((14 - d) / 4);
        }
        break;
    }
    default:
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "bandwidth code %u has no primary channel location", bandwidth);
        break;
    }
}
