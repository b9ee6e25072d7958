// Common names parse and print through a shortcut while only the built-in
// location types claim names and the standard file system prints with its
// own method; every other name takes the full steps. Both must give the
// same records and texts. Each name is taken with the shortcut, then again
// after a claiming type and a wrapped printer switch it off.
#include <gtest/gtest.h>
#include <keelwork/objtype.h>
#include <keelwork/pfa.h>
#include <keelwork/pfaloc.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string describe(vex_file *f, int r) {
  std::string s = "r=" + std::to_string(r);
  if (r != 0) return s;
  char buf[PFA_NAME_SIZE];
  for (int k = 0; k < PFA_COMPONENT_COUNT; ++k) {
    pfa_get_component(f, k, buf, sizeof buf);
    s += std::string(" [") + buf + "]";
  }
  s += " loc=" + std::to_string(f->loc_type) + " type=" + std::to_string(f->obj_type) +
       " v=" + std::to_string(f->version) + " flags=" + std::to_string(f->flags);
  int q = pfa_get_full_name(f, buf);
  s += " full=" + std::to_string(q) + "<" + buf + ">";
  q = pfa_get_full_name_mixed_case(f, buf, 0);
  s += " mixed=" + std::to_string(q) + "<" + buf + ">";
  q = pfa_get_full_name_low(f, buf, 1, PFA_M_ALL);
  s += " lower=" + std::to_string(q) + "<" + buf + ">";
  return s;
}

// Every way the names are taken: the parser's switches and entry points.
std::vector<std::string> describe_all(const std::vector<std::string> &names) {
  std::vector<std::string> out;
  vex_file *f = nullptr;
  EXPECT_EQ(pfa_alloc_vex_file(&f), 0);
  for (int switches = 0; switches < 4; ++switches) {
    set_allow_unusual_revision_characters(switches & 1);
    set_hide_initial_dot_files(switches >> 1);
    for (const std::string &name : names) {
      out.push_back(describe(f, parse_to_pfa(f, -1, name.c_str())));
      out.push_back(describe(f, parse_to_pfa(f, PFA_LOC_STD_FS, name.c_str())));
      out.push_back(describe(f, parse_to_pfa_dirstat(f, -1, name.c_str(), 1, 1)));
    }
  }
  set_allow_unusual_revision_characters(0);
  set_hide_initial_dot_files(1);
  pfa_free_vex_file(&f);
  return out;
}

// Names built from the pieces the grammar cares about, so that the
// shortcut's every refusal and every one of its forms come up.
std::vector<std::string> names() {
  std::vector<std::string> v = {"c:\\work\\a.prt.3",
                                "/home/u/b.asm",
                                "C:\\A\\B\\Part.PRT",
                                "x.prt",
                                "a\\.\\b\\c.drw.1",
                                "c:",
                                "c:a.prt",
                                "c::a",
                                "host:/p/a.prt",
                                "\\\\h\\c$\\a.prt",
                                "//srv/share/a",
                                "stdio://out",
                                "pfafs:drives",
                                "$HOME/a",
                                "~/a.prt",
                                "///dev/a.prt",
                                "/////h/a",
                                "a|rev",
                                "a.prt|r|s",
                                "dir/..",
                                "dir/.",
                                "../a.prt",
                                "a/../b.prt",
                                "a//b.prt",
                                "c:\\:x\\a.prt",
                                ".hidden",
                                "a.1",
                                "a.prt.0",
                                "a.prt.-3",
                                "a.prt.32768",
                                "a.prt.03",
                                "gear<base>.prt",
                                "-a.prt",
                                "a b.prt",
                                "lhp://a/b.prt",
                                "a:b",
                                "p:x/",
                                "s.prt",
                                "d:/x/y.",
                                "e:\\.\\.\\f.txt"};
  const char *pieces[] = {"a",  "Bc", "prt", "asm", "drw", "txt", "1",  "-2", "0",       "32767",
                          ".",  ".",  ".",   "/",   "\\",  "/",   "\\", ":",  "|",       "..",
                          "//", "$",  "~",   " ",   "<",   ">",   "_",  "-",  "\xc3\xa9"};
  std::mt19937 rng(20261206);
  for (int i = 0; i < 6000; ++i) {
    std::string s;
    if (rng() % 3 == 0) s = std::string(1, static_cast<char>('a' + rng() % 26)) + ":";
    if (rng() % 4 == 0) s += "\\";
    int n = static_cast<int>(rng() % 10);
    for (int k = 0; k < n; ++k) s += pieces[rng() % std::size(pieces)];
    v.push_back(s);
  }
  return v;
}

int refuse_all(vex_file *, void *, void *, void *) { return PFA_E_INVALID_NAME; }

pfaloc_fn_FPPS g_std_printer = nullptr;
int wrapped_printer(vex_file *f, void *buf, void *arg, size_t size) {
  return g_std_printer(f, buf, arg, size);
}

TEST(NamePaths, ShortcutAndFullStepsAgree) {
  std::vector<std::string> input = names();
  std::vector<std::string> with_shortcut = describe_all(input);

  // Another claiming type, and the printer behind a wrapper: the shortcut
  // no longer applies.
  ASSERT_EQ(pfa_loc_register_setup(12), 1);
  pfa_loc_method_register_FPPP(12, PFALOC_PfaClaimLocation, refuse_all);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
  g_std_printer = reinterpret_cast<pfaloc_fn_FPPS>(
      pfaloc_get_func_low(PFA_LOC_STD_FS, PFALOC_PfaGetLocationString, PLM_CALL_FPPS));
  ASSERT_NE(g_std_printer, nullptr);
  ASSERT_EQ(pfa_loc_register_append(PFA_LOC_STD_FS), 1);
  pfa_loc_method_register_FPPS(PFA_LOC_STD_FS, PFALOC_PfaGetLocationString, wrapped_printer);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);

  std::vector<std::string> full_steps = describe_all(input);
  ASSERT_EQ(with_shortcut.size(), full_steps.size());
  int shown = 0;
  for (size_t i = 0; i < full_steps.size() && shown < 10; ++i) {
    if (with_shortcut[i] == full_steps[i]) continue;
    ADD_FAILURE() << "name \"" << input[(i / 3) % input.size()]
                  << "\"\n  shortcut:   " << with_shortcut[i]
                  << "\n  full steps: " << full_steps[i];
    ++shown;
  }
}

}  // namespace
