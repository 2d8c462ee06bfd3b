// The process-wide registry of named trace levels.

#include "debugsw.h"

#include <map>

namespace {

std::map<std::string, int> &switches()
{
    static std::map<std::string, int> table;
    return table;
}

} // namespace

std::string registerDebugSwitch(const std::string &name)
{
    switches().try_emplace(name, 0);
    return name;
}

std::string setDebugSwitch(const std::string &name, int level)
{
    switches()[name] = level;
    return name;
}

int debugLevel(const std::string &name)
{
    return switches().try_emplace(name, 0).first->second;
}
