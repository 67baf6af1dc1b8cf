#pragma once
// Another process of the same user that keeps changing names in a folder
// while a test works there. Tests bound their work by a count and a deadline
// and count what went wrong; nothing is timed.

#include <memory>
#include <string>

namespace test_files {

enum class RacerMoves {
  // Moves its own file, a second name of `outside` and a symbolic link to it
  // onto `name`, in turn, and puts a symbolic link to `outside` at `name`
  // and removes it again.
  kSwapOntoName,
  // Removes what is at `name`, gives `outside` a second name there and
  // removes that again.
  kSecondNameAtName,
};

class Racer {
 public:
  // `name` and `outside` are paths below the working directory.
  Racer(RacerMoves moves, const std::string& name, const std::string& outside);
  ~Racer();  // stops it and waits for it
  Racer(const Racer&) = delete;
  Racer& operator=(const Racer&) = delete;

  // False where none could be started. On Windows itself none is: its
  // share modes keep other processes from renaming or removing the names of
  // files held open. Under Wine it is a Linux process, which can.
  bool Running() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace test_files
