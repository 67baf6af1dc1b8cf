#include "host/os/PluginLibrary.h"

#include <dlfcn.h>

namespace host_os {

PluginLibrary::PluginLibrary(const std::string& path) {
  // RTLD_LOCAL: the plug-in's own symbols stay its own; it finds the host's
  // seam through the global scope of the executable.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    error_ = reason ? reason : "dlopen failed";
  }
}

PluginLibrary::~PluginLibrary() {
  if (handle_) dlclose(handle_);
}

ExportedFunction PluginLibrary::Find(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<ExportedFunction>(dlsym(handle_, name));
}

}  // namespace host_os
