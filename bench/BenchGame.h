#pragma once
// The plug-in as the game runs it, for the benchmarks: one simulated session
// for the process, its functions called through the handler's table as the
// UI runtime calls them.

#include <string>

#include "abi/HostRecords.h"

namespace bench {

// The handler object behind a function of the session's movie.
void* GameFunction(const char* name);

// Calls slot 1 of the handler's table with a function call record.
UiValue CallFunction(void* handler, UiValue* args, unsigned argCount);

// Makes `directory` (absolute, slash form) the game's directory for saveFile.
void SetGameDirectory(const std::string& directory);

// Sends standard output to /dev/null while it lives: the log echoes its
// level-3 lines there, and the report must stay readable.
class MutedConsole {
 public:
  MutedConsole();
  ~MutedConsole();
  MutedConsole(const MutedConsole&) = delete;
  MutedConsole& operator=(const MutedConsole&) = delete;

 private:
  int savedOutput_;
};

}  // namespace bench
