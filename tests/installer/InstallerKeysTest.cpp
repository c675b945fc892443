// Key search, package read and key deletion over keys the tests create themselves.
#include <gtest/gtest.h>

#include <map>

#include "platform/Environment.h"
#include "registry/ComponentRegistrations.h"
#include "registry/InstallerRegistry.h"
#include "registry/PatchRegistrations.h"
#include "registry/RegistryKeys.h"
#include "tests/installer/RegistryTestKeys.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

Zento::Lithcore::RegistryKeyAddress At(const std::wstring& path, Zento::Lithcore::RegistryView view) {
    return Zento::Lithcore::RegistryKeyAddress::Parse(path, view);
}

const std::wstring kTestKey = L"Software\\QuellorInstallerKeysTest";
const std::wstring kMachineTest = L"HKEY_LOCAL_MACHINE\\" + kTestKey + L"\\";

LSTATUS WINAPI SubkeyNameNeverFits(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPWSTR, LPDWORD, PFILETIME) {
    return ERROR_MORE_DATA;
}
LSTATUS WINAPI ValueNameNeverFits(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return ERROR_MORE_DATA;
}

// ReadKeySharing on a registry whose value or subkey listing finds no buffer large enough.
LONG ReadSharingWithNamesThatNeverFit(bool values, const std::wstring& keyPath, const std::wstring& ownValue) {
    System::RegistryApi failing = System::Registry();
    if (values)
        failing.enumValue = &ValueNameNeverFits;
    else
        failing.enumKey = &SubkeyNameNeverFits;
    const System::RegistryApi* previous = System::ReplaceRegistryApi(&failing);
    KeySharing sharing;
    LONG result = ReadKeySharing(NativeView(), keyPath, ownValue, sharing);
    System::ReplaceRegistryApi(previous);
    return result;
}

class ScratchKeys : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        DeleteTestTree(HKEY_LOCAL_MACHINE, kTestKey, kView64);
        DeleteTestTree(HKEY_LOCAL_MACHINE, kTestKey, kView32);
        for (const std::wstring& hive : {sid_, std::wstring(L".DEFAULT")})
            DeleteTestTree(HKEY_USERS, hive + L"\\" + kTestKey, kView64);
    }
    void Create(HKEY root, const std::wstring& below, REGSAM view) {
        ASSERT_TRUE(CreateTestKey(root, below, view)) << "cannot create test key";
    }
    bool Exists(HKEY root, const std::wstring& below, REGSAM view) { return TestKeyExists(root, below, view); }

    const bool wow64_ = IsWow64();
    const RegistryView view_ = NativeView();
    const std::wstring sid_ = CurrentUserSid();
};

TEST_F(ScratchKeys, KeyPathsOfBothViewsAndTheLastMatchOfEachOfSeveralNames) {
    Create(HKEY_LOCAL_MACHINE, kTestKey + L"\\Base\\Target", kView64);
    Create(HKEY_LOCAL_MACHINE, kTestKey + L"\\Base\\TARGET", kView32);
    Create(HKEY_LOCAL_MACHINE, kTestKey + L"\\Base\\Targets", kView32);

    PathList all;
    ASSERT_TRUE(CollectKeyPaths(view_, kMachineTest + L"Base\\", L"target", all));
    // The same search for several names over one listing.
    const std::wstring base32 =
        wow64_ ? L"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\QuellorInstallerKeysTest\\" : kMachineTest;
    EXPECT_EQ(FindKeyPaths(view_, kMachineTest + L"Base\\", {L"targets", L"missing", L"target"}),
              (PathList{base32 + L"Base\\Targets\\", L"", all.back()}));
    if (wow64_) {
        const std::wstring redirected = L"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\QuellorInstallerKeysTest\\";
        EXPECT_EQ(all, (PathList{kMachineTest + L"Base\\Target\\", redirected + L"Base\\TARGET\\"}));
    } else {
        // One registry: the second creation reopened the first key, which keeps its spelling.
        EXPECT_EQ(all, PathList{kMachineTest + L"Base\\Target\\"});
    }
}

TEST_F(ScratchKeys, LocalPackagesOfOtherTypesAreSkippedNotThrown) {
    const std::wstring below = sid_ + L"\\" + kTestKey;
    const std::wstring text = L"C:\\windows\\Installer\\quellor.msi";
    const DWORD number = 7;
    const ULONGLONG wide = 7;
    ASSERT_TRUE(SetTestValue(HKEY_USERS, below + L"\\Dword\\InstallProperties", kView64, L"LocalPackage", REG_DWORD,
                             &number, sizeof number));
    ASSERT_TRUE(SetTestValue(HKEY_USERS, below + L"\\Qword\\InstallProperties", kView64, L"LocalPackage", REG_QWORD,
                             &wide, sizeof wide));
    ASSERT_TRUE(SetTestValue(HKEY_USERS, below + L"\\Text\\installproperties", kView64, L"LocalPackage", REG_SZ,
                             text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    Create(HKEY_USERS, below + L"\\NoValue\\InstallProperties", kView64);

    const std::wstring base = L"HKEY_USERS\\" + below + L"\\";
    PathList packages;
    EXPECT_NO_THROW(EXPECT_TRUE(CollectLocalPackages(
        view_, {base + L"Dword\\", base + L"Qword\\", base + L"NoValue\\", base + L"Text\\", base + L"Missing\\"},
        L"InstallProperties", L"LocalPackage", packages)));
    EXPECT_EQ(packages, PathList{text});
}

TEST_F(ScratchKeys, OwnValueGoesFromASharedKeyAndTheKeyOnlyOnceNothingIsLeft) {
    const std::wstring own = L"11c92a8a3a42d3e2c2ad9e3f339bb25b";  // as a registry may spell it
    const std::wstring other = L"FCF897311C5C207F46D07BAB351A8BA8";
    const wchar_t empty[] = L"";
    for (const wchar_t* key : {L"\\Shared", L"\\Alone", L"\\WithSubkey"})
        ASSERT_TRUE(SetTestValue(HKEY_LOCAL_MACHINE, kTestKey + key, kView64, own, REG_SZ, empty, sizeof empty));
    ASSERT_TRUE(SetTestValue(HKEY_LOCAL_MACHINE, kTestKey + L"\\Shared", kView64, other, REG_SZ, empty, sizeof empty));
    Create(HKEY_LOCAL_MACHINE, kTestKey + L"\\WithSubkey\\Child", kView64);

    KeySharing shared;
    ASSERT_EQ(ReadKeySharing(view_, kMachineTest + L"Shared\\", L"11C92A8A3A42D3E2C2AD9E3F339BB25B", shared),
              ERROR_SUCCESS);
    EXPECT_TRUE(shared.Shared());
    EXPECT_EQ(shared.ownValueName, own);
    EXPECT_EQ(shared.otherValues, PathList{other});
    KeySharing alone;
    ASSERT_EQ(ReadKeySharing(view_, kMachineTest + L"Alone\\", own, alone), ERROR_SUCCESS);
    EXPECT_FALSE(alone.Shared());
    // A listing that does not run to its end is an error, never a key that looks like the target's alone.
    EXPECT_EQ(ReadSharingWithNamesThatNeverFit(true, kMachineTest + L"Alone\\", own), ERROR_MORE_DATA);
    EXPECT_EQ(ReadSharingWithNamesThatNeverFit(false, kMachineTest + L"Alone\\", own), ERROR_MORE_DATA);
    EXPECT_EQ(ReadKeySharing(view_, kMachineTest + L"Missing\\", own, alone), ERROR_FILE_NOT_FOUND);

    // The removal's targets for such keys: the value, then the key only when nothing is left in it.
    const auto removeOwn = [&](const std::wstring& key) {
        EXPECT_EQ(DeleteRegistryValue(At(kMachineTest + key, view_), own), ERROR_SUCCESS);
        return DeleteRegistryKeyIfEmpty(At(kMachineTest + key, view_));
    };
    EXPECT_NE(removeOwn(L"Shared\\"), ERROR_SUCCESS);
    ASSERT_EQ(ReadKeySharing(view_, kMachineTest + L"Shared\\", own, shared), ERROR_SUCCESS);
    EXPECT_FALSE(shared.hasOwnValue);
    EXPECT_EQ(shared.otherValues, PathList{other});
    EXPECT_EQ(removeOwn(L"Alone\\"), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kTestKey + L"\\Alone", kView64));
    EXPECT_NE(removeOwn(L"WithSubkey\\"), ERROR_SUCCESS);
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kTestKey + L"\\WithSubkey\\Child", kView64));
    EXPECT_EQ(DeleteRegistryValue(At(kMachineTest + L"Alone\\", view_), own), ERROR_FILE_NOT_FOUND);  // already gone
}

// The removal's key deletion takes a machine key in the view it names only, and a user key in its hive only.
TEST_F(ScratchKeys, DeletedKeysGoInTheirViewAndHiveOnly) {
    for (REGSAM view : {kView64, kView32})
        for (const wchar_t* name : {L"\\A\\Child", L"\\B"}) Create(HKEY_LOCAL_MACHINE, kTestKey + name, view);
    for (const std::wstring& hive : {sid_, std::wstring(L".DEFAULT")})
        for (const wchar_t* name : {L"\\A", L"\\B"}) Create(HKEY_USERS, hive + L"\\" + kTestKey + name, kView64);

    EXPECT_EQ(DeleteRegistryKey(At(kMachineTest + L"A\\", RegistryView::Bits64)), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kTestKey + L"\\A", kView64));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kTestKey + L"\\B", kView64));
    if (wow64_) {
        EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kTestKey + L"\\A\\Child", kView32));
    }

    const std::wstring userTarget = L"HKEY_USERS\\" + sid_ + L"\\" + kTestKey + L"\\A\\";
    EXPECT_EQ(DeleteRegistryKey(At(userTarget, view_)), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKEY_USERS, sid_ + L"\\" + kTestKey + L"\\A", kView64));
    EXPECT_TRUE(Exists(HKEY_USERS, sid_ + L"\\" + kTestKey + L"\\B", kView64));
    EXPECT_TRUE(Exists(HKEY_USERS, L".DEFAULT\\" + kTestKey + L"\\A", kView64));
    EXPECT_EQ(DeleteRegistryKey(At(userTarget, view_)), ERROR_FILE_NOT_FOUND);
}

}  // namespace

namespace {

LSTATUS WINAPI ValueListingRefused(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

}  // namespace

// The one pass over the component registrations finds another product's key file below the product's
// folders; a registration it cannot read is named with its error, for the folders may then hold more.
TEST(ComponentRegistrationPass, FindsOtherProductsKeyFilesAndNamesWhatItCouldNotRead) {
    const REGSAM native = IsWow64() ? kView64 : kView32;
    const std::wstring userData = L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-21-9-9-9-4242";
    const std::wstring component = userData + L"\\Components\\11C0F6A3E2D7A5B4C9101A2B3C4D4242";
    const std::wstring own = L"11C92A8A3A42D3E2C2AD9E3F339BB25B";
    const std::wstring other = L"FCF897311C5C207F46D07BAB351A8BA8";
    const std::wstring keyFile = L"C:\\QuellorPass\\Velkor\\Shared\\x.dll";
    DeleteTestTree(HKEY_LOCAL_MACHINE, userData, native);
    ASSERT_TRUE(SetTestValue(HKEY_LOCAL_MACHINE, component, native, own, REG_SZ, L"C:\\QuellorPass\\Velkor\\own.exe",
                             sizeof(L"C:\\QuellorPass\\Velkor\\own.exe")));
    ASSERT_TRUE(SetTestValue(HKEY_LOCAL_MACHINE, component, native, other, REG_SZ, keyFile.c_str(),
                             static_cast<DWORD>((keyFile.size() + 1) * sizeof(wchar_t))));

    ComponentRegistrationPass pass = ReadComponentRegistrations(NativeView(), own, {L"C:\\QuellorPass\\Velkor"});
    EXPECT_EQ(pass.componentsOfProduct, PathList{L"{3A6F0C11-7D2E-4B5A-9C01-A1B2C3D42424}"});
    ASSERT_EQ(pass.otherProductsKeyFiles.count(keyFile), 1u);
    EXPECT_EQ(pass.otherProductsKeyFiles[keyFile], PathList{L"{13798FCF-C5C1-F702-640D-B7BA53A1B88A}"});
    EXPECT_TRUE(pass.unread.empty());

    System::RegistryApi refusing = System::Registry();
    refusing.enumValue = &ValueListingRefused;
    const System::RegistryApi* previous = System::ReplaceRegistryApi(&refusing);
    ComponentRegistrationPass refused = ReadComponentRegistrations(NativeView(), own, {L"C:\\QuellorPass\\Velkor"});
    System::ReplaceRegistryApi(previous);
    DeleteTestTree(HKEY_LOCAL_MACHINE, userData, native);
    EXPECT_TRUE(refused.otherProductsKeyFiles.empty());
    bool named = false;
    for (const auto& [key, error] : refused.unread)
        named |= key.find(L"11C0F6A3E2D7A5B4C9101A2B3C4D4242") != std::wstring::npos && error == ERROR_ACCESS_DENIED;
    EXPECT_TRUE(named);
}

// A per-user install's patches live in the user's hive and, for a managed install, below
// Managed\<sid>: both are found with their own keys, and a patch another product also names says so.
TEST(ProductPatches, PerUserAndManagedPatchesAreFoundWithTheirOwnKeys) {
    const REGSAM native = IsWow64() ? kView64 : kView32;
    const std::wstring sid = CurrentUserSid();
    const std::wstring product = L"0C1E2F40A7B3D4E59F601A2B3C4D5E42";
    const std::wstring other = L"0C1E2F40A7B3D4E59F601A2B3C4D5E43";
    const std::wstring alone = L"0D1E2F40A7B3D4E59F601A2B3C4D5E01";   // the user's, of the product alone
    const std::wstring shared = L"0D1E2F40A7B3D4E59F601A2B3C4D5E02";  // the user's, of both products
    const std::wstring managed = L"0D1E2F40A7B3D4E59F601A2B3C4D5E03"; // a managed install's
    const std::wstring user = sid + L"\\Software\\Microsoft\\Installer\\";
    const std::wstring managedBelow =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Managed\\" + sid + L"\\Installer\\";
    auto clean = [&] {
        for (const std::wstring& code : {product, other})
            DeleteTestTree(HKEY_USERS, user + L"Products\\" + code, kView64);
        for (const std::wstring& code : {alone, shared}) DeleteTestTree(HKEY_USERS, user + L"Patches\\" + code, kView64);
        DeleteTestTree(HKEY_LOCAL_MACHINE, managedBelow + L"Products\\" + product, native);
        DeleteTestTree(HKEY_LOCAL_MACHINE, managedBelow + L"Patches\\" + managed, native);
    };
    clean();
    const wchar_t none[] = L"";
    for (const std::wstring& patch : {alone, shared})
        ASSERT_TRUE(SetTestValue(HKEY_USERS, user + L"Products\\" + product + L"\\Patches", kView64, patch, REG_SZ, none,
                                 sizeof none));
    ASSERT_TRUE(SetTestValue(HKEY_USERS, user + L"Products\\" + other + L"\\Patches", kView64, shared, REG_SZ, none,
                             sizeof none));
    ASSERT_TRUE(SetTestValue(HKEY_LOCAL_MACHINE, managedBelow + L"Products\\" + product + L"\\Patches", native, managed,
                             REG_SZ, none, sizeof none));
    for (const std::wstring& patch : {alone, shared}) ASSERT_TRUE(CreateTestKey(HKEY_USERS, user + L"Patches\\" + patch, kView64));
    ASSERT_TRUE(CreateTestKey(HKEY_LOCAL_MACHINE, managedBelow + L"Patches\\" + managed, native));

    const std::vector<ProductPatch> patches = FindProductPatches(NativeView(), product);
    clean();
    std::map<std::wstring, ProductPatch> byCode;
    for (const ProductPatch& patch : patches) byCode[patch.packedCode] = patch;
    ASSERT_EQ(byCode.size(), 3u);
    EXPECT_EQ(byCode[alone].ownKeys, PathList{L"HKEY_USERS\\" + user + L"Patches\\" + alone + L"\\"});
    EXPECT_TRUE(byCode[alone].otherProducts.empty());
    EXPECT_EQ(byCode[shared].otherProducts, PathList{other});
    EXPECT_EQ(byCode[managed].ownKeys, PathList{L"HKEY_LOCAL_MACHINE\\" + managedBelow + L"Patches\\" + managed + L"\\"});
}
