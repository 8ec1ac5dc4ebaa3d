// Names of values, the hex dump lines, elapsed time and time-stamped file names.
#include <gtest/gtest.h>

#include <string>

#include "Common/decoders.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/trace.h"

namespace {

TEST(Decoders, EveryNameTableGivesItsNamesAndItsUnknownText)
{
    struct Case {
        PCSTR (*decode)(ULONG);
        ULONG value;
        const char* name;
    };
    auto ie = [](ULONG v) { return DecodeIeName(static_cast<USHORT>(v)); };
    const Case cases[] = {
        {DecodeCipherName, 4, "CIPHER_AES"},
        {DecodeCipherName, 13, "CIPHER_TKIP_NO_MIC"},
        {DecodeCipherName, 5, "***UNKNOWN Alogorithm***"},
        {DecodePhyMode, 0, "PHY_11BG_MIXED"},
        {DecodePhyMode, 13, "PHY_11He"},
        {DecodePhyMode, 14, "PHY_11BE"},
        {DecodePhyMode, 15, ""},
        {DecodeWdiP2PActionFrame, 1, "WDI_P2P_ACTION_FRAME_GO_NEGOTIATION_REQUEST"},
        {DecodeWdiP2PActionFrame, 7, "WDI_P2P_ACTION_FRAME_PROVISION_DISCOVERY_RESPONSE"},
        {DecodeWdiP2PActionFrame, 0, "<** UNKNOWN ACTION Frame **>"},
        {DecodeP2PFrameType, 0, "GO_NEGOCIATION_REQ"},
        {DecodeP2PFrameType, 9, "P2P_ACTION_SEND_COMPLETE"},
        {DecodeP2PFrameType, 10, "<** UNKNOWN Frame**>"},
        {decodeAuthAlgorithm, 9, "WDI_AUTH_ALGO_WPA3_SAE"},
        {decodeAuthAlgorithm, 0x80000000u, "DOT11_AUTH_ALGO_IHV_START"},
        {decodeAuthAlgorithm, 5, "***UNKNOWN Alogorithm***"},
        {decodeCipherAlgorithm, 0x101, "DOT11_CIPHER_ALGO_WEP"},
        {decodeCipherAlgorithm, 0xFFFFFFFFu, "DOT11_CIPHER_ALGO_IHV_END"},
        {decodeCipherAlgorithm, 3, "***UNKNOWN Cipher***"},
        {ie, 0, "IE_SSID"},
        {ie, 48, "IE_RSN"},
        {ie, 221, "IE_VENDOR_SPECIFIC"},
        {ie, 255, "<** UNKNOWN IE **>"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.decode(c.value), c.name) << c.value;
    }
}

TEST(Decoders, ScanTypesOneToThreePassAndOthersBecomeTheUnknownType)
{
    EXPECT_EQ(WdiConvertScanType(0), 0x80000000u);
    EXPECT_EQ(WdiConvertScanType(1), 1u);
    EXPECT_EQ(WdiConvertScanType(3), 3u);
    EXPECT_EQ(WdiConvertScanType(4), 0x80000000u);
}

TEST(Decoders, AShortHexLineIsPaddedBeforeItsCharacters)
{
    CHAR line[DBG_DUMP_LINE_SIZE];
    const UCHAR three[] = {'a', 0x1F, '%'};
    DBGDumpHexLine(line, three, 3, 1);
    EXPECT_EQ(std::string(line), "61 1f 25 " + std::string(13 * 3, ' ') + " a..");
    DBGDumpHexLine(line, three, 3, 0);
    EXPECT_EQ(std::string(line), "61 1f 25 " + std::string(13 * 3, ' ') + " ");
}

TEST(Decoders, AFullHexLineHasItsSeparatorAfterTheEighthByte)
{
    UCHAR bytes[16];
    for (UCHAR i = 0; i < 16; ++i) {
        bytes[i] = static_cast<UCHAR>(0x41 + i);
    }
    CHAR line[DBG_DUMP_LINE_SIZE];
    DBGDumpHexLine(line, bytes, 16, 1);
    EXPECT_EQ(std::string(line), "41 42 43 44 45 46 47 48 : 49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP");
    EXPECT_LT(std::string(line).size(), static_cast<size_t>(DBG_DUMP_LINE_SIZE));
}

TEST(Decoders, AHexDumpTracesTheTitleAndOneLinePerSixteenBytes)
{
    kshim::host::ResetDefaults();
    kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
    kshim::host::TraceClear();
    UCHAR bytes[20] = {};
    DBGDumpHex(TRACE_LEVEL_INFORMATION, DBG_INIT, "frame", sizeof(bytes), bytes, 0);
    auto records = kshim::host::TraceSnapshot();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].text, "frame");
    // Below the trace level nothing is built.
    kshim::host::TraceClear();
    kshim::host::TraceSetLevel(TRACE_LEVEL_ERROR);
    DBGDumpHex(TRACE_LEVEL_INFORMATION, DBG_INIT, "frame", sizeof(bytes), bytes, 0);
    EXPECT_TRUE(kshim::host::TraceSnapshot().empty());
    kshim::host::ResetDefaults();
}

TEST(Decoders, ElapsedMillisecondsAndTimeStampedNames)
{
    kshim::host::ResetDefaults();
    kshim::host::ClockSetManual();
    // 2026-03-04 05:06:07 UTC, local time one hour ahead.
    TIME_FIELDS fields = {2026, 3, 4, 5, 6, 7, 0, 0};
    LARGE_INTEGER time;
    ASSERT_TRUE(RtlTimeFieldsToTime(&fields, &time));
    kshim::host::ClockSetSystemTime(time.QuadPart);
    kshim::host::ClockSetLocalOffset(36000000000LL);
    EXPECT_EQ(GetTimeElapsedInMsec(nullptr, static_cast<ULONG64>(time.QuadPart) - 25000000), 2500u);

    WCHAR buffer[64] = u"core";
    UNICODE_STRING name = {8, sizeof(buffer), buffer};
    EXPECT_EQ(BuildFileNameWithTimeFields(&name), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(name.Buffer, name.Length / sizeof(WCHAR)), u"core_2026_3_4_6_6_7");

    // A name with no room left keeps its text and gets the append's failure.
    UNICODE_STRING full = {8, 8, buffer};
    EXPECT_NE(BuildFileNameWithTimeFields(&full), STATUS_SUCCESS);
    kshim::host::ResetDefaults();
}

}  // namespace
