// The locale table, the session language and its determination, file
// languages and the MT-safe guards.
#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/memory.h>
#include <keelwork/runmode.h>
#include <keelwork/thread.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Starts every case from an environment that names no language.
class Lang : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *v : {"VEX_LANG", "LANG", "LC_ALL", "LC_MESSAGES", "VEX_DIRECTORY",
                          "ALLOW_UNSUPPORTED_LOCALE", "CUSTOM_LOCALE_IS_MULTIBYTE"})
      unsetenv(v);
  }
};

std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "<unset>";
}

bool locale_available(const char *name) {
  const char *old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  bool ok = std::setlocale(LC_ALL, name) != nullptr;
  std::setlocale(LC_ALL, saved.c_str());
  return ok;
}

TEST_F(Lang, APIExamples) {
  setenv("LANG", "japanese", 1);
  EXPECT_EQ(get_language(), LANG_JAPANESE);
  EXPECT_STREQ(lang_env_by_id(get_language()), "japanese");
  EXPECT_EQ(lang_get_code_page(-1), 932);
  EXPECT_TRUE(is_multibyte_language(get_language()));
  EXPECT_EQ(set_language(LANG_ENGLISH), LANG_JAPANESE);
  EXPECT_EQ(lang_get_code_page(-1), 0);
}

TEST_F(Lang, LookupByName) {
  struct Case {
    const char *name;
    int id;
  } cases[] = {{"JAPANESE", 1}, {"cht", 9},    {"Chinese-Simplified", 10},
               {"", -2},        {" \t\n", -2}, {"klingon", -1},
               {"0x0411", 1},   {"0x540a", 7}, {"0x3009", 0},
               {"usascii", 0},  {"english", 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(lang_id_by_name(c.name), c.id);
  }
  EXPECT_EQ(lang_id_by_name(nullptr), -1);
}

TEST_F(Lang, NamesById) {
  struct Case {
    int id;
    const char *name, *env;
  } cases[] = {{0, "usascii", "C"},
               {9, "chinese_tw", "cht"},
               {10, "chinese_cn", "chs"},
               {6, "usascii", "usascii"},
               {11, "usascii", "usascii"},
               {20, "slovak", "slovak"},
               {21, "", ""},
               {-1, "", ""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_STREQ(lang_name_by_id(c.id), c.name);
    EXPECT_STREQ(lang_env_by_id(c.id), c.env);
    EXPECT_EQ(is_valid_language(c.id), c.name[0] != 0);
  }
}

TEST_F(Lang, PropertiesOfTheIds) {
  for (int id = -1; id <= 21; ++id) {
    SCOPED_TRACE(id);
    bool mb = id == 1 || id == 6 || id == 8 || id == 9 || id == 10;
    EXPECT_EQ(is_multibyte_language(id), mb);
    EXPECT_EQ(is_generic_language(id), id == 6 || id == 11);
    EXPECT_EQ(is_righttoleft_language(id), id == 12);
  }
  EXPECT_EQ(lang_get_code_page(12), 28598);
  EXPECT_EQ(lang_get_code_page(20), 1250);
  EXPECT_EQ(lang_get_code_page(2), 0);
  EXPECT_TRUE(iswrtol(0x05D0));
  EXPECT_TRUE(iswrtol(0x05EA));
  EXPECT_FALSE(iswrtol(0x05EB));
  set_language(LANG_ENGLISH);
  EXPECT_TRUE(isrtol(0xE0, 0));
  EXPECT_FALSE(isrtol(0xE0, 1));
  EXPECT_FALSE(isrtol(0xFB, 0));
  set_language(LANG_HEBREW);
  EXPECT_TRUE(isrtol(0xFA, 1));
}

TEST_F(Lang, UserLanguageNamesTheSessionWhenNothingElseDoes) {
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  EXPECT_EQ(get_language(), LANG_JAPANESE);
  EXPECT_EQ(env("LANG"), "japanese");
  EXPECT_EQ(get_language_for_pfa(), LANG_JAPANESE);
}

TEST_F(Lang, NoLanguageAnywhereIsEnglishWithAWarningInTestRuns) {
  set_run_mode(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_language(), LANG_ENGLISH);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nWARNING: LANG environment is not set. Using default (USASCII).\n");
}

TEST_F(Lang, BlankVexLangIsReportedAndLangUsed) {
  setenv("VEX_LANG", "   ", 1);
  setenv("LANG", "russian", 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_language(), LANG_RUSSIAN);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WARNING: VEX_LANG=    is an invalid setting.\n");
}

TEST_F(Lang, VexLangWinsAndIsCopiedToLang) {
  setenv("VEX_LANG", "korean", 1);
  setenv("LANG", "french", 1);
  EXPECT_EQ(get_language(), LANG_KOREAN);
  EXPECT_EQ(env("LANG"), "korean");
}

TEST_F(Lang, UtfLocaleIsRecordedAndAMissingOneFallsBack) {
  setenv("LANG", "xx_YY.UTF-8", 1);
  EXPECT_EQ(get_language(), LANG_ENGLISH);
  ASSERT_NE(GetLocaleUtfFlag(), nullptr);
  EXPECT_STREQ(GetLocaleUtfFlag(), "xx_YY.UTF-8");
  ASSERT_NE(GetLocalefailFlag(), nullptr);
  EXPECT_STREQ(GetLocalefailFlag(), "xx_YY.UTF-8");
}

TEST_F(Lang, AnInstalledLocaleOutsideTheTableIsACustomLocale) {
  if (!locale_available("C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  setenv("LANG", "C.UTF-8", 1);
  EXPECT_EQ(get_language(), LANG_GENERIC_SB);
  EXPECT_EQ(GetLocalefailFlag(), nullptr);
}

TEST_F(Lang, UnsupportedLocalesMayBeAllowed) {
  setenv("LANG", "xx_YY", 1);
  setenv("ALLOW_UNSUPPORTED_LOCALE", "1", 1);
  setenv("CUSTOM_LOCALE_IS_MULTIBYTE", "TRUE", 1);
  EXPECT_EQ(get_language(), LANG_GENERIC_MB);
  EXPECT_EQ(get_generic_lang_id(), LANG_GENERIC_MB);
}

TEST_F(Lang, CodePageLanguagesWorkWithoutTheirLocale) {
  // Their POSIX names end with C.UTF-8, which every machine has.
  for (const char *name : {"japanese", "korean", "cht", "chs", "russian", "greek", "slovak"}) {
    SCOPED_TRACE(name);
    EXPECT_GE(override_locale(lang_id_by_name(name)), 0);
    EXPECT_EQ(get_language(), lang_id_by_name(name));
  }
}

TEST_F(Lang, ForcedEnglishSticks) {
  setenv("LANG", "japanese", 1);
  EXPECT_EQ(lang_set_force_english(), LANG_ENGLISH);
  EXPECT_EQ(lang_get_force_english(), 1);
  EXPECT_EQ(env("LC_ALL"), "C");
  override_locale(LANG_JAPANESE);
  EXPECT_EQ(get_language(), LANG_ENGLISH);
}

TEST_F(Lang, PresetLanguageSkipsTheEnvironment) {
  setenv("LANG", "japanese", 1);
  EXPECT_EQ(set_language(LANG_KOREAN), -1);
  EXPECT_EQ(get_language(), LANG_KOREAN);
  EXPECT_EQ(get_language_for_pfa(), -1);  // never determined
}

TEST_F(Lang, GenericTextDirectory) {
  char dir[32] = "";
  setenv("CUSTOM_LOCALE_TEXT_DIR", "th", 1);
  set_language(LANG_ENGLISH);
  EXPECT_EQ(get_generic_lang_text_dir(dir), 0);
  set_language(LANG_GENERIC_SB);
  EXPECT_EQ(get_generic_lang_text_dir(dir), 1);
  EXPECT_STREQ(dir, "th");
  setenv("CUSTOM_LOCALE_TEXT_DIR", std::string(32, 'x').c_str(), 1);
  EXPECT_EQ(get_generic_lang_text_dir(dir), 0);
}

TEST_F(Lang, LoadingFilesOfOtherLanguages) {
  set_language(LANG_ENGLISH);
  EXPECT_EQ(set_ugc_ret_lang_env(LANG_FRENCH), 1);
  EXPECT_EQ(get_language(), LANG_ENGLISH);
  EXPECT_EQ(set_ugc_ret_lang_env(LANG_JAPANESE), 1);
  EXPECT_EQ(get_language(), LANG_JAPANESE);
  testing::internal::CaptureStdout();
  EXPECT_EQ(set_ugc_ret_lang_env(LANG_KOREAN), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Loading a non-english file"),
            std::string::npos);
  EXPECT_EQ(set_ugc_ret_lang_env(LANG_ENGLISH), 1);
  EXPECT_EQ(set_ugc_ret_lang_env(99), 1);
  EXPECT_EQ(get_language(), LANG_JAPANESE);
}

TEST_F(Lang, SavingRecordsTheFileLanguage) {
  struct Case {
    int session, file, propagate, recorded;
  } cases[] = {
      {LANG_ENGLISH, 99, 1, LANG_ENGLISH},         {LANG_ENGLISH, LANG_FRENCH, 1, LANG_FRENCH},
      {LANG_GERMAN, LANG_ENGLISH, 1, LANG_GERMAN}, {LANG_GERMAN, LANG_FRENCH, 1, LANG_GERMAN},
      {LANG_GERMAN, LANG_FRENCH, 0, LANG_FRENCH},  {LANG_ENGLISH, LANG_KOREAN, 1, LANG_KOREAN}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.session << " " << c.file);
    set_language(c.session);
    set_lang_propagate(c.propagate);
    testing::internal::CaptureStdout();
    EXPECT_EQ(set_ugc_save_lang_env(c.file), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(get_ugc_lang_id(), c.recorded);
  }
  EXPECT_EQ(get_language(), LANG_KOREAN);  // the last case switched the session
}

class LangTableFile : public Lang {
 protected:
  void SetUp() override {
    Lang::SetUp();
    dir_ = std::string(::testing::TempDir()) + "kwlang" + std::to_string(getpid());
    std::string text = dir_ + "/text";
    ASSERT_EQ(system(("mkdir -p " + text).c_str()), 0);
    std::ofstream f(text + "/vex_i18n.res");
    f << "! comment\n[OTHER]\nnot_read JAPANESE\n[LOCALE]\n{UNIX}\n{WINDOWS}\n"
         "Japanese_Japan.932\tJAPANESE\nde_AT.utf8  GERMAN\n! a comment\nlonely\n"
         "x KLINGON\nKorean_Korea CHINESE_TW\n}\nafter_end FRENCH\n";
    setenv("VEX_DIRECTORY", dir_.c_str(), 1);
  }
  void TearDown() override { (void)system(("rm -rf " + dir_).c_str()); }
  std::string dir_;
};

TEST_F(LangTableFile, RowsOfTheWindowsSectionAreAppended) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(lang_id_by_name("japanese_japan.932"), LANG_JAPANESE);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Unrecognized language \"KLINGON\" in vex_i18n.res.\n");
  EXPECT_EQ(lang_id_by_name("de_AT.utf8"), LANG_GERMAN);
  EXPECT_EQ(lang_id_by_name("Korean_Korea"), LANG_CHINESE_TW);
  EXPECT_EQ(lang_id_by_name("not_read"), -1);
  EXPECT_EQ(lang_id_by_name("after_end"), -1);
  EXPECT_EQ(lang_id_by_name("x"), -1);
  EXPECT_EQ(lang_id_by_name("japanese"), LANG_JAPANESE);  // built-ins stay
  // Appending again does not read the file twice.
  EXPECT_EQ(lang_init(1), 0);
  EXPECT_STREQ(lang_name_by_id(LANG_CHINESE_TW), "chinese_tw");
}

TEST_F(LangTableFile, ReplacingKeepsOnlyTheFileRows) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(lang_init(0), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(lang_id_by_name("japanese"), -1);
  EXPECT_EQ(lang_id_by_name("Japanese_Japan.932"), LANG_JAPANESE);
  EXPECT_STREQ(lang_name_by_id(LANG_JAPANESE), "Japanese_Japan.932");
  // A table name that the system does not know still finds its language's
  // POSIX locales.
  setenv("LANG", "Japanese_Japan.932", 1);
  EXPECT_EQ(get_language(), LANG_JAPANESE);
}

TEST_F(Lang, MissingTableFileIsReported) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(langLoadExtTbl("no_such_table.res", 1), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nlangLoadExtTbl: File \"no_such_table.res\" could not be opened.\n");
}

TEST_F(Lang, GuardedGlobalsReportWritesDuringParallelWork) {
  set_verbose_mode(1);
  set_run_mode(1);
  set_dbg_err_crash(0);
  EXPECT_EQ(start_mt_safe_mode_for_language(), 0);
  EXPECT_TRUE(IsInMTSafeSet("language"));
  testing::internal::CaptureStdout();
  set_language(LANG_ENGLISH);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("AbortIfInMTSafeSet:  The program uses static/global data (language) in an "
                     "unproper way"),
            std::string::npos);
  EXPECT_EQ(end_mt_safe_mode_for_language(), 0);
  testing::internal::CaptureStdout();
  set_language(LANG_ENGLISH);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(start_mt_safe_mode_for__locale_determined_(), 0);
  EXPECT_TRUE(IsInMTSafeSet("_locale_determined_"));
}

}  // namespace

namespace {

// ---- Japanese encodings -----------------------------------------------------------

TEST(Japanese, JisAndShiftJisArithmetic) {
  struct Case {
    int j1, j2, s1, s2;
  } cases[] = {{0x30, 0x21, 0x88, 0x9F}, {0x21, 0x21, 0x81, 0x40}, {0x21, 0x60, 0x81, 0x80},
               {0x5E, 0x7E, 0x9F, 0xFC}, {0x5F, 0x21, 0xE0, 0x40}, {0x7E, 0x7E, 0xEF, 0xFC},
               {0x22, 0x5F, 0x81, 0xDD}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.j1 << " " << c.j2);
    int a = c.j1, b = c.j2;
    jis2sjis(&a, &b);
    EXPECT_EQ(a, c.s1);
    EXPECT_EQ(b, c.s2);
    sjis2jis(&a, &b);
    EXPECT_EQ(a, c.j1);
    EXPECT_EQ(b, c.j2);
  }
  int zero = 0, x = 0x41;
  jis2sjis(&zero, &x);
  EXPECT_EQ(x, 0x41);
}

TEST(Japanese, ProcessCodesAndTheirBytes) {
  struct Case {
    int code;
    const char *bytes;
  } cases[] = {{0xA422, "\x8F\xA4\xA2"}, {0x00B1, "\x8E\xB1"}, {0xB0A1, "\xB0\xA1"}, {0x0041, "A"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    char out[4] = {};
    int n = euc_wc2mb(out, c.code);
    EXPECT_EQ(std::string(out, n), c.bytes);
    kw_wchar back = 0;
    EXPECT_EQ(euc_mb2wc(&back, c.bytes, -1), n);
    EXPECT_EQ(back, c.code);
  }
  EXPECT_EQ(wc_jis2euc(0x3021), 0xB0A1);
  EXPECT_EQ(wc_jis2euc(0x41), 0x41);
  EXPECT_EQ(wc_jis2euc__codeset3(0x2422), 0xA422);
  EXPECT_EQ(wc_euc2jis(0xB0A1), 0x3021);
}

TEST(Japanese, ShortAndCutEucInput) {
  kw_wchar code = 0;
  EXPECT_EQ(euc_mb2wc(&code, "\xB0\xA1", 1), 0);  // needs two bytes
  EXPECT_EQ(euc_mb2wc(&code, "\x8F\xA4\xA2", 2), 0);
  EXPECT_EQ(euc_mb2wc(&code, "\xB0", -1), 1);  // lead byte before the NUL
  EXPECT_EQ(code, 0xB0);
  EXPECT_EQ(euc_mb2wc(&code, "\x8F\xA4", -1), 1);
  EXPECT_EQ(code, 0x8F);
  EXPECT_EQ(euc_mb2wc(nullptr, "A", 1), 0);
}

TEST(Japanese, CharacterLengths) {
  btkUnicodeSetEnabled(0);
  EXPECT_EQ(vex_csetlen(0x8F), 3);
  EXPECT_EQ(vex_csetlen(0xA4), 2);
  EXPECT_EQ(vex_csetlen('a'), 1);
  btkUnicodeSetEnabled(1);
  struct Case {
    int byte, len;
  } cases[] = {{0x41, 1}, {0x8F, 2}, {0xC3, 2}, {0xE3, 3}, {0xF0, 4}, {0xF4, 4}, {0xF8, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.byte);
    EXPECT_EQ(vex_csetlen(c.byte), c.len);
  }
  EXPECT_EQ(vex_csetlen_legacy(0x8F), 3);
}

TEST(Japanese, HexJisCodes) {
  set_language(LANG_JAPANESE);
  char hex[5];
  kw_wchar ideographic_space = 0x3000;
  EXPECT_EQ(wctohexjis(hex, &ideographic_space), 1);
  EXPECT_STREQ(hex, "2121");
  kw_wchar wc = 0;
  EXPECT_EQ(hexjistowc(&wc, "2121", 0), 1);
  EXPECT_EQ(wc, 0x3000);
  EXPECT_EQ(hexjistowc(&wc, "zz", 0), 0);
  EXPECT_EQ(wc, 0);
  btkUnicodeSetEnabled(0);
  kw_wchar code = 0xA1A1;
  EXPECT_EQ(wctohexjis(hex, &code), 1);
  EXPECT_STREQ(hex, "2121");
  EXPECT_EQ(hexjistowc(&wc, "3021", 0), 1);
  EXPECT_EQ(wc, 0x4E9C);  // the first kanji of JIS X 0208
  set_language(LANG_ENGLISH);
  EXPECT_EQ(wctohexjis(hex, &code), 0);
  EXPECT_EQ(hexjistowc(&wc, "3021", 1), 0);
}

TEST(Japanese, LegacyWideCharacters) {
  set_language(LANG_JAPANESE);
  EXPECT_EQ(unicode_to_wchar(0x3000), 0xA1A1);
  EXPECT_EQ(unicode_to_wchar(0xFF71), 0x00B1);  // half-width katakana A
  EXPECT_EQ(unicode_to_wchar('A'), 'A');
  kw_wchar wc = 0xB0A1;
  EXPECT_EQ(wc16towc32(&wc), 1);
  EXPECT_EQ(wc, 0x4E9C);
  EXPECT_EQ(kw_iswctype(0xA1A1, 8), 1);
  EXPECT_EQ(kw_iswctype(0xA1A1, 1), 0);
  EXPECT_EQ(kw_iswctype(0x20, 8), 0);
  set_language(LANG_HEBREW);
  EXPECT_EQ(unicode_to_wchar(0x05D0), 0xE0);
  set_language(LANG_FRENCH);
  EXPECT_EQ(unicode_to_wchar(0x00E9), 0x00E9);
}

TEST(Japanese, SingleCharactersOfTheSessionEncoding) {
  char b[4];
  EXPECT_EQ(vex_wctomb(b, 0x00E9), 2);  // Unicode mode: UTF-8
  EXPECT_EQ(std::string(b, 2), "\xC3\xA9");
  kw_wchar wc = 0;
  EXPECT_EQ(vex_mbtowc(&wc, "\xC3\xA9", -1), 2);
  EXPECT_EQ(wc, 0xE9);
  EXPECT_EQ(vex_mbtowc(&wc, "\xF0\x9F\x98\x80", -1), -1);  // needs two units
  EXPECT_EQ(vex_mbtowc(&wc, "\xC0\x80", -1), -1);          // overlong
  EXPECT_EQ(vex_wclen(0x3042), 3);
  EXPECT_EQ(vex_wclen(0xD800), -1);
  btkUnicodeSetEnabled(0);
  set_language(LANG_JAPANESE);
  EXPECT_EQ(vex_wctomb(b, 0xB0A1), 2);  // a process code
  EXPECT_EQ(std::string(b, 2), "\xB0\xA1");
  EXPECT_EQ(vex_mbtowc(&wc, "\x8E\xB1", -1), 2);
  EXPECT_EQ(wc, 0xB1);
  EXPECT_EQ(vex_mbtowc(nullptr, "\x8F", 1), 3);  // measures
  EXPECT_EQ(vex_wclen_legacy(0xFF5E), 2);        // the Windows wave dash
  set_language(LANG_RUSSIAN);
  EXPECT_EQ(vex_wctomb(b, 0x0416), 1);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), 0xC6);
  EXPECT_EQ(vex_mbtowc(&wc, "\xC6", 1), 1);
  EXPECT_EQ(wc, 0x0416);
  set_language(LANG_KOREAN);
  EXPECT_EQ(vex_mbtowc(&wc, "\xB0\xA1", 1), -1);  // a lead byte needs two
  EXPECT_EQ(vex_mbtowc(&wc, "\xB0\xA1", 2), 2);
  EXPECT_EQ(wc, 0xAC00);
}

TEST(Japanese, ShiftJisToEuc) {
  set_language(LANG_JAPANESE);
  char *euc = make_sjistoeuc("A\x88\x9F\xB1\x81");
  ASSERT_NE(euc, nullptr);
  EXPECT_STREQ(euc, "A\xB0\xA1\x8E\xB1\x81");  // a lead byte before the NUL stays alone
  relmem(&euc);
  const char *out = nullptr;
  int chars = 0, bytes = 0;
  EXPECT_EQ(localize_string("\x88\x9F"
                            "ab",
                            &out, &chars, &bytes),
            0);
  EXPECT_STREQ(out,
               "\xB0\xA1"
               "ab");
  EXPECT_EQ(chars, 3);
  EXPECT_EQ(bytes, 4);
  std::string longer(600, '\xB1');  // half-width katakana doubles in EUC
  EXPECT_EQ(localize_string(longer.c_str(), &out, &chars, &bytes), 1);
  EXPECT_LE(bytes, 519);
  set_language(LANG_ENGLISH);
  EXPECT_EQ(localize_string("abc", &out, &chars, &bytes), 0);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(chars, 3);
}

TEST(Japanese, WholeStringsWithPassThroughRuns) {
  set_language(LANG_JAPANESE);
  kw_wchar wide[16];
  euc_str_to_unicode_str(wide, "a\x01\xB0\xA1\x02\xB0\xA1");
  EXPECT_EQ(std::u16string(wide), std::u16string(u"a\x01\xB0\xA1\x02\x4E9C"));
  char bytes[32];
  unicode_str_to_euc_str(bytes, u"\x4E9C\xFF71\x01\xE9\x02z");
  EXPECT_STREQ(bytes, "\xB0\xA1\x8E\xB1\x01\xE9\x02z");
  unicode_str_to_multibyte_str(bytes, u"\x4E9C\xFF71\x20AC");
  EXPECT_STREQ(bytes, "\x88\x9F\xB1?");  // CP932 has no euro sign
  set_language(LANG_KOREAN);
  unicode_str_to_multibyte_str(bytes,
                               u"\xAC00"
                               "a");
  EXPECT_STREQ(bytes,
               "\xB0\xA1"
               "a");
}

}  // namespace
