#include "platform/AdministratorsOnly.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/ErrorText.h"
#include "platform/FileSystem.h"

namespace Zento::Lithcore {

namespace {

// Owner Administrators; SYSTEM and Administrators full control; nothing inherited from the parent.
constexpr wchar_t kFileSddl[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";
constexpr wchar_t kFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Every right by which someone could change what the file says, or who may change it.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                        FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL | MAXIMUM_ALLOWED;

// Whether any allowing entry of the DACL gives a right to change to someone but the trusted ones. An
// entry that only passes on to what a folder holds does not count for the folder itself.
bool OthersMayChange(PACL dacl) {
    if (dacl == nullptr) return true;  // no DACL: everyone may do everything
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;  // an entry we do not judge
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangingRights) == 0) continue;
        if (!IsTrustedSid(const_cast<DWORD*>(&allowed->SidStart))) return true;
    }
    return false;
}

bool IsThisAccount(PSID sid) {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
    return ::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid) != FALSE;
}

}  // namespace

bool IsTrustedSid(PSID sid) {
    if (sid == nullptr || !::IsValidSid(sid)) return false;
    if (::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return true;
    PSID trustedInstaller = nullptr;
    if (::ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &trustedInstaller)) {
        UniqueLocalMemory held(trustedInstaller);
        if (::EqualSid(sid, trustedInstaller)) return true;
    }
    return IsThisAccount(sid);
}

AdministratorsOnlySecurity::AdministratorsOnlySecurity(For what) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(what == For::Folder ? kFolderSddl : kFileSddl,
                                                                SDDL_REVISION_1, &descriptor, nullptr)) {
        error_ = ::GetLastError();
        return;
    }
    descriptor_.Reset(descriptor);
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor;
    attributes_.bInheritHandle = FALSE;
}

TrustCheck CheckAdministratorsOnly(const std::wstring& path) {
    UniqueHandle handle(System::Files().createFile(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                                   nullptr));
    if (!handle) return {Trust::Unreadable, ::GetLastError()};
    return CheckAdministratorsOnly(handle.Get());
}

TrustCheck CheckAdministratorsOnly(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle, &information)) return {Trust::Unreadable, ::GetLastError()};
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {Trust::Link};
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD read = System::Files().getSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   &owner, nullptr, &dacl, nullptr, &descriptor);
    if (read != ERROR_SUCCESS) return {Trust::Unreadable, read};
    UniqueLocalMemory held(descriptor);
    if (!IsTrustedSid(owner)) return {Trust::ForeignOwner};
    if (OthersMayChange(dacl)) return {Trust::OthersMayChange};
    return {Trust::AdministratorsOnly};
}

std::wstring TrustText(const TrustCheck& check) {
    switch (check.trust) {
        case Trust::AdministratorsOnly: return L"";
        case Trust::ForeignOwner: return L"所有者がAdministratorsでもSYSTEMでもありません。";
        case Trust::OthersMayChange: return L"Administrators・SYSTEM以外のユーザーも変更できます。";
        case Trust::Link: return L"ジャンクションまたはシンボリックリンクです。";
        case Trust::Unreadable: return L"セキュリティ情報を読み取れませんでした: " + Win32ErrorText(check.error);
    }
    return L"";
}

}  // namespace Zento::Lithcore
