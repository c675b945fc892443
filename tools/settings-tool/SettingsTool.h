#pragma once
// Commands of quellor-settings.exe, kept apart from wmain so tests can drive them.
#include <string>
#include <vector>

namespace Quellor::SettingsTool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // bad input, a file that does not load, a write that failed
constexpr int kExitUsage = 2;

class Output {
public:
    virtual ~Output() = default;
    virtual void Out(const std::wstring& text) = 0;
    virtual void Err(const std::wstring& text) = 0;
};

// args: the command and its operands, without the program name.
int RunSettingsTool(const std::vector<std::wstring>& args, Output& output);

}  // namespace Quellor::SettingsTool
