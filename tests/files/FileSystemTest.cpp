#include <gtest/gtest.h>

#include <cwctype>

#include "platform/FileSystem.h"
#include "tests/files/FileTree.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

std::vector<std::wstring>* g_asked = nullptr;

DWORD WINAPI DeniedAttributes(LPCWSTR path) {
    g_asked->push_back(path);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

}  // namespace

TEST(QueryPathPresence, FindsPlannedFoldersAndCountsWhatCannotBeReadAsThere) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"Scheduler\\x.txt"});
    for (const wchar_t* present : {L"Scheduler", L"Scheduler\\", L"Scheduler\\\\", L"Scheduler\\x.txt"}) {
        PathPresence presence = QueryPathPresence(root / present);
        EXPECT_TRUE(presence.present) << Utf8(present);
        EXPECT_EQ(presence.error, 0u) << Utf8(present);
    }
    for (const wchar_t* gone : {L"Missing", L"Missing\\", L"Missing\\deeper\\x.txt"})
        EXPECT_FALSE(QueryPathPresence(root / gone).present) << Utf8(gone);

    std::vector<std::wstring> asked;
    g_asked = &asked;
    System::FileApi denying = System::Files();
    denying.getFileAttributes = &DeniedAttributes;
    const System::FileApi* previous = System::ReplaceFileApi(&denying);
    PathPresence denied = QueryPathPresence(root / L"Scheduler\\");
    // Past MAX_PATH Windows answers only in the "\\?\" form.
    const std::wstring deep = root.Path() + L"\\" + std::wstring(300, L'a');
    (void)QueryPathPresence(deep + L"\\");
    (void)QueryPathPresence(L"\\\\host\\share\\" + std::wstring(300, L'b'));
    System::ReplaceFileApi(previous);
    g_asked = nullptr;

    EXPECT_TRUE(denied.present);
    EXPECT_EQ(denied.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(asked, (std::vector<std::wstring>{root / L"Scheduler", L"\\\\?\\" + deep,
                                                L"\\\\?\\UNC\\host\\share\\" + std::wstring(300, L'b')}));
}

bool SameComparablePath(const std::wstring& a, const std::wstring& b) { return ComparablePath(a) == ComparablePath(b); }

TEST(ComparablePath, MatchesShortAndLongFormsInAnyLetterCase) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"Long Folder Name\\Some Long File Name.txt"});
    const std::wstring longPath = root / L"Long Folder Name\\Some Long File Name.txt";
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_NE(::GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), longPath);
    EXPECT_TRUE(SameComparablePath(shortPath, longPath));
    EXPECT_TRUE(SameComparablePath(Upper(longPath), shortPath));
    EXPECT_FALSE(SameComparablePath(shortPath, root / L"Long Folder Name"));
    EXPECT_TRUE(SameComparablePath(L"C:\\Ärger\\Öl.exe", L"c:\\äRGER\\öL.EXE"));  // missing paths: compared as given
}
