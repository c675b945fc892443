#include "platform/Win32Exception.h"

namespace Zento::Lithcore::Exception {

std::string Win32Exception::Narrow(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    int size = ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr) <= 0) return {};
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

}  // namespace Zento::Lithcore::Exception
