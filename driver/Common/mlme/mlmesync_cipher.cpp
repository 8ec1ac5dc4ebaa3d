// The security summary of a stored BSS: authentication algorithms, ciphers, RSN capabilities and
// management-frame-protection needs, derived from the entry's stored elements. Every field read
// from an element is checked against the element's length first, and every element against the
// stored block.
#include <cstring>

#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmewsc.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kIeRsn = 48;
constexpr UCHAR kIeVendor = 221;
constexpr UCHAR kIeRsnExtension = 244;
constexpr UCHAR kRsnOui[3] = {0x00, 0x0F, 0xAC};
constexpr UCHAR kWpaOuiType[4] = {0x00, 0x50, 0xF2, 0x01};
constexpr UCHAR kOui904c[3] = {0x00, 0x90, 0x4C};
constexpr USHORT kRsnCapMfpr = 0x40;
constexpr USHORT kRsnCapMfpc = 0x80;

USHORT ReadLe16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

// Offering algorithm a: the main one when none is set yet, otherwise the second when it is higher.
void Offer(PBSS_ENTRY entry, ULONG a)
{
    if (entry->AuthMode == BSS_AUTH_OPEN) {
        entry->AuthMode = a;
    } else if (entry->AuthModeAux < a) {
        entry->AuthModeAux = a;
    }
}

ULONG PairwiseValue(UCHAR type, bool rsn)
{
    switch (type) {
    case 1:
    case 5:
        return BSS_CIPHER_WEP;
    case 2:
        return BSS_CIPHER_TKIP;
    case 4:
        return BSS_CIPHER_CCMP;
    case 9:
        return rsn ? BSS_CIPHER_GCMP256 : BSS_CIPHER_NONE;
    default:
        return BSS_CIPHER_NONE;
    }
}

// The group cipher suite type of an RSN or WPA element; a type outside the list keeps the record's
// group cipher. WEP group ciphers are noted in the entry as well.
void SetGroupCipher(PBSS_ENTRY entry, PBSS_CIPHER_INFO info, UCHAR type, bool rsn)
{
    switch (type) {
    case 1:
        info->GroupCipher = BSS_CIPHER_WEP40;
        entry->WepGroupCipher = BSS_CIPHER_WEP40;
        break;
    case 2:
        info->GroupCipher = BSS_CIPHER_TKIP;
        break;
    case 4:
        info->GroupCipher = BSS_CIPHER_CCMP;
        break;
    case 5:
        info->GroupCipher = BSS_CIPHER_WEP104;
        entry->WepGroupCipher = BSS_CIPHER_WEP104;
        break;
    case 9:
        if (rsn) {
            info->GroupCipher = BSS_CIPHER_GCMP256;
            break;
        }
        [[fallthrough]];
    default:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "group cipher suite %u not known", type);
        break;
    }
}

void ParseRsn(PMP_ADAPTER adapter, PBSS_ENTRY entry, UCHAR* body, ULONG len)
{
    BSS_CIPHER_INFO& rsn = entry->RsnCipher;
    if (entry->AuthMode != BSS_AUTH_OPEN) {
        entry->AuthModeAux = entry->AuthMode;
        entry->AuthMode = BSS_AUTH_OPEN;
    }
    rsn.PairwiseCipher = BSS_CIPHER_CCMP;
    rsn.GroupCipher = BSS_CIPHER_CCMP;
    if (len < 6 || ReadLe16(body) != 1 || std::memcmp(body + 2, kRsnOui, 3) != 0) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "RSN element of length %u not used", static_cast<unsigned>(len));
        return;
    }
    SetGroupCipher(entry, &rsn, body[5], true);

    ULONG pos = 6;
    ULONG lastPairwise = BSS_CIPHER_NONE;
    if (len - pos >= 2) {
        ULONG count = ReadLe16(body + pos);
        pos += 2;
        for (ULONG i = 0; i < count && len - pos >= 4; ++i, pos += 4) {
            ULONG v = PairwiseValue(body[pos + 3], true);
            if (v == BSS_CIPHER_GCMP256) {
                rsn.PairwiseCipher = BSS_CIPHER_GCMP256;
            }
            if (v > rsn.PairwiseCipher && v != BSS_CIPHER_GCMP256) {
                rsn.PairwiseCipherAux = rsn.PairwiseCipher;
                rsn.PairwiseCipher = v;
            } else {
                rsn.PairwiseCipherAux = v;
            }
            lastPairwise = v;
        }
    }
    if (len - pos >= 2) {
        ULONG count = ReadLe16(body + pos);
        pos += 2;
        for (ULONG i = 0; i < count && len - pos >= 4; ++i, pos += 4) {
            if (std::memcmp(body + pos, kRsnOui, 3) != 0) {
                continue;
            }
            UCHAR type = body[pos + 3];
            switch (type) {
            case 1:
                Offer(entry, BSS_AUTH_RSNA);
                break;
            case 2:
                Offer(entry, BSS_AUTH_RSNA_PSK);
                break;
            case 3:
                rsn.FtAkm = 1;
                Offer(entry, BSS_AUTH_RSNA);
                break;
            case 5:
                rsn.Sha256Akm = 1;
                Offer(entry, BSS_AUTH_RSNA);
                break;
            case 6:
                rsn.Sha256Akm = 1;
                Offer(entry, BSS_AUTH_RSNA_PSK);
                break;
            case 8:
                if (entry->AuthMode == BSS_AUTH_OPEN) {
                    entry->AuthMode = BSS_AUTH_SAE;
                } else if (entry->AuthModeAux < BSS_AUTH_SAE) {
                    if (entry->AuthMode == BSS_AUTH_SAE) {
                        entry->AuthModeAux = BSS_AUTH_SAE;
                    } else {
                        entry->AuthModeAux = entry->AuthMode;
                        entry->AuthMode = BSS_AUTH_SAE;
                    }
                }
                break;
            case 11:
            case 12:
            case 13:
                entry->AuthMode = BSS_AUTH_WPA3_192;
                entry->AuthModeAux = BSS_AUTH_WPA3_192;
                rsn.PairwiseCipher = BSS_CIPHER_GCMP256;
                rsn.PairwiseCipherAux = BSS_CIPHER_GCMP256;
                entry->EncryptionStatus = BSS_CIPHER_GCMP256;
                break;
            case 18:
                if (entry->AuthMode == BSS_AUTH_OPEN) {
                    entry->AuthMode = BSS_AUTH_OWE;
                } else {
                    entry->AuthModeAux = BSS_AUTH_OWE;
                }
                break;
            default:
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "RSN AKM suite %u not used", type);
                break;
            }
        }
    }
    entry->EncryptionStatus = rsn.PairwiseCipher;
    if (len - pos >= 2) {
        USHORT caps = ReadLe16(body + pos);
        if (adapter != nullptr && adapter->RegistryBlock.MFPM3 == 1 && lastPairwise == BSS_CIPHER_CCMP &&
            rsn.GroupCipher == BSS_CIPHER_TKIP) {
            caps &= kRsnCapMfpr;
            body[pos] = static_cast<UCHAR>(caps & 0xFF);
            body[pos + 1] = static_cast<UCHAR>(caps >> 8);
        }
        rsn.RsnCapability = caps;
    }
    rsn.MixedCipher = static_cast<UCHAR>(rsn.GroupCipher != rsn.PairwiseCipher);
}

void ParseWpa(PBSS_ENTRY entry, const UCHAR* body, ULONG len)
{
    BSS_CIPHER_INFO& wpa = entry->WpaCipher;
    SetGroupCipher(entry, &wpa, body[9], false);
    ULONG pos = 10;
    if (len - pos >= 2) {
        ULONG count = ReadLe16(body + pos);
        pos += 2;
        for (ULONG i = 0; i < count && len - pos >= 4; ++i, pos += 4) {
            ULONG v = PairwiseValue(body[pos + 3], false);
            if (v > wpa.PairwiseCipher) {
                wpa.PairwiseCipherAux = wpa.PairwiseCipher;
                wpa.PairwiseCipher = v;
            } else {
                wpa.PairwiseCipherAux = v;
            }
        }
    }
    if (len - pos >= 2) {
        ULONG count = ReadLe16(body + pos);
        pos += 2;
        for (ULONG i = 0; i < count && len - pos >= 4; ++i, pos += 4) {
            if (body[pos + 3] == 1) {
                Offer(entry, BSS_AUTH_WPA);
            } else if (body[pos + 3] == 2) {
                Offer(entry, BSS_AUTH_WPA_PSK);
            }
        }
    }
    if (entry->BssType == BSS_ADHOC) {
        entry->EncryptionStatus = wpa.GroupCipher;
        entry->AuthMode = BSS_AUTH_WPA_NONE;
        entry->AuthModeAux = BSS_AUTH_WPA_NONE;
        if (wpa.PairwiseCipher == BSS_CIPHER_NONE) {
            wpa.PairwiseCipher = wpa.GroupCipher;
        }
    } else {
        entry->EncryptionStatus = wpa.PairwiseCipher;
    }
    wpa.MixedCipher = static_cast<UCHAR>(wpa.GroupCipher != wpa.PairwiseCipher);
}

}  // namespace

void BssCipherParse(PMP_ADAPTER adapter, PBSS_ENTRY entry)
{
    WscCheckWPSAP(entry);
    entry->EncryptionStatus = entry->Privacy ? BSS_CIPHER_WEP : BSS_CIPHER_NONE;
    entry->AuthMode = BSS_AUTH_OPEN;
    entry->AuthModeAux = BSS_AUTH_OPEN;
    entry->WepGroupCipher = 0;
    std::memset(&entry->WpaCipher, 0, sizeof(entry->WpaCipher));
    std::memset(&entry->RsnCipher, 0, sizeof(entry->RsnCipher));

    ULONG total = entry->VarIeLen < BSS_IE_BUFFER_SIZE ? entry->VarIeLen : BSS_IE_BUFFER_SIZE;
    ULONG pos = 0;
    while (total - pos >= 2) {
        UCHAR id = entry->VarIes[pos];
        ULONG len = entry->VarIes[pos + 1];
        if (len > total - pos - 2) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "element %u of length %u runs past the stored elements", id,
                     static_cast<unsigned>(len));
            break;
        }
        UCHAR* body = &entry->VarIes[pos + 2];
        if (id == kIeRsn) {
            ParseRsn(adapter, entry, body, len);
        } else if (id == kIeVendor && len >= 10 && std::memcmp(body, kWpaOuiType, 4) == 0) {
            ParseWpa(entry, body, len);
        } else if (id == kIeVendor && len == 7 && std::memcmp(body, kOui904c, 3) == 0) {
            entry->VendorOui904cSeen = 1;
        } else if (id == kIeRsnExtension && len >= 1) {
            entry->RsnCipher.RsnxeOctet = body[0];
        }
        pos += 2 + len;
    }

    BSS_CIPHER_INFO& rsn = entry->RsnCipher;
    if ((rsn.RsnCapability & (kRsnCapMfpr | kRsnCapMfpc)) == (kRsnCapMfpr | kRsnCapMfpc)) {
        bool rsnaCcmp = entry->AuthMode == BSS_AUTH_RSNA && entry->AuthModeAux == BSS_AUTH_OPEN &&
                        rsn.PairwiseCipher == BSS_CIPHER_CCMP && rsn.PairwiseCipherAux == BSS_CIPHER_CCMP;
        bool saeCcmp = entry->AuthMode == BSS_AUTH_SAE && entry->AuthModeAux == BSS_AUTH_OPEN &&
                       rsn.PairwiseCipher == BSS_CIPHER_CCMP;
        bool suiteB = entry->AuthMode == BSS_AUTH_WPA3_192 && entry->AuthModeAux == BSS_AUTH_WPA3_192 &&
                      rsn.PairwiseCipher == BSS_CIPHER_GCMP256 && rsn.PairwiseCipherAux == BSS_CIPHER_GCMP256;
        if (rsnaCcmp || saeCcmp || suiteB || entry->Band == BAND_6G) {
            rsn.PmfRequired = 1;
        }
    }
}
