#include <gtest/gtest.h>
#include <keelwork/bitarray.h>

#include <bitset>
#include <random>

#include "algo_test_util.h"

namespace {

TEST(BitArray, APIExamples) {
  uint32_t bits[2] = {0, 0};
  EXPECT_EQ(bit_array_get_size(33), 2);
  EXPECT_EQ(bit_array_set_bit(bits, 2, 35), 0);
  EXPECT_EQ(bits[1], 8u);
  EXPECT_EQ(bit_array_set_bit(bits, 2, 35), 1);  // already set, word unchanged
  EXPECT_EQ(bits[1], 8u);
  EXPECT_EQ(bit_array_check_bit(bits, 2, 35), 1);
  EXPECT_EQ(bit_array_clear_bit(bits, 2, 35), 1);
  EXPECT_EQ(bit_array_clear_bit(bits, 2, 35), 0);
}

TEST(BitArray, AgainstBitset) {
  std::mt19937 rng(3);
  constexpr int kWords = 3;
  uint32_t a[kWords] = {}, b[kWords] = {};
  std::bitset<96> ma, mb;
  for (int step = 0; step < 3000; ++step) {
    int i = static_cast<int>(rng() % 96);
    uint32_t *t = step % 2 ? a : b;
    std::bitset<96> &m = step % 2 ? ma : mb;
    if (rng() % 3) {
      ASSERT_EQ(bit_array_set_bit(t, kWords, i), m.test(i));
      m.set(i);
    } else {
      ASSERT_EQ(bit_array_clear_bit(t, kWords, i), m.test(i));
      m.reset(i);
    }
    ASSERT_EQ(bit_array_check(a, b, kWords), (ma & mb).any());
    ASSERT_EQ(bit_array_check_all(a, b, kWords), (ma & mb) == mb);
    ASSERT_EQ(bit_array_check_any(a, kWords), ma.any());
    ASSERT_EQ(bit_array_compare(a, b, kWords), ma == mb);
  }
  uint32_t c[kWords];
  bit_array_copy(c, a, kWords);
  bit_array_merge(c, b, kWords);
  for (int i = 0; i < 96; ++i) ASSERT_EQ(bit_array_check_bit(c, kWords, i), (ma | mb).test(i));
  bit_array_mask(c, b, kWords);
  for (int i = 0; i < 96; ++i) ASSERT_EQ(bit_array_check_bit(c, kWords, i), mb.test(i));
  bit_array_reset(c, a, kWords);
  for (int i = 0; i < 96; ++i) ASSERT_EQ(bit_array_check_bit(c, kWords, i), (mb & ~ma).test(i));
}

TEST(BitArray, ListsAndBadBits) {
  kw::test::Reports reports;
  uint32_t bits[2] = {};
  EXPECT_EQ(bit_array_set_bit_list(bits, 2, 0, 31, 63, -1), 1);
  EXPECT_EQ(bits[0], 0x80000001u);
  EXPECT_EQ(bit_array_check_bit_list(bits, 2, 5, 63, -1), 1);
  EXPECT_EQ(bit_array_check_bit_list(bits, 2, 5, 6, -1), 0);
  EXPECT_TRUE(reports.take().empty());

  struct Row {
    const char *name;
    int result;
  } rows[] = {{"set", bit_array_set_bit(bits, 2, 64)},
              {"clear", bit_array_clear_bit(bits, 2, -1)},
              {"check", bit_array_check_bit(bits, 2, 1 << 30)},
              {"list", bit_array_clear_bit_list(bits, 2, 0, 64, 63, -1)}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.result, 0);
  }
  EXPECT_EQ(reports.take(), std::vector<std::string>(4, "bit_array_clear_bit: Bad call"));
  EXPECT_EQ(bits[0], 0x80000000u);  // bit 0 cleared before the bad number stopped the list
  EXPECT_EQ(bits[1], 0x80000000u);  // bit 63 was not reached
  EXPECT_EQ(bit_array_check_bit(nullptr, 2, 0), 0);
  bit_array_set_all(bits, 2);
  EXPECT_EQ(bits[1], 0xffffffffu);
}

}  // namespace
