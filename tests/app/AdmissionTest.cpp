#include <gtest/gtest.h>

#include <windows.h>

#include "app/admission/Admission.h"
#include "app/Phases.h"
#include "app/Profile.h"
#include "app/plan/RemovalTargets.h"
#include "app/resume/ResumedRemoval.h"
#include "files/DeletablePaths.h"
#include "files/ShellFolders.h"
#include "platform/Environment.h"
#include "settings/TextConversion.h"
#include "registry/Names.h"
#include "registry/RegistryApi.h"
#include "tests/registry_storage/TestKeys.h"
#include "tests/support/TestSupport.h"

using namespace Quellor;
namespace Lc = Zento::Lithcore;

namespace {

constexpr wchar_t kProduct[] = L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}";  // the stand-in's 1.0.14.0

class SilentOutput : public ConsoleOutput {
public:
    void Write(const std::wstring&) override {}
};
class NoInput : public ConsoleInput {
public:
    int ReadChar() override { return kEnd; }
};

std::wstring Packed(const std::wstring& guid) {
    std::wstring packed;
    Lc::PackGuid(guid, packed);
    return packed;
}

bool CopyInto(const std::wstring& from, const std::wstring& to) { return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE; }

LSTATUS WINAPI ValueNameNeverFits(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return ERROR_MORE_DATA;
}

Target KeyTarget(TargetKind kind, const std::wstring& path, TargetSection section = TargetSection::MachineKeys) {
    return {kind, section, path, RegistryKeyAddress::Parse(path, Lc::NativeView()), L""};
}

Target PathTarget(TargetKind kind, const std::wstring& path, TargetSection section) {
    return {kind, section, path, {}, L""};
}

// Things on the test machine that the candidates name, made for the test and removed after it.
class CandidatesOnTheMachine : public testing::Test {
protected:
    void SetUp() override {
        windows_ = Lc::GetSpecialFolderPath(0x24);
        programFiles_ = Lc::GetSpecialFolderPath(Lc::IsWow64() ? 0x2A : 0x26);
        documents_ = Lc::GetSpecialFolderPath(0x05);
        ASSERT_FALSE(windows_.empty());
        ::CreateDirectoryW((windows_ + L"\\Installer").c_str(), nullptr);
        ownPackage_ = windows_ + L"\\Installer\\quellortest-own.msi";
        otherPackage_ = windows_ + L"\\Installer\\quellortest-other.msi";
        ASSERT_TRUE(CopyInto(QUELLOR_STANDIN_MSI_DIR L"\\Mirevo-1.0.14.0.msi", ownPackage_));
        ASSERT_TRUE(CopyInto(QUELLOR_STANDIN_MSI_DIR L"\\Corvane-before.msi", otherPackage_));
        otherVendor_ = programFiles_ + L"\\QuellorTestVendor\\App";
        ownFolder_ = ProgramFolderCandidates(profile_)[0];
        finance_ = documents_ + L"\\QuellorTestFinance";
        for (const std::wstring& folder : {programFiles_ + L"\\QuellorTestVendor", otherVendor_, ownFolder_.substr(0, ownFolder_.rfind(L'\\')), ownFolder_, finance_})
            ::CreateDirectoryW(folder.c_str(), nullptr);
        upgradeKey_ = L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\" + Packed(profile_.UPGRADECODE);
        QuellorTest::SetRawString(HKEY_LOCAL_MACHINE, upgradeKey_, Packed(kProduct), L"", Lc::NativeView());
    }
    void TearDown() override {
        ::DeleteFileW(ownPackage_.c_str());
        ::DeleteFileW(otherPackage_.c_str());
        for (const std::wstring& folder : {otherVendor_, programFiles_ + L"\\QuellorTestVendor", finance_, ownFolder_})
            ::RemoveDirectoryW(folder.c_str());
        QuellorTest::DeleteRawTree(HKEY_LOCAL_MACHINE, upgradeKey_, Lc::NativeView());
    }

    Settings profile_ = BuildDefaultSettings();
    std::wstring windows_, programFiles_, documents_, ownPackage_, otherPackage_, otherVendor_, ownFolder_, finance_,
        upgradeKey_;
};

}  // namespace

// The collection and the resume ask one rule: every candidate that a journal names is taken up exactly
// when the same candidate found by a search is admitted.
TEST_F(CandidatesOnTheMachine, SearchAndJournalGetTheSameAnswer) {
    const std::wstring upgradeKeyPath = L"HKEY_LOCAL_MACHINE\\" + upgradeKey_ + L"\\";
    const TargetList candidates = {
        PathTarget(TargetKind::File, ownPackage_, TargetSection::InstallerPackages),
        PathTarget(TargetKind::File, otherPackage_, TargetSection::InstallerPackages),
        PathTarget(TargetKind::Folder, ownFolder_, TargetSection::ProgramFiles),
        PathTarget(TargetKind::Folder, otherVendor_, TargetSection::ProgramFiles),
        PathTarget(TargetKind::Folder, finance_, TargetSection::ProgramFiles),
        KeyTarget(TargetKind::Key, upgradeKeyPath),
    };
    const bool expected[] = {true, false, true, false, false, false};
    QuellorTest::ScratchFolder folder;
    Lc::TextFile log = Lc::TextFile::CreateNewForWriting(folder / L"log.txt");
    SilentOutput console;
    NoInput input;
    Report report(console, input, log);

    const TargetAdmission admission(profile_, {kProduct, profile_.PRODUCTNAME, Lc::ReadProtectedFolders(), {}});
    // The upgrade code's key holds only the product's value, but its listing does not run to its end.
    Lc::System::RegistryApi failing = Lc::System::Registry();
    failing.enumValue = &ValueNameNeverFits;
    const Lc::System::RegistryApi* previous = Lc::System::ReplaceRegistryApi(&failing);
    RemovalPlan plan;
    plan.productCode = kProduct;
    TakeUpEarlierRemovals(report, admission, plan, {{{L"C:\\removal_test.txt", candidates}}, {}});
    for (size_t i = 0; i < candidates.size(); ++i) {
        const bool searched = admission.Judge(candidates[i]).admitted;
        bool resumed = false;
        for (const Target& taken : plan.targets) resumed = resumed || TargetIdentity(taken) == TargetIdentity(candidates[i]);
        EXPECT_EQ(searched, expected[i]) << Lc::ToUtf8(candidates[i].path);
        EXPECT_EQ(resumed, searched) << Lc::ToUtf8(candidates[i].path);
    }
    Lc::System::ReplaceRegistryApi(previous);
    // With a listing that runs to its end, the key that holds only the product's value goes whole.
    EXPECT_TRUE(admission.Judge(candidates.back()).admitted);
    EXPECT_FALSE(admission.Judge({TargetKind::Key, TargetSection::MachineKeys, upgradeKeyPath,
                                  RegistryKeyAddress::Parse(upgradeKeyPath, Lc::NativeView() == RegistryView::Bits64
                                                                                ? RegistryView::Bits32
                                                                                : RegistryView::Bits64),
                                  L""})
                     .admitted)
        << "a key named in the other view";
}

// A local server's file name below AppID goes only with the product's own AppID: not with one that
// another CLSID names too, and not when it names no AppID at all.
TEST_F(CandidatesOnTheMachine, AppIdOfAnExeGoesOnlyWithTheProductsAppId) {
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring own = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A99}";
    const std::wstring shared = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A98}";
    const std::wstring productClsid = ProductClsids(profile_)[0];
    const std::wstring otherClsid = L"{0D1E2F30-4A5B-4C6D-8E9F-A0B1C2D3E4F5}";
    QuellorTest::SetRawString(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + productClsid, L"AppID", own, Lc::NativeView());
    const std::wstring secondClsid = ProductClsids(profile_)[1];
    for (const std::wstring& clsid : {secondClsid, otherClsid})
        QuellorTest::SetRawString(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + clsid, L"AppID", shared, Lc::NativeView());
    const std::pair<std::wstring, std::wstring> exes[] = {
        {L"QuellorTestOwn.exe", own}, {L"QuellorTestShared.exe", shared}, {L"QuellorTestNoId.exe", L"..\\CLSID"}};
    for (const auto& [exe, appId] : exes)
        QuellorTest::SetRawString(HKEY_LOCAL_MACHINE, classes + L"AppID\\" + exe, L"AppID", appId, Lc::NativeView());

    const TargetAdmission admission(profile_, {kProduct, profile_.PRODUCTNAME, Lc::ReadProtectedFolders(), {}});
    const bool expected[] = {true, false, false};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(admission.Judge(KeyTarget(TargetKind::Key, L"HKEY_LOCAL_MACHINE\\" + classes + L"AppID\\" + exes[i].first + L"\\"))
                      .admitted,
                  expected[i])
            << Lc::ToUtf8(exes[i].first);

    for (const auto& [exe, appId] : exes) QuellorTest::DeleteRawTree(HKEY_LOCAL_MACHINE, classes + L"AppID\\" + exe, Lc::NativeView());
    for (const std::wstring& clsid : {productClsid, secondClsid, otherClsid})
        QuellorTest::DeleteRawTree(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + clsid, Lc::NativeView());
}
