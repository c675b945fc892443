#pragma once
// The one rule by which a candidate becomes a target of the removal. Whether a search found it or an
// earlier, unfinished removal's journal names it, a candidate is admitted only when it lies in one of
// the product's places and, where such a place may serve others too, is the product's by what it holds;
// anything else is refused with its reason. Nothing is deleted that this rule did not admit.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/plan/Target.h"
#include "settings/Settings.h"

namespace Quellor {

using PathList = std::vector<std::wstring>;

struct Verdict {
    bool admitted = false;
    TargetSection section = TargetSection::MachineKeys;  // where an admitted candidate is deleted and logged
    std::wstring reason;                                  // why a refused one is not
};

// What the rule needs to know besides the candidate, found by the collection before anything is judged.
struct AdmissionFacts {
    std::wstring productCode;
    std::wstring displayName;                  // the name the product's shortcuts and menu folder carry
    std::optional<PathList> protectedFolders;  // none when they could not be read: then no file or folder
    PathList keptPaths;                        // files that stay for other products, and the shared ones
};

class TargetAdmission {
public:
    // Reads where the product's places are on this machine (every user's shell folders among them).
    TargetAdmission(const Zento::Lithcore::Settings& profile, AdmissionFacts facts);
    ~TargetAdmission();
    TargetAdmission(const TargetAdmission&) = delete;
    TargetAdmission& operator=(const TargetAdmission&) = delete;

    [[nodiscard]] Verdict Judge(const Target& candidate) const;

private:
    class Rules;
    std::unique_ptr<Rules> rules_;
};

}  // namespace Quellor
