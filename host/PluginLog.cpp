#include "host/PluginLog.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

std::uintmax_t PluginLogSize(const std::filesystem::path& log) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(log, error);
  return error ? 0 : size;
}

void PrintPluginLog(const std::filesystem::path& log, std::uintmax_t from) {
  std::ifstream file(log, std::ios::binary);
  if (!file) return;
  file.seekg(static_cast<std::streamoff>(from));
  const std::string content{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::fwrite(content.data(), 1, content.size(), stderr);
  std::fflush(stderr);
}
