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

int cat_one(const std::string &name, int32_t from, int32_t to) {
  vex_file *f = pfa_alloc_file(name.c_str());
  if (!f) return kw_fail("cat", 1, name + ": not a file name");
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
    "taken to be in the session encoding, or in ENC with --from. Encodings are\n"
    "those of kw conv. Characters the target lacks print as '?'. A file that\n"
    "cannot be read is named on standard error and the status is 1.\n",
    run};

}  // namespace
