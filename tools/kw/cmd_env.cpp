// kw env: the run mode, Unicode mode and the runtime's view of the machine.
#include <keelwork/btk_os.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/runmode.h>

#include <cstdio>

#include "command.h"

namespace {

int run(const KwArgs &args) {
  if (!args.empty()) return kw_fail("env", 2, "takes no arguments");
  std::printf("run mode:            %d%s\n", get_run_mode(), user_run_mode() ? " (user)" : "");
  std::printf("unicode mode:        %s\n",
              btkUnicodeIsEnabled() ? "on (byte strings are UTF-8)" : "off (legacy encodings)");
  std::printf("temporary directory: %s\n", get_tmp_dir());
  std::printf("user:                %s\n", get_btk_user());
  std::printf("host:                %s\n", get_btk_fullhost());
  return 0;
}

const KwCommand kCommand{
    "env", "show the run mode, Unicode mode and machine facts",
    "usage: kw env\n\n"
    "Prints the run mode, whether byte strings are UTF-8 (Unicode mode) or\n"
    "legacy encodings, and the runtime's temporary directory, user and host.\n",
    run};

}  // namespace
