// The chip capability report: the NIC capability event and the chip capability records.
#include "Common/qzevent_capability.h"

#include "Common/qzevent.h"
#include "Common/qzevent_handlers.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

const CHIP_CAP_HANDLER_ENTRY ChipCapHandlerTable[CHIP_CAP_HANDLER_TABLE_ROWS] = {
    {CHIP_CAP_TAG_0, 16, nicCfgChipCapTag0},
    {CHIP_CAP_TAG_1, 8, nicCfgChipCapTag1},
    {CHIP_CAP_TAG_2, 4, nicCfgChipCapTag2},
    {CHIP_CAP_TAG_3, 0, nicCfgChipCapTag3},
    {CHIP_CAP_TAG_MAC_ADDRESS, MAC_ADDR_LEN, nicCmdEventMACAddrFromFW},
    {CHIP_CAP_TAG_PHY, CHIP_CAP_PHY_LENGTH, nicCfgChipCapPhyCap},
    {CHIP_CAP_TAG_6G, 1, nicCfgChipCap6GCap},
    {CHIP_CAP_TAG_FACTORY_CAL, 1, nicCfgChipCapFactoryCalCap},
};

namespace {

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
ULONG GetU32(const UCHAR* p) { return GetU16(p) | (static_cast<ULONG>(GetU16(p + 2)) << 16); }

void CountMalformed(PMP_ADAPTER adapter, PCSTR who, PCSTR what, ULONG value, ULONG limit)
{
    LONG count = InterlockedIncrement(&adapter->Cap.ChipCapMalformedCount);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: %s (%u, limit %u); %d malformed", who, what,
             static_cast<unsigned>(value), static_cast<unsigned>(limit), static_cast<int>(count));
}

// The stream count in both nibbles of the low byte, the high byte kept.
USHORT WithStreams(USHORT word, UCHAR streams)
{
    return static_cast<USHORT>((word & 0xFF00) | (streams << 4) | streams);
}

void TraceAddresses(PMP_ADAPTER adapter, PCSTR what)
{
    const UCHAR* p = adapter->PermanentAddress;
    const UCHAR* c = adapter->CurrentAddress;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD,
             "%s: permanent %02X:%02X:%02X:%02X:%02X:%02X, current %02X:%02X:%02X:%02X:%02X:%02X", what, p[0], p[1],
             p[2], p[3], p[4], p[5], c[0], c[1], c[2], c[3], c[4], c[5]);
}

}  // namespace

const CHIP_CAP_HANDLER_ENTRY* ChipCapGetHandler(ULONG tag)
{
    for (const CHIP_CAP_HANDLER_ENTRY& row : ChipCapHandlerTable) {
        if (row.Tag == tag) {
            return &row;
        }
    }
    return nullptr;
}

// ---- the tag handlers ----------------------------------------------------------------------------------
VOID nicCfgChipCapTag0(PMP_ADAPTER adapter, const UCHAR* value)
{
    CHIP_CAPABILITY_RECORD& record = adapter->Cap.ChipCapability;
    for (ULONG i = 0; i < 4; ++i) {
        record.Tag0[i] = GetU32(value + 4 * i);
    }
    record.Tag0Present = 1;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCapTag0: 0x%08X 0x%08X 0x%08X 0x%08X",
             static_cast<unsigned>(record.Tag0[0]), static_cast<unsigned>(record.Tag0[1]),
             static_cast<unsigned>(record.Tag0[2]), static_cast<unsigned>(record.Tag0[3]));
}

VOID nicCfgChipCapTag1(PMP_ADAPTER adapter, const UCHAR* value)
{
    CHIP_CAPABILITY_RECORD& record = adapter->Cap.ChipCapability;
    record.Tag1[0] = GetU32(value);
    record.Tag1[1] = GetU32(value + 4);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCapTag1: 0x%08X 0x%08X", static_cast<unsigned>(record.Tag1[0]),
             static_cast<unsigned>(record.Tag1[1]));
}

VOID nicCfgChipCapTag2(PMP_ADAPTER adapter, const UCHAR* value)
{
    adapter->Cap.ChipCapability.Tag2 = GetU32(value);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCapTag2: 0x%08X",
             static_cast<unsigned>(adapter->Cap.ChipCapability.Tag2));
}

VOID nicCfgChipCapTag3(PMP_ADAPTER adapter, const UCHAR* value)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(value);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCapTag3: reported");
}

VOID nicCmdEventMACAddrFromFW(PMP_ADAPTER adapter, const UCHAR* value)
{
    // The chip's own address; the address in use stays what the power-up chose.
    PlatformMoveMemory(adapter->PermanentAddress, value, MAC_ADDR_LEN);
    TraceAddresses(adapter, "nicCmdEventMACAddrFromFW");
}

VOID nicCfgChipCapPhyCap(PMP_ADAPTER adapter, const UCHAR* value)
{
    const UCHAR streams = static_cast<UCHAR>(value[CHIP_CAP_PHY_STREAMS] & 0x0F);
    if (streams > CHIP_CAP_MAX_EXPECTED_STREAMS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "nicCfgChipCapPhyCap: %u spatial streams reported",
                 static_cast<unsigned>(streams));
    }
    adapter->Cap.ChipStreams = static_cast<UCHAR>((streams << 4) | streams);
    adapter->AntennaPath = WithStreams(adapter->AntennaPath, streams);
    adapter->Cap.HwAntennaPath = WithStreams(adapter->Cap.HwAntennaPath, streams);
    adapter->Cap.ChipTxLdpc = value[CHIP_CAP_PHY_TX_LDPC];
    adapter->Cap.ChipRxLdpc = value[CHIP_CAP_PHY_RX_LDPC];
    adapter->Cap.ChipTxPathMask = value[CHIP_CAP_PHY_PATH];
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCapPhyCap: streams %u, LDPC %u/%u, path 0x%02X",
             static_cast<unsigned>(streams), static_cast<unsigned>(adapter->Cap.ChipTxLdpc),
             static_cast<unsigned>(adapter->Cap.ChipRxLdpc), static_cast<unsigned>(adapter->Cap.ChipTxPathMask));
}

VOID nicCfgChipCap6GCap(PMP_ADAPTER adapter, const UCHAR* value)
{
    adapter->Cap.SixGCapable = value[0];
    adapter->Chip6GhzCapable = value[0];  // what the domain command and the 6 GHz rate and action rules read
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCap6GCap: %u", static_cast<unsigned>(value[0]));
}

VOID nicCfgChipCapFactoryCalCap(PMP_ADAPTER adapter, const UCHAR* value)
{
    adapter->Cap.FactoryCalCapable = value[0];
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "nicCfgChipCapFactoryCalCap: %u", static_cast<unsigned>(value[0]));
}

// ---- the events ----------------------------------------------------------------------------------------
VOID ProcessChipCapabilityEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    if (adapter == nullptr || eventView == nullptr) {
        return;
    }
    const ULONG length = FwEventViewPayloadLength(eventView);
    const UCHAR* payload = eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET;
    if (length < CHIP_CAP_HEADER_LENGTH) {
        CountMalformed(adapter, __func__, "event shorter than its record count", length, CHIP_CAP_HEADER_LENGTH);
        return;
    }
    const ULONG count = GetU16(payload);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessChipCapabilityEvent: %u records in %u bytes",
             static_cast<unsigned>(count), static_cast<unsigned>(length));
    ULONG offset = CHIP_CAP_HEADER_LENGTH;
    for (ULONG i = 0; i < count; ++i) {
        // The count and every value length come from the firmware: the walk ends where the event does.
        if (length - offset < CHIP_CAP_RECORD_HEADER_LENGTH) {
            CountMalformed(adapter, "chip capability record", "record header past the event end", offset, length);
            return;
        }
        const ULONG tag = GetU32(payload + offset);
        const ULONG valueLength = GetU32(payload + offset + 4);
        const ULONG room = length - offset - CHIP_CAP_RECORD_HEADER_LENGTH;
        if (valueLength > room) {
            CountMalformed(adapter, "chip capability record", "record value past the event end", valueLength, room);
            return;
        }
        const UCHAR* value = payload + offset + CHIP_CAP_RECORD_HEADER_LENGTH;
        const CHIP_CAP_HANDLER_ENTRY* row = ChipCapGetHandler(tag);
        if (row == nullptr) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "chip capability tag 0x%X (%u bytes) skipped", static_cast<unsigned>(tag),
                     static_cast<unsigned>(valueLength));
        } else if (valueLength < row->MinLength) {
            CountMalformed(adapter, "chip capability record", "record shorter than its fields", valueLength, row->MinLength);
        } else {
            row->Handler(adapter, value);
        }
        offset += CHIP_CAP_RECORD_HEADER_LENGTH + valueLength;
    }
}

VOID ProcessNicCapabilityEvent(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength)
{
    if (adapter == nullptr) {
        return;
    }
    if (payload == nullptr || payloadLength < NIC_CAP_PAYLOAD_LENGTH) {
        // A report without all its fields changes nothing: the power-up's address stays.
        CountMalformed(adapter, __func__, "NIC capability shorter than its fields", payloadLength, NIC_CAP_PAYLOAD_LENGTH);
        return;
    }
    NIC_CAPABILITY_RECORD& record = adapter->Cap.NicCapability;
    for (ULONG i = 0; i < 3; ++i) {
        record.Version[i] = GetU16(payload + NIC_CAP_OFFSET_VERSION + 2 * i);
    }
    record.Only24G = payload[NIC_CAP_OFFSET_ONLY_24G];
    record.Feature = payload[NIC_CAP_OFFSET_FEATURE];
    PlatformMoveMemory(record.MacAddress, payload + NIC_CAP_OFFSET_MAC, MAC_ADDR_LEN);
    PlatformMoveMemory(record.Block, payload + NIC_CAP_OFFSET_BLOCK, sizeof(record.Block));
    for (ULONG i = 0; i < 4; ++i) {
        record.Words[i] = GetU32(payload + NIC_CAP_OFFSET_WORDS + 4 * i);
    }
    PlatformMoveMemory(record.Tail, payload + NIC_CAP_OFFSET_TAIL, sizeof(record.Tail));
    record.Last = payload[NIC_CAP_OFFSET_LAST];
    record.Reported = 1;
    adapter->Only24G = record.Only24G;

    static const UCHAR kZero[MAC_ADDR_LEN] = {};
    record.MacValid = (record.MacAddress[0] & 0x01) == 0 && !PlatformEqualMemory(record.MacAddress, kZero, MAC_ADDR_LEN);
    UCHAR address[MAC_ADDR_LEN];
    if (record.MacValid) {
        PlatformMoveMemory(address, record.MacAddress, MAC_ADDR_LEN);
    } else {
        // A group or empty address never reaches the adapter: a unicast, globally administered
        // stand-in takes its place.
        const ULONG64 counter = static_cast<ULONG64>(KeQueryPerformanceCounter(nullptr).QuadPart);
        address[0] = static_cast<UCHAR>(((counter >> 32) ^ counter) & 0xFC);
        address[1] = NIC_CAP_FALLBACK_BYTE1;
        address[2] = NIC_CAP_FALLBACK_BYTE2;
        address[3] = NIC_CAP_FALLBACK_BYTE3;
        address[4] = NIC_CAP_FALLBACK_BYTE4;
        address[5] = NIC_CAP_FALLBACK_BYTE5;
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "NIC capability: reported address %02X:%02X:%02X:%02X:%02X:%02X not usable",
                 record.MacAddress[0], record.MacAddress[1], record.MacAddress[2], record.MacAddress[3],
                 record.MacAddress[4], record.MacAddress[5]);
    }
    PlatformMoveMemory(adapter->PermanentAddress, address, MAC_ADDR_LEN);
    PlatformMoveMemory(adapter->CurrentAddress, address, MAC_ADDR_LEN);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD,
             "ProcessNicCapabilityEvent: versions %04X %04X %04X, 2.4 GHz only %u, %s address %02X:%02X:%02X:%02X:%02X:%02X",
             static_cast<unsigned>(record.Version[0]), static_cast<unsigned>(record.Version[1]),
             static_cast<unsigned>(record.Version[2]), static_cast<unsigned>(record.Only24G),
             record.MacValid ? "reported" : "fallback", address[0], address[1], address[2], address[3], address[4],
             address[5]);
}
