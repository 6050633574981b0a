// The Windows side of the change observer (platform.h, "what the calls
// create"): the one observer, and the reports the file, registry and shortcut
// calls make through it. Every question asked only for a report (does the
// file exist, which keys are missing) is asked only while changesObserved().
#pragma once

#include <string>

#include "platform/platform.h"

// An observer is set and is not running right now.
bool changesObserved();
// Reports to the observer, which meanwhile sees no reports of its own calls.
void reportChange(ChangeKind kind, bool created, Handle root, const std::string& name,
                  const std::string& valueName = std::string());
// GetFileAttributesA: whether anything has that name now.
bool nameExistsNow(const std::string& name);
