#include "processes/Services.h"

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"
#include "processes/ChildProcess.h"
#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

namespace {

constexpr DWORD StopPollIntervalMs = 100;
constexpr int MaxStopCycles = 10;
constexpr DWORD StopRetryPauseMs = 1000;

UniqueServiceHandle OpenManager(DWORD access) { return UniqueServiceHandle(::OpenSCManagerW(nullptr, nullptr, access)); }

UniqueServiceHandle OpenNamedService(const UniqueServiceHandle& manager, const std::wstring& name, DWORD access) {
    return UniqueServiceHandle(::OpenServiceW(manager.Get(), name.c_str(), access));
}

ServiceRemovalResult Removed(ServiceRemoval outcome) { return {StepResult::Success(), outcome}; }

ServiceRemovalResult RemovalFailed(DWORD error) { return {StepResult::Failure(error), ServiceRemoval::Deleted}; }

// A service marked for deletion answers some calls with ERROR_SERVICE_MARKED_FOR_DELETE: it is as
// good as removed, and goes at the next restart.
ServiceRemovalResult RemovalFailedOrMarked(DWORD error) {
    return error == ERROR_SERVICE_MARKED_FOR_DELETE ? Removed(ServiceRemoval::MarkedForDeletion) : RemovalFailed(error);
}

// net.exe's exit code says nothing reliable about the service, whose state is asked afterwards.
void StopThroughNet(const std::wstring& name) {
    const ProcessStartInfo info = NetCommandStartInfo(L"stop", name);
    if (!info.program.empty()) RunProcess(info);
}

// Polls until the service is stopped or gone, at most timeoutMs (then WAIT_TIMEOUT).
StepResult WaitUntilStopped(const std::wstring& name, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD state = 0;
        const StepResult queried = QueryServiceState(name, state);
        if (!queried.Succeeded()) {
            return queried.Error() == ERROR_SERVICE_DOES_NOT_EXIST ? StepResult::Success() : queried;
        }
        if (state == SERVICE_STOPPED) return StepResult::Success();
        if (::GetTickCount64() >= deadline) return StepResult::Failure(WAIT_TIMEOUT);
        ::Sleep(StopPollIntervalMs);
    }
}

ServiceRemovalResult UninstallAttempt(const std::wstring& name, bool& stillRunning) {
    stillRunning = false;
    UniqueServiceHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) return RemovalFailed(::GetLastError());
    UniqueServiceHandle service = OpenNamedService(manager, name, SERVICE_ALL_ACCESS);
    if (!service) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) return Removed(ServiceRemoval::AlreadyGone);
        return RemovalFailedOrMarked(error);
    }
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service.Get(), &status)) return RemovalFailedOrMarked(::GetLastError());
    if (status.dwCurrentState != SERVICE_STOPPED) {
        stillRunning = true;
        return RemovalFailed(WAIT_TIMEOUT);
    }
    if (!::DeleteService(service.Get())) return RemovalFailedOrMarked(::GetLastError());
    return Removed(ServiceRemoval::Deleted);
}

// The service manager removes a deleted service, and its key, only once the last handle to it is
// closed and its process has ended, which may come well after the stopped state. A service that is
// still there after the bound stays marked for deletion, and goes then or at the next start.
ServiceRemoval AwaitRemoval(const std::wstring& name, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        UniqueServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
        if (manager && !OpenNamedService(manager, name, SERVICE_QUERY_STATUS) &&
            ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            return ServiceRemoval::Deleted;
        if (::GetTickCount64() >= deadline) return ServiceRemoval::MarkedForDeletion;
        ::Sleep(StopPollIntervalMs);
    }
}

}  // namespace

StepResult QueryServiceState(const std::wstring& serviceName, DWORD& state) {
    UniqueServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    if (!manager) return StepResult::Failure(::GetLastError());
    UniqueServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_QUERY_STATUS);
    if (!service) return StepResult::Failure(::GetLastError());
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service.Get(), &status)) return StepResult::Failure(::GetLastError());
    state = status.dwCurrentState;
    return StepResult::Success();
}

ProcessStartInfo NetCommandStartInfo(const std::wstring& verb, const std::wstring& serviceName) {
    ProcessStartInfo info;
    info.program = SystemFolderFile(L"net.exe");
    if (info.program.empty()) return info;
    // The name is quoted: service names hold blanks, and net.exe takes exactly one name argument.
    info.arguments = verb + L" \"" + serviceName + L"\"";
    info.workingFolder = FolderOf(info.program);
    info.hidden = true;
    return info;
}

StepResult StopServiceIfRunning(const std::wstring& serviceName, DWORD stopWaitMs) {
    DWORD state = 0;
    const StepResult queried = QueryServiceState(serviceName, state);
    if (!queried.Succeeded()) return queried.Error() == ERROR_SERVICE_DOES_NOT_EXIST ? StepResult::Success() : queried;
    if (state == SERVICE_STOPPED) return StepResult::Success();
    if (state != SERVICE_STOP_PENDING) StopThroughNet(serviceName);
    // net.exe may return before the service has stopped.
    return WaitUntilStopped(serviceName, stopWaitMs);
}

std::wstring ServiceKeyPath(const std::wstring& serviceName) {
    return L"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\" + serviceName + L"\\";
}

std::wstring ServiceProgramPath(const std::wstring& serviceName) {
    if (serviceName.empty()) return {};
    const auto imagePath = ReadStringValue(NativeView(), ServiceKeyPath(serviceName), L"ImagePath");
    return imagePath ? ServerPathOfCommandLine(*imagePath) : std::wstring();
}

ServiceRemovalResult UninstallServiceIfInstalled(const std::wstring& serviceName, DWORD removalWaitMs) {
    for (int cycle = 1;; ++cycle) {
        bool stillRunning = false;
        ServiceRemovalResult attempt = UninstallAttempt(serviceName, stillRunning);
        // One that an earlier, interrupted run marked is waited for the same way.
        if (attempt.result.Succeeded() && attempt.outcome != ServiceRemoval::AlreadyGone)
            attempt.outcome = AwaitRemoval(serviceName, removalWaitMs);
        if (!stillRunning || cycle >= MaxStopCycles) return attempt;
        StopThroughNet(serviceName);
        ::Sleep(StopRetryPauseMs);
    }
}

}  // namespace Zento::Lithcore
