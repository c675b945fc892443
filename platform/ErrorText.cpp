#include "platform/ErrorText.h"

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

std::wstring Win32ErrorText(DWORD error) {
    std::wstring text = L"エラー " + std::to_wstring(error);
    UniqueLocalMemory buffer;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = ::FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(buffer.Put()), 0, nullptr);
    if (length == 0 || !buffer) return text;
    std::wstring described(static_cast<const wchar_t*>(buffer.Get()), length);
    size_t end = described.find_last_not_of(L"\r\n ");
    described.resize(end == std::wstring::npos ? 0 : end + 1);
    if (!described.empty()) text += L": " + described;
    return text;
}

}  // namespace Zento::Lithcore
