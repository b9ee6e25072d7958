// kw name: parses full names and shows their components, type, version,
// formatted and neutral forms, and the POSIX path they map to.
#include <keelwork/objtype.h>
#include <keelwork/pfa.h>

#include <cstdio>

#include "command.h"

namespace {

int run(const KwArgs &args) {
  if (args.empty()) return kw_fail("name", 2, "give one or more full names (see kw name --help)");
  int status = 0;
  for (const std::string &arg : args) {
    vex_file *f = nullptr;
    pfa_alloc_vex_file(&f);
    int r = pfa_parse_to_vex_file(f, arg.c_str());
    std::printf("%s\n", arg.c_str());
    if (r != 0) {
      std::printf("  not a valid name: %s\n\n", pfa_error_to_string(r));
      status = 1;
      pfa_free_vex_file(&f);
      continue;
    }
    std::fflush(stdout);
    dump_vex_file(f, nullptr);
    std::fflush(stdout);
    char buf[PFA_NAME_SIZE * 2];
    int32_t type = pfa_get_obj_type(f);
    const char *label = type == OBJ_TYPE_NOT_YET   ? "not yet typed"
                        : type == OBJ_TYPE_UNTYPED ? "untyped file"
                                                   : get_db_type_label(type);
    std::printf("  location:  %s (%d)\n", pfaloc_type_name(f->loc_type), f->loc_type);
    std::printf("  type:      %d %s\n", type, label);
    std::printf("  version:   %d\n", pfa_get_version(f));
    if (pfa_get_full_name(f, buf) == 0) std::printf("  formatted: %s\n", buf);
    if (pfaloc_call_FPPS(PFALOC_PfaGetNeutralLocation, f, buf, nullptr, sizeof buf) == 0)
      std::printf("  neutral:   %s\n", buf);
    int p = pfa_get_os_path(f, buf, sizeof buf);
    if (p == 0)
      std::printf("  os path:   %s\n", buf);
    else
      std::printf("  os path:   (none: %s)\n", pfa_error_to_string(p));
    std::printf("\n");
    pfa_free_vex_file(&f);
  }
  return status;
}

const KwCommand kCommand{
    "name", "parse full names into their components",
    "usage: kw name NAME...\n\n"
    "Parses each full name (\"c:\\work\\a.prt.3\", \"//server/share/x.asm\",\n"
    "\"/////host///c/dir/\", \"stdio://out\") and prints its components as the\n"
    "file layer's dump does, its object type, version, formatted and neutral\n"
    "forms, and the POSIX path the standard file system maps it to (drives\n"
    "through KEELWORK_DRIVE_<LETTER>, UNC names under KEELWORK_UNC_ROOT).\n",
    run};

}  // namespace
