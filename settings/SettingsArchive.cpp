#include "settings/SettingsArchive.h"

#include <boost/archive/xml_wiarchive.hpp>

#include <cwctype>
#include <sstream>
#include <stdexcept>

#include "platform/FileSystem.h"
#include "settings/Crypto.h"
#include "settings/TextConversion.h"
#include "settings/TextFile.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t kArchiveSignature[] = L"serialization::archive";

std::size_t SkipSpaces(const std::wstring& text, std::size_t at) {
    while (at < text.size() && std::iswspace(text[at])) ++at;
    return at;
}

// Value of the header's signature attribute, or false when there is none.
bool FindSignature(const std::wstring& header, std::wstring& value) {
    for (std::size_t at = header.find(L"signature"); at != std::wstring::npos;
         at = header.find(L"signature", at + 1)) {
        if (at == 0 || !std::iswspace(header[at - 1])) continue;
        std::size_t pos = SkipSpaces(header, at + 9);
        if (pos >= header.size() || header[pos] != L'=') continue;
        pos = SkipSpaces(header, pos + 1);
        if (pos >= header.size() || header[pos] != L'"') continue;
        const std::size_t close = header.find(L'"', pos + 1);
        if (close == std::wstring::npos) return false;
        value = header.substr(pos + 1, close - pos - 1);
        return true;
    }
    return false;
}

// The archive library compares the signature only as far as the file's text goes,
// so a truncated signature ("serial", or an empty one) would pass; check it whole.
bool HasFullSignature(const std::wstring& text) {
    const std::size_t start = text.find(L"<boost_serialization");
    if (start == std::wstring::npos) return false;
    const std::size_t end = text.find(L'>', start);
    if (end == std::wstring::npos) return false;
    std::wstring signature;
    return FindSignature(text.substr(start, end - start), signature) && signature == kArchiveSignature;
}

// The archive's destructor reads the closing header tag and throws from there (which ends the
// process) when the text stops first. Check that it is present instead.
bool HasClosingTag(std::wistream& rest) {
    rest >> std::ws;
    std::wstring tail(std::istreambuf_iterator<wchar_t>(rest), {});
    return tail.rfind(L"</", 0) == 0 && tail.find(L'>') != std::wstring::npos;
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
    if (Crypto::DecipherImage(kSettingsPassPhrase, image, payload) != Crypto::kSuccess) return false;
    // The conversion ends at the payload's first NUL byte, if it has one.
    text = FromMultiByte(payload, kUtf8Mode);
    return true;
}

bool ParseSettingsXml(const std::wstring& text, Settings& settings) {
    if (!HasFullSignature(text)) return false;
    std::wstringstream stream(text);
    bool complete = false;
    try {
        boost::archive::xml_wiarchive archive(stream);
        archive >> boost::serialization::make_nvp(kRecordElementName, settings);
        complete = HasClosingTag(stream);
        // Nothing is left for the destructor to read: its own check can no longer throw.
        stream.setstate(std::ios::failbit);
    } catch (...) {  // any archive error, malformed text, or memory exhaustion
        return false;
    }
    return complete;
}

bool LoadSettingsFile(const std::wstring& path, Settings& settings) {
    std::wstring text;
    if (!ReadSettingsText(path, text)) return false;
    return ParseSettingsXml(text, settings);
}

}  // namespace Zento::Lithcore
