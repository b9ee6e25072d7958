// Run modes, trail substitution and environment expansion.
#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/runmode.h>
#include <keelwork/xar.h>

#include <cstdlib>
#include <string>

namespace {

TEST(RunMode, SingleStepIsRefusedInRegressionModes) {
  set_verbose_mode(1);
  set_dbg_err_crash(0);  // report and continue
  set_run_mode(9129);
  EXPECT_EQ(regression_run_mode(), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(set_run_mode(1111), 9129);  // returns the previous mode either way
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(get_run_mode(), 9129);
  EXPECT_NE(out.find("Cannot change to single step mode in regression run mode"),
            std::string::npos);
  add_added_run_mode(2222);  // refused as well
  EXPECT_EQ(is_run_mode(2222), 0);
}

TEST(RunMode, AllowSingleStepLetsItThrough) {
  for (const char *value : {"YES", "yes", "Yes"}) {
    SCOPED_TRACE(value);
    setenv("ALLOW_SINGLE_STEP", value, 1);
    set_run_mode(9029);
    set_run_mode(1111);
    EXPECT_EQ(get_run_mode(), 1111);
  }
  unsetenv("ALLOW_SINGLE_STEP");
  set_run_mode(0);
  set_run_mode(1111);  // from a plain mode single step is always allowed
  EXPECT_EQ(get_run_mode(), 1111);
  EXPECT_EQ(user_run_mode(), 0);
}

TEST(RunMode, AddedModes) {
  add_added_run_mode(7);
  add_added_run_mode(7);
  add_added_run_mode(8);
  EXPECT_EQ(is_run_mode(7), 1);
  del_added_run_mode(7);
  EXPECT_EQ(is_run_mode(7), 0);
  EXPECT_EQ(is_run_mode(8), 1);
  del_all_added_run_modes();
  EXPECT_EQ(is_run_mode(8), 0);
  EXPECT_EQ(is_run_mode(0), 1);  // the run mode itself
}

TEST(RunMode, ShowPicksLatchesOn) {
  EXPECT_EQ(is_runmode_trl_show_picks(), 0);
  add_added_run_mode(1112);
  EXPECT_EQ(is_runmode_trl_show_picks(), 1);
  del_all_added_run_modes();
  EXPECT_EQ(is_runmode_trl_show_picks(), 1);  // stays on
}

TEST(RunMode, ShowPicksFromTheEnvironment) {
  setenv("VEX_SHOW_PICKS_MODE", "", 1);
  EXPECT_EQ(is_runmode_trl_show_picks(), 1);
}

TEST(Trail, DefineRedefineAndSubstitute) {
  EXPECT_EQ(trl_define_substitution(u"A", u"x"), E_NO_ERROR);
  EXPECT_EQ(trl_define_substitution(u"A", u"y"), E_FOUND);
  kw_wchar line[260] = u"p ${A} q ${B} $A ${} ${A}";
  trl_substitute_variables(line, 1);
  EXPECT_EQ(std::u16string(line), u"p y q ${B} $A ${} y");
}

TEST(Trail, LimitsOfNamesAndValues) {
  std::u16string name30(30, u'n'), value250(250, u'v');
  EXPECT_EQ(trl_define_substitution(name30.c_str(), value250.c_str()), E_NO_ERROR);
  EXPECT_EQ(trl_define_substitution((name30 + u"n").c_str(), u"v"), E_INVALID_INPUT);
  EXPECT_EQ(trl_define_substitution(u"N", (value250 + u"v").c_str()), E_INVALID_INPUT);
  EXPECT_EQ(trl_define_substitution(nullptr, u"v"), E_INVALID_INPUT);
  setenv("KW_TEST_LONG", std::string(200, 'z').c_str(), 1);
  EXPECT_EQ(trl_define_substitution(u"L", u"$KW_TEST_LONG$KW_TEST_LONG"), E_INVALID_INPUT);
}

TEST(Trail, ValuesExpandTheEnvironmentOnce) {
  setenv("HOME", "/h", 1);
  setenv("KW_TEST_DOLLAR", "$HOME", 1);
  EXPECT_EQ(trl_define_substitution(u"P", u"$HOME/w"), E_NO_ERROR);
  EXPECT_EQ(trl_define_substitution(u"Q", u"$KW_TEST_DOLLAR"), E_NO_ERROR);
  kw_wchar line[260] = u"${P} ${Q}";
  trl_substitute_variables(line, 2);
  EXPECT_EQ(std::u16string(line), u"/h/w $HOME");
}

TEST(Trail, SetFromOneText) {
  EXPECT_EQ(set_trail_substitution(nullptr, u"N}"), E_INVALID_INPUT);
  EXPECT_EQ(set_trail_substitution(nullptr, u""), E_CANT_PARSE);
  EXPECT_EQ(set_trail_substitution(nullptr, u"N"), E_NO_ERROR);
  EXPECT_EQ(set_trail_substitution(nullptr, u"M \t value with blanks  "), E_NO_ERROR);
  EXPECT_EQ(set_trail_substitution(nullptr, u"M other"),
            E_NO_ERROR);                                            // replacing counts as success
  EXPECT_EQ(set_trail_substitution(nullptr, u"}X y"), E_NO_ERROR);  // first character literal
  kw_wchar line[260] = u"[${N}] [${M}] [${}X}]";
  trl_substitute_variables(line, 3);
  EXPECT_EQ(std::u16string(line), u"[] [other] [${}X}]");
}

TEST(Trail, ListingInNameOrder) {
  EXPECT_EQ(get_trail_substitution(), nullptr);
  trl_define_substitution(u"b", u"2");
  trl_define_substitution(u"a", u"1");
  trl_define_substitution(u"\u00e9", u"\u00e8");  // non-ASCII fits its block
  char **listing = get_trail_substitution();
  ASSERT_EQ(xar_count(&listing), 3);
  EXPECT_STREQ(listing[0], "a 1");
  EXPECT_STREQ(listing[1], "b 2");
  EXPECT_STREQ(listing[2], "\xC3\xA9 \xC3\xA8");
  EXPECT_NE(get_trail_substitution(), nullptr);  // rebuilt, old one released
}

TEST(Trail, OverflowingLineIsReportedAndLeftAlone) {
  set_verbose_mode(1);
  trl_define_substitution(u"V", std::u16string(200, u'v').c_str());
  std::u16string text = u"${V}" + std::u16string(56, u'.');  // 200 + 56 = 256: fits
  kw_wchar line[260];
  std::copy(text.begin(), text.end(), line);
  line[text.size()] = 0;
  trl_substitute_variables(line, 4);
  EXPECT_EQ(std::u16string(line).size(), 256u);
  text = u"${V}" + std::u16string(60, u'.');  // 260: overflow
  std::copy(text.begin(), text.end(), line);
  line[text.size()] = 0;
  testing::internal::CaptureStdout();
  trl_substitute_variables(line, 5);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::u16string(line), text);
  EXPECT_NE(out.find("dbg_err_crash"), std::string::npos);
}

TEST(Trail, UnterminatedReferenceEndsTheScan) {
  trl_define_substitution(u"A", u"x");
  kw_wchar line[260] = u"${A} ${A";
  trl_substitute_variables(line, 6);
  EXPECT_EQ(std::u16string(line), u"x ${A");
}

TEST(EnvVars, HandleEnvVarsReplacesInPlace) {
  setenv("KW_A", "alpha", 1);
  unsetenv("KW_UNSET");
  struct Row {
    const char16_t *in, *out;
  };
  for (Row row :
       {Row{u"no dollars", u"no dollars"}, Row{u"$KW_A/x", u"alpha/x"}, Row{u"[$KW_UNSET]", u"[]"},
        Row{u"a $ b", u"a  b"}, Row{u"$KW_A$KW_A", u"alphaalpha"}}) {
    kw_wchar buffer[520];
    std::u16string in(row.in);
    std::copy(in.begin(), in.end(), buffer);
    buffer[in.size()] = 0;
    handle_env_vars(buffer);
    EXPECT_EQ(std::u16string(buffer), std::u16string(row.out));
  }
}

TEST(EnvVars, LegacyValuesAreInTheSessionEncoding) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_RUSSIAN);
  setenv("KW_CYR", "\xC6", 1);  // Windows-1251
  kw_wchar buffer[64] = u"[$KW_CYR]";
  handle_env_vars(buffer);
  EXPECT_EQ(std::u16string(buffer), u"[\x0416]");
}

TEST(EnvVars, CountedExpansionExpandsValuesInTurn) {
  setenv("KW_B", "$KW_A!", 1);
  setenv("KW_A", "alpha", 1);
  kw_wchar buffer[64] = u"<$KW_B>";
  EXPECT_EQ(HandleEnvVars_ct(buffer, 64), 1);
  EXPECT_EQ(std::u16string(buffer), u"<alpha!>");
}

TEST(EnvVars, CountedExpansionFailuresLeaveTheTextAlone) {
  setenv("KW_A", "alpha", 1);
  setenv("KW_SELF", "$KW_SELF", 1);  // refers to itself without growing
  setenv("KW_P", "$KW_Q", 1);
  setenv("KW_Q", "$KW_P", 1);
  struct Row {
    const char16_t *text;
    int size;
  };
  for (Row row : {Row{u"$ alone", 64}, Row{u"$KW_A", 5}, Row{u"$KW_SELF", 64}, Row{u"x$KW_P", 64},
                  Row{u"too long", 8}}) {
    SCOPED_TRACE(testing::Message() << row.size);
    kw_wchar buffer[64];
    std::u16string text(row.text);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    EXPECT_EQ(HandleEnvVars_ct(buffer, row.size), 0);
    EXPECT_EQ(std::u16string(buffer), text);
  }
  kw_wchar fits[6] = u"$KW_A";
  EXPECT_EQ(HandleEnvVars_ct(fits, 6), 1);  // "alpha" and its terminator: 6 units
  EXPECT_EQ(HandleEnvVars_ct(nullptr, 1), 1);
  std::u16string long_name(1, u'$');
  long_name.append(260, u'N');  // appended: g++ -O3 misreads "$" + name as an overlap
  std::u16string long_buffer = long_name;
  long_buffer.resize(600);
  EXPECT_EQ(HandleEnvVars_ct(long_buffer.data(), 600), 0);
}

}  // namespace
