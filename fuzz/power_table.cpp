// Fuzz target: a power-limit file as the platform's package would hold it, deciphered (or taken as
// plain text) into a buffer of its own length and parsed into the 2.4/5 GHz or the 6 GHz table
// with the reductions the first byte switches on. The section search also runs on the raw bytes.
// Input: byte 0 = bit 0 6 GHz table, bits 1-2 "TxPowerLevel", bit 3 "ChipPowerLimitEnable",
// bits 4-5 "Default6GTxPower", bit 6 country "WW" instead of "US", bit 7 variant 'A'; the rest is
// the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "Common/rlm_sku.h"
#include "fuzz_support.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/memory.h"

namespace {

MP_ADAPTER* Adapter()
{
    static MP_ADAPTER* adapter = [] {
        auto* a = new MP_ADAPTER();
        a->DeviceId = 0x3602;
        HalRegisterChip(a);
        return a;
    }();
    return adapter;
}

PUCHAR CopyToPool(const uint8_t* data, ULONG size)
{
    PVOID block = nullptr;
    if (size == 0 || !NT_SUCCESS(PlatformAllocateMemory(nullptr, &block, size, TAG_ZVSK))) {
        return nullptr;
    }
    std::memcpy(block, data, size);
    return static_cast<PUCHAR>(block);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    (void)Adapter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 1u << 20) {
        return 0;
    }
    MP_ADAPTER* a = Adapter();
    const uint8_t control = data[0];
    const BOOLEAN sixGhz = (control & 1) != 0;
    a->RegistryBlock.TxPowerLevel = static_cast<UCHAR>((control >> 1) & 3);
    a->RegistryBlock.ChipPowerLimitEnable = static_cast<UCHAR>((control >> 3) & 1);
    a->RegistryBlock.Default6GTxPower = static_cast<UCHAR>((control >> 4) & 3);
    a->WorkingCfg.CountryCode = (control & 0x40) != 0 ? static_cast<USHORT>('W' | ('W' << 8)) : static_cast<USHORT>('U' | ('S' << 8));
    a->Country.CssCode = (control & 0x80) != 0 ? 'A' : 'D';
    const ULONG length = static_cast<ULONG>(size - 1);
    PUCHAR file = CopyToPool(data + 1, length);
    if (file == nullptr) {
        return 0;
    }
    ULONG start = 0;
    ULONG end = 0;
    if (skuTableSearchCountryRegion(skuTableCountryCodeToU32("US-D", 4), file, length, &start, &end) &&
        (start > end || end > length)) {
        __builtin_trap();
    }
    PUCHAR text = CopyToPool(data + 1, length);
    if (text != nullptr) {
        std::memset(text, 0, length);
        if (skuTableDecryptPowerTable(a, text, file, length, SKU_FILE_BODY_SKIP)) {
            SKU_POWER_TABLE table{};
            if (skuTableInitTxPwrLimitData(a, sixGhz ? SKU_ROWS_6G : SKU_ROWS_24G5G, sixGhz ? 3 : 0, &table) == STATUS_SUCCESS) {
                UCHAR version = 0;
                (void)skuTableGetTxPwrLimit(a, sixGhz, &version, &table, 2, text, length);
                skuTableReleaseTxPwrLimitData(&table);
            }
        }
        PlatformFreeMemory(text, length);
    }
    PlatformFreeMemory(file, length);
    return 0;
}
