#include "registry/Names.h"

namespace Zento::Lithcore {

namespace {

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::vector<std::wstring> SplitAtHyphens(const std::wstring& text) {
    std::vector<std::wstring> pieces(1);
    for (wchar_t c : text) {
        if (c == L'-')
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'); }

}  // namespace

bool NamesEqual(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool PackGuid(const std::wstring& guid, std::wstring& packed) {
    if (guid.size() != 38 || guid.find(L'{') != 0 || guid.find(L'}') != 37) return false;
    std::vector<std::wstring> pieces = SplitAtHyphens(guid.substr(1, 36));
    static const size_t kLengths[] = {8, 4, 4, 4, 12};
    if (pieces.size() != 5) return false;
    for (size_t i = 0; i < 5; ++i)
        if (pieces[i].size() != kLengths[i]) return false;

    std::wstring result;
    for (size_t i = 0; i < 3; ++i) result.append(pieces[i].rbegin(), pieces[i].rend());
    for (size_t i = 3; i < 5; ++i)
        for (size_t pos = 0; pos + 1 < pieces[i].size(); pos += 2) {
            result.push_back(pieces[i][pos + 1]);
            result.push_back(pieces[i][pos]);
        }
    if (result.size() != 32) return false;
    packed += result;
    return true;
}

namespace {

// A 32-character text with hyphens and braces put in at the places of a GUID's groups.
std::wstring Braced(const std::wstring& plain) {
    return L"{" + plain.substr(0, 8) + L"-" + plain.substr(8, 4) + L"-" + plain.substr(12, 4) + L"-" +
           plain.substr(16, 4) + L"-" + plain.substr(20, 12) + L"}";
}

}  // namespace

bool UnpackGuid(const std::wstring& packed, std::wstring& guid) {
    if (packed.size() != 32) return false;
    for (wchar_t c : packed)
        if (!IsHexDigit(c)) return false;
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
