// The monitor-mode capture of the diagnostics code that the sniffer receive path feeds.
#pragma once

#include "kshim/nt_types.h"

// The radio record of a captured frame: PHY mode, time stamp, band, channel, RSSI, rate and the
// HT/VHT/HE fields, at fixed byte offsets (37 bytes).
#define SNIFFER_RADIO_RECORD_SIZE 37u

// Writes one frame with a radiotap header built from the radio record into the capture stream.
VOID PrintSnifferPcapLog(const UCHAR* radio, ULONG frameLength, const UCHAR* frame);
