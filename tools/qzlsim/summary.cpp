// The summary of a device that came up.
#include "summary.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "devices.h"
#include "fw/ram.h"
#include "kshim/host/registry.h"
#include "kshim/host/wifi_caps.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/wificx/wificxmain.h"

namespace qzlsim {
namespace {

// The domain command: legacy id and unified id.
constexpr uint8_t kLegacyDomain = 0x0F;
constexpr uint16_t kUnifiedDomain = 0x15;

// The OS's PHY type numbers (the ones a Wi-Fi adapter reports), by the standard that brought each.
const char* PhyName(uint32_t type)
{
    switch (type) {
    case 4:
        return "OFDM (802.11a)";
    case 5:
        return "HR/DSSS (802.11b)";
    case 6:
        return "ERP (802.11g)";
    case 7:
        return "HT (802.11n)";
    case 8:
        return "VHT (802.11ac)";
    case 10:
        return "HE (802.11ax)";
    case 11:
        return "EHT (802.11be)";
    default:
        return nullptr;
    }
}

std::string PhyText(uint32_t type, bool withStandard)
{
    const char* name = PhyName(type);
    if (name == nullptr) {
        return "PHY type " + std::to_string(type);
    }
    std::string text = name;
    return withStandard ? text : text.substr(0, text.find(' '));
}

const char* BandName(uint32_t band)
{
    switch (band) {
    case WIFI_BAND_ID_2G:
        return "2.4 GHz";
    case WIFI_BAND_ID_5G:
        return "5 GHz";
    case WIFI_BAND_ID_6G:
        return "6 GHz";
    default:
        return "band ?";
    }
}

std::string Join(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

std::string MacText(const uint8_t* a)
{
    char text[24];
    std::snprintf(text, sizeof(text), "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

void PrintCapabilities(const kshim::host::WifiCapabilitiesRecord& caps)
{
    if (caps.order.empty()) {
        std::printf("  capabilities: none reported to the OS\n");
        return;
    }
    std::printf("  capabilities, as the OS received them:\n");
    for (const kshim::host::WifiBandRecord& band : caps.bands) {
        std::vector<std::string> widths;
        for (uint32_t w : band.widths) {
            widths.push_back(std::to_string(w));
        }
        std::vector<std::string> phys;
        for (uint32_t p : band.phyTypes) {
            phys.push_back(PhyText(p, false));
        }
        std::string channels;
        if (!band.channels.empty()) {
            channels = std::to_string(band.channels.size()) + " channels (" +
                       std::to_string(band.channels.front().ChannelNumber) + " to " +
                       std::to_string(band.channels.back().ChannelNumber) + ")";
        } else {
            channels = "no channels";
        }
        std::printf("    band %-8s %s, widths %s MHz, PHY types %s%s\n", BandName(band.info.BandID), channels.c_str(),
                    Join(widths, "/").c_str(), Join(phys, ", ").c_str(), band.info.BandState ? "" : " (off)");
    }
    if (caps.device) {
        std::printf("    streams: %u transmit, %u receive\n", caps.device->NumTxStreams, caps.device->NumRxStreams);
        std::string version(reinterpret_cast<const char*>(caps.device->FirmwareVersion),
                            strnlen(reinterpret_cast<const char*>(caps.device->FirmwareVersion),
                                    sizeof(caps.device->FirmwareVersion)));
        std::printf("    firmware version \"%s\"\n", version.c_str());
    }
    if (!caps.phys.empty()) {
        std::vector<std::string> phys;
        for (const WIFI_PHY_INFO& p : caps.phys) {
            phys.push_back(PhyText(p.PhyType, true));
        }
        std::printf("    PHY types: %s\n", Join(phys, ", ").c_str());
    }
}

// Where the address in use came from, as far as the testbed can tell from what the firmware
// reported and the configuration the driver read.
std::string AddressSource(const MP_ADAPTER* a, sim::fw::ChipFirmware* firmware)
{
    if (a->AddressConfigured != 0) {
        return "set by the configuration (\"NetworkAddress\")";
    }
    if (firmware != nullptr) {
        const std::array<uint8_t, 6> reported[] = {
            firmware->Ram().Unified().Settings().capabilities.macAddress,
            firmware->Ram().Settings().capabilities.macAddress,
        };
        for (const std::array<uint8_t, 6>& r : reported) {
            if (std::memcmp(r.data(), a->CurrentAddress, 6) == 0) {
                return "the chip's own, from the firmware's capability report";
            }
        }
    }
    static const uint8_t kRandomPrefix[3] = {0x02, 0x3F, 0xA7};
    if (std::memcmp(a->CurrentAddress, kRandomPrefix, sizeof(kRandomPrefix)) == 0) {
        return "made up by the driver (locally administered, random low bytes): the chip gave no usable address";
    }
    return "the driver's stand-in: the address the chip reported was not usable";
}

// Whether the firmware received the domain (country and channels) command in either form.
bool DomainSent(sim::fw::ChipFirmware* firmware)
{
    if (firmware == nullptr) {
        return false;
    }
    for (const sim::fw::RamExchange& e : firmware->Ram().Exchanges()) {
        if ((e.unifiedCommand && e.unifiedCommand->cmdId == kUnifiedDomain) ||
            (e.command && e.command->cmdId == kLegacyDomain)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void PrintDeviceSummary(kshim::host::OsDevice* device, sim::fw::ChipFirmware* firmware)
{
    const MP_ADAPTER* a = QZCxGetAdapter(device->Handle());
    if (a == nullptr) {
        return;
    }
    const CHIP_HAL_INFO& info = a->HalInfo;
    std::printf("the device:\n");
    std::printf("  device id 0x%04X: chip 0x%04X, %s generation, hardware version 0x%04X, firmware %s\n",
                a->DeviceId, info.ChipCode, FactsOf(a->DeviceId).generation, static_cast<unsigned>(a->HwVersion),
                a->FwDownloaded ? "running in RAM" : "not in RAM");
    PrintCapabilities(kshim::host::WifiCapabilitiesOf(device->Handle()));
    std::printf("  MAC address %s: %s\n", MacText(a->CurrentAddress).c_str(), AddressSource(a, firmware).c_str());
    const USHORT country = a->WorkingCfg.CountryCode;
    std::printf("  country \"%c%c\": %s; %s\n", static_cast<char>(country & 0xFF), static_cast<char>(country >> 8),
                kshim::host::RegistryGetString("@device", "CountryRegionString")
                    ? "from the configuration (\"CountryRegionString\")"
                    : "the driver's default (no \"CountryRegionString\" configured)",
                DomainSent(firmware) ? "the firmware received the domain setting"
                                     : "the firmware has not received a domain setting");
}

}  // namespace qzlsim
