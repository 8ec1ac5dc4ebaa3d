// Cipher keys of a port: the shared key slots and the port's BIP key record, each peer's pairwise key,
// the adapter's BIP key copy and saved key set; programming the firmware, removing every key of a
// port, the default key index and the re-installation after a firmware recovery.
#include "Common/mlme/mlmeinfo.h"

#include <cstring>

#include "Common/logevent.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlmeinfo_recv.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_bss.h"
#include "hal/common/hal_postdl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr NTSTATUS kStatusNoEntry = static_cast<NTSTATUS>(0xC0010015L);
constexpr ULONG kLogAddKey = 0x4002040Fu;
constexpr UCHAR kZeroAddr[6] = {0, 0, 0, 0, 0, 0};
constexpr UCHAR kBroadcastAddr[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr char kCertScvPrefix[] = "SCV-11.1.17_PEAP0_";
constexpr ULONG kAuthProtectedMgmt = 0x80000006u;

bool IsZeroAddr(const UCHAR* a) { return a == nullptr || std::memcmp(a, kZeroAddr, 6) == 0; }

bool IsWep(UCHAR cipher) { return cipher == CIPHER_WEP64 || cipher == CIPHER_WEP128; }

// The port runs an ad hoc network.
bool PortAdhoc(PMP_ADAPTER adapter, PMP_PORT port)
{
    return port->PortNumber == 0 && adapter->WorkingCfg.NetworkType == 2;
}

// Stores an integrity key in the adapter's BIP key copy (key indexes 4 and 5; at most 16 bytes).
NTSTATUS StoreBipCopy(PMP_ADAPTER adapter, ULONG keyIndex, const UCHAR* ipn, const UCHAR* key, ULONG keyLength)
{
    if (keyIndex < BIP_KEY_INDEX_FIRST || keyIndex >= BIP_KEY_INDEX_FIRST + BIP_KEY_COPY_SLOTS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "integrity key of index %u: the BIP key copy holds 4 and 5 only",
                 static_cast<unsigned>(keyIndex));
        return kStatusNoEntry;
    }
    BIP_KEY_COPY& bip = adapter->Keys.Bip;
    const ULONG slot = keyIndex - BIP_KEY_INDEX_FIRST;
    bip.KeyId = static_cast<UCHAR>(keyIndex);
    std::memcpy(bip.Ipn[slot], ipn, 6);
    std::memset(bip.Key[slot], 0, BIP_KEY_COPY_LEN);
    std::memcpy(bip.Key[slot], key, keyLength < BIP_KEY_COPY_LEN ? keyLength : BIP_KEY_COPY_LEN);
    return STATUS_SUCCESS;
}

// Fills a key record from the material: length, key (at most 32 bytes), the TKIP MIC keys, packet
// number 1.
void FillRecord(PCIPHER_KEY record, UCHAR cipher, ULONG lengthUsed, const UCHAR* keyBytes, ULONG keyBytesAvailable,
                const KEY_PARAMS* tkip)
{
    record->KeyLen = static_cast<UCHAR>(lengthUsed);
    std::memset(record->Key, 0, sizeof(record->Key));
    ULONG copy = lengthUsed < CIPHER_KEY_MAX ? lengthUsed : CIPHER_KEY_MAX;
    copy = copy < keyBytesAvailable ? copy : keyBytesAvailable;
    if (keyBytes != nullptr && copy != 0) {
        std::memcpy(record->Key, keyBytes, copy);
    }
    if (cipher == CIPHER_TKIP && tkip != nullptr) {
        std::memcpy(record->TxMic, tkip->u.Tkip.TxMic, CIPHER_MIC_KEY_LEN);
        std::memcpy(record->RxMic, tkip->u.Tkip.RxMic, CIPHER_MIC_KEY_LEN);
    }
    record->TxTsc = 1;
    record->TxTscHigh = 0;
}

void SendKey(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN remove, UCHAR keyIndex, UCHAR wlanIndex, BOOLEAN pairwise,
             PCIPHER_KEY key, const UCHAR* address)
{
    AsicAddRemoveKey(adapter, remove ? 0 : 1, port->BssIndex, keyIndex, wlanIndex,
                     pairwise ? KEY_KIND_PAIRWISE : KEY_KIND_GROUP, key, address);
}

}  // namespace

NTSTATUS MlmeInfoAddKey(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyIndex, ULONG cipher,
                        ULONG keyLength, const void* material, UCHAR remove, UCHAR pairwise)
{
    if (port == nullptr || adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR* address = peer != nullptr ? peer : kZeroAddr;
    // 2. The entry: the peer's for a pairwise key with an address, else the port's group entry.
    PMAC_TABLE_ENTRY entry = nullptr;
    if (!IsZeroAddr(address) && pairwise) {
        entry = MlmeSyncMacTabMatchedBssidOnly(port, address);
    } else {
        entry = MlmeSyncMacTabMatchedWlanIdx(port, MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS));
    }
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "add key %u: no station entry", static_cast<unsigned>(keyIndex));
        return kStatusNoEntry;
    }
    const UCHAR pairwiseByte = pairwise ? 1 : 0;
    (void)WriteSystemEventLog(adapter, kLogAddKey, 0, &pairwiseByte, 1);

    // 3. The cipher. Material that is a KEY_PARAMS must be one: a shorter buffer is refused.
    const UCHAR* raw = static_cast<const UCHAR*>(material);
    const KEY_PARAMS* params = static_cast<const KEY_PARAMS*>(material);
    const bool wepLike = cipher == DOT11_CIPHER_ALGO_WEP40 || cipher == DOT11_CIPHER_ALGO_WEP104 ||
                         cipher == DOT11_CIPHER_ALGO_WEP;
    const bool structured = cipher == DOT11_CIPHER_ALGO_TKIP || cipher == DOT11_CIPHER_ALGO_CCMP ||
                            cipher == DOT11_CIPHER_ALGO_BIP || cipher == WDI_CIPHER_ALGO_GCMP_256;
    if ((structured || wepLike) && raw == nullptr) {
        return kStatusNoEntry;
    }
    UCHAR code = CIPHER_NONE;
    ULONG lengthUsed = keyLength;
    const UCHAR* keyBytes = raw;
    ULONG keyBytesAvailable = keyLength;
    switch (cipher) {
    case DOT11_CIPHER_ALGO_WEP40:
    case DOT11_CIPHER_ALGO_WEP104:
    case DOT11_CIPHER_ALGO_WEP:
        if (keyLength == 5 && cipher != DOT11_CIPHER_ALGO_WEP104) {
            code = CIPHER_WEP64;
        } else if (keyLength == 13 && cipher != DOT11_CIPHER_ALGO_WEP40) {
            code = CIPHER_WEP128;
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "WEP key of %u bytes refused", static_cast<unsigned>(keyLength));
            return kStatusNoEntry;
        }
        break;
    case DOT11_CIPHER_ALGO_TKIP:
        if (params->KeyLength != 16 || params->u.Tkip.MicKeyLength != 16) {
            return kStatusNoEntry;
        }
        code = CIPHER_TKIP;
        keyBytes = params->u.Tkip.Key;
        keyBytesAvailable = 16;
        lengthUsed = remove ? 0 : 16;
        break;
    case DOT11_CIPHER_ALGO_CCMP:
    case WDI_CIPHER_ALGO_GCMP_256: {
        const ULONG want = cipher == DOT11_CIPHER_ALGO_CCMP ? 16u : 32u;
        if (keyIndex > 3) {
            if (params->KeyLength != want) {
                return kStatusNoEntry;
            }
            return StoreBipCopy(adapter, keyIndex, params->Pn, params->u.Key, params->KeyLength);
        }
        if (params->KeyLength != want && !remove) {
            return kStatusNoEntry;
        }
        code = cipher == DOT11_CIPHER_ALGO_CCMP ? CIPHER_AES : CIPHER_GCMP256;
        keyBytes = params->u.Key;
        keyBytesAvailable = params->KeyLength < CIPHER_KEY_MAX ? params->KeyLength : CIPHER_KEY_MAX;
        lengthUsed = remove ? 0 : params->KeyLength;
        break;
    }
    case DOT11_CIPHER_ALGO_BIP: {
        if (params->KeyLength != 16) {
            return kStatusNoEntry;
        }
        const UCHAR bipIndex = static_cast<UCHAR>(keyIndex < 4 ? BIP_KEY_INDEX_FIRST : keyIndex);
        (void)StoreBipCopy(adapter, bipIndex, params->Pn, params->u.Key, 16);
        CIPHER_KEY& record = port->Keys.SharedKey.Slot[SHARED_KEY_BIP_SLOT];
        record.CipherAlg = CIPHER_BIP;
        record.KeyLen = 16;
        std::memcpy(record.Addr, address, 6);
        std::memset(record.Key, 0, sizeof(record.Key));
        std::memcpy(record.Key, params->u.Key, 16);
        (void)MlmeInfoSetKeyToHw(adapter, port, address, bipIndex, cipher, pairwise, remove);
        return STATUS_SUCCESS;
    }
    case WDI_CIPHER_ALGO_BIP_GMAC_256:
        code = CIPHER_BIP_GMAC256;
        port->Keys.SharedKey.Slot[SHARED_KEY_BIP_SLOT].CipherAlg = CIPHER_BIP_GMAC256;
        port->Keys.SharedKey.Slot[SHARED_KEY_BIP_SLOT].KeyLen = 0;
        // The key itself is the port's IGTK record; the material is not copied into a slot.
        keyBytes = nullptr;
        keyBytesAvailable = 0;
        break;
    default:
        code = CIPHER_NONE;
        break;
    }
    if (keyBytes == nullptr) {
        keyBytesAvailable = 0;
    }
    const KEY_PARAMS* tkip = code == CIPHER_TKIP ? params : nullptr;

    // 4. The shared slot of key indexes 0 to 3.
    if (keyIndex < SHARED_KEY_SLOTS) {
        CIPHER_KEY& slot = port->Keys.SharedKey.Slot[keyIndex];
        FillRecord(&slot, code, lengthUsed, keyBytes, keyBytesAvailable, tkip);
        std::memcpy(slot.Addr, address, 6);
        slot.CipherAlg = code;
        slot.KeyKind = pairwise ? CIPHER_KEY_KIND_PAIRWISE : CIPHER_KEY_KIND_GROUP;
    }
    // 5. The peer's own record.
    if (pairwise) {
        FillRecord(&entry->PairwiseKey, code, lengthUsed, keyBytes, keyBytesAvailable, tkip);
        if (keyIndex < SHARED_KEY_SLOTS &&
            (port->PortType == EXTSTA || port->PortType == WFD_GO || port->PortType == WFD_CLIENT)) {
            entry->PairwiseKey.CipherAlg = port->Keys.SharedKey.Slot[keyIndex].CipherAlg;
            entry->PairwiseKey.KeyLen = port->Keys.SharedKey.Slot[keyIndex].KeyLen;
        }
    }
    // 6.
    entry->OsCipher = cipher;
    // 7. The certification test's one-shot EAPOL rewrite.
    if (adapter->RegistryBlock.fgCertSCV == 1 && port->CurrentSsidLen >= sizeof(kCertScvPrefix) - 1 &&
        std::memcmp(port->CurrentSsid, kCertScvPrefix, sizeof(kCertScvPrefix) - 1) == 0) {
        adapter->Keys.EapolRewriteArmed = 1;
    }
    // 8.
    (void)MlmeInfoSetKeyToHw(adapter, port, address, keyIndex, cipher, pairwise, remove);
    // 9. The WoWLAN group-key copy.
    if (adapter->Keys.WowlanTransition && !pairwise && keyBytes != nullptr) {
        std::memset(adapter->Keys.WowlanGroupKey, 0, sizeof(adapter->Keys.WowlanGroupKey));
        std::memcpy(adapter->Keys.WowlanGroupKey, keyBytes, keyBytesAvailable);
    }
    // Protection is permitted once a key is in.
    if (port->PortType == EXTSTA) {
        adapter->StaKeyState = 1;
    } else {
        entry->KeyState = 1;
    }
    // 10. The port-secured state.
    if (pairwise) {
        if (port->PortType == EXTSTA) {
            adapter->Mlme.Conn.PortSecured = 1;
            if (adapter->Keys.FtSwitch && port->Keys.ApMobilityDomain && port->Mlme.Conn.AssocParamsRecord[0] != 0) {
                port->Keys.FtReady = 1;
            }
        } else {
            PMAC_TABLE_ENTRY again = MlmeSyncMacTabMatchedWlanIdx(port, entry->WlanIdx);
            if (again == nullptr) {
                return kStatusNoEntry;
            }
            again->PortSecured = 1;
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS MlmeInfoSetKeyToHw(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, ULONG keyIndex, ULONG cipher,
                            UCHAR pairwise, UCHAR remove)
{
    if (port == nullptr || adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR index = static_cast<UCHAR>(keyIndex);
    // 1. An RSN ad hoc network.
    if (PortAdhoc(adapter, port) && cipher == DOT11_CIPHER_ALGO_CCMP &&
        port->Mlme.AuthAlgorithm == DOT11_AUTH_ALGO_RSNA_PSK) {
        if (!pairwise) {
            const UCHAR wlan = MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
            if (keyIndex < SHARED_KEY_SLOTS) {
                SendKey(adapter, port, remove, index, wlan, FALSE, &port->Keys.SharedKey.Slot[keyIndex], address);
            }
        } else {
            PMAC_TABLE_ENTRY entry = MacTableLookup(adapter, port, address);
            if (entry == nullptr) {
                entry = MacTableInsertEntry(adapter, port, address, 0);
            }
            if (entry == nullptr) {
                return STATUS_UNSUCCESSFUL;
            }
            entry->AssocState = 2;
            if (keyIndex < SHARED_KEY_SLOTS) {
                SendKey(adapter, port, remove, index, entry->WlanIdx, TRUE, &port->Keys.SharedKey.Slot[keyIndex],
                        entry->Addr);
            }
            KIRQL irql;
            KeAcquireSpinLock(&adapter->Keys.AdhocPeerLock, &irql);
            for (ADHOC_KEY_PEER& peer : adapter->Keys.AdhocPeers) {
                if (peer.InUse && std::memcmp(peer.Addr, address, 6) == 0) {
                    peer.HasKey = 1;
                    break;
                }
            }
            KeReleaseSpinLock(&adapter->Keys.AdhocPeerLock, irql);
        }
    } else if (keyIndex < SHARED_KEY_SLOTS) {
        // 2. Key indexes 0 to 3.
        PCIPHER_KEY slot = &port->Keys.SharedKey.Slot[keyIndex];
        if (pairwise) {
            PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedBssidOnly(port, address);
            if (entry == nullptr) {
                return kStatusNoEntry;
            }
            SendKey(adapter, port, remove, index, entry->WlanIdx, TRUE, slot, address);
        } else if (IsWep(slot->CipherAlg) && slot->KeyMappingUse == 0) {
            if (!PortAdhoc(adapter, port)) {
                PMAC_TABLE_ENTRY ap = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
                if (ap == nullptr) {
                    return kStatusNoEntry;
                }
                SendKey(adapter, port, remove, index, ap->WlanIdx, TRUE, slot, ap->Addr);
                PMAC_TABLE_ENTRY group = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
                if (group == nullptr) {
                    return kStatusNoEntry;
                }
                SendKey(adapter, port, remove, index, group->WlanIdx, FALSE, slot, address);
            } else {
                PMAC_TABLE_ENTRY adhoc = MlmeSyncMacTabMatchedRoleType(port, 8);
                if (adhoc == nullptr) {
                    return kStatusNoEntry;
                }
                SendKey(adapter, port, remove, index, adhoc->WlanIdx, FALSE, slot, adhoc->Addr);
            }
        } else if (IsWep(slot->CipherAlg)) {
            PMAC_TABLE_ENTRY ap = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
            if (ap == nullptr) {
                return kStatusNoEntry;
            }
            SendKey(adapter, port, remove, index, ap->WlanIdx, TRUE, slot, ap->Addr);
        } else {
            PMAC_TABLE_ENTRY group = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
            if (group == nullptr) {
                return kStatusNoEntry;
            }
            SendKey(adapter, port, remove, index, group->WlanIdx, FALSE, slot, address);
        }
    }
    // 3. The integrity key of a connection with management-frame protection.
    const ULONG auth = port->Mlme.AuthAlgorithm;
    const bool mfpc = (adapter->Mlme.Conn.OwnRsnCapabilities & 0x80u) != 0 &&
                      (port->Mlme.Conn.ApRsnCapabilities & 0x80u) != 0;
    const bool suite = port->Mlme.UnicastCipher == DOT11_CIPHER_ALGO_CCMP || auth == DOT11_AUTH_ALGO_WPA3_ENT_192 ||
                       auth == WDI_AUTH_ALGO_WPA3_SAE || auth == kAuthProtectedMgmt;
    if (mfpc && suite && cipher == DOT11_CIPHER_ALGO_BIP) {
        PMAC_TABLE_ENTRY group = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
        if (group == nullptr) {
            return kStatusNoEntry;
        }
        SendKey(adapter, port, remove, index, group->WlanIdx, FALSE, &port->Keys.SharedKey.Slot[SHARED_KEY_BIP_SLOT],
                address);
    }
    return STATUS_SUCCESS;
}

ULONG MlmeInfoFindKeyMappingKey(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address)
{
    if (port == nullptr || adapter == nullptr || address == nullptr) {
        return FALSE;
    }
    if (PortAdhoc(adapter, port) && port->Mlme.AuthAlgorithm == DOT11_AUTH_ALGO_RSNA_PSK) {
        BOOLEAN found = FALSE;
        KIRQL irql;
        KeAcquireSpinLock(&adapter->Keys.AdhocPeerLock, &irql);
        for (const ADHOC_KEY_PEER& peer : adapter->Keys.AdhocPeers) {
            if (peer.InUse && peer.HasKey && std::memcmp(peer.Addr, address, 6) == 0) {
                found = TRUE;
                break;
            }
        }
        KeReleaseSpinLock(&adapter->Keys.AdhocPeerLock, irql);
        return found;
    }
    if (IsZeroAddr(address)) {
        return FALSE;
    }
    for (ULONG i = 0; i < SHARED_KEY_SLOTS; ++i) {
        const CIPHER_KEY& slot = port->Keys.SharedKey.Slot[i];
        if (std::memcmp(slot.Addr, address, 6) == 0 && slot.KeyLen != 0) {
            return TRUE;
        }
    }
    return FALSE;
}

NTSTATUS MlmeInfoStaOidSetWEPDefaultKeyID(PMP_PORT port)
{
    if (port == nullptr || port->Adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = port->Adapter;
    NTSTATUS status = STATUS_SUCCESS;
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
    if (entry != nullptr) {
        status = QzCmdSetDefaultKeyId(adapter, port->BssIndex, port->Keys.DefaultKeyId, entry->WlanIdx);
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "default key id %u: no station entry of the port's role",
                 static_cast<unsigned>(port->Keys.DefaultKeyId));
    }
    adapter->Keys.Bip.KeyId = port->Keys.DefaultKeyId;
    return status;
}

VOID MlmeInfoAddRemoveSharedPairwiseKey(PMP_ADAPTER adapter, PMP_PORT port, UCHAR add, UCHAR bssIndex,
                                        UCHAR wlanIndex, const UCHAR* address)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    const bool realPeer = address != nullptr && !IsZeroAddr(address) && std::memcmp(address, kBroadcastAddr, 6) != 0;
    for (ULONG i = 0; i < SHARED_KEY_SLOTS; ++i) {
        CIPHER_KEY& slot = port->Keys.SharedKey.Slot[i];
        if (slot.CipherAlg == CIPHER_NONE) {
            continue;
        }
        if (realPeer) {
            const bool pairwise = slot.KeyKind == CIPHER_KEY_KIND_PAIRWISE;
            KEY_REQUEST request;
            std::memset(&request, 0, sizeof(request));
            request.Install = add;
            request.BssIndex = bssIndex;
            request.WlanIndex = pairwise ? wlanIndex : MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
            request.KeyKind = pairwise ? KEY_KIND_PAIRWISE : KEY_KIND_GROUP;
            request.KeyIndex = static_cast<UCHAR>(i);
            request.ModeWord = adapter->RegistryBlock.OpMode == 1 ? 0 : 2;
            request.Key = &slot;
            std::memcpy(request.PeerAddress, address, 6);
            (void)QzCmdSetAddDeleteKey(adapter, &request);
        }
        slot.CipherAlg = CIPHER_NONE;
        slot.KeyLen = 0;
        slot.KeyMappingUse = 0;
    }
    adapter->Mlme.Req.SavedWepPending[0] = 0;
    adapter->Mlme.Req.SavedWepPending[1] = 0;
}

NTSTATUS MlmeInfoWPARemoveAllKeys(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    UCHAR wlanIndex = MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_PEER);
    if (port->Active && (port->PortType == WFD_CLIENT || (port->PortNumber != 0 && port->PortType < 3 &&
                                                          port->OpMode == 1 && adapter->OpMode == 3))) {
        wlanIndex = P2pGetClientWcid(adapter, port);
    }
    MlmeInfoAddRemoveSharedPairwiseKey(adapter, port, 0, port->BssIndex, wlanIndex, port->Bssid);
    if (port->PortNumber == 0) {
        BIP_KEY_COPY& bip = adapter->Keys.Bip;
        bip.Reserved = 0;
        std::memset(bip.Key, 0, sizeof(bip.Key));
        std::memset(bip.Ipn, 0, sizeof(bip.Ipn));
    }
    return STATUS_SUCCESS;
}

NTSTATUS MlmeRestoreKey(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry)
{
    if (adapter == nullptr || port == nullptr || entry == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const SAVED_KEY_SET& saved = adapter->Keys.Saved;
    ULONG cipher = saved.Cipher;
    if (cipher != DOT11_CIPHER_ALGO_TKIP && cipher != DOT11_CIPHER_ALGO_CCMP && cipher != DOT11_CIPHER_ALGO_BIP) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "key restore: saved cipher 0x%X is not re-installed",
                 static_cast<unsigned>(cipher));
        return STATUS_SUCCESS;
    }
    const ULONG pairCipher = cipher == DOT11_CIPHER_ALGO_TKIP ? DOT11_CIPHER_ALGO_TKIP : DOT11_CIPHER_ALGO_CCMP;
    const KEY_PARAMS pairwiseParams = saved.Pairwise;
    const KEY_PARAMS groupParams = saved.Group;
    const UCHAR groupIndex = saved.GroupKeyIndex;
    const UCHAR bipIndex = saved.BipKeyIndex;
    UCHAR peer[6];
    std::memcpy(peer, entry->Addr, 6);
    NTSTATUS status = MlmeInfoAddKey(adapter, port, peer, 0, pairCipher, sizeof(KEY_PARAMS), &pairwiseParams, 0, 1);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "key restore: pairwise key failed 0x%08X", static_cast<unsigned>(status));
    }
    status = MlmeInfoAddKey(adapter, port, kZeroAddr, groupIndex, pairCipher, sizeof(KEY_PARAMS), &groupParams, 0, 0);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "key restore: group key failed 0x%08X", static_cast<unsigned>(status));
    }
    if (cipher == DOT11_CIPHER_ALGO_BIP) {
        status = MlmeInfoAddKey(adapter, port, kZeroAddr, bipIndex, DOT11_CIPHER_ALGO_BIP, sizeof(KEY_PARAMS),
                                &groupParams, 0, 0);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "key restore: BIP key failed 0x%08X", static_cast<unsigned>(status));
        }
    }
    return status;
}
