#pragma once
// Codes of the test packages built by this folder's CMakeLists.txt (keep the two in step).
#include <string>

namespace QuellorTest::Fixtures {

// MachineV1 / MachineV2: two versions under one upgrade code; each has a file and a registry component.
inline const std::wstring kMachineUpgrade = L"{6C1E2F40-7A3B-4D5E-9F60-1A2B3C4D5E01}";
inline const std::wstring kMachineV1 = L"{6C1E2F41-7A3B-4D5E-9F60-1A2B3C4D5E11}";
inline const std::wstring kMachineV1File = L"{6C1E2F41-7A3B-4D5E-9F60-1A2B3C4D5EF1}";
inline const std::wstring kMachineV1Registry = L"{6C1E2F41-7A3B-4D5E-9F60-1A2B3C4D5EA1}";
inline const std::wstring kMachineV2 = L"{6C1E2F42-7A3B-4D5E-9F60-1A2B3C4D5E12}";
inline const std::wstring kMachineV2File = L"{6C1E2F42-7A3B-4D5E-9F60-1A2B3C4D5EF2}";
inline const std::wstring kMachineV2Registry = L"{6C1E2F42-7A3B-4D5E-9F60-1A2B3C4D5EA2}";

// MachineLong: Machine.wxs installed into a folder whose name is 240 characters long.
inline const std::wstring kMachineLong = L"{6C1E2F4A-7A3B-4D5E-9F60-1A2B3C4D5E1A}";
inline const std::wstring kMachineLongFile = L"{6C1E2F4A-7A3B-4D5E-9F60-1A2B3C4D5EFA}";

// SharedLow / SharedHigh both install kSharedComponent; SharedLow's packed code sorts first.
inline const std::wstring kSharedLow = L"{7D2E3F10-8B4C-4E6F-A071-2B3C4D5E6F10}";
inline const std::wstring kSharedLowFile = L"{7D2E3F10-8B4C-4E6F-A071-2B3C4D5E6FF0}";
inline const std::wstring kSharedHigh = L"{7D2E3F1F-8B4C-4E6F-A071-2B3C4D5E6F1F}";
inline const std::wstring kSharedHighFile = L"{7D2E3F1F-8B4C-4E6F-A071-2B3C4D5E6FFF}";
inline const std::wstring kSharedComponent = L"{7D2E3F99-8B4C-4E6F-A071-2B3C4D5E6F99}";

// User: a per-user install.
inline const std::wstring kUserUpgrade = L"{8E3F4A50-9C5D-4F70-B182-3C4D5E6F7A50}";
inline const std::wstring kUser = L"{8E3F4A51-9C5D-4F70-B182-3C4D5E6F7A51}";
inline const std::wstring kUserFile = L"{8E3F4A5C-9C5D-4F70-B182-3C4D5E6F7A5C}";

}  // namespace QuellorTest::Fixtures
