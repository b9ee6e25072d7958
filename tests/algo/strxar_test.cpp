#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/memory.h>
#include <keelwork/strxar.h>
#include <keelwork/xar.h>

#include <string>
#include <vector>

#include "algo_test_util.h"

namespace {

std::vector<std::string> strings(char **xar) {
  std::vector<std::string> out;
  for (int i = 0; i < xar_count(&xar); ++i) out.push_back(xar[i] ? xar[i] : "<null>");
  return out;
}

TEST(StrXar, APIExamples) {
  const char *names[] = {"alpha", nullptr, "gamma"};
  char **xs = nullptr;
  EXPECT_EQ(copy_string_array_to_xarray(names, 3, &xs), 3);
  EXPECT_EQ(strings(xs), (std::vector<std::string>{"alpha", "<null>", "gamma"}));
  EXPECT_NE(xs[0], names[0]);  // owned copies
  EXPECT_EQ(resize_string_xarray(&xs, 1), 0);
  EXPECT_EQ(strings(xs), (std::vector<std::string>{"alpha"}));
  rls_string_xarray(&xs);
  EXPECT_EQ(xs, nullptr);
}

// Copying an array onto itself must not release the strings it copies.
TEST(StrXar, CopyOntoItself) {
  const char *names[] = {"one", "two"};
  char **xs = nullptr;
  copy_string_array_to_xarray(names, 2, &xs);
  EXPECT_EQ(copy_string_xarray(xs, &xs), 2);
  EXPECT_EQ(strings(xs), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(copy_string_array_to_xarray(xs, 1, &xs), 1);
  EXPECT_EQ(strings(xs), (std::vector<std::string>{"one"}));
  release_ptr_xar(&xs);
}

TEST(StrXar, WideStringsAndConversions) {
  const char *utf8[] = {"plain", "Gr\xc3\xbc\xc3\x9f\x65", "\xf0\x9f\x98\x80", "bad\xff"};
  kw_wchar **ws = nullptr;
  ASSERT_EQ(char_array_to_wchar_xarray(utf8, 4, &ws), 4);
  EXPECT_EQ(std::u16string(ws[1]), u"Gr\u00fc\u00dfe");
  EXPECT_EQ(std::u16string(ws[2]), u"\U0001F600");
  EXPECT_EQ(std::u16string(ws[3]), u"bad\uFFFD");

  char **back = nullptr;
  ASSERT_EQ(wchar_array_to_char_xarray(ws, 3, &back), 3);
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(back[i], utf8[i]);
  const char *bad[] = {"x\xe2\x82", "\xc0\xaf!"};  // truncated; overlong
  kw_wchar **replaced = nullptr;
  char_array_to_wchar_xarray(bad, 2, &replaced);
  EXPECT_EQ(std::u16string(replaced[0]), u"x\uFFFD\uFFFD");
  EXPECT_EQ(std::u16string(replaced[1]), u"\uFFFD\uFFFD!");
  release_wstring_xarray(&replaced);
  const kw_wchar lone[] = {u'a', 0xD800, u'b', 0};
  const kw_wchar *lone_list[] = {lone};
  wchar_array_to_char_xarray(lone_list, 1, &back);
  EXPECT_STREQ(back[0],
               "a\xef\xbf\xbd"
               "b");

  kw_wchar **part = nullptr;
  EXPECT_EQ(copy_wstring_xarray_from_to(ws, &part, 4, 1, 2), 2);
  EXPECT_EQ(std::u16string(part[0]), std::u16string(ws[1]));
  EXPECT_EQ(copy_wstring_xarray_from_to(ws, &part, 4, 2, -1), 2);  // to the end
  EXPECT_EQ(append_wstr_to_wstr_xarray(&part, u"tail", 1), 3);
  kw_wchar *owned = static_cast<kw_wchar *>(getmem(2 * sizeof(kw_wchar)));
  owned[0] = u'x';
  owned[1] = 0;
  EXPECT_EQ(append_wstr_to_wstr_xarray(&part, owned, 0), 4);
  EXPECT_EQ(part[3], owned);  // stored as is, now owned by the array
  free_wstring_xar(&part);
  release_wstring_xarray(&ws);
  rls_string_xarray(&back);
}

TEST(StrXar, ResizeReportsBadCalls) {
  kw::test::Reports reports;
  char **xs = nullptr;
  EXPECT_EQ(resize_string_xarray(nullptr, 2), -1);
  EXPECT_EQ(resize_string_xarray(&xs, -1), -1);
  EXPECT_EQ(reports.take(), std::vector<std::string>(2, "resize_string_xarray: invalid call"));
  EXPECT_EQ(resize_string_xarray(&xs, 2), 0);
  EXPECT_EQ(strings(xs), (std::vector<std::string>{"<null>", "<null>"}));
  rls_string_xarray(&xs);
}

}  // namespace

TEST(StrXar, ConversionsFollowTheSessionEncoding) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_RUSSIAN);
  const char *cp1251[] = {"\xC6\xE6"};
  kw_wchar **ws = nullptr;
  ASSERT_EQ(char_array_to_wchar_xarray(cp1251, 1, &ws), 1);
  EXPECT_EQ(std::u16string(ws[0]), u"\x0416\x0436");
  char **back = nullptr;
  ASSERT_EQ(wchar_array_to_char_xarray(ws, 1, &back), 1);
  EXPECT_STREQ(back[0], "\xC6\xE6");
  set_language(LANG_ENGLISH);
  btkUnicodeSetEnabled(1);
  release_wstring_xarray(&ws);
  rls_string_xarray(&back);
}
