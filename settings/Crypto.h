#pragma once
// Deciphers the settings-file image: a 32-byte prefix whose first 16 bytes are the CTR counter
// block, then AES-256-CTR ciphertext of [filler count N, little-endian][N filler bytes][payload].
// The key is the SHA-256 digest of the pass phrase. Operations answer with signed codes.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Zento::Lithcore::Crypto {

constexpr int kSuccess = 0;
constexpr int kBadArgument = -2;
constexpr int kNoState = -3;
constexpr int kCipherFailed = -5;
constexpr int kNoResult = -7;

constexpr std::size_t kKeyLength = 32;
constexpr std::size_t kCounterBlockLength = 16;
constexpr std::size_t kPrefixLength = kKeyLength;  // only its first half is read
constexpr std::size_t kFillerCountLength = 4;

using Bytes = std::vector<unsigned char>;

class Crypto {
public:
    explicit Crypto(const std::string& passPhrase);
    virtual ~Crypto();
    Crypto(const Crypto&) = delete;
    Crypto& operator=(const Crypto&) = delete;

    // Deciphers a whole file image and keeps its payload as the result.
    int Decrypt(const unsigned char* data, std::uint32_t length);
    int GetDecryptedSize(std::uint32_t* size) const;
    // Copies the whole result; -2 when the buffer is null or smaller than the result.
    int GetDecryptedData(unsigned char* buffer, std::uint32_t capacity) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// SHA-256 digest of the pass phrase's bytes (no terminator).
std::array<unsigned char, kKeyLength> DeriveKey(const std::string& passPhrase);

// The writer's counterpart of Decrypt: prefix (its first 16 bytes are the counter block),
// then the CTR ciphertext of the plaintext. Throws on a cipher-library error.
Bytes EncipherImage(const std::string& passPhrase, const std::array<unsigned char, kPrefixLength>& prefix,
                    const Bytes& plaintext);

// [N little-endian][N filler bytes][payload]
Bytes BuildPlaintext(const Bytes& filler, const std::string& payload);

}  // namespace Zento::Lithcore::Crypto
