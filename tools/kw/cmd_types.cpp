// kw types: lists the object-type table, or looks extensions up in it.
#include <keelwork/objtype.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command.h"

namespace {

void print_type(int32_t type) {
  std::printf("%d\t%s\t%s\tname<=%d%s%s%s%s\n", type, type_to_extension(type),
              get_db_type_label(type), type_to_name_length(type),
              type_to_mixed_case_OK(type) ? "" : " lower-case",
              type_to_weird_chars_OK(type) ? " any-chars" : "",
              type_allows_family_names(type) ? " family" : "",
              is_nonkst_import_type(type) ? " import" : "");
}

int run(const KwArgs &args) {
  if (args.empty()) {
    // Every code the table knows, in code order: search the ranges used by
    // the static rows and the registered ones.
    for (int32_t t = -7; t < 800000; ++t)
      if (is_valid_dbtype(t)) print_type(t);
    return 0;
  }
  int status = 0;
  for (const std::string &arg : args) {
    std::string ext = arg[0] == '.' ? arg.substr(1) : arg;
    int32_t type = extension_to_type(ext.c_str());
    if (type == OBJ_TYPE_NO_TYPE) {
      std::printf("%s\tno type has this extension\n", arg.c_str());
      status = 1;
      continue;
    }
    print_type(type);
  }
  return status;
}

const KwCommand kCommand{
    "types", "list the object types or look extensions up",
    "usage: kw types [EXT...]\n\n"
    "Without arguments, lists every object type: code, extension, label, the\n"
    "longest name, and its name rules (lower-case names, any characters,\n"
    "family names, import format). With extensions (\"prt\", \".ASM\"), prints\n"
    "the type each one gives; shared extensions give the first type in table\n"
    "order. Exits 1 when an extension has no type.\n",
    run};

}  // namespace
