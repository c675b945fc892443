#include "app/removal/RegistryBackup.h"

#include "platform/AdministratorsOnly.h"
#include "platform/UniqueResource.h"

namespace Quellor {

namespace {

constexpr wchar_t kLogPrefix[] = L"infoLog_";
constexpr wchar_t kLogSuffix[] = L".txt";

DWORD WriteAndClose(Zento::Lithcore::UniqueHandle& file, const std::wstring& text) {
    std::wstring content = L"\xFEFF" + text;
    // wchar_t is UTF-16 little-endian on Windows: the bytes are the file's form as they stand.
    const auto* bytes = reinterpret_cast<const BYTE*>(content.data());
    DWORD remaining = static_cast<DWORD>(content.size() * sizeof(wchar_t));
    while (remaining > 0) {
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes, remaining, &written, nullptr)) return ::GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes += written;
        remaining -= written;
    }
    if (!::FlushFileBuffers(file.Get())) return ::GetLastError();
    if (!CloseKernelHandle(file)) return ::GetLastError();
    return ERROR_SUCCESS;
}

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

DWORD WriteBackupFile(const std::wstring& path, const std::wstring& text) {
    // The administrator imports it later: no one else may have changed it in between, whoever may write
    // the folder it lies in.
    Zento::Lithcore::AdministratorsOnlySecurity security(Zento::Lithcore::AdministratorsOnlySecurity::For::File);
    if (security.Attributes() == nullptr) return security.Error();
    Zento::Lithcore::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, security.Attributes(), CREATE_NEW,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return ::GetLastError();
    DWORD result = WriteAndClose(file, text);
    if (result != ERROR_SUCCESS) {
        // A partial backup would only mislead whoever restores from it later.
        file.Reset();
        ::DeleteFileW(path.c_str());
    }
    return result;
}

}  // namespace Quellor
