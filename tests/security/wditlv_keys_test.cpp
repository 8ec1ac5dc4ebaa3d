// The key and connection-time property TLVs as the OS sends them: what the parse routines accept and
// what they refuse as a whole message.
#include <gtest/gtest.h>

#include <vector>

#include "kshim/host/wifi.h"
#include "kshim/wditlv.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kshim::host::WdiTlv;

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

const Bytes kTypeInfo = WdiTlv(0x0273, {4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});  // CCMP, pairwise
constexpr NTSTATUS kInvalid = static_cast<NTSTATUS>(0xC0010015);

TEST(KeyTlvs, AKeyNeedsItsTypeInformationAndEveryValueItsLength)
{
    struct Case {
        const char* what;
        Bytes tlvs;
        NTSTATUS status;
        ULONG keys;
    } cases[] = {
        {"no key", {}, kInvalid, 0},
        {"minimal", WdiTlv(0x0270, kTypeInfo), STATUS_SUCCESS, 1},
        {"two keys", Cat({WdiTlv(0x0270, kTypeInfo), WdiTlv(0x0270, kTypeInfo)}), STATUS_SUCCESS, 2},
        {"no type information", WdiTlv(0x0270, WdiTlv(0x0275, Bytes(16, 1))), kInvalid, 0},
        {"type information of 12 bytes", WdiTlv(0x0270, WdiTlv(0x0273, Bytes(12, 0))), kInvalid, 0},
        {"peer of 5 bytes", WdiTlv(0x0270, Cat({kTypeInfo, WdiTlv(0x0271, Bytes(5, 2))})), kInvalid, 0},
        {"key id of 3 bytes", WdiTlv(0x0270, Cat({kTypeInfo, WdiTlv(0x0272, Bytes(3, 0))})), kInvalid, 0},
        {"counter of 5 bytes", WdiTlv(0x0270, Cat({kTypeInfo, WdiTlv(0x0274, Bytes(5, 0))})), kInvalid, 0},
        {"TKIP key past its container", WdiTlv(0x0270, Cat({kTypeInfo, WdiTlv(0x0277, {0x78, 0x02, 20, 0, 1})})),
         kInvalid, 0},
    };
    for (const Case& c : cases) {
        WDI_SET_ADD_CIPHER_KEYS_PARAMETERS keys{};
        EXPECT_EQ(WdiTlvParseSetAddCipherKeys(static_cast<ULONG>(c.tlvs.size()), c.tlvs.empty() ? nullptr : c.tlvs.data(),
                                              nullptr, &keys),
                  c.status)
            << c.what;
        EXPECT_EQ(keys.ElementCount, c.keys) << c.what;
        WdiTlvCleanupSetAddCipherKeys(&keys);
    }
}

TEST(KeyTlvs, SaeFtAndNeighbourMessagesRefuseWhatTheyCannotRead)
{
    const Bytes bssid = WdiTlv(0x0100, {2, 0x11, 0x22, 0x33, 0x44, 0x55});
    const Bytes type = WdiTlv(0x0289, {0, 0, 0, 0});
    struct Case {
        const char* what;
        int message;  // 0 SAE, 1 FT, 2 neighbour report
        Bytes tlvs;
        NTSTATUS status;
    } cases[] = {
        {"SAE minimal", 0, Cat({bssid, type}), STATUS_SUCCESS},
        {"SAE without BSSID", 0, type, kInvalid},
        {"SAE without request type", 0, bssid, kInvalid},
        {"SAE group of one byte", 0, Cat({bssid, type, WdiTlv(0x028A, WdiTlv(0x028B, {19}))}), kInvalid},
        {"SAE send-confirm of one byte", 0, Cat({bssid, type, WdiTlv(0x0290, WdiTlv(0x0291, {1}))}), kInvalid},
        {"SAE status of two bytes", 0, Cat({bssid, type, WdiTlv(0x0293, {0, 0})}), kInvalid},
        {"FT minimal", 1, WdiTlv(0x0283, {0, 0, 0, 0}), STATUS_SUCCESS},
        {"FT without status", 1, WdiTlv(0x0253, {54, 3, 1, 2, 3}), kInvalid},
        {"neighbour minimal", 2, WdiTlv(0x0285, bssid), STATUS_SUCCESS},
        {"neighbour without BSSID", 2, WdiTlv(0x0285, WdiTlv(0x0287, {81})), kInvalid},
        {"neighbour BSSID info of 2 bytes", 2, WdiTlv(0x0285, Cat({bssid, WdiTlv(0x0286, {1, 2})})), kInvalid},
    };
    for (const Case& c : cases) {
        const ULONG n = static_cast<ULONG>(c.tlvs.size());
        NTSTATUS s = STATUS_UNSUCCESSFUL;
        if (c.message == 0) {
            WDI_SAE_PARAMETERS p{};
            s = WdiTlvParseSetSaeParams(n, c.tlvs.data(), nullptr, &p);
            WdiTlvCleanupSetSaeParams(&p);
        } else if (c.message == 1) {
            WDI_FAST_BSS_TRANSITION_PARAMETERS p{};
            s = WdiTlvParseSetFastBssTransitionParameters(n, c.tlvs.data(), nullptr, &p);
            WdiTlvCleanupSetFastBssTransitionParameters(&p);
        } else {
            WDI_NEIGHBOR_REPORT_PARAMETERS p{};
            s = WdiTlvParseSetNeighborReportEntries(n, c.tlvs.data(), nullptr, &p);
            WdiTlvCleanupSetNeighborReportEntries(&p);
        }
        EXPECT_EQ(s, c.status) << c.what;
    }
}

}  // namespace
