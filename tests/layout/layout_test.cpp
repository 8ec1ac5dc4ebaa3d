// The shape of the driver's sources: rules a reviewer would otherwise have to check by reading.
//
// The adapter object is made of records each layer declares in its own record header; the adapter's
// and the port's headers include only the platform stand-in and those record headers, so that they
// never pull a layer's services into the files that include them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kDriver = fs::path(QZL_SOURCE_DIR) / "driver";

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text without comments, string literals and preprocessor lines.
std::string Code(const std::string& text)
{
    std::string out;
    size_t i = 0;
    bool lineStart = true;
    while (i < text.size()) {
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            if (i == std::string::npos) {
                break;
            }
            continue;
        }
        if (text.compare(i, 2, "/*") == 0) {
            size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 2;
            continue;
        }
        if (lineStart && text[i] == '#') {
            // A directive, with its continuation lines.
            while (i < text.size() && text[i] != '\n') {
                if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
                    ++i;
                }
                ++i;
            }
            continue;
        }
        if (text[i] == '"' || text[i] == '\'') {
            char quote = text[i++];
            while (i < text.size() && text[i] != quote) {
                i += text[i] == '\\' ? 2 : 1;
            }
            ++i;
            out += "\"\"";
            continue;
        }
        if (text[i] == '\n') {
            lineStart = true;
        } else if (text[i] != ' ' && text[i] != '\t') {
            lineStart = false;
        }
        out += text[i++];
    }
    return out;
}

// The declarations of a header at namespace scope that declare a function which is not inline:
// the services of a layer. Bodies of types and inline functions are skipped.
std::vector<std::string> ServiceDeclarations(const fs::path& header)
{
    const std::string code = Code(ReadFile(header));
    std::vector<std::string> statements;
    std::string current;
    int depth = 0;
    for (char c : code) {
        if (c == '{') {
            if (depth == 0) {
                statements.push_back(current + "{");
                current.clear();
            }
            ++depth;
        } else if (c == '}') {
            --depth;
        } else if (depth == 0) {
            if (c == ';') {
                statements.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
    }
    static const std::regex kFunction(R"(\b[A-Za-z_]\w*\s*\((.|\n)*\)\s*(const\s*)?\{?\s*$)");
    static const std::regex kSkip(R"(^\s*(typedef|inline|static_assert|constexpr|static\s+inline|struct|union|enum|extern\s+const)\b)");
    static const std::regex kCallbackRole(R"(^\s*[A-Z][A-Z0-9_]*\s+[A-Za-z_]\w*\s*$)");
    std::vector<std::string> found;
    for (const std::string& s : statements) {
        if (std::regex_search(s, kSkip) || s.find('=') != std::string::npos) {
            continue;
        }
        if (std::regex_search(s, kFunction) || std::regex_match(s, kCallbackRole)) {
            std::string line = std::regex_replace(s, std::regex(R"(\s+)"), " ");
            found.push_back(line.substr(0, 100));
        }
    }
    return found;
}

// The driver headers a file includes directly (paths relative to driver/).
std::vector<std::string> DriverIncludes(const fs::path& file)
{
    static const std::regex kInclude(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<std::string> out;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, kInclude) && fs::exists(kDriver / m[1].str())) {
            out.push_back(m[1].str());
        }
    }
    return out;
}

// Every driver header the header includes, directly or through others.
std::set<std::string> IncludeClosure(const std::string& header)
{
    std::set<std::string> seen;
    std::vector<std::string> todo{header};
    while (!todo.empty()) {
        std::string h = todo.back();
        todo.pop_back();
        for (const std::string& inc : DriverIncludes(kDriver / h)) {
            if (seen.insert(inc).second) {
                todo.push_back(inc);
            }
        }
    }
    return seen;
}

TEST(RecordHeaders, AdapterAndPortIncludeNoServiceHeader)
{
    for (const char* root : {"platform/ndiscommon/adapter.h", "platform/ndiscommon/port.h"}) {
        std::set<std::string> closure = IncludeClosure(root);
        EXPECT_FALSE(closure.empty()) << root;
        for (const std::string& h : closure) {
            EXPECT_NE(h, "platform/ndiscommon/adapter.h") << root << " includes the adapter's header back";
            std::vector<std::string> services = ServiceDeclarations(kDriver / h);
            EXPECT_TRUE(services.empty()) << root << " includes " << h << ", which declares services, e.g. "
                                          << (services.empty() ? "" : services.front());
        }
    }
}

TEST(RecordHeaders, EveryRecordHeaderIncludesOnlyRecordHeaders)
{
    // A record header (name ending in _types.h) declares types and constants only, and includes the
    // platform stand-in and other record headers.
    int headers = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kDriver)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 8 || name.compare(name.size() - 8, 8, "_types.h") != 0) {
            continue;
        }
        ++headers;
        const std::string rel = fs::relative(entry.path(), kDriver).string();
        EXPECT_TRUE(ServiceDeclarations(entry.path()).empty()) << rel << " declares services";
        for (const std::string& h : IncludeClosure(rel)) {
            EXPECT_TRUE(ServiceDeclarations(kDriver / h).empty()) << rel << " includes " << h;
        }
    }
    EXPECT_GE(headers, 10);
}

TEST(RecordHeaders, TheCheckSeesAServiceHeader)
{
    // The rule is only as good as its detection: a header of services is recognised as one.
    EXPECT_FALSE(ServiceDeclarations(kDriver / "platform/ndiscommon/ndiscommon.h").empty());
    EXPECT_FALSE(ServiceDeclarations(kDriver / "hal/common/hal_chip.h").empty());
    EXPECT_FALSE(ServiceDeclarations(kDriver / "platform/wificx/txqueue.h").empty());
    EXPECT_TRUE(ServiceDeclarations(kDriver / "platform/ndiscommon/registry_block.h").empty());
}

}  // namespace
