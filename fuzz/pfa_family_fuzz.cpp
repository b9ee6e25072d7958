// Family names: the splitters and builders agree with each other on
// arbitrary wide names, and the wide-name parsers stay within bounds.
#include <keelwork/pfa.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::u16string w;
  for (size_t i = 0; i + 1 < size && w.size() < 300; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) c = u'<';
    w.push_back(c);
  }
  kw_wchar gen[PFA_NAME_SIZE], inst[PFA_NAME_SIZE], out[PFA_NAME_SIZE], rest[PFA_NAME_SIZE];
  if (w.size() < PFA_NAME_SIZE && split_family_name(w.c_str(), gen, inst) == 0 && inst[0]) {
    // A split family name builds back to itself (unless the parts match).
    if (make_family_name(inst, gen, out) == 0 && std::u16string(inst) != gen &&
        std::u16string(out) != w)
      std::abort();
    // is_family_name looks at the last segment of a path.
    if (w.find_first_of(u"/\\") == std::u16string::npos && !is_family_name(w.c_str())) std::abort();
  }
  filename_extract_gen_and_inst(w.c_str(), rest, gen);
  if (w.size() < PFA_NAME_SIZE) get_gen_name(w.c_str(), out);
  kw_wchar *d, *n, *e, *v, *i, *g;
  parse_filename(w.c_str(), &d, &n, &e, &v);
  generic_parse_filename(w.c_str(), &d, &i, &g, &e, &v);
  generic_parse_filename_weak_check(w.c_str(), &d, &i, &g, &e, &v);
  std::u16string half = w.substr(0, w.size() / 2), other = w.substr(w.size() / 2);
  make_family_fullname_low(half.c_str(), other.c_str(), half.c_str(), other.c_str(),
                           static_cast<int>(size), out);
  make_family_name_w_ext(half.c_str(), other.c_str(), static_cast<int32_t>(size % 3), out);
  return 0;
}
