#include "settings/TextConversion.h"

#include <windows.h>

namespace Zento::Lithcore {

namespace {

std::string FromWide(UINT codePage, const std::wstring& text) {
    int size = ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr) <= 0) return {};
    result.resize(static_cast<size_t>(size) - 1);  // the terminator is not part of the result
    return result;
}

}  // namespace

std::string ToAnsi(const std::wstring& text) { return FromWide(CP_ACP, text); }

std::string ToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }

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
