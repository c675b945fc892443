// Small launcher for the machine builder, which runs on the Unix side:
//   StandinExec start [--ready NAME] [--timeout MS] -- PROGRAM [ARGS...]
//       starts PROGRAM detached (it outlives the launcher); with --ready, waits until PROGRAM
//       signals the named event. Exit 0 when started (and ready), 1 otherwise.
//   StandinExec wait -- PROGRAM [ARGS...]
//       runs PROGRAM, waits for it and prints "exit code N" with the full 32-bit code, which
//       Unix would cut to its low 8 bits.
//   StandinExec owner {COMPONENT-GUID}
//       prints the product the installer names as the component's owner and its clients.
//   StandinExec hold FILE READY-EVENT
//       holds FILE open without delete sharing, signals READY-EVENT and sleeps (at most ten
//       minutes), as a program that has the file in use.
//   StandinExec path {PRODUCT-GUID} {COMPONENT-GUID}
//       loads msi.dll by its full path in the system folder, then by its bare name, and prints
//       for each "<name>: state N <path>", the answer of the component path query. Shows which
//       msi.dll a program gets under the DLL overrides in force.
// msi.dll is loaded at run time, never imported, so each mode sees a fresh load.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/UniqueResource.h"
#include "standin/CommandLine.h"

using Zento::Lithcore::UniqueHandle;

namespace {

std::wstring Quote(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    for (wchar_t c : argument) {
        if (c == L'"') quoted += L'\\';
        quoted += c;
    }
    return quoted + L"\"";
}

struct Request {
    std::wstring mode;
    std::wstring readyEvent;
    DWORD timeoutMs = 15000;
    std::wstring commandLine;
    std::vector<std::wstring> arguments;
};

bool Parse(const std::vector<std::wstring>& arguments, Request& request) {
    if (arguments.empty()) return false;
    request.mode = arguments[0];
    if (request.mode == L"owner" || request.mode == L"path") {
        if (arguments.size() != (request.mode == L"owner" ? 2u : 3u)) return false;
        request.arguments.assign(arguments.begin() + 1, arguments.end());
        return true;
    }
    if (request.mode == L"hold") {
        if (arguments.size() != 3) return false;
        request.commandLine = arguments[1];
        request.readyEvent = arguments[2];
        return true;
    }
    size_t i = 1;
    for (; i < arguments.size() && arguments[i] != L"--"; ++i) {
        if (arguments[i] == L"--ready" && i + 1 < arguments.size()) request.readyEvent = arguments[++i];
        else if (arguments[i] == L"--timeout" && i + 1 < arguments.size())
            request.timeoutMs = std::wcstoul(arguments[++i].c_str(), nullptr, 10);
        else return false;
    }
    for (++i; i < arguments.size(); ++i) request.commandLine += (request.commandLine.empty() ? L"" : L" ") + Quote(arguments[i]);
    return !request.commandLine.empty() && (request.mode == L"start" || request.mode == L"wait");
}

int Start(const Request& request) {
    UniqueHandle ready;
    if (!request.readyEvent.empty()) ready.Reset(::CreateEventW(nullptr, TRUE, FALSE, request.readyEvent.c_str()));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = request.commandLine;
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                          &startup, &info)) {
        std::printf("start failed: error %lu\n", ::GetLastError());
        return 1;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    std::printf("started pid %lu\n", info.dwProcessId);
    if (!ready.IsValid()) return 0;
    HANDLE waits[] = {ready.Get(), process.Get()};
    const DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, request.timeoutMs);
    if (result == WAIT_OBJECT_0) return 0;
    std::printf(result == WAIT_OBJECT_0 + 1 ? "program ended before it was ready\n" : "not ready in time\n");
    return 1;
}

int Wait(const Request& request) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = request.commandLine;
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::printf("start failed: error %lu\n", ::GetLastError());
        return 1;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    std::printf("exit code %lu\n", code);
    return 0;
}

using GetProductCodeFn = UINT(WINAPI*)(LPCWSTR, LPWSTR);
using EnumClientsFn = UINT(WINAPI*)(LPCWSTR, DWORD, LPWSTR);
using GetComponentPathFn = INT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);

std::wstring SystemMsiPath() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\msi.dll";
}

template <typename Fn>
Fn Query(HMODULE msi, WORD ordinal) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(msi, MAKEINTRESOURCEA(ordinal))));
}

int Owner(const std::wstring& component) {
    const HMODULE msi = ::LoadLibraryW(SystemMsiPath().c_str());
    const auto getProductCode = msi ? Query<GetProductCodeFn>(msi, 66) : nullptr;
    const auto enumClients = msi ? Query<EnumClientsFn>(msi, 37) : nullptr;
    if (!getProductCode || !enumClients) {
        std::printf("msi.dll not usable\n");
        return 1;
    }
    wchar_t product[39] = {};
    const UINT ownerResult = getProductCode(component.c_str(), product);
    std::printf("owner %ls (result %u)\n", product, ownerResult);
    for (DWORD index = 0;; ++index) {
        wchar_t client[39] = {};
        if (enumClients(component.c_str(), index, client) != ERROR_SUCCESS) break;
        std::printf("client %ls\n", client);
    }
    ::FreeLibrary(msi);
    return ownerResult == ERROR_SUCCESS ? 0 : 1;
}

int ComponentPath(const std::wstring& product, const std::wstring& component) {
    for (const std::wstring& name : {SystemMsiPath(), std::wstring(L"msi.dll")}) {
        const HMODULE msi = ::LoadLibraryW(name.c_str());
        const auto getComponentPath = msi ? Query<GetComponentPathFn>(msi, 173) : nullptr;
        if (!getComponentPath) {
            std::printf("%ls: not usable\n", name.c_str());
            continue;
        }
        wchar_t path[260] = {};
        DWORD size = 260;
        const INT state = getComponentPath(product.c_str(), component.c_str(), path, &size);
        std::printf("%ls: state %d %ls\n", name.c_str(), state, path);
        ::FreeLibrary(msi);
    }
    return 0;
}

int Hold(const Request& request) {
    UniqueHandle file(::CreateFileW(request.commandLine.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        std::printf("open failed: error %lu\n", ::GetLastError());
        return 1;
    }
    UniqueHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, request.readyEvent.c_str()));
    if (ready.IsValid()) ::SetEvent(ready.Get());
    ::Sleep(10 * 60 * 1000);
    return 0;
}

}  // namespace

int main() {
    Request request;
    if (!Parse(Standin::CommandLineArguments(), request)) {
        std::printf("usage: StandinExec start [--ready NAME] [--timeout MS] -- PROGRAM [ARGS...]\n"
                    "       StandinExec wait -- PROGRAM [ARGS...]\n"
                    "       StandinExec owner {COMPONENT-GUID}\n"
                    "       StandinExec path {PRODUCT-GUID} {COMPONENT-GUID}\n"
                    "       StandinExec hold FILE READY-EVENT\n");
        return 2;
    }
    const int result = request.mode == L"owner"   ? Owner(request.arguments[0])
                       : request.mode == L"path"  ? ComponentPath(request.arguments[0], request.arguments[1])
                       : request.mode == L"hold"  ? Hold(request)
                       : request.mode == L"start" ? Start(request)
                                                  : Wait(request);
    std::fflush(stdout);
    return result;
}
