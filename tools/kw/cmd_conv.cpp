// kw conv: converts text files between encodings with the library's own
// converters.
#include <keelwork/btk_unicode.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"

namespace {

enum class Utf { kNone, kUtf8, kUtf16, kUtf16LE, kUtf16BE };

struct Encoding {
  const char *name;       // as accepted and reported
  const char *converter;  // for btkUConv_Create
  Utf utf;
};

constexpr Encoding kEncodings[] = {
    {"UTF-8", "UTF-8", Utf::kUtf8},
    {"UTF-16", "UTF-16LE", Utf::kUtf16},
    {"UTF-16LE", "UTF-16LE", Utf::kUtf16LE},
    {"UTF-16BE", "UTF-16BE", Utf::kUtf16BE},
    {"EUC-JP", "EUC-JP", Utf::kNone},
    {"SHIFT-JIS", "CP932", Utf::kNone},
    {"CP1250", "CP1250", Utf::kNone},
    {"CP1251", "CP1251", Utf::kNone},
    {"CP1252", "CP1252", Utf::kNone},
    {"CP1253", "CP1253", Utf::kNone},
    {"CP1254", "CP1254", Utf::kNone},
    {"ISO-8859-8", "ISO-8859-8", Utf::kNone},
    {"GBK", "GBK", Utf::kNone},
    {"BIG5", "BIG5", Utf::kNone},
    {"CP949", "CP949", Utf::kNone},
};

// Other names of the same encodings.
struct Alias {
  const char *alias, *name;
};
constexpr Alias kAliases[] = {
    {"UTF8", "UTF-8"},   {"SJIS", "SHIFT-JIS"}, {"SHIFT_JIS", "SHIFT-JIS"}, {"CP932", "SHIFT-JIS"},
    {"EUCJP", "EUC-JP"}, {"CP936", "GBK"},      {"CP950", "BIG5"},          {"UTF16", "UTF-16"}};

std::string upper(std::string s) {
  for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

const Encoding *find_encoding(const std::string &name) {
  std::string n = upper(name);
  for (const Alias &a : kAliases)
    if (n == a.alias) n = a.name;
  for (const Encoding &e : kEncodings)
    if (n == e.name) return &e;
  return nullptr;
}

// A converter closed on scope exit.
struct Converter {
  explicit Converter(const char *name) : cv(btkUConv_Create(name, 0, nullptr)) {}
  ~Converter() { btkUConv_Dispose(cv); }
  Converter(const Converter &) = delete;
  Converter &operator=(const Converter &) = delete;
  btkUConv *cv;
};

// Decodes all of `bytes` into UTF-16; on invalid input `*bad` gets the
// offset of the bad bytes and false is returned.
bool decode(const char *name, const std::string &bytes, std::u16string &out, long long *bad) {
  Converter d(name);
  if (!d.cv) return false;
  out.assign(bytes.size() + 16, u'\0');
  const char *src = bytes.data(), *end = bytes.data() + bytes.size();
  kw_wchar *dst = out.data();
  for (;;) {
    int rc = btkUConv_ToPivot(d.cv, &src, end, &dst, out.data() + out.size(), 1);
    if (rc == BTK_UCONV_OK) break;
    if (rc == BTK_UCONV_NO_SPACE) {  // more units than bytes cannot happen, but grow anyway
      std::size_t used = static_cast<std::size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      continue;
    }
    int64_t offset = 0;
    btkUConv_LastError(d.cv, &offset, nullptr);
    *bad = offset;
    return false;
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return true;
}

// The byte offset of the input where UTF-16 unit `unit` came from.
long long input_offset(const char *name, const std::string &bytes, std::size_t unit) {
  Converter d(name);
  std::u16string pivot(unit, u'\0');
  const char *src = bytes.data();
  kw_wchar *dst = pivot.data();
  btkUConv_ToPivot(d.cv, &src, bytes.data() + bytes.size(), &dst, pivot.data() + unit, 1);
  return src - bytes.data();
}

// Encodes UTF-16 into `name`; on a character the encoding lacks `*bad`
// gets its unit offset and false is returned.
bool encode(const char *name, const std::u16string &text, std::string &out, std::size_t *bad) {
  Converter e(name);
  if (!e.cv) return false;
  const kw_wchar *src = text.data(), *end = text.data() + text.size();
  char buffer[16384];
  for (;;) {
    char *dst = buffer;
    int rc = btkUConv_FromPivot(e.cv, &src, end, &dst, buffer + sizeof buffer, 1);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    if (rc == BTK_UCONV_OK) return true;
    if (rc == BTK_UCONV_NO_SPACE) continue;
    int64_t offset = 0;
    btkUConv_LastError(e.cv, &offset, nullptr);
    *bad = static_cast<std::size_t>(offset);
    return false;
  }
}

std::string bom_of(Utf utf) {
  switch (utf) {
    case Utf::kUtf8:
      return "\xEF\xBB\xBF";
    case Utf::kUtf16:
    case Utf::kUtf16LE:
      return "\xFF\xFE";
    case Utf::kUtf16BE:
      return "\xFE\xFF";
    default:
      return {};
  }
}

// Converts one input; false with `error` set when it cannot.
bool convert(const std::string &input, const Encoding &from, const Encoding &to, bool bom,
             std::string &out, std::string &error) {
  // A byte-order mark decides the byte order of UTF-16 input and is dropped.
  std::size_t skip = 0;
  const char *from_name = from.converter;
  auto starts = [&](const char *mark) { return input.compare(0, std::strlen(mark), mark) == 0; };
  if (from.utf == Utf::kUtf8 && starts("\xEF\xBB\xBF")) {
    skip = 3;
  } else if (from.utf == Utf::kUtf16 || from.utf == Utf::kUtf16LE || from.utf == Utf::kUtf16BE) {
    if (starts("\xFF\xFE")) {
      skip = 2;
      from_name = "UTF-16LE";
    } else if (starts("\xFE\xFF")) {
      skip = 2;
      from_name = "UTF-16BE";
    }
  }
  std::string body = input.substr(skip);
  std::u16string text;
  long long bad = 0;
  if (!decode(from_name, body, text, &bad)) {
    error = "invalid " + std::string(from.name) + " input at byte offset " +
            std::to_string(bad + static_cast<long long>(skip));
    return false;
  }
  std::string encoded;
  std::size_t unit = 0;
  if (!encode(to.converter, text, encoded, &unit)) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unit < text.size() ? unsigned{text[unit]} : 0u);
    error = std::string("character ") + code + " at byte offset " +
            std::to_string(input_offset(from_name, body, unit) + static_cast<long long>(skip)) +
            " has no form in " + to.name;
    return false;
  }
  if (bom || to.utf == Utf::kUtf16) out += bom_of(to.utf);
  out += encoded;
  return true;
}

bool read_all(const std::string &path, std::string &data) {
  if (path == "-") {
    data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return !std::cin.bad();
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  data = s.str();
  return !in.bad();
}

// Writes `data` to `path` through a temporary file renamed at the end, so
// that a failed run leaves no partial output.
bool write_all(const std::string &path, const std::string &data) {
  std::string temp = path + ".kwconv-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

int run(const KwArgs &args) {
  const Encoding *from = nullptr, *to = nullptr;
  std::string output;
  bool bom = false;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    auto value = [&](const char *option) -> const std::string * {
      if (i + 1 >= args.size()) {
        kw_fail("conv", 2, std::string(option) + " needs a value");
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "--from" || a == "--to") {
      const std::string *v = value(a.c_str());
      if (!v) return 2;
      const Encoding *e = find_encoding(*v);
      if (!e) return kw_fail("conv", 2, "unknown encoding '" + *v + "'");
      (a == "--from" ? from : to) = e;
    } else if (a == "-o") {
      const std::string *v = value("-o");
      if (!v) return 2;
      output = *v;
    } else if (a == "--bom") {
      bom = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return kw_fail("conv", 2, "unknown option '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (!from || !to) return kw_fail("conv", 2, "--from and --to are required");
  if (files.empty()) files.push_back("-");
  std::string result;
  for (const std::string &file : files) {
    std::string input, error;
    if (!read_all(file, input)) return kw_fail("conv", 1, "cannot read '" + file + "'");
    if (!convert(input, *from, *to, bom && result.empty(), result, error))
      return kw_fail("conv", 1,
                     (file == "-" ? std::string("standard input") : file) + ": " + error);
  }
  if (!output.empty()) {
    if (!write_all(output, result)) return kw_fail("conv", 1, "cannot write '" + output + "'");
    return 0;
  }
  std::fwrite(result.data(), 1, result.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

const KwCommand kCommand{
    "conv", "convert text files between encodings",
    "usage: kw conv --from ENC --to ENC [--bom] [-o FILE] [FILE...]\n\n"
    "Converts the FILEs (standard input when none or \"-\") from one encoding to\n"
    "another and writes the result to standard output or to FILE. Encodings:\n"
    "  UTF-8, UTF-16 (byte order from the byte-order mark, little-endian without\n"
    "  one; written little-endian with a mark), UTF-16LE, UTF-16BE, EUC-JP,\n"
    "  SHIFT-JIS, CP1250, CP1251, CP1252, CP1253, CP1254, ISO-8859-8, GBK, BIG5,\n"
    "  CP949.\n"
    "A byte-order mark at the start of UTF input is recognised and dropped; --bom\n"
    "writes one on UTF output. Invalid input, or a character the target encoding\n"
    "lacks, is reported with its byte offset in the input and nothing is written.\n",
    run};

}  // namespace
