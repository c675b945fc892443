#include "settings/Crypto.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

namespace Zento::Lithcore::Crypto {

namespace {

using Key = std::array<unsigned char, kKeyLength>;

// One CTR pass; enciphering and deciphering are the same keystream XOR.
Bytes RunCtr(const Key& key, const unsigned char* counterBlock, const unsigned char* data, std::size_t length) {
    CryptoPP::CTR_Mode<CryptoPP::AES>::Decryption cipher;
    cipher.SetKeyWithIV(key.data(), key.size(), counterBlock, kCounterBlockLength);
    CryptoPP::StreamTransformationFilter filter(cipher);
    filter.Put(data, length);
    filter.MessageEnd();
    Bytes out(static_cast<std::size_t>(filter.MaxRetrievable()));
    if (!out.empty()) filter.Get(out.data(), out.size());
    return out;
}

std::uint32_t ReadLittleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

int DecipherImage(const std::string& passPhrase, const Bytes& image, std::string& payload) {
    if (image.size() < kFillerCountLength) return kBadArgument;
    if (image.size() < kPrefixLength) return kCipherFailed;
    Bytes plaintext;  // only the prefix: nothing to decipher
    if (image.size() > kPrefixLength) {
        try {
            const std::size_t cipherLength = image.size() - kPrefixLength;
            plaintext = RunCtr(DeriveKey(passPhrase), image.data(), image.data() + kPrefixLength, cipherLength);
        } catch (const std::exception&) {
            return kCipherFailed;
        }
        if (plaintext.empty()) return kCipherFailed;
    }
    if (plaintext.size() < kFillerCountLength) return kBadArgument;
    // 64-bit sum: a count near 2^32 must not wrap to a small offset.
    const std::uint64_t payloadStart = kFillerCountLength + std::uint64_t{ReadLittleEndian32(plaintext.data())};
    if (payloadStart > plaintext.size()) return kBadArgument;
    payload.assign(plaintext.begin() + static_cast<std::ptrdiff_t>(payloadStart), plaintext.end());
    return kSuccess;
}

std::array<unsigned char, kKeyLength> DeriveKey(const std::string& passPhrase) {
    Key key{};
    CryptoPP::SHA256 hash;
    CryptoPP::StringSource source(passPhrase, true,
                                  new CryptoPP::HashFilter(hash, new CryptoPP::ArraySink(key.data(), key.size())));
    return key;
}

}  // namespace Zento::Lithcore::Crypto
