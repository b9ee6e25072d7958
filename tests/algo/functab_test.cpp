#include <gtest/gtest.h>
#include <keelwork/functab.h>
#include <keelwork/xar.h>

#include "algo_test_util.h"

namespace {

void f0() {}
void f1() {}
void f2() {}

TEST(Functab, APIExamples) {
  const kw_functab table[] = {{0, f0}, {1, f1}, {2, f2}, {-1, nullptr}};
  EXPECT_EQ(get_func_from_functab(table, 1), f1);
  EXPECT_EQ(find_func_in_functab_by_key(table, 2), f2);
  EXPECT_EQ(find_func_in_functab_by_key(table, 7), nullptr);
  kw_functab *copy = functab_to_xarray(table);
  ASSERT_EQ(xar_count(&copy), 4);  // up to and including the null function
  EXPECT_EQ(copy[2].function, f2);
  xar_free(&copy);
}

TEST(Functab, MisplacedPairIsFoundByScanning) {
  kw::test::Reports reports;
  const kw_functab table[] = {{0, f0}, {2, f2}, {1, f1}, {-1, nullptr}};
  EXPECT_EQ(get_func_from_functab(table, 1), f1);
  EXPECT_EQ(get_func_from_functab(table, 3), nullptr);   // index 3 holds the -1 pair
  EXPECT_EQ(get_func_from_functab(table, -5), nullptr);  // never read before the table
  auto taken = reports.take();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0], "get_func_from_functab: functable[key].key != key:  fix the fucntable.");
}

}  // namespace
