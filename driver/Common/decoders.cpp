// Names of values for trace messages, dumps into the trace, time-stamped file names, elapsed time.
#include "Common/decoders.h"

#include "kshim/ke.h"
#include "platform/ndiscommon/trace.h"

namespace {

struct ValueName {
    ULONG Value;
    PCSTR Name;
};

// The name of a value in its table, or the table's unknown text (traced when `unknownTraced`).
template <size_t N>
PCSTR NameOf(const ValueName (&table)[N], ULONG value, PCSTR unknown, PCSTR unknownTraced = nullptr)
{
    for (const ValueName& row : table) {
        if (row.Value == value) {
            return row.Name;
        }
    }
    if (unknownTraced != nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "unknown %s %u", unknownTraced, static_cast<unsigned>(value));
    }
    return unknown;
}

constexpr ValueName kCipherNames[] = {
    {0, "CIPHER_NONE"}, {1, "CIPHER_WEP64"}, {2, "CIPHER_WEP128"}, {3, "CIPHER_TKIP"},
    {4, "CIPHER_AES"},  {8, "CIPHER_SMS4"},  {11, "CIPHER_WAPI"},  {13, "CIPHER_TKIP_NO_MIC"},
};

constexpr ValueName kPhyModeNames[] = {
    {0, "PHY_11BG_MIXED"},   {1, "PHY_11B"},          {2, "PHY_11A"},          {3, "PHY_11ABG_MIXED"},
    {4, "PHY_11G"},          {5, "PHY_11ABGN_MIXED"}, {6, "PHY_11N"},          {7, "PHY_11GN_MIXED"},
    {8, "PHY_11AN_MIXED"},   {9, "PHY_11BGN_MIXED"},  {10, "PHY_11AGN_MIXED"}, {11, "PHY_11VHT"},
    {12, "PHY_11VHT5G_ONLY"}, {13, "PHY_11He"},       {14, "PHY_11BE"},
};

constexpr ValueName kWdiP2pActionNames[] = {
    {1, "WDI_P2P_ACTION_FRAME_GO_NEGOTIATION_REQUEST"},
    {2, "WDI_P2P_ACTION_FRAME_GO_NEGOTIATION_RESPONSE"},
    {3, "WDI_P2P_ACTION_FRAME_GO_NEGOTIATION_CONFIRM"},
    {4, "WDI_P2P_ACTION_FRAME_INVITATION_REQUEST"},
    {5, "WDI_P2P_ACTION_FRAME_INVITATION_RESPONSE"},
    {6, "WDI_P2P_ACTION_FRAME_PROVISION_DISCOVERY_REQUEST"},
    {7, "WDI_P2P_ACTION_FRAME_PROVISION_DISCOVERY_RESPONSE"},
};

constexpr ValueName kP2pFrameNames[] = {
    {0, "GO_NEGOCIATION_REQ"}, {1, "GO_NEGOCIATION_RSP"}, {2, "GO_NEGOCIATION_CONFIRM"},
    {3, "P2P_INVITE_REQ"},     {4, "P2P_INVITE_RSP"},     {5, "P2P_DEV_DIS_REQ"},
    {6, "P2P_DEV_DIS_RSP"},    {7, "P2P_PROVISION_REQ"},  {8, "P2P_PROVISION_RSP"},
    {9, "P2P_ACTION_SEND_COMPLETE"},
};

constexpr ValueName kAuthNames[] = {
    {1, "DOT11_AUTH_ALGO_80211_OPEN"}, {2, "DOT11_AUTH_ALGO_80211_SHARED_KEY"},
    {3, "DOT11_AUTH_ALGO_WPA"},        {4, "DOT11_AUTH_ALGO_WPA_PSK"},
    {6, "DOT11_AUTH_ALGO_RSNA"},       {7, "DOT11_AUTH_ALGO_RSNA_PSK"},
    {8, "DOT11_AUTH_ALGO_WPA3_ENT_192"}, {9, "WDI_AUTH_ALGO_WPA3_SAE"},
    {10, "WDI_AUTH_ALGO_OWE"},         {11, "DOT11_AUTH_ALGO_WPA3_ENT"},
    {0x80000000u, "DOT11_AUTH_ALGO_IHV_START"},
};

constexpr ValueName kCipherAlgorithmNames[] = {
    {0, "DOT11_CIPHER_ALGO_NONE"},        {1, "DOT11_CIPHER_ALGO_WEP40"},
    {2, "DOT11_CIPHER_ALGO_TKIP"},        {4, "DOT11_CIPHER_ALGO_CCMP"},
    {5, "DOT11_CIPHER_ALGO_WEP104"},      {6, "DOT11_CIPHER_ALGO_BIP"},
    {9, "WDI_CIPHER_ALGO_GCMP_256"},      {12, "WDI_CIPHER_ALGO_BIP_GMAC_256"},
    {0x101, "DOT11_CIPHER_ALGO_WEP"},     {0x80000000u, "DOT11_CIPHER_ALGO_IHV_START"},
    {0xFFFFFFFFu, "DOT11_CIPHER_ALGO_IHV_END"},
};

constexpr ValueName kIeNames[] = {
    {0, "IE_SSID"},
    {1, "IE_SUPP_RATES"},
    {2, "IE_FH_PARM"},
    {3, "IE_DS_PARM"},
    {4, "IE_CF_PARM"},
    {5, "IE_TIM"},
    {6, "IE_IBSS_PARM"},
    {7, "IE_COUNTRY"},
    {10, "IE_802_11D_REQUEST"},
    {11, "IE_QBSS_LOAD"},
    {12, "IE_EDCA_PARAMETER"},
    {13, "IE_TSPEC"},
    {14, "IE_TCLAS"},
    {15, "IE_SCHEDULE"},
    {16, "IE_CHALLENGE_TEXT"},
    {32, "IE_POWER_CONSTRAINT"},
    {33, "IE_POWER_CAPABILITY"},
    {34, "IE_TPC_REQUEST"},
    {35, "IE_TPC_REPORT"},
    {36, "IE_SUPP_CHANNELS"},
    {37, "IE_CHANNEL_SWITCH_ANNOUNCEMENT"},
    {38, "IE_MEASUREMENT_REQUEST"},
    {39, "IE_MEASUREMENT_REPORT"},
    {40, "IE_QUIET"},
    {41, "IE_IBSS_DFS"},
    {42, "IE_ERP"},
    {43, "IE_TS_DELAY"},
    {44, "IE_TCLAS_PROCESSING"},
    {45, "IE_HT_CAP"},
    {46, "IE_QOS_CAPABILITY"},
    {48, "IE_RSN"},
    {50, "IE_EXT_SUPP_RATES"},
    {51, "OUI_PREN_HT_CAP"},
    {52, "IE_HT_CAP2"},
    {53, "IE_ADD_HT2"},
    {54, "IE_MOBILITY_DOMAIN"},
    {55, "IE_FAST_BSS_TRANSITION"},
    {56, "IE_TIMEOUT_INTERVAL"},
    {59, "IE_SUPP_REG_CLASS"},
    {60, "IE_EXT_CHANNEL_SWITCH_ANNOUNCEMENT"},
    {61, "IE_ADD_HT"},
    {62, "IE_NEW_EXT_CHA_OFFSET"},
    {68, "IE_WAPI"},
    {70, "IE_RRM_ENABLED_CAP"},
    {72, "IE_2040_BSS_COEXIST"},
    {73, "IE_2040_BSS_INTOLERANT_REPORT"},
    {74, "IE_OVERLAPBSS_SCAN_PARM"},
    {76, "IE_MANAGEMENT_MIC"},
    {97, "IE_CHANNEL_USAGE"},
    {101, "IE_TDLS_LINK_ID"},
    {127, "IE_EXT_CAPABILITY"},
    {221, "IE_VENDOR_SPECIFIC"},
};

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

// ================================================================================================
// time
// ================================================================================================
void GetLocalTimeFields(PTIME_FIELDS fields)
{
    LARGE_INTEGER now;
    LARGE_INTEGER local;
    KeQuerySystemTime(&now);
    ExSystemTimeToLocalTime(&now, &local);
    RtlTimeToTimeFields(&local, fields);
}

NTSTATUS BuildFileNameWithTimeFields(PUNICODE_STRING name)
{
    TIME_FIELDS fields;
    GetLocalTimeFields(&fields);
    WCHAR text[64];
    NTSTATUS status = RtlStringCbPrintfW(text, sizeof(text), u"_%d_%d_%d_%d_%d_%d", fields.Year, fields.Month,
                                         fields.Day, fields.Hour, fields.Minute, fields.Second);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "time fields of a file name not formatted: 0x%08X",
                 static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }
    return RtlAppendUnicodeToString(name, text);
}

ULONG64 GetTimeElapsedInMsec(PMP_ADAPTER adapter, ULONG64 start)
{
    UNREFERENCED_PARAMETER(adapter);
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    const ULONG64 elapsed = (static_cast<ULONG64>(now.QuadPart) - start) / 10000;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_INIT, "%llu ms elapsed", static_cast<unsigned long long>(elapsed));
    return elapsed;
}

// ================================================================================================
// trace dumps
// ================================================================================================
void DBGDumpHexLine(PCHAR line, const UCHAR* data, ULONG count, UCHAR ascii)
{
    ULONG at = 0;
    for (ULONG i = 0; i < DBG_DUMP_BYTES_PER_LINE; ++i) {
        if (i < count) {
            line[at++] = kHexDigits[data[i] >> 4];
            line[at++] = kHexDigits[data[i] & 0xF];
            line[at++] = ' ';
            if (i == 7 && count > 8) {
                line[at++] = ':';
                line[at++] = ' ';
            }
        } else {
            line[at++] = ' ';
            line[at++] = ' ';
            line[at++] = ' ';
        }
    }
    line[at++] = ' ';
    if (ascii) {
        for (ULONG i = 0; i < count; ++i) {
            const UCHAR c = data[i];
            line[at++] = (c < 0x20 || c > 0x7E || c == '%') ? '.' : static_cast<CHAR>(c);
        }
    }
    line[at] = '\0';
}

void DBGDumpHex(ULONG level, ULONG component, PCSTR title, ULONG length, const void* data, UCHAR ascii)
{
    if (!KTRACE_ENABLED(level, component)) {
        return;
    }
    DBGPRINT(level, component, "%s", title != nullptr ? title : "");
    if (data == nullptr) {
        return;
    }
    const auto* bytes = static_cast<const UCHAR*>(data);
    CHAR line[DBG_DUMP_LINE_SIZE];
    for (ULONG offset = 0; offset < length; offset += DBG_DUMP_BYTES_PER_LINE) {
        const ULONG count = length - offset < DBG_DUMP_BYTES_PER_LINE ? length - offset : DBG_DUMP_BYTES_PER_LINE;
        DBGDumpHexLine(line, bytes + offset, count, ascii);
        DBGPRINT(level, component, "%s", line);
    }
}

void DBGDumpString(PCSTR title, const void* data, ULONG length)
{
    if (data == nullptr) {
        return;
    }
    CHAR text[256];
    const ULONG count = length < sizeof(text) - 1 ? length : static_cast<ULONG>(sizeof(text) - 1);
    std::memcpy(text, data, count);
    text[count] = '\0';
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "%s%s", title != nullptr ? title : "", text);
}

// ================================================================================================
// values and their names
// ================================================================================================
ULONG WdiConvertScanType(ULONG scanType) { return scanType >= 1 && scanType <= 3 ? scanType : 0x80000000u; }

PCSTR DecodeCipherName(ULONG cipher) { return NameOf(kCipherNames, cipher, "***UNKNOWN Alogorithm***", "cipher"); }

PCSTR DecodePhyMode(ULONG mode) { return NameOf(kPhyModeNames, mode, "", "wireless mode"); }

PCSTR DecodeWdiP2PActionFrame(ULONG frameType)
{
    return NameOf(kWdiP2pActionNames, frameType, "<** UNKNOWN ACTION Frame **>");
}

PCSTR DecodeP2PFrameType(ULONG frameType) { return NameOf(kP2pFrameNames, frameType, "<** UNKNOWN Frame**>"); }

PCSTR decodeAuthAlgorithm(ULONG algorithm) { return NameOf(kAuthNames, algorithm, "***UNKNOWN Alogorithm***"); }

PCSTR decodeCipherAlgorithm(ULONG algorithm)
{
    return NameOf(kCipherAlgorithmNames, algorithm, "***UNKNOWN Cipher***");
}

PCSTR DecodeIeName(USHORT elementId) { return NameOf(kIeNames, elementId, "<** UNKNOWN IE **>"); }
