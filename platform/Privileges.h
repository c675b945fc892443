#pragma once
// Privileges of the process token that a step enables for itself and gives back afterwards.
#include <windows.h>

#include <string>
#include <vector>

namespace Zento::Lithcore {

// Enables the named privileges (SE_BACKUP_NAME, ...) for the life of the owner; the destructor puts back
// the state each had before. A privilege the token lacks stays disabled, and Result() says so.
class EnabledPrivileges {
public:
    explicit EnabledPrivileges(const std::vector<std::wstring>& names);
    ~EnabledPrivileges();
    EnabledPrivileges(const EnabledPrivileges&) = delete;
    EnabledPrivileges& operator=(const EnabledPrivileges&) = delete;

    // ERROR_SUCCESS when every privilege is enabled, else the first error met.
    DWORD Result() const { return result_; }

private:
    struct Changed {
        LUID luid;
        DWORD previousAttributes;
    };
    DWORD result_ = ERROR_SUCCESS;
    std::vector<Changed> changed_;
};

}  // namespace Zento::Lithcore
