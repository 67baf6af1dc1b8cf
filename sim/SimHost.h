#pragma once
// A simulated script extender host: it fills the host interface record as the
// real host does, answers the interface and plug-in handle queries, keeps the
// UI callbacks registered at load, and calls them for each movie it sets up.

#include <cstdint>
#include <string>
#include <vector>

#include "abi/HostRecords.h"
#include "sim/SimMovie.h"

namespace sim {

struct PluginEntryPoints {
  bool (*query)(const HostInterface* host, PluginInfo* info);
  bool (*load)(const HostInterface* host);
};

struct Registration {
  std::string namespaceName;
  UiRegisterCallback callback;
};

class SimHost {
 public:
  static constexpr std::uint32_t kRuntime1_8_151_0 = 0x08970000;
  static constexpr std::uint32_t kPluginHandle = 0x2A;

  // One host at a time: its record functions reach it through a process-wide pointer.
  explicit SimHost(PluginEntryPoints plugin);
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  // Set before Query.
  std::uint32_t runtimeVersion = kRuntime1_8_151_0;
  std::uint32_t isEditor = 0;
  bool offerUiInterface = true;
  std::uint32_t uiInterfaceVersion = 1;
  bool registrationResult = true;

  bool Query();
  bool Load();
  // Calls every registered callback with the movie and its namespace object;
  // false when any callback answered false.
  bool SetUpMovie(SimMovie& movie);

  // The information record as the plug-in left it (starts filled with junk).
  const PluginInfo& Info() const { return info_; }
  const HostInterface& Record() const { return record_; }
  // Host calls in order, e.g. "GetPluginHandle", "QueryInterface 1", "Register quiverleaf".
  const std::vector<std::string>& Events() const { return events_; }
  const std::vector<Registration>& Registrations() const { return registrations_; }

 private:
  static void* QueryInterface(std::uint32_t id);
  static std::uint32_t GetPluginHandle();
  static bool Register(const char* namespaceName, UiRegisterCallback callback);

  PluginEntryPoints plugin_;
  HostInterface record_{};
  UiInterface uiInterface_{};
  PluginInfo info_{};
  std::vector<std::string> events_;
  std::vector<Registration> registrations_;
};

}  // namespace sim
