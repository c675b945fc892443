#include "standin/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/UniqueResource.h"

namespace Standin {

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    Zento::Lithcore::UniqueLocalMemory owner(argv);
    std::vector<std::wstring> arguments;
    if (argv == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

}  // namespace Standin
