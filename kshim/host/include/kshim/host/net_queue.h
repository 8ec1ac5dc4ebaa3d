// The OS side of a net adapter's packet queues: the harness creates transmit and receive queues
// through the driver's creation callbacks, posts frames to a transmit queue and takes back the
// packets the driver returns, and gives a receive queue its free ring space and takes the frames
// the driver posts. A notification the driver sends while the OS has not enabled it is a
// strict-mode failure. Driver code never includes it.
#pragma once

#include <cstdint>
#include <vector>

#include "kshim/netadapter_queue.h"

namespace kshim::host {

struct NetQueueShape {
    uint32_t packets = 256;    // packet ring elements (a power of two)
    uint32_t fragments = 512;  // fragment ring elements (a power of two)
};

// Creates a transmit queue for (peer, user priority) through the adapter's create callback, then
// starts it. Bytes of each fragment start `kTxFragmentOffset` bytes into a fragment buffer.
constexpr uint32_t kTxFragmentOffset = 16;
constexpr uint32_t kTxFragmentBuffer = 2048;
NTSTATUS NetTxQueueOpen(NETADAPTER adapter, uint32_t queueId, const uint8_t peer[6], uint8_t priority,
                        NETPACKETQUEUE* queue, NetQueueShape shape = {});

struct TxFrame {
    std::vector<uint8_t> bytes;
    uint32_t fragments = 1;  // the bytes are split evenly over this many fragments (the last takes the rest)
    uint16_t exemption = 0;  // Wi-Fi exemption action of the packet
};
// Writes frames at EndIndex (as many as there are free packets and fragments) and moves EndIndex;
// returns how many were posted. Does not call the advance.
size_t NetTxQueuePost(NETPACKETQUEUE queue, const std::vector<TxFrame>& frames);

struct TxReturned {
    std::vector<uint8_t> bytes;  // the frame as posted
    uint8_t flags = 0;           // the packet's flag byte when it came back
};
// The packets the driver has handed back (behind BeginIndex) since the last call, in ring order.
std::vector<TxReturned> NetTxQueueTakeReturned(NETPACKETQUEUE queue);

// Callbacks the OS calls. Advance and cancel run at DISPATCH_LEVEL; the others at PASSIVE_LEVEL.
void NetQueueAdvance(NETPACKETQUEUE queue);
void NetQueueSetNotification(NETPACKETQUEUE queue, bool enabled);
void NetQueueCancel(NETPACKETQUEUE queue);
void NetQueueStart(NETPACKETQUEUE queue);
void NetQueueStop(NETPACKETQUEUE queue);
// The OS stops the data path of every queue before a device powers down for good (stop, then cancel:
// every outstanding packet must come back).
void NetQueuesStopAll();
// Deletes the queue (its destroy callback runs).
void NetQueueDestroy(NETPACKETQUEUE queue);
// Notifications the driver sent on the queue so far, and whether notification is enabled now.
size_t NetQueueNotifications(NETPACKETQUEUE queue);
bool NetQueueArmed(NETPACKETQUEUE queue);
// Moves an empty queue's rings (and the OS's own cursors) to these indexes.
void NetQueueReposition(NETPACKETQUEUE queue, uint32_t packetIndex, uint32_t fragmentIndex);
// The queue's rings (the test may read and set indexes).
NET_RING* NetQueuePacketRing(NETPACKETQUEUE queue);
NET_RING* NetQueueFragmentRing(NETPACKETQUEUE queue);

// Creates the adapter's receive queue through its create callback, then starts it.
NTSTATUS NetRxQueueOpen(NETADAPTER adapter, uint32_t queueId, NETPACKETQUEUE* queue, NetQueueShape shape = {});

struct RxReceived {
    std::vector<uint8_t> bytes;    // the frame as the driver posted it
    void* returnContext = nullptr; // to hand back through NetAdapterReturnRxBuffer
    uint8_t flags = 0;             // the packet's flag byte
};
// Gives the driver every free element (at most `limit` of them), calls the advance and takes the
// packets the driver posted.
std::vector<RxReceived> NetRxQueueReceive(NETPACKETQUEUE queue, uint32_t limit = UINT32_MAX);
// The OS gives a receive buffer back (NetAdapterReturnRxBuffer calls it): false, a strict-mode
// failure, for a buffer the OS does not hold (returned twice, or never handed over).
bool NetQueueBufferReturned(void* returnContext);
// The packets the driver handed back without an advance (after a cancel).
std::vector<RxReceived> NetRxQueueTakePosted(NETPACKETQUEUE queue);

}  // namespace kshim::host
