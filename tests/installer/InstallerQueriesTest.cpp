// Windows Installer queries against packages installed for the suite.
#include "registry/InstallerQueries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/SystemLibrary.h"
#include "registry/ComponentRegistrations.h"
#include "registry/Names.h"
#include "tests/installer/FixtureCodes.h"
#include "tests/support/MsiFixture.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;
using namespace QuellorTest::Fixtures;

namespace {

PathList Sorted(PathList list) {
    std::sort(list.begin(), list.end());
    return list;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

// The single owner the installer names for a component (msi.dll ordinal 66), asked directly.
std::wstring OwnerNamedByInstaller(const std::wstring& componentCode) {
    using GetProductCodeFn = UINT(WINAPI*)(LPCWSTR, LPWSTR);
    DWORD error = ERROR_SUCCESS;
    UniqueModule msi = LoadSystemLibrary(L"msi.dll", error);
    auto getProductCode = ProcAddress<GetProductCodeFn>(msi.Get(), WORD{66});
    wchar_t owner[39] = {};
    if (getProductCode == nullptr || getProductCode(componentCode.c_str(), owner) != ERROR_SUCCESS) return L"";
    return owner;
}

// The product's components as the collection finds them: the candidates of one registration pass, each
// confirmed by the installer.
bool ListProductComponents(const std::wstring& productCode, PathList& components) {
    std::wstring packed;
    if (!PackGuid(productCode, packed)) return false;
    const PathList candidates = ReadComponentRegistrations(NativeView(), packed, {}).componentsOfProduct;
    return ListProductComponentsAmong(productCode, candidates, components);
}

// GetComponentPath of each component in order, skipping those without a path.
PathList ComponentPaths(const PathList& components, const std::wstring& productCode) {
    PathList paths;
    for (const std::wstring& component : components) {
        std::wstring path;
        if (GetComponentPath(productCode, component, path)) paths.push_back(path);
    }
    return paths;
}

using Packages = std::vector<std::unique_ptr<InstalledPackage>>;

void Install(Packages& packages, const std::wstring& name, const std::wstring& productCode) {
    packages.push_back(std::make_unique<InstalledPackage>(PackageNextToExe(name), productCode));
    ASSERT_TRUE(packages.back()->Installed()) << Utf8(name) << " exit code " << packages.back()->InstallResult();
}

}  // namespace

TEST(InstallerQueriesWithoutProducts, UnknownCodesGiveNothing) {
    const std::wstring unknown = L"{00000000-1111-2222-3333-444444444444}";
    PathList list;
    bool found = true;
    EXPECT_FALSE(FindRelatedProducts(unknown, unknown, list, found));
    EXPECT_FALSE(found);
    std::wstring name;
    EXPECT_FALSE(GetProductName(unknown, name));
    EXPECT_FALSE(ListProductComponents(unknown, list));
    EXPECT_FALSE(ListComponentClients(unknown, list));
    bool shared = true;
    EXPECT_FALSE(IsComponentShared(unknown, unknown, shared));
    EXPECT_FALSE(shared);
    EXPECT_TRUE(list.empty());
}

class OneMachineProduct : public testing::Test {
protected:
    static void SetUpTestSuite() { Install(packages_, L"MachineV1", kMachineV1); }
    static void TearDownTestSuite() { packages_.clear(); }
    static inline Packages packages_;
};

TEST_F(OneMachineProduct, IsTheOnlyRelatedProductWhateverTheLetterCase) {
    for (const std::wstring& code : {kMachineV1, Lower(kMachineV1)}) {
        PathList others;
        bool found = false;
        EXPECT_TRUE(FindRelatedProducts(kMachineUpgrade, code, others, found));
        EXPECT_TRUE(found);
        EXPECT_TRUE(others.empty());
    }
}

TEST_F(OneMachineProduct, NameComesFromTheInstaller) {
    std::wstring name;
    ASSERT_TRUE(GetProductName(kMachineV1, name));
    EXPECT_EQ(name, L"QuellorFixtureMachine");
}

TEST_F(OneMachineProduct, ComponentsAreTheFileAndRegistryComponents) {
    PathList components;
    ASSERT_TRUE(ListProductComponents(kMachineV1, components));
    EXPECT_EQ(Sorted(components), Sorted({kMachineV1File, kMachineV1Registry}));
}

TEST_F(OneMachineProduct, ComponentOwnerIsComparedExactly) {
    PathList components;
    EXPECT_FALSE(ListProductComponents(Lower(kMachineV1), components));
    EXPECT_TRUE(components.empty());
}

TEST_F(OneMachineProduct, FilePathIsTheInstalledKeyFile) {
    std::wstring path;
    ASSERT_TRUE(GetComponentPath(kMachineV1, kMachineV1File, path));
    EXPECT_TRUE(EndsWith(path, L"\\QuellorFixtureMachineV1\\payload.txt")) << Utf8(path);
    EXPECT_TRUE(FileExists(path));
}

// Wine answers "absent" for every registry key path, so there the registry component has no path and the
// path list is one shorter than the component list. Windows gives an installer registry path.
TEST_F(OneMachineProduct, ComponentPathsSkipComponentsWithoutPath) {
    const PathList paths = ComponentPaths({kMachineV1Registry, kMachineV1File}, kMachineV1);
    ASSERT_GE(paths.size(), 1u);
    EXPECT_TRUE(EndsWith(paths.back(), L"\\payload.txt"));
    std::wstring registryPath;
    if (GetComponentPath(kMachineV1, kMachineV1Registry, registryPath)) {
        EXPECT_EQ(paths.size(), 2u);
        EXPECT_NE(registryPath.find(L"QuellorFixtures\\MachineV1"), std::wstring::npos) << Utf8(registryPath);
    } else {
        EXPECT_EQ(paths.size(), 1u);
    }
}

TEST_F(OneMachineProduct, ComponentOfAnotherProductHasNoPathForIt) {
    std::wstring path = L"untouched";
    EXPECT_FALSE(GetComponentPath(L"{00000000-1111-2222-3333-444444444444}", kMachineV1File, path));
    EXPECT_EQ(path, L"untouched");
}

TEST_F(OneMachineProduct, OwnComponentIsNotShared) {
    bool shared = true;
    EXPECT_TRUE(IsComponentShared(kMachineV1File, kMachineV1, shared));
    EXPECT_FALSE(shared);
    PathList clients;
    ASSERT_TRUE(ListComponentClients(kMachineV1File, clients));
    EXPECT_EQ(clients, PathList{kMachineV1});
}

// A path longer than the first buffer is asked for again, not cut off: a cut-off path of a shared
// component would no longer spare the shared file.
TEST(ComponentDeeperThanMaxPath, PathIsReadWhole) {
    InstalledPackage package(PackageNextToExe(L"MachineLong"), kMachineLong);
    ASSERT_TRUE(package.Installed()) << package.InstallResult();
    std::wstring path;
    ASSERT_TRUE(GetComponentPath(kMachineLong, kMachineLongFile, path));
    EXPECT_GT(path.size(), 260u);
    EXPECT_TRUE(EndsWith(path, std::wstring(240, L'L') + L"\\payload.txt")) << Utf8(path);
    EXPECT_EQ(ComponentPaths({kMachineLongFile}, kMachineLong), PathList{path});
}

// A per-user install registers its components under the user's own security identifier.
TEST(PerUserProduct, ComponentsAreFoundUnderTheUsersRegistrations) {
    InstalledPackage package(PackageNextToExe(L"User"), kUser);
    ASSERT_TRUE(package.Installed()) << package.InstallResult();
    PathList components;
    ASSERT_TRUE(ListProductComponents(kUser, components));
    EXPECT_EQ(components, PathList{kUserFile});
}

class TwoVersionsOneUpgradeCode : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Install(packages_, L"MachineV1", kMachineV1);
        Install(packages_, L"MachineV2", kMachineV2);
    }
    static void TearDownTestSuite() { packages_.clear(); }
    static inline Packages packages_;
};

TEST_F(TwoVersionsOneUpgradeCode, EachVersionSeesTheOtherAsRelated) {
    PathList others;
    bool found = false;
    EXPECT_TRUE(FindRelatedProducts(kMachineUpgrade, kMachineV1, others, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(others, PathList{kMachineV2});

    others.clear();
    EXPECT_TRUE(FindRelatedProducts(kMachineUpgrade, kMachineV2, others, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(others, PathList{kMachineV1});
}

TEST_F(TwoVersionsOneUpgradeCode, UninstalledVersionIsNotFoundButOthersAreListed) {
    PathList others;
    bool found = true;
    EXPECT_TRUE(FindRelatedProducts(kMachineUpgrade, L"{6C1E2F43-7A3B-4D5E-9F60-1A2B3C4D5E13}", others, found));
    EXPECT_FALSE(found);
    EXPECT_EQ(Sorted(others), Sorted({kMachineV1, kMachineV2}));
}

TEST_F(TwoVersionsOneUpgradeCode, ComponentsStayWithTheirVersion) {
    PathList components;
    ASSERT_TRUE(ListProductComponents(kMachineV2, components));
    EXPECT_EQ(Sorted(components), Sorted({kMachineV2File, kMachineV2Registry}));
}

class TwoProductsShareAComponent : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Install(packages_, L"SharedLow", kSharedLow);
        Install(packages_, L"SharedHigh", kSharedHigh);
    }
    static void TearDownTestSuite() { packages_.clear(); }
    static inline Packages packages_;
};

TEST_F(TwoProductsShareAComponent, InstallerNamesOnlyOneOwner) {
    // The premise of the next two tests: ordinal 66 names SharedLow, never SharedHigh.
    EXPECT_EQ(OwnerNamedByInstaller(kSharedComponent), kSharedLow);
    PathList clients;
    ASSERT_TRUE(ListComponentClients(kSharedComponent, clients));
    EXPECT_EQ(Sorted(clients), Sorted({kSharedLow, kSharedHigh}));
}

TEST_F(TwoProductsShareAComponent, ProductNamedAsOwnerHasTheSharedComponent) {
    PathList components;
    ASSERT_TRUE(ListProductComponents(kSharedLow, components));
    EXPECT_EQ(Sorted(components), Sorted({kSharedLowFile, kSharedComponent}));
}

TEST_F(TwoProductsShareAComponent, ProductNotNamedAsOwnerStillHasTheSharedComponent) {
    PathList components;
    ASSERT_TRUE(ListProductComponents(kSharedHigh, components));
    EXPECT_EQ(Sorted(components), Sorted({kSharedHighFile, kSharedComponent}));
}

TEST_F(TwoProductsShareAComponent, SharedComponentIsSharedForBothOwnComponentsForNeither) {
    for (const std::wstring& product : {kSharedLow, kSharedHigh}) {
        bool shared = false;
        EXPECT_TRUE(IsComponentShared(kSharedComponent, product, shared));
        EXPECT_TRUE(shared);
    }
    bool shared = true;
    EXPECT_TRUE(IsComponentShared(kSharedHighFile, kSharedHigh, shared));
    EXPECT_FALSE(shared);
}

TEST_F(TwoProductsShareAComponent, PathsOfBothComponentsForTheProductNotNamedAsOwner) {
    const PathList paths = ComponentPaths({kSharedHighFile, kSharedComponent}, kSharedHigh);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_TRUE(EndsWith(paths[0], L"\\QuellorFixtureSharedHigh\\payload.txt")) << Utf8(paths[0]);
    EXPECT_TRUE(EndsWith(paths[1], L"\\QuellorFixtureShared\\shared.txt")) << Utf8(paths[1]);
}
