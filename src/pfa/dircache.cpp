// The directory cache: complete listings of recently read directories,
// lent to the next reader while they are valid, dropped on every write
// that touches their directory, and the validation of local directories
// by change watch (inotify) or modification time.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "keelwork/btk_os.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/notify.h"
#include "keelwork/objtype.h"
#include "keelwork/pfadir.h"
#include "keelwork/wstring.h"
#include "pfa/pfa_internal.h"
#include "pfa/pfadir_internal.h"
#include "runtime/clock_internal.h"
#include "runtime/dirwatch_internal.h"
#include "runtime/runtime_internal.h"

namespace kw::pfa::dir {
namespace {

namespace watch = kw::runtime::dirwatch;

// Entry states.
constexpr int kInUse = 0;
constexpr int kFree = 10;
constexpr int kInvalid = 11;
constexpr int kTrusted = 12;
constexpr int kAutomatic = 19;

constexpr int kDefaultMax = 256;
// Entries kept over all listings (about 75 MB of records): the least
// recently used listings make room for a new one.
constexpr size_t kMaxKeptEntries = 256 * 1024;
constexpr int64_t kLocalWindowNs = 2'000'000'000LL;
constexpr int64_t kRemoteWindowNs = 30'000'000'000LL;

struct Entry {
  std::string name;
  int64_t last_used = 0;
  vex_file *copy = nullptr;
  int state = kFree;
  int writable = -1;
  std::shared_ptr<Snapshot> snap;
  CacheFields fields;
  size_t entry_count = 0;
};

struct Cache {
  bool exists = false;
  std::vector<Entry> slots;
  std::unordered_map<std::string, int> index;
  int free_count = 0;
  size_t kept_entries = 0;
  std::vector<std::string> always;
};

runtime::LazyMutex g_lock;  // recursive
Cache &cache() {
  static Cache *c = new Cache;  // lives for the process
  return *c;
}
// Read without the lock on the fast paths.
std::atomic<bool> g_exists{false};
std::atomic<int> g_max{kDefaultMax};
std::atomic<int> g_mode{1};
std::atomic<bool> g_forced{false};
// Counts invalidations: a listing read while one happened may miss its
// change and is not kept.
std::atomic<uint64_t> g_generation{0};

std::atomic<int> g_debug{-1};  // -1 not read yet
std::atomic<int> g_next_thread{1};
thread_local int t_thread = 0;

int thread_no() {
  if (!t_thread) t_thread = g_next_thread.fetch_add(1);
  return t_thread;
}

int64_t now_seconds() { return btk_time(nullptr); }

bool is_always(const Cache &c, const std::string &key) {
  for (const std::string &a : c.always)
    if (a == key) return true;
  return false;
}

// Closes an entry's copy and frees its slot (or marks it when lent).
void drop(Cache &c, int slot, const char *why) {
  Entry &e = c.slots[static_cast<size_t>(slot)];
  if (e.state == kFree) return;
  if (e.copy && (e.copy->flags & PFA_F_CACHE_COPY)) {
    e.state = kInvalid;
    if (debug_on())
      debug_print("dir_cache> t%d invalidated lent %s (%s)\n", thread_no(), e.name.c_str(), why);
    return;
  }
  if (e.copy) {
    DirListing *l = listing_of(e.copy);
    if (!l) {
      dbg_err_crash("pfa_dir_cache", "couldn't close cache dir %s", e.name.c_str());
    } else {
      e.copy->stream = nullptr;
      e.copy->flags &= ~(PFA_F_OPEN | PFA_F_CACHE_COPY | PFA_F_DIR_CACHED);
      free_listing(l);
    }
    pfa_free_vex_file(&e.copy);
  }
  if (debug_on())
    debug_print("dir_cache> t%d dropped %s (%s, slot %d)\n", thread_no(), e.name.c_str(), why,
                slot);
  release_fields(e.fields);
  c.index.erase(e.name);
  e.name.clear();
  e.snap.reset();
  e.state = kFree;
  e.writable = -1;
  ++c.free_count;
  c.kept_entries -= std::min(c.kept_entries, e.entry_count);
  e.entry_count = 0;
}

int find_slot(Cache &c, const std::string &key) {
  auto it = c.index.find(key);
  return it == c.index.end() ? -1 : it->second;
}

// The process's working directory as the operating system resolves
// relative names against it (the layer's record of it may be older).
bool process_cwd(vex_file &out) {
  init_record(&out);
  std::string cwd;
  if (!os::current_dir(cwd) || cwd.size() >= static_cast<size_t>(kMaxName)) return false;
  if (cwd.back() != '/') cwd += '/';
  vex_file none;
  init_record(&none);
  return parse_full(&out, &none, cwd.c_str(), PFA_LOC_STD_FS, 1, false) == 0;
}

// The cache key of a name given as text.
bool key_of_name(const char *name, bool as_dir, std::string &key) {
  vex_file f;
  init_record(&f);
  std::string text = name ? name : "";
  if (as_dir && !text.empty() && text.back() != '/' && text.back() != '\\') text += '/';
  if (text.empty()) {
    vex_file cwd;
    return process_cwd(cwd) && cache_key(&cwd, key);
  }
  if (parse_full(&f, nullptr, text.c_str(), -1, as_dir ? 1 : 0, false) != 0) {
    release_attachments(&f);
    return false;
  }
  if (!as_dir) {
    // The directory holding the file.
    for (int k = PFA_NAME; k <= PFA_ITER; ++k) put_component(&f, k, {});
    f.version = 0;
    f.obj_type = OBJ_TYPE_DIRECTORY;
  }
  bool ok = cache_key(&f, key);
  release_attachments(&f);
  return ok;
}

// ---- validation of local directories -----------------------------------------

// The POSIX path of a directory named in either syntax.
bool os_dir_path(const char *name, std::string &path) {
  if (!name) return false;
  if (name[0] == '/' && !std::strchr(name, '\\') && name[1] != '/') {
    path = name;
    return true;
  }
  vex_file f;
  init_record(&f);
  std::string text = name;
  if (!text.empty() && text.back() != '/' && text.back() != '\\') text += '/';
  if (parse_full(&f, nullptr, text.c_str(), -1, 1, false) != 0) return false;
  bool ok = os_path_of(&f, path, false) == 0;
  release_attachments(&f);
  if (ok && path.empty()) path = ".";
  return ok;
}

bool mod_time_ns(const std::string &path, int64_t &t) {
  btk_stat_t st;
  if (btk_stat(path.c_str(), &st) != 0) return false;
  t = st.mtime * 1'000'000'000LL + st.mtime_nsec;
  return true;
}

// The local clock stands in for a remote system's time of day as well.
int64_t now_ns() {
  runtime::clock::WallClock w = runtime::clock::wall_clock();
  return w.seconds * 1'000'000'000LL + w.nanoseconds;
}

int init_fields_path(const std::string &path, int mode, CacheFields &fields) {
  fields = CacheFields{};
  if (mode == 0) return 0;
  int64_t t = 0;
  if (!mod_time_ns(path, t)) return 0;
  // A watch does not see changes made by other machines on a network file
  // system: remote directories go by modification time.
  bool remote = os::is_remote(path.c_str());
  if (mode == 1 && !remote) {
    int error = 0;
    int64_t token = watch::watch(path.c_str(), &error);
    if (token > 0) {
      fields.mode = 1;
      fields.notification = token;
      fields.mod_time = t;
      return 1;
    }
    if (error != watch::kLimit) return 0;
    if (debug_on())
      debug_print("nt_cache> %s: inotify limit reached, using modification times\n", path.c_str());
  }
  int64_t window = remote ? kRemoteWindowNs : kLocalWindowNs;
  int64_t now = now_ns();
  if (t > now - window) {
    if (debug_on()) debug_print("nt_cache> %s too recent\n", path.c_str());
    return 0;
  }
  fields.mode = 2;
  fields.mod_time = t;
  return 1;
}

void print_time(const std::string &path, int64_t t, bool ok) {
  int64_t secs = t / 1'000'000'000LL;
  int ms = static_cast<int>((t / 1'000'000LL) % 1000);
  std::tm p{};
  runtime::clock::local_breakdown(static_cast<time_t>(secs), &p);
  debug_print("nt_cache> %s %s %d/%d/%d %02d:%02d:%02d:%03d\n", path.c_str(), ok ? "OK" : "STALE",
              p.tm_mon + 1, p.tm_mday, p.tm_year + 1900, p.tm_hour, p.tm_min, p.tm_sec, ms);
}

bool still_valid_path(const std::string &path, bool close_when_stale, CacheFields &fields) {
  if (fields.mode == 1) {
    bool ok = !watch::changed(fields.notification);
    if (debug_on()) debug_print("nt_cache> %s %s\n", path.c_str(), ok ? "OK" : "STALE");
    if (!ok && close_when_stale) {
      watch::unwatch(fields.notification);
      fields.notification = 0;
      fields.mode = 0;
    }
    return ok;
  }
  if (fields.mode == 2) {
    int64_t t = 0;
    bool ok = mod_time_ns(path, t) && t == fields.mod_time;
    if (debug_on()) print_time(path, t, ok);
    return ok;
  }
  return false;
}

// ---- the standard file system's cache methods ---------------------------------

// PfaDirCacheEligible: 1 when the directory may be cached; with `out` (a
// CacheFields) its validation is set up as well.
int std_cache_eligible(vex_file *f, void *out) {
  int mode = g_mode.load();
  if (mode == 0) return 0;
  std::string path;
  if (os_path_of(f, path, false) != 0) return 0;
  if (path.empty()) path = ".";
  // Only local file systems are cached unless caching is forced.
  if (!g_forced.load() && os::is_remote(path.c_str())) return 0;
  if (!out) return 1;
  return init_fields_path(path, mode, *static_cast<CacheFields *>(out));
}

// PfaDirCacheInvalid: 1 when the cached listing of `f` is stale.
int std_cache_invalid(vex_file *f, pfa_stream *, void *fields) {
  auto *cf = static_cast<CacheFields *>(fields);
  if (!cf) return 1;
  std::string path;
  if (cf->mode == 2 || debug_on()) {
    if (os_path_of(f, path, false) != 0) return 1;
    if (path.empty()) path = ".";
  }
  return still_valid_path(path, false, *cf) ? 0 : 1;
}

}  // namespace

int notification_key() {
  // Registered once for the file layer; -1 when the name was taken before.
  static const int key = vex_notification_add_application("kwpfa");
  return key;
}

bool debug_on() {
  int d = g_debug.load(std::memory_order_relaxed);
  if (d < 0) {
    const char *v = btk_getenv("___DIR_CACHE_DEBUG");
    d = v && v[0] != 'f' && v[0] != 'F' ? 1 : 0;
    g_debug.store(d);
  }
  return d == 1;
}

void debug_print(const char *format, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  std::fputs(buf, btk_get_stderr());
  std::fflush(btk_get_stderr());
}

bool cache_key(const vex_file *dir, std::string &key) {
  vex_file f;
  std::memcpy(static_cast<void *>(&f), dir, sizeof f);
  f.stream = nullptr;
  f.appinfo = nullptr;
  f.flags = 0;
  for (int k = PFA_NAME; k <= PFA_ITER; ++k) put_component(&f, k, {});
  f.version = 0;
  f.obj_type = OBJ_TYPE_DIRECTORY;
  if (!pfa_path_is_absolute(&f)) {
    vex_file cwd;
    if (!process_cwd(cwd) || pfa_concat_locations(&cwd, &f) != 0) return false;
  }
  char buf[kNameSize];
  int mask = f.loc_type == PFA_LOC_STD_FS ? PFA_M_DEVICE | PFA_M_PATH
                                          : PFA_M_HOST | PFA_M_DEVICE | PFA_M_PATH;
  if (pfa_get_file_name(&f, mask, buf) != 0 || !buf[0]) return false;
  key = buf;
  return true;
}

bool cache_lend(vex_file *dir, const std::string &key, std::shared_ptr<Snapshot> &snap) {
  if (!g_exists.load(std::memory_order_acquire)) return false;
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  bool forced = g_forced.load();
  bool always = is_always(c, key);
  if (!forced && !always && pfaloc_call_FP(PFALOC_PfaDirCacheEligible, dir, nullptr) != 1)
    return false;
  int slot = find_slot(c, key);
  if (slot < 0) return false;
  Entry &e = c.slots[static_cast<size_t>(slot)];
  if (e.state == kTrusted) {
    e.state = kInUse;
  } else if (e.state == kInvalid) {
    drop(c, slot, "invalid");
    return false;
  } else if (!forced && always) {
    // Trusted until a write drops it.
  } else if (get_dbg_memory_config() != 0) {
    drop(c, slot, "memory debugging");
    return false;
  } else if (!(e.copy->flags & PFA_F_CACHE_COPY) &&
             pfaloc_call_FLP(PFALOC_PfaDirCacheInvalid, e.copy, &e.fields) != 0) {
    drop(c, slot, "stale");
    return false;
  }
  if (e.copy->flags & PFA_F_CACHE_COPY) {
    if (debug_on())
      debug_print("dir_cache> t%d two people reading the same dir, second one the hard way: %s\n",
                  thread_no(), key.c_str());
    return false;
  }
  e.last_used = now_seconds();
  e.copy->flags |= PFA_F_CACHE_COPY;
  dir->flags |= PFA_F_DIR_CACHED;
  snap = e.snap;
  if (debug_on()) debug_print("dir_cache> t%d lent %s (slot %d)\n", thread_no(), key.c_str(), slot);
  return true;
}

bool cache_prepare(vex_file *dir, const std::string &key, CacheFields &fields) {
  fields = CacheFields{};
  uint64_t generation = g_generation.load(std::memory_order_acquire);
  bool always = false;
  if (g_exists.load(std::memory_order_acquire)) {
    kw::runtime::LazyLock guard(g_lock);
    always = is_always(cache(), key);
  }
  bool ok = always || pfaloc_call_FP(PFALOC_PfaDirCacheEligible, dir, &fields) == 1;
  if (!ok) {
    release_fields(fields);
    // Forced caching of a location without its own validation: only
    // virtual folders, which keep their entries until dropped.
    ok = g_forced.load() && pfaloc_call_F(PFALOC_PfaIsVirtualFolder, dir) == 1;
  }
  fields.generation = generation;
  return ok;
}

void release_fields(CacheFields &fields) {
  if (fields.mode == 1 && fields.notification) watch::unwatch(fields.notification);
  fields = CacheFields{};
}

bool cache_insert(vex_file *dir, ListingState &st) {
  if (!(dir->flags & PFA_F_OPEN) || !st.snap) return false;
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  if (find_slot(c, st.key) >= 0) return false;  // another reader's entry wins
  if (st.fields.generation != g_generation.load(std::memory_order_acquire)) return false;
  bool always = is_always(c, st.key);
  int state = always || (g_forced.load() && pfaloc_call_F(PFALOC_PfaIsVirtualFolder, dir) == 1 &&
                         st.fields.mode == 0)
                  ? kAutomatic
                  : kInUse;
  if (state == kInUse && st.fields.mode == 0) return false;  // nothing would validate it

  // Listing order, so that scans of the cached listing need not sort.
  {
    std::vector<vex_file *> order;
    order.reserve(st.snap->entries.size());
    for (vex_file &e : st.snap->entries) order.push_back(&e);
    order_entries(order);
    std::vector<vex_file> sorted;
    sorted.reserve(order.size());
    for (vex_file *e : order) sorted.push_back(*e);
    st.snap->entries.swap(sorted);
  }

  // Room for the entries: too big a listing is not kept at all.
  size_t n = st.snap->entries.size();
  if (n > kMaxKeptEntries) return false;
  while (c.kept_entries + n > kMaxKeptEntries) {
    int oldest = -1;
    for (size_t i = 0; i < c.slots.size(); ++i) {
      const Entry &v = c.slots[i];
      if (v.state == kFree || (v.copy->flags & PFA_F_CACHE_COPY)) continue;
      if (oldest < 0 || v.last_used < c.slots[static_cast<size_t>(oldest)].last_used)
        oldest = static_cast<int>(i);
    }
    if (oldest < 0) return false;
    drop(c, oldest, "room for a new listing");
  }

  vex_file *copy = pfa_make_copy(dir);
  if (!copy) return false;
  DirListing *l = new_listing();
  if (!l) {
    pfa_free_vex_file(&copy);
    return false;
  }
  l->state->cache_copy = true;
  l->state->replay = true;
  l->state->snap = st.snap;
  l->state->key = st.key;
  copy->stream = &l->base;
  copy->flags |= PFA_F_OPEN | PFA_F_CACHE_COPY;

  int64_t now = now_seconds();
  int slot = -1;
  bool appended = false;
  if (c.free_count > 0) {
    for (size_t i = 0; i < c.slots.size(); ++i)
      if (c.slots[i].state == kFree) {
        slot = static_cast<int>(i);
        --c.free_count;
        break;
      }
  }
  if (slot < 0 && static_cast<int>(c.slots.size()) < g_max.load()) {
    c.slots.emplace_back();
    slot = static_cast<int>(c.slots.size()) - 1;
    appended = true;
  }
  if (slot < 0) {
    for (int i = static_cast<int>(c.slots.size()) - 1; i >= 0; --i) {
      Entry &v = c.slots[static_cast<size_t>(i)];
      if (v.state != kFree && v.last_used < now && !(v.copy->flags & PFA_F_CACHE_COPY)) {
        drop(c, i, "slot recycled");
        slot = i;
        --c.free_count;
        break;
      }
    }
  }
  if (slot < 0) {
    // Every slot is lent or used this second: grow past the maximum.
    c.slots.emplace_back();
    slot = static_cast<int>(c.slots.size()) - 1;
    appended = true;
  }
  Entry &e = c.slots[static_cast<size_t>(slot)];
  e.name = st.key;
  e.last_used = now;
  e.copy = copy;
  e.state = state;
  e.writable = -1;
  e.snap = st.snap;
  e.entry_count = n;
  c.kept_entries += n;
  e.fields = st.fields;
  st.fields = CacheFields{};
  st.have_fields = false;
  c.index[e.name] = slot;
  c.exists = true;
  g_exists.store(true, std::memory_order_release);
  // The reader that filled the entry is its first borrower.
  st.lent = true;
  st.replay = true;
  st.pos = st.snap->entries.size();
  dir->flags |= PFA_F_DIR_CACHED;
  if (debug_on()) {
    if (appended)
      debug_print("dir_cache> t%d appended %s (slot %d)\n", thread_no(), e.name.c_str(), slot);
    else
      debug_print("dir_cache> t%d reused slot %d for %s\n", thread_no(), slot, e.name.c_str());
  }
  return true;
}

void cache_return(vex_file *dir, const std::string &key) {
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  int slot = find_slot(c, key);
  if (slot < 0 || !(c.slots[static_cast<size_t>(slot)].copy->flags & PFA_F_CACHE_COPY)) {
    char name[kNameSize];
    pfa_get_full_name(dir, name);
    dbg_err_crash("pfa_close", "can't find donor of borrowed stream for %s", name);
    return;
  }
  Entry &e = c.slots[static_cast<size_t>(slot)];
  e.copy->flags &= ~PFA_F_CACHE_COPY;
  if (e.state == kInvalid) drop(c, slot, "invalid when returned");
}

}  // namespace kw::pfa::dir

using namespace kw::pfa;
using namespace kw::pfa::dir;

extern "C" {

int get_dir_cache_max(void) { return g_max.load(); }

int pfa_set_dir_cache_debug(int on) {
  int old = debug_on() ? 1 : 0;
  g_debug.store(on < 0 ? -1 : on ? 1 : 0);
  return old;
}

int pfa_set_dir_watch_limit(int n) { return kw::runtime::dirwatch::set_limit(n < 0 ? -1 : n); }

int set_dir_cache_max(const char *name, const kw_wchar *wvalue) {
  int old = g_max.load();
  char text[64];
  const char *label = name ? name : "dir cache max";
  long v = -1;
  if (wvalue && to_bytes(wvalue, text, sizeof text) && text[0]) {
    char *end = nullptr;
    v = std::strtol(text, &end, 10);
    if (!end || *end || v < 1 || v > 1000000) v = -1;
  }
  if (v < 0) {
    dbg_print_info("set_dir_cache_max", "%s: couldn't parse %ws, left max at %d", label,
                   wvalue ? wvalue : u"", old);
    return old;
  }
  g_max.store(static_cast<int>(v));
  dbg_print_info("set_dir_cache_max", "%s: set max number of dirs to %d", label,
                 static_cast<int>(v));
  return old;
}

int pfa_set_dir_cache(const char *name) {
  if (name) {
    std::string key;
    if (!key_of_name(name, true, key)) return PFA_E_INVALID_INPUT;
    kw::runtime::LazyLock guard(g_lock);
    Cache &c = cache();
    if (!is_always(c, key)) c.always.push_back(key);
    c.exists = true;
    g_exists.store(true, std::memory_order_release);
    return 0;
  }
  {
    kw::runtime::LazyLock guard(g_lock);
    Cache &c = cache();
    for (size_t i = 0; i < c.slots.size(); ++i) {
      Entry &e = c.slots[i];
      if (e.state == kAutomatic && !is_always(c, e.name))
        drop(c, static_cast<int>(i), "autocache expired");
    }
  }
  int app = notification_key();
  if (app >= 0) vex_notifications_simple_call(app, 3);
  return 0;
}

int pfa_force_cache_dir(int force) { return g_forced.exchange(force != 0) ? 1 : 0; }

int pfa_file_name_update_dir_cache(const char *name) {
  g_generation.fetch_add(1, std::memory_order_acq_rel);
  if (!g_exists.load(std::memory_order_acquire)) return 0;
  std::string text = name ? name : "";
  bool is_dir = !text.empty() && (text.back() == '/' || text.back() == '\\');
  std::string parent, self;
  if (is_dir) {
    // The directory itself, then its parent.
    if (!key_of_name(text.c_str(), true, self)) return PFA_E_INVALID_INPUT;
    std::string up = text;
    while (!up.empty() && (up.back() == '/' || up.back() == '\\')) up.pop_back();
    if (!up.empty() && !key_of_name(up.c_str(), false, parent)) parent.clear();
  } else {
    if (!key_of_name(text.c_str(), text.empty(), parent)) return PFA_E_INVALID_INPUT;
    // The name may be a directory: its own entry goes too.
    if (!text.empty()) key_of_name(text.c_str(), true, self);
  }
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  for (const std::string *k : {&self, &parent}) {
    if (k->empty()) continue;
    int slot = find_slot(c, *k);
    if (slot < 0) continue;
    if (debug_on()) debug_print("dir_cache> t%d nuked %s\n", thread_no(), k->c_str());
    drop(c, slot, "nuked");
  }
  return 0;
}

int pfa_dir_cache_debug(void) {
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  int n = 0;
  std::printf("directory cache: %d slots, max %d, mode %d\n", static_cast<int>(c.slots.size()),
              g_max.load(), g_mode.load());
  for (size_t i = 0; i < c.slots.size(); ++i) {
    const Entry &e = c.slots[i];
    if (e.state == kFree) continue;
    ++n;
    std::printf("  %3d state %2d %s used %lld entries %d writable %d %s\n", static_cast<int>(i),
                e.state, (e.copy->flags & PFA_F_CACHE_COPY) ? "lent" : "home",
                static_cast<long long>(e.last_used),
                e.snap ? static_cast<int>(e.snap->entries.size()) : 0, e.writable, e.name.c_str());
  }
  return n;
}

int pfa_dir_cache_count(void) {
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  return static_cast<int>(c.slots.size()) - c.free_count;
}

int pfadc_find_appdata(const char *name) {
  std::string key;
  if (!name || !key_of_name(name, true, key)) return -1;
  kw::runtime::LazyLock guard(g_lock);
  return find_slot(cache(), key);
}

int pfadc_set_nt_dir_writable(const char *name, int value) {
  std::string key;
  if (!name || !key_of_name(name, true, key)) return -2;
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  int slot = find_slot(c, key);
  if (slot < 0) return -2;
  int old = c.slots[static_cast<size_t>(slot)].writable;
  c.slots[static_cast<size_t>(slot)].writable = value;
  return old;
}

int pfadc_get_nt_dir_writable(const char *name) {
  std::string key;
  if (!name || !key_of_name(name, true, key)) return -1;
  kw::runtime::LazyLock guard(g_lock);
  Cache &c = cache();
  int slot = find_slot(c, key);
  return slot < 0 ? -1 : c.slots[static_cast<size_t>(slot)].writable;
}

int set_nt_directory_caching(int mode) {
  int old = g_mode.exchange(mode);
  if (old != 0 && mode != 0 && old != mode)
    dbg_print_info("set_nt_directory_caching", "existing dirs may act strange");
  return old;
}

int get_nt_directory_caching(void) { return g_mode.load(); }

int nt_directory_cache_init_fields(const char *name, int *cachable, int64_t *notification,
                                   int64_t *mod_time) {
  if (cachable) *cachable = 0;
  if (notification) *notification = 0;
  if (mod_time) *mod_time = 0;
  std::string path;
  if (!os_dir_path(name, path)) return PFA_E_NOT_FOUND;
  int64_t t = 0;
  if (!mod_time_ns(path, t)) return PFA_E_NOT_FOUND;
  CacheFields f;
  int ok = init_fields_path(path, g_mode.load(), f);
  if (cachable) *cachable = ok;
  if (notification)
    *notification = f.notification;
  else
    release_fields(f);
  if (mod_time) *mod_time = f.mode ? f.mod_time : t;
  return 0;
}

int nt_directory_cache_still_valid(const char *name, int close_when_stale, int64_t *notification,
                                   int64_t *mod_time) {
  CacheFields f;
  f.notification = notification ? *notification : 0;
  f.mod_time = mod_time ? *mod_time : 0;
  f.mode = f.notification ? 1 : 2;
  std::string path;
  if (!os_dir_path(name, path)) path = name ? name : "";
  bool ok = still_valid_path(path, close_when_stale != 0, f);
  if (notification) *notification = f.notification;
  return ok ? 1 : 0;
}

int nt_directory_get_mod_time(const char *name, int64_t *time) {
  if (time) *time = 0;
  std::string path;
  if (!time || !os_dir_path(name, path)) return PFA_E_NOT_FOUND;
  return mod_time_ns(path, *time) ? 0 : PFA_E_NOT_FOUND;
}

int is_drive_cachable(const char *name) {
  if (g_mode.load() == 0) return 0;
  std::string path;
  if (!os_dir_path(name, path)) return 0;
  return os::path_kind(path.c_str()) == 1 && !os::is_remote(path.c_str()) ? 1 : 0;
}

}  // extern "C"

namespace kw::pfa::dir {

void install_cache_methods(int t) {
  if (pfaloc_get_func_low(t, PFALOC_PfaDirCacheEligible, PLM_CALL_FP)) return;
  if (!pfa_loc_register_append(t)) return;
  pfa_loc_method_register_FP(t, PFALOC_PfaDirCacheEligible, std_cache_eligible);
  pfa_loc_method_register_FLP(t, PFALOC_PfaDirCacheInvalid, std_cache_invalid);
  pfa_loc_register_setup(0);
}

}  // namespace kw::pfa::dir
