#pragma once
// Entry points of the plug-in, as the script extender host calls them.

#include <cstdint>

#include "abi/CallingConvention.h"
#include "abi/HostRecords.h"

QL_EXPORT bool SKSEPlugin_Query(const HostInterface* host, PluginInfo* info);
QL_EXPORT bool SKSEPlugin_Load(const HostInterface* host);

// The callback registered under "quiverleaf": installs the UI functions.
bool RegisterScaleform(UiMovie* movie, UiValue* namespaceObject);

// The handle the host gave at query time.
std::uint32_t PluginHandle();
