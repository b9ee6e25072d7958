// kw versions: the highest and next numeric version of files and every
// version present beside them.
#include <keelwork/pfa.h>
#include <keelwork/xar.h>

#include <cstdio>

#include "command.h"

namespace {

int run(const KwArgs &args) {
  if (args.empty())
    return kw_fail("versions", 2, "give one or more file names (see kw versions --help)");
  int status = 0;
  for (const std::string &arg : args) {
    vex_file *f = pfa_alloc_nondir_file(arg.c_str());
    if (!f) {
      std::printf("%s\tnot a valid name\n", arg.c_str());
      status = 1;
      continue;
    }
    int highest = 0, next = 0;
    int rh = pfa_get_file_vers(f, 1, &highest);
    int rn = pfa_get_file_vers(f, 2, &next);
    std::printf("%s\n", arg.c_str());
    if (rh == 0)
      std::printf("  highest: %d\n", highest);
    else
      std::printf("  highest: none (%s)\n", pfa_error_to_string(rh));
    if (rn == 0)
      std::printf("  next:    %d\n", next);
    else
      std::printf("  next:    none (%s)\n", pfa_error_to_string(rn));
    int16_t *versions = nullptr;
    int n = pfa_get_versions(f, &versions);
    std::printf("  present:");
    for (int i = 0; i < n; ++i) std::printf(" %d", versions[i]);
    std::printf(n > 0 ? "\n" : " none\n");
    if (versions) xar_free(&versions);
    if (rh != 0) status = 1;
    pfa_free_vex_file(&f);
  }
  return status;
}

const KwCommand kCommand{
    "versions", "show the numeric versions of files",
    "usage: kw versions FILE...\n\n"
    "For each full name, lists its directory and prints the highest numeric\n"
    "version present (name.ext.N; the unversioned file counts as 0), the next\n"
    "version a save would take, and every version present. Exits 1 when a\n"
    "file has no version at all.\n",
    run};

}  // namespace
