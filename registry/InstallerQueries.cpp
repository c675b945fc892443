#include "registry/InstallerQueries.h"

#include <windows.h>

#include <algorithm>

#include "platform/SystemLibrary.h"
#include "registry/ComponentRegistrations.h"
#include "registry/Names.h"

namespace Zento::Lithcore {

namespace {

// msi.dll ordinals and the signatures they are called with.
constexpr WORD kEnumRelatedProducts = 205;
constexpr WORD kGetComponentPath = 173;
constexpr WORD kEnumClients = 37;
constexpr WORD kGetProductInfo = 70;
constexpr WORD kCloseHandle = 8;
constexpr WORD kDatabaseOpenView = 32;
constexpr WORD kOpenDatabase = 92;
constexpr WORD kRecordGetString = 118;
constexpr WORD kViewExecute = 159;
constexpr WORD kViewFetch = 160;

using EnumRelatedProductsFn = UINT(WINAPI*)(LPCWSTR upgradeCode, DWORD reserved, DWORD index, LPWSTR productCode);
using GetComponentPathFn = INT(WINAPI*)(LPCWSTR productCode, LPCWSTR componentCode, LPWSTR path, LPDWORD size);
using EnumClientsFn = UINT(WINAPI*)(LPCWSTR componentCode, DWORD index, LPWSTR productCode);
using GetProductInfoFn = UINT(WINAPI*)(LPCWSTR productCode, LPCWSTR property, LPWSTR value, LPDWORD size);
using MsiHandle = unsigned long;
using CloseHandleFn = UINT(WINAPI*)(MsiHandle handle);
using OpenDatabaseFn = UINT(WINAPI*)(LPCWSTR path, LPCWSTR persist, MsiHandle* database);
using DatabaseOpenViewFn = UINT(WINAPI*)(MsiHandle database, LPCWSTR query, MsiHandle* view);
using ViewExecuteFn = UINT(WINAPI*)(MsiHandle view, MsiHandle record);
using ViewFetchFn = UINT(WINAPI*)(MsiHandle view, MsiHandle* record);
using RecordGetStringFn = UINT(WINAPI*)(MsiHandle record, UINT field, LPWSTR value, LPDWORD size);

constexpr DWORD kCodeChars = 39;  // a braced GUID and its terminator
constexpr DWORD kTextChars = 260;
constexpr DWORD kLongestPathChars = 32767;  // the longest path Windows accepts
constexpr int kPathAttempts = 3;            // a path may grow between two asks; it does not keep growing

// Installation states of a component path query that carry no path, and the one that asks for more room.
constexpr INT kStateMoreData = -3;
constexpr INT kStateInvalidArgument = -2;
constexpr INT kStateUnknown = -1;
constexpr INT kStateAbsent = 2;

struct MsiFunctions {
    EnumRelatedProductsFn enumRelated = nullptr;
    GetComponentPathFn getComponentPath = nullptr;
    EnumClientsFn enumClients = nullptr;
    GetProductInfoFn getProductInfo = nullptr;
    CloseHandleFn closeHandle = nullptr;
    OpenDatabaseFn openDatabase = nullptr;
    DatabaseOpenViewFn openView = nullptr;
    ViewExecuteFn execute = nullptr;
    ViewFetchFn fetch = nullptr;
    RecordGetStringFn getString = nullptr;
};

// msi.dll from the system folder only: a copy lying beside the program or in the current folder is never
// loaded. (A 32-bit process under WOW64 is given the 32-bit folder.) A missing ordinal stays null.
class LoadedMsi {
public:
    LoadedMsi() {
        DWORD error = ERROR_SUCCESS;
        msi_ = LoadSystemLibrary(L"msi.dll", error);
        functions_.enumRelated = ProcAddress<EnumRelatedProductsFn>(msi_.Get(), kEnumRelatedProducts);
        functions_.getComponentPath = ProcAddress<GetComponentPathFn>(msi_.Get(), kGetComponentPath);
        functions_.enumClients = ProcAddress<EnumClientsFn>(msi_.Get(), kEnumClients);
        functions_.getProductInfo = ProcAddress<GetProductInfoFn>(msi_.Get(), kGetProductInfo);
        functions_.closeHandle = ProcAddress<CloseHandleFn>(msi_.Get(), kCloseHandle);
        functions_.openDatabase = ProcAddress<OpenDatabaseFn>(msi_.Get(), kOpenDatabase);
        functions_.openView = ProcAddress<DatabaseOpenViewFn>(msi_.Get(), kDatabaseOpenView);
        functions_.execute = ProcAddress<ViewExecuteFn>(msi_.Get(), kViewExecute);
        functions_.fetch = ProcAddress<ViewFetchFn>(msi_.Get(), kViewFetch);
        functions_.getString = ProcAddress<RecordGetStringFn>(msi_.Get(), kRecordGetString);
    }
    const MsiFunctions& Functions() const { return functions_; }

private:
    UniqueModule msi_;
    MsiFunctions functions_;
};

// Loaded on the first question and kept for the rest of the run: loading it costs more than most answers.
const MsiFunctions& Msi() {
    static const LoadedMsi msi;
    return msi.Functions();
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

// A path that does not fit is asked for again with the room the installer named: a cut-off path of a shared
// component would no longer spare the shared file.
bool GetComponentPathWith(GetComponentPathFn getComponentPath, const std::wstring& productCode,
                          const std::wstring& componentCode, std::wstring& path) {
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

// An installer handle, closed at every end.
class OwnedMsiHandle {
public:
    explicit OwnedMsiHandle(CloseHandleFn close) : close_(close) {}
    ~OwnedMsiHandle() {
        if (handle_ != 0) close_(handle_);
    }
    OwnedMsiHandle(const OwnedMsiHandle&) = delete;
    OwnedMsiHandle& operator=(const OwnedMsiHandle&) = delete;
    MsiHandle Get() const { return handle_; }
    MsiHandle* Put() { return &handle_; }

private:
    CloseHandleFn close_;
    MsiHandle handle_ = 0;
};

}  // namespace

bool GetPackageProductCode(const std::wstring& packagePath, std::wstring& productCode) {
    const MsiFunctions& msi = Msi();
    if (!msi.closeHandle || !msi.openDatabase || !msi.openView || !msi.execute || !msi.fetch || !msi.getString)
        return false;
    OwnedMsiHandle database(msi.closeHandle);
    OwnedMsiHandle view(msi.closeHandle);
    OwnedMsiHandle record(msi.closeHandle);
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

// Listing every component through the installer reads every component of the machine, and where each
// index is looked up from the first component again it grows with the square of their number. So the
// candidates come from one pass over the registrations that name the product as a client, and the
// installer confirms each of them.
bool ListProductComponents(const std::wstring& productCode, PathList& componentCodes) {
    std::wstring packedProduct;
    if (!PackGuid(productCode, packedProduct)) return false;
    return ListProductComponentsAmong(productCode, ComponentsRegisteredFor(NativeView(), packedProduct), componentCodes);
}

bool ListProductComponentsAmong(const std::wstring& productCode, const PathList& candidates, PathList& componentCodes) {
    auto enumClients = Msi().enumClients;
    if (!enumClients) return false;
    bool any = false;
    for (const std::wstring& component : candidates) {
        if (!BelongsToProduct(enumClients, component, productCode)) continue;
        componentCodes.push_back(component);
        any = true;
    }
    return any;
}

bool GetComponentPath(const std::wstring& productCode, const std::wstring& componentCode, std::wstring& path) {
    auto getComponentPath = Msi().getComponentPath;
    return getComponentPath && GetComponentPathWith(getComponentPath, productCode, componentCode, path);
}

bool ListComponentPaths(const PathList& componentCodes, const std::wstring& productCode, PathList& paths) {
    bool any = false;
    for (const std::wstring& component : componentCodes) {
        std::wstring path;
        if (!GetComponentPath(productCode, component, path)) continue;
        paths.push_back(path);
        any = true;
    }
    return any;
}

bool ListComponentClients(const std::wstring& componentCode, PathList& clients) {
    auto enumClients = Msi().enumClients;
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
