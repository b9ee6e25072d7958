// kw: the keelwork command-line tool.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "command.h"

namespace {

std::vector<const KwCommand *> &commands() {
  static std::vector<const KwCommand *> all;
  return all;
}

const KwCommand *find(const std::string &name) {
  for (const KwCommand *c : commands())
    if (name == c->name) return c;
  return nullptr;
}

void usage(FILE *out) {
  std::fprintf(out,
               "usage: kw [--help] [--version] COMMAND [ARGS...]\n\n"
               "An argument @FILE stands for the words of FILE.\n\n"
               "keelwork's command-line tool. Commands:\n");
  for (const KwCommand *c : commands()) std::fprintf(out, "  %-10s %s\n", c->name, c->summary);
  std::fprintf(out, "\n'kw COMMAND --help' describes one command.\n");
}

}  // namespace

KwCommand::KwCommand(const char *n, const char *s, const char *u, KwRun r)
    : name(n), summary(s), usage(u), run(r) {
  auto &all = commands();
  auto at = all.begin();
  while (at != all.end() && std::strcmp((*at)->name, n) < 0) ++at;
  all.insert(at, this);
}

int kw_fail(const char *name, int status, const std::string &message) {
  std::fprintf(stderr, "kw %s: %s\n", name, message.c_str());
  return status;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    if (argc > 2) {
      if (const KwCommand *c = find(argv[2])) {
        std::printf("%s", c->usage);
        return 0;
      }
    }
    usage(stdout);
    return 0;
  }
  if (first == "--version") {
    std::printf("kw (keelwork) %s\n", KEELWORK_VERSION);
    return 0;
  }
  const KwCommand *cmd = find(first);
  if (!cmd) {
    std::fprintf(stderr, "kw: unknown command '%s'\n\n", first.c_str());
    usage(stderr);
    return 2;
  }
  // "@FILE" stands for the words of FILE, one or more per line.
  KwArgs args;
  for (int i = 2; i < argc; ++i) {
    if (argv[i][0] == '@' && argv[i][1]) {
      std::ifstream in(argv[i] + 1);
      if (!in) return kw_fail(cmd->name, 2, std::string("cannot read ") + (argv[i] + 1));
      for (std::string word; in >> word;) args.push_back(word);
    } else {
      args.push_back(argv[i]);
    }
  }
  for (const std::string &a : args)
    if (a == "--help" || a == "-h") {
      std::printf("%s", cmd->usage);
      return 0;
    }
  return cmd->run(args);
}
