// A removal target is deleted and looked for in its own view only, and reports how its deletion ended.
#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "registry/RegistryTargets.h"
#include "tests/registry_storage/TestKeys.h"

namespace {

using Zento::Lithcore::RegistryView;
using namespace QuellorTest;

TEST(RegistryTargets, KeysAndValuesAreDeletedAndFoundInTheirViewWithTheirResult) {
    const bool wow64 = Zento::Lithcore::IsWow64();
    const std::wstring subKey = L"Software\\" + TestKeyName() + L"-targets";
    const std::wstring path = L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    for (RegistryView view : {RegistryView::Bits32, RegistryView::Bits64}) {
        SetRawString(HKEY_LOCAL_MACHINE, subKey, L"kept", L"x", view);
        SetRawString(HKEY_LOCAL_MACHINE, subKey + L"\\Child\\Grandchild", L"", L"y", view);
    }

    SetRawString(HKEY_LOCAL_MACHINE, subKey, L"other", L"z", RegistryView::Bits32);

    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKeyIfEmpty(path, RegistryView::Bits32), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(path, L"kept", RegistryView::Bits32), ERROR_SUCCESS);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(path, L"kept", RegistryView::Bits32), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Zento::Lithcore::RegistryValueExists(path, L"kept", RegistryView::Bits32));
    EXPECT_TRUE(Zento::Lithcore::RegistryValueExists(path, L"other", RegistryView::Bits32));
    // A value of a missing key: its key is not created; a path without a root touches nothing.
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(path + L"Gone\\", L"", RegistryView::Bits32), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Gone", RegistryView::Bits32));
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryValue(L"HKLM\\\\Software", L"", RegistryView::Bits32),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKey(path, RegistryView::Bits32), ERROR_SUCCESS);
    EXPECT_FALSE(Zento::Lithcore::RegistryKeyExists(path, RegistryView::Bits32));
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKey(path, RegistryView::Bits32), ERROR_FILE_NOT_FOUND);
    if (wow64) {
        EXPECT_TRUE(Zento::Lithcore::RegistryValueExists(path, L"kept", RegistryView::Bits64));
        EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Child\\Grandchild", RegistryView::Bits64));
    }

    CreateRawKey(HKEY_LOCAL_MACHINE, subKey + L"\\Empty", RegistryView::Bits32);
    EXPECT_EQ(Zento::Lithcore::DeleteRegistryKeyIfEmpty(path + L"Empty\\", RegistryView::Bits32), ERROR_SUCCESS);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Empty", RegistryView::Bits32));
}

}  // namespace
