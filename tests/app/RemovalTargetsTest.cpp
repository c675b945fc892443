// The one target list: every candidate of the plan becomes a target, every registry target reaches the
// backup, and every target is looked for at the end.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/plan/RemovalTargets.h"
#include "tests/registry_storage/TestKeys.h"

namespace {

using namespace Quellor;
using Zento::Lithcore::KeyState;
using Zento::Lithcore::PathPresence;
using QuellorTest::ScopedTestKey;
using QuellorTest::SetRawString;

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
}

TEST(RemovalTargets, EveryRegistryTargetIsWrittenToTheBackup) {
    const std::wstring subKey = L"Software\\" + QuellorTest::TestKeyName() + L"-backup";
    const std::wstring base = L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    const RegistryView view = Zento::Lithcore::NativeView();
    for (const wchar_t* key : {L"Machine", L"User", L"Clsid", L"Service"})
        SetRawString(HKEY_LOCAL_MACHINE, subKey + L"\\" + key, L"Marker", key, view);
    SetRawString(HKEY_LOCAL_MACHINE, subKey + L"\\Values", L"Setting", L"value-data", view);
    SetRawString(HKEY_LOCAL_MACHINE, subKey + L"\\Shared", L"OwnPacked", L"own-data", view);

    TargetList targets = TargetsOf(PlanWithEveryList(base, L"C:\\plan\\"));
    Zento::Lithcore::RegistryExport backup;
    ASSERT_EQ(BackUpTargets(targets, backup), static_cast<DWORD>(ERROR_SUCCESS));
    const std::wstring text = backup.Text();
    for (const Target& target : targets) {
        if (!target.IsRegistry()) continue;
        std::wstring section = L"[" + target.path.substr(0, target.path.size() - 1) + L"]";
        EXPECT_NE(text.find(section), std::wstring::npos) << target.path;
    }
    for (const wchar_t* data : {L"\"Setting\"=\"value-data\"", L"\"OwnPacked\"=\"own-data\"", L"\"Marker\"=\"Clsid\"",
                                L"\"Marker\"=\"Service\""})
        EXPECT_NE(text.find(data), std::wstring::npos) << data;
    EXPECT_EQ(text.find(L"C:\\plan\\"), std::wstring::npos);
}

// Answers "still there" for everything and remembers what it was asked.
class EverythingRemains : public TargetProbe {
public:
    KeyState StateOfKey(const RegistryKeyAddress& key) const override {
        asked.insert(key.path);
        return Zento::Lithcore::KeyState::Empty;
    }
    bool ValueExists(const RegistryKeyAddress& key, const std::wstring& name) const override {
        asked.insert(key.path + L"|" + name);
        return true;
    }
    PathPresence StateOfPath(const std::wstring& path) const override {
        asked.insert(path);
        return {true, ERROR_ACCESS_DENIED};
    }
    mutable std::set<std::wstring> asked;
};

TEST(RemovalTargets, EveryTargetIsLookedForAtTheEndAndCountsWhileThere) {
    const std::wstring base = L"HKEY_LOCAL_MACHINE\\Software\\QuellorPlan\\";
    TargetList targets = TargetsOf(PlanWithEveryList(base, L"C:\\plan\\"));
    EverythingRemains probe;
    PathList remaining = RemainingTargets(targets, probe, {});
    EXPECT_EQ(remaining.size(), targets.size());
    for (const Target& target : targets) {
        std::wstring asked = target.kind == TargetKind::Value ? target.path + L"|" + target.valueName : target.path;
        EXPECT_EQ(probe.asked.count(asked), 1u) << target.path;
    }
    // A file whose state Windows would not tell is named with the error; what goes at restart is not left.
    EXPECT_NE(remaining.back().find(L"エラー 5"), std::wstring::npos);
    std::set<std::wstring> scheduled = {L"C:\\plan\\0"};
    EXPECT_EQ(RemainingTargets(targets, probe, scheduled).size(), targets.size() - 1);
}

// A key kept because another product still has something in it is no leftover, and it is not deleted.
class SharedKeyKept : public TargetProbe {
public:
    KeyState StateOfKey(const RegistryKeyAddress&) const override { return KeyState::Holds; }
    bool ValueExists(const RegistryKeyAddress&, const std::wstring&) const override { return false; }
    PathPresence StateOfPath(const std::wstring&) const override { return {false, ERROR_SUCCESS}; }
};

TEST(RemovalTargets, AKeptSharedKeyIsNeitherLeftOverNorGone) {
    const std::wstring key = L"HKEY_USERS\\S-1-5-21-1\\Software\\Shared\\";
    RemovalPlan plan;
    AddCandidates(plan.candidates, {key}, TargetKind::KeyWhenEmpty, TargetSection::UserKeys);
    AddValueCandidate(plan.candidates, key, L"OwnPacked", TargetSection::SharedKeyValues);
    const TargetList targets = TargetsOf(plan);
    ASSERT_EQ(targets.size(), 2u);
    ASSERT_EQ(targets[1].kind, TargetKind::KeyWhenEmpty);
    const SharedKeyKept probe;
    EXPECT_TRUE(RemainingTargets(targets, probe, {}).empty());
    EXPECT_TRUE(IsGone(targets[0], probe)) << "its value went";
    EXPECT_FALSE(IsGone(targets[1], probe)) << "the key stays";
}

}  // namespace
