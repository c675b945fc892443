#include "tools/settings-tool/SettingsEncipher.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>

namespace Zento::Lithcore::Crypto {

Bytes EncipherImage(const std::string& passPhrase, const std::array<unsigned char, kPrefixLength>& prefix,
                    const Bytes& plaintext) {
    Bytes image(prefix.begin(), prefix.end());
    if (plaintext.empty()) return image;
    const auto key = DeriveKey(passPhrase);
    CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption cipher;
    cipher.SetKeyWithIV(key.data(), key.size(), prefix.data(), kCounterBlockLength);
    CryptoPP::StreamTransformationFilter filter(cipher);
    filter.Put(plaintext.data(), plaintext.size());
    filter.MessageEnd();
    const std::size_t start = image.size();
    image.resize(start + static_cast<std::size_t>(filter.MaxRetrievable()));
    filter.Get(image.data() + start, image.size() - start);
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
