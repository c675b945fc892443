#pragma once
// The product's Windows service: stopped through net.exe, queried and deleted through the service
// control manager.
#include <windows.h>

#include <string>

#include "platform/StepResult.h"
#include "processes/Processes.h"

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

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::System {

class WindowsService {
public:
    explicit WindowsService(std::wstring name) : name_(std::move(name)) {}
    virtual ~WindowsService() = default;

    // Writes the current state when it could be read. Fails with ERROR_SERVICE_DOES_NOT_EXIST when
    // the service is not installed, else with the error of the call that failed.
    [[nodiscard]] StepResult QueryState(DWORD& state) const;
    // Runs the system's net.exe with the verb and the (quoted) service name and waits for it.
    void RunNetCommand(const std::wstring& verb) const;
    void Stop() const { RunNetCommand(L"stop"); }
    // Deletes the service, stopping a service that still runs first, in a bounded number of
    // stop-and-retry cycles (WAIT_TIMEOUT when it is still running after the last), then waits at
    // most removalWaitMs for the service manager to remove it.
    [[nodiscard]] ServiceRemovalResult Uninstall(DWORD removalWaitMs);
    const std::wstring& Name() const { return name_; }

    // Polls until the service is stopped or gone, at most timeoutMs (then WAIT_TIMEOUT).
    [[nodiscard]] StepResult WaitUntilStopped(DWORD timeoutMs) const;

private:
    ServiceRemovalResult UninstallAttempt(bool& stillRunning);
    // Deleted once the service manager has removed the service, MarkedForDeletion if not by then.
    ServiceRemoval AwaitRemoval(DWORD timeoutMs) const;

    std::wstring name_;
};

inline constexpr int MaxStopCycles = 10;
inline constexpr DWORD StopRetryPauseMs = 1000;
inline constexpr DWORD ServiceStopWaitMs = 30000;
inline constexpr DWORD ServiceRemovalWaitMs = 30000;
inline constexpr DWORD ServiceProcessExitWaitMs = 30000;

}  // namespace Zento::Lithcore::System

namespace Zento::Lithcore {

// The hidden net.exe run: the system's own net.exe by full path, in the system folder (never the
// operator's current folder), with the verb, one blank and the service name in double quotes.
ProcessStartInfo NetCommandStartInfo(const std::wstring& verb, const std::wstring& serviceName);

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

// Succeeds when the service was deleted, was not installed, or is marked for deletion.
[[nodiscard]] ServiceRemovalResult UninstallServiceIfInstalled(const std::wstring& serviceName,
                                                               DWORD removalWaitMs = System::ServiceRemovalWaitMs);

}  // namespace Zento::Lithcore
