#include "settings/Settings.h"

// Placeholder until the archive reader lands: no settings file ever loads.
namespace Zento::Lithcore {
bool LoadSettingsFile(const std::wstring&, Settings&) { return false; }
}  // namespace Zento::Lithcore
