// Fuzz target: arbitrary bytes as the body of a unified event (fixed part and TLVs) of a third
// generation chip whose RAM code runs, through the run-time event dispatch, with command slots
// waiting for unified events the input names. The receive buffer is exactly as long as the bytes
// the chip wrote, so any read past them is an address error.
//
// Input: byte 0 the event id; byte 1 chooses (bit 0) a header length taken from bytes 2-3 instead of
// the true one, (bit 1) the 3601 instead of the 3602, (bits 2-3) the BSS slots in use for the
// dual-band report; bytes 4-5 the events two waiting unified commands expect; the rest is the body.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/nic_uni_cmd_event.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

#include "fuzz_support.h"

namespace {

constexpr size_t kControlBytes = 6;
constexpr size_t kRxd = 32;
constexpr size_t kHeader = 12;

// One adapter per device, built once; each input starts from it as built.
MP_ADAPTER* AdapterFor(ULONG device, uint8_t slots)
{
    static qzlfuzz::AdapterSnapshot snapshots[2];
    qzlfuzz::AdapterSnapshot& snapshot = snapshots[device];
    if (snapshot.live == nullptr) {
        auto* built = new MP_ADAPTER();
        built->DeviceId = device != 0 ? 0x3601 : 0x3602;
        HalRegisterChip(built);
        built->Signature = MP_ADAPTER_SIGNATURE;
        built->FwDownloaded = 1;
        KeInitializeSpinLock(&built->FwCmd.FwCmdSlotLock);
        KeInitializeSpinLock(&built->FlagLock);
        QzCmdInitFWCmdSlotEvents(built);
        QzCmdInitFWCmdQueue(built);
        snapshot.Take(built);
    }
    MP_ADAPTER* adapter = snapshot.Restore();
    for (ULONG i = 0; i < 4; ++i) {
        adapter->BssIndexSlots[i].InUse = (slots >> i) & 1;
    }
    return adapter;
}

void WaitFor(MP_ADAPTER* adapter, const uint8_t* expected)
{
    for (ULONG i = 0; i < 2; ++i) {
        FW_CMD_SLOT& slot = adapter->FwCmd.FwCmdSlots[i];
        slot.InUse = 1;
        slot.OnRing = 1;
        slot.NeedAnswer = 1;
        slot.Unified = 1;
        slot.Status = STATUS_UNSUCCESSFUL;
        slot.CmdId = expected[i];
        slot.ExpectedEventId = expected[i];
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < kControlBytes || length - kControlBytes > 0xFFFF - kHeader - kRxd) {
        return 0;
    }
    const uint8_t mode = data[1];
    MP_ADAPTER* adapter = AdapterFor((mode & 2) != 0 ? 1 : 0, static_cast<uint8_t>((mode >> 2) & 0xF));
    WaitFor(adapter, data + 4);

    const size_t body = length - kControlBytes;
    std::vector<uint8_t> buffer(kRxd + kHeader + body, 0);
    const size_t trueLength = kHeader + body;
    const size_t headerLength = (mode & 1) != 0 ? static_cast<size_t>(data[2] | (data[3] << 8)) : trueLength;
    buffer[kRxd] = static_cast<uint8_t>(headerLength);
    buffer[kRxd + 1] = static_cast<uint8_t>(headerLength >> 8);
    buffer[kRxd + 3] = 0xE0;
    buffer[kRxd + 4] = data[0];
    buffer[kRxd + 6] = FW_EVENT_OPTION_UNIFIED;
    if (body != 0) {
        std::memcpy(buffer.data() + kRxd + kHeader, data + kControlBytes, body);
    }
    (void)RamModeEventHandler(adapter, buffer.data(), static_cast<ULONG>(buffer.size()));
    return 0;
}
