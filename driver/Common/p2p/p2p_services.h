// Services of neighbouring subsystems that the Wi-Fi Direct routines call before their owners
// build them; each is listed under its owner module. Their bodies trace and return
// STATUS_NOT_SUPPORTED (or the neutral value the Wi-Fi Direct caller needs) until the owner's
// module takes them over.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- Common/mlme (MLME queue, sync machine, station table) ---------------------------------------------

// ---- Common/qzcmd (firmware commands): QzCmdChPrivilage ------------------------------------------------
#include "Common/qzcmd.h"

// ---- Common/ap (soft access point) --------------------------------------------------------------------
// Sends a deauthentication frame to a peer of an access-point or group-owner port.
NTSTATUS ApAuthDeauthFrameSend(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, USHORT reason);

