// Capture files of the air: the classic pcap format (microsecond time stamps), written with a
// radiotap header (link type 127: flags, rate, channel frequency and flags, and the signal at our
// antenna for received frames) and read back from link type 127 or plain 802.11 (105).
//
// The writer is a capture of the medium: frames arrive as the medium computes them (beacons of a
// listening window ahead of a probe answer inside it), so it keeps them and writes them in time order
// when the capture is flushed or closed.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "air/ieee80211.h"
#include "air/medium.h"

namespace sim::air {

constexpr uint32_t kLinkTypeIeee80211 = 105;
constexpr uint32_t kLinkTypeRadiotap = 127;

struct PcapRecord {
    int64_t time = 0;  // stand-in clock (100 ns since 1601)
    Bytes frame;       // the 802.11 frame without FCS
    std::optional<Channel> channel;
    std::optional<int8_t> signalDbm;
};

// Whole files in memory.
Bytes EncodePcap(const std::vector<PcapRecord>& records);

struct PcapFile {
    uint32_t linkType = 0;
    std::vector<PcapRecord> records;
    unsigned skipped = 0;  // records that did not hold a usable frame (short, bad radiotap header)
};
// Refuses (with the reason) a file that is not a pcap file of link type 105 or 127, and a record
// whose lengths run past the file. Record lengths are trusted only as far as the file holds them.
std::optional<PcapFile> ParsePcap(const uint8_t* data, size_t length, std::string* error);
std::optional<PcapFile> ReadPcapFile(const std::string& path, std::string* error);

// The radiotap header the writer puts before a frame.
Bytes RadiotapHeader(Channel c, std::optional<int8_t> signalDbm);

class PcapWriter : public CaptureSink {
public:
    PcapWriter() = default;
    ~PcapWriter() override;
    // Opens (truncates) the file and writes the file header; false with the reason on failure.
    bool Open(const std::string& path, std::string* error);
    // Writes what was captured so far in time order; the file stays open for more.
    void Flush();
    void Close();
    size_t Frames() const;

    void Captured(const Bytes& frame, Channel c, int64_t time, std::optional<int8_t> signalDbm) override;

private:
    void FlushLocked();

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::vector<PcapRecord> pending_;
    size_t frames_ = 0;
};

}  // namespace sim::air
