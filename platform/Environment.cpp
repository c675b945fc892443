#include "platform/Environment.h"

#include <windows.h>

#include <vector>

namespace Zento::Lithcore {

std::wstring ExpandEnvironment(const std::wstring& text) {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) return text;
        if (needed <= buffer.size()) return std::wstring(buffer.data());
        buffer.assign(needed, L'\0');
    }
}

bool IsWow64() {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) return false;
    return wow64 == TRUE;
}

}  // namespace Zento::Lithcore
