// The device ids the driver knows, read from its chip-selection table.
#include "devices.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "kshim/trace.h"
#include "hal/common/hal_desc.h"
#include "platform/ndiscommon/adapter.h"

namespace qzlsim {
namespace {

const char* GenerationName(UCHAR generation)
{
    switch (generation) {
    case DESC_GEN_OLDER:
        return "older";
    case DESC_GEN_ARVEL2X:
        return "second";
    case DESC_GEN_ARVEL3X:
        return "third";
    default:
        return "";
    }
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof(text), "0x%04X", value);
    return text;
}

}  // namespace

DeviceFacts FactsOf(uint16_t id)
{
    DeviceFacts facts;
    facts.id = id;
    facts.chip = HalChipCodeOfDeviceId(id);
    const bool accepted = HalDeviceIdAcceptedAtPreparation(id) != FALSE;
    facts.known = facts.chip != 0 || accepted;
    if (!facts.known) {
        facts.refusal = "not a device of this driver (no chip in the chip-selection table)";
        return facts;
    }
    if (facts.chip == 0) {
        facts.refusal = "not a device of this driver (refused by design: hardware preparation takes the id, but it "
                        "selects no chip)";
        return facts;
    }
    // The chip layer builds the chip's descriptor and operations table into an adapter; a scratch
    // one answers what the chip is and what it can do.
    // Its trace of the selection is no news to the reader: tracing is off meanwhile.
    const UCHAR level = g_KshimTraceLevel;
    const ULONG flags = g_KshimTraceFlags;
    kshim::host::TraceSetLevel(TRACE_LEVEL_NONE);
    auto scratch = std::make_unique<MP_ADAPTER>();
    scratch->DeviceId = id;
    HalRegisterChip(scratch.get());
    kshim::host::TraceSetLevel(level, flags);
    facts.generation = GenerationName(HalDescGeneration(scratch.get()));
    const CHIP_HAL_OPS& ops = scratch->HalOps;
    if (!accepted) {
        facts.refusal = "not a device of this driver (refused by design: the chip-selection table knows chip " +
                        Hex4(facts.chip) + ", but hardware preparation does not take the id)";
    } else if (ops.PciMsr == nullptr || ops.PciHandleInterrupt == nullptr) {
        facts.refusal = "refused by design: the chip's layer has no interrupt routines, so hardware preparation fails";
    }
    return facts;
}

std::vector<DeviceFacts> KnownDevices()
{
    std::vector<DeviceFacts> known;
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        if (HalChipCodeOfDeviceId(static_cast<USHORT>(id)) != 0 ||
            HalDeviceIdAcceptedAtPreparation(static_cast<USHORT>(id)) != FALSE) {
            known.push_back(FactsOf(static_cast<uint16_t>(id)));
        }
    }
    // Grouped by chip (ids without a chip last), in id order within a chip.
    std::stable_sort(known.begin(), known.end(), [](const DeviceFacts& a, const DeviceFacts& b) {
        const unsigned ka = a.chip == 0 ? 0x10000u : a.chip;
        const unsigned kb = b.chip == 0 ? 0x10000u : b.chip;
        return ka < kb;
    });
    return known;
}

std::string DeviceListText()
{
    std::string text = "Device ids (--device), as the driver's chip-selection table gives them:\n";
    const std::vector<DeviceFacts> known = KnownDevices();
    for (size_t i = 0; i < known.size();) {
        // One line per chip and refusal: the ids that share both.
        size_t end = i;
        std::string ids;
        while (end < known.size() && known[end].chip == known[i].chip && known[end].refusal == known[i].refusal) {
            if (!ids.empty()) {
                ids += ' ';
            }
            ids += Hex4(known[end].id);
            ++end;
        }
        const DeviceFacts& f = known[i];
        std::string what = f.chip != 0 ? "chip " + Hex4(f.chip) + ", " + f.generation + " generation" : "no chip";
        char line[160];
        std::snprintf(line, sizeof(line), "  %-22s %s\n", ids.c_str(), what.c_str());
        text += line;
        if (!f.refusal.empty()) {
            text += "  " + std::string(22, ' ') + " * " + f.refusal + "\n";
        }
        i = end;
    }
    text += "An id not listed is not a device of this driver; it runs all the same, to show the refusal.";
    return text;
}

}  // namespace qzlsim
