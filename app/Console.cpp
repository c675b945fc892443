#include "app/Console.h"

#include <cstdio>

#include "settings/TextConversion.h"

namespace Quellor {

ConsoleOutput::ConsoleOutput() : handle_(::GetStdHandle(STD_OUTPUT_HANDLE)), isConsole_(false) {
    DWORD mode = 0;
    isConsole_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode);
}

void ConsoleOutput::Write(const std::wstring& text) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD written = 0;
    if (isConsole_) {
        ::WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = Zento::Lithcore::ToUtf8(text);
    ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int ConsoleInput::ReadChar() {
    int c = std::fgetc(stdin);
    return c == EOF ? kEnd : c;
}

}  // namespace Quellor
