// Reading, writing and positioning file streams. Streams whose file and
// session encodings agree go straight to the location's methods; the
// others decode the file through fixed buffers in batches that end on a
// character boundary, so that the file offset of any delivered character
// can be recovered.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/objtype.h"
#include "keelwork/pfastream.h"
#include "keelwork/runmode.h"
#include "keelwork/vexformat.h"
#include "pfa/pfa_internal.h"
#include "pfa/stream_internal.h"
#include "runtime/unicode_internal.h"

namespace kw::pfa::stream {
namespace {

constexpr int kWriteChunk = 1024;

int remote_arg(const pfa_stream *l) { return (l->open_mode & kStreamRemote) ? 1 : 0; }

// A method's answer: -1 means the location has no such method.
int answer(int r) { return r == -1 ? PFA_E_NOT_ALLOWED : r; }

bool ensure_read_buffers(pfa_stream *l) {
  if (!l->in_buf) l->in_buf = static_cast<char *>(getmem(kStreamInSize));
  if (!l->pivot) l->pivot = static_cast<kw_wchar *>(getmem(kStreamPivotUnits * sizeof(kw_wchar)));
  if (!l->out_buf) l->out_buf = static_cast<char *>(getmem(kStreamOutSize));
  return l->in_buf && l->pivot && l->out_buf;
}

// The length of the UTF-8 sequence a byte starts (1 for bytes that start
// none).
int utf8_length(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 1;
}

// The number of bytes at the end of buf[0, n) that start a UTF-8
// character they do not complete.
int utf8_cut(const unsigned char *buf, int n) {
  for (int back = 1; back <= 4 && back <= n; ++back) {
    unsigned char b = buf[n - back];
    if ((b & 0xC0) == 0x80) continue;
    return utf8_length(b) > back ? back : 0;
  }
  return 0;
}

// The largest m <= n such that buf[0, m) ends on a character boundary of
// `enc`, given that buf starts on one.
int aligned_end(int32_t enc, const unsigned char *buf, int n) {
  switch (enc) {
    case PFA_ENC_UTF8:
      return n - utf8_cut(buf, n);
    case PFA_ENC_UTF16LE:
    case PFA_ENC_UTF16BE: {
      int m = n & ~1;
      if (m >= 2) {
        unsigned unit =
            enc == PFA_ENC_UTF16LE ? buf[m - 2] | buf[m - 1] << 8 : buf[m - 2] << 8 | buf[m - 1];
        if (unit >= 0xD800 && unit <= 0xDBFF) m -= 2;
      }
      return m;
    }
    case PFA_ENC_UTF32LE:
    case PFA_ENC_UTF32BE:
      return n & ~3;
    case BTK_CP_EUC_JP:
    case BTK_CP_EUC_KR:
    case BTK_CP_EUC_CN: {
      int i = 0;
      while (i < n) {
        unsigned char b = buf[i];
        int len = b < 0x80 ? 1 : b == 0x8E ? 2 : b == 0x8F ? 3 : b >= 0xA1 ? 2 : 1;
        if (i + len > n) return i;
        i += len;
      }
      return n;
    }
    default: {
      const kw::runtime::DbcsTable *t = enc > 5 ? kw::runtime::dbcs_table(enc) : nullptr;
      if (!t) return n;
      int i = 0;
      while (i < n) {
        int len = t->lead[buf[i]] ? 2 : 1;
        if (i + len > n) return i;
        i += len;
      }
      return n;
    }
  }
}

// Converts src[0, n) completely from `from` to `to` (reset first) into
// dst of `cap` bytes; the bytes written, or -1.
int transcode_all(btkUConv *to, btkUConv *from, kw_wchar *pivot, const char *src, int n, char *dst,
                  int cap) {
  const char *s = src;
  char *d = dst;
  kw_wchar *ps = pivot, *pt = pivot;
  int reset = 1;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    int rc = btkUConv_TranscodeEx(to, from, &d, dst + cap, &s, src + n, pivot, &ps, &pt,
                                  pivot + kStreamPivotUnits, reset, 1);
    reset = 0;
    if (rc == BTK_UCONV_OK) return static_cast<int>(d - dst);
    if (rc == BTK_UCONV_NO_SPACE) return -1;
  }
  return -1;
}

// The whole-buffer converter of the runtime for EUC-JP files in a UTF-8
// session, faster than the streaming converter; -1 when it does not apply
// (or the batch holds NUL bytes, where it stops).
int decode_direct(pfa_stream *l, int n) {
  if (l->file_encoding != BTK_CP_EUC_JP || PfaSessionEncoding() != PFA_ENC_UTF8) return -1;
  if (std::memchr(l->in_buf, 0, static_cast<size_t>(n))) return -1;
  int32_t used = 0;
  int32_t k = btkStrEucToUtf8(l->in_buf, n, l->out_buf, kStreamOutSize, 0xFFFD, &used);
  return k >= 0 && used == n ? k : -1;
}

// Decodes the next batch of the file; 0 with out_pos < out_end, 5 at the
// end, or the read's code.
int fill(vex_file *f, pfa_stream *l) {
  if (!ensure_read_buffers(l)) return PFA_E_NO_SPACE;
  while (l->out_pos == l->out_end) {
    if (l->in_pos > 0) {
      std::memmove(l->in_buf, l->in_buf + l->in_pos, static_cast<size_t>(l->in_end - l->in_pos));
      l->in_end -= l->in_pos;
      l->in_pos = 0;
    }
    if (!l->at_end && l->in_end < kStreamInSize) {
      int got = 0;
      int r = pfaloc_call_FLPPI(PFALOC_PfaReadFile, f, l->in_buf + l->in_end, &got,
                                kStreamInSize - l->in_end);
      if (r == PFA_E_QUIT)
        l->at_end = 1;
      else if (r != 0)
        return answer(r);
      l->in_end += got;
      l->raw_next += got;
    }
    if (l->in_end == 0) return PFA_E_QUIT;
    auto *raw = reinterpret_cast<const unsigned char *>(l->in_buf);
    int n = l->at_end ? l->in_end : aligned_end(l->file_encoding, raw, l->in_end);
    if (n == 0) {
      if (l->in_end < kStreamInSize) continue;  // a character longer than what was read
      n = l->in_end;
    }
    l->batch_offset = l->raw_next - l->in_end;
    int produced = decode_direct(l, n);
    if (produced < 0)
      produced = transcode_all(static_cast<btkUConv *>(l->session_converter),
                               static_cast<btkUConv *>(l->file_converter), l->pivot, l->in_buf, n,
                               l->out_buf, kStreamOutSize);
    if (produced < 0) {
      dbg_crash_msg("pfa_read", "uerr = %d", produced);
      return PFA_E_ERROR;
    }
    l->in_pos = n;
    l->out_pos = 0;
    l->out_end = produced;
  }
  return 0;
}

// Delivers held-back bytes; returns how many.
int take_carry(pfa_stream *l, char *dst, int room) {
  int n = l->carry_len < room ? l->carry_len : room;
  if (n <= 0) return 0;
  std::memcpy(dst, l->carry, static_cast<size_t>(n));
  std::memmove(l->carry, l->carry + n, static_cast<size_t>(l->carry_len - n));
  l->carry_len -= n;
  return n;
}

// Holds back the start of a character cut by the end of a full line
// buffer; `*n` shrinks.
void hold_back_cut(pfa_stream *l, char *buf, int *n) {
  int cut = utf8_cut(reinterpret_cast<unsigned char *>(buf), *n);
  if (cut == 0 || cut == *n) return;  // nothing cut, or nothing else to deliver
  if (l->carry_len + cut > static_cast<int>(sizeof l->carry)) {
    dbg_crash_msg("pfa_fgets", "too many partial output chars in buffer case");
    return;
  }
  if (is_run_mode(9998)) dbg_print_info("pfa_fgets", "partial output char");
  std::memmove(l->carry + cut, l->carry, static_cast<size_t>(l->carry_len));
  std::memcpy(l->carry, buf + *n - cut, static_cast<size_t>(cut));
  l->carry_len += cut;
  *n -= cut;
  buf[*n] = 0;
}

int read_transcoded(vex_file *f, pfa_stream *l, char *buf, int size, int *count) {
  int n = 0;
  while (n < size) {
    int r = fill(f, l);
    if (r == PFA_E_QUIT) break;
    if (r != 0) {
      *count = n;
      return n ? 0 : r;
    }
    int k = l->out_end - l->out_pos;
    if (k > size - n) k = size - n;
    std::memcpy(buf + n, l->out_buf + l->out_pos, static_cast<size_t>(k));
    l->out_pos += k;
    n += k;
  }
  *count = n;
  return n == 0 && size > 0 ? PFA_E_QUIT : 0;
}

int fgets_transcoded(vex_file *f, pfa_stream *l, char *buf, int size, int *count) {
  int room = size - 1, n = 0;
  bool line_end = false;
  while (n < room && !line_end) {
    int r = fill(f, l);
    if (r == PFA_E_QUIT) break;
    if (r != 0) {
      buf[n] = 0;
      *count = n;
      return n ? 0 : r;
    }
    int k = l->out_end - l->out_pos;
    if (k > room - n) k = room - n;
    const char *src = l->out_buf + l->out_pos;
    if (const void *nl = std::memchr(src, '\n', static_cast<size_t>(k))) {
      k = static_cast<int>(static_cast<const char *>(nl) - src) + 1;
      line_end = true;
    }
    std::memcpy(buf + n, src, static_cast<size_t>(k));
    l->out_pos += k;
    n += k;
  }
  buf[n] = 0;
  if (!line_end && n == room && holds_partial_chars(l)) {
    int cut = utf8_cut(reinterpret_cast<unsigned char *>(buf), n);
    if (cut > 0 && cut < n) {
      // Still in out_buf just before out_pos: step back instead of copying.
      if (is_run_mode(9998)) dbg_print_info("pfa_fgets", "partial output char");
      l->out_pos -= cut;
      n -= cut;
      buf[n] = 0;
    }
  }
  *count = n;
  return n == 0 && room > 0 ? PFA_E_QUIT : 0;
}

// The bytes of `enc` that session text of `n` bytes came from.
int64_t encoded_length(int32_t enc, const char *text, int n) {
  if (n == 0) return 0;
  btkUConv *file = pfa_encoding_uconverter(enc, BTK_UCONV_SUBSTITUTE);
  btkUConv *sess = pfa_encoding_uconverter(PfaSessionEncoding(), BTK_UCONV_SUBSTITUTE);
  int64_t total = -1;
  if (file && sess) {
    std::string out(static_cast<size_t>(n) * 4 + 16, '\0');
    std::u16string pivot(kStreamPivotUnits, u'\0');
    int k =
        transcode_all(file, sess, pivot.data(), text, n, out.data(), static_cast<int>(out.size()));
    total = k;
  }
  btkUConv_Dispose(file);
  btkUConv_Dispose(sess);
  return total;
}

int write_transcoded(vex_file *f, pfa_stream *l, const char *buf, int n, bool flush) {
  if (!l->pivot) l->pivot = static_cast<kw_wchar *>(getmem(kStreamPivotUnits * sizeof(kw_wchar)));
  if (!l->pivot) return PFA_E_NO_SPACE;
  char out[kWriteChunk];
  const char *s = buf;
  kw_wchar *ps = l->pivot, *pt = l->pivot;
  for (;;) {
    char *d = out;
    int rc = btkUConv_TranscodeEx(static_cast<btkUConv *>(l->file_converter),
                                  static_cast<btkUConv *>(l->session_converter), &d,
                                  out + sizeof out, &s, buf + n, l->pivot, &ps, &pt,
                                  l->pivot + kStreamPivotUnits, 0, flush ? 1 : 0);
    if (rc != BTK_UCONV_OK && rc != BTK_UCONV_NO_SPACE) {
      dbg_crash_msg("pfa_write_file", "uerr = %d", rc);
      return PFA_E_INVALID_INPUT;
    }
    if (d > out) {
      int r =
          pfaloc_call_FLPII(PFALOC_PfaWriteFile, f, out, static_cast<int>(d - out), remote_arg(l));
      if (r != 0) return answer(r);
    } else if (rc == BTK_UCONV_NO_SPACE) {
      return PFA_E_INVALID_INPUT;  // no progress
    }
    if (rc == BTK_UCONV_OK) return 0;
  }
}

// Before writing on a stream that has read ahead: back to the logical
// position.
int settle_for_write(vex_file *f, pfa_stream *l) {
  if (!l->carry_len && l->in_end == 0 && l->out_end == 0) return 0;
  int64_t pos = 0;
  int r = pfa_get_file_position(f, &pos);
  if (r != 0) return r;
  discard_read_ahead(l);
  return answer(pfaloc_call_FLP(PFALOC_PfaSetFilePosition, f, &pos));
}

int write_low(vex_file *f, const void *buf, int n, bool convert) {
  int r = check_open(&f);
  if (r != 0) return r;
  if (n < 0 || (n > 0 && !buf)) return PFA_E_INVALID_INPUT;
  pfa_stream *l = f->stream;
  if (n == 0 && convert) return 0;
  r = decide(f, l, true);
  if (r != 0) return r;
  r = settle_for_write(f, l);
  if (r != 0) return r;
  if (n == 0) return 0;
  if (convert && transcoding(l))
    return write_transcoded(f, l, static_cast<const char *>(buf), n, false);
  return answer(
      pfaloc_call_FLPII(PFALOC_PfaWriteFile, f, const_cast<void *>(buf), n, remote_arg(l)));
}

int scan_line(const char *line, const char *format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = vex_vscanf(line, format, copy);
  va_end(copy);
  return n > 0 ? 0 : 1;
}

}  // namespace

vex_file *target(vex_file *f) {
  for (int depth = 0; valid(f) && (f->flags & PFA_F_SUBSTITUTE) && depth < 64; ++depth) {
    if (!f->stream) return f;
    f = static_cast<vex_file *>(f->stream->handle);
  }
  return valid(f) ? f : nullptr;
}

int check_open(vex_file **f) {
  if (!valid(*f) || (*f)->obj_type == OBJ_TYPE_DIRECTORY) return PFA_E_NOT_VALID;
  if (!((*f)->flags & PFA_F_OPEN) || !(*f)->stream) return PFA_E_INACTIVE;
  vex_file *t = target(*f);
  if (!t) return PFA_E_NOT_VALID;
  if (!(t->flags & PFA_F_OPEN) || !t->stream) return PFA_E_INACTIVE;
  *f = t;
  return 0;
}

pfa_stream *new_stream() {
  auto *l = static_cast<pfa_stream *>(getmem(sizeof(pfa_stream)));
  if (l) std::memset(l, 0, sizeof *l);
  return l;
}

void free_stream(pfa_stream *l) {
  if (!l) return;
  btkUConv_Dispose(static_cast<btkUConv *>(l->file_converter));
  btkUConv_Dispose(static_cast<btkUConv *>(l->session_converter));
  if (l->in_buf) relmem(&l->in_buf);
  if (l->pivot) relmem(&l->pivot);
  if (l->out_buf) relmem(&l->out_buf);
  relmem(&l);
}

bool mode_is_binary(const char *mode) { return std::strchr(mode, 'b') != nullptr; }

int mode_bits(const char *mode) {
  int bits = 0;
  bool plus = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
    case 'R':
      bits = kStreamRead | kStreamFromRead | (plus ? kStreamWrite : 0);
      break;
    case 'w':
    case 'W':
      bits = kStreamWrite | (plus ? kStreamRead : 0);
      break;
    case 'a':
    case 'A':
      bits = kStreamWrite | kStreamAppend | (plus ? kStreamRead : 0);
      break;
    default:
      break;
  }
  return bits | (plus ? kStreamUpdate : 0);
}

void discard_read_ahead(pfa_stream *l) {
  l->in_pos = l->in_end = 0;
  l->out_pos = l->out_end = 0;
  l->carry_len = 0;
  l->at_end = 0;
  if (l->file_converter) btkUConv_Reset(static_cast<btkUConv *>(l->file_converter));
  if (l->session_converter) btkUConv_Reset(static_cast<btkUConv *>(l->session_converter));
}

bool holds_partial_chars(const pfa_stream *l) { return !l->raw && btkUnicodeIsEnabled(); }

int flush_pending_output(vex_file *f, pfa_stream *l) {
  if (!l || !transcoding(l) || !l->encoding_decided || !(l->open_mode & kStreamWrite)) return 0;
  return write_transcoded(f, l, "", 0, true);
}

}  // namespace kw::pfa::stream

using namespace kw::pfa;
using namespace kw::pfa::stream;

extern "C" {

int pfa_read_file(vex_file *f, int size, int *count, void *buf) {
  if (count) *count = 0;
  int r = check_open(&f);
  if (r != 0) return r;
  if (!buf || size < 0) return PFA_E_INVALID_INPUT;
  pfa_stream *l = f->stream;
  r = decide(f, l, false);
  if (r != 0) return r;
  int got = 0;
  if (transcoding(l)) {
    r = read_transcoded(f, l, static_cast<char *>(buf), size, &got);
  } else {
    int held = take_carry(l, static_cast<char *>(buf), size);
    int more = 0;
    r = held < size ? answer(pfaloc_call_FLPPI(PFALOC_PfaReadFile, f,
                                               static_cast<char *>(buf) + held, &more, size - held))
                    : 0;
    got = held + more;
    if (held && r == PFA_E_QUIT) r = 0;
  }
  if (count) *count = got;
  return r;
}

int pfa_fgets(vex_file *f, int size, int *count, char *buf) {
  if (count) *count = 0;
  int r = check_open(&f);
  if (r != 0) return r;
  if (!buf || size < 1) return PFA_E_INVALID_INPUT;
  buf[0] = 0;
  pfa_stream *l = f->stream;
  r = decide(f, l, false);
  if (r != 0) return r;
  int got = 0;
  if (transcoding(l)) {
    r = fgets_transcoded(f, l, buf, size, &got);
  } else {
    int held = 0;
    if (l->carry_len) {
      // Held-back bytes first, up to a line feed among them.
      int k = l->carry_len < size - 1 ? l->carry_len : size - 1;
      const void *nl = std::memchr(l->carry, '\n', static_cast<size_t>(k));
      if (nl) k = static_cast<int>(static_cast<const unsigned char *>(nl) - l->carry) + 1;
      held = take_carry(l, buf, k);
      buf[held] = 0;
      if (nl || held == size - 1) {
        if (count) *count = held;
        return 0;
      }
    }
    int more = 0;
    r = answer(pfaloc_call_FLPPI(PFALOC_PfaFgets, f, buf + held, &more, size - held));
    got = held + more;
    if (held && r == PFA_E_QUIT) r = 0;
    if (r == 0 && got == size - 1 && buf[got - 1] != '\n' && holds_partial_chars(l))
      hold_back_cut(l, buf, &got);
  }
  if (count) *count = got;
  return r;
}

int pfa_fgetc(vex_file *f) {
  if (check_open(&f) != 0) return -1;
  pfa_stream *l = f->stream;
  if (decide(f, l, false) != 0) return -1;
  if (transcoding(l)) {
    if (fill(f, l) != 0) return -1;
    return static_cast<unsigned char>(l->out_buf[l->out_pos++]);
  }
  if (l->carry_len) {
    char c = 0;
    take_carry(l, &c, 1);
    return static_cast<unsigned char>(c);
  }
  return pfaloc_call_FL(PFALOC_PfaFgetc, f);
}

int pfa_ungetc(int c, vex_file *f) {
  if (c < 0 || check_open(&f) != 0) return -1;
  pfa_stream *l = f->stream;
  if (transcoding(l) && l->out_pos > 0) {
    l->out_buf[--l->out_pos] = static_cast<char>(c);
    return c & 0xFF;
  }
  if (transcoding(l) || l->carry_len >= static_cast<int>(sizeof l->carry)) return -1;
  std::memmove(l->carry + 1, l->carry, static_cast<size_t>(l->carry_len));
  l->carry[0] = static_cast<unsigned char>(c);
  ++l->carry_len;
  return c & 0xFF;
}

size_t pfa_fread(void *buf, size_t size, size_t n, vex_file *f) {
  if (!buf || size == 0 || n == 0) return 0;
  if (n > SIZE_MAX / size) return 0;
  size_t total = size * n, done = 0;
  auto *out = static_cast<char *>(buf);
  while (done < total) {
    size_t want = total - done;
    int chunk = want > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(want);
    int got = 0;
    int r = pfa_read_file(f, chunk, &got, out + done);
    if (r != 0 || got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done / size;
}

int pfa_fscanf(vex_file *f, const char *format, ...) {
  if (!format) return 1;
  char line[260];
  int got = 0;
  if (pfa_fgets(f, sizeof line, &got, line) != 0) return 1;
  va_list args;
  va_start(args, format);
  int r = scan_line(line, format, args);
  va_end(args);
  return r;
}

struct pfa_fscanf_data {
  std::string line;
};

int pfa_init_fscanf_data(pfa_fscanf_data **data) {
  if (!data) return PFA_E_INVALID_INPUT;
  *data = new (std::nothrow) pfa_fscanf_data;
  return *data ? 0 : PFA_E_NO_SPACE;
}

int pfa_incremental_fscanf(vex_file *f, pfa_fscanf_data *data, const char *format, ...) {
  if (!data || !format) return 1;
  data->line.clear();
  char buf[1024];
  for (;;) {
    int got = 0;
    int r = pfa_fgets(f, sizeof buf, &got, buf);
    if (r != 0) break;
    data->line.append(buf, static_cast<size_t>(got));
    if (got > 0 && buf[got - 1] == '\n') break;
  }
  if (data->line.empty()) return 1;
  va_list args;
  va_start(args, format);
  int r = scan_line(data->line.c_str(), format, args);
  va_end(args);
  return r;
}

int pfa_clear_fscanf_data(pfa_fscanf_data **data) {
  if (!data) return PFA_E_INVALID_INPUT;
  delete *data;
  *data = nullptr;
  return 0;
}

int pfa_write_file(vex_file *f, int n, const void *buf) { return write_low(f, buf, n, true); }

int pfa_text_file_binary_write(vex_file *f, int n, const void *buf) {
  return write_low(f, buf, n, false);
}

int pfa_fputs(vex_file *f, const char *s) {
  if (!s) return PFA_E_INVALID_INPUT;
  size_t n = std::strlen(s);
  if (n > static_cast<size_t>(INT_MAX)) return PFA_E_INVALID_INPUT;
  return pfa_write_file(f, static_cast<int>(n), s);
}

int pfa_fputc(int c, vex_file *f) {
  char b = static_cast<char>(c);
  return pfa_write_file(f, 1, &b) == 0 ? c & 0xFF : -1;
}

int pfa_vfprintf(vex_file *f, const char *format, va_list args) {
  if (!format) return 1;
  va_list copy;
  va_copy(copy, args);
  const char *text = vex_vsprintf(nullptr, format, copy);
  va_end(copy);
  if (!text) return 1;
  return pfa_fputs(f, text);
}

int pfa_fprintf(vex_file *f, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = pfa_vfprintf(f, format, args);
  va_end(args);
  return r;
}

int pfa_get_file_position(vex_file *f, int64_t *pos) {
  int r = check_open(&f);
  if (r != 0) return r;
  if (!pos) return PFA_E_INVALID_INPUT;
  pfa_stream *l = f->stream;
  // A stream opened for reading reports where its text starts, past a mark.
  if (l->open_mode & kStreamFromRead) {
    r = decide(f, l, false);
    if (r != 0) return r;
  }
  if (transcoding(l) && (l->in_end > 0 || l->out_end > 0)) {
    const char *where = "pfa_get_file_position";
    if (l->carry_len)
      dbg_crash_msg(where, "(partial?) chars buffered, returned filepos not reliable");
    int64_t decoded_end = l->raw_next - (l->in_end - l->in_pos);
    if (l->out_pos == l->out_end) {
      *pos = decoded_end;
      return 0;
    }
    // Only whole characters were delivered from the file's point of view:
    // a byte read out of the middle of one counts from its start.
    int whole = l->out_pos;
    if (PfaSessionEncoding() == PFA_ENC_UTF8)
      whole -= utf8_cut(reinterpret_cast<const unsigned char *>(l->out_buf), whole);
    int64_t len = encoded_length(l->file_encoding, l->out_buf, whole);
    if (len < 0) {
      dbg_crash_msg(where, "UConverter did not supply offsets");
      return PFA_E_ERROR;
    }
    if (l->batch_offset + len > decoded_end) {
      // Substituted bytes re-encode to a different length.
      dbg_crash_msg(where, "offset %d too large for %d fread", static_cast<int>(len),
                    static_cast<int>(decoded_end - l->batch_offset));
      len = decoded_end - l->batch_offset;
    }
    *pos = l->batch_offset + len;
    return 0;
  }
  int64_t at = 0;
  r = answer(pfaloc_call_FLP(PFALOC_PfaGetFilePosition, f, &at));
  if (r != 0) return r;
  *pos = at - l->carry_len;
  return 0;
}

int pfa_set_file_position(vex_file *f, int64_t pos) {
  int r = check_open(&f);
  if (r != 0) return r;
  if (pos < 0) return PFA_E_INVALID_INPUT;
  discard_read_ahead(f->stream);
  f->stream->raw_next = pos;
  return answer(pfaloc_call_FLP(PFALOC_PfaSetFilePosition, f, &pos));
}

int pfa_rewind_file(vex_file *f) {
  int r = check_open(&f);
  if (r != 0) return r;
  pfa_stream *l = f->stream;
  discard_read_ahead(l);
  l->raw_next = 0;
  // Text starts after a mark that was read or written.
  if (l->encoding_decided && l->bom_length > 0) return pfa_set_file_position(f, l->bom_length);
  return answer(pfaloc_call_FL(PFALOC_PfaRewindFile, f));
}

int pfa_unwind_file(vex_file *f) {
  int r = check_open(&f);
  if (r != 0) return r;
  discard_read_ahead(f->stream);
  r = answer(pfaloc_call_FL(PFALOC_PfaUnwindFile, f));
  int64_t at = 0;
  if (r == 0 && pfaloc_call_FLP(PFALOC_PfaGetFilePosition, f, &at) == 0) f->stream->raw_next = at;
  return r;
}

int pfa_fseek(vex_file *f, int32_t offset_low, int32_t offset_high, int whence) {
  int r = check_open(&f);
  if (r != 0) return r;
  if (whence < 0 || whence > 2) return PFA_E_INVALID_INPUT;
  pfa_stream *l = f->stream;
  if (whence == 1) {
    // Relative to what the caller has seen, not to the read-ahead.
    int64_t offset =
        static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(offset_high)) << 32 |
                             static_cast<uint32_t>(offset_low));
    int64_t at = 0;
    r = pfa_get_file_position(f, &at);
    if (r != 0) return r;
    return pfa_set_file_position(f, at + offset);
  }
  discard_read_ahead(l);
  r = answer(pfaloc_call_FLPIII(PFALOC_PfaFseek, f, nullptr, offset_low, offset_high, whence));
  int64_t at = 0;
  if (r == 0 && pfaloc_call_FLP(PFALOC_PfaGetFilePosition, f, &at) == 0) l->raw_next = at;
  return r;
}

int pfa_flush_file(vex_file *f) {
  int r = check_open(&f);
  if (r != 0) return r;
  return answer(pfaloc_call_FL(PFALOC_PfaFlushFile, f));
}

int pfa_truncate_file(vex_file *f, int64_t size) {
  int r = check_open(&f);
  if (r != 0) return r;
  if (size < 0) return PFA_E_INVALID_INPUT;
  return answer(pfaloc_call_FLP(PFALOC_PfaTruncateFile, f, &size));
}

int pfa_setbuf(vex_file *f, char *buf) {
  int r = check_open(&f);
  if (r != 0) return r;
  return answer(pfaloc_call_FLP(PFALOC_PfaSetbuf, f, buf));
}

int pfa_setvbuf(vex_file *f, char *buf, int mode, size_t size) {
  int r = check_open(&f);
  if (r != 0) return r;
  if (size > static_cast<size_t>(INT_MAX)) return PFA_E_INVALID_INPUT;
  return answer(pfaloc_call_FLPII(PFALOC_PfaSetvbuf, f, buf, mode, static_cast<int>(size)));
}

int pfa_unbuffer(vex_file *f) { return pfa_setvbuf(f, nullptr, 2, 0); }

int pfa_copy_through_cookie(vex_file *from, vex_file *to, int64_t *copied) {
  if (copied) *copied = 0;
  int r = check_open(&from);
  if (r == 0) r = check_open(&to);
  if (r != 0) return r;
  return answer(pfaloc_call_FLFLPP(PFALOC_PfaCopyThruCookie, from, to, copied, nullptr));
}

}  // extern "C"
