#include "chip/bar_map.h"

namespace sim::chip {

namespace {

struct Row {
    uint32_t barOffset;
    uint32_t size;
    uint32_t chipBase;
};

// Fixed windows of the second generation, in BAR order. The third generation shares them except
// the two marked rows.
constexpr Row kSecondGeneration[] = {
    {0x02000, 0x1000, 0x54000000}, {0x03000, 0x1000, 0x55000000}, {0x04000, 0x1000, 0x56000000},
    {0x05000, 0x1000, 0x57000000}, {0x06000, 0x1000, 0x58000000}, {0x07000, 0x1000, 0x59000000},
    {0x08000, 0x4000, 0x820C0000}, {0x0C000, 0x2000, 0x820C8000}, {0x0E000, 0x2000, 0x820CC000},
    {0x20000, 0x0400, 0x820E0000}, {0x20400, 0x0200, 0x820E1000}, {0x20800, 0x0400, 0x820E2000},
    {0x20C00, 0x0400, 0x820E3000}, {0x21000, 0x0400, 0x820E4000}, {0x21400, 0x0800, 0x820E5000},
    {0x21C00, 0x0200, 0x820CE000}, {0x21E00, 0x0200, 0x820E7000}, {0x22000, 0x1000, 0x820CF000},
    {0x23400, 0x0200, 0x820E9000}, {0x24000, 0x0200, 0x820EA000}, {0x24200, 0x0400, 0x820EB000},
    {0x24600, 0x0200, 0x820EC000}, {0x24800, 0x0800, 0x820ED000}, {0x26000, 0x2000, 0x820CA000},
    {0x30000, 0x10000, 0x820D0000}, {0x70000, 0x10000, 0x40000000}, {0x80000, 0x10000, 0x00400000},
    {0x90000, 0x10000, 0x00410000}, {0xA0000, 0x0400, 0x820F0000}, {0xA0600, 0x0200, 0x820F1000},
    {0xA0800, 0x0400, 0x820F2000}, {0xA0C00, 0x0400, 0x820F3000}, {0xA1000, 0x0400, 0x820F4000},
    {0xA1400, 0x0800, 0x820F5000}, {0xA1E00, 0x0200, 0x820F7000}, {0xA3400, 0x0200, 0x820F9000},
    {0xA4000, 0x0200, 0x820FA000}, {0xA4200, 0x0400, 0x820FB000}, {0xA4600, 0x0200, 0x820FC000},
    {0xA4800, 0x0800, 0x820FD000}, {0xA8000, 0x4000, 0x820C4000}, {0xAE000, 0x1000, 0x820B0000},
    {0xB0000, 0x10000, 0x80020000}, {0xC0000, 0x10000, 0x81020000}, {0xD0000, 0x10000, 0x7C020000},
    {0xE0000, 0x10000, 0x7C060000}, {0xF0000, 0x10000, 0x7C000000},
};
// Second generation only: the PCIe MAC block at BAR 0x10000 and a second view of 0x820CC000.
constexpr Row kSecondOnly[] = {
    {0x10000, 0x10000, 0x74030000},
    {0xA5000, 0x2000, 0x820CC000},
};
// Third generation only.
constexpr Row kThirdOnly[] = {
    {0x000000, 0x1000, 0x830C0000}, {0x100000, 0x10000, 0x7C010000}, {0x1D0000, 0x10000, 0x74030000},
    {0x1E0000, 0x9000, 0x70000000}, {0x1F0000, 0x10000, 0x70020000},
};
constexpr Row kThird3601Only[] = {
    {0x150000, 0x10000, 0x7C090000},
};
// The older chip. Some rows overlap in BAR space; the smaller window answers there.
constexpr Row kOlder[] = {
    {0x02000, 0x1000, 0x80000000}, {0x04000, 0x4000, 0x50000000}, {0x05000, 0x1000, 0x50005000},
    {0x06000, 0x1000, 0x5000A000}, {0x07000, 0x1000, 0x000E0000}, {0x08000, 0x4000, 0x82060000},
    {0x0C000, 0x2000, 0x82068000}, {0x0E000, 0x2000, 0x8206C000}, {0x10000, 0x10000, 0x82070000},
    {0x20000, 0x10000, 0x820F0000}, {0x30000, 0x10000, 0x820E0000}, {0x50000, 0x10000, 0x81000000},
    {0x60000, 0x10000, 0x80070000}, {0x70000, 0x10000, 0x40000000}, {0x80000, 0x10000, 0x00300000},
    {0xA1000, 0x1000, 0x80010000}, {0xA2000, 0x1000, 0x80030000}, {0xA3000, 0x1000, 0x81030000},
    {0xA4000, 0x1000, 0x80050000}, {0xA5000, 0x1000, 0x81040000}, {0xA6000, 0x1000, 0x81050000},
    {0xA7000, 0x1000, 0x81060000}, {0xA8000, 0x1000, 0x81080000}, {0xA9000, 0x1000, 0x81090000},
    {0xAA000, 0x1000, 0x810A0000}, {0xAB000, 0x1000, 0x810B0000}, {0xAC000, 0x1000, 0x810C0000},
    {0xAD000, 0x1000, 0x810D0000}, {0xAE000, 0x1000, 0x820D0000}, {0xAF000, 0x1000, 0x60000000},
    {0xB0000, 0x10000, 0x80020000}, {0xC0000, 0x10000, 0x81020000}, {0xE0000, 0x10000, 0x000E0000},
    {0xF0000, 0x10000, 0x7C030000},
};

constexpr uint32_t kGen2VersionWindowBar = 0xE0000;
constexpr uint32_t kGen3VersionWindowBar = 0x10000;
constexpr uint32_t kGen3L1WindowBar = 0x60000;
constexpr uint32_t kOlderLegacyWindowBar = 0x80000;
constexpr uint32_t kBlock64K = 0x10000;

template <size_t N>
void Append(std::vector<Row>& to, const Row (&rows)[N])
{
    to.insert(to.end(), rows, rows + N);
}

bool Inside(uint32_t offset, uint32_t base, uint32_t size) { return offset - base < size; }

}  // namespace

BarMap::BarMap(const Model& model) : model_(model), size_(BarSizeOf(model.generation))
{
    std::vector<Row> rows;
    switch (model.generation) {
    case Generation::Older:
        Append(rows, kOlder);
        break;
    case Generation::Second:
        Append(rows, kSecondGeneration);
        Append(rows, kSecondOnly);
        break;
    case Generation::Third:
        Append(rows, kSecondGeneration);
        Append(rows, kThirdOnly);
        if (model.design == 0x3601) {
            Append(rows, kThird3601Only);
        }
        break;
    }
    for (const Row& r : rows) {
        windows_.push_back(Window{r.barOffset, r.size, r.chipBase});
    }
}

std::optional<uint32_t> BarMap::FixedWindow(uint32_t barOffset) const
{
    const Window* best = nullptr;
    for (const Window& w : windows_) {
        if (Inside(barOffset, w.barOffset, w.size) && (best == nullptr || w.size < best->size)) {
            best = &w;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return best->chipBase + (barOffset - best->barOffset);
}

std::optional<uint32_t> BarMap::Decode(uint32_t barOffset, const RegisterFile& registers) const
{
    if (barOffset >= size_) {
        return std::nullopt;
    }
    switch (model_.generation) {
    case Generation::Second:
        if (Inside(barOffset, kGen2VersionWindowBar, kBlock64K) &&
            registers.Get(kGen2VersionWindowReg) == kGen2VersionWindowOn) {
            return kGen2VersionBlock + (barOffset - kGen2VersionWindowBar);
        }
        break;
    case Generation::Third: {
        bool is3601 = model_.design == 0x3601;
        if (Inside(barOffset, kGen3L1WindowBar, kBlock64K)) {
            uint32_t select = registers.Get(is3601 ? kGen3L1Select3601 : kGen3L1Select3602) & 0xFFFF;
            uint32_t bus = (select << 16) + (barOffset - kGen3L1WindowBar);
            if (Inside(bus, kGen3L2DataPortBus, kBlock64K)) {
                return registers.Get(kGen3L2Select) + (bus - kGen3L2DataPortBus);
            }
            if (Inside(bus, 0x18000000, 0x00C00000)) {
                return bus + 0x64000000;
            }
            return bus;
        }
        if (Inside(barOffset, kGen3VersionWindowBar, kBlock64K)) {
            uint32_t r = registers.Get(is3601 ? kGen3VersionWindowReg3601 : kGen3VersionWindowReg3602);
            if ((r & 0xFFFF) != kGen3VersionWindowEnable) {
                return std::nullopt;
            }
            return (r & 0xFFFF0000) + (barOffset - kGen3VersionWindowBar);
        }
        break;
    }
    case Generation::Older:
        break;
    }
    std::optional<uint32_t> fixed = FixedWindow(barOffset);
    if (fixed) {
        return fixed;
    }
    if (model_.generation == Generation::Older && barOffset >= kOlderLegacyWindowBar) {
        return (registers.Get(kOlderLegacySelect) & 0xFFF80000) + (barOffset & 0x7FFFF);
    }
    return std::nullopt;
}

}  // namespace sim::chip
