#include "tools/settings-tool/SettingsWriter.h"

#include <windows.h>

#include <boost/archive/xml_woarchive.hpp>
#include <cryptopp/osrng.h>

#include <sstream>

#include "platform/UniqueResource.h"
#include "settings/SettingsArchive.h"
#include "settings/TextConversion.h"
#include "tools/settings-tool/SettingsEncipher.h"

namespace Zento::Lithcore {

std::wstring WriteSettingsXml(const Settings& settings) {
    std::wostringstream stream;
    {
        // The closing header tag is written when the archive goes away.
        boost::archive::xml_woarchive archive(stream);
        const Settings& record = settings;
        archive << boost::serialization::make_nvp(kRecordElementName, record);
    }
    return stream.str();
}

Crypto::Bytes EncipherSettingsText(const std::wstring& text) {
    std::array<unsigned char, Crypto::kPrefixLength> prefix{};
    CryptoPP::AutoSeededRandomPool random;
    random.GenerateBlock(prefix.data(), prefix.size());
    const std::string utf8 = ToUtf8(text);
    return Crypto::EncipherImage(kSettingsPassPhrase, prefix, Crypto::BuildPlaintext({}, utf8));
}

bool WriteImageFile(const std::wstring& path, const Crypto::Bytes& image) {
    UniqueHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    DWORD written = 0;
    const auto size = static_cast<DWORD>(image.size());
    return ::WriteFile(file.Get(), image.data(), size, &written, nullptr) && written == size && CloseKernelHandle(file);
}

}  // namespace Zento::Lithcore
