// The power-limit files: loading (firmware container or file system), deciphering, and parsing one
// country's section into a per-channel limit table.
#include "Common/rlm_sku.h"

#include <cstring>

#include "Common/rlm_domain.h"
#include "Common/fwsettings.h"
#include "Common/rlm.h"
#include "Common/rlm_power.h"
#include "hal/common/fwfile.h"
#include "hal/common/hal_chip.h"
#include "hal/common/sar.h"
#include "kshim/irql.h"
#include "kshim/ndis.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

// ---- rate groups ------------------------------------------------------------------------------------
struct RateGroup {
    const char* name;
    UCHAR count;
    UCHAR inVersion1;
};
constexpr RateGroup kRateGroups[SKU_RATE_GROUP_COUNT] = {
    {"cck", 4, 1},           {"ofdm", 8, 1},        {"ofdm40", 8, 1},         {"ofdm80", 8, 1},
    {"ofdm160", 8, 1},       {"ofdm320", 8, 0},     {"ht20", 8, 1},           {"ht40", 9, 1},
    {"vht20", 12, 1},        {"vht40", 12, 1},      {"vht80", 12, 1},         {"vht160", 12, 1},
    {"ru26", 12, 1},         {"ru52", 12, 1},       {"ru106", 12, 1},         {"ru242", 12, 1},
    {"ru484", 12, 1},        {"ru996", 12, 1},      {"ru996x2", 12, 1},       {"eht26", 16, 1},
    {"eht52", 16, 1},        {"eht106", 16, 1},     {"eht242", 16, 1},        {"eht484", 16, 1},
    {"eht996", 16, 1},       {"eht996x2", 16, 1},   {"eht996x4", 16, 0},      {"eht26_52", 16, 1},
    {"eht26_106", 16, 1},    {"eht484_242", 16, 1}, {"eht996_484", 16, 1},    {"eht996_484_242", 16, 1},
    {"eht996x2_484", 16, 0}, {"eht996x3", 16, 0},   {"eht996x3_484", 16, 0},
};

// ---- chip caps (version 0): [cap band][rate group][value]; rows not listed cap nothing ----------------
constexpr CHAR U = static_cast<CHAR>(SKU_LIMIT_UNSPECIFIED);
constexpr CHAR N = SKU_LIMIT_NONE;
struct CapRow {
    UCHAR band;
    UCHAR group;
    CHAR values[SKU_GROUP_BLOCK];
};
constexpr CapRow kCapRows[] = {
    {0, 0, {44, 44, 44, 44, N, N, N, N, N, N, N, N, N, N, N, N}},                   // cck
    {0, 1, {41, 41, 41, 41, 41, 39, 38, 38, N, N, N, N, N, N, N, N}},               // ofdm
    {0, 10, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                      // vht80
    {1, 0, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                       // cck
    {1, 11, {36, 36, 36, 36, 34, 34, 34, 33, 31, 31, 31, 31, N, N, N, N}},          // vht160
    {1, 26, {31, 31, 31, 31, 31, 27, 27, 27, 25, 25, 25, 25, 22, 22, 31, 31}},      // eht996x4
    {2, 6, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                       // ht20
    {2, 7, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                       // ht40
    {2, 8, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                       // vht20
    {2, 9, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                       // vht40
    {2, 10, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                      // vht80
    {2, 11, {U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},                      // vht160
    {2, 19, {37, 37, 37, 37, 37, 32, 32, 32, 31, 31, 31, 31, 25, 25, U, 39}},       // eht26
};

CHAR ChipCap(ULONG band, ULONG group, ULONG value)
{
    for (const CapRow& row : kCapRows) {
        if (row.band == band && row.group == group) {
            return row.values[value];
        }
    }
    return N;
}

// ---- channel lists of the tables --------------------------------------------------------------------
ULONG Channels24g5g(PUCHAR out)
{
    ULONG n = 0;
    for (UCHAR c = 1; c <= 14; ++c) {
        out[n++] = c;
    }
    for (UCHAR c = 36; c <= 64; c = static_cast<UCHAR>(c + 2)) {
        out[n++] = c;
    }
    for (UCHAR c = 100; c <= 128; c = static_cast<UCHAR>(c + 2)) {
        out[n++] = c;
    }
    for (UCHAR c = 132; c <= 144; c = static_cast<UCHAR>(c + 2)) {
        out[n++] = c;
    }
    for (UCHAR c = 149; c <= 177; c = static_cast<UCHAR>(c + 2)) {
        out[n++] = c;
    }
    return n;
}

ULONG Channels6g(PUCHAR out)
{
    ULONG n = 0;
    for (UCHAR c = 1; c <= 233; c = static_cast<UCHAR>(c + 2)) {
        if (c != 31 && c != 63 && c != 95 && c != 127 && c != 159 && c != 191 && c != 223 && c != 231) {
            out[n++] = c;
        }
    }
    return n;
}

PSKU_POWER_ROW FindRow(PSKU_POWER_TABLE table, ULONG channel)
{
    for (ULONG i = 0; i < table->RowCount; ++i) {
        if (table->Rows[i].Channel == channel) {
            return &table->Rows[i];
        }
    }
    return nullptr;
}

// ---- text helpers (positions are byte offsets; nothing is read at or past `end`) ----------------------
bool IsSpace(UCHAR c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
bool IsDigit(UCHAR c) { return c >= '0' && c <= '9'; }

ULONG SkipSpace(const UCHAR* text, ULONG position, ULONG end)
{
    while (position < end && IsSpace(text[position])) {
        ++position;
    }
    return position;
}

// The position just past the end of the current line (or `end`).
ULONG NextLine(const UCHAR* text, ULONG position, ULONG end)
{
    while (position < end && text[position] != '\n') {
        ++position;
    }
    return position < end ? position + 1 : end;
}

ULONG Find(const UCHAR* text, ULONG position, ULONG end, UCHAR c)
{
    while (position < end && text[position] != c) {
        ++position;
    }
    return position;
}

bool Matches(const UCHAR* text, ULONG position, ULONG end, const char* word, ULONG wordLength)
{
    return end - position >= wordLength && std::memcmp(text + position, word, wordLength) == 0;
}

// A '<' immediately followed by the name (compared over the name's length), from `position`.
ULONG FindGroupTag(const UCHAR* text, ULONG position, ULONG end, const char* name, ULONG nameLength)
{
    for (;; ++position) {
        position = Find(text, position, end, '<');
        if (position >= end) {
            return end;
        }
        if (Matches(text, position + 1, end, name, nameLength)) {
            return position;
        }
    }
}

// The version tag: the first '<' of the text followed by "Ver:" and two decimal digits; 0 and 1 are
// taken as read, anything else (and no tag) is 0.
UCHAR TextVersion(const UCHAR* text, ULONG length)
{
    const ULONG at = Find(text, 0, length, '<');
    if (at >= length || length - at < 8 || !Matches(text, at + 1, length, "Ver:", 4)) {
        return 0;
    }
    const UCHAR hi = text[at + 5];
    const UCHAR lo = text[at + 6];
    if (!IsDigit(hi) || !IsDigit(lo)) {
        return 0;
    }
    const ULONG version = (hi - '0') * 10u + (lo - '0');
    return version <= 1 ? static_cast<UCHAR>(version) : 0;
}

const RateGroup* GroupOfVersion(UCHAR version, ULONG group)
{
    ULONG seen = 0;
    for (const RateGroup& g : kRateGroups) {
        if (version == 0 || g.inVersion1) {
            if (seen == group) {
                return &g;
            }
            ++seen;
        }
    }
    return nullptr;
}

CHAR SignedMin(CHAR value, UCHAR limit) { return static_cast<CHAR>(limit) < value ? static_cast<CHAR>(limit) : value; }

// The reductions of one parsed value, in their order.
CHAR ReduceLimit(PMP_ADAPTER adapter, UCHAR version, UCHAR chain, ULONG channel, ULONG group, ULONG index,
                 BOOLEAN sixGhzFile, CHAR value)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    const UCHAR ch = static_cast<UCHAR>(channel);
    UCHAR limit = 0;
    if (sar.ActiveSarMode == 1) {
        const BOOLEAN found = sixGhzFile && sar.RegulatoryMethodPresent ? SarGetSarTablePowerLimit_6G(adapter, ch, chain, &limit)
                                                                        : SarGetSarTablePowerLimit(adapter, ch, chain, &limit);
        if (found) {
            value = SignedMin(value, limit);
        }
    }
    if (sar.QzplValid) {
        const UCHAR mode = sar.Qzpl[4];
        if (sixGhzFile && sar.RegulatoryMethodPresent) {
            if (mode == 1 && SarGetTxPwrLimitPerGroup(adapter, ch, static_cast<UCHAR>(group), TRUE, &limit)) {
                value = SignedMin(value, limit);
            }
        } else if (mode == 0 && SarGetTxPwrLimitPerCh(adapter, ch, &limit)) {
            value = SignedMin(value, limit);
        } else if (mode == 1 && SarGetTxPwrLimitPerGroup(adapter, ch, static_cast<UCHAR>(group), FALSE, &limit)) {
            value = SignedMin(value, limit);
        }
    }
    // A lower power level never wraps round to "no limit", nor reaches the "not specified" mark.
    const int lowered = r.TxPowerLevel == 1 ? 2 : r.TxPowerLevel == 2 ? 4 : 0;
    if (lowered != 0) {
        const int v = value - lowered;
        value = static_cast<CHAR>(v < -127 ? -127 : v);
    }
    if (version == 0 && (r.ChipPowerLimitEnable == 1 || sar.Feature3 != 0)) {
        const ULONG band = !sixGhzFile ? (channel <= 14 ? 0 : 1) : (channel < 113 ? 1 : 2);
        value = SignedMin(value, static_cast<UCHAR>(ChipCap(band, group, index)));
    }
    if (r.SAR256GSimulate != 0 && (r.SAR256GSimulate >> 24) == 1) {
        const ULONG byte = sixGhzFile ? 2 : channel <= 14 ? 0 : 1;
        const UCHAR cap = static_cast<UCHAR>(r.SAR256GSimulate >> (8 * byte));
        if (cap != 0) {
            value = SignedMin(value, cap);
        }
    }
    if (r.AFCEnable && adapter->AfcNotApplicable == 0 && sixGhzFile && channel == adapter->AfcChannel) {
        value = SignedMin(value, adapter->SkuTables.AfcLimit);
    }
    return value;
}

}  // namespace

// ================================================================================================
// rate groups and tables
// ================================================================================================
ULONG skuTableRateGroupCount(UCHAR version) { return version == 1 ? 30 : SKU_RATE_GROUP_COUNT; }

PCSTR skuTableRateGroup(UCHAR version, ULONG group, PULONG valueCount)
{
    const RateGroup* g = GroupOfVersion(version, group);
    if (valueCount != nullptr) {
        *valueCount = g != nullptr ? g->count : 0;
    }
    return g != nullptr ? g->name : nullptr;
}

NTSTATUS skuTableInitTxPwrLimitData(PMP_ADAPTER adapter, ULONG rows, UCHAR firstBand, PSKU_POWER_TABLE table)
{
    if (table == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    table->RowCount = 0;
    table->Rows = nullptr;
    UCHAR channels[SKU_ROWS_6G];
    ULONG count = 0;
    if (firstBand == 0) {
        count = Channels24g5g(channels);
    } else if (firstBand == 3) {
        count = Channels6g(channels);
    }
    if (count == 0 || rows != count) {
        return STATUS_INVALID_PARAMETER;
    }
    PVOID block = nullptr;
    const ULONG size = rows * static_cast<ULONG>(sizeof(SKU_POWER_ROW));
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZVSK) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power-limit table of %u rows: no memory", static_cast<unsigned>(rows));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memset(block, SKU_LIMIT_NONE, size);
    table->Rows = static_cast<PSKU_POWER_ROW>(block);
    table->RowCount = rows;
    for (ULONG i = 0; i < rows; ++i) {
        table->Rows[i].Channel = channels[i];
    }
    return STATUS_SUCCESS;
}

void skuTableReleaseTxPwrLimitData(PSKU_POWER_TABLE table)
{
    if (table != nullptr && table->Rows != nullptr) {
        PlatformFreeMemory(table->Rows, table->RowCount * static_cast<ULONG>(sizeof(SKU_POWER_ROW)));
        table->Rows = nullptr;
        table->RowCount = 0;
    }
}

// ================================================================================================
// sections
// ================================================================================================
ULONG skuTableCountryCodeToU32(const CHAR* characters, ULONG count)
{
    ULONG value = 0;
    if (characters == nullptr) {
        return 0;
    }
    for (ULONG i = 0; i < count && i < 4; ++i) {
        value |= static_cast<ULONG>(static_cast<UCHAR>(characters[i])) << (8 * i);
    }
    return value;
}

BOOLEAN skuTableSearchCountryRegion(ULONG key, const UCHAR* text, ULONG length, PULONG start, PULONG end)
{
    if (text == nullptr || start == nullptr || end == nullptr) {
        return FALSE;
    }
    ULONG position = 0;
    for (;;) {
        const ULONG open = Find(text, position, length, '[');
        if (open >= length) {
            return FALSE;
        }
        const ULONG close = Find(text, open + 1, length, ']');
        if (close >= length) {
            return FALSE;
        }
        const ULONG keyLength = close - open - 1;
        const ULONG found = skuTableCountryCodeToU32(reinterpret_cast<const CHAR*>(text + open + 1), keyLength);
        if (keyLength != 0 && found == key) {
            *start = Find(text, close + 1, length, '<');
            *end = Find(text, *start, length, '[');
            return TRUE;
        }
        position = close + 1;
    }
}

BOOLEAN skuTableGetTableCountryRange(PMP_ADAPTER adapter, BOOLEAN sixGhzFile, ULONG country, const UCHAR* text,
                                     ULONG length, PULONG start, PULONG end)
{
    UCHAR band = '-';
    if (sixGhzFile) {
        const PMP_PORT port0 = adapter->PortList[0];
        const UCHAR type = adapter->Rlm.Link.He6gOpPresent != 0 && port0 != nullptr ? port0->Rlm.SixGhzRegulatoryInfo
                                                                                  : adapter->RegistryBlock.Default6GTxPower;
        band = static_cast<UCHAR>('0' + (type <= 2 ? type : 0));
    }
    const UCHAR variant = adapter->Country.CssCode != 0 ? adapter->Country.CssCode : 'D';
    const ULONG base = (country & 0xFFFF) | (static_cast<ULONG>(band) << 16);
    if (variant != '0' && skuTableSearchCountryRegion(base | (static_cast<ULONG>(variant) << 24), text, length, start, end)) {
        return TRUE;
    }
    return skuTableSearchCountryRegion(base | (static_cast<ULONG>('0') << 24), text, length, start, end);
}

// ================================================================================================
// parsing
// ================================================================================================
BOOLEAN skuTableUpdatePerChannelTxPwrLimit(PMP_ADAPTER adapter, UCHAR version, UCHAR chain, const UCHAR* text,
                                           PULONG position, ULONG end, PSKU_POWER_TABLE table, ULONG group,
                                           BOOLEAN sixGhzFile)
{
    ULONG p = SkipSpace(text, *position, end);
    if (end - p < 6) {
        *position = p;
        return FALSE;
    }
    if (text[p] != 'c' || text[p + 1] != 'h' || !IsDigit(text[p + 2]) || !IsDigit(text[p + 3]) || !IsDigit(text[p + 4])) {
        *position = NextLine(text, p, end);
        return TRUE;
    }
    const ULONG channel = (text[p + 2] - '0') * 100u + (text[p + 3] - '0') * 10u + (text[p + 4] - '0');
    p += 5;
    PSKU_POWER_ROW row = FindRow(table, channel);
    if (row == nullptr) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_POWER, "power-limit row of channel %u skipped", static_cast<unsigned>(channel));
        *position = NextLine(text, p, end);
        return TRUE;
    }
    const RateGroup* g = GroupOfVersion(version, group);
    if (g == nullptr) {
        *position = NextLine(text, p, end);
        return TRUE;
    }
    for (ULONG l = 0; l < g->count; ++l) {
        while (p < end && (text[p] == '\t' || text[p] == ' ' || text[p] == ',')) {
            ++p;
        }
        if (p >= end) {
            *position = p;
            return FALSE;
        }
        if (text[p] == 'x') {
            row->Limits[group][l] = static_cast<CHAR>(SKU_LIMIT_UNSPECIFIED);
            ++p;
            continue;
        }
        bool negative = false;
        if (text[p] == '-') {
            negative = true;
            ++p;
        }
        UCHAR digits = 0;
        while (p < end && IsDigit(text[p])) {
            digits = static_cast<UCHAR>(digits * 10 + (text[p] - '0'));
            ++p;
        }
        const CHAR read = static_cast<CHAR>(negative ? static_cast<UCHAR>(0u - digits) : digits);
        const CHAR value = ReduceLimit(adapter, version, chain, channel, group, l, sixGhzFile, read);
        row->Limits[group][l] = value;
        if (channel == adapter->RegistryBlock.SingleSkuDebugCh) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "channel %u %s[%u]: %d", static_cast<unsigned>(channel), g->name,
                     static_cast<unsigned>(l), static_cast<int>(value));
        }
    }
    *position = p;
    return TRUE;
}

NTSTATUS skuTableGetTxPwrLimit(PMP_ADAPTER adapter, BOOLEAN sixGhzFile, PUCHAR version, PSKU_POWER_TABLE table,
                               UCHAR chain, const UCHAR* text, ULONG length)
{
    if (adapter == nullptr || version == nullptr || table == nullptr || table->Rows == nullptr || text == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    *version = TextVersion(text, length);
    if (*version != adapter->HalInfo.SkuFileKind) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power-limit text of version %u, the chip takes %u", static_cast<unsigned>(*version),
                 static_cast<unsigned>(adapter->HalInfo.SkuFileKind));
        return STATUS_UNSUCCESSFUL;
    }
    USHORT code = adapter->WorkingCfg.CountryCode;  // first letter in the low byte
    if (code == ('W' | ('W' << 8))) {
        code = '0' | ('0' << 8);
    }
    ULONG start = 0;
    ULONG end = 0;
    if (!skuTableGetTableCountryRange(adapter, sixGhzFile, code, text, length, &start, &end) &&
        (code == ('0' | ('0' << 8)) ||
         !skuTableGetTableCountryRange(adapter, sixGhzFile, '0' | ('0' << 8), text, length, &start, &end))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "no power-limit section for %c%c", code & 0xFF, code >> 8);
        return STATUS_UNSUCCESSFUL;
    }
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    ULONG position = start;
    const ULONG groups = skuTableRateGroupCount(*version);
    for (ULONG group = 0; group < groups; ++group) {
        const RateGroup* g = GroupOfVersion(*version, group);
        const ULONG nameLength = static_cast<ULONG>(std::strlen(g->name));
        const ULONG tag = FindGroupTag(text, position, end, g->name, nameLength);
        if (tag >= end) {
            continue;  // the group is absent
        }
        position = NextLine(text, tag, end);
        if (r.AFCEnable && adapter->AfcNotApplicable == 0) {
            (void)AFCPowerValuesGetForAMod(adapter, g->name, &adapter->SkuTables.AfcLimit);
        }
        for (;;) {
            position = SkipSpace(text, position, end);
            if (end - position < nameLength + 3) {
                return STATUS_SUCCESS;  // the section ends here
            }
            if (text[position] == '<') {
                if (text[position + 1] == '/' && Matches(text, position + 2, end, g->name, nameLength) &&
                    text[position + 2 + nameLength] == '>') {
                    position += nameLength + 3;
                    break;
                }
                position += nameLength + 2;
                continue;
            }
            if (!skuTableUpdatePerChannelTxPwrLimit(adapter, *version, chain, text, &position, end, table, group, sixGhzFile)) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power-limit row of %s cut off", g->name);
                return STATUS_UNSUCCESSFUL;
            }
        }
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// deciphering
// ================================================================================================
namespace {
constexpr UCHAR kSeed[8] = {'K', 'O', 'R', 'V', 'A', 'L', 'I', 'N'};
constexpr char kMarker[] = "_____Quazel_____";
constexpr ULONG kAesBlock = 16;

ULONG PropertyLength(BCRYPT_HANDLE object, PCWSTR property, NTSTATUS* status)
{
    ULONG value = 0;
    ULONG written = 0;
    *status = BCryptGetProperty(object, property, reinterpret_cast<PUCHAR>(&value), sizeof(value), &written, 0);
    return value;
}
}  // namespace

NTSTATUS CreateSymmetricKey_SHA1_Hash(const UCHAR* seed, ULONG seedLength, PSKU_DECRYPT_CONTEXT context)
{
    NTSTATUS status = BCryptOpenAlgorithmProvider(&context->Sha1Algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        context->Sha1Algorithm = nullptr;
        return status;
    }
    NTSTATUS blockStatus;
    const ULONG block = PropertyLength(context->AesAlgorithm, BCRYPT_BLOCK_LENGTH, &blockStatus);
    context->BlockLength = NT_SUCCESS(blockStatus) && block != 0 ? block : kAesBlock;
    context->KeyObjectLength = PropertyLength(context->AesAlgorithm, BCRYPT_OBJECT_LENGTH, &status);
    if (!NT_SUCCESS(status) || context->KeyObjectLength == 0) {
        return NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status;
    }
    PVOID keyObject = nullptr;
    status = PlatformAllocateMemory(nullptr, &keyObject, context->KeyObjectLength, TAG_ZVSK);
    if (status != STATUS_SUCCESS || keyObject == nullptr) {
        context->KeyObjectLength = 0;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    context->KeyObject = static_cast<PUCHAR>(keyObject);
    context->HashObjectLength = PropertyLength(context->Sha1Algorithm, BCRYPT_OBJECT_LENGTH, &status);
    if (!NT_SUCCESS(status) || context->HashObjectLength == 0) {
        context->HashObjectLength = 0;
        return NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status;
    }
    PVOID hashObject = nullptr;
    status = PlatformAllocateMemory(nullptr, &hashObject, context->HashObjectLength, TAG_ZVSK);
    if (status != STATUS_SUCCESS || hashObject == nullptr) {
        context->HashObjectLength = 0;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    context->HashObject = static_cast<PUCHAR>(hashObject);
    status = BCryptCreateHash(context->Sha1Algorithm, &context->Hash, context->HashObject, context->HashObjectLength,
                              nullptr, 0, 0);
    if (!NT_SUCCESS(status)) {
        context->Hash = nullptr;
        return status;
    }
    UCHAR digest[20] = {};
    UCHAR seedCopy[sizeof(kSeed)];
    const ULONG seedBytes = seedLength < sizeof(seedCopy) ? seedLength : static_cast<ULONG>(sizeof(seedCopy));
    std::memcpy(seedCopy, seed, seedBytes);
    status = BCryptHashData(context->Hash, seedCopy, seedBytes, 0);
    if (NT_SUCCESS(status)) {
        status = BCryptFinishHash(context->Hash, digest, sizeof(digest), 0);
    }
    if (NT_SUCCESS(status)) {
        status = BCryptGenerateSymmetricKey(context->AesAlgorithm, &context->Key, context->KeyObject,
                                            context->KeyObjectLength, digest, 16, 0);
        if (!NT_SUCCESS(status)) {
            context->Key = nullptr;
        }
    }
    std::memset(digest, 0, sizeof(digest));
    return status;
}

BOOLEAN AllocateCryptoResources(PMP_ADAPTER adapter, PSKU_DECRYPT_CONTEXT context)
{
    UNREFERENCED_PARAMETER(adapter);
    NTSTATUS status = BCryptOpenAlgorithmProvider(&context->AesAlgorithm, BCRYPT_AES_ALGORITHM, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        context->AesAlgorithm = nullptr;
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "AES provider: 0x%08X", static_cast<unsigned>(status));
        return FALSE;
    }
    status = CreateSymmetricKey_SHA1_Hash(kSeed, sizeof(kSeed), context);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power-limit key: 0x%08X", static_cast<unsigned>(status));
        ReleaseCryptoResources(context);
        return FALSE;
    }
    return TRUE;
}

void ReleaseCryptoResources(PSKU_DECRYPT_CONTEXT context)
{
    if (context == nullptr) {
        return;
    }
    if (context->Hash != nullptr) {
        (void)BCryptDestroyHash(context->Hash);
        context->Hash = nullptr;
    }
    if (context->Key != nullptr) {
        (void)BCryptDestroyKey(context->Key);
        context->Key = nullptr;
    }
    if (context->AesAlgorithm != nullptr) {
        (void)BCryptCloseAlgorithmProvider(context->AesAlgorithm, 0);
        context->AesAlgorithm = nullptr;
    }
    if (context->Sha1Algorithm != nullptr) {
        (void)BCryptCloseAlgorithmProvider(context->Sha1Algorithm, 0);
        context->Sha1Algorithm = nullptr;
    }
    if (context->KeyObject != nullptr) {
        PlatformFreeMemory(context->KeyObject, context->KeyObjectLength);
        context->KeyObject = nullptr;
    }
    if (context->HashObject != nullptr) {
        PlatformFreeMemory(context->HashObject, context->HashObjectLength);
        context->HashObject = nullptr;
    }
}

BOOLEAN skuTableDecryptPowerTable(PMP_ADAPTER adapter, PUCHAR destination, const UCHAR* source, ULONG length, ULONG skip)
{
    if (destination == nullptr || source == nullptr || length == 0) {
        return FALSE;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(SKU_DECRYPT_CONTEXT), TAG_ZVSK) != STATUS_SUCCESS || block == nullptr) {
        return FALSE;
    }
    auto* context = static_cast<PSKU_DECRYPT_CONTEXT>(block);
    std::memset(context, 0, sizeof(*context));
    if (!AllocateCryptoResources(adapter, context)) {
        PlatformFreeMemory(context, sizeof(*context));
        return FALSE;
    }
    // One block at a time, whatever block length the provider names.
    const ULONG blockLength = kAesBlock;
    PVOID blockBuffer = nullptr;
    PVOID output = nullptr;
    BOOLEAN result = FALSE;
    if (PlatformAllocateMemory(adapter, &blockBuffer, blockLength + 1, TAG_ZVSK) != STATUS_SUCCESS || blockBuffer == nullptr ||
        PlatformAllocateMemory(adapter, &output, length, TAG_ZVSK) != STATUS_SUCCESS || output == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power-limit file of %u bytes: no memory to decipher", static_cast<unsigned>(length));
    } else {
        auto* plain = static_cast<PUCHAR>(blockBuffer);
        auto* body = static_cast<PUCHAR>(output);
        bool enciphered = false;
        bool broken = false;
        ULONG bodyLength = 0;
        for (ULONG p = 0; p + blockLength <= length; p += blockLength) {
            std::memset(plain, 0, blockLength + 1);
            UCHAR in[kAesBlock];
            std::memcpy(in, source + p, blockLength);
            ULONG written = 0;
            const NTSTATUS status = BCryptDecrypt(context->Key, in, blockLength, nullptr, nullptr, 0, plain, blockLength, &written, 0);
            if (p == 0) {
                enciphered = NT_SUCCESS(status) && std::memcmp(plain, kMarker, blockLength) == 0;
                if (!enciphered) {
                    break;
                }
                continue;
            }
            if (!NT_SUCCESS(status)) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_POWER, "power-limit block at %u: 0x%08X", static_cast<unsigned>(p),
                         static_cast<unsigned>(status));
                std::memset(plain, 0, blockLength);
            }
            std::memcpy(body + bodyLength, plain, blockLength);
            bodyLength += blockLength;
        }
        if (enciphered) {
            // A file of whole blocks whose body holds text past the skipped bytes.
            broken = length % blockLength != 0;
            while (bodyLength > 0 && body[bodyLength - 1] == ' ') {
                --bodyLength;
            }
            if (broken || bodyLength <= skip) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "enciphered power-limit file of %u bytes has no text",
                         static_cast<unsigned>(length));
            } else {
                context->BodyLength = bodyLength;
                std::memcpy(destination, body + skip, bodyLength - skip);
                result = TRUE;
            }
        } else {
            std::memcpy(destination, source, length);
            result = TRUE;
        }
    }
    if (output != nullptr) {
        PlatformFreeMemory(output, length);
    }
    if (blockBuffer != nullptr) {
        PlatformFreeMemory(blockBuffer, blockLength + 1);
    }
    ReleaseCryptoResources(context);
    PlatformFreeMemory(context, sizeof(*context));
    return result;
}

// ================================================================================================
// loading
// ================================================================================================
PUCHAR skuTableReadSpecifiedSingleSkuFile(PMP_ADAPTER adapter, PCSTR fileName, PULONG length, PNTSTATUS status)
{
    *length = 0;
    *status = STATUS_SUCCESS;
    const UCHAR* bytes = nullptr;
    ULONG size = 0;
    PFW_IMAGE_REF image = HalGetTheTargetImage(&adapter->FwFiles, fileName, TRUE);
    NDIS_HANDLE file = nullptr;
    PVOID mapped = nullptr;
    if (image != nullptr) {
        bytes = image->Image;
        size = image->Size;
    } else if (adapter->RegistryBlock.FWBin != 1) {
        WCHAR wide[64] = {};
        ULONG n = 0;
        for (; fileName[n] != '\0' && n + 1 < 64; ++n) {
            wide[n] = static_cast<WCHAR>(static_cast<UCHAR>(fileName[n]));
        }
        NDIS_STRING name = {static_cast<USHORT>(n * sizeof(WCHAR)), static_cast<USHORT>(sizeof(wide)), wide};
        NDIS_STATUS openStatus = NDIS_STATUS_FAILURE;
        UINT fileLength = 0;
        NDIS_PHYSICAL_ADDRESS highest;
        highest.QuadPart = -1;
        NdisOpenFile(&openStatus, &file, &fileLength, &name, highest);
        if (openStatus != NDIS_STATUS_SUCCESS) {
            file = nullptr;
        } else {
            NDIS_STATUS mapStatus = NDIS_STATUS_FAILURE;
            NdisMapFile(&mapStatus, &mapped, file);
            if (mapStatus == NDIS_STATUS_SUCCESS && mapped != nullptr) {
                bytes = static_cast<const UCHAR*>(mapped);
                size = fileLength;
            } else {
                mapped = nullptr;
            }
        }
    }
    PUCHAR text = nullptr;
    if (bytes != nullptr && size != 0 && size <= SKU_FILE_MAX_SIZE) {
        PVOID block = nullptr;
        if (PlatformAllocateMemory(adapter, &block, size, TAG_ZVSK) == STATUS_SUCCESS && block != nullptr) {
            text = static_cast<PUCHAR>(block);
            std::memset(text, 0, size);
            if (!skuTableDecryptPowerTable(adapter, text, bytes, size, SKU_FILE_BODY_SKIP)) {
                PlatformFreeMemory(text, size);
                text = nullptr;
            }
        }
    }
    if (image != nullptr) {
        HalFwFreeImageRef(image);
    }
    if (file != nullptr) {
        if (mapped != nullptr) {
            NdisUnmapFile(file);
        }
        NdisCloseFile(file);
    }
    if (text == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power-limit file %s not loaded (%u bytes)", fileName, static_cast<unsigned>(size));
        *status = STATUS_UNSUCCESSFUL;
        adapter->RegistryBlock.CountryRoamingEn = 0;
        return nullptr;
    }
    *length = size;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "power-limit file %s: %u bytes", fileName, static_cast<unsigned>(size));
    return text;
}

NTSTATUS skuTableReadSingleSkuFile(PMP_ADAPTER adapter)
{
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    SKU_FILE_TABLES& t = adapter->SkuTables;
    PCSTR names[SKU_SLOT_COUNT] = {info.SkuFileName1, info.SkuFileName1Ss1t, info.SkuFileName2, info.SkuFileName2Ss1t};
    if (info.SkuFileName1FormFactor != nullptr && adapter->HalOps.PCIeFormFactor != nullptr &&
        adapter->HalOps.PCIeFormFactor(adapter) == 1) {
        names[SKU_SLOT_24G5G] = info.SkuFileName1FormFactor;
        names[SKU_SLOT_6G] = info.SkuFileName2FormFactor;
    }
    NTSTATUS status = STATUS_SUCCESS;
    if (names[SKU_SLOT_24G5G] == nullptr) {
        adapter->RegistryBlock.CountryRoamingEn = 0;
        return status;
    }
    auto load = [&](ULONG slot) {
        t.Text[slot] = skuTableReadSpecifiedSingleSkuFile(adapter, names[slot], &t.Length[slot], &status);
    };
    load(SKU_SLOT_24G5G);
    if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_SKU_ENHANCE_2G5G) && adapter->RegistryBlock.PwrSkuEnhance2G5GEn == 1) {
        if (names[SKU_SLOT_24G5G_1SS1T] == nullptr) {
            return status;
        }
        load(SKU_SLOT_24G5G_1SS1T);
    }
    if (names[SKU_SLOT_6G] == nullptr) {
        return status;
    }
    load(SKU_SLOT_6G);
    if (names[SKU_SLOT_6G_1SS1T] == nullptr) {
        return status;
    }
    load(SKU_SLOT_6G_1SS1T);
    return status;
}

void skuTableFreePowerTables(PMP_ADAPTER adapter)
{
    SKU_FILE_TABLES& t = adapter->SkuTables;
    for (ULONG slot = 0; slot < SKU_SLOT_COUNT; ++slot) {
        if (t.Text[slot] != nullptr && t.Length[slot] != 0) {
            PlatformFreeMemory(t.Text[slot], t.Length[slot]);
        }
        t.Text[slot] = nullptr;
        t.Length[slot] = 0;
    }
}

// ================================================================================================
// the 6 GHz one-stream rate-adaptation switches
// ================================================================================================
NTSTATUS skuTableControl6GRaMode(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    NTSTATUS status = QzCmdSetChipConfigText(adapter, r.Ra1ss1t6g == 1 ? "ra1ss1t6g 1" : "ra1ss1t6g 0");
    if (!NT_SUCCESS(status) || r.Ra1ss1t6g == 0) {
        return status;
    }
    status = QzCmdSetChipConfigText(adapter, r.Ra1ss1t6gOfdmOnly == 1 ? "ra1ss1t6gOfdmOnly 1" : "ra1ss1t6gOfdmOnly 0");
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = QzCmdSetChipConfigText(adapter, r.Ra1ss1t6gPwrOfstEn == 1 ? "ra1ss1t6gPwrOfstEn 1" : "ra1ss1t6gPwrOfstEn 0");
    if (!NT_SUCCESS(status)) {
        return status;
    }
    char text[40];
    if (!NT_SUCCESS(RtlStringCbPrintfA(text, sizeof(text), "ra1ss1t6gPwrOfst %d", static_cast<int>(r.Ra1ss1t6gPwrOfst)))) {
        return STATUS_INVALID_PARAMETER;
    }
    return QzCmdSetChipConfigText(adapter, text);
}
