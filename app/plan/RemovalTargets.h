#pragma once
// The removal's targets as one list built from the plan alone: the backup, the deletion and the check at
// the end each walk it once. Every registry target carries its key parsed once, in its view. The searches
// list keys in the native view, a key of the 32-bit view by its Wow6432Node spelling: the path then names
// one key in every view, and the backup, which writes paths as listed, restores it with `reg import /reg:64`.
#include <string>
#include <vector>

#include "app/plan/RemovalPlan.h"
#include "app/plan/Target.h"
#include "platform/FileSystem.h"
#include "registry/RegistryExport.h"
#include "registry/RegistryKeys.h"

namespace Quellor {

// Every candidate of the plan once, in deletion order (the sections' order, a key that goes only when
// empty after every value); the admission then makes the plan's targets of them.
TargetList TargetsOf(const RemovalPlan& plan);

// Adds a search's finds as candidates of one kind and section; keys are parsed in the native view.
void AddCandidates(TargetList& into, const PathList& paths, TargetKind kind, TargetSection section);
void AddValueCandidate(TargetList& into, const std::wstring& keyPath, const std::wstring& name, TargetSection section);

// Adds a target where the deletion order puts it: a registry target after the steps and the registry
// targets, a file or folder at the end.
void AddInDeletionOrder(TargetList& targets, const Target& target);

// The text a target is named by in the log: its path, a value with its key.
std::wstring TargetText(const Target& target);

// Writes every registry target to the backup. ERROR_SUCCESS, or the error of the first target that
// could not be read (one that is already gone is skipped).
[[nodiscard]] DWORD BackUpTargets(const TargetList& targets, Zento::Lithcore::RegistryExport& backup);

// Whether the target is no longer there: all that a log may call deleted. A key that goes only when
// empty and still holds another product's data is no leftover, yet it is not gone either.
bool IsGone(const Target& target);

}  // namespace Quellor
