#pragma once
// The product's Windows service: stopped through net.exe, queried and deleted through the service
// control manager.
#include <windows.h>

#include <string>

namespace Zento::Lithcore::System {

class WindowsService {
public:
    explicit WindowsService(std::wstring name) : name_(std::move(name)) {}
    virtual ~WindowsService() = default;

    // The service can be opened for reading.
    bool IsInstalled() const;
    // Writes the current state only when it could be read.
    bool QueryState(DWORD& state) const;
    // Runs net.exe with the verb and the (quoted) service name and waits for it. Always true.
    bool RunNetCommand(const std::wstring& verb) const;
    bool Stop() const { return RunNetCommand(L"stop"); }
    // True when this call deleted the service (or found it already marked for deletion), stopping a
    // service that still runs first, in a bounded number of stop-and-retry cycles.
    bool Uninstall();
    const std::wstring& LastError() const { return lastError_; }
    const std::wstring& Name() const { return name_; }

    // Polls until the service is stopped or gone, at most timeoutMs.
    bool WaitUntilStopped(DWORD timeoutMs) const;

private:
    bool UninstallAttempt(bool& stillRunning);

    std::wstring name_;
    std::wstring lastError_;
};

inline constexpr int MaxStopCycles = 10;
inline constexpr DWORD StopRetryPauseMs = 1000;
inline constexpr DWORD ServiceStopWaitMs = 30000;

}  // namespace Zento::Lithcore::System

namespace Zento::Lithcore {

// net.exe's arguments: the verb, one blank, the service name in double quotes.
std::wstring NetCommandArguments(const std::wstring& verb, const std::wstring& serviceName);

// True when the service is not installed, or is (or comes to be) stopped within the bound. A running
// service is stopped through net.exe; one already stopping is only waited for.
bool StopServiceIfRunning(const std::wstring& serviceName, DWORD stopWaitMs = System::ServiceStopWaitMs);
// True only when an installed service was deleted or marked for deletion.
bool UninstallServiceIfInstalled(const std::wstring& serviceName);

}  // namespace Zento::Lithcore
