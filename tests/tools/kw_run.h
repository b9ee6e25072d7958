// Runs the kw tool as a program, as a user would, and collects what it
// printed (standard output and error together) and its exit status.
#ifndef KW_TESTS_TOOLS_KW_RUN_H
#define KW_TESTS_TOOLS_KW_RUN_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kw::test {

struct KwResult {
  int status;
  std::string out;
};

// `kw COMMAND ARGS`; an empty command runs `kw ARGS`.
inline KwResult run_kw(const std::string &command, const std::string &args) {
  std::string line =
      std::string(KW_KW_TOOL) + " " + command + (command.empty() ? "" : " ") + args + " 2>&1";
  FILE *p = popen(line.c_str(), "r");
  KwResult r{-1, {}};
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace kw::test

#endif  // KW_TESTS_TOOLS_KW_RUN_H
