#pragma once
// The plug-in file loaded as a shared library (dlopen / LoadLibraryA) and
// its exports looked up by their undecorated names.

#include <string>

namespace host_os {

using ExportedFunction = void (*)();

class PluginLibrary {
 public:
  // Loads the file; IsOpen() tells whether it worked, Error() why not.
  explicit PluginLibrary(const std::string& path);
  // Unloads it: the plug-in's static destructors run (its log is closed).
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  // Null when the library has no such export.
  ExportedFunction Find(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace host_os
