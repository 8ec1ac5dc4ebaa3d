// Kernel-mode cryptography on OpenSSL. A provider handle names its algorithm; a key handle is the
// caller's key object (the 16 key bytes); a hash handle is the caller's hash object, which holds the
// OpenSSL digest context until the hash is finished or destroyed.
#include "kshim/bcrypt.h"

#include <openssl/evp.h>

#include <cstring>
#include <string>

#include "internal.h"

namespace {

enum Algorithm : uint32_t { AlgAes = 0x41455331, AlgSha1 = 0x53484131 };

struct Provider {
    uint32_t algorithm;
};
Provider g_aes{AlgAes};
Provider g_sha1{AlgSha1};

constexpr ULONG kAesKeyObject = 32;   // magic + 16 key bytes, rounded
constexpr ULONG kShaHashObject = 16;  // magic + the digest context pointer
constexpr uint32_t kKeyMagic = 0x4B455931;
constexpr uint32_t kHashMagic = 0x48534831;

struct KeyObject {
    uint32_t magic;
    uint8_t key[16];
};
struct HashObject {
    uint32_t magic;
    EVP_MD_CTX* context;
};
static_assert(sizeof(KeyObject) <= kAesKeyObject && sizeof(HashObject) <= kShaHashObject, "object sizes");

bool Fault(const char* call, NTSTATUS* status) { return kshim::FaultCheck("cng", call, status); }

Provider* ProviderOf(BCRYPT_HANDLE handle)
{
    return handle == &g_aes || handle == &g_sha1 ? static_cast<Provider*>(handle) : nullptr;
}

bool Same(PCWSTR a, const char16_t* b) { return a != nullptr && std::u16string(a) == b; }

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, PCWSTR algorithmId, PCWSTR, ULONG flags)
{
    NTSTATUS status;
    if (Fault("BCryptOpenAlgorithmProvider", &status)) {
        return status;
    }
    if (algorithm == nullptr || flags != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    *algorithm = nullptr;
    if (Same(algorithmId, BCRYPT_AES_ALGORITHM)) {
        *algorithm = &g_aes;
    } else if (Same(algorithmId, BCRYPT_SHA1_ALGORITHM)) {
        *algorithm = &g_sha1;
    } else {
        return STATUS_NOT_FOUND;
    }
    return STATUS_SUCCESS;
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG)
{
    return ProviderOf(algorithm) != nullptr ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}

NTSTATUS BCryptGetProperty(BCRYPT_HANDLE object, PCWSTR property, PUCHAR output, ULONG outputLength, PULONG result, ULONG)
{
    NTSTATUS status;
    if (Fault(Same(property, BCRYPT_BLOCK_LENGTH) ? "BlockLength" : "ObjectLength", &status)) {
        return status;
    }
    Provider* provider = ProviderOf(object);
    if (provider == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    ULONG value;
    if (Same(property, BCRYPT_BLOCK_LENGTH) && provider->algorithm == AlgAes) {
        value = 16;
    } else if (Same(property, BCRYPT_OBJECT_LENGTH)) {
        value = provider->algorithm == AlgAes ? kAesKeyObject : kShaHashObject;
    } else {
        return STATUS_NOT_SUPPORTED;
    }
    if (result != nullptr) {
        *result = sizeof(value);
    }
    if (output == nullptr || outputLength < sizeof(value)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(output, &value, sizeof(value));
    return STATUS_SUCCESS;
}

NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, PUCHAR hashObject, ULONG hashObjectLength,
                          PUCHAR, ULONG secretLength, ULONG)
{
    NTSTATUS status;
    if (Fault("BCryptCreateHash", &status)) {
        return status;
    }
    Provider* provider = ProviderOf(algorithm);
    if (provider == nullptr || provider->algorithm != AlgSha1) {
        return STATUS_INVALID_HANDLE;
    }
    if (hash == nullptr || hashObject == nullptr || hashObjectLength < kShaHashObject || secretLength != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    HashObject h{kHashMagic, EVP_MD_CTX_new()};
    if (h.context == nullptr || EVP_DigestInit_ex(h.context, EVP_sha1(), nullptr) != 1) {
        EVP_MD_CTX_free(h.context);
        return STATUS_NO_MEMORY;
    }
    std::memcpy(hashObject, &h, sizeof(h));
    *hash = hashObject;
    return STATUS_SUCCESS;
}

namespace {
HashObject* HashOf(BCRYPT_HASH_HANDLE hash)
{
    auto* h = static_cast<HashObject*>(hash);
    return h != nullptr && h->magic == kHashMagic && h->context != nullptr ? h : nullptr;
}
}  // namespace

NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputLength, ULONG)
{
    NTSTATUS status;
    if (Fault("BCryptHashData", &status)) {
        return status;
    }
    HashObject* h = HashOf(hash);
    if (h == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    if (inputLength != 0 && (input == nullptr || EVP_DigestUpdate(h->context, input, inputLength) != 1)) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputLength, ULONG)
{
    NTSTATUS status;
    if (Fault("BCryptFinishHash", &status)) {
        return status;
    }
    HashObject* h = HashOf(hash);
    if (h == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    if (output == nullptr || outputLength != 20) {
        return STATUS_INVALID_PARAMETER;
    }
    unsigned int length = 0;
    const bool good = EVP_DigestFinal_ex(h->context, output, &length) == 1 && length == 20;
    EVP_MD_CTX_free(h->context);
    h->context = nullptr;  // a finished hash takes no more data
    return good ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash)
{
    auto* h = static_cast<HashObject*>(hash);
    if (h == nullptr || h->magic != kHashMagic) {
        return STATUS_INVALID_HANDLE;
    }
    EVP_MD_CTX_free(h->context);
    h->context = nullptr;
    h->magic = 0;
    return STATUS_SUCCESS;
}

NTSTATUS BCryptGenerateSymmetricKey(BCRYPT_ALG_HANDLE algorithm, BCRYPT_KEY_HANDLE* key, PUCHAR keyObject,
                                    ULONG keyObjectLength, PUCHAR secret, ULONG secretLength, ULONG)
{
    NTSTATUS status;
    if (Fault("BCryptGenerateSymmetricKey", &status)) {
        return status;
    }
    Provider* provider = ProviderOf(algorithm);
    if (provider == nullptr || provider->algorithm != AlgAes) {
        return STATUS_INVALID_HANDLE;
    }
    if (key == nullptr || keyObject == nullptr || keyObjectLength < kAesKeyObject || secret == nullptr ||
        secretLength != 16) {
        return STATUS_INVALID_PARAMETER;
    }
    KeyObject k{kKeyMagic, {}};
    std::memcpy(k.key, secret, 16);
    std::memcpy(keyObject, &k, sizeof(k));
    *key = keyObject;
    return STATUS_SUCCESS;
}

NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE key)
{
    auto* k = static_cast<KeyObject*>(key);
    if (k == nullptr || k->magic != kKeyMagic) {
        return STATUS_INVALID_HANDLE;
    }
    std::memset(k, 0, sizeof(*k));
    return STATUS_SUCCESS;
}

NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG inputLength, PVOID paddingInfo, PUCHAR iv, ULONG ivLength,
                       PUCHAR output, ULONG outputLength, PULONG result, ULONG flags)
{
    NTSTATUS status;
    if (Fault("BCryptDecrypt", &status)) {
        return status;
    }
    auto* k = static_cast<KeyObject*>(key);
    if (k == nullptr || k->magic != kKeyMagic) {
        return STATUS_INVALID_HANDLE;
    }
    // One block without chaining from an earlier call: the provider's own mode with no IV given.
    if (input == nullptr || inputLength != 16 || paddingInfo != nullptr || iv != nullptr || ivLength != 0 || flags != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (result != nullptr) {
        *result = 16;
    }
    if (output == nullptr || outputLength < 16) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int written = 0, last = 0;
    const bool good = context != nullptr && EVP_DecryptInit_ex(context, EVP_aes_128_ecb(), nullptr, k->key, nullptr) == 1 &&
                      EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
                      EVP_DecryptUpdate(context, output, &written, input, 16) == 1 &&
                      EVP_DecryptFinal_ex(context, output + written, &last) == 1 && written + last == 16;
    EVP_CIPHER_CTX_free(context);
    return good ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}
