// Power-limit files as the platform's package ships them, built here from their documented layout:
// a text of sections ("[" key "]") holding rate groups ("<name>" ... "</name>") of rows ("chNNN" and
// values), plain or enciphered with AES-128 under the first 16 bytes of SHA-1("KORVALIN"), block 0
// the marker "_____Quazel_____", then 32 free bytes, the text, and spaces up to a whole block.
// The cipher is OpenSSL's, never the driver's.
#pragma once

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qzltest {

struct SkuGroup {
    std::string name;
    std::vector<std::string> rows;  // "ch036\t20\t18 ..." lines
};
struct SkuSection {
    std::string key;  // "US-D", "0010", ...
    std::vector<SkuGroup> groups;
};

inline std::string SkuText(const std::vector<SkuSection>& sections, const std::string& head = "")
{
    std::string text = head;
    for (const SkuSection& s : sections) {
        text += "[" + s.key + "]\r\n";
        for (const SkuGroup& g : s.groups) {
            text += "<" + g.name + ">\r\n";
            for (const std::string& row : g.rows) {
                text += row + "\r\n";
            }
            text += "</" + g.name + ">\r\n";
        }
    }
    return text;
}

inline std::vector<uint8_t> SkuKey()
{
    static const char seed[] = "KORVALIN";
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(seed), 8, digest);
    return std::vector<uint8_t>(digest, digest + 16);
}

// AES-128 of whole blocks, each on its own.
inline std::vector<uint8_t> AesBlocks(const std::vector<uint8_t>& plain)
{
    const std::vector<uint8_t> key = SkuKey();
    std::vector<uint8_t> out(plain.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    int total = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), static_cast<int>(plain.size()));
    total = n;
    EVP_EncryptFinal_ex(ctx, out.data() + total, &n);
    total += n;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(total));
    return out;
}

// The enciphered file of a text; `preamble` fills the 32 skipped body bytes.
inline std::vector<uint8_t> SkuEnciphered(const std::string& text, char preamble = 'P')
{
    std::string plain = "_____Quazel_____" + std::string(32, preamble) + text;
    plain.append((16 - plain.size() % 16) % 16, ' ');
    return AesBlocks(std::vector<uint8_t>(plain.begin(), plain.end()));
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

}  // namespace qzltest
