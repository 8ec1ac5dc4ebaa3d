// The WDI TLV library: the checked walk, the parse and cleanup routines and the generators.
#include "kshim/wditlv.h"

#include <cstring>

#include "kshim/ex.h"

namespace {

// The library's own pool tag.
constexpr ULONG kTlvTag = KSHIM_TAG('W', 'D', 'I', 'L');

uint16_t ReadU16(const UCHAR* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const UCHAR* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t ReadU64(const UCHAR* p) { return ReadU32(p) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32); }

PVOID Allocate(SIZE_T bytes) { return bytes == 0 ? nullptr : ExAllocatePool2(POOL_FLAG_NON_PAGED, bytes, kTlvTag); }
void Free(PVOID p)
{
    if (p != nullptr) {
        ExFreePoolWithTag(p, kTlvTag);
    }
}

// A copy of `length` bytes as a byte array the library owns (an empty array for no bytes).
bool CopyBytes(WDI_BYTE_ARRAY* out, const UCHAR* bytes, ULONG length)
{
    out->ElementCount = 0;
    out->pElements = nullptr;
    out->MemoryInternallyAllocated = 0;
    if (length == 0) {
        return true;
    }
    auto* copy = static_cast<PUCHAR>(Allocate(length));
    if (copy == nullptr) {
        return false;
    }
    std::memcpy(copy, bytes, length);
    out->ElementCount = length;
    out->pElements = copy;
    out->MemoryInternallyAllocated = 1;
    return true;
}

void FreeBytes(WDI_BYTE_ARRAY* array)
{
    if (array->MemoryInternallyAllocated) {
        Free(array->pElements);
    }
    array->ElementCount = 0;
    array->pElements = nullptr;
    array->MemoryInternallyAllocated = 0;
}

// Reads a TLV value that is a list of two-u32 records into a newly allocated array (none when the
// value is empty); `set` stores one record's two words. A value that is not whole records is refused.
template <typename T, typename Set>
NTSTATUS ReadWordPairs(const UCHAR* v, USHORT l, ULONG* count, T** elements, Set set)
{
    if (l % 8 != 0) {
        return NDIS_STATUS_INVALID_DATA;
    }
    *count = l / 8;
    if (*count == 0) {
        return STATUS_SUCCESS;
    }
    *elements = static_cast<T*>(Allocate(sizeof(T) * *count));
    if (*elements == nullptr) {
        *count = 0;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (ULONG i = 0; i < *count; ++i) {
        set((*elements)[i], ReadU32(v + 8 * i), ReadU32(v + 8 * i + 4));
    }
    return STATUS_SUCCESS;
}

// Appends one element to a list of records of type T (count, pointer, owned flag), growing it by one.
template <typename T>
T* Append(ULONG* count, T** elements, UCHAR* owned)
{
    const ULONG n = *count;
    if (n >= 0xFFFFu) {  // every element takes at least one TLV header: no message holds more
        return nullptr;
    }
    auto* grown = static_cast<T*>(Allocate(sizeof(T) * (n + 1)));
    if (grown == nullptr) {
        return nullptr;
    }
    if (n != 0) {
        std::memcpy(static_cast<void*>(grown), *elements, sizeof(T) * n);
    }
    if (*owned) {
        Free(*elements);
    }
    std::memset(static_cast<void*>(&grown[n]), 0, sizeof(T));
    *elements = grown;
    *owned = 1;
    *count = n + 1;
    return &grown[n];
}

// Parses the run of TLVs of one container or message: `each` sees every TLV; a malformed run or a
// refusal of `each` fails the walk.
template <typename Each>
NTSTATUS Walk(const UCHAR* tlvs, ULONG length, Each&& each)
{
    WDI_TLV_CURSOR cursor;
    WdiTlvCursorInit(&cursor, tlvs, length);
    USHORT type = 0;
    const UCHAR* value = nullptr;
    USHORT valueLength = 0;
    while (WdiTlvNext(&cursor, &type, &value, &valueLength)) {
        NTSTATUS status = each(type, value, valueLength);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return cursor.Malformed ? NDIS_STATUS_INVALID_DATA : STATUS_SUCCESS;
}

// Writes TLVs into a buffer, or only counts them without one. A container's length is written when
// it ends; a value or container over 65535 bytes fails the whole encoding.
struct Writer {
    PUCHAR buffer = nullptr;
    ULONG size = 0;
    ULONG used = 0;
    bool failed = false;

    void Bytes(const void* data, ULONG length)
    {
        if (failed) {
            return;
        }
        if (used > 0xFFFFFFFFu - length || (buffer != nullptr && used + length > size)) {
            failed = true;
            return;
        }
        if (buffer != nullptr && length != 0) {
            std::memcpy(buffer + used, data, length);
        }
        used += length;
    }
    ULONG Begin(USHORT type)
    {
        const ULONG at = used;
        const UCHAR header[4] = {static_cast<UCHAR>(type), static_cast<UCHAR>(type >> 8), 0, 0};
        Bytes(header, sizeof(header));
        return at;
    }
    void End(ULONG at)
    {
        if (failed) {
            return;
        }
        const ULONG length = used - at - WDI_TLV_HEADER_SIZE;
        if (length > 0xFFFFu) {
            failed = true;
            return;
        }
        if (buffer != nullptr) {
            buffer[at + 2] = static_cast<UCHAR>(length);
            buffer[at + 3] = static_cast<UCHAR>(length >> 8);
        }
    }
    void Tlv(USHORT type, const void* value, ULONG length)
    {
        const ULONG at = Begin(type);
        Bytes(value, length);
        End(at);
    }
    void U8(UCHAR v) { Bytes(&v, 1); }
    void U32(ULONG v)
    {
        const UCHAR b[4] = {static_cast<UCHAR>(v), static_cast<UCHAR>(v >> 8), static_cast<UCHAR>(v >> 16),
                            static_cast<UCHAR>(v >> 24)};
        Bytes(b, 4);
    }
    void U64(ULONG64 v)
    {
        U32(static_cast<ULONG>(v));
        U32(static_cast<ULONG>(v >> 32));
    }
};

// Runs `fill` once to measure and once into a buffer of that size behind the reserved header bytes.
template <typename Fill>
NTSTATUS Generate(ULONG reservedHeaderLength, PULONG outLength, PUCHAR* outBuffer, Fill&& fill)
{
    if (outLength == nullptr || outBuffer == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *outLength = 0;
    *outBuffer = nullptr;
    Writer measure;
    measure.used = reservedHeaderLength;
    fill(measure);
    if (measure.failed) {
        return NDIS_STATUS_INVALID_DATA;
    }
    auto* buffer = static_cast<PUCHAR>(Allocate(measure.used == 0 ? 1 : measure.used));
    if (buffer == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    Writer w;
    w.buffer = buffer;
    w.size = measure.used;
    w.used = reservedHeaderLength;
    fill(w);
    if (w.failed || w.used != measure.used) {
        Free(buffer);
        return NDIS_STATUS_INVALID_DATA;
    }
    *outLength = w.used;
    *outBuffer = buffer;
    return STATUS_SUCCESS;
}

}  // namespace

// ================================================================================================
// the walk
// ================================================================================================
VOID WdiTlvCursorInit(WDI_TLV_CURSOR* cursor, const UCHAR* tlvs, ULONG length)
{
    cursor->Tlvs = tlvs;
    cursor->Length = tlvs != nullptr ? length : 0;
    cursor->Offset = 0;
    cursor->Malformed = static_cast<BOOLEAN>(tlvs == nullptr && length != 0);
}

BOOLEAN WdiTlvNext(WDI_TLV_CURSOR* cursor, USHORT* type, const UCHAR** value, USHORT* valueLength)
{
    if (cursor->Malformed || cursor->Offset >= cursor->Length) {
        return FALSE;
    }
    const ULONG left = cursor->Length - cursor->Offset;
    if (left < WDI_TLV_HEADER_SIZE) {
        cursor->Malformed = TRUE;
        return FALSE;
    }
    const UCHAR* p = cursor->Tlvs + cursor->Offset;
    const USHORT length = ReadU16(p + 2);
    if (left - WDI_TLV_HEADER_SIZE < length) {
        cursor->Malformed = TRUE;
        return FALSE;
    }
    *type = ReadU16(p);
    *value = p + WDI_TLV_HEADER_SIZE;
    *valueLength = length;
    cursor->Offset += WDI_TLV_HEADER_SIZE + length;
    return TRUE;
}

VOID WdiTlvFreeGenerated(PUCHAR buffer) { Free(buffer); }

// ================================================================================================
// the abort-task property
// ================================================================================================
NTSTATUS WdiTlvParseTaskAbort(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_TASK_ABORT_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool found = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        if (type != WDI_TLV_TASK_ABORT_PARAMETERS || found) {
            return STATUS_SUCCESS;
        }
        if (valueLength < WDI_TLV_TASK_ABORT_PARAMETERS_SIZE) {
            return NDIS_STATUS_INVALID_DATA;
        }
        out->MessageId = ReadU32(value);
        out->TransactionId = ReadU32(value + 4);
        out->PortId = ReadU16(value + 8);
        found = true;
        return STATUS_SUCCESS;
    });
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return found ? STATUS_SUCCESS : NDIS_STATUS_INVALID_DATA;
}

VOID WdiTlvCleanup(PVOID parameters) { (void)parameters; }

// ================================================================================================
// the scan task
// ================================================================================================
namespace {

NTSTATUS ParseBandChannel(WDI_SCAN_PARAMETERS* out, const UCHAR* value, USHORT valueLength)
{
    WDI_BAND_CHANNEL_ENTRY entry{};
    bool haveBand = false;
    bool haveList = false;
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        if (type == WDI_TLV_BAND_ID && !haveBand) {
            if (l < 4) {
                return NDIS_STATUS_INVALID_DATA;
            }
            entry.BandId = ReadU32(v);
            haveBand = true;
        } else if (type == WDI_TLV_CHANNEL_INFO_LIST && !haveList) {
            if (l % 4 != 0) {
                return NDIS_STATUS_INVALID_DATA;
            }
            const ULONG count = l / 4;
            if (count != 0) {
                auto* channels = static_cast<PULONG>(Allocate(sizeof(ULONG) * count));
                if (channels == nullptr) {
                    return STATUS_INSUFFICIENT_RESOURCES;
                }
                for (ULONG i = 0; i < count; ++i) {
                    channels[i] = ReadU32(v + 4 * i);
                }
                entry.ChannelList.ElementCount = count;
                entry.ChannelList.pElements = channels;
                entry.ChannelList.MemoryInternallyAllocated = 1;
            }
            haveList = true;
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && !haveBand) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    PWDI_BAND_CHANNEL_ENTRY slot = nullptr;
    if (NT_SUCCESS(status)) {
        slot = Append(&out->BandChannelList.ElementCount, &out->BandChannelList.pElements,
                      &out->BandChannelList.MemoryInternallyAllocated);
        if (slot == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    if (!NT_SUCCESS(status)) {
        if (entry.ChannelList.MemoryInternallyAllocated) {
            Free(entry.ChannelList.pElements);
        }
        return status;
    }
    *slot = entry;
    out->Presence |= WDI_SCAN_PRESENT_BAND_CHANNEL;
    return STATUS_SUCCESS;
}

NTSTATUS ParseSixGhz(WDI_SCAN_PARAMETERS* out, const UCHAR* value, USHORT valueLength)
{
    WDI_6GHZ_CHANNEL_ENTRY entry{};
    bool haveBssid = false;
    bool haveChannel = false;
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        if (type == WDI_TLV_BSSID && !haveBssid) {
            if (l < 6) {
                return NDIS_STATUS_INVALID_DATA;
            }
            std::memcpy(entry.Bssid, v, 6);
            haveBssid = true;
        } else if (type == WDI_TLV_CHANNEL_NUMBER && !haveChannel) {
            if (l < 1) {
                return NDIS_STATUS_INVALID_DATA;
            }
            entry.ChannelNumber = v[0];
            haveChannel = true;
        } else if (type == WDI_TLV_BSS_ENTRY_CHANNEL_INFO && (entry.Presence & WDI_6GHZ_PRESENT_CHANNEL_INFO) == 0) {
            if (l < WDI_TLV_BSS_ENTRY_CHANNEL_INFO_SIZE) {
                return NDIS_STATUS_INVALID_DATA;
            }
            entry.ChannelInfo[0] = ReadU32(v);
            entry.ChannelInfo[1] = ReadU32(v + 4);
            entry.Presence |= WDI_6GHZ_PRESENT_CHANNEL_INFO;
        }
        return STATUS_SUCCESS;
    });
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (!haveBssid || !haveChannel) {
        return NDIS_STATUS_INVALID_DATA;
    }
    PWDI_6GHZ_CHANNEL_ENTRY slot =
        Append(&out->SixGhzList.ElementCount, &out->SixGhzList.pElements, &out->SixGhzList.MemoryInternallyAllocated);
    if (slot == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *slot = entry;
    out->Presence |= WDI_SCAN_PRESENT_6GHZ;
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS WdiTlvParseTaskScan(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_SCAN_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveBssid = false;
    bool haveMode = false;
    bool haveDwell = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        switch (type) {
        case WDI_TLV_BSSID:
            if (!haveBssid) {
                if (valueLength < 6) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                std::memcpy(out->Bssid, value, 6);
                haveBssid = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SCAN_MODE:
            if (!haveMode) {
                if (valueLength < WDI_TLV_SCAN_MODE_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->ScanMode.ModeByte0 = value[0];
                out->ScanMode.ScanType = ReadU32(value + 1);
                out->ScanMode.ModeByte1 = value[5];
                out->ScanMode.ScanTrigger = ReadU32(value + 6);
                haveMode = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SCAN_DWELL_TIME:
            if (!haveDwell) {
                if (valueLength < WDI_TLV_SCAN_DWELL_TIME_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                for (ULONG i = 0; i < 3; ++i) {
                    out->DwellTime.Values[i] = ReadU32(value + 4 * i);
                }
                haveDwell = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SSID: {
            PWDI_BYTE_ARRAY slot =
                Append(&out->SsidList.ElementCount, &out->SsidList.pElements, &out->SsidList.MemoryInternallyAllocated);
            if (slot == nullptr || !CopyBytes(slot, value, valueLength)) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            return STATUS_SUCCESS;
        }
        case WDI_TLV_VENDOR_SPECIFIC_IE:
            if ((out->Presence & WDI_SCAN_PRESENT_VENDOR_IES) == 0) {
                if (!CopyBytes(&out->VendorIes, value, valueLength)) {
                    return STATUS_INSUFFICIENT_RESOURCES;
                }
                out->Presence |= WDI_SCAN_PRESENT_VENDOR_IES;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_BAND_CHANNEL:
            return ParseBandChannel(out, value, valueLength);
        case WDI_TLV_6_GHZ_BAND_CHANNEL:
            return ParseSixGhz(out, value, valueLength);
        default:
            return STATUS_SUCCESS;
        }
    });
    if (NT_SUCCESS(status) && (!haveBssid || !haveMode || !haveDwell)) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupTaskScan(out);
    }
    return status;
}

VOID WdiTlvCleanupTaskScan(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_SCAN_PARAMETERS>(parameters);
    for (ULONG i = 0; i < p->SsidList.ElementCount && p->SsidList.pElements != nullptr; ++i) {
        FreeBytes(&p->SsidList.pElements[i]);
    }
    if (p->SsidList.MemoryInternallyAllocated) {
        Free(p->SsidList.pElements);
    }
    p->SsidList = {};
    FreeBytes(&p->VendorIes);
    for (ULONG i = 0; i < p->BandChannelList.ElementCount && p->BandChannelList.pElements != nullptr; ++i) {
        WDI_U32_LIST& list = p->BandChannelList.pElements[i].ChannelList;
        if (list.MemoryInternallyAllocated) {
            Free(list.pElements);
        }
        list = {};
    }
    if (p->BandChannelList.MemoryInternallyAllocated) {
        Free(p->BandChannelList.pElements);
    }
    p->BandChannelList = {};
    if (p->SixGhzList.MemoryInternallyAllocated) {
        Free(p->SixGhzList.pElements);
    }
    p->SixGhzList = {};
    p->Presence = 0;
}

NTSTATUS WdiTlvGenerateTaskScan(const WDI_SCAN_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const WDI_SCAN_PARAMETERS& p = *parameters;
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        w.Tlv(WDI_TLV_BSSID, p.Bssid, 6);
        ULONG at = w.Begin(WDI_TLV_SCAN_MODE);
        w.U8(p.ScanMode.ModeByte0);
        w.U32(p.ScanMode.ScanType);
        w.U8(p.ScanMode.ModeByte1);
        w.U32(p.ScanMode.ScanTrigger);
        w.End(at);
        at = w.Begin(WDI_TLV_SCAN_DWELL_TIME);
        for (ULONG v : p.DwellTime.Values) {
            w.U32(v);
        }
        w.End(at);
        for (ULONG i = 0; i < p.SsidList.ElementCount && p.SsidList.pElements != nullptr; ++i) {
            w.Tlv(WDI_TLV_SSID, p.SsidList.pElements[i].pElements, p.SsidList.pElements[i].ElementCount);
        }
        if ((p.Presence & WDI_SCAN_PRESENT_VENDOR_IES) != 0) {
            w.Tlv(WDI_TLV_VENDOR_SPECIFIC_IE, p.VendorIes.pElements, p.VendorIes.ElementCount);
        }
        if ((p.Presence & WDI_SCAN_PRESENT_BAND_CHANNEL) != 0 && p.BandChannelList.pElements != nullptr) {
            for (ULONG i = 0; i < p.BandChannelList.ElementCount; ++i) {
                const WDI_BAND_CHANNEL_ENTRY& e = p.BandChannelList.pElements[i];
                const ULONG container = w.Begin(WDI_TLV_BAND_CHANNEL);
                const ULONG band = w.Begin(WDI_TLV_BAND_ID);
                w.U32(e.BandId);
                w.End(band);
                const ULONG list = w.Begin(WDI_TLV_CHANNEL_INFO_LIST);
                for (ULONG c = 0; c < e.ChannelList.ElementCount && e.ChannelList.pElements != nullptr; ++c) {
                    w.U32(e.ChannelList.pElements[c]);
                }
                w.End(list);
                w.End(container);
            }
        }
        if ((p.Presence & WDI_SCAN_PRESENT_6GHZ) != 0 && p.SixGhzList.pElements != nullptr) {
            for (ULONG i = 0; i < p.SixGhzList.ElementCount; ++i) {
                const WDI_6GHZ_CHANNEL_ENTRY& e = p.SixGhzList.pElements[i];
                const ULONG container = w.Begin(WDI_TLV_6_GHZ_BAND_CHANNEL);
                w.Tlv(WDI_TLV_BSSID, e.Bssid, 6);
                w.Tlv(WDI_TLV_CHANNEL_NUMBER, &e.ChannelNumber, 1);
                if ((e.Presence & WDI_6GHZ_PRESENT_CHANNEL_INFO) != 0) {
                    const ULONG info = w.Begin(WDI_TLV_BSS_ENTRY_CHANNEL_INFO);
                    w.U32(e.ChannelInfo[0]);
                    w.U32(e.ChannelInfo[1]);
                    w.End(info);
                }
                w.End(container);
            }
        }
    });
}

// ================================================================================================
// the BSS entry indication
// ================================================================================================
NTSTATUS WdiTlvGenerateBssEntry(const WDI_BSS_ENTRY_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const WDI_BSS_ENTRY_PARAMETERS& p = *parameters;
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        w.Tlv(WDI_TLV_BSSID, p.Bssid, 6);
        if ((p.Presence & WDI_BSS_ENTRY_PRESENT_PROBE_RESPONSE) != 0) {
            w.Tlv(WDI_TLV_PROBE_RESPONSE_FRAME, p.ProbeResponseFrame.pElements, p.ProbeResponseFrame.ElementCount);
        }
        if ((p.Presence & WDI_BSS_ENTRY_PRESENT_BEACON) != 0) {
            w.Tlv(WDI_TLV_BEACON_FRAME, p.BeaconFrame.pElements, p.BeaconFrame.ElementCount);
        }
        ULONG at = w.Begin(WDI_TLV_SIGNAL_INFO);
        w.U32(static_cast<ULONG>(p.Rssi));
        w.U32(p.LinkQuality);
        w.End(at);
        at = w.Begin(WDI_TLV_CHANNEL_INFO);
        w.U32(p.ChannelNumber);
        w.U32(p.BandId);
        w.End(at);
        if ((p.Presence & WDI_BSS_ENTRY_PRESENT_DEVICE_CONTEXT) != 0) {
            w.Tlv(WDI_TLV_DEVICE_CONTEXT, p.DeviceContext.pElements, p.DeviceContext.ElementCount);
        }
        at = w.Begin(WDI_TLV_BSS_ENTRY_AGE_INFO);
        w.U64(p.HostTimeStamp);
        w.U8(p.Cached);
        w.End(at);
    });
}

NTSTATUS WdiTlvParseBssEntry(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_BSS_ENTRY_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveBssid = false;
    bool haveSignal = false;
    bool haveChannel = false;
    bool haveAge = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        switch (type) {
        case WDI_TLV_BSSID:
            if (!haveBssid) {
                if (valueLength < 6) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                std::memcpy(out->Bssid, value, 6);
                haveBssid = true;
            }
            break;
        case WDI_TLV_PROBE_RESPONSE_FRAME:
            if ((out->Presence & WDI_BSS_ENTRY_PRESENT_PROBE_RESPONSE) == 0) {
                if (!CopyBytes(&out->ProbeResponseFrame, value, valueLength)) {
                    return STATUS_INSUFFICIENT_RESOURCES;
                }
                out->Presence |= WDI_BSS_ENTRY_PRESENT_PROBE_RESPONSE;
            }
            break;
        case WDI_TLV_BEACON_FRAME:
            if ((out->Presence & WDI_BSS_ENTRY_PRESENT_BEACON) == 0) {
                if (!CopyBytes(&out->BeaconFrame, value, valueLength)) {
                    return STATUS_INSUFFICIENT_RESOURCES;
                }
                out->Presence |= WDI_BSS_ENTRY_PRESENT_BEACON;
            }
            break;
        case WDI_TLV_SIGNAL_INFO:
            if (!haveSignal) {
                if (valueLength < WDI_TLV_SIGNAL_INFO_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->Rssi = static_cast<LONG>(ReadU32(value));
                out->LinkQuality = ReadU32(value + 4);
                haveSignal = true;
            }
            break;
        case WDI_TLV_CHANNEL_INFO:
            if (!haveChannel) {
                if (valueLength < WDI_TLV_CHANNEL_INFO_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->ChannelNumber = ReadU32(value);
                out->BandId = ReadU32(value + 4);
                haveChannel = true;
            }
            break;
        case WDI_TLV_DEVICE_CONTEXT:
            if ((out->Presence & WDI_BSS_ENTRY_PRESENT_DEVICE_CONTEXT) == 0) {
                if (!CopyBytes(&out->DeviceContext, value, valueLength)) {
                    return STATUS_INSUFFICIENT_RESOURCES;
                }
                out->Presence |= WDI_BSS_ENTRY_PRESENT_DEVICE_CONTEXT;
            }
            break;
        case WDI_TLV_BSS_ENTRY_AGE_INFO:
            if (!haveAge) {
                if (valueLength < WDI_TLV_BSS_ENTRY_AGE_INFO_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->HostTimeStamp = ReadU64(value);
                out->Cached = value[8];
                haveAge = true;
            }
            break;
        default:
            break;
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && (!haveBssid || !haveSignal || !haveChannel || !haveAge)) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupBssEntry(out);
    }
    return status;
}

VOID WdiTlvCleanupBssEntry(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_BSS_ENTRY_PARAMETERS>(parameters);
    FreeBytes(&p->ProbeResponseFrame);
    FreeBytes(&p->BeaconFrame);
    FreeBytes(&p->DeviceContext);
    p->Presence = 0;
}

// ================================================================================================
// the network-list-offload property
// ================================================================================================
namespace {

void FreeSsidOffload(WDI_SSID_OFFLOAD_ENTRY& e)
{
    FreeBytes(&e.Ssid);
    Free(e.pPairs);
    Free(e.pHints);
    e = {};
}

NTSTATUS ParseSsidOffload(WDI_NLO_PARAMETERS* out, const UCHAR* value, USHORT valueLength)
{
    WDI_SSID_OFFLOAD_ENTRY entry{};
    bool haveSsid = false;
    bool havePairs = false;
    bool haveHints = false;
    bool haveHidden = false;
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        switch (type) {
        case WDI_TLV_SSID:
            if (!haveSsid) {
                if (!CopyBytes(&entry.Ssid, v, l)) {
                    return STATUS_INSUFFICIENT_RESOURCES;
                }
                haveSsid = true;
            }
            break;
        case WDI_TLV_ALGORITHM_PAIRS:
            if (!havePairs) {
                const NTSTATUS read = ReadWordPairs(v, l, &entry.PairCount, &entry.pPairs,
                                                    [](WDI_ALGORITHM_PAIR& pair, ULONG auth, ULONG cipher) {
                                                        pair.AuthAlgorithm = auth;
                                                        pair.CipherAlgorithm = cipher;
                                                    });
                if (!NT_SUCCESS(read)) {
                    return read;
                }
                havePairs = true;
            }
            break;
        case WDI_TLV_CHANNEL_HINT_LIST:
            if (!haveHints) {
                const NTSTATUS read = ReadWordPairs(v, l, &entry.HintCount, &entry.pHints,
                                                    [](WDI_CHANNEL_HINT& hint, ULONG band, ULONG channel) {
                                                        hint.BandId = band;
                                                        hint.ChannelNumber = channel;
                                                    });
                if (!NT_SUCCESS(read)) {
                    return read;
                }
                haveHints = true;
            }
            break;
        case WDI_TLV_HIDDEN_NETWORK:
            if (!haveHidden) {
                if (l < 1) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                entry.Hidden = v[0];
                haveHidden = true;
            }
            break;
        default:
            break;
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && (!haveSsid || !havePairs)) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    PWDI_SSID_OFFLOAD_ENTRY slot = nullptr;
    if (NT_SUCCESS(status)) {
        slot = Append(&out->SsidOffloads.ElementCount, &out->SsidOffloads.pElements,
                      &out->SsidOffloads.MemoryInternallyAllocated);
        if (slot == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    if (!NT_SUCCESS(status)) {
        FreeSsidOffload(entry);
        return status;
    }
    *slot = entry;
    out->Presence |= WDI_NLO_PRESENT_SSID_OFFLOAD;
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS WdiTlvParseNetworkListOffload(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_NLO_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveConfig = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        if (type == WDI_TLV_NETWORK_LIST_OFFLOAD_CONFIG && !haveConfig) {
            if (valueLength < WDI_TLV_NETWORK_LIST_OFFLOAD_CONFIG_SIZE) {
                return NDIS_STATUS_INVALID_DATA;
            }
            for (ULONG i = 0; i < 4; ++i) {
                out->Config[i] = ReadU32(value + 4 * i);
            }
            haveConfig = true;
        } else if (type == WDI_TLV_SSID_OFFLOAD) {
            return ParseSsidOffload(out, value, valueLength);
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && !haveConfig) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupNetworkListOffload(out);
    }
    return status;
}

VOID WdiTlvCleanupNetworkListOffload(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_NLO_PARAMETERS>(parameters);
    for (ULONG i = 0; i < p->SsidOffloads.ElementCount && p->SsidOffloads.pElements != nullptr; ++i) {
        FreeSsidOffload(p->SsidOffloads.pElements[i]);
    }
    if (p->SsidOffloads.MemoryInternallyAllocated) {
        Free(p->SsidOffloads.pElements);
    }
    p->SsidOffloads = {};
    p->Presence = 0;
}

NTSTATUS WdiTlvGenerateNetworkListOffload(const WDI_NLO_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                          const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const WDI_NLO_PARAMETERS& p = *parameters;
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        ULONG at = w.Begin(WDI_TLV_NETWORK_LIST_OFFLOAD_CONFIG);
        for (ULONG v : p.Config) {
            w.U32(v);
        }
        w.End(at);
        if ((p.Presence & WDI_NLO_PRESENT_SSID_OFFLOAD) == 0 || p.SsidOffloads.pElements == nullptr) {
            return;
        }
        for (ULONG i = 0; i < p.SsidOffloads.ElementCount; ++i) {
            const WDI_SSID_OFFLOAD_ENTRY& e = p.SsidOffloads.pElements[i];
            const ULONG container = w.Begin(WDI_TLV_SSID_OFFLOAD);
            w.Tlv(WDI_TLV_SSID, e.Ssid.pElements, e.Ssid.ElementCount);
            at = w.Begin(WDI_TLV_ALGORITHM_PAIRS);
            for (ULONG k = 0; k < e.PairCount && e.pPairs != nullptr; ++k) {
                w.U32(e.pPairs[k].AuthAlgorithm);
                w.U32(e.pPairs[k].CipherAlgorithm);
            }
            w.End(at);
            if (e.HintCount != 0 && e.pHints != nullptr) {
                at = w.Begin(WDI_TLV_CHANNEL_HINT_LIST);
                for (ULONG k = 0; k < e.HintCount; ++k) {
                    w.U32(e.pHints[k].BandId);
                    w.U32(e.pHints[k].ChannelNumber);
                }
                w.End(at);
            }
            w.Tlv(WDI_TLV_HIDDEN_NETWORK, &e.Hidden, 1);
            w.End(container);
        }
    });
}
