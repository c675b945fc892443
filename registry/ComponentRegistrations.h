#pragma once
// The installer's component registrations, read in one pass over its user data.
#include <map>
#include <string>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// What one pass over every Installer\UserData\<sid>\Components\<packed code>\ key gathers: value names
// are the packed codes of the component's client products, value data its key path for that client.
struct ComponentRegistrationPass {
    // Braced codes of the components that list the product as a client, in the order of the walk.
    PathList componentsOfProduct;
    // The product's own key file of each of those components, as its registration names it (upper-case
    // braced code -> path), whether or not the file is still there. Registry key paths are not listed.
    std::map<std::wstring, std::wstring> productKeyFiles;
    // That file for one braced code, in any letter case; empty when there is none.
    std::wstring ProductKeyFileOf(const std::wstring& componentCode) const;
    // Key paths that another client of a component names below one of the given folders, as the
    // registration spells them, each with those clients (braced codes; a name that is no packed code
    // as it is). A component's other files lie in the folder of its key path.
    std::map<std::wstring, PathList> otherProductsKeyFiles;
    // Component keys that could not be opened or listed to their end, each with its error: another
    // product's key path may be among what was not read.
    std::vector<std::pair<std::wstring, LONG>> unread;
};

// The walk: every user security identifier in registry order, the native user data first and, when
// the view has one (64-bit Windows), the Wow6432Node one after it. `folders` are compared as written,
// without regard to letter case: pass every spelling that matters (long and short forms).
ComponentRegistrationPass ReadComponentRegistrations(RegistryView view, const std::wstring& packedProduct,
                                                     const PathList& folders);

}  // namespace Zento::Lithcore
