#pragma once
#include <string>

namespace Zento::Lithcore {

// Replaces every %NAME% reference; the buffer grows until the whole expansion fits.
std::wstring ExpandEnvironment(const std::wstring& text);

// IsWow64Process on the current process reported 1: a 32-bit program on 64-bit Windows.
bool IsWow64();

}  // namespace Zento::Lithcore
