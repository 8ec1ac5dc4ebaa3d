// The device ids the driver knows, as its chip-selection table answers for them: the chip each id
// selects, the chip's generation, and whether the driver refuses the id by design (and why). Read
// from the driver's own table each time, so the list follows the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qzlsim {

struct DeviceFacts {
    uint16_t id = 0;
    bool known = false;       // the chip-selection table or hardware preparation names the id
    uint16_t chip = 0;        // chip code the id selects; 0: none
    const char* generation = "";  // "older", "second", "third"; empty without a chip
    std::string refusal;      // why the driver refuses the id by design; empty when it runs it
};

DeviceFacts FactsOf(uint16_t id);
// Every id the driver knows, grouped by chip.
std::vector<DeviceFacts> KnownDevices();
// The list for --help: one line per chip with its ids, refused ones marked.
std::string DeviceListText();

}  // namespace qzlsim
