// Test helper: a child that records how it was started, exits with a chosen code, sleeps until killed,
// or runs as a service that stops after a delay.
//   /UNREGSERVER          exit with the code in QUELLOR_HELPER_EXIT_CODE (default 0); stay until
//                         terminated when QUELLOR_HELPER_UNREGISTER_HANGS is set
//   --exit N              exit with N
//   --sleep               stay until terminated
//   --service [--stop-delay MS] [--exit-delay MS]
//                                 service whose stop takes MS milliseconds (default 500), and whose
//                                 process lives on for --exit-delay after it reported the stop
// Every start appends "command line\ncurrent folder\nstartup USESHOWWINDOW SHOWWINDOW\n" (UTF-8) to QUELLOR_HELPER_RECORD when set.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/UniqueResource.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
    return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void RecordStart() {
    const std::wstring recordPath = Env(L"QUELLOR_HELPER_RECORD");
    if (recordPath.empty()) return;
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW startup{};
    ::GetStartupInfoW(&startup);
    const std::string line = Utf8(::GetCommandLineW()) + "\n" + Utf8(folder) + "\nstartup " +
                             std::to_string(startup.dwFlags & STARTF_USESHOWWINDOW) + " " +
                             std::to_string(startup.wShowWindow) + "\n";
    Zento::Lithcore::UniqueHandle file(::CreateFileW(recordPath.c_str(), FILE_APPEND_DATA,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return;
    DWORD written = 0;
    ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_stopRequested = nullptr;
DWORD g_stopDelayMs = 500;
DWORD g_exitDelayMs = 0;

void Report(DWORD state) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    g_status.dwWaitHint = state == SERVICE_STOP_PENDING ? g_stopDelayMs + 1000 : 0;
    ::SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        ::SetEvent(g_stopRequested);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t** argv) {
    g_statusHandle = ::RegisterServiceCtrlHandlerExW(argv[0], ServiceControl, nullptr);
    g_stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_RUNNING);
    ::WaitForSingleObject(g_stopRequested, INFINITE);
    ::Sleep(g_stopDelayMs);
    Report(SERVICE_STOPPED);
}

int RunService() {
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    const int code = ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
    ::Sleep(g_exitDelayMs);
    return code;
}

}  // namespace

int main() {
    RecordStart();
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ::LocalFree(argv);

    bool service = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"/UNREGSERVER") {
            if (!Env(L"QUELLOR_HELPER_UNREGISTER_HANGS").empty()) ::Sleep(INFINITE);
            const std::wstring code = Env(L"QUELLOR_HELPER_EXIT_CODE");
            ::ExitProcess(code.empty() ? 0 : static_cast<UINT>(std::wcstoul(code.c_str(), nullptr, 0)));
        }
        if (args[i] == L"--exit" && i + 1 < args.size())
            ::ExitProcess(static_cast<UINT>(std::wcstoul(args[i + 1].c_str(), nullptr, 0)));
        if (args[i] == L"--sleep") ::Sleep(INFINITE);
        if (args[i] == L"--service") service = true;
        if (args[i] == L"--stop-delay" && i + 1 < args.size()) g_stopDelayMs = std::wcstoul(args[i + 1].c_str(), nullptr, 0);
        if (args[i] == L"--exit-delay" && i + 1 < args.size()) g_exitDelayMs = std::wcstoul(args[i + 1].c_str(), nullptr, 0);
    }
    return service ? RunService() : 0;
}
