// The encoding model of file streams: encoding codes, byte-order marks,
// the environment switches, the decision made at a stream's first read or
// write, converters, and rewriting a text file in another encoding.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/objtype.h"
#include "keelwork/pfastream.h"
#include "pfa/pfa_internal.h"
#include "pfa/stream_internal.h"

namespace kw::pfa::stream {
namespace {

int32_t euc_encoding() {
  int32_t e = btkLangEucEncoding(-1);
  if (e > 0) return e;
  int32_t n = btkLangNativeEncoding(-1);
  return n > 0 ? n : 1252;
}

int32_t native_encoding() {
  int32_t n = btkLangNativeEncoding(-1);
  return n > 0 ? n : 1252;
}

bool env_set(const char *name) {
  const char *v = btk_getenv(name);
  return v != nullptr;
}

bool write_unicode_switch() {
  static const bool on = env_set("PFA_WRITE_UNICODE");
  return on;
}

bool always_transcode_switch() {
  static const bool on = env_set("PFA_ALWAYS_TRANSCODE");
  return on;
}

int write_bom(vex_file *f, pfa_stream *l, int32_t enc) {
  unsigned char bom[4];
  int n = btkUtfTypeToBOM(static_cast<btk_utf_type>(enc), bom);
  if (n <= 0) return 0;
  int r = pfaloc_call_FLPII(PFALOC_PfaWriteFile, f, bom, n, (l->open_mode & kStreamRemote) ? 1 : 0);
  if (r != 0) return r == -1 ? PFA_E_CANT_WRITE : r;
  l->bom_length = n;
  return 0;
}

// Whether an append stream's file already holds data (no mark is written
// then: it would land in the middle of the text).
bool file_has_data(vex_file *f) {
  int64_t pos = 0;
  if (pfaloc_call_FL(PFALOC_PfaUnwindFile, f) != 0) return false;
  return pfaloc_call_FLP(PFALOC_PfaGetFilePosition, f, &pos) == 0 && pos > 0;
}

int make_converters(pfa_stream *l) {
  int32_t session = PfaSessionEncoding();
  if (l->file_encoding == PFA_ENC_NONE) return 0;
  if (l->file_encoding == session && !always_transcode_switch()) return 0;
  btkUConv *file = pfa_encoding_uconverter(l->file_encoding, BTK_UCONV_SUBSTITUTE);
  btkUConv *sess = pfa_encoding_uconverter(session, BTK_UCONV_SUBSTITUTE);
  if (!file || !sess) {
    btkUConv_Dispose(file);
    btkUConv_Dispose(sess);
    dbg_crash_msg("pfa_decide_encoding", "no converter for encoding %d", l->file_encoding);
    // Bytes then pass unchanged rather than being lost.
    l->file_encoding = PFA_ENC_NONE;
    return 0;
  }
  l->file_converter = file;
  l->session_converter = sess;
  return 0;
}

}  // namespace

int32_t normalize(int32_t code) {
  switch (code) {
    case PFA_ENC_SESSION:
      return btkUnicodeIsEnabled() ? PFA_ENC_UTF8 : euc_encoding();
    case PFA_ENC_EUC:
      return euc_encoding();
    case PFA_ENC_NATIVE:
      return native_encoding();
    default:
      return code;
  }
}

int32_t encoding_from_bom(const unsigned char *bytes, int n, int *bom_len) {
  int len = 0;
  btk_utf_type t = btkUtfTypeFromBOM(bytes, static_cast<size_t>(n > 0 ? n : 0), &len);
  if (bom_len) *bom_len = t == BTK_UTF_NONE ? 0 : len;
  return t == BTK_UTF_NONE ? PFA_ENC_UNKNOWN : static_cast<int32_t>(t);
}

int decide(vex_file *f, pfa_stream *l, bool for_write) {
  if (l->encoding_decided) return 0;
  l->encoding_decided = 1;
  if (l->open_mode & kStreamPreset) {
    // An append-and-read stream reads its text from past the mark.
    if (!for_write && l->bom_length > 0) {
      int64_t pos = l->bom_length;
      pfaloc_call_FLP(PFALOC_PfaSetFilePosition, f, &pos);
      l->raw_next = pos;
    }
    return make_converters(l);
  }
  int32_t enc = f->encoding;
  if (enc == PFA_ENC_NONE || (enc == PFA_ENC_UNKNOWN && l->raw)) {
    l->file_encoding = PFA_ENC_NONE;
    return 0;
  }
  bool look = !for_write || (l->open_mode & kStreamFromRead);
  if (look) {
    unsigned char head[4];
    int got = 0;
    int r = pfaloc_call_FLPPI(PFALOC_PfaReadFile, f, head, &got, 4);
    if (r != 0 && r != PFA_E_QUIT) {
      l->encoding_decided = 0;
      return r == -1 ? PFA_E_ERROR : r;
    }
    int bom = 0;
    int32_t found = encoding_from_bom(head, got, &bom);
    if (found != PFA_ENC_UNKNOWN) enc = found;
    if (enc == PFA_ENC_UNKNOWN) enc = PFA_ENC_SESSION;
    l->bom_length = bom;
    l->file_encoding = normalize(enc);
    make_converters(l);
    if (for_write) {
      // An update stream that writes first writes after the mark.
      int64_t pos = bom;
      pfaloc_call_FLP(PFALOC_PfaSetFilePosition, f, &pos);
      return 0;
    }
    int rest = got - bom;
    if (transcoding(l)) {
      if (!l->in_buf) l->in_buf = static_cast<char *>(getmem(kStreamInSize));
      if (!l->in_buf) return PFA_E_NO_SPACE;
      std::memcpy(l->in_buf, head + bom, static_cast<size_t>(rest));
      l->in_pos = 0;
      l->in_end = rest;
      l->raw_next = got;
    } else {
      std::memcpy(l->carry, head + bom, static_cast<size_t>(rest));
      l->carry_len = rest;
    }
    return 0;
  }
  if (enc == PFA_ENC_UNKNOWN) enc = PfaDefaultEncodingForWriting();
  l->file_encoding = normalize(enc);
  if (PfaEncodingIsUnicode(l->file_encoding) &&
      !((l->open_mode & kStreamAppend) && file_has_data(f))) {
    int r = write_bom(f, l, l->file_encoding);
    if (r != 0) return r;
  }
  return make_converters(l);
}

}  // namespace kw::pfa::stream

using namespace kw::pfa;
using namespace kw::pfa::stream;

extern "C" {

int32_t PfaSessionEncoding(void) { return normalize(PFA_ENC_SESSION); }

int32_t PfaDefaultEncodingForWriting(void) {
  return pfa_writes_utf8_by_default() ? PFA_ENC_UTF8 : normalize(PFA_ENC_EUC);
}

int pfa_writes_utf8_by_default(void) {
  return btkUnicodeIsEnabled() || write_unicode_switch() ? 1 : 0;
}

int PfaEncodingIsUnicode(int32_t code) { return code >= 1 && code <= 5 ? 1 : 0; }

int pfa_encodings_equivalent(int32_t a, int32_t b) {
  return a == b || normalize(a) == normalize(b) ? 1 : 0;
}

btkUConv *pfa_encoding_uconverter(int32_t code, int options) {
  int32_t enc = normalize(code);
  int flags = options & BTK_UCONV_SUBSTITUTE;
  switch (enc) {
    case PFA_ENC_UNKNOWN:
      dbg_crash_msg("pfa_encoding_uconverter", "ENC_T_UNKNOWN not allowed");
      return nullptr;
    case PFA_ENC_NONE:
      return nullptr;
    case PFA_ENC_UTF8:
      return btkUConv_Create("UTF-8", flags, nullptr);
    case PFA_ENC_UTF16LE:
      return btkUConv_Create("UTF-16LE", flags, nullptr);
    case PFA_ENC_UTF16BE:
      return btkUConv_Create("UTF-16BE", flags, nullptr);
    case PFA_ENC_UTF32LE:
      return btkUConv_Create("UTF-32LE", flags, nullptr);
    case PFA_ENC_UTF32BE:
      return btkUConv_Create("UTF-32BE", flags, nullptr);
    default:
      return enc > 5 ? btkUConv_CreateCP(enc, flags, nullptr) : nullptr;
  }
}

int pfa_put_encode(vex_file *f, int32_t code) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (f->stream && f->stream->encoding_decided) return PFA_E_INVALID_INPUT;
  f->encoding = code;
  return 0;
}

int pfa_convert_text_file_encoding(vex_file *from, vex_file *to, int32_t encoding) {
  if (!valid(from) || !valid(to)) return PFA_E_NOT_VALID;
  if (from->flags & PFA_F_OPEN || to->flags & PFA_F_OPEN) return PFA_E_NOT_ALLOWED;
  if (encoding == PFA_ENC_UNKNOWN) {
    dbg_crash_msg("pfa_convert_text_file_encoding", "ENC_T_UNKNOWN not allowed");
    return PFA_E_INVALID_INPUT;
  }
  // Read the whole text as session text first, so that `to` may name the
  // same file.
  int r = pfa_fopen(from, PFA_VERS_OWN, "r");
  if (r != 0) return r;
  std::string text;
  char buf[8192];
  for (;;) {
    int got = 0;
    r = pfa_read_file(from, static_cast<int>(sizeof buf), &got, buf);
    if (r == PFA_E_QUIT) break;
    if (r != 0) {
      pfa_close(from);
      return r;
    }
    text.append(buf, static_cast<size_t>(got));
  }
  pfa_close(from);
  int32_t saved = to->encoding;
  to->encoding = encoding;
  r = pfa_fopen(to, PFA_VERS_OWN, "w");
  if (r == 0) {
    // Even an empty text gets the mark of its encoding.
    r = pfa_text_file_binary_write(to, 0, "");
    for (size_t at = 0; r == 0 && at < text.size();) {
      size_t n = std::min(text.size() - at, static_cast<size_t>(1) << 30);
      r = pfa_write_file(to, static_cast<int>(n), text.data() + at);
      at += n;
    }
    int c = pfa_close(to);
    if (r == 0) r = c;
  }
  to->encoding = r == 0 ? encoding : saved;
  return r;
}

}  // extern "C"
