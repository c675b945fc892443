#include "app/plan/RemovalTargets.h"

#include <algorithm>
#include <set>

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

// A key that goes only when empty goes after every value, for the target's own value in it goes first.
int DeletionRank(const Target& target) {
    if (target.kind == TargetKind::KeyWhenEmpty) return 2 * static_cast<int>(TargetSection::SharedKeyValues) + 1;
    return 2 * static_cast<int>(target.section);
}

LONG BackUp(const Target& target, Lc::RegistryExport& backup) {
    switch (target.kind) {
        case TargetKind::Key:
        case TargetKind::KeyWhenEmpty:
        case TargetKind::RemovedByOthers: return backup.AddKeyTree(target.key);
        case TargetKind::Value: return backup.AddValue(target.key, target.valueName);
        case TargetKind::Process:
        case TargetKind::Service:
        case TargetKind::ComServer:  // the keys they remove are backed up as targets of their own
        case TargetKind::File:
        case TargetKind::Folder: return ERROR_SUCCESS;
    }
    return ERROR_INVALID_PARAMETER;
}

}  // namespace

TargetList TargetsOf(const RemovalPlan& plan) {
    TargetList sorted = plan.candidates;
    std::ranges::stable_sort(sorted, {}, DeletionRank);
    // The searches may find one thing twice (one folder through two users' shell folders, say, or one key
    // under two spellings): it is one target, by the identity the resume and the end check go by.
    TargetList once;
    std::set<std::wstring> seen;
    for (const Target& target : sorted)
        if (seen.insert(TargetIdentity(target)).second) once.push_back(target);
    return once;
}

void AddCandidates(TargetList& into, const PathList& paths, TargetKind kind, TargetSection section) {
    for (const std::wstring& path : paths) {
        Target candidate{kind, section, path, {}, L""};
        if (candidate.IsRegistry()) candidate.key = RegistryKeyAddress::Parse(path, Lc::NativeView());
        into.push_back(candidate);
    }
}

void AddValueCandidate(TargetList& into, const std::wstring& keyPath, const std::wstring& name, TargetSection section) {
    into.push_back({TargetKind::Value, section, keyPath, RegistryKeyAddress::Parse(keyPath, Lc::NativeView()), name});
}

void AddInDeletionOrder(TargetList& targets, const Target& target) {
    // Registry targets go after the steps and the registry targets and before every file target, later
    // ones after earlier ones.
    const auto isFile = [](const Target& t) { return !t.IsRegistry() && !t.IsStep(); };
    auto at = target.IsRegistry() ? std::find_if(targets.begin(), targets.end(), isFile) : targets.end();
    targets.insert(at, target);
}

std::wstring TargetIdentity(const Target& target) {
    const std::wstring path = target.IsRegistry() ? target.key.Identity() : Lc::FoldedName(target.path);
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

bool IsGone(const Target& target) {
    switch (target.kind) {
        case TargetKind::Key:
        case TargetKind::KeyWhenEmpty:
        case TargetKind::RemovedByOthers:
        case TargetKind::Service:
        case TargetKind::ComServer: return Lc::RegistryKeyState(target.key) == Lc::KeyState::Gone;
        case TargetKind::Process: return true;  // a process leaves nothing behind but its program, a file target
        case TargetKind::Value: return !Lc::RegistryValueExists(target.key, target.valueName);
        case TargetKind::File:
        case TargetKind::Folder: return !Lc::QueryPathPresence(target.path).present;
    }
    return false;
}

}  // namespace Quellor
