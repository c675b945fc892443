#include "settings/TextFile.h"

#include <stdexcept>

namespace Zento::Lithcore {

namespace {
constexpr char kOpenError[] = "Open() Error!!!";
// "文字コード変換エラー" in Shift_JIS, as the error text is narrow.
constexpr char kConversionError[] =
    "\x95\xb6\x8e\x9a\x83\x52\x81\x5b\x83\x68\x95\xcf\x8a\xb7\x83\x47\x83\x89\x81\x5b";
}  // namespace

TextFile TextFile::Open(const std::wstring& path, DWORD access, DWORD share, DWORD creation) {
    TextFile file(path);
    file.handle_.Reset(::CreateFileW(path.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.handle_) throw std::runtime_error(kOpenError);
    return file;
}

TextFile TextFile::CreateNewForWriting(const std::wstring& path) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW);
}

TextFile TextFile::OpenForReading(const std::wstring& path) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

std::vector<unsigned char> TextFile::ReadAll() const {
    if (!handle_.IsValid()) return {};
    DWORD size = ::GetFileSize(handle_.Get(), nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE) return {};
    std::vector<unsigned char> bytes(size);
    DWORD read = 0;
    if (!::ReadFile(handle_.Get(), bytes.data(), size, &read, nullptr) || read != size) return {};
    return bytes;
}

int TextFile::WriteText(const std::wstring& text) {
    if (!handle_.IsValid()) return -9;
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size == 0) throw std::runtime_error(kConversionError);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    const auto length = static_cast<DWORD>(size - 1);
    DWORD written = 0;
    return ::WriteFile(handle_.Get(), bytes.data(), length, &written, nullptr) && written == length ? 0 : -1;
}

}  // namespace Zento::Lithcore
