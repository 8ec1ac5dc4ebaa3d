// The connection settings of the OS's connect and roam tasks: the setters the connect, roam and
// start-access-point tasks share, and the release of what a port's settings own.
#pragma once

#include "kshim/nt_types.h"
#include "platform/wdi/wdiconnect_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The port's authentication algorithm (OS numbering; 0x80000009 is stored as 7, 11 as 6 with the
// WPA3-enterprise marker, 9 selects SAE). Nothing for unused and soft access point ports.
VOID WdiSetAuthenticationAlgorithm(PMP_ADAPTER adapter, PMP_PORT port, ULONG algorithm);
// The port's unicast cipher (0x80000008 is stored as 4), its encryption-status code and, with
// "ProhibitTKIPonHT", the PHY-mode lowering for WEP and TKIP.
VOID WdiSettUnicastCipherAlgorithm(PMP_ADAPTER adapter, PMP_PORT port, ULONG cipher);
// The port's multicast cipher list (the first six values are kept) and its group cipher.
VOID WdiSetMulticastCipherAlgorithm(PMP_ADAPTER adapter, PMP_PORT port, ULONG count, const ULONG* list);
// The port's desired SSID (a record of at most 32 bytes).
VOID WdiSetDesiredSsidList(PMP_ADAPTER adapter, PMP_PORT port, const PORT_SSID_RECORD* ssid);
// Station ports only: a new HESSID list of `count` 6-byte entries.
VOID WdiSetHS20HESSID(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* hessids, UCHAR count);
// Station ports only: the Hotspot 2.0 indication element.
VOID WdiSetHS20IE(PMP_PORT port, const UCHAR* element, UCHAR length);

// Traces a HESSID list (`count` 6-byte entries).
VOID DumpHessid(const UCHAR* hessids, ULONG count);
// Encryption-status code of a unicast cipher (after 0x80000008 -> 4).
UCHAR WdiEncryptionStatusOfCipher(ULONG cipher);
// Releases every buffer the port's connection settings own (element copies, HESSIDs, FT slots).
VOID WdiConnectFreePortBuffers(PMP_PORT port);
