// The collection: finds every trace of the product and reports it. Nothing is changed here.
#include "app/collection/OtherProductsFiles.h"
#include "app/Phases.h"
#include "app/admission/Admission.h"
#include "app/plan/RemovalTargets.h"
#include "app/resume/ResumedRemoval.h"
#include "files/ShellFolders.h"
#include "files/DeletablePaths.h"
#include "platform/Environment.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "processes/ChildProcess.h"
#include "processes/Processes.h"
#include "processes/Services.h"
#include "registry/ComRegistrations.h"
#include "registry/ComponentRegistrations.h"
#include "registry/InstallerQueries.h"
#include "registry/InstallerRegistry.h"
#include "registry/Names.h"
#include "registry/PatchRegistrations.h"
#include "registry/RegistryKeys.h"

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>

namespace Quellor {

namespace Lc = Zento::Lithcore;

std::wstring Packed(const std::wstring& guid) {
    std::wstring packed;
    Lc::PackGuid(guid, packed);
    return packed;
}

namespace {

// Filled with emplace, never by assignment: a key keeps the first value found for it.
using WideMap = std::map<std::wstring, std::wstring>;

// What one collection phase hands to a later one; the removal needs none of it.
struct Findings {
    std::wstring displayName;
    PathList componentPaths;        // from the components, for the settings search
    PathList sharedComponentCodes;  // from the components, for the shared components' keys and keepers
    PathList sharedComponentPaths;
    PathList sharedWithoutPath;  // shared components whose path could not be read: no program folder goes
    PathList unreadComponents;   // component registrations not read to their end: no program folder goes
    WideMap sharedByPath;        // comparable path -> component code
    WideMap ownByPath;
    WideMap clsidToServer;       // the server's path as its registration names it
    WideMap clsidToKey;
    std::set<std::wstring> unregistered;  // the CLSIDs whose servers are unregistered
    bool removesService = false;  // the service's server is the product's own, or the service outlived it
    PathList settingsNames;      // from the settings search, for the per-user setting files
    EarlierJournals earlier;     // unfinished removals of the product, taken up when the plan is complete
    std::map<std::wstring, PathList> otherProductsKeyFiles;  // from the components, for the program folders' plan
    PathList keptPaths;  // the shared components' files, and other products' files with the files beside them
    PathList interfaceKeys;      // the NovexPS server's, which its unregistration leaves behind

    bool Unregisters(const std::wstring& clsid) const { return unregistered.count(clsid) != 0; }
};

constexpr wchar_t kUninstallBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kClassesInstaller[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer\\";
constexpr wchar_t kUpgradeCodesBase[] =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\";
constexpr wchar_t kClsidBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\";
constexpr wchar_t kAppIdBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\AppID\\";
constexpr wchar_t kInterfaceBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Interface\\";

// The program-files folder by WOW64 state: the 32-bit one under WOW64.
std::wstring ProgramFilesFolder(bool wow64) {
    return Lc::GetSpecialFolderPath(wow64 ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES);
}

void Append(PathList& into, const PathList& paths) { into.insert(into.end(), paths.begin(), paths.end()); }

// The paths of the candidates in a section, but for keys that go only when empty.
PathList CandidatePaths(const RemovalPlan& plan, TargetSection section) {
    PathList paths;
    for (const Target& candidate : plan.candidates)
        if (candidate.section == section && candidate.kind != TargetKind::KeyWhenEmpty) paths.push_back(candidate.path);
    return paths;
}

// The products a shared key's other values name: packed codes as braced codes, other names as they are.
PathList NamedProducts(const PathList& valueNames) {
    PathList products;
    for (const std::wstring& name : valueNames) {
        std::wstring code;
        products.push_back(Lc::UnpackGuid(name, code) ? code : name);
    }
    return products;
}

bool IsSpared(const RemovalPlan& plan, const std::wstring& item) {
    return std::ranges::any_of(plan.spared, [&](const SparedItem& spared) { return spared.item == item; });
}

// Of found installer keys, those that serve the target alone are returned to be deleted whole. A key that
// also names another product keeps it: only the target's value is planned for deletion. A key whose
// listing failed may name another product too: it is kept, and the log names it with the error.
PathList KeysOfTargetAlone(RemovalPlan& plan, const PathList& found) {
    const std::wstring ownValue = Packed(plan.productCode);
    PathList alone;
    for (const std::wstring& key : found) {
        Lc::KeySharing sharing;
        LONG read = Lc::ReadKeySharing(Lc::NativeView(), key, ownValue, sharing);
        if (read == ERROR_FILE_NOT_FOUND || (read == ERROR_SUCCESS && !sharing.Shared())) {
            alone.push_back(key);
            continue;
        }
        if (IsSpared(plan, key)) continue;  // the installer may list a component twice
        if (read != ERROR_SUCCESS) {
            const std::wstring why = Lc::Win32ErrorText(static_cast<DWORD>(read));
            plan.spared.push_back({key, {L"（一覧を取得できませんでした: " + why + L"）"}});
            continue;
        }
        if (sharing.hasOwnValue) {
            AddValueCandidate(plan.candidates, key, sharing.ownValueName, TargetSection::SharedKeyValues);
            AddCandidates(plan.candidates, {key}, TargetKind::KeyWhenEmpty,
                          key.rfind(L"HKEY_USERS\\", 0) == 0 ? TargetSection::UserKeys : TargetSection::MachineKeys);
        }
        plan.spared.push_back({key, NamedProducts(sharing.otherValues)});
    }
    return alone;
}

// The folder alone when it is there, nothing otherwise.
PathList IfFolder(const std::wstring& path) { return Lc::IsFolder(path) ? PathList{path} : PathList{}; }

// Found keys join the candidates; installer keys that may name other products as well only as far as
// they are the target's alone.
void AddKeys(RemovalPlan& plan, const PathList& found, TargetSection section, bool sharable) {
    AddCandidates(plan.candidates, sharable ? KeysOfTargetAlone(plan, found) : found, TargetKind::Key, section);
}

// A search's finds reported under its label; they join the candidates.
void AddFound(Report& report, RemovalPlan& plan, const std::wstring& label, bool any, const PathList& found,
              TargetKind kind, TargetSection section) {
    report.ReportSearch(label, any, found);
    AddCandidates(plan.candidates, found, kind, section);
}

// Where a key search looks: below a machine key, in every loaded user hive's installer keys, or in the
// installer's machine keys of per-user-managed installs.
enum class KeysIn { Machine, Users, Managed };

struct KeySearch {
    const wchar_t* label;
    KeysIn where;
    std::wstring base;  // the machine key below which `name` is searched, or the installer's kind of key
    std::wstring name;
    bool sharable = false;  // an installer key that may name other products as well
};

// Key searches in order, each reported under its label.
void SearchKeys(Report& report, RemovalPlan& plan, std::initializer_list<KeySearch> searches) {
    const Lc::RegistryView view = Lc::NativeView();
    for (const auto& [label, where, base, name, sharable] : searches) {
        PathList found;
        bool any = where == KeysIn::Machine ? Lc::CollectKeyPaths(view, base, name, found)
                   : where == KeysIn::Users ? Lc::CollectUserInstallerKeys(view, name, base, found)
                                            : Lc::CollectManagedInstallerKeys(view, name, base, found);
        report.ReportSearch(label, any, found);
        AddKeys(plan, found, where == KeysIn::Users ? TargetSection::UserKeys : TargetSection::MachineKeys, sharable);
    }
}

PathList OtherClients(const std::wstring& componentCode, const std::wstring& productCode) {
    PathList clients;
    Lc::ListComponentClients(componentCode, clients);
    std::erase_if(clients, [&](const std::wstring& client) { return Lc::NamesEqual(client, productCode); });
    return clients;
}

// Checks that the product's installation is registered. 0 to go on, -1 to end the run.
int CheckInstallation(Report& report, const Settings& profile, const RemovalPlan& plan) {
    report.PrintLine(L"削除対象プログラムのインストール・アンインストールレジストリの検索を開始します...");
    report.PrintLine(L"インストール情報が登録されているMirevoの製品コードを確認します...");
    PathList others;
    bool registered = false;
    Lc::FindRelatedProducts(profile.UPGRADECODE, plan.productCode, others, registered);

    if (registered) {
        report.PrintLine(L"削除対象のMirevoの製品コードと一致しました。");
        if (others.empty()) {
            report.PrintLine(plan.productCode);
            report.PrintLine(L"");
            return 0;
        }
        report.PrintLine(L"関連する以下の製品の強制削除は行わず、削除対象のMirevoの処理のみ行います。");
    } else {
        report.PrintLine(L"削除対象のMirevoの製品コードが見つかりませんでした。");
        report.PrintLine(L"削除対象のMirevoのインストール情報が壊れている可能性があります。");
        if (others.empty())
            return AskToContinue(report, L"このまま削除対象のMirevoのファイル・レジストリの検索・削除処理を続行しますか？");
        report.PrintLine(L"関連する以下の製品が見つかりましたが、削除対象のMirevoの製品コードと一致しませんでした。");
    }
    report.PrintLines(others);
    report.PrintLine(L"");
    report.PrintLine(registered ? L"Enterで続行" : kEnterToEnd);
    report.WaitForEnter();
    if (!registered) return -1;
    report.OperatorGoesOn();
    return 0;
}

// A LocalPackage value is only data in the registry: only a package in the installer's own cache folder
// is deleted; any other path is reported and left.
void PlanCachedPackages(Report& report, const PathList& packages, RemovalPlan& plan) {
    const std::wstring windows = Lc::GetSpecialFolderPath(CSIDL_WINDOWS);
    PathList cached;
    PathList elsewhere;
    for (const std::wstring& package : packages)
        (!windows.empty() && Lc::IsCachedInstallerPackage(package, windows) ? cached : elsewhere).push_back(package);
    AddCandidates(plan.candidates, cached, TargetKind::File, TargetSection::InstallerPackages);
    if (elsewhere.empty()) return;
    report.PrintLine(L"インストーラーのキャッシュフォルダ以外にあるインストーラーファイルは削除しません（一覧はログに出力しました）。");
    report.LogSection(L"[インストーラーのキャッシュフォルダ以外にあるため削除しないファイル]", elsewhere);
}

// The product's installer registrations: Uninstall, user data and Classes\Installer products.
void CollectProductRegistrations(Report& report, const Settings& profile, RemovalPlan& plan, Findings& found) {
    if (!Lc::GetProductName(plan.productCode, found.displayName) || found.displayName.empty())
        found.displayName = profile.PRODUCTNAME;
    SearchKeys(report, plan, {{L"「プログラムの追加と削除」情報のレジストリ", KeysIn::Machine, kUninstallBase, plan.productCode}});

    std::wstring packedProduct = Packed(plan.productCode);
    PathList userData;
    bool any = Lc::CollectUserDataKeys(Lc::NativeView(), packedProduct, L"Products", userData);
    PathList packages;
    if (any) Lc::CollectLocalPackages(Lc::NativeView(), userData, L"InstallProperties", L"LocalPackage", packages);
    AddFound(report, plan, L"アンインストーラー情報のレジストリ", any, userData, TargetKind::Key, TargetSection::MachineKeys);
    PlanCachedPackages(report, packages, plan);

    SearchKeys(report, plan,
               {{L"Usersのアンインストーラー情報のレジストリ", KeysIn::Users, L"Products", packedProduct},
                {L"全ユーザー共通のアンインストーラー情報のレジストリ", KeysIn::Machine,
                 std::wstring(kClassesInstaller) + L"Products\\", packedProduct}});
    report.PrintLine(L"続いて、削除対象プログラムに関連するレジストリを検索します。");
    report.PrintLine(L"");
}

// The patches applied to the product. One that is the product's alone goes with its own keys and its
// cached .msp; one that another product has too keeps them, and only the product's entries for it go
// (with the product's keys). The product's baseline cache below $PatchCache$ goes in every case.
void CollectPatches(Report& report, RemovalPlan& plan) {
    PathList machineKeys;
    PathList userKeys;
    PathList packages;
    for (const Lc::ProductPatch& patch : Lc::FindProductPatches(Lc::NativeView(), Packed(plan.productCode))) {
        std::wstring code;
        if (!Lc::UnpackGuid(patch.packedCode, code)) code = patch.packedCode;
        if (!patch.otherProducts.empty()) {
            plan.spared.push_back({L"パッチ " + code, NamedProducts(patch.otherProducts)});
            continue;
        }
        for (const std::wstring& key : patch.ownKeys)
            (key.rfind(L"HKEY_USERS\\", 0) == 0 ? userKeys : machineKeys).push_back(key);
        Append(packages, patch.localPackages);
    }
    report.ReportSearch(L"削除対象プログラムのパッチ情報のレジストリ", !machineKeys.empty(), machineKeys);
    report.ReportSearch(L"Usersの削除対象プログラムのパッチ情報のレジストリ", !userKeys.empty(), userKeys);
    // Deleted before the product's own keys: only while the product's registration names a patch can a
    // run that was cut off in between tell, on resume, that the patch is the product's.
    TargetList patchKeys;
    AddCandidates(patchKeys, machineKeys, TargetKind::Key, TargetSection::MachineKeys);
    AddCandidates(patchKeys, userKeys, TargetKind::Key, TargetSection::UserKeys);
    plan.candidates.insert(plan.candidates.begin(), patchKeys.begin(), patchKeys.end());
    const std::wstring windows = Lc::GetSpecialFolderPath(CSIDL_WINDOWS);
    std::erase_if(packages, [&](const std::wstring& package) {
        return windows.empty() || !Lc::IsCachedPatchPackage(package, windows);
    });
    AddFound(report, plan, L"削除対象プログラムのパッチファイル", !packages.empty(), packages, TargetKind::File,
             TargetSection::InstallerPackages);
    if (windows.empty()) return;
    const PathList cache = IfFolder(PatchCacheFolder(windows, plan.productCode));
    AddFound(report, plan, L"削除対象プログラムのパッチのキャッシュフォルダ", !cache.empty(), cache, TargetKind::Folder,
             TargetSection::InstallerInfoFolders);
}

// The product's upgrade-code and feature registrations, then the installer's keys of per-user-managed
// installs: machine keys of each user SID, searched like the per-user ones.
void CollectUpgradeAndFeatureRegistrations(Report& report, const Settings& profile, RemovalPlan& plan) {
    const std::wstring packedUpgrade = Packed(profile.UPGRADECODE);
    const std::wstring packedProduct = Packed(plan.productCode);
    const std::wstring classes = kClassesInstaller;
    // An upgrade code's key names every product installed under it; another version keeps it.
    SearchKeys(report, plan,
               {{L"削除対象プログラムのUpgradeCode情報のレジストリ", KeysIn::Machine, kUpgradeCodesBase, packedUpgrade, true},
                {L"削除対象プログラムのUsersのUpgradeCode情報のレジストリ", KeysIn::Users, L"UpgradeCodes", packedUpgrade,
                 true},
                {L"削除対象プログラムの全ユーザー共通のUpgradeCode情報のレジストリ", KeysIn::Machine,
                 classes + L"UpgradeCodes\\", packedUpgrade, true},
                {L"削除対象プログラムのFeature情報のレジストリ", KeysIn::Users, L"Features", packedProduct},
                {L"削除対象プログラムの全ユーザー共通のFeature情報のレジストリ", KeysIn::Machine, classes + L"Features\\",
                 packedProduct},
                {L"管理対象ユーザーのアンインストーラー情報のレジストリ", KeysIn::Managed, L"Products", packedProduct},
                {L"削除対象プログラムの管理対象ユーザーのUpgradeCode情報のレジストリ", KeysIn::Managed, L"UpgradeCodes",
                 packedUpgrade, true},
                {L"削除対象プログラムの管理対象ユーザーのFeature情報のレジストリ", KeysIn::Managed, L"Features",
                 packedProduct}});
}

// Two lines on the console and the list in the log, when the list is not empty.
void ReportListed(Report& report, const PathList& listed, const wchar_t* first, const wchar_t* second) {
    if (listed.empty()) return;
    report.PrintLine(first);
    report.PrintLine(second);
    report.LogLines(listed);
}

// The product's components, and those it shares with other products.
void CollectComponents(Report& report, const Settings& profile, RemovalPlan& plan, Findings& found) {
    PathList codes;
    // One pass over the registrations: the product's components, and what other products' components
    // have below the product's folders.
    PathList folders = ProgramFolderCandidates(profile);
    Append(folders, FoldersOfEarlierTargets(found.earlier));
    Lc::ComponentRegistrationPass pass =
        Lc::ReadComponentRegistrations(Lc::NativeView(), Packed(plan.productCode), WithShortForms(folders));
    Lc::ListProductComponentsAmong(plan.productCode, pass.componentsOfProduct, codes);
    found.otherProductsKeyFiles = std::move(pass.otherProductsKeyFiles);
    for (const auto& [key, error] : pass.unread)
        found.unreadComponents.push_back(key + L"\r\n - " + Lc::Win32ErrorText(static_cast<DWORD>(error)));
    // A file deleted by hand still has its registered path: that is the path its server, its folder and
    // its sharing are judged by.
    auto componentPath = [&](const std::wstring& code, std::wstring& path) {
        if (Lc::GetComponentPath(plan.productCode, code, path)) return true;
        path = pass.ProductKeyFileOf(code);
        return !path.empty();
    };
    for (const std::wstring& code : codes) {
        std::wstring path;
        if (componentPath(code, path)) found.componentPaths.push_back(path);
    }
    report.ReportSearch(L"Mirevoのコンポーネント", !found.componentPaths.empty(), found.componentPaths);
    PathList packedCodes = codes.empty() ? PathList{} : Lc::PackGuids(codes);

    report.PrintLine(L"Mirevoのコンポーネントの内、他のプログラムと共有しているコンポーネントがあるか確認します...");
    for (const std::wstring& code : codes) {
        bool shared = false;
        if (!Lc::IsComponentShared(code, plan.productCode, shared)) continue;
        std::wstring path;  // empty when it cannot be read
        bool pathRead = componentPath(code, path);
        (shared ? found.sharedByPath : found.ownByPath).emplace(Lc::ComparablePath(path), code);
        if (!shared) continue;
        found.sharedComponentCodes.push_back(code);
        std::erase(packedCodes, Packed(code));  // its keys stay for the other clients
        found.sharedComponentPaths.push_back(path);
        if (!pathRead) found.sharedWithoutPath.push_back(code);
    }
    if (found.sharedComponentCodes.empty()) report.PrintLine(L"他のプログラムと共有しているコンポーネントはありませんでした。");
    ReportListed(report, found.sharedComponentCodes, L"他のプログラムと共有しているコンポーネントが見つかりました。",
                 L"共有しているコンポーネントのファイル・レジストリは削除対象から除外します。");
    // Without its path a shared file cannot be told apart from the product's own files.
    ReportListed(report, found.sharedWithoutPath, L"共有しているコンポーネントの内、パスを取得できなかったものがあります。",
                 L"共有しているファイルを残すため、Mirevoのフォルダは削除しません。");
    // An unread registration may name another product's file in the product's folders.
    ReportListed(report, found.unreadComponents, L"読み取れなかったコンポーネントの登録があります。",
                 L"他の製品のファイルを残すため、Mirevoのフォルダは削除しません。");
    report.PrintLine(L"");
    report.PrintLine(L"Mirevoのコンポーネントのレジストリパスを取得します。");
    report.PrintLine(L"取得完了まで、１分程度かかることがあります。");
    report.PrintLine(L"");

    PathList componentKeys;
    bool any = Lc::CollectUserDataComponentKeys(Lc::NativeView(), packedCodes, L"Components", componentKeys);
    report.ReportSearch(L"Mirevoのコンポーネントのレジストリパス", any, componentKeys);
    AddKeys(plan, componentKeys, TargetSection::MachineKeys, true);
}

// Once the components are known: a shared component's files stay, and so does its registration for the other clients;
// only the target's client value goes from it, so the installer no longer counts the target as a client.
void CollectSharedComponentRegistrations(RemovalPlan& plan, const Findings& found) {
    if (found.sharedComponentCodes.empty()) return;
    PathList keys;
    Lc::CollectUserDataComponentKeys(Lc::NativeView(), Lc::PackGuids(found.sharedComponentCodes), L"Components", keys);
    AddKeys(plan, keys, TargetSection::MachineKeys, true);
    for (size_t i = 0; i < found.sharedComponentCodes.size() && i < found.sharedComponentPaths.size(); ++i) {
        const std::wstring& path = found.sharedComponentPaths[i];
        if (path.empty() || IsSpared(plan, path)) continue;
        plan.spared.push_back({path, OtherClients(found.sharedComponentCodes[i], plan.productCode)});
    }
}

// The CLSID's server path, when its key was found.
// A LocalServer32 value is a command line (quoted, with arguments); InprocServer32 names the DLL.
void LookUpComServer(Findings& found, const std::wstring& clsid, const std::wstring& key) {
    if (key.empty()) return;
    if (const auto local = Lc::ReadStringValue(Lc::NativeView(), key + L"LocalServer32\\", L""))
        found.clsidToServer.emplace(clsid, Lc::ServerPathOfCommandLine(*local));
    else if (const auto inproc = Lc::ReadStringValue(Lc::NativeView(), key + L"InProcServer32\\", L""))
        found.clsidToServer.emplace(clsid, *inproc);
    found.clsidToKey.emplace(clsid, key);
}

// A service whose COM registration has gone already (an interrupted removal, a broken uninstall) is
// still the product's when it bears the product's name and runs a program in the product's folders.
// One whose server is still registered goes, or stays, with that server.
bool ServiceOutlivedItsServer(const Settings& profile, const Findings& found) {
    if (profile.TERRION_SERVICE_NAME.empty() || found.clsidToKey.count(profile.TERRION_CLSID) != 0) return false;
    const std::wstring program = Lc::ServiceProgramPath(profile.TERRION_SERVICE_NAME);
    if (program.empty()) return false;
    return std::ranges::any_of(ProgramFolderCandidates(profile), [&](const std::wstring& folder) {
        return Lc::IsAtOrBelow(program, folder) || Lc::IsAtOrBelow(Lc::ComparablePath(program), Lc::ComparablePath(folder));
    });
}

bool NamesOneOf(const std::wstring& keyPath, const PathList& keys) {
    const auto identity = [](const std::wstring& key) {
        return Lc::RegistryKeyAddress::Parse(key, Lc::NativeView()).Identity();
    };
    const std::wstring wanted = identity(keyPath);
    return std::ranges::any_of(keys, [&](const std::wstring& key) { return identity(key) == wanted; });
}

// A local server also has its file name below AppID, naming its AppID: that key goes with the AppID.
void CollectAppIdsOfExes(const Findings& found, const PathList& appIds, PathList& appIdKeys) {
    for (const auto& [clsid, server] : found.clsidToServer) {
        if (!found.Unregisters(clsid)) continue;
        const std::wstring exe = server.substr(server.find_last_of(L"\\/") + 1);
        if (exe.size() < 5 || !Lc::NamesEqual(exe.substr(exe.size() - 4), L".exe")) continue;
        PathList keys;
        Lc::CollectKeyPaths(Lc::NativeView(), kAppIdBase, exe, keys);
        for (const std::wstring& key : keys) {
            const auto named = Lc::ReadStringValue(Lc::NativeView(), key, L"AppID");
            if (named && Lc::HoldsName(appIds, *named) && !NamesOneOf(key, appIdKeys)) appIdKeys.push_back(key);
        }
    }
}

void CollectComRegistrations(Report& report, const Settings& profile, RemovalPlan& plan, Findings& found) {
    report.PrintLine(L"Mirevo関連のCOMコンポーネントのレジストリを検索します...");
    // One listing of the machine's CLSID keys serves all seven lookups.
    PathList clsids = ProductClsids(profile);
    PathList keys = Lc::FindKeyPaths(Lc::NativeView(), kClsidBase, clsids);
    for (size_t i = 0; i < clsids.size(); ++i) LookUpComServer(found, clsids[i], keys[i]);

    // Only servers that are the product's own, unshared components are unregistered; the server path
    // and the component path may differ in letter case and in short or long spelling. Two CLSIDs served
    // by one file are judged once, by the first CLSID in server order.
    std::map<std::wstring, std::wstring> serverToClsid;
    for (const auto& [clsid, server] : found.clsidToServer) serverToClsid.emplace(Lc::ComparablePath(server), clsid);
    PathList clsidKeys;
    for (const auto& [server, clsid] : serverToClsid) {
        if (found.sharedByPath.count(server) != 0 || found.ownByPath.count(server) == 0) continue;
        found.unregistered.insert(clsid);
        clsidKeys.push_back(found.clsidToKey[clsid]);
    }
    PathList appIds;
    Lc::ReadStringValues(Lc::NativeView(), clsidKeys, L"AppID", appIds);
    PathList appIdKeys;
    for (const std::wstring& appId : appIds) Lc::CollectKeyPaths(Lc::NativeView(), kAppIdBase, appId, appIdKeys);
    CollectAppIdsOfExes(found, appIds, appIdKeys);
    report.ReportSearch(L"Mirevo関連のCOMコンポーネントのCLSIDレジストリ", !clsidKeys.empty(), clsidKeys);
    AddFound(report, plan, L"Mirevo関連のCOMコンポーネントのAppIDレジストリ", !appIdKeys.empty(), appIdKeys, TargetKind::Key,
             TargetSection::MachineKeys);
    for (const ProductServer& server : ProductServers(profile))
        if (found.Unregisters(server.clsid))
            plan.candidates.push_back({TargetKind::ComServer, TargetSection::ComServers, found.clsidToServer[server.clsid],
                                       Lc::RegistryKeyAddress::Parse(found.clsidToKey[server.clsid], Lc::NativeView()),
                                       server.clsid});
    found.removesService = found.Unregisters(profile.TERRION_CLSID) || ServiceOutlivedItsServer(profile, found);
}

// Once the COM registrations are known: a server whose file is a shared component keeps its registration, and the service that
// runs it is only stopped, for the products that share it.
void NoteSparedComServers(const Settings& profile, RemovalPlan& plan, const Findings& found) {
    for (const auto& [clsid, server] : found.clsidToServer) {
        auto shared = found.sharedByPath.find(Lc::ComparablePath(server));
        if (found.Unregisters(clsid) || shared == found.sharedByPath.end()) continue;
        PathList keptFor = OtherClients(shared->second, plan.productCode);
        plan.spared.push_back({L"COMコンポーネントの登録 " + clsid + L"（" + server + L"）", keptFor});
        if (clsid == profile.TERRION_CLSID)
            plan.spared.push_back({L"サービス「" + profile.TERRION_SERVICE_NAME + L"」", keptFor});
    }
}

// The product's settings keys, in every user's hive.
void CollectSettingsRegistry(Report& report, const Settings& profile, RemovalPlan& plan, Findings& found) {
    PathList userKeys;
    bool any = Lc::CollectUserSettingsKeys(Lc::NativeView(), found.componentPaths, profile.CUSTOMER, userKeys,
                                           found.settingsNames);
    AddFound(report, plan, L"Mirevoの設定情報のレジストリ", any, userKeys, TargetKind::Key, TargetSection::UserKeys);

    std::wstring vendorBase = L"HKEY_LOCAL_MACHINE\\Software\\" + profile.CUSTOMER + L"\\";
    SearchKeys(report, plan, {{L"Mirevo設定情報の全ユーザー共通のレジストリ", KeysIn::Machine, vendorBase + L"Velkor\\", L"Common"}});

    PathList productKeys;
    PathList entries;
    std::set<std::wstring> valueKeys;  // the keys whose default value goes, each once
    Lc::CollectKeyPaths(Lc::NativeView(), vendorBase, L"Velkor", productKeys);
    for (const std::wstring& key : productKeys) {
        const auto data = Lc::ReadStringValue(Lc::NativeView(), key, L"");
        if (!data) continue;
        valueKeys.insert(key);
        entries.push_back(key + L"\r\n - エントリ「」 = " + *data);
    }
    for (const std::wstring& key : valueKeys) AddValueCandidate(plan.candidates, key, L"", TargetSection::MachineValues);
    report.ReportSearch(L"Mirevo設定情報の全ユーザー共通のレジストリのエントリ", !entries.empty(), entries);
    report.PrintLine(L"削除対象のプログラムに関連するレジストリの検索が完了しました。");
    report.PrintLine(L"");
}

void CollectProgramFolders(Report& report, const Settings& profile, RemovalPlan& plan) {
    report.PrintLine(L"削除対象のプログラムのファイルパスを確認します...");
    for (const std::wstring& folder : ProgramFolderCandidates(profile))
        if (Lc::IsFolder(folder)) plan.programFolders.push_back(folder);
    report.ReportSearch(L"削除対象のプログラムのフォルダ", !plan.programFolders.empty(), plan.programFolders);
}

void CollectShortcuts(Report& report, const Settings& profile, RemovalPlan& plan, const Findings& found) {
    report.PrintLine(L"削除対象のプログラムのショートカットのパスを確認します...");
    const PathList folderNames = MenuFolderNames(profile, found.displayName);
    const PathList names = ShortcutNames(profile, found.displayName);
    const Lc::RegistryView view = Lc::NativeView();

    // Without a shell folder named, the Start-menu folders that hold one of the shortcuts are searched.
    auto search = [&](const wchar_t* label, Lc::ShellScope scope, const wchar_t* shellFolder, TargetSection section) {
        PathList paths;
        bool any = shellFolder == nullptr ? Lc::FindMenuFolders(view, scope, folderNames, names, paths)
                                          : Lc::FindShortcuts(view, scope, shellFolder, names, paths);
        AddFound(report, plan, label, any, paths, shellFolder == nullptr ? TargetKind::Folder : TargetKind::File, section);
    };
    search(L"削除対象のプログラムのショートカットフォルダ", Lc::ShellScope::EveryUser, nullptr, TargetSection::StartMenuFolders);
    search(L"削除対象のプログラムの全ユーザー共通ショートカットフォルダ", Lc::ShellScope::AllUsers, nullptr, TargetSection::StartMenuFolders);
    search(L"削除対象のプログラムのスタートアップショートカット", Lc::ShellScope::EveryUser, L"Startup", TargetSection::StartupShortcuts);
    search(L"削除対象のプログラムの全ユーザー共通スタートアップショートカット", Lc::ShellScope::AllUsers, L"Startup", TargetSection::StartupShortcuts);
    search(L"削除対象のプログラムのデスクトップショートカット", Lc::ShellScope::EveryUser, L"Desktop", TargetSection::DesktopShortcuts);
    search(L"削除対象のプログラムの全ユーザー共通デスクトップショートカット", Lc::ShellScope::AllUsers, L"Desktop", TargetSection::DesktopShortcuts);
}

// The per-user setting files: only when the settings search named some users.
void CollectUserSettingFiles(Report& report, const Settings& profile, RemovalPlan& plan, const Findings& found) {
    if (found.settingsNames.empty()) return;
    PathList folders;
    PathList files;
    bool any = Lc::FindUserSettingFiles(Lc::NativeView(), found.settingsNames, profile, folders, files);
    AddFound(report, plan, L"削除対象のプログラムのユーザー設定ファイルとフォルダ", any, folders, TargetKind::Folder,
             TargetSection::UserSettingFolders);
    report.LogLines(files);
    AddCandidates(plan.candidates, files, TargetKind::File, TargetSection::UserSettingFiles);
    report.PrintLine(L"");
}

void CollectInstallerInfoFolders(Report& report, RemovalPlan& plan) {
    // The list logged starts with the patch cache folder, when it was found.
    PathList folders = CandidatePaths(plan, TargetSection::InstallerInfoFolders);
    const auto earlier = static_cast<std::ptrdiff_t>(folders.size());
    bool found = Lc::FindUserAppDataFolders(Lc::NativeView(), L"Microsoft\\Installer\\" + plan.productCode, folders);
    report.ReportSearch(L"「プログラムの追加と削除」で使用される情報のフォルダ", found, folders);
    AddCandidates(plan.candidates, PathList(folders.begin() + earlier, folders.end()), TargetKind::Folder,
                  TargetSection::InstallerInfoFolders);
    const std::wstring windows = Lc::GetSpecialFolderPath(CSIDL_WINDOWS);
    const PathList allUsers = windows.empty() ? PathList{} : IfFolder(windows + L"\\Installer\\" + plan.productCode);
    AddFound(report, plan, L"「プログラムの追加と削除」で使用される情報の全ユーザー共通フォルダ", !allUsers.empty(), allUsers,
             TargetKind::Folder, TargetSection::InstallerInfoFolders);
}

// Ferrow's image path, for its stop.
void CheckFerrow(Report& report, const Settings& profile, RemovalPlan& plan, const Findings& found) {
    report.PrintLine(L"Ferrowの存在チェック");
    auto registered = found.clsidToServer.find(profile.FERROW_CLSID);
    const std::wstring path = registered != found.clsidToServer.end()
                                  ? registered->second
                                  : ProgramFilesFolder(Lc::IsWow64()) + L"\\" + profile.CUSTOMER + L"\\Velkor\\Ferrow" +
                                        profile.MODULE_NAME_SUFFIX + L".exe";
    report.ReportOutcome(path + L"が見つかりました。", path + L"がありません。", Lc::PathMatchesAnything(path), false);
    AddCandidates(plan.candidates, {path}, TargetKind::Process, TargetSection::Processes);
}

// The running processes: only listed and logged.
void CollectProcesses(Report& report) {
    report.PrintLine(L"プロセス情報を収集します...");
    for (const Lc::ProcessEntry& process : Lc::ListProcesses()) report.LogLine(process.exeName);
    report.PrintLine(L"プロセス情報を収集し、ログに出力しました。");
    report.PrintLine(L"情報収集が完了しました。");
    report.PrintLine(L"");
}

// ---- the plan completed: every key that the removal deletes itself or through a COM server or the
// service manager, and the program folders' targets ----

void PlanRemovedByOthers(const Settings& profile, RemovalPlan& plan, Findings& found) {
    const Lc::RegistryView view = Lc::NativeView();
    // The NovexPS server leaves its Interface key behind: it joins the machine deletions.
    if (found.Unregisters(profile.NOVEXPS_CLSID)) {
        Lc::CollectKeyPaths(view, kInterfaceBase, profile.NOVEXPS_CLSID, found.interfaceKeys);
        AddKeys(plan, found.interfaceKeys, TargetSection::MachineKeys, false);
    }
    PathList comKeys;
    PathList proxies;
    for (const std::wstring& clsid : found.unregistered) {
        comKeys.push_back(found.clsidToKey[clsid]);
        proxies.push_back(clsid);
    }
    // What a real server's unregistration removes besides its CLSID key, so that the backup restores COM
    // whole and the end check sees it gone.
    Lc::ComRelatedKeys related = Lc::FindComRelatedKeys(view, comKeys, proxies);
    const PathList machineKeys = CandidatePaths(plan, TargetSection::MachineKeys);
    for (const PathList* keys : {&related.progIdKeys, &related.typeLibKeys, &related.interfaceKeys})
        for (const std::wstring& key : *keys)
            if (!NamesOneOf(key, machineKeys)) comKeys.push_back(key);
    if (found.removesService) {
        // The service manager deletes the service's key with it: a target of its own while it is there.
        const std::wstring serviceKey = Lc::ServiceKeyPath(profile.TERRION_SERVICE_NAME);
        const Lc::RegistryKeyAddress key = Lc::RegistryKeyAddress::Parse(serviceKey, view);
        plan.candidates.push_back({TargetKind::Service, TargetSection::Services, serviceKey, key, profile.TERRION_SERVICE_NAME});
        if (!profile.TERRION_SERVICE_NAME.empty() && Lc::RegistryKeyExists(key)) comKeys.push_back(serviceKey);
    }
    AddCandidates(plan.candidates, comKeys, TargetKind::RemovedByOthers, TargetSection::RemovedByOthers);
}

// The product's folders whole, or, beside shared files, the free folders and the files beside the kept
// ones; none while a shared component's path is unknown, for its file may lie in them.
void PlanProgramFolders(RemovalPlan& plan, const Findings& found) {
    if (!found.sharedWithoutPath.empty())
        plan.programFoldersKeptLine = L"パスを取得できなかった共有コンポーネントがあるため、Mirevoのフォルダは削除しませんでした。";
    else if (!found.unreadComponents.empty())
        plan.programFoldersKeptLine = L"読み取れなかったコンポーネントの登録があるため、Mirevoのフォルダは削除しませんでした。";
    if (plan.programFolders.empty() || !plan.programFoldersKeptLine.empty()) return;
    PathList folders;
    PathList files;
    if (found.keptPaths.empty() || !plan.protectedFolders)
        folders = plan.programFolders;  // without the guard they are refused, and left over
    else
        Lc::PlanProductFolders(plan.programFolders, found.keptPaths, *plan.protectedFolders, folders, files);
    AddCandidates(plan.candidates, folders, TargetKind::Folder, TargetSection::ProgramFiles);
    AddCandidates(plan.candidates, files, TargetKind::File, TargetSection::ProgramFiles);
}

// Other products' component files below the product's folders stay whatever the target's own
// components say; those already kept as the target's shared components are reported there.
void KeepOtherProductsFiles(RemovalPlan& plan, Findings& found) {
    std::vector<SparedItem> kept = FilesKeptForOtherProducts(found.otherProductsKeyFiles, found.componentPaths);
    found.keptPaths = found.sharedComponentPaths;
    for (SparedItem& item : kept) {
        found.keptPaths.push_back(item.item);
        if (!IsSpared(plan, item.item)) plan.keptForOtherComponents.push_back(std::move(item));
    }
}

// What the collection's reports did not list yet.
void ReportCompletedPlan(Report& report, const RemovalPlan& plan, const Findings& found) {
    report.LogSection(L"[削除対象に加えるInterfaceのレジストリ]", found.interfaceKeys);
    report.LogSection(L"[COMコンポーネントの登録解除とサービスの削除で削除されるレジストリ]",
                      CandidatePaths(plan, TargetSection::RemovedByOthers));
    if (found.keptPaths.empty()) return;
    report.LogSection(L"[共有ファイルを残して削除するMirevoのフォルダとファイル]",
                      CandidatePaths(plan, TargetSection::ProgramFiles));
}

// Every candidate of the searches passes the one admission rule; those it refuses are reported and
// never removed.
void AdmitSearchedTargets(Report& report, const TargetAdmission& admission, RemovalPlan& plan) {
    PathList refused;
    for (const Target& candidate : TargetsOf(plan)) {
        const Verdict verdict = admission.Judge(candidate);
        if (verdict.admitted)
            plan.targets.push_back(candidate);
        else
            refused.push_back(TargetText(candidate) + L"\r\n - " + verdict.reason);
    }
    report.PrintSection(L"[検索で見つかったが削除しない項目]", refused);
}

void CompletePlan(Report& report, const Settings& profile, RemovalPlan& plan, Findings& found) {
    plan.protectedFolders = Lc::ReadProtectedFolders();
    PlanRemovedByOthers(profile, plan, found);
    KeepOtherProductsFiles(plan, found);
    PlanProgramFolders(plan, found);
    const TargetAdmission admission(profile,
                                    {plan.productCode, found.displayName, plan.protectedFolders, found.keptPaths});
    AdmitSearchedTargets(report, admission, plan);
    TakeUpEarlierRemovals(report, admission, plan, found.earlier);
    report.PrintLine(L"強制削除の準備が完了しました。");
    ReportCompletedPlan(report, plan, found);
}

// Every search for the product's traces, in the order the log lists them.
void SearchTheMachine(Report& report, const Settings& profile, RemovalPlan& plan, Findings& found) {
    CollectProductRegistrations(report, profile, plan, found);
    CollectUpgradeAndFeatureRegistrations(report, profile, plan);
    CollectPatches(report, plan);
    CollectComponents(report, profile, plan, found);
    CollectSharedComponentRegistrations(plan, found);
    CollectComRegistrations(report, profile, plan, found);
    NoteSparedComServers(profile, plan, found);
    CollectSettingsRegistry(report, profile, plan, found);
    CollectProgramFolders(report, profile, plan);
    CollectShortcuts(report, profile, plan, found);
    CollectUserSettingFiles(report, profile, plan, found);
    CollectInstallerInfoFolders(report, plan);
}

}  // namespace

PathList MenuFolderNames(const Settings& profile, const std::wstring& displayName) {
    return {profile.CUSTOMER + L"\\" + displayName, profile.TOOLNAME + L"\\" + displayName, profile.TOOLNAME};
}

PathList ShortcutNames(const Settings& profile, const std::wstring& displayName) {
    return {displayName, profile.TOOLNAME};
}

std::wstring PatchCacheFolder(const std::wstring& windowsFolder, const std::wstring& productCode) {
    return windowsFolder + L"\\Installer\\$PatchCache$\\Managed\\" + Packed(productCode);
}

PathList ProgramFolderCandidates(const Settings& profile) {
    const std::wstring installSubPath = L"\\" + profile.CUSTOMER + L"\\Velkor";
    bool wow64 = Lc::IsWow64();
    const std::wstring bases[] = {
        ProgramFilesFolder(wow64),
        Lc::GetSpecialFolderPath(wow64 ? CSIDL_PROGRAM_FILES_COMMONX86 : CSIDL_PROGRAM_FILES_COMMON),
        Lc::GetSpecialFolderPath(CSIDL_COMMON_APPDATA),
    };
    // An empty answer names no folder: with the sub-path alone it would mean the current drive.
    PathList folders;
    for (const std::wstring& base : bases)
        if (!base.empty()) folders.push_back(base + installSubPath);
    return folders;
}

int RunCollection(Report& report, const Settings& profile, RemovalPlan& plan) {
    if (CheckInstallation(report, profile, plan) != 0) return -1;
    Findings found;
    found.earlier = FindEarlierJournals(JournalFolder(), plan.productCode, ThisComputerName());
    SearchTheMachine(report, profile, plan, found);
    CheckFerrow(report, profile, plan, found);
    CollectProcesses(report);
    CompletePlan(report, profile, plan, found);
    return 0;
}

TargetList SearchAgain(const Report& report, const Settings& profile, const RemovalPlan& removed) {
    Report quiet = report.Silenced();
    RemovalPlan plan;
    plan.productCode = removed.productCode;
    plan.users = removed.users;
    Findings found;
    SearchTheMachine(quiet, profile, plan, found);
    CompletePlan(quiet, profile, plan, found);
    return plan.targets;
}

}  // namespace Quellor
