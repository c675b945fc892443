#pragma once
// Building small folder trees and reading them back, for the file tests.
#include <windows.h>

#include "platform/UniqueResource.h"

#include <algorithm>
#include <string>
#include <vector>

namespace QuellorTest {

// Entries are relative to root (made when missing, its parent must exist); a trailing backslash makes a folder, anything else a file.
inline void MakeTree(const std::wstring& root, const std::vector<std::wstring>& entries) {
    ::CreateDirectoryW(root.c_str(), nullptr);
    for (const std::wstring& entry : entries) {
        std::wstring path = root + L"\\" + entry;
        for (size_t cut = path.find(L'\\', root.size() + 1); cut != std::wstring::npos; cut = path.find(L'\\', cut + 1))
            ::CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
        if (entry.back() != L'\\') {
            Zento::Lithcore::UniqueHandle file(
                ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        }
    }
}

// Every file and folder below root, relative, folders with a trailing backslash; sorted.
inline void CollectTree(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW data;
    Zento::Lithcore::UniqueFindHandle find(::FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data));
    if (!find) return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(relative + name + L"\\");
            CollectTree(root, relative + name + L"\\", out);
        } else {
            out.push_back(relative + name);
        }
    } while (::FindNextFileW(find.Get(), &data));
}

inline std::vector<std::wstring> TreeOf(const std::wstring& root) {
    std::vector<std::wstring> out;
    CollectTree(root, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> list) {
    std::sort(list.begin(), list.end());
    return list;
}

// Sets a registry string value for one test and puts back what was there (or removes it) on destruction.
class ShellFolderTestValue {
public:
    ShellFolderTestValue(HKEY root, const std::wstring& keyPath, const std::wstring& name, const std::wstring& data,
                         REGSAM view = 0)
        : root_(root), keyPath_(keyPath), name_(name), view_(view) {
        Zento::Lithcore::UniqueRegKey owner;
        if (::RegCreateKeyExW(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, owner.Put(),
                              nullptr) != ERROR_SUCCESS)
            return;
        DWORD type = 0;
        DWORD size = sizeof(old_);
        HKEY key = owner.Get();
        hadOld_ = ::RegQueryValueExW(key, name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(old_), &size) ==
                  ERROR_SUCCESS;
        if (hadOld_) oldType_ = type, oldSize_ = size;
        ::RegSetValueExW(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    ~ShellFolderTestValue() {
        Zento::Lithcore::UniqueRegKey owner;
        if (::RegOpenKeyExW(root_, keyPath_.c_str(), 0, KEY_ALL_ACCESS | view_, owner.Put()) != ERROR_SUCCESS) return;
        HKEY key = owner.Get();
        if (hadOld_)
            ::RegSetValueExW(key, name_.c_str(), 0, oldType_, reinterpret_cast<const BYTE*>(old_), oldSize_);
        else
            ::RegDeleteValueW(key, name_.c_str());
    }
    ShellFolderTestValue(const ShellFolderTestValue&) = delete;
    ShellFolderTestValue& operator=(const ShellFolderTestValue&) = delete;

private:
    HKEY root_;
    std::wstring keyPath_;
    std::wstring name_;
    REGSAM view_;
    bool hadOld_ = false;
    DWORD oldType_ = 0;
    DWORD oldSize_ = 0;
    wchar_t old_[1024] = {};
};

inline constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace QuellorTest
