// Numeric versions of files: the highest and next version through the
// location's method or the directory listing, the lists of versions, and
// the desktop registration of numeric extensions in the registry store.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "keelwork/btk_registry.hpp"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "keelwork/xar.h"
#include "pfa/pfa_internal.h"
#include "runtime/runtime_internal.h"

namespace kw::pfa {
namespace {

std::atomic<int> g_local_model_versioning{0};

struct Found {
  std::vector<int> exact, folded;
};

// Lists the file's directory for "name.ext" and "name.ext.N".
int scan_versions(vex_file *f, Found &found) {
  char base[kNameSize];
  if (pfa_get_file_name(f, PFA_M_NAME | PFA_M_EXT, base) != 0 || !base[0])
    return PFA_E_INVALID_INPUT;
  std::string_view prefix(base);
  vex_file dir;
  init_record(&dir);
  if (pfa_make_parent(f, &dir) != 0) return PFA_E_NOT_FOUND;
  pfa_stream stream{};
  dir.stream = &stream;
  int r = pfaloc_call_FLPPPI(PFALOC_PfaDirOpen, &dir, nullptr, nullptr, nullptr, 0);
  if (r != 0) {
    dir.stream = nullptr;
    return r == -1 ? PFA_E_NOT_FOUND : r;
  }
  char raw[kNameSize];
  while (pfaloc_call_FLPPPI(PFALOC_PfaDirReadNext, &dir, nullptr, raw, nullptr, sizeof raw) == 0) {
    std::string_view entry(raw);
    if (entry.size() < prefix.size()) continue;
    std::string_view head = entry.substr(0, prefix.size());
    bool exact = head == prefix;
    if (!exact && !iequal(head, prefix)) continue;
    std::string_view rest = entry.substr(prefix.size());
    int v = 0;
    if (!rest.empty() && !(rest[0] == '.' && parse_version(rest.substr(1), &v))) continue;
    (exact ? found.exact : found.folded).push_back(v);
  }
  pfaloc_call_FL(PFALOC_PfaDirClose, &dir);
  dir.stream = nullptr;
  return 0;
}

// The versions that count: exact-case matches, or on a case-insensitive
// location the set with the larger maximum; on a case-sensitive one the
// matches that differ only in case stand in when there is no exact one.
std::vector<int> counted(vex_file *f, Found &found) {
  if (found.folded.empty()) return found.exact;
  if (found.exact.empty()) return found.folded;
  if (pfaloc_is_case_sensitive(f)) return found.exact;
  int a = *std::max_element(found.exact.begin(), found.exact.end());
  int b = *std::max_element(found.folded.begin(), found.folded.end());
  return b > a ? found.folded : found.exact;
}

int file_vers(vex_file *f, int mode, int *version, char *rev) {
  if (rev) rev[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!version) return PFA_E_INVALID_INPUT;
  if (mode == 0) {
    *version = f->version;
    return 0;
  }
  if (mode != 1 && mode != 2) return PFA_E_INVALID_INPUT;
  int v = 0;
  char method_rev[kNameSize] = {0};
  int r = pfaloc_call_FIPP(PFALOC_PfaGetFileVersion, f, mode, &v, method_rev);
  if (r != -1) {
    if (r != 0) return r;
    if (v < 0) return PFA_E_NOT_FOUND;
    *version = v;
    if (rev) std::memcpy(rev, method_rev, std::strlen(method_rev) + 1);
  } else {
    Found found;
    r = scan_versions(f, found);
    std::vector<int> versions = r == 0 ? counted(f, found) : std::vector<int>{};
    int max = versions.empty() ? INT_MIN : *std::max_element(versions.begin(), versions.end());
    if (mode == 1) {
      if (versions.empty()) return PFA_E_NOT_FOUND;
      *version = max;
    } else {
      int next = versions.empty() ? 1 : (max < 1 ? 1 : max) + 1;
      if (next > 32767) return PFA_E_INVALID_NAME;  // no 16-bit version is left
      *version = next;
    }
  }
  if (*version > 0) ntver_insure_version_registered(*version);
  return 0;
}

int parse_wide(const kw_wchar *wname, const vex_file *dir, vex_file *f) {
  char name[kNameSize];
  if (!to_bytes(wname, name, sizeof name)) return PFA_E_INVALID_INPUT;
  init_record(f);
  return parse_full(f, dir, name, -1, 0, false);
}

// ---- registration of numeric extensions ---------------------------------------------------

constexpr const char *kKey = "Software\\KST";
constexpr const char *kClassKey = "Software\\Classes\\ormaFile";
// A key's default value: the store has no unnamed values, so it takes the
// name regedit gives it in exported files.
constexpr const char *kDefault = "@";
runtime::LazyMutex g_ntver_lock;
bool g_ntver_read = false;
uint32_t g_ntver_highest = 0;
std::string g_open_with = "Open with Orma";

}  // namespace
}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int pfa_get_file_vers(vex_file *f, int mode, int *version) {
  return file_vers(f, mode, version, nullptr);
}

int pfa_set_to_highest_version(vex_file *f, int *version) {
  int v = 0;
  char rev[kNameSize];
  int r = file_vers(f, 1, &v, rev);
  if (r != 0) return r;
  if (rev[0]) pfa_put_string_version(f, rev);
  pfa_put_version(f, v);
  if (version) *version = v;
  return 0;
}

int pfa_set_to_next_version(vex_file *f) {
  int v = 0;
  char rev[kNameSize];
  int r = file_vers(f, 2, &v, rev);
  if (r != 0) return r;
  if (rev[0]) pfa_put_string_version(f, rev);
  return pfa_put_version(f, v);
}

int pfa_get_versions(vex_file *f, int16_t **versions) {
  if (!valid(f) || !versions) return -1;
  *versions = nullptr;
  Found found;
  if (scan_versions(f, found) != 0) return -1;
  std::vector<int> v = counted(f, found);
  std::sort(v.begin(), v.end());
  std::vector<int16_t> out(v.begin(), v.end());
  if (xar_alloc_or_resize(versions, static_cast<int>(out.size()), sizeof(int16_t), 16) != 0)
    return -1;
  if (!out.empty()) std::memcpy(*versions, out.data(), out.size() * sizeof(int16_t));
  return static_cast<int>(out.size());
}

int pfa_same_versions(const vex_file *a, const vex_file *b) {
  if (!valid(a) || !valid(b)) return 0;
  return compare_vex_files(a, b) == 0 && a->version == b->version &&
         pfas_component_strcmp(a, b, PFA_ITER) == 0;
}

int vex_get_highest_version_low(const kw_wchar *wname, const vex_file *dir, int32_t type) {
  vex_file f;
  if (parse_wide(wname, dir, &f) != 0) return 0;
  if (type > 0 && type != f.obj_type && pfa_put_obj_type_lower(&f, type, 1) != 0) return 0;
  Found found;
  if (scan_versions(&f, found) != 0) return 0;
  std::vector<int> v = counted(&f, found);
  if (v.empty()) return 0;
  int max = *std::max_element(v.begin(), v.end());
  if (max <= 0) return use_orma_local_model_versioning() && max == 0 ? 1 : 0;
  return max;
}

int vex_get_highest_version(const kw_wchar *wname) {
  return vex_get_highest_version_low(wname, nullptr, -1);
}

int vex_file_highest_version(const char *name) {
  kw_wchar wname[kNameSize];
  if (!to_wide(name, wname, kNameSize)) return 0;
  return vex_get_highest_version(wname);
}

int vex_get_all_versions(const kw_wchar *wname, int16_t **versions) {
  if (!versions) return -1;
  *versions = nullptr;
  vex_file f;
  if (parse_wide(wname, nullptr, &f) != 0) return -1;
  Found found;
  if (scan_versions(&f, found) != 0) return -1;
  std::vector<int> v = counted(&f, found);
  for (int &x : v)
    if (x == 0) x = 1;
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0;
  auto *out = static_cast<int16_t *>(getmem(v.size() * sizeof(int16_t)));
  for (size_t i = 0; i < v.size(); ++i) out[i] = static_cast<int16_t>(v[i]);
  *versions = out;
  return static_cast<int>(v.size());
}

int fname_has_version(const kw_wchar *wname) {
  vex_file f;
  if (parse_wide(wname, nullptr, &f) != 0) return 0;
  if (comp_len(&f, PFA_NAME) >= 66) {
    dbg_err_crash("fname_has_version", "name too long");
    return 0;
  }
  return f.version != 0;
}

int use_orma_local_model_versioning(void) { return g_local_model_versioning.load(); }
int set_orma_local_model_versioning(int flag) { return g_local_model_versioning.exchange(flag); }

int set_ntver_open_with_msg(const char *text) {
  if (!text || std::strlen(text) > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  kw::runtime::LazyLock lock(g_ntver_lock);
  g_open_with = text;
  return 0;
}

int ntver_insure_version_registered(int version) {
  kw::runtime::LazyLock lock(g_ntver_lock);
  btkRegistryKey key(kKey);
  if (!g_ntver_read) {
    uint32_t stored = 0;
    if (key.GetDword("ormaFileVers", stored)) g_ntver_highest = stored;
    g_ntver_read = true;
  }
  if (version <= 0 || static_cast<uint32_t>(version) <= g_ntver_highest || g_ntver_highest >= 999)
    return 0;
  std::string command, icon;
  if (!key.GetString("ormamsg", command) || command.size() < 3) return 0;
  key.GetString("ksticon", icon);
  btkRegistryKey cls(kClassKey);
  bool ok = cls.SetString(kDefault, "Orma Versioned File") &&
            cls.SetString("AppUserModelID", "keelwork.vhub");
  ok = ok && btkRegistryKey((std::string(kClassKey) + "\\DefaultIcon").c_str())
                 .SetString(kDefault, icon.c_str());
  ok = ok &&
       btkRegistryKey((std::string(kClassKey) + "\\shell").c_str()).SetString(kDefault, "Open");
  ok = ok && btkRegistryKey((std::string(kClassKey) + "\\shell\\Open").c_str())
                 .SetString(kDefault, g_open_with.c_str());
  ok = ok && btkRegistryKey((std::string(kClassKey) + "\\shell\\Open\\command").c_str())
                 .SetString(kDefault, command.c_str());
  if (!ok) return PFA_E_ERROR;
  uint32_t reached = g_ntver_highest;
  int result = 0;
  for (uint32_t n = g_ntver_highest + 1; n <= static_cast<uint32_t>(version) && n <= 999; ++n) {
    if (n == 123 || n == 323 || n == 386) {
      reached = n;
      continue;
    }
    std::string ext = "Software\\Classes\\." + std::to_string(n);
    if (!btkRegistryKey(ext.c_str()).SetString(kDefault, "ormaFile")) {
      result = PFA_E_ERROR;
      break;
    }
    reached = n;
  }
  if (reached != g_ntver_highest) {
    g_ntver_highest = reached;
    key.SetDword("ormaFileVers", reached);
  }
  return result;
}

}  // extern "C"
