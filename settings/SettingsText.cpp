#include "settings/SettingsText.h"

#include <windows.h>

#include <stdexcept>

#include "platform/FileSystem.h"
#include "settings/Crypto.h"
#include "settings/TextConversion.h"
#include "settings/TextFile.h"

namespace Zento::Lithcore {

namespace {

// Payload bytes of the image, or false for any code but success.
bool DecipherPayload(const std::vector<unsigned char>& image, std::string& payload) {
    Crypto::Crypto crypto(kSettingsPassPhrase);
    if (crypto.Decrypt(image.data(), static_cast<std::uint32_t>(image.size())) != Crypto::kSuccess) return false;
    std::uint32_t size = 0;
    if (crypto.GetDecryptedSize(&size) != Crypto::kSuccess) return false;
    // Two zero bytes beyond the payload keep it terminated for the conversion.
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 2, 0);
    if (crypto.GetDecryptedData(buffer.data(), size) != Crypto::kSuccess) return false;
    payload.assign(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    return true;
}

std::vector<unsigned char> ReadWholeFile(const std::wstring& path) {
    try {
        return TextFile::OpenForReading(path).ReadAll();
    } catch (const std::runtime_error&) {  // "Open() Error!!!"
        return {};
    }
}

}  // namespace

bool ReadSettingsText(const std::wstring& path, std::wstring& text) {
    if (!PathMatchesAnything(path)) return false;
    const std::vector<unsigned char> image = ReadWholeFile(path);
    if (image.empty()) return false;
    std::string payload;
    if (!DecipherPayload(image, payload)) return false;
    text = FromMultiByte(payload, kUtf8Mode);
    return true;
}

}  // namespace Zento::Lithcore
