// Run-time library: bounded formatting, counted strings and conversions, the OS version.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "kshim/host/control.h"
#include "kshim/host/rtl.h"
#include "kshim/rtl.h"

namespace {

std::u16string Text(const WCHAR* s) { return std::u16string(s); }
std::u16string Text(const UNICODE_STRING& s) { return std::u16string(s.Buffer, s.Length / 2); }

// One bounded wide format: the buffer size in bytes, the call, what must come out.
struct WideCase {
    const char* name;
    size_t cb;
    std::function<NTSTATUS(PWSTR, size_t)> call;
    NTSTATUS status;
    const char16_t* expected;
};

TEST(StringCbPrintf, WideFormattingAlwaysTerminatesAndReportsACut)
{
    const WideCase cases[] = {
        {"path join fits exactly", 2 * 37,
         [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"\\SystemRoot\\System32\\drivers\\%s", u"qzl.bin"); },
         STATUS_SUCCESS, u"\\SystemRoot\\System32\\drivers\\qzl.bin"},
        {"path join one unit short", 2 * 36,
         [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"\\SystemRoot\\System32\\drivers\\%s", u"qzl.bin"); },
         STATUS_BUFFER_OVERFLOW, u"\\SystemRoot\\System32\\drivers\\qzl.bi"},
        {"time suffix", 200,
         [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"_%d_%d_%d_%d_%d_%d", 2024, 3, 9, 7, 5, 0); },
         STATUS_SUCCESS, u"_2024_3_9_7_5_0"},
        {"odd byte count holds whole units only", 7,
         [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"%s", u"abcdef"); }, STATUS_BUFFER_OVERFLOW,
         u"ab"},
        {"room for the terminator only", 2,
         [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"%u", 7u); }, STATUS_BUFFER_OVERFLOW, u""},
        {"hex, padded hex, char, narrow text", 200,
         [](PWSTR d, size_t cb) {
             return RtlStringCbPrintfW(d, cb, u"%x %08X %c %hs|%S", 0xBEEFu, 0x1Au, u'Q', "nar", "row");
         },
         STATUS_SUCCESS, u"beef 0000001A Q nar|row"},
        {"32-bit long and 64-bit sizes", 200,
         [](PWSTR d, size_t cb) {
             return RtlStringCbPrintfW(d, cb, u"%ld %lu %I64u %lld", static_cast<LONG>(-5), 0xFFFFFFFFu,
                                       0x100000000ULL, -1LL);
         },
         STATUS_SUCCESS, u"-5 4294967295 4294967296 -1"},
        {"width, precision, left", 200,
         [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"[%5d|%-4s|%.2s|%%]", 42, u"ab", u"xyz"); },
         STATUS_SUCCESS, u"[   42|ab  |xy|%]"},
        {"null text", 200, [](PWSTR d, size_t cb) { return RtlStringCbPrintfW(d, cb, u"%s", nullptr); },
         STATUS_SUCCESS, u"(null)"},
    };
    for (const WideCase& c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR buffer[128];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(c.call(buffer, c.cb), c.status);
        EXPECT_EQ(Text(buffer), std::u16string(c.expected));
        size_t units = c.cb / 2;
        EXPECT_EQ(buffer[units], u'#') << "wrote past the buffer";
    }
}

TEST(StringCbPrintf, EmptyBufferIsRefusedUntouchedAndNarrowFormatTakesWideTexts)
{
    WCHAR w[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(RtlStringCbPrintfW(w, 0, u"x"), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(w[0], u'#');

    char n[8];
    EXPECT_EQ(RtlStringCbPrintfA(n, sizeof(n), "%s-%ws-%d", "ab", u"cd", 123), STATUS_BUFFER_OVERFLOW);
    EXPECT_STREQ(n, "ab-cd-1");
    EXPECT_EQ(RtlStringCbPrintfA(n, sizeof(n), "%ws", u"\u00e9\u4e2d"), STATUS_SUCCESS);
    EXPECT_STREQ(n, "\xe9?") << "narrow text is Latin-1; other units become '?'";
}

TEST(StringCb, CopyCutsAndLengthNeedsATerminatorWithinTheLimit)
{
    WCHAR w[4];
    EXPECT_EQ(RtlStringCbCopyW(w, sizeof(w), u"abcdef"), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(Text(w), u"abc");
    char n[4];
    EXPECT_EQ(RtlStringCbCopyA(n, sizeof(n), "abc"), STATUS_SUCCESS);
    SIZE_T length = 99;
    EXPECT_EQ(RtlStringCbLengthW(u"abc", 8, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(RtlStringCbLengthW(u"abcd", 8, &length), STATUS_INVALID_PARAMETER) << "no terminator in 8 bytes";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(RtlStringCbLengthA("abc", 4, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 3u);
}

TEST(CountedStrings, AppendRefusesWhatDoesNotFitAndTerminatesWhenThereIsRoom)
{
    WCHAR buffer[12];
    UNICODE_STRING s{0, sizeof(buffer), buffer};
    EXPECT_EQ(RtlAppendUnicodeToString(&s, u"IcsLog"), STATUS_SUCCESS);
    EXPECT_EQ(buffer[6], 0);
    EXPECT_EQ(RtlAppendUnicodeToString(&s, u"_2024_3"), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(Text(s), u"IcsLog") << "nothing appended";
    EXPECT_EQ(RtlAppendUnicodeToString(&s, u"_2024"), STATUS_SUCCESS);
    EXPECT_EQ(Text(s), u"IcsLog_2024");
    UNICODE_STRING more = RTL_CONSTANT_STRING(u"x");
    EXPECT_EQ(RtlAppendUnicodeStringToString(&s, &more), STATUS_SUCCESS);
    EXPECT_EQ(s.Length, sizeof(buffer)) << "full: no terminator written";

    WCHAR small[3];
    UNICODE_STRING dest{0, sizeof(small), small};
    RtlCopyUnicodeString(&dest, &s);
    EXPECT_EQ(Text(dest), u"Ics");
}

TEST(CountedStrings, InitCompareAndCaseInsensitiveEquality)
{
    UNICODE_STRING a, b, c;
    RtlInitUnicodeString(&a, u"FWBin");
    RtlInitUnicodeString(&b, u"fwbin");
    RtlInitUnicodeString(&c, nullptr);
    EXPECT_EQ(a.Length, 10);
    EXPECT_EQ(a.MaximumLength, 12);
    EXPECT_EQ(c.Length, 0);
    EXPECT_EQ(c.Buffer, nullptr);
    EXPECT_FALSE(RtlEqualUnicodeString(&a, &b, FALSE));
    EXPECT_TRUE(RtlEqualUnicodeString(&a, &b, TRUE));
    EXPECT_LT(RtlCompareUnicodeString(&a, &b, FALSE), 0);
    EXPECT_EQ(RtlCompareUnicodeString(&a, &b, TRUE), 0);
    UNICODE_STRING prefix;
    RtlInitUnicodeString(&prefix, u"FW");
    EXPECT_LT(RtlCompareUnicodeString(&prefix, &a, TRUE), 0);
}

TEST(CountedStrings, AnsiConversionsAllocateFromThePoolAndCutWithoutIt)
{
    UNICODE_STRING wide = RTL_CONSTANT_STRING(u"de-\u00c9\u0101");
    ANSI_STRING narrow{};
    ASSERT_EQ(RtlUnicodeStringToAnsiString(&narrow, &wide, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(std::string(narrow.Buffer, narrow.Length), "de-\xc9?");
    EXPECT_EQ(narrow.Buffer[narrow.Length], 0);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("RtlS"), 1u);
    RtlFreeAnsiString(&narrow);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("RtlS"), 0u);

    char small[3];
    ANSI_STRING cut{0, sizeof(small), small};
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&cut, &wide, FALSE), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(std::string(cut.Buffer, cut.Length), "de-");

    ANSI_STRING source;
    RtlInitAnsiString(&source, "US");
    UNICODE_STRING back{};
    ASSERT_EQ(RtlAnsiStringToUnicodeString(&back, &source, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(Text(back), u"US");
    RtlFreeUnicodeString(&back);
    EXPECT_EQ(back.Buffer, nullptr);
}

struct IntegerCase {
    const char16_t* text;
    ULONG base;
    NTSTATUS status;
    ULONG value;
};

TEST(CountedStrings, UnicodeStringToInteger)
{
    const IntegerCase cases[] = {
        {u"123", 0, STATUS_SUCCESS, 123},         {u"0x1F", 0, STATUS_SUCCESS, 31},
        {u"ff", 16, STATUS_SUCCESS, 255},         {u"  -12", 10, STATUS_SUCCESS, static_cast<ULONG>(-12)},
        {u"12abc", 10, STATUS_SUCCESS, 12},       {u"0b101", 0, STATUS_SUCCESS, 5},
        {u"", 10, STATUS_INVALID_PARAMETER, 77},  {u"x1", 10, STATUS_INVALID_PARAMETER, 77},
        {u"1", 7, STATUS_INVALID_PARAMETER, 77},
    };
    for (const IntegerCase& c : cases) {
        UNICODE_STRING s;
        RtlInitUnicodeString(&s, c.text);
        ULONG value = 77;
        EXPECT_EQ(RtlUnicodeStringToInteger(&s, c.base, &value), c.status);
        EXPECT_EQ(value, c.value);
    }

    WCHAR buffer[4];
    UNICODE_STRING out{0, sizeof(buffer), buffer};
    EXPECT_EQ(RtlIntegerToUnicodeString(0x2BC, 16, &out), STATUS_SUCCESS);
    EXPECT_EQ(Text(out), u"2BC");
    EXPECT_EQ(RtlIntegerToUnicodeString(12345, 10, &out), STATUS_BUFFER_OVERFLOW);
}

TEST(Version, ReportsTheHarnessVersionToACallerWhoSetTheSize)
{
    kshim::host::SetOsVersion(10, 0, 22621);
    RTL_OSVERSIONINFOW info{};
    EXPECT_EQ(RtlGetVersion(&info), STATUS_INVALID_PARAMETER) << "size field not set";
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_EQ(RtlGetVersion(&info), STATUS_SUCCESS);
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwBuildNumber, 22621u);
    kshim::host::SetOsVersion(10, 0, 26100);
}

}  // namespace
