// Allocating records straight from a name: files, directories, names
// relative to a directory, and parents.
#include <cstring>
#include <string>

#include "keelwork/pfa.h"
#include "pfa/pfa_internal.h"

using namespace kw::pfa;

namespace {

vex_file *alloc_parsed(const vex_file *dir, const char *name, int dir_mode) {
  if (!name) return nullptr;
  vex_file *f = nullptr;
  if (pfa_alloc_vex_file(&f) != 0) return nullptr;
  if (parse_full(f, dir, name, -1, dir_mode, false) != 0) {
    pfa_free_vex_file(&f);
    return nullptr;
  }
  return f;
}

bool wide_name(const kw_wchar *wname, char *buf) {
  return wname && to_bytes(wname, buf, kNameSize);
}

vex_file *alloc_dir(const char *name) {
  if (!name) return nullptr;
  std::string s(name);
  if (s.empty() || (s.back() != '/' && s.back() != '\\')) s += '/';
  if (s.size() > static_cast<size_t>(kMaxName)) return nullptr;
  return alloc_parsed(nullptr, s.c_str(), 1);
}

}  // namespace

extern "C" {

vex_file *pfa_alloc_file(const char *name) { return alloc_parsed(nullptr, name, 2); }

vex_file *pfa_alloc_wfile(const kw_wchar *wname) {
  char buf[kNameSize];
  return wide_name(wname, buf) ? pfa_alloc_file(buf) : nullptr;
}

vex_file *pfa_alloc_dir(const char *name) { return alloc_dir(name); }

vex_file *pfa_alloc_wdir(const kw_wchar *wname) {
  char buf[kNameSize];
  return wide_name(wname, buf) ? alloc_dir(buf) : nullptr;
}

vex_file *pfa_alloc_file_vers(const char *name, int mode, int *status) {
  if (status) *status = PFA_E_INVALID_INPUT;
  vex_file *f = alloc_parsed(nullptr, name, 0);
  if (!f) return nullptr;
  int version = 0;
  int r = pfa_get_file_vers(f, mode, &version);
  if (r == 0 || (mode == 2 && r == PFA_E_ERROR)) pfa_put_version(f, version);
  if (status) *status = r;
  return f;
}

vex_file *pfa_alloc_file_in_dir(const vex_file *dir, const char *name) {
  if (dir && !pfa_is_valid(dir)) return nullptr;
  return alloc_parsed(dir, name, 2);
}

vex_file *pfa_alloc_wfile_in_dir(const vex_file *dir, const kw_wchar *wname) {
  char buf[kNameSize];
  return wide_name(wname, buf) ? pfa_alloc_file_in_dir(dir, buf) : nullptr;
}

vex_file *pfa_alloc_nondir_file(const char *name) { return alloc_parsed(nullptr, name, 0); }

vex_file *pfa_alloc_parent(const vex_file *f) {
  if (!pfa_is_valid(f)) return nullptr;
  vex_file *p = nullptr;
  if (pfa_alloc_vex_file(&p) != 0) return nullptr;
  if (pfa_make_parent(f, p) != 0) {
    pfa_free_vex_file(&p);
    return nullptr;
  }
  return p;
}

}  // extern "C"
