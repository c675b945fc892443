#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "platform/OsVersion.h"

using namespace Zento::Lithcore;

namespace {

struct OsCase {
    DWORD platformId;
    DWORD major;
    DWORD minor;
    const wchar_t* servicePack;
    OsClass expected;
};

OsVersionInfo Record(const OsCase& c) {
    OsVersionInfo info;
    info.platformId = c.platformId;
    info.majorVersion = c.major;
    info.minorVersion = c.minor;
    info.servicePack = c.servicePack;
    return info;
}

}  // namespace

TEST(ClassifyOs, MapsEveryFamilyOfTheTable) {
    const OsCase cases[] = {
        {0, 3, 1, L"", OsWin32s},
        {1, 4, 0, L"", OsWin95},
        {1, 4, 0, L" B", OsWin95Osr2},
        {1, 4, 0, L" C", OsWin95Osr2},
        {1, 4, 0, L" A", OsWin95},
        {1, 4, 0, L"B", OsWin95},  // the second character of a one-character text is its terminator
        {1, 4, 10, L"", OsWin98},
        {1, 4, 10, L" A", OsWin98Se},
        {1, 4, 89, L" A", OsWin98Se},
        {1, 4, 10, L" B", OsWin98},
        {1, 4, 90, L"", OsWinMe},
        {1, 5, 0, L"", OsWinMe},
        {1, 3, 95, L"", OsOther},
        {2, 3, 51, L"", OsNt3},
        {2, 4, 0, L"Service Pack 6", OsNt4},
        {2, 5, 0, L"", OsWin2000},
        {2, 5, 1, L"", OsWinXp},
        {2, 5, 2, L"", OsWinServer2003},
        {2, 5, 3, L"", OsOther},
        {2, 6, 0, L"", OsWinVista},
        {2, 6, 1, L"", OsWin7},
        {2, 6, 2, L"", OsOther},
        {2, 10, 0, L"", OsOther},
        {2, 2, 0, L"", OsOther},
        {3, 6, 1, L"", OsOther},
    };
    for (const OsCase& c : cases)
        EXPECT_EQ(ClassifyOs(Record(c)), c.expected)
            << "platform " << c.platformId << " version " << c.major << "." << c.minor;
}

TEST(GetOsVersionInfo, DescribesTheRunningSystem) {
    OsVersionInfo info = GetOsVersionInfo();
    EXPECT_EQ(info.platformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(info.majorVersion, 5u);
    // Only a 64-bit Windows has a WOW64 system folder.
    wchar_t folder[MAX_PATH];
    bool wow64System = ::GetSystemWow64DirectoryW(folder, MAX_PATH) != 0;
    EXPECT_EQ(info.wow64, wow64System);
    EXPECT_EQ(IsWow64(), wow64System);
    EXPECT_EQ(GetOsClass(), ClassifyOs(info));
}
