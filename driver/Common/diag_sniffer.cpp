// The monitor-mode capture of the diagnostics code.
#include "Common/diag_sniffer.h"

#include "platform/ndiscommon/trace.h"

VOID PrintSnifferPcapLog(const UCHAR* radio, ULONG frameLength, const UCHAR* frame)
{
    // The capture stream comes with the diagnostics; the radio record is traced meanwhile.
    char text[3 * SNIFFER_RADIO_RECORD_SIZE + 1] = {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (ULONG i = 0; i < SNIFFER_RADIO_RECORD_SIZE; ++i) {
        text[3 * i] = kHex[radio[i] >> 4];
        text[3 * i + 1] = kHex[radio[i] & 0xF];
        text[3 * i + 2] = i + 1 < SNIFFER_RADIO_RECORD_SIZE ? ' ' : '\0';
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "sniffer frame of %u bytes, radio %s", static_cast<unsigned>(frameLength), text);
    (void)NOT_BUILT_YET();
}
