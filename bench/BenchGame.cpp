#include "bench/BenchGame.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "sim/LinkedPlugin.h"
#include "sim/SimGameDirectory.h"
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

}  // namespace

void* GameFunction(const char* name) {
  MutedConsole muted;
  return Session().movie.MemberHandler(name);
}

UiValue CallFunction(void* handler, UiValue* args, unsigned argCount) {
  UiValue result{};
  sim::SimMovie::CallHandlerInPlace(handler, args, argCount, result);
  return result;
}

void SetGameDirectory(const std::string& directory) { sim::PlaceGameIn(directory); }

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
