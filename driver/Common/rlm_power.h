// Transmit-power bookkeeping of the radio capabilities: the local maximum transmit power that follows
// a beacon's country maximum and power constraint, the Power Capability element of association
// requests, and the AFC table of 28 per-modulation and per-RU powers of a 6 GHz access point that
// announces its power as spectral density, which the power-limit code looks up by name.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#define POWER_CAPABILITY_ELEMENT_LEN 4
#define POWER_CONSTRAINT_NONE 255

// Local maximum transmit power = country maximum less the power constraint (255: none, counts as 0),
// in 8-bit arithmetic. TRUE.
BOOLEAN MDSMCalculateMaxTxPower(PMP_ADAPTER adapter, UCHAR regulatoryMax, UCHAR powerConstraint);
// The Power Capability element (id 33, length 2, minimum and maximum transmit power capability in dBm).
void MDSMCreatePowerCapabilityIE(PMP_ADAPTER adapter, PUCHAR element);

// Resets the AFC table: its 27 named rows and offsets, every power none. FALSE without an adapter.
BOOLEAN AFCArrayInit(PMP_ADAPTER adapter);
// Every row's power = base + its offset (8-bit). FALSE without an adapter.
BOOLEAN SetAllAFCPwrBuffer(PMP_ADAPTER adapter, UCHAR basePower);
// The power of the first row named exactly `name` (case-sensitive). FALSE for a missing argument, while
// the access point does not announce standard power, or when no row has the name; a lookup applies
// the received base power.
BOOLEAN AFCPowerValuesGetForAMod(PMP_ADAPTER adapter, PCSTR name, PUCHAR power);
