#include "settings/TextConversion.h"

#include <windows.h>

#include "platform/CodePage.h"

namespace Zento::Lithcore {

std::string ToUtf8(const std::wstring& text) { return NarrowText(text, CP_UTF8); }

std::wstring FromMultiByte(const std::string& bytes, int mode) {
    UINT codePage = mode == kUtf8Mode ? CP_UTF8 : CP_ACP;
    // MultiByteToWideChar with length -1 needs a terminator; c_str() always has one.
    int size = ::MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    if (::MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, result.data(), size) <= 0) return {};
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

}  // namespace Zento::Lithcore
