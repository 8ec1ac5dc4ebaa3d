// The configuration table and the pure steps of its reader.
#include "platform/ndiscommon/registry_table.h"

#include <cstddef>

#include "platform/ndiscommon/trace.h"

// ---- the table ----------------------------------------------------------------------------------

#define REG_NAME(text)                                                                             \
    {static_cast<USHORT>(sizeof(text) - sizeof(WCHAR)), static_cast<USHORT>(sizeof(text)),         \
     const_cast<PWSTR>(text)}
#define REG_ROW(text, kind, field, def, min, max)                                                  \
    {REG_NAME(text), 0, (kind), static_cast<ULONG>(offsetof(REGISTRY_BLOCK, field)),               \
     static_cast<ULONG>(sizeof(REGISTRY_BLOCK::field)), (def), (min), (max)}
// An integer row whose field carries the row's name.
#define REG_INT(field, def, min, max) REG_ROW(u"" #field, REGISTRY_KIND_ULONG, field, def, min, max)
#define REG_INT_KIND1(field, def, min, max) REG_ROW(u"" #field, REGISTRY_KIND_ULONG_ALT, field, def, min, max)
// An integer row whose name cannot be a field name.
#define REG_FIELD(field, text, def, min, max) REG_ROW(u"" text, REGISTRY_KIND_ULONG, field, def, min, max)
#define REG_STRING(name, index) {REG_NAME(u"" #name), 0, REGISTRY_KIND_STRING, (index), 0, 0, 0, 0}

// Rows without a known range or default are 4-byte values, default 0, any value
// (docs/registry-defaults.md lists them).
constexpr REGISTRY_PARAMETER_ENTRY g_RegistryParameterTable[REGISTRY_PARAMETER_COUNT] = {
    REG_INT(OpMode, 0, 0, 1),
    REG_INT(BinMode, 0, 0, 1),
    REG_INT(TxopLimit, 0, 0, 65535),
    REG_INT(Hlk_feature_optional, 2079, 0, REGISTRY_ANY),
    REG_INT(Config_11AC, 63, 0, REGISTRY_ANY),
    REG_INT(Config_11AX, 2039, 0, REGISTRY_ANY),
    REG_INT(BaSize_11AX, 0x1000100, 0, REGISTRY_ANY),
    REG_INT(Config_6G, 171, 0, REGISTRY_ANY),
    REG_INT(Config_11BE, 113, 0, REGISTRY_ANY),
    REG_INT(SigmaEn, 0, 0, REGISTRY_ANY),
    REG_INT(LinkQualityThreshold, 0, 0, REGISTRY_ANY),
    REG_INT(CountForLinkQuality, 0, 0, REGISTRY_ANY),
    REG_INT(RoamNeedIndicateTh, 75, 0, 100),
    REG_INT(SsidUpTime, 180, 0, 1800),
    REG_INT(SsidCLNum, 20, 0, 48),
    REG_INT(RoamScanPeriod, 10, 0, REGISTRY_ANY),
    REG_INT(RoamingAffinity, 0, 0, REGISTRY_ANY),
    REG_INT(SaeTO, 200, 20, 10000),
    REG_INT(PsEnable, 0, 1, 100),
    REG_INT(ForcePS, 0, 0, REGISTRY_ANY),
    REG_INT(MmioMonitorEn, 0, 0, 1),
    REG_INT(LowPowerEnable, 1, 0, 2),
    REG_INT(TpTestMode, 0, 0, 1),
    REG_INT(Ra1ss1t6g, 1, 0, 1),
    REG_INT(Ra1ss1t6gOfdmOnly, 1, 0, REGISTRY_ANY),
    REG_INT(Ra1ss1t6gPwrOfstEn, 0, 0, REGISTRY_ANY),
    REG_INT(Ra1ss1t6gPwrOfst, 0, 0, 20),
    REG_INT(Default6GTxPower, 0, 0, 2),
    REG_INT(LPSupportNonMS, 1, 0, 1),
    REG_INT(DeInitLP, 2, 0, 2),
    REG_INT(OemLedMode, 0, 0, REGISTRY_ANY),
    REG_INT(DelayInterruptSettings, 33542, 33542, 47856),
    REG_INT(EnableKrack, 0, 0, REGISTRY_ANY),
    REG_INT(AMPDURx, 1, 0, 1),
    REG_INT(AMPDUTx, 1, 0, 1),
    REG_INT(AMSDURx, 1, 0, 1),
    REG_INT(AMSDUTx, 1, 0, 1),
    REG_INT(WPA3Pmkid, 0, 0, 255),
    REG_INT(FastTransition, 1, 0, 1),
    REG_INT(Reorder, 0, 0, REGISTRY_ANY),
    REG_INT(Ageout, 30, 0, 100),
    REG_INT(GOAgeout, 50, 0, 100),
    REG_INT(P2PAgeout, 20, 0, 100),
    REG_INT(TputHE, 100, 0, 800),
    REG_INT(TputVHT, 100, 0, 800),
    REG_INT(TputHT, 50, 0, 400),
    REG_INT(TputLegacy, 5, 0, 54),
    REG_INT(TputScenario, 25, 0, 54),
    REG_INT(DowngradeTxStreamFeatureEnable, 1, 0, 1),
    REG_INT(DowngradeTxStreamLowTempEnable, 1, 0, 1),
    REG_INT(DowngradeTxStreamLowTemp, 110, 0, 130),
    REG_INT(DowngradeTxStreamHighTempEnable, 1, 0, 1),
    REG_INT(DowngradeTxStreamHighTemp, 120, 0, 130),
    REG_INT(BckScanInterval, 300, 0, 600),
    REG_INT(SkipBckScanInterval, 0, 0, REGISTRY_ANY),
    REG_INT(TpParameter1, 0, 0, 64),
    REG_INT(TpParameter2, 0, 0, 256),
    REG_INT(TpParameter3, 0, 0, 1024),
    REG_INT(SwDlyIntEn, 0, 0, 1),
    REG_INT(SwDlyIntTpMax, 2000, 0, 10000),
    REG_INT(SwDlyIntTpMin, 20, 0, 10000),
    REG_INT(SwDlyIntRxDataCntTh, 4, 0, 1000),
    REG_INT(SwDlyIntRxDataToTh, 30, 0, 1000),
    REG_INT(SwDlyIntRxMsduRptCntTh, 16, 0, 1000),
    REG_INT(SwDlyIntRxMsduRptToTh, 170, 0, 1000),
    REG_INT(LockFreeDriverOwnDelay, 1000, 0, 1000),
    REG_INT(LockFreeFwOwnDelay, 1000, 0, 1000),
    REG_INT(ZiziSolution, 1, 0, 1),
    REG_INT(Log2AirEnable, 0, 0, 1),
    REG_INT(Radio, 7, 0, REGISTRY_ANY),
    REG_INT(CustomizeMinDwellTime, 10, 0, 300),
    REG_INT(CustomizeDFSTime, 60, 0, 300),
    REG_INT(EnablePowerOnCalEnhancement, 1, 0, 1),
    REG_INT(CertReg, 0, 0, REGISTRY_ANY),
    REG_INT(BlockEAPStart, 0, 0, 1),
    REG_INT(fgCertSCV, 0, 0, 1),
    REG_INT(fgCertAC, 0, 0, 255),
    REG_INT(fgSkipRegulatory, 0, 0, 255),
    REG_INT(DissocIndDelay, 64, 0, 1),
    REG_INT(fgCodeLockDown, 0, 0, REGISTRY_ANY),
    REG_INT(CountryRoamingEn, 0, 0, 1),
    REG_INT(SmartCountryDecisionEn, 0, 0, 1),
    REG_INT(DynamicCountryDecisionEn, 0, 0, 1),
    REG_STRING(CountryRegionString, REGISTRY_STRING_COUNTRY_REGION),
    REG_INT(CountryDecisionNum, 1, 0, 65535),
    REG_INT(PwrSkuEnhance2G5GEn, 1, 0, 1),
    REG_INT(Country6GEn, 1, 0, 1),
    REG_INT(Country59GEn, 1, 0, 2),
    REG_INT(Country6GSPEn, 1, 0, 2),
    REG_INT(SP6GDefaultAction, 3, 0, 4),
    REG_INT(TxPowerLevel, 0, 0, 2),
    REG_INT(BiosSarMode, 1, 0, 2),
    REG_INT(WirelessMode, 5, 0, 11),
    REG_INT(Channel, 1, 1, 255),
    REG_INT(RtsThresh, 2347, 0, 2347),
    REG_INT(FragThresh, 2346, 256, 2346),
    REG_INT(RDG, 0, 0, REGISTRY_ANY),
    REG_FIELD(Reg2G256QAM, "2G256QAM", 0, 0, 1),
    REG_STRING(SSID, REGISTRY_STRING_SSID),
    REG_STRING(VendorDesc, REGISTRY_STRING_VENDOR_DESC),
    REG_STRING(WPSDevName, REGISTRY_STRING_WPS_DEV_NAME),
    REG_STRING(WEPKey1, REGISTRY_STRING_WEP_KEY1),
    REG_STRING(WEPKey2, REGISTRY_STRING_WEP_KEY2),
    REG_STRING(WEPKey3, REGISTRY_STRING_WEP_KEY3),
    REG_STRING(WEPKey4, REGISTRY_STRING_WEP_KEY4),
    REG_STRING(NetworkAddress, REGISTRY_STRING_NETWORK_ADDRESS),
    REG_INT(RBFactor, 0, 0, REGISTRY_ANY),
    REG_INT(TBFactor, 0, 0, REGISTRY_ANY),
    REG_INT(MaxPktOneTxBulk, 0, 0, REGISTRY_ANY),
    REG_INT(BGProtection, 0, 0, 2),
    REG_INT(ShortSlot, 0, 0, 1),
    REG_INT(IEEE80211H, 0, 0, 1),
    REG_INT(CarrierDetect, 0, 0, 1),
    REG_INT(TXBurst, 0, 0, 1),
    REG_INT(WMMCapable, 0, 0, 1),
    REG_INT(APSDCapable, 0, 0, 1),
    REG_INT(APSDAC_BE, 0, 0, 1),
    REG_INT(APSDAC_BK, 0, 0, 1),
    REG_INT(APSDAC_VI, 0, 0, 1),
    REG_INT(APSDAC_VO, 0, 0, 1),
    REG_INT(MultipleIRP, 1, 0, 1),
    REG_INT_KIND1(BACapability, 0xB834040, 2, REGISTRY_ANY),
    REG_INT(TransmitSetting, 0x22D8F9, 2, REGISTRY_ANY),
    REG_INT(DLSCapable, 0, 0, 1),
    REG_INT(DirectMode, 0, 0, REGISTRY_ANY),
    REG_INT(PSPXlink, 0, 0, 1),
    REG_INT(WifiDirectControl, 0x663B8B78, 0, REGISTRY_ANY),
    REG_INT(WfdListenChannel, 11, 1, 170),
    REG_INT(WfdGOOperatingChannel, 11, 0, 180),
    REG_INT(SAPStayTimeEnable, 1, 0, 1),
    REG_INT(MccStayTimeEnable, 1, 0, 1),
    REG_INT(MccStaQuotaTimeInUs, 120, 0, 1000),
    REG_INT(MccP2pGOQuotaTimeInUs, 120, 0, 1000),
    REG_INT(MccP2pGOBrakeTimeInUs, 5, 0, 1000),
    REG_INT(MccP2pSTAMcastConQuotaTimeInUs, 30, 0, 1000),
    REG_INT(MccP2pGOMcastConQuotaTimeInUs, 320, 0, 1000),
    REG_INT(MccP2pGCQuotaTimeInUs, 60, 0, 1000),
    REG_INT(MccP2pStaGCQuotaTimeInUs, 40, 0, 1000),
    REG_INT(MccStaTimeNoGOclient, 240, 0, 1000),
    REG_INT(MccGOTimeNoGOclient, 40, 0, 1000),
    REG_INT(ZivDynamicDbdcEnable, 1, 0, 1),
    REG_INT(ZivAAModeDbdcEnable, 0, 0, 1),
    REG_INT(MccStaTimeGOLTSTALT, 50, 0, 1000),
    REG_INT(MccGOTimeGOLTSTALT, 50, 0, 1000),
    REG_INT(MccStaTimeGOHTSTALT, 40, 0, 1000),
    REG_INT(MccGOTimeGOHTSTALT, 60, 0, 1000),
    REG_INT(MccStaTimeGOVHTSTALT, 30, 0, 1000),
    REG_INT(MccGOTimeGOVHTSTALT, 180, 0, 1000),
    REG_INT(MccStaTimeGOLTSTAHT, 60, 0, 1000),
    REG_INT(MccGOTimeGOLTSTAHT, 40, 0, 1000),
    REG_INT(MccStaTimeGOHTSTAHT, 40, 0, 1000),
    REG_INT(MccGOTimeGOHTSTAHT, 60, 0, 1000),
    REG_INT(MccStaTimeGOVHTSTAHT, 40, 0, 1000),
    REG_INT(MccGOTimeGOVHTSTAHT, 60, 0, 1000),
    REG_INT(MccStaTimeGOLTSTAVHT, 70, 0, 1000),
    REG_INT(MccGOTimeGOLTSTAVHT, 30, 0, 1000),
    REG_INT(MccStaTimeGOHTSTAVHT, 40, 0, 1000),
    REG_INT(MccGOTimeGOHTSTAVHT, 60, 0, 1000),
    REG_INT(MccStaTimeGOVHTSTAVHT, 75, 0, 1000),
    REG_INT(MccGOTimeGOVHTSTAVHT, 75, 0, 1000),
    REG_INT(MccStaTimeGCLTSTALT, 50, 0, 1000),
    REG_INT(MccGCTimeGCLTSTALT, 50, 0, 1000),
    REG_INT(MccStaTimeGCHTSTALT, 40, 0, 1000),
    REG_INT(MccGCTimeGCHTSTALT, 60, 0, 1000),
    REG_INT(MccStaTimeGCLTSTAHT, 60, 0, 1000),
    REG_INT(MccGCTimeGCLTSTAHT, 40, 0, 1000),
    REG_INT(MccStaTimeGCHTSTAHT, 40, 0, 1000),
    REG_INT(MccGCTimeGCHTSTAHT, 60, 0, 1000),
    REG_INT(MccStaTimeGCLTSTAVHT, 70, 0, 1000),
    REG_INT(MccGCTimeGCLTSTAVHT, 30, 0, 1000),
    REG_INT(MccStaTimeGCHTSTAVHT, 40, 0, 1000),
    REG_INT(MccGCTimeGCHTSTAVHT, 60, 0, 1000),
    REG_INT(MccStaLTputThreshold, 1000, 0, 10000),
    REG_INT(MccStaHTputThreshold, 10000, 0, 0x186A0),
    REG_INT(MccGOLTputThreshold, 500, 0, 10000),
    REG_INT(MccGOHTputThreshold, 15000, 0, 0x186A0),
    REG_INT(MccGCLTputThreshold, 500, 0, 10000),
    REG_INT(MccNoGoClientStaTputThreshold, 50, 0, 1000),
    REG_INT(P2P_GO_Band, 2, 0, 2),
    REG_INT(WfdPhyMode, 2, 0, 3),
    REG_INT(AutoWfdBandEnable, 1, 0, 1),
    REG_INT(AutoWfdGOOpChannel, 157, 1, 180),
    REG_INT(Win8WfdWfaControl, 0, 0, REGISTRY_ANY),
    REG_INT(P2PECSAEnable, 1, 0, 1),
    REG_INT(Enable_U4TVBOX_FIX, 0, 0, 1),
    REG_INT(AutoReconnect, 1, 0, 1),
    REG_INT(NetworkType, 1, 1, 2),
    REG_INT(AdhocOfdm, 1, 0, 10),
    REG_INT(AdhocNMode, 0, 0, 1),
    REG_INT(AdhocNForceMulticastRate, 0x100000, 0, REGISTRY_ANY),
    REG_INT(Adhoc5GDisable, 0, 0, 1),
    REG_INT(AdhocN40MHzAllowed, 0, 0, 1),
    REG_INT(AdhocN14Ch40MHzAllowed, 0, 0, 1),
    REG_INT(PSMode, 0, 0, 2),
    REG_INT(ConnIdleTimeForL1, 1500, 0, 9600),
    REG_INT(PingEnhance, 1, 0, 1),
    REG_INT(PingWakeTime, 30, 30, 1000),
    REG_INT(FastRoamingSensitivity, 0, 0, 5),
    REG_INT(AutoChannelSelect, 0, 0, REGISTRY_ANY),
    REG_INT(DynamicDtimPeriod, 70, 65, 32895),
    REG_INT(IdleTime, 0, 0, REGISTRY_ANY),
    REG_INT(RssiDelta, 6, 0, 20),
    REG_INT(SmartScan, 0, 0, 1),
    REG_INT(CurrPhyMode, 0, 0, 4),
    REG_INT(BWSelection24G, 0, 0, REGISTRY_ANY),
    REG_INT(BWSelection5G, 0, 0, REGISTRY_ANY),
    REG_INT(BWSelection6G, 0, 0, 1),
    REG_INT(BandSelection, 0, 0, 3),
    REG_INT(PreferredBand, 0, 0, 3),
    REG_INT(RoamingCheckAlgorithm, 0, 0, 10),
    REG_INT(RoamingRssiReduce, 30, 0, 100),
    REG_INT(DisableWakeOnMagic, 0, 0, 1),
    REG_INT(DisableWakeOnPattern, 0, 0, 1),
    REG_INT(DisableARPOffload, 0, 0, 1),
    REG_INT(DisableGTKRekey, 0, 0, 1),
    REG_INT(UAPSDSupport, 0, 0, 1),
    REG_INT(Hotspot2gCh, 11, 1, 11),
    REG_INT(Hotspot5gCh, 36, 36, 165),
    REG_INT(AgeoutMsduReport, 300, 30, 600),
    REG_INT(Ageoutreport2, 600, 30, 800),
    REG_INT(DualClientEnable, 1, 0, REGISTRY_ANY),
    REG_INT(DfsWifi7Enable, 0, 0, 1),
    REG_INT(FccAntGain, 0, 0, 20),
    REG_INT(KeepReconnectCnt, 0, 0, 30),
    REG_INT(StaBcnLostTime, 3, 1, 120),
    REG_INT_KIND1(SoftAPForceMulticastRate, 0, 0, REGISTRY_ANY),
    REG_INT(LEDCtlBySW, 0, 0, 1),
    REG_INT(LEDMode, 0, 0, 255),
    REG_INT(LEDConfig, 0, 0, 65535),
    REG_INT(LEDAct, 0, 0, 65535),
    REG_INT(LEDPolarity, 0, 0, 65535),
    REG_INT(TEST, 0, 0, REGISTRY_ANY),
    REG_INT(LedCustMode, 0, 0, 3),
    REG_INT(CountryTxPwr, 0, 0, REGISTRY_ANY),
    REG_INT(CountryTxPwr5G, 0, 0, REGISTRY_ANY),
    REG_INT(LinkSpeedStatus, 0, 0, 2),
    REG_INT(WAPI, 0, 0, REGISTRY_ANY),
    REG_INT(MFPC, 1, 0, 1),
    REG_INT(MFPM3, 0, 0, 2),
    REG_INT(BssidRepositTime, 30, 0, 255),
    REG_INT(BeaconLostTime, 3, 3, 8),
    REG_INT(ProhibitTKIPonHT, 0, 0, 1),
    REG_INT(LinkQualitySetting, 0, 0, 255),
    REG_INT(LinkSpeedMode, 1, 0, REGISTRY_ANY),
    REG_INT(Ch14BOnly, 1, 0, 1),
    REG_INT(PALRegulatoryClass, 0, 0, REGISTRY_ANY),
    REG_INT(PALCapability, 0, 0, REGISTRY_ANY),
    REG_INT(PALVersionSpecifier, 0, 0, REGISTRY_ANY),
    REG_INT(PALCompany_ID, 0, 0, REGISTRY_ANY),
    REG_INT(PALSubVersion, 0, 0, REGISTRY_ANY),
    REG_INT(SarSensorMode, 1, 0, 255),
    REG_INT(SingleSkuDebugCh, 0, 0, 255),
    REG_INT(ChipPowerLimitEnable, 0, 0, 255),
    REG_INT(SAR256GSimulate, 0, 0, 0x1FFFFFF),
    REG_INT(AssocRetryTimes, 0, 0, REGISTRY_ANY),
    REG_INT(LedCfg, 0, 0, REGISTRY_ANY),
    REG_INT(Feature11n, 1, 0, REGISTRY_ANY),
    REG_INT(AdaptiveFreq, 0, 0, REGISTRY_ANY),
    REG_INT(TxPowerDefault, 100, 0, 100),
    REG_FIELD(Reg11nTxBurstTimeTest, "11nTxBurstTimeTest", 0, 0, REGISTRY_ANY),
    REG_INT(AdTxPwrForFCCTest, 0, 0, REGISTRY_ANY),
    REG_INT(DisableTxRxLdpc, 0, 0, 255),
    REG_INT(CustomizedPowerMode, 0, 0, REGISTRY_ANY),
    REG_INT(MaxTxPower, 0, 0, REGISTRY_ANY),
    REG_INT(CountryTargetTxPowerMode, 0, 0, REGISTRY_ANY),
    REG_INT(StreamMode, 0, 0, REGISTRY_ANY),
    REG_INT(ChannelSwitchOffloadToFW, 0, 0, REGISTRY_ANY),
    REG_INT(BBPIDV, 0, 0, REGISTRY_ANY),
    REG_INT(NLOEnable, 1, 0, 1),
    REG_INT(WepConnectCheckEncry, 0, 0, 1),
    REG_INT(FeatureSetting, 0, 0, REGISTRY_ANY),
    REG_INT(ETxBfEn, 0, 0, 1),
    REG_INT(ETxBfTimeout, 0, 0, 65535),
    REG_INT(ETxBfNonCompressedFeedback, 0, 0, 1),
    REG_INT(P2PAckCheck, 0, 0, REGISTRY_ANY),
    REG_INT(P2PVideoBoost, 0, 0, REGISTRY_ANY),
    REG_INT(WSCVersion2, 32, 0, 32),
    REG_INT(WSC20Testbed, 8, 0, REGISTRY_ANY),
    REG_INT(WscHwPBCMode, 0, 0, 1),
    REG_INT(MPolicy, 0, 0, REGISTRY_ANY),
    REG_INT(SuppressScan, 0, 0, REGISTRY_ANY),
    REG_INT(EnablePPAD, 1, 0, 1),
    REG_INT(ChannelMode, 0, 0, 2),
    REG_INT(PreferABand, 0, 0, 1),
    REG_INT(InBoxMode, 0, 0, REGISTRY_ANY),
    REG_INT(BandedgePowerTableEnable, 0, 0, REGISTRY_ANY),
    REG_INT(RxCheckDupFrame, 0, 0, 1),
    REG_INT(SwitchChannelOffloadEnable, 0, 0, REGISTRY_ANY),
    REG_INT(FullCalibrationOffloadEnable, 0, 0, REGISTRY_ANY),
    REG_INT(ThermalEnable, 1, 0, 1),
    REG_INT(ThermalProtBand_A, 1, 0, 1),
    REG_INT(ThermalProtLV0_A, 100, 0, 100),
    REG_INT(ThermalProtLV1_A, 90, 0, 100),
    REG_INT(ThermalProtLV2_A, 80, 0, 100),
    REG_INT(ThermalProtLV3_A, 60, 0, 100),
    REG_INT(ThermalProtType_A, 1, 0, 1),
    REG_INT(ThermalProtTrigType_A, 1, 0, 1),
    REG_INT(ThermalProtTrigTemp_A, 105, 0, 125),
    REG_INT(ThermalProtRestoreTemp_A, 100, 0, 125),
    REG_INT(ThermalProtCheckTime_A, 10, 0, 100),
    REG_INT(ThermalProtBand_G, 1, 0, 1),
    REG_INT(ThermalProtLV0_G, 100, 0, 100),
    REG_INT(ThermalProtLV1_G, 90, 0, 100),
    REG_INT(ThermalProtLV2_G, 80, 0, 100),
    REG_INT(ThermalProtLV3_G, 60, 0, 100),
    REG_INT(ThermalProtType_G, 1, 0, 1),
    REG_INT(ThermalProtTrigType_G, 1, 0, 1),
    REG_INT(ThermalProtTrigTemp_G, 105, 0, 125),
    REG_INT(ThermalProtRestoreTemp_G, 100, 0, 125),
    REG_INT(ThermalProtCheckTime_G, 10, 0, 100),
    REG_INT(FwlogLevelEnable, 0, 0, REGISTRY_ANY),
    REG_INT(CalibrationOption, 273, 0, REGISTRY_ANY),
    REG_INT(DynamicTxEnhanceSwitching, 1, 0, 1),
    REG_INT(PMEnable, 0, 0, 1),
    REG_INT(EDCCAEnable, 0, 0, 1),
    REG_INT(EDCCADebug, 0, 0, 1),
    REG_INT(Auth360, 0, 0, 1),
    REG_INT(VhtSigmaTest, 0, 0, REGISTRY_ANY),
    REG_INT(FixAPBW20, 0, 0, 1),
    REG_INT(DisableVirtualPort, 0, 0, 1),
    REG_INT(ScanListByRssi, 1, 0, 1),
    REG_INT(EnduranceTest, 0, 0, REGISTRY_ANY),
    REG_INT(SWChannel, 0, 0, REGISTRY_ANY),
    REG_INT(SWChannel5G, 0, 0, REGISTRY_ANY),
    REG_INT(FwLogToHost, 0, 0, REGISTRY_ANY),
    REG_STRING(WF_BigFWFileName, REGISTRY_STRING_WF_BIG_FW_FILE_NAME),
    REG_STRING(BT_BigFWFileName, REGISTRY_STRING_BT_BIG_FW_FILE_NAME),
    REG_STRING(BT_ServiceName, REGISTRY_STRING_BT_SERVICE_NAME),
    REG_INT(FWBin, 1, 0, 1),
    REG_INT(SwDbg, 0, 0, REGISTRY_ANY),
    REG_INT(APTGN, 0, 0, 1),
    REG_INT(BeaconType, 1, 0, 2),
    REG_INT(ClearBcnQEnable, 0, 0, REGISTRY_ANY),
    REG_INT(TlvPreAllocDescriptors, 0, 0, REGISTRY_ANY),
    REG_INT(TlvExtraDescriptors, 0, 0, REGISTRY_ANY),
    REG_INT(TlvPreAllocBuffers, 0, 0, REGISTRY_ANY),
    REG_INT(TlvExtraBuffers, 0, 0, REGISTRY_ANY),
    REG_INT(TlvBufferSize, 0, 0, REGISTRY_ANY),
    REG_STRING(AdapScan, REGISTRY_STRING_ADAP_SCAN),
    REG_INT(EfuseBufferModeCal, 0, 0, REGISTRY_ANY),
    REG_INT(FWBuildScnChList, 1, 0, 255),
    REG_INT(ScanAgeOutTime, 30, 0, 600),
    REG_INT(WakeUpCapabilities, REGISTRY_ANY, 0, REGISTRY_ANY),
    REG_INT(WakeUpFuncEnable, REGISTRY_ANY, 0, REGISTRY_ANY),
    REG_INT(HLegacy11g, 0x100010, 0, REGISTRY_ANY),
    REG_INT(H11nBW20, 0x400040, 0, REGISTRY_ANY),
    REG_INT(H11nBW40, 0x800080, 0, REGISTRY_ANY),
    REG_INT(H11xBW20, 0x900090, 0, REGISTRY_ANY),
    REG_INT(H11xBW40, 0x1200120, 0, REGISTRY_ANY),
    REG_INT(HSignal, 45, 0, REGISTRY_ANY),
    REG_INT(MLegacy11g, 0x90009, 0, REGISTRY_ANY),
    REG_INT(M11nBW20, 0x200020, 0, REGISTRY_ANY),
    REG_INT(M11nBW40, 0x400040, 0, REGISTRY_ANY),
    REG_INT(M11xBW20, 0x600060, 0, REGISTRY_ANY),
    REG_INT(M11xBW40, 0x800080, 0, REGISTRY_ANY),
    REG_INT(MSignal, 32, 0, REGISTRY_ANY),
    REG_INT(LLegacy11g, 0x60006, 0, REGISTRY_ANY),
    REG_INT(L11nBW20, 0x100010, 0, REGISTRY_ANY),
    REG_INT(L11nBW40, 0x200020, 0, REGISTRY_ANY),
    REG_INT(L11xBW20, 0x300030, 0, REGISTRY_ANY),
    REG_INT(L11xBW40, 0x400040, 0, REGISTRY_ANY),
    REG_INT(IdleThreshold, 3, 0, REGISTRY_ANY),
    REG_INT(IdleThresholdCont, 15, 0, REGISTRY_ANY),
    REG_INT(N6PCiMaxLoopCount, 0, 0, REGISTRY_ANY),
    REG_INT(TxCnt, 0, 0, REGISTRY_ANY),
    REG_INT(PciLinkCtrl, 62, 0, 63),
    REG_INT(PciLtrLatency, 0x10031003, 0, REGISTRY_ANY),
    REG_INT(PciLTREnable, 1, 0, 1),
    REG_INT(TP_LTRTimer, 3, 0, 50),
    REG_INT(LoadBtPatchEn, 0, 0, 1),
    REG_INT(EdccaDetectEnable, 0, 0, 255),
    REG_INT(RomVer, 0, 0, 3),
    REG_INT(FwStallRecovery, 7, 0, REGISTRY_ANY),
    REG_INT(SysRcvyEn, 1, 0, 1),
    REG_INT(EnableSR, 1, 0, 1),
    REG_INT(TherAdm, 0xA0706070, 0, REGISTRY_ANY),
    REG_INT(PassiveToActiveScan, 1, 0, 1),
    REG_INT(CoexGModeRate, 0, 0, REGISTRY_ANY),
    REG_INT(TxRxThreadMode, 1, 0, 1),
    REG_INT(HwDlyIntEn, 1, 0, 1),
    REG_INT(PCIeLtrEnableForKeepCpuStayInC0State, 0, 0, REGISTRY_ANY),
    REG_INT(Hotspot20Enable, 0, 0, REGISTRY_ANY),
    REG_INT(EthernetDetection, 0, 0, 1),
    REG_INT(EthernetDetectionInterval, 5000, 0, 10000),
    REG_INT(EnDefaultIotApRule, 1, 0, 1),
    REG_INT(HotspotMCCEnable, 0, 0, REGISTRY_ANY),
    REG_INT(HotspotProbeRspFWoffload, 0, 0, REGISTRY_ANY),
    REG_INT(VHTOpModeSMPSEnableInRx, 1, 0, 1),
    REG_INT(HotspotMCCTputOptimization, 0, 0, 1),
    REG_STRING(CSSCode, REGISTRY_STRING_CSS_CODE),
    REG_INT(BatteryLifeImprove, 1, 0, 1),
    REG_INT(WpsQtTestEnable, 0, 0, 255),
    REG_INT(EnablePcieSwitch, 0, 0, 1),
    REG_INT(EnablePcieGenSwitchHighTH, 1200, 1, 0xF423F),
    REG_INT(EnablePcieGenSwitchLowTH, 30, 1, 0xF423F),
    REG_INT(FWIndexLogCheck, 1, 0, 1),
    REG_INT(TxDirectThreshold, 32, 0, REGISTRY_ANY),
    REG_INT(OptimizeFragIndLimitEn, 1, 0, 1),
    REG_INT(fgPerfIndicatorEn, 1, 0, 1),
    REG_INT(txStallDetect, 1, 0, 255),
    REG_INT(pktPendingDetect, 1, 0, 255),
    REG_INT(dynamicICSEn, 0, 0, 255),
    REG_INT(GetRssiAvgCount, 8, 8, 30),
    REG_INT(EnableGetRssiAvg, 0, 0, REGISTRY_ANY),
    REG_INT(LastChannel, 0, 0, REGISTRY_ANY),
    REG_INT(LastBand, 0, 0, REGISTRY_ANY),
    REG_INT(RebootScanEnhancement, 1, 0, 1),
    REG_INT(RebootScanRetryThreshold, 2, 0, 100),
    REG_INT(EnableWHQLConnectionEnhance, 1, 0, 1),
    REG_INT(EnableBtCoredumpExport, 1, 0, REGISTRY_ANY),
    REG_INT(TestYBFlag, 0, 0, 1),
    REG_INT(IcsTimeSyncCnt, 1000, 0, 10000),
    REG_INT(DMAExtension, 1, 0, 1),
    REG_INT(BtDumpSop, 1, 0, 1),
    REG_INT(isTPPreferBand, 0, 0, REGISTRY_ANY),
    REG_INT(bHideWiFi7CapOS, 0, 0, 1),
    REG_INT(IcmpFixRate, 0, 0, 1),
    REG_INT(AFCEnable, 0, 0, 1),
};

#undef REG_NAME
#undef REG_ROW
#undef REG_INT
#undef REG_INT_KIND1
#undef REG_FIELD
#undef REG_STRING

namespace {

// Layout checks made once, when the table is compiled: every integer row lies inside the rows'
// part of the block, is 1, 2 or 4 bytes wide, and shares no byte with another row.
constexpr bool RowsFitTheBlock()
{
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (row.Kind == REGISTRY_KIND_STRING) {
            if (row.Destination >= REGISTRY_STRING_COUNT) {
                return false;
            }
            continue;
        }
        if (row.Size != 1 && row.Size != 2 && row.Size != 4) {
            return false;
        }
        if (row.Destination + row.Size > offsetof(REGISTRY_BLOCK, BtContainerPath)) {
            return false;
        }
    }
    return true;
}

constexpr bool RowsDoNotOverlap()
{
    for (ULONG i = 0; i < REGISTRY_PARAMETER_COUNT; ++i) {
        const REGISTRY_PARAMETER_ENTRY& a = g_RegistryParameterTable[i];
        for (ULONG j = i + 1; j < REGISTRY_PARAMETER_COUNT; ++j) {
            const REGISTRY_PARAMETER_ENTRY& b = g_RegistryParameterTable[j];
            if (a.Kind == REGISTRY_KIND_STRING || b.Kind == REGISTRY_KIND_STRING) {
                if (a.Kind == b.Kind && a.Destination == b.Destination) {
                    return false;
                }
                continue;
            }
            if (a.Destination < b.Destination + b.Size && b.Destination < a.Destination + a.Size) {
                return false;
            }
        }
    }
    return true;
}

static_assert(RowsFitTheBlock(), "a configuration row does not fit the registry block");
static_assert(RowsDoNotOverlap(), "two configuration rows share bytes of the registry block");

}  // namespace

// ---- string block -------------------------------------------------------------------------------

const USHORT g_RegistryStringCapacity[REGISTRY_STRING_COUNT] = {
    64,   // "SSID"
    128,  // "VendorDesc"
    128,  // "WEPKey1"
    128,  // "WEPKey2"
    128,  // "WEPKey3"
    128,  // "WEPKey4"
    64,   // "NetworkAddress"
    64,   // "WPSDevName"
    64,   // "CountryRegionString"
    32,   // "AdapScan"
    64,   // "CSSCode"
    256,  // "WF_BigFWFileName"
    256,  // "BT_BigFWFileName"
    256,  // "BT_ServiceName"
};

REGISTRY_STRING_BLOCK g_RegistryStringBlock;

void RegistryStringBlockInit(PREGISTRY_STRING_BLOCK strings)
{
    std::memset(strings->Storage, 0, sizeof(strings->Storage));
    for (ULONG i = 0; i < REGISTRY_STRING_COUNT; ++i) {
        strings->Strings[i].Length = 0;
        strings->Strings[i].MaximumLength = g_RegistryStringCapacity[i];
        strings->Strings[i].Buffer = strings->Storage[i];
    }
}

NTSTATUS RegistryStoreString(PREGISTRY_STRING_BLOCK strings, ULONG index, PCWSTR text, ULONG lengthBytes)
{
    if (index >= REGISTRY_STRING_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "string index %u outside the block", static_cast<unsigned>(index));
        return STATUS_INVALID_PARAMETER;
    }
    PUNICODE_STRING target = &strings->Strings[index];
    ULONG length = text != nullptr ? lengthBytes : 0;
    length &= ~static_cast<ULONG>(sizeof(WCHAR) - 1);  // whole characters only
    if (length > g_RegistryStringCapacity[index]) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "string %u cut from %u to %u bytes", static_cast<unsigned>(index),
                 static_cast<unsigned>(length), static_cast<unsigned>(g_RegistryStringCapacity[index]));
        length = g_RegistryStringCapacity[index];
    }
    target->Buffer = strings->Storage[index];
    target->MaximumLength = g_RegistryStringCapacity[index];
    if (length != 0) {
        std::memmove(target->Buffer, text, length);
    }
    target->Buffer[length / sizeof(WCHAR)] = 0;
    target->Length = static_cast<USHORT>(length);
    return STATUS_SUCCESS;
}

// ---- integer rows -------------------------------------------------------------------------------

namespace {

bool IntegerRowFits(PCREGISTRY_PARAMETER_ENTRY row)
{
    if (row->Size != 1 && row->Size != 2 && row->Size != 4) {
        return false;
    }
    return row->Destination <= sizeof(REGISTRY_BLOCK) - row->Size;
}

bool IsIntegerKind(ULONG kind) { return kind == REGISTRY_KIND_ULONG || kind == REGISTRY_KIND_ULONG_ALT; }

}  // namespace

NTSTATUS RegistryStoreInteger(PREGISTRY_BLOCK block, PCREGISTRY_PARAMETER_ENTRY row, BOOLEAN present, ULONG value,
                              PULONG stored)
{
    if (!IsIntegerKind(row->Kind)) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    if (!IntegerRowFits(row)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "row at %u size %u does not fit the block",
                 static_cast<unsigned>(row->Destination), static_cast<unsigned>(row->Size));
        return STATUS_INVALID_PARAMETER;
    }
    ULONG chosen = (present && value >= row->Minimum && value <= row->Maximum) ? value : row->Default;
    PUCHAR field = reinterpret_cast<PUCHAR>(block) + row->Destination;
    switch (row->Size) {
    case 1: {
        UCHAR narrow = static_cast<UCHAR>(chosen);
        std::memcpy(field, &narrow, sizeof(narrow));
        break;
    }
    case 2: {
        USHORT narrow = static_cast<USHORT>(chosen);
        std::memcpy(field, &narrow, sizeof(narrow));
        break;
    }
    default:
        std::memcpy(field, &chosen, sizeof(chosen));
        break;
    }
    if (stored != nullptr) {
        *stored = chosen;
    }
    return STATUS_SUCCESS;
}

ULONG RegistryReadInteger(const REGISTRY_BLOCK* block, PCREGISTRY_PARAMETER_ENTRY row)
{
    if (!IsIntegerKind(row->Kind) || !IntegerRowFits(row)) {
        return 0;
    }
    const UCHAR* field = reinterpret_cast<const UCHAR*>(block) + row->Destination;
    switch (row->Size) {
    case 1:
        return *field;
    case 2: {
        USHORT value;
        std::memcpy(&value, field, sizeof(value));
        return value;
    }
    default: {
        ULONG value;
        std::memcpy(&value, field, sizeof(value));
        return value;
    }
    }
}

// ---- derived values -----------------------------------------------------------------------------

namespace {

// Characters of a counted string, up to its first zero.
ULONG CountedChars(PCUNICODE_STRING text)
{
    if (text == nullptr || text->Buffer == nullptr) {
        return 0;
    }
    ULONG chars = text->Length / sizeof(WCHAR);
    for (ULONG i = 0; i < chars; ++i) {
        if (text->Buffer[i] == 0) {
            return i;
        }
    }
    return chars;
}

// 8-bit text of at most maxChars characters: 7-bit characters as they are, any other '?'.
ULONG ToAnsi(PCUNICODE_STRING text, PCHAR out, ULONG maxChars)
{
    ULONG chars = CountedChars(text);
    if (chars > maxChars) {
        chars = maxChars;
    }
    for (ULONG i = 0; i < chars; ++i) {
        WCHAR c = text->Buffer[i];
        out[i] = c < 0x80 ? static_cast<CHAR>(c) : '?';
    }
    return chars;
}

// The character with bit 5 cleared when it is then a letter A-Z, else 0.
CHAR UpperLetter(CHAR c)
{
    CHAR upper = static_cast<CHAR>(c & ~0x20);
    return (upper >= 'A' && upper <= 'Z') ? upper : 0;
}

// Copies a zero-terminated literal or a counted string into a firmware path buffer, zero-terminated.
void CopyPath(PWCHAR out, PCWSTR text, ULONG chars)
{
    if (chars > REGISTRY_FW_PATH_CHARS - 1) {
        chars = REGISTRY_FW_PATH_CHARS - 1;
    }
    if (chars != 0) {
        std::memcpy(out, text, chars * sizeof(WCHAR));
    }
    out[chars] = 0;
}

ULONG LiteralChars(PCWSTR text)
{
    ULONG chars = 0;
    while (text[chars] != 0) {
        ++chars;
    }
    return chars;
}

// The block's string when it is not empty, else the literal.
void CopyNameOrDefault(PWCHAR out, PCREGISTRY_STRING_BLOCK strings, ULONG index, PCWSTR fallback)
{
    ULONG chars = CountedChars(&strings->Strings[index]);
    if (chars != 0) {
        CopyPath(out, strings->Strings[index].Buffer, chars);
    } else {
        CopyPath(out, fallback, LiteralChars(fallback));
    }
}

bool IsHexDigit(CHAR c) { return AsciiHexToNibble(c) != 0xFF; }

}  // namespace

USHORT RegistryParseCountryCode(PCUNICODE_STRING text)
{
    CHAR letters[2];
    if (ToAnsi(text, letters, 2) == 2) {
        CHAR first = UpperLetter(letters[0]);
        CHAR second = UpperLetter(letters[1]);
        if (first != 0 && second != 0) {
            return REGISTRY_COUNTRY_CODE(static_cast<UCHAR>(first), static_cast<UCHAR>(second));
        }
    }
    return REGISTRY_DEFAULT_COUNTRY_CODE;
}

UCHAR RegistryParseCssCode(PCUNICODE_STRING text)
{
    CHAR first;
    if (ToAnsi(text, &first, 1) == 1 && UpperLetter(first) != 0) {
        return static_cast<UCHAR>(UpperLetter(first));
    }
    return REGISTRY_DEFAULT_CSS_CODE;
}

UCHAR AsciiHexToNibble(CHAR character)
{
    if (character >= '0' && character <= '9') {
        return static_cast<UCHAR>(character - '0');
    }
    if (character >= 'A' && character <= 'F') {
        return static_cast<UCHAR>(character - 'A' + 10);
    }
    if (character >= 'a' && character <= 'f') {
        return static_cast<UCHAR>(character - 'a' + 10);
    }
    return 0xFF;
}

NTSTATUS AsciiHexToBytes(PCSTR text, PUCHAR bytes, ULONG count)
{
    for (ULONG i = 0; i < count; ++i) {
        UCHAR high = AsciiHexToNibble(text[2 * i]);
        if (high == 0xFF) {
            return STATUS_INVALID_PARAMETER;
        }
        UCHAR low = AsciiHexToNibble(text[2 * i + 1]);
        if (low == 0xFF) {
            return STATUS_INVALID_PARAMETER;
        }
        bytes[i] = static_cast<UCHAR>((high << 4) | low);
    }
    return STATUS_SUCCESS;
}

NTSTATUS RegistryParseNetworkAddress(PCUNICODE_STRING text, UCHAR address[REGISTRY_MAC_ADDRESS_LENGTH])
{
    constexpr ULONG kMaxChars = 64;
    constexpr ULONG kDigits = 2 * REGISTRY_MAC_ADDRESS_LENGTH;
    CHAR ansi[kMaxChars];
    ULONG chars = ToAnsi(text, ansi, kMaxChars);
    if (chars <= 11) {
        // Too short to hold twelve digits.
        return STATUS_INVALID_PARAMETER;
    }
    CHAR digits[kDigits + 2];  // twelve digits, a possible thirteenth, a terminating zero
    ULONG count = 0;
    for (ULONG i = 0; i < chars; ++i) {
        if (!IsHexDigit(ansi[i])) {
            continue;
        }
        if (count == kDigits + 1) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "NetworkAddress holds more than 13 digits: ignored");
            return STATUS_INVALID_PARAMETER;
        }
        digits[count++] = ansi[i];
    }
    if (count < kDigits) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "NetworkAddress holds %u digits: ignored",
                 static_cast<unsigned>(count));
        return STATUS_INVALID_PARAMETER;
    }
    digits[count] = 0;
    UCHAR parsed[REGISTRY_MAC_ADDRESS_LENGTH];
    NTSTATUS status = AsciiHexToBytes(digits, parsed, REGISTRY_MAC_ADDRESS_LENGTH);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    bool allZero = true;
    bool allOnes = true;
    for (UCHAR b : parsed) {
        allZero = allZero && b == 0x00;
        allOnes = allOnes && b == 0xFF;
    }
    if ((parsed[0] & 0x01) != 0 || allZero || allOnes) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG,
                 "NetworkAddress %02X:%02X:%02X:%02X:%02X:%02X is not a station address: ignored", parsed[0],
                 parsed[1], parsed[2], parsed[3], parsed[4], parsed[5]);
        return STATUS_INVALID_ADDRESS;
    }
    std::memcpy(address, parsed, sizeof(parsed));
    return STATUS_SUCCESS;
}

void RegistrySplitRadio(ULONG radio, PREGISTRY_RADIO_STATE state)
{
    state->SoftwareRadioState = static_cast<UCHAR>(radio & 1);
    state->HardwareRadioState = static_cast<UCHAR>((radio >> 1) & 1);
    state->RadioOn = static_cast<UCHAR>((radio >> 2) & 1);
    state->FirmwareRadioState = static_cast<UCHAR>((radio >> 3) & 1);
}

ULONG RegistryJoinRadio(const REGISTRY_RADIO_STATE* state)
{
    return static_cast<ULONG>(state->FirmwareRadioState) * 8 + static_cast<ULONG>(state->RadioOn) * 4 +
           static_cast<ULONG>(state->HardwareRadioState) * 2 + state->SoftwareRadioState;
}

void RegistryParseVendorDesc(PCUNICODE_STRING text, PUCHAR length, CHAR description[REGISTRY_VENDOR_DESC_MAX])
{
    static const CHAR kDefault[] = "IEEE 802.11n Wireless Card.";
    static_assert(sizeof(kDefault) == 28, "the default description is 28 bytes with its zero");
    ULONG chars = ToAnsi(text, description, REGISTRY_VENDOR_DESC_MAX);
    if (chars == 0) {
        std::memcpy(description, kDefault, sizeof(kDefault));
        chars = sizeof(kDefault);
    }
    *length = static_cast<UCHAR>(chars);
}

void RegistryParseWpsDeviceName(PCUNICODE_STRING text, PUCHAR length, CHAR name[REGISTRY_WPS_DEV_NAME_MAX])
{
    static const CHAR kDefault[] = "Telvar Client";
    static_assert(sizeof(kDefault) == 14, "the default device name is 14 bytes with its zero");
    ULONG chars = ToAnsi(text, name, REGISTRY_WPS_DEV_NAME_MAX);
    if (chars == 0) {
        std::memcpy(name, kDefault, sizeof(kDefault));
        chars = sizeof(kDefault);
    }
    *length = static_cast<UCHAR>(chars);
}

void RegistryChooseFirmwareNames(PCREGISTRY_STRING_BLOCK strings, ULONG fwBin, PREGISTRY_BLOCK block)
{
    if (fwBin == 1) {
        CopyNameOrDefault(block->WifiContainerFileName, strings, REGISTRY_STRING_WF_BIG_FW_FILE_NAME, u"qzlwlan.dat");
        CopyNameOrDefault(block->BtContainerFileName, strings, REGISTRY_STRING_BT_BIG_FW_FILE_NAME, u"qzlbt.dat");
        CopyNameOrDefault(block->BtFilterServiceName, strings, REGISTRY_STRING_BT_SERVICE_NAME, u"ZUDEVIzirero64");
        return;
    }
    static const WCHAR kTemporaryFile[] = u"\\SystemRoot\\System32\\drivers\\qzlwlan.tmp";
    CopyPath(block->WifiContainerPath, kTemporaryFile, LiteralChars(kTemporaryFile));
}

NTSTATUS RegistryBuildSiblingPath(PCWSTR path, ULONG pathChars, PCWSTR name, ULONG nameChars, PWCHAR out,
                                  ULONG outChars)
{
    if (out == nullptr || outChars == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    out[0] = 0;
    ULONG directoryChars = 0;
    bool found = false;
    for (ULONG i = 0; path != nullptr && i < pathChars && path[i] != 0; ++i) {
        if (path[i] == u'\\') {
            directoryChars = i;
            found = true;
        }
    }
    if (!found) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "path without a backslash");
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    ULONG nameLength = 0;
    while (name != nullptr && nameLength < nameChars && name[nameLength] != 0) {
        ++nameLength;
    }
    // directory, backslash, name, terminating zero
    if (static_cast<ULONGLONG>(directoryChars) + 1 + nameLength + 1 > outChars) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CONFIG, "path of %u characters does not fit %u",
                 static_cast<unsigned>(directoryChars + 1 + nameLength), static_cast<unsigned>(outChars - 1));
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, path, directoryChars * sizeof(WCHAR));
    out[directoryChars] = u'\\';
    if (nameLength != 0) {
        std::memcpy(out + directoryChars + 1, name, nameLength * sizeof(WCHAR));
    }
    out[directoryChars + 1 + nameLength] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS RegistryChooseApChannel(const UCHAR* entries, ULONG entrySize, ULONG count, ULONG channelMode,
                                 ULONGLONG systemTime, PUCHAR channel)
{
    if (entries == nullptr || entrySize == 0 || count == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "no channel list: the access-point channel stays");
        return STATUS_NOT_FOUND;
    }
    auto at = [&](ULONG index) { return entries[static_cast<SIZE_T>(index) * entrySize]; };
    ULONG leading = 0;  // the 2.4 GHz channels at the head of the list
    while (leading < count && at(leading) <= 14) {
        ++leading;
    }
    if (channelMode == 2 && count > leading) {
        *channel = at(leading + static_cast<ULONG>(systemTime % (count - leading)));
        return STATUS_SUCCESS;
    }
    // No channel above the 2.4 GHz run (or any other mode): one of the 2.4 GHz channels.
    if (leading == 0) {
        leading = 1;
    }
    if (at(0) == 1 && at(leading - 1) > 10) {
        *channel = static_cast<UCHAR>((systemTime % 3) * 5 + 1);
    } else {
        *channel = at(static_cast<ULONG>(systemTime % leading));
    }
    return STATUS_SUCCESS;
}

void RegistryApplyBaCapabilityToHt(ULONG baCapability, PREGISTRY_HT_SETTINGS ht)
{
    USHORT smPowerSave = static_cast<USHORT>((baCapability >> 24) & 0x3);
    USHORT maxAmsdu = static_cast<USHORT>((baCapability >> 23) & 0x1);
    USHORT delayedBa = static_cast<USHORT>((baCapability >> 22) & 0x1);
    UCHAR density = static_cast<UCHAR>((baCapability >> 19) & 0x7);
    for (int i = 0; i < 2; ++i) {
        USHORT word = ht->CapabilityInfo[i];
        word = static_cast<USHORT>((word & ~(0x3u << 2)) | (smPowerSave << 2));
        word = static_cast<USHORT>((word & ~(0x1u << 11)) | (maxAmsdu << 11));
        ht->CapabilityInfo[i] = word;
        ht->AmpduParameters[i] = static_cast<UCHAR>((ht->AmpduParameters[i] & ~(0x7u << 2)) | (density << 2));
    }
    ht->CapabilityInfo[0] = static_cast<USHORT>((ht->CapabilityInfo[0] & ~(0x1u << 10)) | (delayedBa << 10));
    ht->AmpduParameters[0] = static_cast<UCHAR>(ht->AmpduParameters[0] | 0x3);
}

void RegistryApplyWpsVersionRule(PUCHAR workingVersion, PUCHAR savedVersion, PULONG workingTestbed)
{
    *savedVersion = *workingVersion;
    if ((*workingTestbed & 0x1) != 0) {
        *workingVersion = 0x57;
    }
    if (*workingVersion < 0x20) {
        *workingTestbed |= 0x4;
    }
}
