// Fuzz target: an access point's VHT, HE and EHT elements through their recorders and the join and
// post-association checks, and its TWT action frames and TSF answers through the TWT requester. Each
// element is handed over in a buffer of exactly its own size (as the frame walkers hand it), the
// action frame and the answer event end where the input ends: any read past them is an address error.
//
// Input: byte 0 chooses the port's band (bits 0-1), the third generation (bit 2), the join form of the
// checks (bit 3), the access point entry's TWT state (bits 4-6) and whether the rest is a TWT action
// frame and a TSF answer (bit 7) instead of a run of elements {id, length, body}.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "Common/he/eht_rlm.h"
#include "Common/he/he_rlm.h"
#include "Common/he/twt.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzevent.h"
#include "Common/rlm.h"
#include "Common/rlm_vht.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"

namespace {

struct World {
    MP_ADAPTER* adapter;
    MP_PORT* port;
    PMAC_TABLE_ENTRY ap;
};

World& TheWorld()
{
    static World world = [] {
        World w{new MP_ADAPTER(), new MP_PORT(), nullptr};
        MP_ADAPTER* a = w.adapter;
        a->RegistryBlock.Config_11AC = 0x3F;
        a->RegistryBlock.Config_11AX = 0x7F7;
        a->RegistryBlock.Config_6G = 0xAB;
        a->RegistryBlock.Config_11BE = 0x71;
        a->AntennaPath = 0x22;
        a->Cap.SixGCapable = 1;
        // No firmware here: every firmware command (an agreement added by a TSF answer) is refused at once.
        a->FwCmd.CmdTimeout = 1;
        w.port->Adapter = a;
        w.port->Active = 1;
        w.port->PortType = EXTSTA;
        w.port->ConnectionFlags = PORT_CONN_CONNECTED;
        a->PortList[0] = w.port;
        (void)MlmeQueueInit(&a->Mlme.Queue);
        (void)MlmeSyncInitMacTabPool(a);
        (void)MlmeSyncInitMacTab(w.port, 1);
        w.ap = MlmeSyncMacTabMatchedRoleType(w.port, MAC_ENTRY_KIND_PEER);
        return w;
    }();
    return world;
}

void SelectChip(World& w, bool third, ULONG band)
{
    MP_ADAPTER* a = w.adapter;
    a->DeviceId = third ? 0x3602 : 0x3502;
    a->HalInfo.MaxBandwidth = third ? 5 : 3;
    w.port->Channel.Band = band;
    w.port->WirelessMode = PHY_11BE;
    (void)VhtInitCtrl(a, w.port);
    (void)HeInitCtrl(a, w.port);
    (void)EhtInitCtrl(a, w.port);
    a->Rlm.Link.JoinBand = static_cast<UCHAR>(band);
}

void DrainMlmeQueue(MP_ADAPTER* adapter)
{
    PMLME_QUEUE_ELEM elem = nullptr;
    while (MlmeDequeue(&adapter->Mlme.Queue, &elem)) {
        MlmeQueueReleaseElem(&adapter->Mlme.Queue, elem);
    }
}

void Elements(World& w, const uint8_t* data, size_t size, bool join)
{
    MP_ADAPTER* a = w.adapter;
    VHT_CAP_IE vhtCap{};
    VHT_OP_IE vhtOp{};
    bool haveVhtCap = false, haveVhtOp = false;
    HE_CAPABILITY_INFO heCap{};
    HE_OPERATION_INFO heOp{};
    UCHAR he6g[HE_6G_OP_INFO_LEN] = {};
    bool haveHeCap = false, haveHeOp = false;
    EHT_CAPABILITY_INFO ehtCap{};
    EHT_OPERATION_INFO ehtOp{};
    bool haveEhtCap = false, haveEhtOp = false;
    size_t pos = 0;
    while (pos + 2 <= size && pos + 2 + data[pos + 1] <= size) {
        const uint8_t id = data[pos];
        const size_t len = data[pos + 1];
        std::unique_ptr<uint8_t[]> element(new uint8_t[2 + len]);
        std::memcpy(element.get(), data + pos, 2 + len);
        pos += 2 + len;
        if (id == 191 && len >= sizeof(vhtCap)) {
            std::memcpy(&vhtCap, element.get() + 2, sizeof(vhtCap));
            haveVhtCap = true;
        } else if (id == 192 && len >= sizeof(vhtOp)) {
            std::memcpy(&vhtOp, element.get() + 2, sizeof(vhtOp));
            haveVhtOp = true;
        } else if (id == 255 && len >= 1) {
            switch (element[2]) {
            case 35:
                haveHeCap = heRlmRecHeCapInfo(a, w.port, &heCap, element.get()) != 0 || haveHeCap;
                break;
            case 36:
                heRlmRecHeOperation(a, &heOp, he6g, element.get());
                haveHeOp = true;
                break;
            case 38:
                (void)mqmUpdateMUEdcaParams(w.port, element.get(), 0);
                break;
            case 39:
                (void)heRlmRecSRParams(w.port, element.get());
                break;
            case 106:
                ehtRlmRecOperation(a, w.port, &ehtOp, element.get());
                haveEhtOp = true;
                break;
            case 108:
                ehtRlmRecCapInfo(a, w.port, &ehtCap, haveHeCap ? &heCap : nullptr, element.get());
                haveEhtCap = true;
                break;
            default:
                break;
            }
        }
    }
    const USHORT cap6g = static_cast<USHORT>(he6g[4] | (he6g[1] << 8));
    (void)KOVACheckVht(a, w.port, 1, haveVhtCap ? &vhtCap : nullptr, haveVhtOp ? &vhtOp : nullptr);
    (void)QZCheckHe(a, w.port, 1, haveHeCap ? &heCap : nullptr, haveHeOp ? &heOp : nullptr, join ? TRUE : FALSE,
                    he6g, &cap6g);
    (void)QZCheckEht(a, w.port, 1, haveEhtCap ? &ehtCap : nullptr, haveEhtOp ? &ehtOp : nullptr, join ? TRUE : FALSE);
    if (w.ap != nullptr) {
        HeUpdateMacTable(a, w.port, w.ap);
        EhtUpdateMacTable(a, w.port, w.ap);
    }
    // The element writers on what the checks left.
    UCHAR buffer[HE_CAP_ELEMENT_MAX + EHT_CAP_ELEMENT_MAX];
    USHORT length = 0;
    heRlmGenerateHeCap(a, w.port, buffer, &length);
    ehtRlmReqGenerateCapIE(a, w.port, buffer, &length);
}

void TwtInput(World& w, const uint8_t* data, size_t size, UCHAR state)
{
    MP_ADAPTER* a = w.adapter;
    if (w.ap == nullptr) {
        return;
    }
    // The first half is an action frame from the access point, the second half a TSF answer event.
    const size_t half = size / 2;
    std::unique_ptr<uint8_t[]> frame(new uint8_t[half > 0 ? half : 1]);
    std::memcpy(frame.get(), data, half);
    if (half >= 16) {
        std::memcpy(w.ap->Addr, data + 10, 6);
    }
    w.ap->AssocState = MAC_ENTRY_ASSOCIATED;
    w.ap->EntryType = MAC_ENTRY_TYPE_STA;
    w.ap->Rlm.TwtState = state;
    twtRecvActionFrame(a, 0, frame.get(), static_cast<ULONG>(half));
    (void)twtTxDoneHandler(a, w.ap->WlanIdx, static_cast<UCHAR>(size > 0 ? data[0] & 1 : 0));
    DrainMlmeQueue(a);

    // The answer event view: 16 bytes before the event header, whose length field says how much
    // follows; the view ends where the input ends.
    const size_t rest = size - half;
    const size_t viewBytes = FW_EVENT_VIEW_HEADER_OFFSET + rest;
    std::unique_ptr<uint8_t[]> view(new uint8_t[viewBytes]);
    std::memset(view.get(), 0, FW_EVENT_VIEW_HEADER_OFFSET);
    std::memcpy(view.get() + FW_EVENT_VIEW_HEADER_OFFSET, data + half, rest);
    if (rest >= 2) {
        // The dispatch guarantees the header's length does not claim more than was received.
        const size_t claimed = view[FW_EVENT_VIEW_HEADER_OFFSET] | (view[FW_EVENT_VIEW_HEADER_OFFSET + 1] << 8);
        if (claimed > rest) {
            view[FW_EVENT_VIEW_HEADER_OFFSET] = static_cast<uint8_t>(rest);
            view[FW_EVENT_VIEW_HEADER_OFFSET + 1] = static_cast<uint8_t>(rest >> 8);
        }
    }
    PTWT_REQUEST_RECORD record = nullptr;
    if (NT_SUCCESS(PlatformAllocateMemory(a, reinterpret_cast<PVOID*>(&record), sizeof(*record), TAG_ZV42))) {
        record->Kind = 1 + (state % 3);
        record->BssIndex = w.port->BssIndex;
        record->FlowId = static_cast<UCHAR>(state);
        (void)twtGetTsfDone(a, reinterpret_cast<ULONG64>(record), 24,
                            rest >= FW_EVENT_HEADER_LENGTH ? view.get() : nullptr);
    }
    DrainMlmeQueue(a);
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
    if (length < 1 || length > 4096) {
        return 0;
    }
    World& w = TheWorld();
    const uint8_t mode = data[0];
    SelectChip(w, (mode & 4) != 0, mode & 3);
    if ((mode & 0x80) != 0) {
        TwtInput(w, data + 1, length - 1, static_cast<UCHAR>((mode >> 4) & 7));
    } else {
        Elements(w, data + 1, length - 1, (mode & 8) != 0);
    }
    // Slots filled by accepted agreements would end the exchanges soon: start every input with them free.
    for (TWT_AGRT_SLOT& slot : w.adapter->Rlm.TwtSlots) {
        slot = TWT_AGRT_SLOT{};
    }
    return 0;
}
