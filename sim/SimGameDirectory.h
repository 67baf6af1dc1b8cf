#pragma once
// Where the simulated game is installed: the runtime root lookup is shown an
// executable "host.exe" in the given directory.

#include <string>

namespace sim {

// `directory` is an absolute path in either separator form. Returns the
// runtime root as the plug-in writes it: backslashes, one trailing.
// The name is kept in fixed storage, so later lookups allocate nothing.
std::string PlaceGameIn(const std::string& directory);

}  // namespace sim
