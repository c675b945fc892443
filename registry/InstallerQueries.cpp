#include "registry/InstallerQueries.h"

#include <windows.h>

#include <exception>
#include <optional>

#include "platform/DllLoader.h"
#include "registry/Names.h"

namespace Zento::Lithcore {

namespace {

using File::DllLoader;

// msi.dll ordinals and the signatures they are called with.
constexpr WORD kEnumRelatedProducts = 205;
constexpr WORD kEnumComponents = 41;
constexpr WORD kGetComponentPath = 173;
constexpr WORD kEnumClients = 37;
constexpr WORD kGetProductInfo = 70;

using EnumRelatedProductsFn = UINT(WINAPI*)(LPCWSTR upgradeCode, DWORD reserved, DWORD index, LPWSTR productCode);
using EnumComponentsFn = UINT(WINAPI*)(DWORD index, LPWSTR componentCode);
using GetComponentPathFn = INT(WINAPI*)(LPCWSTR productCode, LPCWSTR componentCode, LPWSTR path, LPDWORD size);
using EnumClientsFn = UINT(WINAPI*)(LPCWSTR componentCode, DWORD index, LPWSTR productCode);
using GetProductInfoFn = UINT(WINAPI*)(LPCWSTR productCode, LPCWSTR property, LPWSTR value, LPDWORD size);

constexpr DWORD kCodeChars = 39;  // a braced GUID and its terminator
constexpr DWORD kTextChars = 260;

// Installation states of a component path query that carry no path.
constexpr INT kStateInvalidArgument = -2;
constexpr INT kStateUnknown = -1;
constexpr INT kStateAbsent = 2;

std::optional<DllLoader> LoadMsi() {
    try {
        return std::optional<DllLoader>(std::in_place, L"msi.dll");
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Looks an ordinal up; null when msi.dll lacks it.
template <typename Fn>
Fn Lookup(const DllLoader& msi, WORD ordinal) {
    try {
        return msi.GetProcAs<Fn>(ordinal);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Calls `next(index, buffer)` with index 0, 1, 2, ... until it answers nonzero; appends each code.
template <typename Next>
bool EnumerateCodes(Next next, PathList& codes) {
    bool any = false;
    for (DWORD index = 0;; ++index) {
        wchar_t buffer[kCodeChars] = {};
        if (next(index, buffer) != ERROR_SUCCESS) break;
        codes.emplace_back(buffer);
        any = true;
    }
    return any;
}

bool EnumerateClients(EnumClientsFn enumClients, const std::wstring& componentCode, PathList& clients) {
    return EnumerateCodes(
        [&](DWORD index, wchar_t* buffer) { return enumClients(componentCode.c_str(), index, buffer); }, clients);
}

// The installer names one owner per component even when several products install it, and that owner
// need not be ours; so a component is the product's when the product is among its clients. One client
// enumeration per component answers it (stopping at the product), in place of the owner query.
bool BelongsToProduct(EnumClientsFn enumClients, const std::wstring& componentCode, const std::wstring& productCode) {
    wchar_t client[kCodeChars] = {};
    for (DWORD index = 0; enumClients(componentCode.c_str(), index, client) == ERROR_SUCCESS; ++index)
        if (productCode == client) return true;
    return false;
}

bool GetComponentPathWith(GetComponentPathFn getComponentPath, const std::wstring& productCode,
                          const std::wstring& componentCode, std::wstring& path) {
    wchar_t buffer[kTextChars] = {};
    DWORD size = kTextChars;
    INT state = getComponentPath(productCode.c_str(), componentCode.c_str(), buffer, &size);
    if (state == kStateAbsent || state == kStateUnknown || state == kStateInvalidArgument) return false;
    path = buffer;
    return true;
}

}  // namespace

bool FindRelatedProducts(const std::wstring& upgradeCode, const std::wstring& productCode, PathList& otherProducts,
                         bool& productFound) {
    productFound = false;
    auto msi = LoadMsi();
    if (!msi) return false;
    auto enumRelated = Lookup<EnumRelatedProductsFn>(*msi, kEnumRelatedProducts);
    if (!enumRelated) return false;

    PathList related;
    EnumerateCodes([&](DWORD index, wchar_t* buffer) { return enumRelated(upgradeCode.c_str(), 0, index, buffer); },
                   related);
    for (const std::wstring& code : related) {
        if (NamesEqual(code, productCode))
            productFound = true;
        else
            otherProducts.push_back(code);
    }
    return !related.empty();
}

bool GetProductName(const std::wstring& productCode, std::wstring& name) {
    auto msi = LoadMsi();
    if (!msi) return false;
    auto getProductInfo = Lookup<GetProductInfoFn>(*msi, kGetProductInfo);
    if (!getProductInfo) return false;
    wchar_t buffer[kTextChars] = {};
    DWORD size = kTextChars;
    if (getProductInfo(productCode.c_str(), L"ProductName", buffer, &size) != ERROR_SUCCESS) return false;
    name = buffer;
    return true;
}

bool ListProductComponents(const std::wstring& productCode, PathList& componentCodes) {
    auto msi = LoadMsi();
    if (!msi) return false;
    auto enumComponents = Lookup<EnumComponentsFn>(*msi, kEnumComponents);
    auto enumClients = Lookup<EnumClientsFn>(*msi, kEnumClients);
    if (!enumComponents || !enumClients) return false;

    PathList all;
    EnumerateCodes(enumComponents, all);
    bool any = false;
    for (const std::wstring& component : all) {
        if (!BelongsToProduct(enumClients, component, productCode)) continue;
        componentCodes.push_back(component);
        any = true;
    }
    return any;
}

bool GetComponentPath(const std::wstring& productCode, const std::wstring& componentCode, std::wstring& path) {
    auto msi = LoadMsi();
    if (!msi) return false;
    auto getComponentPath = Lookup<GetComponentPathFn>(*msi, kGetComponentPath);
    return getComponentPath && GetComponentPathWith(getComponentPath, productCode, componentCode, path);
}

bool ListComponentPaths(const PathList& componentCodes, const std::wstring& productCode, PathList& paths) {
    auto msi = LoadMsi();
    if (!msi) return false;
    auto getComponentPath = Lookup<GetComponentPathFn>(*msi, kGetComponentPath);
    if (!getComponentPath) return false;
    bool any = false;
    for (const std::wstring& component : componentCodes) {
        std::wstring path;
        if (!GetComponentPathWith(getComponentPath, productCode, component, path)) continue;
        paths.push_back(path);
        any = true;
    }
    return any;
}

bool ListComponentClients(const std::wstring& componentCode, PathList& clients) {
    auto msi = LoadMsi();
    if (!msi) return false;
    auto enumClients = Lookup<EnumClientsFn>(*msi, kEnumClients);
    return enumClients && EnumerateClients(enumClients, componentCode, clients);
}

bool IsComponentShared(const std::wstring& componentCode, const std::wstring& productCode, bool& shared) {
    shared = false;
    PathList clients;
    if (!ListComponentClients(componentCode, clients)) return false;
    for (const std::wstring& client : clients)
        if (!NamesEqual(client, productCode)) shared = true;
    return true;
}

}  // namespace Zento::Lithcore
