#include "sim/SimHost.h"

#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
SimHost* current = nullptr;
}

SimHost::SimHost(PluginEntryPoints plugin) : plugin_(plugin) {
  if (current) std::abort();  // one host per process at a time
  current = this;
  std::memset(&info_, 0xEE, sizeof info_);
}

SimHost::~SimHost() { current = nullptr; }

bool SimHost::Query() {
  record_.hostVersion = 0x01070030;
  record_.runtimeVersion = runtimeVersion;
  record_.editorVersion = 0;
  record_.isEditor = isEditor;
  record_.QueryInterface = &SimHost::QueryInterface;
  record_.GetPluginHandle = &SimHost::GetPluginHandle;
  uiInterface_.interfaceVersion = uiInterfaceVersion;
  uiInterface_.Register = &SimHost::Register;
  return plugin_.query(&record_, &info_);
}

bool SimHost::Load() { return plugin_.load(&record_); }

bool SimHost::SetUpMovie(SimMovie& movie) {
  bool all = true;
  for (const Registration& registration : registrations_) {
    all = registration.callback(movie.Object(), movie.NamespaceObject()) && all;
  }
  return all;
}

void* SimHost::QueryInterface(std::uint32_t id) {
  current->events_.push_back("QueryInterface " + std::to_string(id));
  if (id != HostInterface::kUiInterfaceId || !current->offerUiInterface) return nullptr;
  return &current->uiInterface_;
}

std::uint32_t SimHost::GetPluginHandle() {
  current->events_.push_back("GetPluginHandle");
  return kPluginHandle;
}

bool SimHost::Register(const char* namespaceName, UiRegisterCallback callback) {
  current->events_.push_back(std::string("Register ") + namespaceName);
  current->registrations_.push_back({namespaceName, callback});
  return current->registrationResult;
}

}  // namespace sim
