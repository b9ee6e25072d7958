// Test helpers for files: a per-process path in the test temporary
// directory and the whole contents of a file.
#ifndef KW_TESTS_TEST_FILES_H
#define KW_TESTS_TEST_FILES_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace kw::test {

// `name` followed by the process id, in the test temporary directory.
inline std::string temp_path(const char *name) {
  return std::string(::testing::TempDir()) + name + std::to_string(getpid());
}

// The contents of the file at `path`; empty when it cannot be read.
inline std::string read_file(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace kw::test

#endif  // KW_TESTS_TEST_FILES_H
