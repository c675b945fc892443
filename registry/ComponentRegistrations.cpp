#include "registry/ComponentRegistrations.h"

#include "platform/FileSystem.h"
#include "registry/Names.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

// The folders as prefixes that only a path below them starts with.
PathList FolderPrefixes(const PathList& folders) {
    PathList prefixes;
    for (std::wstring folder : folders) {
        if (folder.empty()) continue;
        if (folder.back() != L'\\') folder.push_back(L'\\');
        prefixes.push_back(FoldedName(folder));
    }
    return prefixes;
}

bool IsBelowAny(const std::wstring& path, const PathList& prefixes) {
    const std::wstring upper = FoldedName(path);
    for (const std::wstring& prefix : prefixes)
        if (upper.size() > prefix.size() && upper.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

std::wstring ProductOfValueName(const std::wstring& name) {
    std::wstring code;
    return UnpackGuid(name, code) ? code : name;
}

// The file a component's key path names ("C:\\..." or, as the installer also writes it, "C?\\..."), or
// empty when it names a registry key or nothing.
std::wstring KeyFileOfKeyPath(const std::wstring& keyPath) {
    if (keyPath.size() < 4 || keyPath[2] != L'\\') return L"";
    const wchar_t drive = keyPath[0];
    if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z'))) return L"";
    if (keyPath[1] != L':' && keyPath[1] != L'?') return L"";
    std::wstring file = keyPath;
    file[1] = L':';
    return file;
}

// One component key: its client values with their data. ERROR_SUCCESS when the value listing ran to its
// end, otherwise the error that stopped it.
LONG ReadComponent(HKEY key, const std::wstring& packedProduct, const PathList& prefixes, bool& ofProduct,
                   std::wstring& productKeyPath, std::map<std::wstring, PathList>& keyFiles) {
    LONG listed = ERROR_SUCCESS;
    for (const std::wstring& valueName : System::ListValueNames(key, listed)) {
        const bool own = NamesEqual(valueName, packedProduct);
        ofProduct = ofProduct || own;
        if (!own && prefixes.empty()) continue;
        const std::optional<std::wstring> text = StoredText(ReadRegistryValue(key, valueName));
        if (!text) continue;
        if (own)
            productKeyPath = *text;
        else if (IsBelowAny(*text, prefixes))
            AppendNameOnce(keyFiles[*text], ProductOfValueName(valueName));
    }
    return listed;
}

}  // namespace

ComponentRegistrationPass ReadComponentRegistrations(RegistryView view, const std::wstring& packedProduct,
                                                     const PathList& folders) {
    ComponentRegistrationPass pass;
    if (packedProduct.empty()) return pass;
    const PathList prefixes = FolderPrefixes(folders);
    for (const std::wstring& components : UserDataKindKeys(view, L"Components")) {
        for (const std::wstring& packed : SubkeysOf(view, components)) {
            std::wstring code;
            if (!UnpackGuid(packed, code)) continue;
            const std::wstring keyPath = components + packed + L"\\";
            UniqueRegKey key;
            LONG opened = OpenExistingKey(keyPath, view, KEY_READ, key);
            if (opened == ERROR_FILE_NOT_FOUND) continue;  // gone since the listing
            bool ofProduct = false;
            std::wstring productKeyPath;
            LONG read = opened != ERROR_SUCCESS ? opened
                                                : ReadComponent(key.Get(), packedProduct, prefixes, ofProduct,
                                                                productKeyPath, pass.otherProductsKeyFiles);
            if (read != ERROR_SUCCESS) pass.unread.push_back({keyPath, read});
            if (!ofProduct) continue;
            pass.componentsOfProduct.push_back(code);
            const std::wstring keyFile = KeyFileOfKeyPath(productKeyPath);
            if (!keyFile.empty()) pass.productKeyFiles.emplace(FoldedName(code), keyFile);
        }
    }
    return pass;
}

std::wstring ComponentRegistrationPass::ProductKeyFileOf(const std::wstring& componentCode) const {
    auto found = productKeyFiles.find(FoldedName(componentCode));
    return found == productKeyFiles.end() ? std::wstring() : found->second;
}

}  // namespace Zento::Lithcore
