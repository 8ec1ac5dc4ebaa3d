// What a simulated PCI function offers the stand-in, and how the harness puts one on the bus.
//
// A device has a 4 KiB configuration space, memory BARs with read and write handlers by BAR offset,
// an interrupt line it can raise, and a "gone" state in which it no longer answers: every register
// read then gives all ones, writes are dropped and configuration reads give all ones too.
//
// The stand-in calls the handlers synchronously from whatever thread and IRQL the driver is on; a
// device guards its own state. Handlers must not call back into MmMapIoSpaceEx, MmUnmapIoSpace or
// the attach calls below.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kshim::host {

constexpr uint32_t kPciConfigSpaceSize = 4096;

class PciDevice {
public:
    virtual ~PciDevice() = default;

    // ---- configuration space ----------------------------------------------------------------------
    // Reads or writes length bytes at offset; returns the number of bytes transferred (fewer than
    // asked when the range runs past 4 KiB). A gone device reads all ones and ignores writes.
    virtual uint32_t ConfigRead(uint32_t offset, void* buffer, uint32_t length) = 0;
    virtual uint32_t ConfigWrite(uint32_t offset, const void* buffer, uint32_t length) = 0;

    // ---- memory BARs ------------------------------------------------------------------------------
    // Size in bytes of memory BAR `bar` (0 when the device has no such BAR).
    virtual uint64_t BarSize(unsigned bar) const = 0;
    // One access of `width` bytes (1, 2, 4 or 8) at a BAR offset aligned to the width; the stand-in
    // has checked offset + width <= BarSize(bar). Only called while the device is not gone.
    virtual uint64_t MmioRead(unsigned bar, uint64_t offset, unsigned width) = 0;
    virtual void MmioWrite(unsigned bar, uint64_t offset, unsigned width, uint64_t value) = 0;

    // ---- gone -------------------------------------------------------------------------------------
    void SetGone(bool gone) { gone_.store(gone); }
    bool Gone() const { return gone_.load(); }

    // ---- interrupts ---------------------------------------------------------------------------------
    // The stand-in's interrupt object installs a sink; RaiseInterrupt delivers message `message` to
    // it (nothing happens while no sink is installed).
    using InterruptSink = std::function<void(uint32_t message)>;
    void SetInterruptSink(InterruptSink sink)
    {
        std::lock_guard<std::mutex> lock(sinkLock_);
        sink_ = std::move(sink);
    }
    void RaiseInterrupt(uint32_t message)
    {
        InterruptSink sink;
        {
            std::lock_guard<std::mutex> lock(sinkLock_);
            sink = sink_;
        }
        if (sink) {
            sink(message);
        }
    }

private:
    std::atomic<bool> gone_{false};
    std::mutex sinkLock_;
    InterruptSink sink_;
};

// ---- the bus ----------------------------------------------------------------------------------------
// Places BAR `bar` of a device at a physical address: MmMapIoSpaceEx of any range inside
// [physicalBase, physicalBase + BarSize(bar)) then reaches the device. The device must outlive its
// attachment. Attaching over another device's range is refused (returns false).
bool PciAttach(PciDevice* device, uint64_t physicalBase, unsigned bar = 0);
// Takes every BAR of the device off the bus. Mappings that still point at it read all ones (as a
// surprise-removed device does) until they are unmapped.
void PciDetach(PciDevice* device);
// Live mappings of device memory (a test checks that the driver unmapped everything).
size_t MmioMappingCount();

// ---- the machine ------------------------------------------------------------------------------------
// The vendor text the processor reports in its identification leaf 0 (12 characters, e.g.
// "GenuineIntel", "AuthenticAMD"); longer text is cut, shorter text padded with zeros.
void SetCpuVendor(const std::string& vendor);

}  // namespace kshim::host
