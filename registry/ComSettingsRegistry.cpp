#include "registry/ComSettingsRegistry.h"

#include <algorithm>

#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

// The text from the first "{" through the next "}", or empty when there is none.
std::wstring BracedName(const std::wstring& path) {
    size_t open = path.find(L'{');
    if (open == std::wstring::npos) return {};
    size_t close = path.find(L'}', open);
    if (close == std::wstring::npos) return {};
    return path.substr(open, close - open + 1);
}

void AddSettingsNames(const PathList& componentPaths, const std::wstring& pattern, PathList& settingsNames) {
    for (const std::wstring& path : componentPaths) {
        if (path.find(pattern) == std::wstring::npos) continue;
        std::wstring name = BracedName(path);
        if (name.empty()) continue;
        if (std::find(settingsNames.begin(), settingsNames.end(), name) == settingsNames.end())
            settingsNames.push_back(name);
    }
}

}  // namespace

bool CollectUserSoftwareKeys(RegistryView view, const std::wstring& name, const std::wstring& subPath, PathList& result) {
    return AppendMatchingSubkeys(view, UserSoftwareKeyPaths(view, subPath), {name}, result);
}

bool CollectUserSettingsKeys(RegistryView view, const PathList& componentPaths, const std::wstring& customer,
                             PathList& resultKeys, PathList& settingsNames) {
    const std::wstring settingsKey = customer + L"\\Velkor\\Common\\Ferrow";
    AddSettingsNames(componentPaths, L":\\Software\\" + settingsKey, settingsNames);
    if (settingsNames.empty()) return false;

    return AppendMatchingSubkeys(view, UserSoftwareKeyPaths(view, settingsKey), settingsNames, resultKeys);
}

}  // namespace Zento::Lithcore
