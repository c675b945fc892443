#include "settings/Crypto.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <cstring>
#include <new>

namespace Zento::Lithcore::Crypto {

namespace {

constexpr int kStatusNew = 0;
constexpr int kStatusDeciphered = 2;
constexpr int kStatusResultReady = 3;  // accepted by the queries, never set here

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

// Plaintext of the image, or false when the image is too short or the cipher library fails.
bool Decipher(const Key& key, const unsigned char* data, std::uint32_t length, Bytes& plaintext) {
    if (length < kKeyLength) return false;
    const std::size_t cipherLength = length - kPrefixLength;
    if (cipherLength == 0) {
        plaintext.clear();
        return true;
    }
    plaintext = RunCtr(key, data, data + kPrefixLength, cipherLength);
    return !plaintext.empty();
}

std::uint32_t ReadLittleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

struct Crypto::State {
    std::string passPhrase;
    int status = kStatusNew;
    Bytes result;

    bool HasResult() const { return status == kStatusDeciphered || status == kStatusResultReady; }
};

Crypto::Crypto(const std::string& passPhrase) : state_(new (std::nothrow) State) {
    if (state_) state_->passPhrase = passPhrase;
}

Crypto::~Crypto() = default;

int Crypto::Decrypt(const unsigned char* data, std::uint32_t length) {
    if (!state_) return kNoState;
    if (data == nullptr || length < kFillerCountLength) return kBadArgument;
    state_->result.clear();

    Bytes plaintext;
    try {
        if (!Decipher(DeriveKey(state_->passPhrase), data, length, plaintext)) return kCipherFailed;
    } catch (const std::exception&) {
        return kCipherFailed;
    }
    state_->status = kStatusDeciphered;

    if (plaintext.size() < kFillerCountLength) return kBadArgument;
    // 64-bit sum: a count near 2^32 must not wrap to a small offset.
    const std::uint64_t payloadStart = kFillerCountLength + std::uint64_t{ReadLittleEndian32(plaintext.data())};
    if (payloadStart > plaintext.size()) return kBadArgument;
    state_->result.assign(plaintext.begin() + static_cast<std::ptrdiff_t>(payloadStart), plaintext.end());
    return kSuccess;
}

int Crypto::GetDecryptedSize(std::uint32_t* size) const {
    if (!state_) return kNoState;
    if (size == nullptr) return kBadArgument;
    if (!state_->HasResult()) return kNoResult;
    *size = static_cast<std::uint32_t>(state_->result.size());
    return kSuccess;
}

int Crypto::GetDecryptedData(unsigned char* buffer, std::uint32_t capacity) const {
    if (!state_) return kNoState;
    if (buffer == nullptr) return kBadArgument;
    if (!state_->HasResult()) return kNoResult;
    if (capacity < state_->result.size()) return kBadArgument;
    if (!state_->result.empty()) std::memcpy(buffer, state_->result.data(), state_->result.size());
    return kSuccess;
}

std::array<unsigned char, kKeyLength> DeriveKey(const std::string& passPhrase) {
    Key key{};
    CryptoPP::SHA256 hash;
    CryptoPP::StringSource source(passPhrase, true,
                                  new CryptoPP::HashFilter(hash, new CryptoPP::ArraySink(key.data(), key.size())));
    return key;
}

Bytes EncipherImage(const std::string& passPhrase, const std::array<unsigned char, kPrefixLength>& prefix,
                    const Bytes& plaintext) {
    Bytes image(prefix.begin(), prefix.end());
    if (plaintext.empty()) return image;
    Bytes cipherText = RunCtr(DeriveKey(passPhrase), prefix.data(), plaintext.data(), plaintext.size());
    image.insert(image.end(), cipherText.begin(), cipherText.end());
    return image;
}

Bytes BuildPlaintext(const Bytes& filler, const std::string& payload) {
    const auto n = static_cast<std::uint32_t>(filler.size());
    Bytes plaintext;
    plaintext.reserve(kFillerCountLength + filler.size() + payload.size());
    for (int shift = 0; shift < 32; shift += 8) plaintext.push_back(static_cast<unsigned char>(n >> shift));
    plaintext.insert(plaintext.end(), filler.begin(), filler.end());
    plaintext.insert(plaintext.end(), payload.begin(), payload.end());
    return plaintext;
}

}  // namespace Zento::Lithcore::Crypto
