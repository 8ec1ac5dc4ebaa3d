// Run-time library: counted strings, bounded formatting, time fields, the OS version.
#include "kshim/rtl.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "internal.h"
#include "kshim/ex.h"
#include "kshim/host/rtl.h"
#include "text.h"

// ================================================================================================
// text helpers
// ================================================================================================
namespace kshim {

std::string Utf16ToUtf8(const char16_t* text, size_t units)
{
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string CountedToUtf8(PCUNICODE_STRING s)
{
    if (s == nullptr || s->Buffer == nullptr) {
        return std::string();
    }
    return Utf16ToUtf8(s->Buffer, s->Length / sizeof(WCHAR));
}

bool Utf8ToUtf16(std::string_view text, std::u16string* out)
{
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra != 0 && i + extra >= text.size()) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            auto cb = static_cast<unsigned char>(text[i + k]);
            if ((cb & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            *out += static_cast<char16_t>(0xD800 + (c >> 10));
            *out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            *out += static_cast<char16_t>(c);
        }
        i += extra + 1;
    }
    return true;
}

std::string FoldName(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace kshim

// ================================================================================================
// counted strings
// ================================================================================================
namespace {

constexpr ULONG kStringTag = KSHIM_TAG('R', 't', 'l', 'S');
constexpr size_t kMaxCountedBytes = 0xFFFE;

size_t WideLength(PCWSTR s)
{
    size_t n = 0;
    while (s[n] != 0) {
        ++n;
    }
    return n;
}

char WideToNarrow(WCHAR c) { return c <= 0xFF ? static_cast<char>(c) : '?'; }
WCHAR NarrowToWide(char c) { return static_cast<WCHAR>(static_cast<unsigned char>(c)); }

void TerminateIfRoom(PUNICODE_STRING s)
{
    if (s->Buffer != nullptr && s->Length + sizeof(WCHAR) <= s->MaximumLength) {
        s->Buffer[s->Length / sizeof(WCHAR)] = 0;
    }
}

}  // namespace

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source)
{
    destination->Buffer = const_cast<PWSTR>(source);
    if (source == nullptr) {
        destination->Length = destination->MaximumLength = 0;
        return;
    }
    size_t bytes = WideLength(source) * sizeof(WCHAR);
    if (bytes > kMaxCountedBytes - sizeof(WCHAR)) {
        bytes = kMaxCountedBytes - sizeof(WCHAR);
    }
    destination->Length = static_cast<USHORT>(bytes);
    destination->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
}

void RtlInitAnsiString(PANSI_STRING destination, PCSTR source)
{
    destination->Buffer = const_cast<PCHAR>(source);
    if (source == nullptr) {
        destination->Length = destination->MaximumLength = 0;
        return;
    }
    size_t bytes = std::strlen(source);
    if (bytes > kMaxCountedBytes) {
        bytes = kMaxCountedBytes;
    }
    destination->Length = static_cast<USHORT>(bytes);
    destination->MaximumLength = static_cast<USHORT>(bytes + 1);
}

void RtlInitString(PSTRING destination, PCSTR source) { RtlInitAnsiString(destination, source); }

void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source)
{
    if (source == nullptr || source->Buffer == nullptr) {
        destination->Length = 0;
        return;
    }
    USHORT bytes = source->Length < destination->MaximumLength ? source->Length : destination->MaximumLength;
    bytes &= static_cast<USHORT>(~1u);
    std::memmove(destination->Buffer, source->Buffer, bytes);
    destination->Length = bytes;
    TerminateIfRoom(destination);
}

static NTSTATUS AppendUnits(PUNICODE_STRING destination, PCWSTR units, size_t count)
{
    size_t bytes = count * sizeof(WCHAR);
    if (destination->Length + bytes > destination->MaximumLength) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (bytes != 0) {
        std::memmove(reinterpret_cast<PUCHAR>(destination->Buffer) + destination->Length, units, bytes);
    }
    destination->Length = static_cast<USHORT>(destination->Length + bytes);
    TerminateIfRoom(destination);
    return STATUS_SUCCESS;
}

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source)
{
    if (source == nullptr) {
        return STATUS_SUCCESS;
    }
    return AppendUnits(destination, source, WideLength(source));
}

NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING destination, PCUNICODE_STRING source)
{
    if (source == nullptr || source->Buffer == nullptr) {
        return STATUS_SUCCESS;
    }
    return AppendUnits(destination, source->Buffer, source->Length / sizeof(WCHAR));
}

WCHAR RtlUpcaseUnicodeChar(WCHAR c)
{
    if (c >= u'a' && c <= u'z') {
        return static_cast<WCHAR>(c - u'a' + u'A');
    }
    // Latin-1 small letters à..þ except the division sign.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<WCHAR>(c - 0x20);
    }
    return c;
}

LONG RtlCompareUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInSensitive)
{
    size_t na = a->Length / sizeof(WCHAR);
    size_t nb = b->Length / sizeof(WCHAR);
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        WCHAR x = a->Buffer[i];
        WCHAR y = b->Buffer[i];
        if (caseInSensitive) {
            x = RtlUpcaseUnicodeChar(x);
            y = RtlUpcaseUnicodeChar(y);
        }
        if (x != y) {
            return static_cast<LONG>(x) - static_cast<LONG>(y);
        }
    }
    return static_cast<LONG>(na) - static_cast<LONG>(nb);
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInSensitive)
{
    return static_cast<BOOLEAN>(a->Length == b->Length && RtlCompareUnicodeString(a, b, caseInSensitive) == 0);
}

namespace {

// Converts `count` source units into the destination counted string, unit by unit; allocates its
// buffer from the pool when asked, else fills what the buffer holds. Terminates when there is room.
template <class Counted, class SourceUnit, class Convert>
NTSTATUS ConvertCounted(Counted* destination, const SourceUnit* source, size_t count, BOOLEAN allocate,
                        Convert convert)
{
    using Unit = std::remove_pointer_t<decltype(destination->Buffer)>;
    if ((count + 1) * sizeof(Unit) > 0xFFFF) {
        return STATUS_INVALID_PARAMETER_2;
    }
    if (allocate) {
        auto* buffer =
            static_cast<Unit*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, (count + 1) * sizeof(Unit), kStringTag));
        if (buffer == nullptr) {
            return STATUS_NO_MEMORY;
        }
        destination->Buffer = buffer;
        destination->MaximumLength = static_cast<USHORT>((count + 1) * sizeof(Unit));
    }
    size_t room = destination->Buffer != nullptr ? destination->MaximumLength / sizeof(Unit) : 0;
    size_t copied = count < room ? count : room;
    for (size_t i = 0; i < copied; ++i) {
        destination->Buffer[i] = convert(source[i]);
    }
    destination->Length = static_cast<USHORT>(copied * sizeof(Unit));
    if (copied < room) {
        destination->Buffer[copied] = 0;
    }
    return copied == count ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}

template <class Counted>
void FreeCounted(Counted* string)
{
    if (string->Buffer != nullptr) {
        ExFreePoolWithTag(string->Buffer, kStringTag);
    }
    string->Buffer = nullptr;
    string->Length = string->MaximumLength = 0;
}

}  // namespace

NTSTATUS RtlUnicodeStringToAnsiString(PANSI_STRING destination, PCUNICODE_STRING source, BOOLEAN allocate)
{
    bool present = source != nullptr && source->Buffer != nullptr;
    return ConvertCounted(destination, present ? source->Buffer : nullptr, present ? source->Length / sizeof(WCHAR) : 0,
                          allocate, WideToNarrow);
}

void RtlFreeAnsiString(PANSI_STRING string) { FreeCounted(string); }

NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING destination, PCANSI_STRING source, BOOLEAN allocate)
{
    bool present = source != nullptr && source->Buffer != nullptr;
    return ConvertCounted(destination, present ? source->Buffer : nullptr, present ? source->Length : 0, allocate,
                          NarrowToWide);
}

void RtlFreeUnicodeString(PUNICODE_STRING string) { FreeCounted(string); }

static int DigitValue(WCHAR c)
{
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return 99;
}

NTSTATUS RtlUnicodeStringToInteger(PCUNICODE_STRING string, ULONG base, PULONG value)
{
    if (base != 0 && base != 2 && base != 8 && base != 10 && base != 16) {
        return STATUS_INVALID_PARAMETER;
    }
    size_t n = (string != nullptr && string->Buffer != nullptr) ? string->Length / sizeof(WCHAR) : 0;
    const WCHAR* s = n != 0 ? string->Buffer : nullptr;
    size_t i = 0;
    while (i < n && (s[i] == u' ' || s[i] == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (base == 0) {
        base = 10;
        if (i + 1 < n && s[i] == u'0') {
            WCHAR p = s[i + 1];
            if (p == u'x' || p == u'X') {
                base = 16;
            } else if (p == u'o' || p == u'O') {
                base = 8;
            } else if (p == u'b' || p == u'B') {
                base = 2;
            }
            if (base != 10) {
                i += 2;
            }
        }
    }
    ULONG result = 0;
    size_t digits = 0;
    for (; i < n; ++i) {
        int d = DigitValue(s[i]);
        if (d >= static_cast<int>(base)) {
            break;
        }
        result = result * base + static_cast<ULONG>(d);  // wraps modulo 2^32, as the platform does
        ++digits;
    }
    if (digits == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    *value = negative ? static_cast<ULONG>(0u - result) : result;
    return STATUS_SUCCESS;
}

NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string)
{
    if (base == 0) {
        base = 10;
    }
    if (base != 2 && base != 8 && base != 10 && base != 16) {
        return STATUS_INVALID_PARAMETER;
    }
    WCHAR digits[33];
    size_t n = 0;
    do {
        digits[n++] = static_cast<WCHAR>(u"0123456789ABCDEF"[value % base]);
        value /= base;
    } while (value != 0);
    if (n * sizeof(WCHAR) > string->MaximumLength || string->Buffer == nullptr) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (size_t i = 0; i < n; ++i) {
        string->Buffer[i] = digits[n - 1 - i];
    }
    string->Length = static_cast<USHORT>(n * sizeof(WCHAR));
    TerminateIfRoom(string);
    return STATUS_SUCCESS;
}

// ================================================================================================
// bounded formatting
// ================================================================================================
namespace {

// Collects output units up to a capacity (terminator excluded) and remembers a cut.
template <class Unit>
struct Sink {
    Unit* out;
    size_t room;  // units available before the terminator
    size_t used = 0;
    bool cut = false;

    void Put(uint32_t unit)
    {
        if (used < room) {
            out[used++] = static_cast<Unit>(unit);
        } else {
            cut = true;
        }
    }
    void Repeat(uint32_t unit, long count)
    {
        for (long i = 0; i < count; ++i) {
            Put(unit);
        }
    }
};

// A narrow byte or a UTF-16 unit converted for a sink of this unit type.
template <class Unit>
uint32_t ConvertUnit(uint32_t unit, bool sourceWide)
{
    if constexpr (sizeof(Unit) == 1) {
        return sourceWide ? static_cast<unsigned char>(WideToNarrow(static_cast<WCHAR>(unit))) : (unit & 0xFF);
    } else {
        return sourceWide ? (unit & 0xFFFF) : (unit & 0xFF);
    }
}

struct Spec {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    long width = -1;
    long precision = -1;
    int size = 0;  // 1 hh, 2 h, 4 default/l, 8 ll/I64, 9 pointer-sized
    bool wide = false;
    bool narrow = false;
};

template <class Unit>
void PutText(Sink<Unit>& sink, const Spec& spec, const void* text, bool wide, long countLimit)
{
    long length = 0;
    if (wide) {
        auto* w = static_cast<const char16_t*>(text);
        while ((countLimit < 0 || length < countLimit) && w[length] != 0) {
            ++length;
        }
    } else {
        auto* c = static_cast<const char*>(text);
        while ((countLimit < 0 || length < countLimit) && c[length] != 0) {
            ++length;
        }
    }
    if (spec.precision >= 0 && length > spec.precision) {
        length = spec.precision;
    }
    long pad = spec.width > length ? spec.width - length : 0;
    if (!spec.left) {
        sink.Repeat(' ', pad);
    }
    for (long i = 0; i < length; ++i) {
        uint32_t unit = wide ? static_cast<const char16_t*>(text)[i]
                             : static_cast<unsigned char>(static_cast<const char*>(text)[i]);
        sink.Put(ConvertUnit<Unit>(unit, wide));
    }
    if (spec.left) {
        sink.Repeat(' ', pad);
    }
}

template <class Unit>
void PutNumber(Sink<Unit>& sink, const Spec& spec, uint64_t magnitude, bool negative, unsigned base, bool upper)
{
    char digits[72];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (!(magnitude == 0 && spec.precision == 0)) {
        do {
            digits[n++] = set[magnitude % base];
            magnitude /= base;
        } while (magnitude != 0);
    }
    long zeros = spec.precision > n ? spec.precision - n : 0;
    char prefix[3] = {0, 0, 0};
    int prefixLength = 0;
    if (negative) {
        prefix[prefixLength++] = '-';
    } else if (spec.plus) {
        prefix[prefixLength++] = '+';
    } else if (spec.space) {
        prefix[prefixLength++] = ' ';
    }
    if (spec.alt && base == 16 && n != 0) {
        prefix[prefixLength++] = '0';
        prefix[prefixLength++] = upper ? 'X' : 'x';
    } else if (spec.alt && base == 8 && zeros == 0 && (n == 0 || digits[n - 1] != '0')) {
        zeros = 1;
    }
    long body = prefixLength + zeros + n;
    long pad = spec.width > body ? spec.width - body : 0;
    bool zeroPad = spec.zero && !spec.left && spec.precision < 0;
    if (!spec.left && !zeroPad) {
        sink.Repeat(' ', pad);
    }
    for (int i = 0; i < prefixLength; ++i) {
        sink.Put(static_cast<unsigned char>(prefix[i]));
    }
    if (zeroPad) {
        sink.Repeat('0', pad);
    }
    sink.Repeat('0', zeros);
    while (n > 0) {
        sink.Put(static_cast<unsigned char>(digits[--n]));
    }
    if (spec.left) {
        sink.Repeat(' ', pad);
    }
}

// Formats with the platform's conventions; FormatUnit is the format's unit type (char for a
// narrow format, char16_t for a wide one), which decides what a plain %s and %c take.
template <class Unit, class FormatUnit>
void FormatInto(Sink<Unit>& sink, const FormatUnit* format, va_list args)
{
    constexpr bool wideFormat = sizeof(FormatUnit) == 2;
    const FormatUnit* p = format;
    while (*p != 0) {
        if (*p != '%') {
            sink.Put(ConvertUnit<Unit>(static_cast<uint32_t>(*p), wideFormat));
            ++p;
            continue;
        }
        const FormatUnit* start = p++;
        Spec spec;
        for (;; ++p) {
            if (*p == '-') {
                spec.left = true;
            } else if (*p == '+') {
                spec.plus = true;
            } else if (*p == ' ') {
                spec.space = true;
            } else if (*p == '0') {
                spec.zero = true;
            } else if (*p == '#') {
                spec.alt = true;
            } else {
                break;
            }
        }
        if (*p == '*') {
            int w = va_arg(args, int);
            if (w < 0) {
                spec.left = true;
                w = -w;
            }
            spec.width = w;
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') {
                spec.width = (spec.width < 0 ? 0 : spec.width) * 10 + (*p - '0');
                if (spec.width > 100000) {
                    spec.width = 100000;
                }
                ++p;
            }
        }
        if (*p == '.') {
            ++p;
            spec.precision = 0;
            if (*p == '*') {
                int v = va_arg(args, int);
                spec.precision = v < 0 ? -1 : v;
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') {
                    spec.precision = spec.precision * 10 + (*p - '0');
                    if (spec.precision > 100000) {
                        spec.precision = 100000;
                    }
                    ++p;
                }
            }
        }
        // size prefixes
        spec.size = 4;
        if (*p == 'h') {
            ++p;
            spec.narrow = true;
            spec.size = 2;
            if (*p == 'h') {
                ++p;
                spec.size = 1;
            }
        } else if (*p == 'l') {
            ++p;
            spec.wide = true;
            if (*p == 'l') {
                ++p;
                spec.size = 8;
                spec.wide = false;
            }
        } else if (*p == 'w') {
            ++p;
            spec.wide = true;
        } else if (*p == 'z') {
            ++p;
            spec.size = 9;
        } else if (*p == 'I') {
            if (p[1] == '6' && p[2] == '4') {
                p += 3;
                spec.size = 8;
            } else if (p[1] == '3' && p[2] == '2') {
                p += 3;
                spec.size = 4;
            } else {
                ++p;
                spec.size = 9;
            }
        }
        FormatUnit conversion = *p;
        if (conversion == 0) {
            // A lone directive at the end: copy it as it stands.
            for (const FormatUnit* q = start; q < p; ++q) {
                sink.Put(ConvertUnit<Unit>(static_cast<uint32_t>(*q), wideFormat));
            }
            break;
        }
        ++p;
        switch (conversion) {
        case '%':
            sink.Put('%');
            break;
        case 'd':
        case 'i': {
            int64_t v;
            switch (spec.size) {
            case 1: v = static_cast<signed char>(va_arg(args, int)); break;
            case 2: v = static_cast<short>(va_arg(args, int)); break;
            case 8: v = va_arg(args, long long); break;
            case 9: v = va_arg(args, intptr_t); break;
            default: v = va_arg(args, int); break;
            }
            uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            PutNumber(sink, spec, magnitude, v < 0, 10, false);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            uint64_t v;
            switch (spec.size) {
            case 1: v = static_cast<unsigned char>(va_arg(args, unsigned)); break;
            case 2: v = static_cast<unsigned short>(va_arg(args, unsigned)); break;
            case 8: v = va_arg(args, unsigned long long); break;
            case 9: v = va_arg(args, uintptr_t); break;
            default: v = va_arg(args, unsigned); break;
            }
            unsigned base = conversion == 'u' ? 10 : conversion == 'o' ? 8 : 16;
            Spec unsignedSpec = spec;
            unsignedSpec.plus = unsignedSpec.space = false;
            PutNumber(sink, unsignedSpec, v, false, base, conversion == 'X');
            break;
        }
        case 'p': {
            Spec pointerSpec;
            pointerSpec.precision = 16;
            pointerSpec.width = spec.width;
            pointerSpec.left = spec.left;
            PutNumber(sink, pointerSpec, reinterpret_cast<uintptr_t>(va_arg(args, void*)), false, 16, true);
            break;
        }
        case 'c':
        case 'C': {
            bool wideChar = conversion == 'c' ? (spec.wide || (wideFormat && !spec.narrow))
                                              : !(spec.narrow || (wideFormat && !spec.wide));
            auto unit = static_cast<uint32_t>(va_arg(args, int));
            unit = wideChar ? (unit & 0xFFFF) : (unit & 0xFF);
            long pad = spec.width > 1 ? spec.width - 1 : 0;
            if (!spec.left) {
                sink.Repeat(' ', pad);
            }
            sink.Put(ConvertUnit<Unit>(unit, wideChar));
            if (spec.left) {
                sink.Repeat(' ', pad);
            }
            break;
        }
        case 's':
        case 'S': {
            bool wideText = conversion == 's' ? (spec.wide || (wideFormat && !spec.narrow))
                                              : !(spec.narrow || (wideFormat && !spec.wide));
            const void* text = va_arg(args, const void*);
            if (text == nullptr) {
                PutText(sink, spec, "(null)", false, -1);
            } else {
                PutText(sink, spec, text, wideText, -1);
            }
            break;
        }
        case 'Z': {
            if (spec.wide) {
                auto* s = va_arg(args, PCUNICODE_STRING);
                if (s == nullptr || s->Buffer == nullptr) {
                    PutText(sink, spec, "(null)", false, -1);
                } else {
                    // Counted text: stop at its length (an embedded zero still ends it).
                    PutText(sink, spec, s->Buffer, true, s->Length / 2);
                }
            } else {
                auto* s = va_arg(args, PCANSI_STRING);
                if (s == nullptr || s->Buffer == nullptr) {
                    PutText(sink, spec, "(null)", false, -1);
                } else {
                    PutText(sink, spec, s->Buffer, false, s->Length);
                }
            }
            break;
        }
        default:
            for (const FormatUnit* q = start; q < p; ++q) {
                sink.Put(ConvertUnit<Unit>(static_cast<uint32_t>(*q), wideFormat));
            }
            break;
        }
    }
}

template <class Unit, class FormatUnit>
NTSTATUS BoundedPrintf(Unit* destination, size_t cch, const FormatUnit* format, va_list args)
{
    if (destination == nullptr || cch == 0 || cch > NTSTRSAFE_MAX_CCH) {
        return STATUS_INVALID_PARAMETER;
    }
    if (format == nullptr) {
        destination[0] = 0;
        return STATUS_INVALID_PARAMETER;
    }
    Sink<Unit> sink{destination, cch - 1};
    FormatInto(sink, format, args);
    destination[sink.used] = 0;
    return sink.cut ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

template <class Unit>
NTSTATUS BoundedCopy(Unit* destination, size_t cch, const Unit* source)
{
    if (destination == nullptr || cch == 0 || cch > NTSTRSAFE_MAX_CCH) {
        return STATUS_INVALID_PARAMETER;
    }
    size_t i = 0;
    if (source != nullptr) {
        while (i + 1 < cch && source[i] != 0) {
            destination[i] = source[i];
            ++i;
        }
    }
    destination[i] = 0;
    return (source == nullptr || source[i] == 0) ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}

template <class Unit>
NTSTATUS BoundedLength(const Unit* text, size_t cchMax, PSIZE_T cbLength)
{
    if (text == nullptr || cchMax > NTSTRSAFE_MAX_CCH) {
        if (cbLength != nullptr) {
            *cbLength = 0;
        }
        return STATUS_INVALID_PARAMETER;
    }
    size_t n = 0;
    while (n < cchMax && text[n] != 0) {
        ++n;
    }
    bool terminated = n < cchMax;
    if (cbLength != nullptr) {
        *cbLength = terminated ? n * sizeof(Unit) : 0;
    }
    return terminated ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

}  // namespace

NTSTATUS RtlStringCbVPrintfA(PSTR destination, SIZE_T cbDestination, PCSTR format, va_list args)
{
    return BoundedPrintf(destination, cbDestination, format, args);
}

NTSTATUS RtlStringCbVPrintfW(PWSTR destination, SIZE_T cbDestination, PCWSTR format, va_list args)
{
    return BoundedPrintf(destination, cbDestination / sizeof(WCHAR), format, args);
}

NTSTATUS RtlStringCbPrintfA(PSTR destination, SIZE_T cbDestination, PCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    NTSTATUS status = RtlStringCbVPrintfA(destination, cbDestination, format, args);
    va_end(args);
    return status;
}

NTSTATUS RtlStringCbPrintfW(PWSTR destination, SIZE_T cbDestination, PCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    NTSTATUS status = RtlStringCbVPrintfW(destination, cbDestination, format, args);
    va_end(args);
    return status;
}

NTSTATUS RtlStringCbCopyA(PSTR destination, SIZE_T cbDestination, PCSTR source)
{
    return BoundedCopy(destination, cbDestination, source);
}

NTSTATUS RtlStringCbCopyW(PWSTR destination, SIZE_T cbDestination, PCWSTR source)
{
    return BoundedCopy(destination, cbDestination / sizeof(WCHAR), source);
}

NTSTATUS RtlStringCbLengthA(PCSTR text, SIZE_T cbMax, PSIZE_T cbLength)
{
    return BoundedLength(text, cbMax, cbLength);
}

NTSTATUS RtlStringCbLengthW(PCWSTR text, SIZE_T cbMax, PSIZE_T cbLength)
{
    return BoundedLength(text, cbMax / sizeof(WCHAR), cbLength);
}

// ================================================================================================
// time fields
// ================================================================================================
namespace {

constexpr int64_t kTicksPerMs = 10000;
constexpr int64_t kTicksPerDay = 864000000000LL;
constexpr int64_t kDays1601To1970 = 134774;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    int64_t era = FloorDiv(y, 400);
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d)
{
    z += 719468;
    int64_t era = FloorDiv(z, 146097);
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool LeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

void RtlTimeToTimeFields(PLARGE_INTEGER time, PTIME_FIELDS timeFields)
{
    int64_t t = time->QuadPart;
    int64_t days = FloorDiv(t, kTicksPerDay);
    int64_t rest = t - days * kTicksPerDay;
    int64_t ms = rest / kTicksPerMs;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days - kDays1601To1970, &y, &m, &d);
    timeFields->Year = static_cast<CSHORT>(y);
    timeFields->Month = static_cast<CSHORT>(m);
    timeFields->Day = static_cast<CSHORT>(d);
    timeFields->Hour = static_cast<CSHORT>(ms / 3600000);
    timeFields->Minute = static_cast<CSHORT>(ms / 60000 % 60);
    timeFields->Second = static_cast<CSHORT>(ms / 1000 % 60);
    timeFields->Milliseconds = static_cast<CSHORT>(ms % 1000);
    // 1601-01-01 was a Monday.
    timeFields->Weekday = static_cast<CSHORT>(((days % 7) + 7 + 1) % 7);
}

BOOLEAN RtlTimeFieldsToTime(PTIME_FIELDS f, PLARGE_INTEGER time)
{
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f->Year < 1601 || f->Month < 1 || f->Month > 12 || f->Day < 1 || f->Hour < 0 || f->Hour > 23 ||
        f->Minute < 0 || f->Minute > 59 || f->Second < 0 || f->Second > 59 || f->Milliseconds < 0 ||
        f->Milliseconds > 999) {
        return FALSE;
    }
    int monthDays = kDaysInMonth[f->Month - 1] + ((f->Month == 2 && LeapYear(f->Year)) ? 1 : 0);
    if (f->Day > monthDays) {
        return FALSE;
    }
    int64_t days = DaysFromCivil(f->Year, static_cast<unsigned>(f->Month), static_cast<unsigned>(f->Day)) +
                   kDays1601To1970;
    int64_t ms = ((static_cast<int64_t>(f->Hour) * 60 + f->Minute) * 60 + f->Second) * 1000 + f->Milliseconds;
    time->QuadPart = days * kTicksPerDay + ms * kTicksPerMs;
    return TRUE;
}

// ================================================================================================
// version
// ================================================================================================
namespace {
std::atomic<uint32_t> g_osMajor{10};
std::atomic<uint32_t> g_osMinor{0};
std::atomic<uint32_t> g_osBuild{26100};
}  // namespace

NTSTATUS RtlGetVersion(PRTL_OSVERSIONINFOW info)
{
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(RTL_OSVERSIONINFOW)) {
        return STATUS_INVALID_PARAMETER;
    }
    info->dwMajorVersion = g_osMajor.load();
    info->dwMinorVersion = g_osMinor.load();
    info->dwBuildNumber = g_osBuild.load();
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return STATUS_SUCCESS;
}

namespace kshim::host {

void SetOsVersion(uint32_t major, uint32_t minor, uint32_t build)
{
    g_osMajor.store(major);
    g_osMinor.store(minor);
    g_osBuild.store(build);
}

}  // namespace kshim::host
