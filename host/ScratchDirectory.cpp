#include "host/ScratchDirectory.h"

#include <random>
#include <system_error>

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
  std::error_code error;
  previous_ = fs::current_path(error);
  const fs::path temporary = fs::temp_directory_path(error);
  if (error) {
    problem_ = "no temporary directory: " + error.message();
    return;
  }
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
    const fs::path candidate = temporary / ("quiverleaf-host-" + std::to_string(random() % 1000000000));
    if (fs::create_directory(candidate, error)) path_ = candidate;
  }
  if (path_.empty()) {
    problem_ = "cannot make a directory in " + PathText(temporary);
    return;
  }
  fs::current_path(path_, error);
  if (error) {
    problem_ = "cannot enter " + PathText(path_) + ": " + error.message();
    fs::remove(path_, error);
    path_.clear();
    return;
  }
  entered_ = true;
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  std::error_code error;
  fs::current_path(previous_, error);
  fs::remove_all(path_, error);
}

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
