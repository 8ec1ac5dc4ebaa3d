// Why something failed, in words.
#include "explain.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <vector>

#include "devices.h"
#include "kshim/host/control.h"
#include "kshim/host/files.h"
#include "kshim/trace.h"
#include "platform/ndiscommon/adapter.h"

namespace qzlsim {
namespace {

struct StatusName {
    uint32_t status;
    const char* name;
};

// The statuses the driver and the stand-in return most, by the meaning of their names.
const StatusName kStatusNames[] = {
    {0x00000000, "success"},
    {0x00000102, "timed out"},
    {0x00000103, "pending"},
    {0x80000005, "buffer overflow"},
    {0x8000001A, "no more entries"},
    {0xC0000001, "unsuccessful"},
    {0xC0000002, "not implemented"},
    {0xC0000008, "invalid handle"},
    {0xC000000D, "invalid parameter"},
    {0xC0000010, "invalid device request"},
    {0xC0000011, "end of file"},
    {0xC0000022, "access denied"},
    {0xC0000023, "buffer too small"},
    {0xC0000033, "object name invalid"},
    {0xC0000034, "object name not found"},
    {0xC0000035, "object name collision"},
    {0xC000003A, "object path not found"},
    {0xC000009A, "insufficient resources"},
    {0xC000009D, "device not connected"},
    {0xC00000A3, "device not ready"},
    {0xC00000B5, "I/O timed out"},
    {0xC00000BA, "file is a directory"},
    {0xC00000BB, "not supported"},
    {0xC00000E5, "internal error"},
    {0xC0000120, "cancelled"},
    {0xC0000184, "invalid device state"},
    {0xC0000185, "I/O device error"},
    {0xC0000206, "invalid buffer size"},
    {0xC0000225, "not found"},
};

const char* NameOf(uint32_t status)
{
    for (const StatusName& s : kStatusNames) {
        if (s.status == status) {
            return s.name;
        }
    }
    return nullptr;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A trace text with each 8-digit status code it holds followed by its name.
std::string NameCodes(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '0' && i + 10 <= text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            (i == 0 || !IsHexDigit(text[i - 1]))) {
            size_t digits = 0;
            while (i + 2 + digits < text.size() && IsHexDigit(text[i + 2 + digits])) {
                ++digits;
            }
            if (digits == 8) {
                const std::string code = text.substr(i, 10);
                const char* name = NameOf(static_cast<uint32_t>(std::stoul(code.substr(2), nullptr, 16)));
                out += code;
                const bool named = text.compare(i + 10, 2, " (") == 0;  // the text names it already
                if (name != nullptr && !named && code != "0x00000000") {
                    // Inside the text's own parentheses the name joins them.
                    const bool inParentheses = i > 0 && text[i - 1] == '(' && text.compare(i + 10, 1, ")") == 0;
                    out += inParentheses ? std::string(", ") + name : std::string(" (") + name + ")";
                }
                i += 10;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string Utf8(const WCHAR* text, size_t capacity)
{
    std::string out;
    for (size_t i = 0; i < capacity && text[i] != 0; ++i) {
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    }
    return out;
}

// Where a platform file name lands under the testbed's file root, for the reader.
std::string HostPathOf(const std::string& ntName)
{
    std::string path = kshim::host::FilesHostPath(ntName);
    if (!path.empty()) {
        return path;
    }
    // A folder on the way is missing: the path the name would take.
    path = kshim::host::FilesRoot();
    for (char c : ntName) {
        path += c == '\\' ? '/' : c;
    }
    return path;
}

// The firmware containers the bring-up reads, when one is not there.
std::vector<std::string> MissingContainers(const MP_ADAPTER* adapter)
{
    std::vector<std::string> lines;
    if (adapter == nullptr) {
        return lines;
    }
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    // The Wi-Fi container is the only source of the firmware images; the Bluetooth one is optional.
    const std::string name = Utf8(r.WifiContainerPath, REGISTRY_FW_PATH_CHARS);
    if (!name.empty() && !kshim::host::FilesExists(name)) {
        lines.push_back("firmware container not found at " + HostPathOf(name) + " (the driver reads \"" + name +
                        "\")");
    }
    return lines;
}

struct DriverError {
    std::string function;
    std::string text;
};

// The errors the driver traced after the mark, each once, first to last; the calls of services not
// built yet apart (the driver goes on after them).
void ErrorsSince(size_t mark, std::vector<DriverError>* errors, std::vector<DriverError>* notBuilt)
{
    std::set<std::string> seen;
    const std::vector<kshim::host::TraceRecord> records = kshim::host::TraceSnapshot();
    for (size_t i = mark; i < records.size(); ++i) {
        const kshim::host::TraceRecord& r = records[i];
        if (r.level == TRACE_LEVEL_NONE || r.level > TRACE_LEVEL_ERROR || r.text.empty()) {
            continue;
        }
        if (seen.insert(r.function + '\n' + r.text).second) {
            // Many texts begin with their function's name, which the line shows already.
            const std::string prefix = r.function + ": ";
            const std::string text = r.text.rfind(prefix, 0) == 0 ? r.text.substr(prefix.size()) : r.text;
            (IsNotBuiltRecord(r) ? notBuilt : errors)->push_back({r.function, NameCodes(text)});
        }
    }
}

}  // namespace

size_t TraceMark() { return kshim::host::TraceSnapshot().size(); }

bool IsNotBuiltRecord(const kshim::host::TraceRecord& record)
{
    return record.text == record.function + kNotBuiltSuffix;
}

std::string StatusText(NTSTATUS status)
{
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(status));
    const char* name = NameOf(static_cast<uint32_t>(status));
    return name != nullptr ? std::string(code) + " (" + name + ")" : std::string(code);
}

std::string DeviceRefusal(const DeviceArg& device)
{
    const DeviceFacts facts = FactsOf(device.id);
    return facts.refusal.empty() ? std::string() : device.Text() + ": " + facts.refusal;
}

void ExplainFailure(const Run& run, const Failure& failure)
{
    std::vector<DriverError> errors;
    std::vector<DriverError> notBuilt;
    ErrorsSince(failure.mark, &errors, &notBuilt);
    if (errors.empty() && !notBuilt.empty()) {
        // Nothing else went wrong: the last service that is not built yet is the likeliest cause.
        errors.push_back(notBuilt.back());
    }
    std::printf("%s failed", failure.what);
    if (failure.status != STATUS_SUCCESS) {
        std::printf(": %s", StatusText(failure.status).c_str());
    }
    std::printf("\n");

    // What the testbed can tell from facts it checks itself.
    std::vector<std::string> reasons;
    const std::string refusal = DeviceRefusal(run.device);
    if (!refusal.empty()) {
        reasons.push_back(refusal);
    }
    for (const std::string& line : MissingContainers(failure.adapter)) {
        reasons.push_back(line);
    }
    for (const std::string& reason : reasons) {
        std::printf("why: %s\n", reason.c_str());
    }
    if (errors.empty()) {
        if (reasons.empty()) {
            std::printf("why: the driver traced no error (run with --trace to see what it did)\n");
        }
        return;
    }
    const DriverError& last = errors.back();
    std::printf("%s the driver's last error: %s: %s\n", reasons.empty() ? "why:" : "    ", last.function.c_str(),
                last.text.c_str());
    if (errors.size() > 1) {
        constexpr size_t kShown = 12;
        std::printf("     the errors the driver traced, first to last:\n");
        for (size_t i = 0; i < errors.size() && i < kShown; ++i) {
            std::printf("       %s: %s\n", errors[i].function.c_str(), errors[i].text.c_str());
        }
        if (errors.size() > kShown) {
            std::printf("       ... and %zu more (run with --trace to see them all)\n", errors.size() - kShown);
        }
    }
}

}  // namespace qzlsim
