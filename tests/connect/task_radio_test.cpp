// The OS's set-radio-state and change-operation-mode tasks, the power-save request and the station
// properties (dialog token, adapter configuration, privacy exemption list, protocol offload, location
// privacy) on a started third-generation device.
#include <gtest/gtest.h>

#include "connect/task_support.h"
#include "kshim/host/registry.h"
#include "platform/wdi/ndiswdi.h"

namespace {

using namespace conn_test;

constexpr uint16_t kTaskRadio = 11;
constexpr uint16_t kTaskOpMode = 90;
constexpr uint16_t kPropPrivacyExemption = 28;
constexpr uint16_t kPropAdapterConfig = 85;
constexpr uint16_t kPropPmOffload = 88;
constexpr uint16_t kPropDialogToken = 108;
constexpr uint16_t kPropLocationPrivacy = 138;

class RadioTask : public ConnTaskTest {
protected:
    kshim::host::WdiRequest Radio(uint8_t on, uint32_t transaction)
    {
        return Send(kTaskRadio, 0, transaction, Tlv(WDI_TLV_RADIO_STATE_PARAMETERS, {on}));
    }
    kshim::host::WdiRequest OpMode(uint32_t value, uint32_t transaction)
    {
        return Send(kTaskOpMode, 0, transaction, Tlv(WDI_TLV_CURRENT_OPERATION_MODE, U32s({value})));
    }
};

TEST_F(RadioTask, RadioOffAndOnEndWithTheirCompletionAndTheRadioBytes)
{
    Adapter()->RadioState.HardwareRadioState = 1;
    kshim::host::WdiRequest off = Radio(0, 81);
    EXPECT_EQ(off.Status(), STATUS_SUCCESS);
    Quiesce();
    std::vector<kshim::host::WdiIndication> done = Indications(0x0016);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), 0u);
    EXPECT_EQ(done[0].TransactionId(), 81u);
    EXPECT_EQ(Adapter()->RadioState.SoftwareRadioState, 0);
    EXPECT_EQ(Adapter()->RadioState.RadioOn, 0);
    EXPECT_FALSE(WdiTaskIsPending(Adapter(), kTaskRadio));

    EXPECT_EQ(Radio(1, 82).Status(), STATUS_SUCCESS);
    Quiesce();
    done = Indications(0x0016);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1].Status(), 0u);
    EXPECT_EQ(Adapter()->RadioState.SoftwareRadioState, 1);
    EXPECT_EQ(Adapter()->RadioState.RadioOn, 1);
}

TEST_F(RadioTask, AHardwareSwitchOffOrARunningGroupOwnerChangesNothing)
{
    Adapter()->RadioState.HardwareRadioState = 0;
    Adapter()->RadioState.SoftwareRadioState = 1;
    EXPECT_EQ(Radio(0, 83).Status(), STATUS_SUCCESS);
    Quiesce();
    std::vector<kshim::host::WdiIndication> done = Indications(0x0016);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), 0u);
    EXPECT_EQ(Adapter()->RadioState.SoftwareRadioState, 1) << "nothing changed";

    Adapter()->RadioState.HardwareRadioState = 1;
    const ULONG subtype = port0_->OpMode;
    port0_->OpMode = 4;  // a running group owner
    EXPECT_EQ(Radio(0, 84).Status(), STATUS_SUCCESS);
    Quiesce();
    done = Indications(0x0016);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1].Status(), 0xC00000BBu);
    EXPECT_EQ(Adapter()->RadioState.SoftwareRadioState, 1);
    port0_->OpMode = subtype;
}

TEST_F(RadioTask, OperationModesMapByTheOsVersionAndUnmappedOnesAreRefused)
{
    struct Row {
        ULONG version;
        uint32_t value;
        uint32_t status;
    } rows[] = {
        {0x60028, 0x30, 0xC0010015u}, {0x60027, 0x30, 0xC0010015u}, {0x60028, 0x1, 0},
        {0x60027, 0x4, 0},            {0x60027, 0x1, 0xC0010015u},  {0x60028, 0x0, 0},
    };
    const ULONG saved = Adapter()->TlvContext.PeerVersion;
    uint32_t transaction = 100;
    size_t seen = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << "version 0x" << row.version << " value 0x" << row.value);
        Adapter()->TlvContext.PeerVersion = row.version;
        EXPECT_EQ(OpMode(row.value, ++transaction).Status(), STATUS_SUCCESS);
        Quiesce();
        std::vector<kshim::host::WdiIndication> done = Indications(0x005B);
        ASSERT_EQ(done.size(), ++seen);
        EXPECT_EQ(done.back().Status(), row.status);
        EXPECT_EQ(done.back().TransactionId(), transaction);
    }
    // The station code leaves port 0 a station.
    EXPECT_EQ(port0_->PortType, 1u);
    EXPECT_EQ(port0_->OpMode, 0u);
    Adapter()->TlvContext.PeerVersion = 0x60027;
    EXPECT_EQ(NdisWdiGetQzlOpModeValue(Adapter(), 0x30), 0u);
    Adapter()->TlvContext.PeerVersion = 0x60028;
    EXPECT_EQ(NdisWdiGetQzlOpModeValue(Adapter(), 0x30), 16u);
    EXPECT_EQ(NdisWdiGetOpModeValue(Adapter(), 1), 0u);
    Adapter()->TlvContext.PeerVersion = saved;
}

TEST_F(RadioTask, PowerModesAreBoundedAndTheBufferChecked)
{
    ULONG needed = 0;
    const ULONG tooHigh = 25;
    EXPECT_EQ(NdisWdiSetOidDot11PowerMgmtRequest(Adapter(), port0_, &tooHigh, 4, &needed),
              static_cast<NTSTATUS>(0xC0010015L));
    const ULONG mode = 24;
    EXPECT_EQ(NdisWdiSetOidDot11PowerMgmtRequest(Adapter(), port0_, &mode, 3, &needed),
              static_cast<NTSTATUS>(0x80000005L));
    EXPECT_EQ(needed, 4u);
    const ULONG type = port0_->PortType;
    port0_->PortType = 2;
    EXPECT_EQ(NdisWdiSetOidDot11PowerMgmtRequest(Adapter(), port0_, &mode, 4, &needed),
              static_cast<NTSTATUS>(0xC0010017L));
    port0_->PortType = type;
}

TEST_F(RadioTask, TheDialogTokenAdvancesAndWrapsTo1)
{
    port0_->ConnectConfig.ActionDialogToken = 254;
    for (uint8_t expected : {255, 1, 2}) {
        kshim::host::WdiRequest r = Send(kPropDialogToken, 0, 90);
        ASSERT_EQ(r.Status(), STATUS_SUCCESS);
        const Bytes answer = r.Buffer();
        ASSERT_GE(r.BytesWritten(), 21u);
        EXPECT_EQ(Bytes(answer.begin() + 16, answer.begin() + 21),
                  (Bytes{static_cast<uint8_t>(WDI_TLV_NEXT_DIALOG_TOKEN & 0xFF),
                         static_cast<uint8_t>(WDI_TLV_NEXT_DIALOG_TOKEN >> 8), 1, 0, expected}));
    }
    EXPECT_EQ(NdisWdiGetCurrentActionDialogToken(port0_), 2);
    EXPECT_EQ(NdisWdiGenerateActionDialogToken(nullptr), 1);
}

TEST_F(RadioTask, AdapterConfigurationKeepsItsValuesAndDefaultsTheThreshold)
{
    const Bytes mac = Mac(0x77);
    EXPECT_EQ(Send(kPropAdapterConfig, 0, 91, Tlv(WDI_TLV_CONFIGURED_MAC_ADDRESS, mac)).Status(), STATUS_SUCCESS);
    const STA_CONNECT_ADAPTER_STATE& sta = Adapter()->StaConnect;
    EXPECT_EQ(sta.Configuration.UnreachableDetectionThreshold, 30000000u);
    EXPECT_EQ(Bytes(sta.ConfiguredMacAddress, sta.ConfiguredMacAddress + 6), mac);
    EXPECT_EQ(sta.PldrSupported, 0);
    EXPECT_EQ(Send(kPropAdapterConfig, 0, 92,
                   Cat({Tlv(WDI_TLV_UNREACHABLE_DETECTION_THRESHOLD, U32s({5000})), Tlv(WDI_TLV_PLDR_SUPPORT, {1})}))
                  .Status(),
              STATUS_SUCCESS);
    EXPECT_EQ(sta.Configuration.UnreachableDetectionThreshold, 5000u);
    EXPECT_EQ(sta.PldrSupported, 1);
    EXPECT_EQ(Send(kPropAdapterConfig, 0, 93, Tlv(WDI_TLV_PLDR_SUPPORT, {0})).Status(), STATUS_SUCCESS);
    EXPECT_EQ(sta.PldrSupported, 1) << "never cleared here";
    EXPECT_EQ(static_cast<uint32_t>(
                  Send(kPropAdapterConfig, 0, 94, Tlv(WDI_TLV_UNREACHABLE_DETECTION_THRESHOLD, {1, 2})).Status()),
              0xC0010015u);
}

TEST_F(RadioTask, PrivacyExemptionListAbsentKeepsEmptyRemovesAndEntriesAreStored)
{
    auto entry = [](uint16_t etherType, uint32_t action, uint32_t packet) {
        Bytes v{static_cast<uint8_t>(etherType), static_cast<uint8_t>(etherType >> 8)};
        PutU32(v, action);
        PutU32(v, packet);
        return Tlv(WDI_TLV_PRIVACY_EXEMPTION_ENTRY, v);
    };
    const Bytes two = Tlv(WDI_TLV_PRIVACY_EXEMPTION_LIST, Cat({entry(0x888E, 1, 2), entry(0x88B4, 3, 1)}));
    EXPECT_EQ(Send(kPropPrivacyExemption, 0, 95, two).Status(), STATUS_SUCCESS);
    const PORT_OWNED_BUFFER& list = port0_->PrivacyExemptionList;
    ASSERT_NE(list.Buffer, nullptr);
    EXPECT_EQ(list.Size, 40u);
    const Bytes stored(list.Buffer, list.Buffer + 24);
    EXPECT_EQ(stored, (Bytes{0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0x8E, 0x88, 1, 0, 2, 0, 0xB4, 0x88, 3, 0, 1, 0}));
    EXPECT_EQ(Send(kPropPrivacyExemption, 0, 96).Status(), STATUS_SUCCESS);
    EXPECT_NE(list.Buffer, nullptr) << "no list given: the port keeps its list";
    EXPECT_EQ(Send(kPropPrivacyExemption, 0, 97, Tlv(WDI_TLV_PRIVACY_EXEMPTION_LIST, {})).Status(), STATUS_SUCCESS);
    EXPECT_EQ(list.Buffer, nullptr) << "an empty list removes it";
    EXPECT_EQ(static_cast<uint32_t>(Send(kPropPrivacyExemption, 0, 98,
                                         Tlv(WDI_TLV_PRIVACY_EXEMPTION_LIST,
                                             Tlv(WDI_TLV_PRIVACY_EXEMPTION_ENTRY, Bytes(9, 0))))
                                        .Status()),
              0xC0010015u);
}

TEST_F(RadioTask, ProtocolOffloadAndLocationPrivacyAnswerSuccess)
{
    kshim::host::WdiRequest offload = Send(kPropPmOffload, 0, 99);
    EXPECT_EQ(offload.Status(), STATUS_SUCCESS);
    EXPECT_EQ(offload.BytesWritten(), 16u);
    EXPECT_EQ(Send(kPropLocationPrivacy, 0, 100, Tlv(WDI_TLV_LOCATION_PRIVACY, {1})).Status(), STATUS_SUCCESS);
    EXPECT_EQ(static_cast<uint32_t>(Send(kPropLocationPrivacy, 0, 101).Status()), 0xC0010015u);
}

}  // namespace
