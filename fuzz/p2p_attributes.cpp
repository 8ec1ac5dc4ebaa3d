// Fuzz target: arbitrary bytes as the information elements of a received Wi-Fi Direct frame through
// the P2P attribute parser, as one WPS element through the WPS element parser, and as a whole probe
// request through the probe request check. Each buffer is exactly as long as the input, so any read
// past it is an address error.
//
// Input: byte 0 bit 0 is the beacon flag, bit 1 asks the WPS parser for requested device types instead
// of the primary one, bits 2-7 with byte 1 pick the record fields the caller wants (all of them when
// byte 1 bit 7 is set); the rest is the element buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

constexpr size_t kControlBytes = 2;
constexpr ULONG kAllFields = 0x0001FFFFu;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < kControlBytes || length - kControlBytes > 0x20000) {
        return 0;
    }
    const uint8_t mode = data[0];
    const ULONG wanted = (data[1] & 0x80) != 0 ? kAllFields
                                               : ((static_cast<ULONG>(data[1]) << 6) | (mode >> 2)) & kAllFields;
    const size_t size = length - kControlBytes;
    std::vector<uint8_t> buffer(data + kControlBytes, data + length);

    P2P_PARSED_ATTRS record;
    memset(&record, 0xA5, sizeof(record));
    record.Wanted = wanted;
    P2pParseSubElmt(nullptr, buffer.data(), static_cast<ULONG>(size), mode & 1, &record);
    if (record.ChannelCount > P2P_PARSED_CHANNELS_MAX && (wanted & P2P_WANT_CHANNEL_NUMBERS) != 0 &&
        record.ChannelCount != 0xA5) {
        __builtin_trap();
    }
    if ((wanted & P2P_WANT_DEVICE_NAME) != 0 && record.DeviceNameLength > 32 && record.DeviceNameLength != 0xA5) {
        __builtin_trap();
    }

    USHORT pwd = 0;
    USHORT methods = 0;
    UCHAR name[P2P_DEVICE_NAME_MAX];
    UCHAR nameLen = 0;
    UCHAR selectedRegistrar = 0;
    UCHAR count = 0;
    UCHAR types[WSC_REQUESTED_TYPES_MAX * P2P_DEVICE_TYPE_LEN];
    (void)P2PParseWPSIE(buffer.data(), static_cast<ULONG>(size), &pwd, &methods, name, &nameLen, &selectedRegistrar,
                        (mode & 2) != 0 ? &count : nullptr, types);
    if (nameLen > P2P_DEVICE_NAME_MAX || count > WSC_REQUESTED_TYPES_MAX) {
        __builtin_trap();
    }

    static MP_ADAPTER* adapter = new MP_ADAPTER();
    static MP_PORT* port = new MP_PORT();
    port->PortType = WFD_DEVICE;
    UCHAR transmitter[P2P_ADDR_LEN];
    UCHAR ssid[P2P_SSID_MAX];
    UCHAR ssidLen = 0;
    ULONG p2pLen = 0;
    ULONG wpsLen = 0;
    std::vector<UCHAR> p2p(P2P_PROBE_P2P_BUFFER_SIZE);
    std::vector<UCHAR> wps(P2P_PROBE_WPS_BUFFER_SIZE);
    (void)PeerP2pProbeReqSanity(adapter, port, buffer.data(), static_cast<ULONG>(size), transmitter, ssid, &ssidLen,
                                &p2pLen, p2p.data(), &wpsLen, wps.data());
    if (p2pLen > P2P_PROBE_P2P_BUFFER_SIZE || wpsLen > P2P_PROBE_WPS_BUFFER_SIZE || ssidLen > P2P_SSID_MAX) {
        __builtin_trap();
    }
    return 0;
}
