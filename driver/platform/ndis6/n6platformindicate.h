// The NDIS-6 indication layer: turns the core's association and connection results, link figures,
// scan ends and radio state into what the OS receives (WDI indications through the generators, or a
// change of the port's link speed that the link-state indication reports later).
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#pragma pack(push, 1)
// The 802.11 association-completion parameters; the offsets and sizes point into the record's own
// buffer (active-PHY list at 96, then the beacon, the request body and the response body).
typedef struct _DOT11_ASSOCIATION_COMPLETION_PARAMETERS {
    UCHAR Type;       // 0x80
    UCHAR Revision;   // 1, or 2 with management-frame protection
    USHORT Size;      // 96
    UCHAR MacAddr[6];
    USHORT Reserved0;
    ULONG uStatus;
    UCHAR bReAssocReq;
    UCHAR bReAssocResp;
    USHORT Reserved1;
    ULONG AuthAlgo;
    ULONG UnicastCipher;
    ULONG MulticastCipher;
    ULONG uActivePhyListOffset;
    ULONG uActivePhyListSize;
    UCHAR bFourAddressSupported;
    UCHAR bPortAuthorized;
    UCHAR ucActiveQoSProtocol;
    UCHAR DSInfo;
    ULONG uEncapTableOffset;
    ULONG uEncapTableSize;
    ULONG MulticastMgmtCipher;
    ULONG uAssocReqOffset;
    ULONG uAssocReqSize;
    ULONG uAssocRespOffset;
    ULONG uAssocRespSize;
    ULONG uBeaconOffset;
    ULONG uBeaconSize;
    ULONG uIHVDataOffset;
    ULONG uIHVDataSize;
    UCHAR Reserved2[8];
} DOT11_ASSOCIATION_COMPLETION_PARAMETERS, *PDOT11_ASSOCIATION_COMPLETION_PARAMETERS;
#pragma pack(pop)
static_assert(sizeof(DOT11_ASSOCIATION_COMPLETION_PARAMETERS) == 96, "the association completion record is 96 bytes");

#define DOT11_ASSOC_RECORD_TYPE 0x80
#define DOT11_ASSOC_RECORD_PHY_LIST_OFFSET 96u
#define DOT11_ASSOC_RECORD_BEACON_OFFSET 100u
#define BUS_HANG_IHV_BODY_SIZE 5

NTSTATUS N6PlatformIndicateAssociationCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG dot11Status,
                                                 ULONG callerCode);
void N6PlatformIndicateAssociationStart(PMP_ADAPTER adapter, PMP_PORT port, const void* bssEntry, UCHAR osInitiated,
                                        ULONG callerCode);
NTSTATUS N6PlatformIndicateConnectionCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG callerCode);
void N6PlatformIndicateConnectionStart(PMP_ADAPTER adapter, PMP_PORT port, ULONG callerCode);
void N6PlatformIndicateDot11Status(PMP_ADAPTER adapter, PMP_PORT port, ULONG status);
void N6PlatformIndicateMlmeAssocDone(PMP_ADAPTER adapter, PMP_PORT port);
void N6PlatformIndicateMlmeSplitScanDone(PMP_ADAPTER adapter, PMP_PORT port);
void N6PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG state, LONG value);
void N6PlatformIndicateRadioManually(PMP_ADAPTER adapter);
// 1 when the port's link-quality level changed (the new quality is then kept).
UCHAR N6PlatformIndicateLinkQuality(PMP_ADAPTER adapter, ULONG portIndex);
// 1 when the port's transmit link speed changed.
UCHAR N6PlatformIndicateNewLinkSpeedLinkUp(PMP_ADAPTER adapter, ULONG portIndex);
UCHAR N6PlatformIndicatePeriodicLinkSpeed(PMP_ADAPTER adapter, ULONG portIndex);
void N6PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG clearFlags,
                                  ULONG resetSyncState);
void N6PlatformIndicateBusHang(PMP_ADAPTER adapter);
