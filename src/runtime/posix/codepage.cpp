// Code-page tables built from the system's iconv, the process locale's
// codeset and whole-buffer iconv conversions.
//
// The hot conversions (EUC-JP and every double-byte code page) never call
// iconv per character: each table is built once, on first use, by asking
// iconv about every code of the code page and every BMP character, and is
// then read without locks.
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"

namespace kw::runtime {
namespace {

// One iconv descriptor, closed on scope exit.
class Iconv {
 public:
  Iconv(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv &) = delete;
  Iconv &operator=(const Iconv &) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts exactly `n` bytes from a fresh state; returns the output
  // length, -1 when invalid or only partly converted, -2 when incomplete.
  int once(const void *in, std::size_t n, void *out, std::size_t cap) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char *ip = static_cast<char *>(const_cast<void *>(in));
    char *op = static_cast<char *>(out);
    std::size_t il = n, ol = cap;
    std::size_t r = iconv(cd_, &ip, &il, &op, &ol);
    if (r == static_cast<std::size_t>(-1)) return errno == EINVAL ? -2 : -1;
    // Flush any shift state so that stateful encodings finish their output.
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1)) return -1;
    if (il != 0) return -1;
    // Non-reversible conversions (iconv's approximations) are not mappings.
    if (r != 0) return -1;
    return static_cast<int>(cap - ol);
  }
  iconv_t get() { return cd_; }

 private:
  iconv_t cd_;
};

// Decodes `n` bytes of `cd` (to UTF-16LE) into one BMP unit; 0 when they are
// not exactly one mapped BMP character, 0xFFFF when incomplete.
char16_t decode_one(Iconv &cd, const unsigned char *b, std::size_t n) {
  unsigned char out[8];
  int k = cd.once(b, n, out, sizeof out);
  if (k == -2) return 0xFFFF;
  if (k != 2) return 0;
  char16_t u = static_cast<char16_t>(out[0] | (out[1] << 8));
  return (u >= 0xD800 && u <= 0xDFFF) || u == 0xFFFF ? 0 : u;
}

// Encodes one BMP unit with `cd` (from UTF-16LE); returns the byte count
// (0 when unmappable) and the bytes in `out`.
int encode_one(Iconv &cd, char16_t u, unsigned char *out, std::size_t cap) {
  unsigned char in[2] = {static_cast<unsigned char>(u & 0xFF), static_cast<unsigned char>(u >> 8)};
  int k = cd.once(in, 2, out, cap);
  return k > 0 ? k : 0;
}

EucTables *build_euc() {
  auto *t = new (std::nothrow) EucTables();
  if (!t) return nullptr;
  Iconv dec("UTF-16LE", "EUC-JP");
  Iconv enc("EUC-JP", "UTF-16LE");
  if (!dec.ok() || !enc.ok()) return t;  // empty tables: nothing maps
  for (int r = 0; r < 94; ++r) {
    for (int c = 0; c < 94; ++c) {
      unsigned char b[3] = {static_cast<unsigned char>(0xA1 + r),
                            static_cast<unsigned char>(0xA1 + c), 0};
      char16_t u = decode_one(dec, b, 2);
      t->jis0208[r * 94 + c] = u == 0xFFFF ? 0 : u;
      unsigned char b3[3] = {0x8F, b[0], b[1]};
      u = decode_one(dec, b3, 3);
      t->jis0212[r * 94 + c] = u == 0xFFFF ? 0 : u;
    }
  }
  for (unsigned u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    unsigned char out[8];
    int k = encode_one(enc, static_cast<char16_t>(u), out, sizeof out);
    std::uint16_t code = 0;
    if (k == 1 && out[0] < 0x80) {
      code = out[0];
    } else if (k == 2 && out[0] == 0x8E) {
      code = out[1];
    } else if (k == 2 && out[0] >= 0xA1) {
      code = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
    } else if (k == 3 && out[0] == 0x8F) {
      code = static_cast<std::uint16_t>(out[1] << 8 | (out[2] & 0x7F));
    }
    t->from_unicode[u] = code;
  }
  // Windows' code page 932 names a few JIS characters differently; text
  // that went through it must still reach EUC-JP.
  static const char16_t kVariants[][2] = {
      {0xFF0D, 0x2212}, {0x2015, 0x2014}, {0x2225, 0x2016}, {0xFF5E, 0x301C}, {0xFFE4, 0x00A6}};
  for (const auto &v : kVariants)
    if (!t->from_unicode[v[0]]) t->from_unicode[v[0]] = t->from_unicode[v[1]];
  return t;
}

struct CodePageName {
  int code_page;
  const char *name;
};

constexpr CodePageName kCodePages[] = {
    {932, "CP932"},      {936, "GBK"},       {949, "CP949"},        {950, "BIG5"},
    {1250, "CP1250"},    {1251, "CP1251"},   {1252, "CP1252"},      {1253, "CP1253"},
    {1254, "CP1254"},    {1255, "CP1255"},   {28591, "ISO-8859-1"}, {28598, "ISO-8859-8"},
    {20932, "EUC-JP"},   {51932, "EUC-JP"},  {51936, "EUC-CN"},     {51949, "EUC-KR"},
    {65001, "UTF-8"},    {1200, "UTF-16LE"}, {1201, "UTF-16BE"},    {12000, "UTF-32LE"},
    {12001, "UTF-32BE"}, {20127, "ASCII"},
};

// Code pages that the table codec serves (single and double byte).
constexpr int kTableCodePages[] = {932,  936,  949,  950,  1250,  1251,
                                   1252, 1253, 1254, 1255, 28591, 28598};
constexpr std::size_t kTableCount = sizeof kTableCodePages / sizeof kTableCodePages[0];

DbcsTable *build_dbcs(int code_page, const char *name) {
  Iconv dec("UTF-16LE", name);
  Iconv enc(name, "UTF-16LE");
  if (!dec.ok() || !enc.ok()) return nullptr;
  auto *t = new (std::nothrow) DbcsTable();
  if (!t) return nullptr;
  t->code_page = code_page;
  for (unsigned b = 1; b < 256; ++b) {
    unsigned char in[1] = {static_cast<unsigned char>(b)};
    char16_t u = decode_one(dec, in, 1);
    if (u == 0xFFFF)
      t->lead[b] = true;
    else
      t->single[b] = u;
  }
  for (unsigned lead = 0x80; lead < 256; ++lead) {
    if (!t->lead[lead]) continue;
    for (unsigned trail = 0x21; trail < 256; ++trail) {
      unsigned char in[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
      char16_t u = decode_one(dec, in, 2);
      t->pair[lead << 8 | trail] = u == 0xFFFF ? 0 : u;
    }
  }
  for (unsigned u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    unsigned char out[8];
    int k = encode_one(enc, static_cast<char16_t>(u), out, sizeof out);
    if (k == 1)
      t->from_unicode[u] = out[0];
    else if (k == 2 && t->lead[out[0]])
      t->from_unicode[u] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
  }
  return t;
}

std::once_flag g_euc_once;
EucTables *g_euc;
std::once_flag g_table_once[kTableCount];
DbcsTable *g_tables[kTableCount];

}  // namespace

const EucTables &euc_tables() {
  std::call_once(g_euc_once, [] { g_euc = build_euc(); });
  if (!g_euc) {
    static const EucTables *empty = new EucTables();
    return *empty;
  }
  return *g_euc;
}

const char *code_page_iconv_name(int code_page) {
  for (const auto &c : kCodePages)
    if (c.code_page == code_page) return c.name;
  return nullptr;
}

const DbcsTable *dbcs_table(int code_page) {
  for (std::size_t i = 0; i < kTableCount; ++i) {
    if (kTableCodePages[i] != code_page) continue;
    std::call_once(g_table_once[i], [i, code_page] {
      g_tables[i] = build_dbcs(code_page, code_page_iconv_name(code_page));
    });
    return g_tables[i];
  }
  return nullptr;
}

std::string native_codeset() {
  const char *cs = nl_langinfo(CODESET);
  return cs && *cs ? cs : "UTF-8";
}

bool native_is_utf8() {
  const char *cs = nl_langinfo(CODESET);
  if (!cs || !*cs) return true;
  // The plain C locale reports ASCII; Linux file names and terminals are
  // UTF-8 there too, and ASCII is a subset of it.
  return strcasecmp(cs, "UTF-8") == 0 || strcasecmp(cs, "UTF8") == 0 ||
         strcmp(cs, "ANSI_X3.4-1968") == 0 || strcasecmp(cs, "ASCII") == 0;
}

bool iconv_whole(const char *from, const char *to, const char *src, std::size_t n, std::string &out,
                 int subst, std::size_t *bad_offset) {
  Iconv cd(to, from);
  if (!cd.ok()) return false;
  out.clear();
  char *ip = const_cast<char *>(src);
  std::size_t il = n;
  char buf[1024];
  bool utf16_in = std::strncmp(from, "UTF-16", 6) == 0;
  while (il > 0) {
    char *op = buf;
    std::size_t ol = sizeof buf;
    std::size_t r = iconv(cd.get(), &ip, &il, &op, &ol);
    out.append(buf, static_cast<std::size_t>(op - buf));
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ on UTF-16 input (already validated) is an unmappable
    // character; anything else is invalid input.
    if (errno == EILSEQ && utf16_in && subst > 0 && subst < 0x80 && il >= 2) {
      out.push_back(static_cast<char>(subst));
      unsigned u = static_cast<unsigned char>(ip[0]) | static_cast<unsigned char>(ip[1]) << 8;
      std::size_t skip = (u >= 0xD800 && u <= 0xDBFF && il >= 4) ? 4 : 2;
      ip += skip;
      il -= skip;
      continue;
    }
    if (bad_offset) *bad_offset = static_cast<std::size_t>(ip - src);
    return false;
  }
  char *op = buf;
  std::size_t ol = sizeof buf;
  iconv(cd.get(), nullptr, nullptr, &op, &ol);
  out.append(buf, static_cast<std::size_t>(op - buf));
  return true;
}

}  // namespace kw::runtime
