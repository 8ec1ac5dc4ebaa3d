// The kernel-mode cryptography of the stand-in: SHA-1 and AES-128 decryption against published
// vectors, the properties and object lengths, the one-block-per-call rule, and its fault point.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kshim/bcrypt.h"
#include "kshim/host/control.h"

namespace {

std::vector<UCHAR> Hex(const std::string& text)
{
    std::vector<UCHAR> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<UCHAR>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

class BcryptTest : public ::testing::Test {
protected:
    void SetUp() override { kshim::host::ResetDefaults(); }
    void TearDown() override { kshim::host::ResetDefaults(); }

    ULONG Property(BCRYPT_ALG_HANDLE alg, PCWSTR name)
    {
        ULONG value = 0, result = 0;
        EXPECT_EQ(BCryptGetProperty(alg, name, reinterpret_cast<PUCHAR>(&value), sizeof(value), &result, 0), STATUS_SUCCESS);
        EXPECT_EQ(result, sizeof(ULONG));
        return value;
    }

    std::vector<UCHAR> Sha1(const std::string& text)
    {
        BCRYPT_ALG_HANDLE alg = nullptr;
        EXPECT_EQ(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA1_ALGORITHM, nullptr, 0), STATUS_SUCCESS);
        std::vector<UCHAR> object(Property(alg, BCRYPT_OBJECT_LENGTH));
        BCRYPT_HASH_HANDLE hash = nullptr;
        EXPECT_EQ(BCryptCreateHash(alg, &hash, object.data(), static_cast<ULONG>(object.size()), nullptr, 0, 0), STATUS_SUCCESS);
        std::vector<UCHAR> data(text.begin(), text.end());
        EXPECT_EQ(BCryptHashData(hash, data.data(), static_cast<ULONG>(data.size()), 0), STATUS_SUCCESS);
        std::vector<UCHAR> digest(20);
        EXPECT_EQ(BCryptFinishHash(hash, digest.data(), 20, 0), STATUS_SUCCESS);
        EXPECT_EQ(BCryptCloseAlgorithmProvider(alg, 0), STATUS_SUCCESS);
        return digest;
    }
};

TEST_F(BcryptTest, Sha1OfPublishedMessages)
{
    EXPECT_EQ(Sha1("abc"), Hex("a9993e364706816aba3e25717850c26c9cd0d89d"));
    EXPECT_EQ(Sha1(""), Hex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
}

TEST_F(BcryptTest, AesDecryptsOneBlockPerCallWithoutChaining)
{
    BCRYPT_ALG_HANDLE alg = nullptr;
    ASSERT_EQ(BCryptOpenAlgorithmProvider(&alg, BCRYPT_AES_ALGORITHM, nullptr, 0), STATUS_SUCCESS);
    EXPECT_EQ(Property(alg, BCRYPT_BLOCK_LENGTH), 16u);
    std::vector<UCHAR> object(Property(alg, BCRYPT_OBJECT_LENGTH));
    std::vector<UCHAR> secret = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    BCRYPT_KEY_HANDLE key = nullptr;
    ASSERT_EQ(BCryptGenerateSymmetricKey(alg, &key, object.data(), static_cast<ULONG>(object.size()), secret.data(), 16, 0),
              STATUS_SUCCESS);
    // SP 800-38A F.1.2, ECB-AES128.Decrypt, blocks 1 and 2: each call by itself.
    const std::pair<const char*, const char*> blocks[] = {
        {"3ad77bb40d7a3660a89ecaf32466ef97", "6bc1bee22e409f96e93d7e117393172a"},
        {"f5d3d58503b9699de785895a96fdbaaf", "ae2d8a571e03ac9c9eb76fac45af8e51"},
    };
    for (const auto& [cipher, plain] : blocks) {
        std::vector<UCHAR> in = Hex(cipher), out(16);
        ULONG result = 0;
        ASSERT_EQ(BCryptDecrypt(key, in.data(), 16, nullptr, nullptr, 0, out.data(), 16, &result, 0), STATUS_SUCCESS);
        EXPECT_EQ(result, 16u);
        EXPECT_EQ(out, Hex(plain));
    }
    std::vector<UCHAR> two(32), out(32);
    ULONG result = 0;
    EXPECT_EQ(BCryptDecrypt(key, two.data(), 32, nullptr, nullptr, 0, out.data(), 32, &result, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(BCryptDecrypt(key, two.data(), 16, nullptr, nullptr, 0, out.data(), 15, &result, 0), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(BCryptDestroyKey(key), STATUS_SUCCESS);
    EXPECT_EQ(BCryptDecrypt(key, two.data(), 16, nullptr, nullptr, 0, out.data(), 16, &result, 0), STATUS_INVALID_HANDLE);
    EXPECT_EQ(BCryptCloseAlgorithmProvider(alg, 0), STATUS_SUCCESS);
}

TEST_F(BcryptTest, RefusalsAndFaults)
{
    BCRYPT_ALG_HANDLE alg = nullptr;
    EXPECT_EQ(BCryptOpenAlgorithmProvider(&alg, u"RC4", nullptr, 0), STATUS_NOT_FOUND);
    ASSERT_EQ(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA1_ALGORITHM, nullptr, 0), STATUS_SUCCESS);
    ULONG value = 0, result = 0;
    EXPECT_EQ(BCryptGetProperty(alg, BCRYPT_BLOCK_LENGTH, reinterpret_cast<PUCHAR>(&value), 4, &result, 0), STATUS_NOT_SUPPORTED);
    UCHAR small[4];
    BCRYPT_HASH_HANDLE hash = nullptr;
    EXPECT_EQ(BCryptCreateHash(alg, &hash, small, sizeof(small), nullptr, 0, 0), STATUS_INVALID_PARAMETER);
    for (const char* call : {"BCryptOpenAlgorithmProvider", "ObjectLength", "BCryptCreateHash"}) {
        kshim::host::FaultArm("cng", call, 1, STATUS_UNSUCCESSFUL);
        BCRYPT_ALG_HANDLE a = nullptr;
        NTSTATUS status = BCryptOpenAlgorithmProvider(&a, BCRYPT_SHA1_ALGORITHM, nullptr, 0);
        if (NT_SUCCESS(status)) {
            status = BCryptGetProperty(a, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&value), 4, &result, 0);
        }
        std::vector<UCHAR> object(64);
        if (NT_SUCCESS(status)) {
            status = BCryptCreateHash(a, &hash, object.data(), 64, nullptr, 0, 0);
            if (NT_SUCCESS(status)) {
                BCryptDestroyHash(hash);
            }
        }
        EXPECT_EQ(status, STATUS_UNSUCCESSFUL) << call;
        EXPECT_EQ(kshim::host::FaultFired("cng"), 1u) << call;
        kshim::host::FaultClearAll();
    }
    EXPECT_EQ(BCryptCloseAlgorithmProvider(alg, 0), STATUS_SUCCESS);
}

}  // namespace
