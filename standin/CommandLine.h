#pragma once
// The process's own arguments as wide strings (argv[0] left out).
#include <string>
#include <vector>

namespace Standin {

std::vector<std::wstring> CommandLineArguments();
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);

}  // namespace Standin
