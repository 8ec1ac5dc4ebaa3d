// The WDI TLV parser.
#include "kshim/wditlv.h"

#include <cstring>

namespace {

uint16_t ReadU16(const UCHAR* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const UCHAR* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The value of the first TLV of `type`; false when the TLVs do not fit their length or it is absent.
bool FindTlv(ULONG length, const UCHAR* tlvs, uint16_t type, const UCHAR** value, ULONG* valueLength,
             bool* malformed)
{
    *malformed = false;
    ULONG offset = 0;
    while (offset < length) {
        if (length - offset < WDI_TLV_HEADER_SIZE) {
            *malformed = true;
            return false;
        }
        uint16_t t = ReadU16(tlvs + offset);
        ULONG l = ReadU16(tlvs + offset + 2);
        if (length - offset - WDI_TLV_HEADER_SIZE < l) {
            *malformed = true;
            return false;
        }
        if (t == type) {
            *value = tlvs + offset + WDI_TLV_HEADER_SIZE;
            *valueLength = l;
            return true;
        }
        offset += WDI_TLV_HEADER_SIZE + l;
    }
    return false;
}

}  // namespace

NTSTATUS WdiTlvParseTaskAbort(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters)
{
    (void)context;
    if (parameters == nullptr || (length != 0 && tlvs == nullptr)) {
        return STATUS_INVALID_PARAMETER;
    }
    const UCHAR* value = nullptr;
    ULONG valueLength = 0;
    bool malformed = false;
    if (!FindTlv(length, tlvs, WDI_TLV_TASK_ABORT_PARAMETERS, &value, &valueLength, &malformed) ||
        valueLength < WDI_TLV_TASK_ABORT_PARAMETERS_SIZE) {
        return NDIS_STATUS_INVALID_DATA;
    }
    auto* out = static_cast<PWDI_TASK_ABORT_PARAMETERS>(parameters);
    std::memset(out, 0, sizeof(*out));
    out->MessageId = ReadU32(value);
    out->TransactionId = ReadU32(value + 4);
    out->PortId = ReadU16(value + 8);
    return STATUS_SUCCESS;
}

VOID WdiTlvCleanup(PVOID parameters) { (void)parameters; }
