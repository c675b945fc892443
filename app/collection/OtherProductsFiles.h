#pragma once
// Files below the product's folders that other installed products' components use. Windows Installer
// puts every file of a component in the folder of its key path, so such a folder's other files stay too,
// unless a component of the target names them.
#include <map>
#include <string>
#include <vector>

#include "app/plan/RemovalPlan.h"

namespace Quellor {

// The folders with their short spellings too, for matching key paths as the installer wrote them.
PathList WithShortForms(const PathList& folders);

// Every key file of `otherKeyFiles` (path -> the products that name it) and every other file in its
// folder that none of `ownComponentPaths` names, each with the products that keep it.
std::vector<SparedItem> FilesKeptForOtherProducts(const std::map<std::wstring, PathList>& otherKeyFiles,
                                                  const PathList& ownComponentPaths);

// The log lines of spared items: the item, then the products that keep it.
PathList SparedLines(const std::vector<SparedItem>& items);

}  // namespace Quellor
