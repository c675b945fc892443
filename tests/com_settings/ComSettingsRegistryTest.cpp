#include <gtest/gtest.h>

#include <cwctype>
#include <memory>

#include "platform/Environment.h"
#include "registry/ComRegistrations.h"
#include "registry/InstallerRegistry.h"
#include "tests/registry_storage/TestKeys.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

// The test's keys below HKLM\Software and below Software and Software\Wow6432Node of every user hive.
class ComSettingsTest : public ::testing::Test {
protected:
    const std::wstring name = TestKeyName();
    const std::wstring machineKey = L"Software\\" + name;
    const std::wstring machinePath = L"HKEY_LOCAL_MACHINE\\" + machineKey + L"\\";
    const std::vector<std::wstring> hives = UserHives();

    void SetUp() override {
        ASSERT_GE(hives.size(), 2u) << "the prefix has .Default and the current user";
        cleanups.push_back(std::make_unique<ScopedTestKey>(HKEY_LOCAL_MACHINE, machineKey));
        for (const std::wstring& hive : hives) {
            std::wstring redirected = hive + L"\\Software\\Wow6432Node";
            hadRedirectedKey.push_back(RawKeyExists(HKEY_USERS, redirected, RegistryView::Bits64));
            cleanups.push_back(std::make_unique<ScopedTestKey>(HKEY_USERS, UserKey(hive, false)));
            cleanups.push_back(std::make_unique<ScopedTestKey>(HKEY_USERS, UserKey(hive, true)));
        }
    }

    void TearDown() override {
        cleanups.clear();
        for (size_t i = 0; i < hives.size(); ++i)
            if (!hadRedirectedKey[i])
                ::RegDeleteKeyExW(HKEY_USERS, (hives[i] + L"\\Software\\Wow6432Node").c_str(), KEY_WOW64_64KEY, 0);
    }

    std::wstring UserKey(const std::wstring& hive, bool redirected) const {
        return hive + (redirected ? L"\\Software\\Wow6432Node\\" : L"\\Software\\") + name;
    }
    std::wstring UserPath(const std::wstring& hive, bool redirected) const {
        return L"HKEY_USERS\\" + UserKey(hive, redirected) + L"\\";
    }

private:
    std::vector<std::unique_ptr<ScopedTestKey>> cleanups;
    std::vector<bool> hadRedirectedKey;
};

}  // namespace

TEST_F(ComSettingsTest, ReadStringValueReadsStringsAndTreatsOtherTypesAsUnread) {
    SetRawString(HKEY_LOCAL_MACHINE, machineKey, L"", L"C:\\srv.exe", RegistryView::Bits64);
    DWORD number = 3;
    SetRawValue(HKEY_LOCAL_MACHINE, machineKey, L"AppID", REG_DWORD, &number, sizeof number, RegistryView::Bits64);
    unsigned long long quad = 4;
    SetRawValue(HKEY_LOCAL_MACHINE, machineKey, L"quad", REG_QWORD, &quad, sizeof quad, RegistryView::Bits64);
    const std::wstring expandable = L"%SystemRoot%\\x.dll";
    SetRawValue(HKEY_LOCAL_MACHINE, machineKey, L"exp", REG_EXPAND_SZ, expandable.c_str(),
                static_cast<DWORD>((expandable.size() + 1) * sizeof(wchar_t)), RegistryView::Bits64);

    EXPECT_EQ(ReadStringValue(RegistryView::Bits64, machinePath, L""), L"C:\\srv.exe");
    EXPECT_EQ(ReadStringValue(RegistryView::Bits64, machinePath, L"exp"),
              ExpandEnvironment(L"%SystemRoot%") + L"\\x.dll");

    EXPECT_FALSE(ReadStringValue(RegistryView::Bits64, machinePath, L"AppID"));
    EXPECT_FALSE(ReadStringValue(RegistryView::Bits64, machinePath, L"quad"));
    EXPECT_FALSE(ReadStringValue(RegistryView::Bits64, machinePath, L"missing"));
    EXPECT_FALSE(ReadStringValue(RegistryView::Bits64, machinePath + L"Missing\\", L""));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, machineKey + L"\\Missing", RegistryView::Bits64));
}

TEST_F(ComSettingsTest, ReadStringValueOpensTheViewItIsGiven) {
    SetRawString(HKEY_LOCAL_MACHINE, machineKey, L"", L"32-bit", RegistryView::Bits32);
    EXPECT_EQ(ReadStringValue(RegistryView::Bits32, machinePath, L""), L"32-bit");
    EXPECT_EQ(ReadStringValue(RegistryView::Bits64, machinePath, L"").has_value(), !IsWow64());
}

TEST_F(ComSettingsTest, ReadStringValuesAppendsEveryTextReadInOrder) {
    SetRawString(HKEY_LOCAL_MACHINE, machineKey + L"\\K1", L"AppID", L"{one}", RegistryView::Bits64);
    CreateRawKey(HKEY_LOCAL_MACHINE, machineKey + L"\\K2", RegistryView::Bits64);
    SetRawString(HKEY_LOCAL_MACHINE, machineKey + L"\\K3", L"AppID", L"{three}", RegistryView::Bits64);
    PathList texts{L"earlier"};
    EXPECT_TRUE(ReadStringValues(RegistryView::Bits64, {machinePath + L"K1\\", machinePath + L"K2\\", machinePath + L"K3\\"},
                                 L"AppID", texts));
    EXPECT_EQ(texts, (PathList{L"earlier", L"{one}", L"{three}"}));

    PathList none;
    EXPECT_FALSE(ReadStringValues(RegistryView::Bits64, {machinePath + L"K2\\", machinePath + L"K4\\"}, L"AppID", none));
    EXPECT_TRUE(none.empty());
}

TEST_F(ComSettingsTest, CollectUserSoftwareKeysFindsTheNameInEveryHiveAndView) {
    for (const std::wstring& hive : hives) {
        CreateRawKey(HKEY_USERS, UserKey(hive, false) + L"\\Explorer\\Shell Folders", RegistryView::Bits64);
        CreateRawKey(HKEY_USERS, UserKey(hive, false) + L"\\Explorer\\Shell Folders 2", RegistryView::Bits64);
        CreateRawKey(HKEY_USERS, UserKey(hive, true) + L"\\Explorer\\shell folders", RegistryView::Bits64);
    }
    // Without WOW64 only the plain Software view is searched (a 32-bit system).
    const bool wow64 = IsWow64();
    PathList all{L"earlier"};
    EXPECT_TRUE(CollectUserSoftwareKeys(NativeView(), L"Shell Folders", name + L"\\Explorer", all));
    PathList expected{L"earlier"};
    for (const std::wstring& hive : hives) {
        expected.push_back(UserPath(hive, false) + L"Explorer\\Shell Folders\\");
        if (wow64) expected.push_back(UserPath(hive, true) + L"Explorer\\shell folders\\");
    }
    EXPECT_EQ(all, expected);

    PathList none;
    EXPECT_FALSE(CollectUserSoftwareKeys(RegistryView::Bits64, L"Shell Folders", name + L"\\Missing", none));
    EXPECT_TRUE(none.empty());
}

TEST_F(ComSettingsTest, CollectUserSettingsKeysTakesBracedNamesOfMatchingComponentPaths) {
    const std::wstring settings = L"\\Velkor\\Common\\Ferrow\\";
    for (const std::wstring& hive : hives) {
        CreateRawKey(HKEY_USERS, UserKey(hive, false) + settings + L"{ab-1}", RegistryView::Bits64);
        CreateRawKey(HKEY_USERS, UserKey(hive, false) + settings + L"{Other}", RegistryView::Bits64);
    }
    CreateRawKey(HKEY_USERS, UserKey(hives[0], true) + settings + L"{CD-2}", RegistryView::Bits64);

    const std::wstring base = L":\\Software\\" + name + settings;
    const PathList components{L"02" + base + L"{AB-1}\\Value", L"02" + base + L"{AB-1}\\Other",
                              L"01" + base + L"{CD-2}",        L"02" + base + L"NoBrace",
                              L"02" + base + L"{unclosed",     L"C:\\Program Files\\{EF-3}\\x.exe",
                              L"02:\\software\\" + name + settings + L"{GH-4}"};
    PathList keys;
    PathList names;
    EXPECT_TRUE(CollectUserSettingsKeys(RegistryView::Bits64, components, name, keys, names));
    EXPECT_EQ(names, (PathList{L"{AB-1}", L"{CD-2}"}));
    PathList expected;
    for (const std::wstring& hive : hives) {
        expected.push_back(UserPath(hive, false) + L"Velkor\\Common\\Ferrow\\{ab-1}\\");
        if (hive == hives[0]) expected.push_back(UserPath(hive, true) + L"Velkor\\Common\\Ferrow\\{CD-2}\\");
    }
    EXPECT_EQ(keys, expected);

    PathList noKeys;
    PathList noNames;
    EXPECT_FALSE(CollectUserSettingsKeys(RegistryView::Bits64, {L"C:\\Program Files\\{EF-3}\\x.exe"}, name, noKeys, noNames));
    EXPECT_TRUE(noKeys.empty());
    EXPECT_TRUE(noNames.empty());
}

namespace {

std::wstring TestGuid(const wchar_t* last) {
    return std::wstring(L"{5E1B0C") + last + L"-2D3E-4F50-8A6B-7C8D9E0F1A" + last + L"}";
}

std::wstring LowerCase(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

// What a server's own unregistration removes besides its CLSID keys: the ProgIDs it names, its type
// library in the CLSID's branch and in the shared one, and the interfaces its proxy serves, in both branches under WOW64.
TEST(FindComRelatedKeys, FindsProgIdsTypeLibrariesAndProxiedInterfacesOfBothBranches) {
    const bool wow64 = IsWow64();
    const RegistryView view = NativeView();
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring machineClasses = L"HKEY_LOCAL_MACHINE\\" + classes;
    const std::wstring native = TestGuid(L"01"), wow = TestGuid(L"02"), odd = TestGuid(L"03");
    const std::wstring nativeLib = TestGuid(L"11"), wowLib = TestGuid(L"12"), missingLib = TestGuid(L"13");
    const std::wstring proxied = TestGuid(L"21"), other = TestGuid(L"22"), wowProxied = TestGuid(L"23");
    const std::wstring proxy = TestGuid(L"31");
    std::vector<std::unique_ptr<ScopedTestKey>> cleanups;
    for (const std::wstring& key : {L"CLSID\\" + native, L"CLSID\\" + wow, L"CLSID\\" + odd, L"TypeLib\\" + nativeLib,
                                    L"TypeLib\\" + wowLib, L"Interface\\" + proxied, L"Interface\\" + other,
                                    L"Interface\\" + wowProxied, std::wstring(L"QuellorTest.Com.1"),
                                    std::wstring(L"QuellorTest.Com"), std::wstring(L"QuellorTest.Wow.1")})
        cleanups.push_back(std::make_unique<ScopedTestKey>(HKEY_LOCAL_MACHINE, classes + key));
    const auto set = [&](const std::wstring& key, const std::wstring& text, RegistryView in) {
        SetRawString(HKEY_LOCAL_MACHINE, classes + key, L"", text, in);
    };
    set(L"CLSID\\" + native + L"\\ProgID", L"QuellorTest.Com.1", view);
    set(L"CLSID\\" + native + L"\\VersionIndependentProgID", L"QuellorTest.Com", view);
    set(L"CLSID\\" + native + L"\\TypeLib", nativeLib, view);
    set(L"CLSID\\" + odd + L"\\ProgID", L"CLSID", view);  // never a ProgID: it names the CLSID key itself
    set(L"CLSID\\" + odd + L"\\TypeLib", missingLib, view);
    for (const wchar_t* progId : {L"QuellorTest.Com.1", L"QuellorTest.Com", L"QuellorTest.Wow.1"})
        set(progId, L"x", view);
    set(L"TypeLib\\" + nativeLib + L"\\1.0", L"lib", view);
    set(L"Interface\\" + proxied + L"\\ProxyStubClsid32", LowerCase(proxy), view);
    set(L"Interface\\" + other + L"\\ProxyStubClsid32", TestGuid(L"32"), view);
    PathList clsidKeys{machineClasses + L"CLSID\\" + native + L"\\", machineClasses + L"CLSID\\" + odd + L"\\"};
    if (wow64) {
        set(L"CLSID\\" + wow + L"\\ProgID", L"QuellorTest.Wow.1", RegistryView::Bits32);
        set(L"CLSID\\" + wow + L"\\VersionIndependentProgID", L"QuellorTest.Com", RegistryView::Bits32);
        set(L"CLSID\\" + wow + L"\\TypeLib", wowLib, RegistryView::Bits32);
        set(L"TypeLib\\" + wowLib + L"\\1.0", L"lib", RegistryView::Bits32);
        set(L"Interface\\" + wowProxied + L"\\ProxyStubClsid32", proxy, RegistryView::Bits32);
        clsidKeys.push_back(machineClasses + L"Wow6432Node\\CLSID\\" + wow + L"\\");
    }

    ComRelatedKeys found = FindComRelatedKeys(view, clsidKeys, {TestGuid(L"99"), proxy});
    PathList progIds{machineClasses + L"QuellorTest.Com.1\\", machineClasses + L"QuellorTest.Com\\"};
    PathList typeLibs{machineClasses + L"TypeLib\\" + nativeLib + L"\\"};
    PathList interfaces{machineClasses + L"Interface\\" + proxied + L"\\"};
    if (wow64) {
        progIds.push_back(machineClasses + L"QuellorTest.Wow.1\\");
        typeLibs.push_back(machineClasses + L"Wow6432Node\\TypeLib\\" + wowLib + L"\\");
        typeLibs.push_back(machineClasses + L"TypeLib\\" + wowLib + L"\\");  // TypeLib is shared under Wine
        interfaces.push_back(machineClasses + L"Wow6432Node\\Interface\\" + wowProxied + L"\\");
    }
    EXPECT_EQ(found.progIdKeys, progIds);
    EXPECT_EQ(found.typeLibKeys, typeLibs);
    EXPECT_EQ(found.interfaceKeys, interfaces);

    // The collection spells the 32-bit CLSID keys below Software\Wow6432Node\Classes: same branch.
    if (wow64) {
        const std::wstring spelt = L"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\";
        ComRelatedKeys again = FindComRelatedKeys(view, {spelt + L"CLSID\\" + wow + L"\\"}, {});
        EXPECT_EQ(again.progIdKeys,
                  (PathList{machineClasses + L"QuellorTest.Wow.1\\", machineClasses + L"QuellorTest.Com\\"}));
        EXPECT_EQ(again.typeLibKeys,
                  (PathList{spelt + L"TypeLib\\" + wowLib + L"\\", machineClasses + L"TypeLib\\" + wowLib + L"\\"}));
        EXPECT_TRUE(again.interfaceKeys.empty());
    }
}
