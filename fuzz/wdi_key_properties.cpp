// Fuzz target: arbitrary bytes as the TLVs of the OS's key and connection-time properties: add cipher
// keys, default key id, association parameters, fast BSS transition parameters, neighbour report and
// SAE parameters. What parses generates and parses again to the same record shape.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "kshim/host/control.h"
#include "kshim/wditlv.h"

namespace {

// Parses, generates from the record, parses that again and checks `same` on both records.
template <typename Record, typename Parse, typename Generate, typename Cleanup, typename Same>
void RoundTrip(ULONG n, const UCHAR* p, Parse parse, Generate generate, Cleanup cleanup, Same same)
{
    Record first{};
    if (parse(n, p, nullptr, &first) != STATUS_SUCCESS) {
        return;
    }
    ULONG generatedLength = 0;
    PUCHAR generated = nullptr;
    if (generate(&first, 0, nullptr, &generatedLength, &generated) == STATUS_SUCCESS) {
        Record again{};
        if (parse(generatedLength, generated, nullptr, &again) != STATUS_SUCCESS || !same(first, again)) {
            __builtin_trap();
        }
        cleanup(&again);
        WdiTlvFreeGenerated(generated);
    }
    cleanup(&first);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length > 0xFFFF) {
        return 0;
    }
    std::unique_ptr<uint8_t[]> tlvs(new uint8_t[length == 0 ? 1 : length]);
    if (length != 0) {
        std::memcpy(tlvs.get(), data, length);
    }
    const ULONG n = static_cast<ULONG>(length);
    const UCHAR* p = length != 0 ? tlvs.get() : nullptr;

    RoundTrip<WDI_SET_ADD_CIPHER_KEYS_PARAMETERS>(
        n, p, WdiTlvParseSetAddCipherKeys, WdiTlvGenerateSetAddCipherKeys, WdiTlvCleanupSetAddCipherKeys,
        [](const auto& a, const auto& b) {
            if (a.ElementCount != b.ElementCount) {
                return false;
            }
            for (ULONG i = 0; i < a.ElementCount; ++i) {
                const WDI_SET_CIPHER_KEY_INFO& x = a.pElements[i];
                const WDI_SET_CIPHER_KEY_INFO& y = b.pElements[i];
                if (x.Presence != y.Presence || x.CipherKeyTypeInfo.CipherAlgorithm != y.CipherKeyTypeInfo.CipherAlgorithm ||
                    x.CcmpKey.ElementCount != y.CcmpKey.ElementCount || x.WepKey.ElementCount != y.WepKey.ElementCount) {
                    return false;
                }
            }
            return true;
        });
    WDI_DEFAULT_KEY_ID_PARAMETERS keyId{};
    (void)WdiTlvParseSetDefaultKeyId(n, p, nullptr, &keyId);
    RoundTrip<WDI_ASSOCIATION_PARAMETERS>(
        n, p, WdiTlvParseSetAssociationParameters, WdiTlvGenerateSetAssociationParameters,
        WdiTlvCleanupSetAssociationParameters,
        [](const auto& a, const auto& b) { return a.BssEntries.ElementCount == b.BssEntries.ElementCount; });
    RoundTrip<WDI_FAST_BSS_TRANSITION_PARAMETERS>(
        n, p, WdiTlvParseSetFastBssTransitionParameters, WdiTlvGenerateSetFastBssTransitionParameters,
        WdiTlvCleanupSetFastBssTransitionParameters, [](const auto& a, const auto& b) {
            return a.Presence == b.Presence && a.Status == b.Status && a.Fte.ElementCount == b.Fte.ElementCount;
        });
    RoundTrip<WDI_NEIGHBOR_REPORT_PARAMETERS>(
        n, p, WdiTlvParseSetNeighborReportEntries, WdiTlvGenerateSetNeighborReportEntries,
        WdiTlvCleanupSetNeighborReportEntries, [](const auto& a, const auto& b) { return a.ElementCount == b.ElementCount; });
    RoundTrip<WDI_SAE_PARAMETERS>(
        n, p, WdiTlvParseSetSaeParams, WdiTlvGenerateSetSaeParams, WdiTlvCleanupSetSaeParams,
        [](const auto& a, const auto& b) {
            return a.Presence == b.Presence && a.RequestType == b.RequestType &&
                   a.Commit.Scalar.ElementCount == b.Commit.Scalar.ElementCount &&
                   a.Confirm.Confirm.ElementCount == b.Confirm.Confirm.ElementCount;
        });
    return 0;
}
