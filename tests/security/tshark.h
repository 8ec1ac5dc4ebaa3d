// Writing frames the driver built into a pcap and reading tshark's decoding of it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "vectors.h"
#include "support/run_command.h"

namespace security {

inline bool TsharkPresent() { return std::system("command -v tshark >/dev/null 2>&1") == 0; }

// Writes frames into a pcap of linktype 105 (IEEE 802.11 without radiotap).
inline void WritePcap(const std::string& path, const std::vector<Bytes>& frames)
{
    std::ofstream out(path, std::ios::binary);
    auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    put32(0xA1B2C3D4u);
    put16(2);
    put16(4);
    put32(0);
    put32(0);
    put32(65535);
    put32(105);
    uint32_t second = 1;
    for (const Bytes& f : frames) {
        put32(second++);
        put32(0);
        put32(static_cast<uint32_t>(f.size()));
        put32(static_cast<uint32_t>(f.size()));
        out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    }
}

using qzl_test::RunCommand;

// Runs tshark over the frames with the given options and returns what it printed.
inline std::string Tshark(const std::string& name, const std::vector<Bytes>& frames, const std::string& options)
{
    const std::string path = ::testing::TempDir() + name + ".pcap";
    WritePcap(path, frames);
    const std::string out = RunCommand("tshark -r " + path + " " + options + " 2>/dev/null");
    std::remove(path.c_str());
    return out;
}

}  // namespace security
