// Directory listing: opening a directory (from the cache when it can),
// reading and rewinding it, closing it, and wildcard directories.
#include <cstring>
#include <new>

#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "keelwork/pattern.h"
#include "keelwork/pfadir.h"
#include "pfa/pfa_internal.h"
#include "pfa/pfadir_internal.h"

namespace kw::pfa::dir {
namespace {

constexpr std::string_view kSearchPrefix = "search|";
constexpr size_t kMaxWildcardPattern = 250;

// The directory the location is asked to read.
vex_file *io_dir(vex_file *dir, ListingState &st) { return st.wildcard ? &st.target : dir; }

// The last path segment of a directory record (without its '/').
std::string_view last_segment(const vex_file *dir) {
  std::string_view path = comp(dir, path_idx(dir));
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  size_t cut = path.rfind('/');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool has_location(const vex_file *e) {
  return comp_len(e, PFA_LOC1) || comp_len(e, PFA_LOC2) || comp_len(e, PFA_LOC3);
}

bool same_location(const vex_file *a, const vex_file *b) {
  if (a->loc_type != b->loc_type) return false;
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k)
    if (comp(a, k) != comp(b, k)) return false;
  return true;
}

// Replaces the location of a snapshot entry by that of the reader's
// directory (the same directory named another way).
void relocate(vex_file *entry, const vex_file *from_dir, const vex_file *to_dir) {
  std::string tail;
  if (entry->obj_type == OBJ_TYPE_DIRECTORY) {
    // The entry's own segment follows the directory's path.
    std::string_view p = comp(entry, PFA_LOC3);
    std::string_view base = comp(from_dir, PFA_LOC3);
    if (p.starts_with(base)) tail = std::string(p.substr(base.size()));
  }
  entry->loc_type = to_dir->loc_type;
  put_component(entry, PFA_LOC1, comp(to_dir, PFA_LOC1));
  put_component(entry, PFA_LOC2, comp(to_dir, PFA_LOC2));
  std::string path(comp(to_dir, PFA_LOC3));
  path += tail;
  put_component(entry, PFA_LOC3, path);
  entry->flags |= PFA_F_AS_ON_DISK;
}

void end_location(vex_file *dir, ListingState &st) {
  if (!st.location_open) return;
  pfaloc_call_FL(PFALOC_PfaDirClose, io_dir(dir, st));
  st.location_open = false;
}

int begin_location(vex_file *dir, ListingState &st) {
  vex_file *io = io_dir(dir, st);
  int r = pfaloc_call_FLPPPI(PFALOC_PfaDirOpen, io,
                             st.pattern.empty() ? nullptr : const_cast<char *>(st.pattern.c_str()),
                             st.subset, nullptr, st.options);
  if (r == -1) return PFA_E_NOT_FOUND;  // the location cannot list
  if (r != 0) return r;
  st.location_open = true;
  st.at_end = false;
  return 0;
}

// One entry from the location, filtered by the listing's pattern.
int read_live(vex_file *dir, ListingState &st, vex_file *entry) {
  vex_file *io = io_dir(dir, st);
  for (;;) {
    if (st.at_end || !st.location_open) return PFA_E_NOT_CACHABLE;
    int r = pfaloc_call_FLPPPI(PFALOC_PfaDirReadNext, io, entry, nullptr, nullptr, 0);
    if (r == PFA_E_NOT_CACHABLE || r == -1) {
      st.at_end = true;
      end_location(dir, st);
      if (st.recording) {
        st.recording = false;
        if (!cache_insert(dir, st)) {
          release_fields(st.fields);
          st.have_fields = false;
          st.snap.reset();
        }
      }
      return PFA_E_NOT_CACHABLE;
    }
    if (r != 0) {
      // A listing that failed part way is not worth keeping.
      if (st.recording) {
        st.recording = false;
        st.snap.reset();
      }
      return r;
    }
    if (!has_location(entry)) {
      entry->loc_type = io->loc_type;
      for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(entry, k, comp(io, k));
      entry->obj_type = OBJ_TYPE_NOT_YET;
    }
    if (!st.pattern.empty() || !st.wild.empty()) {
      NameBuf name;
      disk_name(entry, name);
      if (!st.pattern.empty() && !match_user_filter(name.c_str(), st.pattern.c_str())) continue;
      if (!st.wild.empty() && !match_user_filter(name.c_str(), st.wild.c_str())) continue;
    }
    if (st.recording) {
      if (entry->appinfo) {
        // Attachments cannot be shared by a snapshot.
        st.recording = false;
        st.snap.reset();
      } else {
        vex_file &kept = st.snap->entries.emplace_back(*entry);
        kept.stream = nullptr;
        kept.flags &= ~(PFA_F_OPEN | PFA_F_DIR_CACHED | PFA_F_CACHE_COPY | PFA_F_SUBSTITUTE |
                        PFA_F_REMOTE_COUNTED);
      }
    }
    return 0;
  }
}

int read_replay(vex_file *dir, ListingState &st, vex_file *entry) {
  if (!st.snap || st.pos >= st.snap->entries.size()) return PFA_E_NOT_CACHABLE;
  const vex_file &src = st.snap->entries[st.pos++];
  release_attachments(entry);
  std::memcpy(static_cast<void *>(entry), &src, sizeof(vex_file));
  if (st.relocate) relocate(entry, &st.snap->source, io_dir(dir, st));
  return 0;
}

}  // namespace

DirListing *listing_of(const vex_file *dir) {
  if (!valid(dir) || !(dir->flags & PFA_F_OPEN) || !dir->stream) return nullptr;
  auto *l = reinterpret_cast<DirListing *>(dir->stream);
  return l->magic == kListingMagic ? l : nullptr;
}

DirListing *new_listing() {
  auto *l = new (std::nothrow) DirListing{};
  if (!l) return nullptr;
  l->magic = kListingMagic;
  l->state = new (std::nothrow) ListingState{};
  if (!l->state) {
    delete l;
    return nullptr;
  }
  init_record(&l->state->target);
  return l;
}

void free_listing(DirListing *l) {
  if (!l) return;
  l->magic = 0;
  delete l->state;
  delete l;
}

void disk_name(const vex_file *e, NameBuf &out) {
  out.clear();
  if (e->obj_type == OBJ_TYPE_DIRECTORY && comp_len(e, PFA_NAME) == 0) {
    out.append(last_segment(e));
    return;
  }
  formatted_tail(e, out);
}

}  // namespace kw::pfa::dir

using namespace kw::pfa;
using namespace kw::pfa::dir;

extern "C" {

int pfa_open_dir(vex_file *dir) { return pfa_open_dir_subset(dir, nullptr, nullptr, 0); }

int pfa_open_dir_subset(vex_file *dir, const char *pattern, void *subset, int options) {
  if (!valid(dir)) return PFA_E_NOT_VALID;
  if (dir->obj_type != OBJ_TYPE_DIRECTORY) return PFA_E_INVALID_INPUT;
  if (dir->flags & PFA_F_OPEN) return PFA_E_NOT_ALLOWED;
  DirListing *l = new_listing();
  if (!l) return PFA_E_OUT_OF_MEMORY;
  ListingState &st = *l->state;
  if (pattern && *pattern && !filter_is_any(pattern)) st.pattern = pattern;
  st.subset = subset;
  st.options = options;
  if (pfa_is_wildcard_dir(dir)) {
    // Lists the parent, keeping the entries that match the pattern.
    std::string_view seg = last_segment(dir);
    st.wildcard = true;
    std::string pat(seg.substr(kSearchPrefix.size()));
    if (!filter_is_any(pat.c_str())) st.wild = pat;
    std::memcpy(static_cast<void *>(&st.target), dir, sizeof(vex_file));
    st.target.appinfo = nullptr;
    st.target.stream = nullptr;
    st.target.flags &= ~(PFA_F_OPEN | PFA_F_DIR_CACHED | PFA_F_CACHE_COPY);
    std::string path(comp(dir, path_idx(dir)));
    while (!path.empty() && path.back() == '/') path.pop_back();
    size_t cut = path.rfind('/');
    path.resize(cut == std::string::npos ? 0 : cut + 1);
    put_component(&st.target, path_idx(dir), path);
    st.target.stream = &l->base;
  }
  bool plain = st.pattern.empty() && !subset && !st.wildcard;
  dir->stream = &l->base;
  if (plain && cache_key(dir, st.key)) {
    std::shared_ptr<Snapshot> snap;
    if (cache_lend(dir, st.key, snap)) {
      st.replay = true;
      st.lent = true;
      st.snap = std::move(snap);
      st.relocate = !same_location(&st.snap->source, dir);
      dir->flags |= PFA_F_OPEN;
      return 0;
    }
    if (cache_prepare(dir, st.key, st.fields)) {
      st.have_fields = true;
      st.recording = true;
      st.snap = std::make_shared<Snapshot>();
      init_record(&st.snap->source);
      st.snap->source.loc_type = dir->loc_type;
      st.snap->source.obj_type = OBJ_TYPE_DIRECTORY;
      for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(&st.snap->source, k, comp(dir, k));
    }
  }
  int r = begin_location(dir, st);
  if (r != 0) {
    if (st.have_fields) release_fields(st.fields);
    dir->stream = nullptr;
    free_listing(l);
    return r;
  }
  dir->flags |= PFA_F_OPEN;
  return 0;
}

int pfa_read_dir(vex_file *dir, vex_file *entry) {
  if (!valid(dir) || dir->obj_type != OBJ_TYPE_DIRECTORY) return PFA_E_NOT_VALID;
  if (!(dir->flags & PFA_F_OPEN)) return PFA_E_INACTIVE;
  if (!valid(entry) || entry == dir || (entry->flags & PFA_F_OPEN)) return PFA_E_NOT_VALID;
  DirListing *l = listing_of(dir);
  if (!l) return PFA_E_NOT_VALID;
  ListingState &st = *l->state;
  return st.replay ? read_replay(dir, st, entry) : read_live(dir, st, entry);
}

int pfa_rewind_dir(vex_file *dir) {
  if (!valid(dir) || dir->obj_type != OBJ_TYPE_DIRECTORY) return PFA_E_NOT_VALID;
  if (!(dir->flags & PFA_F_OPEN)) return PFA_E_INACTIVE;
  DirListing *l = listing_of(dir);
  if (!l) return PFA_E_NOT_VALID;
  ListingState &st = *l->state;
  if (st.replay) {
    st.pos = 0;
    return 0;
  }
  end_location(dir, st);
  if (st.recording) st.snap->entries.clear();
  int r = begin_location(dir, st);
  return r == PFA_E_NOT_CACHABLE ? 0 : r;
}

int pfadir_close(vex_file *dir) {
  if (!valid(dir)) return PFA_E_NOT_VALID;
  if (!(dir->flags & PFA_F_OPEN)) return PFA_E_INACTIVE;
  DirListing *l = listing_of(dir);
  if (!l) return PFA_E_NOT_VALID;
  ListingState &st = *l->state;
  if (st.cache_copy) {
    char name[kNameSize];
    pfa_get_full_name(dir, name);
    dbg_err_crash("pfa_close", "can't close %s with borrowed stream", name);
    return PFA_E_NO_ACCESS;
  }
  end_location(dir, st);
  if (st.lent) {
    cache_return(dir, st.key);
  } else if (st.have_fields) {
    release_fields(st.fields);
  }
  dir->stream = nullptr;
  dir->flags &= ~(PFA_F_OPEN | PFA_F_DIR_CACHED);
  free_listing(l);
  return 0;
}

int pfa_is_wildcard_dir(const vex_file *dir) {
  if (!valid(dir) || dir->obj_type != OBJ_TYPE_DIRECTORY) return 0;
  return last_segment(dir).starts_with(kSearchPrefix) ? 1 : 0;
}

int pfa_make_wildcard_dir(const vex_file *dir, const kw_wchar *wpattern, void *data,
                          vex_file **result) {
  if (!result) return PFA_E_INVALID_INPUT;
  *result = nullptr;
  if (!valid(dir)) return PFA_E_NOT_VALID;
  if (dir->obj_type != OBJ_TYPE_DIRECTORY || !wpattern) return PFA_E_INVALID_INPUT;
  char pattern[kNameSize];
  if (!to_bytes(wpattern, pattern, sizeof pattern) || std::strlen(pattern) > kMaxWildcardPattern ||
      std::strpbrk(pattern, "/\\"))
    return PFA_E_INVALID_INPUT;
  vex_file *copy = pfa_make_copy(dir);
  if (!copy) return PFA_E_OUT_OF_MEMORY;
  int pk = path_idx(copy);
  std::string path(comp(copy, pk));
  if (!path.empty() && path.back() != '/') path += '/';
  path += kSearchPrefix;
  path += pattern;
  path += '/';
  if (put_component(copy, pk, path) != 0) {
    pfa_free_vex_file(&copy);
    return PFA_E_INVALID_NAME;
  }
  if (data) {
    // Kept for the location as an attachment of the layer's own kind.
    intptr_t *slot = pfa_find_appinfo(copy, pfa_layer_appinfo_kind(), 1);
    if (slot) *slot = reinterpret_cast<intptr_t>(data);
  }
  *result = copy;
  return 0;
}

int pfa_wildcard_search(vex_file *dir, const char *pattern, void *result) {
  if (!valid(dir) || !pattern || !result) {
    dbg_err_crash("pfa_wildcard_search", "invalid input");
    return PFA_E_INVALID_INPUT;
  }
  int r = pfaloc_call_FPP(PFALOC_PfaWildcardSearch, dir, const_cast<char *>(pattern), result);
  return r == -1 ? PFA_E_NOT_FOUND : r;
}

int pfa_library_search_n(vex_file *dir, const char *pattern, int max, vex_file ***list,
                         int *count) {
  if (list) *list = nullptr;
  if (count) *count = 0;
  if (!valid(dir) || !pattern || !list || !count || max < 0) return PFA_E_INVALID_INPUT;
  int r = pfaloc_call_FIPPP(PFALOC_PfaLibrarySearch, dir, max, const_cast<char *>(pattern), list,
                            count);
  return r == -1 ? PFA_E_NOT_FOUND : r;
}

int pfa_library_search(vex_file *dir, const char *pattern, vex_file ***list, int *count) {
  return pfa_library_search_n(dir, pattern, 0, list, count);
}

}  // extern "C"
