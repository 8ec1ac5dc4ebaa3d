// Software AES (FIPS-197), GCM authentication (NIST SP 800-38D) used as GMAC, and the BIP-GMAC-256
// check of group-addressed protected deauthentication and disassociation frames.
//
// The cipher is byte-oriented: the S-box and the GF(2^8) products of every byte by 2 and by 3 are
// three 256-byte tables built at compile time; the inverse cipher adds the inverse S-box.
#include "Common/mlme/mlmeaes.h"

#include <cstring>

#include "Common/mlme/mlmeinfo.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/trace.h"

namespace {

// ---- GF(2^8) and the tables ---------------------------------------------------------------------------
constexpr unsigned Xtime(unsigned a)
{
    return ((a << 1) ^ ((a & 0x80u) != 0 ? 0x1Bu : 0u)) & 0xFFu;
}

constexpr unsigned GfMul(unsigned a, unsigned b)
{
    unsigned product = 0;
    for (int i = 0; i < 8; ++i) {
        if ((b & 1u) != 0) {
            product ^= a;
        }
        a = Xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr unsigned Rotl8(unsigned x, int n)
{
    return ((x << n) | (x >> (8 - n))) & 0xFFu;
}

struct ByteTable {
    UCHAR v[256];
};

// The S-box: the multiplicative inverse in GF(2^8) followed by the affine transformation. The
// inverses come from the powers of the generator 3: x = 3^k has the inverse 3^(255-k). One pass of
// 255 products keeps the compile-time evaluation short.
constexpr ByteTable MakeSbox()
{
    UCHAR power[256]{};  // 3^k
    UCHAR log[256]{};    // k for 3^k
    unsigned x = 1;
    for (unsigned k = 0; k < 255; ++k) {
        power[k] = static_cast<UCHAR>(x);
        log[x] = static_cast<UCHAR>(k);
        x = x ^ Xtime(x);  // x * 3
    }
    ByteTable t{};
    for (unsigned v = 0; v < 256; ++v) {
        const unsigned inverse = v == 0 ? 0u : power[(255u - log[v]) % 255u];
        t.v[v] = static_cast<UCHAR>(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^ Rotl8(inverse, 3) ^
                                    Rotl8(inverse, 4) ^ 0x63u);
    }
    return t;
}

constexpr ByteTable kSbox = MakeSbox();

constexpr ByteTable MakeInvSbox()
{
    ByteTable t{};
    for (unsigned x = 0; x < 256; ++x) {
        t.v[kSbox.v[x]] = static_cast<UCHAR>(x);
    }
    return t;
}

constexpr ByteTable MakeMulTable(unsigned factor)
{
    ByteTable t{};
    for (unsigned x = 0; x < 256; ++x) {
        t.v[x] = static_cast<UCHAR>(GfMul(x, factor));
    }
    return t;
}

constexpr ByteTable kInvSbox = MakeInvSbox();
constexpr ByteTable kMul2 = MakeMulTable(2);
constexpr ByteTable kMul3 = MakeMulTable(3);

static_assert(kSbox.v[0x00] == 0x63 && kSbox.v[0x53] == 0xED && kSbox.v[0xFF] == 0x16, "FIPS-197 S-box");
static_assert(kInvSbox.v[0x63] == 0x00 && kMul2.v[0x80] == 0x1B && kMul3.v[0x80] == 0x9B, "GF(2^8) tables");

// ---- the cipher --------------------------------------------------------------------------------------
// The state is the block in input order: byte 4c + r is row r of column c.
void AddRoundKey(UCHAR* state, const UCHAR* roundKey)
{
    for (int i = 0; i < AES_BLOCK_SIZE; ++i) {
        state[i] ^= roundKey[i];
    }
}

// SubBytes and ShiftRows in one pass: row r moves r columns to the left.
void SubShift(UCHAR* state)
{
    UCHAR t[AES_BLOCK_SIZE];
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            t[4 * c + r] = kSbox.v[state[4 * ((c + r) & 3) + r]];
        }
    }
    std::memcpy(state, t, sizeof(t));
}

void InvShiftSub(UCHAR* state)
{
    UCHAR t[AES_BLOCK_SIZE];
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            t[4 * ((c + r) & 3) + r] = kInvSbox.v[state[4 * c + r]];
        }
    }
    std::memcpy(state, t, sizeof(t));
}

void MixColumns(UCHAR* state)
{
    for (int c = 0; c < 4; ++c) {
        UCHAR* col = state + 4 * c;
        const UCHAR a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = static_cast<UCHAR>(kMul2.v[a0] ^ kMul3.v[a1] ^ a2 ^ a3);
        col[1] = static_cast<UCHAR>(a0 ^ kMul2.v[a1] ^ kMul3.v[a2] ^ a3);
        col[2] = static_cast<UCHAR>(a0 ^ a1 ^ kMul2.v[a2] ^ kMul3.v[a3]);
        col[3] = static_cast<UCHAR>(kMul3.v[a0] ^ a1 ^ a2 ^ kMul2.v[a3]);
    }
}

void InvMixColumns(UCHAR* state)
{
    for (int c = 0; c < 4; ++c) {
        UCHAR* col = state + 4 * c;
        // Multiplications by 4 and 8 from the doubling table; 9 = 8+1, 11 = 8+2+1, 13 = 8+4+1, 14 = 8+4+2.
        unsigned a[4], m2[4], m4[4], m8[4];
        for (int r = 0; r < 4; ++r) {
            a[r] = col[r];
            m2[r] = kMul2.v[a[r]];
            m4[r] = kMul2.v[m2[r]];
            m8[r] = kMul2.v[m4[r]];
        }
        for (int r = 0; r < 4; ++r) {
            const int r1 = (r + 1) & 3, r2 = (r + 2) & 3, r3 = (r + 3) & 3;
            col[r] = static_cast<UCHAR>((m8[r] ^ m4[r] ^ m2[r]) ^ (m8[r1] ^ m2[r1] ^ a[r1]) ^
                                        (m8[r2] ^ m4[r2] ^ a[r2]) ^ (m8[r3] ^ a[r3]));
        }
    }
}

void EncryptBlock(const UCHAR* roundKeys, ULONG rounds, const UCHAR* input, UCHAR* output)
{
    UCHAR state[AES_BLOCK_SIZE];
    std::memcpy(state, input, sizeof(state));
    AddRoundKey(state, roundKeys);
    for (ULONG round = 1; round < rounds; ++round) {
        SubShift(state);
        MixColumns(state);
        AddRoundKey(state, roundKeys + AES_BLOCK_SIZE * round);
    }
    SubShift(state);
    AddRoundKey(state, roundKeys + AES_BLOCK_SIZE * rounds);
    std::memcpy(output, state, sizeof(state));
}

void DecryptBlock(const UCHAR* roundKeys, ULONG rounds, const UCHAR* input, UCHAR* output)
{
    UCHAR state[AES_BLOCK_SIZE];
    std::memcpy(state, input, sizeof(state));
    AddRoundKey(state, roundKeys + AES_BLOCK_SIZE * rounds);
    for (ULONG round = rounds - 1; round > 0; --round) {
        InvShiftSub(state);
        AddRoundKey(state, roundKeys + AES_BLOCK_SIZE * round);
        InvMixColumns(state);
    }
    InvShiftSub(state);
    AddRoundKey(state, roundKeys);
    std::memcpy(output, state, sizeof(state));
}

// Overwrites key material on the stack in a way the compiler keeps.
void Wipe(void* block, size_t size)
{
    volatile UCHAR* p = static_cast<volatile UCHAR*>(block);
    for (size_t i = 0; i < size; ++i) {
        p[i] = 0;
    }
}

// One block through the cipher or its inverse under a key expanded for the call. The input length
// must be 16, the key length one the direction takes and the output room at least 16; otherwise the
// call is traced and nothing is written.
NTSTATUS CipherOneBlock(const char* who, void (*cipher)(const UCHAR*, ULONG, const UCHAR*, UCHAR*), bool only128,
                        const UCHAR* input, ULONG inputLength, const UCHAR* key, ULONG keyLength, UCHAR* output,
                        PULONG outputLength)
{
    const bool keyOk = only128 ? keyLength == 16 : (keyLength == 16 || keyLength == 24 || keyLength == 32);
    if (input == nullptr || key == nullptr || output == nullptr || inputLength != AES_BLOCK_SIZE || !keyOk ||
        outputLength == nullptr || *outputLength < AES_BLOCK_SIZE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: input length %u, key length %u, output room %u refused", who,
                 static_cast<unsigned>(inputLength), static_cast<unsigned>(keyLength),
                 outputLength != nullptr ? static_cast<unsigned>(*outputLength) : 0u);
        return STATUS_INVALID_PARAMETER;
    }
    UCHAR roundKeys[AES_ROUND_KEYS_SIZE];
    const ULONG rounds = AES_ExpandKey(key, keyLength, roundKeys);
    cipher(roundKeys, rounds, input, output);
    Wipe(roundKeys, sizeof(roundKeys));
    *outputLength = AES_BLOCK_SIZE;
    return STATUS_SUCCESS;
}

// ---- GCM ---------------------------------------------------------------------------------------------
void Inc32(UCHAR* block)
{
    for (int i = AES_BLOCK_SIZE - 1; i >= AES_BLOCK_SIZE - 4; --i) {
        if (++block[i] != 0) {
            break;
        }
    }
}

void PutBe64(UCHAR* to, ULONG64 value)
{
    for (int i = 7; i >= 0; --i) {
        to[i] = static_cast<UCHAR>(value);
        value >>= 8;
    }
}

ULONG64 GetLe48(const UCHAR* from)
{
    ULONG64 value = 0;
    for (int i = 5; i >= 0; --i) {
        value = (value << 8) | from[i];
    }
    return value;
}

}  // namespace

ULONG AES_ExpandKey(const UCHAR* key, ULONG keyLength, UCHAR* roundKeys)
{
    if (key == nullptr || roundKeys == nullptr || (keyLength != 16 && keyLength != 24 && keyLength != 32)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: key length %u refused", __func__, static_cast<unsigned>(keyLength));
        return 0;
    }
    const ULONG nk = keyLength / 4;
    const ULONG rounds = nk + 6;
    const ULONG words = 4 * (rounds + 1);
    std::memcpy(roundKeys, key, keyLength);
    UCHAR rcon = 1;
    for (ULONG i = nk; i < words; ++i) {
        UCHAR t[4];
        std::memcpy(t, roundKeys + 4 * (i - 1), 4);
        if (i % nk == 0) {
            const UCHAR first = t[0];
            t[0] = static_cast<UCHAR>(kSbox.v[t[1]] ^ rcon);
            t[1] = kSbox.v[t[2]];
            t[2] = kSbox.v[t[3]];
            t[3] = kSbox.v[first];
            rcon = kMul2.v[rcon];
        } else if (nk > 6 && i % nk == 4) {
            for (UCHAR& b : t) {
                b = kSbox.v[b];
            }
        }
        for (int j = 0; j < 4; ++j) {
            roundKeys[4 * i + j] = static_cast<UCHAR>(roundKeys[4 * (i - nk) + j] ^ t[j]);
        }
    }
    return rounds;
}

NTSTATUS AES_Encrypt(const UCHAR* input, ULONG inputLength, const UCHAR* key, ULONG keyLength, UCHAR* output,
                     PULONG outputLength)
{
    return CipherOneBlock(__func__, EncryptBlock, false, input, inputLength, key, keyLength, output, outputLength);
}

NTSTATUS AES_Decrypt(const UCHAR* input, ULONG inputLength, const UCHAR* key, ULONG keyLength, UCHAR* output,
                     PULONG outputLength)
{
    return CipherOneBlock(__func__, DecryptBlock, true, input, inputLength, key, keyLength, output, outputLength);
}

void gcm_block_shift_right(UCHAR* block)
{
    for (int i = AES_BLOCK_SIZE - 1; i > 0; --i) {
        block[i] = static_cast<UCHAR>((block[i] >> 1) | (block[i - 1] << 7));
    }
    block[0] = static_cast<UCHAR>(block[0] >> 1);
}

void gcm_gf128_mult(const UCHAR* x, const UCHAR* y, UCHAR* z)
{
    UCHAR product[AES_BLOCK_SIZE] = {};
    UCHAR v[AES_BLOCK_SIZE];
    std::memcpy(v, y, sizeof(v));
    for (int i = 0; i < AES_BLOCK_SIZE; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            if ((x[i] & (1u << bit)) != 0) {
                for (int j = 0; j < AES_BLOCK_SIZE; ++j) {
                    product[j] ^= v[j];
                }
            }
            const bool carry = (v[AES_BLOCK_SIZE - 1] & 1u) != 0;
            gcm_block_shift_right(v);
            if (carry) {
                v[0] ^= 0xE1;  // R = 11100001 || 0^120
            }
        }
    }
    std::memcpy(z, product, sizeof(product));
}

void gcm_ghash_update(const UCHAR* h, const UCHAR* data, ULONG length, UCHAR* y)
{
    ULONG offset = 0;
    while (offset < length) {
        const ULONG piece = length - offset < AES_BLOCK_SIZE ? length - offset : AES_BLOCK_SIZE;
        for (ULONG i = 0; i < piece; ++i) {
            y[i] ^= data[offset + i];
        }
        gcm_gf128_mult(y, h, y);
        offset += piece;
    }
}

NTSTATUS aes_gcm_ctr_crypt(const UCHAR* key, ULONG keyLength, const UCHAR* initialCounterBlock, const UCHAR* input,
                           ULONG length, UCHAR* output)
{
    if (length == 0) {
        return STATUS_SUCCESS;
    }
    if (key == nullptr || initialCounterBlock == nullptr || input == nullptr || output == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    UCHAR roundKeys[AES_ROUND_KEYS_SIZE];
    const ULONG rounds = AES_ExpandKey(key, keyLength, roundKeys);
    if (rounds == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    UCHAR counter[AES_BLOCK_SIZE];
    UCHAR keystream[AES_BLOCK_SIZE];
    std::memcpy(counter, initialCounterBlock, sizeof(counter));
    for (ULONG offset = 0; offset < length; offset += AES_BLOCK_SIZE) {
        EncryptBlock(roundKeys, rounds, counter, keystream);
        const ULONG piece = length - offset < AES_BLOCK_SIZE ? length - offset : AES_BLOCK_SIZE;
        for (ULONG i = 0; i < piece; ++i) {
            output[offset + i] = static_cast<UCHAR>(input[offset + i] ^ keystream[i]);
        }
        Inc32(counter);
    }
    Wipe(roundKeys, sizeof(roundKeys));
    Wipe(keystream, sizeof(keystream));
    return STATUS_SUCCESS;
}

int aes_gcm_ad_impl(const UCHAR* aad, ULONG aadLength, const UCHAR* key, ULONG keyLength, const UCHAR* iv,
                    ULONG ivLength, const UCHAR* expectedTag)
{
    if (key == nullptr || iv == nullptr || expectedTag == nullptr || (aad == nullptr && aadLength != 0) ||
        ivLength != GCM_IV_SIZE || aadLength > 0x1FFFFFFFu) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: IV length %u or AAD length %u refused", __func__,
                 static_cast<unsigned>(ivLength), static_cast<unsigned>(aadLength));
        return -1;
    }
    UCHAR roundKeys[AES_ROUND_KEYS_SIZE];
    const ULONG rounds = AES_ExpandKey(key, keyLength, roundKeys);
    if (rounds == 0) {
        return -1;
    }
    // H = E(K, 0^128); J0 = IV || 0^31 || 1.
    UCHAR h[AES_BLOCK_SIZE] = {};
    EncryptBlock(roundKeys, rounds, h, h);
    UCHAR j0[AES_BLOCK_SIZE] = {};
    std::memcpy(j0, iv, GCM_IV_SIZE);
    j0[AES_BLOCK_SIZE - 1] = 1;
    // S = GHASH(A || 0^v || [len(A)]64 || [len(C) = 0]64).
    UCHAR s[AES_BLOCK_SIZE] = {};
    gcm_ghash_update(h, aad, aadLength, s);
    UCHAR lengths[AES_BLOCK_SIZE] = {};
    PutBe64(lengths, static_cast<ULONG64>(aadLength) * 8);
    gcm_ghash_update(h, lengths, sizeof(lengths), s);
    // T = GCTR(J0, S) = E(K, J0) XOR S.
    UCHAR tag[AES_BLOCK_SIZE];
    EncryptBlock(roundKeys, rounds, j0, tag);
    UCHAR difference = 0;
    for (int i = 0; i < GCM_TAG_SIZE; ++i) {
        difference = static_cast<UCHAR>(difference | ((tag[i] ^ s[i]) ^ expectedTag[i]));
    }
    Wipe(roundKeys, sizeof(roundKeys));
    Wipe(h, sizeof(h));
    if (difference != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: the tag does not match", __func__);
        return -1;
    }
    return 0;
}

// ---- the BIP-GMAC-256 check ---------------------------------------------------------------------------
namespace {

constexpr ULONG kHeaderLength = 24;
constexpr ULONG kMmeLength = 26;  // element id, length 24, key id 2, IPN 6, MIC 16
constexpr ULONG kMinFrameLength = kHeaderLength + 2 + kMmeLength;  // with the reason code: 52
// Frames up to this length are checked; their AAD is built on the stack.
constexpr ULONG kMaxFrameLength = 512;
constexpr UCHAR kMmeElementId = 76;
constexpr UCHAR kMmeBodyLength = 24;
constexpr ULONG kBipGmacKeyLength = 32;
// Frame-control bits the AAD carries as zero: Retry, Power Management and More Data.
constexpr UCHAR kFcMaskedBits = 0x38;

}  // namespace

BOOLEAN rsnCheckBipGmac(PMP_PORT port, PRX_DMAQ_DESC record)
{
    if (port == nullptr || record == nullptr || record->Frame == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: no port or frame", __func__);
        return FALSE;
    }
    const UCHAR* frame = record->Frame;
    const ULONG length = record->FrameLength;
    if (length < kMinFrameLength || length > kMaxFrameLength) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: a frame of %u bytes is not checked", __func__,
                 static_cast<unsigned>(length));
        return FALSE;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME,
             "%s: FC %02X%02X A1 %02X:%02X:%02X:%02X:%02X:%02X A2 %02X:%02X:%02X:%02X:%02X:%02X "
             "A3 %02X:%02X:%02X:%02X:%02X:%02X reason %u, %u bytes",
             __func__, frame[0], frame[1], frame[4], frame[5], frame[6], frame[7], frame[8], frame[9], frame[10],
             frame[11], frame[12], frame[13], frame[14], frame[15], frame[16], frame[17], frame[18], frame[19],
             frame[20], frame[21], static_cast<unsigned>(frame[24] | (frame[25] << 8)),
             static_cast<unsigned>(length));
    const PORT_BIP_GMAC_KEY& bip = port->BipGmac;
    if (bip.Present == 0 || bip.Key.KeyLength != kBipGmacKeyLength) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: the port holds no BIP-GMAC-256 key", __func__);
        return FALSE;
    }
    // The Management MIC element closes the frame.
    const UCHAR* mme = frame + length - kMmeLength;
    if (mme[0] != kMmeElementId || mme[1] != kMmeBodyLength) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: element %u of length %u where the MIC element belongs",
                 __func__, mme[0], mme[1]);
        return FALSE;
    }
    const UCHAR* ipnBytes = mme + 4;
    const UCHAR* mic = mme + 10;
    const ULONG64 ipn = GetLe48(ipnBytes);
    if (bip.RxIpnValid != 0 ? ipn <= bip.RxIpn : ipn < GetLe48(bip.Key.Ipn)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: IPN 0x%llX replayed (lowest accepted 0x%llX)", __func__,
                 static_cast<unsigned long long>(ipn),
                 static_cast<unsigned long long>(bip.RxIpnValid != 0 ? bip.RxIpn + 1 : GetLe48(bip.Key.Ipn)));
        return FALSE;
    }
    // Nonce: address 2, then the IPN most significant byte first.
    UCHAR nonce[GCM_IV_SIZE];
    std::memcpy(nonce, frame + 10, 6);
    for (int i = 0; i < 6; ++i) {
        nonce[6 + i] = ipnBytes[5 - i];
    }
    // AAD: the masked frame control, the three addresses, the body with the MIC as zeros.
    UCHAR aad[kMaxFrameLength];
    const ULONG bodyLength = length - kHeaderLength;
    aad[0] = frame[0];
    aad[1] = static_cast<UCHAR>(frame[1] & ~kFcMaskedBits);
    std::memcpy(aad + 2, frame + 4, 18);
    std::memcpy(aad + 20, frame + kHeaderLength, bodyLength - GCM_TAG_SIZE);
    std::memset(aad + 20 + bodyLength - GCM_TAG_SIZE, 0, GCM_TAG_SIZE);
    if (aes_gcm_ad_impl(aad, 20 + bodyLength, bip.Key.aucIGTK, kBipGmacKeyLength, nonce, sizeof(nonce), mic) < 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: MIC check failed (IPN 0x%llX)", __func__,
                 static_cast<unsigned long long>(ipn));
        return FALSE;
    }
    port->BipGmac.RxIpn = ipn;
    port->BipGmac.RxIpnValid = 1;
    return TRUE;
}
