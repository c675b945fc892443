#include "tests/registry_storage/RegistryViewCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>

namespace QuellorTest {

namespace {

using Zento::Lithcore::System::RegistryApi;

struct CheckState {
    const RegistryApi* system = nullptr;
    std::map<HKEY, std::wstring> openedPaths;
    std::vector<RegistryCall> calls;
};

CheckState* g_state = nullptr;

const std::pair<HKEY, const wchar_t*> kRoots[] = {
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, L"HKEY_USERS"},
    {HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER"},
};

std::wstring PathOf(HKEY key) {
    for (const auto& [root, name] : kRoots)
        if (key == root) return name;
    auto found = g_state->openedPaths.find(key);
    return found != g_state->openedPaths.end() ? found->second : L"?";
}

std::wstring FullPath(HKEY parent, LPCWSTR subKey) {
    std::wstring path = PathOf(parent);
    if (subKey != nullptr && *subKey != L'\0') path += L"\\" + std::wstring(subKey);
    return path;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

void Record(const char* function, const std::wstring& path, REGSAM access, bool namesView) {
    g_state->calls.push_back({function, path, access});
    if (!namesView && RegistryViewCheck::IsBelowRedirectedLocation(path))
        ADD_FAILURE() << function << " reaches " << Narrow(path) << " without a registry view (access 0x" << std::hex
                      << access << ")";
}

bool NamesView(REGSAM access) { return (access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY)) != 0; }

LSTATUS WINAPI CheckedOpenKey(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    std::wstring path = FullPath(parent, subKey);
    Record("RegOpenKeyExW", path, access, NamesView(access));
    LSTATUS status = g_state->system->openKey(parent, subKey, options, access, result);
    if (status == ERROR_SUCCESS) g_state->openedPaths[*result] = path;
    return status;
}

LONG WINAPI CheckedDeleteKeyEx(HKEY parent, LPCWSTR subKey, REGSAM view, DWORD reserved) {
    Record("RegDeleteKeyExW", FullPath(parent, subKey), view, NamesView(view));
    return g_state->system->deleteKeyEx(parent, subKey, view, reserved);
}

LSTATUS WINAPI CheckedDeleteKey(HKEY parent, LPCWSTR subKey) {
    Record("RegDeleteKeyW", FullPath(parent, subKey), 0, false);
    return g_state->system->deleteKey(parent, subKey);
}

// Calls on an open handle: the view was chosen when it was opened.
LSTATUS WINAPI CheckedEnumKey(HKEY key, DWORD index, LPWSTR name, LPDWORD length, LPDWORD reserved, LPWSTR keyClass,
                              LPDWORD classLength, PFILETIME written) {
    g_state->calls.push_back({"RegEnumKeyExW", PathOf(key), 0});
    return g_state->system->enumKey(key, index, name, length, reserved, keyClass, classLength, written);
}

LSTATUS WINAPI CheckedEnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD length, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD size) {
    g_state->calls.push_back({"RegEnumValueW", PathOf(key), 0});
    return g_state->system->enumValue(key, index, name, length, reserved, type, data, size);
}

LSTATUS WINAPI CheckedQueryValueW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD size) {
    g_state->calls.push_back({"RegQueryValueExW", PathOf(key), 0});
    return g_state->system->queryValueW(key, name, reserved, type, data, size);
}

LSTATUS WINAPI CheckedDeleteValue(HKEY key, LPCWSTR name) {
    g_state->calls.push_back({"RegDeleteValueW", PathOf(key), 0});
    return g_state->system->deleteValue(key, name);
}

const RegistryApi kCheckingTable{&CheckedOpenKey,     &CheckedEnumKey,     &CheckedEnumValue, &CheckedQueryValueW,
                                 &CheckedDeleteValue, &CheckedDeleteKeyEx, &CheckedDeleteKey,   &::RegLoadKeyW,
                                 &::RegUnLoadKeyW};

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
    return text;
}

bool StartsWithKey(const std::wstring& path, const std::wstring& key) {
    return path.compare(0, key.size(), key) == 0 && (path.size() == key.size() || path[key.size()] == L'\\');
}

}  // namespace

bool RegistryViewCheck::IsBelowRedirectedLocation(const std::wstring& path) {
    const std::wstring upper = Upper(path);
    if (upper.rfind(L"?", 0) == 0) return true;  // below a handle of unknown origin: assume the worst
    if (StartsWithKey(upper, L"HKEY_LOCAL_MACHINE\\SOFTWARE") || StartsWithKey(upper, L"HKEY_CLASSES_ROOT") ||
        StartsWithKey(upper, L"HKEY_CURRENT_USER\\SOFTWARE\\CLASSES"))
        return true;
    const std::wstring users = L"HKEY_USERS\\";
    if (upper.rfind(users, 0) != 0) return false;
    size_t hiveEnd = upper.find(L'\\', users.size());
    std::wstring hive = upper.substr(users.size(), hiveEnd == std::wstring::npos ? std::wstring::npos
                                                                                 : hiveEnd - users.size());
    if (hive.size() > 8 && hive.compare(hive.size() - 8, 8, L"_CLASSES") == 0) return true;
    return hiveEnd != std::wstring::npos && StartsWithKey(upper.substr(hiveEnd + 1), L"SOFTWARE\\CLASSES");
}

RegistryViewCheck::RegistryViewCheck() {
    g_state = new CheckState;
    g_state->system = &Zento::Lithcore::System::Registry();
    previous_ = Zento::Lithcore::System::ReplaceRegistryApi(&kCheckingTable);
}

RegistryViewCheck::~RegistryViewCheck() {
    Zento::Lithcore::System::ReplaceRegistryApi(previous_);
    delete g_state;
    g_state = nullptr;
}

const std::vector<RegistryCall>& RegistryViewCheck::Calls() const { return g_state->calls; }

namespace {

// Every test of a suite that links this file runs on the checking table.
class RegistryViewCheckEnvironment : public ::testing::Environment {
public:
    void SetUp() override { check_ = std::make_unique<RegistryViewCheck>(); }
    void TearDown() override { check_.reset(); }

private:
    std::unique_ptr<RegistryViewCheck> check_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new RegistryViewCheckEnvironment);

}  // namespace

}  // namespace QuellorTest
