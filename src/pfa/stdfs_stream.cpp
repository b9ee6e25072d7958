// The stream methods of the standard file system and of the process's
// standard streams: a file's POSIX path opened through the runtime's
// buffered streams, one handle per open file.
#include <cstring>
#include <string>

#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "keelwork/pfadir.h"
#include "keelwork/vexformat.h"
#include "pfa/pfa_internal.h"
#include "runtime/fileio_internal.h"

namespace kw::pfa {
namespace {

namespace io = kw::runtime::fileio;

io::File *handle_of(const pfa_stream *l) {
  return l ? static_cast<io::File *>(l->handle) : nullptr;
}

int64_t offset_of(int low, int high) {
  return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32 |
                              static_cast<uint32_t>(low));
}

int open_failure(io::OpenError error, const char *where) {
  if (error == io::OpenError::kTooManyOpen) {
    dbg_crash_msg(where, "try 'unlimit descriptors'; too many fds in use");
    return PFA_E_TOO_MANY_OPEN;
  }
  return PFA_E_ERROR;
}

// Every operating-system open of the standard file system goes through
// here: by stream mode (`mode` non-null) or by low-level flags. Reading
// opens take the name as stored on disk when only its case differs.
int open_os_file(vex_file *f, pfa_stream *l, const char *mode, int flags, int permissions,
                 bool secure, const char *where) {
  if (!l) return PFA_E_INACTIVE;
  std::string path;
  int r = os_path_of(f, path, true);
  if (r != 0) return PFA_E_ERROR;
  if (path.empty()) return PFA_E_ERROR;
  bool reading = mode ? (mode[0] == 'r' || mode[0] == 'R') : (flags & io::kCreate) == 0;
  if (reading) path = existing_path(path);
  io::OpenError error = io::OpenError::kNone;
  io::File *file = mode ? io::open_stream(path.c_str(), mode, secure, &error)
                        : io::open_descriptor(path.c_str(), flags, permissions, &error);
  if (!file) return open_failure(error, where);
  l->handle = file;
  if (!reading) {
    // A file made or changed here changes its directory's listing.
    char name[PFA_NAME_SIZE];
    if (pfa_get_full_name(f, name) == 0) pfa_file_name_update_dir_cache(name);
  }
  return 0;
}

int std_fopen(vex_file *f, pfa_stream *l, void *mode, void *, int, void *, int secure, int) {
  if (!mode) return PFA_E_INVALID_INPUT;
  return open_os_file(f, l, static_cast<const char *>(mode), 0, 0, secure != 0, "pfafs_fopen");
}

int std_open(vex_file *f, pfa_stream *l, void *, int flags, int permissions, int) {
  return open_os_file(f, l, nullptr, flags, permissions, false, "pfafs_open_low");
}

int std_close(vex_file *, pfa_stream *l) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  l->handle = nullptr;
  return io::close(h) == 0 ? 0 : PFA_E_CANT_WRITE;
}

int std_fgetc(vex_file *f, pfa_stream *l) {
  io::File *h = handle_of(l);
  if (!h || f->obj_type == OBJ_TYPE_DIRECTORY) return -1;
  return io::get_byte(h);
}

int std_ungetc(vex_file *f, pfa_stream *l, int c) {
  io::File *h = handle_of(l);
  if (!h || f->obj_type == OBJ_TYPE_DIRECTORY) return -1;
  return io::unget_byte(h, c);
}

int std_read(vex_file *, pfa_stream *l, void *buf, void *count_out, int size) {
  io::File *h = handle_of(l);
  int *count = static_cast<int *>(count_out);
  if (count) *count = 0;
  if (!h) return PFA_E_INACTIVE;
  if (!buf || size < 0) return PFA_E_INVALID_INPUT;
  long n = io::read(h, buf, static_cast<size_t>(size));
  if (n < 0) return PFA_E_ERROR;
  if (count) *count = static_cast<int>(n);
  return n == 0 && size > 0 ? PFA_E_QUIT : 0;
}

// One line of at most size - 1 bytes, NUL-terminated.
int std_fgets(vex_file *, pfa_stream *l, void *buf, void *count_out, int size) {
  io::File *h = handle_of(l);
  int *count = static_cast<int *>(count_out);
  if (count) *count = 0;
  if (!h) return PFA_E_INACTIVE;
  if (!buf || size < 1) return PFA_E_INVALID_INPUT;
  char *out = static_cast<char *>(buf);
  long n = size > 1 ? io::read_line(h, out, static_cast<size_t>(size - 1)) : 0;
  if (n < 0) {
    out[0] = 0;
    return PFA_E_ERROR;
  }
  out[n] = 0;
  if (count) *count = static_cast<int>(n);
  return n == 0 && size > 1 ? PFA_E_QUIT : 0;
}

int std_write(vex_file *, pfa_stream *l, void *buf, int n, int) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  if (n < 0 || (n > 0 && !buf)) return PFA_E_INVALID_INPUT;
  return io::write(h, buf, static_cast<size_t>(n)) == 0 ? 0 : PFA_E_CANT_WRITE;
}

int std_fputs(vex_file *f, pfa_stream *l, void *text) {
  if (!text) return PFA_E_INVALID_INPUT;
  return std_write(f, l, text, static_cast<int>(std::strlen(static_cast<char *>(text))), 0);
}

int std_get_position(vex_file *, pfa_stream *l, void *pos_out) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  if (!pos_out) return PFA_E_INVALID_INPUT;
  int64_t pos = io::tell(h);
  if (pos < 0) return PFA_E_ERROR;
  *static_cast<int64_t *>(pos_out) = pos;
  return 0;
}

int std_set_position(vex_file *, pfa_stream *l, void *pos) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  if (!pos) return PFA_E_INVALID_INPUT;
  return io::seek(h, *static_cast<int64_t *>(pos), 0) == 0 ? 0 : PFA_E_ERROR;
}

int std_rewind(vex_file *, pfa_stream *l) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  return io::seek(h, 0, 0) == 0 ? 0 : PFA_E_ERROR;
}

int std_unwind(vex_file *, pfa_stream *l) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  return io::seek(h, 0, 2) == 0 ? 0 : PFA_E_ERROR;
}

int std_fseek(vex_file *, pfa_stream *l, void *, int low, int high, int whence) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  return io::seek(h, offset_of(low, high), whence) == 0 ? 0 : PFA_E_ERROR;
}

int std_flush(vex_file *, pfa_stream *l) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  return io::flush(h) == 0 ? 0 : PFA_E_CANT_WRITE;
}

int std_truncate(vex_file *, pfa_stream *l, void *size) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  if (!size) return PFA_E_INVALID_INPUT;
  return io::truncate(h, *static_cast<int64_t *>(size)) == 0 ? 0 : PFA_E_CANT_WRITE;
}

int std_setbuf(vex_file *, pfa_stream *l, void *buf) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  return io::set_buffer(h, static_cast<char *>(buf), buf ? 0 : 2, BUFSIZ) == 0 ? 0 : PFA_E_ERROR;
}

int std_setvbuf(vex_file *, pfa_stream *l, void *buf, int mode, int size) {
  io::File *h = handle_of(l);
  if (!h) return PFA_E_INACTIVE;
  if (size < 0) return PFA_E_INVALID_INPUT;
  return io::set_buffer(h, static_cast<char *>(buf), mode, static_cast<size_t>(size)) == 0
             ? 0
             : PFA_E_INVALID_INPUT;
}

int std_copy(vex_file *, pfa_stream *l, vex_file *, pfa_stream *to, void *copied_out, void *) {
  io::File *from = handle_of(l), *dst = handle_of(to);
  if (!from || !dst) return PFA_E_INACTIVE;
  int64_t n = io::copy(from, dst);
  if (copied_out) *static_cast<int64_t *>(copied_out) = n < 0 ? 0 : n;
  return n < 0 ? PFA_E_ERROR : 0;
}

int std_show_stream(vex_file *f, pfa_stream *l) {
  char name[PFA_NAME_SIZE];
  pfa_get_full_name(f, name);
  io::File *h = handle_of(l);
  vex_printf("stream of %s: %s, position %lld\n", name,
             !h                     ? "no handle"
             : io::is_descriptor(h) ? "descriptor"
                                    : "buffered",
             h ? static_cast<long long>(io::tell(h)) : -1LL);
  return 0;
}

// ---- standard streams ---------------------------------------------------------------

int stdio_fopen(vex_file *f, pfa_stream *l, void *, void *, int, void *, int, int) {
  if (!l) return PFA_E_INACTIVE;
  std::string_view n = comp(f, PFA_NAME);
  int which = n == "in" ? 0 : n == "out" ? 1 : n == "err" ? 2 : -1;
  if (which < 0) return PFA_E_NOT_FOUND;
  io::File *h = io::standard_stream(which);
  if (!h) return PFA_E_OUT_OF_MEMORY;
  l->handle = h;
  return 0;
}

int stdio_no_position(vex_file *, pfa_stream *, void *) { return PFA_E_NOT_ALLOWED; }

#define KW_REG(t, seq, slot, fn) pfa_loc_method_register_##seq(t, PFALOC_##slot, fn)

}  // namespace

void register_std_stream_methods(int t) {
  KW_REG(t, FLPPIPII, PfaFopen, std_fopen);
  KW_REG(t, FLPIII, PfaOpen, std_open);
  KW_REG(t, FL, PfaCloseFile, std_close);
  KW_REG(t, FL, PfaFgetc, std_fgetc);
  KW_REG(t, FLI, PfaUngetc, std_ungetc);
  KW_REG(t, FLPPI, PfaReadFile, std_read);
  KW_REG(t, FLPPI, PfaFgets, std_fgets);
  KW_REG(t, FLPII, PfaWriteFile, std_write);
  KW_REG(t, FLP, PfaFputs, std_fputs);
  KW_REG(t, FLP, PfaGetFilePosition, std_get_position);
  KW_REG(t, FLP, PfaSetFilePosition, std_set_position);
  KW_REG(t, FL, PfaRewindFile, std_rewind);
  KW_REG(t, FL, PfaUnwindFile, std_unwind);
  KW_REG(t, FLPIII, PfaFseek, std_fseek);
  KW_REG(t, FL, PfaFlushFile, std_flush);
  KW_REG(t, FLP, PfaTruncateFile, std_truncate);
  KW_REG(t, FLP, PfaSetbuf, std_setbuf);
  KW_REG(t, FLPII, PfaSetvbuf, std_setvbuf);
  KW_REG(t, FLFLPP, PfaCopyThruCookie, std_copy);
  KW_REG(t, FL, PfaDbgShowStream, std_show_stream);
}

// The standard streams read, write and flush like files (inherited); they
// open onto the process's streams, close without closing them and have no
// positions.
void register_stdio_stream_methods(int t) {
  KW_REG(t, FLPPIPII, PfaFopen, stdio_fopen);
  KW_REG(t, FL, PfaCloseFile, std_close);
  KW_REG(t, FLI, PfaUngetc, std_ungetc);
  KW_REG(t, FLP, PfaGetFilePosition, stdio_no_position);
  KW_REG(t, FLP, PfaSetFilePosition, stdio_no_position);
  KW_REG(t, FLP, PfaSetbuf, std_setbuf);
  KW_REG(t, FLPII, PfaSetvbuf, std_setvbuf);
  KW_REG(t, FL, PfaDbgShowStream, std_show_stream);
}

}  // namespace kw::pfa
