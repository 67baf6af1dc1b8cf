#pragma once
// The plug-in linked into the test executable, as the simulated host sees it.

#include "plugin/PluginMain.h"
#include "sim/SimHost.h"

namespace sim {

inline PluginEntryPoints LinkedPlugin() { return {&SKSEPlugin_Query, &SKSEPlugin_Load}; }

}  // namespace sim
