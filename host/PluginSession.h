#pragma once
// A simulated game session around the plug-in file: loaded, queried and
// loaded as the script extender does it, one movie set up; then its
// functions called as the game's UI runtime calls them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/ArgumentValues.h"
#include "host/os/PluginLibrary.h"
#include "sim/SimHost.h"
#include "sim/SimMovie.h"
#include "sim/SimUiRuntime.h"

enum class SessionState { kReady, kPluginNotLoaded, kQueryRefused };

// The result value, copied out of the plug-in's memory.
struct CallResult {
  std::uint32_t kindCode = 0;
  bool boolean = false;
  std::string text;  // of a string result
};

class PluginSession {
 public:
  explicit PluginSession(const std::string& pluginPath);
  // Unloads the plug-in, which closes its log.
  ~PluginSession();
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  SessionState State() const { return state_; }
  // Why the session is not ready.
  const std::string& Problem() const { return problem_; }

  // Nothing when the movie's namespace object has no such function.
  std::optional<CallResult> Call(const std::string& function, const std::vector<ArgumentValue>& arguments);

 private:
  host_os::PluginLibrary library_;  // first in, last out
  sim::SimHeap heap_;
  std::optional<sim::SimHost> host_;
  sim::SimMovie movie_;
  SessionState state_ = SessionState::kPluginNotLoaded;
  std::string problem_;
};
