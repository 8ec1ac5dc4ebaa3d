// SAR and the platform's regulatory data: the ACPI methods of the Wi-Fi device read at bring-up
// (SAR tables with geographic offsets, the platform power-limit table, the platform's country, the
// 5.9 GHz, 6 GHz, standard-power and time-averaged SAR countries, feature switches), the lookups the
// power-limit parser makes in them, the WMI SAR sensor that selects the active SAR table, and
// time-averaged SAR.
#pragma once

#include "hal/common/sar_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// ---- ACPI ---------------------------------------------------------------------------------------------
// Evaluates every method once (bring-up, before the sensor and the power-limit files). Always 0.
NTSTATUS SarGetSarPwrTbl(PMP_ADAPTER adapter);

// ---- lookups --------------------------------------------------------------------------------------------
// The SAR limit of a 2.4/5 GHz channel, or of a 6 GHz channel, for the active SAR table, with the
// geographic offset of the current country; less 6 for the main tables (chain 2) in dynamic mode 2.
// FALSE when there is no SAR table or the channel is in none of its ranges.
BOOLEAN SarGetSarTablePowerLimit(PMP_ADAPTER adapter, UCHAR channel, UCHAR chain, PUCHAR limit);
BOOLEAN SarGetSarTablePowerLimit_6G(PMP_ADAPTER adapter, UCHAR channel, UCHAR chain, PUCHAR limit);
// The platform power-limit table: by channel (table mode 0), or by channel and rate group (table
// mode 1; with the 6 GHz flag only entries of group 1, without it only the others). FALSE: no entry.
BOOLEAN SarGetTxPwrLimitPerCh(PMP_ADAPTER adapter, UCHAR channel, PUCHAR limit);
BOOLEAN SarGetTxPwrLimitPerGroup(PMP_ADAPTER adapter, UCHAR channel, UCHAR group, BOOLEAN sixGhz, PUCHAR limit);
// Sets the geographic row of the current country from the geographic table's version.
void SarVersionCountryMapping(PMP_ADAPTER adapter);
// Whether the platform lets the country use 6 GHz standard power: FALSE without its standard-power
// bitmap; CA bit 1, US bit 2, any other country bit 0.
BOOLEAN StandardPowerSupportOrNot(PMP_ADAPTER adapter, USHORT key);

// ---- WMI SAR sensor --------------------------------------------------------------------------------------
// Opens the WMI SAR sensor block and registers for its notifications; closes them.
NTSTATUS SarOpenSensorObject(PMP_ADAPTER adapter);
void SarCloseSensorObject(PMP_ADAPTER adapter);

// ---- time-averaged SAR -----------------------------------------------------------------------------------
// Whether the platform wants time-averaged SAR in the current country (chips that have it only).
BOOLEAN TASarSupportOrNot(PMP_ADAPTER adapter);
// Switches it on and sends the SAR limit of each of the ten band ranges; the first failure.
NTSTATUS TASarUpdatePwrLimit(PMP_ADAPTER adapter);
// Switches it off.
NTSTATUS TASarTurnOff(PMP_ADAPTER adapter);
// One band range: "coex tasar_set 12 index band first last limit" with the SAR limit of `channel`.
NTSTATUS TASarPwrLimitCMD(PMP_ADAPTER adapter, UCHAR index, UCHAR band, UCHAR firstChannel, UCHAR lastChannel, UCHAR channel);
