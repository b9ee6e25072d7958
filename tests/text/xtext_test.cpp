// Text arrays of byte and wide strings.
#include <gtest/gtest.h>
#include <keelwork/memory.h>
#include <keelwork/xar.h>
#include <keelwork/xtext.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> items(char *const *a) {
  std::vector<std::string> out;
  for (int i = 0; i < xar_count(&a); ++i) out.emplace_back(a[i]);
  return out;
}

TEST(TextArrays, APIExamples) {
  char **names = nullptr;
  EXPECT_EQ(xtext_sorted_insert(&names, "pear"), 1);
  EXPECT_EQ(xtext_sorted_insert(&names, "apple"), 1);
  EXPECT_EQ(xtext_sorted_insert(&names, "pear"), 0);
  EXPECT_EQ(items(names), (std::vector<std::string>{"apple", "pear"}));
  char joined[32];
  int last = -1;
  EXPECT_EQ(xtext_to_string(names, 0, ", ", sizeof joined, joined, &last), 1);
  EXPECT_STREQ(joined, "apple, pear");
  release_pointer_xar(&names);
  EXPECT_EQ(names, nullptr);
}

TEST(TextArrays, InsertSearchAndSort) {
  char **a = nullptr;
  EXPECT_EQ(xtext_insert(&a, -1, "c"), 0);
  EXPECT_EQ(xtext_insert(&a, 0, "a"), 0);
  EXPECT_EQ(xtext_insert(&a, -1, "b"), 2);
  EXPECT_EQ(xtext_insert(&a, 7, "z"), -1);
  EXPECT_EQ(items(a), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(xtext_lin_search(a, "b"), 2);
  EXPECT_EQ(xtext_lin_search(a, "q"), -1);
  EXPECT_EQ(xtext_lin_search_low(a, 2, "b"), -1);
  xtext_sort(a);
  EXPECT_EQ(items(a), (std::vector<std::string>{"a", "b", "c"}));
  int index = -1;
  EXPECT_EQ(xtext_bin_search(a, "b", &index), 1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(xtext_bin_search(a, "bb", &index), 0);
  EXPECT_EQ(index, 2);
  char **copy = xtext_copy(a);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy[0], a[0]);  // a deep copy
  EXPECT_EQ(items(copy), items(a));
  release_pointer_xar(&copy);
  release_pointer_xar(&a);
  EXPECT_EQ(xtext_copy(nullptr), nullptr);
}

TEST(TextArrays, WideArrays) {
  kw_wchar **w = nullptr;
  EXPECT_EQ(xwtext_sorted_insert(&w, u"beta"), 1);
  EXPECT_EQ(xwtext_sorted_insert(&w, u"Alpha"), 1);
  EXPECT_EQ(xwtext_sorted_insert(&w, u"alpha"), 1);
  EXPECT_EQ(xwtext_lin_search(w, u"alpha"), 1);
  int index = -1;
  EXPECT_EQ(xwtext_bin_search(w, u"beta", &index), 1);
  EXPECT_EQ(index, 2);
  xwtext_insert(&w, 0, u"GAMMA");
  xwtext_sort_wu(w);
  EXPECT_EQ(std::u16string(w[3]), u"GAMMA");
  xwtext_sort(w);
  EXPECT_EQ(std::u16string(w[0]), u"Alpha");
  kw_wchar **copy = xwtext_copy(w);
  EXPECT_EQ(xar_count(&copy), 4);
  release_pointer_xar(&copy);
  release_pointer_xar(&w);
}

TEST(TextArrays, WordsAndJoining) {
  char **words = xtext_from_string("  one\ttwo  three \n");
  EXPECT_EQ(items(words), (std::vector<std::string>{"one", "two", "three"}));
  char out[10];
  int last = -1;
  EXPECT_EQ(xtext_to_string(words, 0, "-", sizeof out, out, &last), 0);
  EXPECT_STREQ(out, "one-two");
  EXPECT_EQ(last, 1);
  EXPECT_EQ(xtext_to_string(words, 2, "-", sizeof out, out, &last), 1);
  EXPECT_STREQ(out, "three");
  EXPECT_EQ(last, 2);
  kw_wchar **wide = nullptr;
  EXPECT_EQ(xtext_to_xwtext(words, &wide), 3);
  EXPECT_EQ(std::u16string(wide[2]), u"three");
  EXPECT_EQ(xtext_to_xwtext(words, &wide), 3);  // emptied first
  EXPECT_EQ(xar_count(&wide), 3);
  release_pointer_xar(&wide);
  release_pointer_xar(&words);
  EXPECT_EQ(xtext_from_string("   "), nullptr);
  kw_wchar **ws = xwtext_from_string(
      u"\x3000"
      "a\x3000 b");
  EXPECT_EQ(xar_count(&ws), 2);
  release_pointer_xar(&ws);
}

TEST(TextArrays, Printing) {
  char **a = nullptr;
  xtext_insert(&a, -1, "x");
  xtext_insert(&a, -1, "y");
  kw_wchar **w = nullptr;
  xwtext_insert(&w, -1, u"\x00E9");
  testing::internal::CaptureStdout();
  xtext_print(a);
  xwtext_print(w);
  int bogus[8] = {};
  xtext_print(reinterpret_cast<char **>(bogus + 4));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "0::x\n1::y\n0::\xC3\xA9"
            "\nBad xarray.\n\n");
  release_pointer_xar(&a);
  release_pointer_xar(&w);
}

}  // namespace
