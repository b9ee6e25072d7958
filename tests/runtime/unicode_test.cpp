#include <gtest/gtest.h>
#include <iconv.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/memory.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Converts with the system's iconv, the independent reference. Returns
// false when iconv rejects the input.
bool ref_iconv(const char *to, const char *from, const std::string &in, std::string *out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string res(in.size() * 4 + 16, '\0');
  char *ip = const_cast<char *>(in.data());
  size_t il = in.size();
  char *op = res.data();
  size_t ol = res.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  if (r != static_cast<size_t>(-1))
    iconv(cd, nullptr, nullptr, &op, &ol);  // back to the initial state
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return false;
  res.resize(res.size() - ol);
  *out = res;
  return true;
}

std::string as_bytes(const std::u16string &s) {
  return std::string(reinterpret_cast<const char *>(s.data()), s.size() * 2);
}

std::u16string from_bytes(const std::string &b) {
  std::u16string s(b.size() / 2, u'\0');
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

// Random valid text: mostly ASCII, some Latin, CJK and astral characters.
std::u16string random_text(std::mt19937 &rng, std::size_t n) {
  std::u16string s;
  while (s.size() < n) {
    unsigned kind = rng() % 10;
    char32_t cp;
    if (kind < 5)
      cp = 0x20 + rng() % 0x5F;
    else if (kind < 7)
      cp = 0x80 + rng() % 0x780;
    else if (kind < 9)
      cp = 0x800 + rng() % 0xF800;
    else
      cp = 0x10000 + rng() % 0x100000;
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp >= 0x10000) {
      s.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      s.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      s.push_back(static_cast<char16_t>(cp));
    }
  }
  return s;
}

TEST(Unicode, APIExamples) {
  kw_wchar w[16];
  EXPECT_EQ(btkStrUtf8ToUtf16("h\xc3\xa9llo", BTK_UNI_UNBOUNDED, w, 16, nullptr), 5);
  EXPECT_EQ(std::u16string(w), u"h\u00e9llo");
  char b[16];
  EXPECT_EQ(btkStrUtf16ToUtf8(w, BTK_UNI_UNBOUNDED, b, sizeof b, nullptr), 6);
  EXPECT_STREQ(b, "h\xc3\xa9llo");
  // Measure, allocate, convert.
  int32_t need = btkStrUtf8ToUtf16("\xe6\x97\xa5\xe6\x9c\xac", -1, nullptr, 0, nullptr);
  EXPECT_EQ(need, 2);
  int32_t len = 0;
  kw_wchar *copy = btkStrUtf8ToUtf16Alloc("\xe6\x97\xa5\xe6\x9c\xac", -1, &len);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(std::u16string(copy), u"\u65e5\u672c");
  rlsmem(copy);
}

TEST(Unicode, RandomTextRoundTripsLikeIconv) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::u16string text = random_text(rng, 1 + rng() % 300);
    std::string ref8;
    ASSERT_TRUE(ref_iconv("UTF-8", "UTF-16LE", as_bytes(text), &ref8));
    std::string ours(ref8.size() + 1, '\0');
    int32_t used = -1;
    ASSERT_EQ(
        btkStrUtf16ToUtf8(text.c_str(), -1, ours.data(), static_cast<int32_t>(ours.size()), &used),
        static_cast<int32_t>(ref8.size()));
    EXPECT_EQ(used, static_cast<int32_t>(text.size()));
    ours.pop_back();
    ASSERT_EQ(ours, ref8);
    std::u16string back(text.size() + 1, u'\0');
    ASSERT_EQ(btkStrUtf8ToUtf16(ref8.c_str(), static_cast<int32_t>(ref8.size()), back.data(),
                                static_cast<int32_t>(back.size()), &used),
              static_cast<int32_t>(text.size()));
    back.pop_back();
    ASSERT_EQ(back, text);
    EXPECT_EQ(btkStrUtf8ToUtf16(ref8.c_str(), -1, nullptr, 0, nullptr),
              static_cast<int32_t>(text.size()));
    EXPECT_EQ(btkStrUtf16ToUtf8(text.c_str(), -1, nullptr, 0, nullptr),
              static_cast<int32_t>(ref8.size()));
  }
}

TEST(Unicode, InvalidUtf8IsRejectedWhereIconvRejectsIt) {
  struct Row {
    const char *name;
    std::string bytes;
    int32_t bad_at;
  } rows[] = {
      {"lone continuation", "ab\x80", 2},
      {"overlong 2-byte", "\xc0\x80", 0},
      {"overlong C1", "\xc1\xbf", 0},
      {"overlong 3-byte", "x\xe0\x80\x80", 1},
      {"overlong 4-byte", "\xf0\x80\x80\x80", 0},
      {"encoded high surrogate", "\xed\xa0\x80", 0},
      {"encoded low surrogate", "\xed\xbf\xbf", 0},
      {"above U+10FFFF", "\xf4\x90\x80\x80", 0},
      {"F5 lead", "\xf5\x80\x80\x80", 0},
      {"FF byte", "a\xff", 1},
      {"truncated at end", "abc\xe3\x81", 3},
      {"truncated before ASCII",
       "\xe3\x81"
       "A",
       0},
      {"truncated 4-byte", "\xf0\x9f\x98", 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    std::string ignored;
    EXPECT_FALSE(ref_iconv("UTF-16LE", "UTF-8", r.bytes, &ignored));
    kw_wchar out[16];
    int32_t used = -1;
    EXPECT_EQ(
        btkStrUtf8ToUtf16(r.bytes.c_str(), static_cast<int32_t>(r.bytes.size()), out, 16, &used),
        BTK_UNI_E_INVALID);
    EXPECT_EQ(used, r.bad_at);
    EXPECT_EQ(std::u16string(out), std::u16string(r.bytes.begin(), r.bytes.begin() + r.bad_at));
    EXPECT_EQ(btkStrUtf8ToUtf16Alloc(r.bytes.c_str(), -1, nullptr), nullptr);
    // Longer inputs take the SIMD path up to the fault.
    std::string padded = std::string(40, 'p') + r.bytes;
    EXPECT_EQ(btkStrUtf8ToUtf16(padded.c_str(), -1, nullptr, 0, &used), BTK_UNI_E_INVALID);
    EXPECT_EQ(used, 40 + r.bad_at);
  }
  const std::u16string bad16[] = {u"a\xd800", u"\xdc00z", u"\xd800\xd800\xdc00", u"\xd83dx"};
  for (const auto &s : bad16) {
    char out[32];
    int32_t used = -1;
    EXPECT_EQ(btkStrUtf16ToUtf8(s.c_str(), -1, out, sizeof out, &used), BTK_UNI_E_INVALID);
    std::string ignored;
    EXPECT_FALSE(ref_iconv("UTF-8", "UTF-16LE", as_bytes(s), &ignored));
    EXPECT_EQ(btkStrUtf16ToUtf8Alloc(s.c_str(), -1, nullptr), nullptr);
  }
}

// Long runs of one- to three-byte text take the block converters; every
// kind of damage at every position must be found exactly where iconv
// finds it. Run once per SIMD level (KEELWORK_SIMD caps it at first use;
// each test case runs in a process of its own).
void check_damage_anywhere() {
  const std::u16string pieces[] = {u"plain ascii text ",
                                   u"\u00e9t\u00e9 \u00fcber ",
                                   u"\u65e5\u672c\u8a9e\u306e\u6587",
                                   u"\u0416\u05d0\u03a9",
                                   u"\u2019\u20ac",
                                   u"a long run of plain ASCII text that spans whole blocks "};
  std::mt19937 rng(99);
  const std::string damage[] = {"\x80", "\xc0\x80", "\xc1", "\xe0\x9f\xbf", "\xed\xa0\x80",
                                "\xf8", "\xe6\x97", "\xc3", "\xff"};
  for (int round = 0; round < 40; ++round) {
    std::u16string text;
    while (text.size() < 300) text += pieces[rng() % 6];
    std::string good;
    ASSERT_TRUE(ref_iconv("UTF-8", "UTF-16LE", as_bytes(text), &good));
    std::u16string back(text.size() + 1, u'\0');
    ASSERT_EQ(btkStrUtf8ToUtf16(good.c_str(), -1, back.data(), static_cast<int32_t>(back.size()),
                                nullptr),
              static_cast<int32_t>(text.size()));
    back.pop_back();
    ASSERT_EQ(back, text);
    std::string again(good.size() + 1, '\0');
    ASSERT_EQ(btkStrUtf16ToUtf8(text.c_str(), -1, again.data(), static_cast<int32_t>(again.size()),
                                nullptr),
              static_cast<int32_t>(good.size()));
    for (std::size_t at = 0; at < good.size(); at += 1 + rng() % 3) {
      std::string bad = good;
      bad.insert(at, damage[rng() % 9]);
      std::string ref16;
      bool ok = ref_iconv("UTF-16LE", "UTF-8", bad, &ref16);
      std::vector<kw_wchar> out(bad.size() + 1);
      int32_t used = -1;
      int32_t n = btkStrUtf8ToUtf16(bad.c_str(), static_cast<int32_t>(bad.size()), out.data(),
                                    static_cast<int32_t>(out.size()), &used);
      if (ok) {
        // Damage inserted inside a character can make a valid one.
        ASSERT_EQ(std::u16string(out.data()), from_bytes(ref16)) << "at " << at;
        continue;
      }
      ASSERT_EQ(n, BTK_UNI_E_INVALID) << "at " << at;
      // Everything before the reported offset is valid and converted.
      std::string prefix16;
      ASSERT_TRUE(
          ref_iconv("UTF-16LE", "UTF-8", bad.substr(0, static_cast<std::size_t>(used)), &prefix16))
          << "at " << at;
      ASSERT_EQ(std::u16string(out.data()), from_bytes(prefix16)) << "at " << at;
      ASSERT_LE(static_cast<std::size_t>(used), at + 3);
    }
    // UTF-16 damage: an unpaired surrogate anywhere.
    for (std::size_t at = 0; at < text.size(); at += 1 + rng() % 4) {
      std::u16string bad = text;
      bad.insert(
          at, 1,
          static_cast<char16_t>(rng() % 2 ? 0xD800 + rng() % 0x400 : 0xDC00 + rng() % 0x400));
      if (at < bad.size() - 1 && bad[at] < 0xDC00 && bad[at + 1] >= 0xDC00 && bad[at + 1] < 0xE000)
        continue;
      std::vector<char> out(bad.size() * 3 + 1);
      int32_t used = -1;
      ASSERT_EQ(
          btkStrUtf16ToUtf8(bad.c_str(), -1, out.data(), static_cast<int32_t>(out.size()), &used),
          BTK_UNI_E_INVALID);
      ASSERT_EQ(used, static_cast<int32_t>(at));
    }
  }
}

TEST(Unicode, DamageAnywhereInLongTextIsFound) { check_damage_anywhere(); }

TEST(Unicode, DamageAnywhereInLongTextIsFoundWithSsse3) {
  setenv("KEELWORK_SIMD", "1", 1);
  check_damage_anywhere();
}

TEST(Unicode, DamageAnywhereInLongTextIsFoundWithSse2) {
  setenv("KEELWORK_SIMD", "0", 1);
  check_damage_anywhere();
}

TEST(Unicode, LimitsAndCapacities) {
  kw_wchar w[8];
  int32_t used;
  // The source limit stops before the NUL; an embedded NUL stops early.
  EXPECT_EQ(btkStrUtf8ToUtf16("abcdef", 3, w, 8, &used), 3);
  EXPECT_EQ(std::u16string(w), u"abc");
  EXPECT_EQ(btkStrUtf8ToUtf16("ab\0cd", 5, w, 8, &used), 2);
  // Never split: a pair needs two units and the terminator one more.
  EXPECT_EQ(btkStrUtf8ToUtf16("a\xf0\x9f\x98\x80", -1, w, 3, &used), BTK_UNI_E_NO_SPACE);
  EXPECT_EQ(used, 1);
  EXPECT_EQ(std::u16string(w), u"a");
  EXPECT_EQ(btkStrUtf8ToUtf16("abc", -1, w, 0, &used), BTK_UNI_E_NO_SPACE);
  EXPECT_EQ(btkStrUtf8ToUtf16(nullptr, -1, w, 8, &used), BTK_UNI_E_ARG);
  char b[8];
  EXPECT_EQ(btkStrUtf16ToUtf8(u"\u00e9\u00e9\u00e9\u00e9", -1, b, 8, &used), BTK_UNI_E_NO_SPACE);
  EXPECT_STREQ(b, "\xc3\xa9\xc3\xa9\xc3\xa9");
  EXPECT_EQ(used, 3);
  // Long ASCII with a fault far in, across SIMD blocks and a small buffer.
  std::string long_ascii(1000, 'z');
  std::vector<kw_wchar> big(100);
  EXPECT_EQ(btkStrUtf8ToUtf16(long_ascii.c_str(), -1, big.data(), 100, &used), BTK_UNI_E_NO_SPACE);
  EXPECT_EQ(used, 99);
  EXPECT_EQ(big[99], 0);
}

TEST(Unicode, OneCharacter) {
  struct Row {
    const char *bytes;
    int32_t n;
    int want;
    char16_t u0, u1;
  } rows[] = {
      {"A", -1, 1, u'A', 0},
      {"", -1, 1, 0, 0},
      {"\xc3\xa9", -1, 2, 0xE9, 0},
      {"\xe2\x82\xac", -1, 3, 0x20AC, 0},
      {"\xf0\x9f\x98\x80", -1, 4, 0xD83D, 0xDE00},
      {"\xe2\x82\xac", 2, BTK_UNI_E_INCOMPLETE, 0, 0},
      {"\xe2\x82", -1, BTK_UNI_E_INVALID, 0, 0},  // the NUL ends it
      {"\xc0\xaf", -1, BTK_UNI_E_INVALID, 0, 0},
      {"\xed\xa0\x80", -1, BTK_UNI_E_INVALID, 0, 0},
      {"A", 0, BTK_UNI_E_ARG, 0, 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::PrintToString(std::string(r.bytes)));
    kw_wchar out[2] = {0xFFFF, 0xFFFF};
    int k = btk_u8tou16(r.bytes, r.n, out);
    EXPECT_EQ(k, r.want);
    if (k > 0) {
      EXPECT_EQ(out[0], r.u0);
      if (k == 4) {
        EXPECT_EQ(out[1], r.u1);
      }
      char back[4];
      EXPECT_EQ(btk_u16tou8(out, -1, back), r.u0 == 0 ? 1 : k);
      if (r.u0) {
        EXPECT_EQ(std::string(back, static_cast<size_t>(k)), std::string(r.bytes));
      }
    }
  }
  char b[4];
  EXPECT_EQ(btk_u16tou8(u"\xd800", 1, b), BTK_UNI_E_INCOMPLETE);
  EXPECT_EQ(btk_u16tou8(u"\xd800x", -1, b), BTK_UNI_E_INVALID);
  EXPECT_EQ(btk_u16tou8(u"\xdc00", -1, b), BTK_UNI_E_INVALID);
}

TEST(Unicode, ByteOrderMarks) {
  struct Row {
    std::string bytes;
    btk_utf_type type;
    int len;
  } rows[] = {
      {"\xef\xbb\xbfx", BTK_UTF_8, 3},
      {std::string("\xff\xfe\x41\x00", 4), BTK_UTF_16LE, 2},
      {std::string("\xff\xfe\x00\x00", 4), BTK_UTF_32LE, 4},
      {std::string("\xfe\xff\x00\x41", 4), BTK_UTF_16BE, 2},
      {std::string("\x00\x00\xfe\xff", 4), BTK_UTF_32BE, 4},
      {"\xef\xbb", BTK_UTF_NONE, 0},
      {"abc", BTK_UTF_NONE, 0},
      {std::string("\xff\xfe", 2), BTK_UTF_16LE, 2},
  };
  for (const Row &r : rows) {
    int len = -1;
    EXPECT_EQ(btkUtfTypeFromBOM(r.bytes.data(), r.bytes.size(), &len), r.type);
    EXPECT_EQ(len, r.len);
    unsigned char bom[4];
    EXPECT_EQ(btkUtfTypeToBOM(r.type, bom), r.len);
    EXPECT_EQ(std::memcmp(bom, r.bytes.data(), static_cast<size_t>(r.len)), 0);
  }
}

TEST(Unicode, EucJpMatchesIconvOnEveryCode) {
  int checked = 0;
  for (int set = 0; set < 3; ++set) {
    for (int r = 0xA1; r <= 0xFE; ++r) {
      for (int c = 0xA1; c <= 0xFE; ++c) {
        std::string euc;
        if (set == 0) euc = {static_cast<char>(r), static_cast<char>(c)};
        if (set == 1) euc = {'\x8f', static_cast<char>(r), static_cast<char>(c)};
        if (set == 2) {
          if (r != 0xA1 || c > 0xDF) continue;
          euc = {'\x8e', static_cast<char>(c)};
        }
        std::string ref;
        kw_wchar ours[4];
        int32_t n = btkStrEucToUtf16(euc.c_str(), -1, ours, 4, 0, nullptr);
        if (!ref_iconv("UTF-16LE", "EUC-JP", euc, &ref)) {
          EXPECT_EQ(n, BTK_UNI_E_INVALID) << std::hex << r << " " << c;
          continue;
        }
        ASSERT_EQ(n, 1) << std::hex << set << " " << r << " " << c;
        EXPECT_EQ(std::u16string(ours), from_bytes(ref));
        char back[8];
        ASSERT_EQ(btkStrUtf16ToEuc(ours, -1, back, sizeof back, 0, nullptr),
                  static_cast<int32_t>(euc.size()));
        EXPECT_EQ(std::string(back), euc);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 12000);
}

TEST(Unicode, EucJpStrings) {
  char buf[32];
  kw_wchar w[16];
  int32_t used;
  // UTF-8 <-> EUC-JP, with the Windows variants written as JIS characters.
  EXPECT_EQ(btkStrUtf8ToEuc("a\xe6\x97\xa5\xef\xbc\x8d", -1, buf, sizeof buf, 0, &used), 5);
  EXPECT_STREQ(buf, "a\xc6\xfc\xa1\xdd");
  EXPECT_EQ(btkStrEucToUtf8(buf, -1, buf + 16, 16, 0, &used), 7);
  EXPECT_STREQ(buf + 16, "a\xe6\x97\xa5\xe2\x88\x92");
  // Unmappable characters: substitution or failure with the position.
  EXPECT_EQ(btkStrUtf16ToEuc(u"x\u0410\U0001F600y", -1, buf, sizeof buf, '?', &used), 5);
  EXPECT_STREQ(buf, "x\xa7\xa1?y");
  EXPECT_EQ(btkStrUtf16ToEuc(u"x\U0001F600y", -1, buf, sizeof buf, 0, &used), BTK_UNI_E_INVALID);
  EXPECT_EQ(used, 1);
  EXPECT_STREQ(buf, "x");
  EXPECT_EQ(btkStrUtf8ToEuc("x\xff", -1, buf, sizeof buf, '?', &used), BTK_UNI_E_INVALID);
  // Malformed EUC input: substitution or failure.
  EXPECT_EQ(btkStrEucToUtf16("a\xa4"
                             "b\xb0",
                             -1, w, 16, 0xFFFD, &used),
            4);
  EXPECT_EQ(std::u16string(w), u"a\ufffdb\ufffd");
  EXPECT_EQ(btkStrEucToUtf16("a\x8f\xa1", -1, w, 16, 0, &used), BTK_UNI_E_INVALID);
  EXPECT_EQ(used, 1);
  EXPECT_EQ(btkStrEucToUtf16("\xa4\xa2\xa4\xa4", -1, w, 2, 0, &used), BTK_UNI_E_NO_SPACE);
  EXPECT_EQ(used, 2);
}

TEST(Unicode, WideFormIsTheEucProcessCode) {
  kw_wchar w[8];
  EXPECT_EQ(btkLangGetCurrent(), BTK_LANG_ENGLISH);
  // Outside Japanese the wide form is UTF-16 itself.
  EXPECT_EQ(btkStrUtf16ToWide(u"\u65e5", -1, w, 8, nullptr), 1);
  EXPECT_EQ(w[0], 0x65E5);
  EXPECT_EQ(btkLangSetCurrent(BTK_LANG_JAPANESE), BTK_LANG_ENGLISH);
  struct Row {
    char16_t process;
    char16_t unicode;
  } rows[] = {
      {0x0041, u'A'},   {0xB0A1, 0x4E9C},           // JIS X 0208
      {0x00B1, 0xFF71},                             // half-width katakana
      {0xA1A1, 0x3000}, {0xB0A1 & 0xFF7F, 0x4E02},  // JIS X 0212 row 0x30, cell 0x21
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(static_cast<int>(r.process));
    kw_wchar in[2] = {r.process, 0};
    ASSERT_EQ(btkStrWideToUtf16(in, -1, w, 8, nullptr), 1);
    EXPECT_EQ(w[0], r.unicode);
    kw_wchar u[2] = {r.unicode, 0};
    ASSERT_EQ(btkStrUtf16ToWide(u, -1, w, 8, nullptr), 1);
    EXPECT_EQ(w[0], r.process);
  }
  int32_t used;
  EXPECT_EQ(btkStrUtf16ToWide(u"a\U0001F600", -1, w, 8, &used), BTK_UNI_E_INVALID);
  EXPECT_EQ(used, 1);
  kw_wchar bad[] = {0x1234, 0};  // bit 15 clear above 0xFF: no code set
  EXPECT_EQ(btkStrWideToUtf16(bad, -1, w, 8, nullptr), BTK_UNI_E_INVALID);
  EXPECT_EQ(btkLangNativeEncoding(-1), 932);
  EXPECT_EQ(btkLangEucEncoding(-1), BTK_CP_EUC_JP);
  EXPECT_EQ(btkLangSetCurrent(99), BTK_UNI_E_ARG);
}

TEST(Unicode, NativeIsUtf8InTheCLocale) {
  char buf[16];
  EXPECT_EQ(btkStrUtf16ToNative(u"\u00e9t\u00e9", -1, buf, sizeof buf, '?', nullptr), 5);
  EXPECT_STREQ(buf, "\xc3\xa9t\xc3\xa9");
  int32_t len;
  char *copy = btkStrNativeToUtf8Alloc("caf\xc3\xa9", -1, &len);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(len, 5);
  rlsmem(copy);
  EXPECT_EQ(btkStrNativeToUtf8Alloc("caf\xe9", -1, &len), nullptr);
}

// Decodes `bytes` with a converter in chunks of the given sizes.
std::u16string decode_in_chunks(btkUConv *cv, const std::string &bytes, std::size_t first,
                                std::size_t rest, int *rc_out) {
  std::u16string out;
  kw_wchar buf[64];
  const char *p = bytes.data();
  const char *end = p + bytes.size();
  std::size_t chunk = first;
  int rc = BTK_UCONV_OK;
  do {
    const char *stop = static_cast<std::size_t>(end - p) < chunk ? end : p + chunk;
    bool last = stop == end;
    do {
      kw_wchar *d = buf;
      rc = btkUConv_ToPivot(cv, &p, stop, &d, buf + 64, last);
      out.append(buf, static_cast<std::size_t>(d - buf));
    } while (rc == BTK_UCONV_NO_SPACE);
    if (rc != BTK_UCONV_OK) break;
    chunk = rest;
  } while (p < end);
  *rc_out = rc;
  return out;
}

TEST(Unicode, ConverterCarriesPartialCharactersAcrossChunks) {
  const std::u16string text = u"A\u65e5\u672c\uff71\u3042 \u4e9c|x\u9ad8";
  const char *encodings[] = {"UTF-8",    "EUC-JP",      "CP932",   "UTF-16LE",
                             "UTF-16BE", "ISO-2022-JP", "GB18030", "UTF-32LE"};
  for (const char *enc : encodings) {
    SCOPED_TRACE(enc);
    std::u16string t = text;
    if (std::strcmp(enc, "UTF-8") == 0 || std::strncmp(enc, "UTF-", 4) == 0 ||
        std::strcmp(enc, "GB18030") == 0)
      t += u"\u00e9\U0001F600";
    if (std::strcmp(enc, "ISO-2022-JP") == 0) t = u"A\u65e5\u672cB\u3042";
    std::string bytes;
    ASSERT_TRUE(ref_iconv(enc, "UTF-16LE", as_bytes(t), &bytes));
    for (std::size_t split = 0; split <= bytes.size(); ++split) {
      int32_t status;
      btkUConv *cv = btkUConv_Create(enc, 0, &status);
      ASSERT_NE(cv, nullptr);
      int rc;
      EXPECT_EQ(
          decode_in_chunks(cv, bytes, split == 0 ? 1 : split, split == 0 ? 1 : bytes.size(), &rc),
          t)
          << "split " << split;
      EXPECT_EQ(rc, BTK_UCONV_OK);
      btkUConv_Dispose(cv);
    }
    // Encoding back, cut between the halves of a surrogate pair.
    btkUConv *cv = btkUConv_Create(enc, 0, nullptr);
    std::string back;
    for (std::size_t i = 0; i < t.size(); ++i) {
      char out[16];
      char *d = out;
      const kw_wchar *s = t.data() + i;
      ASSERT_EQ(btkUConv_FromPivot(cv, &s, t.data() + i + 1, &d, out + 16, i + 1 == t.size()),
                BTK_UCONV_OK);
      back.append(out, static_cast<std::size_t>(d - out));
    }
    EXPECT_EQ(back, bytes);
    btkUConv_Dispose(cv);
  }
}

TEST(Unicode, ConverterReportsInvalidInputWithItsPosition) {
  struct Row {
    const char *enc;
    std::string bytes;
    int64_t offset;
    int32_t length;
  } rows[] = {
      {"UTF-8",
       "abc\xe3\x81"
       "Z",
       3, 2},
      {"UTF-8", "ab\xff", 2, 1},
      {"EUC-JP", "a\xa4\xa2\xff", 3, 1},
      {"CP932", "ab\x82", 2, 1},  // cut off at the end of the last chunk
      {"GB18030", "xy\xff\xff\xff\xff", 2, 1},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.enc);
    btkUConv *cv = btkUConv_Create(r.enc, 0, nullptr);
    ASSERT_NE(cv, nullptr);
    int rc;
    decode_in_chunks(cv, r.bytes, 2, 1, &rc);
    EXPECT_EQ(rc, BTK_UCONV_INVALID);
    int64_t offset = -1;
    int32_t length = -1;
    EXPECT_EQ(btkUConv_LastError(cv, &offset, &length), 1);
    EXPECT_EQ(offset, r.offset);
    EXPECT_EQ(length, r.length);
    btkUConv_Reset(cv);
    EXPECT_EQ(btkUConv_LastError(cv, nullptr, nullptr), 0);
    btkUConv_Dispose(cv);
    btkUConv *sub = btkUConv_Create(r.enc, BTK_UCONV_SUBSTITUTE, nullptr);
    std::u16string text = decode_in_chunks(sub, r.bytes, 2, 1, &rc);
    EXPECT_EQ(rc, BTK_UCONV_OK);
    EXPECT_NE(text.find(u'\ufffd'), std::u16string::npos);
    btkUConv_Dispose(sub);
  }
  int32_t status = 0;
  EXPECT_EQ(btkUConv_Create("NO-SUCH-ENCODING", 0, &status), nullptr);
  EXPECT_EQ(status, BTK_UNI_E_UNSUPPORTED);
  EXPECT_EQ(btkUConv_CreateCP(12345, 0, &status), nullptr);
}

TEST(Unicode, TranscodeThroughASmallPivot) {
  std::string utf8 = "Kanji: \xe6\xbc\xa2\xe5\xad\x97, kana \xe3\x81\x8b\xef\xbd\xb6!";
  std::string want;
  ASSERT_TRUE(ref_iconv("EUC-JP", "UTF-8", utf8, &want));
  btkUConv *from = btkUConv_CreateCP(BTK_CP_UTF8, 0, nullptr);
  btkUConv *to = btkUConv_CreateCP(BTK_CP_EUC_JP, 0, nullptr);
  kw_wchar pivot[3];
  kw_wchar *ps = pivot, *pt = pivot;
  std::string got;
  const char *src = utf8.data();
  bool first = true;
  for (std::size_t at = 0; at < utf8.size(); at += 5) {
    const char *stop = utf8.data() + std::min(utf8.size(), at + 5);
    int rc;
    do {
      char out[3];
      char *d = out;
      rc = btkUConv_TranscodeEx(to, from, &d, out + 3, &src, stop, pivot, &ps, &pt, pivot + 3,
                                first, stop == utf8.data() + utf8.size());
      first = false;
      got.append(out, static_cast<std::size_t>(d - out));
    } while (rc == BTK_UCONV_NO_SPACE);
    ASSERT_EQ(rc, BTK_UCONV_OK);
  }
  EXPECT_EQ(got, want);
  btkUConv_Dispose(from);
  btkUConv_Dispose(to);
}

TEST(Unicode, StatefulEncodingIntoATinyBuffer) {
  // Escape sequences must survive output buffers too small for them.
  const std::u16string text = u"A\u65e5\u672cB\u3042z";
  std::string want;
  ASSERT_TRUE(ref_iconv("ISO-2022-JP", "UTF-16LE", as_bytes(text), &want));
  btkUConv *cv = btkUConv_Create("ISO-2022-JP", 0, nullptr);
  ASSERT_NE(cv, nullptr);
  std::string got;
  const kw_wchar *s = text.data();
  int rc;
  do {
    char one[1];
    char *d = one;
    rc = btkUConv_FromPivot(cv, &s, text.data() + text.size(), &d, one + 1, 1);
    got.append(one, static_cast<std::size_t>(d - one));
  } while (rc == BTK_UCONV_NO_SPACE);
  EXPECT_EQ(rc, BTK_UCONV_OK);
  EXPECT_EQ(got, want);
  btkUConv_Dispose(cv);
}

TEST(Unicode, ShiftJisTableMatchesIconv) {
  btkUConv *cv = btkUConv_CreateCP(BTK_CP_SHIFT_JIS, 0, nullptr);
  ASSERT_NE(cv, nullptr);
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      std::string sj = {static_cast<char>(lead), static_cast<char>(trail)};
      std::string ref;
      bool ok = ref_iconv("UTF-16LE", "CP932", sj, &ref);
      kw_wchar out[4];
      kw_wchar *d = out;
      const char *s = sj.data();
      btkUConv_Reset(cv);
      int rc = btkUConv_ToPivot(cv, &s, sj.data() + 2, &d, out + 4, 1);
      if (!ok) {
        EXPECT_EQ(rc, BTK_UCONV_INVALID) << std::hex << lead << " " << trail;
        continue;
      }
      ASSERT_EQ(rc, BTK_UCONV_OK) << std::hex << lead << " " << trail;
      EXPECT_EQ(std::u16string(out, d), from_bytes(ref));
      ++mapped;
    }
  }
  EXPECT_GT(mapped, 7000);
  btkUConv_Dispose(cv);
}

TEST(Unicode, CodePageTablesMatchIconv) {
  struct Row {
    int32_t cp;
    const char *iconv_name;
  } rows[] = {{936, "GBK"},     {949, "CP949"},   {950, "BIG5"},    {1250, "CP1250"},
              {1251, "CP1251"}, {1253, "CP1253"}, {1254, "CP1254"}, {28598, "ISO-8859-8"}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.iconv_name);
    btkUConv *cv = btkUConv_CreateCP(r.cp, 0, nullptr);
    ASSERT_NE(cv, nullptr);
    int compared = 0;
    for (int lead = 0x01; lead <= 0xFF; ++lead) {
      for (int trail = -1; trail <= 0xFE; trail += (trail < 0 ? 0x41 : 1)) {
        std::string bytes(1, static_cast<char>(lead));
        if (trail >= 0) bytes.push_back(static_cast<char>(trail));
        std::string ref;
        bool ok = ref_iconv("UTF-16LE", r.iconv_name, bytes, &ref);
        kw_wchar out[4];
        kw_wchar *d = out;
        const char *src = bytes.data();
        btkUConv_Reset(cv);
        int rc = btkUConv_ToPivot(cv, &src, bytes.data() + bytes.size(), &d, out + 4, 1);
        if (ok) {
          ASSERT_EQ(rc, BTK_UCONV_OK) << std::hex << lead << " " << trail;
          EXPECT_EQ(std::u16string(out, d), from_bytes(ref)) << std::hex << lead << " " << trail;
          ++compared;
        } else {
          EXPECT_EQ(rc, BTK_UCONV_INVALID) << std::hex << lead << " " << trail;
        }
        if (trail < 0 && ok) break;  // a complete single byte is no lead byte
      }
    }
    EXPECT_GT(compared, r.cp < 1000 ? 10000 : 120);  // double-byte pages map thousands
    btkUConv_Dispose(cv);
  }
}

TEST(Unicode, ModeSwitch) {
  EXPECT_EQ(btkUnicodeIsEnabled(), 1);
  EXPECT_EQ(btkUnicodeSetEnabled(0), 1);
  EXPECT_EQ(btkUnicodeIsEnabled(), 0);
}

TEST(Unicode, ModeFromEnvironment) {
  setenv("KEELWORK_UNICODE", "0", 1);
  EXPECT_EQ(btkUnicodeIsEnabled(), 0);
  EXPECT_EQ(btkUnicodeSetEnabled(1), 0);
  EXPECT_EQ(btkUnicodeIsEnabled(), 1);
}

TEST(Unicode, CharacterClasses) {
  struct Row {
    int c;
    int space, digit, alpha, rtol;
  } rows[] = {
      {' ', 1, 0, 0, 0},    {'\t', 1, 0, 0, 0},    {0x3000, 1, 0, 0, 0}, {0xA0, 1, 0, 0, 0},
      {'7', 0, 1, 0, 0},    {0x0663, 0, 0, 0, 0},  {'q', 0, 0, 1, 0},    {0xE9, 0, 0, 1, 0},
      {0x65E5, 0, 0, 1, 0}, {0x05D0, 0, 0, 1, 1},  {0x05EA, 0, 0, 1, 1}, {0x05EB, 0, 0, 0, 0},
      {0xD800, 0, 0, 0, 0}, {0x10000, 0, 0, 0, 0}, {-1, 0, 0, 0, 0},     {'_', 0, 0, 0, 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.c);
    EXPECT_EQ(btk_iswspace(r.c) != 0, r.space != 0);
    EXPECT_EQ(btk_iswdigit(r.c) != 0, r.digit != 0);
    EXPECT_EQ(btk_iswalpha(r.c) != 0, r.alpha != 0);
    EXPECT_EQ(btk_iswalnum(r.c) != 0, (r.alpha || r.digit));
    EXPECT_EQ(btk_iswrtol(r.c) != 0, r.rtol != 0);
    EXPECT_EQ(btk_iswascii(r.c) != 0, r.c >= 0 && r.c < 0x80);
  }
  EXPECT_EQ(btk_strcasecmp("Hello", "hELLO"), 0);
  EXPECT_LT(btk_strcasecmp("abc", "ABD"), 0);
  EXPECT_GT(btk_strcasecmp("\xc3\xa9", "\xc3\x89"), 0);  // no folding beyond ASCII
  EXPECT_EQ(btk_strncasecmp("PREfix-a", "prefix-b", 7), 0);
  EXPECT_NE(btk_strncasecmp("PREfix-a", "prefix-b", 8), 0);
}

TEST(Unicode, SessionCharacters) {
  char b[4];
  kw_wchar w[2];
  EXPECT_EQ(btk_wctomb(b, 0x65E5), 3);
  EXPECT_EQ(btk_mbtowc(w, "\xe6\x97\xa5", -1), 3);
  EXPECT_EQ(w[0], 0x65E5);
  EXPECT_EQ(btk_wctomb(b, 0xD800), -1);
  EXPECT_EQ(btk_mbtowc(w, "\xe6\x97", 2), -1);
  btkUnicodeSetEnabled(0);
  btkLangSetCurrent(BTK_LANG_JAPANESE);
  EXPECT_EQ(btk_wctomb(b, 0x65E5), 2);
  EXPECT_EQ(std::string(b, 2), "\xc6\xfc");
  EXPECT_EQ(btk_mbtowc(w, "\xc6\xfc", -1), 2);
  EXPECT_EQ(w[0], 0x65E5);
  EXPECT_EQ(btk_mbtowc(w, "\xc6", -1), -1);  // the NUL is not a trail byte
  btkLangSetCurrent(BTK_LANG_CYRILLIC);
  EXPECT_EQ(btk_wctomb(b, 0x0416), 1);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), 0xC6);
  EXPECT_EQ(btk_wctomb(b, 0x65E5), -1);
}

TEST(Unicode, Base64) {
  struct Row {
    std::string raw, text;
  } rows[] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
              {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\x00\xff\xfe", 3), "AP/+"}};
  for (const Row &r : rows) {
    char text[16];
    EXPECT_EQ(ConvertTo64Base(r.raw.data(), static_cast<int32_t>(r.raw.size()), text, sizeof text),
              static_cast<int32_t>(r.text.size()));
    EXPECT_EQ(std::string(text), r.text);
    char raw[16];
    EXPECT_EQ(ConvertFrom64Base(r.text.c_str(), -1, raw, sizeof raw),
              static_cast<int32_t>(r.raw.size()));
    EXPECT_EQ(std::string(raw, r.raw.size()), r.raw);
  }
  char raw[16];
  EXPECT_EQ(ConvertFrom64Base("Zm9v\r\nYg", -1, raw, sizeof raw), 4);  // blanks, no padding
  const char *bad[] = {"Zm9v!", "Z", "Zg=", "=Zg", "Zg==Zg==", "Zm9vY===", "Zg=x"};
  for (const char *b : bad) {
    SCOPED_TRACE(b);
    EXPECT_EQ(ConvertFrom64Base(b, -1, raw, sizeof raw), BTK_UNI_E_INVALID);
  }
  EXPECT_EQ(ConvertFrom64Base("Zm9vYmFy", -1, raw, 5), BTK_UNI_E_NO_SPACE);
  char small[4];
  EXPECT_EQ(ConvertTo64Base("foo", 3, small, 4), BTK_UNI_E_NO_SPACE);
}

}  // namespace
