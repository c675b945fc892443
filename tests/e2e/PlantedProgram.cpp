// Planted as regsvr32.exe and net.exe in the operator's folder: records each start in
// planted-starts.txt beside itself, so a test sees whether the run started it.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring record(path, length);
    record = record.substr(0, record.find_last_of(L'\\') + 1) + L"planted-starts.txt";
    HANDLE file = ::CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    std::wstring line = std::wstring(::GetCommandLineW()) + L"\r\n";
    DWORD written = 0;
    ::WriteFile(file, line.c_str(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    return 0;
}
