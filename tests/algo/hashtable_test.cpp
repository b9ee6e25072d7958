#include <gtest/gtest.h>
#include <keelwork/hashtable.hpp>

#include <map>
#include <random>
#include <string>
#include <unordered_map>

namespace {

// The described mixing on 32-bit words, written out independently.
uint32_t described_hash(uint32_t key, uint32_t n) {
  uint32_t h = key * 4097u;
  h = (h ^ (h >> 22)) * 17u;
  h = (h ^ (h >> 9)) * 1025u;
  h = (h ^ (h >> 2)) * 129u;
  return (h ^ (h >> 12)) % n;
}

TEST(HashTable, APIExamples) {
  kw_AutoDestructDataHashTable<> table;  // btkString values
  EXPECT_EQ(table.BucketCount(), 1021u);
  EXPECT_TRUE(table.Add(42, "answer"));
  EXPECT_FALSE(table.Add(42, "other"));  // present: the stored value stays
  btkString value;
  EXPECT_TRUE(table.Find(42, value));
  EXPECT_STREQ(value.c_str(), "answer");
  EXPECT_FALSE(table.Find(7, value));
  EXPECT_TRUE(table.ContainsKey(42));
  EXPECT_EQ(table.Count(), 1u);
}

TEST(HashTable, DefaultFunctions) {
  EXPECT_EQ(kw_defHashFunc(0, 1021), 0u);
  EXPECT_EQ(kw_defHashFunc(12345, 0), 0u);
  for (intptr_t key :
       {intptr_t{1}, intptr_t{12345}, intptr_t{-1}, intptr_t{INT32_MAX}, intptr_t{INT32_MIN}}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(kw_defHashFunc(key, 1021), described_hash(static_cast<uint32_t>(key), 1021));
  }
  // Keys beyond 32 bits (addresses) mix their high half in.
  intptr_t high = intptr_t{1} << 40;
  EXPECT_NE(kw_defHashFunc(high + 8, 1u << 20), kw_defHashFunc(8, 1u << 20));
  EXPECT_EQ(kw_defCompareFunc(5, 5), 0);
  EXPECT_EQ(kw_defCompareFunc(7, 5), 2);
  EXPECT_LT(kw_defCompareFunc(0, high), 0);  // a truncated difference would be 0
  EXPECT_GT(kw_defCompareFunc(INTPTR_MAX, INTPTR_MIN), 0);
}

// A caller hash that returns values beyond the table still lands in it.
uint32_t wild_hash(intptr_t key, uint32_t) {
  return static_cast<uint32_t>(key % 1000) * 2654435761u;
}
int mod_compare(intptr_t a, intptr_t b) { return (a % 1000) != (b % 1000); }

TEST(HashTable, ModelWithCallerFunctions) {
  std::mt19937 rng(9);
  kw_HashTable<int> table(mod_compare, nullptr, 37, wild_hash);
  std::unordered_map<intptr_t, int> model;  // keys taken modulo 1000
  for (int step = 0; step < 20000; ++step) {
    intptr_t key = static_cast<intptr_t>(rng() % 5000);
    if (rng() % 2) {
      bool added = model.emplace(key % 1000, step).second;
      ASSERT_EQ(table.Add(key, step), added);
    } else {
      int value = -1;
      auto it = model.find(key % 1000);
      ASSERT_EQ(table.Find(key, value), it != model.end());
      if (it != model.end()) {
        ASSERT_EQ(value, it->second);
      }
    }
  }
  EXPECT_EQ(table.Count(), model.size());
}

TEST(HashTable, DestructSeesEveryEntryOnce) {
  static std::map<intptr_t, std::string> seen;
  seen.clear();
  {
    kw_HashTable<std::string> table(
        nullptr, [](intptr_t key, std::string &value) { seen.emplace(key, value); }, 3, nullptr);
    for (intptr_t k = 0; k < 50; ++k) table.Add(k * 1000, std::to_string(k));
  }
  ASSERT_EQ(seen.size(), 50u);
  EXPECT_EQ(seen.at(49000), "49");
}

}  // namespace
