// Installer registration discovery over packages installed for the suite, in their real locations.
#include "registry/InstallerRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/Environment.h"
#include "registry/Names.h"
#include "tests/installer/FixtureCodes.h"
#include "tests/installer/RegistryTestKeys.h"
#include "tests/support/MsiFixture.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;
using namespace QuellorTest::Fixtures;

namespace {

const std::wstring kMachine = L"HKEY_LOCAL_MACHINE\\Software\\";
const std::wstring kUninstall = L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kUserData = L"Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";

std::wstring Packed(const std::wstring& guid) {
    std::wstring packed;
    PackGuid(guid, packed);
    return packed;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

class InstalledMachineAndUserProducts : public testing::Test {
protected:
    static void SetUpTestSuite() {
        machine_ = std::make_unique<InstalledPackage>(PackageNextToExe(L"MachineV1"), kMachineV1);
        user_ = std::make_unique<InstalledPackage>(PackageNextToExe(L"User"), kUser);
    }
    static void TearDownTestSuite() {
        machine_.reset();
        user_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(machine_->Installed()) << machine_->InstallResult();
        ASSERT_TRUE(user_->Installed()) << user_->InstallResult();
    }

    // What a 32-bit per-machine package writes below Software lands in Wow6432Node under WOW64.
    std::wstring Software32(const std::wstring& rest) const {
        return kMachine + (wow64_ ? L"Wow6432Node\\" : L"") + rest;
    }
    std::wstring UserInstaller(const std::wstring& kind, const std::wstring& packed) const {
        return L"HKEY_USERS\\" + sid_ + L"\\Software\\Microsoft\\Installer\\" + kind + L"\\" + packed + L"\\";
    }

    const bool wow64_ = IsWow64();
    const RegistryView view_ = NativeView();
    const std::wstring sid_ = CurrentUserSid();
    static inline std::unique_ptr<InstalledPackage> machine_, user_;
};

TEST_F(InstalledMachineAndUserProducts, UninstallKeyIsFoundInTheProgramsView) {
    PathList found;
    ASSERT_TRUE(CollectKeyPaths(view_, kMachine + kUninstall, Lower(kMachineV1), found));
    EXPECT_EQ(found, PathList{Software32(kUninstall + kMachineV1 + L"\\")});
}

TEST_F(InstalledMachineAndUserProducts, WithoutWow64TheBaseIsSearchedAloneInTheProgramsView) {
    PathList found;
    ASSERT_TRUE(CollectKeyPaths(RegistryView::Bits32, kMachine + kUninstall, kMachineV1, found));
    EXPECT_EQ(found, PathList{kMachine + kUninstall + kMachineV1 + L"\\"});
}

TEST_F(InstalledMachineAndUserProducts, UserDataProductKeysKeepTheCallersSpellingAndGiveTheCachedPackage) {
    const std::wstring packed = Lower(Packed(kMachineV1));
    PathList products;
    ASSERT_TRUE(CollectUserDataKeys(view_, packed, L"Products", products));
    ASSERT_EQ(products, PathList{kMachine + kUserData + L"S-1-5-18\\Products\\" + packed + L"\\"});

    PathList packages;
    ASSERT_TRUE(CollectLocalPackages(view_, products, L"InstallProperties", L"LocalPackage", packages));
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_TRUE(FileExists(packages[0])) << Utf8(packages[0]);
}

TEST_F(InstalledMachineAndUserProducts, PerUserProductIsFoundUnderItsUserData) {
    PathList products;
    ASSERT_TRUE(CollectUserDataKeys(view_, Packed(kUser), L"Products", products));
    EXPECT_EQ(products, PathList{kMachine + kUserData + sid_ + L"\\Products\\" + Packed(kUser) + L"\\"});
}

TEST_F(InstalledMachineAndUserProducts, MachineRegistrationsAreFoundInTheNativeView) {
    struct Search {
        std::wstring rest, packed;
    } searches[] = {
        {L"Classes\\Installer\\Products\\", Packed(kMachineV1)},
        {L"Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\", Packed(kMachineUpgrade)},
        {L"Classes\\Installer\\UpgradeCodes\\", Packed(kMachineUpgrade)},
        {L"Classes\\Installer\\Features\\", Packed(kMachineV1)},
    };
    for (const Search& search : searches) {
        PathList found;
        EXPECT_TRUE(CollectKeyPaths(view_, kMachine + search.rest, search.packed, found)) << Utf8(search.rest);
        EXPECT_EQ(found, PathList{kMachine + search.rest + search.packed + L"\\"});
    }
}

TEST_F(InstalledMachineAndUserProducts, PerUserRegistrationsAreFoundBelowTheUsersHive) {
    struct Search {
        std::wstring kind, packed;
    } searches[] = {
        {L"Products", Packed(kUser)},
        {L"UpgradeCodes", Packed(kUserUpgrade)},
        {L"Features", Packed(kUser)},
    };
    for (const Search& search : searches) {
        PathList found;
        EXPECT_TRUE(CollectUserInstallerKeys(view_, search.packed, search.kind, found)) << Utf8(search.kind);
        EXPECT_EQ(found, PathList{UserInstaller(search.kind, search.packed)});
    }
}

TEST_F(InstalledMachineAndUserProducts, MachineProductHasNoPerUserRegistrations) {
    PathList found;
    EXPECT_FALSE(CollectUserInstallerKeys(view_, Packed(kMachineV1), L"Products", found));
    EXPECT_TRUE(found.empty());
}

TEST_F(InstalledMachineAndUserProducts, ComponentKeysForEveryCodeInOrderDuplicatesKept) {
    const std::wstring file = Packed(kMachineV1File), registry = Packed(kMachineV1Registry);
    PathList found;
    ASSERT_TRUE(CollectUserDataComponentKeys(view_, {file, registry, Packed(kUserFile), Lower(file)},
                                             L"Components", found));
    const std::wstring system = kMachine + kUserData + L"S-1-5-18\\Components\\";
    const std::wstring user = kMachine + kUserData + sid_ + L"\\Components\\";
    // Per subkey, in registry order: the file key is found once per spelling of its code.
    EXPECT_EQ(found.size(), 4u);
    EXPECT_EQ(std::count(found.begin(), found.end(), system + file + L"\\"), 2);
    EXPECT_EQ(std::count(found.begin(), found.end(), system + registry + L"\\"), 1);
    EXPECT_EQ(std::count(found.begin(), found.end(), user + Packed(kUserFile) + L"\\"), 1);
}

TEST_F(InstalledMachineAndUserProducts, SearchesForAnUnpackableCodeFindNothing) {
    std::wstring packed;
    EXPECT_FALSE(PackGuid(kMachineV1.substr(1), packed));
    PathList found;
    EXPECT_FALSE(CollectUserDataKeys(view_, packed, L"Products", found));
    EXPECT_FALSE(CollectKeyPaths(view_, kMachine + L"Classes\\Installer\\Products\\", packed, found));
    EXPECT_FALSE(CollectUserInstallerKeys(view_, packed, L"Products", found));
    EXPECT_TRUE(found.empty());
}

}  // namespace
