// The streaming converter between a byte encoding and UTF-16.
//
// UTF-8, UTF-16, EUC-JP and the single/double-byte code pages are decoded
// by the library's own codecs (tables from posix/codepage.cpp); any other
// encoding goes through an iconv descriptor, a whole chunk per call. The
// bytes of a character cut by the end of a chunk are kept in `carry` and
// completed from the next chunk; a high surrogate at the end of a UTF-16
// chunk waits in `high`.
#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "keelwork/btk_unicode.h"
#include "runtime/legacy_internal.h"
#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"

using namespace kw::runtime;

namespace {

enum class Kind { kUtf8, kUtf16LE, kUtf16BE, kEucJp, kTable, kIconv };

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

}  // namespace

struct btkUConv {
  Kind kind;
  int flags;
  const DbcsTable *table = nullptr;
  const EucTables *euc = nullptr;
  iconv_t decoder = reinterpret_cast<iconv_t>(-1);  // encoding -> UTF-16LE
  iconv_t encoder = reinterpret_cast<iconv_t>(-1);  // UTF-16LE -> encoding
  unsigned char carry[16];
  std::size_t carry_len = 0;
  char16_t high = 0;  // pending high surrogate (encoding side)
  // Encoded bytes that did not fit the caller's output; written first on
  // the next call (an iconv encoder has already moved its shift state).
  unsigned char pending[16];
  std::size_t pending_len = 0;
  std::int64_t in_pos = 0;   // bytes decoded since creation or reset
  std::int64_t u16_pos = 0;  // units encoded since creation or reset
  bool has_error = false;
  std::int64_t error_offset = 0;
  std::int32_t error_length = 0;
};

namespace {

bool substituting(const btkUConv *cv) { return (cv->flags & BTK_UCONV_SUBSTITUTE) != 0; }

void set_error(btkUConv *cv, std::int64_t offset, std::int64_t length) {
  cv->has_error = true;
  cv->error_offset = offset;
  cv->error_length = static_cast<std::int32_t>(length);
}

// Decodes one character with the converter's own codec; the contract of
// euc_decode.
int decode_one(btkUConv *cv, const unsigned char *p, const unsigned char *end, char32_t *cp) {
  switch (cv->kind) {
    case Kind::kUtf8: {
      int k = utf8_decode(p, end, cp);
      if (k == kUtfInvalid) {
        *cp = kBadChar;
        return utf8_bad_length(p, end);
      }
      return k;
    }
    case Kind::kUtf16LE:
    case Kind::kUtf16BE: {
      bool le = cv->kind == Kind::kUtf16LE;
      auto unit = [le](const unsigned char *q) -> char16_t {
        return static_cast<char16_t>(le ? (q[0] | q[1] << 8) : (q[0] << 8 | q[1]));
      };
      if (end - p < 2) return kUtfIncomplete;
      char16_t u = unit(p);
      if (!is_high_surrogate(u) && !is_low_surrogate(u)) {
        *cp = u;
        return 2;
      }
      if (is_low_surrogate(u)) {
        *cp = kBadChar;
        return 2;
      }
      if (end - p < 4) return kUtfIncomplete;
      char16_t l = unit(p + 2);
      if (!is_low_surrogate(l)) {
        *cp = kBadChar;
        return 2;
      }
      *cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (l - 0xDC00);
      return 4;
    }
    case Kind::kEucJp:
      return euc_decode(*cv->euc, p, end, cp);
    case Kind::kTable:
      return dbcs_decode(*cv->table, p, end, cp);
    case Kind::kIconv:
      break;
  }
  return kUtfInvalid;
}

// Encodes one character with the own codec; the byte count, 0 when the
// encoding lacks it.
int encode_one(btkUConv *cv, char32_t cp, unsigned char *out) {
  switch (cv->kind) {
    case Kind::kUtf8:
      return utf8_encode(cp, reinterpret_cast<char *>(out));
    case Kind::kUtf16LE:
    case Kind::kUtf16BE: {
      char16_t u[2];
      int n = utf16_encode(cp, u);
      for (int i = 0; i < n; ++i) {
        unsigned char lo = static_cast<unsigned char>(u[i]),
                      hi = static_cast<unsigned char>(u[i] >> 8);
        out[2 * i] = cv->kind == Kind::kUtf16LE ? lo : hi;
        out[2 * i + 1] = cv->kind == Kind::kUtf16LE ? hi : lo;
      }
      return 2 * n;
    }
    case Kind::kEucJp:
      return euc_encode(*cv->euc, cp, out);
    case Kind::kTable:
      return dbcs_encode(*cv->table, cp, out);
    case Kind::kIconv:
      break;
  }
  return 0;
}

// Writes one decoded character; false when the output has no room.
bool put_char(char32_t cp, kw_wchar **dst, kw_wchar *dst_end) {
  std::size_t room = static_cast<std::size_t>(dst_end - *dst);
  if (room < (cp >= 0x10000 ? 2u : 1u)) return false;
  *dst += utf16_encode(cp, *dst);
  return true;
}

// Decoding with the own codecs.
int to_pivot_own(btkUConv *cv, const char **src, const char *src_end, kw_wchar **dst,
                 kw_wchar *dst_end, int flush) {
  auto *p = reinterpret_cast<const unsigned char *>(*src);
  auto *end = reinterpret_cast<const unsigned char *>(src_end);
  // First finish a character begun in the previous chunk.
  while (cv->carry_len) {
    unsigned char tmp[sizeof cv->carry + 4];
    std::memcpy(tmp, cv->carry, cv->carry_len);
    std::size_t extra = static_cast<std::size_t>(end - p);
    if (extra > 4) extra = 4;
    std::memcpy(tmp + cv->carry_len, p, extra);
    std::size_t have = cv->carry_len + extra;
    char32_t cp = kBadChar;
    int k = decode_one(cv, tmp, tmp + have, &cp);
    if (k == kUtfIncomplete) {
      if (!flush) {
        std::memcpy(cv->carry + cv->carry_len, p, extra);
        cv->carry_len += extra;
        *src = reinterpret_cast<const char *>(p + extra);
        return BTK_UCONV_OK;
      }
      k = static_cast<int>(have);
      cp = kBadChar;
    }
    if (cp == kBadChar) {
      if (!substituting(cv)) {
        set_error(cv, cv->in_pos, k);
        cv->in_pos += k;
        // Skip the bad bytes: those of the carry first, then of this chunk.
        std::size_t from_chunk =
            static_cast<std::size_t>(k) > cv->carry_len ? k - cv->carry_len : 0;
        if (static_cast<std::size_t>(k) < cv->carry_len) {
          std::memmove(cv->carry, cv->carry + k, cv->carry_len - k);
          cv->carry_len -= k;
        } else {
          cv->carry_len = 0;
        }
        *src = reinterpret_cast<const char *>(p + from_chunk);
        return BTK_UCONV_INVALID;
      }
      cp = 0xFFFD;
    }
    if (!put_char(cp, dst, dst_end)) return BTK_UCONV_NO_SPACE;
    cv->in_pos += k;
    if (static_cast<std::size_t>(k) < cv->carry_len) {
      std::memmove(cv->carry, cv->carry + k, cv->carry_len - k);
      cv->carry_len -= k;
    } else {
      p += k - cv->carry_len;
      cv->carry_len = 0;
    }
    *src = reinterpret_cast<const char *>(p);
  }
  while (p < end) {
    if (cv->kind == Kind::kUtf8) {
      // Bulk: the SIMD converter runs until it meets a problem.
      std::size_t used, written;
      utf8_to_utf16(reinterpret_cast<const char *>(p), static_cast<std::size_t>(end - p), *dst,
                    static_cast<std::size_t>(dst_end - *dst), &used, &written);
      p += used;
      *dst += written;
      cv->in_pos += static_cast<std::int64_t>(used);
      *src = reinterpret_cast<const char *>(p);
      if (p == end) break;
    } else if (*p < 0x80 && cv->kind != Kind::kUtf16LE && cv->kind != Kind::kUtf16BE &&
               (cv->kind != Kind::kTable || !cv->table->lead[*p])) {
      if (*dst == dst_end) return BTK_UCONV_NO_SPACE;
      char16_t u = cv->kind == Kind::kTable ? cv->table->single[*p] : *p;
      if (u || *p == 0) {
        *(*dst)++ = u;
        ++p;
        ++cv->in_pos;
        *src = reinterpret_cast<const char *>(p);
        continue;
      }
    }
    char32_t cp = kBadChar;
    int k = decode_one(cv, p, end, &cp);
    if (k == kUtfIncomplete) {
      std::size_t rest = static_cast<std::size_t>(end - p);
      if (!flush && rest <= sizeof cv->carry) {
        std::memcpy(cv->carry, p, rest);
        cv->carry_len = rest;
        *src = src_end;
        return BTK_UCONV_OK;
      }
      k = static_cast<int>(rest);
      cp = kBadChar;
    }
    if (cp == kBadChar) {
      if (!substituting(cv)) {
        set_error(cv, cv->in_pos, k);
        cv->in_pos += k;
        *src = reinterpret_cast<const char *>(p + k);
        return BTK_UCONV_INVALID;
      }
      cp = 0xFFFD;
    }
    if (!put_char(cp, dst, dst_end)) return BTK_UCONV_NO_SPACE;
    p += k;
    cv->in_pos += k;
    *src = reinterpret_cast<const char *>(p);
  }
  if (flush && cv->carry_len) {
    std::size_t k = cv->carry_len;
    cv->carry_len = 0;
    if (!substituting(cv)) {
      set_error(cv, cv->in_pos, static_cast<std::int64_t>(k));
      cv->in_pos += static_cast<std::int64_t>(k);
      return BTK_UCONV_INVALID;
    }
    if (!put_char(0xFFFD, dst, dst_end)) {
      cv->carry_len = k;
      return BTK_UCONV_NO_SPACE;
    }
    cv->in_pos += static_cast<std::int64_t>(k);
  }
  return BTK_UCONV_OK;
}

// Bad input at the decoder's position: substitute or report. `k` bytes
// are skipped; the caller has already moved past them.
int bad_input(btkUConv *cv, std::size_t k, kw_wchar **dst, kw_wchar *dst_end) {
  if (substituting(cv)) {
    if (!put_char(0xFFFD, dst, dst_end)) return BTK_UCONV_NO_SPACE;
    cv->in_pos += static_cast<std::int64_t>(k);
    return BTK_UCONV_OK;
  }
  set_error(cv, cv->in_pos, static_cast<std::int64_t>(k));
  cv->in_pos += static_cast<std::int64_t>(k);
  return BTK_UCONV_INVALID;
}

// Runs the decoder over [*ip, *ip + *il) into the output; returns 0 or the
// errno of the stop.
int run_decoder(btkUConv *cv, char **ip, std::size_t *il, kw_wchar **dst, kw_wchar *dst_end) {
  char *op = reinterpret_cast<char *>(*dst);
  std::size_t ol = static_cast<std::size_t>(dst_end - *dst) * 2;
  char *start = *ip;
  std::size_t r = iconv(cv->decoder, ip, il, &op, &ol);
  int err = r == static_cast<std::size_t>(-1) ? errno : 0;
  *dst = reinterpret_cast<kw_wchar *>(op);
  cv->in_pos += *ip - start;
  return err;
}

// Decoding through iconv. iconv keeps no partial input, so an incomplete
// tail goes to `carry`; the next chunk feeds it one byte at a time until
// it forms a character.
int to_pivot_iconv(btkUConv *cv, const char **src, const char *src_end, kw_wchar **dst,
                   kw_wchar *dst_end, int flush) {
  while (cv->carry_len) {
    char *ip = reinterpret_cast<char *>(cv->carry);
    std::size_t il = cv->carry_len;
    int err = run_decoder(cv, &ip, &il, dst, dst_end);
    std::size_t done = cv->carry_len - il;
    std::memmove(cv->carry, cv->carry + done, il);
    cv->carry_len = il;
    if (err == 0) break;
    if (err == E2BIG) return BTK_UCONV_NO_SPACE;
    if (err == EINVAL) {
      if (*src == src_end) {
        if (!flush) return BTK_UCONV_OK;
        std::size_t k = cv->carry_len;
        cv->carry_len = 0;
        int rc = bad_input(cv, k, dst, dst_end);
        if (rc == BTK_UCONV_NO_SPACE) cv->carry_len = k;
        return rc;
      }
      if (cv->carry_len < sizeof cv->carry) {
        cv->carry[cv->carry_len++] = static_cast<unsigned char>(*(*src)++);
        continue;
      }
    }
    // An illegal sequence (or one longer than any character): skip a byte.
    if (substituting(cv) && *dst == dst_end) return BTK_UCONV_NO_SPACE;
    std::memmove(cv->carry, cv->carry + 1, --cv->carry_len);
    iconv(cv->decoder, nullptr, nullptr, nullptr, nullptr);
    int rc = bad_input(cv, 1, dst, dst_end);
    if (rc != BTK_UCONV_OK) return rc;
  }
  while (*src < src_end) {
    char *ip = const_cast<char *>(*src);
    std::size_t il = static_cast<std::size_t>(src_end - *src);
    int err = run_decoder(cv, &ip, &il, dst, dst_end);
    *src = ip;
    if (err == 0) break;
    if (err == E2BIG) return BTK_UCONV_NO_SPACE;
    if (err == EINVAL && il <= sizeof cv->carry) {
      if (!flush) {
        std::memcpy(cv->carry, ip, il);
        cv->carry_len = il;
        *src = src_end;
        return BTK_UCONV_OK;
      }
      int rc = bad_input(cv, il, dst, dst_end);
      if (rc != BTK_UCONV_NO_SPACE) *src = src_end;
      return rc;
    }
    if (substituting(cv) && *dst == dst_end) return BTK_UCONV_NO_SPACE;
    iconv(cv->decoder, nullptr, nullptr, nullptr, nullptr);
    int rc = bad_input(cv, 1, dst, dst_end);
    *src += 1;
    if (rc != BTK_UCONV_OK) return rc;
  }
  return BTK_UCONV_OK;
}

// Encodes one code point with iconv; the byte count, 0 when unmappable,
// -1 when the output has no room.
int encode_iconv(btkUConv *cv, char32_t cp, char *out, std::size_t room) {
  char16_t u[2];
  int n = utf16_encode(cp, u);
  char *ip = reinterpret_cast<char *>(u);
  std::size_t il = static_cast<std::size_t>(n) * 2;
  char *op = out;
  std::size_t ol = room;
  std::size_t r = iconv(cv->encoder, &ip, &il, &op, &ol);
  if (r == static_cast<std::size_t>(-1)) {
    if (errno == E2BIG) return -1;
    return 0;
  }
  return static_cast<int>(op - out);
}

btkUConv *make(Kind kind, int flags, int32_t *status) {
  auto *cv = new (std::nothrow) btkUConv();
  if (!cv) {
    if (status) *status = BTK_UNI_E_NO_SPACE;
    return nullptr;
  }
  cv->kind = kind;
  cv->flags = flags;
  if (status) *status = 0;
  return cv;
}

std::string normalize(const char *name) {
  std::string s;
  for (const char *p = name; *p; ++p)
    if (*p != '-' && *p != '_' && *p != ' ')
      s.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
  return s;
}

}  // namespace

KW_API btkUConv *btkUConv_CreateCP(int32_t code_page, int flags, int32_t *status) {
  switch (code_page) {
    case BTK_CP_UTF8:
      return make(Kind::kUtf8, flags, status);
    case BTK_CP_UTF16LE:
      return make(Kind::kUtf16LE, flags, status);
    case BTK_CP_UTF16BE:
      return make(Kind::kUtf16BE, flags, status);
    case BTK_CP_EUC_JP:
    case 20932: {
      btkUConv *cv = make(Kind::kEucJp, flags, status);
      if (cv) cv->euc = &euc_tables();
      return cv;
    }
    default:
      break;
  }
  if (const DbcsTable *t = dbcs_table(code_page)) {
    btkUConv *cv = make(Kind::kTable, flags, status);
    if (cv) cv->table = t;
    return cv;
  }
  const char *name = code_page_iconv_name(code_page);
  if (!name) {
    if (status) *status = BTK_UNI_E_UNSUPPORTED;
    return nullptr;
  }
  return btkUConv_Create(name, flags, status);
}

KW_API btkUConv *btkUConv_Create(const char *encoding, int flags, int32_t *status) {
  if (!encoding || !*encoding) {
    if (status) *status = BTK_UNI_E_ARG;
    return nullptr;
  }
  char *end = nullptr;
  long cp = std::strtol(encoding, &end, 10);
  if (end && *end == 0 && cp > 0 && cp < 100000)
    return btkUConv_CreateCP(static_cast<int32_t>(cp), flags, status);
  std::string n = normalize(encoding);
  if (n == "UTF8") return btkUConv_CreateCP(BTK_CP_UTF8, flags, status);
  if (n == "UTF16LE" || n == "UTF16") return btkUConv_CreateCP(BTK_CP_UTF16LE, flags, status);
  if (n == "UTF16BE") return btkUConv_CreateCP(BTK_CP_UTF16BE, flags, status);
  if (n == "EUCJP") return btkUConv_CreateCP(BTK_CP_EUC_JP, flags, status);
  if (n == "CP932" || n == "SHIFTJIS" || n == "SJIS" || n == "WINDOWS31J" || n == "MSKANJI")
    return btkUConv_CreateCP(932, flags, status);
  if (n.rfind("CP", 0) == 0 || n.rfind("WINDOWS", 0) == 0) {
    std::size_t at = n[0] == 'C' ? 2 : 7;
    char *e = nullptr;
    long num = std::strtol(n.c_str() + at, &e, 10);
    if (e && *e == 0 && dbcs_table(static_cast<int>(num)))
      return btkUConv_CreateCP(static_cast<int32_t>(num), flags, status);
  }
  iconv_t dec = iconv_open("UTF-16LE", encoding);
  iconv_t enc = iconv_open(encoding, "UTF-16LE");
  if (dec == kNoIconv || enc == kNoIconv) {
    if (dec != kNoIconv) iconv_close(dec);
    if (enc != kNoIconv) iconv_close(enc);
    if (status) *status = BTK_UNI_E_UNSUPPORTED;
    return nullptr;
  }
  btkUConv *cv = make(Kind::kIconv, flags, status);
  if (!cv) {
    iconv_close(dec);
    iconv_close(enc);
    return nullptr;
  }
  cv->decoder = dec;
  cv->encoder = enc;
  return cv;
}

KW_API int btkUConv_ToPivot(btkUConv *cv, const char **src, const char *src_end, kw_wchar **dst,
                            kw_wchar *dst_end, int flush) {
  if (!cv || !src || !dst || (!*src && src_end) || src_end < *src || dst_end < *dst)
    return BTK_UNI_E_ARG;
  if (cv->kind == Kind::kIconv) {
    int rc = to_pivot_iconv(cv, src, src_end, dst, dst_end, flush);
    if (rc == BTK_UCONV_OK && flush && cv->carry_len) {
      std::size_t k = cv->carry_len;
      cv->carry_len = 0;
      if (!substituting(cv)) {
        set_error(cv, cv->in_pos, static_cast<std::int64_t>(k));
        cv->in_pos += static_cast<std::int64_t>(k);
        return BTK_UCONV_INVALID;
      }
      if (!put_char(0xFFFD, dst, dst_end)) {
        cv->carry_len = k;
        return BTK_UCONV_NO_SPACE;
      }
    }
    return rc;
  }
  return to_pivot_own(cv, src, src_end, dst, dst_end, flush);
}

KW_API int btkUConv_FromPivot(btkUConv *cv, const kw_wchar **src, const kw_wchar *src_end,
                              char **dst, char *dst_end, int flush) {
  if (!cv || !src || !dst || (!*src && src_end) || src_end < *src || dst_end < *dst)
    return BTK_UNI_E_ARG;
  const kw_wchar *p = *src;
  if (cv->pending_len) {
    std::size_t room = static_cast<std::size_t>(dst_end - *dst);
    std::size_t k = room < cv->pending_len ? room : cv->pending_len;
    std::memcpy(*dst, cv->pending, k);
    *dst += k;
    std::memmove(cv->pending, cv->pending + k, cv->pending_len - k);
    cv->pending_len -= k;
    if (cv->pending_len) return BTK_UCONV_NO_SPACE;
  }
  for (;;) {
    char32_t cp = 0;
    int used;       // units of this chunk the character takes
    int from_high;  // 1 when it starts with the pending high surrogate
    if (cv->high) {
      from_high = 1;
      if (p == src_end) {
        if (!flush) break;
        used = 0;
        cp = kBadChar;
      } else if (is_low_surrogate(*p)) {
        cp = 0x10000 + ((static_cast<char32_t>(cv->high) - 0xD800) << 10) + (*p - 0xDC00);
        used = 1;
      } else {
        used = 0;
        cp = kBadChar;
      }
    } else {
      from_high = 0;
      if (p == src_end) break;
      int k = utf16_decode(p, src_end, &cp);
      if (k == kUtfIncomplete) {
        if (!flush) {
          cv->high = *p++;
          ++cv->u16_pos;
          continue;
        }
        k = 1;
        cp = kBadChar;
      } else if (k < 0) {
        k = 1;
        cp = kBadChar;
      }
      used = k;
    }
    unsigned char buf[16];
    int n;
    bool invalid = cp == kBadChar;
    if (!invalid) {
      if (cv->kind == Kind::kIconv) {
        n = encode_iconv(cv, cp, reinterpret_cast<char *>(buf), sizeof buf);
        if (n < 0) n = 0;
      } else {
        n = encode_one(cv, cp, buf);
      }
    } else {
      n = 0;
    }
    if (n == 0) {
      if (!substituting(cv)) {
        std::int64_t at = cv->u16_pos - from_high;
        set_error(cv, at, used + from_high);
        cv->u16_pos += used;
        cv->high = 0;
        *src = p + used;
        return BTK_UCONV_INVALID;
      }
      if (cv->kind == Kind::kUtf8 || cv->kind == Kind::kUtf16LE || cv->kind == Kind::kUtf16BE)
        n = encode_one(cv, 0xFFFD, buf);
      else {
        buf[0] = '?';
        n = 1;
      }
    }
    std::size_t room = static_cast<std::size_t>(dst_end - *dst);
    std::size_t k = room < static_cast<std::size_t>(n) ? room : static_cast<std::size_t>(n);
    std::memcpy(*dst, buf, k);
    *dst += k;
    cv->high = 0;
    p += used;
    cv->u16_pos += used;
    *src = p;
    if (k < static_cast<std::size_t>(n)) {
      cv->pending_len = static_cast<std::size_t>(n) - k;
      std::memcpy(cv->pending, buf + k, cv->pending_len);
      return BTK_UCONV_NO_SPACE;
    }
  }
  *src = p;
  if (flush && cv->kind == Kind::kIconv) {
    // Stateful encodings return to their initial shift state.
    char tmp[sizeof cv->pending];
    char *op = tmp;
    std::size_t ol = sizeof tmp;
    iconv(cv->encoder, nullptr, nullptr, &op, &ol);
    std::size_t n = static_cast<std::size_t>(op - tmp);
    std::size_t room = static_cast<std::size_t>(dst_end - *dst);
    std::size_t k = room < n ? room : n;
    std::memcpy(*dst, tmp, k);
    *dst += k;
    if (k < n) {
      cv->pending_len = n - k;
      std::memcpy(cv->pending, tmp + k, cv->pending_len);
      return BTK_UCONV_NO_SPACE;
    }
  }
  return BTK_UCONV_OK;
}

KW_API int btkUConv_TranscodeEx(btkUConv *to, btkUConv *from, char **dst, char *dst_end,
                                const char **src, const char *src_end, kw_wchar *pivot_start,
                                kw_wchar **pivot_source, kw_wchar **pivot_target,
                                kw_wchar *pivot_limit, int reset, int flush) {
  if (!to || !from || !dst || !src || !pivot_start || !pivot_source || !pivot_target ||
      pivot_limit - pivot_start < 2)
    return BTK_UNI_E_ARG;
  if (reset) {
    btkUConv_Reset(to);
    btkUConv_Reset(from);
    *pivot_source = *pivot_target = pivot_start;
  }
  for (;;) {
    if (*pivot_source < *pivot_target || to->pending_len) {
      const kw_wchar *ps = *pivot_source;
      int rc = btkUConv_FromPivot(to, &ps, *pivot_target, dst, dst_end, 0);
      *pivot_source = const_cast<kw_wchar *>(ps);
      if (rc != BTK_UCONV_OK) return rc;
    }
    *pivot_source = *pivot_target = pivot_start;
    if (*src == src_end) break;
    int rc = btkUConv_ToPivot(from, src, src_end, pivot_target, pivot_limit, flush);
    if (rc == BTK_UCONV_INVALID) return rc;
    if (rc == BTK_UCONV_OK && *pivot_target == pivot_start) break;
  }
  if (flush) {
    int rc = btkUConv_ToPivot(from, src, src_end, pivot_target, pivot_limit, 1);
    if (rc != BTK_UCONV_OK) return rc;
    const kw_wchar *ps = *pivot_source;
    rc = btkUConv_FromPivot(to, &ps, *pivot_target, dst, dst_end, 1);
    *pivot_source = const_cast<kw_wchar *>(ps);
    if (rc != BTK_UCONV_OK) return rc;
    *pivot_source = *pivot_target = pivot_start;
  }
  return BTK_UCONV_OK;
}

KW_API int btkUConv_LastError(const btkUConv *cv, int64_t *offset, int32_t *length) {
  if (!cv || !cv->has_error) return 0;
  if (offset) *offset = cv->error_offset;
  if (length) *length = cv->error_length;
  return 1;
}

KW_API void btkUConv_Reset(btkUConv *cv) {
  if (!cv) return;
  cv->carry_len = 0;
  cv->high = 0;
  cv->pending_len = 0;
  cv->in_pos = 0;
  cv->u16_pos = 0;
  cv->has_error = false;
  if (cv->decoder != kNoIconv) iconv(cv->decoder, nullptr, nullptr, nullptr, nullptr);
  if (cv->encoder != kNoIconv) iconv(cv->encoder, nullptr, nullptr, nullptr, nullptr);
}

KW_API void btkUConv_Dispose(btkUConv *cv) {
  if (!cv) return;
  if (cv->decoder != kNoIconv) iconv_close(cv->decoder);
  if (cv->encoder != kNoIconv) iconv_close(cv->encoder);
  delete cv;
}
