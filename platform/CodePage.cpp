#include "platform/CodePage.h"

namespace Zento::Lithcore {

std::string NarrowText(const std::wstring& text, UINT codePage) {
    int size = ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr) <= 0) return {};
    result.resize(static_cast<size_t>(size) - 1);  // the terminator is not part of the result
    return result;
}

}  // namespace Zento::Lithcore
