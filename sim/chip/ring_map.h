// Which hardware rings of the WFDMA engine each design uses for what, and which host interrupt
// status bit a ring raises when it finishes a batch (docs/hardware.md, "The WFDMA ring engine").
#pragma once

#include <cstdint>

#include "chip/model.h"

namespace sim::chip {

constexpr unsigned kTxHwRings = 32;  // 0x7C024300 + 0x10·h, h < 32
constexpr unsigned kRxHwRings = 16;  // 0x7C024500 + 0x10·h, h < 16

enum class TxRole : uint8_t { Data0, Data1, Command, Download };
enum class RxRole : uint8_t { Frames, Events, Reports };

struct RingMap {
    bool present = false;  // the design has the WFDMA engine (not the older chip)
    uint8_t tx[4] = {};    // hardware ring by TxRole
    uint8_t rx[3] = {};    // hardware ring by RxRole
    // Host interrupt status bit (0-31) per hardware ring, -1 for a ring that raises none.
    int8_t txBit[kTxHwRings] = {};
    int8_t rxBit[kRxHwRings] = {};

    unsigned TxRing(TxRole role) const { return tx[static_cast<unsigned>(role)]; }
    unsigned RxRing(RxRole role) const { return rx[static_cast<unsigned>(role)]; }
};

RingMap RingMapFor(const Model& model);

}  // namespace sim::chip
