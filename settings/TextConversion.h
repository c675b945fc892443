#pragma once
// Conversions between wide text and the UTF-8 / ANSI code pages.
#include <string>

namespace Zento::Lithcore {

constexpr int kUtf8Mode = 1;  // FromMultiByte mode for UTF-8; any other value means the ANSI code page

// Converts up to the first NUL byte; empty when the conversion fails.
std::wstring FromMultiByte(const std::string& bytes, int mode);

// UTF-8 bytes of the text (no terminator); empty for empty text or a failed conversion.
std::string ToUtf8(const std::wstring& text);

}  // namespace Zento::Lithcore
