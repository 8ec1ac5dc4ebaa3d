// Wi-Fi Direct control block: the group, discovery, credential and persistent-group tables, the
// names of the Wi-Fi Direct states, WPS values and operating classes, and the release of a
// connection's peers.
#include "Common/p2p/p2p.h"

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/p2p/p2p_services.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

const UCHAR kZeroAddress[P2P_ADDR_LEN] = {};
const UCHAR kBroadcastAddress[P2P_ADDR_LEN] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

BOOLEAN SameAddress(const UCHAR* a, const UCHAR* b) { return PlatformEqualMemory(a, b, P2P_ADDR_LEN); }

BOOLEAN IsGroupAddress(const UCHAR* address) { return (address[0] & 0x01) != 0; }

// Searches refuse group, broadcast and all-zero addresses.
BOOLEAN SearchableAddress(const UCHAR* address)
{
    return address != nullptr && !IsGroupAddress(address) && !SameAddress(address, kBroadcastAddress) &&
           !SameAddress(address, kZeroAddress);
}

// Inserts refuse group and all-zero addresses, with a trace.
BOOLEAN InsertableAddress(const UCHAR* address, PCSTR table)
{
    if (address == nullptr || IsGroupAddress(address) || SameAddress(address, kZeroAddress)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s insert refuses a group or zero address", table);
        return FALSE;
    }
    return TRUE;
}

// An SSID from a frame or a request may claim more than 32 bytes: only what fits is copied and
// the stored length never exceeds the field.
void StoreSsid(PUCHAR field, PUCHAR fieldLen, const UCHAR* ssid, UCHAR ssidLen)
{
    UCHAR length = ssidLen > P2P_SSID_MAX ? static_cast<UCHAR>(P2P_SSID_MAX) : ssidLen;
    if (ssidLen != 0 && ssid != nullptr) {
        PlatformZeroMemory(field, P2P_SSID_MAX);
        PlatformMoveMemory(field, ssid, length);
    }
    *fieldLen = length;
}

PP2P_CTRL_BLOCK BlockOf(PMP_ADAPTER adapter) { return adapter != nullptr ? adapter->P2pBlock : nullptr; }

// The fields a group entry loses at initialisation and at delete.
void ClearGroupPeerFields(PP2P_GROUP_ENTRY entry)
{
    PlatformZeroMemory(entry->Ssid, sizeof(entry->Ssid));
    entry->SsidLen = 0;
    entry->GoIntent = 0;
    PlatformZeroMemory(entry->DeviceAddress, P2P_ADDR_LEN);
    PlatformZeroMemory(entry->InterfaceAddress, P2P_ADDR_LEN);
    PlatformZeroMemory(entry->GroupBssid, P2P_ADDR_LEN);
    PlatformZeroMemory(entry->PrimaryDeviceType, sizeof(entry->PrimaryDeviceType));
    entry->SecondaryTypeCount = 0;
    PlatformZeroMemory(entry->SecondaryTypes, sizeof(entry->SecondaryTypes));
    entry->OpChannel = 0;
    PlatformZeroMemory(entry->DeviceName, sizeof(entry->DeviceName));
    entry->DeviceNameLen = 0;
    entry->ListenChannel = 0;
    entry->ConfigMethods = 0;
}

}  // namespace

// ================================================================================================
// group table
// ================================================================================================
void P2pGroupTabInit(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return;
    }
    for (P2P_GROUP_ENTRY& entry : block->GroupTable) {
        entry.State = P2PSTATE_NONE;
        entry.Role = P2P_ROLE_DEVICE;
        entry.DeviceCapability = 0;
        entry.GroupCapability = 0;
        ClearGroupPeerFields(&entry);
    }
    block->GroupEntryCount = 0;
}

UCHAR P2pGroupTabInsert(PMP_ADAPTER adapter, const UCHAR* address, LONG state, const UCHAR* ssid, UCHAR ssidLen)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || !InsertableAddress(address, "group table")) {
        return P2P_NO_ENTRY;
    }
    // The scan ends at the first free entry: a known address behind it is not seen.
    for (UCHAR i = 0; i < P2P_GROUP_TABLE_SIZE; ++i) {
        P2P_GROUP_ENTRY& entry = block->GroupTable[i];
        if (entry.State == P2PSTATE_NONE) {
            ++block->GroupEntryCount;
            PlatformMoveMemory(entry.DeviceAddress, address, P2P_ADDR_LEN);
            entry.State = state;
            StoreSsid(entry.Ssid, &entry.SsidLen, ssid, ssidLen);
            entry.GoIntent = 0;
            entry.GoEntryIndex = P2P_NO_ENTRY;
            entry.Reserved1 = 0;
            entry.ComebackDelay = 0;
            entry.OpChannel = 0;
            entry.ListenChannel = 0;
            UCHAR token = RandomOctetGet(adapter);
            entry.DialogToken = (token == 0 || token > 245) ? 6 : token;
            entry.AssocValue = 0xFFFF;
            entry.FormFlags = 0;
            entry.Role = state == P2PSTATE_DISCOVERY_GO ? P2P_ROLE_GO : P2P_ROLE_DEVICE;
            return i;
        }
        if (SameAddress(entry.DeviceAddress, address)) {
            if (state != P2PSTATE_NONE) {
                entry.State = state;
            }
            StoreSsid(entry.Ssid, &entry.SsidLen, ssid, ssidLen);
            return i;
        }
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "group table full");
    return P2P_NO_ENTRY;
}

UCHAR P2pGroupTabSearch(PMP_ADAPTER adapter, const UCHAR* address)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || !SearchableAddress(address)) {
        return P2P_NO_ENTRY;
    }
    UCHAR found = P2P_NO_ENTRY;
    for (UCHAR i = 0; i < P2P_GROUP_TABLE_SIZE; ++i) {
        const P2P_GROUP_ENTRY& entry = block->GroupTable[i];
        if (entry.State >= 1 && (SameAddress(entry.DeviceAddress, address) ||
                                 SameAddress(entry.InterfaceAddress, address) ||
                                 SameAddress(entry.GroupBssid, address))) {
            found = i;
        }
    }
    return found;
}

UCHAR P2pGroupTabDelete(PMP_ADAPTER adapter, UCHAR index, const UCHAR* address)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return index;
    }
    if (index >= P2P_TABLE_LIMIT && address != nullptr) {
        index = P2pGroupTabSearch(adapter, address);
    }
    if (index >= P2P_TABLE_LIMIT) {
        return index;
    }
    P2P_GROUP_ENTRY& entry = block->GroupTable[index];
    ClearGroupPeerFields(&entry);
    entry.ComebackDelay = 0;
    entry.Reserved1 = 0;
    entry.GoEntryIndex = P2P_NO_ENTRY;
    entry.Role = P2P_ROLE_DEVICE;
    entry.AssocValue = 0xFFFF;
    if (block->GroupEntryCount != 0 && entry.State != P2PSTATE_NONE) {
        --block->GroupEntryCount;
    }
    entry.State = P2PSTATE_NONE;
    return index;
}

// ================================================================================================
// discovery table
// ================================================================================================
void P2pDiscoTabInit(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return;
    }
    PlatformZeroMemory(block->DiscoTable, sizeof(block->DiscoTable));
    block->DiscoEntryCount = 0;
}

UCHAR P2pDiscoTabInsert(PMP_ADAPTER adapter, const UCHAR* deviceAddress, const UCHAR* interfaceAddress,
                        const UCHAR* ssid, UCHAR ssidLen)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || !InsertableAddress(deviceAddress, "discovery table")) {
        return P2P_NO_ENTRY;
    }
    for (UCHAR i = 0; i < P2P_DISCO_TABLE_SIZE; ++i) {
        P2P_DISCO_ENTRY& entry = block->DiscoTable[i];
        if (!entry.Valid) {
            // A new entry; the caller marks it valid.
            ++block->DiscoEntryCount;
            PlatformMoveMemory(entry.DeviceAddress, deviceAddress, P2P_ADDR_LEN);
            if (interfaceAddress != nullptr) {
                PlatformMoveMemory(entry.InterfaceAddress, interfaceAddress, P2P_ADDR_LEN);
            }
            StoreSsid(entry.Ssid, &entry.SsidLen, ssid, ssidLen);
            return i;
        }
        if (SameAddress(entry.DeviceAddress, deviceAddress)) {
            if (interfaceAddress != nullptr && !SameAddress(entry.InterfaceAddress, interfaceAddress)) {
                PlatformMoveMemory(entry.InterfaceAddress, interfaceAddress, P2P_ADDR_LEN);
            }
            StoreSsid(entry.Ssid, &entry.SsidLen, ssid, ssidLen);
            return i;
        }
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "discovery table full");
    return P2P_NO_ENTRY;
}

UCHAR P2pDiscoTabSearch(PMP_ADAPTER adapter, const UCHAR* deviceAddress, const UCHAR* interfaceAddress,
                        PUCHAR indexes)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return P2P_NO_ENTRY;
    }
    UCHAR found = P2P_NO_ENTRY;
    if (deviceAddress != nullptr) {
        if (!SearchableAddress(deviceAddress)) {
            return P2P_NO_ENTRY;
        }
        for (UCHAR i = 0; i < P2P_DISCO_TABLE_SIZE; ++i) {
            const P2P_DISCO_ENTRY& entry = block->DiscoTable[i];
            if (entry.Valid && SameAddress(entry.DeviceAddress, deviceAddress)) {
                found = i;
            }
        }
        return found;
    }
    if (!SearchableAddress(interfaceAddress)) {
        return P2P_NO_ENTRY;
    }
    ULONG matches = 0;
    for (UCHAR i = 0; i < P2P_DISCO_TABLE_SIZE; ++i) {
        const P2P_DISCO_ENTRY& entry = block->DiscoTable[i];
        if (!entry.Valid || !SameAddress(entry.InterfaceAddress, interfaceAddress)) {
            continue;
        }
        if (matches == P2P_DISCO_SEARCH_INDEXES) {
            return i;  // the eighth match ends the search
        }
        if (indexes != nullptr) {
            indexes[matches] = i;
        }
        ++matches;
        found = i;
    }
    return found;
}

UCHAR P2pDiscoTabDelete(PMP_ADAPTER adapter, UCHAR index, const UCHAR* deviceAddress)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return index;
    }
    if (index >= P2P_TABLE_LIMIT && deviceAddress != nullptr) {
        index = P2pDiscoTabSearch(adapter, deviceAddress, nullptr, nullptr);
    }
    if (index >= P2P_TABLE_LIMIT) {
        return index;
    }
    P2P_DISCO_ENTRY& entry = block->DiscoTable[index];
    if (block->DiscoEntryCount != 0 && entry.Valid) {
        --block->DiscoEntryCount;
    }
    PlatformZeroMemory(&entry, sizeof(entry));
    return index;
}

void P2pDiscoTabFlush(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return;
    }
    for (UCHAR i = 0; i < P2P_DISCO_TABLE_SIZE; ++i) {
        if (block->DiscoTable[i].Valid) {
            (void)P2pDiscoTabDelete(adapter, i, nullptr);
        }
    }
}

void P2pDiscoTabClearNewFlag(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr) {
        return;
    }
    for (P2P_DISCO_ENTRY& entry : block->DiscoTable) {
        if (entry.Valid) {
            entry.Reported = 0;
        }
    }
}

BOOLEAN P2PCheckStaleEntry(PMP_ADAPTER adapter, UCHAR index)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || index >= P2P_TABLE_LIMIT || !block->DiscoTable[index].Valid) {
        return FALSE;
    }
    const P2P_DISCO_ENTRY& entry = block->DiscoTable[index];
    return static_cast<BOOLEAN>(entry.ProbeRspTime != entry.PrevProbeRspTime ||
                                entry.BeaconTime != entry.PrevBeaconTime);
}

// ================================================================================================
// credential table
// ================================================================================================
void P2pCrednTabInit(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block != nullptr) {
        PlatformZeroMemory(block->CredentialTable, sizeof(block->CredentialTable));
    }
}

BOOLEAN P2pCrednEntrySearch(PMP_ADAPTER adapter, const UCHAR* address, PUCHAR index)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || !SearchableAddress(address)) {
        return FALSE;
    }
    BOOLEAN found = FALSE;
    for (UCHAR i = 0; i < P2P_CREDN_TABLE_SIZE; ++i) {
        const P2P_CREDN_ENTRY& entry = block->CredentialTable[i];
        if (entry.Valid == 1 && SameAddress(entry.PeerAddress, address)) {
            found = TRUE;
            if (index != nullptr) {
                *index = i;
            }
        }
    }
    return found;
}

// ================================================================================================
// peers of a connection
// ================================================================================================
NTSTATUS P2pDisconnectAllPeers(PMP_ADAPTER adapter, PMP_PORT port, UCHAR mode)
{
    if (adapter == nullptr || port == nullptr || mode > 3) {
        return STATUS_INVALID_PARAMETER;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED | ADAPTER_FLAG_MLME_RESTARTING)) {
        return STATUS_SUCCESS;
    }
    if (mode == 0 && port->P2pConnectState == P2P_I_AM_CLIENT_OP) {
        // A client leaves its group owner through the association machine of its role port.
        PMP_PORT rolePort = port->P2pRolePortIndex < MP_MAX_PORTS ? adapter->PortList[port->P2pRolePortIndex] : nullptr;
        if (rolePort == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "client release without a role port %u",
                     static_cast<unsigned>(port->P2pRolePortIndex));
            return STATUS_SUCCESS;
        }
        MLME_DISASSOC_REQ_STRUCT request = {};
        PlatformMoveMemory(request.Addr, port->P2pGroupBssid, sizeof(request.Addr));
        request.Reason = 3;
        return MlmeEnqueue(adapter, rolePort, MLME_ASSOC_STATE_MACHINE, MT2_MLME_DISASSOC_REQ, sizeof(request),
                           &request)
                   ? STATUS_SUCCESS
                   : STATUS_UNSUCCESSFUL;
    }
    // The peers of a group owner are found in the port's station entries by their Wi-Fi Direct
    // peer state, which the station table keeps.
    return NOT_BUILT_YET();
}

BOOLEAN MacAddrGreaterOrEqual(const UCHAR* first, const UCHAR* second)
{
    for (ULONG i = 0; i < P2P_ADDR_LEN; ++i) {
        if (second[i] < first[i]) {
            return FALSE;
        }
    }
    return TRUE;
}

// ================================================================================================
// WPS values of a port
// ================================================================================================
void P2PConfigMethodSet(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    switch (port->P2pCfgControl & 0x7000u) {
    case 0x1000u:
        port->P2pConfigMethod = 0x0004;  // label
        break;
    case 0x2000u:
        port->P2pConfigMethod = 0x0008;  // display
        break;
    case 0x3000u:
        port->P2pConfigMethod = 0x0100;  // keypad
        break;
    case 0x4000u:
        port->P2pConfigMethod = 0x0080;  // push button
        break;
    default:
        port->P2pConfigMethod = 0x0188;  // display, push button and keypad
        break;
    }
}

void P2PInitWpsInfo(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    PlatformZeroMemory(&port->P2pWpsExchange, sizeof(port->P2pWpsExchange));
    if (port->P2pFormState != P2P_ANY_IN_FORMATION_AS_GO) {
        PlatformZeroMemory(port->P2pWpsCredentialRef, sizeof(port->P2pWpsCredentialRef));
        port->P2pWpsStatusByte = 0;
    }
    port->P2pWpsExchange.Mode = (port->P2pCfgControl >> 12) & 0x7u;
    port->P2pWpsExchange.PasswordWord = 0xFFFF;
}

// ================================================================================================
// names
// ================================================================================================
namespace {

struct StateName {
    LONG Value;
    PCSTR Name;
};

const StateName kGroupStateNames[] = {
    {0, "P2PSTATE_NONE"},
    {1, "P2PSTATE_DISCOVERY"},
    {2, "P2PSTATE_DISCOVERY_GO"},
    {3, "P2PSTATE_DISCOVERY_CLIENT"},
    {4, "P2PSTATE_DISCOVERY_UNKNOWN"},
    {5, "P2PSTATE_CLIENT_DISCO_COMMAND"},
    {6, "P2PSTATE_WAIT_GO_DISCO_ACK"},
    {7, "P2PSTATE_WAIT_GO_DISCO_ACK_SUCCESS"},
    {8, "P2PSTATE_GO_DISCO_COMMAND"},
    {9, "P2PSTATE_INVITE_COMMAND"},
    {10, "P2PSTATE_CONNECT_COMMAND"},
    {11, "P2PSTATE_PROVISION_COMMAND"},
    {12, "P2PSTATE_SERVICE_DISCO_COMMAND"},
    {13, "P2PSTATE_SERVICE_COMEBACK_COMMAND"},
    {14, "P2PSTATE_SENT_INVITE_REQ"},
    {15, "P2PSTATE_SENT_PROVISION_REQ"},
    {16, "P2PSTATE_WAIT_REVOKEINVITE_RSP_ACK"},
    {17, "P2PSTATE_REVOKEINVITE_RSP_ACK_SUCCESS"},
    {18, "P2PSTATE_SENT_GO_NEG_REQ"},
    {19, "P2PSTATE_GOT_GO_RSP_INFO_UNAVAI"},
    {20, "P2PSTATE_WAIT_GO_COMFIRM"},
    {21, "P2PSTATE_WAIT_GO_COMFIRM_ACK"},
    {22, "P2PSTATE_GOT_GO_COMFIRM"},
    {23, "P2PSTATE_GO_COMFIRM_ACK_SUCCESS"},
    {24, "P2PSTATE_REINVOKEINVITE_TILLCONFIGTIME"},
    {25, "P2PSTATE_GO_DONE"},
    {26, "P2PSTATE_GO_WPS"},
    {27, "P2PSTATE_GO_AUTH"},
    {28, "P2PSTATE_GO_ASSOC"},
    {29, "P2PSTATE_CLIENT_WPS"},
    {30, "P2PSTATE_CLIENT_WPS_DONE"},
    {31, "P2PSTATE_CLIENT_AUTH"},
    {32, "P2PSTATE_CLIENT_ASSOC"},
    {33, "P2PSTATE_CLIENT_OPERATING"},
    {34, "P2PSTATE_GO_OPERATING"},
    {35, "P2PSTATE_NONP2P_PSK"},
    {36, "P2PSTATE_NONP2P_WPS"},
};

const StateName kPortStateNames[] = {
    {0, "P2P_DISABLE"},
    {1, "P2P_ENABLE_LISTEN_ONLY"},
    {2, "P2P_IDLE"},
    {3, "P2P_SEARCH_COMMAND"},
    {4, "P2P_SEARCH"},
    {5, "P2P_SEARCH_COMPLETE"},
    {6, "P2P_LISTEN_COMMAND"},
    {7, "P2P_LISTEN"},
    {8, "P2P_LISTEN_COMPLETE"},
    {13, "P2P_CONNECT_IDLE"},
    {15, "P2P_INVITE"},
    {16, "P2P_ANY_IN_FORMATION_AS_GO"},
    {17, "GroupForming as Client"},
    {18, "P2P_DO_GO_NEG_DONE_CLIENT"},
    {19, "P2P_DO_GO_SCAN_OP_BEGIN"},
    {20, "P2P_DO_GO_SCAN_OP_DONE"},
    {21, "P2P_DO_GO_SCAN_BEGIN"},
    {22, "P2P_DO_GO_SCAN_DONE"},
    {23, "P2P_WPS_REGISTRA"},
    {24, "P2P_DO_WPS_ENROLLEE"},
    {25, "P2P_DO_WPS_DONE_NEED_SETEVENT"},
    {26, "P2P_DO_WPS_ENROLLEE_DONE"},
    {27, "P2P_GO_ASSOC_AUTH"},
    {28, "P2P_I_AM_CLIENT_ASSOC_AUTH"},
    {29, "P2P_I_AM_CLIENT_OP"},
    {30, "P2P_I_AM_GO_OP"},
    {41, "P2pMs_STATE_IDLE"},
    {42, "P2pMs_STATE_START_PROGRESS"},
    {43, "P2pMs_STATE_FORMATION"},
    {44, "P2pMs_STATE_INVITATION"},
    {45, "P2pMs_STATE_PROVISIONING"},
};

const char kUnknownState[] = "***UNKNOWN state***";

template <size_t N>
PCSTR NameOf(const StateName (&table)[N], LONG value)
{
    for (const StateName& row : table) {
        if (row.Value == value) {
            return row.Name;
        }
    }
    return kUnknownState;
}

}  // namespace

PCSTR p2pGroupStateName(LONG state) { return NameOf(kGroupStateNames, state); }

PCSTR p2pStateName(LONG state) { return NameOf(kPortStateNames, state); }

PCSTR MlmeP2pMsStateName(ULONG state)
{
    switch (state) {
    case P2P_NULL_STATE:
        return "P2P_NULL_STATE";
    case P2P_SEND_STATE:
        return "P2P_SEND_STATE";
    case P2P_WAIT_ACK_STATE:
        return "P2P_WAIT_ACK_STATE";
    case P2P_WAIT_RSP_STATE:
        return "P2P_WAIT_RSP_STATE";
    default:
        return "P2P_STATE_UNKNOWN";
    }
}

PCSTR MlmeP2pMsSignalName(ULONG signal)
{
    static const PCSTR kSubtypeNames[] = {
        "GO_NEGOCIATION_REQ", "GO_NEGOCIATION_RSP", "GO_NEGOCIATION_CONFIRM",
        "P2P_INVITE_REQ",     "P2P_INVITE_RSP",     "P2P_DEV_DISC_REQ",
        "P2P_DEV_DISC_RSP",   "P2P_PROVISION_REQ",  "P2P_PROVISION_RSP",
    };
    if (signal < sizeof(kSubtypeNames) / sizeof(kSubtypeNames[0])) {
        return kSubtypeNames[signal];
    }
    return signal == P2P_GOT_ACK ? "P2P_GOT_ACK" : "P2P_SIGNAL_UNKNOWN";
}

PCSTR P2pConfigMethodName(USHORT configMethod)
{
    switch (configMethod) {
    case 0:
        return "NOT SPECIFY CONFIG METHOD ";
    case 4:
        return "LABEL  LABEL ";
    case 8:
        return "DISPLAY  DISPLAY";
    case 128:
        return "PBC   PBC";
    case 256:
        return "KEYPAD  KEYPAD";
    default:
        return "***Multiple ConfigMethod***";
    }
}

PCSTR P2pDevPasswordIdName(USHORT passwordId)
{
    switch (passwordId) {
    case 0:
        return "DEV_PASS_ID_PIN    ";
    case 1:
        return "DEV_PASS_ID_USER_SPECIFIED";
    case 4:
        return "DEV_PASS_ID_PBC";
    case 5:
        return "DEV_PASS_ID_REGISTRA_SPECIFIED";
    default:
        return "***UNKNOWN dpid***";
    }
}

// ================================================================================================
// operating classes
// ================================================================================================
namespace {

// 5 GHz classes at 20 MHz; channels 165 and 169 (and 173 where allowed) are class 125.
UCHAR OpClass5g20(UCHAR channel, BOOLEAN with173)
{
    if (channel <= 48) {
        return 115;
    }
    if (channel <= 64) {
        return 118;
    }
    if (channel <= 144) {
        return 121;
    }
    if (channel == 165 || channel == 169 || (with173 && channel == 173)) {
        return 125;
    }
    return 124;
}

}  // namespace

UCHAR P2pOpClassFromChannel(UCHAR channel, ULONG band, UCHAR selector)
{
    if (selector == 4) {
        switch (band) {
        case BAND_24G:
            if (channel <= 13) {
                return 81;
            }
            return channel == 14 ? 82 : 1;
        case BAND_5G:
            return OpClass5g20(channel, FALSE);
        case BAND_6G:
            if ((channel & 3) == 1) {
                return 131;
            }
            if ((channel & 7) == 3) {
                return 132;
            }
            if ((channel & 15) == 7) {
                return 133;
            }
            if ((channel & 31) == 15) {
                return 134;
            }
            return 131;
        default:
            return 81;
        }
    }
    if (selector == 1) {
        if (channel <= 11) {
            return 81;
        }
        if (channel <= 48) {
            return 115;
        }
        if (channel <= 64) {
            return 118;
        }
        if (channel <= 140) {
            return 121;
        }
        return (channel == 165 || channel == 169) ? 125 : 124;
    }
    return 1;
}

UCHAR P2pOpClassFromChannelBw(UCHAR channel, ULONG band, UCHAR selector, UCHAR bandwidth)
{
    if (selector != 4) {
        return 1;
    }
    if (band == BAND_24G) {
        switch (bandwidth) {
        case BW_20:
            if (channel <= 13) {
                return 81;
            }
            return channel == 14 ? 82 : 1;
        case BW_40:
            return channel <= 9 ? 83 : 84;
        default:
            return 1;
        }
    }
    if (band == BAND_5G) {
        switch (bandwidth) {
        case BW_20:
            return OpClass5g20(channel, TRUE);
        case BW_40:
            switch (channel) {
            case 36:
            case 44:
                return 116;
            case 40:
            case 48:
                return 117;
            case 52:
            case 60:
                return 119;
            case 56:
            case 64:
                return 120;
            case 100:
            case 108:
            case 116:
            case 124:
            case 132:
            case 140:
                return 122;
            case 104:
            case 112:
            case 120:
            case 128:
            case 136:
            case 144:
                return 123;
            case 149:
            case 157:
            case 165:
                return 126;
            default:
                return 127;
            }
        case BW_80:
            return 128;
        case BW_160:
            return 129;
        default:
            return 1;
        }
    }
    return 81;
}

// ================================================================================================
// what the shell calls
// ================================================================================================
UCHAR P2pGetClientWcid(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return 99;
}

void P2pSetModeValue(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode)
{
    UNREFERENCED_PARAMETER(adapter);
    port->P2pState.ModeValue = mode;
}

// ================================================================================================
// Wi-Fi Direct procedures built with their own routines
// ================================================================================================
NTSTATUS MlmeP2pMsPublicActionFrameStateMachineExec(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(frame);
    UNREFERENCED_PARAMETER(length);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeP2pMsPublicActionFrameGotAck(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsPublicActionFrameWaitTimerTimeoutExec(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS p2pStopListenPhase(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pStartAutoGo(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pDisconnectReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

void P2pStopGoReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

NTSTATUS P2pGPTimeOutHandle(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

// ================================================================================================
// what the scan and the beacon intake call
// ================================================================================================
namespace {

bool FormingGroup(const MP_PORT* port)
{
    if (port == nullptr) {
        return false;
    }
    const LONG state = port->P2pConnectState;
    return (state >= P2P_ANY_IN_FORMATION_AS_GO && state <= P2P_I_AM_CLIENT_ASSOC_AUTH) ||
           port->P2pMsState == P2pMs_STATE_FORMATION;
}

}  // namespace

BOOLEAN P2PIsScanAllowed(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    PP2P_CTRL_BLOCK p2p = adapter != nullptr ? adapter->P2pBlock : nullptr;
    if (p2p == nullptr) {
        return TRUE;
    }
    return static_cast<BOOLEAN>(!FormingGroup(p2p->DevicePort) && !FormingGroup(p2p->GoPort));
}

UCHAR PeerP2pBeaconProbeRspAtScan(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem, USHORT capability,
                                  UCHAR channel, P2P_DISCO_ENTRY** entry)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    UNREFERENCED_PARAMETER(capability);
    UNREFERENCED_PARAMETER(channel);
    *entry = nullptr;
    (void)NOT_BUILT_YET();
    return 0;
}

VOID P2pMsIndicateWfdDeviceDiscoveryList(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

VOID PeerP2pBeacon(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* transmitter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(transmitter);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID PeerP2pBeaconCSABackup(PMP_ADAPTER adapter, PMP_PORT port, PBSS_ENTRY entry, const UCHAR* channelSwitch,
                            const UCHAR* secondary, ULONG entryIndex)
{
    constexpr UCHAR kNoSecondary = 0xFF;
    constexpr UCHAR kSwitchHold = 90;
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || entry == nullptr || channelSwitch == nullptr || secondary == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "group owner's channel switch: no port or BSS entry %u",
                 static_cast<unsigned>(entryIndex));
        return;
    }
    const UCHAR channel = channelSwitch[1];
    entry->Channel = channel;
    port->Channel.PrimaryChannel = channel;
    port->Channel.CentreChannel = channel;
    port->Channel.Band = channel <= 14 ? BAND_24G : BAND_5G;
    // The group owner's old width no longer holds on the new channel.
    entry->SecondaryChannelOffset = 0;
    entry->CentralChannel = 0;
    entry->HtOperation[1] = static_cast<UCHAR>(entry->HtOperation[1] & ~0x07);
    if (secondary[0] != kNoSecondary) {
        port->Channel.CentreChannel = secondary[1];
        entry->SecondaryChannelOffset = secondary[0];
        entry->CentralChannel = secondary[1];
    }
    port->Mlme.Req.ChSwitchHold = kSwitchHold;
}

VOID PeerP2pProbeReq(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem, ULONG mode)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(elem);
    UNREFERENCED_PARAMETER(mode);
    (void)NOT_BUILT_YET();
}

VOID MlmeP2PListenPhaseStartCallback(PMP_PORT devicePort, ULONG reserved)
{
    UNREFERENCED_PARAMETER(devicePort);
    UNREFERENCED_PARAMETER(reserved);
    (void)NOT_BUILT_YET();
}

BOOLEAN MlmeP2PIsListenAllowed(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return FALSE;
}

void P2pMlmeCntLinkDown(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
