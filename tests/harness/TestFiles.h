#pragma once
// File helpers for tests: whole-file reads and scratch directories below the
// test's working directory.

#include <string>

namespace test_files {

// The file's bytes; empty when it cannot be read.
std::string ReadAll(const std::string& path);
bool Exists(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
// A new empty directory below the working directory, unique in this process.
std::string MakeScratchDirectory(const std::string& stem);
// Names of the entries of a directory, sorted, without "." and "..".
std::string ListDirectory(const std::string& path);

}  // namespace test_files
