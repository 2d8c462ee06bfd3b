// Named trace levels. A traced method asks for its own switch, named after
// the method ("Linker::mapSections"), and runs its trace block when the
// level is not 0. The delivered programs switch nothing on.
#pragma once

#include <string>

// Adds the name with level 0 unless present; returns the name.
std::string registerDebugSwitch(const std::string &name);
// Adds the name if needed and sets its level; returns the name.
std::string setDebugSwitch(const std::string &name, int level);
// The name's level; a name first seen here is added with level 0.
int debugLevel(const std::string &name);
