#pragma once
// A text file that one writer owns: opened emptied, with every other writer
// (also another open in this process) shut out until it is closed. Line feeds
// are stored as CR LF on every platform, as Windows text mode stores them.

#include <cstdio>

namespace os {

// A plain handle: trivially copyable and destructible, so it can live in
// constant-initialised process-wide state. Copies refer to the same file;
// close it once.
class LogFile {
 public:
  constexpr LogFile() = default;

  // Opens name for writing and empties it. Returns a closed handle, leaving
  // the file untouched, when name cannot be opened or another writer holds it.
  static LogFile OpenDenyWrite(const char* name);

  bool IsOpen() const { return stream_ != nullptr; }
  // Whether `path` (either separator) names this open file, however spelled:
  // compared by file identity, not by name.
  bool IsSameFileAs(const char* path) const;
  // Writes the terminated text, each line feed as CR LF. Results are ignored.
  void Write(const char* text);
  void Flush() {
    if (stream_ != nullptr) std::fflush(stream_);
  }
  void Close() {
    if (stream_ == nullptr) return;
    std::fclose(stream_);
    stream_ = nullptr;
  }

 private:
  explicit constexpr LogFile(std::FILE* stream) : stream_(stream) {}

  std::FILE* stream_ = nullptr;
};

}  // namespace os
