#include "platform/Privileges.h"

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

namespace {

UniqueHandle OpenOwnToken() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put())) return {};
    return token;
}

// Sets one privilege's attributes; the previous ones through `previous`. AdjustTokenPrivileges succeeds
// also for a privilege the token does not hold and then says so through the last error.
DWORD SetPrivilege(HANDLE token, const LUID& luid, DWORD attributes, DWORD* previous) {
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    wanted.Privileges[0].Attributes = attributes;
    TOKEN_PRIVILEGES before{};
    DWORD length = sizeof(before);
    if (!::AdjustTokenPrivileges(token, FALSE, &wanted, sizeof(before), &before, &length)) return ::GetLastError();
    DWORD error = ::GetLastError();
    if (error != ERROR_SUCCESS) return error;
    if (previous != nullptr) *previous = before.PrivilegeCount == 0 ? attributes : before.Privileges[0].Attributes;
    return ERROR_SUCCESS;
}

}  // namespace

EnabledPrivileges::EnabledPrivileges(const std::vector<std::wstring>& names) {
    UniqueHandle token = OpenOwnToken();
    if (!token) {
        result_ = ::GetLastError();
        return;
    }
    for (const std::wstring& name : names) {
        LUID luid{};
        DWORD previous = 0;
        const DWORD error = ::LookupPrivilegeValueW(nullptr, name.c_str(), &luid)
                                ? SetPrivilege(token.Get(), luid, SE_PRIVILEGE_ENABLED, &previous)
                                : ::GetLastError();
        if (error != ERROR_SUCCESS) {
            if (result_ == ERROR_SUCCESS) result_ = error;
            continue;
        }
        if ((previous & SE_PRIVILEGE_ENABLED) == 0) changed_.push_back({luid, previous});
    }
}

EnabledPrivileges::~EnabledPrivileges() {
    if (changed_.empty()) return;
    UniqueHandle token = OpenOwnToken();
    if (token)
        for (const Changed& changed : changed_)
            (void)SetPrivilege(token.Get(), changed.luid, changed.previousAttributes & SE_PRIVILEGE_ENABLED, nullptr);
}

}  // namespace Zento::Lithcore
