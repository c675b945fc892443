#pragma once
// Files and folders that only Administrators and SYSTEM may change: what the removal writes for a later
// run to read back, or for the administrator to import. Whatever such a place holds is checked before
// it is believed, since someone else may have made it first.
#include <windows.h>

#include <string>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

// A security descriptor owned by Administrators whose protected DACL gives full control to SYSTEM and
// Administrators and to no one else; for a folder, what is made in it inherits the same.
class AdministratorsOnlySecurity {
public:
    enum class For { File, Folder };
    explicit AdministratorsOnlySecurity(For what);

    // Null when the descriptor could not be built; Error() then says why.
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }
    DWORD Error() const { return error_; }

private:
    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
    DWORD error_ = ERROR_SUCCESS;
};

// Administrators, SYSTEM, TrustedInstaller (the owner of Windows' own files and links), and the account
// this program runs as: an administrator, who could change the file anyway.
bool IsTrustedSid(PSID sid);

enum class Trust {
    AdministratorsOnly,  // owned by a trusted account (IsTrustedSid), and only such accounts may change it
    ForeignOwner,        // owned by someone else
    OthersMayChange,     // its DACL lets someone else write, delete or change its security (or it has none)
    Link,                // a junction or symbolic link: never read through
    Unreadable,          // its security or attributes could not be read
};

struct TrustCheck {
    Trust trust = Trust::Unreadable;
    DWORD error = ERROR_SUCCESS;  // Unreadable only
};

// Whether only trusted accounts can change the file or folder at `path`. The path itself is opened,
// never what a link at it points to. The reads go through the file table (platform/FileSystem.h).
[[nodiscard]] TrustCheck CheckAdministratorsOnly(const std::wstring& path);
// The same for an open handle (opened with READ_CONTROL and FILE_FLAG_OPEN_REPARSE_POINT), so that
// what is checked is what is read.
[[nodiscard]] TrustCheck CheckAdministratorsOnly(HANDLE handle);

// The check's outcome for the log: why the file or folder is not used.
std::wstring TrustText(const TrustCheck& check);

}  // namespace Zento::Lithcore
