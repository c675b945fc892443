#include <gtest/gtest.h>
#include <shlobj.h>

#include "files/ShellFolders.h"
#include "platform/Environment.h"
#include "tests/files/FileTree.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;
using Paths = std::vector<std::wstring>;

namespace {

const std::wstring kDefaultUserShellFolders = std::wstring(L".Default\\") + kShellFoldersKey;

}  // namespace

TEST(GetSpecialFolderPath, ResolvesTheFoldersTheRunUsesForThisBitness) {
    const bool wow64 = IsWow64();
    const std::wstring programFiles = wow64 ? L"C:\\Program Files (x86)" : L"C:\\Program Files";
    const std::wstring system32 = wow64 ? L"C:\\windows\\syswow64" : L"C:\\windows\\system32";
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_COMMON_APPDATA), L"C:\\ProgramData");
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_WINDOWS), L"C:\\windows");
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_SYSTEM), L"C:\\windows\\system32");
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_SYSTEMX86), system32);
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_PROGRAM_FILES), programFiles);
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_PROGRAM_FILESX86), programFiles);
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_PROGRAM_FILES_COMMON), programFiles + L"\\Common Files");
    EXPECT_EQ(GetSpecialFolderPath(CSIDL_PROGRAM_FILES_COMMONX86), programFiles + L"\\Common Files");
}

TEST(GetSpecialFolderPath, GivesEmptyForAnUnknownFolder) { EXPECT_EQ(GetSpecialFolderPath(0x7E), L""); }

TEST(IsSafeSubPath, RejectsPiecesThatNameTheParent) {
    for (const wchar_t* bad : {L"", L"\\Mirevo", L"ZEKT\\", L"ZEKT\\\\Mirevo", L"..", L"ZEKT\\..\\x", L" ", L". .",
                               L"ZEKT/", L"Mi*", L"Mirevo?"})
        EXPECT_FALSE(IsSafeSubPath(bad)) << Utf8(bad);
    for (const wchar_t* good : {L"Mirevo", L"ZEKT\\ミレボ ツール", L"Microsoft\\Installer\\{1-2}", L".hidden"})
        EXPECT_TRUE(IsSafeSubPath(good)) << Utf8(good);
}

TEST(FindShortcuts, ListsTheShortcutOnEveryUsersDesktop) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"D1\\Mirevo.lnk", L"D2\\Mirevo.lnk", L"D2\\Other.lnk"});
    ShellFolderTestValue current(HKEY_CURRENT_USER, kShellFoldersKey, L"Desktop", root / L"D1");
    ShellFolderTestValue other(HKEY_USERS, kDefaultUserShellFolders, L"Desktop", root / L"D2");

    Paths found;
    EXPECT_TRUE(FindShortcuts(NativeView(), ShellScope::EveryUser, L"Desktop", {L"Mirevo", L"Tool", L""}, found));
    EXPECT_EQ(Sorted(found), (Paths{root / L"D1\\Mirevo.lnk", root / L"D2\\Mirevo.lnk"}));

    Paths none;
    EXPECT_FALSE(FindShortcuts(NativeView(), ShellScope::EveryUser, L"Desktop", {L"Tool"}, none));
    EXPECT_TRUE(none.empty());
}

TEST(FindShortcuts, ListsAnAllUsersShortcutOnceThroughBothViews) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"CD\\Mirevo.lnk", L"CD\\Tool.lnk"});
    ShellFolderTestValue native(HKEY_LOCAL_MACHINE, std::wstring(kShellFoldersKey), L"Common Desktop", root / L"CD",
                                KEY_WOW64_64KEY);
    ShellFolderTestValue redirected(HKEY_LOCAL_MACHINE, std::wstring(kShellFoldersKey), L"Common Desktop",
                                    root / L"CD", KEY_WOW64_32KEY);
    Paths found;
    EXPECT_TRUE(FindShortcuts(NativeView(), ShellScope::AllUsers, L"Desktop", {L"Mirevo", L"Tool"}, found));
    EXPECT_EQ(found, (Paths{root / L"CD\\Mirevo.lnk", root / L"CD\\Tool.lnk"}));
}

class MenuFolders : public ::testing::Test {
protected:
    ScratchFolder root;
    std::wstring programs = root / L"Programs";
    const Paths names{L"Mirevo", L"Tool"};
    const Paths subPaths{L"ZEKT\\Mirevo", L"Tool\\Mirevo", L"Tool"};
};

TEST_F(MenuFolders, ListAFolderOnceWhenItHoldsBothShortcutsAndSkipOneHoldingNeither) {
    MakeTree(programs, {L"ZEKT\\Mirevo\\Mirevo.lnk", L"ZEKT\\Mirevo\\Tool.lnk", L"Tool\\Mirevo\\Other.lnk",
                        L"Tool\\Tool.lnk"});
    ShellFolderTestValue value(HKEY_CURRENT_USER, kShellFoldersKey, L"Programs", programs);
    Paths found;
    EXPECT_TRUE(FindMenuFolders(NativeView(), ShellScope::EveryUser, subPaths, names, found));
    EXPECT_EQ(found, (Paths{programs + L"\\ZEKT\\Mirevo", programs + L"\\Tool"}));
}

TEST_F(MenuFolders, NeverListTheProgramsFolderItselfForAnEmptyName) {
    MakeTree(programs, {L"Mirevo.lnk", L".lnk", L"ZEKT\\Mirevo\\Mirevo.lnk", L"ZEKT\\.lnk"});
    ShellFolderTestValue value(HKEY_CURRENT_USER, kShellFoldersKey, L"Programs", programs);
    Paths found;
    FindMenuFolders(NativeView(), ShellScope::EveryUser, {L"ZEKT\\Mirevo", L"\\Mirevo", L"", L"ZEKT\\"},
                    {L"Mirevo", L""}, found);
    EXPECT_EQ(found, Paths{programs + L"\\ZEKT\\Mirevo"});
}

TEST_F(MenuFolders, ListTheAllUsersFolderUnderCommonPrograms) {
    MakeTree(programs, {L"Tool\\Tool.lnk"});
    ShellFolderTestValue native(HKEY_LOCAL_MACHINE, kShellFoldersKey, L"Common Programs", programs, KEY_WOW64_64KEY);
    ShellFolderTestValue redirected(HKEY_LOCAL_MACHINE, kShellFoldersKey, L"Common Programs", programs,
                                    KEY_WOW64_32KEY);
    Paths found;
    EXPECT_TRUE(FindMenuFolders(NativeView(), ShellScope::AllUsers, subPaths, names, found));
    EXPECT_EQ(found, Paths{programs + L"\\Tool"});
}

class UserSettingFiles : public ::testing::Test {
protected:
    ScratchFolder root;
    std::wstring appData = root / L"AppData";
    std::wstring ferrow = appData + L"\\ZEKT\\Velkor\\Common\\Ferrow\\";
    Settings settings;
    ShellFolderTestValue value{HKEY_CURRENT_USER, kShellFoldersKey, L"AppData", appData};
    void SetUp() override { settings.CUSTOMER = L"ZEKT"; }
};

TEST_F(UserSettingFiles, FindInstallDataAndSchedulerFolderPerUserId) {
    MakeTree(appData, {L"ZEKT\\Velkor\\Common\\Ferrow\\{A}\\AppData\\Velkor\\install.dat",
                       L"ZEKT\\Velkor\\Common\\Ferrow\\{A}\\Scheduler\\",
                       L"ZEKT\\Velkor\\Common\\Ferrow\\{B}\\Scheduler\\job.xml",
                       L"ZEKT\\Velkor\\Common\\Ferrow\\{C}\\AppData\\other.dat"});
    Paths folders;
    Paths files;
    EXPECT_TRUE(FindUserSettingFiles(NativeView(), {L"{A}", L"{B}", L"{C}", L"{Missing}"}, settings, folders, files));
    EXPECT_EQ(folders, (Paths{ferrow + L"{A}\\Scheduler\\", ferrow + L"{B}\\Scheduler\\"}));
    EXPECT_EQ(files, Paths{ferrow + L"{A}\\AppData\\Velkor\\install.dat"});

    Paths moreFolders;
    Paths moreFiles;
    EXPECT_FALSE(FindUserSettingFiles(NativeView(), {L"{C}", L"{Missing}"}, settings, moreFolders, moreFiles));
    EXPECT_TRUE(moreFolders.empty() && moreFiles.empty());
}

TEST_F(UserSettingFiles, AppDataSearchSkipsAnEmptyProductCodeOrCustomer) {
    MakeTree(appData, {L"Microsoft\\Installer\\{P}\\icon.ico", L"Velkor\\Common\\Ferrow\\Scheduler\\"});
    Paths found;
    EXPECT_FALSE(FindUserAppDataFolders(NativeView(), L"Microsoft\\Installer\\", found));
    EXPECT_TRUE(FindUserAppDataFolders(NativeView(), L"Microsoft\\Installer\\{P}", found));
    EXPECT_EQ(found, Paths{appData + L"\\Microsoft\\Installer\\{P}"});

    settings.CUSTOMER.clear();
    Paths folders;
    Paths files;
    EXPECT_FALSE(FindUserSettingFiles(NativeView(), {L""}, settings, folders, files));
}
