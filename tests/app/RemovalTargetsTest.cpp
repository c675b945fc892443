// The one target list: every candidate of the plan becomes a target, every registry target reaches the
// backup, and every target is looked for at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "app/endcheck/EndCheck.h"
#include "app/plan/RemovalTargets.h"
#include "tests/registry_storage/TestKeys.h"

namespace {

using namespace Quellor;
using QuellorTest::ScopedTestKey;
using QuellorTest::SetRawString;

// Every kind and every section of a target. A new one without its case here does not compile
// (-Werror=switch); with it, the tests below give it a target like every other.
std::vector<TargetKind> EveryKind() {
    std::vector<TargetKind> kinds;
    for (int value = 0;; ++value) {
        const auto kind = static_cast<TargetKind>(value);
        switch (kind) {
            case TargetKind::Process:
            case TargetKind::Service:
            case TargetKind::ComServer:
            case TargetKind::Key:
            case TargetKind::KeyWhenEmpty:
            case TargetKind::Value:
            case TargetKind::File:
            case TargetKind::Folder:
            case TargetKind::RemovedByOthers: kinds.push_back(kind); continue;
        }
        return kinds;
    }
}

std::vector<TargetSection> EverySection() {
    std::vector<TargetSection> sections;
    for (int value = 0;; ++value) {
        const auto section = static_cast<TargetSection>(value);
        switch (section) {
            case TargetSection::Processes:
            case TargetSection::Services:
            case TargetSection::ComServers:
            case TargetSection::MachineKeys:
            case TargetSection::UserKeys:
            case TargetSection::MachineValues:
            case TargetSection::SharedKeyValues:
            case TargetSection::RemovedByOthers:
            case TargetSection::InstallerPackages:
            case TargetSection::StartMenuFolders:
            case TargetSection::StartupShortcuts:
            case TargetSection::DesktopShortcuts:
            case TargetSection::UserSettingFolders:
            case TargetSection::UserSettingFiles:
            case TargetSection::InstallerInfoFolders:
            case TargetSection::ProgramFiles: sections.push_back(section); continue;
        }
        return sections;
    }
}

// The plan's members, every one: a member added to the plan does not compile here until it is named,
// and a list of things to delete belongs in `candidates`, which the plan below fills with one target of
// every kind in every section (registry ones below `keyBase`, each key named K<kind>S<section>).
RemovalPlan PlanOfEveryKindInEverySection(const std::wstring& keyBase, const std::wstring& fileBase) {
    RemovalPlan plan;
    [[maybe_unused]] auto& [productCode, candidates, programFolders, programFoldersKeptLine, protectedFolders, spared,
                            keptForOtherComponents, targets, resumedJournals, users] = plan;
    for (TargetKind kind : EveryKind()) {
        for (TargetSection section : EverySection()) {
            const std::wstring name =
                L"K" + std::to_wstring(static_cast<int>(kind)) + L"S" + std::to_wstring(static_cast<int>(section));
            Target target{kind, section, fileBase + name, {}, L""};
            if (target.IsRegistry()) {
                target.path = keyBase + name + L"\\";
                target.key = RegistryKeyAddress::Parse(target.path, Zento::Lithcore::NativeView());
                if (kind == TargetKind::Value) target.valueName = L"Setting";
            }
            candidates.push_back(target);
        }
    }
    return plan;
}

// One candidate of every kind and section, each with a path of its own, in the reverse of deletion
// order, one of them found twice.
RemovalPlan PlanWithEveryList(const std::wstring& keyBase, const std::wstring& fileBase) {
    using K = TargetKind;
    using S = TargetSection;
    const std::pair<K, S> files[] = {
        {K::File, S::InstallerPackages},      {K::Folder, S::StartMenuFolders},   {K::Folder, S::StartMenuFolders},
        {K::File, S::StartupShortcuts},       {K::File, S::StartupShortcuts},     {K::File, S::DesktopShortcuts},
        {K::File, S::DesktopShortcuts},       {K::Folder, S::UserSettingFolders}, {K::File, S::UserSettingFiles},
        {K::Folder, S::InstallerInfoFolders}, {K::Folder, S::ProgramFiles},       {K::File, S::ProgramFiles}};
    RemovalPlan plan;
    for (int index = 11; index >= 0; --index)
        AddCandidates(plan.candidates, {fileBase + std::to_wstring(index)}, files[index].first, files[index].second);
    AddCandidates(plan.candidates, {keyBase + L"Clsid\\", keyBase + L"Service\\"}, K::RemovedByOthers,
                  S::RemovedByOthers);
    AddCandidates(plan.candidates, {keyBase + L"Shared\\"}, K::KeyWhenEmpty, S::MachineKeys);
    AddValueCandidate(plan.candidates, keyBase + L"Shared\\", L"OwnPacked", S::SharedKeyValues);
    AddValueCandidate(plan.candidates, keyBase + L"Values\\", L"Setting", S::MachineValues);
    AddCandidates(plan.candidates, {keyBase + L"User\\"}, K::Key, S::UserKeys);
    AddCandidates(plan.candidates, {keyBase + L"Machine\\", keyBase + L"Machine\\"}, K::Key, S::MachineKeys);
    return plan;
}

TEST(RemovalTargets, EveryCandidateBecomesOneTargetInDeletionOrder) {
    const std::wstring base = L"HKEY_LOCAL_MACHINE\\Software\\QuellorPlan\\";
    TargetList targets = TargetsOf(PlanWithEveryList(base, L"C:\\plan\\"));

    std::vector<std::wstring> registry;
    for (const Target& target : targets)
        if (target.IsRegistry()) registry.push_back(target.path.substr(base.size()) + L"|" + target.valueName);
    // The shared key goes only after its value.
    const std::vector<std::wstring> expected = {L"Machine\\|",       L"User\\|",  L"Values\\|Setting",
                                                L"Shared\\|OwnPacked", L"Shared\\|", L"Clsid\\|",
                                                L"Service\\|"};
    EXPECT_EQ(registry, expected);
    ASSERT_EQ(targets.size(), 7u + 12u);
    // The file groups in their order, within a group in the order found (here the reverse).
    const int files[] = {0, 2, 1, 4, 3, 6, 5, 7, 8, 9, 11, 10};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(targets[7 + i].path, L"C:\\plan\\" + std::to_wstring(files[i])) << i;
    for (const Target& target : targets) {
        if (target.IsRegistry()) {
            EXPECT_TRUE(target.key.Valid()) << target.path;
        }
    }
    // A target taken up from an earlier removal: a key after the steps, a file at the end.
    TargetList resumed = {{TargetKind::Process, TargetSection::Processes, L"C:\\plan\\Ferrow.exe", {}, L""}};
    AddInDeletionOrder(resumed, targets.back());
    AddInDeletionOrder(resumed, targets.front());
    ASSERT_EQ(resumed.size(), 3u);
    EXPECT_EQ(resumed[1].path, targets.front().path);
    EXPECT_EQ(resumed[2].path, targets.back().path);
}

TEST(RemovalTargets, EveryRegistryTargetOfEveryKindAndSectionIsWrittenToTheBackup) {
    const std::wstring subKey = L"Software\\" + QuellorTest::TestKeyName() + L"-backup";
    const std::wstring base = L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    const RegistryView view = Zento::Lithcore::NativeView();
    const RemovalPlan plan = PlanOfEveryKindInEverySection(base, L"C:\\plan\\");
    for (const Target& candidate : plan.candidates) {
        if (!candidate.IsRegistry()) continue;
        SetRawString(HKEY_LOCAL_MACHINE, candidate.key.subKey, candidate.kind == TargetKind::Value ? L"Setting" : L"Marker",
                     candidate.path, view);
    }

    const TargetList targets = TargetsOf(plan);
    ASSERT_EQ(targets.size(), plan.candidates.size());
    Zento::Lithcore::RegistryExport backup;
    ASSERT_EQ(BackUpTargets(targets, backup), static_cast<DWORD>(ERROR_SUCCESS));
    const std::wstring text = backup.Text();
    for (const Target& target : targets) {
        if (!target.IsRegistry()) continue;
        const std::wstring section = L"[" + target.path.substr(0, target.path.size() - 1) + L"]\r\n";
        const std::wstring data = target.kind == TargetKind::Value ? L"\"Setting\"=" : L"\"Marker\"=";
        EXPECT_NE(text.find(section + data), std::wstring::npos) << target.path;
    }
    EXPECT_EQ(text.find(L"C:\\plan\\"), std::wstring::npos);
}

// The file table's presence query, answering "Windows would not tell" and remembering what it was asked.
std::set<std::wstring> g_filesAsked;

DWORD WINAPI AttributesDenied(LPCWSTR path) {
    g_filesAsked.insert(path);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
}

// Makes every registry target of the plan be there: a key that goes only when empty is empty.
void MakeEveryRegistryTarget(const TargetList& targets) {
    for (const Target& target : targets) {
        if (!target.IsRegistry()) continue;
        if (target.kind == TargetKind::KeyWhenEmpty)
            (void)QuellorTest::CreateRawKey(HKEY_LOCAL_MACHINE, target.key.subKey, target.key.view);
        else
            SetRawString(HKEY_LOCAL_MACHINE, target.key.subKey, target.kind == TargetKind::Value ? L"Setting" : L"Marker",
                         L"x", target.key.view);
    }
}

TEST(RemovalTargets, EveryTargetOfEveryKindAndSectionIsLookedForAtTheEndAndCountsWhileThere) {
    const std::wstring subKey = L"Software\\" + QuellorTest::TestKeyName() + L"-end";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    const RemovalPlan plan = PlanOfEveryKindInEverySection(L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\", L"C:\\plan\\");
    TargetList targets = TargetsOf(plan);
    ASSERT_EQ(targets.size(), plan.candidates.size());
    MakeEveryRegistryTarget(targets);
    Zento::Lithcore::System::FileApi denying = Zento::Lithcore::System::Files();
    denying.getFileAttributes = &AttributesDenied;
    const Zento::Lithcore::System::FileApi* previous = Zento::Lithcore::System::ReplaceFileApi(&denying);
    const PathList remaining = RemainingTargets(targets, {});
    std::set<std::wstring> scheduled = {std::ranges::find_if(targets, [](const Target& t) { return !t.IsStep(); })->path};
    const size_t remainingUnscheduled = RemainingTargets(targets, scheduled).size();
    Zento::Lithcore::System::ReplaceFileApi(previous);

    // What a process, the service or a server leaves is looked for as the keys and files beside it.
    const auto steps = std::ranges::count_if(targets, [](const Target& target) { return target.IsStep(); });
    EXPECT_EQ(remaining.size(), targets.size() - steps);
    for (const Target& target : targets) {
        if (target.IsStep()) continue;
        const bool listed = std::ranges::any_of(remaining, [&](const std::wstring& line) {
            return line.rfind(TargetText(target), 0) == 0;
        });
        EXPECT_TRUE(listed) << target.path;
        if (!target.IsRegistry()) {
            EXPECT_EQ(g_filesAsked.count(target.path), 1u) << target.path;
        }
    }
    // A file whose state Windows would not tell is named with the error; what goes at restart is not left.
    const auto files =
        std::ranges::count_if(targets, [](const Target& target) { return !target.IsRegistry() && !target.IsStep(); });
    EXPECT_EQ(std::ranges::count_if(remaining, [](const std::wstring& line) { return line.find(L"エラー 5") != line.npos; }),
              files);
    EXPECT_EQ(remainingUnscheduled, targets.size() - steps - 1);
}

// A key kept because another product still has something in it is no leftover, and it is not deleted.
TEST(RemovalTargets, AKeptSharedKeyIsNeitherLeftOverNorGone) {
    const std::wstring subKey = L"Software\\" + QuellorTest::TestKeyName() + L"-shared";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    const std::wstring key = L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\";
    SetRawString(HKEY_LOCAL_MACHINE, subKey, L"OthersPacked", L"x", Zento::Lithcore::NativeView());
    RemovalPlan plan;
    AddCandidates(plan.candidates, {key}, TargetKind::KeyWhenEmpty, TargetSection::MachineKeys);
    AddValueCandidate(plan.candidates, key, L"OwnPacked", TargetSection::SharedKeyValues);
    const TargetList targets = TargetsOf(plan);
    ASSERT_EQ(targets.size(), 2u);
    ASSERT_EQ(targets[1].kind, TargetKind::KeyWhenEmpty);
    EXPECT_TRUE(RemainingTargets(targets, {}).empty());
    EXPECT_TRUE(IsGone(targets[0])) << "its value went";
    EXPECT_FALSE(IsGone(targets[1])) << "the key stays";
}

}  // namespace
