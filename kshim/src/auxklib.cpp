// The auxiliary kernel library: initialisation and the system firmware tables.
#include "kshim/auxklib.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "internal.h"
#include "kshim/host/firmware_tables.h"

namespace {

struct Tables {
    std::mutex lock;
    std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> tables;
};

void SetDefaultsLocked(Tables& t)
{
    t.tables.clear();
    t.tables[{kshim::host::kAcpiProvider, kshim::host::kFadtTableId}] = kshim::host::MakeFadt(0);
}

Tables& TheTables()
{
    static Tables* tables = [] {
        auto* t = new Tables();
        SetDefaultsLocked(*t);
        return t;
    }();
    return *tables;
}

std::atomic<bool> g_initialized{false};

}  // namespace

NTSTATUS AuxKlibInitialize()
{
    KshimMayBlock("AuxKlibInitialize");
    NTSTATUS status;
    if (kshim::FaultCheck("auxklib.initialize", nullptr, &status)) {
        return status;
    }
    g_initialized.store(true);
    return STATUS_SUCCESS;
}

NTSTATUS AuxKlibGetSystemFirmwareTable(ULONG FirmwareTableProviderSignature, ULONG FirmwareTableID,
                                       PVOID FirmwareTableBuffer, ULONG BufferLength, PULONG ReturnLength)
{
    KshimMayBlock("AuxKlibGetSystemFirmwareTable");
    if (ReturnLength != nullptr) {
        *ReturnLength = 0;
    }
    if (!g_initialized.load()) {
        return STATUS_UNSUCCESSFUL;
    }
    if (FirmwareTableBuffer == nullptr && BufferLength != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    Tables& t = TheTables();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.tables.find({FirmwareTableProviderSignature, FirmwareTableID});
    if (it == t.tables.end()) {
        return STATUS_NOT_FOUND;
    }
    auto length = static_cast<ULONG>(it->second.size());
    if (ReturnLength != nullptr) {
        *ReturnLength = length;
    }
    if (length > BufferLength) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (length != 0) {
        std::memcpy(FirmwareTableBuffer, it->second.data(), length);
    }
    return STATUS_SUCCESS;
}

namespace kshim::host {

std::vector<uint8_t> MakeFadt(uint32_t flags, size_t length)
{
    std::vector<uint8_t> bytes(length, 0);
    const char signature[4] = {'F', 'A', 'C', 'P'};
    for (size_t i = 0; i < 4 && i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(signature[i]);
    }
    auto length32 = static_cast<uint32_t>(length);
    for (size_t i = 0; i < 4 && 4 + i < length; ++i) {
        bytes[4 + i] = static_cast<uint8_t>(length32 >> (8 * i));
    }
    if (length > 8) {
        bytes[8] = 6;  // revision
    }
    if (length >= kFadtFlagsOffset + 4) {
        for (size_t i = 0; i < 4; ++i) {
            bytes[kFadtFlagsOffset + i] = static_cast<uint8_t>(flags >> (8 * i));
        }
    }
    if (length > 9) {
        uint8_t sum = 0;
        for (uint8_t b : bytes) {
            sum = static_cast<uint8_t>(sum + b);
        }
        bytes[9] = static_cast<uint8_t>(0x100 - sum);  // checksum
    }
    return bytes;
}

void FirmwareTableSet(uint32_t provider, uint32_t tableId, const std::vector<uint8_t>& bytes)
{
    Tables& t = TheTables();
    std::lock_guard<std::mutex> guard(t.lock);
    t.tables[{provider, tableId}] = bytes;
}

bool FirmwareTableRemove(uint32_t provider, uint32_t tableId)
{
    Tables& t = TheTables();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.tables.erase({provider, tableId}) != 0;
}

void FirmwareTablesReset()
{
    Tables& t = TheTables();
    std::lock_guard<std::mutex> guard(t.lock);
    SetDefaultsLocked(t);
}

}  // namespace kshim::host
