#pragma once
// The product's Windows service: stopped through net.exe, queried and deleted through the service
// control manager.
#include <windows.h>

#include <string>

#include "platform/StepResult.h"
#include "processes/Processes.h"

namespace Zento::Lithcore::System {

inline constexpr DWORD ServiceStopWaitMs = 30000;
inline constexpr DWORD ServiceRemovalWaitMs = 30000;
inline constexpr DWORD ServiceProcessExitWaitMs = 30000;

}  // namespace Zento::Lithcore::System

namespace Zento::Lithcore {

// What became of the service in a removal that succeeded.
enum class ServiceRemoval {
    Deleted,            // this run deleted it
    AlreadyGone,        // it was not installed
    MarkedForDeletion,  // marked, by an earlier run or by this one while a handle to it or its
                        // process lives on: it goes then or at the next restart, its key until then
};

struct ServiceRemovalResult {
    StepResult result;
    ServiceRemoval outcome;  // meaningful only when the result succeeded
};

// The hidden net.exe run: the system's own net.exe by full path, in the system folder (never the
// operator's current folder), with the verb, one blank and the service name in double quotes.
ProcessStartInfo NetCommandStartInfo(const std::wstring& verb, const std::wstring& serviceName);

// Writes the service's current state when it could be read. Fails with ERROR_SERVICE_DOES_NOT_EXIST when
// the service is not installed, else with the error of the call that failed.
[[nodiscard]] StepResult QueryServiceState(const std::wstring& serviceName, DWORD& state);

// Succeeds when the service is not installed, or is (or comes to be) stopped within the bound
// (WAIT_TIMEOUT otherwise). A service that is not stopped is stopped through net.exe; one already
// stopping is only waited for. Fails with the error when the service cannot be asked.
[[nodiscard]] StepResult StopServiceIfRunning(const std::wstring& serviceName,
                                              DWORD stopWaitMs = System::ServiceStopWaitMs);
// The service's key in the native view: HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\<name>\.
std::wstring ServiceKeyPath(const std::wstring& serviceName);

// The program the service runs, by its registered ImagePath (its key in the native view); empty when it
// is not registered.
std::wstring ServiceProgramPath(const std::wstring& serviceName);

// Succeeds when the service was deleted, was not installed, or is marked for deletion. A service that still
// runs is stopped first, in a bounded number of stop-and-retry cycles (WAIT_TIMEOUT when it is still
// running after the last); then the service manager's removal is awaited at most removalWaitMs.
[[nodiscard]] ServiceRemovalResult UninstallServiceIfInstalled(const std::wstring& serviceName,
                                                               DWORD removalWaitMs = System::ServiceRemovalWaitMs);

}  // namespace Zento::Lithcore
