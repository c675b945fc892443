#include <gtest/gtest.h>
#include <shlobj.h>

#include "files/DeletablePaths.h"
#include "files/FileDeletion.h"
#include "files/ShellFolders.h"
#include "tests/files/FileTree.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;
using Tree = std::vector<std::wstring>;

namespace {

// Reading the protected folders takes a while under Wine: once for the tests that add none of their own.
const PathList& Protected() {
    static const PathList folders = ReadProtectedFolders().value();
    return folders;
}

}  // namespace

TEST(IsDeletableFolder, RefusesEmptyRelativeRootAndWildcardPaths) {
    for (const wchar_t* path : {L"", L"Data", L"..\\..", L"C:\\", L"C:", L"C:\\.", L"C:\\windows\\..",
                                L"C:\\Prog*", L"\\\\?\\C:\\Temp", L"Z:\\"})
        EXPECT_FALSE(IsDeletableFolder(path, Protected())) << Utf8(path);
    // Shares that lead back to this computer's disks.
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(computer, &size));
    for (const std::wstring& path : {std::wstring(L"\\\\localhost\\C$\\Users\\Public\\Documents"),
                                     std::wstring(L"\\\\127.0.0.1\\c$\\Windows\\Installer"),
                                     L"\\\\" + std::wstring(computer) + L"\\Users\\Public",
                                     std::wstring(L"\\\\?\\UNC\\LOCALHOST\\C$\\Users"),
                                     std::wstring(L"\\\\fileserver\\ADMIN$\\Installer")}) {
        EXPECT_FALSE(IsDeletableFolder(path, Protected())) << Utf8(path);
        EXPECT_EQ(JudgeDeletablePath(path + L"\\a.msi", false, Protected()), PathRefusal::LocalShare) << Utf8(path);
    }
    EXPECT_EQ(JudgeDeletablePath(L"\\\\.\\C:\\Temp", true, Protected()), PathRefusal::BadPath);
    EXPECT_NE(JudgeDeletablePath(L"\\\\fileserver\\apps\\ZEKT", true, Protected()), PathRefusal::LocalShare);
}

// "\Name" is not relative to Windows but means the current drive: an empty special folder joined
// with the product's sub-path gives exactly that. Neither folder nor file form is ever deleted.
TEST(IsDeletableFolder, RefusesPathsWithoutDriveOrShareThatLeadToTheCurrentDrive) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"Velkor\\x.txt", L"y.lnk"});
    ASSERT_EQ(root.Path().substr(1, 2), L":\\");
    const std::wstring driveless = root.Path().substr(2);
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(root.Path().c_str()));
    EXPECT_FALSE(IsDeletableFolder(driveless + L"\\Velkor", Protected()));
    EXPECT_NE(RemoveFolder(driveless + L"\\Velkor", Protected()).status, DeletionStatus::Deleted);
    EXPECT_EQ(RemoveFile(driveless + L"\\y.lnk").status, DeletionStatus::Failed);
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(TreeOf(root.Path()), (Tree{L"Velkor\\", L"Velkor\\x.txt", L"y.lnk"}));
    EXPECT_TRUE(IsDeletableFolder(root / L"Velkor", Protected()));
}

TEST(IsDeletableFolder, RefusesSpecialFoldersInAnySpellingAndTheFoldersHoldingThem) {
    const int csidls[] = {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                          CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_WINDOWS, CSIDL_SYSTEM,
                          CSIDL_SYSTEMX86, CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROGRAMS,
                          CSIDL_COMMON_PROGRAMS, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_STARTUP};
    for (int csidl : csidls) {
        std::wstring folder = GetSpecialFolderPath(csidl);
        ASSERT_FALSE(folder.empty()) << csidl;
        std::wstring upper = folder;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
        EXPECT_FALSE(IsDeletableFolder(folder, Protected())) << Utf8(folder);
        EXPECT_FALSE(IsDeletableFolder(upper + L"\\", Protected())) << Utf8(upper);
    }
    std::wstring profile = GetSpecialFolderPath(CSIDL_PROFILE);
    EXPECT_FALSE(IsDeletableFolder(profile.substr(0, profile.find_last_of(L'\\')), Protected()));  // the profiles root
    EXPECT_FALSE(IsDeletableFolder(GetSpecialFolderPath(CSIDL_WINDOWS) + L"\\Installer", Protected()));
    EXPECT_FALSE(IsDeletableFolder(GetSpecialFolderPath(CSIDL_APPDATA) + L"\\..", Protected()));

    ScratchFolder root;
    EXPECT_TRUE(IsDeletableFolder(root.Path(), Protected()));
    EXPECT_TRUE(IsDeletableFolder(GetSpecialFolderPath(CSIDL_PROGRAM_FILESX86) + L"\\NoSuchVendor", Protected()));
}

TEST(ListFiles, ListsOnlyTheFilesDirectlyInTheFolder) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"a.txt", L"b", L"sub\\x.log", L"sub\\deeper\\y.txt", L"empty\\"});
    EXPECT_EQ(Sorted(ListFiles(root.Path() + L"\\")), (Tree{root / L"a.txt", root / L"b"}));
    EXPECT_TRUE(ListFiles(root / L"missing").empty());
}

TEST(ListFolders, GivesParentsBeforeChildren) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"A\\A1\\A11\\", L"A\\f.txt", L"B\\", L"g.txt"});
    Tree paths = ListFolders(root.Path() + L"\\");
    EXPECT_EQ(Sorted(paths), (Tree{root / L"A", root / L"A\\A1", root / L"A\\A1\\A11", root / L"B"}));
    auto at = [&](const std::wstring& p) { return std::find(paths.begin(), paths.end(), p) - paths.begin(); };
    EXPECT_LT(at(root / L"A"), at(root / L"A\\A1"));
    EXPECT_LT(at(root / L"A\\A1"), at(root / L"A\\A1\\A11"));
}

class ProductFolders : public ::testing::Test {
protected:
    ScratchFolder root;
    std::wstring P = root / L"P";
    Tree folders;
    Tree files;

    void Plan(const PathList& productFolders, const PathList& keepPaths) {
        PlanProductFolders(productFolders, keepPaths, Protected(), folders, files);
    }
};

TEST_F(ProductFolders, KeepExactlyTheSharedFilesAndTheFoldersOnTheWay) {
    MakeTree(root.Path(), {L"P\\readme.txt", L"P\\Ctl\\Shared.dll", L"P\\Ctl\\other.dll", L"P\\Ctl\\Cache\\c.txt",
                           L"P\\Logs\\l.txt", L"P\\Bin\\Shared.dll", L"Q\\Sub\\q.txt", L"Outside\\o.txt"});
    Plan({P, root / L"Q"}, {P + L"\\Ctl\\shared.DLL"});
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.front(), root / L"Q");  // free folders first
    EXPECT_EQ(Sorted(folders), (Tree{P + L"\\Bin", P + L"\\Ctl\\Cache", P + L"\\Logs", root / L"Q"}));
    EXPECT_EQ(Sorted(files), (Tree{P + L"\\Ctl\\other.dll", P + L"\\readme.txt"}));
    EXPECT_EQ(TreeOf(root.Path()).size(), 16u);  // planning deletes nothing
}

TEST_F(ProductFolders, MatchTheKeepListIgnoringCaseAndTrailingBackslashes) {
    MakeTree(root.Path(), {L"P\\Shared.dll", L"P\\own.dll", L"P\\Logs\\l.txt"});
    std::wstring keep = P + L"\\SHARED.DLL";
    for (wchar_t& c : keep) c = static_cast<wchar_t>(towupper(c));
    Plan({P + L"\\"}, {keep});
    EXPECT_EQ(folders, Tree{P + L"\\Logs"});
    EXPECT_EQ(files, Tree{P + L"\\own.dll"});
}

// The plan names a removable folder before the folders inside it: deleted in that order, the inner
// ones are already gone (Absent), which neither fails nor holds back the product's loose files.
TEST_F(ProductFolders, NestedRemovableFoldersComeAfterTheirParentAndDoNotFail) {
    MakeTree(root.Path(), {L"P\\Ctl\\Shared.dll", L"P\\readme.txt", L"P\\Logs\\Deep\\d.txt"});
    Plan({P}, {P + L"\\Ctl\\Shared.dll"});
    EXPECT_EQ(folders, (Tree{P + L"\\Logs", P + L"\\Logs\\Deep"}));
    EXPECT_EQ(files, Tree{P + L"\\readme.txt"});
    for (const std::wstring& folder : folders)
        EXPECT_NE(RemoveFolder(folder, Protected()).status, DeletionStatus::Failed) << Utf8(folder);
    for (const std::wstring& file : files) EXPECT_EQ(RemoveFile(file).status, DeletionStatus::Deleted);
    EXPECT_EQ(TreeOf(root.Path()), (Tree{L"P\\", L"P\\Ctl\\", L"P\\Ctl\\Shared.dll"}));
}

TEST_F(ProductFolders, WithoutAHoldingFolderEveryFolderGoesWhole) {
    MakeTree(root.Path(), {L"P\\a.txt", L"P\\Sub\\b.txt", L"Q\\c.txt", L"Other\\Shared.dll"});
    Plan({P, root / L"Q"}, {root / L"Other\\Shared.dll"});
    EXPECT_EQ(folders, (Tree{P, root / L"Q"}));
    EXPECT_TRUE(files.empty());
}

TEST_F(ProductFolders, SkipAnEmptyOrShellFolderInsteadOfWalkingIt) {
    MakeTree(root.Path(), {L"Shell\\P\\Shared.dll", L"Shell\\P\\own.dll", L"Shell\\User\\data.txt"});
    ShellFolderTestValue value(HKEY_CURRENT_USER, kShellFoldersKey, L"QuellorTestFolder", root / L"Shell");
    PlanProductFolders({L"", root / L"Shell"}, {root / L"Shell\\P\\Shared.dll"}, ReadProtectedFolders().value(), folders,
                       files);
    EXPECT_TRUE(folders.empty());
    EXPECT_TRUE(files.empty());
}

TEST(IsCachedInstallerPackage, OnlyAnMsiDirectlyInTheWindowsInstallerFolder) {
    for (const auto& [path, windows] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"C:\\Windows\\Installer\\1a2b3c.msi", L"C:\\Windows"},
             {L"c:\\WINDOWS\\installer\\X.MSI", L"C:\\Windows\\"},
             {L"\\\\host\\c$\\Windows\\Installer\\a.Msi", L"\\\\host\\c$\\Windows"}})
        EXPECT_TRUE(IsCachedInstallerPackage(path, windows)) << Utf8(path);
    for (const wchar_t* path :
         {L"C:\\Windows\\Installer\\a.msp", L"C:\\Windows\\Installer\\a.msi.txt", L"C:\\Windows\\Installer\\.msi",
          L"C:\\Windows\\Installer\\", L"C:\\Windows\\Installer.msi", L"C:\\Windows\\a.msi",
          L"C:\\Windows\\Installer\\Sub\\a.msi", L"C:\\Windows\\Installer\\\\a.msi", L"C:\\Windows\\Installer\\..\\a.msi",
          L"C:\\Windows\\Installer\\.\\a.msi", L"C:\\Windows\\System32\\..\\Installer\\a.msi",
          L"C:\\Windows\\Installer\\a.txt:x.msi", L"C:\\Windows\\Installer\\*.msi", L"C:/Windows/Installer/a.msi",
          L"D:\\Windows\\Installer\\a.msi", L"\\Windows\\Installer\\a.msi", L"Windows\\Installer\\a.msi"})
        EXPECT_FALSE(IsCachedInstallerPackage(path, L"C:\\Windows")) << Utf8(path);
    EXPECT_FALSE(IsCachedInstallerPackage(L"C:\\Installer\\a.msi", L""));
    EXPECT_FALSE(IsCachedInstallerPackage(L"\\Installer\\a.msi", L""));
}
