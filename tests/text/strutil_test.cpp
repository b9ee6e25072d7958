// Case conversion, name checks, white space, quoting, tokens, escapes and
// searching.
#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/memory.h>
#include <keelwork/runmode.h>
#include <keelwork/status_codes.h>
#include <keelwork/strutil.h>
#include <keelwork/wstring.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

std::u16string W(const kw_wchar *w) { return w ? std::u16string(w) : u"<null>"; }

TEST(TextServices, APIExamples) {
  const kw_wchar *cursor = u"open \"my part.prt\" now";
  kw_wchar token[32];
  ASSERT_EQ(parse_quoted_to_tok(&cursor, u" ", 32, token), E_NO_ERROR);
  EXPECT_EQ(W(token), u"open");
  ASSERT_EQ(parse_quoted_to_tok(&cursor, u" ", 32, token), E_NO_ERROR);
  EXPECT_EQ(W(token), u"my part.prt");
  EXPECT_EQ(invalid_symbol(u"bracket_2"), 0);
  char upper[16];
  EXPECT_STREQ(vex_cnvrt_to_upper("shaft", upper), "SHAFT");
}

// ---- case ------------------------------------------------------------------------------

TEST(Case, AccentsInAWesternLegacySession) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_FRENCH);
  struct Case {
    int c, upper, lower;
  } cases[] = {{0xE9, 0xC9, 0xE9}, {0xC9, 0xC9, 0xE9}, {0xF7, 0xF7, 0xF7},
               {0xD7, 0xD7, 0xD7}, {'a', 'A', 'a'},    {0xFF, 0xFF, 0xFF}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.c);
    EXPECT_EQ(uppercase(c.c), c.upper);
    EXPECT_EQ(lowercase(c.c), c.lower);
    EXPECT_EQ(wuppercase(c.c), c.upper);
    EXPECT_EQ(wlowercase(c.c), c.lower);
  }
  EXPECT_EQ(uppercase(static_cast<char>(0xE9)), 0xC9);  // a signed char
  char out[8];
  EXPECT_STREQ(vex_cnvrt_to_upper("\xE9t\xE9", out), "\xC9T\xC9");
  EXPECT_STREQ(convert_to_lower("\xC9T\xC9", out), "\xE9t\xE9");
  EXPECT_EQ(has_upper("\xC9"), 1);
}

TEST(Case, EnglishLegacySessionLeavesAccents) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_ENGLISH);
  EXPECT_EQ(uppercase(0xE9), 0xE9);
  EXPECT_EQ(lowercase(0xC9), 0xC9);
  EXPECT_EQ(wuppercase(0xE9), 0xE9);
  EXPECT_EQ(has_upper("\xC9"), 0);
}

TEST(Case, UnicodeModeMapsLatin1ForEveryLanguage) {
  set_language(LANG_JAPANESE);
  EXPECT_EQ(wuppercase(0xE9), 0xC9);
  EXPECT_EQ(wlowercase(0xDE), 0xFE);
  EXPECT_EQ(wuppercase(0x3B1), 0x3B1);  // only ASCII and Latin-1
  EXPECT_EQ(uppercase(0xE9), 0xE9);     // a byte of UTF-8, not a letter
  char out[32];
  EXPECT_STREQ(vex_cnvrt_to_upper("caf\xC3\xA9 \xE3\x81\x82", out), "CAF\xC3\x89 \xE3\x81\x82");
  EXPECT_STREQ(convert_to_lower("CAF\xC3\x89", out), "caf\xC3\xA9");
  EXPECT_STREQ(vex_cnvrt_to_title("\xC3\xA9T\xC3\x89 x", out), "\xC3\x89t\xC3\xA9 X");
  EXPECT_EQ(has_upper("caf\xC3\x89"), 1);
  EXPECT_EQ(has_upper("caf\xC3\xA9"), 0);
  kw_wchar w[8];
  EXPECT_EQ(W(wncnvrt_to_lower(u"ABCDE", w, 3)), u"abc");
  EXPECT_EQ(W(wcnvrt_to_upper(u"a\x00FF\x00F7", w)), u"A\x00FF\x00F7");
  kw_wchar *u = make_uwscopy(u"mix\x00E9");
  EXPECT_EQ(W(u), u"MIX\x00C9");
  relmem(&u);
}

TEST(Case, InvalidUtf8IsCopiedAndReported) {
  set_verbose_mode(1);
  set_run_mode(1);
  set_dbg_err_crash(0);
  char out[8];
  testing::internal::CaptureStdout();
  EXPECT_STREQ(vex_cnvrt_to_upper("a\xFF"
                                  "b",
                                  out),
               "a\xFF"
               "b");
  EXPECT_NE(
      testing::internal::GetCapturedStdout().find("ConvertCase_BothEncodings:  conversion failed"),
      std::string::npos);
}

// ---- names -------------------------------------------------------------------------------

TEST(Names, SymbolChecks) {
  struct Case {
    const kw_wchar *w;
    int symbol, xsec, view;
  } cases[] = {{u"part_1-a", 0, 0, 0},
               {u"-part", 1, 1, 1},
               {u"a b", 1, 1, 0},
               {u"a.b", 1, 0, 1},
               {u"a\"b", 1, 0, 1},
               {u".ab", 1, 1, 1},
               {u"\x30D1\x30FC\x30C4", 0, 0, 0},
               {u"", 0, 0, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.w)));
    EXPECT_EQ(invalid_symbol(c.w), c.symbol);
    EXPECT_EQ(invalid_xsec_name(c.w), c.xsec);
    EXPECT_EQ(invalid_view_name(c.w), c.view);
  }
  EXPECT_EQ(invalid_symbol(nullptr), 0);
  EXPECT_TRUE(is_valid_char('_'));
  EXPECT_FALSE(is_valid_char('.'));
  EXPECT_FALSE(is_valid_wc(0x3042));
  EXPECT_EQ(set_less_restrictive_names(1), 0);
  EXPECT_TRUE(is_valid_wc(0x3042));
}

TEST(Names, WildcardsAndGroups) {
  struct Case {
    const kw_wchar *w;
    int off, on;
  } cases[] = {{u"abc", 3, 3},    {u"a*c", 1, 3},   {u"ab$", 2, 3},    {u"-x", 0, 0},
               {u"", 0, 0},       {u"a<v1>", 1, 5}, {u"a<v1>b", 1, 4}, {u"<v>", 0, 0},
               {u"a<open", 1, 1}, {u"a.b", 1, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.w)));
    disable_wild_card();
    EXPECT_EQ(invalid_name_idx(c.w), c.off);
    EXPECT_EQ(enable_wild_card(), 0);
    EXPECT_EQ(invalid_name_idx(c.w), c.on);
  }
  EXPECT_EQ(invalid_string(u"a<v1>"), 0);
  EXPECT_EQ(invalid_string(u"a.b"), 1);
  EXPECT_EQ(invalid_euc_str("ab*"), 0);
  kw_wchar old[32];
  EXPECT_EQ(enable_custom_wild_card(u"<>", old), 1);
  EXPECT_EQ(W(old), u"*?$");
  EXPECT_EQ(invalid_name_idx(u"a<b>c"), 5);  // "<" is a wildcard now: no groups
  EXPECT_EQ(invalid_name_idx(u"a*"), 1);
  EXPECT_EQ(disable_wild_card(), 0);
}

// ---- white space and quoting ------------------------------------------------------------

TEST(WhiteSpace, TrimmingAndTesting) {
  char pad[8] = "ab";
  EXPECT_EQ(blankpad(pad, 6), 1);
  EXPECT_STREQ(pad, "ab   ");
  char empty[4] = "";
  EXPECT_EQ(blankpad(empty, 4), 0);
  EXPECT_EQ(blankstr(u" \t"), 1);
  EXPECT_EQ(blankstr(nullptr), 1);
  EXPECT_EQ(blankstr(u" x"), 0);
  EXPECT_EQ(empty_string(" \n\t"), 1);
  EXPECT_EQ(empty_string_noz("  x", nullptr), 0);
  const char *text = "  x";
  EXPECT_EQ(empty_string_noz(text, text + 2), 1);
  kw_wchar a[] = u"abc \t\n";
  EXPECT_EQ(*remove_trailing_whitespace(a), u'c');
  EXPECT_EQ(W(a), u"abc");
  kw_wchar b[] = u"\x3000 x \x3000";
  EXPECT_EQ(W(remove_lead_trail_whitespace(b)), u"x");
  kw_wchar c[] = u"  y  ";
  kw_wchar *p = c;
  EXPECT_EQ(W(strip_wspaces(&p)), u"y  ");
  kw_wchar d[] = u" z ";
  EXPECT_EQ(W(extract_string(d)), u"z");
  char out[16];
  EXPECT_STREQ(trunc_ctrl_chars("a\x01"
                                "b\tc\xC3\xA9",
                                out),
               "ab\tc\xC3\xA9");
}

TEST(Quoting, StripQuotesAndRichText) {
  kw_wchar out[128];
  EXPECT_EQ(W(strip_quotes(u"\"name\"  ", out)), u"name");
  EXPECT_EQ(W(strip_quotes(u"'a'", out)), u"a");
  EXPECT_EQ(W(strip_quotes(u"plain ", out)), u"plain ");
  std::u16string long_text = u"\"" + std::u16string(100, u'x') + u"\"";
  EXPECT_EQ(wslen(strip_quotes(long_text.c_str(), out)), 81);
  EXPECT_EQ(wstr_to_richtext_buff(u"a\\b", out, 8), E_NO_ERROR);
  EXPECT_EQ(W(out), u"a\\\\b");
  EXPECT_EQ(wstr_to_richtext_buff(u"a\\b", out, 3), E_CANT_FIT);
  EXPECT_EQ(W(out), u"a");
  EXPECT_EQ(wstr_to_richtext_buff(out, out, 8), E_INVALID_INPUT);
  char sep[] = "a,,,b,,c";
  EXPECT_STREQ(eliminate_symbol_doubles(sep, ",,"), "a,b,c");
  char same[] = "xxxx";
  EXPECT_STREQ(eliminate_symbol_doubles(same, "x"), "");
}

// ---- tokens and escapes -------------------------------------------------------------------

TEST(Tokens, QuotedTokens) {
  const kw_wchar *cursor = u"a \"b c\" d";
  kw_wchar tok[16];
  std::vector<std::u16string> seen;
  while (cursor) {
    ASSERT_EQ(parse_quoted_to_tok(&cursor, u" ", 16, tok), E_NO_ERROR);
    seen.push_back(tok);
  }
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"a", u"b c", u"d"}));
  cursor = u"it's\"x\"";
  EXPECT_EQ(parse_quoted_to_tok(&cursor, u" ", 16, tok), E_CANT_PARSE);
  cursor = u"'say \"hi\"' next";
  EXPECT_EQ(parse_quoted_to_tok(&cursor, u" ", 16, tok), E_NO_ERROR);
  EXPECT_EQ(W(tok), u"say \"hi\"");
  EXPECT_EQ(W(cursor), u" next");
  cursor = u"abcdefgh";
  EXPECT_EQ(parse_quoted_to_tok(&cursor, nullptr, 4, tok), E_CANT_FIT);
  EXPECT_EQ(W(tok), u"abc");
  EXPECT_EQ(cursor, nullptr);
  cursor = u"x";
  EXPECT_EQ(parse_quoted_to_tok(&cursor, u"\"", 4, tok), E_INVALID_INPUT);
  EXPECT_EQ(parse_quoted_to_tok(nullptr, u" ", 4, tok), E_INVALID_INPUT);
}

TEST(Tokens, WrappedTokensRoundTrip) {
  const kw_wchar *texts[] = {u"plain", u"two words", u"it's",   u"say \"x\"", u"a'b\"c'd\"",
                             u"",      u"  lead",    u"\"'\"'", u"tab\there"};
  for (const kw_wchar *t : texts) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(t)));
    kw_wchar wrapped[64], back[64];
    ASSERT_EQ(wstr_to_wrapped_tok(t, u" \t", 64, wrapped), E_NO_ERROR);
    const kw_wchar *cursor = wrapped;
    ASSERT_EQ(parse_quoted_to_tok(&cursor, u" \t", 64, back), E_NO_ERROR);
    EXPECT_EQ(W(back), W(t));
    EXPECT_EQ(cursor, nullptr);
  }
  kw_wchar out[8];
  EXPECT_EQ(wstr_to_wrapped_tok(u"plain", u" ", 5, out), E_INVALID_INPUT);
  EXPECT_EQ(wstr_to_wrapped_tok(u"a b c", u" ", 6, out), E_CANT_FIT);
  EXPECT_EQ(wstr_to_wrapped_tok(u"ab", u" ", 8, out), E_NO_ERROR);
  EXPECT_EQ(W(out), u"ab");
}

TEST(Tokens, RandomRoundTrips) {
  std::mt19937 rng(3);
  const char16_t alphabet[] = u"ab \t'\",;";
  for (int round = 0; round < 2000; ++round) {
    std::u16string t;
    for (size_t n = rng() % 12; n > 0; --n) t.push_back(alphabet[rng() % 8]);
    kw_wchar wrapped[128], back[128];
    ASSERT_EQ(wstr_to_wrapped_tok(t.c_str(), u" \t,", 128, wrapped), E_NO_ERROR);
    const kw_wchar *cursor = wrapped;
    ASSERT_EQ(parse_quoted_to_tok(&cursor, u" \t,", 128, back), E_NO_ERROR)
        << testing::PrintToString(W(wrapped));
    ASSERT_EQ(W(back), t) << testing::PrintToString(W(wrapped));
  }
}

TEST(Tokens, SpecialCharactersInPassThroughRuns) {
  kw_wchar w[] = u"tub \x0001tub x\x0002tub";
  EXPECT_EQ(W(remove_dup_special_chars(w)), u"tub \x0001\"!l~x\x0002tub");
}

TEST(Escapes, ReplaceAndUndo) {
  struct Case {
    const char *in, *escaped;
  } cases[] = {
      {"a/b", "a|b"}, {"a|b", "a\\|b"}, {"a\\b", "a\\\\b"}, {"", ""}, {"/|\\", "|\\|\\\\"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    char *e = replace_escape_char_in_str(c.in, '/', '|', '\\');
    EXPECT_STREQ(e, c.escaped);
    char *u = unreplace_escape_char_in_str(e, '/', '|', '\\');
    EXPECT_STREQ(u, c.in);
    relmem(&e);
    relmem(&u);
  }
  kw_wchar *e = replace_escape_wchar_in_wstr(u"x/y|", '/', '|', '\\');
  EXPECT_EQ(W(e), u"x|y\\|");
  kw_wchar *u = unreplace_escape_wchar_in_wstr(e, '/', '|', '\\');
  EXPECT_EQ(W(u), u"x/y|");
  relmem(&e);
  relmem(&u);
  kw_wchar r[] = u"a-b-c";
  EXPECT_EQ(W(replace_wchar_in_wstr(r, '-', '_')), u"a_b_c");
  EXPECT_EQ(set_freeze_symbol_chars(1), 0);
  EXPECT_EQ(get_freeze_symbol_chars(), 1);
}

// ---- searching ---------------------------------------------------------------------------------

TEST(Searching, InStrings) {
  struct Case {
    const char *s, *sub;
    int plain, folded;
  } cases[] = {{"Hello", "ll", 2, 2},
               {"Hello", "LL", -1, 2},
               {"", "a", -1, -1},
               {"abc", "", 0, 0},
               {"aaaaaaaaaaaaaaab", "aaaaaaaaaab", 5, 5}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.s) + "/" + c.sub);
    EXPECT_EQ(searchstr(c.s, c.sub), c.plain);
    EXPECT_EQ(u_searchstr(c.s, c.sub), c.folded);
  }
  EXPECT_EQ(vex_index(u"abc", u""), -1);
  EXPECT_EQ(vex_index(u"abc", u"x"), -2);
  EXPECT_EQ(vex_index(u"", u"x"), -2);
  EXPECT_EQ(vex_index(u"abcbc", u"cb"), 2);
}

TEST(Searching, InArrays) {
  const char *names[] = {"alpha", nullptr, "Beta", "beta"};
  EXPECT_EQ(is_str_in_str_array(names, 4, "beta", 1), 3);
  EXPECT_EQ(is_str_in_str_array(names, 4, "beta", 0), 2);
  EXPECT_EQ(is_str_in_str_array(names, 4, "gamma", 0), -1);
  const kw_wchar *wnames[] = {u"One", nullptr, u"one"};
  EXPECT_EQ(is_wstr_in_wstr_arr_low(wnames, 3, u"ONE", 0), 0);
  EXPECT_EQ(search_wstring_in_wstring_array(wnames, 3, u"one"), 2);
  EXPECT_EQ(is_wstring_in_wstring_array(wnames, 3, u"two", 0), 0);
  const kw_wchar *other[] = {u"One", nullptr, u"onf"};
  EXPECT_LT(compare_wstring_arrays(wnames, other, 3), 0);
  EXPECT_EQ(compare_wstring_arrays(wnames, other, 2), 0);
  const char *keys[] = {"k", "k", "K"};
  const char *values[] = {"a", "b", "B"};
  EXPECT_EQ(index_in_string_pair_arrays(keys, "k", values, "b", 3, 1), 1);
  EXPECT_EQ(index_in_string_pair_arrays(keys, "K", values, "b", 3, 0), 1);
  EXPECT_EQ(index_in_string_pair_arrays(keys, "K", values, "c", 3, 0), -1);
}

TEST(Searching, ComparisonCallbacks) {
  EXPECT_EQ(u_strcmp_func("abc", "ABC"), 0);
  EXPECT_NE(u_strcmp_func("\xE9", "\xC9"), 0);  // bytes from 128 as they are
  EXPECT_EQ(upper_strncmp_func("abX", "ABy", 2), 0);
  std::vector<const char *> v = {"b", nullptr, "a"};
  std::qsort(v.data(), v.size(), sizeof(char *), compare_string_ptrs);
  EXPECT_EQ(v[0], nullptr);
  EXPECT_STREQ(v[1], "a");
  EXPECT_STREQ(v[2], "b");
}

}  // namespace
