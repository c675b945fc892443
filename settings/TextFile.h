#pragma once
// A file opened on construction that either reads its whole content as bytes
// or writes wide text as UTF-8 (mode 1) or UTF-16LE with one byte-order mark.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

class TextFile {
public:
    static constexpr int kUtf8 = 1;
    static constexpr int kUtf16 = 2;

    // Read and write, shared for both, OPEN_ALWAYS: an existing file is overwritten from its first byte.
    // Throws std::runtime_error("Open() Error!!!") on failure.
    static TextFile OpenForWriting(const std::wstring& path, int encodingMode = kUtf8);
    // Read-only, OPEN_EXISTING. Throws std::runtime_error("Open() Error!!!") on failure.
    static TextFile OpenForReading(const std::wstring& path);
    // Like OpenForWriting, but never opens an existing file (CREATE_NEW). Throws like the others.
    static TextFile CreateNewForWriting(const std::wstring& path, int encodingMode = kUtf8);

    TextFile(TextFile&&) noexcept = default;
    TextFile& operator=(TextFile&&) noexcept = default;
    virtual ~TextFile() = default;

    std::vector<unsigned char> ReadAll() const;
    // 0 on success, -1 when the write failed or came up short, -9 when not open.
    // Throws std::runtime_error("文字コード変換エラー", Shift_JIS) when UTF-8 sizing fails.
    int WriteText(const std::wstring& text);
    void Close();

    bool IsOpen() const { return handle_.IsValid(); }
    const std::wstring& Path() const { return path_; }

private:
    TextFile(std::wstring path, int encodingMode) : path_(std::move(path)), encodingMode_(encodingMode) {}
    int Open(DWORD access, DWORD share, DWORD creation);
    static TextFile OpenOrThrow(const std::wstring& path, int mode, DWORD access, DWORD share, DWORD creation);
    int WriteBytes(const void* data, DWORD size);

    std::wstring path_;
    Zento::Lithcore::UniqueHandle handle_;
    bool writeByteOrderMark_ = true;
    wchar_t byteOrderMark_ = 0xFEFF;
    int encodingMode_ = kUtf8;
};

}  // namespace Zento::Lithcore
