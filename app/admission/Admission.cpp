#include "app/admission/Admission.h"

#include <shlobj.h>

#include <regex>
#include <set>

#include "app/Phases.h"
#include "app/Profile.h"
#include "files/DeletablePaths.h"
#include "files/ShellFolders.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "registry/InstallerQueries.h"
#include "registry/InstallerRegistry.h"
#include "registry/Names.h"
#include "registry/PatchRegistrations.h"
#include "registry/RegistryWalk.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr wchar_t kClsidBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\";

const wchar_t kNotProducts[] = L"Mirevoのレジストリとして知られた場所にないため削除しません。";
const wchar_t kOthersInKey[] = L"他の製品の登録を含むため削除しません。";
const wchar_t kNotProductsFile[] = L"Mirevoのファイルとして知られた場所にないため削除しません。";
const wchar_t kProtected[] = L"システムやユーザーのフォルダを含むため削除しません。";
const wchar_t kNoProtectedList[] = L"システムやユーザーのフォルダを確認できなかったため削除しません。";
const wchar_t kOthersFile[] = L"他の製品のコンポーネントのファイルのため削除しません。";
const wchar_t kOthersInFolder[] = L"他の製品のコンポーネントのファイルを含むため削除しません。";
const wchar_t kOthersCom[] = L"他の製品のCOMコンポーネントが使用しているため削除しません。";
const wchar_t kNotProductsCom[] = L"MirevoのCOMコンポーネントの登録ではないため削除しません。";
const wchar_t kNotProductsPatch[] = L"Mirevoだけに適用されたパッチではないため削除しません。";
const wchar_t kService[] = L"サービスの登録はサービスマネージャーが削除するため対象にしません。";

std::wstring Quoted(const std::wstring& text) {
    static const std::wregex special(LR"([\\^$.|?*+()\[\]{}])");
    return std::regex_replace(text, special, L"\\$&");
}

std::wstring AnyOf(const PathList& names) {
    std::wstring alternatives;
    for (const std::wstring& name : names)
        if (!name.empty()) alternatives += (alternatives.empty() ? L"" : L"|") + Quoted(name);
    return alternatives.empty() ? L"(?!)" : L"(?:" + alternatives + L")";
}

enum class Family { None, Plain, SharedInstaller, Patch, Clsid, Interface, TypeLib, AppId, AppIdOfExe, ProgId, Vendor, Service };

// The product's key families, as patterns over full key paths ending in "\". The searches list every key
// in the native view; a 32-bit key by its Wow6432Node spelling.
class KeyFamilies {
public:
    KeyFamilies(const Settings& profile, const std::wstring& productCode) {
        const std::wstring software = L"HKEY_LOCAL_MACHINE\\\\Software\\\\";
        const std::wstring machine = software + L"(?:Wow6432Node\\\\)?";
        const std::wstring classes = software + L"(?:Wow6432Node\\\\Classes|Classes(?:\\\\Wow6432Node)?)\\\\";
        const std::wstring user = L"HKEY_USERS\\\\[^\\\\]+\\\\Software\\\\(?:Wow6432Node\\\\)?";
        const std::wstring product = AnyOf({productCode});
        const std::wstring packed = AnyOf({Packed(productCode)});
        const std::wstring upgrade = AnyOf({Packed(profile.UPGRADECODE)});
        const std::wstring vendor = Quoted(profile.CUSTOMER) + L"\\\\Velkor\\\\(?:.+\\\\)?";
        const std::wstring current = machine + L"Microsoft\\\\Windows\\\\CurrentVersion\\\\";
        const std::wstring managed = current + L"Installer\\\\Managed\\\\[^\\\\]+\\\\Installer\\\\";
        const std::wstring guid = L"\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}";
        Add(Family::Plain, current + L"Uninstall\\\\" + product + L"\\\\");
        Add(Family::Plain, current + L"Installer\\\\UserData\\\\[^\\\\]+\\\\Products\\\\" + packed + L"\\\\");
        Add(Family::Plain, classes + L"Installer\\\\(?:Products|Features)\\\\" + packed + L"\\\\");
        Add(Family::Plain, user + L"Microsoft\\\\Installer\\\\(?:Products|Features)\\\\" + packed + L"\\\\");
        Add(Family::Plain, managed + L"(?:Products|Features)\\\\" + packed + L"\\\\");
        Add(Family::SharedInstaller, current + L"Installer\\\\UserData\\\\[^\\\\]+\\\\Components\\\\[0-9A-F]{32}\\\\");
        Add(Family::SharedInstaller, current + L"Installer\\\\UpgradeCodes\\\\" + upgrade + L"\\\\");
        Add(Family::SharedInstaller, classes + L"Installer\\\\UpgradeCodes\\\\" + upgrade + L"\\\\");
        Add(Family::SharedInstaller, user + L"Microsoft\\\\Installer\\\\UpgradeCodes\\\\" + upgrade + L"\\\\");
        Add(Family::SharedInstaller, managed + L"UpgradeCodes\\\\" + upgrade + L"\\\\");
        // A patch's own keys; whose patch it is, the installer's product registrations say.
        const std::wstring packedAny = L"[0-9A-F]{32}";
        Add(Family::Patch, classes + L"Installer\\\\Patches\\\\" + packedAny + L"\\\\");
        Add(Family::Patch, current + L"Installer\\\\UserData\\\\[^\\\\]+\\\\Patches\\\\" + packedAny + L"\\\\");
        Add(Family::Patch, user + L"Microsoft\\\\Installer\\\\Patches\\\\" + packedAny + L"\\\\");
        Add(Family::Patch, managed + L"Patches\\\\" + packedAny + L"\\\\");
        Add(Family::Clsid, classes + L"CLSID\\\\" + AnyOf(ProductClsids(profile)) + L"\\\\");
        Add(Family::Clsid, classes + L"Interface\\\\" + AnyOf({profile.NOVEXPS_CLSID}) + L"\\\\");
        Add(Family::Interface, classes + L"Interface\\\\" + guid + L"\\\\");
        Add(Family::TypeLib, classes + L"TypeLib\\\\" + guid + L"\\\\");
        Add(Family::AppId, classes + L"AppID\\\\" + guid + L"\\\\");
        // A local server's own name below AppID, whose AppID value names its AppID key.
        Add(Family::AppIdOfExe, classes + L"AppID\\\\[^\\\\{][^\\\\]*\\\\");
        Add(Family::Vendor, machine + vendor);
        Add(Family::Vendor, user + vendor);
        Add(Family::Service, L"HKEY_LOCAL_MACHINE\\\\System\\\\CurrentControlSet\\\\Services\\\\" +
                                 AnyOf({profile.TERRION_SERVICE_NAME}) + L"\\\\");
        // A ProgID is one name right below Classes; what it holds says whose it is.
        Add(Family::ProgId, classes + L"[^\\\\{][^\\\\]*\\\\");
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

// The last key name of a path ending in "\".
std::wstring LastName(const std::wstring& keyPath) {
    std::wstring trimmed = keyPath.substr(0, keyPath.size() - 1);
    return trimmed.substr(trimmed.find_last_of(L'\\') + 1);
}

std::wstring WithoutTrailingSlashes(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring RefusalText(Lc::PathRefusal refusal) {
    switch (refusal) {
        case Lc::PathRefusal::None: break;
        case Lc::PathRefusal::BadPath: return L"パスが正しくないため削除しません。";
        case Lc::PathRefusal::Protected: return kProtected;
        case Lc::PathRefusal::ThroughLink: return L"他のユーザーが作成したリンクの先にあるため削除しません。";
        case Lc::PathRefusal::LocalShare: return L"このコンピューターの共有フォルダを経由するパスのため削除しません。";
    }
    return kProtected;
}

// A place of the product's files: what lies at or below `base` (or only `base` itself) is the section's.
struct Place {
    std::wstring base;
    TargetSection folders;
    TargetSection files;
    bool exact;
};

}  // namespace

class TargetAdmission::Rules {
public:
    Rules(const Settings& profile, AdmissionFacts facts)
        : profile_(profile), facts_(std::move(facts)), families_(profile, facts_.productCode),
          ownValue_(Packed(facts_.productCode)), clsids_(ProductClsids(profile)), view_(Lc::NativeView()) {
        windows_ = Lc::GetSpecialFolderPath(CSIDL_WINDOWS);
        std::erase(clsids_, L"");  // a CLSID the profile leaves empty names no key
        ReadPlaces();
    }

    Verdict Judge(const Target& candidate) const {
        if (candidate.kind == TargetKind::Process) {
            // Ended, never deleted: a program named by its full path.
            return Lc::HasDriveOrUncPrefix(candidate.path) ? Admit(TargetSection::Processes)
                                                           : Refuse(RefusalText(Lc::PathRefusal::BadPath));
        }
        return candidate.IsRegistry() || candidate.IsStep() ? JudgeKey(candidate) : JudgePath(candidate);
    }

private:
    static Verdict Admit(TargetSection section) { return {true, section, L""}; }
    static Verdict Refuse(const std::wstring& reason) { return {false, TargetSection::MachineKeys, reason}; }

    // ---- the registry ----

    Verdict JudgeKey(const Target& candidate) const {
        const std::wstring& path = candidate.key.path;
        if (!candidate.key.Valid() || candidate.key.view != view_ || path.empty() || path.back() != L'\\')
            return Refuse(kNotProducts);
        const TargetSection keys = path.rfind(L"HKEY_USERS\\", 0) == 0 ? TargetSection::UserKeys : TargetSection::MachineKeys;
        const Family family = families_.Of(path);
        switch (candidate.kind) {
            case TargetKind::Value:
                if (family == Family::Vendor) return Admit(TargetSection::MachineValues);
                if (family != Family::SharedInstaller) return Refuse(kNotProducts);
                return Lc::NamesEqual(candidate.valueName, ownValue_) ? Admit(TargetSection::SharedKeyValues)
                                                                      : Refuse(kOthersInKey);
            case TargetKind::KeyWhenEmpty:
                return family == Family::SharedInstaller ? Admit(keys) : Refuse(kNotProducts);
            case TargetKind::Key: return JudgeWholeKey(family, path, keys);
            case TargetKind::RemovedByOthers:
                if (family == Family::Service) return Admit(TargetSection::RemovedByOthers);
                if (family == Family::SharedInstaller || family == Family::Plain || family == Family::Vendor)
                    return Refuse(kNotProducts);
                return JudgeWholeKey(family, path, TargetSection::RemovedByOthers);
            case TargetKind::Service:
                return family == Family::Service ? Admit(TargetSection::Services) : Refuse(kNotProducts);
            case TargetKind::ComServer:  // the server of one of the product's CLSIDs, named by its key
                return family == Family::Clsid && Lc::NamesEqual(LastName(path), candidate.valueName)
                           ? Admit(TargetSection::ComServers)
                           : Refuse(kNotProductsCom);
            case TargetKind::Process:
            case TargetKind::File:
            case TargetKind::Folder: break;
        }
        return Refuse(kNotProducts);
    }

    Verdict JudgeWholeKey(Family family, const std::wstring& path, TargetSection section) const {
        switch (family) {
            case Family::Plain:
            case Family::Clsid:
            case Family::Vendor: return Admit(section);
            case Family::SharedInstaller: return JudgeSharedKey(path, section);
            case Family::Patch: return OwnPatchNamed(LastName(path)) ? Admit(section) : Refuse(kNotProductsPatch);
            case Family::Interface: return ServesProduct(path, L"ProxyStubClsid32\\") ? Admit(section) : Refuse(kNotProductsCom);
            case Family::ProgId: return ServesProduct(path, L"CLSID\\") ? Admit(section) : Refuse(kNotProductsCom);
            case Family::TypeLib: return JudgeTypeLib(path, section);
            case Family::AppId: return JudgeAppId(path, section);
            case Family::AppIdOfExe: return JudgeAppIdOfExe(path, section);
            case Family::Service: return Refuse(kService);
            case Family::None: return Refuse(kNotProducts);
        }
        return Refuse(kNotProducts);
    }

    // The product's patches that no other product has: read once, on the first question.
    const std::vector<Lc::ProductPatch>& OwnPatches() const {
        if (!patchesRead_) {
            patchesRead_ = true;
            for (Lc::ProductPatch& patch : Lc::FindProductPatches(view_, ownValue_))
                if (patch.otherProducts.empty()) ownPatches_.push_back(std::move(patch));
        }
        return ownPatches_;
    }

    bool OwnPatchNamed(const std::wstring& packedPatch) const {
        for (const Lc::ProductPatch& patch : OwnPatches())
            if (Lc::NamesEqual(patch.packedCode, packedPatch)) return true;
        return false;
    }

    bool OwnPatchPackage(const std::wstring& path) const {
        for (const Lc::ProductPatch& patch : OwnPatches())
            for (const std::wstring& package : patch.localPackages)
                if (Lc::SamePath(package, path)) return true;
        return false;
    }

    // A key that may name other products goes whole only while the listing shows nothing but ours.
    Verdict JudgeSharedKey(const std::wstring& path, TargetSection section) const {
        Lc::KeySharing sharing;
        LONG read = Lc::ReadKeySharing(view_, path, ownValue_, sharing);
        if (read == ERROR_FILE_NOT_FOUND || (read == ERROR_SUCCESS && !sharing.Shared())) return Admit(section);
        if (read != ERROR_SUCCESS)
            return Refuse(L"一覧を取得できなかったため削除しません。(" + Lc::Win32ErrorText(static_cast<DWORD>(read)) + L")");
        return Refuse(kOthersInKey);
    }

    // An Interface key whose proxy, or a ProgID whose class, is one of the product's CLSIDs.
    bool ServesProduct(const std::wstring& path, const std::wstring& subkey) const {
        const std::optional<std::wstring> clsid = Lc::ReadStringValue(view_, path + subkey, L"");
        return clsid && Lc::HoldsName(clsids_, *clsid);
    }

    // Whether one of the product's CLSID keys, in the native or the 32-bit Classes key, names `id`.
    bool NamedByProduct(const std::wstring& subkey, const std::wstring& valueName, const std::wstring& id) const {
        for (const std::wstring& base : Lc::MachineSoftwareBases(view_, kClsidBase))
            for (const std::wstring& clsid : clsids_) {
                const auto named = Lc::ReadStringValue(view_, base + clsid + L"\\" + subkey, valueName);
                if (named && Lc::NamesEqual(*named, id)) return true;
            }
        return false;
    }

    Verdict JudgeTypeLib(const std::wstring& path, TargetSection section) const {
        const std::wstring libId = LastName(path);
        if (OtherClsidNames(foreignTypeLibs_, libId)) return Refuse(kOthersCom);
        return NamedByProduct(L"TypeLib\\", L"", libId) ? Admit(section) : Refuse(kNotProductsCom);
    }

    // An AppID is the product's when one of its CLSIDs names it, or it runs the product's service; never
    // while another CLSID names it.
    Verdict JudgeAppId(const std::wstring& path, TargetSection section) const {
        const std::wstring appId = LastName(path);
        if (OtherClsidNames(foreignAppIds_, appId)) return Refuse(kOthersCom);
        const auto service = Lc::ReadStringValue(view_, path, L"LocalService");
        const std::wstring& ours = profile_.TERRION_SERVICE_NAME;
        const bool runsService = !ours.empty() && service && Lc::NamesEqual(*service, ours);
        return runsService || NamedByProduct(L"", L"AppID", appId) ? Admit(section) : Refuse(kNotProductsCom);
    }

    // An executable's name below AppID goes with the AppID it names, and only then.
    Verdict JudgeAppIdOfExe(const std::wstring& path, TargetSection section) const {
        const auto appId = Lc::ReadStringValue(view_, path, L"AppID");
        const bool braced = appId && appId->size() == 38 && appId->front() == L'{' && appId->back() == L'}' &&
                            appId->find(L'\\') == std::wstring::npos;
        if (!braced) return Refuse(kNotProductsCom);
        const std::wstring appIds = path.substr(0, path.size() - LastName(path).size() - 1);
        return JudgeAppId(appIds + *appId + L"\\", section);
    }

    // Whether a CLSID key other than the product's names `id`: its AppID value, or its TypeLib key's
    // default. One walk over every CLSID key, on the first question, answers both.
    bool OtherClsidNames(const std::set<std::wstring>& named, const std::wstring& id) const {
        if (!othersRead_) ReadOtherClsids();
        return named.count(Lc::FoldedName(id)) != 0;
    }

    void ReadOtherClsids() const {
        othersRead_ = true;
        for (const std::wstring& base : Lc::MachineSoftwareBases(view_, kClsidBase))
            for (const std::wstring& clsid : Lc::SubkeysOf(view_, base)) {
                if (Lc::HoldsName(clsids_, clsid)) continue;
                if (const auto appId = Lc::ReadStringValue(view_, base + clsid + L"\\", L"AppID"))
                    foreignAppIds_.insert(Lc::FoldedName(*appId));
                if (const auto libId = Lc::ReadStringValue(view_, base + clsid + L"\\TypeLib\\", L""))
                    foreignTypeLibs_.insert(Lc::FoldedName(*libId));
            }
    }

    // ---- files and folders ----

    void ReadPlaces() {
        // A folder whose files and folders are one section's.
        auto add = [&](const std::wstring& base, TargetSection section) { places_.push_back({base, section, section, false}); };
        for (const std::wstring& folder : ProgramFolderCandidates(profile_)) add(folder, TargetSection::ProgramFiles);
        for (const std::wstring& folder : Lc::EveryUserShellFolder(view_, L"AppData")) {
            places_.push_back({folder + L"\\" + profile_.CUSTOMER + L"\\Velkor", TargetSection::UserSettingFolders,
                               TargetSection::UserSettingFiles, false});
            add(folder + L"\\Microsoft\\Installer\\" + facts_.productCode, TargetSection::InstallerInfoFolders);
        }
        if (!windows_.empty()) {
            add(windows_ + L"\\Installer\\" + facts_.productCode, TargetSection::InstallerInfoFolders);
            add(PatchCacheFolder(windows_, facts_.productCode), TargetSection::InstallerInfoFolders);
        }
        AddShellPlaces(L"Programs", L"Common Programs", MenuFolderNames(profile_, facts_.displayName), L"",
                       TargetSection::StartMenuFolders, false);
        const PathList shortcuts = ShortcutNames(profile_, facts_.displayName);
        AddShellPlaces(L"Startup", L"Common Startup", shortcuts, L".lnk", TargetSection::StartupShortcuts, true);
        AddShellPlaces(L"Desktop", L"Common Desktop", shortcuts, L".lnk", TargetSection::DesktopShortcuts, true);
    }

    // Each name below every user's shell folder and the all-users one.
    void AddShellPlaces(const wchar_t* user, const wchar_t* common, const PathList& names, const wchar_t* suffix,
                        TargetSection section, bool exact) {
        PathList folders = Lc::EveryUserShellFolder(view_, user);
        for (const std::wstring& folder : Lc::CommonShellFolder(view_, common)) folders.push_back(folder);
        for (const std::wstring& folder : folders)
            for (const std::wstring& name : names)
                if (Lc::IsSafeSubPath(name))
                    places_.push_back({folder + L"\\" + name + suffix, section, section, exact});
    }

    const Place* PlaceOf(const std::wstring& path) const {
        for (const Place& place : places_)
            if (place.exact ? Lc::SamePath(path, place.base) : Lc::IsAtOrBelow(path, place.base)) return &place;
        return nullptr;
    }

    // A package in the installer's cache is the product's when the package itself says so.
    std::optional<Verdict> JudgeCachedPackage(const std::wstring& path) const {
        if (windows_.empty()) return std::nullopt;
        const bool patch = Lc::IsCachedPatchPackage(path, windows_);
        if (!patch && !Lc::IsCachedInstallerPackage(path, windows_)) return std::nullopt;
        if (!Lc::QueryPathPresence(path).present) return Refuse(L"ファイルが見つからないため削除の対象にしません。");
        if (patch) return OwnPatchPackage(path) ? Admit(TargetSection::InstallerPackages) : Refuse(kNotProductsPatch);
        std::wstring code;
        if (!Lc::GetPackageProductCode(path, code)) return Refuse(L"製品コードを読み取れないインストーラーファイルのため削除しません。");
        if (!Lc::NamesEqual(code, facts_.productCode))
            return Refuse(L"他の製品（" + code + L"）のインストーラーファイルのため削除しません。");
        return Admit(TargetSection::InstallerPackages);
    }

    Verdict JudgePath(const Target& candidate) const {
        const bool folder = candidate.kind == TargetKind::Folder;
        const std::wstring path = WithoutTrailingSlashes(candidate.path);
        if (!Lc::HasDriveOrUncPrefix(path)) return Refuse(RefusalText(Lc::PathRefusal::BadPath));
        if (!facts_.protectedFolders) return Refuse(kNoProtectedList);
        TargetSection section = TargetSection::InstallerPackages;
        bool inProtectedPlace = true;  // shortcuts and packages lie in folders that are themselves kept
        if (const std::optional<Verdict> package = folder ? std::nullopt : JudgeCachedPackage(path)) {
            if (!package->admitted) return *package;
        } else {
            const Place* place = PlaceOf(path);
            if (place == nullptr) return Refuse(kNotProductsFile);
            section = folder ? place->folders : place->files;
            inProtectedPlace = place->exact;
        }
        const Lc::PathRefusal refusal = Lc::JudgeDeletablePath(path, folder, *facts_.protectedFolders);
        if (refusal != Lc::PathRefusal::None && !(refusal == Lc::PathRefusal::Protected && inProtectedPlace))
            return Refuse(RefusalText(refusal));
        for (const std::wstring& kept : facts_.keptPaths) {
            if (kept.empty()) continue;
            if (!folder && Lc::IsAtOrBelow(path, kept)) return Refuse(kOthersFile);
            if (folder && Lc::IsAtOrBelow(kept, path)) return Refuse(kOthersInFolder);
        }
        return Admit(section);
    }

    const Settings& profile_;
    AdmissionFacts facts_;
    KeyFamilies families_;
    std::wstring ownValue_;
    PathList clsids_;
    Lc::RegistryView view_;
    std::wstring windows_;
    std::vector<Place> places_;
    mutable std::set<std::wstring> foreignAppIds_;
    mutable std::set<std::wstring> foreignTypeLibs_;
    mutable bool othersRead_ = false;
    mutable std::vector<Lc::ProductPatch> ownPatches_;
    mutable bool patchesRead_ = false;
};

TargetAdmission::TargetAdmission(const Zento::Lithcore::Settings& profile, AdmissionFacts facts)
    : rules_(std::make_unique<Rules>(profile, std::move(facts))) {}

TargetAdmission::~TargetAdmission() = default;

Verdict TargetAdmission::Judge(const Target& candidate) const { return rules_->Judge(candidate); }

}  // namespace Quellor
