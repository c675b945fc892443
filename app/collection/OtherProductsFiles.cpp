#include "app/collection/OtherProductsFiles.h"

#include <windows.h>

#include <set>

#include "files/DeletablePaths.h"
#include "platform/FileSystem.h"
#include "registry/Names.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

PathList WithShortForms(const PathList& folders) {
    PathList all;
    for (const std::wstring& folder : folders) {
        all.push_back(folder);
        wchar_t shortForm[MAX_PATH] = {};
        DWORD length = ::GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH);
        if (length > 0 && length < MAX_PATH && !Lc::SamePath(shortForm, folder)) all.push_back(shortForm);
    }
    return all;
}

std::vector<SparedItem> FilesKeptForOtherProducts(const std::map<std::wstring, PathList>& otherKeyFiles,
                                                  const PathList& ownComponentPaths) {
    std::set<std::wstring> own;
    for (const std::wstring& path : ownComponentPaths)
        if (!path.empty()) own.insert(Lc::ComparablePath(path));
    std::vector<SparedItem> items;
    std::map<std::wstring, size_t> indexOf;  // comparable path -> item
    auto keep = [&](const std::wstring& path, const PathList& products) {
        auto [at, added] = indexOf.emplace(Lc::ComparablePath(path), items.size());
        if (added) items.push_back({path, {}});
        for (const std::wstring& product : products) Lc::AppendNameOnce(items[at->second].keptFor, product);
    };
    for (const auto& [keyFile, products] : otherKeyFiles) keep(keyFile, products);
    for (const auto& [keyFile, products] : otherKeyFiles) {
        const std::wstring folder = Lc::FolderOf(keyFile);
        if (folder.empty()) continue;
        for (const std::wstring& file : Lc::ListFiles(folder))
            if (own.count(Lc::ComparablePath(file)) == 0) keep(file, products);
    }
    return items;
}

PathList SparedLines(const std::vector<SparedItem>& items) {
    PathList lines;
    for (const SparedItem& spared : items) {
        std::wstring products;
        for (const std::wstring& product : spared.keptFor) products += (products.empty() ? L"" : L", ") + product;
        lines.push_back(spared.item + L"\r\n - 使用している製品: " + products);
    }
    return lines;
}

}  // namespace Quellor
