// Fuzz target: arbitrary bytes as a receive buffer exactly as the chip wrote it (its receive
// descriptor, 16 bytes on the 3404, 24 on the second generation, 32 on the third, then the frame)
// through the ring service's packet-type dispatch into the chip's frame intake, and the management and
// action frames it queued through the MLME handler. The buffer is exactly as long as the bytes the
// chip wrote, so any read past them is an address error.
//
// Input: byte 0 chooses the device (bits 0-1: 3404, 3502, 3602, 3601), whether the port is connected
// (bit 2) and whether the received length is cut short by byte 1 (bit 3); the rest is the buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndis6/n6pci.h"

#include "fuzz_support.h"

namespace {

constexpr USHORT kDevices[] = {0x3404, 0x3502, 0x3602, 0x3601};
constexpr size_t kControlBytes = 2;
constexpr UCHAR kOwn[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr UCHAR kAp[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

struct Device {
    qzlfuzz::AdapterSnapshot snapshot;
    MP_PORT* port = nullptr;
    PCI_HIF_CONTEXT* hif = nullptr;
};

// One adapter per device with its station port, built once; each input starts from it as built.
Device& DeviceFor(ULONG index)
{
    static Device devices[4];
    Device& d = devices[index];
    if (d.snapshot.live == nullptr) {
        auto* adapter = new MP_ADAPTER();
        adapter->Device = qzlfuzz::PlainDevice();
        adapter->DeviceId = kDevices[index];
        HalRegisterChip(adapter);
        adapter->Signature = MP_ADAPTER_SIGNATURE;
        d.port = new MP_PORT();
        d.port->Adapter = adapter;
        d.port->PortNumber = 0;
        d.port->PortType = EXTSTA;
        d.port->Active = 1;
        d.port->WirelessMode = 13;
        std::memcpy(d.port->MacAddress, kOwn, 6);
        std::memcpy(d.port->Bssid, kAp, 6);
        adapter->PortList[0] = d.port;
        adapter->PortCount = 1;
        (void)MlmeSyncInitMacTabPool(adapter);
        (void)MlmeInit(adapter);
        d.hif = new PCI_HIF_CONTEXT();
        d.hif->Adapter = adapter;
        adapter->HifContext = d.hif;
        d.snapshot.Take(adapter);
    }
    return d;
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
    Device& d = DeviceFor(mode & 3);
    MP_ADAPTER* adapter = d.snapshot.Restore();
    d.port->ConnectionFlags = (mode & 4) != 0 ? 0x82 : 0;

    const size_t size = length - kControlBytes;
    std::vector<uint8_t> buffer(data + kControlBytes, data + length);
    RX_DMAQ_DESC record{};
    record.PoolIndex = 0;
    record.BufferSize = static_cast<ULONG>(size);
    record.BufferVa = buffer.empty() ? nullptr : buffer.data();
    record.ReceivedLength = static_cast<ULONG>(size);
    if ((mode & 8) != 0) {
        record.ReceivedLength = data[1] <= size ? static_cast<ULONG>(size - data[1]) : 0;
    }
    N6PciRxPacketHandler(d.hif, &record);
    (void)MlmeHandler(adapter);
    qzlfuzz::ForgetIndications();
    return 0;
}
