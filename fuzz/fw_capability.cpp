// Fuzz target: arbitrary bytes as the body of a capability report through the run-time event
// dispatch: the chip capability event (0xEC) and the NIC capability event (0x01) of a legacy chip,
// and the third generation's unified capability records (event 0x43) that the unified layer
// rebuilds as a chip capability event. The receive buffer is exactly as long as the bytes the chip
// wrote, so any read past them is an address error; the record count and value lengths come from
// the input and are never to be trusted.
//
// Input: byte 0 chooses the report (bits 0-1: 0xEC on the 3502, 0x01 on the 3502, 0x43 on the
// 3602, 0xEC on the 3404) and (bit 2) a header length taken from byte 1 short of the true one; the
// rest is the payload (for 0x43: the fixed part and the TLVs).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

namespace {

constexpr size_t kControlBytes = 2;
constexpr size_t kHeader = 12;

struct Report {
    USHORT deviceId;
    size_t rxd;
    uint8_t eventId;
    uint8_t option;
};

constexpr Report kReports[] = {
    {0x3502, 24, 0xEC, 0},
    {0x3502, 24, 0x01, 0},
    {0x3602, 32, 0x43, 0x02},
    {0x3404, 16, 0xEC, 0},
};

// One adapter per report kind, built once; each input starts from it as built.
MP_ADAPTER* AdapterFor(size_t kind)
{
    static qzlfuzz::AdapterSnapshot snapshots[4];
    qzlfuzz::AdapterSnapshot& snapshot = snapshots[kind];
    if (snapshot.live == nullptr) {
        auto* adapter = new MP_ADAPTER();
        adapter->DeviceId = kReports[kind].deviceId;
        HalRegisterChip(adapter);
        adapter->Signature = MP_ADAPTER_SIGNATURE;
        adapter->FwDownloaded = 1;
        KeInitializeSpinLock(&adapter->FwCmd.FwCmdSlotLock);
        KeInitializeSpinLock(&adapter->FlagLock);
        QzCmdInitFWCmdSlotEvents(adapter);
        QzCmdInitFWCmdQueue(adapter);
        snapshot.Take(adapter);
    }
    return snapshot.Restore();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < kControlBytes) {
        return 0;
    }
    const Report& report = kReports[data[0] & 3];
    const size_t payload = length - kControlBytes;
    const size_t total = report.rxd + kHeader + payload;
    if (kHeader + payload > 0xFFFF) {
        return 0;
    }
    std::vector<uint8_t> buffer(total, 0);
    size_t headerLength = kHeader + payload;
    if ((data[0] & 4) != 0 && data[1] <= payload) {
        headerLength -= data[1];
    }
    uint8_t* header = buffer.data() + report.rxd;
    header[0] = static_cast<uint8_t>(headerLength);
    header[1] = static_cast<uint8_t>(headerLength >> 8);
    header[2] = 0x00;
    header[3] = 0xE0;
    header[4] = report.eventId;
    header[6] = report.option;
    if (payload != 0) {
        std::memcpy(header + kHeader, data + kControlBytes, payload);
    }

    MP_ADAPTER* adapter = AdapterFor(data[0] & 3);
    (void)RamModeEventHandler(adapter, buffer.data(), static_cast<ULONG>(buffer.size()));
    return 0;
}
