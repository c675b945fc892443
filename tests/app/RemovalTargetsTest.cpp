// The one target list: every list of the plan becomes targets, every registry target reaches the
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

// One entry in every list of the plan, each with a path of its own.
RemovalPlan PlanWithEveryList(const std::wstring& keyBase, const std::wstring& fileBase) {
    RemovalPlan plan;
    plan.machineKeys = {keyBase + L"Machine\\"};
    plan.userKeys = {keyBase + L"User\\"};
    plan.machineValues = {{keyBase + L"Values\\", L"Setting"}};
    plan.ownValuesInSharedKeys = {{keyBase + L"Shared\\", L"OwnPacked"}};
    plan.comRegistrationKeys = {keyBase + L"Clsid\\"};
    plan.serviceKeys = {keyBase + L"Service\\"};
    PathList* lists[] = {&plan.installerPackages,     &plan.startMenuFolders,   &plan.commonStartMenuFolders,
                         &plan.startupShortcuts,      &plan.commonStartupShortcuts, &plan.desktopShortcuts,
                         &plan.commonDesktopShortcuts, &plan.userSettingFolders, &plan.userSettingFiles,
                         &plan.installerInfoFolders,  &plan.programFolderTargets, &plan.programFileTargets};
    int index = 0;
    for (PathList* list : lists) list->push_back(fileBase + std::to_wstring(index++));
    return plan;
}

TEST(RemovalTargets, EveryListOfThePlanBecomesTargetsOfItsKindInDeletionOrder) {
    const std::wstring base = L"HKEY_LOCAL_MACHINE\\Software\\QuellorPlan\\";
    TargetList targets = TargetsOf(PlanWithEveryList(base, L"C:\\plan\\"));

    std::map<std::wstring, TargetKind> kinds;
    for (const Target& target : targets) kinds[target.path + L"|" + target.valueName] = target.kind;
    EXPECT_EQ(kinds[base + L"Machine\\|"], TargetKind::Key);
    EXPECT_EQ(kinds[base + L"User\\|"], TargetKind::Key);
    EXPECT_EQ(kinds[base + L"Values\\|Setting"], TargetKind::Value);
    EXPECT_EQ(kinds[base + L"Shared\\|OwnPacked"], TargetKind::Value);
    EXPECT_EQ(kinds[base + L"Shared\\|"], TargetKind::KeyWhenEmpty);
    EXPECT_EQ(kinds[base + L"Clsid\\|"], TargetKind::RemovedByOthers);
    EXPECT_EQ(kinds[base + L"Service\\|"], TargetKind::RemovedByOthers);
    for (int index = 0; index < 12; ++index)
        EXPECT_EQ(kinds.count(L"C:\\plan\\" + std::to_wstring(index) + L"|"), 1u) << index;
    EXPECT_EQ(targets.size(), 7u + 12u);

    // The registry goes first, the shared key only after its value; the file groups keep their order.
    for (size_t i = 1; i < targets.size(); ++i) {
        EXPECT_FALSE(!targets[i - 1].IsRegistry() && targets[i].IsRegistry()) << i;
        if (!targets[i].IsRegistry()) {
            EXPECT_LE(targets[i - 1].section, targets[i].section) << i;
        }
    }
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
    RemovalPlan plan;
    plan.ownValuesInSharedKeys = {{L"HKEY_USERS\\S-1-5-21-1\\Software\\Shared\\", L"OwnPacked"}};
    const TargetList targets = TargetsOf(plan);
    ASSERT_EQ(targets.size(), 2u);
    ASSERT_EQ(targets[1].kind, TargetKind::KeyWhenEmpty);
    const SharedKeyKept probe;
    EXPECT_TRUE(RemainingTargets(targets, probe, {}).empty());
    EXPECT_TRUE(IsGone(targets[0], probe)) << "its value went";
    EXPECT_FALSE(IsGone(targets[1], probe)) << "the key stays";
}

}  // namespace
