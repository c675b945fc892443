#include <windows.h>

#include "settings/TextConversion.h"
#include "tools/settings-tool/SettingsTool.h"

namespace {

// WriteConsoleW on a console; UTF-8 bytes when redirected to a file or pipe.
class StdOutput : public Quellor::SettingsTool::Output {
public:
    void Out(const std::wstring& text) override { Write(::GetStdHandle(STD_OUTPUT_HANDLE), text); }
    void Err(const std::wstring& text) override { Write(::GetStdHandle(STD_ERROR_HANDLE), text); }

private:
    static void Write(HANDLE handle, const std::wstring& text) {
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
        DWORD mode = 0, written = 0;
        if (::GetConsoleMode(handle, &mode)) {
            ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            return;
        }
        const std::string bytes = Zento::Lithcore::ToUtf8(text);
        ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    StdOutput output;
    try {
        return Quellor::SettingsTool::RunSettingsTool(std::vector<std::wstring>(argv + 1, argv + argc), output);
    } catch (...) {  // out of memory, or a library error that slipped through: still a clean exit
        output.Err(L"error: unexpected failure\r\n");
        return Quellor::SettingsTool::kExitFailed;
    }
}
