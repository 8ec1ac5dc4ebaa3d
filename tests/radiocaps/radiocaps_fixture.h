// A bare adapter of a chosen chip with hand-made ports for the capability and operation records: the
// chip table filled by chip selection, the configuration words these records read set to the values
// the tests name, two receive and two transmit paths, both LDPC directions and the 6 GHz band
// reported by the chip. Beside it: the 802.11 element decoding the tests check against, and a pcap
// writer with a tshark runner for the independent decoding.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Common/cnm.h"
#include "Common/he/eht_rlm.h"
#include "Common/he/he_rlm.h"
#include "Common/rlm.h"
#include "Common/rlm_vht.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "support/run_command.h"

namespace radiocapstest {

using Bytes = std::vector<uint8_t>;

// Chips the capability code tells apart.
constexpr USHORT kChip3404 = 0x3404;  // older generation, 80 MHz
constexpr USHORT kChip3501 = 0x3501;  // second generation, 80 MHz, 6 GHz
constexpr USHORT kChip3504 = 0x3504;  // second generation, 80 MHz, no 6 GHz
constexpr USHORT kChip3502 = 0x3502;  // second generation, 160 MHz
constexpr USHORT kChip3601 = 0x3601;  // third generation, 160 MHz
constexpr USHORT kChip3602 = 0x3602;  // third generation, 320 MHz

// ---- bits of octet strings, as IEEE 802.11 numbers them -------------------------------------------------
inline unsigned Bit(const uint8_t* octets, unsigned bit) { return (octets[bit / 8] >> (bit % 8)) & 1u; }
inline unsigned Field(const uint8_t* octets, unsigned first, unsigned width)
{
    unsigned v = 0;
    for (unsigned i = 0; i < width; ++i) {
        v |= Bit(octets, first + i) << i;
    }
    return v;
}
inline unsigned Field32(uint32_t word, unsigned first, unsigned width) { return (word >> first) & ((1u << width) - 1); }
inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16); }

// An element: id, length and body.
inline Bytes Ie(uint8_t id, const Bytes& body)
{
    Bytes e{id, static_cast<uint8_t>(body.size())};
    e.insert(e.end(), body.begin(), body.end());
    return e;
}
// An extension element (id 255): the extension id first in the body.
inline Bytes ExtIe(uint8_t ext, const Bytes& body)
{
    Bytes b{ext};
    b.insert(b.end(), body.begin(), body.end());
    return Ie(255, b);
}
inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// The value of a per-stream 2-bit map (streams 1..8).
inline unsigned Stream(uint16_t map, unsigned stream) { return (map >> (2 * (stream - 1))) & 3u; }

class RadioCapsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceClear();
        adapter_.reset(new MP_ADAPTER());
    }

    void TearDown() override
    {
        for (PMP_PORT& port : adapter_->PortList) {
            delete port;
            port = nullptr;
        }
        adapter_.reset();
        kshim::host::ResetDefaults();
    }

    // Selects the chip and sets the configuration words to the defaults of the texts.
    void Chip(USHORT deviceId)
    {
        MP_ADAPTER* a = adapter_.get();
        for (PMP_PORT& port : a->PortList) {
            delete port;
            port = nullptr;
        }
        adapter_.reset(new MP_ADAPTER());
        a = adapter_.get();
        a->DeviceId = deviceId;
        HalRegisterChip(a);
        a->RegistryBlock.Config_11AC = 0x3F;
        a->RegistryBlock.Config_11AX = 0x7F7;
        a->RegistryBlock.Config_6G = 0xAB;
        a->RegistryBlock.Config_11BE = 0x71;
        a->RegistryBlock.BaSize_11AX = 0x01000100;
        a->RegistryBlock.P2P_GO_Band = 2;
        a->RegistryBlock.EnableSR = 1;
        a->AntennaPath = 0x22;  // two receive paths, two transmit paths
        a->Cap.ChipRxLdpc = 1;
        a->Cap.ChipTxLdpc = 1;
        a->Only24G = 0;
        a->Cap.SixGCapable = 1;
    }

    // A port of the type, PHY mode and band; records not yet built.
    MP_PORT* Port(ULONG number, ULONG type, UCHAR phyMode, ULONG band, UCHAR primary = 36)
    {
        delete adapter_->PortList[number];
        auto* port = new MP_PORT();
        port->Adapter = adapter_.get();
        port->PortNumber = number;
        port->PortType = type;
        port->WirelessMode = phyMode;
        port->Channel.Band = band;
        port->Channel.PrimaryChannel = primary;
        port->Active = 1;
        adapter_->PortList[number] = port;
        if (adapter_->PortCount <= number) {
            adapter_->PortCount = number + 1;
        }
        return port;
    }

    // A station port 0 with every record built.
    MP_PORT* Station(UCHAR phyMode, ULONG band, UCHAR primary = 36)
    {
        MP_PORT* port = Port(0, EXTSTA, phyMode, band, primary);
        Build(port);
        return port;
    }

    void Build(MP_PORT* port)
    {
        EXPECT_EQ(VhtInitCtrl(adapter_.get(), port), STATUS_SUCCESS);
        EXPECT_EQ(HeInitCtrl(adapter_.get(), port), STATUS_SUCCESS);
        EXPECT_EQ(EhtInitCtrl(adapter_.get(), port), STATUS_SUCCESS);
    }

    Bytes HeCapElement(MP_PORT* port)
    {
        Bytes b(HE_CAP_ELEMENT_MAX + 16, 0xEE);
        USHORT length = 0;
        heRlmGenerateHeCap(adapter_.get(), port, b.data(), &length);
        EXPECT_LE(length, HE_CAP_ELEMENT_MAX);
        b.resize(length);
        return b;
    }

    Bytes EhtCapElement(MP_PORT* port)
    {
        Bytes b(EHT_CAP_ELEMENT_MAX + 16, 0xEE);
        USHORT length = 0;
        ehtRlmReqGenerateCapIE(adapter_.get(), port, b.data(), &length);
        EXPECT_LE(length, EHT_CAP_ELEMENT_MAX);
        b.resize(length);
        return b;
    }

    Bytes VhtCapElement(const VHT_CAP_IE& cap)
    {
        Bytes body(sizeof(cap));
        std::memcpy(body.data(), &cap, sizeof(cap));
        return Ie(191, body);
    }

    Bytes VhtOpElement(const VHT_OP_IE& op)
    {
        Bytes body(sizeof(op));
        std::memcpy(body.data(), &op, sizeof(op));
        return Ie(192, body);
    }

    MP_ADAPTER& A() { return *adapter_; }
    NEGOTIATED_LINK_CAPS& Link() { return adapter_->Rlm.Link; }

    std::unique_ptr<MP_ADAPTER> adapter_;
};

// ---- pcap of 802.11 frames with a radiotap header, decoded by tshark ------------------------------------
inline const uint8_t kApAddr[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
inline const uint8_t kStaAddr[6] = {0x02, 0x66, 0x77, 0x88, 0x99, 0xAA};

// A management frame of the subtype from kStaAddr to kApAddr (BSSID kApAddr).
inline Bytes MgmtFrame(uint8_t subtype, const Bytes& body, const uint8_t* to = kApAddr, const uint8_t* from = kStaAddr)
{
    Bytes f(24, 0);
    f[0] = static_cast<uint8_t>(subtype << 4);
    std::memcpy(&f[4], to, 6);
    std::memcpy(&f[10], from, 6);
    std::memcpy(&f[16], kApAddr, 6);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

// Writes the frames into a pcap (link type 127, radiotap with no fields) under the test's name.
inline std::string WritePcap(const std::vector<Bytes>& frames, const std::string& name)
{
    std::string path = ::testing::TempDir() + "radiocaps_" + name + ".pcap";
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    u32(0xA1B2C3D4);
    u16(2);
    u16(4);
    u32(0);
    u32(0);
    u32(65535);
    u32(127);
    uint32_t second = 1;
    for (const Bytes& f : frames) {
        const uint8_t radiotap[8] = {0, 0, 8, 0, 0, 0, 0, 0};
        u32(second++);
        u32(0);
        u32(static_cast<uint32_t>(f.size() + sizeof(radiotap)));
        u32(static_cast<uint32_t>(f.size() + sizeof(radiotap)));
        out.write(reinterpret_cast<const char*>(radiotap), sizeof(radiotap));
        out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    }
    return path;
}

using qzl_test::RunCommand;

inline bool TsharkPresent() { return RunCommand("command -v tshark").find("tshark") != std::string::npos; }

// The values tshark gives the fields, one map per frame of the pcap (in order; only the frames the
// display filter takes when one is given): one entry per field, its occurrences joined by ','. One
// tshark run for the whole file.
inline std::vector<std::map<std::string, std::string>> TsharkFields(const std::string& pcap,
                                                                    const std::vector<std::string>& fields,
                                                                    const std::string& filter = {})
{
    std::string command = "tshark -r '" + pcap + "' -T fields -E separator='|' -E occurrence=a -E aggregator=','";
    if (!filter.empty()) {
        command += " -Y '" + filter + "'";
    }
    for (const std::string& f : fields) {
        command += " -e " + f;
    }
    command += " 2>/dev/null";
    const std::string text = RunCommand(command);
    std::vector<std::map<std::string, std::string>> frames;
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) {
            lineEnd = text.size();
        }
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        std::map<std::string, std::string> values;
        size_t start = 0;
        for (const std::string& f : fields) {
            size_t end = line.find('|', start);
            values[f] = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
            start = end == std::string::npos ? line.size() : end + 1;
        }
        frames.push_back(values);
    }
    return frames;
}

// Frames tshark finds malformed or marks with an error-severity expert note (empty when none).
inline std::string TsharkProblems(const std::string& pcap)
{
    return RunCommand("tshark -r '" + pcap + "' -Y '_ws.malformed || _ws.expert.severity == \"Error\"' 2>/dev/null");
}

// tshark's integer text ("0x0000000a", "10", "True") as a number.
inline uint64_t TsharkNumber(const std::string& text)
{
    if (text == "True" || text == "true") {
        return 1;
    }
    if (text == "False" || text == "false") {
        return 0;
    }
    return std::stoull(text, nullptr, 0);
}

}  // namespace radiocapstest
