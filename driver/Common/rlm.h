// What the shell asks of the radio features subsystem: the capability and operation elements of a
// port, the regulatory domain, the power-limit files, SAR, D3cold support and the wake-on-WLAN tables.
#pragma once

#include "kshim/nt_types.h"
#include "kshim/wdf.h"
#include "Common/rlm_domain.h"
#include "Common/rlm_sku.h"
#include "hal/common/sar.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The port's capability and operation records, rebuilt at bring-up and on a change of operation mode:
// VHT when its PHY mode is 11 to 14 (Common/rlm_vht), HE on the second and third generation in PHY
// mode 13 or 14 (Common/he/he_cap), EHT for port 0 of the third generation in PHY mode 14
// (Common/he/eht_rlm); otherwise each is switched off. 0, or 0xC000000D without adapter or port.
NTSTATUS VhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS HeInitCtrl(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS EhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port);

// ---- regulatory domain, power limits, SAR ---------------------------------------------------------------
// The regulatory domain (DomainConfigureDomainInfo, DomainGetChannelCountByBand, ...) is declared in
// Common/rlm_domain.h.
// SAR (hal/common/sar.h) and the power-limit files (Common/rlm_sku.h).

// ---- D3cold support --------------------------------------------------------------------------------------
// Queries the bus driver's D3cold interface; a negative status when there is none.
NTSTATUS D3ColdInterfaceInit(PMP_ADAPTER adapter, WDFDEVICE device);
BOOLEAN GetD3ColdSupport(PMP_ADAPTER adapter);
void SetD3ColdSupport(PMP_ADAPTER adapter, BOOLEAN enable);
void D3ColdInterfaceDeInit();

// ---- wake-on-WLAN -----------------------------------------------------------------------------------------
// Clears the wake tables and counters and creates the receive-ring resume timer.
void WoWLANInitialization(PMP_ADAPTER adapter);
// ---- transmit power ---------------------------------------------------------------------------------
// Rebuilds the per-channel power limits of the current country and sends them.
NTSTATUS skuTableSendPwrLimitCmd(PMP_ADAPTER adapter, UCHAR flag);
// The full power-limit send: the 6 GHz rate switches in the United States on the chips that have
// them, the SAR mode (time-averaged SAR when the platform asks for it, else "BiosSarMode"), then
// every power-limit table. The status of the table send.
NTSTATUS QzCmdSendPwrLimitCmd(PMP_ADAPTER adapter);
// The 6 GHz rate-adaptation switches ("ra1ss1t6g ...").
NTSTATUS skuTableControl6GRaMode(PMP_ADAPTER adapter);
