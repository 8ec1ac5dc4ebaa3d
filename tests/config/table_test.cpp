// The configuration table's shape: its 418 names in reading order, the kinds, the block layout and
// the ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "config/config_support.h"

namespace {

using config_test::FindRow;
using config_test::RowName;

// The names as the device configuration knows them, in the order they are read.
const char16_t* const kNamesInOrder[] = {
    u"OpMode", u"BinMode", u"TxopLimit", u"Hlk_feature_optional", u"Config_11AC", u"Config_11AX",
    u"BaSize_11AX", u"Config_6G", u"Config_11BE", u"SigmaEn", u"LinkQualityThreshold",
    u"CountForLinkQuality", u"RoamNeedIndicateTh", u"SsidUpTime", u"SsidCLNum", u"RoamScanPeriod",
    u"RoamingAffinity", u"SaeTO", u"PsEnable", u"ForcePS", u"MmioMonitorEn", u"LowPowerEnable",
    u"TpTestMode", u"Ra1ss1t6g", u"Ra1ss1t6gOfdmOnly", u"Ra1ss1t6gPwrOfstEn", u"Ra1ss1t6gPwrOfst",
    u"Default6GTxPower", u"LPSupportNonMS", u"DeInitLP", u"OemLedMode", u"DelayInterruptSettings",
    u"EnableKrack", u"AMPDURx", u"AMPDUTx", u"AMSDURx", u"AMSDUTx", u"WPA3Pmkid", u"FastTransition",
    u"Reorder", u"Ageout", u"GOAgeout", u"P2PAgeout", u"TputHE", u"TputVHT", u"TputHT", u"TputLegacy",
    u"TputScenario", u"DowngradeTxStreamFeatureEnable", u"DowngradeTxStreamLowTempEnable",
    u"DowngradeTxStreamLowTemp", u"DowngradeTxStreamHighTempEnable", u"DowngradeTxStreamHighTemp",
    u"BckScanInterval", u"SkipBckScanInterval", u"TpParameter1", u"TpParameter2", u"TpParameter3",
    u"SwDlyIntEn", u"SwDlyIntTpMax", u"SwDlyIntTpMin", u"SwDlyIntRxDataCntTh", u"SwDlyIntRxDataToTh",
    u"SwDlyIntRxMsduRptCntTh", u"SwDlyIntRxMsduRptToTh", u"LockFreeDriverOwnDelay", u"LockFreeFwOwnDelay",
    u"ZiziSolution", u"Log2AirEnable", u"Radio", u"CustomizeMinDwellTime", u"CustomizeDFSTime",
    u"EnablePowerOnCalEnhancement", u"CertReg", u"BlockEAPStart", u"fgCertSCV", u"fgCertAC",
    u"fgSkipRegulatory", u"DissocIndDelay", u"fgCodeLockDown", u"CountryRoamingEn",
    u"SmartCountryDecisionEn", u"DynamicCountryDecisionEn", u"CountryRegionString", u"CountryDecisionNum",
    u"PwrSkuEnhance2G5GEn", u"Country6GEn", u"Country59GEn", u"Country6GSPEn", u"SP6GDefaultAction",
    u"TxPowerLevel", u"BiosSarMode", u"WirelessMode", u"Channel", u"RtsThresh", u"FragThresh", u"RDG",
    u"2G256QAM", u"SSID", u"VendorDesc", u"WPSDevName", u"WEPKey1", u"WEPKey2", u"WEPKey3", u"WEPKey4",
    u"NetworkAddress", u"RBFactor", u"TBFactor", u"MaxPktOneTxBulk", u"BGProtection", u"ShortSlot",
    u"IEEE80211H", u"CarrierDetect", u"TXBurst", u"WMMCapable", u"APSDCapable", u"APSDAC_BE", u"APSDAC_BK",
    u"APSDAC_VI", u"APSDAC_VO", u"MultipleIRP", u"BACapability", u"TransmitSetting", u"DLSCapable",
    u"DirectMode", u"PSPXlink", u"WifiDirectControl", u"WfdListenChannel", u"WfdGOOperatingChannel",
    u"SAPStayTimeEnable", u"MccStayTimeEnable", u"MccStaQuotaTimeInUs", u"MccP2pGOQuotaTimeInUs",
    u"MccP2pGOBrakeTimeInUs", u"MccP2pSTAMcastConQuotaTimeInUs", u"MccP2pGOMcastConQuotaTimeInUs",
    u"MccP2pGCQuotaTimeInUs", u"MccP2pStaGCQuotaTimeInUs", u"MccStaTimeNoGOclient", u"MccGOTimeNoGOclient",
    u"ZivDynamicDbdcEnable", u"ZivAAModeDbdcEnable", u"MccStaTimeGOLTSTALT", u"MccGOTimeGOLTSTALT",
    u"MccStaTimeGOHTSTALT", u"MccGOTimeGOHTSTALT", u"MccStaTimeGOVHTSTALT", u"MccGOTimeGOVHTSTALT",
    u"MccStaTimeGOLTSTAHT", u"MccGOTimeGOLTSTAHT", u"MccStaTimeGOHTSTAHT", u"MccGOTimeGOHTSTAHT",
    u"MccStaTimeGOVHTSTAHT", u"MccGOTimeGOVHTSTAHT", u"MccStaTimeGOLTSTAVHT", u"MccGOTimeGOLTSTAVHT",
    u"MccStaTimeGOHTSTAVHT", u"MccGOTimeGOHTSTAVHT", u"MccStaTimeGOVHTSTAVHT", u"MccGOTimeGOVHTSTAVHT",
    u"MccStaTimeGCLTSTALT", u"MccGCTimeGCLTSTALT", u"MccStaTimeGCHTSTALT", u"MccGCTimeGCHTSTALT",
    u"MccStaTimeGCLTSTAHT", u"MccGCTimeGCLTSTAHT", u"MccStaTimeGCHTSTAHT", u"MccGCTimeGCHTSTAHT",
    u"MccStaTimeGCLTSTAVHT", u"MccGCTimeGCLTSTAVHT", u"MccStaTimeGCHTSTAVHT", u"MccGCTimeGCHTSTAVHT",
    u"MccStaLTputThreshold", u"MccStaHTputThreshold", u"MccGOLTputThreshold", u"MccGOHTputThreshold",
    u"MccGCLTputThreshold", u"MccNoGoClientStaTputThreshold", u"P2P_GO_Band", u"WfdPhyMode",
    u"AutoWfdBandEnable", u"AutoWfdGOOpChannel", u"Win8WfdWfaControl", u"P2PECSAEnable",
    u"Enable_U4TVBOX_FIX", u"AutoReconnect", u"NetworkType", u"AdhocOfdm", u"AdhocNMode",
    u"AdhocNForceMulticastRate", u"Adhoc5GDisable", u"AdhocN40MHzAllowed", u"AdhocN14Ch40MHzAllowed",
    u"PSMode", u"ConnIdleTimeForL1", u"PingEnhance", u"PingWakeTime", u"FastRoamingSensitivity",
    u"AutoChannelSelect", u"DynamicDtimPeriod", u"IdleTime", u"RssiDelta", u"SmartScan", u"CurrPhyMode",
    u"BWSelection24G", u"BWSelection5G", u"BWSelection6G", u"BandSelection", u"PreferredBand",
    u"RoamingCheckAlgorithm", u"RoamingRssiReduce", u"DisableWakeOnMagic", u"DisableWakeOnPattern",
    u"DisableARPOffload", u"DisableGTKRekey", u"UAPSDSupport", u"Hotspot2gCh", u"Hotspot5gCh",
    u"AgeoutMsduReport", u"Ageoutreport2", u"DualClientEnable", u"DfsWifi7Enable", u"FccAntGain",
    u"KeepReconnectCnt", u"StaBcnLostTime", u"SoftAPForceMulticastRate", u"LEDCtlBySW", u"LEDMode",
    u"LEDConfig", u"LEDAct", u"LEDPolarity", u"TEST", u"LedCustMode", u"CountryTxPwr", u"CountryTxPwr5G",
    u"LinkSpeedStatus", u"WAPI", u"MFPC", u"MFPM3", u"BssidRepositTime", u"BeaconLostTime",
    u"ProhibitTKIPonHT", u"LinkQualitySetting", u"LinkSpeedMode", u"Ch14BOnly", u"PALRegulatoryClass",
    u"PALCapability", u"PALVersionSpecifier", u"PALCompany_ID", u"PALSubVersion", u"SarSensorMode",
    u"SingleSkuDebugCh", u"ChipPowerLimitEnable", u"SAR256GSimulate", u"AssocRetryTimes", u"LedCfg",
    u"Feature11n", u"AdaptiveFreq", u"TxPowerDefault", u"11nTxBurstTimeTest", u"AdTxPwrForFCCTest",
    u"DisableTxRxLdpc", u"CustomizedPowerMode", u"MaxTxPower", u"CountryTargetTxPowerMode", u"StreamMode",
    u"ChannelSwitchOffloadToFW", u"BBPIDV", u"NLOEnable", u"WepConnectCheckEncry", u"FeatureSetting",
    u"ETxBfEn", u"ETxBfTimeout", u"ETxBfNonCompressedFeedback", u"P2PAckCheck", u"P2PVideoBoost",
    u"WSCVersion2", u"WSC20Testbed", u"WscHwPBCMode", u"MPolicy", u"SuppressScan", u"EnablePPAD",
    u"ChannelMode", u"PreferABand", u"InBoxMode", u"BandedgePowerTableEnable", u"RxCheckDupFrame",
    u"SwitchChannelOffloadEnable", u"FullCalibrationOffloadEnable", u"ThermalEnable", u"ThermalProtBand_A",
    u"ThermalProtLV0_A", u"ThermalProtLV1_A", u"ThermalProtLV2_A", u"ThermalProtLV3_A",
    u"ThermalProtType_A", u"ThermalProtTrigType_A", u"ThermalProtTrigTemp_A", u"ThermalProtRestoreTemp_A",
    u"ThermalProtCheckTime_A", u"ThermalProtBand_G", u"ThermalProtLV0_G", u"ThermalProtLV1_G",
    u"ThermalProtLV2_G", u"ThermalProtLV3_G", u"ThermalProtType_G", u"ThermalProtTrigType_G",
    u"ThermalProtTrigTemp_G", u"ThermalProtRestoreTemp_G", u"ThermalProtCheckTime_G", u"FwlogLevelEnable",
    u"CalibrationOption", u"DynamicTxEnhanceSwitching", u"PMEnable", u"EDCCAEnable", u"EDCCADebug",
    u"Auth360", u"VhtSigmaTest", u"FixAPBW20", u"DisableVirtualPort", u"ScanListByRssi", u"EnduranceTest",
    u"SWChannel", u"SWChannel5G", u"FwLogToHost", u"WF_BigFWFileName", u"BT_BigFWFileName",
    u"BT_ServiceName", u"FWBin", u"SwDbg", u"APTGN", u"BeaconType", u"ClearBcnQEnable",
    u"TlvPreAllocDescriptors", u"TlvExtraDescriptors", u"TlvPreAllocBuffers", u"TlvExtraBuffers",
    u"TlvBufferSize", u"AdapScan", u"EfuseBufferModeCal", u"FWBuildScnChList", u"ScanAgeOutTime",
    u"WakeUpCapabilities", u"WakeUpFuncEnable", u"HLegacy11g", u"H11nBW20", u"H11nBW40", u"H11xBW20",
    u"H11xBW40", u"HSignal", u"MLegacy11g", u"M11nBW20", u"M11nBW40", u"M11xBW20", u"M11xBW40", u"MSignal",
    u"LLegacy11g", u"L11nBW20", u"L11nBW40", u"L11xBW20", u"L11xBW40", u"IdleThreshold",
    u"IdleThresholdCont", u"N6PCiMaxLoopCount", u"TxCnt", u"PciLinkCtrl", u"PciLtrLatency", u"PciLTREnable",
    u"TP_LTRTimer", u"LoadBtPatchEn", u"EdccaDetectEnable", u"RomVer", u"FwStallRecovery", u"SysRcvyEn",
    u"EnableSR", u"TherAdm", u"PassiveToActiveScan", u"CoexGModeRate", u"TxRxThreadMode", u"HwDlyIntEn",
    u"PCIeLtrEnableForKeepCpuStayInC0State", u"Hotspot20Enable", u"EthernetDetection",
    u"EthernetDetectionInterval", u"EnDefaultIotApRule", u"HotspotMCCEnable", u"HotspotProbeRspFWoffload",
    u"VHTOpModeSMPSEnableInRx", u"HotspotMCCTputOptimization", u"CSSCode", u"BatteryLifeImprove",
    u"WpsQtTestEnable", u"EnablePcieSwitch", u"EnablePcieGenSwitchHighTH", u"EnablePcieGenSwitchLowTH",
    u"FWIndexLogCheck", u"TxDirectThreshold", u"OptimizeFragIndLimitEn", u"fgPerfIndicatorEn",
    u"txStallDetect", u"pktPendingDetect", u"dynamicICSEn", u"GetRssiAvgCount", u"EnableGetRssiAvg",
    u"LastChannel", u"LastBand", u"RebootScanEnhancement", u"RebootScanRetryThreshold",
    u"EnableWHQLConnectionEnhance", u"EnableBtCoredumpExport", u"TestYBFlag", u"IcsTimeSyncCnt",
    u"DMAExtension", u"BtDumpSop", u"isTPPreferBand", u"bHideWiFi7CapOS", u"IcmpFixRate", u"AFCEnable",
};
static_assert(sizeof(kNamesInOrder) / sizeof(kNamesInOrder[0]) == REGISTRY_PARAMETER_COUNT);

ULONG FieldMax(ULONG size) { return size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

TEST(ConfigTable, HoldsTheNamesInReadingOrderEachOnce)
{
    std::set<std::u16string> seen;
    for (ULONG i = 0; i < REGISTRY_PARAMETER_COUNT; ++i) {
        const REGISTRY_PARAMETER_ENTRY& row = g_RegistryParameterTable[i];
        EXPECT_EQ(RowName(row), std::u16string(kNamesInOrder[i])) << "row " << i;
        EXPECT_EQ(row.Name.MaximumLength, row.Name.Length + sizeof(WCHAR)) << "row " << i;
        EXPECT_EQ(row.Name.Buffer[row.Name.Length / sizeof(WCHAR)], 0) << "row " << i;
        EXPECT_TRUE(seen.insert(RowName(row)).second) << "row " << i << " repeats a name";
        EXPECT_EQ(row.Required, 0) << "row " << i;
    }
}

TEST(ConfigTable, HasFourteenStringsAndTwoRowsOfKindOne)
{
    std::vector<std::u16string> kind1;
    std::set<ULONG> stringSlots;
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        ASSERT_LE(row.Kind, REGISTRY_KIND_STRING) << "unknown kind";
        if (row.Kind == REGISTRY_KIND_ULONG_ALT) {
            kind1.push_back(RowName(row));
        }
        if (row.Kind == REGISTRY_KIND_STRING) {
            EXPECT_LT(row.Destination, static_cast<ULONG>(REGISTRY_STRING_COUNT));
            EXPECT_TRUE(stringSlots.insert(row.Destination).second) << "two strings share a slot";
        }
    }
    EXPECT_EQ(stringSlots.size(), 14u);
    EXPECT_EQ(kind1, (std::vector<std::u16string>{u"BACapability", u"SoftAPForceMulticastRate"}));
}

TEST(ConfigTable, StringRowsPointAtTheirSlotWithTheirCapacity)
{
    struct Case {
        const char16_t* name;
        ULONG index;
        USHORT capacity;
    };
    const Case cases[] = {
        {u"SSID", REGISTRY_STRING_SSID, 64},
        {u"VendorDesc", REGISTRY_STRING_VENDOR_DESC, 128},
        {u"WEPKey1", REGISTRY_STRING_WEP_KEY1, 128},
        {u"WEPKey2", REGISTRY_STRING_WEP_KEY2, 128},
        {u"WEPKey3", REGISTRY_STRING_WEP_KEY3, 128},
        {u"WEPKey4", REGISTRY_STRING_WEP_KEY4, 128},
        {u"NetworkAddress", REGISTRY_STRING_NETWORK_ADDRESS, 64},
        {u"WPSDevName", REGISTRY_STRING_WPS_DEV_NAME, 64},
        {u"CountryRegionString", REGISTRY_STRING_COUNTRY_REGION, 64},
        {u"AdapScan", REGISTRY_STRING_ADAP_SCAN, 32},
        {u"CSSCode", REGISTRY_STRING_CSS_CODE, 64},
        {u"WF_BigFWFileName", REGISTRY_STRING_WF_BIG_FW_FILE_NAME, 256},
        {u"BT_BigFWFileName", REGISTRY_STRING_BT_BIG_FW_FILE_NAME, 256},
        {u"BT_ServiceName", REGISTRY_STRING_BT_SERVICE_NAME, 256},
    };
    for (const Case& c : cases) {
        PCREGISTRY_PARAMETER_ENTRY row = FindRow(c.name);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->Kind, REGISTRY_KIND_STRING);
        EXPECT_EQ(row->Destination, c.index);
        EXPECT_EQ(g_RegistryStringCapacity[c.index], c.capacity);
    }
}

TEST(ConfigTable, IntegerRowsLieInsideTheBlockWithoutOverlap)
{
    std::vector<PCREGISTRY_PARAMETER_ENTRY> rows;
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (row.Kind != REGISTRY_KIND_STRING) {
            rows.push_back(&row);
        }
    }
    ASSERT_EQ(rows.size(), 404u);
    std::sort(rows.begin(), rows.end(), [](auto a, auto b) { return a->Destination < b->Destination; });
    ULONG end = 0;
    for (PCREGISTRY_PARAMETER_ENTRY row : rows) {
        EXPECT_TRUE(row->Size == 1 || row->Size == 2 || row->Size == 4);
        EXPECT_EQ(row->Destination % row->Size, 0u) << "unaligned field";
        EXPECT_GE(row->Destination, end) << "overlaps the field before it";
        end = row->Destination + row->Size;
    }
    // The firmware path buffers follow the rows.
    EXPECT_LE(end, offsetof(REGISTRY_BLOCK, BtContainerPath));
    EXPECT_LE(end, sizeof(REGISTRY_BLOCK));
}

TEST(ConfigTable, DefaultsAndRangesFitTheirFields)
{
    // Two defaults lie outside their own range on purpose: a missing value is then told apart
    // from any configured one.
    const std::set<std::u16string> defaultOutsideRange = {u"PsEnable", u"DissocIndDelay"};
    // Two one-byte rows accept any value and keep its low byte.
    const std::set<std::u16string> rangeWiderThanField = {u"LastChannel", u"LastBand"};
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (row.Kind == REGISTRY_KIND_STRING) {
            continue;
        }
        std::u16string name = RowName(row);
        EXPECT_LE(row.Minimum, row.Maximum);
        EXPECT_LE(row.Default, FieldMax(row.Size));
        bool inRange = row.Default >= row.Minimum && row.Default <= row.Maximum;
        EXPECT_EQ(inRange, defaultOutsideRange.count(name) == 0);
        bool fits = row.Maximum <= FieldMax(row.Size);
        EXPECT_EQ(fits, rangeWiderThanField.count(name) == 0);
    }
}

TEST(ConfigTable, RowsTheDriverSteersByCarryTheirSizeDefaultAndRange)
{
    struct Case {
        const char16_t* name;
        ULONG size, def, min, max;
    };
    const Case cases[] = {
        {u"OpMode", 1, 0, 0, 1},
        {u"BACapability", 4, 0xB834040, 2, REGISTRY_ANY},
        {u"TransmitSetting", 4, 0x22D8F9, 2, REGISTRY_ANY},
        {u"Radio", 4, 7, 0, REGISTRY_ANY},
        {u"TpParameter3", 2, 0, 0, 1024},
        {u"PsEnable", 2, 0, 1, 100},
        {u"DissocIndDelay", 1, 64, 0, 1},
        {u"DelayInterruptSettings", 2, 33542, 33542, 47856},
        {u"RtsThresh", 2, 2347, 0, 2347},
        {u"FragThresh", 2, 2346, 256, 2346},
        {u"BssidRepositTime", 4, 30, 0, 255},
        {u"ScanAgeOutTime", 4, 30, 0, 600},
        // values found with the parts of the driver that read them
        {u"SaeTO", 4, 200, 20, 10000},
        {u"DynamicDtimPeriod", 2, 70, 65, 32895},
        {u"CountryDecisionNum", 2, 1, 0, 65535},
        {u"SAR256GSimulate", 4, 0, 0, 0x1FFFFFF},
        {u"BaSize_11AX", 4, 0x01000100, 0, REGISTRY_ANY},
        // a row no part gives values for
        {u"EnableKrack", 4, 0, 0, REGISTRY_ANY},
    };
    for (const Case& c : cases) {
        PCREGISTRY_PARAMETER_ENTRY row = FindRow(c.name);
        ASSERT_NE(row, nullptr);
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        EXPECT_EQ(row->Size, c.size);
        EXPECT_EQ(row->Default, c.def);
        EXPECT_EQ(row->Minimum, c.min);
        EXPECT_EQ(row->Maximum, c.max);
    }
}

TEST(ConfigTable, FieldsAreNamedForTheirRows)
{
    EXPECT_EQ(FindRow(u"OpMode")->Destination, offsetof(REGISTRY_BLOCK, OpMode));
    EXPECT_EQ(FindRow(u"TpParameter3")->Destination, offsetof(REGISTRY_BLOCK, TpParameter3));
    EXPECT_EQ(FindRow(u"2G256QAM")->Destination, offsetof(REGISTRY_BLOCK, Reg2G256QAM));
    EXPECT_EQ(FindRow(u"11nTxBurstTimeTest")->Destination, offsetof(REGISTRY_BLOCK, Reg11nTxBurstTimeTest));
    EXPECT_EQ(FindRow(u"AFCEnable")->Destination, offsetof(REGISTRY_BLOCK, AFCEnable));
}

}  // namespace
