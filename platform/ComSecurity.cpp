#include "platform/ComSecurity.h"

#include <aclapi.h>
#include <objbase.h>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

namespace {

// COM takes only an absolute security descriptor, so it is built here rather than from a string.
HRESULT InitializeSecurity() {
    const WELL_KNOWN_SID_TYPE callers[] = {WinBuiltinAdministratorsSid, WinLocalServiceSid, WinNetworkServiceSid,
                                           WinSelfSid, WinLocalSystemSid};
    BYTE sids[5][SECURITY_MAX_SID_SIZE] = {};
    EXPLICIT_ACCESSW access[5] = {};
    for (int i = 0; i < 5; ++i) {
        DWORD size = sizeof(sids[i]);
        if (!::CreateWellKnownSid(callers[i], nullptr, sids[i], &size)) return HRESULT_FROM_WIN32(::GetLastError());
        access[i].grfAccessPermissions = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
        access[i].grfAccessMode = SET_ACCESS;
        access[i].grfInheritance = NO_INHERITANCE;
        access[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access[i].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
        access[i].Trustee.ptstrName = reinterpret_cast<LPWSTR>(sids[i]);
    }
    PACL acl = nullptr;
    DWORD result = ::SetEntriesInAclW(5, access, nullptr, &acl);
    if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    UniqueLocalMemory aclOwner(acl);
    SECURITY_DESCRIPTOR descriptor = {};
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor, sids[0], FALSE) ||
        !::SetSecurityDescriptorGroup(&descriptor, sids[0], FALSE) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
        return HRESULT_FROM_WIN32(::GetLastError());
    return ::CoInitializeSecurity(&descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                  RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_DISABLE_AAA | EOAC_NO_CUSTOM_MARSHAL,
                                  nullptr);
}

}  // namespace

ComSecurityScope::ComSecurityScope() {
    HRESULT initialized = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    initialized_ = SUCCEEDED(initialized);
    error_ = initialized_ ? InitializeSecurity() : initialized;
}

ComSecurityScope::~ComSecurityScope() {
    if (initialized_) ::CoUninitialize();
}

}  // namespace Zento::Lithcore
