// The private control's records in the adapter: the private requests parked for a firmware answer,
// when the last request was accepted, and the answers kept for later requests.
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"

// The adapter's copies of the last beamforming profile data and tag events.
#define BF_PROFILE_DATA_SIZE 136
#define BF_PROFILE_TAG_SIZE 56

typedef struct _PRIVATE_REQUEST_BLOCK {
    LIST_ENTRY PendingRequestList;  // parked private requests (PENDING_OID_REQUEST)
    KSPIN_LOCK PendingRequestLock;
    UCHAR PendingRequestListReady;  // set (release) once the list and its lock are initialised
    volatile LONG PendingRequestCount;
    // When the last request was accepted (ms), the last beamforming profile events, and the last
    // register-access answers for two registers of the second generation.
    ULONG64 LastPrivateRequestTime;
    UCHAR BfProfileData[BF_PROFILE_DATA_SIZE];
    UCHAR BfProfileTag[BF_PROFILE_TAG_SIZE];
    ULONG LatchedReg83086040;
    ULONG LatchedReg830860F8;
    // The country request: whether the country may be changed at run time, and the coexistence type.
    UCHAR CountryChangeAllowed;
    UCHAR CoexType;
} PRIVATE_REQUEST_BLOCK, *PPRIVATE_REQUEST_BLOCK;
