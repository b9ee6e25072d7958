// kw cat: prints text files through the file layer, which recognises their
// byte-order marks and converts them to the session encoding (or to the
// encoding asked for with --to).
#include <keelwork/btk_unicode.h>
#include <keelwork/pfastream.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"

namespace {

// The encodings of kw conv, as file-layer encoding codes.
struct Encoding {
  const char *name;
  int32_t code;
};

constexpr Encoding kEncodings[] = {
    {"UTF-8", PFA_ENC_UTF8},
    {"UTF8", PFA_ENC_UTF8},
    {"UTF-16", PFA_ENC_UTF16LE},
    {"UTF16", PFA_ENC_UTF16LE},
    {"UTF-16LE", PFA_ENC_UTF16LE},
    {"UTF-16BE", PFA_ENC_UTF16BE},
    {"EUC-JP", BTK_CP_EUC_JP},
    {"EUCJP", BTK_CP_EUC_JP},
    {"SHIFT-JIS", 932},
    {"SHIFT_JIS", 932},
    {"SJIS", 932},
    {"CP932", 932},
    {"CP1250", 1250},
    {"CP1251", 1251},
    {"CP1252", 1252},
    {"CP1253", 1253},
    {"CP1254", 1254},
    {"ISO-8859-8", 28598},
    {"GBK", 936},
    {"CP936", 936},
    {"BIG5", 950},
    {"CP950", 950},
    {"CP949", 949},
};

bool find_encoding(std::string name, int32_t *code) {
  for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const Encoding &e : kEncodings)
    if (name == e.name) {
      *code = e.code;
      return true;
    }
  return false;
}

// Session text to `code`, substituting characters the encoding lacks.
bool convert(const std::string &text, int32_t code, std::string &out) {
  btkUConv *to = pfa_encoding_uconverter(code, BTK_UCONV_SUBSTITUTE);
  btkUConv *from = pfa_encoding_uconverter(PfaSessionEncoding(), BTK_UCONV_SUBSTITUTE);
  bool ok = to && from;
  if (ok) {
    out.assign(text.size() * 4 + 16, '\0');
    std::u16string pivot(4096, u'\0');
    const char *src = text.data();
    char *dst = out.data();
    kw_wchar *ps = pivot.data(), *pt = pivot.data();
    int rc = btkUConv_TranscodeEx(to, from, &dst, out.data() + out.size(), &src,
                                  text.data() + text.size(), pivot.data(), &ps, &pt,
                                  pivot.data() + pivot.size(), 1, 1);
    ok = rc == BTK_UCONV_OK;
    out.resize(ok ? static_cast<size_t>(dst - out.data()) : 0);
  }
  btkUConv_Dispose(to);
  btkUConv_Dispose(from);
  return ok;
}

// Whole two-byte characters of EUC-JP (with the 0x8E katakana and 0x8F
// supplementary forms) or of Shift-JIS, and some of them.
bool plausible_euc_jp(const std::string &b) {
  auto at = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0; };
  auto hi = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
  bool multibyte = false;
  for (size_t i = 0; i < b.size();) {
    unsigned char c = at(i);
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c == 0x8E && at(i + 1) >= 0xA1 && at(i + 1) <= 0xDF)
      i += 2;
    else if (c == 0x8F && hi(at(i + 1)) && hi(at(i + 2)))
      i += 3;
    else if (hi(c) && hi(at(i + 1)))
      i += 2;
    else
      return false;
    multibyte = true;
  }
  return multibyte;
}

bool plausible_shift_jis(const std::string &b) {
  bool multibyte = false;
  for (size_t i = 0; i < b.size(); ++i) {
    auto c = static_cast<unsigned char>(b[i]);
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
    if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) || i + 1 >= b.size()) return false;
    auto t = static_cast<unsigned char>(b[++i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
    multibyte = true;
  }
  return multibyte;
}

// A file without a byte-order mark in a UTF-8 session: text that is not
// UTF-8 but is whole EUC-JP or Shift-JIS is read as such; anything else is
// left to the session encoding.
int32_t guess_encoding(vex_file *f) {
  if (PfaSessionEncoding() != PFA_ENC_UTF8) return PFA_ENC_UNKNOWN;
  pfa_put_encode(f, PFA_ENC_NONE);
  if (pfa_fopen(f, PFA_VERS_OWN, "r") != 0) return PFA_ENC_UNKNOWN;
  std::string head(65536, '\0');
  int got = 0;
  if (pfa_read_file(f, static_cast<int>(head.size()), &got, head.data()) != 0) got = 0;
  pfa_close(f);
  head.resize(static_cast<size_t>(got));
  if (head.starts_with("\xEF\xBB\xBF") || head.starts_with("\xFF\xFE") ||
      head.starts_with("\xFE\xFF"))
    return PFA_ENC_UNKNOWN;
  // A full sample may end inside a character: it ends before that one.
  if (head.size() == 65536) {
    size_t end = head.size();
    while (end > 0 && (static_cast<unsigned char>(head[end - 1]) & 0xC0) == 0x80) --end;
    head.resize(end > 0 ? end - 1 : 0);
  }
  const std::string &sample = head;
  if (btkStrUtf8ToUtf16(sample.data(), static_cast<int32_t>(sample.size()), nullptr, 0, nullptr) >=
      0)
    return PFA_ENC_UNKNOWN;
  if (plausible_euc_jp(sample)) return BTK_CP_EUC_JP;
  if (plausible_shift_jis(sample)) return 932;
  return PFA_ENC_UNKNOWN;
}

int cat_one(const std::string &name, int32_t from, int32_t to) {
  vex_file *f = pfa_alloc_file(name.c_str());
  if (!f) return kw_fail("cat", 1, name + ": not a file name");
  if (from == PFA_ENC_UNKNOWN) from = guess_encoding(f);
  pfa_put_encode(f, from);
  int r = pfa_fopen(f, PFA_VERS_OWN, "r");
  if (r != 0) {
    pfa_free_vex_file(&f);
    return kw_fail("cat", 1, name + ": cannot open (" + pfa_error_to_string(r) + ")");
  }
  std::string text;
  char buf[16384];
  for (;;) {
    int got = 0;
    r = pfa_read_file(f, sizeof buf, &got, buf);
    if (r != 0) break;
    text.append(buf, static_cast<size_t>(got));
  }
  pfa_dispose(&f);
  if (r != PFA_E_QUIT)
    return kw_fail("cat", 1, name + ": read failed (" + pfa_error_to_string(r) + ")");
  if (to != PFA_ENC_SESSION && !pfa_encodings_equivalent(to, PFA_ENC_SESSION)) {
    std::string out;
    if (!convert(text, to, out)) return kw_fail("cat", 1, name + ": cannot convert");
    text.swap(out);
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int run(const KwArgs &args) {
  int32_t from = PFA_ENC_UNKNOWN, to = PFA_ENC_SESSION;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (a == "--to" || a == "--from") {
      if (i + 1 >= args.size()) return kw_fail("cat", 2, a + " needs a value");
      const std::string &v = args[++i];
      if (!find_encoding(v, a == "--to" ? &to : &from))
        return kw_fail("cat", 2, "unknown encoding '" + v + "'");
    } else if (a.size() > 1 && a[0] == '-') {
      return kw_fail("cat", 2, "unknown option '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return kw_fail("cat", 2, "no file given");
  int status = 0;
  for (const std::string &file : files)
    if (cat_one(file, from, to) != 0) status = 1;
  return std::fflush(stdout) == 0 ? status : 1;
}

const KwCommand kCommand{
    "cat", "print text files in the session encoding",
    "usage: kw cat [--from ENC] [--to ENC] FILE...\n\n"
    "Prints each FILE (a full name of the file layer) converted from its own\n"
    "encoding, found from its byte-order mark, to the session encoding (UTF-8\n"
    "unless KEELWORK_UNICODE=0), or to ENC with --to. A file without a mark is\n"
    "taken to be in ENC with --from; otherwise, in a UTF-8 session, text that\n"
    "is not UTF-8 but whole EUC-JP or Shift-JIS is read as such, and anything\n"
    "else in the session encoding. Encodings are\n"
    "those of kw conv. Characters the target lacks print as '?'. A file that\n"
    "cannot be read is named on standard error and the status is 1.\n",
    run};

}  // namespace
