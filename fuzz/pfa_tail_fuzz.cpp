// The tail splitter on arbitrary text: bounded outputs, a directory part
// that is a prefix of the input, and parts that rebuild the tail.
#include <keelwork/objtype.h>
#include <keelwork/pfa.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  set_allow_unusual_revision_characters(data[0] & 1);
  set_hide_initial_dot_files((data[0] >> 1) & 1);
  std::string full(reinterpret_cast<const char *>(data + 1), size - 1);
  full.resize(std::strlen(full.c_str()));
  char dir[PFA_NAME_SIZE], name[PFA_NAME_SIZE], ext[PFA_NAME_SIZE], rev[PFA_NAME_SIZE];
  int version = 0, family = 0;
  int32_t type = 0;
  int r = pfa_parse_filename_tail(full.c_str(), dir, name, ext, rev, &version, &type, &family,
                                  data[0] & 4);
  if (r != 0) {
    if (full.size() < PFA_NAME_SIZE) std::abort();  // only overlong names are refused
    return 0;
  }
  size_t d = std::strlen(dir);
  if (full.compare(0, d, dir) != 0) std::abort();
  std::string tail = full.substr(d);
  if (tail.empty()) return 0;
  // name [. ext] [. version | '|' rev] rebuilds the tail exactly: versions
  // are only canonical numbers, so their text comes back the same.
  if ((data[0] >> 1 & 1) && tail[0] == '.') {  // a hidden dot file is all name
    if (tail != name) std::abort();
    return 0;
  }
  size_t bar = tail.rfind('|');
  std::string part = tail;
  if (bar != std::string::npos)
    part = tail.substr(0, bar);
  else if (version)
    part = tail.substr(0, tail.rfind('.'));
  std::string rebuilt = name;
  if (part.size() > rebuilt.size()) rebuilt += std::string(".") + ext;
  if (bar != std::string::npos)
    rebuilt += std::string("|") + rev;
  else if (version)
    rebuilt += "." + std::to_string(version);
  if (rebuilt != tail) std::abort();
  if (family && !type_allows_family_names(type)) std::abort();
  return 0;
}
