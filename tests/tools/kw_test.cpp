// The kw tool, run as a program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "kw_run.h"

namespace {

using Result = kw::test::KwResult;

Result run(const std::string &args) { return kw::test::run_kw("", args); }

TEST(KwTool, HelpVersionAndUnknownCommands) {
  Result help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("errors"), std::string::npos);
  EXPECT_NE(help.out.find("env"), std::string::npos);
  EXPECT_EQ(run("--version").status, 0);
  Result unknown = run("frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(run("").status, 2);
  EXPECT_EQ(run("errors --help").status, 0);
}

TEST(KwTool, ErrorsNamesCodesInEveryTable) {
  Result r = run("errors 13 0 -7 0x800 E_CANT_OPEN");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("13\tE_NOT_IMPLEMENTED\t(library status)"), std::string::npos);
  EXPECT_NE(r.out.find("0\tE_NO_ERROR\t(library status)"), std::string::npos);
  EXPECT_NE(r.out.find("0\tVEX_TK_NO_ERROR\t(toolkit status)"), std::string::npos);
  EXPECT_NE(r.out.find("-7\tVEX_TK_CONTINUE\t(toolkit status)"), std::string::npos);
  EXPECT_NE(r.out.find("2048\tW_BAD_PARAM"), std::string::npos);
  EXPECT_NE(r.out.find("9\tE_CANT_OPEN"), std::string::npos);
  Result unknown = run("errors 164 NO_SUCH_NAME");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.out.find("164\t(unknown in every table)"), std::string::npos);
  EXPECT_EQ(run("errors").status, 2);
  EXPECT_EQ(run("errors @/nonexistent/file").status, 2);
}

TEST(KwTool, EnvShowsTheMachine) {
  Result r = run("env");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("run mode:            0 (user)"), std::string::npos);
  EXPECT_NE(r.out.find("unicode mode:        on"), std::string::npos);
  EXPECT_NE(r.out.find("temporary directory:"), std::string::npos);
  EXPECT_EQ(run("env extra").status, 2);
}

}  // namespace
