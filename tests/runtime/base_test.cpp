// Base classes: strings, containers and their orders, the reference count.
#include <gtest/gtest.h>
#include <keelwork/btk_base.hpp>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(BaseStrings, ValuesConcatenationAndWords) {
  btkZString s("part");
  s += ".prt";
  s += '.';
  s += btkZString("3");
  EXPECT_STREQ(s.c_str(), "part.prt.3");
  EXPECT_EQ(s.Length(), 10);
  EXPECT_EQ(btkZString("ABC").CompareNoCase("abc"), 0);
  EXPECT_LT(btkZString("a").Compare("b"), 0);
  std::vector<std::string> words;
  btkZString("  one two\tthree  ").SplitWords(" \t", [&](const btkZString &w) {
    words.push_back(w.str());
  });
  EXPECT_EQ(words, (std::vector<std::string>{"one", "two", "three"}));
  btkZString f;
  f.Format("%s-%03d", "x", 7);
  EXPECT_STREQ(f.c_str(), "x-007");
  btkWZString w = btkWZString::FromUtf8("caf\xC3\xA9");
  EXPECT_EQ(w.str(), u"caf\u00e9");
  EXPECT_EQ(w.ToUtf8(), "caf\xC3\xA9");
  EXPECT_TRUE(btkWZString::FromUtf8("\xC3").IsEmpty());  // invalid UTF-8
}

TEST(BaseContainers, XArrayOfPlainAndClassElements) {
  btkXArray<int> ints;
  for (int i = 0; i < 100; ++i) ints.Append(i);
  ints.InsertAt(0, -1);
  ints.RemoveAt(50, 10);
  EXPECT_EQ(ints.GetSize(), 91);
  EXPECT_EQ(ints[0], -1);
  EXPECT_EQ(ints[50], 59);
  EXPECT_EQ(ints.Find(99), 90);
  EXPECT_EQ(ints.Find(55), -1);

  btkXArray<std::string> strings;
  strings.Append("b");
  const std::string *address = &strings[0];
  for (int i = 0; i < 1000; ++i) strings.Append(std::to_string(i));
  EXPECT_EQ(&strings[0], address);  // objects never move
  btkXArray<std::string> copy = strings;
  strings.RemoveAll();
  EXPECT_EQ(copy.GetSize(), 1001);
  EXPECT_EQ(copy[1000], "999");
  int n = 0;
  for (const std::string &s : copy) n += static_cast<int>(s.size() > 0);
  EXPECT_EQ(n, 1001);
}

TEST(BaseContainers, MapKeepsOrderAndPlacesEqualKeysAfterwards) {
  std::mt19937 rng(5);
  btkMap<int, int> map;
  std::multimap<int, int> model;
  for (int i = 0; i < 2000; ++i) {
    int key = static_cast<int>(rng() % 200);
    map.Add(key, i);
    model.emplace(key, i);  // std::multimap also inserts after equal keys
  }
  ASSERT_EQ(map.GetCount(), static_cast<int>(model.size()));
  int i = 0;
  for (const auto &[k, v] : model) {
    ASSERT_EQ(map.GetKeyAt(i), k);
    ASSERT_EQ(map.GetValueAt(i), v);
    ++i;
  }
  int value = 0;
  EXPECT_TRUE(map.Lookup(model.begin()->first, value));
  EXPECT_FALSE(map.Lookup(1000, value));
  btkMap<int, int> unique;
  unique.SetAt(3, 1);
  unique.SetAt(3, 2);
  unique[4] = 7;
  EXPECT_EQ(unique.GetCount(), 2);
  EXPECT_EQ(*unique.Lookup(3), 2);
  EXPECT_TRUE(unique.RemoveKey(3));
  EXPECT_FALSE(unique.RemoveKey(3));

  // A caller's comparison of key addresses decides the order.
  btkMap<int, int> reversed([](const void *a, const void *b) {
    return *static_cast<const int *>(b) - *static_cast<const int *>(a);
  });
  for (int k : {1, 3, 2}) reversed.Add(k, k);
  EXPECT_EQ(reversed.GetKeyAt(0), 3);
  EXPECT_EQ(reversed.GetKeyAt(2), 1);

  btkStringMap<int> names;
  names.SetAt("beta", 2);
  names.SetAt("alpha", 1);
  EXPECT_STREQ(names.GetKeyAt(0).c_str(), "alpha");
  EXPECT_EQ(*names.Lookup(btkString("beta")), 2);
}

TEST(BaseContainers, SortedXArray) {
  btkSortedXArray<int> sorted;
  for (int v : {5, 1, 3, 3, 9}) sorted.Insert(v);
  std::vector<int> got(sorted.begin(), sorted.end());
  EXPECT_EQ(got, (std::vector<int>{1, 3, 3, 5, 9}));
  EXPECT_EQ(sorted.Find(5), 3);
  EXPECT_EQ(sorted.Find(4), -1);
}

TEST(BaseContainers, List) {
  btkList<std::string> list;
  list.AddTail("b");
  list.AddHead("a");
  auto c = list.AddTail("c");
  list.InsertBefore(c, "bb");
  std::vector<std::string> got;
  for (auto p = list.GetHeadPosition(); p; p = list.Next(p)) got.push_back(list.GetAt(p));
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "bb", "c"}));
  EXPECT_EQ(list.RemoveHead(), "a");
  EXPECT_EQ(list.RemoveTail(), "c");
  list.RemoveAt(list.Find("b"));
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_EQ(list.GetHead(), "bb");
  btkList<std::string> copy = list;
  list.RemoveAll();
  EXPECT_EQ(copy.GetCount(), 1);
}

struct Counted : btkObject {
  static int alive;
  Counted() { ++alive; }
  ~Counted() override { --alive; }
  btkObject *Clone() const override { return new Counted; }
};
int Counted::alive = 0;

TEST(BaseObject, ReferenceCount) {
  auto *o = new Counted;
  EXPECT_EQ(o->AddRef(), 2);
  EXPECT_EQ(o->Release(), 1);
  btkObject *clone = o->Clone();
  EXPECT_EQ(Counted::alive, 2);
  EXPECT_EQ(clone->RefCount(), 1);
  clone->Release();
  o->Release();
  EXPECT_EQ(Counted::alive, 0);
  std::ostringstream out;
  btkObject *plain = new btkObject;
  EXPECT_EQ(plain->SerializeTo(out), -1);
  EXPECT_EQ(plain->Clone(), nullptr);
  plain->Release();
}

TEST(BaseTime, Arithmetic) {
  btkTime a = btkTime::Now(), b(a.Microseconds() + 1500000);
  EXPECT_EQ(b.Since(a), 1500000);
  EXPECT_TRUE(a < b);
  EXPECT_GT(a.Seconds(), 1700000000);
}

}  // namespace
