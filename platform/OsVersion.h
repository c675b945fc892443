#pragma once
// Facts about the running Windows: the version record and its classification into fixed families.
#include <windows.h>
#include <string>

namespace Zento::Lithcore {

struct OsVersionInfo {
    DWORD majorVersion = 0;
    DWORD minorVersion = 0;
    DWORD buildNumber = 0;
    DWORD platformId = 0;
    std::wstring servicePack;
    DWORD servicePackMajor = 0;
    DWORD servicePackMinor = 0;
    DWORD suiteMask = 0;
    DWORD productType = 0;
    bool mediaCenter = false;
    bool tabletPc = false;
    bool wow64 = false;
    DWORD productKind = 0;
};

enum OsClass : int {
    OsOther = 0,
    OsWin32s = 1,
    OsWin95 = 2,
    OsWin95Osr2 = 3,
    OsWin98 = 4,
    OsWin98Se = 5,
    OsWinMe = 6,
    OsNt3 = 7,
    OsNt4 = 8,
    OsWin2000 = 9,
    OsWinXp = 10,
    OsWinServer2003 = 11,
    OsWinVista = 12,
    OsWin7 = 13,
};

// Built fresh on every call. Throws Win32Exception when GetVersionExW fails.
OsVersionInfo GetOsVersionInfo();

// The classification itself, on a given record (pure).
OsClass ClassifyOs(const OsVersionInfo& info);

OsClass GetOsClass();

}  // namespace Zento::Lithcore
