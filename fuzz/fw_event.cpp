// Fuzz target: arbitrary bytes as a received firmware-event buffer through the event entry, in both
// dialects and on the three chip groups, with command slots waiting for whatever event ids the
// input names. The buffer is exactly as long as the bytes the chip wrote, so any read past them is
// an address error.
//
// Input: byte 0 chooses the device (bits 0-1), the dialect (bit 2), whether the received length
// is cut short (bit 3) or overstated (bit 4) by byte 1, and (bit 5) whether the buffer enters where
// the receive ring service hands it on (the packet-type dispatch, then the chip's software-defined
// packet routine) instead of at the event entry; bytes 2-5 are the expected events of four waiting slots (one of
// them an extended command); the rest is the receive buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndis6/n6pci.h"

#include "fuzz_support.h"

namespace {

constexpr USHORT kDevices[] = {0x3404, 0x3502, 0x3602, 0x3601};
constexpr size_t kControlBytes = 6;

// One adapter per device, built once; each input starts from it as built.
MP_ADAPTER* AdapterFor(ULONG device, bool inRam)
{
    static qzlfuzz::AdapterSnapshot snapshots[4];
    qzlfuzz::AdapterSnapshot& snapshot = snapshots[device];
    if (snapshot.live == nullptr) {
        auto* adapter = new MP_ADAPTER();
        adapter->DeviceId = kDevices[device];
        HalRegisterChip(adapter);
        adapter->Signature = MP_ADAPTER_SIGNATURE;
        KeInitializeSpinLock(&adapter->FwCmd.FwCmdSlotLock);
        QzCmdInitFWCmdSlotEvents(adapter);
        QzCmdInitFWCmdQueue(adapter);
        snapshot.Take(adapter);
    }
    MP_ADAPTER* adapter = snapshot.Restore();
    adapter->FwDownloaded = inRam ? 1 : 0;
    return adapter;
}

// Slots as the queue leaves them for commands on the ring that wait for their answers.
void WaitFor(MP_ADAPTER* adapter, const uint8_t* expected)
{
    for (ULONG i = 0; i < 4; ++i) {
        FW_CMD_SLOT& slot = adapter->FwCmd.FwCmdSlots[i];
        slot.InUse = 1;
        slot.OnRing = 1;
        slot.NeedAnswer = 1;
        slot.Status = STATUS_UNSUCCESSFUL;
        slot.UniTag = FW_CMD_UNI_TAG_LEGACY;
        slot.CmdId = i == 3 ? FW_CMD_ID_EXTENDED : expected[i];
        slot.ExpectedEventId = i == 3 ? FW_CMD_EVENT_EXTENDED : expected[i];
        slot.ExpectedExtEventId = i == 3 ? expected[i] : 0;
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
    if (length < kControlBytes || length - kControlBytes > 0xFFFF) {
        return 0;
    }
    const uint8_t mode = data[0];
    MP_ADAPTER* adapter = AdapterFor(mode & 3, (mode & 4) != 0);
    WaitFor(adapter, data + 2);

    const size_t size = length - kControlBytes;
    std::vector<uint8_t> buffer(data + kControlBytes, data + length);
    RX_DMAQ_DESC record{};
    record.PoolIndex = 1;
    record.BufferSize = static_cast<ULONG>(size);
    record.BufferVa = buffer.empty() ? nullptr : buffer.data();
    record.ReceivedLength = static_cast<ULONG>(size);
    if ((mode & 8) != 0) {
        record.ReceivedLength = data[1] <= size ? static_cast<ULONG>(size - data[1]) : 0;
    } else if ((mode & 16) != 0) {
        record.ReceivedLength += data[1];  // a record that claims more than its buffer
    }
    if ((mode & 32) != 0 && record.ReceivedLength <= record.BufferSize) {
        // The ring service never hands on more than the buffer holds.
        static PCI_HIF_CONTEXT* hif = new PCI_HIF_CONTEXT();
        hif->Adapter = adapter;
        adapter->HifContext = hif;
        N6PciRxPacketHandler(hif, &record);
    } else {
        (void)RecvProcessFwEvent(adapter, &record);
    }
    return 0;
}
