// A stranger's msi.dll, planted beside quellor.exe in the run folder: loading it would hand the
// installer's answers to whoever put it there. It only records that it was loaded, in a file beside itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 32] = {};
    DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash == nullptr) return TRUE;
    wcscpy(slash + 1, L"planted-msi-loaded.txt");
    HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
    return TRUE;
}
