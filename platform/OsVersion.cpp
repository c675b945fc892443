#include "platform/OsVersion.h"

#include "platform/CodePage.h"
#include "platform/SystemLibrary.h"
#include "platform/Win32Exception.h"

namespace Zento::Lithcore {

namespace {

using Exception::Win32Exception;

constexpr UINT kJapaneseCodePage = 932;

[[noreturn]] void ThrowVersionFailure() {
    DWORD code = ::GetLastError();
    throw Win32Exception(NarrowText(L"GetVersionEx APIの呼び出しに失敗しました。", kJapaneseCodePage),
                         code);
}

OSVERSIONINFOEXW ReadVersionStructure() {
    OSVERSIONINFOW basic{};
    basic.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!::GetVersionExW(&basic)) ThrowVersionFailure();

    OSVERSIONINFOEXW extended{};
    extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (basic.dwMajorVersion < 5) {
        extended.dwMajorVersion = basic.dwMajorVersion;
        extended.dwMinorVersion = basic.dwMinorVersion;
        extended.dwBuildNumber = basic.dwBuildNumber;
        extended.dwPlatformId = basic.dwPlatformId;
        lstrcpynW(extended.szCSDVersion, basic.szCSDVersion, 128);
    } else if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
        ThrowVersionFailure();
    }
    if (extended.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        extended.dwMinorVersion = (extended.dwBuildNumber >> 16) & 0xFF;
    return extended;
}

// The second character of the service-pack text; a one-character text gives its terminator.
wchar_t SecondCharacter(const std::wstring& text) { return text.size() >= 2 ? text[1] : L'\0'; }

OsClass ClassifyWin9x(const OsVersionInfo& info) {
    if (info.majorVersion > 4) return OsWinMe;
    if (info.majorVersion < 4) return OsOther;
    if (info.minorVersion >= 90) return OsWinMe;
    wchar_t second = SecondCharacter(info.servicePack);
    if (info.minorVersion >= 10) return (!info.servicePack.empty() && second == L'A') ? OsWin98Se : OsWin98;
    return (!info.servicePack.empty() && (second == L'B' || second == L'C')) ? OsWin95Osr2 : OsWin95;
}

OsClass ClassifyNt(const OsVersionInfo& info) {
    switch (info.majorVersion) {
        case 3: return OsNt3;
        case 4: return OsNt4;
        case 5:
            if (info.minorVersion == 0) return OsWin2000;
            if (info.minorVersion == 1) return OsWinXp;
            if (info.minorVersion == 2) return OsWinServer2003;
            return OsOther;
        case 6:
            if (info.minorVersion == 0) return OsWinVista;
            if (info.minorVersion == 1) return OsWin7;
            return OsOther;
        default: return OsOther;
    }
}

}  // namespace

OsVersionInfo GetOsVersionInfo() {
    OSVERSIONINFOEXW v = ReadVersionStructure();
    OsVersionInfo info;
    info.majorVersion = v.dwMajorVersion;
    info.minorVersion = v.dwMinorVersion;
    info.buildNumber = v.dwBuildNumber;
    info.platformId = v.dwPlatformId;
    info.servicePack = v.szCSDVersion;
    info.servicePackMajor = v.wServicePackMajor;
    info.servicePackMinor = v.wServicePackMinor;
    info.suiteMask = v.wSuiteMask;
    info.productType = v.wProductType;
    info.mediaCenter = ::GetSystemMetrics(SM_MEDIACENTER) != 0;
    info.tabletPc = ::GetSystemMetrics(SM_TABLETPC) != 0;

    DWORD error = ERROR_SUCCESS;
    UniqueModule kernel32 = LoadSystemLibrary(L"kernel32.dll", error);
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    BOOL wow64 = FALSE;
    auto isWow64Process = ProcAddress<IsWow64ProcessFn>(kernel32.Get(), "IsWow64Process");
    if (isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64)) info.wow64 = wow64 != 0;

    info.productKind = 0;
    using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
    auto getProductInfo = ProcAddress<GetProductInfoFn>(kernel32.Get(), "GetProductInfo");
    if (info.majorVersion >= 6 && getProductInfo != nullptr)
        getProductInfo(info.majorVersion, info.minorVersion, info.servicePackMajor, info.servicePackMinor,
                       &info.productKind);
    return info;
}

OsClass ClassifyOs(const OsVersionInfo& info) {
    switch (info.platformId) {
        case VER_PLATFORM_WIN32s: return OsWin32s;
        case VER_PLATFORM_WIN32_WINDOWS: return ClassifyWin9x(info);
        case VER_PLATFORM_WIN32_NT: return ClassifyNt(info);
        default: return OsOther;
    }
}

OsClass GetOsClass() { return ClassifyOs(GetOsVersionInfo()); }

}  // namespace Zento::Lithcore
