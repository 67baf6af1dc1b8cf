#include "harness/Racer.h"

#include <filesystem>

#include "harness/TestFiles.h"

#ifdef _WIN32
#include <windows.h>

#include "harness/WineSide.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#endif

namespace test_files {

namespace fs = std::filesystem;

namespace {

std::string SpareBeside(const std::string& name) {
  return (fs::path(name).parent_path() / "racer-spare").string();
}

}  // namespace

#ifdef _WIN32

namespace {

// The same moves as the POSIX thread's, in the Linux process.
constexpr char kScript[] = R"(import os, sys
moves, name, outside, spare, stop, stopped = sys.argv[1:7]
outside = os.path.abspath(outside)
open(stopped + '.running', 'w').close()
turn = 0
while not os.path.exists(stop):
    turn += 1
    try:
        if moves == 'swap' and turn % 4 == 3:
            os.symlink(outside, name)
            os.unlink(name)
        elif moves == 'swap':
            if turn % 4 == 0:
                with open(spare, 'w') as f: f.write("the racer's")
            elif turn % 4 == 1: os.link(outside, spare)
            else: os.symlink(outside, spare)
            os.rename(spare, name)
        else:
            if os.path.lexists(name): os.unlink(name)
            os.link(outside, name)
            os.unlink(name)
    except OSError:
        pass
open(stopped, 'w').close()
)";

int nextRacer = 0;

std::string Relative(const std::string& path) {
  std::string relative = fs::relative(path).string();
  for (char& c : relative) c = c == '\\' ? '/' : c;
  return relative;
}

bool AppearsWithin(const std::string& path, int tenthsOfSeconds) {
  for (int wait = 0; wait < tenthsOfSeconds * 10; ++wait) {
    if (Exists(path)) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

struct Racer::State {
  std::string stop;
  std::string stopped;
  bool running = false;
};

Racer::Racer(RacerMoves moves, const std::string& name, const std::string& outside)
    : state_(std::make_unique<State>()) {
  if (!test_windows::RunsUnderWine()) return;
  const std::string stem = "racer-" + std::to_string(++nextRacer);
  WriteAll(stem + ".py", kScript);
  state_->stop = stem + ".stop";
  state_->stopped = stem + ".stopped";
  const char* word = moves == RacerMoves::kSwapOntoName ? "swap" : "name";
  const std::string command = "/usr/bin/python3 " + stem + ".py " + word + " \"" + Relative(name) + "\" \"" +
                              Relative(outside) + "\" \"" + Relative(SpareBeside(name)) + "\" " + state_->stop + " " +
                              state_->stopped;
  state_->running = test_windows::StartLinuxProgram(command) && AppearsWithin(state_->stopped + ".running", 100);
}

Racer::~Racer() {
  if (!state_->running) return;
  WriteAll(state_->stop, "");
  AppearsWithin(state_->stopped, 100);
}

bool Racer::Running() const { return state_->running; }

#else

struct Racer::State {
  std::atomic<bool> stop{false};
  std::thread thread;
};

namespace {

void Race(RacerMoves moves, const std::string& name, const std::string& outside, const std::atomic<bool>& stop) {
  const std::string spare = SpareBeside(name);
  const std::string target = fs::absolute(outside).string();
  for (unsigned turn = 1; !stop; ++turn) {
    switch (moves) {
      case RacerMoves::kSwapOntoName: {
        if (turn % 4 == 3) {
          if (symlink(target.c_str(), name.c_str()) == 0) unlink(name.c_str());
          break;
        }
        bool made = false;
        if (turn % 4 == 0) {
          const int own = open(spare.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
          made = own >= 0 && write(own, "the racer's", 11) == 11;
          if (own >= 0) close(own);
        } else if (turn % 4 == 1) {
          made = link(target.c_str(), spare.c_str()) == 0;
        } else {
          made = symlink(target.c_str(), spare.c_str()) == 0;
        }
        if (made && rename(spare.c_str(), name.c_str()) != 0) unlink(spare.c_str());
        break;
      }
      case RacerMoves::kSecondNameAtName:
        unlink(name.c_str());
        if (link(target.c_str(), name.c_str()) == 0) unlink(name.c_str());
        break;
    }
  }
}

}  // namespace

Racer::Racer(RacerMoves moves, const std::string& name, const std::string& outside)
    : state_(std::make_unique<State>()) {
  state_->thread = std::thread(Race, moves, name, outside, std::cref(state_->stop));
}

Racer::~Racer() {
  state_->stop = true;
  state_->thread.join();
}

bool Racer::Running() const { return true; }

#endif

}  // namespace test_files
