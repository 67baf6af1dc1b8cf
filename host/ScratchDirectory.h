#pragma once
// A new directory below the system's temporary directory, made the current
// directory for as long as the object lives, then left and removed.

#include <filesystem>
#include <string>

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // False, with the reason in Problem(), when it could not be made or entered.
  bool Entered() const { return entered_; }
  const std::string& Problem() const { return problem_; }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
  bool entered_ = false;
  std::string problem_;
};

// The path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path& path);
