// The cipher key properties: add keys, delete keys, default key id. Each key of an add-keys request
// becomes a key material record for the key installer; the last keys are kept in the adapter for the
// re-installation after a firmware recovery and, for a static WEP key, after a wake-on-WLAN transition.
#include <cstring>

#include "Common/common.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdiproperty.h"

// The installers of the add-keys property, one per cipher family.
VOID WdiPropertyIntallWepKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key);
VOID WdiPropertyIntallTkipKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key);
VOID WdiPropertyIntallCCMPKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key);
VOID WdiPropertyIntallBipKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key);
VOID WdiPropertyIntallGCMP256Key(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key);
VOID WdiPropertyIntallBipGMACKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key);

namespace {

constexpr ULONG kKeyTypePairwise = 1;
constexpr UCHAR kAdd = 0;  // the installer's remove argument: an add-keys request never removes

bool Has(const WDI_SET_CIPHER_KEY_INFO* key, ULONG bits) { return (key->Presence & bits) == bits; }

bool BytesPresent(const WDI_BYTE_ARRAY& a) { return a.pElements != nullptr && a.ElementCount != 0; }

const UCHAR* Peer(const WDI_SET_CIPHER_KEY_INFO* key)
{
    static const UCHAR kNoPeer[6] = {};
    return Has(key, WDI_CIPHER_KEY_PRESENT_PEER) ? key->PeerMacAddress : kNoPeer;
}

UCHAR KeyId(const WDI_SET_CIPHER_KEY_INFO* key)
{
    return static_cast<UCHAR>(Has(key, WDI_CIPHER_KEY_PRESENT_KEY_ID) ? key->CipherKeyId & 0xFF : 0);
}

// Installs a pairwise or group key of a KEY_MATERIAL and keeps its copy (CCMP, GCMP-256, TKIP).
void InstallUnicastOrGroup(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key,
                           const KEY_MATERIAL& material, ULONG size)
{
    const ULONG cipher = key->CipherKeyTypeInfo.CipherAlgorithm;
    const bool pairwise = key->CipherKeyTypeInfo.KeyType == kKeyTypePairwise;
    const UCHAR index = pairwise ? 0 : KeyId(key);
    (void)MlmeInfoAddKey(adapter, port, Peer(key), index, cipher, size, &material, kAdd, pairwise ? 1 : 0);
    SAVED_KEY_SET& saved = adapter->Keys.Saved;
    saved.Cipher = cipher;
    if (pairwise) {
        saved.Pairwise = material;
    } else {
        saved.GroupKeyIndex = index;
        saved.Group = material;
    }
}

// A key of at most `room` bytes with the receive sequence count as its packet number.
bool CountedKey(const WDI_SET_CIPHER_KEY_INFO* key, const WDI_BYTE_ARRAY& bytes, ULONG room, KEY_MATERIAL* material)
{
    if (!BytesPresent(bytes) || bytes.ElementCount > room) {
        return false;
    }
    std::memset(material, 0, sizeof(*material));
    if (Has(key, WDI_CIPHER_KEY_PRESENT_RSC)) {
        std::memcpy(material->Pn, key->ReceiveSequenceCount, sizeof(material->Pn));
    }
    material->KeyLength = bytes.ElementCount;
    std::memcpy(material->u.Key, bytes.pElements, bytes.ElementCount);
    return true;
}

void InstallEntry(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    switch (key->CipherKeyTypeInfo.CipherAlgorithm) {
    case DOT11_CIPHER_ALGO_WEP40:
    case DOT11_CIPHER_ALGO_WEP104:
    case DOT11_CIPHER_ALGO_WEP:
        WdiPropertyIntallWepKey(adapter, port, key);
        break;
    case DOT11_CIPHER_ALGO_TKIP:
        WdiPropertyIntallTkipKey(adapter, port, key);
        break;
    case DOT11_CIPHER_ALGO_CCMP:
        WdiPropertyIntallCCMPKey(adapter, port, key);
        break;
    case DOT11_CIPHER_ALGO_BIP:
        WdiPropertyIntallBipKey(adapter, port, key);
        break;
    case WDI_CIPHER_ALGO_GCMP_256:
        WdiPropertyIntallGCMP256Key(adapter, port, key);
        break;
    case WDI_CIPHER_ALGO_BIP_GMAC_256:
        WdiPropertyIntallBipGMACKey(adapter, port, key);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "cipher 0x%X has no installer: key not installed",
                 static_cast<unsigned>(key->CipherKeyTypeInfo.CipherAlgorithm));
        break;
    }
}

}  // namespace

VOID WdiPropertyIntallCCMPKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    if (adapter == nullptr || port == nullptr || key == nullptr) {
        return;
    }
    KEY_MATERIAL material;
    if (!Has(key, WDI_CIPHER_KEY_PRESENT_CCMP | WDI_CIPHER_KEY_PRESENT_RSC) ||
        !CountedKey(key, key->CcmpKey, 16, &material)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "CCMP key without its counter or bytes, or over 16 bytes: not installed");
        return;
    }
    InstallUnicastOrGroup(adapter, port, key, material, KEY_PARAMS_BIP_SIZE);
}

VOID WdiPropertyIntallGCMP256Key(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    if (adapter == nullptr || port == nullptr || key == nullptr) {
        return;
    }
    KEY_MATERIAL material;
    if (!Has(key, WDI_CIPHER_KEY_PRESENT_GCMP_256 | WDI_CIPHER_KEY_PRESENT_RSC) ||
        !CountedKey(key, key->Gcmp256Key, 32, &material)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "GCMP-256 key without its counter or bytes, or over 32 bytes: not installed");
        return;
    }
    InstallUnicastOrGroup(adapter, port, key, material, KEY_PARAMS_KEY32_SIZE);
}

VOID WdiPropertyIntallTkipKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    if (adapter == nullptr || port == nullptr || key == nullptr) {
        return;
    }
    const WDI_CIPHER_KEY_TKIP_INFO& tkip = key->TkipInfo;
    if (!Has(key, WDI_CIPHER_KEY_PRESENT_TKIP) || !BytesPresent(tkip.TkipKey) || tkip.TkipKey.ElementCount > 16 ||
        !BytesPresent(tkip.TkipMic) || tkip.TkipMic.ElementCount > 16) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "TKIP key without key and MIC of at most 16 bytes: not installed");
        return;
    }
    KEY_MATERIAL material;
    std::memset(&material, 0, sizeof(material));
    material.KeyLength = 16;
    material.u.Tkip.MicKeyLength = 16;
    std::memcpy(material.u.Tkip.Key, tkip.TkipKey.pElements, tkip.TkipKey.ElementCount);
    // The 16-byte MIC key is the transmit and the receive MIC key in a row.
    UCHAR mic[16] = {};
    std::memcpy(mic, tkip.TkipMic.pElements, tkip.TkipMic.ElementCount);
    std::memcpy(material.u.Tkip.TxMic, mic, 8);
    std::memcpy(material.u.Tkip.RxMic, mic + 8, 8);
    InstallUnicastOrGroup(adapter, port, key, material, KEY_PARAMS_TKIP_SIZE);
}

VOID WdiPropertyIntallBipKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    if (adapter == nullptr || port == nullptr || key == nullptr) {
        return;
    }
    const WDI_BYTE_ARRAY& bytes = key->BipKey;
    if (!Has(key, WDI_CIPHER_KEY_PRESENT_BIP) || !BytesPresent(bytes) || bytes.ElementCount > 16) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "BIP key without bytes or over 16 bytes: not installed");
        return;
    }
    KEY_MATERIAL material;
    std::memset(&material, 0, sizeof(material));  // the IPN starts at 0
    material.KeyLength = bytes.ElementCount;
    std::memcpy(material.u.Key, bytes.pElements, bytes.ElementCount);
    const UCHAR index = KeyId(key);
    (void)MlmeInfoAddKey(adapter, port, Peer(key), index, DOT11_CIPHER_ALGO_BIP, KEY_PARAMS_BIP_SIZE, &material, kAdd,
                         0);
    SAVED_KEY_SET& saved = adapter->Keys.Saved;
    saved.Cipher = DOT11_CIPHER_ALGO_BIP;
    saved.BipKeyIndex = index;
    saved.Group = material;
}

VOID WdiPropertyIntallBipGMACKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    if (adapter == nullptr || port == nullptr || key == nullptr) {
        return;
    }
    if (!Has(key, WDI_CIPHER_KEY_PRESENT_BIP_GMAC_256)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "BIP-GMAC-256 key without its bytes");
        return;
    }
    KEY_MATERIAL material;
    if (!CountedKey(key, key->BipGmac256Key, IGTK_KEY_MAX, &material)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "BIP-GMAC-256 key empty or over 32 bytes: not installed");
        return;
    }
    // The port's own copy is what the receive check of broadcast management frames reads.
    PORT_BIP_GMAC_KEY& own = port->BipGmac;
    std::memset(&own.Key, 0, sizeof(own.Key));
    std::memcpy(own.Key.Ipn, material.Pn, sizeof(own.Key.Ipn));
    own.Key.KeyLength = material.KeyLength;
    std::memcpy(own.Key.aucIGTK, material.u.Key, material.KeyLength);
    own.Present = 1;
    own.RxIpnValid = 0;
    own.RxIpn = 0;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "pMKeyAlgoBipGmac saved, key id %u", static_cast<unsigned>(KeyId(key)));
    const UCHAR index = KeyId(key);
    (void)MlmeInfoAddKey(adapter, port, Peer(key), index, WDI_CIPHER_ALGO_BIP_GMAC_256, KEY_PARAMS_KEY32_SIZE,
                         &material, kAdd, 0);
    SAVED_KEY_SET& saved = adapter->Keys.Saved;
    saved.Cipher = WDI_CIPHER_ALGO_BIP_GMAC_256;
    saved.BipKeyIndex = index;
    saved.Group = material;
}

VOID WdiPropertyIntallWepKey(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SET_CIPHER_KEY_INFO* key)
{
    if (adapter == nullptr || port == nullptr || key == nullptr) {
        return;
    }
    const WDI_BYTE_ARRAY& bytes = key->WepKey;
    if (!Has(key, WDI_CIPHER_KEY_PRESENT_WEP) || !BytesPresent(bytes)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "WEP key without bytes: not installed");
        return;
    }
    const ULONG cipher = key->CipherKeyTypeInfo.CipherAlgorithm;
    const UCHAR index = KeyId(key);
    (void)MlmeInfoAddKey(adapter, port, Peer(key), index, cipher, bytes.ElementCount, bytes.pElements, kAdd, 0);
    if (key->CipherKeyTypeInfo.Static == 0) {
        return;
    }
    if (bytes.ElementCount != 5 && bytes.ElementCount != 13) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "static WEP key of %u bytes not saved",
                 static_cast<unsigned>(bytes.ElementCount));
        return;
    }
    SAVED_STATIC_WEP_KEY& wep = adapter->Keys.SavedStaticWep;
    std::memcpy(wep.PeerAddress, Peer(key), 6);
    wep.KeyIndex = index;
    wep.CipherAlgorithm = cipher;
    wep.KeyLength = bytes.ElementCount;
    std::memset(wep.Key, 0, sizeof(wep.Key));
    std::memcpy(wep.Key, bytes.pElements, bytes.ElementCount);
    wep.Saved = 1;
    wep.ReinstallPending = 0;
}

NTSTATUS WdiPropertySetAddCipherKeys(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_SET_ADD_CIPHER_KEYS_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    // Every key of the request is installed, in order (a group and an integrity key often come together).
    for (ULONG i = 0; i < p->ElementCount && p->pElements != nullptr; ++i) {
        InstallEntry(adapter, port, &p->pElements[i]);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetDeleteCipherKeys(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    // Keys go with link down and reset; nothing is removed here.
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "delete cipher keys: keys stay until link down");
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetDefaultKeyId(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_DEFAULT_KEY_ID_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    port->Keys.DefaultKeyId = static_cast<UCHAR>(p->KeyId & 0xFF);
    const bool adhoc = adapter->WorkingCfg.NetworkType == 2;
    if (port->P2pConnectState == P2P_GO_ASSOC_AUTH && !adhoc) {
        port->Keys.DefaultKeyId = 1;
    }
    if (KeGetCurrentIrql() >= DISPATCH_LEVEL) {
        const ULONG portIndex = port->PortNumber;
        (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_DEFAULT_KEY_ID, &portIndex, sizeof(portIndex));
    } else {
        (void)MlmeInfoStaOidSetWEPDefaultKeyID(port);
    }
    return STATUS_SUCCESS;
}
