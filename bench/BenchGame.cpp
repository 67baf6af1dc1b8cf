#include "bench/BenchGame.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "functions/RuntimeRoot.h"
#include "plugin/abi/FunctionHandler.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"

namespace bench {

namespace {

sim::SimSession& Session() {
  static sim::SimSession session(sim::LinkedPlugin());
  if (!session.loaded) {
    std::fprintf(stderr, "the plug-in did not load\n");
    std::abort();
  }
  return session;
}

std::string gameExecutable;

os::ExecutableName PresentGameExecutable(char* buffer, std::uint32_t capacity) {
  const auto length = static_cast<std::uint32_t>(gameExecutable.size());
  if (length == 0 || length >= capacity) return {0, 2};
  std::memcpy(buffer, gameExecutable.c_str(), length + 1);
  return {length, 0};
}

}  // namespace

void* GameFunction(const char* name) {
  MutedConsole muted;
  return Session().movie.MemberHandler(name);
}

UiValue CallFunction(void* handler, UiValue* args, unsigned argCount) {
  UiValue result{};
  FunctionCallRecord record{};
  record.result = &result;
  record.args = args;
  record.argCount = argCount;
  const auto* table = *static_cast<const FunctionHandlerVtable* const*>(handler);
  table->handleCall(static_cast<GFxFunctionHandler*>(handler), &record);
  return result;
}

void SetGameDirectory(const std::string& directory) {
  std::string root = directory;
  std::replace(root.begin(), root.end(), '/', '\\');
  gameExecutable = root + "\\game.exe";
  SetExecutableNameSource(&PresentGameExecutable);
}

MutedConsole::MutedConsole() {
  std::cout.flush();
  std::fflush(stdout);
  savedOutput_ = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  close(null);
}

MutedConsole::~MutedConsole() {
  std::fflush(stdout);
  dup2(savedOutput_, STDOUT_FILENO);
  close(savedOutput_);
}

}  // namespace bench
