// Wide-string primitives, the conversions in both modes, copies, sections
// and number parsing.
#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/memory.h>
#include <keelwork/status_codes.h>
#include <keelwork/wstring.h>
#include <keelwork/xar.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::u16string W(const kw_wchar *w) { return w ? std::u16string(w) : u"<null>"; }

TEST(WideStrings, APIExamples) {
  kw_wchar path[64];
  wscpy(path, u"models/");
  wscat(path, u"bracket.prt");
  EXPECT_EQ(searchwstr(path, u"."), 14);
  char *bytes = make_wstostr(path);
  EXPECT_STREQ(bytes, "models/bracket.prt");
  kw_wchar *back = make_strtows(bytes);
  EXPECT_EQ(wscmp(back, path), 0);
  relmem(&bytes);
  relmem(&back);
  EXPECT_EQ(wu_strcmp(u"Bracket", u"BRACKET"), 0);
}

TEST(WideStrings, CopyPadsAndTruncates) {
  kw_wchar buf[8];
  std::fill(std::begin(buf), std::end(buf), u'#');
  wsncpy(buf, u"ab", 5);
  EXPECT_EQ(std::u16string(buf, 6), std::u16string(u"ab\0\0\0#", 6));
  std::fill(std::begin(buf), std::end(buf), u'#');
  wsncpy(buf, u"abcdef", 3);
  EXPECT_EQ(std::u16string(buf, 4), u"abc#");  // no terminator
  wsncpy(buf, u"zz", 0);
  EXPECT_EQ(buf[0], u'a');
  wscpy(buf, u"ab");
  wsncat(buf, u"cdef", 2);
  EXPECT_EQ(W(buf), u"abcd");
  wsncat(buf, u"x", 0);
  EXPECT_EQ(W(buf), u"abcd");
}

TEST(WideStrings, Comparisons) {
  struct Case {
    const kw_wchar *a, *b;
    int n, cmp, ncmp, ucmp;
  } cases[] = {
      {u"abc", u"abc", 3, 0, 0, 0},
      {u"abc", u"abd", 2, -1, 0, -1},
      {u"a\xFFFF", u"a\x0001", 5, 0xFFFE, 0xFFFE, 0xFFFE},  // unsigned units
      {u"ABC", u"abc", 3, 'A' - 'a', 'A' - 'a', 0},
      {u"ab", u"abc", 5, -'c', -'c', -'C'},
      {u"x", u"y", 0, -1, 0, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.a)) + " " +
                 testing::PrintToString(std::u16string(c.b)));
    EXPECT_EQ(wscmp(c.a, c.b), c.cmp);
    EXPECT_EQ(wsncmp(c.a, c.b, c.n), c.ncmp);
    EXPECT_EQ(wu_strcmp(c.a, c.b), c.ucmp);
  }
  EXPECT_EQ(wstrcmp_null(nullptr, u"a"), -1);
  EXPECT_EQ(wstrcmp_null(u"a", nullptr), 1);
  EXPECT_EQ(wstrcmp_null(nullptr, nullptr), 0);
  EXPECT_EQ(wu_strcmp_null(u"A", u"a"), 0);
  EXPECT_EQ(wu_strncmp(u"ABx", u"aby", 2), 0);
  EXPECT_EQ(wu_strcmp(u"\x00E9", u"\x00C9"), 0);  // accents fold in Unicode mode
}

TEST(WideStrings, Searching) {
  const kw_wchar *s = u"a.b.c";
  EXPECT_EQ(wschr(s, '.') - s, 1);
  EXPECT_EQ(wsrchr(s, '.') - s, 3);
  EXPECT_EQ(wschr(s, 0) - s, 5);
  EXPECT_EQ(wsrchr(s, 0) - s, 5);
  EXPECT_EQ(wschr(s, 'z'), nullptr);
  EXPECT_EQ(wstrchr_two_tokens(s, 'c', 'b') - s, 2);
  EXPECT_EQ(wstrchr_two_tokens(s, 'x', 'y') - s, 5);
  EXPECT_EQ(wstrchr_two_tokens(u"", 'x', 'y')[0], 0);
  EXPECT_EQ(wstrchr_two_tokens(nullptr, 'x', 'y'), nullptr);
  struct Case {
    const kw_wchar *s, *sub;
    int index, search;
  } cases[] = {{u"hello", u"ll", 1, 2},
               {u"hello", u"lox", 1, -1},  // "lo" ends the text
               {u"hello", u"xlo", 0, -1},
               {u"", u"a", 0, -1},
               {u"abc", u"", 1, 3},
               {u"aaaaaaaaaaab", u"aaaaaaaaab", 1, 2},
               {u"abababababababx", u"ababababababy", 0, -1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.s)) + " " +
                 testing::PrintToString(std::u16string(c.sub)));
    EXPECT_EQ(ws_index(c.s, c.sub), c.index);
    EXPECT_EQ(searchwstr(c.s, c.sub), c.search);
  }
  // A long needle whose prefix ends the text.
  EXPECT_EQ(ws_index(u"xxxxxxxxxabcdefghij", u"abcdefghijklmnop"), 1);
}

TEST(WideStrings, TokenizerSharesOnePosition) {
  kw_wchar text[] = u"a,,b";
  EXPECT_EQ(W(wstok(text, u",")), u"a");
  EXPECT_EQ(W(wstok(nullptr, u",")), u"");
  EXPECT_EQ(W(wstok(nullptr, u",")), u"b");
  EXPECT_EQ(wstok(nullptr, u","), nullptr);
  kw_wchar other[] = u"x;y";
  EXPECT_EQ(W(wstok(other, u"")), u"x;y");
  EXPECT_EQ(wstok(nullptr, u";"), nullptr);
}

TEST(WideStrings, Replacing) {
  kw_wchar dst[600];
  EXPECT_EQ(W(ws_sub_wc(u"a/b/c", dst, '/', '\\')), u"a\\b\\c");
  EXPECT_EQ(ws_sub_wc(nullptr, dst, '/', '\\'), nullptr);
  EXPECT_EQ(dst[0], 0);
  kw_wchar *at = wstrtok_replace(dst, u"one two two", u"two", u"2");
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(at - dst, 4);
  EXPECT_EQ(W(dst), u"one 2 two");
  EXPECT_EQ(wstrtok_replace(dst, u"abc", u"x", u"y"), nullptr);
  std::u16string big(501, u'a');  // 501 - 1 + 20 reaches 520
  EXPECT_EQ(wstrtok_replace(dst, big.c_str(), u"a", std::u16string(20, u'b').c_str()), nullptr);
  EXPECT_EQ(W(wstrtok_replace_all(dst, u"one two two", u"two", u"2")), u"one 2 2");
  EXPECT_EQ(W(wstrtok_replace_all(dst, u"aaa", u"aa", u"b")), u"ba");
  EXPECT_EQ(W(wstrtok_replace_all(dst, u"ab", u"", u"!")), u"ab!");
  EXPECT_EQ(W(wstrtok_replace_all(dst, u"aaa", u"a", u"")), u"");
  // Each replacement alone fits, all of them together would not: the text
  // stays as it was instead of overrunning the destination.
  std::u16string many(300, u'a');
  EXPECT_EQ(W(wstrtok_replace_all(dst, many.c_str(), u"a", u"bb")), many);
  EXPECT_EQ(wstrtok_replace_all(dst, std::u16string(520, u'a').c_str(), u"a", u"b"), nullptr);
}

TEST(WideStrings, LimitsAndTruncation) {
  kw_wchar buf[5];
  wscpy(buf, u"abc");
  EXPECT_EQ(wstrcat_limit(buf, u"de", 5), 1);
  EXPECT_EQ(W(buf), u"abcd");
  wscpy(buf, u"ab");
  EXPECT_EQ(wstrcat_limit(buf, u"cd", 5), 0);
  EXPECT_EQ(W(buf), u"abcd");
  EXPECT_EQ(wstrcpy_limit(u"abcd", 5, buf), 0);
  EXPECT_EQ(wstrcpy_limit(u"abcde", 5, buf), 1);
  EXPECT_EQ(buf[0], 0);
  wstrncpy_set_null(buf, u"abcdefg", 5);
  EXPECT_EQ(W(buf), u"abcd");
  char bytes[4];
  strncpy_set_null(bytes, "abcdef", 4);
  EXPECT_STREQ(bytes, "abc");
  wscpy(buf, u"ab");
  wstrncat_set_null(buf, u"cdef", 5);
  EXPECT_EQ(W(buf), u"abcd");
  wstrncat_set_null(buf, u"z", 5);
  EXPECT_EQ(W(buf), u"abcd");
  kw_wchar e1[] = u"abcdef", e2[] = u"ab";
  EXPECT_EQ(W(change_end_to_ellipsis(e1)), u"abc...");
  EXPECT_EQ(W(change_end_to_ellipsis(e2)), u"..");
  EXPECT_EQ(change_end_to_ellipsis(nullptr), nullptr);
  struct Case {
    const kw_wchar *src;
    int width;
    std::u16string out;
  } cases[] = {{u"short", 10, u"short"},
               {u"c:/models/part.prt", 10, u"...rt.prt"},
               {u"abcdef", 3, u".."},
               {u"abcdef", 1, u""},
               {u"ab\xD83D\xDE00x", 5, u"...x"}};  // never half a surrogate pair
  for (const Case &c : cases) {
    SCOPED_TRACE(c.width);
    kw_wchar out[32];
    EXPECT_EQ(W(left_truncate_string(c.src, out, c.width)), c.out);
  }
}

TEST(WideStrings, SmallHelpers) {
  kw_wchar dst[32];
  EXPECT_EQ(wcnvrt_to_title(u"hello wORLD-2x", dst), 0);
  EXPECT_EQ(W(dst), u"Hello World-2x");
  EXPECT_TRUE(vex_iswprint(0x3042));
  EXPECT_FALSE(vex_iswprint(0x07));
  EXPECT_FALSE(vex_iswgraph(' '));
  kw_wchar lines[] = u"a\nb\nc";
  EXPECT_EQ(W(wstrip_cr(lines)), u"a\nb");
  char blines[] = "a\nb\n";
  EXPECT_STREQ(strip_cr(blines), "a");
  char strip[] = "  \tvalue  \nrest";
  EXPECT_STREQ(s_strip(strip), "value");
  char out[16], *p = out;
  EXPECT_EQ(quick_strcat(&p, "ab"), out);
  quick_strcat(&p, "cd");
  *p = 0;
  EXPECT_STREQ(out, "abcd");
  kw_wchar list[200];
  int32_t *ints = static_cast<int32_t *>(xar_alloc(0, sizeof(int32_t), 4));
  EXPECT_EQ(build_wstr_list_from_ints(list, ints), 0);
  for (int32_t v : {3, -1, 7}) xar_append(&ints, 1, &v);
  EXPECT_EQ(build_wstr_list_from_ints(list, ints), 1);
  EXPECT_EQ(W(list), u"3, -1, 7");
  for (int32_t i = 0; i < 80; ++i) xar_append(&ints, 1, &i);
  EXPECT_EQ(build_wstr_list_from_ints(list, ints), 1);
  std::u16string text = list;
  EXPECT_EQ(text.substr(text.size() - 5), u", ...");
  EXPECT_LE(text.size(), 176u);
  xar_free(&ints);
}

TEST(WideStrings, ByteStringSecondArguments) {
  kw_wchar buf[600] = u"x";
  EXPECT_EQ(W(wstrcat_s(buf, "y\xC3\xA9")), u"xy\x00E9");
  EXPECT_EQ(wstrcmp_s(u"x\x00E9", "x\xC3\xA9"), 0);
  EXPECT_EQ(wstrncmp_s(u"abX", "abY", 2), 0);
  EXPECT_EQ(wu_strcmp_s(u"HELLO \x00C9t\x00C9", "hello \xC3\xA9t\xC3\xA9"), 0);
  EXPECT_LT(wu_strcmp_s(u"abc", "abd"), 0);
  EXPECT_EQ(wu_strncmp_s(u"ABCx", "abcy", 3), 0);
  buf[0] = 0;
  std::string long_bytes(300, 'q');
  wstrncat_s(buf, long_bytes.c_str(), 1000);
  EXPECT_EQ(wslen(buf), 259);
  // Longer than the conversion buffer the operation is described with.
  std::string longer(2000, 'z');
  EXPECT_EQ(wstrcmp_s(std::u16string(2000, u'z').c_str(), longer.c_str()), 0);
}

// ---- conversions --------------------------------------------------------------------

TEST(Conversions, LegacyEnglishIsLatin1WithTheEuro) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_ENGLISH);
  char bytes[16];
  wstostr(bytes, u"\x20AC\x00E9\x0101");
  EXPECT_STREQ(bytes, "\x80\xE9\x01");
  kw_wchar wide[16];
  strtows(wide, "\x80\xE9");
  EXPECT_EQ(W(wide), u"\x20AC\x00E9");
}

TEST(Conversions, LegacyCodePageLanguages) {
  btkUnicodeSetEnabled(0);
  struct Case {
    int lang;
    std::u16string wide;
    std::string bytes;
  } cases[] = {{LANG_RUSSIAN, u"\x0416\x0436", "\xC6\xE6"},
               {LANG_HEBREW, u"\x05D0", "\xE0"},
               {LANG_GREEK, u"\x03A9", "\xD9"},
               {LANG_POLISH, u"\x0141", "\xA3"},
               {LANG_KOREAN, u"\xAC00", "\xB0\xA1"},
               {LANG_CHINESE_TW, u"\x4E00", "\xA4\x40"},
               {LANG_CHINESE_CN, u"\x4E2D", "\xD6\xD0"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.lang);
    set_language(c.lang);
    char bytes[16];
    wstostr(bytes, c.wide.c_str());
    EXPECT_EQ(std::string(bytes), c.bytes);
    kw_wchar wide[16];
    strtows(wide, c.bytes.c_str());
    EXPECT_EQ(W(wide), c.wide);
  }
  set_language(LANG_RUSSIAN);
  char bytes[16];
  wstostr(bytes,
          u"\x4E2D"
          "a");  // unmappable: the default character
  EXPECT_STREQ(bytes, "?a");
}

TEST(Conversions, LegacyLocaleLanguagesKeepPassThroughRuns) {
  if (!std::setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  btkUnicodeSetEnabled(0);
  set_language(LANG_GENERIC_SB);
  char bytes[32];
  wstostr(bytes, u"\x0001\x00E9\x0002\x00E9");
  EXPECT_STREQ(bytes, "\x01\xE9\x02\xC3\xA9");  // the run untouched, the rest in the locale
  kw_wchar wide[16];
  strtows(wide, "\x01\xE9\x02\xC3\xA9");
  EXPECT_EQ(W(wide), u"\x0001\x00E9\x0002\x00E9");
  strtows(wide, "ok\xFFno");  // the locale rejects the byte: the text ends there
  EXPECT_EQ(W(wide), u"ok");
  std::setlocale(LC_ALL, "C");
}

TEST(Conversions, NullArgumentsAreReportedInLegacyMode) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_ENGLISH);
  char bytes[4] = "abc";
  testing::internal::CaptureStdout();
  EXPECT_EQ(wstostr_legacy(bytes, nullptr), bytes);
  EXPECT_EQ(strtows_legacy(nullptr, "x"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WSTOSTR :  Illegal NULL pointer !!!STRTOWS :Illegal NULL pointer !!!");
  EXPECT_STREQ(bytes, "abc");
}

TEST(Conversions, BoundedForms) {
  char small[4];
  EXPECT_EQ(wstrtos_limit(u"abc", 4, small), 0);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(wstrtos_limit(u"\x00E9\x00E9", 4, small), 1);  // four bytes in UTF-8
  EXPECT_STREQ(small, "");
  kw_wchar wsmall[4];
  EXPECT_EQ(strtows_limit("abc", 4, wsmall), 0);
  EXPECT_EQ(strtows_limit("abcd", 4, wsmall), 1);
  EXPECT_EQ(wsmall[0], 0);
  std::u16string huge(20000, u'\x3042');  // larger than any fixed buffer
  std::vector<char> out(4);
  EXPECT_EQ(wstrtos_limit(huge.c_str(), 4, out.data()), 1);
  struct Case {
    const kw_wchar *w;
    int size, status;
    const char *out;
  } cases[] = {{u"abc", 4, E_NO_ERROR, "abc"},
               {u"abcd", 4, E_CANT_FIT, ""},
               {u"a\xD800", 8, E_CANT_PARSE, ""},
               {nullptr, 4, E_INVALID_INPUT, ""},
               {u"abc", 0, E_INVALID_INPUT, nullptr}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.status);
    char dst[8] = "junk";
    EXPECT_EQ(wstrtos_buff(c.w, dst, c.size), c.status);
    if (c.out) {
      EXPECT_STREQ(dst, c.out);
    }
  }
  std::u16string long_text(3000, u'x');
  std::vector<char> dst(4000);
  EXPECT_EQ(wstrtos_buff(long_text.c_str(), dst.data(), 4000), E_NO_ERROR);
  EXPECT_EQ(std::strlen(dst.data()), 3000u);
}

TEST(Conversions, AllocatingForms) {
  EXPECT_EQ(make_wstostr(nullptr), nullptr);
  EXPECT_EQ(make_strtows(nullptr), nullptr);
  EXPECT_EQ(mknewstr_from_wstr(u""), nullptr);
  char *s = mknewstr_from_wstr(u"x");
  EXPECT_STREQ(s, "x");
  EXPECT_STREQ(make_wstostr_rls(&s, u"y"), "y");
  EXPECT_EQ(make_wstostr_rls(&s, nullptr), nullptr);
  EXPECT_EQ(s, nullptr);
  memzone *zone = alloc_zone(nullptr, 4096, 0);
  EXPECT_EQ(W(make_strtows_zone(zone, "zoned")), u"zoned");
  free_zone(&zone);
  kw_wchar *m = make_strtows_memmgr(nullptr, "managed");
  EXPECT_EQ(W(m), u"managed");
  relmem(&m);
  char *native = make_wstostr_nativeq(u"\x00E9", 1);
  ASSERT_NE(native, nullptr);
  relmem(&native);
}

TEST(Conversions, ReturnBuffers) {
  EXPECT_STREQ(str_ret(u"abc"), "abc");
  std::u16string at_limit(STR_LEN, u'a');
  EXPECT_EQ(std::strlen(str_ret(at_limit.c_str())), size_t{STR_LEN});
  std::u16string too_long(STR_LEN + 40, u'b');
  EXPECT_EQ(std::strlen(str_ret(too_long.c_str())), size_t{STR_LEN});  // reported, not overrun
  kw_wchar *first = wstr_ret("one");
  wstr_ret("two");
  wstr_ret("three");
  kw_wchar *fourth = wstr_ret("four");
  EXPECT_EQ(W(first), u"one");
  EXPECT_EQ(W(fourth), u"four");
  EXPECT_EQ(wstr_ret("five"), first);  // the ring of four comes round
  std::string big(1000, 'x');
  EXPECT_EQ(wslen(wstr_ret(big.c_str())), 1000);
  EXPECT_EQ(W(itowstr(-42)), u"-42");
}

// ---- copies and sections ------------------------------------------------------------

TEST(Copies, CutAndConcatenate) {
  char *s = make_sncopy("abcdef", 4);
  EXPECT_STREQ(s, "abc");
  EXPECT_EQ(getmem_area_size(s), 4u);
  relmem(&s);
  s = make_sncopy("ab", 4);
  EXPECT_STREQ(s, "ab");
  relmem(&s);
  EXPECT_EQ(make_sncopy("ab", 0), nullptr);
  kw_wchar *w = make_wsncopy(u"abcdef", 4);
  EXPECT_EQ(W(w), u"abc");
  relmem(&w);
  char *joined = nullptr;
  EXPECT_STREQ(make_strcat_rls(&joined, "ab"), "ab");
  EXPECT_STREQ(make_strcat_rls(&joined, "cd"), "abcd");
  EXPECT_EQ(make_strcat_rls(&joined, nullptr), nullptr);
  EXPECT_STREQ(joined, "abcd");
  relmem(&joined);
  kw_wchar *wj = nullptr;
  make_wstrcat_rls(&wj, u"x");
  EXPECT_EQ(W(make_wstrcat_rls(&wj, u"y")), u"xy");
  EXPECT_EQ(W(make_wscopy_rls(&wj, u"z")), u"z");
  relmem(&wj);
  char *upper = make_uscopy("mixed Case");
  EXPECT_STREQ(upper, "MIXED CASE");
  relmem(&upper);
}

TEST(Copies, FormattedStringsHaveNoLengthLimit) {
  char *s = mkstring("%s-%d", "part", 7);
  EXPECT_STREQ(s, "part-7");
  relmem(&s);
  std::string big(20000, 'x');
  s = mkstring("%s", big.c_str());
  EXPECT_EQ(std::strlen(s), big.size());
  relmem(&s);
  kw_wchar *w = mkwstring("%s \xC3\xA9", "a");
  EXPECT_EQ(W(w), u"a \x00E9");
  relmem(&w);
  w = mkwstring("%s", big.c_str());
  EXPECT_EQ(wslen(w), 20000);
  relmem(&w);
  char dst[32] = "n=";
  EXPECT_STREQ(strcatv(dst, "%d", 5), "n=5");
}

TEST(Sections, CountsAndPieces) {
  struct Case {
    const char *s;
    int count;
  } cases[] = {{"a;b;", 2}, {"", 1}, {"a", 1}, {"a;;b", 3}, {";a", 2}, {";", 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(get_str_section_count(c.s, ';'), c.count);
    std::u16string wide(c.s, c.s + std::strlen(c.s));
    EXPECT_EQ(get_wstr_section_count(wide.c_str(), ';'), c.count);
  }
  EXPECT_EQ(get_str_section_count(nullptr, ';'), 0);
  char **parts = nullptr;
  ASSERT_EQ(make_str_sections("x;;y;", ';', &parts), 3);
  EXPECT_STREQ(parts[0], "x");
  EXPECT_STREQ(parts[1], "");
  EXPECT_STREQ(parts[2], "y");
  free_str_sections(parts);
  kw_wchar **wparts = nullptr;
  ASSERT_EQ(make_wstr_sections(u"", ';', &wparts), 1);
  EXPECT_EQ(W(wparts[0]), u"");
  free_wstr_sections(wparts);
  free_wstr_sections(nullptr);
  EXPECT_EQ(make_str_sections(nullptr, ';', &parts), 0);
}

// ---- numbers ---------------------------------------------------------------------------

TEST(Numbers, IntegerAndFloatShapes) {
  struct Case {
    const kw_wchar *w;
    int integer, real;
  } cases[] = {
      {u" 42 ", 1, 1},
      {u"-7", 1, 1},
      {u"+7", 1, 1},
      {u"", 0, 0},
      {u"- 7", 0, 0},
      {u"4 2", 0, 0},
      {u" -1.5e+038 ", 0, 1},
      {u".5", 0, 1},
      {u"1.", 0, 0},
      {u"1e39", 0, 0},
      {u"1e38", 0, 1},
      {u"1e-39", 0, 0},
      {u"1e0001", 0, 1},
      {u"e5", 0, 0},
      {u"1.5x", 0, 0},
      {u"1.5E", 0, 0},
      {u"\x3000"
       "12\x3000",
       1, 1},  // ideographic spaces
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.w)));
    EXPECT_EQ(kw_wsisinteger(c.w), c.integer);
    EXPECT_EQ(kw_wsisfloat(c.w), c.real);
  }
  EXPECT_EQ(kw_wsisinteger(nullptr), 0);
  EXPECT_TRUE(kw_wc_eq_char(u'-', '-'));
  EXPECT_FALSE(kw_wc_eq_char(0x2212, '-'));
}

TEST(Numbers, StandardParsers) {
  EXPECT_DOUBLE_EQ(watof(u"2.5e3"), 2500.0);
  EXPECT_EQ(watol(u" 123abc"), 123);
  EXPECT_EQ(watoi(u"-9"), -9);
  std::u16string long_number(400, u'0');
  long_number += u"17";
  EXPECT_EQ(watol(long_number.c_str()), 17);  // longer than the 260-byte buffer
  kw_wchar *end = nullptr;
  const kw_wchar *text = u"\x3000 0x1Fz";
  EXPECT_EQ(vex_wstrtol(text, &end, 16), 31);
  EXPECT_EQ(*end, u'z');
  EXPECT_EQ(vex_wstrtol(u"zz", &end, 10), 0);
  EXPECT_EQ(W(end), u"zz");
  EXPECT_DOUBLE_EQ(vex_wstrtod(u"1.25\x3042", &end), 1.25);
  EXPECT_EQ(*end, 0x3042);
  long result = 0;
  EXPECT_EQ(vex_wstrtol_s(u"99999999999999999999999", nullptr, 10, &result), ERANGE);
  EXPECT_EQ(vex_wstrtol_s(u"12", nullptr, 10, &result), 0);
  EXPECT_EQ(result, 12);
}

TEST(Numbers, ArithmeticExpressions) {
  struct Case {
    const kw_wchar *w;
    int ok;
    int type;
    double value;
  } cases[] = {
      {u"1 + 2 * 3", 1, KW_EXPR_INTEGER, 7},
      {u"(1 + 2) * 3", 1, KW_EXPR_INTEGER, 9},
      {u"7 / 2", 1, KW_EXPR_REAL, 3.5},
      {u"8 / 2", 1, KW_EXPR_INTEGER, 4},
      {u"2 ^ 3 ^ 2", 1, KW_EXPR_INTEGER, 512},
      {u"-2 ^ 2", 1, KW_EXPR_INTEGER, -4},
      {u"2 ^ -1", 1, KW_EXPR_REAL, 0.5},
      {u"--3", 1, KW_EXPR_INTEGER, 3},
      {u"1.5e2 + 1", 1, KW_EXPR_REAL, 151},
      {u".5", 1, KW_EXPR_REAL, 0.5},
      {u"1 / 0", 0, 0, 0},
      {u"(1", 0, 0, 0},
      {u"1 +", 0, 0, 0},
      {u"abc", 0, 0, 0},
      {u"", 0, 0, 0},
      {u"10 ^ 400", 0, 0, 0},
      {u"9223372036854775807 + 1", 1, KW_EXPR_REAL, 9223372036854775808.0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.w)));
    double v = -1;
    EXPECT_EQ(kw_wstoexp(c.w, &v), c.ok);
    EXPECT_EQ(kw_wsisexp(c.w), c.ok);
    kw_expr_value typed{};
    EXPECT_EQ(kw_eval_arith_expr(c.w, &typed) == 0, c.ok == 1);
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value);
      EXPECT_EQ(typed.type, c.type);
    }
  }
  // Nesting is bounded rather than exhausting the stack.
  std::u16string deep(100000, u'(');
  EXPECT_EQ(kw_wsisexp(deep.c_str()), 0);
  std::u16string minus(100000, u'-');
  minus += u"1";
  EXPECT_EQ(kw_wsisexp(minus.c_str()), 0);
}

int text_evaluator(const kw_wchar *, kw_expr_value *value) {
  value->type = 3;  // neither integer nor real
  return 0;
}

TEST(Numbers, TheEvaluatorIsReplaceable) {
  EXPECT_EQ(kw_set_expr_evaluator(text_evaluator), kw_eval_arith_expr);
  EXPECT_EQ(kw_wsisexp(u"1"), 0);
  kw_set_expr_evaluator(nullptr);
  EXPECT_EQ(kw_wsisexp(u"1"), 1);
}

}  // namespace
