// kw errors: names status codes in every table that knows them.
#include <keelwork/debug.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command.h"
#include "status_tables.h"

namespace {

std::vector<const KwStatusTable *> &tables() {
  static std::vector<const KwStatusTable *> all;
  return all;
}

// ---- the library's and the toolkit's codes ------------------------------------------

struct Named {
  const char *name;
  long code;
};

constexpr Named kLibraryCodes[] = {
#define KW_ROW(name, value) {#name, (value)},
    KW_STATUS_CODE_LIST(KW_ROW)
#undef KW_ROW
};
constexpr Named kToolkitCodes[] = {
#define KW_ROW(name, value) {#name, (value)},
    KW_TOOLKIT_CODE_LIST(KW_ROW)
#undef KW_ROW
};

template <const Named *Table, size_t N>
std::optional<long> code_in(const std::string &name) {
  for (size_t i = 0; i < N; ++i)
    if (name == Table[i].name) return Table[i].code;
  return std::nullopt;
}

std::optional<std::string> library_name(long code) {
  const char *name = dbg_err_string(static_cast<int>(code));
  if (std::strcmp(name, "Unknown error macro.") == 0) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> toolkit_name(long code) {
  const char *name = vextk_perror(static_cast<int>(code));
  if (!*name) return std::nullopt;
  return std::string(name);
}

const KwStatusTable kLibrary{"library status", library_name,
                             code_in<kLibraryCodes, std::size(kLibraryCodes)>};
const KwStatusTable kToolkit{"toolkit status", toolkit_name,
                             code_in<kToolkitCodes, std::size(kToolkitCodes)>};

int run(const KwArgs &args) {
  if (args.empty())
    return kw_fail("errors", 2, "give one or more codes or names (see kw errors --help)");
  int status = 0;
  for (const std::string &arg : args) {
    char *end = nullptr;
    errno = 0;
    long code = std::strtol(arg.c_str(), &end, 0);
    bool numeric = !arg.empty() && end && *end == 0 && errno == 0;
    bool found = false;
    for (const KwStatusTable *t : kw_status_tables()) {
      if (numeric) {
        if (auto name = t->name_of(code)) {
          std::printf("%ld\t%s\t(%s)\n", code, name->c_str(), t->title);
          found = true;
        }
      } else if (auto value = t->code_of(arg)) {
        std::printf("%ld\t%s\t(%s)\n", *value, arg.c_str(), t->title);
        found = true;
      }
    }
    if (!found) {
      std::printf("%s\t(unknown in every table)\n", arg.c_str());
      status = 1;
    }
  }
  return status;
}

const KwCommand kCommand{
    "errors", "name status codes (or find the code of a name)",
    "usage: kw errors CODE|NAME...\n\n"
    "Prints, for each decimal or hexadecimal code, its name in every table of\n"
    "status codes that knows it, and for each name its code. Exits 1 when an\n"
    "argument is unknown everywhere.\n",
    run};

}  // namespace

KwStatusTable::KwStatusTable(const char *t, std::optional<std::string> (*n)(long),
                             std::optional<long> (*c)(const std::string &))
    : title(t), name_of(n), code_of(c) {
  tables().push_back(this);
}

const std::vector<const KwStatusTable *> &kw_status_tables() { return tables(); }
