#include "settings/SettingsText.h"

#include <windows.h>

#include <stdexcept>

#include "platform/FileSystem.h"
#include "settings/Crypto.h"
#include "settings/TextConversion.h"
#include "settings/TextFile.h"

namespace Zento::Lithcore {

namespace {

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
    if (Crypto::DecipherImage(kSettingsPassPhrase, image, payload) != Crypto::kSuccess) return false;
    // The conversion ends at the payload's first NUL byte, if it has one.
    text = FromMultiByte(payload, kUtf8Mode);
    return true;
}

}  // namespace Zento::Lithcore
