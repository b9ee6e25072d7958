// Subcommands of the kw tool. Each lives in its own file and registers
// itself with a static KwCommand object:
//
//   static KwCommand cmd{"name", "one-line summary", "usage text", run};
//
// `run` receives the arguments after the subcommand's name and returns the
// process's exit status (0 success, 1 failure, 2 usage error).
#ifndef KW_TOOL_COMMAND_H
#define KW_TOOL_COMMAND_H

#include <string>
#include <vector>

using KwArgs = std::vector<std::string>;
using KwRun = int (*)(const KwArgs &args);

struct KwCommand {
  KwCommand(const char *name, const char *summary, const char *usage, KwRun run);
  const char *name;
  const char *summary;
  const char *usage;
  KwRun run;
};

// Prints "kw NAME: message" to standard error; returns `status`.
int kw_fail(const char *name, int status, const std::string &message);

#endif  // KW_TOOL_COMMAND_H
