#pragma once
// The writer's counterpart of Crypto::DecipherImage, for the support tool and the tests:
// the product only reads settings files.
#include <array>
#include <string>

#include "settings/Crypto.h"

namespace Zento::Lithcore::Crypto {

// Prefix (its first 16 bytes are the counter block), then the CTR ciphertext of the plaintext.
// Throws on a cipher-library error.
Bytes EncipherImage(const std::string& passPhrase, const std::array<unsigned char, kPrefixLength>& prefix,
                    const Bytes& plaintext);

// [N little-endian][N filler bytes][payload]
Bytes BuildPlaintext(const Bytes& filler, const std::string& payload);

}  // namespace Zento::Lithcore::Crypto
