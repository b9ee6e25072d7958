// kw conv, run as a program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kw_run.h"

namespace {

using Result = kw::test::KwResult;

Result run(const std::string &args) { return kw::test::run_kw("conv", args); }

// Every file of a test process lives in one directory, removed at exit.
struct TempDir {
  std::filesystem::path path =
      std::filesystem::path(::testing::TempDir()) / ("kwconv" + std::to_string(getpid()));
  TempDir() { std::filesystem::create_directories(path); }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

std::string temp(const std::string &name) {
  static TempDir dir;
  return (dir.path / name).string();
}

std::string write(const std::string &name, const std::string &bytes) {
  std::string path = temp(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(KwConv, ConvertsBetweenTheEncodings) {
  // "ア亜é" and a Hebrew letter in each encoding that has them.
  struct Case {
    const char *encoding;
    std::string bytes;
  } cases[] = {{"EUC-JP", "\xA5\xA2\xB0\xA1"},
               {"SHIFT-JIS", "\x83\x41\x88\x9F"},
               {"UTF-16LE", std::string("\xA2\x30\x9C\x4E", 4)},
               {"UTF-16BE", std::string("\x30\xA2\x4E\x9C", 4)}};
  std::string utf8 = "\xE3\x82\xA2\xE4\xBA\x9C";
  std::string source = write("src.txt", utf8);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.encoding);
    Result to = run(std::string("--from UTF-8 --to ") + c.encoding + " " + source);
    ASSERT_EQ(to.status, 0) << to.out;
    EXPECT_EQ(to.out, c.bytes);
    std::string back_in = write("back.txt", c.bytes);
    Result back = run(std::string("--from ") + c.encoding + " --to utf8 " + back_in);
    ASSERT_EQ(back.status, 0) << back.out;
    EXPECT_EQ(back.out, utf8);
  }
  struct Single {
    const char *encoding;
    std::string utf8, bytes;
  } singles[] = {{"CP1250", "\xC5\x81", "\xA3"},       {"CP1251", "\xD0\x96", "\xC6"},
                 {"CP1252", "\xE2\x82\xAC", "\x80"},   {"CP1253", "\xCE\xA9", "\xD9"},
                 {"CP1254", "\xC4\x9E", "\xD0"},       {"ISO-8859-8", "\xD7\x90", "\xE0"},
                 {"GBK", "\xE4\xB8\xAD", "\xD6\xD0"},  {"BIG5", "\xE4\xB8\x80", "\xA4\x40"},
                 {"CP949", "\xEA\xB0\x80", "\xB0\xA1"}};
  for (const Single &s : singles) {
    SCOPED_TRACE(s.encoding);
    Result r = run(std::string("--from UTF-8 --to ") + s.encoding + " " + write("s.txt", s.utf8));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, s.bytes);
  }
}

TEST(KwConv, ByteOrderMarks) {
  std::string le = write("le.txt", std::string("\xFF\xFE"
                                               "A\0",
                                               4));
  std::string be = write("be.txt", std::string("\xFE\xFF\0A", 4));
  EXPECT_EQ(run("--from UTF-16 --to UTF-8 " + le).out, "A");
  EXPECT_EQ(run("--from UTF-16 --to UTF-8 " + be).out, "A");
  EXPECT_EQ(run("--from UTF-16LE --to UTF-8 " + be).out, "A");  // the mark decides
  EXPECT_EQ(run("--from UTF-8 --to UTF-8 " + write("bom8.txt", "\xEF\xBB\xBFz")).out, "z");
  EXPECT_EQ(run("--from UTF-8 --to UTF-16 " + write("a.txt", "A")).out, std::string("\xFF\xFE"
                                                                                    "A\0",
                                                                                    4));
  EXPECT_EQ(run("--from UTF-8 --to UTF-8 --bom " + write("b.txt", "A")).out,
            "\xEF\xBB\xBF"
            "A");
}

TEST(KwConv, InvalidInputReportsItsOffsetAndWritesNothing) {
  std::string bad = write("bad.txt", "abc\xC3\x28xyz");
  std::string out = temp("out.txt");
  std::remove(out.c_str());
  Result r = run("--from UTF-8 --to EUC-JP -o " + out + " " + bad);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("invalid UTF-8 input at byte offset 3"), std::string::npos) << r.out;
  EXPECT_FALSE(std::ifstream(out).good());
  Result bom = run("--from UTF-8 --to EUC-JP " + write("bad2.txt",
                                                       "\xEF\xBB\xBF"
                                                       "ab\xFF"));
  EXPECT_NE(bom.out.find("at byte offset 5"), std::string::npos) << bom.out;
  Result euc = run("--from EUC-JP --to UTF-8 " + write("bad3.txt", "a\xB0\xA1\xB0"));
  EXPECT_EQ(euc.status, 1);
  EXPECT_NE(euc.out.find("invalid EUC-JP input at byte offset 3"), std::string::npos) << euc.out;
  Result lacks = run("--from UTF-8 --to CP1252 " + write("lacks.txt", "ab\xE4\xBA\x9C"));
  EXPECT_EQ(lacks.status, 1);
  EXPECT_NE(lacks.out.find("character U+4E9C at byte offset 2 has no form in CP1252"),
            std::string::npos)
      << lacks.out;
  // A later file that fails keeps the earlier one's output out as well.
  std::string good = write("good.txt", "fine");
  EXPECT_EQ(run("--from UTF-8 --to UTF-16LE -o " + out + " " + good + " " + bad).status, 1);
  EXPECT_FALSE(std::ifstream(out).good());
  EXPECT_EQ(run("--from UTF-8 --to UTF-16LE -o " + out + " " + good + " " + good).status, 0);
  EXPECT_EQ(read(out).size(), 16u);
  std::remove(out.c_str());
}

TEST(KwConv, UsageErrors) {
  EXPECT_EQ(run("--from UTF-8").status, 2);
  EXPECT_EQ(run("--from KOI8 --to UTF-8").status, 2);
  EXPECT_EQ(run("--from UTF-8 --to UTF-8 --frob").status, 2);
  EXPECT_EQ(run("--from UTF-8 --to UTF-8 /nonexistent/file").status, 1);
  EXPECT_EQ(run("--help").status, 0);
}

}  // namespace
