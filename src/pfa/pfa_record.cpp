// The vex_file record: first-use set-up of the layer, allocation from a
// pool of record-sized blocks, release and copy with attachments, and
// component replacement.
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "keelwork/runmode.h"
#include "keelwork/thread.h"
#include "keelwork/xar.h"
#include "pfa/pfa_internal.h"
#include "pfa/pfadir_internal.h"
#include "runtime/runtime_internal.h"

namespace kw::pfa {
namespace {

int32_t g_layer_kind = -1;

struct AppinfoKind {
  pfa_appinfo_release release;
  pfa_appinfo_copy copy;
  pfa_appinfo_copy_with_file copy_with_file;
};

runtime::LazyMutex g_layer_lock;
runtime::LazyMutex g_appinfo_lock;
std::atomic<bool> g_layer_ready{false};
mempool *g_pool = nullptr;
bool g_plain_alloc = false;
// Kinds are registered at start-up and never removed; the vector is only
// read after registration.
std::vector<AppinfoKind> &kinds() {
  static std::vector<AppinfoKind> all;
  return all;
}

vex_file *g_cur_dir = nullptr;
std::once_flag g_cur_dir_once;

pfa_appinfo *appinfo_begin(const vex_file *f) { return static_cast<pfa_appinfo *>(f->appinfo); }

}  // namespace

void ensure_layer() {
  if (g_layer_ready.load(std::memory_order_acquire)) return;
  runtime::LazyLock lock(g_layer_lock);
  if (g_layer_ready.load(std::memory_order_relaxed)) return;
  g_plain_alloc = get_dbg_memory_config() != 0;
  if (!g_plain_alloc) g_pool = alloc_pool(nullptr, sizeof(vex_file), 64);
  appinfo_register_type_mt(nullptr, nullptr, nullptr, &g_layer_kind);
  register_builtins();
  dir::setup();
  setup_streams();
  g_layer_ready.store(true, std::memory_order_release);
}

void init_record(vex_file *f) {
  f->magic = PFA_MAGIC;
  f->text[0] = 0;
  std::memset(f->ranges, 0, sizeof f->ranges);
  f->obj_type = OBJ_TYPE_NOT_YET;
  f->version = 0;
  f->flags = 0;
  f->encoding = -4;
  f->loc_type = PFA_LOC_STD_FS;
  f->stream = nullptr;
  f->appinfo = nullptr;
}

void release_attachments(vex_file *f) {
  if (!f->appinfo) return;
  pfaloc_call_F(PFALOC_PfaFree, f);
  if (!f->appinfo) return;  // PfaFree may have released them itself
  pfa_appinfo *items = appinfo_begin(f);
  int n = xar_count(&f->appinfo);
  auto &all = kinds();
  for (int i = 0; i < n; ++i) {
    int32_t kind = items[i].kind;
    if (kind >= 0 && static_cast<size_t>(kind) < all.size() && all[kind].release)
      all[kind].release(f, items[i].value);
  }
  xar_free(&f->appinfo);
  f->appinfo = nullptr;
}

void reset_record(vex_file *f) {
  if (f->appinfo) {
    release_attachments(f);
  } else if ((f->flags & PFA_F_SUBSTITUTE) ||
             static_cast<unsigned>(f->loc_type) >= PFA_LOC_TYPE_COUNT ||
             slot_method(f->loc_type, PFALOC_PfaFree) || is_run_mode(9998)) {
    // Types without a PfaFree method hold nothing to free: the call would
    // find the empty slot and return (reporting it in the tracing mode).
    pfaloc_call_F(PFALOC_PfaFree, f);
  }
  int32_t loc = f->loc_type;
  uint32_t keep = f->flags & (PFA_F_OPEN | PFA_F_SUBSTITUTE | PFA_F_REMOTE_COUNTED);
  pfa_stream *stream = f->stream;
  int32_t encoding = f->encoding;
  init_record(f);
  // A reset for parsing keeps what belongs to an attached stream.
  f->loc_type = loc;
  f->flags = keep;
  f->stream = stream;
  f->encoding = encoding;
}

vex_file *cur_dir_if_made() { return g_cur_dir; }

vex_file *cur_dir_record() {
  std::call_once(g_cur_dir_once, [] {
    std::string cwd;
    if (!os::current_dir(cwd) || cwd.size() >= static_cast<size_t>(kMaxName)) return;
    if (cwd.back() != '/') cwd += '/';
    vex_file *f = nullptr;
    if (pfa_alloc_vex_file(&f) != 0) return;
    // An empty directory record keeps the parse from asking for the current
    // directory while it is being made.
    vex_file none;
    init_record(&none);
    if (parse_full(f, &none, cwd.c_str(), PFA_LOC_STD_FS, 1, false) != 0) {
      pfa_free_vex_file(&f);
      return;
    }
    g_cur_dir = f;
  });
  return g_cur_dir;
}

int put_component(vex_file *f, int k, std::string_view s) {
  int old_len = comp_len(f, k);
  if (old_len == 0 && s.empty()) return 0;
  int total = text_len(f);
  int delta = static_cast<int>(s.size()) - old_len;
  if (total + delta > kMaxName) return PFA_E_INVALID_INPUT;
  int start = f->ranges[k][0];
  int end = f->ranges[k][1];
  if (end == total) {
    // The last non-empty component: nothing behind it moves (the common
    // case while a parse fills the record in order).
    if (!s.empty()) std::memmove(f->text + start, s.data(), s.size());
    f->text[start + static_cast<int>(s.size())] = 0;
  } else {
    std::memmove(f->text + end + delta, f->text + end, static_cast<size_t>(total - end) + 1);
    if (!s.empty()) std::memmove(f->text + start, s.data(), s.size());
  }
  f->ranges[k][1] = static_cast<int16_t>(end + delta);
  for (int j = k + 1; j < PFA_COMPONENT_COUNT; ++j) {
    f->ranges[j][0] = static_cast<int16_t>(f->ranges[j][0] + delta);
    f->ranges[j][1] = static_cast<int16_t>(f->ranges[j][1] + delta);
  }
  f->flags &= ~PFA_F_AS_ON_DISK;
  return 0;
}

}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int32_t pfa_layer_appinfo_kind(void) { return g_layer_kind; }

int appinfo_register_type_mt(pfa_appinfo_release release, pfa_appinfo_copy copy,
                             pfa_appinfo_copy_with_file copy_with_file, int32_t *id) {
  if (!id) return PFA_E_INVALID_INPUT;
  kw::runtime::LazyLock lock(g_appinfo_lock);
  if (*id >= 0) return 0;
  kinds().push_back({release, copy, copy_with_file});
  *id = static_cast<int32_t>(kinds().size() - 1);
  return 0;
}

intptr_t *pfa_find_appinfo(vex_file *f, int32_t kind, int create) {
  if (!valid(f) || kind < 0) return nullptr;
  if (f->appinfo) {
    pfa_appinfo *items = appinfo_begin(f);
    int n = xar_count(&f->appinfo);
    for (int i = 0; i < n; ++i)
      if (items[i].kind == kind) return &items[i].value;
  }
  if (!create) return nullptr;
  pfa_appinfo item{kind, 0};
  if (xar_alloc_or_append(&f->appinfo, 1, sizeof(pfa_appinfo), 4, &item) != 0) return nullptr;
  return &static_cast<pfa_appinfo *>(xar_last(f->appinfo))->value;
}

int pfa_alloc_vex_file(vex_file **f) {
  if (!f) return PFA_E_NOT_VALID;
  ensure_layer();
  void *block = g_plain_alloc ? getmem(sizeof(vex_file)) : pool_getmem(g_pool, sizeof(vex_file));
  if (!block) return PFA_E_NO_SPACE;
  *f = static_cast<vex_file *>(block);
  init_record(*f);
  if (is_run_mode(9998)) dbg_print_info("pfa_alloc_vex_file", "Created new pfa at: %x\n", block);
  return 0;
}

int pfa_recycle_vex_file(vex_file **f) {
  if (!f) return PFA_E_NOT_VALID;
  if (!*f) return pfa_alloc_vex_file(f);
  if (!valid(*f)) return PFA_E_NOT_VALID;
  if (is_run_mode(9998)) dbg_print_info("pfa_recycle_vex_file", "initializing pfa at %x", *f);
  if ((*f)->flags & PFA_F_OPEN) return PFA_E_NOT_ALLOWED;  // keep an open stream attached
  release_attachments(*f);
  init_record(*f);
  return 0;
}

int pfa_free_vex_file(vex_file **f) {
  const char *where = "pfa_free_vex_file";
  if (!f || !*f) {
    if (is_run_mode(9998)) dbg_print_info(where, "Not freeing NULL pfa\n");
    return f ? 0 : PFA_E_NOT_VALID;
  }
  vex_file *p = *f;
  if (!valid(p)) {
    dbg_err_crash(where, "Not freeing invalid pfa at: %x\n", p);
    return PFA_E_NOT_VALID;
  }
  if (p->flags & PFA_F_OPEN) {
    dbg_err_crash(where, "Attempting to free open file");
    return PFA_E_NOT_ALLOWED;
  }
  if (p == g_cur_dir) {
    dbg_err_crash(where, "Attempting to free Cur_Dir structure");
    return PFA_E_INVALID_INPUT;
  }
  if (p->flags & PFA_F_SUBSTITUTE) dbg_err_crash(where, "Has substitute stream");
  if (is_run_mode(9998)) dbg_print_info(where, "Freeing pfa at: %x\n", p);
  if (p->appinfo)
    release_attachments(p);  // calls PfaFree first
  else
    pfaloc_call_F(PFALOC_PfaFree, p);
  p->magic = 0;
  relmem(f);
  *f = nullptr;
  return 0;
}

int pfa_copy_vex_file(const vex_file *src, vex_file *dst) {
  if (!valid(src) || !valid(dst)) return PFA_E_NOT_VALID;
  if (src == dst) return 0;
  if (dst->flags & PFA_F_OPEN) return PFA_E_NOT_ALLOWED;  // its stream would be lost
  release_attachments(dst);
  std::memcpy(dst, src, sizeof(vex_file));
  dst->flags &=
      ~(PFA_F_OPEN | PFA_F_DIR_CACHED | PFA_F_CACHE_COPY | PFA_F_SUBSTITUTE | PFA_F_REMOTE_COUNTED);
  dst->stream = nullptr;
  dst->appinfo = nullptr;
  if (!src->appinfo) return 0;
  const pfa_appinfo *items = static_cast<const pfa_appinfo *>(src->appinfo);
  int n = xar_count(&src->appinfo);
  auto &all = kinds();
  bool any_with_file = false;
  for (int i = 0; i < n; ++i) {
    pfa_appinfo item = items[i];
    if (item.kind >= 0 && static_cast<size_t>(item.kind) < all.size()) {
      if (all[item.kind].copy) item.value = all[item.kind].copy(item.value);
      any_with_file |= all[item.kind].copy_with_file != nullptr;
    }
    xar_alloc_or_append(&dst->appinfo, 1, sizeof(pfa_appinfo), 4, &item);
  }
  if (any_with_file) {
    pfa_appinfo *copied = static_cast<pfa_appinfo *>(dst->appinfo);
    for (int i = 0; i < n; ++i) {
      int32_t kind = copied[i].kind;
      if (kind >= 0 && static_cast<size_t>(kind) < all.size() && all[kind].copy_with_file)
        all[kind].copy_with_file(dst, &copied[i].value);
    }
  }
  return 0;
}

vex_file *pfa_make_copy(const vex_file *src) {
  if (!valid(src)) return nullptr;
  vex_file *f = nullptr;
  if (pfa_alloc_vex_file(&f) != 0) return nullptr;
  if (pfa_copy_vex_file(src, f) != 0) {
    pfa_free_vex_file(&f);
    return nullptr;
  }
  return f;
}

int pfa_is_valid(const vex_file *f) { return valid(f) ? 1 : 0; }

int pfa_put_component_len(vex_file *f, int k, const char *src, int len, int drop_attachments) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (k < 0 || k >= PFA_COMPONENT_COUNT || len < 0 || (len > 0 && !src)) return PFA_E_INVALID_INPUT;
  if (len == 0 && comp_len(f, k) == 0) return 0;
  if (text_len(f) - comp_len(f, k) + len > kMaxName) return PFA_E_INVALID_INPUT;
  if (drop_attachments && f->appinfo) release_attachments(f);
  return put_component(f, k, std::string_view(src ? src : "", static_cast<size_t>(len)));
}

int pfa_component_append(vex_file *f, int k, const char *s) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (k < 0 || k >= PFA_COMPONENT_COUNT || !s) return PFA_E_INVALID_INPUT;
  std::string joined(comp(f, k));
  joined += s;
  if (text_len(f) - comp_len(f, k) + static_cast<int>(joined.size()) > kMaxName) return PFA_E_ERROR;
  return pfa_put_component_len(f, k, joined.data(), static_cast<int>(joined.size()), 1);
}

int pfa_strcat(const char *src, char *dst, int *len) {
  if (!src || !dst || !len || *len < 0 || *len > kMaxName) return PFA_E_INVALID_INPUT;
  size_t n = std::strlen(src);
  if (static_cast<size_t>(*len) + n > static_cast<size_t>(kMaxName)) return PFA_E_ERROR;
  std::memcpy(dst + *len, src, n + 1);
  *len += static_cast<int>(n);
  return 0;
}

}  // extern "C"
