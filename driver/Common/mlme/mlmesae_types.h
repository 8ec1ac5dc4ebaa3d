// The SAE records of a station port: the OS's SAE parameters (the port's own copy, its buffers owned by
// the port) and the exchange's retransmission state.
#pragma once

#include "kshim/nt_types.h"

// One OS-supplied byte string of the SAE parameters.
typedef struct _SAE_BUFFER {
    ULONG Length;
    PUCHAR Buffer;
    UCHAR Owned;  // the port allocated Buffer
} SAE_BUFFER, *PSAE_BUFFER;

// Presence word and commit options of SAE_PARAMS.
#define SAE_PARAMS_PRESENT_STATUS 0x4u
#define SAE_COMMIT_OPTION_TOKEN 0x1u
#define SAE_COMMIT_OPTION_REJECTED_GROUPS 0x2u
// Request types.
#define SAE_REQUEST_COMMIT 0
#define SAE_REQUEST_CONFIRM 1
#define SAE_REQUEST_FAILURE 2
#define SAE_REQUEST_COMMIT_H2E 4

typedef struct _SAE_PARAMS {
    ULONG Presence;
    UCHAR PeerBssid[6];
    ULONG RequestType;
    ULONG CommitOptions;
    USHORT FiniteCyclicGroup;
    SAE_BUFFER Scalar;
    SAE_BUFFER Element;
    SAE_BUFFER AntiCloggingToken;
    SAE_BUFFER RejectedGroups;
    USHORT SendConfirm;
    SAE_BUFFER Confirm;
    ULONG Status;  // IEEE 802.11 status code
} SAE_PARAMS, *PSAE_PARAMS;

// The body of SAE messages 0 and 2: a self-contained copy of SAE_PARAMS (fixed part, then the scalar,
// element, token, rejected groups and confirm bytes in this order), so that new parameters of the OS
// never pull buffers from under a message still on the MLME queue.
#pragma pack(push, 1)
typedef struct _SAE_MSG_HEADER {
    ULONG Presence;
    UCHAR PeerBssid[6];
    ULONG RequestType;
    ULONG CommitOptions;
    USHORT FiniteCyclicGroup;
    USHORT ScalarLength;
    USHORT ElementLength;
    USHORT TokenLength;
    USHORT RejectedGroupsLength;
    USHORT SendConfirm;
    USHORT ConfirmLength;
    ULONG Status;
} SAE_MSG_HEADER;
#pragma pack(pop)
static_assert(sizeof(SAE_MSG_HEADER) == 36, "the SAE message header is 36 bytes");

#define SAE_KEPT_COMMIT_ROOM 256
typedef struct _SAE_PORT_STATE {
    SAE_PARAMS Params;
    UCHAR KeptCommit[SAE_KEPT_COMMIT_ROOM];  // the last commit as sent, header included
    ULONG KeptCommitLength;                  // 0: none
    UCHAR CommitResent;                      // the kept commit went out again, or was too long to keep
    UCHAR ConfirmResend;                     // the OS was asked to resend the confirm
} SAE_PORT_STATE, *PSAE_PORT_STATE;
