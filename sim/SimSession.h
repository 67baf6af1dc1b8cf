#pragma once
// A game session in one object: a UI heap installed, the host with the
// plug-in queried and loaded, and one movie set up.

#include "sim/SimHost.h"
#include "sim/SimMovie.h"
#include "sim/SimUiRuntime.h"

namespace sim {

class SimSession {
 public:
  explicit SimSession(PluginEntryPoints plugin) : host(plugin) {
    SimUiRuntime::Get().InstallHeap(&heap);
    queried = host.Query();
    loaded = queried && host.Load();
    if (loaded) host.SetUpMovie(movie);
  }
  ~SimSession() { SimUiRuntime::Get().InstallHeap(nullptr); }
  SimSession(const SimSession&) = delete;
  SimSession& operator=(const SimSession&) = delete;

  SimHeap heap;
  SimHost host;
  SimMovie movie;
  bool queried = false;
  bool loaded = false;
};

}  // namespace sim
