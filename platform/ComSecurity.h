#pragma once
// COM for this process, with the call-back permissions System Restore needs: the restore point service
// runs as System and calls back into the process that asks for a point, and COM refuses those calls
// unless the process's security lets System, LocalService and NetworkService in.
#include <windows.h>

namespace Zento::Lithcore {

// Initializes COM (multithreaded) and its process-wide security; uninitializes COM when it goes away.
// Error() is S_OK, or the HRESULT of the step that failed (the security can be set only once, before any
// other COM use: RPC_E_TOO_LATE then).
class ComSecurityScope {
public:
    ComSecurityScope();
    ~ComSecurityScope();
    ComSecurityScope(const ComSecurityScope&) = delete;
    ComSecurityScope& operator=(const ComSecurityScope&) = delete;

    HRESULT Error() const noexcept { return error_; }

private:
    bool initialized_ = false;
    HRESULT error_ = S_OK;
};

}  // namespace Zento::Lithcore
