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

// Releases a list of SSIDs and the SSIDs in it.
void FreeSsidList(WDI_SSID_LIST* list)
{
    for (ULONG i = 0; i < list->ElementCount && list->pElements != nullptr; ++i) {
        FreeBytes(&list->pElements[i]);
    }
    if (list->MemoryInternallyAllocated) {
        Free(list->pElements);
    }
    *list = {};
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
    FreeSsidList(&p->SsidList);
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

// ================================================================================================
// the connect and roam tasks
// ================================================================================================
namespace {

// A value of whole u32 words as a newly allocated list (none for an empty value).
NTSTATUS ReadU32List(WDI_U32_LIST* out, const UCHAR* v, USHORT l)
{
    *out = {};
    if (l % 4 != 0) {
        return NDIS_STATUS_INVALID_DATA;
    }
    const ULONG count = l / 4u;
    if (count == 0) {
        return STATUS_SUCCESS;
    }
    auto* words = static_cast<PULONG>(Allocate(sizeof(ULONG) * count));
    if (words == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (ULONG i = 0; i < count; ++i) {
        words[i] = ReadU32(v + 4 * i);
    }
    out->ElementCount = count;
    out->pElements = words;
    out->MemoryInternallyAllocated = 1;
    return STATUS_SUCCESS;
}

void FreeU32List(WDI_U32_LIST* list)
{
    if (list->MemoryInternallyAllocated) {
        Free(list->pElements);
    }
    *list = {};
}

// A value of whole 6-byte addresses as a newly allocated list.
NTSTATUS ReadAddressList(WDI_MAC_ADDRESS_LIST* out, const UCHAR* v, USHORT l)
{
    *out = {};
    if (l % 6 != 0) {
        return NDIS_STATUS_INVALID_DATA;
    }
    const ULONG count = l / 6u;
    if (count == 0) {
        return STATUS_SUCCESS;
    }
    auto* addresses = static_cast<PWDI_MAC_ADDRESS>(Allocate(sizeof(WDI_MAC_ADDRESS) * count));
    if (addresses == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memcpy(addresses, v, 6u * count);
    out->ElementCount = count;
    out->pElements = addresses;
    out->MemoryInternallyAllocated = 1;
    return STATUS_SUCCESS;
}

void FreeAddressList(WDI_MAC_ADDRESS_LIST* list)
{
    if (list->MemoryInternallyAllocated) {
        Free(list->pElements);
    }
    *list = {};
}

void FreeFtParameters(WDI_FT_PARAMETERS& ft)
{
    FreeBytes(&ft.Mde);
    FreeBytes(&ft.Fte);
    ft.Presence = 0;
}

void FreeConnectBssEntry(WDI_CONNECT_BSS_ENTRY& e)
{
    FreeBytes(&e.ProbeResponseFrame);
    FreeBytes(&e.BeaconFrame);
    FreeBytes(&e.DeviceContext);
    FreeBytes(&e.ExtraIes);
    FreeFtParameters(e.FtInitial);
    FreeFtParameters(e.FtReassoc);
    e.Presence = 0;
}

NTSTATUS ParseFtParameters(WDI_FT_PARAMETERS* ft, const UCHAR* value, USHORT valueLength)
{
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        if (type == WDI_TLV_FT_MDE && (ft->Presence & WDI_FT_PRESENT_MDE) == 0) {
            if (!CopyBytes(&ft->Mde, v, l)) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            ft->Presence |= WDI_FT_PRESENT_MDE;
        } else if (type == WDI_TLV_FT_FTE && (ft->Presence & WDI_FT_PRESENT_FTE) == 0) {
            if (!CopyBytes(&ft->Fte, v, l)) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            ft->Presence |= WDI_FT_PRESENT_FTE;
        } else if (type == WDI_TLV_FT_PMKR0NAME && (ft->Presence & WDI_FT_PRESENT_PMKR0_NAME) == 0) {
            if (l < sizeof(ft->PmkR0Name)) {
                return NDIS_STATUS_INVALID_DATA;
            }
            std::memcpy(ft->PmkR0Name, v, sizeof(ft->PmkR0Name));
            ft->Presence |= WDI_FT_PRESENT_PMKR0_NAME;
        }
        return STATUS_SUCCESS;
    });
    if (!NT_SUCCESS(status)) {
        FreeFtParameters(*ft);
    }
    return status;
}

// Copies a byte TLV once into `array`, marking `bit` in `presence`.
NTSTATUS TakeBytesOnce(ULONG* presence, ULONG bit, WDI_BYTE_ARRAY* array, const UCHAR* v, USHORT l)
{
    if ((*presence & bit) != 0) {
        return STATUS_SUCCESS;
    }
    if (!CopyBytes(array, v, l)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *presence |= bit;
    return STATUS_SUCCESS;
}

NTSTATUS ParseConnectBssEntry(WDI_CONNECT_BSS_ENTRY_LIST* list, const UCHAR* value, USHORT valueLength)
{
    WDI_CONNECT_BSS_ENTRY entry{};
    bool haveBssid = false;
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        switch (type) {
        case WDI_TLV_BSSID:
            if (!haveBssid) {
                if (l < 6) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                std::memcpy(entry.Bssid, v, 6);
                haveBssid = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_PROBE_RESPONSE_FRAME:
            return TakeBytesOnce(&entry.Presence, WDI_CONNECT_BSS_PRESENT_PROBE_RESPONSE, &entry.ProbeResponseFrame, v, l);
        case WDI_TLV_BEACON_FRAME:
            return TakeBytesOnce(&entry.Presence, WDI_CONNECT_BSS_PRESENT_BEACON, &entry.BeaconFrame, v, l);
        case WDI_TLV_DEVICE_CONTEXT:
            return TakeBytesOnce(&entry.Presence, WDI_CONNECT_BSS_PRESENT_DEVICE_CONTEXT, &entry.DeviceContext, v, l);
        case WDI_TLV_BSS_ENTRY_EXTRA_IES:
            return TakeBytesOnce(&entry.Presence, WDI_CONNECT_BSS_PRESENT_EXTRA_IES, &entry.ExtraIes, v, l);
        case WDI_TLV_SIGNAL_INFO:
            if ((entry.Presence & WDI_CONNECT_BSS_PRESENT_SIGNAL) == 0) {
                if (l < WDI_TLV_SIGNAL_INFO_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                entry.Rssi = static_cast<LONG>(ReadU32(v));
                entry.LinkQuality = ReadU32(v + 4);
                entry.Presence |= WDI_CONNECT_BSS_PRESENT_SIGNAL;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_CHANNEL_INFO:
            if ((entry.Presence & WDI_CONNECT_BSS_PRESENT_CHANNEL) == 0) {
                if (l < WDI_TLV_CHANNEL_INFO_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                entry.ChannelNumber = ReadU32(v);
                entry.BandId = ReadU32(v + 4);
                entry.Presence |= WDI_CONNECT_BSS_PRESENT_CHANNEL;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_PMKID:
            if ((entry.Presence & WDI_CONNECT_BSS_PRESENT_PMKID) == 0) {
                if (l != WDI_PMKID_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                std::memcpy(entry.Pmkid, v, WDI_PMKID_SIZE);
                entry.Presence |= WDI_CONNECT_BSS_PRESENT_PMKID;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_FT_INITIAL_ASSOC_PARAMETERS:
            if ((entry.Presence & WDI_CONNECT_BSS_PRESENT_FT_INITIAL) == 0) {
                NTSTATUS s = ParseFtParameters(&entry.FtInitial, v, l);
                if (!NT_SUCCESS(s)) {
                    return s;
                }
                entry.Presence |= WDI_CONNECT_BSS_PRESENT_FT_INITIAL;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_FT_REASSOC_PARAMETERS:
            if ((entry.Presence & WDI_CONNECT_BSS_PRESENT_FT_REASSOC) == 0) {
                NTSTATUS s = ParseFtParameters(&entry.FtReassoc, v, l);
                if (!NT_SUCCESS(s)) {
                    return s;
                }
                entry.Presence |= WDI_CONNECT_BSS_PRESENT_FT_REASSOC;
            }
            return STATUS_SUCCESS;
        default:
            return STATUS_SUCCESS;
        }
    });
    if (NT_SUCCESS(status) && !haveBssid) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    PWDI_CONNECT_BSS_ENTRY slot = nullptr;
    if (NT_SUCCESS(status)) {
        slot = Append(&list->ElementCount, &list->pElements, &list->MemoryInternallyAllocated);
        if (slot == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    if (!NT_SUCCESS(status)) {
        FreeConnectBssEntry(entry);
        return status;
    }
    *slot = entry;
    return STATUS_SUCCESS;
}

NTSTATUS ParseHessidInfo(WDI_CONNECT_PARAMETERS* out, const UCHAR* value, USHORT valueLength)
{
    WDI_HESSID_INFO& info = out->HessidInfo;
    bool haveType = false;
    bool haveElement = false;
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        if (type == WDI_TLV_ACCESS_NETWORK_TYPE && !haveType) {
            if (l < 1) {
                return NDIS_STATUS_INVALID_DATA;
            }
            info.AccessNetworkType = v[0];
            haveType = true;
        } else if (type == WDI_TLV_HESSID) {
            if (l < 6) {
                return NDIS_STATUS_INVALID_DATA;
            }
            PWDI_MAC_ADDRESS slot =
                Append(&info.Hessids.ElementCount, &info.Hessids.pElements, &info.Hessids.MemoryInternallyAllocated);
            if (slot == nullptr) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            std::memcpy(slot->Address, v, 6);
        } else if (type == WDI_TLV_HOTSPOT_INDICATION_ELEMENT && !haveElement) {
            if (!CopyBytes(&info.HotspotIndicationElement, v, l)) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            haveElement = true;
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && !haveType) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (NT_SUCCESS(status)) {
        out->Presence |= WDI_CONNECT_PRESENT_HESSID_INFO;
    }
    return status;
}

}  // namespace

NTSTATUS WdiTlvParseTaskConnect(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_CONNECT_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveSettings = false;
    bool haveAuth = false;
    bool haveMulticast = false;
    bool haveUnicast = false;
    // The TLVs inside the connect-parameters container.
    auto each = [&](USHORT type, const UCHAR* value, USHORT valueLength) -> NTSTATUS {
        switch (type) {
        case WDI_TLV_CONNECTION_SETTINGS:
            if (!haveSettings) {
                if (valueLength < WDI_TLV_CONNECTION_SETTINGS_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                WDI_CONNECTION_SETTINGS& s = out->Settings;
                s.RoamRequest = value[0];
                s.HiddenNetwork = value[1];
                s.ExcludeUnencrypted = value[2];
                s.MfpEnabled = value[3];
                s.HostFipsMode = value[4];
                s.RoamingNeededReason = ReadU32(value + 5);
                s.RoamTrigger = ReadU32(value + 9);
                s.FinalSettings = value[13];
                haveSettings = true;
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
        case WDI_TLV_HESSID_INFO:
            if ((out->Presence & WDI_CONNECT_PRESENT_HESSID_INFO) != 0) {
                return STATUS_SUCCESS;
            }
            return ParseHessidInfo(out, value, valueLength);
        case WDI_TLV_AUTH_ALGO_LIST:
            if (haveAuth) {
                return STATUS_SUCCESS;
            }
            haveAuth = true;
            return ReadU32List(&out->AuthAlgorithms, value, valueLength);
        case WDI_TLV_MULTICAST_CIPHER_ALGO_LIST:
            if (haveMulticast) {
                return STATUS_SUCCESS;
            }
            haveMulticast = true;
            return ReadU32List(&out->MulticastCiphers, value, valueLength);
        case WDI_TLV_UNICAST_CIPHER_ALGO_LIST:
            if (haveUnicast) {
                return STATUS_SUCCESS;
            }
            haveUnicast = true;
            return ReadU32List(&out->UnicastCiphers, value, valueLength);
        case WDI_TLV_EXTRA_ASSOCIATION_REQUEST_IES: {
            ULONG presence = out->Presence;
            NTSTATUS s = TakeBytesOnce(&presence, WDI_CONNECT_PRESENT_EXTRA_IES, &out->ExtraAssociationRequestIes,
                                       value, valueLength);
            out->Presence = presence;
            return s;
        }
        case WDI_TLV_OWE_DH_IE: {
            ULONG presence = out->Presence;
            NTSTATUS s = TakeBytesOnce(&presence, WDI_CONNECT_PRESENT_OWE_DH, &out->OweDhIe, value, valueLength);
            out->Presence = presence;
            return s;
        }
        case WDI_TLV_PHY_TYPE_LIST:
            if ((out->Presence & WDI_CONNECT_PRESENT_PHY_TYPES) != 0) {
                return STATUS_SUCCESS;
            }
            out->Presence |= WDI_CONNECT_PRESENT_PHY_TYPES;
            return ReadU32List(&out->PhyTypes, value, valueLength);
        case WDI_TLV_UNAVAILABLE_BANDS:
            if ((out->Presence & WDI_CONNECT_PRESENT_UNAVAILABLE_BANDS) != 0) {
                return STATUS_SUCCESS;
            }
            out->Presence |= WDI_CONNECT_PRESENT_UNAVAILABLE_BANDS;
            return ReadU32List(&out->UnavailableBands, value, valueLength);
        case WDI_TLV_DISALLOWED_BSSIDS_LIST:
            if ((out->Presence & WDI_CONNECT_PRESENT_DISALLOWED) != 0) {
                return STATUS_SUCCESS;
            }
            out->Presence |= WDI_CONNECT_PRESENT_DISALLOWED;
            return ReadAddressList(&out->DisallowedBssids, value, valueLength);
        case WDI_TLV_ALLOWED_BSSIDS_LIST:
            if ((out->Presence & WDI_CONNECT_PRESENT_ALLOWED) != 0) {
                return STATUS_SUCCESS;
            }
            out->Presence |= WDI_CONNECT_PRESENT_ALLOWED;
            return ReadAddressList(&out->AllowedBssids, value, valueLength);
        default:
            return STATUS_SUCCESS;
        }
    };
    bool haveParameters = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        if (type == WDI_TLV_CONNECT_PARAMETERS && !haveParameters) {
            haveParameters = true;
            return Walk(value, valueLength, each);
        }
        if (type == WDI_TLV_CONNECT_BSS_ENTRY) {
            return ParseConnectBssEntry(&out->BssEntries, value, valueLength);
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) &&
        (!haveParameters || !haveSettings || out->SsidList.ElementCount == 0 || !haveAuth || !haveMulticast || !haveUnicast)) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupTaskConnect(out);
    }
    return status;
}

VOID WdiTlvCleanupTaskConnect(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_CONNECT_PARAMETERS>(parameters);
    FreeSsidList(&p->SsidList);
    FreeAddressList(&p->HessidInfo.Hessids);
    FreeBytes(&p->HessidInfo.HotspotIndicationElement);
    FreeU32List(&p->AuthAlgorithms);
    FreeU32List(&p->MulticastCiphers);
    FreeU32List(&p->UnicastCiphers);
    FreeBytes(&p->ExtraAssociationRequestIes);
    FreeU32List(&p->PhyTypes);
    FreeAddressList(&p->DisallowedBssids);
    FreeAddressList(&p->AllowedBssids);
    FreeBytes(&p->OweDhIe);
    FreeU32List(&p->UnavailableBands);
    for (ULONG i = 0; i < p->BssEntries.ElementCount && p->BssEntries.pElements != nullptr; ++i) {
        FreeConnectBssEntry(p->BssEntries.pElements[i]);
    }
    if (p->BssEntries.MemoryInternallyAllocated) {
        Free(p->BssEntries.pElements);
    }
    p->BssEntries = {};
    p->Presence = 0;
}

namespace {

void WriteFtParameters(Writer& w, USHORT type, const WDI_FT_PARAMETERS& f)
{
    const ULONG at = w.Begin(type);
    if ((f.Presence & WDI_FT_PRESENT_MDE) != 0) {
        w.Tlv(WDI_TLV_FT_MDE, f.Mde.pElements, f.Mde.ElementCount);
    }
    if ((f.Presence & WDI_FT_PRESENT_FTE) != 0) {
        w.Tlv(WDI_TLV_FT_FTE, f.Fte.pElements, f.Fte.ElementCount);
    }
    if ((f.Presence & WDI_FT_PRESENT_PMKR0_NAME) != 0) {
        w.Tlv(WDI_TLV_FT_PMKR0NAME, f.PmkR0Name, sizeof(f.PmkR0Name));
    }
    w.End(at);
}

// One WDI_TLV_CONNECT_BSS_ENTRY container.
void WriteConnectBssEntry(Writer& w, const WDI_CONNECT_BSS_ENTRY& e)
{
    const ULONG container = w.Begin(WDI_TLV_CONNECT_BSS_ENTRY);
    w.Tlv(WDI_TLV_BSSID, e.Bssid, 6);
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_PROBE_RESPONSE) != 0) {
        w.Tlv(WDI_TLV_PROBE_RESPONSE_FRAME, e.ProbeResponseFrame.pElements, e.ProbeResponseFrame.ElementCount);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_BEACON) != 0) {
        w.Tlv(WDI_TLV_BEACON_FRAME, e.BeaconFrame.pElements, e.BeaconFrame.ElementCount);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_SIGNAL) != 0) {
        const ULONG at = w.Begin(WDI_TLV_SIGNAL_INFO);
        w.U32(static_cast<ULONG>(e.Rssi));
        w.U32(e.LinkQuality);
        w.End(at);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_CHANNEL) != 0) {
        const ULONG at = w.Begin(WDI_TLV_CHANNEL_INFO);
        w.U32(e.ChannelNumber);
        w.U32(e.BandId);
        w.End(at);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_DEVICE_CONTEXT) != 0) {
        w.Tlv(WDI_TLV_DEVICE_CONTEXT, e.DeviceContext.pElements, e.DeviceContext.ElementCount);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_PMKID) != 0) {
        w.Tlv(WDI_TLV_PMKID, e.Pmkid, WDI_PMKID_SIZE);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_EXTRA_IES) != 0) {
        w.Tlv(WDI_TLV_BSS_ENTRY_EXTRA_IES, e.ExtraIes.pElements, e.ExtraIes.ElementCount);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_FT_INITIAL) != 0) {
        WriteFtParameters(w, WDI_TLV_FT_INITIAL_ASSOC_PARAMETERS, e.FtInitial);
    }
    if ((e.Presence & WDI_CONNECT_BSS_PRESENT_FT_REASSOC) != 0) {
        WriteFtParameters(w, WDI_TLV_FT_REASSOC_PARAMETERS, e.FtReassoc);
    }
    w.End(container);
}

}  // namespace

NTSTATUS WdiTlvGenerateTaskConnect(const WDI_CONNECT_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                   const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const WDI_CONNECT_PARAMETERS& p = *parameters;
    auto u32List = [](Writer& w, USHORT type, const WDI_U32_LIST& list) {
        const ULONG at = w.Begin(type);
        for (ULONG i = 0; i < list.ElementCount && list.pElements != nullptr; ++i) {
            w.U32(list.pElements[i]);
        }
        w.End(at);
    };
    auto addressList = [](Writer& w, USHORT type, const WDI_MAC_ADDRESS_LIST& list) {
        w.Tlv(type, list.pElements, list.pElements != nullptr ? 6u * list.ElementCount : 0u);
    };
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        const ULONG parameters = w.Begin(WDI_TLV_CONNECT_PARAMETERS);
        ULONG at = w.Begin(WDI_TLV_CONNECTION_SETTINGS);
        const WDI_CONNECTION_SETTINGS& s = p.Settings;
        w.U8(s.RoamRequest);
        w.U8(s.HiddenNetwork);
        w.U8(s.ExcludeUnencrypted);
        w.U8(s.MfpEnabled);
        w.U8(s.HostFipsMode);
        w.U32(s.RoamingNeededReason);
        w.U32(s.RoamTrigger);
        w.U8(s.FinalSettings);
        w.End(at);
        for (ULONG i = 0; i < p.SsidList.ElementCount && p.SsidList.pElements != nullptr; ++i) {
            w.Tlv(WDI_TLV_SSID, p.SsidList.pElements[i].pElements, p.SsidList.pElements[i].ElementCount);
        }
        if ((p.Presence & WDI_CONNECT_PRESENT_HESSID_INFO) != 0) {
            const ULONG container = w.Begin(WDI_TLV_HESSID_INFO);
            w.Tlv(WDI_TLV_ACCESS_NETWORK_TYPE, &p.HessidInfo.AccessNetworkType, 1);
            for (ULONG i = 0; i < p.HessidInfo.Hessids.ElementCount && p.HessidInfo.Hessids.pElements != nullptr; ++i) {
                w.Tlv(WDI_TLV_HESSID, p.HessidInfo.Hessids.pElements[i].Address, 6);
            }
            if (p.HessidInfo.HotspotIndicationElement.ElementCount != 0) {
                w.Tlv(WDI_TLV_HOTSPOT_INDICATION_ELEMENT, p.HessidInfo.HotspotIndicationElement.pElements,
                      p.HessidInfo.HotspotIndicationElement.ElementCount);
            }
            w.End(container);
        }
        u32List(w, WDI_TLV_AUTH_ALGO_LIST, p.AuthAlgorithms);
        u32List(w, WDI_TLV_MULTICAST_CIPHER_ALGO_LIST, p.MulticastCiphers);
        u32List(w, WDI_TLV_UNICAST_CIPHER_ALGO_LIST, p.UnicastCiphers);
        if ((p.Presence & WDI_CONNECT_PRESENT_EXTRA_IES) != 0) {
            w.Tlv(WDI_TLV_EXTRA_ASSOCIATION_REQUEST_IES, p.ExtraAssociationRequestIes.pElements,
                  p.ExtraAssociationRequestIes.ElementCount);
        }
        if ((p.Presence & WDI_CONNECT_PRESENT_PHY_TYPES) != 0) {
            u32List(w, WDI_TLV_PHY_TYPE_LIST, p.PhyTypes);
        }
        if ((p.Presence & WDI_CONNECT_PRESENT_DISALLOWED) != 0) {
            addressList(w, WDI_TLV_DISALLOWED_BSSIDS_LIST, p.DisallowedBssids);
        }
        if ((p.Presence & WDI_CONNECT_PRESENT_ALLOWED) != 0) {
            addressList(w, WDI_TLV_ALLOWED_BSSIDS_LIST, p.AllowedBssids);
        }
        if ((p.Presence & WDI_CONNECT_PRESENT_OWE_DH) != 0) {
            w.Tlv(WDI_TLV_OWE_DH_IE, p.OweDhIe.pElements, p.OweDhIe.ElementCount);
        }
        if ((p.Presence & WDI_CONNECT_PRESENT_UNAVAILABLE_BANDS) != 0) {
            u32List(w, WDI_TLV_UNAVAILABLE_BANDS, p.UnavailableBands);
        }
        w.End(parameters);
        for (ULONG i = 0; i < p.BssEntries.ElementCount && p.BssEntries.pElements != nullptr; ++i) {
            WriteConnectBssEntry(w, p.BssEntries.pElements[i]);
        }
    });
}

// ================================================================================================
// the disconnect, dot11 reset, set-radio-state and change-operation-mode tasks
// ================================================================================================
namespace {

// Parses a message whose one mandatory TLV `type` of at least `minimum` bytes `take` reads.
template <typename Take>
NTSTATUS ParseSingle(ULONG length, const UCHAR* tlvs, PVOID parameters, SIZE_T size, USHORT type, USHORT minimum,
                     Take&& take)
{
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    std::memset(parameters, 0, size);
    bool found = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT t, const UCHAR* value, USHORT valueLength) {
        if (t != type || found) {
            return take(t, value, valueLength);
        }
        if (valueLength < minimum) {
            return NDIS_STATUS_INVALID_DATA;
        }
        found = true;
        return take(t, value, valueLength);
    });
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return found ? STATUS_SUCCESS : NDIS_STATUS_INVALID_DATA;
}

}  // namespace

NTSTATUS WdiTlvParseTaskDisconnect(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_DISCONNECT_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_DISCONNECT_PARAMETERS), WDI_TLV_DISCONNECT_PARAMETERS,
                       WDI_TLV_DISCONNECT_PARAMETERS_SIZE, [&](USHORT t, const UCHAR* v, USHORT) {
                           if (t == WDI_TLV_DISCONNECT_PARAMETERS && !taken) {
                               std::memcpy(out->MacAddress, v, 6);
                               out->Reason = ReadU16(v + 6);
                               taken = true;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvParseTaskDot11Reset(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_DOT11_RESET_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_DOT11_RESET_PARAMETERS), WDI_TLV_DOT11_RESET_PARAMETERS, 1,
                       [&](USHORT t, const UCHAR* v, USHORT l) {
                           if (t == WDI_TLV_DOT11_RESET_PARAMETERS && !taken) {
                               out->SetDefaultMib = v[0];
                               taken = true;
                           } else if (t == WDI_TLV_CONFIGURED_MAC_ADDRESS &&
                                      (out->Presence & WDI_RESET_PRESENT_CONFIGURED_MAC) == 0) {
                               if (l < 6) {
                                   return NDIS_STATUS_INVALID_DATA;
                               }
                               std::memcpy(out->ConfiguredMacAddress, v, 6);
                               out->Presence |= WDI_RESET_PRESENT_CONFIGURED_MAC;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvParseTaskSetRadioState(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_SET_RADIO_STATE_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_SET_RADIO_STATE_PARAMETERS), WDI_TLV_RADIO_STATE_PARAMETERS,
                       1, [&](USHORT t, const UCHAR* v, USHORT) {
                           if (t == WDI_TLV_RADIO_STATE_PARAMETERS && !taken) {
                               out->RadioOn = v[0];
                               taken = true;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvParseTaskChangeOperationMode(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_OPERATION_MODE_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_OPERATION_MODE_PARAMETERS), WDI_TLV_CURRENT_OPERATION_MODE,
                       4, [&](USHORT t, const UCHAR* v, USHORT) {
                           if (t == WDI_TLV_CURRENT_OPERATION_MODE && !taken) {
                               out->OperationMode = ReadU32(v);
                               taken = true;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvGenerateTaskDisconnect(const WDI_DISCONNECT_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                      const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        const ULONG at = w.Begin(WDI_TLV_DISCONNECT_PARAMETERS);
        w.Bytes(parameters->MacAddress, 6);
        const UCHAR reason[2] = {static_cast<UCHAR>(parameters->Reason), static_cast<UCHAR>(parameters->Reason >> 8)};
        w.Bytes(reason, 2);
        w.End(at);
    });
}

NTSTATUS WdiTlvGenerateTaskDot11Reset(const WDI_DOT11_RESET_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                      const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        w.Tlv(WDI_TLV_DOT11_RESET_PARAMETERS, &parameters->SetDefaultMib, 1);
        if ((parameters->Presence & WDI_RESET_PRESENT_CONFIGURED_MAC) != 0) {
            w.Tlv(WDI_TLV_CONFIGURED_MAC_ADDRESS, parameters->ConfiguredMacAddress, 6);
        }
    });
}

// ================================================================================================
// station properties
// ================================================================================================
NTSTATUS WdiTlvParseAdapterConfiguration(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_ADAPTER_CONFIGURATION_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    return Walk(tlvs, length, [&](USHORT type, const UCHAR* v, USHORT l) {
        auto once = [&](ULONG bit, USHORT minimum) {
            if ((out->Presence & bit) != 0) {
                return 0;  // a repeated TLV: the first wins
            }
            if (l < minimum) {
                return -1;
            }
            out->Presence |= bit;
            return 1;
        };
        int take = 0;
        switch (type) {
        case WDI_TLV_CONFIGURED_MAC_ADDRESS:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_MAC, 6);
            if (take > 0) {
                std::memcpy(out->ConfiguredMacAddress, v, 6);
            }
            break;
        case WDI_TLV_UNREACHABLE_DETECTION_THRESHOLD:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_UNREACHABLE, 4);
            if (take > 0) {
                out->UnreachableDetectionThreshold = ReadU32(v);
            }
            break;
        case WDI_TLV_P2P_GO_INTERNAL_RESET_POLICY:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_GO_RESET_POLICY, 4);
            if (take > 0) {
                out->GoInternalResetPolicy = ReadU32(v);
            }
            break;
        case WDI_TLV_BAND_ID_LIST:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_BAND_IDS, 0);
            if (take > 0) {
                if (l % 4 != 0) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->BandIdCount = l / 4u < 8u ? l / 4u : 8u;
                for (ULONG i = 0; i < out->BandIdCount; ++i) {
                    out->BandIds[i] = ReadU32(v + 4 * i);
                }
            }
            break;
        case WDI_TLV_LINK_QUALITY_BAR_MAP:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_LINK_QUALITY_MAP, 0);
            if (take > 0) {
                out->LinkQualityMapLength = l < sizeof(out->LinkQualityMap) ? l : sizeof(out->LinkQualityMap);
                std::memcpy(out->LinkQualityMap, v, out->LinkQualityMapLength);
            }
            break;
        case WDI_TLV_ADAPTER_NLO_SCAN_MODE:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_NLO_SCAN_MODE, 4);
            if (take > 0) {
                out->NloScanMode = ReadU32(v);
            }
            break;
        case WDI_TLV_PLDR_SUPPORT:
            take = once(WDI_ADAPTER_CONFIG_PRESENT_PLDR, 1);
            if (take > 0) {
                out->PldrSupport = v[0];
            }
            break;
        default:
            break;
        }
        return take < 0 ? NDIS_STATUS_INVALID_DATA : STATUS_SUCCESS;
    });
}

NTSTATUS WdiTlvParseLocationPrivacy(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_LOCATION_PRIVACY_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_LOCATION_PRIVACY_PARAMETERS), WDI_TLV_LOCATION_PRIVACY, 1,
                       [&](USHORT t, const UCHAR* v, USHORT) {
                           if (t == WDI_TLV_LOCATION_PRIVACY && !taken) {
                               out->Value = v[0];
                               taken = true;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvParsePrivacyExemptionList(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_PRIVACY_EXEMPTION_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        if (type != WDI_TLV_PRIVACY_EXEMPTION_LIST || (out->Presence & WDI_PRIVACY_EXEMPTION_PRESENT_LIST) != 0) {
            return STATUS_SUCCESS;
        }
        out->Presence |= WDI_PRIVACY_EXEMPTION_PRESENT_LIST;
        return Walk(value, valueLength, [&](USHORT t, const UCHAR* v, USHORT l) {
            if (t != WDI_TLV_PRIVACY_EXEMPTION_ENTRY) {
                return STATUS_SUCCESS;
            }
            if (l < WDI_TLV_PRIVACY_EXEMPTION_ENTRY_SIZE) {
                return NDIS_STATUS_INVALID_DATA;
            }
            PWDI_PRIVACY_EXEMPTION_ENTRY slot =
                Append(&out->ElementCount, &out->pElements, &out->MemoryInternallyAllocated);
            if (slot == nullptr) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            slot->EtherType = ReadU16(v);
            slot->ActionType = ReadU32(v + 2);
            slot->PacketType = ReadU32(v + 6);
            return STATUS_SUCCESS;
        });
    });
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupPrivacyExemptionList(out);
    }
    return status;
}

VOID WdiTlvCleanupPrivacyExemptionList(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_PRIVACY_EXEMPTION_PARAMETERS>(parameters);
    if (p->MemoryInternallyAllocated) {
        Free(p->pElements);
    }
    p->ElementCount = 0;
    p->pElements = nullptr;
    p->MemoryInternallyAllocated = 0;
    p->Presence = 0;
}

NTSTATUS WdiTlvGenerateNextDialogToken(UCHAR token, ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                       PUCHAR* outBuffer)
{
    (void)context;
    return Generate(reservedHeaderLength, outLength, outBuffer,
                    [&](Writer& w) { w.Tlv(WDI_TLV_NEXT_DIALOG_TOKEN, &token, 1); });
}

// ================================================================================================
// the cipher key properties
// ================================================================================================
namespace {

void FreeCipherKeyInfo(WDI_SET_CIPHER_KEY_INFO& k)
{
    FreeBytes(&k.CcmpKey);
    FreeBytes(&k.GcmpKey);
    FreeBytes(&k.TkipInfo.TkipKey);
    FreeBytes(&k.TkipInfo.TkipMic);
    FreeBytes(&k.BipKey);
    FreeBytes(&k.WepKey);
    FreeBytes(&k.IhvKey);
    FreeBytes(&k.Gcmp256Key);
    FreeBytes(&k.BipGmac256Key);
    k.Presence = 0;
}

// The TKIP container: key and MIC, each optional.
NTSTATUS ParseTkipInfo(WDI_CIPHER_KEY_TKIP_INFO* tkip, const UCHAR* value, USHORT valueLength)
{
    ULONG seen = 0;
    return Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        if (type == WDI_TLV_CIPHER_KEY_TKIP_KEY) {
            return TakeBytesOnce(&seen, 1, &tkip->TkipKey, v, l);
        }
        if (type == WDI_TLV_CIPHER_KEY_TKIP_MIC) {
            return TakeBytesOnce(&seen, 2, &tkip->TkipMic, v, l);
        }
        return STATUS_SUCCESS;
    });
}

NTSTATUS ParseCipherKeyInfo(WDI_SET_ADD_CIPHER_KEYS_PARAMETERS* out, const UCHAR* value, USHORT valueLength)
{
    WDI_SET_CIPHER_KEY_INFO key{};
    bool haveType = false;
    NTSTATUS status = Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        auto fixed = [&](ULONG bit, USHORT size, auto&& take) {
            if ((key.Presence & bit) != 0) {
                return STATUS_SUCCESS;
            }
            if (l < size) {
                return NDIS_STATUS_INVALID_DATA;
            }
            take();
            key.Presence |= bit;
            return STATUS_SUCCESS;
        };
        switch (type) {
        case WDI_TLV_PEER_MAC_ADDRESS:
            return fixed(WDI_CIPHER_KEY_PRESENT_PEER, 6, [&] { std::memcpy(key.PeerMacAddress, v, 6); });
        case WDI_TLV_CIPHER_KEY_ID:
            return fixed(WDI_CIPHER_KEY_PRESENT_KEY_ID, 4, [&] { key.CipherKeyId = ReadU32(v); });
        case WDI_TLV_CIPHER_KEY_RECEIVE_SEQUENCE_COUNT:
            return fixed(WDI_CIPHER_KEY_PRESENT_RSC, 6, [&] { std::memcpy(key.ReceiveSequenceCount, v, 6); });
        case WDI_TLV_LINK_ID:
            return fixed(WDI_CIPHER_KEY_PRESENT_LINK_ID, 4, [&] { key.LinkId = ReadU32(v); });
        case WDI_TLV_CIPHER_KEY_TYPE_INFO:
            if (!haveType) {
                if (l < WDI_TLV_CIPHER_KEY_TYPE_INFO_SIZE) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                key.CipherKeyTypeInfo.CipherAlgorithm = ReadU32(v);
                key.CipherKeyTypeInfo.Direction = ReadU32(v + 4);
                key.CipherKeyTypeInfo.Static = v[8];
                key.CipherKeyTypeInfo.KeyType = ReadU32(v + 9);
                haveType = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_CIPHER_KEY_CCMP_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_CCMP, &key.CcmpKey, v, l);
        case WDI_TLV_CIPHER_KEY_GCMP_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_GCMP, &key.GcmpKey, v, l);
        case WDI_TLV_CIPHER_KEY_BIP_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_BIP, &key.BipKey, v, l);
        case WDI_TLV_CIPHER_KEY_WEP_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_WEP, &key.WepKey, v, l);
        case WDI_TLV_CIPHER_KEY_IHV_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_IHV, &key.IhvKey, v, l);
        case WDI_TLV_CIPHER_KEY_GCMP_256_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_GCMP_256, &key.Gcmp256Key, v, l);
        case WDI_TLV_CIPHER_KEY_BIP_GMAC_256_KEY:
            return TakeBytesOnce(&key.Presence, WDI_CIPHER_KEY_PRESENT_BIP_GMAC_256, &key.BipGmac256Key, v, l);
        case WDI_TLV_CIPHER_KEY_TKIP_INFO:
            if ((key.Presence & WDI_CIPHER_KEY_PRESENT_TKIP) == 0) {
                key.Presence |= WDI_CIPHER_KEY_PRESENT_TKIP;
                return ParseTkipInfo(&key.TkipInfo, v, l);
            }
            return STATUS_SUCCESS;
        default:
            return STATUS_SUCCESS;
        }
    });
    if (NT_SUCCESS(status) && !haveType) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    PWDI_SET_CIPHER_KEY_INFO slot = nullptr;
    if (NT_SUCCESS(status)) {
        slot = Append(&out->ElementCount, &out->pElements, &out->MemoryInternallyAllocated);
        if (slot == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    if (!NT_SUCCESS(status)) {
        FreeCipherKeyInfo(key);
        return status;
    }
    *slot = key;
    return STATUS_SUCCESS;
}

void WriteBytesIf(Writer& w, ULONG presence, ULONG bit, USHORT type, const WDI_BYTE_ARRAY& a)
{
    if ((presence & bit) != 0) {
        w.Tlv(type, a.pElements, a.pElements != nullptr ? a.ElementCount : 0);
    }
}

}  // namespace

NTSTATUS WdiTlvParseSetAddCipherKeys(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_SET_ADD_CIPHER_KEYS_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        return type == WDI_TLV_SET_CIPHER_KEY_INFO ? ParseCipherKeyInfo(out, value, valueLength) : STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && out->ElementCount == 0) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupSetAddCipherKeys(out);
    }
    return status;
}

VOID WdiTlvCleanupSetAddCipherKeys(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_SET_ADD_CIPHER_KEYS_PARAMETERS>(parameters);
    for (ULONG i = 0; i < p->ElementCount && p->pElements != nullptr; ++i) {
        FreeCipherKeyInfo(p->pElements[i]);
    }
    if (p->MemoryInternallyAllocated) {
        Free(p->pElements);
    }
    *p = {};
}

NTSTATUS WdiTlvGenerateSetAddCipherKeys(const WDI_SET_ADD_CIPHER_KEYS_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                        const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        for (ULONG i = 0; i < parameters->ElementCount && parameters->pElements != nullptr; ++i) {
            const WDI_SET_CIPHER_KEY_INFO& k = parameters->pElements[i];
            const ULONG container = w.Begin(WDI_TLV_SET_CIPHER_KEY_INFO);
            if ((k.Presence & WDI_CIPHER_KEY_PRESENT_PEER) != 0) {
                w.Tlv(WDI_TLV_PEER_MAC_ADDRESS, k.PeerMacAddress, 6);
            }
            if ((k.Presence & WDI_CIPHER_KEY_PRESENT_KEY_ID) != 0) {
                const ULONG at = w.Begin(WDI_TLV_CIPHER_KEY_ID);
                w.U32(k.CipherKeyId);
                w.End(at);
            }
            ULONG at = w.Begin(WDI_TLV_CIPHER_KEY_TYPE_INFO);
            w.U32(k.CipherKeyTypeInfo.CipherAlgorithm);
            w.U32(k.CipherKeyTypeInfo.Direction);
            w.U8(k.CipherKeyTypeInfo.Static);
            w.U32(k.CipherKeyTypeInfo.KeyType);
            w.End(at);
            if ((k.Presence & WDI_CIPHER_KEY_PRESENT_RSC) != 0) {
                w.Tlv(WDI_TLV_CIPHER_KEY_RECEIVE_SEQUENCE_COUNT, k.ReceiveSequenceCount, 6);
            }
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_CCMP, WDI_TLV_CIPHER_KEY_CCMP_KEY, k.CcmpKey);
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_GCMP, WDI_TLV_CIPHER_KEY_GCMP_KEY, k.GcmpKey);
            if ((k.Presence & WDI_CIPHER_KEY_PRESENT_TKIP) != 0) {
                at = w.Begin(WDI_TLV_CIPHER_KEY_TKIP_INFO);
                WriteBytesIf(w, k.TkipInfo.TkipKey.pElements != nullptr ? 1 : 0, 1, WDI_TLV_CIPHER_KEY_TKIP_KEY,
                             k.TkipInfo.TkipKey);
                WriteBytesIf(w, k.TkipInfo.TkipMic.pElements != nullptr ? 1 : 0, 1, WDI_TLV_CIPHER_KEY_TKIP_MIC,
                             k.TkipInfo.TkipMic);
                w.End(at);
            }
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_BIP, WDI_TLV_CIPHER_KEY_BIP_KEY, k.BipKey);
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_WEP, WDI_TLV_CIPHER_KEY_WEP_KEY, k.WepKey);
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_IHV, WDI_TLV_CIPHER_KEY_IHV_KEY, k.IhvKey);
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_GCMP_256, WDI_TLV_CIPHER_KEY_GCMP_256_KEY, k.Gcmp256Key);
            WriteBytesIf(w, k.Presence, WDI_CIPHER_KEY_PRESENT_BIP_GMAC_256, WDI_TLV_CIPHER_KEY_BIP_GMAC_256_KEY,
                         k.BipGmac256Key);
            if ((k.Presence & WDI_CIPHER_KEY_PRESENT_LINK_ID) != 0) {
                at = w.Begin(WDI_TLV_LINK_ID);
                w.U32(k.LinkId);
                w.End(at);
            }
            w.End(container);
        }
    });
}

NTSTATUS WdiTlvParseSetDefaultKeyId(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_DEFAULT_KEY_ID_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_DEFAULT_KEY_ID_PARAMETERS),
                       WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS, 4, [&](USHORT t, const UCHAR* v, USHORT) {
                           if (t == WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS && !taken) {
                               out->KeyId = ReadU32(v);
                               taken = true;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvGenerateSetDefaultKeyId(const WDI_DEFAULT_KEY_ID_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                       const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        const ULONG at = w.Begin(WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS);
        w.U32(parameters->KeyId);
        w.End(at);
    });
}

// ================================================================================================
// association, connection-quality, fast-transition, neighbour-report and SAE properties
// ================================================================================================
NTSTATUS WdiTlvParseSetAssociationParameters(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_ASSOCIATION_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        return type == WDI_TLV_CONNECT_BSS_ENTRY ? ParseConnectBssEntry(&out->BssEntries, value, valueLength)
                                                 : STATUS_SUCCESS;
    });
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupSetAssociationParameters(out);
    }
    return status;
}

VOID WdiTlvCleanupSetAssociationParameters(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_ASSOCIATION_PARAMETERS>(parameters);
    for (ULONG i = 0; i < p->BssEntries.ElementCount && p->BssEntries.pElements != nullptr; ++i) {
        FreeConnectBssEntry(p->BssEntries.pElements[i]);
    }
    if (p->BssEntries.MemoryInternallyAllocated) {
        Free(p->BssEntries.pElements);
    }
    p->BssEntries = {};
}

NTSTATUS WdiTlvGenerateSetAssociationParameters(const WDI_ASSOCIATION_PARAMETERS* parameters,
                                                ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                                PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        for (ULONG i = 0; i < parameters->BssEntries.ElementCount && parameters->BssEntries.pElements != nullptr; ++i) {
            WriteConnectBssEntry(w, parameters->BssEntries.pElements[i]);
        }
    });
}

NTSTATUS WdiTlvParseSetConnectionQuality(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    auto* out = static_cast<PWDI_CONNECTION_QUALITY_PARAMETERS>(parameters);
    bool taken = false;
    return ParseSingle(length, tlvs, parameters, sizeof(WDI_CONNECTION_QUALITY_PARAMETERS),
                       WDI_TLV_CONNECTION_QUALITY_PARAMETERS, 4, [&](USHORT t, const UCHAR* v, USHORT l) {
                           if (t == WDI_TLV_CONNECTION_QUALITY_PARAMETERS && !taken) {
                               out->ConnectionQuality = ReadU32(v);
                               taken = true;
                           } else if (t == WDI_TLV_LOW_LATENCY_CONNECTION_QUALITY_PARAMETERS &&
                                      (out->Presence & WDI_CONNECTION_QUALITY_PRESENT_LOW_LATENCY) == 0) {
                               out->LowLatencyLength = l;
                               out->Presence |= WDI_CONNECTION_QUALITY_PRESENT_LOW_LATENCY;
                           }
                           return STATUS_SUCCESS;
                       });
}

NTSTATUS WdiTlvGenerateSetConnectionQuality(const WDI_CONNECTION_QUALITY_PARAMETERS* parameters,
                                            ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                            PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        const ULONG at = w.Begin(WDI_TLV_CONNECTION_QUALITY_PARAMETERS);
        w.U32(parameters->ConnectionQuality);
        w.End(at);
        if ((parameters->Presence & WDI_CONNECTION_QUALITY_PRESENT_LOW_LATENCY) != 0) {
            const ULONG low = w.Begin(WDI_TLV_LOW_LATENCY_CONNECTION_QUALITY_PARAMETERS);
            for (ULONG i = 0; i < parameters->LowLatencyLength; ++i) {
                w.U8(0);
            }
            w.End(low);
        }
    });
}

NTSTATUS WdiTlvParseSetFastBssTransitionParameters(ULONG length, const UCHAR* tlvs, const void* context,
                                                   PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_FAST_BSS_TRANSITION_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveStatus = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* v, USHORT l) {
        switch (type) {
        case WDI_TLV_STATUS:
            if (!haveStatus) {
                if (l < 4) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->Status = ReadU32(v);
                haveStatus = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_FT_RSNIE:
            return TakeBytesOnce(&out->Presence, WDI_FT_PARAMS_PRESENT_RSNIE, &out->RsnIe, v, l);
        case WDI_TLV_FT_MDE:
            return TakeBytesOnce(&out->Presence, WDI_FT_PARAMS_PRESENT_MDE, &out->Mde, v, l);
        case WDI_TLV_FT_FTE:
            return TakeBytesOnce(&out->Presence, WDI_FT_PARAMS_PRESENT_FTE, &out->Fte, v, l);
        default:
            return STATUS_SUCCESS;
        }
    });
    if (NT_SUCCESS(status) && !haveStatus) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupSetFastBssTransitionParameters(out);
    }
    return status;
}

VOID WdiTlvCleanupSetFastBssTransitionParameters(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_FAST_BSS_TRANSITION_PARAMETERS>(parameters);
    FreeBytes(&p->RsnIe);
    FreeBytes(&p->Mde);
    FreeBytes(&p->Fte);
    p->Presence = 0;
}

NTSTATUS WdiTlvGenerateSetFastBssTransitionParameters(const WDI_FAST_BSS_TRANSITION_PARAMETERS* parameters,
                                                      ULONG reservedHeaderLength, const void* context,
                                                      PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const WDI_FAST_BSS_TRANSITION_PARAMETERS& p = *parameters;
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        const ULONG at = w.Begin(WDI_TLV_STATUS);
        w.U32(p.Status);
        w.End(at);
        WriteBytesIf(w, p.Presence, WDI_FT_PARAMS_PRESENT_RSNIE, WDI_TLV_FT_RSNIE, p.RsnIe);
        WriteBytesIf(w, p.Presence, WDI_FT_PARAMS_PRESENT_MDE, WDI_TLV_FT_MDE, p.Mde);
        WriteBytesIf(w, p.Presence, WDI_FT_PARAMS_PRESENT_FTE, WDI_TLV_FT_FTE, p.Fte);
    });
}

NTSTATUS WdiTlvParseSetNeighborReportEntries(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_NEIGHBOR_REPORT_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* value, USHORT valueLength) {
        if (type != WDI_TLV_NEIGHBOR_REPORT_ENTRY) {
            return STATUS_SUCCESS;
        }
        WDI_NEIGHBOR_REPORT_ENTRY entry{};
        ULONG seen = 0;
        NTSTATUS s = Walk(value, valueLength, [&](USHORT t, const UCHAR* v, USHORT l) {
            auto once = [&](ULONG bit, USHORT size) {
                if ((seen & bit) != 0) {
                    return 0;
                }
                if (l < size) {
                    return -1;
                }
                seen |= bit;
                return 1;
            };
            int take = 0;
            if (t == WDI_TLV_BSSID && (take = once(1, 6)) > 0) {
                std::memcpy(entry.Bssid, v, 6);
            } else if (t == WDI_TLV_BSSID_INFO && (take = once(2, 4)) > 0) {
                entry.BssidInfo = ReadU32(v);
            } else if (t == WDI_TLV_OPERATING_CLASS && (take = once(4, 1)) > 0) {
                entry.OperatingClass = v[0];
            } else if (t == WDI_TLV_CHANNEL_NUMBER && (take = once(8, 1)) > 0) {
                entry.ChannelNumber = v[0];
            } else if (t == WDI_TLV_PHY_TYPE && (take = once(16, 1)) > 0) {
                entry.PhyType = v[0];
            }
            return take < 0 ? NDIS_STATUS_INVALID_DATA : STATUS_SUCCESS;
        });
        if (!NT_SUCCESS(s)) {
            return s;
        }
        if ((seen & 1) == 0) {
            return NDIS_STATUS_INVALID_DATA;
        }
        PWDI_NEIGHBOR_REPORT_ENTRY slot = Append(&out->ElementCount, &out->pElements, &out->MemoryInternallyAllocated);
        if (slot == nullptr) {
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        *slot = entry;
        return STATUS_SUCCESS;
    });
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupSetNeighborReportEntries(out);
    }
    return status;
}

VOID WdiTlvCleanupSetNeighborReportEntries(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_NEIGHBOR_REPORT_PARAMETERS>(parameters);
    if (p->MemoryInternallyAllocated) {
        Free(p->pElements);
    }
    *p = {};
}

NTSTATUS WdiTlvGenerateSetNeighborReportEntries(const WDI_NEIGHBOR_REPORT_PARAMETERS* parameters,
                                                ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                                PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        for (ULONG i = 0; i < parameters->ElementCount && parameters->pElements != nullptr; ++i) {
            const WDI_NEIGHBOR_REPORT_ENTRY& e = parameters->pElements[i];
            const ULONG container = w.Begin(WDI_TLV_NEIGHBOR_REPORT_ENTRY);
            w.Tlv(WDI_TLV_BSSID, e.Bssid, 6);
            const ULONG at = w.Begin(WDI_TLV_BSSID_INFO);
            w.U32(e.BssidInfo);
            w.End(at);
            w.Tlv(WDI_TLV_OPERATING_CLASS, &e.OperatingClass, 1);
            w.Tlv(WDI_TLV_CHANNEL_NUMBER, &e.ChannelNumber, 1);
            w.Tlv(WDI_TLV_PHY_TYPE, &e.PhyType, 1);
            w.End(container);
        }
    });
}

namespace {

NTSTATUS ParseSaeCommit(WDI_SAE_COMMIT_REQUEST* c, const UCHAR* value, USHORT valueLength)
{
    ULONG seen = 0;
    return Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        switch (type) {
        case WDI_TLV_SAE_FINITE_CYCLIC_GROUP:
            if ((seen & 1) == 0) {
                if (l < 2) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                c->FiniteCyclicGroup = ReadU16(v);
                seen |= 1;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SAE_SCALAR:
            return TakeBytesOnce(&seen, 2, &c->Scalar, v, l);
        case WDI_TLV_SAE_ELEMENT:
            return TakeBytesOnce(&seen, 4, &c->Element, v, l);
        case WDI_TLV_SAE_ANTI_CLOGGING_TOKEN:
            return TakeBytesOnce(&c->Presence, WDI_SAE_COMMIT_PRESENT_TOKEN, &c->AntiCloggingToken, v, l);
        case WDI_TLV_SAE_REJECTED_GROUPS:
            return TakeBytesOnce(&c->Presence, WDI_SAE_COMMIT_PRESENT_REJECTED_GROUPS, &c->RejectedGroups, v, l);
        default:
            return STATUS_SUCCESS;
        }
    });
}

NTSTATUS ParseSaeConfirm(WDI_SAE_CONFIRM_REQUEST* c, const UCHAR* value, USHORT valueLength)
{
    ULONG seen = 0;
    return Walk(value, valueLength, [&](USHORT type, const UCHAR* v, USHORT l) {
        if (type == WDI_TLV_SAE_SEND_CONFIRM && (seen & 1) == 0) {
            if (l < 2) {
                return NDIS_STATUS_INVALID_DATA;
            }
            c->SendConfirm = ReadU16(v);
            seen |= 1;
        } else if (type == WDI_TLV_SAE_CONFIRM) {
            return TakeBytesOnce(&seen, 2, &c->Confirm, v, l);
        }
        return STATUS_SUCCESS;
    });
}

}  // namespace

NTSTATUS WdiTlvParseSetSaeParams(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_SAE_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveBssid = false;
    bool haveType = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT type, const UCHAR* v, USHORT l) {
        switch (type) {
        case WDI_TLV_BSSID:
            if (!haveBssid) {
                if (l < 6) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                std::memcpy(out->Bssid, v, 6);
                haveBssid = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SAE_REQUEST_TYPE:
            if (!haveType) {
                if (l < 4) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->RequestType = ReadU32(v);
                haveType = true;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SAE_STATUS:
            if ((out->Presence & WDI_SAE_PRESENT_STATUS) == 0) {
                if (l < 4) {
                    return NDIS_STATUS_INVALID_DATA;
                }
                out->Status = ReadU32(v);
                out->Presence |= WDI_SAE_PRESENT_STATUS;
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SAE_COMMIT_REQUEST:
            if ((out->Presence & WDI_SAE_PRESENT_COMMIT) == 0) {
                out->Presence |= WDI_SAE_PRESENT_COMMIT;
                return ParseSaeCommit(&out->Commit, v, l);
            }
            return STATUS_SUCCESS;
        case WDI_TLV_SAE_CONFIRM_REQUEST:
            if ((out->Presence & WDI_SAE_PRESENT_CONFIRM) == 0) {
                out->Presence |= WDI_SAE_PRESENT_CONFIRM;
                return ParseSaeConfirm(&out->Confirm, v, l);
            }
            return STATUS_SUCCESS;
        default:
            return STATUS_SUCCESS;
        }
    });
    if (NT_SUCCESS(status) && (!haveBssid || !haveType)) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        WdiTlvCleanupSetSaeParams(out);
    }
    return status;
}

VOID WdiTlvCleanupSetSaeParams(PVOID parameters)
{
    if (parameters == nullptr) {
        return;
    }
    auto* p = static_cast<PWDI_SAE_PARAMETERS>(parameters);
    FreeBytes(&p->Commit.Scalar);
    FreeBytes(&p->Commit.Element);
    FreeBytes(&p->Commit.AntiCloggingToken);
    FreeBytes(&p->Commit.RejectedGroups);
    FreeBytes(&p->Confirm.Confirm);
    p->Commit.Presence = 0;
    p->Presence = 0;
}

NTSTATUS WdiTlvGenerateSetSaeParams(const WDI_SAE_PARAMETERS* parameters, ULONG reservedHeaderLength,
                                    const void* context, PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const WDI_SAE_PARAMETERS& p = *parameters;
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        w.Tlv(WDI_TLV_BSSID, p.Bssid, 6);
        ULONG at = w.Begin(WDI_TLV_SAE_REQUEST_TYPE);
        w.U32(p.RequestType);
        w.End(at);
        if ((p.Presence & WDI_SAE_PRESENT_COMMIT) != 0) {
            const ULONG container = w.Begin(WDI_TLV_SAE_COMMIT_REQUEST);
            const UCHAR group[2] = {static_cast<UCHAR>(p.Commit.FiniteCyclicGroup),
                                    static_cast<UCHAR>(p.Commit.FiniteCyclicGroup >> 8)};
            w.Tlv(WDI_TLV_SAE_FINITE_CYCLIC_GROUP, group, 2);
            WriteBytesIf(w, 1, 1, WDI_TLV_SAE_SCALAR, p.Commit.Scalar);
            WriteBytesIf(w, 1, 1, WDI_TLV_SAE_ELEMENT, p.Commit.Element);
            WriteBytesIf(w, p.Commit.Presence, WDI_SAE_COMMIT_PRESENT_TOKEN, WDI_TLV_SAE_ANTI_CLOGGING_TOKEN,
                         p.Commit.AntiCloggingToken);
            WriteBytesIf(w, p.Commit.Presence, WDI_SAE_COMMIT_PRESENT_REJECTED_GROUPS, WDI_TLV_SAE_REJECTED_GROUPS,
                         p.Commit.RejectedGroups);
            w.End(container);
        }
        if ((p.Presence & WDI_SAE_PRESENT_CONFIRM) != 0) {
            const ULONG container = w.Begin(WDI_TLV_SAE_CONFIRM_REQUEST);
            const UCHAR sc[2] = {static_cast<UCHAR>(p.Confirm.SendConfirm),
                                 static_cast<UCHAR>(p.Confirm.SendConfirm >> 8)};
            w.Tlv(WDI_TLV_SAE_SEND_CONFIRM, sc, 2);
            WriteBytesIf(w, 1, 1, WDI_TLV_SAE_CONFIRM, p.Confirm.Confirm);
            w.End(container);
        }
        if ((p.Presence & WDI_SAE_PRESENT_STATUS) != 0) {
            at = w.Begin(WDI_TLV_SAE_STATUS);
            w.U32(p.Status);
            w.End(at);
        }
    });
}

// ================================================================================================
// the send-request and send-response action-frame tasks
// ================================================================================================
namespace {

NTSTATUS ParseSendActionFrame(ULONG length, const UCHAR* tlvs, PVOID parameters, USHORT parametersType)
{
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* out = static_cast<PWDI_SEND_ACTION_FRAME_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    bool haveParameters = false;
    bool haveBody = false;
    NTSTATUS status = Walk(tlvs, length, [&](USHORT t, const UCHAR* v, USHORT l) {
        if (t == parametersType && !haveParameters) {
            if (l < WDI_TLV_SEND_ACTION_FRAME_PARAMETERS_SIZE) {
                return NDIS_STATUS_INVALID_DATA;
            }
            out->ChannelNumber = ReadU32(v);
            out->BandId = ReadU32(v + 4);
            std::memcpy(out->DestinationAddress, v + 8, 6);
            out->DwellTime = ReadU32(v + 14);
            out->SecondTime = ReadU32(v + 18);
            haveParameters = true;
        } else if (t == WDI_TLV_ACTION_FRAME_BODY && !haveBody) {
            if (!CopyBytes(&out->FrameBody, v, l)) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            haveBody = true;
        }
        return STATUS_SUCCESS;
    });
    if (NT_SUCCESS(status) && (!haveParameters || !haveBody)) {
        status = NDIS_STATUS_INVALID_DATA;
    }
    if (!NT_SUCCESS(status)) {
        FreeBytes(&out->FrameBody);
    }
    return status;
}

NTSTATUS GenerateSendActionFrame(const WDI_SEND_ACTION_FRAME_PARAMETERS* parameters, USHORT parametersType,
                                 ULONG reservedHeaderLength, PULONG outLength, PUCHAR* outBuffer)
{
    if (parameters == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    return Generate(reservedHeaderLength, outLength, outBuffer, [&](Writer& w) {
        const ULONG at = w.Begin(parametersType);
        w.U32(parameters->ChannelNumber);
        w.U32(parameters->BandId);
        w.Bytes(parameters->DestinationAddress, 6);
        w.U32(parameters->DwellTime);
        w.U32(parameters->SecondTime);
        w.End(at);
        w.Tlv(WDI_TLV_ACTION_FRAME_BODY, parameters->FrameBody.pElements, parameters->FrameBody.ElementCount);
    });
}

}  // namespace

NTSTATUS WdiTlvParseTaskSendRequestActionFrame(ULONG length, const UCHAR* tlvs, const void* context,
                                               PVOID parameters)
{
    (void)context;
    return ParseSendActionFrame(length, tlvs, parameters, WDI_TLV_SEND_ACTION_FRAME_REQUEST_PARAMETERS);
}

NTSTATUS WdiTlvParseTaskSendResponseActionFrame(ULONG length, const UCHAR* tlvs, const void* context,
                                                PVOID parameters)
{
    (void)context;
    return ParseSendActionFrame(length, tlvs, parameters, WDI_TLV_SEND_ACTION_FRAME_RESPONSE_PARAMETERS);
}

VOID WdiTlvCleanupTaskSendActionFrame(PVOID parameters)
{
    if (parameters != nullptr) {
        FreeBytes(&static_cast<PWDI_SEND_ACTION_FRAME_PARAMETERS>(parameters)->FrameBody);
    }
}

NTSTATUS WdiTlvGenerateTaskSendRequestActionFrame(const WDI_SEND_ACTION_FRAME_PARAMETERS* parameters,
                                                  ULONG reservedHeaderLength, const void* context, PULONG outLength,
                                                  PUCHAR* outBuffer)
{
    (void)context;
    return GenerateSendActionFrame(parameters, WDI_TLV_SEND_ACTION_FRAME_REQUEST_PARAMETERS, reservedHeaderLength,
                                   outLength, outBuffer);
}

NTSTATUS WdiTlvGenerateTaskSendResponseActionFrame(const WDI_SEND_ACTION_FRAME_PARAMETERS* parameters,
                                                   ULONG reservedHeaderLength, const void* context,
                                                   PULONG outLength, PUCHAR* outBuffer)
{
    (void)context;
    return GenerateSendActionFrame(parameters, WDI_TLV_SEND_ACTION_FRAME_RESPONSE_PARAMETERS, reservedHeaderLength,
                                   outLength, outBuffer);
}
