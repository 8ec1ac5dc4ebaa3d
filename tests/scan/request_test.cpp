// The scan request on its way in: the WDI parameters turned into the OS's native scan request, the WDI
// band ids, the native request's parse by the connect-control machine, the signal average over the
// receive chains.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "kshim/wditlv.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/wdi/ndiswdi.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32At(const Bytes& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void PutU32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

struct Params {
    WDI_SCAN_PARAMETERS p{};
    std::vector<Bytes> ssids;
    std::vector<WDI_BYTE_ARRAY> arrays;
    Bytes ies;

    Params(std::vector<Bytes> list, Bytes elements = {}) : ssids(std::move(list)), ies(std::move(elements))
    {
        std::memset(p.Bssid, 0xFF, 6);
        p.ScanMode.ScanType = 1;
        for (Bytes& s : ssids) {
            arrays.push_back({static_cast<ULONG>(s.size()), s.empty() ? nullptr : s.data(), 0});
        }
        p.SsidList = {static_cast<ULONG>(arrays.size()), arrays.empty() ? nullptr : arrays.data(), 0};
        if (!ies.empty()) {
            p.Presence |= WDI_SCAN_PRESENT_VENDOR_IES;
            p.VendorIes = {static_cast<ULONG>(ies.size()), ies.data(), 0};
        }
    }
};

Bytes Fill(const WDI_SCAN_PARAMETERS& p, NTSTATUS* status)
{
    Bytes out(NdisWdiDot11ScanRequestSize(&p), 0xEE);
    *status = NdisWdiFillDot11ScanRequest(&p, out.data(), static_cast<ULONG>(out.size()));
    return out;
}

// ---- the WDI parameters as the native request ---------------------------------------------------------------
TEST(NativeRequest, TwoSsidsAndTheOsElements)
{
    Params in({{'a', 'b'}, Bytes(32, 'z')}, {0xDD, 2, 7, 8});
    in.p.ScanMode.ScanType = 2;
    NTSTATUS status = 0;
    const Bytes r = Fill(in.p, &status);
    ASSERT_EQ(status, STATUS_SUCCESS);
    ASSERT_EQ(r.size(), 56u + 72u + 4u);
    EXPECT_EQ(U32At(r, 0), 3u) << "any BSS type";
    EXPECT_EQ(Bytes(r.begin() + 4, r.begin() + 10), Bytes(6, 0xFF));
    EXPECT_EQ(U32At(r, 12), 2u);
    EXPECT_EQ(U32At(r, 24), 2u);
    EXPECT_EQ(U32At(r, 48), 72u) << "the elements follow the SSID slots";
    EXPECT_EQ(U32At(r, 52), 4u);
    EXPECT_EQ(U32At(r, 56), 2u);
    EXPECT_EQ(r[60], 'a');
    EXPECT_EQ(U32At(r, 92), 32u);
    EXPECT_EQ(r[96 + 31], 'z');
    EXPECT_EQ(Bytes(r.end() - 4, r.end()), (Bytes{0xDD, 2, 7, 8}));
}

TEST(NativeRequest, NoSsidIsOneEmptySlotAndTheElementsAtOffset36)
{
    Params in({}, {0xDD, 1, 9});
    NTSTATUS status = 0;
    const Bytes r = Fill(in.p, &status);
    ASSERT_EQ(status, STATUS_SUCCESS);
    ASSERT_EQ(r.size(), 56u + 36u + 3u);
    EXPECT_EQ(U32At(r, 24), 1u);
    EXPECT_EQ(U32At(r, 48), 36u);
    EXPECT_EQ(U32At(r, 56), 0u) << "the wildcard SSID";
    EXPECT_EQ(r[92], 0xDD);
}

TEST(NativeRequest, AnSsidOverThirtyTwoBytesIsRefused)
{
    Params in({{'o', 'k'}, Bytes(33, 'x')});
    NTSTATUS status = 0;
    const Bytes r = Fill(in.p, &status);
    EXPECT_EQ(status, static_cast<NTSTATUS>(0xC0010014));
    EXPECT_EQ(r[0], 0xEE) << "nothing written";
    // A buffer a byte short of the request is refused the same way: nothing written.
    Params fine({{'o', 'k'}});
    Bytes shortBuffer(NdisWdiDot11ScanRequestSize(&fine.p) - 1, 0xEE);
    EXPECT_EQ(NdisWdiFillDot11ScanRequest(&fine.p, shortBuffer.data(), static_cast<ULONG>(shortBuffer.size())),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(shortBuffer[0], 0xEE);
}

TEST(NativeRequest, ScanTypesOtherThanOneToThreeBecomeForcedPassive)
{
    for (ULONG type : {0u, 4u, 0xFFFFFFFFu}) {
        Params in({});
        in.p.ScanMode.ScanType = type;
        NTSTATUS status = 0;
        const Bytes r = Fill(in.p, &status);
        ASSERT_EQ(status, STATUS_SUCCESS);
        EXPECT_EQ(U32At(r, 12), 0x80000000u) << type;
    }
}

TEST(NativeRequest, WdiBandIds)
{
    // WDI band 1 -> 1 (2.4 GHz), 2 -> 2 (5 GHz), 5 -> 3 (6 GHz), anything else -> 1.
    const std::pair<ULONG, ULONG> bands[] = {{1, 1}, {2, 2}, {5, 3}, {3, 1}, {4, 1}, {0, 1}, {0xFFFFFFFF, 1}};
    for (const auto& [wdi, band] : bands) {
        EXPECT_EQ(NdisWdiGetBandFromWdiBandId(wdi), band) << wdi;
    }
}

// ---- the connect-control machine's parse of the native request ---------------------------------------------------
Bytes Native(uint32_t scanType, const std::vector<Bytes>& ssids, const Bytes& ies)
{
    Bytes r(56 + 36 * ssids.size() + ies.size(), 0);
    PutU32(r, 0, 3);
    PutU32(r, 12, scanType);
    PutU32(r, 20, 0);
    PutU32(r, 24, static_cast<uint32_t>(ssids.size()));
    PutU32(r, 48, static_cast<uint32_t>(36 * ssids.size()));
    PutU32(r, 52, static_cast<uint32_t>(ies.size()));
    for (size_t i = 0; i < ssids.size(); ++i) {
        PutU32(r, 56 + 36 * i, static_cast<uint32_t>(ssids[i].size()));
        std::copy(ssids[i].begin(), ssids[i].end(), r.begin() + static_cast<long>(60 + 36 * i));
    }
    std::copy(ies.begin(), ies.end(), r.begin() + static_cast<long>(56 + 36 * ssids.size()));
    return r;
}

TEST(OsScanRequest, AnActiveRequestTakesItsSsidsAndElements)
{
    auto request = std::make_unique<MLME_SCAN_REQ>();
    const Bytes body = Native(1, {{'a'}, {}, {'b', 'c'}}, {0xDD, 1, 5});
    const UCHAR* ies = nullptr;
    ULONG iesLength = 0;
    ASSERT_TRUE(MlmeCntlParseOidScanRequest(body.data(), static_cast<ULONG>(body.size()), request.get(), 600, &ies,
                                            &iesLength));
    EXPECT_EQ(request->ScanType, 1u);
    ASSERT_EQ(request->SsidCount, 2) << "the empty SSID takes no slot";
    EXPECT_EQ(request->SsidLength[1], 2);
    EXPECT_EQ(request->Ssid[1][1], 'c');
    ASSERT_EQ(iesLength, 3u);
    EXPECT_EQ(ies, body.data() + 56 + 108);
}

TEST(OsScanRequest, APassiveRequestStoresNoSsid)
{
    auto request = std::make_unique<MLME_SCAN_REQ>();
    const Bytes body = Native(2, {{'a'}}, {});
    const UCHAR* ies = nullptr;
    ULONG iesLength = 0;
    ASSERT_TRUE(MlmeCntlParseOidScanRequest(body.data(), static_cast<ULONG>(body.size()), request.get(), 600, &ies,
                                            &iesLength));
    EXPECT_EQ(request->ScanType, 0u);
    EXPECT_EQ(request->SsidCount, 0);
    EXPECT_EQ(iesLength, 0u);
}

TEST(OsScanRequest, ListsOutsideTheBodyAreRefusedAndElementsCappedToTheRoom)
{
    auto request = std::make_unique<MLME_SCAN_REQ>();
    const UCHAR* ies = nullptr;
    ULONG iesLength = 0;
    Bytes body = Native(1, {{'a'}}, Bytes(10, 0xDD));
    // The SSID list claims a second entry past the end.
    PutU32(body, 24, 2);
    EXPECT_FALSE(MlmeCntlParseOidScanRequest(body.data(), static_cast<ULONG>(body.size()), request.get(), 600, &ies,
                                             &iesLength));
    PutU32(body, 24, 1);
    // The elements claim a byte more than there is.
    PutU32(body, 52, 11);
    EXPECT_FALSE(MlmeCntlParseOidScanRequest(body.data(), static_cast<ULONG>(body.size()), request.get(), 600, &ies,
                                             &iesLength));
    // An offset near the top of the range does not wrap.
    PutU32(body, 52, 10);
    PutU32(body, 48, 0xFFFFFFF8u);
    EXPECT_FALSE(MlmeCntlParseOidScanRequest(body.data(), static_cast<ULONG>(body.size()), request.get(), 600, &ies,
                                             &iesLength));
    PutU32(body, 48, 36);
    // A header only.
    EXPECT_FALSE(MlmeCntlParseOidScanRequest(body.data(), 55, request.get(), 600, &ies, &iesLength));
    // Room for 4 element bytes: 4 taken.
    ASSERT_TRUE(MlmeCntlParseOidScanRequest(body.data(), static_cast<ULONG>(body.size()), request.get(), 4, &ies,
                                            &iesLength));
    EXPECT_EQ(iesLength, 4u);
}

// ---- the signal over the receive chains ------------------------------------------------------------------------
TEST(Signal, TheAverageOverTheChainsInUseSkipsSilentChains)
{
    auto adapter = std::make_unique<MP_ADAPTER>();
    adapter->AntennaPath = 1;
    EXPECT_EQ(RssiAverageByChains(adapter.get(), -40, -80, -90), -40);
    adapter->AntennaPath = 2;
    EXPECT_EQ(RssiAverageByChains(adapter.get(), -40, -81, -90), -60);
    EXPECT_EQ(RssiAverageByChains(adapter.get(), 0, -81, -90), -81);
    adapter->AntennaPath = 3;
    EXPECT_EQ(RssiAverageByChains(adapter.get(), -30, -60, -90), -60);
    EXPECT_EQ(RssiAverageByChains(adapter.get(), 0, 0, 0), 0);
    adapter->AntennaPath = 0;
    EXPECT_EQ(RssiAverageByChains(adapter.get(), -30, -60, -90), 0) << "no chain in use";
    EXPECT_EQ(RssiAverageByChains(nullptr, -30, -60, -90), 0);
}

}  // namespace
