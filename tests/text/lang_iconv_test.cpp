// The Japanese and UTF conversions against glibc's iconv, an independent
// implementation, over every JIS X 0208 character, the half-width
// katakana and random text; and malformed input of each encoding.
#include <gtest/gtest.h>
#include <iconv.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/memory.h>
#include <keelwork/wstring.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Converts `in` with iconv; false when iconv rejects it.
bool ref(const char *to, const char *from, const std::string &in, std::string *out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buf(in.size() * 4 + 16, '\0');
  char *ip = const_cast<char *>(in.data());
  size_t il = in.size();
  char *op = buf.data();
  size_t ol = buf.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || il != 0) return false;
  out->assign(buf.data(), buf.size() - ol);
  return true;
}

std::string utf16_bytes(const std::u16string &s) {
  return std::string(reinterpret_cast<const char *>(s.data()), s.size() * 2);
}

std::u16string utf16_of(const std::string &bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

class JapaneseSession : public ::testing::Test {
 protected:
  void SetUp() override {
    btkUnicodeSetEnabled(0);
    set_language(LANG_JAPANESE);
  }
};

// Rows 1 to 84 hold the characters of JIS X 0208 (with the row of NEC
// symbols that Windows adds). The legacy conversions follow Windows code
// page 932, which is what glibc calls EUC-JP-MS on the EUC side.
TEST_F(JapaneseSession, EveryJisX0208CharacterBothWays) {
  int checked = 0;
  for (int row = 1; row <= 84; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      std::string euc = {static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + cell)};
      std::string expected;
      if (!ref("UTF-16LE", "EUC-JP-MS", euc, &expected)) continue;
      SCOPED_TRACE(testing::Message() << "row " << row << " cell " << cell);
      kw_wchar wide[4];
      strtows_legacy(wide, euc.c_str());
      ASSERT_EQ(std::u16string(wide), utf16_of(expected));
      // Back to EUC-JP: where Windows has two codes for a character, iconv
      // decides which one, as it does for us.
      std::string back_ref;
      ASSERT_TRUE(ref("EUC-JP-MS", "UTF-16LE", expected, &back_ref));
      char back[8];
      wstostr_legacy(back, wide);
      EXPECT_EQ(std::string(back), back_ref);
      // And to Shift-JIS.
      std::string sjis_ref;
      ASSERT_TRUE(ref("CP932", "UTF-16LE", expected, &sjis_ref));
      wstostr_nativeq_legacy(back, wide, 1);
      EXPECT_EQ(std::string(back), sjis_ref);
      // Shift-JIS in: the code this character has there, through EUC-JP.
      int c1 = 0x20 + row, c2 = 0x20 + cell;
      jis2sjis(&c1, &c2);
      std::string sjis = {static_cast<char>(c1), static_cast<char>(c2)};
      std::string from_sjis;
      ASSERT_TRUE(ref("UTF-16LE", "CP932", sjis, &from_sjis));
      char *as_euc = make_sjistoeuc(sjis.c_str());
      EXPECT_EQ(std::string(as_euc), euc);
      strtows_legacy(wide, as_euc);
      EXPECT_EQ(std::u16string(wide), utf16_of(from_sjis));
      relmem(&as_euc);
      ++checked;
    }
  }
  EXPECT_GT(checked, 6800);
}

// The JIS/Shift-JIS arithmetic against the standard (non-Windows) tables,
// which iconv keeps for EUC-JP and SHIFT_JIS independently.
TEST(JapaneseArithmetic, ShiftJisCodesAgreeWithTheStandardTables) {
  int checked = 0;
  for (int row = 1; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      int c1 = 0x20 + row, c2 = 0x20 + cell;
      jis2sjis(&c1, &c2);
      std::string from_sjis, from_euc;
      bool s =
          ref("UTF-16LE", "SHIFT_JIS", {static_cast<char>(c1), static_cast<char>(c2)}, &from_sjis);
      bool e = ref("UTF-16LE", "EUC-JP",
                   {static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + cell)}, &from_euc);
      SCOPED_TRACE(testing::Message() << "row " << row << " cell " << cell);
      ASSERT_EQ(s, e);
      if (s) {
        ASSERT_EQ(from_sjis, from_euc);
        ++checked;
      }
      sjis2jis(&c1, &c2);
      ASSERT_EQ(c1, 0x20 + row);
      ASSERT_EQ(c2, 0x20 + cell);
    }
  }
  EXPECT_GT(checked, 6800);
}

TEST_F(JapaneseSession, HalfWidthKatakana) {
  for (int b = 0xA1; b <= 0xDF; ++b) {
    SCOPED_TRACE(b);
    std::string euc = {static_cast<char>(0x8E), static_cast<char>(b)};
    std::string expected;
    ASSERT_TRUE(ref("UTF-16LE", "EUC-JP", euc, &expected));
    kw_wchar wide[4];
    strtows_legacy(wide, euc.c_str());
    ASSERT_EQ(std::u16string(wide), utf16_of(expected));
    char back[8];
    wstostr_legacy(back, wide);
    EXPECT_EQ(std::string(back), euc);
    wstostr_nativeq_legacy(back, wide, 1);
    EXPECT_EQ(std::string(back), std::string(1, static_cast<char>(b)));
    char *as_euc = make_sjistoeuc(back);
    EXPECT_EQ(std::string(as_euc), euc);
    relmem(&as_euc);
  }
}

TEST_F(JapaneseSession, MalformedEucNeverStopsTheScan) {
  struct Case {
    const char *bytes;
    std::u16string wide;
  } cases[] = {
      // A byte that pairs with nothing converts alone, as code page 932
      // reads it: 0xB0 is a half-width katakana there.
      {"\xB0", u"\xFF70"},
      {"\xB0"
       "A",
       u"\xFF70"
       "A"},
      {"\x8E"
       "A",
       u"\xFFFD"
       "A"},                              // katakana prefix without katakana
      {"\xFF\xFF", u"\xFFFD\xFFFD"},      // bytes that start nothing
      {"\x8F\xA2\xAF", u"\xFFFD\xFFFD"},  // JIS X 0212 is not in code page 932
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bytes);
    kw_wchar wide[16];
    euc_str_to_unicode_str(wide, c.bytes);
    EXPECT_EQ(std::u16string(wide), c.wide);
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<size_t>(rng() % 64), '\0');
    for (char &b : bytes) b = static_cast<char>(1 + rng() % 255);
    std::vector<kw_wchar> wide(bytes.size() + 1);
    euc_str_to_unicode_str(wide.data(), bytes.c_str());
    EXPECT_LE(std::u16string(wide.data()).size(), bytes.size());
  }
}

// ---- UTF-8 and UTF-16 in Unicode mode -------------------------------------------------

std::u16string random_text(std::mt19937 &rng, size_t n) {
  std::u16string s;
  while (s.size() < n) {
    unsigned kind = rng() % 8;
    char32_t cp;
    if (kind < 3)
      cp = 0x20 + rng() % 0x5F;
    else if (kind < 5)
      cp = 0xA0 + rng() % 0x700;
    else if (kind < 7)
      cp = 0x3000 + rng() % 0x6000;
    else
      cp = 0x10000 + rng() % 0xFFFFF;
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      s.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      s.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      s.push_back(static_cast<char16_t>(cp));
    }
  }
  return s;
}

TEST(UnicodeMode, ConversionsAgreeWithIconvOnRandomText) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::u16string text = random_text(rng, rng() % 200);
    std::string utf8;
    ASSERT_TRUE(ref("UTF-8", "UTF-16LE", utf16_bytes(text), &utf8));
    std::string ours(4 * text.size() + 1, '\0');
    ASSERT_NE(wstostr(ours.data(), text.c_str()), nullptr);
    ASSERT_EQ(std::string(ours.c_str()), utf8);
    std::vector<kw_wchar> back(utf8.size() + 1);
    ASSERT_NE(strtows(back.data(), utf8.c_str()), nullptr);
    ASSERT_EQ(std::u16string(back.data()), text);
  }
}

TEST(UnicodeMode, InvalidInputIsRefused) {
  const char *bad_utf8[] = {
      "\xC0\xAF",          // overlong "/"
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xED\xA0\x80",      // an encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "ab\xE3\x81",        // cut off
      "\x80",              // a lone continuation byte
  };
  for (const char *s : bad_utf8) {
    SCOPED_TRACE(testing::PrintToString(std::string(s)));
    kw_wchar wide[16];
    EXPECT_EQ(strtows(wide, s), nullptr);
    EXPECT_EQ(make_strtows(s), nullptr);
  }
  const char16_t *bad_utf16[] = {u"a\xD800", u"\xDC00z", u"\xD800\xD800"};
  for (const char16_t *w : bad_utf16) {
    char bytes[32];
    EXPECT_EQ(wstostr(bytes, w), nullptr);
    EXPECT_EQ(make_wstostr(w), nullptr);
  }
}

}  // namespace
