#pragma once
// A file opened on construction that either reads its whole content as bytes or writes wide text as UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

class TextFile {
public:
    // Read-only, OPEN_EXISTING. Throws std::runtime_error("Open() Error!!!") on failure.
    static TextFile OpenForReading(const std::wstring& path);
    // Read and write, shared for both, never opening an existing file (CREATE_NEW). Throws like OpenForReading.
    static TextFile CreateNewForWriting(const std::wstring& path);

    TextFile(TextFile&&) noexcept = default;
    TextFile& operator=(TextFile&&) noexcept = default;

    std::vector<unsigned char> ReadAll() const;
    // 0 on success, -1 when the write failed or came up short, -9 when not open.
    // Throws std::runtime_error("文字コード変換エラー", Shift_JIS) when UTF-8 sizing fails.
    int WriteText(const std::wstring& text);

    const std::wstring& Path() const { return path_; }

private:
    explicit TextFile(std::wstring path) : path_(std::move(path)) {}
    static TextFile Open(const std::wstring& path, DWORD access, DWORD share, DWORD creation);

    std::wstring path_;
    Zento::Lithcore::UniqueHandle handle_;
};

}  // namespace Zento::Lithcore
