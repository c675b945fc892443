#pragma once
// Name comparison and the Windows Installer's packed GUID form.
#include <string>
#include <vector>

namespace Zento::Lithcore {

// Equal under FoldedName, the one rule by which names and paths are compared without case.
bool NamesEqual(const std::wstring& a, const std::wstring& b);
// Whether a name of the list is NamesEqual to `name`; the append adds it only when none is.
bool HoldsName(const std::vector<std::wstring>& names, const std::wstring& name);
void AppendNameOnce(std::vector<std::wstring>& names, const std::wstring& name);

// "{8-4-4-4-12}" of hexadecimal digits, in any letter case.
bool IsBracedGuid(const std::wstring& text);

// Appends the 32-character packed form of a braced GUID to `packed`; true when it is exactly 32 characters.
bool PackGuid(const std::wstring& guid, std::wstring& packed);

// The braced GUID of a packed code (packing is its own inverse); false unless it is 32 hexadecimal digits.
bool UnpackGuid(const std::wstring& packed, std::wstring& guid);

// PackGuid of each element, keeping only the ones that succeed, in order.
std::vector<std::wstring> PackGuids(const std::vector<std::wstring>& guids);

}  // namespace Zento::Lithcore
