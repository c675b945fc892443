// A removal target is deleted and looked for in its own view only, and reports how its deletion ended.
#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "registry/RegistryKeys.h"
#include "tests/registry_storage/TestKeys.h"

namespace {

Zento::Lithcore::RegistryKeyAddress At(const std::wstring& path, Zento::Lithcore::RegistryView view) {
    return Zento::Lithcore::RegistryKeyAddress::Parse(path, view);
}

using Zento::Lithcore::RegistryView;
using namespace QuellorTest;

TEST(RegistryKeys, KeysAndValuesAreDeletedAndFoundInTheirViewWithTheirResult) {
    const bool wow64 = Zento::Lithcore::IsWow64();
    const std::wstring subKey = L"Software\\" + TestKeyName() + L"-targets";
    const std::wstring path = L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    for (RegistryView view : {RegistryView::Bits32, RegistryView::Bits64}) {
        SetRawString(HKEY_LOCAL_MACHINE, subKey, L"kept", L"x", view);
        SetRawString(HKEY_LOCAL_MACHINE, subKey + L"\\Child\\Grandchild", L"", L"y", view);
    }

    SetRawString(HKEY_LOCAL_MACHINE, subKey, L"other", L"z", RegistryView::Bits32);

    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKeyIfEmpty(At(path, RegistryView::Bits32)), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(At(path, RegistryView::Bits32), L"kept"), ERROR_SUCCESS);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(At(path, RegistryView::Bits32), L"kept"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Zento::Lithcore::RegistryValueExists(At(path, RegistryView::Bits32), L"kept"));
    EXPECT_TRUE(Zento::Lithcore::RegistryValueExists(At(path, RegistryView::Bits32), L"other"));
    // A value of a missing key: its key is not created; a path without a root touches nothing.
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(At(path + L"Gone\\", RegistryView::Bits32), L""), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Gone", RegistryView::Bits32));
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(At(L"HKLM\\\\Software", RegistryView::Bits32), L""),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKey(At(path, RegistryView::Bits32)), ERROR_SUCCESS);
    EXPECT_FALSE(Zento::Lithcore::RegistryKeyExists(At(path, RegistryView::Bits32)));
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKey(At(path, RegistryView::Bits32)), ERROR_FILE_NOT_FOUND);
    if (wow64) {
        EXPECT_TRUE(Zento::Lithcore::RegistryValueExists(At(path, RegistryView::Bits64), L"kept"));
        EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Child\\Grandchild", RegistryView::Bits64));
    }

    CreateRawKey(HKEY_LOCAL_MACHINE, subKey + L"\\Empty", RegistryView::Bits32);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKeyIfEmpty(At(path + L"Empty\\", RegistryView::Bits32)), ERROR_SUCCESS);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Empty", RegistryView::Bits32));
}

}  // namespace
