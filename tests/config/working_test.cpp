// The working configuration the adapter derives from the registry block, per chip generation; the
// defaults every port receives; the start values after the read; PHY types, ciphers, antenna paths
// and the MAC address at power-up.
#include <cstring>
#include <string>

#include "Common/mlme/mlme.h"
#include "config/config_device.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/registry_table.h"

namespace {

using config_test::ConfigDeviceTest;

using WorkingConfig = ConfigDeviceTest;

// ---- per chip generation ---------------------------------------------------------------------------------

struct GenerationCase {
    USHORT deviceId;
    UCHAR wirelessModeOfPhyMode0;
    ULONG config11axOfZero;  // "Config_11AX" 0 as the working configuration leaves it
};

const GenerationCase kGenerations[] = {
    {0x3404, PHY_11He, 0x000},
    {0x3501, PHY_11He, 0x180}, {0x3504, PHY_11He, 0x180}, {0x0C01, PHY_11He, 0x180},
    {0x3502, PHY_11He, 0x180}, {0x0C02, PHY_11He, 0x180}, {0x3503, PHY_11He, 0x180},
    {0x3601, PHY_11BE, 0x180}, {0x0C03, PHY_11BE, 0x180},
    {0x3602, PHY_11BE, 0x180}, {0x3603, PHY_11BE, 0x180}, {0x0C04, PHY_11BE, 0x180},
};

TEST_F(WorkingConfig, PhyModeZeroAndHeBitsFollowTheChipGeneration)
{
    LoadDevice("CurrPhyMode=dword:0\nConfig_11AX=dword:0");
    for (const GenerationCase& c : kGenerations) {
        SCOPED_TRACE(c.deviceId);
        StartAndRead(c.deviceId);
        EXPECT_EQ(adapter_->WorkingCfg.WirelessMode, c.wirelessModeOfPhyMode0);
        EXPECT_EQ(adapter_->RegistryBlock.WirelessMode, c.wirelessModeOfPhyMode0);  // "WirelessMode" replaced
        EXPECT_EQ(port_->WirelessMode, c.wirelessModeOfPhyMode0);
        EXPECT_EQ(port_->Cfg.WirelessModeCopy[0], c.wirelessModeOfPhyMode0);
        EXPECT_EQ(port_->Cfg.HtEnabled, 1);
        EXPECT_EQ(port_->Cfg.VhtEnabled, 1);
        EXPECT_EQ(adapter_->RegistryBlock.Config_11AX, c.config11axOfZero);
        Stop();
    }
}

TEST_F(WorkingConfig, PhyModesOtherThanZeroAreTheSameOnEveryChip)
{
    const struct {
        ULONG phyMode;
        UCHAR mode;
        UCHAR vht;
    } cases[] = {{1, PHY_11He, 1}, {2, PHY_11VHT, 1}, {3, PHY_11N, 0}, {4, PHY_11ABG_MIXED, 0}};
    for (const auto& c : cases) {
        for (USHORT id : {0x3501, 0x3602}) {
            SCOPED_TRACE(testing::Message() << "CurrPhyMode " << c.phyMode << " on " << id);
            kshim::host::RegistrySetDword("@device", "CurrPhyMode", c.phyMode);
            StartAndRead(id);
            EXPECT_EQ(adapter_->WorkingCfg.WirelessMode, c.mode);
            EXPECT_EQ(port_->Cfg.VhtEnabled, c.vht);
            EXPECT_EQ(port_->Cfg.HtEnabled, c.mode == PHY_11ABG_MIXED ? 0 : 1);
            Stop();
        }
    }
}

TEST_F(WorkingConfig, SixGigahertzBandwidthSelectionClearsBitsOneToThree)
{
    LoadDevice("BWSelection6G=dword:1\nConfig_6G=dword:0xFF\nConfig_11AX=dword:0xF");
    StartAndRead(0x3404);
    EXPECT_EQ(adapter_->RegistryBlock.Config_6G, 0xF1u);
    EXPECT_EQ(adapter_->RegistryBlock.Config_11AX, 0x1u);
    Stop();
    kshim::host::RegistrySetDword("@device", "BWSelection6G", 0);
    StartAndRead(0x3404);
    EXPECT_EQ(adapter_->RegistryBlock.Config_6G, 0xFFu);
}

TEST_F(WorkingConfig, The3503UsesItsOwnThroughputThresholdsWhateverWasRead)
{
    LoadDevice("HLegacy11g=dword:0x00070001\nL11xBW40=dword:0x12345678");
    StartAndRead(0x3503);
    const ADAPTER_WORKING_CFG& w = adapter_->WorkingCfg;
    EXPECT_EQ(w.ThroughputHigh[0], 0x8);  // "HLegacy11g" 0x80008
    EXPECT_EQ(w.ThroughputLow[0], 0x8);
    EXPECT_EQ(w.ThroughputHigh[4], 0x90);  // "H11xBW40" 0x900090
    EXPECT_EQ(w.ThroughputHigh[14], 0x20);  // "L11xBW40" 0x200020
    EXPECT_EQ(w.ThroughputLow[14], 0x20);
    EXPECT_EQ(w.HSignal, 45u);
    Stop();

    StartAndRead(0x3502);
    EXPECT_EQ(adapter_->WorkingCfg.ThroughputHigh[0], 0x7);
    EXPECT_EQ(adapter_->WorkingCfg.ThroughputLow[0], 0x1);
    EXPECT_EQ(adapter_->WorkingCfg.ThroughputHigh[14], 0x1234);
    EXPECT_EQ(adapter_->WorkingCfg.ThroughputLow[14], 0x5678);
    EXPECT_EQ(adapter_->WorkingCfg.ThroughputHigh[1], 0x40);  // "H11nBW20" default 0x400040
}

// ---- scalar rules -----------------------------------------------------------------------------------------

TEST_F(WorkingConfig, UnitsAndThermalAdmission)
{
    LoadDevice("StaBcnLostTime=dword:3\nMccStaQuotaTimeInUs=dword:250\nConnIdleTimeForL1=dword:700");
    StartAndRead();
    const ADAPTER_WORKING_CFG& w = adapter_->WorkingCfg;
    EXPECT_EQ(w.StaBcnLostTime, 30000000u);
    EXPECT_EQ(w.P2pMcc.MccStaQuotaTime, 250000u);
    EXPECT_EQ(w.P2pMcc.MccP2pGOMcastConQuotaTime, 320000u);
    EXPECT_EQ(w.L1IdleTime, 700);
    // 0xA0706070: bytes 0x70, 0x60, 0x70, 0xA0; 96 lies in 1..99 and becomes 100.
    EXPECT_EQ(w.TherAdm[0], 112u);
    EXPECT_EQ(w.TherAdm[1], 100u);
    EXPECT_EQ(w.TherAdm[2], 112u);
    EXPECT_EQ(w.TherAdm[3], 160u);
    EXPECT_EQ(w.FixedValue, 42u);
    Stop();

    kshim::host::RegistrySetDword("@device", "TherAdm", 0x05050001);
    StartAndRead();
    EXPECT_EQ(adapter_->WorkingCfg.TherAdm[0], 100u);
    EXPECT_EQ(adapter_->WorkingCfg.TherAdm[1], 0u);  // 0 stays
    EXPECT_EQ(adapter_->WorkingCfg.TherAdm[2], 5u);  // only the first two are raised
    EXPECT_EQ(adapter_->WorkingCfg.TherAdm[3], 5u);
}

TEST_F(WorkingConfig, PerCaseMultiChannelTimesOnlyWithTheThroughputOptimisation)
{
    LoadDevice("MccGCTimeGCHTSTAVHT=dword:61");
    StartAndRead();
    for (ULONG t : adapter_->WorkingCfg.P2pMcc.MccTimes) {
        EXPECT_EQ(t, 0u);
    }
    Stop();

    kshim::host::RegistrySetDword("@device", "HotspotMCCTputOptimization", 1);
    StartAndRead();
    const ULONG* times = adapter_->WorkingCfg.P2pMcc.MccTimes;
    EXPECT_EQ(times[0], 240000u);  // "MccStaTimeNoGOclient"
    EXPECT_EQ(times[1], 40000u);   // "MccGOTimeNoGOclient"
    EXPECT_EQ(times[2], 50000u);   // "MccStaTimeGOLTSTALT"
    EXPECT_EQ(times[MCC_TIME_COUNT - 1], 61000u);  // "MccGCTimeGCHTSTAVHT"
    EXPECT_EQ(port_->Cfg.P2pMcc.MccTimes[MCC_TIME_COUNT - 1], 61000u);
}

struct GroupOwnerCase {
    const char* lines;
    USHORT deviceId;
    ULONG goChannel;
    UCHAR autoBand;
    UCHAR ecsa;
    ULONG band;
    ULONG autoChannel;
    UCHAR wfdPhyMode;
};

TEST_F(WorkingConfig, GroupOwnerChannelAndBandRules)
{
    const GroupOwnerCase cases[] = {
        // defaults: channel 11 configured, so no automatic band; "WfdPhyMode" copied
        {"", 0x3602, 11, 0, 0, 2, 157, 2},
        // a configured channel turns the automatic band choice off
        {"WfdGOOperatingChannel=dword:6\nAutoWfdBandEnable=dword:1", 0x3602, 6, 0, 0, 2, 157, 2},
        // no channel: the automatic choice with its channel switch
        {"WfdGOOperatingChannel=dword:0\nAutoWfdBandEnable=dword:1", 0x3602, 0, 1, 1, 2, 157, 2},
        // no channel and no automatic choice: channel 11
        {"WfdGOOperatingChannel=dword:0\nAutoWfdBandEnable=dword:0", 0x3602, 11, 0, 0, 2, 157, 2},
        // 6 GHz group owner on a chip wider than 80 MHz
        {"WfdPhyMode=dword:3", 0x3602, 11, 0, 0, 3, 36, 3},
        {"WfdPhyMode=dword:3\nWfdGOOperatingChannel=dword:0\nAutoWfdBandEnable=dword:1", 0x3601, 0, 1, 0, 3, 36, 3},
        // ... and on one that is not
        {"WfdPhyMode=dword:3", 0x3501, 11, 0, 0, 2, 157, 3},
    };
    for (const GroupOwnerCase& c : cases) {
        SCOPED_TRACE(c.lines);
        kshim::host::RegistryClear();
        Load(config_test::kBaseFixture);
        LoadDevice(c.lines);
        StartAndRead(c.deviceId);
        const WORKING_P2P_MCC_CFG& p = adapter_->WorkingCfg.P2pMcc;
        EXPECT_EQ(p.WfdGOOperatingChannel, c.goChannel);
        EXPECT_EQ(p.AutoWfdBandEnable, c.autoBand);
        EXPECT_EQ(p.P2pEcsaEnable, c.ecsa);
        EXPECT_EQ(p.P2pGoBand, c.band);
        EXPECT_EQ(p.AutoWfdGOOpChannel, c.autoChannel);
        EXPECT_EQ(adapter_->WfdPhyMode, c.wfdPhyMode);
        EXPECT_EQ(p.WfdListenChannel, 11u);
        Stop();
    }
}

// ---- port defaults -----------------------------------------------------------------------------------------

TEST_F(WorkingConfig, EveryPortReceivesTheWorkingValues)
{
    LoadDevice("RtsThresh=dword:500\nChannel=dword:6\n2G256QAM=dword:1\nTransmitSetting=dword:0x1234\n"
               "APSDCapable=dword:1\nAPSDAC_VO=dword:1\nDisableTxRxLdpc=dword:7");
    StartAndRead();
    PMP_PORT other = AddPort(2);
    NdisCommonInitUpdatePortDefaultSetting(other);
    for (PMP_PORT port : {port_, other}) {
        SCOPED_TRACE(port->PortNumber);
        EXPECT_EQ(port->Cfg.RtsThreshold, 500);
        EXPECT_EQ(port->Cfg.FragThreshold, 2346);
        EXPECT_EQ(port->Channel.PrimaryChannel, 6);
        EXPECT_EQ(port->Cfg.Enable256QamOn24G, 1);
        EXPECT_EQ(port->Cfg.TxSetting, 0x1234u);
        EXPECT_EQ(port->Cfg.TransmitSetting, 0x1234u);
        EXPECT_EQ(port->Cfg.DisableTxRxLdpc, 7);
        EXPECT_EQ(port->Cfg.ApsdCapable, 1);
        EXPECT_EQ(port->Cfg.ApsdAc[0], 0);
        EXPECT_EQ(port->Cfg.ApsdAc[3], 1);
        EXPECT_EQ(port->Cfg.CountryCode, REGISTRY_DEFAULT_COUNTRY_CODE);
        EXPECT_EQ(port->Cfg.P2pMcc.WifiDirectControl, 0x663B8B78u);
    }
    EXPECT_EQ(adapter_->RegistryBlock.Hlk_feature_optional, 2079u);
}

TEST_F(WorkingConfig, UapsdSupportTurnsEveryAccessCategoryOnForPortZeroOnly)
{
    LoadDevice("UAPSDSupport=dword:1");
    StartAndRead();
    EXPECT_EQ(port_->Cfg.ApsdCapable, 1);
    for (UCHAR ac : port_->Cfg.ApsdAc) {
        EXPECT_EQ(ac, 1);
    }
    EXPECT_EQ(adapter_->RegistryBlock.Hlk_feature_optional, 2079u | 0x80u);
    PMP_PORT other = AddPort(1);
    NdisCommonInitUpdatePortDefaultSetting(other);
    EXPECT_EQ(other->Cfg.ApsdCapable, 0);
    EXPECT_EQ(other->Cfg.ApsdAc[0], 0);
}

TEST_F(WorkingConfig, APortsOwnDefaults)
{
    Start();
    PMP_PORT port = AddPort(3);
    port->BssIndex = 2;
    port->OwnMacIndex = 1;
    port->ConnectionFlags = 0xFF;
    port->Cfg.BaCapability = 0xFFFFFFFF;
    port->Cfg.CapabilityWord = 0xFFFF;
    port->Cfg.Ht.CapabilityInfo[0] = 0x1234;
    adapter_->StaDefaults.Value = 77;
    NdisCommonInitPortUserCfg(port, 1);
    EXPECT_EQ(port->BssIndex, 2);  // kept
    EXPECT_EQ(port->OwnMacIndex, 1);
    EXPECT_EQ(port->ConnectionFlags, 0xECu);
    EXPECT_EQ(port->Cfg.BaCapability, 0xFFC3FFFFu);
    EXPECT_EQ(port->Cfg.CapabilityWord, 0x7BDF);
    EXPECT_EQ(port->Cfg.Ht.CapabilityInfo[0], 0);
    EXPECT_EQ(port->Cfg.RateMask[0], 0x03FF002Fu);
    EXPECT_EQ(port->Cfg.RateMask[1], 0x03FF002Fu);
    EXPECT_EQ(port->Cfg.UserWord, 0xFF00);
    EXPECT_EQ(port->Cfg.UserState, 1u);
    EXPECT_EQ(port->Cfg.UserValue, 4u);
    EXPECT_EQ(port->Channel.PrimaryChannel, 11);
    EXPECT_EQ(port->Channel.CentreChannel, 11);
    EXPECT_EQ(port->Cfg.ShortSlot, 1);
    EXPECT_EQ(port->WirelessMode, PHY_11VHT);
    EXPECT_EQ(READ_PHY_CFG_MCS(adapter_, &port->Cfg.PhyCfg), 15u);
    EXPECT_EQ(READ_PHY_CFG_BW(adapter_, &port->Cfg.PhyCfg), 0u);
    // The station defaults are restored; a port other than 0 keeps the 64-bit value.
    EXPECT_EQ(adapter_->StaDefaults.DefaultMark, 1);
    EXPECT_EQ(adapter_->StaDefaults.SecurityDefault0, 6u);
    EXPECT_EQ(adapter_->StaDefaults.Value, 77u);

    NdisCommonInitPortUserCfg(port, 0);
    EXPECT_EQ(port->BssIndex, 255);
    EXPECT_EQ(port->OwnMacIndex, 255);
    NdisCommonInitPortUserCfg(port_, 0);
    EXPECT_EQ(adapter_->StaDefaults.Value, 0u);
}

TEST_F(WorkingConfig, SupportedOperationModesFollowTheOsVersions)
{
    Start();
    // A current OS: station 1, Wi-Fi Direct device 8, group owner 0x20, client 0x10.
    NdisCommonInitPortUserCfg(port_, 0);
    EXPECT_EQ(port_->Cfg.SupportedOpModes, 0x39u);
    // An older WDI version and NDIS 6.20.
    adapter_->TlvContext.PeerVersion = 0x00060010;
    adapter_->CommonBlock->NdisVersion = NDIS_VERSION_620;
    NdisCommonInitPortUserCfg(port_, 0);
    EXPECT_EQ(port_->Cfg.SupportedOpModes, 0x8000000Cu);
}

// ---- after the read ----------------------------------------------------------------------------------------

TEST_F(WorkingConfig, StartValuesOverrideTheChannelModeAndSetTheScanPhases)
{
    for (ULONG mode : {0u, 1u, 2u}) {
        SCOPED_TRACE(mode);
        kshim::host::RegistrySetDword("@device", "ChannelMode", mode);
        StartAndRead(0x3601);
        EXPECT_EQ(adapter_->WorkingCfg.ChannelMode, mode);
        adapter_->AntennaPath = 0xAB11;
        adapter_->PingEnhanceActive = 1;
        adapter_->LastIcmpEchoTime = 5;
        adapter_->BandWord = 2;
        kshim::host::TraceClear();
        adapter_->Wdi.CntlBlock.TaskPending = 1;
        UserCfgInit(adapter_);
        EXPECT_EQ(adapter_->WorkingCfg.ChannelMode, 1);
        EXPECT_EQ(adapter_->ScanPhase[0], 1);
        EXPECT_EQ(adapter_->ScanPhase[1], 1);
        EXPECT_EQ(adapter_->AntennaPath, 0xAB22);
        EXPECT_EQ(adapter_->PingEnhanceActive, 0);
        EXPECT_EQ(adapter_->LastIcmpEchoTime, 0);
        EXPECT_EQ(port_->Cfg.BandWord, 2u);
        OBSS_SCAN_PARAMS obss;  // packed in the port: read through a copy
        std::memcpy(&obss, &port_->ObssScanParams, sizeof(obss));
        UCHAR factor = obss.DelayFactor;
        ULONG delay = obss.Delay;
        ULONG threshold = obss.ActivityThreshold;
        EXPECT_EQ(factor, 5);
        EXPECT_EQ(delay, 4500u);
        EXPECT_EQ(threshold, 25u);
        EXPECT_EQ(adapter_->WorkingCfg.UserWirelessMode, PHY_11BE);
        EXPECT_EQ(adapter_->WorkingCfg.CapWord, adapter_->HalInfo.CapWord);
        EXPECT_EQ(adapter_->WorkingCfg.CapBits[0], 1);
        EXPECT_EQ(adapter_->WorkingCfg.IcsTimeSyncCnt, 1000u);
        // The working configuration starts with no WDI task pending.
        EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 0);
        EXPECT_EQ(adapter_->Wdi.CntlBlock.RowIndex, WDI_TASK_ROW_NONE);
        Stop();
    }
    UserCfgInit(nullptr);  // traced, nothing else
}

TEST_F(WorkingConfig, PhyTypesAndRatesByBand)
{
    Start();
    adapter_->Only24G = 1;
    KOVAInitPhyType(adapter_);
    EXPECT_EQ(adapter_->BandWord, 1u);
    EXPECT_EQ(adapter_->SupportedPhyTypes->NumberOfEntries, 2u);
    EXPECT_EQ(adapter_->SupportedPhyTypes->PhyTypes[0], static_cast<ULONG>(PHY_TYPE_HRDSSS));
    EXPECT_EQ(adapter_->SupportedPhyTypes->PhyTypes[1], static_cast<ULONG>(PHY_TYPE_ERP));
    EXPECT_EQ(adapter_->CommonBlock->OfdmRates.SupportedCount, 0);
    EXPECT_EQ(adapter_->DefaultChannel, 0);

    adapter_->Only24G = 0;
    KOVAInitPhyType(adapter_);
    EXPECT_EQ(adapter_->BandWord, 2u);
    const ULONG expected[] = {PHY_TYPE_HRDSSS, PHY_TYPE_OFDM, PHY_TYPE_ERP};
    ASSERT_EQ(adapter_->SupportedPhyTypes->NumberOfEntries, 3u);
    EXPECT_EQ(std::memcmp(adapter_->SupportedPhyTypes->PhyTypes, expected, sizeof(expected)), 0);
    const PHY_RATE_SET& erp = adapter_->CommonBlock->ErpRates;
    EXPECT_EQ(erp.SupportedCount, 12);
    EXPECT_EQ(erp.Supported[11], 108);
    EXPECT_EQ(erp.BasicCount, 7);
    EXPECT_EQ(erp.Basic[6], 48);
    const PHY_RATE_SET& ofdm = adapter_->CommonBlock->OfdmRates;
    EXPECT_EQ(ofdm.SupportedCount, 8);
    EXPECT_EQ(ofdm.BasicCount, 3);
    EXPECT_EQ(adapter_->CommonBlock->HrDsssRates.SupportedCount, 4);
    EXPECT_EQ(adapter_->DefaultChannel, 36);
}

struct CipherCase {
    ULONG algorithm;
    UCHAR networkType;
    ULONG cipher;
    ULONG policy;
    ULONG groupDefault;
};

TEST_F(WorkingConfig, DefaultCiphersByAuthenticationAlgorithm)
{
    const CipherCase cases[] = {
        {1, 2, 0x101, 4, 0},    {2, 2, 0x101, 3, 0},        {3, 2, 4, 1, 4},
        {7, 2, 4, 1, 4},        {0x80000001u, 2, 4, 1, 4},  {4, 1, 4, 4, 0},
        {8, 1, 9, 1, 9},        {5, 2, 0x77, 0, 0x77},  // unknown: ciphers unchanged
    };
    Start();
    for (const CipherCase& c : cases) {
        SCOPED_TRACE(c.algorithm);
        port_->Cfg = PORT_CFG{};
        port_->Cfg.AuthAlgorithm = c.algorithm;
        port_->Cfg.PairwiseCipher = 0x77;
        port_->Cfg.GroupCipher = 0x77;
        adapter_->WorkingCfg.NetworkType = c.networkType;
        KOVASetDefaultCipher(adapter_, port_);
        EXPECT_EQ(port_->Cfg.PairwiseCipher, c.cipher);
        EXPECT_EQ(port_->Cfg.GroupCipher, c.cipher);
        EXPECT_EQ(port_->Cfg.CipherPolicy, c.policy);
        EXPECT_EQ(port_->Cfg.GroupCipherDefault, c.groupDefault);
    }
    port_->Cfg = PORT_CFG{};
    port_->Cfg.AuthAlgorithm = 1;
    KOVASetDefaultCipher(adapter_, port_);
    EXPECT_EQ(port_->Cfg.ExtraCipher[0], 5u);
    EXPECT_EQ(port_->Cfg.ExtraCipher[1], 1u);
    port_->Cfg.AuthAlgorithm = 6;
    adapter_->WorkingCfg.NetworkType = 1;
    KOVASetDefaultCipher(adapter_, port_);
    EXPECT_EQ(port_->Cfg.ExtraCipher[0], 2u);
    EXPECT_EQ(port_->Cfg.ExtraCipher[1], 5u);
    EXPECT_EQ(port_->Cfg.ExtraCipherFlag, 1);
}

TEST_F(WorkingConfig, AntennaPathsOfAtMostTwo)
{
    Start();
    adapter_->AntennaPath = 0x5522;
    KOVAsetAntennaPath(adapter_, 3, 1);
    EXPECT_EQ(adapter_->AntennaPath, 0x5522);
    KOVAsetAntennaPath(adapter_, 1, 3);
    EXPECT_EQ(adapter_->AntennaPath, 0x5522);
    KOVAsetAntennaPath(adapter_, 1, 2);
    EXPECT_EQ(adapter_->AntennaPath, 0x5521);
    EXPECT_EQ(KOVAGetAntennaPath(adapter_), 1);
}

// ---- the MAC address at power-up --------------------------------------------------------------------------

TEST_F(WorkingConfig, AChipWithoutAnAddressGetsALocallyAdministeredOne)
{
    const UCHAR blank[][MAC_ADDR_LEN] = {{0, 0, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    for (const auto& chip : blank) {
        StartAndRead();
        std::memcpy(adapter_->PermanentAddress, chip, MAC_ADDR_LEN);
        EXPECT_EQ(NdisCommonInitCheckMacAddress(adapter_), STATUS_SUCCESS);
        const UCHAR prefix[] = {0x02, 0x3F, 0xA7};
        EXPECT_EQ(std::memcmp(adapter_->PermanentAddress, prefix, sizeof(prefix)), 0);
        EXPECT_EQ(std::memcmp(adapter_->CurrentAddress, adapter_->PermanentAddress, MAC_ADDR_LEN), 0);
        EXPECT_EQ(std::memcmp(port_->MacAddress, adapter_->PermanentAddress, MAC_ADDR_LEN), 0);
        EXPECT_NE(adapter_->RandomSeed, 0u);
        Stop();
    }
}

TEST_F(WorkingConfig, RandomBytesFollowTheSeed)
{
    Start();
    adapter_->RandomSeed = 1;
    EXPECT_EQ(RandomOctetGet(adapter_), 0xD3);
    EXPECT_EQ(adapter_->RandomSeed, 0xAE80003Cu);
}

}  // namespace
