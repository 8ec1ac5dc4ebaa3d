// What the driver did across its boundaries, for assertions: calls into services that are not built
// yet, as the stand-in recorded their named trace event (by the service's function name), and the
// disassociations the OS was told of.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kshim/host/eventlog.h"
#include "kshim/host/recorder.h"
#include "kshim/host/wifi.h"

namespace qzltest {

// Calls the driver made into `service` while its own code is not built yet ("" = any service).
inline size_t NotBuiltCalls(const std::string& service = "")
{
    return kshim::host::TraceEventCount("NotBuiltYet", service);
}

// The not-built services the driver called, by function name, in call order.
inline std::vector<std::string> NotBuiltSequence()
{
    std::vector<std::string> services;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceEvents("NotBuiltYet")) {
        services.push_back(r.function);
    }
    return services;
}

// One disassociation the OS learnt of: the "DisAssoc" event-log entry (0x40020424; 18 bytes: u32 port,
// peer address, u32 WDI status, u32 caller code), which goes out with the disassociation indication
// (0x0033). Needs the event log on (the adapter's switch and its device object).
struct Disassociation {
    uint32_t port = 0;
    std::vector<uint8_t> peer;
    uint32_t status = 0;
    uint32_t caller = 0;
};

inline std::vector<Disassociation> Disassociations()
{
    std::vector<Disassociation> out;
    for (const kshim::host::ErrorLogEntry& e : kshim::host::ErrorLogSnapshot()) {
        if (e.errorCode != 0x40020424u) {
            continue;
        }
        EXPECT_GE(e.dumpData.size(), 18u);
        if (e.dumpData.size() < 18) {
            continue;
        }
        Disassociation d;
        std::memcpy(&d.port, e.dumpData.data(), 4);
        d.peer.assign(e.dumpData.begin() + 4, e.dumpData.begin() + 10);
        std::memcpy(&d.status, e.dumpData.data() + 10, 4);
        std::memcpy(&d.caller, e.dumpData.data() + 14, 4);
        out.push_back(d);
    }
    size_t indications = 0;
    for (const kshim::host::WdiIndication& i : kshim::host::WifiIndications()) {
        indications += i.code == 0x0033 ? 1 : 0;
    }
    EXPECT_EQ(indications, out.size()) << "one OS indication with each entry";
    return out;
}

}  // namespace qzltest
