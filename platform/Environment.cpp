#include "platform/Environment.h"

#include <windows.h>

#include <vector>

#include "platform/UniqueResource.h"

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
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 == TRUE;
}

std::wstring SystemFolderFile(const std::wstring& fileName) {
    UINT size = ::GetSystemDirectoryW(nullptr, 0);
    if (size == 0) return {};
    std::wstring folder(size, L'\0');
    UINT length = ::GetSystemDirectoryW(folder.data(), size);
    if (length == 0 || length >= size) return {};
    folder.resize(length);
    return folder + L"\\" + fileName;
}

namespace {

bool IsAdministratorsMember() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                    0, 0, administrators.Put()))
        return false;
    BOOL member = FALSE;
    return ::CheckTokenMembership(nullptr, administrators.Get(), &member) && member == TRUE;
}

}  // namespace

bool IsProcessElevated() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size))
        return elevation.TokenIsElevated != 0;
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return false;
    return IsAdministratorsMember();  // a system from before elevation
}

}  // namespace Zento::Lithcore
