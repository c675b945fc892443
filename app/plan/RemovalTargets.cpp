#include "app/plan/RemovalTargets.h"

#include <algorithm>
#include <tuple>

#include "platform/FileSystem.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

void AddKeys(TargetList& into, const PathList& paths, TargetKind kind, TargetSection section, RegistryView view) {
    for (const std::wstring& path : paths) into.push_back({kind, section, path, RegistryKeyAddress::Parse(path, view), L""});
}

void AddPaths(TargetList& into, const PathList& paths, TargetKind kind, TargetSection section) {
    for (const std::wstring& path : paths) into.push_back({kind, section, path, {}, L""});
}

void AddValue(TargetList& into, const std::wstring& keyPath, const std::wstring& name, TargetSection section,
              RegistryView view) {
    into.push_back({TargetKind::Value, section, keyPath, RegistryKeyAddress::Parse(keyPath, view), name});
}

bool IsUserKey(const std::wstring& path) { return path.rfind(L"HKEY_USERS\\", 0) == 0; }

void AddRegistryTargets(TargetList& targets, const RemovalPlan& plan, RegistryView view) {
    AddKeys(targets, plan.machineKeys, TargetKind::Key, TargetSection::MachineKeys, view);
    AddKeys(targets, plan.userKeys, TargetKind::Key, TargetSection::UserKeys, view);
    for (const PlannedValue& value : plan.machineValues)
        AddValue(targets, value.keyPath, value.name, TargetSection::MachineValues, view);
    for (const OwnValueInSharedKey& own : plan.ownValuesInSharedKeys)
        AddValue(targets, own.keyPath, own.valueName, TargetSection::SharedKeyValues, view);
    // The shared keys go after their values, and only when nothing is left in them.
    for (const OwnValueInSharedKey& own : plan.ownValuesInSharedKeys) {
        TargetSection section = IsUserKey(own.keyPath) ? TargetSection::UserKeys : TargetSection::MachineKeys;
        AddKeys(targets, {own.keyPath}, TargetKind::KeyWhenEmpty, section, view);
    }
    AddKeys(targets, plan.comRegistrationKeys, TargetKind::RemovedByOthers, TargetSection::RemovedByOthers, view);
    AddKeys(targets, plan.serviceKeys, TargetKind::RemovedByOthers, TargetSection::RemovedByOthers, view);
}

void AddFileTargets(TargetList& targets, const RemovalPlan& plan) {
    const struct {
        const PathList& paths;
        TargetKind kind;
        TargetSection section;
    } groups[] = {
        {plan.installerPackages, TargetKind::File, TargetSection::InstallerPackages},
        {plan.startMenuFolders, TargetKind::Folder, TargetSection::StartMenuFolders},
        {plan.commonStartMenuFolders, TargetKind::Folder, TargetSection::StartMenuFolders},
        {plan.startupShortcuts, TargetKind::File, TargetSection::StartupShortcuts},
        {plan.commonStartupShortcuts, TargetKind::File, TargetSection::StartupShortcuts},
        {plan.desktopShortcuts, TargetKind::File, TargetSection::DesktopShortcuts},
        {plan.commonDesktopShortcuts, TargetKind::File, TargetSection::DesktopShortcuts},
        {plan.userSettingFolders, TargetKind::Folder, TargetSection::UserSettingFolders},
        {plan.userSettingFiles, TargetKind::File, TargetSection::UserSettingFiles},
        {plan.installerInfoFolders, TargetKind::Folder, TargetSection::InstallerInfoFolders},
        {plan.programFolderTargets, TargetKind::Folder, TargetSection::ProgramFiles},
        {plan.programFileTargets, TargetKind::File, TargetSection::ProgramFiles},
    };
    for (const auto& group : groups) AddPaths(targets, group.paths, group.kind, group.section);
}

LONG BackUp(const Target& target, Lc::RegistryExport& backup) {
    switch (target.kind) {
        case TargetKind::Key:
        case TargetKind::KeyWhenEmpty:
        case TargetKind::RemovedByOthers: return backup.AddKeyTree(target.key);
        case TargetKind::Value: return backup.AddValue(target.key, target.valueName);
        case TargetKind::File:
        case TargetKind::Folder: return ERROR_SUCCESS;
    }
    return ERROR_INVALID_PARAMETER;
}

// Whether the target counts as left over; `error` receives what made the answer unsure.
bool IsLeftOver(const Target& target, const TargetProbe& probe, DWORD& error) {
    error = ERROR_SUCCESS;
    switch (target.kind) {
        case TargetKind::Key:
        case TargetKind::RemovedByOthers: return probe.StateOfKey(target.key) != Lc::KeyState::Gone;
        // Kept while another product still has something in it.
        case TargetKind::KeyWhenEmpty: return probe.StateOfKey(target.key) == Lc::KeyState::Empty;
        case TargetKind::Value: return probe.ValueExists(target.key, target.valueName);
        case TargetKind::File:
        case TargetKind::Folder: {
            Lc::PathPresence presence = probe.StateOfPath(target.path);
            error = presence.present ? presence.error : ERROR_SUCCESS;
            return presence.present;
        }
    }
    return true;
}

// The searches may find one thing twice (one folder through two users' shell folders, say): it is one target.
TargetList Once(const TargetList& targets) {
    TargetList once;
    std::set<std::tuple<TargetKind, std::wstring, std::wstring>> seen;
    for (const Target& target : targets)
        if (seen.insert({target.kind, target.path, target.valueName}).second) once.push_back(target);
    return once;
}

}  // namespace

TargetList TargetsOf(const RemovalPlan& plan) {
    TargetList targets;
    AddRegistryTargets(targets, plan, Lc::NativeView());
    AddFileTargets(targets, plan);
    return Once(targets);
}

void AddInDeletionOrder(TargetList& targets, const Target& target) {
    // Registry targets go before every file target, later ones after earlier ones.
    auto at = target.IsRegistry() ? std::find_if(targets.begin(), targets.end(), [](const Target& t) { return !t.IsRegistry(); })
                                  : targets.end();
    targets.insert(at, target);
}

std::wstring TargetIdentity(const Target& target) {
    const std::wstring path = Lc::FoldedName(target.path);
    // A key that goes whole is one target however it goes; one that goes only when empty is another.
    const TargetKind kind = target.kind == TargetKind::RemovedByOthers ? TargetKind::Key : target.kind;
    return std::to_wstring(static_cast<int>(kind)) + L"|" + path + L"|" + target.valueName;
}

std::wstring TargetText(const Target& target) {
    if (target.kind == TargetKind::Value) return target.path + L"\r\n - エントリ: 「" + target.valueName + L"」";
    return target.path;
}

DWORD BackUpTargets(const TargetList& targets, Lc::RegistryExport& backup) {
    for (const Target& target : targets) {
        LONG result = BackUp(target, backup);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(result);
    }
    return ERROR_SUCCESS;
}

Lc::KeyState MachineProbe::StateOfKey(const RegistryKeyAddress& key) const { return Lc::RegistryKeyState(key); }

bool MachineProbe::ValueExists(const RegistryKeyAddress& key, const std::wstring& name) const {
    return Lc::RegistryValueExists(key, name);
}

Lc::PathPresence MachineProbe::StateOfPath(const std::wstring& path) const { return Lc::QueryPathPresence(path); }

bool IsGone(const Target& target, const TargetProbe& probe) {
    switch (target.kind) {
        case TargetKind::Key:
        case TargetKind::KeyWhenEmpty:
        case TargetKind::RemovedByOthers: return probe.StateOfKey(target.key) == Lc::KeyState::Gone;
        case TargetKind::Value: return !probe.ValueExists(target.key, target.valueName);
        case TargetKind::File:
        case TargetKind::Folder: return !probe.StateOfPath(target.path).present;
    }
    return false;
}

PathList RemainingTargets(const TargetList& targets, const TargetProbe& probe,
                          const std::set<std::wstring>& scheduledTargets) {
    PathList remaining;
    for (const Target& target : targets) {
        if (scheduledTargets.count(target.path) != 0) continue;
        DWORD error = ERROR_SUCCESS;
        if (!IsLeftOver(target, probe, error)) continue;
        std::wstring line = TargetText(target);
        if (error != ERROR_SUCCESS) line += L"\r\n - エラー " + std::to_wstring(error);
        remaining.push_back(line);
    }
    return remaining;
}

}  // namespace Quellor
