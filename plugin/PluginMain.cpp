// Entry points called by the script extender host, and the per-movie callback.

#include "functions/UiFunctions.h"
#include "plugin/HandlerCache.h"
#include "plugin/PluginMain.h"
#include "support/IDebugLog.h"

namespace {

constexpr std::uint32_t kInfoVersion = 1;
constexpr char kPluginName[] = "skse_quiverleaf";
constexpr std::uint32_t kPluginVersion = 3;
constexpr std::uint32_t kRequiredRuntime = 0x08970000;  // 1.8.151.0
constexpr std::uint32_t kLowestUiInterfaceVersion = 1;
constexpr char kNamespace[] = "quiverleaf";

UiInterface* uiInterface = nullptr;
std::uint32_t pluginHandle = 0;

bool Query(const HostInterface& host, PluginInfo& info) {
  LogInfo("SKSEPlugin_Query start");

  info.infoVersion = kInfoVersion;
  info.name = kPluginName;
  info.version = kPluginVersion;

  pluginHandle = host.GetPluginHandle();

  if (host.runtimeVersion != kRequiredRuntime) {
    LogInfo("Quiverleaf_extensions compatible with only Skyrim 1.8.151.0");
    return false;
  }
  if (host.isEditor) {
    LogInfo("Loaded in editor, marking as incompatible");
    return false;
  }
  uiInterface = static_cast<UiInterface*>(host.QueryInterface(HostInterface::kUiInterfaceId));
  if (!uiInterface) {
    LogInfo("Couldn't get scaleform interface");
    return false;
  }
  if (uiInterface->interfaceVersion < kLowestUiInterfaceVersion) {
    LogInfo("Scaleform interface is too old (%d expected %d)",
            static_cast<int>(uiInterface->interfaceVersion),
            static_cast<int>(kLowestUiInterfaceVersion));
    return false;
  }

  LogInfo("SKSEPlugin_Query done");
  return true;
}

}  // namespace

bool RegisterScaleform(UiMovie* movie, UiValue* namespaceObject) {
  try {
    LogInfo("RegisterScaleform start");
    InstallUiFunction<SKSEScaleform_SaveFile>(*namespaceObject, *movie, "saveFile");
    InstallUiFunction<SKSEScaleform_ConvertWin1251ToUTF8>(*namespaceObject, *movie, "Win1251ToUTF8");
    LogInfo("RegisterScaleform done");
  } catch (...) {
    // Out of memory for the cache: the functions stay missing on this movie.
  }
  return true;
}

std::uint32_t PluginHandle() { return pluginHandle; }

QL_EXPORT bool SKSEPlugin_Query(const HostInterface* host, PluginInfo* info) {
  try {
    return Query(*host, *info);
  } catch (...) {
    return false;
  }
}

QL_EXPORT bool SKSEPlugin_Load(const HostInterface*) {
  try {
    LogInfo("SKSEPlugin_Load start");
    IDebugLog::SetFlushAfterWrite(true);
    if (uiInterface) uiInterface->Register(kNamespace, &RegisterScaleform);
    LogInfo("SKSEPlugin_Load done");
  } catch (...) {
    // Loading cannot fail.
  }
  return true;
}
