// File streams: opening with versions, notifications and substitutes;
// reading and writing in every encoding with byte-order marks; line reads
// cut at every buffer boundary; positions of transcoding streams; the
// standard streams, formatted I/O, wide characters and pfaFileBuf.
#include <gtest/gtest.h>
#include <keelwork/btk_os.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/notify.h>
#include <keelwork/pfadir.h>
#include <keelwork/pfastream.h>
#include <keelwork/pfafilebuf.hpp>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

const std::string kText =
    "plain line\nkana \xE3\x81\x8B\xE3\x81\xAA and \xC3\xA9t\xC3\xA9\n"
    "emoji \xF0\x9F\x98\x80 end\nno newline";

std::string utf16(const std::string &utf8, bool le) {
  std::u16string w(utf8.size() + 1, u'\0');
  int n = btkStrUtf8ToUtf16(utf8.c_str(), -1, w.data(), static_cast<int>(w.size()), nullptr);
  std::string out;
  for (int i = 0; i < n; ++i) {
    unsigned u = w[i];
    out += static_cast<char>(le ? u & 0xFF : u >> 8);
    out += static_cast<char>(le ? u >> 8 : u & 0xFF);
  }
  return out;
}

std::string utf32le(const std::string &utf8) {
  std::u16string w(utf8.size() + 1, u'\0');
  int n = btkStrUtf8ToUtf16(utf8.c_str(), -1, w.data(), static_cast<int>(w.size()), nullptr);
  std::string out;
  for (int i = 0; i < n; ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF) c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
    for (int k = 0; k < 4; ++k) out += static_cast<char>((c >> (8 * k)) & 0xFF);
  }
  return out;
}

std::string euc(const std::string &utf8) {
  std::string out(utf8.size() * 2 + 4, '\0');
  int n = btkStrUtf8ToEuc(utf8.c_str(), -1, out.data(), static_cast<int>(out.size()), '?', nullptr);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

class Streams : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kw_stream_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    btkUnicodeSetEnabled(1);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string path(const std::string &name) const { return root_ + "/" + name; }
  void put(const std::string &name, const std::string &bytes) {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string get(const std::string &name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  vex_file *open(const std::string &name, const char *mode, int32_t encoding = PFA_ENC_UNKNOWN) {
    vex_file *f = pfa_alloc_file(path(name).c_str());
    EXPECT_NE(f, nullptr);
    if (!f) return nullptr;
    pfa_put_encode(f, encoding);
    int r = pfa_fopen(f, PFA_VERS_OWN, mode);
    EXPECT_EQ(r, 0) << name << " " << mode;
    if (r != 0) pfa_free_vex_file(&f);
    return f;
  }
  // Every line of the file through pfa_fgets with a buffer of `size`.
  std::vector<std::string> lines(vex_file *f, int size) {
    std::vector<std::string> out;
    std::vector<char> buf(static_cast<size_t>(size));
    for (int guard = 0; guard < 1000000; ++guard) {
      int count = -1;
      int r = pfa_fgets(f, size, &count, buf.data());
      if (r == PFA_E_QUIT) {
        EXPECT_EQ(count, 0);
        break;
      }
      EXPECT_EQ(r, 0);
      if (r != 0) break;
      EXPECT_EQ(static_cast<size_t>(count), std::strlen(buf.data()));
      out.emplace_back(buf.data(), static_cast<size_t>(count));
    }
    return out;
  }
  std::string read_all(const std::string &name, int size, int32_t encoding = PFA_ENC_UNKNOWN) {
    vex_file *f = open(name, "r", encoding);
    if (!f) return "<open failed>";
    std::string all;
    for (const auto &piece : lines(f, size)) all += piece;
    pfa_dispose(&f);
    return all;
  }
  std::string root_;
};

TEST_F(Streams, APIExamples) {
  vex_file *out = pfa_fopen_file(path("notes.txt").c_str(), "w");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(pfa_fputs(out, "first\n"), 0);
  EXPECT_EQ(pfa_fprintf(out, "%d %s\n", 42, "second"), 0);
  EXPECT_EQ(pfa_dispose(&out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(get("notes.txt"),
            "\xEF\xBB\xBF"
            "first\n42 second\n");

  vex_file *in = pfa_fopen_file(path("notes.txt").c_str(), "r");
  ASSERT_NE(in, nullptr);
  char line[64];
  int count = 0;
  ASSERT_EQ(pfa_fgets(in, sizeof line, &count, line), 0);
  EXPECT_STREQ(line, "first\n");
  int n = 0;
  char word[16];
  EXPECT_EQ(pfa_fscanf(in, "%d %15s", &n, word), 0);
  EXPECT_EQ(n, 42);
  EXPECT_STREQ(word, "second");
  EXPECT_EQ(pfa_fgets(in, sizeof line, &count, line), PFA_E_QUIT);
  EXPECT_EQ(pfa_close(in), 0);
  EXPECT_EQ(pfa_close(in), PFA_E_INACTIVE);
  pfa_free_vex_file(&in);
}

// Each file is read back as the session's UTF-8 whatever its encoding; the
// mark is never delivered.
TEST_F(Streams, ReadsEveryEncodingAsSessionText) {
  struct Row {
    const char *name;
    std::string bytes;
    int32_t encoding;
  } rows[] = {
      {"utf8_bom", "\xEF\xBB\xBF" + kText, PFA_ENC_UNKNOWN},
      {"utf8_plain", kText, PFA_ENC_UNKNOWN},
      {"utf16le", std::string("\xFF\xFE", 2) + utf16(kText, true), PFA_ENC_UNKNOWN},
      {"utf16be", std::string("\xFE\xFF", 2) + utf16(kText, false), PFA_ENC_UNKNOWN},
      {"utf32le", std::string("\xFF\xFE\0\0", 4) + utf32le(kText), PFA_ENC_UNKNOWN},
      {"utf16le_nobom", utf16(kText, true), PFA_ENC_UTF16LE},
      {"always_mark", std::string("\xFE\xFF", 2) + utf16(kText, false), PFA_ENC_UTF16LE},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    put(row.name, row.bytes);
    EXPECT_EQ(read_all(row.name, 256, row.encoding), kText);
    EXPECT_EQ(read_all(row.name, 3, row.encoding), kText);
  }
  // EUC-JP text (no emoji: EUC-JP lacks it) named by its code page.
  std::string jp = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E line\n\xEF\xBD\xB1 kana\n";
  put("euc", euc(jp));
  EXPECT_EQ(read_all("euc", 5, BTK_CP_EUC_JP), jp);
  // Binary opens pass bytes unchanged, mark included.
  vex_file *f = open("utf16le", "rb");
  ASSERT_NE(f, nullptr);
  char head[2];
  int count = 0;
  EXPECT_EQ(pfa_read_file(f, 2, &count, head), 0);
  EXPECT_EQ(std::string(head, 2), "\xFF\xFE");
  pfa_dispose(&f);
}

// A line buffer that ends inside a character: the character comes whole
// with the next call, for the direct path and for transcoding across the
// decoder's batches.
TEST_F(Streams, LineReadsNeverSplitCharacters) {
  std::string text;
  for (int i = 0; i < 700; ++i) {
    text += std::string(static_cast<size_t>(i % 7), 'a');
    text += i % 3 ? "\xE3\x81\x8B" : "\xF0\x9F\x98\x80";
    if (i % 11 == 0) text += "\n";
  }
  put("direct", text);
  put("utf16", std::string("\xFF\xFE", 2) + utf16(text, true));
  for (const char *name : {"direct", "utf16"}) {
    for (int size = 2; size <= 9; ++size) {
      SCOPED_TRACE(std::string(name) + " size " + std::to_string(size));
      vex_file *f = open(name, "r");
      ASSERT_NE(f, nullptr);
      std::string all;
      for (const auto &piece : lines(f, size)) {
        // Only a buffer too small for one character may deliver a part.
        int32_t used = 0;
        std::u16string w(piece.size() + 2, u'\0');
        int n = btkStrUtf8ToUtf16(piece.c_str(), static_cast<int32_t>(piece.size()), w.data(),
                                  static_cast<int32_t>(w.size()), &used);
        if (size >= 5) {
          EXPECT_GE(n, 0) << "split character in [" << piece << "]";
        }
        all += piece;
      }
      EXPECT_EQ(all, text);
      pfa_dispose(&f);
    }
  }
}

// The position before each line, set again later, reads the same line; on
// a UTF-16 file positions count the file's bytes.
TEST_F(Streams, PositionsOfTranscodingStreams) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + " \xE3\x81\x8B\n";
  put("pos16", std::string("\xFF\xFE", 2) + utf16(text, true));
  put("poseuc", euc(text));
  struct Row {
    const char *name;
    int32_t encoding;
  } rows[] = {{"pos16", PFA_ENC_UNKNOWN}, {"poseuc", BTK_CP_EUC_JP}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    vex_file *f = open(row.name, "r", row.encoding);
    ASSERT_NE(f, nullptr);
    std::vector<std::pair<int64_t, std::string>> seen;
    char buf[128];
    int count = 0;
    for (;;) {
      int64_t at = -1;
      ASSERT_EQ(pfa_get_file_position(f, &at), 0);
      if (pfa_fgets(f, sizeof buf, &count, buf) != 0) break;
      seen.emplace_back(at, buf);
    }
    ASSERT_EQ(seen.size(), 300u);
    if (row.encoding == PFA_ENC_UNKNOWN) {
      EXPECT_EQ(seen[0].first, 2);          // after the mark
      EXPECT_EQ(seen[1].first, 2 + 2 * 9);  // "line 0 か\n" is 9 units
      EXPECT_EQ(seen[299].first + 2 * 11, static_cast<int64_t>(get(row.name).size()));
    }
    for (size_t i : {size_t{250}, size_t{3}, size_t{0}, size_t{177}}) {
      ASSERT_EQ(pfa_set_file_position(f, seen[i].first), 0);
      ASSERT_EQ(pfa_fgets(f, sizeof buf, &count, buf), 0);
      EXPECT_EQ(buf, seen[i].second) << i;
    }
    ASSERT_EQ(pfa_rewind_file(f), 0);
    ASSERT_EQ(pfa_fgets(f, sizeof buf, &count, buf), 0);
    EXPECT_EQ(buf, seen[0].second);
    pfa_dispose(&f);
  }
}

TEST_F(Streams, WritesTheDecidedEncodingAndMark) {
  struct Row {
    const char *name;
    const char *mode;
    int32_t encoding;
    std::string expect;
  } rows[] = {
      {"new.txt", "w", PFA_ENC_UNKNOWN, "\xEF\xBB\xBF" + kText},
      {"bin.dat", "wb", PFA_ENC_UNKNOWN, kText},
      {"none.txt", "w", PFA_ENC_NONE, kText},
      {"le.txt", "w", PFA_ENC_UTF16LE, std::string("\xFF\xFE", 2) + utf16(kText, true)},
      {"be.txt", "w", PFA_ENC_UTF16BE, std::string("\xFE\xFF", 2) + utf16(kText, false)},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    vex_file *f = open(row.name, row.mode, row.encoding);
    ASSERT_NE(f, nullptr);
    // Written in pieces that cut characters: the converter completes them.
    for (size_t i = 0; i < kText.size(); i += 5)
      ASSERT_EQ(pfa_write_file(f, static_cast<int>(std::min<size_t>(5, kText.size() - i)),
                               kText.data() + i),
                0);
    EXPECT_EQ(pfa_dispose(&f), 0);
    EXPECT_EQ(get(row.name), row.expect);
  }
  // Appending keeps the file's encoding and adds no second mark.
  vex_file *f = open("le.txt", "a");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(pfa_fputs(f, "+\n"), 0);
  pfa_dispose(&f);
  EXPECT_EQ(get("le.txt"), std::string("\xFF\xFE", 2) + utf16(kText + "+\n", true));
  // Append-and-read reads the text from past the mark.
  f = open("le.txt", "a+");
  ASSERT_NE(f, nullptr);
  char line[64];
  int count = 0;
  ASSERT_EQ(pfa_fgets(f, sizeof line, &count, line), 0);
  EXPECT_STREQ(line, "plain line\n");
  pfa_dispose(&f);
  // Zero bytes touch nothing, not even the mark.
  f = open("empty.txt", "w");
  EXPECT_EQ(pfa_write_file(f, 0, ""), 0);
  pfa_dispose(&f);
  EXPECT_EQ(get("empty.txt"), "");
}

TEST_F(Streams, LegacySessionWritesEucWithoutMark) {
  unsetenv("PFA_WRITE_UNICODE");
  set_language(LANG_JAPANESE);
  btkUnicodeSetEnabled(0);
  EXPECT_EQ(PfaSessionEncoding(), BTK_CP_EUC_JP);
  EXPECT_EQ(pfa_writes_utf8_by_default(), 0);
  std::string text = euc("\xE6\x97\xA5\xE6\x9C\xAC\n");
  vex_file *f = open("legacy.txt", "w");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(pfa_fputs(f, text.c_str()), 0);
  pfa_dispose(&f);
  EXPECT_EQ(get("legacy.txt"), text);
  // A UTF-8 file with its mark reads as EUC-JP session text.
  put("u8.txt", "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\n");
  EXPECT_EQ(read_all("u8.txt", 64), text);
}

TEST_F(Streams, WriteUnicodeSwitchAddsTheMark) {
  setenv("PFA_WRITE_UNICODE", "1", 1);
  set_language(LANG_JAPANESE);
  btkUnicodeSetEnabled(0);
  EXPECT_EQ(PfaDefaultEncodingForWriting(), PFA_ENC_UTF8);
  vex_file *f = open("u.txt", "w");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(pfa_fputs(f, euc("\xE6\x97\xA5").c_str()), 0);
  pfa_dispose(&f);
  EXPECT_EQ(get("u.txt"), "\xEF\xBB\xBF\xE6\x97\xA5");
}

TEST_F(Streams, EncodingCodes) {
  EXPECT_EQ(PfaSessionEncoding(), PFA_ENC_UTF8);
  EXPECT_TRUE(pfa_encodings_equivalent(PFA_ENC_SESSION, PFA_ENC_UTF8));
  EXPECT_FALSE(pfa_encodings_equivalent(PFA_ENC_UTF16LE, PFA_ENC_UTF8));
  for (int32_t code = -4; code <= 6; ++code)
    EXPECT_EQ(PfaEncodingIsUnicode(code), code >= 1 && code <= 5) << code;
  EXPECT_EQ(pfa_encoding_uconverter(PFA_ENC_NONE, 0), nullptr);
  EXPECT_EQ(pfa_encoding_uconverter(PFA_ENC_UNKNOWN, 0), nullptr);
  btkUConv *cv = pfa_encoding_uconverter(BTK_CP_EUC_JP, 0);
  EXPECT_NE(cv, nullptr);
  btkUConv_Dispose(cv);
}

TEST_F(Streams, ConvertsATextFileInPlace) {
  put("conv.txt", "\xEF\xBB\xBF" + kText);
  vex_file *f = pfa_alloc_file(path("conv.txt").c_str());
  ASSERT_EQ(pfa_convert_text_file_encoding(f, f, PFA_ENC_UTF16BE), 0);
  EXPECT_EQ(get("conv.txt"), std::string("\xFE\xFF", 2) + utf16(kText, false));
  ASSERT_EQ(pfa_convert_text_file_encoding(f, f, PFA_ENC_UTF8), 0);
  EXPECT_EQ(get("conv.txt"), "\xEF\xBB\xBF" + kText);
  pfa_free_vex_file(&f);
}

TEST_F(Streams, VersionModes) {
  std::string base = path("part.prt");
  vex_file *f = pfa_alloc_file(base.c_str());
  EXPECT_EQ(pfa_fopen(f, PFA_VERS_NEXT, "r"), PFA_E_CANT_OPEN);
  EXPECT_FALSE(pfa_file_is_open(f));
  for (int v = 1; v <= 2; ++v) {
    ASSERT_EQ(pfa_fopen(f, PFA_VERS_NEXT, "w"), 0);
    EXPECT_EQ(pfa_get_version(f), v);
    pfa_fputs(f, ("v" + std::to_string(v)).c_str());
    pfa_close(f);
  }
  EXPECT_TRUE(fs::exists(base + ".1"));
  EXPECT_TRUE(fs::exists(base + ".2"));
  pfa_put_version(f, 0);
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_HIGHEST, "rb"), 0);
  EXPECT_EQ(pfa_get_version(f), 2);
  pfa_close(f);
  pfa_free_vex_file(&f);
  // Version 1 of a file present only without a version is that file.
  put("solo.prt", "solo");
  vex_file *solo = pfa_alloc_file((path("solo.prt") + ".1").c_str());
  ASSERT_EQ(pfa_fopen(solo, PFA_VERS_OWN, "rb"), 0);
  char buf[8];
  int n = 0;
  EXPECT_EQ(pfa_read_file(solo, 8, &n, buf), 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "solo");
  EXPECT_EQ(pfa_get_version(solo), 0);
  pfa_dispose(&solo);
}

TEST_F(Streams, FailuresLeaveTheFileClosed) {
  vex_file *f = pfa_alloc_file(path("missing.txt").c_str());
  EXPECT_EQ(pfa_fopen(f, PFA_VERS_OWN, "r"), PFA_E_ERROR);
  EXPECT_EQ(f->stream, nullptr);
  EXPECT_EQ(pfa_fopen(f, PFA_VERS_OWN, nullptr), PFA_E_NOT_VALID);
  EXPECT_EQ(pfa_fopen(nullptr, PFA_VERS_OWN, "r"), PFA_E_NOT_VALID);
  char buf[4];
  int n = 0;
  EXPECT_EQ(pfa_read_file(f, 4, &n, buf), PFA_E_INACTIVE);
  EXPECT_EQ(pfa_write_file(f, 1, "x"), PFA_E_INACTIVE);
  EXPECT_EQ(pfa_fgetc(f), -1);
  int64_t pos;
  EXPECT_EQ(pfa_get_file_position(f, &pos), PFA_E_INACTIVE);
  EXPECT_EQ(pfa_fopen_file(path("missing.txt").c_str(), "r"), nullptr);
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_OWN, "w"), 0);
  EXPECT_EQ(pfa_fopen(f, PFA_VERS_OWN, "w"), PFA_E_CANT_OPEN);  // already open
  pfa_dispose(&f);
  vex_file *dir = pfa_alloc_dir(root_.c_str());
  EXPECT_EQ(pfa_fopen(dir, PFA_VERS_OWN, "r"), PFA_E_NOT_VALID);
  pfa_free_vex_file(&dir);
  vex_file *other = pfa_alloc_file("/////elsewhere.example///c/x.txt");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(pfa_fopen(other, PFA_VERS_OWN, "r"), PFA_E_CANT_OPEN);
  pfa_free_vex_file(&other);
}

TEST_F(Streams, TooManyOpenFiles) {
  put("many.txt", "x");
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  std::vector<vex_file *> open_files;
  struct rlimit low = old;
  low.rlim_cur = 32;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  int last = 0;
  for (int i = 0; i < 64 && last == 0; ++i) {
    vex_file *f = pfa_alloc_file(path("many.txt").c_str());
    last = pfa_fopen(f, PFA_VERS_OWN, "rb");
    if (last == 0)
      open_files.push_back(f);
    else
      pfa_free_vex_file(&f);
  }
  EXPECT_EQ(last, PFA_E_TOO_MANY_OPEN);
  for (vex_file *f : open_files) pfa_dispose(&f);
  setrlimit(RLIMIT_NOFILE, &old);
}

TEST_F(Streams, ByteOperations) {
  put("bytes", "abc\ndef");
  vex_file *f = open("bytes", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(pfa_fgetc(f), 'a');
  EXPECT_EQ(pfa_ungetc('A', f), 'A');
  char buf[8] = {};
  EXPECT_EQ(pfa_fread(buf, 2, 2, f), 2u);
  EXPECT_EQ(std::string(buf, 4), "Abc\n");
  EXPECT_EQ(pfa_fread(buf, 2, 2, f), 1u);  // three bytes left: one whole element
  EXPECT_EQ(pfa_fread(buf, 0, 2, f), 0u);
  EXPECT_EQ(pfa_fseek(f, -3, -1, 2), 0);
  EXPECT_EQ(pfa_fgetc(f), 'd');
  EXPECT_EQ(pfa_fseek(f, 1, 0, 1), 0);
  EXPECT_EQ(pfa_fgetc(f), 'f');
  EXPECT_EQ(pfa_fgetc(f), -1);
  pfa_dispose(&f);

  f = open("rw", "w+b");
  EXPECT_EQ(pfa_fputs(f, "0123456789"), 0);
  EXPECT_EQ(pfa_truncate_file(f, 4), 0);
  EXPECT_EQ(pfa_rewind_file(f), 0);
  int n = 0;
  EXPECT_EQ(pfa_read_file(f, 8, &n, buf), 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "0123");
  EXPECT_EQ(pfa_unbuffer(f), 0);
  pfa_dispose(&f);
}

TEST_F(Streams, DescriptorOpensSecureOpensAndCopies) {
  // Descriptor level: create, write, reopen read-only, read a line.
  vex_file *d = pfa_open_file(path("fd.txt").c_str(), 0x1 | 0x100 | 0x200 | 0x8000, 0x180);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(pfa_fputs(d, "one\ntwo\n"), 0);
  pfa_dispose(&d);
  d = pfa_open_file(path("fd.txt").c_str(), 0x8000, 0);
  ASSERT_NE(d, nullptr);
  char line[16];
  int count = 0;
  ASSERT_EQ(pfa_fgets(d, sizeof line, &count, line), 0);
  EXPECT_STREQ(line, "one\n");
  // The rest copies to another stream.
  vex_file *copy = open("copy.txt", "wb");
  int64_t copied = -1;
  EXPECT_EQ(pfa_copy_through_cookie(d, copy, &copied), 0);
  EXPECT_EQ(copied, 4);
  pfa_dispose(&copy);
  pfa_dispose(&d);
  EXPECT_EQ(get("copy.txt"), "two\n");

  vex_file *s = pfa_secure_fopen(path("secret.txt").c_str(), "w");
  ASSERT_NE(s, nullptr);
  pfa_dispose(&s);
  EXPECT_EQ(fs::status(path("secret.txt")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(path("secret.txt"), path("link.txt"));
  EXPECT_EQ(pfa_secure_fopen(path("link.txt").c_str(), "w"), nullptr);
}

TEST_F(Streams, IncrementalScanReadsWholeLines) {
  std::string longline(700, 'x');
  put("scan.txt", "7 " + longline + " 9\nnothing here\n");
  vex_file *f = open("scan.txt", "r");
  pfa_fscanf_data *data = nullptr;
  ASSERT_EQ(pfa_init_fscanf_data(&data), 0);
  int a = 0, b = 0;
  EXPECT_EQ(pfa_incremental_fscanf(f, data, "%d %*s %d", &a, &b), 0);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 9);
  EXPECT_EQ(pfa_incremental_fscanf(f, data, "%d", &a), 1);  // no number
  EXPECT_EQ(pfa_incremental_fscanf(f, data, "%d", &a), 1);  // the end
  EXPECT_EQ(pfa_clear_fscanf_data(&data), 0);
  EXPECT_EQ(data, nullptr);
  pfa_dispose(&f);
}

// Writing opens drop the cached listing of the file's directory; a listing
// closes through pfa_close like a file.
TEST_F(Streams, WritingOpensRefreshTheDirectoryCache) {
  set_nt_directory_caching(2);  // by modification time
  put("old.txt", "x");
  btk_utimbuf past{btk_time(nullptr) - 60, btk_time(nullptr) - 60};
  ASSERT_EQ(btk_utime(root_.c_str(), &past), 0);
  auto names = [&] {
    vex_file *d = pfa_alloc_dir(root_.c_str());
    vex_file **list = nullptr;
    int count = 0;
    EXPECT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
    pfa_free_scan_list(&list, count);
    pfa_free_vex_file(&d);
    return count;
  };
  const std::string key = root_ + "/";
  EXPECT_EQ(names(), 1);
  ASSERT_GE(pfadc_find_appdata(key.c_str()), 0);
  vex_file *f = pfa_fopen_file(path("new.txt").c_str(), "r");
  EXPECT_EQ(f, nullptr);
  EXPECT_GE(pfadc_find_appdata(key.c_str()), 0);  // reading changes nothing
  f = pfa_fopen_file(path("new.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  EXPECT_LT(pfadc_find_appdata(key.c_str()), 0);
  pfa_dispose(&f);
  ASSERT_EQ(btk_utime(root_.c_str(), &past), 0);
  EXPECT_EQ(names(), 2);

  vex_file *d = pfa_alloc_dir(root_.c_str());
  ASSERT_EQ(pfa_open_dir(d), 0);
  EXPECT_EQ(pfa_close(d), 0);
  EXPECT_FALSE(pfa_file_is_open(d));
  pfa_free_vex_file(&d);
}

// A subscriber to event 4 redirects the open to another file; event 5
// sees every result.
struct Redirect {
  vex_file *alt = nullptr;
  std::vector<int> results;
};

void on_open(vex_file *, const char *, vex_file **alternative, intptr_t datum) {
  *alternative = reinterpret_cast<Redirect *>(datum)->alt;
}
void on_opened(vex_file *, const char *, int result, intptr_t datum) {
  reinterpret_cast<Redirect *>(datum)->results.push_back(result);
}

TEST_F(Streams, OpenNotificationsSubstituteAFile) {
  put("real.txt", "from the substitute\n");
  Redirect redirect;
  int key = pfa_open_notification_key();
  ASSERT_GE(key, 0);
  int a = vex_notification_add(key, PFA_NOTIFY_OPEN_ALT, reinterpret_cast<vex_notify_func>(on_open),
                               reinterpret_cast<intptr_t>(&redirect), nullptr);
  int b = vex_notification_add(key, PFA_NOTIFY_OPENED, reinterpret_cast<vex_notify_func>(on_opened),
                               reinterpret_cast<intptr_t>(&redirect), nullptr);
  redirect.alt = pfa_alloc_file(path("real.txt").c_str());
  vex_file *f = pfa_alloc_file(path("asked.txt").c_str());
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_OWN, "r"), 0);
  EXPECT_TRUE(f->flags & PFA_F_SUBSTITUTE);
  char buf[64];
  int n = 0;
  ASSERT_EQ(pfa_fgets(f, sizeof buf, &n, buf), 0);
  EXPECT_STREQ(buf, "from the substitute\n");
  EXPECT_EQ(pfa_close(f), 0);  // closes and frees the substitute
  EXPECT_FALSE(f->flags & PFA_F_SUBSTITUTE);
  EXPECT_FALSE(fs::exists(path("asked.txt")));
  vex_notification_remove_id(key, PFA_NOTIFY_OPEN_ALT, a);
  // A plain open afterwards reaches the location; event 5 saw both.
  EXPECT_EQ(pfa_fopen(f, PFA_VERS_OWN, "r"), PFA_E_ERROR);
  EXPECT_EQ(redirect.results, (std::vector<int>{0, PFA_E_ERROR}));
  vex_notification_remove_id(key, PFA_NOTIFY_OPENED, b);
  pfa_free_vex_file(&f);
}

// ---- a test location type ------------------------------------------------------------
// "tryout://NAME" files live in a directory of the test; their stream
// methods forward to a binary standard-file-system stream and fail on
// demand, and the location counts as a remote mount.
struct Tryout {
  std::string root;
  int fail_open = 0;     // the next open answers this
  int writes_left = -1;  // writes that succeed before one fails (-1: all)
  int reads_left = -1;   // the same for reads
};
Tryout g_tryout;

// The location's handle is the stream record's first word.
void *&handle(pfa_stream *l) { return *reinterpret_cast<void **>(l); }
vex_file *inner(pfa_stream *l) { return static_cast<vex_file *>(handle(l)); }
int idx0(vex_file *) { return 0; }
int idx1(vex_file *) { return 1; }
int idx2(vex_file *) { return 2; }
int answer0(vex_file *) { return 0; }
int answer1(vex_file *) { return 1; }
int try_claim(vex_file *f, void *name, void *, void *consumed) {
  if (std::strncmp(static_cast<const char *>(name), "tryout://", 9) != 0) return PFA_E_INVALID_NAME;
  pfa_put_component_len(f, PFA_LOC1, "tryout:", 7, 0);
  *static_cast<int *>(consumed) = 9;
  return 0;
}
int try_print(vex_file *, void *buf, void *, size_t size) {
  if (size < 10) return PFA_E_INVALID_INPUT;
  std::memcpy(buf, "tryout://", 10);
  return 0;
}
int try_fopen(vex_file *f, pfa_stream *l, void *mode, void *, int, void *, int, int) {
  if (int r = g_tryout.fail_open) return g_tryout.fail_open = 0, r;
  char name[PFA_NAME_SIZE];
  pfa_get_file_name(f, PFA_M_NAME | PFA_M_EXT, name);
  std::string m(static_cast<const char *>(mode));
  if (m.find('b') == std::string::npos) m += 'b';
  vex_file *in = pfa_fopen_file((g_tryout.root + "/" + name).c_str(), m.c_str());
  if (!in) return PFA_E_ERROR;
  handle(l) = in;
  return 0;
}
int try_close(vex_file *, pfa_stream *l) {
  vex_file *in = inner(l);
  handle(l) = nullptr;
  return pfa_dispose(&in);
}
int try_read(vex_file *, pfa_stream *l, void *buf, void *count, int size) {
  if (g_tryout.reads_left == 0) return PFA_E_ERROR;
  if (g_tryout.reads_left > 0) --g_tryout.reads_left;
  return pfa_read_file(inner(l), size, static_cast<int *>(count), buf);
}
int try_fgets(vex_file *, pfa_stream *l, void *buf, void *count, int size) {
  return pfa_fgets(inner(l), size, static_cast<int *>(count), static_cast<char *>(buf));
}
int try_write(vex_file *, pfa_stream *l, void *buf, int n, int) {
  if (g_tryout.writes_left == 0) return PFA_E_CANT_WRITE;
  if (g_tryout.writes_left > 0) --g_tryout.writes_left;
  return pfa_write_file(inner(l), n, buf);
}
int try_get_pos(vex_file *, pfa_stream *l, void *pos) {
  return pfa_get_file_position(inner(l), static_cast<int64_t *>(pos));
}
int try_set_pos(vex_file *, pfa_stream *l, void *pos) {
  return pfa_set_file_position(inner(l), *static_cast<int64_t *>(pos));
}
int try_rewind(vex_file *, pfa_stream *l) { return pfa_rewind_file(inner(l)); }
int try_unwind(vex_file *, pfa_stream *l) { return pfa_unwind_file(inner(l)); }

class TryoutStreams : public Streams {
 protected:
  void SetUp() override {
    Streams::SetUp();
    g_tryout = Tryout{};
    g_tryout.root = root_;
    const int t = PFA_LOC_TRYOUT;
    ASSERT_EQ(pfa_loc_register_setup(t), 1);
    pfa_loc_method_register_F(t, PFALOC_PfaDeviceIdx, idx1);
    pfa_loc_method_register_F(t, PFALOC_PfaHostIdx, idx0);
    pfa_loc_method_register_F(t, PFALOC_PfaPathIdx, idx2);
    pfa_loc_method_register_FPPP(t, PFALOC_PfaClaimLocation, try_claim);
    pfa_loc_method_register_FPPS(t, PFALOC_PfaGetLocationString, try_print);
    pfa_loc_method_register_FPPS(t, PFALOC_PfaGetNeutralLocation, try_print);
    pfa_loc_method_register_F(t, PFALOC_PfaLocGetVersioning, answer0);
    pfa_loc_method_register_F(t, PFALOC_PfaIsRemoteMounted, answer1);
    pfa_loc_method_register_FLPPIPII(t, PFALOC_PfaFopen, try_fopen);
    pfa_loc_method_register_FL(t, PFALOC_PfaCloseFile, try_close);
    pfa_loc_method_register_FLPPI(t, PFALOC_PfaReadFile, try_read);
    pfa_loc_method_register_FLPPI(t, PFALOC_PfaFgets, try_fgets);
    pfa_loc_method_register_FLPII(t, PFALOC_PfaWriteFile, try_write);
    pfa_loc_method_register_FLP(t, PFALOC_PfaGetFilePosition, try_get_pos);
    pfa_loc_method_register_FLP(t, PFALOC_PfaSetFilePosition, try_set_pos);
    pfa_loc_method_register_FL(t, PFALOC_PfaRewindFile, try_rewind);
    pfa_loc_method_register_FL(t, PFALOC_PfaUnwindFile, try_unwind);
    ASSERT_EQ(pfa_loc_register_setup(0), 1);
  }
};

TEST_F(TryoutStreams, EncodingsWorkOnAnyLocation) {
  vex_file *f = pfa_alloc_file("tryout://remote.txt");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->loc_type, PFA_LOC_TRYOUT);
  pfa_put_encode(f, PFA_ENC_UTF16BE);
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_OWN, "w"), 0);
  EXPECT_EQ(pfa_num_open_remote_files(), 1);
  EXPECT_EQ(pfa_fputs(f, kText.c_str()), 0);
  EXPECT_EQ(pfa_close(f), 0);
  EXPECT_EQ(pfa_num_open_remote_files(), 0);
  EXPECT_EQ(get("remote.txt"), std::string("\xFE\xFF", 2) + utf16(kText, false));

  pfa_put_encode(f, PFA_ENC_UNKNOWN);
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_OWN, "r"), 0);
  char line[64];
  int count = 0;
  ASSERT_EQ(pfa_fgets(f, sizeof line, &count, line), 0);
  int64_t at = 0;
  ASSERT_EQ(pfa_get_file_position(f, &at), 0);
  EXPECT_EQ(at, 2 + 2 * 11);  // the mark and "plain line\n"
  ASSERT_EQ(pfa_fgets(f, sizeof line, &count, line), 0);
  EXPECT_STREQ(line, "kana \xE3\x81\x8B\xE3\x81\xAA and \xC3\xA9t\xC3\xA9\n");
  pfa_dispose(&f);
}

TEST_F(TryoutStreams, FailuresReachTheCaller) {
  vex_file *f = pfa_alloc_file("tryout://fail.txt");
  g_tryout.fail_open = PFA_E_TOO_MANY_OPEN;
  EXPECT_EQ(pfa_fopen(f, PFA_VERS_OWN, "w"), PFA_E_TOO_MANY_OPEN);
  EXPECT_FALSE(pfa_file_is_open(f));
  EXPECT_EQ(f->stream, nullptr);
  EXPECT_EQ(pfa_num_open_remote_files(), 0);

  // A converted write made of several chunks fails at its second chunk.
  pfa_put_encode(f, PFA_ENC_UTF16LE);
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_OWN, "w"), 0);
  g_tryout.writes_left = 2;  // the mark and one chunk
  std::string big(3000, 'x');
  EXPECT_EQ(pfa_write_file(f, static_cast<int>(big.size()), big.data()), PFA_E_CANT_WRITE);
  g_tryout.writes_left = -1;
  pfa_close(f);

  // A read error while decoding is returned, not taken for the end.
  ASSERT_EQ(pfa_fopen(f, PFA_VERS_OWN, "r"), 0);
  char line[64];
  int count = 0;
  ASSERT_EQ(pfa_fgets(f, sizeof line, &count, line), 0);  // from the first batch
  g_tryout.reads_left = 0;
  for (int i = 0; i < 100; ++i) {
    int r = pfa_fgets(f, sizeof line, &count, line);
    if (r == 0) continue;
    EXPECT_EQ(r, PFA_E_ERROR);
    break;
  }
  pfa_dispose(&f);
}

TEST_F(Streams, StandardStreams) {
  vex_file *out = pfa_get_stdout();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out, pfa_get_stdout());
  EXPECT_TRUE(pfa_file_is_open(out));
  char name[PFA_NAME_SIZE];
  pfa_get_full_name(out, name);
  EXPECT_STREQ(name, "stdio://out");
  EXPECT_EQ(pfa_fputs(out, ""), 0);
  ASSERT_EQ(pfa_close(out), 0);
  EXPECT_EQ(pfa_get_stdout(), out);  // reopened
  EXPECT_TRUE(pfa_file_is_open(out));
  EXPECT_NE(pfa_get_stderr(), nullptr);
  EXPECT_NE(pfa_get_stdin(), nullptr);
}

TEST_F(Streams, WideCharacters) {
  vex_file *f = open("wide.txt", "w");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(pfa_fputws(u"h\u00e9\u304b\n", f), 0);
  EXPECT_EQ(pfa_fputwc(u'z', f), u'z');
  EXPECT_EQ(pfa_put_unicode_wc(u'\u00e9', f), 0);
  pfa_dispose(&f);
  f = open("wide.txt", "r");
  kw_wchar w[8];
  ASSERT_EQ(pfa_fgetws(w, 8, f), w);
  EXPECT_EQ(std::u16string(w), u"h\u00e9\u304b\n");
  EXPECT_EQ(pfa_fgetwc(f), u'z');
  EXPECT_EQ(pfa_get_unicode_wc(f), u'\u00e9');
  EXPECT_EQ(pfa_fgetwc(f), -1);
  EXPECT_EQ(pfa_fgetws(w, 8, f), nullptr);
  pfa_dispose(&f);
  // A line longer than the buffer stops with one unit of room.
  put("long.txt", "abcdefgh\n");
  f = open("long.txt", "r");
  ASSERT_EQ(pfa_fgetws(w, 4, f), w);
  EXPECT_EQ(std::u16string(w), u"abc");
  pfa_dispose(&f);
}

TEST_F(Streams, FileBufWorksWithStandardStreams) {
  {
    pfaFileBuf buf;
    ASSERT_NE(buf.Open(path("buf.txt").c_str(), std::ios::out | std::ios::trunc), nullptr);
    std::ostream out(&buf);
    out << "alpha " << 7 << "\nbeta\n";
    EXPECT_TRUE(out.good());
  }  // the destructor flushes and closes
  EXPECT_EQ(get("buf.txt"), "alpha 7\nbeta\n");
  pfaFileBuf buf;
  ASSERT_NE(buf.Open(path("buf.txt").c_str(), std::ios::in), nullptr);
  std::istream in(&buf);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "alpha 7");
  EXPECT_EQ(in.tellg(), 8);
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "beta");
  EXPECT_FALSE(std::getline(in, line));
  in.clear();
  in.seekg(6);
  int n = 0;
  in >> n;
  EXPECT_EQ(n, 7);
  EXPECT_EQ(buf.Close(), &buf);
  EXPECT_EQ(pfaFileBuf::ModeFor(std::ios::in | std::ios::out), std::string("rb+"));
  EXPECT_EQ(pfaFileBuf::ModeFor(std::ios::out | std::ios::app), std::string("ab"));
  EXPECT_EQ(pfaFileBuf::ModeFor(std::ios::in | std::ios::trunc), nullptr);
  EXPECT_EQ(buf.Open(path("nowhere/x.txt").c_str(), std::ios::in), nullptr);
}

TEST_F(Streams, ErrorFileGoesThroughTheFileLayer) {
  std::string log = path("errors.log");
  dbg_set_error_file_name(log.c_str());
  dbg_set_allow_print(1);
  dbg_info_msg("first_where", "one %d", 1);
  dbg_info_msg("second_where", "two");
  dbg_set_allow_print(0);
  std::string text = get("errors.log");
  EXPECT_EQ(text,
            "\n*** INFO MESSAGE from first_where : ***\n\tone 1\n"
            "\n*** INFO MESSAGE from second_where : ***\n\ttwo\n");
}

}  // namespace
