// Software WEP: RC4 and the IEEE 802.3 CRC-32 used as the WEP integrity check value.
#include "Common/mlme/mlmewep.h"

#include <cstring>

#include "Common/mlme/mlmemem.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

struct Crc32Table {
    ULONG v[256];
};

constexpr Crc32Table MakeCrc32Table()
{
    Crc32Table t{};
    for (ULONG i = 0; i < 256; ++i) {
        ULONG c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        t.v[i] = c;
    }
    return t;
}

constexpr Crc32Table kCrc32 = MakeCrc32Table();
static_assert(kCrc32.v[1] == 0x77073096u && kCrc32.v[255] == 0x2D02EF8Du, "CRC-32 table of IEEE 802.3");

}  // namespace

void WepRc4Init(PWEP_RC4_STATE state, const UCHAR* key, ULONG keyLength)
{
    if (state == nullptr || key == nullptr || keyLength == 0) {
        return;
    }
    state->X = 0;
    state->Y = 0;
    for (ULONG i = 0; i < 256; ++i) {
        state->S[i] = static_cast<UCHAR>(i);
    }
    ULONG j = 0;
    for (ULONG i = 0; i < 256; ++i) {
        j = (j + state->S[i] + key[i % keyLength]) & 0xFFu;
        const UCHAR t = state->S[i];
        state->S[i] = state->S[j];
        state->S[j] = t;
    }
}

void WepRc4Crypt(PWEP_RC4_STATE state, UCHAR* output, const UCHAR* input, ULONG length)
{
    if (state == nullptr || output == nullptr || input == nullptr) {
        return;
    }
    ULONG x = state->X;
    ULONG y = state->Y;
    UCHAR* s = state->S;
    for (ULONG i = 0; i < length; ++i) {
        x = (x + 1) & 0xFFu;
        y = (y + s[x]) & 0xFFu;
        const UCHAR t = s[x];
        s[x] = s[y];
        s[y] = t;
        output[i] = static_cast<UCHAR>(input[i] ^ s[(s[x] + s[y]) & 0xFFu]);
    }
    state->X = x;
    state->Y = y;
}

ULONG WepCrc32Update(ULONG crc, const UCHAR* data, ULONG length)
{
    if (data == nullptr) {
        return crc;
    }
    for (ULONG i = 0; i < length; ++i) {
        crc = kCrc32.v[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    }
    return crc;
}

NTSTATUS WepKeySetup(PMP_ADAPTER adapter, const UCHAR* key, UCHAR keyIndex, ULONG keyLength,
                     UCHAR ivHeader[WEP_IV_HEADER_SIZE])
{
    if (adapter == nullptr || key == nullptr || ivHeader == nullptr ||
        (keyLength != WEP_KEY_40_SIZE && keyLength != WEP_KEY_104_SIZE) || keyIndex > WEP_KEY_INDEX_MAX) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: key of %u bytes at index %u refused", __func__,
                 static_cast<unsigned>(keyLength), keyIndex);
        return STATUS_INVALID_PARAMETER;
    }
    WEP_CRYPT_STATE& wep = adapter->WepCrypt;
    wep.Icv = 0xFFFFFFFFu;
    for (ULONG i = 0; i < WEP_IV_SIZE; ++i) {
        wep.IvAndKey[i] = RandomOctetGet(adapter);
    }
    std::memcpy(wep.IvAndKey + WEP_IV_SIZE, key, keyLength);
    WepRc4Init(&wep.Rc4, wep.IvAndKey, WEP_IV_SIZE + keyLength);
    std::memcpy(ivHeader, wep.IvAndKey, WEP_IV_SIZE);
    ivHeader[WEP_IV_SIZE] = static_cast<UCHAR>(keyIndex << 6);
    wep.Started = 1;
    return STATUS_SUCCESS;
}

NTSTATUS WepEncryptData(PMP_ADAPTER adapter, const UCHAR* plaintext, UCHAR* ciphertext, ULONG length)
{
    if (adapter == nullptr || (length != 0 && (plaintext == nullptr || ciphertext == nullptr))) {
        return STATUS_INVALID_PARAMETER;
    }
    WEP_CRYPT_STATE& wep = adapter->WepCrypt;
    if (wep.Started == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: no WEP packet was set up", __func__);
        return STATUS_INVALID_DEVICE_STATE;
    }
    wep.Icv = WepCrc32Update(wep.Icv, plaintext, length);
    WepRc4Crypt(&wep.Rc4, ciphertext, plaintext, length);
    return STATUS_SUCCESS;
}

NTSTATUS WepFinishIcv(PMP_ADAPTER adapter, UCHAR icv[WEP_ICV_SIZE])
{
    if (adapter == nullptr || icv == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    WEP_CRYPT_STATE& wep = adapter->WepCrypt;
    if (wep.Started == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: no WEP packet was set up", __func__);
        return STATUS_INVALID_DEVICE_STATE;
    }
    const ULONG value = ~wep.Icv;
    const UCHAR plain[WEP_ICV_SIZE] = {static_cast<UCHAR>(value), static_cast<UCHAR>(value >> 8),
                                       static_cast<UCHAR>(value >> 16), static_cast<UCHAR>(value >> 24)};
    WepRc4Crypt(&wep.Rc4, icv, plain, WEP_ICV_SIZE);
    // The key and the keystream state are not kept past the packet.
    std::memset(&wep, 0, sizeof(wep));
    return STATUS_SUCCESS;
}
