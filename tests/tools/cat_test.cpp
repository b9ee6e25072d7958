// kw cat, run as a program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "kw_run.h"

namespace {

using Result = kw::test::KwResult;

Result run(const std::string &args) { return kw::test::run_kw("cat", args); }

std::string write(const std::string &name, const std::string &bytes) {
  std::string path = std::string(::testing::TempDir()) + "kwcat" + std::to_string(getpid()) + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(KwCat, PrintsEveryEncodingAsSessionText) {
  const std::string text = "A\xE3\x82\xA2\n";  // "Aア"
  struct Case {
    const char *name;
    std::string bytes;
    const char *options;
    std::string expect;
  } cases[] = {
      {"u8bom", "\xEF\xBB\xBF" + text, "", text},
      {"u8", text, "", text},
      {"u16le",
       std::string("\xFF\xFE"
                   "A\0\xA2\x30\n\0",
                   8),
       "", text},
      {"u16be", std::string("\xFE\xFF\0A\x30\xA2\0\n", 8), "", text},
      {"eucin", "A\xA5\xA2\n", "--from EUC-JP", text},
      // Without a mark, text that is not UTF-8 but whole EUC-JP or
      // Shift-JIS is recognised; anything else passes as it is.
      {"eucguess", "A\xA5\xA2\n", "", text},
      {"sjisguess", "A\x83\x41\n", "", text},
      {"latin1", "caf\xE9 ok\n", "", "caf\xE9 ok\n"},
      {"sjisout", text, "--to shift-jis", "A\x83\x41\n"},
      {"u16out", text, "--to UTF-16BE", std::string("\0A\x30\xA2\0\n", 6)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = write(c.name, c.bytes);
    Result r = run(std::string(c.options) + " " + path);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, c.expect);
    std::remove(path.c_str());
  }
}

TEST(KwCat, ErrorsNameTheFile) {
  Result r = run("/nonexistent/dir/file.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("/nonexistent/dir/file.txt"), std::string::npos) << r.out;
  EXPECT_EQ(run("--to NOPE x").status, 2);
  EXPECT_EQ(run("").status, 2);
}

}  // namespace
