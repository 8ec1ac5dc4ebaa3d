// Device memory: the bus of attached simulated PCI functions, MmMapIoSpaceEx over reserved address
// space that faults on any raw touch, register calls routed to the device's handlers, and the
// processor identification leaf.
#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "kshim/hal.h"
#include "kshim/host/pci_device.h"
#include "kshim/irql.h"

namespace {

using kshim::host::PciDevice;

struct Attachment {
    PciDevice* device;
    unsigned bar;
    uint64_t base;
    uint64_t size;
};

struct Mapping {
    size_t length;
    PciDevice* device;    // nullptr once the device was taken off the bus
    unsigned bar;
    uint64_t barOffset;   // BAR offset of the first mapped byte
};

// Attachments and mappings change rarely; accesses take the lock shared for the whole handler call
// so a device cannot be detached under a running access.
std::shared_mutex g_lock;
std::vector<Attachment> g_attachments;
std::map<uintptr_t, Mapping> g_mappings;  // by first mapped address

std::mutex g_cpuLock;
char g_cpuVendor[12] = {'G', 'e', 'n', 'u', 'i', 'n', 'e', 'I', 'n', 't', 'e', 'l'};

uint64_t AllOnes(unsigned width) { return width >= 8 ? ~0ull : ((1ull << (width * 8)) - 1); }

// Finds the mapping that holds [address, address + width). Caller holds g_lock.
const Mapping* FindMapping(uintptr_t address, unsigned width, uintptr_t* start)
{
    auto it = g_mappings.upper_bound(address);
    if (it == g_mappings.begin()) {
        return nullptr;
    }
    --it;
    if (address + width > it->first + it->second.length) {
        return nullptr;
    }
    *start = it->first;
    return &it->second;
}

bool CheckAccess(const void* address, unsigned width, const char* call)
{
    if ((reinterpret_cast<uintptr_t>(address) & (width - 1)) != 0) {
        char detail[96];
        std::snprintf(detail, sizeof(detail), "%s at %p", call, address);
        KshimViolation("misaligned register access", detail);
        return false;
    }
    return true;
}

void ReportOutside(const void* address, const char* call)
{
    char detail[96];
    std::snprintf(detail, sizeof(detail), "%s at %p", call, address);
    KshimViolation("register access outside any device mapping", detail);
}

uint64_t RegisterRead(const volatile void* address, unsigned width, const char* call)
{
    const void* plain = const_cast<const void*>(address);
    if (!CheckAccess(plain, width, call)) {
        return AllOnes(width);
    }
    std::shared_lock<std::shared_mutex> guard(g_lock);
    uintptr_t start = 0;
    const Mapping* m = FindMapping(reinterpret_cast<uintptr_t>(plain), width, &start);
    if (m == nullptr) {
        ReportOutside(plain, call);
        return AllOnes(width);
    }
    NTSTATUS ignored;
    if (m->device == nullptr || m->device->Gone() || kshim::FaultCheck("mmio.read", nullptr, &ignored)) {
        return AllOnes(width);
    }
    uint64_t offset = m->barOffset + (reinterpret_cast<uintptr_t>(plain) - start);
    return m->device->MmioRead(m->bar, offset, width) & AllOnes(width);
}

void RegisterWrite(volatile void* address, unsigned width, uint64_t value, const char* call)
{
    void* plain = const_cast<void*>(address);
    if (CheckAccess(plain, width, call)) {
        std::shared_lock<std::shared_mutex> guard(g_lock);
        uintptr_t start = 0;
        const Mapping* m = FindMapping(reinterpret_cast<uintptr_t>(plain), width, &start);
        if (m == nullptr) {
            ReportOutside(plain, call);
        } else if (m->device != nullptr && !m->device->Gone()) {
            uint64_t offset = m->barOffset + (reinterpret_cast<uintptr_t>(plain) - start);
            m->device->MmioWrite(m->bar, offset, width, value & AllOnes(width));
        }
    }
    // A write is complete, for every observer, before the next access.
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace

// ---- mapping ------------------------------------------------------------------------------------------
PVOID MmMapIoSpaceEx(PHYSICAL_ADDRESS physicalAddress, SIZE_T numberOfBytes, ULONG protect)
{
    (void)protect;
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("MmMapIoSpaceEx above DISPATCH_LEVEL", nullptr);
    }
    NTSTATUS ignored;
    if (numberOfBytes == 0 || kshim::FaultCheck("mmio.map", nullptr, &ignored)) {
        return nullptr;
    }
    uint64_t physical = static_cast<uint64_t>(physicalAddress.QuadPart);
    std::unique_lock<std::shared_mutex> guard(g_lock);
    for (const Attachment& a : g_attachments) {
        if (physical >= a.base && physical - a.base <= a.size && numberOfBytes <= a.size - (physical - a.base)) {
            void* va = mmap(nullptr, numberOfBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (va == MAP_FAILED) {
                return nullptr;
            }
            g_mappings[reinterpret_cast<uintptr_t>(va)] = Mapping{numberOfBytes, a.device, a.bar, physical - a.base};
            return va;
        }
    }
    return nullptr;
}

void MmUnmapIoSpace(PVOID baseAddress, SIZE_T numberOfBytes)
{
    std::unique_lock<std::shared_mutex> guard(g_lock);
    auto it = g_mappings.find(reinterpret_cast<uintptr_t>(baseAddress));
    if (it == g_mappings.end() || it->second.length != numberOfBytes) {
        guard.unlock();
        KshimViolation("MmUnmapIoSpace of a range that is not a mapping", nullptr);
        return;
    }
    munmap(baseAddress, numberOfBytes);
    g_mappings.erase(it);
}

// ---- register calls -------------------------------------------------------------------------------------
UCHAR READ_REGISTER_UCHAR(volatile UCHAR* registerAddress)
{
    return static_cast<UCHAR>(RegisterRead(registerAddress, 1, __func__));
}
USHORT READ_REGISTER_USHORT(volatile USHORT* registerAddress)
{
    return static_cast<USHORT>(RegisterRead(registerAddress, 2, __func__));
}
ULONG READ_REGISTER_ULONG(volatile ULONG* registerAddress)
{
    return static_cast<ULONG>(RegisterRead(registerAddress, 4, __func__));
}
ULONG64 READ_REGISTER_ULONG64(volatile ULONG64* registerAddress)
{
    return RegisterRead(registerAddress, 8, __func__);
}
void WRITE_REGISTER_UCHAR(volatile UCHAR* registerAddress, UCHAR value)
{
    RegisterWrite(registerAddress, 1, value, __func__);
}
void WRITE_REGISTER_USHORT(volatile USHORT* registerAddress, USHORT value)
{
    RegisterWrite(registerAddress, 2, value, __func__);
}
void WRITE_REGISTER_ULONG(volatile ULONG* registerAddress, ULONG value)
{
    RegisterWrite(registerAddress, 4, value, __func__);
}
void WRITE_REGISTER_ULONG64(volatile ULONG64* registerAddress, ULONG64 value)
{
    RegisterWrite(registerAddress, 8, value, __func__);
}

// ---- processor identification -----------------------------------------------------------------------------
void __cpuid(int cpuInfo[4], int functionId)
{
    cpuInfo[0] = cpuInfo[1] = cpuInfo[2] = cpuInfo[3] = 0;
    if (functionId != 0) {
        return;
    }
    char vendor[12];
    {
        std::lock_guard<std::mutex> guard(g_cpuLock);
        std::memcpy(vendor, g_cpuVendor, sizeof(vendor));
    }
    cpuInfo[0] = 1;  // highest leaf: identification and features
    std::memcpy(&cpuInfo[1], vendor, 4);      // EBX
    std::memcpy(&cpuInfo[3], vendor + 4, 4);  // EDX
    std::memcpy(&cpuInfo[2], vendor + 8, 4);  // ECX
}

// ---- the harness's side ------------------------------------------------------------------------------------
namespace kshim::host {

bool PciAttach(PciDevice* device, uint64_t physicalBase, unsigned bar)
{
    uint64_t size = device->BarSize(bar);
    if (size == 0) {
        return false;
    }
    std::unique_lock<std::shared_mutex> guard(g_lock);
    for (const Attachment& a : g_attachments) {
        if (physicalBase < a.base + a.size && a.base < physicalBase + size) {
            return false;
        }
    }
    g_attachments.push_back(Attachment{device, bar, physicalBase, size});
    return true;
}

void PciDetach(PciDevice* device)
{
    std::unique_lock<std::shared_mutex> guard(g_lock);
    for (auto it = g_attachments.begin(); it != g_attachments.end();) {
        it = it->device == device ? g_attachments.erase(it) : it + 1;
    }
    for (auto& [va, m] : g_mappings) {
        if (m.device == device) {
            m.device = nullptr;
        }
    }
}

size_t MmioMappingCount()
{
    std::shared_lock<std::shared_mutex> guard(g_lock);
    return g_mappings.size();
}

void SetCpuVendor(const std::string& vendor)
{
    std::lock_guard<std::mutex> guard(g_cpuLock);
    std::memset(g_cpuVendor, 0, sizeof(g_cpuVendor));
    std::memcpy(g_cpuVendor, vendor.data(), vendor.size() < sizeof(g_cpuVendor) ? vendor.size() : sizeof(g_cpuVendor));
}

}  // namespace kshim::host
