#include "app/ResumedRemoval.h"

#include <cwctype>
#include <regex>
#include <set>

#include "app/OtherProductsFiles.h"
#include "files/FileRemoval.h"
#include "platform/FileSystem.h"
#include "registry/ComSettingsRegistry.h"
#include "registry/Names.h"
#include "registry/RegistryTargets.h"
#include "registry/RegistryWalk.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

enum class Family { None, Plain, Clsid, AppId, Vendor, SharedInstaller, Service };

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring Quoted(const std::wstring& text) {
    static const std::wstring special = L"\\^$.|?*+()[]{}";
    std::wstring out;
    for (wchar_t c : text) {
        if (special.find(c) != std::wstring::npos) out += L'\\';
        out += c;
    }
    return out;
}

std::wstring Packed(const std::wstring& guid) {
    std::wstring packed;
    Lc::PackGuid(guid, packed);
    return packed;
}

std::wstring AnyOf(const PathList& names) {
    std::wstring alternatives;
    for (const std::wstring& name : names)
        if (!name.empty()) alternatives += (alternatives.empty() ? L"" : L"|") + Quoted(name);
    return alternatives.empty() ? L"(?!)" : L"(?:" + alternatives + L")";
}

// The product's key families, as patterns over full key paths ending in "\".
class KeyFamilies {
public:
    KeyFamilies(const Settings& profile, const std::wstring& productCode) {
        const std::wstring machine = L"HKEY_LOCAL_MACHINE\\\\Software\\\\(?:Wow6432Node\\\\)?";
        const std::wstring user = L"HKEY_USERS\\\\[^\\\\]+\\\\Software\\\\(?:Wow6432Node\\\\)?";
        const std::wstring product = AnyOf({productCode});
        const std::wstring packed = AnyOf({Packed(productCode)});
        const std::wstring upgrade = AnyOf({Packed(profile.UPGRADECODE)});
        const std::wstring vendor = Quoted(profile.CUSTOMER) + L"\\\\Velkor\\\\(?:.+\\\\)?";
        const std::wstring current = machine + L"Microsoft\\\\Windows\\\\CurrentVersion\\\\";
        Add(Family::Plain, current + L"Uninstall\\\\" + product + L"\\\\");
        Add(Family::Plain, current + L"Installer\\\\UserData\\\\[^\\\\]+\\\\Products\\\\" + packed + L"\\\\");
        Add(Family::Plain, machine + L"Classes\\\\Installer\\\\(?:Products|Features)\\\\" + packed + L"\\\\");
        Add(Family::Plain, user + L"Microsoft\\\\Installer\\\\(?:Products|Features)\\\\" + packed + L"\\\\");
        Add(Family::SharedInstaller, current + L"Installer\\\\UserData\\\\[^\\\\]+\\\\Components\\\\[0-9A-F]{32}\\\\");
        Add(Family::SharedInstaller, current + L"Installer\\\\UpgradeCodes\\\\" + upgrade + L"\\\\");
        Add(Family::SharedInstaller, machine + L"Classes\\\\Installer\\\\UpgradeCodes\\\\" + upgrade + L"\\\\");
        Add(Family::SharedInstaller, user + L"Microsoft\\\\Installer\\\\UpgradeCodes\\\\" + upgrade + L"\\\\");
        Add(Family::Clsid, machine + L"Classes\\\\CLSID\\\\" +
                               AnyOf({profile.FERROW_CLSID, profile.FERROWPS_CLSID, profile.VENTREL_CLSID,
                                      profile.TERRION_CLSID, profile.TERRIONPS_CLSID, profile.NOVEX_CLSID,
                                      profile.NOVEXPS_CLSID}) + L"\\\\");
        Add(Family::Clsid, machine + L"Classes\\\\Interface\\\\" + AnyOf({profile.NOVEXPS_CLSID}) + L"\\\\");
        Add(Family::AppId, machine + L"Classes\\\\AppID\\\\\\{[0-9A-F-]{36}\\}\\\\");
        Add(Family::Vendor, machine + vendor);
        Add(Family::Vendor, user + vendor);
        Add(Family::Service, L"HKEY_LOCAL_MACHINE\\\\System\\\\CurrentControlSet\\\\Services\\\\" +
                                 AnyOf({profile.TERRION_SERVICE_NAME}) + L"\\\\");
    }

    Family Of(const std::wstring& keyPath) const {
        for (const auto& [family, pattern] : patterns_)
            if (std::regex_match(keyPath, pattern)) return family;
        return Family::None;
    }

private:
    void Add(Family family, const std::wstring& pattern) {
        patterns_.emplace_back(family, std::wregex(pattern, std::regex::icase | std::regex::ECMAScript));
    }
    std::vector<std::pair<Family, std::wregex>> patterns_;
};

// AppIDs that CLSID keys other than the product's name, read once when an AppID key is to be judged.
class ForeignAppIds {
public:
    explicit ForeignAppIds(const Settings& profile)
        : ours_({Upper(profile.FERROW_CLSID), Upper(profile.FERROWPS_CLSID), Upper(profile.VENTREL_CLSID),
                 Upper(profile.TERRION_CLSID), Upper(profile.TERRIONPS_CLSID), Upper(profile.NOVEX_CLSID),
                 Upper(profile.NOVEXPS_CLSID)}) {}

    bool Names(const std::wstring& appId) {
        if (!read_) Read();
        return named_.count(Upper(appId)) != 0;
    }

private:
    void Read() {
        read_ = true;
        const Lc::RegistryView view = Lc::NativeView();
        PathList bases{L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\"};
        if (Lc::HasWow64Node(view)) bases.push_back(L"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\CLSID\\");
        for (const std::wstring& base : bases)
            for (const std::wstring& clsid : Lc::SubkeysOf(view, base)) {
                if (ours_.count(Upper(clsid)) != 0) continue;
                std::wstring appId;
                if (Lc::ReadStringValue(view, base + clsid + L"\\", L"AppID", appId)) named_.insert(Upper(appId));
            }
    }
    std::set<std::wstring> ours_;
    std::set<std::wstring> named_;
    bool read_ = false;
};

// The last key name of a path ending in "\".
std::wstring LastName(const std::wstring& keyPath) {
    std::wstring trimmed = keyPath.substr(0, keyPath.size() - 1);
    return trimmed.substr(trimmed.find_last_of(L'\\') + 1);
}

bool HoldsOnlyValue(const Lc::RegistryKeyAddress& key, const std::wstring& ownValue) {
    Lc::System::RegistryStorageEx storage(key.path, key.view);
    if (!storage.IsOpen() || !storage.EnumKeys(L"").empty()) return false;
    for (const std::wstring& name : storage.EnumValues(L""))
        if (!Lc::NamesEqual(name, ownValue)) return false;
    return true;
}

bool IsStillThere(const JournalEntry& entry) {
    if (!entry.hasView) return Lc::PathMatchesAnything(entry.path);
    Lc::RegistryKeyAddress key = Lc::RegistryKeyAddress::Parse(entry.path, entry.view);
    if (entry.kind == TargetKind::Value) return Lc::RegistryValueExists(key, entry.valueName);
    return Lc::RegistryKeyExists(key);
}

std::wstring ExtensionOf(const std::wstring& path) {
    size_t dot = path.find_last_of(L'.');
    size_t slash = path.find_last_of(L'\\');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
    return Upper(path.substr(dot));
}

std::wstring FolderOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

const wchar_t kNotProducts[] = L"Mirevoのレジストリとして知られた場所にないため削除しません。";
const wchar_t kOthersInKey[] = L"他の製品の登録を含むため削除しません。";
const wchar_t kProtected[] = L"システムやユーザーのフォルダを含むため削除しません。";
const wchar_t kOthersFile[] = L"他の製品のコンポーネントのファイルのため削除しません。";

class Guard {
public:
    Guard(const Settings& profile, const RemovalPlan& plan, const PathList& keptForOthers)
        : families_(profile, plan.productCode), appIds_(profile), ownValue_(Packed(plan.productCode)),
          protected_(plan.protectedFolders), kept_(keptForOthers) {}

    // Empty when the entry may join the plan (as `resumed`), else why not.
    std::wstring Judge(const JournalEntry& entry, ResumedTarget& resumed) {
        resumed = {ResumedKind::File, entry.path, entry.valueName};
        return entry.hasView ? JudgeKey(entry, resumed) : JudgePath(entry, resumed);
    }

private:
    std::wstring JudgeKey(const JournalEntry& entry, ResumedTarget& resumed) {
        if (entry.view != Lc::NativeView() || entry.path.empty() || entry.path.back() != L'\\') return kNotProducts;
        const Family family = families_.Of(entry.path);
        const Lc::RegistryKeyAddress key = Lc::RegistryKeyAddress::Parse(entry.path, entry.view);
        switch (entry.kind) {
            case TargetKind::Value:
                resumed.kind = ResumedKind::Value;
                if (family == Family::Vendor) return L"";
                if (family == Family::SharedInstaller && Lc::NamesEqual(entry.valueName, ownValue_)) return L"";
                return family == Family::SharedInstaller ? kOthersInKey : kNotProducts;
            case TargetKind::KeyWhenEmpty:
                resumed.kind = ResumedKind::KeyWhenEmpty;
                return family == Family::None || family == Family::Service ? kNotProducts : L"";
            case TargetKind::Key:
            case TargetKind::RemovedByOthers:
                resumed.kind = ResumedKind::Key;
                switch (family) {
                    case Family::Plain:
                    case Family::Clsid:
                    case Family::Vendor: return L"";
                    case Family::SharedInstaller: return HoldsOnlyValue(key, ownValue_) ? L"" : kOthersInKey;
                    case Family::AppId:
                        return appIds_.Names(LastName(entry.path)) ? L"他の製品のCOMコンポーネントが使用しているため削除しません。" : L"";
                    case Family::Service: return L"サービスの登録はサービスマネージャーが削除するため対象にしません。";
                    case Family::None: return kNotProducts;
                }
                return kNotProducts;
            default: return kNotProducts;
        }
    }

    std::wstring JudgePath(const JournalEntry& entry, ResumedTarget& resumed) {
        if (!Lc::HasDriveOrUncPrefix(entry.path)) return L"パスが正しくないため削除しません。";
        if (!protected_) return kProtected;
        if (entry.kind == TargetKind::Folder) {
            resumed.kind = ResumedKind::Folder;
            if (!Lc::IsDeletableFolder(entry.path, *protected_)) return kProtected;
            for (const std::wstring& kept : kept_)
                if (IsAtOrBelow(kept, entry.path)) return L"他の製品のコンポーネントのファイルを含むため削除しません。";
            return L"";
        }
        resumed.kind = ResumedKind::File;
        for (const std::wstring& kept : kept_)
            if (IsAtOrBelow(entry.path, kept) || Upper(FolderOf(kept)) == Upper(FolderOf(entry.path))) return kOthersFile;
        const std::wstring extension = ExtensionOf(entry.path);
        if (extension == L".LNK" || extension == L".MSI") return L"";
        return Lc::IsDeletableFolder(FolderOf(entry.path), *protected_) ? L"" : kProtected;
    }

    KeyFamilies families_;
    ForeignAppIds appIds_;
    std::wstring ownValue_;
    const std::optional<PathList>& protected_;
    const PathList& kept_;
};

std::wstring Identity(bool registry, const std::wstring& path, const std::wstring& valueName) {
    return (registry ? L"R|" : L"P|") + Upper(path) + L"|" + valueName;
}

std::wstring EntryText(const JournalEntry& entry) {
    if (entry.kind == TargetKind::Value) return entry.path + L"\r\n - エントリ: 「" + entry.valueName + L"」";
    return entry.path;
}

void Show(Report& report, const std::wstring& heading, const PathList& lines) {
    if (lines.empty()) return;
    report.PrintLine(heading);
    report.PrintLines(lines);
    report.PrintLine(L"");
}

}  // namespace

PathList FoldersOfEarlierTargets(const EarlierJournals& earlier) {
    PathList folders;
    for (const EarlierJournal& journal : earlier.unfinished)
        for (const JournalEntry& entry : journal.entries) {
            if (entry.kind == TargetKind::Folder) folders.push_back(entry.path);
            if (entry.kind == TargetKind::File) folders.push_back(FolderOf(entry.path));
        }
    return folders;
}

void TakeUpEarlierRemovals(Report& report, const Settings& profile, RemovalPlan& plan, const EarlierJournals& earlier,
                           const PathList& keptForOthers) {
    if (earlier.unfinished.empty() && earlier.ignored.empty()) return;
    std::set<std::wstring> planned;
    for (const Target& target : TargetsOf(plan)) planned.insert(Identity(target.IsRegistry(), target.path, target.valueName));
    Guard guard(profile, plan, keptForOthers);
    PathList taken;
    PathList refused;
    for (const EarlierJournal& journal : earlier.unfinished) {
        plan.resumedJournals.push_back(journal.path);
        for (const JournalEntry& entry : journal.entries) {
            if (!planned.insert(Identity(entry.hasView, entry.path, entry.valueName)).second) continue;
            if (!IsStillThere(entry)) continue;
            ResumedTarget resumed;
            std::wstring refusal = guard.Judge(entry, resumed);
            if (!refusal.empty()) {
                refused.push_back(EntryText(entry) + L"\r\n - " + refusal);
                continue;
            }
            plan.resumedTargets.push_back(resumed);
            taken.push_back(EntryText(entry));
        }
    }
    if (!plan.resumedJournals.empty()) {
        report.PrintLine(L"前回の強制削除が完了していなかった記録を確認しました。");
        report.LogLines(plan.resumedJournals);
        report.PrintLine(L"");
    }
    Show(report, L"[前回の強制削除から引き継いで削除する項目]", taken);
    Show(report, L"[前回の強制削除の記録にあったが削除しない項目]", refused);
    Show(report, L"[使用しなかった強制削除の記録]", earlier.ignored);
}

}  // namespace Quellor
