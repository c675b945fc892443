#include "app/removal/RegistryBackup.h"

#include "platform/AdministratorsOnly.h"
#include "platform/UniqueResource.h"

namespace Quellor {

namespace {

constexpr wchar_t kLogPrefix[] = L"infoLog_";
constexpr wchar_t kLogSuffix[] = L".txt";

}  // namespace

std::wstring BackupFileName(const std::wstring& logPath) {
    size_t nameStart = logPath.find_last_of(L'\\');
    nameStart = nameStart == std::wstring::npos ? 0 : nameStart + 1;
    std::wstring folder = logPath.substr(0, nameStart);
    std::wstring name = logPath.substr(nameStart);
    if (name.rfind(kLogPrefix, 0) == 0) name = name.substr(std::wstring(kLogPrefix).size());
    if (name.ends_with(kLogSuffix)) name.resize(name.size() - std::wstring(kLogSuffix).size());
    return folder + L"backup_" + name + L".reg";
}

DWORD WriteProtectedFile(const std::wstring& path, const std::string& bytes, bool append) {
    Zento::Lithcore::AdministratorsOnlySecurity security(Zento::Lithcore::AdministratorsOnlySecurity::For::File);
    if (security.Attributes() == nullptr) return security.Error();
    Zento::Lithcore::UniqueHandle file(::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                                     FILE_SHARE_READ, append ? nullptr : security.Attributes(),
                                                     append ? OPEN_EXISTING : CREATE_NEW,
                                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return ::GetLastError();
    DWORD written = 0;
    DWORD result = ERROR_SUCCESS;
    if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        !::FlushFileBuffers(file.Get()) || !Zento::Lithcore::CloseKernelHandle(file))
        result = ::GetLastError();
    else if (written != bytes.size())
        result = ERROR_WRITE_FAULT;
    // A partial file would only mislead whoever reads it later.
    if (result != ERROR_SUCCESS && !append) {
        file.Reset();
        ::DeleteFileW(path.c_str());
    }
    return result;
}

DWORD WriteBackupFile(const std::wstring& path, const std::wstring& text) {
    // regedit's form: UTF-16LE with its byte-order mark, which wchar_t already is on Windows.
    const std::wstring content = L"\xFEFF" + text;
    return WriteProtectedFile(
        path, std::string(reinterpret_cast<const char*>(content.data()), content.size() * sizeof(wchar_t)), false);
}

}  // namespace Quellor
