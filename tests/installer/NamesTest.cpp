// The installer's packed GUID form and name comparison.
#include "registry/Names.h"

#include <gtest/gtest.h>

using namespace Zento::Lithcore;

TEST(PackGuid, ReversesTheFirstThreeGroupsAndSwapsPairsOfTheLastTwo) {
    std::wstring packed;
    ASSERT_TRUE(PackGuid(L"{12345678-ABCD-EF01-2345-6789ABCDEF01}", packed));
    EXPECT_EQ(packed, L"87654321DCBA10FE32547698BADCFE10");
}

TEST(PackGuid, KeepsLetterCaseAndAppendsToWhatIsThere) {
    std::wstring packed = L"x";
    ASSERT_TRUE(PackGuid(L"{abcdef01-2345-6789-abcd-ef0123456789}", packed));
    EXPECT_EQ(packed, L"x10fedcba54329876badcfe1032547698");
}

TEST(PackGuid, MalformedCodesHaveNoPackedForm) {
    const wchar_t* malformed[] = {
        L"{12345678-ABCD-EF01-2345-6789ABCDEF0}",     // 37 characters
        L"{12345678-ABCD-EF01-2345-6789ABCDEF012}",   // 39 characters
        L"12345678-ABCD-EF01-2345-6789ABCDEF01",      // no braces
        L"(12345678-ABCD-EF01-2345-6789ABCDEF01)",    // other brackets
        L"{1234567-8ABCD-EF01-2345-6789ABCDEF01}",    // groups of 7 and 5
        L"{12345678-ABCD-EF01-23456-789ABCDEF01}",    // groups of 5 and 11
        L"{12345678-ABCD-EF01-2345-6789-BCDEF01}",    // six groups
        L"{12345678ABCD-EF01-2345-6789ABCDEF01-}",    // hyphen moved
        L"",
    };
    for (const wchar_t* text : malformed) {
        std::wstring packed;
        EXPECT_FALSE(PackGuid(text, packed)) << testing::PrintToString(std::wstring(text));
        EXPECT_TRUE(packed.empty());
    }
}

TEST(PackGuid, PackGuidsKeepsOnlyTheWellFormedInOrder) {
    EXPECT_EQ(PackGuids({L"{12345678-ABCD-EF01-2345-6789ABCDEF01}", L"bad", L"{00000000-0000-0000-0000-00000000000A}"}),
              (std::vector<std::wstring>{L"87654321DCBA10FE32547698BADCFE10", L"000000000000000000000000000000A0"}));
}

// Names fold as paths do: the registry and the file system ignore case beyond ASCII too.
TEST(NamesEqual, IgnoresLetterCaseAsPathsDo) {
    EXPECT_TRUE(NamesEqual(L"InstallProperties", L"INSTALLPROPERTIES"));
    EXPECT_TRUE(NamesEqual(L"", L""));
    EXPECT_FALSE(NamesEqual(L"Products", L"Product"));
    EXPECT_TRUE(NamesEqual(L"Ä", L"ä"));
    EXPECT_TRUE(NamesEqual(L"\uFF21", L"\uFF41"));  // full-width A and a
    EXPECT_FALSE(NamesEqual(L"Ä", L"A"));
    EXPECT_FALSE(NamesEqual(L"[", L"{"));            // '[' + 32 is '{': no arithmetic on non-letters
}
