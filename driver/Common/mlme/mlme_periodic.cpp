// Periodic MLME work and the port timers: every timer of the MLME core is bound in MlmePortTimeInit and
// released in MlmePortFreeTimer. The 100 ms heartbeat's callback only posts internal command 0x10000200;
// on the control thread MlmePeriodicExecPassivLevel counts the tick and runs the 100 ms, 200 ms, 500 ms,
// 1 s, 5 s and hourly jobs.
#include "Common/bss_iot.h"
#include "Common/common.h"
#include "Common/fwdump.h"
#include "Common/fwsettings.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/p2p/p2p.h"
#include "Common/rlm.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/registry_host.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdievent.h"

namespace {

constexpr ULONG kHeartbeatMs = 100;
constexpr ULONG kTxHangMs = 1000;
constexpr ULONG kTicksPerSecond = 10;
constexpr ULONG kTicksPer5s = 50;
constexpr ULONG kTicksPerHour = 36000;
constexpr ULONG kHaltFlags = ADAPTER_FLAG_HALT_IN_PROGRESS | ADAPTER_FLAG_NOT_RESPONDING | ADAPTER_FLAG_SURPRISE_REMOVED;
constexpr ULONG kPortConnected = 0x80u;
constexpr ULONG kWdiTaskConnect = 6;
constexpr ULONG kWdiTaskRoam = 0x64;
constexpr ULONG kRoamReasonRssi = 10;
constexpr ULONG kRoamReasonBeaconLoss = 11;
constexpr ULONG kBeaconLossLinkDownAbove = 9;
constexpr ULONG kLtrBusyPackets = 30;
constexpr ULONG kHlkDhcpDisconnect = 0x2000u;
constexpr UCHAR kSarOpenTriesMax = 12;
constexpr LONGLONG kCalEnhancementWait = 300010000;  // 30 s and 1 ms in 100 ns
constexpr ULONG kUsPerSecond = 1000000;
constexpr ULONG kTputModeId = 0xD0000000u;
constexpr UCHAR kCalStateWaiting = 2;
constexpr UCHAR kCalStateFetch = 3;

bool Halting(PMP_ADAPTER adapter) { return AdapterTestFlags(adapter, kHaltFlags); }

bool Scanning(PMP_ADAPTER adapter) { return AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING); }

bool Connected(PMP_PORT port) { return port != nullptr && (port->ConnectionFlags & kPortConnected) != 0; }

// The connected station or Wi-Fi Direct client port; the given port when none is connected.
PMP_PORT PeriodicPort(PMP_ADAPTER adapter, PMP_PORT current)
{
    PMP_PORT connected = MlmeSyncGetConnectedStaPort(adapter);
    return connected != nullptr ? connected : current;
}

bool RoamOrConnectPending(PMP_ADAPTER adapter)
{
    const ULONG pending = adapter->Wdi.CntlBlock.PendingMessageId;
    return pending == kWdiTaskRoam || pending == kWdiTaskConnect;
}

void Post(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmd)
{
    const NTSTATUS status = QZEnqueueInternalCmd(adapter, port, cmd, nullptr, 0);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "internal command 0x%08X not posted: 0x%08X", static_cast<unsigned>(cmd),
                 static_cast<unsigned>(status));
    }
}

void IndicateRoam(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason)
{
    adapter->Mlme.Periodic.RoamIndicated = 1;
    WdiEventIndicateRoamingNeeded(adapter, port, reason);
}

void Bind(PMP_PORT port, PPLATFORM_TIMER timer, PPLATFORM_TIMER_CALLBACK callback, UCHAR periodic, PCSTR name)
{
    if (!timer->Initialized) {
        PlatformInitTimer(port, timer, callback, periodic, name);
    }
}

void Release(PPLATFORM_TIMER timer)
{
    if (timer->Initialized) {
        PlatformCancelTimer(timer, nullptr);
        PlatformFreeTimer(timer);
        timer->Initialized = 0;
    }
}

void Arm(PMP_PORT port, PPLATFORM_TIMER timer, ULONG ms)
{
    const NTSTATUS status = PlatformSetTimer(port, timer, ms);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "timer \"%.40s\" not armed: 0x%08X", timer->Name,
                 static_cast<unsigned>(status));
    }
}

ULONG Mbps(ULONG bytes) { return static_cast<ULONG>(static_cast<ULONG64>(bytes) * 8 / 1000000); }

void MeasureTraffic(MLME_PERIODIC_BLOCK& p)
{
    p.TxDelta = static_cast<ULONG>(p.TxBytes - p.LastTxBytes);
    p.RxDelta = static_cast<ULONG>(p.RxBytes - p.LastRxBytes);
    p.LastTxBytes = p.TxBytes;
    p.LastRxBytes = p.RxBytes;
    const ULONG64 total = static_cast<ULONG64>(p.TxDelta) + p.RxDelta;
    p.TotalBytesPerUs = static_cast<ULONG>(total / p.SamplingPeriodUs);
    p.TotalMbps = static_cast<ULONG>(total * 8 / 1000000);
    p.TxMbps = Mbps(p.TxDelta);
    p.RxMbps = Mbps(p.RxDelta);
    p.TotalKbps = static_cast<ULONG>(total * 8 / 1000);
}

// The (transmit, receive) thresholds of a threshold setting: high half transmit, low half receive.
void Thresholds(ULONG setting, ULONG* tx, ULONG* rx)
{
    *tx = setting >> 16;
    *rx = setting & 0xFFFFu;
}

void SetTputMode(PMP_PORT port, UCHAR mode)
{
    if (port->Mlme.TputMode != mode) {
        port->Mlme.TputMode = mode;
        port->Mlme.TputModeChanged = 1;
    }
}

}  // namespace

// ================================================================================================
// the port timers
// ================================================================================================
NTSTATUS MlmePortTimeInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    MLME_PERIODIC_BLOCK& p = adapter->Mlme.Periodic;
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    const bool port0 = port->PortNumber == 0;
    if (port0) {
        MlmeSyncBindScanTimer(adapter);
        Bind(port, &port->MlmePeriodicTimer, MlmePeriodicExecTimerCallback, 0, "MlmePeriodicExecTimer");
        Bind(port, &port->TxHangTimer, MlmeTxHangPeriodicExecTimerCallback, 1, "MlmeTxHangPeriodicExecTimer");
        if (reg.EthernetDetection != 0) {
            Bind(port, &p.RadioTimer, MlmeRadioPeriodicExecTimerCallback, 0, "MlmeRadioPeriodicExecTimer");
        }
        if (reg.PingEnhance != 0) {
            Bind(port, &p.PowerConsumptionTimer, MlmePowerConsumptionCtrlTimerCallback, 0,
                 "MlmePowerConsumptionCtrlTimer");
        }
        Bind(port, &adapter->FwDump.CoreDumpTimer, McuCorDumpTimeOut, 0, "wlanMcuCorDumpTimer");
        Bind(port, &adapter->Recovery.SerCheckTxStopTimer, SerCheckTxStopTimeOut, 0, "rSerCheckTxStopTimer");
    }
    Bind(port, &port->Mlme.BeaconTimeoutTimer, MlmeSyncBeaconTimeoutTimerCallback, 0, "BeaconTimeoutTimer");
    if (port0) {
        Arm(port, &port->MlmePeriodicTimer, kHeartbeatMs);
        Arm(port, &port->TxHangTimer, kTxHangMs);
        if (reg.EthernetDetection != 0) {
            Arm(port, &p.RadioTimer, reg.EthernetDetectionInterval);
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS MlmePortFreeTimer(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    MLME_PORT_BLOCK& m = port->Mlme;
    for (PPLATFORM_TIMER t : {&m.AssocTimeoutTimer, &m.ReassocTimeoutTimer, &m.DisassocTimeoutTimer,
                              &m.Conn.DisassocIndTimer, &m.Conn.ConnectionStartTimer, &m.Conn.ConnectionCompleteTimer,
                              &m.AuthTimeoutTimer, &m.SaeTimeoutTimer, &m.BeaconTimeoutTimer}) {
        Release(t);
    }
    if (port->PortNumber != 0) {
        return STATUS_SUCCESS;
    }
    MLME_PERIODIC_BLOCK& p = adapter->Mlme.Periodic;
    for (PPLATFORM_TIMER t : {&adapter->Mlme.Scan.ScanTimer, &port->MlmePeriodicTimer, &port->TxHangTimer, &p.RadioTimer,
                              &p.PowerConsumptionTimer, &adapter->Recovery.SerCheckTxStopTimer}) {
        Release(t);
    }
    FW_DUMP_BLOCK& dump = adapter->FwDump;
    if (dump.CoreDumpInProgress && dump.CoreDumpOpen) {
        // A dump still being written ends with its file closed.
        (void)PlatformOpenCoreDumpFile(adapter, 0);
        dump.CoreDumpOpen = 0;
        dump.CoreDumpByteCount = 0;
    }
    Release(&dump.CoreDumpTimer);
    return STATUS_SUCCESS;
}

NTSTATUS MlmePortWorkItemInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "port %u: no MLME work items to create",
             static_cast<unsigned>(port != nullptr ? port->PortNumber : 0));
    return STATUS_SUCCESS;
}

NTSTATUS MlmePortFreeWorkItem(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "port %u: no MLME work items to free",
             static_cast<unsigned>(port != nullptr ? port->PortNumber : 0));
    return STATUS_SUCCESS;
}

VOID MlmePeriodicExecTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter == nullptr) {
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED) || adapter->Recovery.TxStopped) {
        // Stops until the timer is armed again.
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "periodic timer stops: halting, removed or transmission held");
        return;
    }
    Post(adapter, port, INTERNAL_CMD_MLME_PERIODIC);
    Arm(port, timer, kHeartbeatMs);
}

// ================================================================================================
// the heartbeat's jobs
// ================================================================================================
NTSTATUS MlmePeriodicExecPassivLevel(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (Halting(adapter)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "periodic work skipped: halting, removed or not responding");
        return STATUS_SUCCESS;
    }
    PMP_PORT p = PeriodicPort(adapter, port);
    if (p == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "periodic work without a port");
        return STATUS_SUCCESS;
    }
    MLME_PERIODIC_BLOCK& pb = adapter->Mlme.Periodic;
    const ULONG tick = ++pb.Ticks;
    LOW_POWER_BLOCK& lp = adapter->LowPower;
    if (lp.LowPowerCountdownActive && lp.LowPowerCountdown != 0) {
        --lp.LowPowerCountdown;
    }
    MlmePeriodicExec100ms(adapter);
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    if (reg.BatteryLifeImprove == 0 && tick % 2 == 0) {
        MlmePeriodicExec200ms(adapter);
    }
    if (tick % 5 == 0) {
        MlmePeriodicExec500ms(adapter);
    }
    if ((reg.Hlk_feature_optional & kHlkDhcpDisconnect) != 0 && tick % 2 == 0 && Connected(p) && !Scanning(adapter) &&
        pb.DhcpSeen) {
        pb.DhcpToggle ^= 1;  // every second such tick
        if (pb.DhcpToggle == 0) {
            if (KeGetCurrentIrql() >= DISPATCH_LEVEL) {
                Post(adapter, p, INTERNAL_CMD_DISCONNECT);
            } else {
                ULONG written = 0;
                ULONG needed = 0;
                (void)DisconnectRequest(adapter, p, &written, &needed, 0, nullptr);
            }
        }
    }
    if (tick % kTicksPerSecond == 0) {
        MlmePeriodicExec1s(adapter);
    }
    if (tick % kTicksPer5s == 0) {
        MlmePeriodicExec5s(adapter);
    }
    if (tick % kTicksPerHour == 0) {
        (void)kalSyncTimeToFW(adapter);
    }
    PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
    if (device != nullptr) {
        Post(adapter, device, P2P_CMD_TICK);
    }
    return STATUS_SUCCESS;
}

VOID MlmePeriodicExec100ms(PMP_ADAPTER adapter)
{
    PMP_PORT p = MlmeSyncGetConnectedStaPort(adapter);
    if (p == nullptr) {
        p = adapter->PortList[0];
    }
    if (p == nullptr) {
        return;
    }
    if (adapter->RegistryBlock.PingEnhance != 0 && adapter->Xmit.PowerConsumptionPeriod != 0) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        const bool stale = now.QuadPart - static_cast<LONGLONG>(adapter->Xmit.LastEchoRequestTime) > 40000000;
        if ((p->PortType == EXTSTA && !Connected(p)) || adapter->Mlme.Periodic.PowerSaveMode != 1 || stale) {
            MlmePowerConsumptionEnd(adapter);
        }
    }
}

VOID MlmePeriodicExec200ms(PMP_ADAPTER adapter)
{
    MLME_PERIODIC_BLOCK& p = adapter->Mlme.Periodic;
    const ULONG delta = p.Packets - p.LastPackets;
    p.LastPackets = p.Packets;
    bool changed = false;
    if (delta >= kLtrBusyPackets) {
        p.LtrCountdown = adapter->RegistryBlock.TP_LTRTimer;
        if (p.LtrActive == 0) {
            p.LtrActive = 1;
            changed = true;
        }
    } else if (p.LtrActive == 1) {
        if (p.LtrCountdown != 0) {
            --p.LtrCountdown;
        }
        if (p.LtrCountdown == 0) {
            p.LtrActive = 0;
            changed = true;
        }
    }
    if (changed && adapter->HalOps.PcieLTRValue != nullptr) {
        adapter->HalOps.PcieLTRValue(adapter, 0, FALSE);
    }
}

VOID MlmePeriodicExec500ms(PMP_ADAPTER adapter)
{
    PMP_PORT p = MlmeSyncGetConnectedStaPort(adapter);
    if (p == nullptr) {
        return;
    }
    const bool scanning = Scanning(adapter);
    const bool pending = RoamOrConnectPending(adapter);
    const CHAR rssi = RssiAverageByChains(adapter, p->RssiAvg[0], p->RssiAvg[1], p->RssiAvg[2]);
    if (Connected(p) && !pending &&
        (NeedRoamBadAvgRssi(adapter, p, rssi) || RssiChangeMonitorForScan(adapter, rssi)) &&
        IsRoamingAllowed(adapter, p) && !scanning) {
        adapter->RssiPeak = rssi;
        adapter->RssiLowest = rssi;
        IndicateRoam(adapter, p, kRoamReasonRssi);
        return;
    }
    if (p->Ind.BeaconLost && (p->Mlme.StatusWord & PORT_MLME_DISCONNECT_REQUESTED) == 0 && !pending) {
        if (p->RoamingNeededCount > kBeaconLossLinkDownAbove) {
            p->Ind.BeaconLost = 0;
            const ULONG portNumber = p->PortNumber;
            (void)QZEnqueueInternalCmd(adapter, p, INTERNAL_CMD_LINK_LOSS, &portNumber, sizeof(portNumber));
        } else if (!scanning) {
            if (p->RoamingNeededCount != 0) {
                adapter->RoamAfterBeaconLoss = 1;
                IndicateRoam(adapter, p, kRoamReasonBeaconLoss);
            }
            ++p->RoamingNeededCount;
        }
        return;
    }
    if (Connected(p) && !scanning && adapter->Mlme.Periodic.ForcedRoam != 0 && p->Channel.Band == BAND_6G) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "ForceIndicateRoam");
        IndicateRoam(adapter, p, kRoamReasonRssi);
    }
}

VOID MlmePeriodicExec1s(PMP_ADAPTER adapter)
{
    PMP_PORT p = MlmeSyncGetConnectedStaPort(adapter);
    if (p == nullptr) {
        return;
    }
    MLME_PERIODIC_BLOCK& pb = adapter->Mlme.Periodic;
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    ++pb.Seconds;
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    pb.LastSecondTime = now.QuadPart;
    pb.SamplingPeriodUs = kUsPerSecond;
    Post(adapter, p, INTERNAL_CMD_STA_PERIODIC);
    MeasureTraffic(pb);
    adapter->Mlme.Req.CurrentThroughputMbps = pb.TotalMbps;
    (void)MlmeDumpTXPendingPktbyWcid(adapter);
    if (reg.fgPerfIndicatorEn == 1) {
        NdisCommonResetPerfIndicator(adapter);
    }
    if (reg.pktPendingDetect != 0) {
        ULONG start = 0;
        const NTSTATUS status =
            GetHostRegistryValue(u"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Control\\WMI\\Autologger\\QZLWL",
                                 u"Start", &start);
        adapter->RegistryBlock.dynamicICSEn = status == STATUS_SUCCESS ? static_cast<UCHAR>(start) : 0;
    }
    if (reg.HLegacy11g != 0) {
        DecideTputMode(adapter, p);
        if (p->Mlme.TputModeChanged) {
            (void)QzCmdSwDbgCtrl(adapter, kTputModeId, p->Mlme.TputMode);
            p->Mlme.TputModeChanged = 0;
        }
    }
    // The IoT lab rules of the three seconds after a link up.
    bssIotLabTick(adapter, p);
    // The MLME thread runs at least once a second.
    PlatformSignalThread(&adapter->MlmeThread);
}

VOID MlmePeriodicExec5s(PMP_ADAPTER adapter)
{
    MLME_PERIODIC_BLOCK& p = adapter->Mlme.Periodic;
    if (!p.SarOpened && p.SarOpenTries < kSarOpenTriesMax) {
        ++p.SarOpenTries;
        SarOpenSensorObject(adapter);
    }
    if (adapter->RegistryBlock.EnablePowerOnCalEnhancement != 0 && p.CalEnhancement && p.CalState == kCalStateWaiting) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        if (now.QuadPart - p.CalStateTime >= kCalEnhancementWait) {
            p.CalState = kCalStateFetch;
            Post(adapter, adapter->PortList[0], INTERNAL_CMD_CAL_COLLECT);
        }
    }
}

NTSTATUS STAMlmePeriodicExec(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const LOW_POWER_BLOCK& lp = adapter->LowPower;
    if (lp.LowPowerCountdownActive && lp.LowPowerCountdown == 0) {
        return STATUS_SUCCESS;
    }
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 == nullptr) {
        return STATUS_SUCCESS;
    }
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    if (Connected(port0) && !Scanning(adapter)) {
        (void)QzCmdQueryLinkQuality(adapter);
        if (HalDeviceGeneration(adapter->DeviceId) == CHIP_GENERATION_OLDER && reg.DowngradeTxStreamFeatureEnable != 0 &&
            (reg.DowngradeTxStreamLowTempEnable != 0 || reg.DowngradeTxStreamHighTempEnable != 0)) {
            (void)QzCmdQueryCurrentTemperature(adapter);
        }
    }
    return STATUS_SUCCESS;
}

VOID DecideTputMode(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_PERIODIC_BLOCK& pb = adapter->Mlme.Periodic;
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    const ULONG tx = pb.TxMbps;
    const ULONG rx = pb.RxMbps;
    const bool station24 = port->PortType == EXTSTA && Connected(port) && port->Channel.Band == BAND_24G &&
                           port->Channel.PrimaryChannel <= 14;
    if (!station24) {
        SetTputMode(port, 0);
    } else if (port->Mlme.TputMode != 0) {
        if (tx < reg.IdleThreshold && rx < reg.IdleThreshold) {
            if (++pb.TputIdleCount > reg.IdleThresholdCont) {
                SetTputMode(port, 0);
            }
        } else {
            pb.TputIdleCount = 0;
        }
    } else {
        pb.TputIdleCount = 0;
        // Rows H, M, L; columns Legacy11g, 11nBW20, 11nBW40, 11xBW20, 11xBW40.
        const ULONG table[3][5] = {
            {reg.HLegacy11g, reg.H11nBW20, reg.H11nBW40, reg.H11xBW20, reg.H11xBW40},
            {reg.MLegacy11g, reg.M11nBW20, reg.M11nBW40, reg.M11xBW20, reg.M11xBW40},
            {reg.LLegacy11g, reg.L11nBW20, reg.L11nBW40, reg.L11xBW20, reg.L11xBW40},
        };
        const bool wide = port->Channel.Bandwidth != 0;
        ULONG column = 0;
        if (port->Mlme.Req.SavedBssEntry.HePresent) {
            column = wide ? 4 : 3;
        } else if (port->Mlme.Req.SavedBssEntry.HtCapabilityLen != 0) {
            column = wide ? 2 : 1;
        }
        const LONG signal = port->Ind.LastLinkQuality;
        const ULONG band = signal > static_cast<LONG>(reg.HSignal) ? 0 : signal > static_cast<LONG>(reg.MSignal) ? 1 : 2;
        ULONG t = 0;
        ULONG r = 0;
        Thresholds(table[band][column], &t, &r);
        if (t < pb.PrevTxMbps && t < tx) {
            SetTputMode(port, 1);
        } else if ((r < pb.PrevRxMbps && r < rx) ||
                   (column == 0 && band < 2 && rx > 1 && reg.KeepReconnectCnt != 0)) {
            SetTputMode(port, 2);
        }
    }
    pb.PrevTxMbps = tx;
    pb.PrevRxMbps = rx;
}
