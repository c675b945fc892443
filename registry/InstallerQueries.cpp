#include "registry/InstallerQueries.h"

#include <windows.h>

#include <algorithm>

#include "platform/SystemLibrary.h"
#include "registry/Names.h"

namespace Zento::Lithcore {

namespace {

using MsiHandle = unsigned long;

constexpr DWORD kCodeChars = 39;  // a braced GUID and its terminator
constexpr DWORD kTextChars = 260;
constexpr DWORD kLongestPathChars = 32767;  // the longest path Windows accepts
constexpr int kPathAttempts = 3;            // a path may grow between two asks; it does not keep growing

// Installation states of a component path query that carry no path, and the one that asks for more room.
constexpr INT kStateMoreData = -3;
constexpr INT kStateInvalidArgument = -2;
constexpr INT kStateUnknown = -1;
constexpr INT kStateAbsent = 2;

// msi.dll from the system folder only: a copy lying beside the program or in the current folder is never
// loaded. (A 32-bit process under WOW64 is given the 32-bit folder.) Its functions are found by ordinal; a
// missing one stays null.
struct MsiFunctions {
    MsiFunctions() {
        DWORD error = ERROR_SUCCESS;
        msi = LoadSystemLibrary(L"msi.dll", error);
        enumRelated = ProcAddress<decltype(enumRelated)>(msi.Get(), 205);
        getComponentPath = ProcAddress<decltype(getComponentPath)>(msi.Get(), 173);
        enumClients = ProcAddress<decltype(enumClients)>(msi.Get(), 37);
        getProductInfo = ProcAddress<decltype(getProductInfo)>(msi.Get(), 70);
        closeHandle = ProcAddress<decltype(closeHandle)>(msi.Get(), 8);
        openDatabase = ProcAddress<decltype(openDatabase)>(msi.Get(), 92);
        openView = ProcAddress<decltype(openView)>(msi.Get(), 32);
        execute = ProcAddress<decltype(execute)>(msi.Get(), 159);
        fetch = ProcAddress<decltype(fetch)>(msi.Get(), 160);
        getString = ProcAddress<decltype(getString)>(msi.Get(), 118);
    }

    UniqueModule msi;
    UINT(WINAPI* enumRelated)(LPCWSTR upgradeCode, DWORD reserved, DWORD index, LPWSTR productCode) = nullptr;
    INT(WINAPI* getComponentPath)(LPCWSTR productCode, LPCWSTR componentCode, LPWSTR path, LPDWORD size) = nullptr;
    UINT(WINAPI* enumClients)(LPCWSTR componentCode, DWORD index, LPWSTR productCode) = nullptr;
    UINT(WINAPI* getProductInfo)(LPCWSTR productCode, LPCWSTR property, LPWSTR value, LPDWORD size) = nullptr;
    UINT(WINAPI* closeHandle)(MsiHandle handle) = nullptr;
    UINT(WINAPI* openDatabase)(LPCWSTR path, LPCWSTR persist, MsiHandle* database) = nullptr;
    UINT(WINAPI* openView)(MsiHandle database, LPCWSTR query, MsiHandle* view) = nullptr;
    UINT(WINAPI* execute)(MsiHandle view, MsiHandle record) = nullptr;
    UINT(WINAPI* fetch)(MsiHandle view, MsiHandle* record) = nullptr;
    UINT(WINAPI* getString)(MsiHandle record, UINT field, LPWSTR value, LPDWORD size) = nullptr;
};

// Loaded on the first question and kept for the rest of the run: loading it costs more than most answers.
const MsiFunctions& Msi() {
    static const MsiFunctions msi;
    return msi;
}

// Calls `next(index, buffer)` with index 0, 1, 2, ... until it answers nonzero; appends each code.
template <typename Next>
bool EnumerateCodes(Next next, PathList& codes) {
    const size_t before = codes.size();
    for (DWORD index = 0;; ++index) {
        wchar_t buffer[kCodeChars] = {};
        if (next(index, buffer) != ERROR_SUCCESS) break;
        codes.emplace_back(buffer);
    }
    return codes.size() > before;
}

// The installer names one owner per component even when several products install it, and that owner
// need not be ours; so a component is the product's when the product is among its clients. One client
// enumeration per component answers it (stopping at the product), in place of the owner query.
bool BelongsToProduct(const std::wstring& componentCode, const std::wstring& productCode) {
    wchar_t client[kCodeChars] = {};
    for (DWORD index = 0; Msi().enumClients(componentCode.c_str(), index, client) == ERROR_SUCCESS; ++index)
        if (productCode == client) return true;
    return false;
}

// An installer handle, closed at every end (only ever opened when the close function was found).
struct MsiHandleTraits {
    using type = MsiHandle;
    static MsiHandle Empty() noexcept { return 0; }
    static bool IsValid(MsiHandle handle) noexcept { return handle != 0; }
    static void Release(MsiHandle handle) noexcept { Msi().closeHandle(handle); }
};
using UniqueMsiHandle = UniqueResource<MsiHandleTraits>;

}  // namespace

bool GetPackageProductCode(const std::wstring& packagePath, std::wstring& productCode) {
    const MsiFunctions& msi = Msi();
    if (!msi.closeHandle || !msi.openDatabase || !msi.openView || !msi.execute || !msi.fetch || !msi.getString)
        return false;
    UniqueMsiHandle database;
    UniqueMsiHandle view;
    UniqueMsiHandle record;
    // MSIDBOPEN_READONLY: the package is only read.
    if (msi.openDatabase(packagePath.c_str(), reinterpret_cast<LPCWSTR>(0), database.Put()) != ERROR_SUCCESS) return false;
    if (msi.openView(database.Get(), L"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'", view.Put()) !=
            ERROR_SUCCESS ||
        msi.execute(view.Get(), 0) != ERROR_SUCCESS || msi.fetch(view.Get(), record.Put()) != ERROR_SUCCESS)
        return false;
    wchar_t code[kCodeChars] = {};
    DWORD size = kCodeChars;
    if (msi.getString(record.Get(), 1, code, &size) != ERROR_SUCCESS) return false;
    productCode = code;
    return true;
}

bool FindRelatedProducts(const std::wstring& upgradeCode, const std::wstring& productCode, PathList& otherProducts,
                         bool& productFound) {
    productFound = false;
    auto enumRelated = Msi().enumRelated;
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
    auto getProductInfo = Msi().getProductInfo;
    if (!getProductInfo) return false;
    wchar_t buffer[kTextChars] = {};
    DWORD size = kTextChars;
    if (getProductInfo(productCode.c_str(), L"ProductName", buffer, &size) != ERROR_SUCCESS) return false;
    name = buffer;
    return true;
}

bool ListProductComponentsAmong(const std::wstring& productCode, const PathList& candidates, PathList& componentCodes) {
    if (!Msi().enumClients) return false;
    const size_t before = componentCodes.size();
    for (const std::wstring& component : candidates)
        if (BelongsToProduct(component, productCode)) componentCodes.push_back(component);
    return componentCodes.size() > before;
}

// A path that does not fit is asked for again with the room the installer named: a cut-off path of a shared
// component would no longer spare the shared file.
bool GetComponentPath(const std::wstring& productCode, const std::wstring& componentCode, std::wstring& path) {
    auto getComponentPath = Msi().getComponentPath;
    if (!getComponentPath) return false;
    DWORD room = kTextChars;
    for (int attempt = 0; attempt < kPathAttempts; ++attempt) {
        std::wstring buffer(room, L'\0');  // cleared: an answer may leave it unwritten
        DWORD size = room;
        INT state = getComponentPath(productCode.c_str(), componentCode.c_str(), buffer.data(), &size);
        if (state == kStateAbsent || state == kStateUnknown || state == kStateInvalidArgument) return false;
        if (state == kStateMoreData || size >= room) {
            if (size >= kLongestPathChars) return false;
            room = std::max(size + 1, room + 1);
            continue;
        }
        path = buffer.c_str();
        return true;
    }
    return false;
}

bool ListComponentClients(const std::wstring& componentCode, PathList& clients) {
    auto enumClients = Msi().enumClients;
    auto next = [&](DWORD index, wchar_t* buffer) { return enumClients(componentCode.c_str(), index, buffer); };
    return enumClients && EnumerateCodes(next, clients);
}

bool IsComponentShared(const std::wstring& componentCode, const std::wstring& productCode, bool& shared) {
    shared = false;
    PathList clients;
    if (!ListComponentClients(componentCode, clients)) return false;
    shared = std::any_of(clients.begin(), clients.end(),
                         [&](const std::wstring& client) { return !NamesEqual(client, productCode); });
    return true;
}

}  // namespace Zento::Lithcore
