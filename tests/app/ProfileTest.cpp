#include <gtest/gtest.h>

#include "app/Profile.h"

using namespace Quellor;

TEST(Profile, DefaultsResolveVersionsExactlyAsText) {
    Settings defaults = BuildDefaultSettings();
    EXPECT_EQ(LookUpProductCode(defaults, L"1.0.14.0").value(), L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}");
    EXPECT_EQ(LookUpProductCode(defaults, L"1.0.15.0"), LookUpProductCode(defaults, L"1.0.16.0"));
    EXPECT_TRUE(LookUpProductCode(defaults, L"1.0.9.0").has_value());
    for (const wchar_t* missing : {L"1.0.11.0", L" 1.0.14.0", L"1.0.09.0", L"1.0.14.0 ", L""})
        EXPECT_FALSE(LookUpProductCode(defaults, missing).has_value()) << missing;
}

TEST(Profile, DefaultsListingShowsPlainFieldsThenMapsInKeyOrder) {
    std::vector<std::wstring> lines = ListDefaults(BuildDefaultSettings());
    ASSERT_EQ(lines.size(), 14u + 3 * 3 + 2 + 7);
    EXPECT_EQ(lines.front(), L"CUSTOMER : ZEKT");
    EXPECT_EQ(lines[13], L"NAME_OF_FILEMAPPING_OBJECT : VITRA_CARE_FILEMAPPING");
    EXPECT_EQ(lines[14], L"");
    EXPECT_EQ(lines[15], L"VITRA_CARE_MUTEX_NAME : ");
    EXPECT_EQ(lines[16], L"  - before1.1.1.0 : Global\\Zentoral_Vitra_Care");
    EXPECT_EQ(lines[24], L"PRODUCTCODES : ");
    EXPECT_EQ(lines[25], L"  - 1.0.10.0 : {35307B30-CC25-2F50-AFAC-42187A2492C9}");
    EXPECT_EQ(lines.back(), L"  - 1.0.9.0 : {4344A992-02A4-706C-D466-7CFF8C489813}");
}

TEST(Profile, MissingSettingsFileLeavesDefaultsWhole) {
    Settings defaults = BuildDefaultSettings();
    WorkingSettings working = LoadWorkingSettings(L"C:\\no\\such\\setting_ZEKT.dat", defaults);
    EXPECT_FALSE(working.loaded);
    EXPECT_EQ(working.settings, defaults);
}
