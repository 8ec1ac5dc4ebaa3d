// IEEE 802.11 as the simulated air speaks it: addresses, channels and their frequencies, the
// management frame header, information elements (one checked reader and the writers), and the few
// derived values peers need (operating classes, centre channels, the short SSID).
//
// Everything here is written from IEEE Std 802.11-2020 and its 802.11ax/802.11be amendments; frames
// are the bytes a real radio sends, without the FCS.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::air {

using Bytes = std::vector<uint8_t>;

// ---- time ----------------------------------------------------------------------------------------
// 100 ns units, as the stand-in's clock counts.
constexpr int64_t kUnitsPerUs = 10;
constexpr int64_t kUnitsPerMs = 10000;
// One time unit (TU) of 802.11: 1024 microseconds.
constexpr int64_t kUnitsPerTu = 10240;

// ---- addresses ----------------------------------------------------------------------------------
using Mac = std::array<uint8_t, 6>;
constexpr Mac kBroadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr Mac kZeroMac{};

inline bool IsGroup(const Mac& a) { return (a[0] & 1) != 0; }
// "02:11:22:33:44:55" (colons or dashes); false on anything else.
bool ParseMac(std::string_view text, Mac* out);
std::string MacText(const Mac& a);
Mac MacAt(const uint8_t* p);

// ---- channels -----------------------------------------------------------------------------------
// Band numbers as the firmware and the driver count them.
enum class Band : uint8_t { B2G4 = 1, B5G = 2, B6G = 3 };

struct Channel {
    Band band = Band::B2G4;
    uint8_t number = 0;
    bool operator==(const Channel& o) const { return band == o.band && number == o.number; }
    bool operator!=(const Channel& o) const { return !(*this == o); }
    bool operator<(const Channel& o) const
    {
        return band != o.band ? band < o.band : number < o.number;
    }
};

// A channel number that exists in its band: 2.4 GHz 1-14; 5 GHz 32-177 every 4 (and 165-177 every 4
// from 165); 6 GHz 1-233 every 4, and channel 2.
bool ValidChannel(Channel c);
uint32_t FrequencyMhz(Channel c);
std::optional<Channel> ChannelOfFrequency(uint32_t mhz);
// The 6 GHz preferred scanning channels (5, 21, 37, ... 229).
bool IsPsc(Channel c);
// 5 GHz channels where radar detection applies (52-64, 100-144).
bool IsDfs(Channel c);
const char* BandText(Band b);

// Width of a BSS in MHz: 20, 40, 80, 160 or 320 (320 in 6 GHz only; 160 not in 2.4 GHz).
bool ValidWidth(Channel primary, unsigned widthMhz);
// Centre channel (index) of the `widthMhz` channel that contains `primary`; the primary itself for 20.
uint8_t CentreChannel(Channel primary, unsigned widthMhz);
// HT secondary channel offset for a 40 MHz or wider BSS: 1 above, 3 below, 0 none.
uint8_t SecondaryOffset(Channel primary, unsigned widthMhz);
// Global operating class (Table E-4) of a BSS on `primary` with this width.
uint8_t OperatingClass(Channel primary, unsigned widthMhz);

// ---- frames -------------------------------------------------------------------------------------
constexpr size_t kMgmtHeaderLength = 24;
// Frame control (little-endian u16) of the management subtypes the air carries.
constexpr uint16_t kFcAssocReq = 0x0000;
constexpr uint16_t kFcAssocResp = 0x0010;
constexpr uint16_t kFcReassocReq = 0x0020;
constexpr uint16_t kFcReassocResp = 0x0030;
constexpr uint16_t kFcProbeReq = 0x0040;
constexpr uint16_t kFcProbeResp = 0x0050;
constexpr uint16_t kFcBeacon = 0x0080;
constexpr uint16_t kFcDisassoc = 0x00A0;
constexpr uint16_t kFcAuth = 0x00B0;
constexpr uint16_t kFcDeauth = 0x00C0;
constexpr uint16_t kFcAction = 0x00D0;

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16); }
void PutLe16(Bytes& b, uint16_t v);
void PutLe32(Bytes& b, uint32_t v);
void PutLe64(Bytes& b, uint64_t v);

// Frame type (0 management, 1 control, 2 data) and subtype of a frame control word.
inline unsigned FrameType(uint16_t fc) { return (fc >> 2) & 3; }
inline unsigned FrameSubtype(uint16_t fc) { return (fc >> 4) & 0xF; }

// The 24-byte header of a management frame; duration 0, sequence number `seq` (12 bits).
Bytes MgmtHeader(uint16_t fc, const Mac& a1, const Mac& a2, const Mac& a3, uint16_t seq);

// The addresses of a frame at least 24 bytes long (address 3 only for management and data frames).
struct FrameAddresses {
    uint16_t fc = 0;
    Mac a1{}, a2{}, a3{};
};
std::optional<FrameAddresses> ReadAddresses(const uint8_t* frame, size_t length);

// ---- information elements -------------------------------------------------------------------------
constexpr uint8_t kEidSsid = 0;
constexpr uint8_t kEidRates = 1;
constexpr uint8_t kEidDsParams = 3;
constexpr uint8_t kEidTim = 5;
constexpr uint8_t kEidCountry = 7;
constexpr uint8_t kEidBssLoad = 11;
constexpr uint8_t kEidErp = 42;
constexpr uint8_t kEidHtCaps = 45;
constexpr uint8_t kEidRsn = 48;
constexpr uint8_t kEidExtRates = 50;
constexpr uint8_t kEidHtOperation = 61;
constexpr uint8_t kEidSsidList = 84;
constexpr uint8_t kEidExtCaps = 127;
constexpr uint8_t kEidVhtCaps = 191;
constexpr uint8_t kEidVhtOperation = 192;
constexpr uint8_t kEidRnr = 201;
constexpr uint8_t kEidVendor = 221;
constexpr uint8_t kEidExtension = 255;
// Extension element ids (the byte after the length of element 255).
constexpr uint8_t kExtHeCaps = 35;
constexpr uint8_t kExtHeOperation = 36;
constexpr uint8_t kExtShortSsidList = 58;
constexpr uint8_t kExtHe6GhzCaps = 59;
constexpr uint8_t kExtEhtOperation = 106;
constexpr uint8_t kExtEhtCaps = 108;

struct Element {
    uint8_t id = 0;
    uint8_t extId = 0;           // extension elements only
    const uint8_t* body = nullptr;  // after the length byte (and after the extension id)
    size_t length = 0;              // bytes at `body`
};

// Walks a run of elements. An element is yielded only when its two-byte header and its whole body
// fit; an extension element also needs its extension id. The first element that does not fit ends
// the walk and leaves Malformed() true (as do 1 trailing byte).
class ElementReader {
public:
    ElementReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}
    bool Next(Element* out);
    bool Malformed() const { return malformed_; }

private:
    const uint8_t* data_;
    size_t length_;
    size_t pos_ = 0;
    bool malformed_ = false;
};

// The first well-formed element of this id (and extension id for 255) in the run; none otherwise.
std::optional<Element> FindElement(const uint8_t* data, size_t length, uint8_t id, uint8_t extId = 0);

void PutElement(Bytes& out, uint8_t id, const Bytes& body);
void PutExtElement(Bytes& out, uint8_t extId, const Bytes& body);

// The short SSID of 802.11ax: the CRC-32 of the SSID as the FCS computes it.
uint32_t ShortSsid(const uint8_t* ssid, size_t length);
uint32_t Crc32(const uint8_t* data, size_t length);

}  // namespace sim::air
