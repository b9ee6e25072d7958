// Sorted directory scans: scan filters, the listing order, the duplicate
// rule, and the lists of records and names they produce.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/objtype.h"
#include "keelwork/pattern.h"
#include "keelwork/pfadir.h"
#include "keelwork/wstring.h"
#include "pfa/pfa_internal.h"
#include "pfa/pfadir_internal.h"

namespace kw::pfa::dir {
namespace {

inline unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// The displayed name of an entry: name and extension of a file, the last
// segment of a directory.
struct Display {
  std::string_view name, ext;
  bool lower;
};

Display display_of(const vex_file *e) {
  Display d{};
  if (e->obj_type == OBJ_TYPE_DIRECTORY && comp_len(e, PFA_NAME) == 0) {
    std::string_view p = comp(e, PFA_LOC3);
    while (!p.empty() && p.back() == '/') p.remove_suffix(1);
    size_t cut = p.rfind('/');
    d.name = cut == std::string_view::npos ? p : p.substr(cut + 1);
    // The root of a drive is known by its device.
    if (d.name.empty()) d.name = comp(e, device_idx(e));
    d.lower = false;
  } else {
    d.name = comp(e, PFA_NAME);
    d.ext = comp(e, PFA_EXT);
    d.lower = lower_for(e);
  }
  return d;
}

// Character k of "name.ext" (0 past its end).
inline unsigned char char_at(const Display &d, size_t k) {
  unsigned char c;
  if (k < d.name.size())
    c = static_cast<unsigned char>(d.name[k]);
  else if (d.ext.empty())
    return 0;
  else if (k == d.name.size())
    return '.';
  else if (k - d.name.size() - 1 < d.ext.size())
    c = static_cast<unsigned char>(d.ext[k - d.name.size() - 1]);
  else
    return 0;
  return d.lower ? fold(c) : c;
}

inline size_t display_len(const Display &d) {
  return d.name.size() + (d.ext.empty() ? 0 : d.ext.size() + 1);
}

// The extension of a pattern ("*.prt" -> "prt"), empty when none.
std::string_view pattern_ext(std::string_view p) {
  size_t dot = p.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : p.substr(dot + 1);
}

bool filter_matches(const Pfa_Scan_Filter *filter, const vex_file *e) {
  if (!filter || filter->count <= 0) return true;
  Display d = display_of(e);
  NameBuf shown;
  shown.append(d.name);
  if (!d.ext.empty()) {
    shown.push('.');
    shown.append(d.ext);
  }
  for (int i = 0; i < filter->count; ++i) {
    const char *p = filter->patterns[i];
    if (!p) continue;
    int32_t type = filter->typed ? filter->typed[i] : -1;
    if (type >= 0 && e->obj_type != OBJ_TYPE_DIRECTORY) {
      // A known type: the file's type decides, the name part is matched
      // on its own.
      if (e->obj_type != type) continue;
      std::string_view pv(p);
      size_t dot = pv.rfind('.');
      std::string name_pat(pv.substr(0, dot));
      std::string name(d.name);
      if (match_user_filter(name.c_str(), name_pat.c_str())) return true;
      continue;
    }
    if (match_user_filter(shown.c_str(), p)) return true;
  }
  return false;
}

struct SortKey {
  uint32_t off, len;
  vex_file *e;
};

// The key of an entry, appended to `keys`: a directory mark and the
// displayed name as it compares (lowered or folded where the order says
// so). Made once per entry, so that comparing is comparing bytes.
SortKey make_key(vex_file *e, bool no_case, std::string &keys) {
  Display d = display_of(e);
  size_t start = keys.size();
  keys.push_back(e->obj_type == OBJ_TYPE_DIRECTORY ? '0' : '1');
  size_t n = display_len(d);
  for (size_t k = 0; k < n; ++k) {
    unsigned char c = char_at(d, k);
    keys.push_back(static_cast<char>(no_case ? fold(c) : c));
  }
  return SortKey{static_cast<uint32_t>(start), static_cast<uint32_t>(keys.size() - start), e};
}

int compare_keys(const std::string &keys, const SortKey &x, const SortKey &y,
                 bool string_versions) {
  int c = std::string_view(keys.data() + x.off, x.len)
              .compare(std::string_view(keys.data() + y.off, y.len));
  if (c != 0) return c;
  if (string_versions) {
    c = comp(x.e, PFA_ITER).compare(comp(y.e, PFA_ITER));
    if (c != 0) return c;
  }
  return x.e->version == y.e->version ? 0 : x.e->version < y.e->version ? -1 : 1;
}

void print_list(vex_file **list, int count) {
  std::printf("\nA list of %d entries from pfa_scandir():\n", count);
  char name[kNameSize];
  for (int i = 0; i < count; ++i) {
    pfa_get_full_name(list[i], name);
    std::printf("%s\n", name);
  }
  std::printf("----------------------------------------\n");
}

}  // namespace

int compare_entries(const vex_file *a, const vex_file *b, bool no_case, bool string_versions) {
  bool da = a->obj_type == OBJ_TYPE_DIRECTORY, db = b->obj_type == OBJ_TYPE_DIRECTORY;
  if (da != db) return da ? -1 : 1;
  Display x = display_of(a), y = display_of(b);
  size_t nx = display_len(x), ny = display_len(y), n = std::min(nx, ny);
  for (size_t k = 0; k < n; ++k) {
    unsigned char c = char_at(x, k), d = char_at(y, k);
    if (no_case) c = fold(c), d = fold(d);
    if (c != d) return c < d ? -1 : 1;
  }
  if (nx != ny) return nx < ny ? -1 : 1;
  if (string_versions) {
    int r = comp(a, PFA_ITER).compare(comp(b, PFA_ITER));
    if (r != 0) return r < 0 ? -1 : 1;
  }
  if (a->version != b->version) return a->version < b->version ? -1 : 1;
  return 0;
}

void order_entries(std::vector<vex_file *> &entries) {
  std::string keys;
  keys.reserve(entries.size() * 24);
  std::vector<SortKey> order(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) order[i] = make_key(entries[i], false, keys);
  auto less = [&](const SortKey &x, const SortKey &y) {
    return compare_keys(keys, x, y, false) < 0;
  };
  if (std::is_sorted(order.begin(), order.end(), less)) return;
  std::stable_sort(order.begin(), order.end(), less);
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = order[i].e;
}

}  // namespace kw::pfa::dir

using namespace kw::pfa;
using namespace kw::pfa::dir;

extern "C" {

int wstring_to_Pfa_Scan_FIlter(const kw_wchar *wtext, int mode, int option,
                               Pfa_Scan_Filter *filter) {
  if (!filter) return PFA_E_INVALID_INPUT;
  *filter = Pfa_Scan_Filter{nullptr, nullptr, 0, mode, option};
  if (!wtext || !*wtext) return 0;
  size_t wlen = 0;
  while (wtext[wlen]) ++wlen;
  // UTF-8 takes at most three bytes per UTF-16 unit.
  std::vector<char> text(wlen * 3 + 1);
  if (!to_bytes(wtext, text.data(), text.size())) return PFA_E_INVALID_INPUT;
  std::string_view all(text.data());
  if (all == "*" || all == "Select Dir") return 0;
  std::vector<std::string> parts;
  for (size_t i = 0; i <= all.size();) {
    size_t comma = all.find(',', i);
    if (comma == std::string_view::npos) comma = all.size();
    std::string_view p = all.substr(i, comma - i);
    while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
    while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
    if (!p.empty()) parts.emplace_back(p);
    i = comma + 1;
  }
  if (parts.empty()) return 0;
  // A list holding "*" (or "*.*") lets everything pass.
  for (const std::string &p : parts)
    if (p == "*" || p == "*.*") return 0;
  auto **patterns = static_cast<char **>(getmem(parts.size() * sizeof(char *)));
  auto *typed = static_cast<int32_t *>(getmem(parts.size() * sizeof(int32_t)));
  if (!patterns || !typed) {
    if (patterns) rlsmem(patterns);
    if (typed) rlsmem(typed);
    return PFA_E_OUT_OF_MEMORY;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    patterns[i] = static_cast<char *>(getmem(parts[i].size() + 1));
    if (patterns[i]) std::memcpy(patterns[i], parts[i].c_str(), parts[i].size() + 1);
    std::string ext(pattern_ext(parts[i]));
    typed[i] = -1;
    if (!ext.empty() && !filter_has_wildcards(ext.c_str())) {
      int32_t t = extension_to_type(ext.c_str());
      typed[i] = t > 0 ? t : -1;
    }
  }
  filter->patterns = patterns;
  filter->typed = typed;
  filter->count = static_cast<int32_t>(parts.size());
  return 0;
}

void pfa_clean_scan_filter(Pfa_Scan_Filter *filter) {
  if (!filter) return;
  for (int i = 0; i < filter->count; ++i)
    if (filter->patterns && filter->patterns[i]) rlsmem(filter->patterns[i]);
  if (filter->patterns) rlsmem(filter->patterns);
  if (filter->typed) rlsmem(filter->typed);
  filter->patterns = nullptr;
  filter->typed = nullptr;
  filter->count = 0;
}

int pfa_scan_filter_match(const Pfa_Scan_Filter *filter, const vex_file *entry) {
  if (!valid(entry)) return 0;
  return filter_matches(filter, entry) ? 1 : 0;
}

int pfa_scandir_low(vex_file *dir, int flags, const Pfa_Scan_Filter *filter, const char *subset,
                    vex_file ***list, int *count) {
  if (list) *list = nullptr;
  if (count) *count = 0;
  if (!list || !count) return PFA_E_INVALID_INPUT;
  if (!valid(dir)) return PFA_E_NOT_VALID;
  if ((flags & PFA_SCAN_INSTANCE) && pfaloc_uses_instance_index(dir) == 1)
    flags &= ~PFA_SCAN_INSTANCE;
  flags |= PFA_SCAN_USE_CACHE | PFA_SCAN_FILL_CACHE;
  if (filter && filter->mode == 1) flags |= PFA_SCAN_FILTER_DIRS;
  if (pfaloc_is_case_sensitive(dir) == 0) flags |= PFA_SCAN_NO_CASE;
  const bool no_case = flags & PFA_SCAN_NO_CASE;
  const bool string_versions = (flags & PFA_SCAN_STRING_VERS) && (flags & PFA_SCAN_STRING_VERS2);

  int r;
  if (dir->flags & PFA_F_OPEN) {
    // Kept open by an earlier scan: read it again from the start.
    r = listing_of(dir) ? pfa_rewind_dir(dir) : PFA_E_NOT_ALLOWED;
  } else {
    r = pfa_open_dir_subset(dir, subset, nullptr, 0);
  }
  if (r != 0) return PFA_E_CANT_OPEN;

  auto wanted = [&](const vex_file &e) {
    bool is_dir = e.obj_type == OBJ_TYPE_DIRECTORY;
    if ((e.flags & PFA_F_OS_HIDDEN) && !(flags & PFA_SCAN_HIDDEN)) return false;
    if (is_dir && (flags & PFA_SCAN_FILES_ONLY)) return false;
    if (!is_dir && (flags & PFA_SCAN_DIRS_ONLY)) return false;
    return !((!is_dir || (flags & PFA_SCAN_FILTER_DIRS)) && !filter_matches(filter, &e));
  };
  // Entries read from the disk are kept here; a listing lent by the cache
  // is used in place (its snapshot is held until the list is made).
  std::deque<vex_file> read;
  std::vector<vex_file *> found;
  std::shared_ptr<Snapshot> held;
  DirListing *listing = listing_of(dir);
  if (listing && listing->state->replay && !listing->state->relocate && listing->state->snap &&
      listing->state->pos == 0) {
    held = listing->state->snap;
    listing->state->pos = held->entries.size();
    found.reserve(held->entries.size());
    for (vex_file &e : held->entries)
      if (wanted(e)) found.push_back(&e);
    r = PFA_E_NOT_CACHABLE;
  } else {
    vex_file entry;
    init_record(&entry);
    while ((r = pfa_read_dir(dir, &entry)) == 0) {
      if (!wanted(entry)) continue;
      vex_file &kept = read.emplace_back(entry);
      kept.stream = nullptr;
      kept.flags &= ~(PFA_F_OPEN | PFA_F_DIR_CACHED | PFA_F_CACHE_COPY);
      entry.appinfo = nullptr;  // moved into `kept`
      found.push_back(&kept);
    }
    release_attachments(&entry);
  }
  if (!(flags & PFA_SCAN_KEEP_OPEN)) pfadir_close(dir);
  if (r != PFA_E_NOT_CACHABLE) {
    for (vex_file &e : read) release_attachments(&e);
    return r == PFA_E_NOT_VALID ? PFA_E_NOT_VALID : PFA_E_ERROR;
  }

  // Sort keys, made once per entry: a directory mark and the displayed
  // name as it compares (lowered or folded where the order says so).
  std::string keys;
  keys.reserve(found.size() * 24);
  std::vector<SortKey> order(found.size());
  for (size_t i = 0; i < found.size(); ++i) order[i] = make_key(found[i], no_case, keys);
  auto compare = [&](const SortKey &x, const SortKey &y) {
    return compare_keys(keys, x, y, string_versions);
  };
  auto less = [&](const SortKey &x, const SortKey &y) { return compare(x, y) < 0; };
  if (!std::is_sorted(order.begin(), order.end(), less))
    std::stable_sort(order.begin(), order.end(), less);
  // The duplicate rule: of entries that compare equal the first read stays.
  std::vector<vex_file *> kept;
  kept.reserve(order.size());
  const SortKey *last = nullptr;
  for (const SortKey &k : order) {
    if (last && compare(*last, k) == 0) {
      char name[kNameSize];
      pfa_get_full_name(k.e, name);
      dbg_print_info("pfa_scandir", "duplicates in file list! %s", name);
      release_attachments(k.e);
      continue;
    }
    if ((flags & PFA_SCAN_HIGHEST) && last && k.e->obj_type != OBJ_TYPE_DIRECTORY &&
        std::string_view(keys.data() + last->off, last->len) ==
            std::string_view(keys.data() + k.off, k.len)) {
      // The same file in a higher version.
      release_attachments(kept.back());
      kept.back() = k.e;
      last = &k;
      continue;
    }
    kept.push_back(k.e);
    last = &k;
  }
  size_t n = kept.size();
  if (n == 0) return 0;

  // The list carries, in the slot before its first element, the block that
  // holds the records (null when each record was allocated on its own).
  auto **slots = static_cast<vex_file **>(getmem((n + 1) * sizeof(vex_file *)));
  if (!slots) {
    for (vex_file *e : kept) release_attachments(e);
    return PFA_E_OUT_OF_MEMORY;
  }
  if (flags & PFA_SCAN_SEPARATE) {
    slots[0] = nullptr;
    for (size_t i = 0; i < n; ++i) {
      vex_file *f = nullptr;
      if (pfa_alloc_vex_file(&f) != 0) {
        for (size_t j = i; j < n; ++j) release_attachments(kept[j]);
        vex_file **made = slots + 1;
        pfa_free_scan_list(&made, static_cast<int>(i));
        return PFA_E_OUT_OF_MEMORY;
      }
      std::memcpy(static_cast<void *>(f), kept[i], sizeof(vex_file));
      slots[i + 1] = f;
    }
  } else {
    auto *block = static_cast<vex_file *>(getmem(n * sizeof(vex_file)));
    if (!block) {
      for (vex_file *e : kept) release_attachments(e);
      rlsmem(slots);
      return PFA_E_OUT_OF_MEMORY;
    }
    slots[0] = block;
    for (size_t i = 0; i < n; ++i) {
      std::memcpy(static_cast<void *>(block + i), kept[i], sizeof(vex_file));
      slots[i + 1] = block + i;
    }
  }
  *list = slots + 1;
  *count = static_cast<int>(n);
  if (flags & PFA_SCAN_PRINT) print_list(*list, *count);
  return 0;
}

int pfa_scandir(vex_file *dir, int flags, const Pfa_Scan_Filter *filter, vex_file ***list,
                int *count) {
  return pfa_scandir_low(dir, flags, filter, nullptr, list, count);
}

int pfa_scandir_simple(vex_file *dir, int flags, const kw_wchar *wfilter, vex_file ***list,
                       int *count, int mode) {
  if (list) *list = nullptr;
  if (count) *count = 0;
  if (!list || !count) return PFA_E_INVALID_INPUT;
  Pfa_Scan_Filter filter;
  int r = wstring_to_Pfa_Scan_FIlter(wfilter, mode, 0, &filter);
  if (r != 0) return r;
  r = pfa_scandir_low(dir, flags, &filter, nullptr, list, count);
  pfa_clean_scan_filter(&filter);
  return r;
}

int pfa_scandir_to_array(vex_file *dir, int flags, const Pfa_Scan_Filter *filter, char ***names,
                         int *count) {
  if (names) *names = nullptr;
  if (count) *count = 0;
  if (!names || !count) return PFA_E_INVALID_INPUT;
  vex_file **list = nullptr;
  int n = 0;
  int r = pfa_scandir_low(dir, flags & ~PFA_SCAN_SEPARATE, filter, nullptr, &list, &n);
  if (r != 0 || n == 0) return r;
  auto **out = static_cast<char **>(getmem(static_cast<size_t>(n) * sizeof(char *)));
  if (!out) {
    pfa_free_scan_list(&list, n);
    return PFA_E_OUT_OF_MEMORY;
  }
  char name[kNameSize];
  for (int i = 0; i < n; ++i) {
    pfa_get_full_name(list[i], name);
    size_t len = std::strlen(name);
    out[i] = static_cast<char *>(getmem(len + 1));
    if (out[i]) std::memcpy(out[i], name, len + 1);
  }
  pfa_free_scan_list(&list, n);
  *names = out;
  *count = n;
  return 0;
}

void pfa_free_scan_list(vex_file ***list, int count) {
  if (!list || !*list) return;
  vex_file **slots = *list - 1;
  vex_file *block = slots[0];
  for (int i = 0; i < count; ++i) {
    vex_file *f = (*list)[i];
    if (!f) continue;
    if (block) {
      release_attachments(f);
      f->magic = 0;
    } else {
      pfa_free_vex_file(&f);
    }
  }
  if (block) rlsmem(block);
  rlsmem(slots);
  *list = nullptr;
}

void pfa_free_name_array(char ***names, int count) {
  if (!names || !*names) return;
  for (int i = 0; i < count; ++i)
    if ((*names)[i]) rlsmem((*names)[i]);
  rlsmem(*names);
  *names = nullptr;
}

void sort_pfa_ptrs(vex_file **array, int n) {
  if (!array || n < 2) return;
  std::stable_sort(array, array + n, [](const vex_file *a, const vex_file *b) {
    if (!valid(a) || !valid(b)) return valid(b) && !valid(a);
    return compare_entries(a, b, false, false) < 0;
  });
}

}  // extern "C"
