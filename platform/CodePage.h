#pragma once
#include <windows.h>

#include <string>

namespace Zento::Lithcore {

// The text in the given code page, without a terminator; empty when it cannot be converted.
std::string NarrowText(const std::wstring& text, UINT codePage);

}  // namespace Zento::Lithcore
