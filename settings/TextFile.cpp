#include "settings/TextFile.h"

#include <stdexcept>

namespace Zento::Lithcore {

namespace {
constexpr char kOpenError[] = "Open() Error!!!";
// "文字コード変換エラー" in Shift_JIS, as the error text is narrow.
constexpr char kConversionError[] =
    "\x95\xb6\x8e\x9a\x83\x52\x81\x5b\x83\x68\x95\xcf\x8a\xb7\x83\x47\x83\x89\x81\x5b";
}  // namespace

int TextFile::Open(DWORD access, DWORD share, DWORD creation) {
    if (handle_.IsValid()) return -8;
    if (path_.empty()) return -2;
    HANDLE h = ::CreateFileW(path_.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -2;
    handle_.Reset(h);
    return 0;
}

TextFile TextFile::OpenOrThrow(const std::wstring& path, int mode, DWORD access, DWORD share, DWORD creation) {
    TextFile file(path, mode);
    if (file.Open(access, share, creation) != 0) throw std::runtime_error(kOpenError);
    return file;
}

TextFile TextFile::OpenForWriting(const std::wstring& path, int encodingMode) {
    return OpenOrThrow(path, encodingMode, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       OPEN_ALWAYS);
}

TextFile TextFile::CreateNewForWriting(const std::wstring& path, int encodingMode) {
    return OpenOrThrow(path, encodingMode, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       CREATE_NEW);
}

TextFile TextFile::OpenForReading(const std::wstring& path) {
    return OpenOrThrow(path, kUtf8, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
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

int TextFile::WriteBytes(const void* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(handle_.Get(), data, size, &written, nullptr) || written != size) return -1;
    return 0;
}

int TextFile::WriteText(const std::wstring& text) {
    if (!handle_.IsValid()) return -9;
    if (encodingMode_ == kUtf8) {
        int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        if (size == 0) throw std::runtime_error(kConversionError);
        std::string bytes(static_cast<size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
        return WriteBytes(bytes.data(), static_cast<DWORD>(size - 1));
    }
    std::wstring units;
    if (writeByteOrderMark_ && ::GetFileSize(handle_.Get(), nullptr) == 0) units.push_back(byteOrderMark_);
    units += text;
    return WriteBytes(units.data(), static_cast<DWORD>(units.size() * sizeof(wchar_t)));
}

void TextFile::Close() { handle_.Reset(); }

}  // namespace Zento::Lithcore
