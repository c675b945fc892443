// A process of the product that the removal does not stop: once the key it watches is gone (the removal
// has begun deleting), it writes the product's settings key, as a program that saves its settings on
// the way out would. Ends after the write, or after the limit in seconds.
//   quellor_key_rewriter WATCHED_KEY WRITTEN_KEY LIMIT_S   (keys below HKEY_LOCAL_MACHINE)
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const ULONGLONG deadline = ::GetTickCount64() + 1000ull * std::wcstoul(argv[3], nullptr, 10);
    while (::GetTickCount64() < deadline) {
        HKEY watched = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, KEY_READ, &watched) == ERROR_SUCCESS) {
            ::RegCloseKey(watched);
            ::Sleep(50);
            continue;
        }
        HKEY written = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, 0, KEY_WRITE, nullptr, &written, nullptr) !=
            ERROR_SUCCESS)
            return 1;
        const std::wstring data = L"written again";
        ::RegSetValueExW(written, L"LastRun", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(written);
        return 0;
    }
    return 3;
}
