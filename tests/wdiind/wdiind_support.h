// A started device whose indication layers the tests drive directly, with the TLVs of what the OS
// received decoded through the harness.
#pragma once

#include <cstring>
#include <map>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/wifi.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6platformindicate.h"
#include "platform/wdi/wdievent.h"
#include "platform/wdi/wdigenerator.h"
#include "wdi/wdi_support.h"

namespace wdiind_test {

using kshim::host::WdiIndication;

// The TLVs behind an indication's 16-byte header: type -> values in order (empty when malformed).
inline std::multimap<uint16_t, std::vector<uint8_t>> Tlvs(const WdiIndication& indication)
{
    std::multimap<uint16_t, std::vector<uint8_t>> out;
    const std::vector<uint8_t>& b = indication.bytes;
    size_t offset = 16;
    while (offset + 4 <= b.size()) {
        uint16_t type = static_cast<uint16_t>(b[offset] | (b[offset + 1] << 8));
        size_t length = static_cast<size_t>(b[offset + 2] | (b[offset + 3] << 8));
        if (offset + 4 + length > b.size()) {
            ADD_FAILURE() << "TLV 0x" << std::hex << type << " runs past the indication";
            return {};
        }
        out.emplace(type, std::vector<uint8_t>(b.begin() + static_cast<long>(offset + 4),
                                               b.begin() + static_cast<long>(offset + 4 + length)));
        offset += 4 + length;
    }
    EXPECT_EQ(offset, b.size()) << "trailing bytes behind the TLVs";
    return out;
}

inline std::vector<uint8_t> Tlv(const WdiIndication& indication, uint16_t type)
{
    auto all = Tlvs(indication);
    auto it = all.find(type);
    return it == all.end() ? std::vector<uint8_t>{} : it->second;
}

inline uint32_t U32(const std::vector<uint8_t>& v, size_t offset)
{
    uint32_t x = 0;
    if (offset + 4 <= v.size()) {
        std::memcpy(&x, v.data() + offset, 4);
    }
    return x;
}

class IndTest : public wdi_test::WdiTest {
protected:
    PMP_PORT Port(ULONG i = 0) { return Adapter()->PortList[i]; }

    // The port's own station entry (the entry of its WLAN role), inserted when the port has none.
    PMAC_TABLE_ENTRY OwnEntry(ULONG i = 0)
    {
        PMP_PORT port = Port(i);
        PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
        if (own == nullptr) {
            const UCHAR peer[6] = {0x02, 0x42, 0x53, 0x53, 0x49, 0x44};
            own = MacTableInsertEntry(Adapter(), port, peer, TRUE);
            if (own != nullptr) {
                own->Kind = GetWlanRoleType(port);
            }
        }
        return own;
    }

    // A task the OS has pending (recorded as the intake records it), to be finished by Finish.
    kshim::host::WdiRequest Pending(uint16_t messageId, uint32_t transactionId, uint16_t portId = 0)
    {
        kshim::host::WdiRequest r = Make(messageId, portId, transactionId);
        Record(r);
        return r;
    }
    // Releases the block if the task is still pending and completes the request.
    void Finish(const kshim::host::WdiRequest& r)
    {
        (void)WdiUpdateCntlBlock(Adapter(), nullptr, WDI_TASK_ROW_NONE);
        WifiRequestComplete(kshim::host::WdiRequestHandle(r), STATUS_SUCCESS, 0);
    }

    // The indications with this code (low 16 bits) seen since the last clear.
    static std::vector<WdiIndication> Seen(uint32_t code)
    {
        std::vector<WdiIndication> out;
        for (const WdiIndication& i : kshim::host::WifiIndications()) {
            if (i.code == static_cast<uint16_t>(code)) {
                out.push_back(i);
            }
        }
        return out;
    }
    // The codes of every indication seen since the last clear, in order.
    static std::vector<uint16_t> Codes()
    {
        std::vector<uint16_t> out;
        for (const WdiIndication& i : kshim::host::WifiIndications()) {
            out.push_back(i.code);
        }
        return out;
    }
};

// With the port's own station entry, which the association result and the link state need.
class OwnEntryTest : public IndTest {
protected:
    void SetUp() override
    {
        IndTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_NE(OwnEntry(), nullptr);
    }
};

}  // namespace wdiind_test
