// The OS's Wi-Fi service as the harness plays it: WDI requests sent to a driver's send-command entry
// point (Os::SendWdiRequest) and the indications the driver hands back. Driver code never includes
// it.
//
//     kshim::host::WdiRequest r = os.SendWdiRequest(dev, 4, kshim::host::WdiMessage(0, 7), 16);
//     r.Wait();  r.Status();  r.BytesWritten();
//     std::vector<kshim::host::WdiIndication> seen = kshim::host::WifiIndications();
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kshim/wificx_request.h"

namespace kshim::wifi {
struct RequestRecord;
}  // namespace kshim::wifi

namespace kshim::host {

// A 16-byte WDI header {port id, 0, status 0, transaction id, IHV id 0} followed by `tlvs`.
std::vector<uint8_t> WdiMessage(uint16_t portId, uint32_t transactionId, const std::vector<uint8_t>& tlvs = {});
// One TLV {u16 type, u16 value length, value}, little-endian.
std::vector<uint8_t> WdiTlv(uint16_t type, const std::vector<uint8_t>& value);

class WdiRequest {
public:
    // Waits (real time) for the completion; true when completed.
    bool Wait(unsigned realMs = 10000) const;
    bool Completed() const;
    int Completions() const;  // more than one is also a strict-mode failure
    NTSTATUS Status() const;
    uint32_t BytesWritten() const;
    bool BytesNeededSet() const;
    uint32_t BytesNeeded() const;
    // The whole buffer as the driver left it (valid once completed).
    std::vector<uint8_t> Buffer() const;
    uint16_t MessageId() const;

    std::shared_ptr<kshim::wifi::RequestRecord> record;
};

// A new request over `message` (input length = its size) with a buffer of
// max(size, outputLength) bytes whose output length is `outputLength`. `noBuffer` makes a request
// whose buffer query answers none.
WdiRequest NewWdiRequest(uint16_t messageId, const std::vector<uint8_t>& message, size_t outputLength,
                         bool noBuffer = false);
// The request's handle as the driver sees it (valid until its completion).
WIFIREQUEST WdiRequestHandle(const WdiRequest& request);
// Requests created and not yet completed.
size_t WdiRequestsOutstanding();

// One indication the driver handed to the OS.
struct WdiIndication {
    WDFDEVICE device = nullptr;
    uint16_t code = 0;  // the low 16 bits of the indication code
    std::vector<uint8_t> bytes;  // header and TLVs as the driver passed them
    int64_t time = 0;            // the stand-in's clock when the driver handed it over
    uint16_t PortId() const;
    uint32_t Status() const;
    uint32_t TransactionId() const;
};
std::vector<WdiIndication> WifiIndications();
void WifiClearIndications();
// Waits (real time) until at least `count` indications were recorded; true when they were.
bool WifiWaitIndications(size_t count, unsigned realMs = 10000);

}  // namespace kshim::host
