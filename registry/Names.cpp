#include "registry/Names.h"

#include <algorithm>

#include "platform/FileSystem.h"

namespace Zento::Lithcore {

namespace {

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'); }

// Braces around 36 characters with hyphens exactly between a GUID's groups (8-4-4-4-12).
bool HasGuidShape(const std::wstring& text) {
    if (text.size() != 38 || text.front() != L'{' || text.find(L'}') != 37) return false;
    for (size_t i = 1; i < 37; ++i)
        if ((text[i] == L'-') != (i == 9 || i == 14 || i == 19 || i == 24)) return false;
    return true;
}

// A 32-character text with hyphens and braces put in at the places of a GUID's groups.
std::wstring Braced(const std::wstring& plain) {
    return L"{" + plain.substr(0, 8) + L"-" + plain.substr(8, 4) + L"-" + plain.substr(12, 4) + L"-" +
           plain.substr(16, 4) + L"-" + plain.substr(20, 12) + L"}";
}

}  // namespace

bool NamesEqual(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    // On ASCII the fold only maps a-z to A-Z: the searches' many such names need no call to the system.
    const auto ascii = [](const std::wstring& name) {
        return std::ranges::all_of(name, [](wchar_t c) { return c < 0x80; });
    };
    const auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
    if (ascii(a) && ascii(b)) return std::ranges::equal(a, b, {}, upper, upper);
    return FoldedName(a) == FoldedName(b);
}

bool HoldsName(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::wstring& known) { return NamesEqual(known, name); });
}

void AppendNameOnce(std::vector<std::wstring>& names, const std::wstring& name) {
    if (!HoldsName(names, name)) names.push_back(name);
}

bool IsBracedGuid(const std::wstring& text) {
    return HasGuidShape(text) &&
           std::all_of(text.begin() + 1, text.begin() + 37, [](wchar_t c) { return c == L'-' || IsHexDigit(c); });
}

bool PackGuid(const std::wstring& guid, std::wstring& packed) {
    if (!HasGuidShape(guid)) return false;
    // The first three groups are reversed whole, the last two pair by pair.
    for (const auto& [first, last] : {std::pair<size_t, size_t>{1, 8}, {10, 13}, {15, 18}})
        for (size_t i = last + 1; i > first; --i) packed.push_back(guid[i - 1]);
    for (size_t i = 20; i < 37; i += 2) {
        if (guid[i] == L'-') ++i;
        packed.push_back(guid[i + 1]);
        packed.push_back(guid[i]);
    }
    return true;
}

bool UnpackGuid(const std::wstring& packed, std::wstring& guid) {
    if (packed.size() != 32 || !std::all_of(packed.begin(), packed.end(), IsHexDigit)) return false;
    std::wstring plain;
    if (!PackGuid(Braced(packed), plain)) return false;
    guid = Braced(plain);
    return true;
}

std::vector<std::wstring> PackGuids(const std::vector<std::wstring>& guids) {
    std::vector<std::wstring> packed;
    for (const std::wstring& guid : guids) {
        std::wstring one;
        if (PackGuid(guid, one)) packed.push_back(one);
    }
    return packed;
}

}  // namespace Zento::Lithcore
