#pragma once
// Fixed identities of the stand-in product: class ids as the removal tool's profile knows them,
// AppIDs and the per-user id of our choosing.

namespace Standin {

inline constexpr wchar_t kFerrowClsid[] = L"{0F176F16-C1BE-51d9-2826-B6641F4C4C3A}";
inline constexpr wchar_t kFerrowPsClsid[] = L"{C10CE499-BEAA-FC65-979B-6227A97255C2}";
inline constexpr wchar_t kVentrelClsid[] = L"{97F7CD52-5C94-9b4c-8F6A-82C822B3D6E0}";
inline constexpr wchar_t kTerrionClsid[] = L"{1BE3A785-8017-545C-62F3-D5C10ACC50BD}";
inline constexpr wchar_t kTerrionPsClsid[] = L"{9D406394-BD56-70FD-BC9D-878734DB1AB6}";
inline constexpr wchar_t kNovexClsid[] = L"{66DD3643-314F-D467-CEB1-B75CEE9A5AF5}";
inline constexpr wchar_t kNovexPsClsid[] = L"{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}";

inline constexpr wchar_t kFerrowAppId[] = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A51}";
inline constexpr wchar_t kVentrelAppId[] = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A52}";
inline constexpr wchar_t kNovexAppId[] = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A53}";
inline constexpr wchar_t kTerrionAppId[] = L"{6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A54}";

// Type libraries of the local servers and the interfaces the proxy DLLs marshal, of our choosing.
inline constexpr wchar_t kFerrowLibId[] = L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E61}";
inline constexpr wchar_t kVentrelLibId[] = L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E62}";
inline constexpr wchar_t kNovexLibId[] = L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E63}";
inline constexpr wchar_t kTerrionLibId[] = L"{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E64}";
inline constexpr wchar_t kFerrowIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E61}";
inline constexpr wchar_t kVentrelIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E62}";
inline constexpr wchar_t kNovexIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E63}";
inline constexpr wchar_t kTerrionIid[] = L"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E64}";

// ProgIDs are "<vendor>.<name>.1", the version-independent one "<vendor>.<name>".
inline constexpr wchar_t kVendor[] = L"ZEKT";

inline constexpr wchar_t kServiceName[] = L"Terrion KLQ Service";

}  // namespace Standin
