#pragma once
// Deciphers the settings-file image: a 32-byte prefix whose first 16 bytes are the CTR counter
// block, then AES-256-CTR ciphertext of [filler count N, little-endian][N filler bytes][payload].
// The key is the SHA-256 digest of the pass phrase.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace Zento::Lithcore::Crypto {

constexpr int kSuccess = 0;
constexpr int kBadArgument = -2;  // too short for the filler count, or a count that reaches past the end
constexpr int kCipherFailed = -5;  // shorter than the prefix, or the cipher library failed

constexpr std::size_t kKeyLength = 32;
constexpr std::size_t kCounterBlockLength = 16;
constexpr std::size_t kPrefixLength = kKeyLength;  // only its first half is read
constexpr std::size_t kFillerCountLength = 4;

using Bytes = std::vector<unsigned char>;

// Deciphers a whole file image into its payload: kSuccess, kBadArgument or kCipherFailed.
int DecipherImage(const std::string& passPhrase, const Bytes& image, std::string& payload);

// SHA-256 digest of the pass phrase's bytes (no terminator).
std::array<unsigned char, kKeyLength> DeriveKey(const std::string& passPhrase);

}  // namespace Zento::Lithcore::Crypto
