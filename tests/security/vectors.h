// Reading the published cipher vectors that Debian ships in python3-cryptography-vectors, in place,
// and small byte helpers of the security tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace security {

using Bytes = std::vector<uint8_t>;

inline Bytes Hex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else {
            continue;  // spaces, colons
        }
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline std::string ToHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

inline Bytes Str(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

inline Bytes Random(std::mt19937& rng, size_t n)
{
    Bytes b(n);
    for (auto& x : b) {
        x = static_cast<uint8_t>(rng());
    }
    return b;
}

// Where Debian installs the vectors.
inline std::string VectorDir() { return "/usr/lib/python3/dist-packages/cryptography_vectors/"; }

// One record of a NIST or RFC vector file: its "NAME = value" lines, the bracketed section headers
// in force ("[ENCRYPT]" is kept as SECTION = ENCRYPT, "[Keylen = 128]" as Keylen = 128), and a FAIL
// marker line as FAIL = 1.
using VectorRecord = std::map<std::string, std::string>;

inline std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Reads a vector file; a record ends at a blank line. Records of sections that `wanted` turns down
// are skipped unread (the big files hold many sections a test does not use). Returns false when the
// file is missing.
using SectionFilter = std::function<bool(const std::map<std::string, std::string>&)>;
inline bool ReadVectorFile(const std::string& relativePath, std::vector<VectorRecord>* records,
                           const SectionFilter& wanted = nullptr)
{
    std::ifstream in(VectorDir() + relativePath);
    if (!in) {
        return false;
    }
    std::map<std::string, std::string> sections;
    bool skipping = false;
    VectorRecord current;
    auto flush = [&] {
        if (!current.empty()) {
            VectorRecord r = sections;
            for (auto& kv : current) {
                r[kv.first] = kv.second;
            }
            records->push_back(std::move(r));
            current.clear();
        }
    };
    std::string line;
    while (std::getline(in, line)) {
        if (skipping && (line.empty() || line[0] != '[')) {
            continue;
        }
        line = Trim(line);
        if (line.empty()) {
            flush();
            continue;
        }
        if (line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            flush();
            std::string inner = Trim(line.substr(1, line.find(']') - 1));
            size_t eq = inner.find('=');
            if (eq == std::string::npos) {
                sections["SECTION"] = inner;
            } else {
                sections[Trim(inner.substr(0, eq))] = Trim(inner.substr(eq + 1));
            }
            skipping = wanted && !wanted(sections);
            continue;
        }
        if (line == "FAIL") {
            current["FAIL"] = "1";
            continue;
        }
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            current[Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
        }
    }
    flush();
    return true;
}

// Reads a vector file or skips the test with a clear message when Debian's package is absent.
#define READ_VECTORS_OR_SKIP(path, records, ...)                                                       \
    do {                                                                                              \
        if (!::security::ReadVectorFile((path), (records), ##__VA_ARGS__)) {                          \
            GTEST_SKIP() << "python3-cryptography-vectors is not installed (no " << ::security::VectorDir() \
                         << (path) << ")";                                                            \
        }                                                                                             \
    } while (0)

}  // namespace security
