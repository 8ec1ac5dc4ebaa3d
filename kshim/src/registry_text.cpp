// The registry's text form: the loader (a parser of outside input: every length is bounded and a
// malformed line is refused with its number) and the dump.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kshim/host/registry.h"
#include "kshim/registry.h"
#include "regstore.h"
#include "text.h"

namespace {

using kshim::reg::Store;

constexpr size_t kMaxTextBytes = 64u << 20;
constexpr size_t kMaxLineBytes = 4u << 20;

struct Item {
    std::string path;  // resolved
    bool hasValue = false;
    kshim::reg::Value value;
};

// A cursor over one line.
struct Cursor {
    std::string_view s;
    size_t i = 0;

    bool AtEnd() const { return i >= s.size(); }
    char Peek() const { return i < s.size() ? s[i] : '\0'; }
    void SkipBlanks()
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
            ++i;
        }
    }
    // Nothing but blanks and an optional comment is left.
    bool RestIsEmpty()
    {
        SkipBlanks();
        return AtEnd() || s[i] == ';';
    }
};

bool ValidTextChar(unsigned char c) { return c >= 0x20 || c == '\t'; }

// A quoted text (\" is a quote, \\ a backslash); the cursor stands on the opening quote.
bool ParseQuoted(Cursor& c, std::string* out, std::string* why)
{
    ++c.i;
    out->clear();
    while (!c.AtEnd()) {
        char ch = c.s[c.i++];
        if (ch == '"') {
            std::u16string check;
            if (!kshim::Utf8ToUtf16(*out, &check)) {
                *why = "text is not UTF-8";
                return false;
            }
            return true;
        }
        if (ch == '\\' && (c.Peek() == '"' || c.Peek() == '\\')) {
            ch = c.s[c.i++];  // \" and \\; any other backslash stands for itself
        } else if (!ValidTextChar(static_cast<unsigned char>(ch))) {
            *why = "control character in quoted text";
            return false;
        }
        if (out->size() >= kshim::reg::kMaxValueBytes) {
            *why = "quoted text too long";
            return false;
        }
        *out += ch;
    }
    *why = "missing closing quote";
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void AppendUtf16(std::vector<uint8_t>* data, const std::u16string& text)
{
    for (char16_t u : text) {
        data->push_back(static_cast<uint8_t>(u & 0xFF));
        data->push_back(static_cast<uint8_t>(u >> 8));
    }
}

bool ParseDword(Cursor& c, std::vector<uint8_t>* data, std::string* why)
{
    c.SkipBlanks();
    unsigned base = 10;
    if (c.i + 1 < c.s.size() && c.s[c.i] == '0' && (c.s[c.i + 1] == 'x' || c.s[c.i + 1] == 'X')) {
        base = 16;
        c.i += 2;
    }
    uint64_t v = 0;
    size_t digits = 0;
    while (!c.AtEnd()) {
        int d = HexDigit(c.Peek());
        if (d < 0 || d >= static_cast<int>(base)) {
            break;
        }
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) {
            *why = "dword value above 0xFFFFFFFF";
            return false;
        }
        ++c.i;
        ++digits;
    }
    if (digits == 0) {
        *why = "dword value without digits";
        return false;
    }
    for (int k = 0; k < 4; ++k) {
        data->push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    return true;
}

bool ParseHexBytes(Cursor& c, std::vector<uint8_t>* data, std::string* why)
{
    c.SkipBlanks();
    if (c.RestIsEmpty()) {
        return true;  // no bytes
    }
    for (;;) {
        c.SkipBlanks();
        int hi = c.i < c.s.size() ? HexDigit(c.s[c.i]) : -1;
        int lo = c.i + 1 < c.s.size() ? HexDigit(c.s[c.i + 1]) : -1;
        if (hi < 0 || lo < 0) {
            *why = "expected a two-digit hex byte";
            return false;
        }
        if (data->size() >= kshim::reg::kMaxValueBytes) {
            *why = "value longer than 1 MiB";
            return false;
        }
        data->push_back(static_cast<uint8_t>(hi * 16 + lo));
        c.i += 2;
        c.SkipBlanks();
        if (c.Peek() != ',') {
            return true;
        }
        ++c.i;
    }
}

bool ParseStringList(Cursor& c, std::vector<uint8_t>* data, std::string* why)
{
    c.SkipBlanks();
    if (!c.RestIsEmpty()) {
        for (;;) {
            c.SkipBlanks();
            if (c.Peek() != '"') {
                *why = "expected a quoted text";
                return false;
            }
            std::string text;
            if (!ParseQuoted(c, &text, why)) {
                return false;
            }
            std::u16string wide;
            kshim::Utf8ToUtf16(text, &wide);
            wide.push_back(0);
            AppendUtf16(data, wide);
            if (data->size() > kshim::reg::kMaxValueBytes) {
                *why = "value longer than 1 MiB";
                return false;
            }
            c.SkipBlanks();
            if (c.Peek() != ',') {
                break;
            }
            ++c.i;
        }
    }
    data->push_back(0);
    data->push_back(0);
    return true;
}

// name=type:value
bool ParseValueLine(Cursor& c, kshim::reg::Value* value, std::string* why)
{
    std::string name;
    if (c.Peek() == '"') {
        if (!ParseQuoted(c, &name, why)) {
            return false;
        }
        c.SkipBlanks();
        if (c.Peek() != '=') {
            *why = "expected '=' after the value name";
            return false;
        }
    } else {
        size_t eq = c.s.find('=', c.i);
        if (eq == std::string_view::npos) {
            *why = "expected name=type:value";
            return false;
        }
        std::string_view raw = c.s.substr(c.i, eq - c.i);
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t')) {
            raw.remove_suffix(1);
        }
        if (raw.empty()) {
            *why = "empty value name (use @ for the unnamed value)";
            return false;
        }
        name = raw == "@" ? std::string() : std::string(raw);
        std::u16string check;
        if (!kshim::Utf8ToUtf16(name, &check)) {
            *why = "value name is not UTF-8";
            return false;
        }
        c.i = eq;
    }
    ++c.i;  // '='
    if (!kshim::reg::ValidValueName(name)) {
        *why = "value name too long or with a control character";
        return false;
    }
    c.SkipBlanks();
    size_t colon = c.s.find(':', c.i);
    if (colon == std::string_view::npos) {
        *why = "expected type:value after '='";
        return false;
    }
    std::string type = kshim::FoldName(c.s.substr(c.i, colon - c.i));
    c.i = colon + 1;
    value->name = name;
    value->data.clear();
    bool ok;
    if (type == "DWORD") {
        value->type = REG_DWORD;
        ok = ParseDword(c, &value->data, why);
    } else if (type == "SZ" || type == "EXPAND_SZ") {
        value->type = type == "SZ" ? REG_SZ : REG_EXPAND_SZ;
        c.SkipBlanks();
        std::string text;
        if (c.Peek() != '"') {
            *why = "expected a quoted text";
            return false;
        }
        ok = ParseQuoted(c, &text, why);
        if (ok) {
            std::u16string wide;
            kshim::Utf8ToUtf16(text, &wide);
            wide.push_back(0);
            AppendUtf16(&value->data, wide);
            if (value->data.size() > kshim::reg::kMaxValueBytes) {
                *why = "value longer than 1 MiB";
                ok = false;
            }
        }
    } else if (type == "MULTI_SZ") {
        value->type = REG_MULTI_SZ;
        ok = ParseStringList(c, &value->data, why);
    } else if (type == "HEX") {
        value->type = REG_BINARY;
        ok = ParseHexBytes(c, &value->data, why);
    } else if (type.size() > 5 && type.compare(0, 4, "HEX(") == 0 && type.back() == ')') {
        uint64_t number = 0;
        size_t digits = type.size() - 5;
        if (digits > 8) {
            *why = "type number above ffffffff";
            return false;
        }
        for (size_t k = 4; k + 1 < type.size(); ++k) {
            int d = HexDigit(type[k]);
            if (d < 0) {
                *why = "type number of hex(...) is not hexadecimal";
                return false;
            }
            number = number * 16 + static_cast<unsigned>(d);
        }
        value->type = static_cast<uint32_t>(number);
        ok = ParseHexBytes(c, &value->data, why);
    } else {
        *why = "unknown value type (dword, sz, expand_sz, multi_sz, hex, hex(n))";
        return false;
    }
    if (ok && !c.RestIsEmpty()) {
        *why = "unexpected text after the value";
        ok = false;
    }
    return ok;
}

bool ParseText(Store& store, std::string_view text, std::vector<Item>* items, std::string* error)
{
    if (text.size() > kMaxTextBytes) {
        *error = "line 1: text longer than 64 MiB";
        return false;
    }
    std::string current;  // resolved path of the current section
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        auto fail = [&](const std::string& why) {
            *error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        };
        if (line.size() > kMaxLineBytes) {
            return fail("line longer than 4 MiB");
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (lineNumber == 1 && line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") {
            line.remove_prefix(3);  // byte-order mark
        }
        Cursor c{line};
        c.SkipBlanks();
        if (c.AtEnd() || c.Peek() == ';') {
            continue;
        }
        if (c.Peek() == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < c.i) {
                return fail("section without closing ']'");
            }
            Cursor after{line, close + 1};
            if (!after.RestIsEmpty()) {
                return fail("unexpected text after ']'");
            }
            std::string path(line.substr(c.i + 1, close - c.i - 1));
            std::u16string check;
            if (!kshim::Utf8ToUtf16(path, &check)) {
                return fail("key path is not UTF-8");
            }
            std::string why;
            if (!kshim::reg::ResolvePathLocked(store, path, &current, &why)) {
                return fail(why);
            }
            items->push_back(Item{current, false, {}});
            continue;
        }
        if (current.empty()) {
            return fail("value before the first [key] section");
        }
        Item item{current, true, {}};
        std::string why;
        if (!ParseValueLine(c, &item.value, &why)) {
            return fail(why);
        }
        items->push_back(std::move(item));
    }
    return true;
}

// ---- dump ------------------------------------------------------------------------------------------

void AppendQuoted(std::string* out, const std::string& text)
{
    *out += '"';
    for (size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        // A backslash needs its escape only where it could be read as one.
        bool escape = ch == '"' || (ch == '\\' && (i + 1 == text.size() || text[i + 1] == '"' || text[i + 1] == '\\'));
        if (escape) {
            *out += '\\';
        }
        *out += ch;
    }
    *out += '"';
}

void AppendHex(std::string* out, const std::vector<uint8_t>& data)
{
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof(buf), i == 0 ? "%02x" : ",%02x", data[i]);
        *out += buf;
    }
}

// The UTF-16 units of the data when it is whole units and valid UTF-16.
bool Units(const std::vector<uint8_t>& data, std::u16string* units)
{
    if (data.size() % 2 != 0) {
        return false;
    }
    units->assign(data.size() / 2, u'\0');
    for (size_t i = 0; i < units->size(); ++i) {
        (*units)[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    for (size_t i = 0; i < units->size(); ++i) {
        char16_t u = (*units)[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units->size() || (*units)[i + 1] < 0xDC00 || (*units)[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        } else if (u != 0 && u < 0x20 && u != u'\t') {
            return false;
        }
    }
    return true;
}

// Splits data holding texts each ended by a zero into UTF-8 texts; false when it does not.
bool Texts(const std::u16string& units, size_t count, std::vector<std::string>* texts)
{
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] == 0) {
            texts->push_back(kshim::Utf16ToUtf8(units.data() + start, i - start));
            start = i + 1;
        }
    }
    return start == count;
}

void AppendValue(std::string* out, const kshim::reg::Value& v)
{
    bool plainName = !v.name.empty();
    for (char ch : v.name) {
        bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' ||
                  ch == '.' || ch == '-';
        plainName = plainName && ok;
    }
    if (v.name.empty()) {
        *out += '@';
    } else if (plainName) {
        *out += v.name;
    } else {
        AppendQuoted(out, v.name);
    }
    *out += '=';
    std::u16string units;
    std::vector<std::string> texts;
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[24];
        uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        std::snprintf(buf, sizeof(buf), "dword:0x%08x", d);
        *out += buf;
    } else if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && Units(v.data, &units) && !units.empty() &&
               Texts(units, units.size(), &texts) && texts.size() == 1) {
        *out += v.type == REG_SZ ? "sz:" : "expand_sz:";
        AppendQuoted(out, texts[0]);
    } else if (v.type == REG_MULTI_SZ && Units(v.data, &units) && !units.empty() && units.back() == 0 &&
               Texts(units, units.size() - 1, &texts)) {
        *out += "multi_sz:";
        for (size_t i = 0; i < texts.size(); ++i) {
            if (i != 0) {
                *out += ',';
            }
            AppendQuoted(out, texts[i]);
        }
    } else if (v.type == REG_BINARY) {
        *out += "hex:";
        AppendHex(out, v.data);
    } else {
        char buf[24];
        std::snprintf(buf, sizeof(buf), "hex(%x):", v.type);
        *out += buf;
        AppendHex(out, v.data);
    }
    *out += '\n';
}

}  // namespace

namespace kshim::host {

bool RegistryLoadText(const std::string& text, std::string* error)
{
    Store& store = kshim::reg::TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::vector<Item> items;
    std::string why;
    if (!ParseText(store, text, &items, &why)) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    for (const Item& item : items) {
        kshim::reg::Key& key = kshim::reg::CreateKeyLocked(store, item.path);
        if (item.hasValue) {
            kshim::reg::SetValue(key, item.value.name, item.value.type, item.value.data.data(),
                                 item.value.data.size());
        }
    }
    return true;
}

bool RegistryLoadFile(const std::string& file, std::string* error)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (error != nullptr) {
            *error = "cannot read " + file;
        }
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return RegistryLoadText(content.str(), error);
}

std::string RegistryDumpText()
{
    Store& store = kshim::reg::TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    std::string out;
    for (auto it = store.keys.begin(); it != store.keys.end(); ++it) {
        const kshim::reg::Key& key = it->second;
        std::string below = it->first + "\\";
        auto child = store.keys.lower_bound(below);
        bool hasChildren = child != store.keys.end() && child->first.compare(0, below.size(), below) == 0;
        bool root = it->first == "\\REGISTRY" || it->first == "\\REGISTRY\\MACHINE" || it->first == "\\REGISTRY\\USER";
        if (key.values.empty() && (hasChildren || root)) {
            continue;  // implied by the keys below it
        }
        if (!out.empty()) {
            out += '\n';
        }
        out += '[' + key.path + "]\n";
        for (const kshim::reg::Value& v : key.values) {
            AppendValue(&out, v);
        }
    }
    return out;
}

}  // namespace kshim::host
