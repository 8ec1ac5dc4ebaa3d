#include "chip/model.h"

namespace sim::chip {

Model ModelForDeviceId(uint16_t deviceId)
{
    Model m;
    m.deviceId = deviceId;
    switch (deviceId) {
    case 0x3404:
        m.generation = Generation::Older;
        m.design = 0x3404;
        break;
    case 0x3501:
    case 0x3504:
    case 0x0C01:
        m.design = 0x3501;
        break;
    case 0x3502:
    case 0x0C02:
        m.design = 0x3502;
        break;
    case 0x3503:
        m.design = 0x3503;
        break;
    case 0x3601:
    case 0x0C03:
        m.generation = Generation::Third;
        m.design = 0x3601;
        break;
    case 0x3602:
    case 0x3603:
    case 0x0C04:
        m.generation = Generation::Third;
        m.design = 0x3602;
        break;
    default:
        break;
    }
    return m;
}

uint32_t BarSizeOf(Generation generation) { return generation == Generation::Third ? 0x200000u : 0x100000u; }

}  // namespace sim::chip
