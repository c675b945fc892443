#include "processes/Services.h"

#include "platform/Environment.h"
#include "platform/UniqueResource.h"
#include "processes/ChildProcess.h"

namespace Zento::Lithcore::System {

namespace {

constexpr DWORD StopPollIntervalMs = 100;

UniqueServiceHandle OpenManager(DWORD access) { return UniqueServiceHandle(::OpenSCManagerW(nullptr, nullptr, access)); }

UniqueServiceHandle OpenNamedService(const UniqueServiceHandle& manager, const std::wstring& name, DWORD access) {
    return UniqueServiceHandle(::OpenServiceW(manager.Get(), name.c_str(), access));
}

const wchar_t* OpenServiceFailureText(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED: return L"Uninstall Failed: Permission denied";
        case ERROR_SERVICE_DOES_NOT_EXIST: return L"Uninstall Failed: Service is not installed";
        default: return L"Uninstall Failed to open the service";
    }
}

// The system's own net.exe, by full path, is waited for within the child limit; its exit code says
// nothing reliable about the service, whose state is asked afterwards.
void RunNet(const std::wstring& arguments) {
    ProcessStartInfo info;
    info.program = SystemFolderFile(L"net.exe");
    if (info.program.empty()) return;
    info.arguments = arguments;
    info.hidden = true;
    RunProcess(info);
}

}  // namespace

bool WindowsService::IsInstalled() const {
    UniqueServiceHandle manager = OpenManager(GENERIC_READ);
    if (!manager) return false;
    return OpenNamedService(manager, name_, GENERIC_READ).IsValid();
}

bool WindowsService::QueryState(DWORD& state) const {
    UniqueServiceHandle manager = OpenManager(GENERIC_READ);
    if (!manager) return false;
    UniqueServiceHandle service = OpenNamedService(manager, name_, GENERIC_READ);
    if (!service) return false;
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service.Get(), &status)) return false;
    state = status.dwCurrentState;
    return true;
}

bool WindowsService::RunNetCommand(const std::wstring& verb) const {
    // The name is quoted: service names hold blanks, and net.exe takes exactly one name argument.
    RunNet(NetCommandArguments(verb, name_));
    return true;
}

bool WindowsService::WaitUntilStopped(DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD state = 0;
        if (!IsInstalled()) return true;
        if (QueryState(state) && state == SERVICE_STOPPED) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(StopPollIntervalMs);
    }
}

bool WindowsService::UninstallAttempt(bool& stillRunning) {
    stillRunning = false;
    UniqueServiceHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        lastError_ = L"Uninstall Failed: to open service control manager";
        return false;
    }
    UniqueServiceHandle service = OpenNamedService(manager, name_, SERVICE_ALL_ACCESS);
    if (!service) {
        lastError_ = OpenServiceFailureText(::GetLastError());
        return false;
    }
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service.Get(), &status)) {
        lastError_ = L"Uninstall Failed to query service status";
        return false;
    }
    if (status.dwCurrentState != SERVICE_STOPPED) {
        lastError_ = L"The service is still running, disable it first";
        stillRunning = true;
        return false;
    }
    if (!::DeleteService(service.Get())) {
        if (::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE) return true;
        lastError_ = L"Failed to delete the service";
        return false;
    }
    return true;
}

bool WindowsService::Uninstall() {
    for (int cycle = 1;; ++cycle) {
        bool stillRunning = false;
        if (UninstallAttempt(stillRunning)) return true;
        if (!stillRunning || cycle >= MaxStopCycles) return false;
        Stop();
        ::Sleep(StopRetryPauseMs);
    }
}

}  // namespace Zento::Lithcore::System

namespace Zento::Lithcore {

std::wstring NetCommandArguments(const std::wstring& verb, const std::wstring& serviceName) {
    return verb + L" \"" + serviceName + L"\"";
}

bool StopServiceIfRunning(const std::wstring& serviceName, DWORD stopWaitMs) {
    System::WindowsService service(serviceName);
    if (!service.IsInstalled()) return true;
    DWORD state = 0;
    service.QueryState(state);
    if (state == SERVICE_RUNNING)
        service.Stop();
    else if (state != SERVICE_STOP_PENDING)
        return state == SERVICE_STOPPED;
    // net.exe may return before the service has stopped.
    return service.WaitUntilStopped(stopWaitMs);
}

bool UninstallServiceIfInstalled(const std::wstring& serviceName) {
    System::WindowsService service(serviceName);
    if (!service.IsInstalled()) return false;
    return service.Uninstall();
}

}  // namespace Zento::Lithcore
