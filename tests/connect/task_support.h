// The OS's connection tasks on a started device: TLV builders for the connect, roam, disconnect and
// reset messages written from the message layouts, a hold on the MLME handler so that the messages the
// tasks post stay queued where the test can read them, and the indications the OS received.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Common/mlme/mlme.h"
#include "kshim/host/eventlog.h"
#include "kshim/host/wifi.h"
#include "kshim/wditlv.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/wdi/wdiconnect.h"
#include "platform/wdi/wditask.h"
#include "wdi/wdi_support.h"

namespace conn_test {

using Bytes = std::vector<uint8_t>;

inline void PutU32(Bytes& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i) {
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    }
}

inline Bytes U32s(std::initializer_list<uint32_t> values)
{
    Bytes v;
    for (uint32_t x : values) {
        PutU32(v, x);
    }
    return v;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes Tlv(uint16_t type, const Bytes& value) { return kshim::host::WdiTlv(type, value); }

// The 14-byte connection settings.
struct Settings {
    uint8_t roamRequest = 0, hidden = 0, excludeUnencrypted = 0, mfp = 0, fips = 0;
    uint32_t roamingNeededReason = 0, roamTrigger = 0;
    uint8_t finalSettings = 0;
    Bytes Encode() const
    {
        Bytes v{roamRequest, hidden, excludeUnencrypted, mfp, fips};
        PutU32(v, roamingNeededReason);
        PutU32(v, roamTrigger);
        v.push_back(finalSettings);
        return Tlv(WDI_TLV_CONNECTION_SETTINGS, v);
    }
};

inline Bytes Mac(uint8_t last) { return {0x02, 0x11, 0x22, 0x33, 0x44, last}; }

// One candidate BSS: its BSSID, optionally a PMKID and further TLVs.
inline Bytes BssEntry(const Bytes& bssid, bool pmkid = false, const Bytes& more = {})
{
    Bytes inner = Tlv(WDI_TLV_BSSID, bssid);
    if (pmkid) {
        Bytes id(16);
        for (size_t i = 0; i < id.size(); ++i) {
            id[i] = static_cast<uint8_t>(bssid[5] + i);
        }
        inner = Cat({inner, Tlv(WDI_TLV_PMKID, id)});
    }
    return Tlv(WDI_TLV_CONNECT_BSS_ENTRY, Cat({inner, more}));
}

// The connect-parameters container around `inner`.
inline Bytes Parameters(const Bytes& inner) { return Tlv(WDI_TLV_CONNECT_PARAMETERS, inner); }

// A connect message: the parameters (settings, SSID, the three algorithm lists, then `extra` inside
// the container), then `entries` (BSS entry containers) behind it.
inline Bytes ConnectTlvs(const std::string& ssid, uint32_t auth, uint32_t unicast, const Bytes& entries = {},
                         const Settings& settings = {}, const Bytes& extra = {})
{
    return Cat({Parameters(Cat({settings.Encode(), Tlv(WDI_TLV_SSID, Bytes(ssid.begin(), ssid.end())),
                                Tlv(WDI_TLV_AUTH_ALGO_LIST, U32s({auth})),
                                Tlv(WDI_TLV_MULTICAST_CIPHER_ALGO_LIST, U32s({unicast})),
                                Tlv(WDI_TLV_UNICAST_CIPHER_ALGO_LIST, U32s({unicast})), extra})),
                entries});
}

class ConnTaskTest : public wdi_test::WdiTest {
protected:
    void SetUp() override
    {
        wdi_test::WdiTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        Quiesce();
        port0_ = Adapter()->PortList[0];
        ASSERT_NE(port0_, nullptr);
        kshim::host::ErrorLogClear();
    }

    void TearDown() override
    {
        ReleaseMlme();
        wdi_test::WdiTest::TearDown();
    }

    // Holds the MLME handler as a restart does: nothing drains the queue until ReleaseMlme.
    void HoldMlme()
    {
        MLME_ADAPTER_BLOCK& mlme = Adapter()->Mlme;
        KIRQL irql;
        KeAcquireSpinLock(&mlme.HandlerLock, &irql);
        mlme.HandlerClaims = 1;
        mlme.HandlerRunning = 1;
        KeReleaseSpinLock(&mlme.HandlerLock, irql);
        held_ = true;
    }

    void ReleaseMlme()
    {
        if (!held_) {
            return;
        }
        MLME_ADAPTER_BLOCK& mlme = Adapter()->Mlme;
        // What the test held is dropped: the machines it would reach are not the tasks' concern.
        PMLME_QUEUE q = &mlme.Queue;
        KIRQL irql;
        KeAcquireSpinLock(&q->Lock, &irql);
        for (ULONG i = 0; i < q->Num; ++i) {
            q->Entry[(q->Head + i) % MAX_LEN_OF_MLME_QUEUE].Occupied = 0;
        }
        q->Num = 0;
        q->Head = q->Tail;
        KeReleaseSpinLock(&q->Lock, irql);
        KeAcquireSpinLock(&mlme.HandlerLock, &irql);
        mlme.HandlerClaims = 0;
        mlme.HandlerRunning = 0;
        KeReleaseSpinLock(&mlme.HandlerLock, irql);
        held_ = false;
    }

    // The (machine, message, port) of every queued MLME message, oldest first.
    struct Posted {
        ULONG machine, message, port;
    };
    std::vector<Posted> Queued()
    {
        std::vector<Posted> out;
        PMLME_QUEUE q = &Adapter()->Mlme.Queue;
        KIRQL irql;
        KeAcquireSpinLock(&q->Lock, &irql);
        for (ULONG i = 0; i < q->Num; ++i) {
            const MLME_QUEUE_ELEM& e = q->Entry[(q->Head + i) % MAX_LEN_OF_MLME_QUEUE];
            out.push_back({e.Machine, e.MsgType, e.PortIndex});
        }
        KeReleaseSpinLock(&q->Lock, irql);
        return out;
    }

    // The indications with this low-16-bit code.
    static std::vector<kshim::host::WdiIndication> Indications(uint16_t code)
    {
        std::vector<kshim::host::WdiIndication> out;
        for (const auto& i : kshim::host::WifiIndications()) {
            if (i.code == code) {
                out.push_back(i);
            }
        }
        return out;
    }

    // The event-log entries of a message id.
    static std::vector<kshim::host::ErrorLogEntry> EventLog(uint32_t messageId)
    {
        std::vector<kshim::host::ErrorLogEntry> out;
        for (const auto& e : kshim::host::ErrorLogSnapshot()) {
            if (e.errorCode == messageId) {
                out.push_back(e);
            }
        }
        return out;
    }

    MP_PORT* port0_ = nullptr;
    bool held_ = false;
};

}  // namespace conn_test
