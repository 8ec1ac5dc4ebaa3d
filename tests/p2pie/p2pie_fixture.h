// An adapter with its Wi-Fi Direct control block and ports made by hand (no driver load), and helpers
// that build and walk P2P and WPS elements.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace p2pie {

using Bytes = std::vector<UCHAR>;

inline Bytes Str(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// One P2P attribute {id, u16 length LE, body}.
inline Bytes Attr(UCHAR id, const Bytes& body)
{
    Bytes a{id, static_cast<UCHAR>(body.size()), static_cast<UCHAR>(body.size() >> 8)};
    a.insert(a.end(), body.begin(), body.end());
    return a;
}

// A P2P element around attribute bytes.
inline Bytes P2pIe(const Bytes& attrs)
{
    Bytes e{221, static_cast<UCHAR>(attrs.size() + 4), 0x50, 0x6F, 0x9A, 0x09};
    e.insert(e.end(), attrs.begin(), attrs.end());
    return e;
}

// The combined form of several P2P elements' attributes.
inline Bytes CombinedIe(const Bytes& attrs)
{
    const size_t len = attrs.size() + 4;
    Bytes e{221, static_cast<UCHAR>(len), static_cast<UCHAR>(len >> 8), 0x50, 0x6F, 0x9A, 0x09};
    e.insert(e.end(), attrs.begin(), attrs.end());
    return e;
}

// One WPS attribute {u16 type BE, u16 length BE, value}.
inline Bytes WpsAttr(USHORT type, const Bytes& value)
{
    Bytes a{static_cast<UCHAR>(type >> 8), static_cast<UCHAR>(type), static_cast<UCHAR>(value.size() >> 8),
            static_cast<UCHAR>(value.size())};
    a.insert(a.end(), value.begin(), value.end());
    return a;
}

inline Bytes WpsIe(const Bytes& attrs)
{
    Bytes e{221, static_cast<UCHAR>(attrs.size() + 4), 0x00, 0x50, 0xF2, 0x04};
    e.insert(e.end(), attrs.begin(), attrs.end());
    return e;
}

// The attributes of a P2P element (or of several consecutive ones) as (id, body) pairs.
inline std::vector<std::pair<UCHAR, Bytes>> P2pAttrsOf(const UCHAR* data, size_t length)
{
    Bytes joined;
    size_t at = 0;
    while (at + 2 <= length) {
        const size_t size = data[at + 1] + 2u;
        EXPECT_LE(at + size, length);
        EXPECT_EQ(data[at], 221);
        EXPECT_EQ(0, memcmp(data + at + 2, "\x50\x6F\x9A\x09", 4));
        joined.insert(joined.end(), data + at + 6, data + at + size);
        at += size;
    }
    std::vector<std::pair<UCHAR, Bytes>> attrs;
    at = 0;
    while (at + 3 <= joined.size()) {
        const size_t len = joined[at + 1] | (joined[at + 2] << 8);
        EXPECT_LE(at + 3 + len, joined.size());
        attrs.emplace_back(joined[at], Bytes(joined.begin() + at + 3, joined.begin() + at + 3 + len));
        at += 3 + len;
    }
    return attrs;
}

inline std::vector<UCHAR> IdsOf(const std::vector<std::pair<UCHAR, Bytes>>& attrs)
{
    std::vector<UCHAR> ids;
    for (const auto& attr : attrs) {
        ids.push_back(attr.first);
    }
    return ids;
}

// The attributes of one WPS element as (type, value) pairs.
inline std::vector<std::pair<USHORT, Bytes>> WpsAttrsOf(const UCHAR* data, size_t length)
{
    std::vector<std::pair<USHORT, Bytes>> attrs;
    EXPECT_GE(length, 6u);
    EXPECT_EQ(data[0], 221);
    EXPECT_EQ(data[1] + 2u, length);
    EXPECT_EQ(0, memcmp(data + 2, "\x00\x50\xF2\x04", 4));
    size_t at = 6;
    while (at + 4 <= length) {
        const USHORT type = static_cast<USHORT>((data[at] << 8) | data[at + 1]);
        const size_t len = (data[at + 2] << 8) | data[at + 3];
        EXPECT_LE(at + 4 + len, length);
        attrs.emplace_back(type, Bytes(data + at + 4, data + at + 4 + len));
        at += 4 + len;
    }
    return attrs;
}

class P2pIeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
        block_ = std::make_unique<P2P_CTRL_BLOCK>();
        common_ = std::make_unique<ADAPTER_COMMON_BLOCK>();
        adapter_->P2pBlock = block_.get();
        adapter_->CommonBlock = common_.get();
        common_->NdisVersion = NDIS_VERSION_630;
        adapter_->WorkingCfg.WscVersion2 = 0x20;
    }
    void TearDown() override { kshim::host::ResetDefaults(); }

    PMP_ADAPTER A() { return adapter_.get(); }

    // A zeroed port of the given type at the given index, with address 02:00:00:00:00:<number>.
    PMP_PORT Port(ULONG number, ULONG type)
    {
        ports_[number] = std::make_unique<MP_PORT>();
        PMP_PORT port = ports_[number].get();
        port->Adapter = A();
        port->PortType = type;
        port->PortNumber = number;
        port->Active = 1;
        const UCHAR mac[6] = {0x02, 0, 0, 0, 0, static_cast<UCHAR>(number)};
        memcpy(port->MacAddress, mac, 6);
        port->P2pWpsDevicePasswordId = 0xFFFF;
        adapter_->PortList[number] = port;
        if (type == WFD_DEVICE) {
            block_->DevicePort = port;
        }
        return port;
    }

    static void SetName(PMP_PORT port, const std::string& name)
    {
        memcpy(port->P2pDeviceName, name.data(), name.size());
        port->P2pDeviceNameLen = static_cast<UCHAR>(name.size());
    }

    // The adapter's channel table in the given order, each channel on the band its number names.
    void SetChannelTable(std::initializer_list<UCHAR> channels)
    {
        adapter_->Country.ChannelListCount = 0;
        for (UCHAR channel : channels) {
            DOMAIN_CHANNEL_ENTRY& entry = adapter_->Country.ChannelList[adapter_->Country.ChannelListCount++];
            entry.Channel = channel;
            entry.Band = channel <= 14 ? BAND_24G : BAND_5G;
        }
    }

    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<P2P_CTRL_BLOCK> block_;
    std::unique_ptr<ADAPTER_COMMON_BLOCK> common_;
    std::unique_ptr<MP_PORT> ports_[MP_MAX_PORTS];
};

}  // namespace p2pie
