#pragma once
// The operator's console: wide text out, characters in.
// Output goes through WriteConsoleW when standard output is a console, and as UTF-8 bytes
// otherwise (a file or a pipe), so Japanese text arrives intact either way.
#include <windows.h>

#include <string>

namespace Quellor {

class ConsoleOutput {
public:
    ConsoleOutput();
    virtual ~ConsoleOutput() = default;
    virtual void Write(const std::wstring& text);

private:
    HANDLE handle_;
    bool isConsole_;
};

// Standard input, line-buffered by the C runtime (text mode, so CR LF reads as one '\n').
class ConsoleInput {
public:
    static constexpr int kEnd = -1;
    virtual ~ConsoleInput() = default;
    // One character, or kEnd when input has ended.
    virtual int ReadChar();
};

}  // namespace Quellor
