// Terrion: the stand-in product's service, also the COM local server of its class.
// "--stop-delay MS" (in the service's binPath) keeps it in STOP_PENDING that long after a stop
// request, so callers meet the same slow stop the real service shows.
#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/UniqueResource.h"
#include "standin/ComRegistration.h"
#include "standin/CommandLine.h"
#include "standin/StandinIds.h"

using Zento::Lithcore::UniqueHandle;

namespace {

DWORD g_stopDelayMs = 500;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopRequested = nullptr;

void Report(DWORD state, DWORD waitHintMs = 0) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = waitHintMs;
    ::SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, g_stopDelayMs + 1000);
        ::SetEvent(g_stopRequested);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    // The manager passes the name the service was installed under; the product's own name is
    // only the fallback.
    const wchar_t* name = argc > 0 && argv != nullptr && argv[0] != nullptr ? argv[0] : Standin::kServiceName;
    g_statusHandle = ::RegisterServiceCtrlHandlerExW(name, ControlHandler, nullptr);
    if (g_statusHandle == nullptr) return;
    UniqueHandle stopRequested(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_stopRequested = stopRequested.Get();
    Report(SERVICE_RUNNING);
    ::WaitForSingleObject(stopRequested.Get(), INFINITE);
    ::Sleep(g_stopDelayMs);
    Report(SERVICE_STOPPED);
}

bool IsSwitch(const std::wstring& argument, const wchar_t* name) {
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           Standin::EqualsIgnoringCase(argument.substr(1), name);
}

// The removal tool finds the service's class by its plain path, so this value stays the path.
bool RegisterServer() {
    const std::wstring path = Standin::ModulePath(nullptr);
    Standin::ClassRegistration registration;
    registration.clsid = Standin::kTerrionClsid;
    registration.name = L"Terrion";
    registration.server = path;
    registration.appId = Standin::kTerrionAppId;
    registration.vendor = Standin::kVendor;
    registration.typeLib = Standin::kTerrionLibId;
    registration.typeLibPath = path;
    return Standin::RegisterClass(registration);
}

}  // namespace

int main() {
    const auto arguments = Standin::CommandLineArguments();
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (IsSwitch(arguments[i], L"UNREGSERVER")) return Standin::UnregisterClass(Standin::kTerrionClsid) ? 0 : 1;
        if (IsSwitch(arguments[i], L"REGSERVER")) return RegisterServer() ? 0 : 1;
        if (arguments[i] == L"--stop-delay" && i + 1 < arguments.size())
            g_stopDelayMs = static_cast<DWORD>(std::wcstoul(arguments[++i].c_str(), nullptr, 10));
    }
    wchar_t name[] = L"Terrion KLQ Service";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(::GetLastError());
}
