// Full names: parse, format, parse again. What a record formats to must
// parse to a record that formats the same way and keeps its version; from
// then on parsing and formatting are stable; the neutral location with the
// tail must give the same text too.
#include <keelwork/pfa.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "round trip broken: %s\n", what);
    std::abort();
  }
}

bool same_components(const vex_file *a, const vex_file *b) {
  for (int k = 0; k < PFA_COMPONENT_COUNT; ++k)
    if (pfas_component_strcmp(a, b, k) != 0) return false;
  return a->version == b->version && a->obj_type == b->obj_type && a->loc_type == b->loc_type;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static vex_file *f = nullptr, *g = nullptr, *h = nullptr;
  if (!f) {
    clearenv();  // expansions see only these
    setenv("HOME", "/home/fz", 1);
    setenv("FZ", "c:/x", 1);
    setenv("FZ_SELF", "$FZ_SELF", 1);
    pfa_alloc_vex_file(&f);
    pfa_alloc_vex_file(&g);
    pfa_alloc_vex_file(&h);
  }
  if (size == 0) return 0;
  // The first byte picks the parser's switches.
  set_allow_unusual_revision_characters(data[0] & 1);
  set_hide_initial_dot_files((data[0] >> 1) & 1);
  std::string name(reinterpret_cast<const char *>(data + 1), size - 1);
  name.resize(std::strlen(name.c_str()));
  if (parse_to_pfa(f, -1, name.c_str()) != 0) return 0;

  char once[PFA_NAME_SIZE], twice[PFA_NAME_SIZE];
  if (pfa_get_full_name(f, once) != 0) return 0;
  // "$NAME" and a leading "~" are expanded, not names: such text (which
  // ".." folding can bring forward) is left out.
  // An empty text (a record with nothing but an empty revision) names
  // nothing and reads back as the current directory.
  if (!once[0] || std::strchr(once, '$') || once[0] == '~') return 0;
  // A device other than a drive letter prints as "dev:", which reads back
  // as a path; only its neutral form ("///dev/") keeps it.
  char device[PFA_NAME_SIZE];
  if (f->loc_type == PFA_LOC_STD_FS && pfa_get_component(f, PFA_LOC2, device, sizeof device) == 0 &&
      device[0] && std::strcmp(device, "/") != 0 &&
      (device[1] || !((device[0] | 0x20) >= 'a' && (device[0] | 0x20) <= 'z')))
    return 0;
  check(std::strlen(once) < PFA_NAME_SIZE, "length");
  check(parse_to_pfa(g, -1, once) == 0, "formatted name refused");
  check(pfa_get_full_name(g, twice) == 0 && std::strcmp(once, twice) == 0, "formatted text");
  check(parse_to_pfa(h, -1, twice) == 0 && same_components(g, h), "second parse");
  // A host with a drive prints as "\\host\c$\", which the UNC location
  // claims: the type may change once, the text and version may not.
  check(g->version == f->version, "version");

  char neutral[PFA_NAME_SIZE * 2], tail[PFA_NAME_SIZE];
  // The neutral form roots its path: only names with a rooted path compare
  // (a host or drive with a relative path is absolute but not rooted).
  char first = 0;
  if (f->loc_type == PFA_LOC_STDIO || !pfa_path_is_absolute(g) ||
      pfa_component_first_char(g, PFA_LOC3, &first) != 0 || first != '/')
    return 0;
  if (pfaloc_call_FPPS(PFALOC_PfaGetNeutralLocation, g, neutral, nullptr, sizeof neutral) != 0)
    return 0;
  if (pfa_get_full_name_low(g, tail, 0,
                            PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION | PFA_M_STRING_VERSION) != 0)
    return 0;
  std::string stored = std::string(neutral) + tail;
  if (stored.size() >= PFA_NAME_SIZE || stored.find('$') != std::string::npos || stored[0] == '~')
    return 0;
  check(parse_to_pfa(h, -1, stored.c_str()) == 0, "neutral form refused");
  check(pfa_get_full_name(h, twice) == 0 && std::strcmp(once, twice) == 0, "neutral form");
  return 0;
}
