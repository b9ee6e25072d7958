// Full names taken twice: through the shortcut for common names, then with
// another claiming type registered and the standard file system's printer
// wrapped, which sends every name through the full steps. The records and
// every printed form must agree.
#include <keelwork/pfa.h>
#include <keelwork/pfaloc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int refuse_all(vex_file *, void *, void *, void *) { return PFA_E_INVALID_NAME; }

pfaloc_fn_FPPS g_printer = nullptr;
int wrapped_printer(vex_file *f, void *buf, void *arg, size_t size) {
  return g_printer(f, buf, arg, size);
}

void full_steps(bool on) {
  pfa_loc_register_append(12);
  pfa_loc_method_register_FPPP(12, PFALOC_PfaClaimLocation, on ? refuse_all : nullptr);
  pfa_loc_register_setup(0);
  pfa_loc_register_append(PFA_LOC_STD_FS);
  pfa_loc_method_register_FPPS(PFA_LOC_STD_FS, PFALOC_PfaGetLocationString,
                               on ? wrapped_printer : g_printer);
  pfa_loc_register_setup(0);
}

std::string describe(vex_file *f, int r) {
  std::string s = "r=" + std::to_string(r);
  if (r != 0) return s;
  char buf[PFA_NAME_SIZE];
  for (int k = 0; k < PFA_COMPONENT_COUNT; ++k) {
    pfa_get_component(f, k, buf, sizeof buf);
    s += std::string("[") + buf + "]";
  }
  s += std::to_string(f->loc_type) + "/" + std::to_string(f->obj_type) + "/" +
       std::to_string(f->version) + "/" + std::to_string(f->flags);
  for (int lower = 0; lower < 2; ++lower) {
    int q = pfa_get_full_name_low(f, buf, lower, PFA_M_ALL);
    s += " " + std::to_string(q) + "<" + buf + ">";
  }
  int q = pfa_get_full_name(f, buf);
  return s + " " + std::to_string(q) + "<" + buf + ">";
}

std::string take(vex_file *f, const std::string &name) {
  std::string s = describe(f, parse_to_pfa(f, -1, name.c_str()));
  s += "\n" + describe(f, parse_to_pfa(f, PFA_LOC_STD_FS, name.c_str()));
  return s + "\n" + describe(f, parse_to_pfa_dirstat(f, -1, name.c_str(), 1, 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static vex_file *f = nullptr;
  if (!f) {
    clearenv();  // expansions see only these
    setenv("HOME", "/home/fz", 1);
    setenv("FZ", "c:/x", 1);
    pfa_alloc_vex_file(&f);
    g_printer = reinterpret_cast<pfaloc_fn_FPPS>(
        pfaloc_get_func_low(PFA_LOC_STD_FS, PFALOC_PfaGetLocationString, PLM_CALL_FPPS));
    pfa_loc_register_setup(12);
    pfa_loc_register_setup(0);
  }
  if (size == 0) return 0;
  set_allow_unusual_revision_characters(data[0] & 1);
  set_hide_initial_dot_files((data[0] >> 1) & 1);
  std::string name(reinterpret_cast<const char *>(data + 1), size - 1);
  name.resize(std::strlen(name.c_str()));
  full_steps(false);
  std::string shortcut = take(f, name);
  full_steps(true);
  std::string full = take(f, name);
  if (shortcut != full) {
    std::fprintf(stderr, "shortcut:\n%s\nfull steps:\n%s\n", shortcut.c_str(), full.c_str());
    std::abort();
  }
  return 0;
}
