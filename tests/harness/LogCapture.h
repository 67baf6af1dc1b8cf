#pragma once
// Points the process-wide debug log at a fresh file for one test and reads
// it back.

#include <string>

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::string& Path() const { return path_; }
  // The file's bytes so far.
  std::string Text() const;

 private:
  std::string path_;
};
