// The harness's side of the system event log: entries in the order they were written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kshim::host {

struct ErrorLogEntry {
    uint64_t order = 0;  // 1, 2, ... in write order
    const void* ioObject = nullptr;
    uint8_t entrySize = 0;  // as allocated
    uint8_t majorFunctionCode = 0;
    uint8_t retryCount = 0;
    uint16_t eventCategory = 0;
    uint32_t errorCode = 0;
    uint32_t uniqueErrorValue = 0;
    int32_t finalStatus = 0;
    uint32_t sequenceNumber = 0;
    uint32_t ioControlCode = 0;
    int64_t deviceOffset = 0;
    int64_t time = 0;                 // system time of the write
    uint16_t dumpDataSize = 0;        // as the writer set it
    std::vector<uint8_t> dumpData;    // the dump bytes (dumpDataSize of them)
};

std::vector<ErrorLogEntry> ErrorLogSnapshot();
void ErrorLogClear();
// Echo each written entry as one line on stderr (off by default).
void ErrorLogSetEcho(bool on);
// Entries allocated and not yet written.
size_t ErrorLogOutstanding();

}  // namespace kshim::host
