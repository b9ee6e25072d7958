// kw ls, run as a program on the sample project tree.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kw_run.h"

namespace {

using Result = kw::test::KwResult;

Result run(const std::string &args) { return kw::test::run_kw("ls", args); }

const std::string kTree = std::string(KW_SOURCE_DIR) + "/sample/tree";

TEST(KwLs, ListsTheSampleTree) {
  struct {
    const char *args;
    std::vector<const char *> present, absent;
  } rows[] = {
      {"",
       {"Directory", "drawings/", "Part", "bracket.prt.3", "Assembly", "gearbox.asm.2"},
       {"bracket.prt.1", "bracket.prt.2"}},
      {"--all-versions", {"bracket.prt.1", "bracket.prt.2", "bracket.prt.3"}, {}},
      {"--type prt", {"bracket.prt.3", "shaft.prt.2", "drawings/"}, {"gearbox.asm", "gearbox.drw"}},
      {"--json", {"\"name\": \"bracket.prt.3\"", "\"type\": \"Part\"", "\"version\": 3"}, {}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.args);
    Result r = run(std::string(row.args) + " " + kTree);
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char *p : row.present) EXPECT_NE(r.out.find(p), std::string::npos) << p;
    for (const char *a : row.absent) EXPECT_EQ(r.out.find(a), std::string::npos) << a;
  }
  // Directories come first.
  Result r = run(kTree);
  EXPECT_LT(r.out.find("notes/"), r.out.find("base_plate.sec.1"));
}

TEST(KwLs, Failures) {
  EXPECT_EQ(run(kTree + "/no-such-dir").status, 1);
  EXPECT_EQ(run("--bogus").status, 2);
  EXPECT_EQ(run("--type").status, 2);
}

}  // namespace
