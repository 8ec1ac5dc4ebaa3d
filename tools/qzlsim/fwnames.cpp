// Firmware commands by name: one row per command the driver sends, with its legacy id (and extended
// id) and the unified id and first TLV tag it becomes on the third generation.
#include "fwnames.h"

namespace qzlsim {
namespace {

constexpr int kAny = -1;   // any tag
constexpr int kNone = -2;  // no legacy form (sent in the unified form only)

struct CommandName {
    int legacy;     // legacy command id, kNone when the command is unified only
    int ext;        // extended id of command 0xED, 0 otherwise
    int unified;    // unified command id, kNone when there is no unified form
    int tag;        // first TLV tag of the unified form, kAny when the id alone tells
    const char* name;
};

const CommandName kCommands[] = {
    {0x8A, 0, 0x0E, 3, "NIC capability query"},
    {0x02, 0, 0x0B, 3, "firmware basic configuration"},
    {0xC0, 0, 0x0D, kAny, "register access"},
    {0x28, 0, 0x28, kAny, "multi-band multi-channel setting"},
    {0xCA, 0, 0x0E, 2, "chip configuration text"},
    {0xC5, 0, 0x0B, 0, "firmware log to host"},
    {0x0F, 0, 0x15, kAny, "domain (country and channels)"},
    {0x5D, 0, 0x2C, kAny, "country power limit per rate"},
    {0x70, 0, 0x0E, 1, "customer configuration"},
    {0x11, 0, 0x01, kAny, "BSS activation"},
    {0x03, 0, 0x16, kAny, "scan request"},
    {0x1B, 0, 0x16, 2, "scan cancel"},
    {0x61, 0, 0x16, 4, "scheduled scan enable"},
    {0x62, 0, kNone, kAny, "scheduled scan request"},
    {0x1C, 0, 0x27, kAny, "channel privilege"},
    {0x79, 0, 0x27, 2, "channel manager information query"},
    {0x05, 0, 0x02, 0x15, "power-save mode"},
    {0x17, 0, 0x02, 0x1B, "power management off"},
    {0x16, 0, 0x02, 0x16, "power management on"},
    {0x18, 0, 0x02, 7, "beacon content"},
    {0x1E, 0, 0x02, 0x13, "WMM power-save test parameters"},
    {0x19, 0, kNone, kAny, "BSS radio link settings"},
    {0x12, 0, 0x02, kAny, "BSS information"},
    {0x14, 0, 0x03, 0x25, "station record removal"},
    {0x07, 0, 0x03, 0x27, "key installation"},
    {0x08, 0, 0x03, 0x18, "default key"},
    {0x13, 0, 0x03, kAny, "station record update"},
    {0x1D, 0, 0x04, kAny, "EDCA parameters"},
    {0x0A, 0, 0x08, kAny, "receive filter"},
    {0x81, 0, 0x23, 1, "link quality query"},
    {0x85, 0, 0x23, 2, "station statistics query"},
    {0xC4, 0, 0x0E, 0, "software debug control"},
    {0x58, 0, 0x05, 0, "suspend mode"},
    {kNone, 0, 0x05, 1, "wake-on-WLAN control"},
    {kNone, 0, 0x05, 4, "wake-on-WLAN pattern"},
    {kNone, 0, 0x05, 5, "wake-on-WLAN class filter"},
    {0x04, 0, 0x0F, 0, "power control"},
    {kNone, 0, 0x0F, 4, "band-gap clock request"},
    {0xFC, 0, 0x24, kAny, "monitor mode"},
    {0x2A, 0, 0x2F, kAny, "fixed rate"},
    {0x2B, 0, 0x38, kAny, "preamble puncturing capability"},
    {0xB1, 0, 0x25, 0x87, "spatial reuse parameters"},
    {0xB0, 0, 0x43, kAny, "MU EDCA parameters"},
    {0xF6, 0, 0x07, kAny, "host interface control"},
    {0xC1, 0, 0x0A, kAny, "multicast addresses"},
    {0xED, 0x21, 0x2D, 2, "EEPROM buffer mode (buffer-bin)"},
    {0xED, 0x01, 0x2D, 1, "eFuse access"},
    {0xED, 0x4F, 0x2D, 3, "eFuse free blocks query"},
    {0xED, 0x94, 0x14, kAny, "TWT agreement update"},
    {0xED, 0x1E, 0x33, kAny, "beamforming action"},
    {0xED, 0x81, 0x13, kAny, "error recovery (SER) action"},
    {0xED, 0x3C, 0x1A, kAny, "TSF query"},
    {0xED, 0xA8, 0x25, kAny, "spatial reuse"},
    {0xED, 0xBF, 0x7B, kAny, "Bluetooth control"},
    {0x93, 0, 0x49, kAny, "ICS sniffer"},
    {0x8F, 0, 0x19, kAny, "radar detection on/off"},
    {0x7E, 0, 0x44, kAny, "performance indication"},
    {kNone, 0, 0x0B, 5, "firmware log read position"},
    {kNone, 0, 0x06, 0, "ARP offload"},
    {kNone, 0, 0x06, 1, "neighbour solicitation offload"},
    {kNone, 0, 0x06, 2, "group-key rekey offload"},
    {kNone, 0, 0x2A, 0, "LED GPIO enable"},
    {kNone, 0, 0x2A, 1, "LED control"},
};

}  // namespace

std::string LegacyCommandName(uint8_t cmdId, uint8_t extCmdId)
{
    for (const CommandName& c : kCommands) {
        if (c.legacy == cmdId && (cmdId != 0xED || c.ext == extCmdId)) {
            return c.name;
        }
    }
    return {};
}

std::string UnifiedCommandName(uint16_t cmdId, int firstTag)
{
    const CommandName* anyTag = nullptr;
    for (const CommandName& c : kCommands) {
        if (c.unified != cmdId) {
            continue;
        }
        if (c.tag == firstTag) {
            return c.name;
        }
        if (c.tag == kAny && anyTag == nullptr) {
            anyTag = &c;
        }
    }
    return anyTag != nullptr ? anyTag->name : std::string();
}

}  // namespace qzlsim
