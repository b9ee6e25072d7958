// Opening and closing file streams: versions, open notifications with
// alternative files, the location's open method, the count of open remote
// files, and the process's standard streams.
#include <atomic>
#include <cstring>
#include <mutex>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/notify.h"
#include "keelwork/objtype.h"
#include "keelwork/pfadir.h"
#include "keelwork/pfastream.h"
#include "keelwork/runmode.h"
#include "keelwork/wstring.h"
#include "pfa/pfa_internal.h"
#include "pfa/pfadir_internal.h"
#include "pfa/stream_internal.h"
#include "runtime/runtime_internal.h"

namespace kw::pfa::stream {
namespace {

constexpr int kFlagWrite = 0x1;
constexpr int kFlagReadWrite = 0x2;
constexpr int kFlagAppend = 0x8;
constexpr int kFlagCreate = 0x100;
constexpr int kFlagBinary = 0x8000;

std::atomic<int> g_remote_open{0};

bool has_char(const char *s, char c) { return std::strchr(s, c) != nullptr; }

// The full name for messages.
struct Name {
  char text[PFA_NAME_SIZE];
  explicit Name(const vex_file *f) {
    if (pfa_get_full_name(f, text) != 0) text[0] = 0;
  }
};

// Event 4: the first subscriber that answers a file wins.
vex_file *ask_for_alternative(vex_file *f, const char *mode) {
  int key = pfa_open_notification_key();
  if (key < 0) return nullptr;
  Vex_notify_pos pos;
  vex_notifications_init_loop(key, PFA_NOTIFY_OPEN_ALT, &pos);
  vex_notify_func fn = nullptr;
  intptr_t datum = 0;
  while (vex_notifications_get_next(key, PFA_NOTIFY_OPEN_ALT, &pos, &fn, nullptr, &datum)) {
    vex_file *alt = nullptr;
    reinterpret_cast<pfa_open_alt_func>(fn)(f, mode, &alt, datum);
    if (alt) return alt;
  }
  return nullptr;
}

void tell_opened(vex_file *f, const char *mode, int result) {
  int key = pfa_open_notification_key();
  if (key < 0) return;
  Vex_notify_pos pos;
  vex_notifications_init_loop(key, PFA_NOTIFY_OPENED, &pos);
  vex_notify_func fn = nullptr;
  intptr_t datum = 0;
  while (vex_notifications_get_next(key, PFA_NOTIFY_OPENED, &pos, &fn, nullptr, &datum))
    reinterpret_cast<pfa_opened_func>(fn)(f, mode, result, datum);
}

// The file is on another machine: a standard-file-system name whose host
// is not this one.
bool is_foreign(const vex_file *f) {
  if (f->loc_type != PFA_LOC_STD_FS) return false;
  std::string_view host = comp(f, host_idx(f));
  return !host.empty() && !iequal(host, local_host()) && !iequal(host, "localhost");
}

// How an open reaches the location: by stream mode or by low-level flags.
struct OpenRequest {
  const char *mode = nullptr;  // null for a descriptor-level open
  int flags = 0;
  int permissions = 0;
  bool secure = false;

  const char *mode_text() const { return mode ? mode : ""; }
  bool writes() const {
    return mode ? has_char(mode, 'w') || has_char(mode, 'W') : (flags & kFlagCreate) != 0;
  }
  bool appends() const { return mode ? mode[0] == 'a' || mode[0] == 'A' : (flags & kFlagAppend); }
  bool binary() const { return mode ? mode_is_binary(mode) : (flags & kFlagBinary) != 0; }
  int bits() const {
    if (mode) return mode_bits(mode);
    int b = (flags & kFlagReadWrite) ? kStreamRead | kStreamWrite | kStreamUpdate
            : (flags & kFlagWrite)   ? kStreamWrite
                                     : kStreamRead | kStreamFromRead;
    if (flags & kFlagAppend) b |= kStreamAppend;
    return b;
  }
};

int call_open(vex_file *f, const OpenRequest &req, int version_mode) {
  int r = req.mode ? pfaloc_call_FLPPIPII(PFALOC_PfaFopen, f, const_cast<char *>(req.mode), nullptr,
                                          version_mode, nullptr, req.secure ? 1 : 0, 0)
                   : pfaloc_call_FLPIII(PFALOC_PfaOpen, f, nullptr, req.flags, req.permissions,
                                        version_mode);
  return r == -1 ? PFA_E_CANT_OPEN : r;
}

// Appending keeps the file's encoding: its byte-order mark, or, for a file
// of unknown encoding without one, the language's EUC encoding. A missing
// or empty file is left to the first write.
void decide_for_append(vex_file *f, pfa_stream *l) {
  pfa_stream probe{};
  f->stream = &probe;
  int r = call_open(f, OpenRequest{"rb"}, 0);
  unsigned char head[4];
  int got = 0;
  if (r == 0) {
    pfaloc_call_FLPPI(PFALOC_PfaReadFile, f, head, &got, 4);
    pfaloc_call_FL(PFALOC_PfaCloseFile, f);
  }
  f->stream = l;
  if (got <= 0) return;
  int bom = 0;
  int32_t enc = encoding_from_bom(head, got, &bom);
  if (enc == PFA_ENC_UNKNOWN) enc = f->encoding == PFA_ENC_UNKNOWN ? PFA_ENC_EUC : f->encoding;
  l->file_encoding = normalize(enc);
  l->bom_length = bom;
  l->open_mode |= kStreamPreset;
}

bool is_remote(vex_file *f) {
  if (f->flags & PFA_F_MOUNT_KNOWN) return (f->flags & PFA_F_MOUNTED) != 0;
  return pfa_is_remote_mounted(f) == 1;
}

// `ask`: tell the open notifications (not for an alternative file, which
// a subscriber chose).
int open_low(vex_file *f, int version_mode, const OpenRequest &req, bool ask = true) {
  const char *where = req.mode ? "pfa_fopen" : "pfa_open";
  pfa_open_notification_key();
  if (!valid(f) || f->obj_type == OBJ_TYPE_DIRECTORY) return PFA_E_NOT_VALID;
  if (is_foreign(f) || (f->flags & PFA_F_OPEN)) return PFA_E_CANT_OPEN;
  if (is_family_form(comp(f, PFA_NAME))) {
    dbg_crash_msg(where, "instance can not be opened");
    return PFA_E_CANT_OPEN;
  }
  if (f->loc_type == PFA_LOC_NONE) f->loc_type = PFA_LOC_STD_FS;
  pfaloc_call_F(PFALOC_PfaSetContentHints, f);

  if (version_mode == PFA_VERS_NEXT && !req.writes()) return PFA_E_CANT_OPEN;
  int version = f->version;
  int r = pfa_get_file_vers(f, version_mode, &version);
  if (r != 0) {
    if (!(req.appends() && version_mode == PFA_VERS_HIGHEST)) return r;
    version = 1;
  }
  f->version = static_cast<int16_t>(version);

  vex_file *alt = ask ? ask_for_alternative(f, req.mode_text()) : nullptr;
  if (alt == f) alt = nullptr;
  if (f->stream) {
    dbg_crash_msg(where, "preexisting pfa_stream");
    return PFA_E_CANT_OPEN;
  }
  pfa_stream *l = new_stream();
  if (!l) return PFA_E_NO_SPACE;
  l->raw = req.binary() ? 1 : 0;
  l->open_mode = req.bits();

  if (alt) {
    if (!valid(alt)) {
      dbg_crash_msg(where, "invalid alt pfa");
      free_stream(l);
      return PFA_E_NOT_VALID;
    }
    if (!(alt->flags & PFA_F_OPEN)) {
      if (alt->stream) {
        dbg_crash_msg(where, "preexisting stream");
        free_stream(l);
        return PFA_E_CANT_OPEN;
      }
      r = open_low(alt, version_mode, req, false);
      if (r != 0) {
        dbg_crash_msg(where, "bad alt result = %d", r);
        free_stream(l);
        if (ask) tell_opened(f, req.mode_text(), r);
        return r;
      }
    }
    l->handle = alt;
    f->stream = l;
    f->flags |= PFA_F_SUBSTITUTE | PFA_F_OPEN;
    if (ask) tell_opened(f, req.mode_text(), 0);
    return 0;
  }

  f->stream = l;
  if (req.mode && version_mode == PFA_VERS_OWN && req.appends() && !l->raw) decide_for_append(f, l);
  r = call_open(f, req, version_mode);
  if (r != 0 && !req.writes() && f->version == 1 && f->obj_type >= 0 &&
      pfaloc_allows_numeric_versions(f)) {
    f->version = 0;
    r = call_open(f, req, version_mode);
    if (r != 0) f->version = 1;
  }
  if (r != 0) {
    f->stream = nullptr;
    free_stream(l);
    if (ask) tell_opened(f, req.mode_text(), r);
    return r;
  }
  f->flags |= PFA_F_OPEN;
  if (is_remote(f)) {
    l->open_mode |= kStreamRemote;
    f->flags |= PFA_F_REMOTE_COUNTED;
    int n = ++g_remote_open;
    if (is_run_mode(9998)) {
      Name name(f);
      dbg_print_info(where, "increment to %d for %s", n, name.text);
    }
  }
  if (f->loc_type != PFA_LOC_STD_FS && !(l->open_mode & kStreamFromRead)) invalidate_dir_cache(f);
  if (ask) tell_opened(f, req.mode_text(), 0);
  return 0;
}

vex_file *alloc_and_open(vex_file *f, int version_mode, const OpenRequest &req) {
  if (!f) return nullptr;
  if (open_low(f, version_mode, req) != 0) {
    pfa_free_vex_file(&f);
    return nullptr;
  }
  return f;
}

vex_file *alloc_named(const char *name) { return name ? pfa_alloc_file(name) : nullptr; }
vex_file *alloc_wnamed(const kw_wchar *wname) { return wname ? pfa_alloc_wfile(wname) : nullptr; }

// ---- standard streams ----------------------------------------------------------------

struct StdStream {
  constexpr StdStream(const char *n, const char *m) : name(n), mode(m) {}
  const char *name;
  const char *mode;
  kw::runtime::LazyMutex lock;
  std::atomic<vex_file *> file{nullptr};
};

StdStream g_std[3] = {{"stdio://in", "r"}, {"stdio://out", "w"}, {"stdio://err", "w"}};

vex_file *standard_stream(StdStream &s) {
  vex_file *f = s.file.load(std::memory_order_acquire);
  if (f && (f->flags & PFA_F_OPEN)) return f;
  kw::runtime::MTSectionLock lock(s.lock);
  f = s.file.load(std::memory_order_relaxed);
  if (!f) {
    f = pfa_alloc_file(s.name);
    if (!f) return nullptr;
    // Standard streams carry the session's text as it is: no mark is
    // looked for on input (it would wait for four bytes) or put on output.
    f->encoding = PFA_ENC_NONE;
    s.file.store(f, std::memory_order_release);
  }
  if (!(f->flags & PFA_F_OPEN)) {
    OpenRequest req;
    req.mode = s.mode;
    if (open_low(f, PFA_VERS_OWN, req) == 0) f->stream->open_mode |= kStreamStdio;
  }
  return f;
}

}  // namespace

// Writing opens of other locations change their directories' listings.
// The standard file system's own methods see to that as they open.
void invalidate_dir_cache(vex_file *f) {
  char name[PFA_NAME_SIZE];
  if (pfa_get_full_name(f, name) == 0) pfa_file_name_update_dir_cache(name);
}

}  // namespace kw::pfa::stream

using namespace kw::pfa;
using namespace kw::pfa::stream;

extern "C" {

// One "kwpfa" application serves the open and the directory-cache
// notifications.
int pfa_open_notification_key(void) { return kw::pfa::dir::notification_key(); }

int pfa_fopen(vex_file *f, int version_mode, const char *mode) {
  if (!mode) return PFA_E_NOT_VALID;
  OpenRequest req;
  req.mode = mode;
  return open_low(f, version_mode, req);
}

int pfa_open(vex_file *f, int flags, int permissions, int version_mode) {
  OpenRequest req;
  req.flags = flags;
  req.permissions = permissions;
  return open_low(f, version_mode, req);
}

vex_file *pfa_fopen_file(const char *name, const char *mode) {
  return pfa_fopen_file_vers(name, mode, PFA_VERS_OWN);
}

vex_file *pfa_fopen_file_vers(const char *name, const char *mode, int version_mode) {
  if (!mode) return nullptr;
  OpenRequest req;
  req.mode = mode;
  return alloc_and_open(alloc_named(name), version_mode, req);
}

vex_file *pfa_fopen_wfile(const kw_wchar *wname, const char *mode) {
  return pfa_fopen_wfile_vers(wname, mode, PFA_VERS_OWN);
}

vex_file *pfa_fopen_wfile_vers(const kw_wchar *wname, const char *mode, int version_mode) {
  if (!mode) return nullptr;
  OpenRequest req;
  req.mode = mode;
  return alloc_and_open(alloc_wnamed(wname), version_mode, req);
}

vex_file *pfa_open_file(const char *name, int flags, int permissions) {
  return pfa_open_file_vers(name, flags, permissions, PFA_VERS_OWN);
}

vex_file *pfa_open_file_vers(const char *name, int flags, int permissions, int version_mode) {
  OpenRequest req;
  req.flags = flags;
  req.permissions = permissions;
  return alloc_and_open(alloc_named(name), version_mode, req);
}

vex_file *pfa_secure_fopen(const char *name, const char *mode) {
  if (!mode) return nullptr;
  OpenRequest req;
  req.mode = mode;
  req.secure = true;
  return alloc_and_open(alloc_named(name), PFA_VERS_OWN, req);
}

int pfa_close(vex_file *f) {
  const char *where = "pfa_close";
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!(f->flags & PFA_F_OPEN)) return PFA_E_INACTIVE;
  // A directory holds a listing, which returns lent entries to the cache.
  if (f->obj_type == OBJ_TYPE_DIRECTORY) return pfadir_close(f);
  pfa_stream *l = f->stream;
  int r = 0;
  if (f->flags & PFA_F_SUBSTITUTE) {
    vex_file *sub = l ? static_cast<vex_file *>(l->handle) : nullptr;
    if (valid(sub)) {
      if (sub->flags & PFA_F_OPEN) r = pfa_close(sub);
      pfa_free_vex_file(&sub);
    }
    if (l) l->handle = nullptr;
    f->flags &= ~PFA_F_SUBSTITUTE;
  } else if (l) {
    r = flush_pending_output(f, l);
    int c = pfaloc_call_FL(PFALOC_PfaCloseFile, f);
    if (r == 0 && c != 0 && c != -1) r = c;
  }
  f->flags &= ~PFA_F_OPEN;
  if (f->flags & PFA_F_REMOTE_COUNTED) {
    f->flags &= ~PFA_F_REMOTE_COUNTED;
    int n = --g_remote_open;
    if (is_run_mode(9998)) {
      Name name(f);
      dbg_print_info(where, "decrement to %d for %s", n, name.text);
    }
  }
  f->stream = nullptr;
  free_stream(l);
  return r;
}

int pfa_dispose(vex_file **f) {
  if (!f || !valid(*f)) return PFA_E_NOT_VALID;
  if ((*f)->flags & PFA_F_OPEN) pfa_close(*f);
  return pfa_free_vex_file(f);
}

vex_file *pfa_get_stdin(void) { return standard_stream(g_std[0]); }
vex_file *pfa_get_stdout(void) { return standard_stream(g_std[1]); }
vex_file *pfa_get_stderr(void) { return standard_stream(g_std[2]); }

int pfa_num_open_remote_files(void) { return g_remote_open.load(); }

}  // extern "C"
