// Fuzz target: arbitrary bytes as a received beacon or probe response through the parser, then,
// when accepted, into the scan table (entry update, WPS attribute walk, security summary) and
// through the overlapping-BSS walker. The MLME element is cut right after the frame, so any read
// past the bytes received is an address error.
//
// Input: byte 0 chooses the band of reception (bits 0-1), whether the driver checks its own channel
// lists (bit 2), certification mode (bit 3), AFC (bit 4), a connected port (bit 5), VHT on the port
// (bit 6) and no port at all (bit 7); byte 1 is the channel of reception, byte 2 the port's PHY mode
// and byte 3 the adapter's current channel; the rest is the frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

constexpr size_t kControlBytes = 4;

struct World {
    MP_ADAPTER* adapter;
    MP_PORT* port;
};

World& TheWorld()
{
    static World world = [] {
        World w{new MP_ADAPTER(), new MP_PORT()};
        w.port->Adapter = w.adapter;
        w.port->Active = 1;
        w.port->HeEnabled = 1;
        w.adapter->PortList[0] = w.port;
        MlmeBssTableInit(w.adapter);
        const UCHAR channels[] = {1, 6, 11, 13, 36, 40, 44, 48, 149, 165};
        for (UCHAR ch : channels) {
            DOMAIN_CHANNEL_ENTRY& e = w.adapter->Country.ChannelList[w.adapter->Country.ChannelListCount++];
            e.Channel = ch;
            e.Band = ch <= 14 ? BAND_24G : BAND_5G;
        }
        DOMAIN_CHANNEL_ENTRY& six = w.adapter->Country.ChannelList[w.adapter->Country.ChannelListCount++];
        six.Channel = 37;
        six.Band = BAND_6G;
        return w;
    }();
    return world;
}

// The parse result into the scan table, as the intake does.
void Store(MP_ADAPTER* adapter, MP_PORT* port, const BEACON_PARSE_RESULT& r, const MLME_QUEUE_ELEM* elem)
{
    const BSS_ENTRY_INPUT in = MlmeSyncBeaconEntryInput(r, elem, static_cast<CHAR>(elem->Rssi0));
    (void)BssTableSetEntry(adapter, port, adapter->ScanTable, &in);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < kControlBytes || length - kControlBytes > MLME_MSG_SIZE) {
        return 0;
    }
    World& w = TheWorld();
    const uint8_t mode = data[0];
    MP_ADAPTER* adapter = w.adapter;
    adapter->RegistryBlock.FWBuildScnChList = (mode & 4) != 0 ? 0 : 1;
    adapter->RegistryBlock.CertReg = (mode & 8) != 0 ? 2 : 0;
    adapter->RegistryBlock.AFCEnable = (mode & 16) != 0 ? 1 : 0;
    adapter->RegistryBlock.FastTransition = 1;
    adapter->RegistryBlock.MFPM3 = data[2] & 1;
    adapter->CurrentChannel = data[3];
    MP_PORT* port = (mode & 128) != 0 ? nullptr : w.port;
    w.port->ConnectionFlags = (mode & 32) != 0 ? PORT_CONN_CONNECTED : 0;
    w.port->Cfg.VhtEnabled = (mode & 64) != 0 ? 1 : 0;
    w.port->WirelessMode = static_cast<UCHAR>(data[2] % 15);
    w.port->Aid = static_cast<USHORT>(data[1] * 7);

    // The element ends where the frame ends.
    const size_t size = length - kControlBytes;
    const size_t bytes = offsetof(MLME_QUEUE_ELEM, Msg) + size;
    std::unique_ptr<uint8_t[]> storage(new uint8_t[bytes]);
    auto* elem = reinterpret_cast<MLME_QUEUE_ELEM*>(storage.get());
    std::memset(storage.get(), 0, offsetof(MLME_QUEUE_ELEM, Msg));
    std::memcpy(storage.get() + offsetof(MLME_QUEUE_ELEM, Msg), data + kControlBytes, size);
    elem->Band = static_cast<UCHAR>(mode & 3);
    elem->Channel = data[1];
    elem->Rssi0 = static_cast<UCHAR>(0x80 | data[1]);
    elem->MsgLen = static_cast<ULONG>(size);

    auto result = std::make_unique<BEACON_PARSE_RESULT>();
    auto varIes = std::make_unique<UCHAR[]>(BCN_PARSE_IE_LIMIT);
    result->VarIes = varIes.get();
    result->Channel = 0xFF;
    const uint8_t* frame = storage.get() + offsetof(MLME_QUEUE_ELEM, Msg);
    if (MlmeSyncPeerBeaconAndProbeRspSanity(adapter, port, elem, static_cast<ULONG>(size), result.get())) {
        Store(adapter, port, *result, elem);
    }
    UCHAR obss[OBSS_SCAN_PARAM_LEN];
    UCHAR opClass = 0;
    (void)MlmeSyncPeerBeaconAndProbeRspSanity2(adapter, frame, static_cast<ULONG>(size), obss, &opClass);
    return 0;
}
