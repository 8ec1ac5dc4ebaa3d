// Unified commands without a legacy form.
#include "Common/nic_uni_cmd_direct.h"

#include "Common/nic_uni_cmd_event.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kFlagsNoAnswer = 16;
constexpr USHORT kNoAnswerTag = 255;
constexpr ULONG kLedPayload = 12;

// Allocates the zeroed payload, lets `fill` write it, sends it and frees it.
template <typename Fill>
NTSTATUS SendDirect(PMP_ADAPTER adapter, PCSTR what, UCHAR uniCmdId, ULONG size, ULONG tag, Fill fill)
{
    PMP_PORT port = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s without the first port", what);
        return STATUS_UNSUCCESSFUL;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, tag) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: payload of %u bytes not allocated", what, static_cast<unsigned>(size));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUCHAR payload = static_cast<PUCHAR>(block);
    PlatformZeroMemory(payload, size);
    fill(payload);
    NTSTATUS status = QzCmdSendSetQueryUniCmdAdv(port, uniCmdId, 1, 0, kFlagsNoAnswer, nullptr, size, payload, 0, 0,
                                                 kNoAnswerTag);
    PlatformFreeMemory(block, size);
    return status;
}

// One LED command for one GPIO: 4-byte fixed part (the GPIO), tag 0 (enable) or 1 (state) of 8 bytes.
NTSTATUS SendLed(PMP_ADAPTER adapter, PCSTR what, UCHAR gpio, USHORT tag, UCHAR value)
{
    if (gpio == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: the chip has no LED GPIO", what);
        return STATUS_UNSUCCESSFUL;
    }
    return SendDirect(adapter, what, UNI_CMD_ID_LED, kLedPayload, TAG_ZV47, [&](PUCHAR p) {
        p[0] = gpio;
        UniPutTlv(p + 4, tag, 8)[0] = value;
    });
}

UCHAR LedState(UCHAR state) { return state != 0 ? 1 : 3; }

// The two sends of the two-LED scheme; a failing send ends it at once.
NTSTATUS SendLedPair(PMP_ADAPTER adapter, PCSTR what, USHORT tag, UCHAR first, UCHAR second)
{
    const UCHAR gpio1 = adapter != nullptr ? adapter->HalInfo.LedGpioAlt1 : 0;
    const UCHAR gpio2 = adapter != nullptr ? adapter->HalInfo.LedGpioAlt2 : 0;
    if (gpio1 == 0 || gpio2 == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: the chip lacks a GPIO of the two-LED scheme (%u, %u)", what,
                 static_cast<unsigned>(gpio1), static_cast<unsigned>(gpio2));
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS status = SendLed(adapter, what, gpio1, tag, first);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: first GPIO 0x%08X", what, static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }
    status = SendLed(adapter, what, gpio2, tag, second);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: second GPIO 0x%08X", what, static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }
    return status;
}

}  // namespace

NTSTATUS nicUniCmdFwLogUpdateRead(PMP_ADAPTER adapter, ULONG ring, ULONG readPointer)
{
    if (ring < 1 || ring > 4) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "firmware log ring %u has no read position", static_cast<unsigned>(ring));
        return STATUS_UNSUCCESSFUL;
    }
    return SendDirect(adapter, __func__, UNI_CMD_ID_WSYS_CONFIG, 28, TAG_ZV54, [&](PUCHAR p) {
        PUCHAR v = UniPutTlv(p + 4, 5, 24);
        UniPutU32(v + 4 * (ring - 1), readPointer);
        p[24] = static_cast<UCHAR>(1u << ring);
    });
}

NTSTATUS nicUniCmdLedGpioEnable(PMP_ADAPTER adapter, UCHAR value)
{
    return SendLed(adapter, __func__, adapter != nullptr ? adapter->HalInfo.LedGpio : 0, 0, value);
}

NTSTATUS nicUniCmdLedGpioLedCtrl(PMP_ADAPTER adapter, UCHAR state)
{
    return SendLed(adapter, __func__, adapter != nullptr ? adapter->HalInfo.LedGpio : 0, 1, LedState(state));
}

NTSTATUS nicUniCmdRODuduGpioEnable(PMP_ADAPTER adapter, UCHAR value)
{
    return SendLedPair(adapter, __func__, 0, value, value);
}

NTSTATUS nicUniCmdRODuduGpioLedCtrl(PMP_ADAPTER adapter, UCHAR connected, UCHAR radioState, UCHAR linkKind)
{
    // Pattern 0: radio off, 1: radio on, 2: connected on a link of the first kind, 3: of the other.
    static const UCHAR kPattern[4][2] = {{1, 1}, {1, 3}, {3, 1}, {3, 3}};
    const ULONG pattern = !connected ? (radioState != 0 ? 1 : 0) : (linkKind != 0 ? 2 : 3);
    return SendLedPair(adapter, __func__, 1, kPattern[pattern][0], kPattern[pattern][1]);
}

NTSTATUS nicUniCmdBandGapClockReq(PMP_ADAPTER adapter, UCHAR on)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(on);
    return NOT_BUILT_YET();
}
