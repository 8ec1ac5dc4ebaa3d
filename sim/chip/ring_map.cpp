#include "chip/ring_map.h"

namespace sim::chip {
namespace {

struct Row {
    uint16_t design;
    uint8_t tx[4];    // data 0, data 1, command, download
    uint8_t rx[3];    // frames, events, reports
    int8_t txBit[4];  // status bit of each TX role's ring
    int8_t rxBit[3];  // status bit of each RX role's ring
};

// Design 0 (an id no design answers to) behaves as 3502.
constexpr Row kRows[] = {
    {0x3501, {0, 1, 17, 16}, {2, 0, 4}, {4, 5, 27, 26}, {2, 0, 22}},
    {0x3502, {0, 1, 17, 16}, {2, 0, 4}, {4, 5, 27, 26}, {2, 0, 22}},
    {0x0000, {0, 1, 17, 16}, {2, 0, 4}, {4, 5, 27, 26}, {2, 0, 22}},
    {0x3503, {0, 1, 15, 16}, {2, 0, 1}, {4, 5, 27, 26}, {2, 0, 1}},
    {0x3601, {0, 1, 15, 16}, {2, 0, 1}, {4, 5, 25, 26}, {2, 0, 1}},
    {0x3602, {0, 1, 15, 16}, {4, 6, 7}, {4, 5, 25, 26}, {12, 14, 15}},
};

}  // namespace

RingMap RingMapFor(const Model& model)
{
    RingMap map;
    for (int8_t& b : map.txBit) {
        b = -1;
    }
    for (int8_t& b : map.rxBit) {
        b = -1;
    }
    if (model.generation == Generation::Older) {
        return map;
    }
    for (const Row& row : kRows) {
        if (row.design != model.design) {
            continue;
        }
        map.present = true;
        for (unsigned i = 0; i < 4; ++i) {
            map.tx[i] = row.tx[i];
            map.txBit[row.tx[i]] = row.txBit[i];
        }
        for (unsigned i = 0; i < 3; ++i) {
            map.rx[i] = row.rx[i];
            map.rxBit[row.rx[i]] = row.rxBit[i];
        }
    }
    return map;
}

}  // namespace sim::chip
