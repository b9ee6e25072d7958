#include <gtest/gtest.h>
#include <keelwork/objsort.h>
#include <keelwork/sorted.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "algo_test_util.h"

namespace {

struct Record {  // 24 bytes
  int32_t key;
  int32_t id;
  double payload[2];
};

bool operator==(const Record &a, const Record &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int by_key(const void *a, const void *b) {
  return int_cmp(
      reinterpret_cast<const void *>(static_cast<intptr_t>(static_cast<const Record *>(a)->key)),
      reinterpret_cast<const void *>(static_cast<intptr_t>(static_cast<const Record *>(b)->key)));
}
int by_key_data(const void *a, const void *b, void *) { return by_key(a, b); }

std::mt19937 g_rng(2024);
int coin(const void *, const void *) { return static_cast<int>(g_rng() % 3) - 1; }
int coin_data(const void *, const void *, void *) { return coin(nullptr, nullptr); }

std::vector<Record> random_records(int n, int keys) {
  std::vector<Record> v(n);
  for (int i = 0; i < n; ++i) v[i] = {static_cast<int32_t>(g_rng() % keys), i, {i * 0.5, -i * 1.0}};
  return v;
}

std::vector<int32_t> ids_sorted(std::vector<Record> v) {
  std::vector<int32_t> ids;
  for (const Record &r : v) ids.push_back(r.id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

TEST(ObjSort, APIExamples) {
  Record r[3] = {{3, 0, {}}, {1, 1, {}}, {2, 2, {}}};
  sort_objects(3, by_key, r, sizeof(Record));
  EXPECT_EQ(r[0].key, 1);
  EXPECT_EQ(r[2].key, 3);

  int32_t *ids = static_cast<int32_t *>(xar_alloc(0, 4, 4));
  for (int32_t v : {5, 2, 9}) xar_append(&ids, 1, &v);
  EXPECT_EQ(xar_sort(&ids, int_element_cmp), 3);
  EXPECT_EQ(std::vector<int32_t>(ids, ids + 3), (std::vector<int32_t>{2, 5, 9}));
  xar_free(&ids);
}

// Object sorts against std::stable_sort: the same keys in order, every
// record once, and for the stable variants exactly the stable order.
TEST(ObjSort, RecordsAgainstStd) {
  for (int round = 0; round < 300; ++round) {
    int n = static_cast<int>(g_rng() % 200);
    std::vector<Record> v = random_records(n, 1 + round % 20);
    std::vector<Record> expected = v;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Record &a, const Record &b) { return a.key < b.key; });
    std::vector<Record> plain = v, stable = v, stable_data = v;
    sort_objects(n, by_key, plain.data(), sizeof(Record));
    sort_objects_same_order(n, by_key, stable.data(), sizeof(Record));
    sort_objects_same_order_w_data(n, by_key_data, stable_data.data(), sizeof(Record), nullptr);
    ASSERT_EQ(stable, expected);
    ASSERT_EQ(stable_data, expected);
    for (int i = 0; i < n; ++i) ASSERT_EQ(plain[i].key, expected[i].key);
    ASSERT_EQ(ids_sorted(plain), ids_sorted(v));
  }
}

// Whatever a comparison answers, every sort leaves a permutation of its
// input and reads nothing outside it.
TEST(ObjSort, InconsistentComparisonKeepsEveryElement) {
  for (int n : {2, 11, 12, 13, 40, 300}) {
    SCOPED_TRACE(n);
    std::vector<Record> v = random_records(n, 5), w = v;
    sort_objects(n, coin, w.data(), sizeof(Record));
    EXPECT_EQ(ids_sorted(w), ids_sorted(v));
    sort_objects_same_order_w_data(n, coin_data, w.data(), sizeof(Record), nullptr);
    EXPECT_EQ(ids_sorted(w), ids_sorted(v));

    std::vector<void *> p(n);
    for (int i = 0; i < n; ++i) p[i] = &v[i];
    static void **slots;
    slots = p.data();
    quick_sort_access(0, n - 1, coin, [](int i) { return slots + i; });
    sort_pointers_same_order(n, coin, p.data());
    std::sort(p.begin(), p.end());
    for (int i = 0; i < n; ++i) EXPECT_EQ(p[i], &v[i]);

    void *har = har_alloc(0, sizeof(Record), 7);
    har_append(&har, n, v.data());
    sort_har_objects(har, coin, sizeof(Record));
    std::vector<Record> back;
    for (int i = 0; i < n; ++i)
      back.push_back(*static_cast<Record *>(har_access(har, i, nullptr, nullptr)));
    EXPECT_EQ(ids_sorted(back), ids_sorted(v));
    har_free(&har);
  }
}

// Every element size, in place or through addresses: the comparison only
// ever sees elements of the array, and each element moves whole.
TEST(ObjSort, ElementSizes) {
  static const char *lo;
  static std::size_t span, step;
  auto key_of = [](const void *p) {
    auto offset = static_cast<std::size_t>(static_cast<const char *>(p) - lo);
    EXPECT_TRUE(offset < span && offset % step == 0) << "not an element of the array";
    int32_t k;
    std::memcpy(&k, p, 4);
    return k;
  };
  static decltype(key_of) *get = &key_of;
  auto compare = [](const void *a, const void *b) {
    int32_t x = (*get)(a), y = (*get)(b);
    return (x > y) - (x < y);
  };
  for (int size : {4, 8, 12, 24, 32, 40, 64, 72, 200}) {
    for (int n : {0, 1, 2, 17, 300}) {
      SCOPED_TRACE(testing::Message() << "size " << size << " n " << n);
      std::vector<char> v(static_cast<std::size_t>(size) * n);
      for (int i = 0; i < n; ++i) {
        int32_t k = static_cast<int32_t>(g_rng() % 50);
        std::memset(&v[i * size], k, size);
        std::memcpy(&v[i * size], &k, 4);
      }
      lo = v.data();
      span = v.size();
      step = size;
      sort_objects(n, compare, v.data(), size);
      for (int i = 0; i < n; ++i) {
        int32_t k;
        std::memcpy(&k, &v[i * size], 4);
        if (i > 0) {
          int32_t prev;
          std::memcpy(&prev, &v[(i - 1) * size], 4);
          ASSERT_LE(prev, k);
        }
        for (int b = 4; b < size; ++b) ASSERT_EQ(v[i * size + b], static_cast<char>(k));
      }
    }
  }
}

TEST(ObjSort, OrderArray) {
  kw::test::Reports reports;
  int32_t a[4] = {10, 11, 12, 13};
  void *p[4] = {&a[2], &a[0], &a[3], &a[1]};
  EXPECT_EQ(order_array(4, a, p, 4), 0);
  EXPECT_EQ(std::vector<int32_t>(a, a + 4), (std::vector<int32_t>{12, 10, 13, 11}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p[i], &a[i]);
  EXPECT_TRUE(reports.take().empty());

  struct Row {
    const char *name;
    std::vector<void *> pointers;
  } bad[] = {
      {"duplicate", {&a[1], &a[1], &a[2], &a[3]}},
      {"beyond the end",
       {&a[0], &a[1], &a[2], reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(a) + 16)}},
      {"before the base",
       {reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(a) - 4), &a[1], &a[2], &a[3]}},
      {"not at an element", {&a[0], &a[1], &a[2], reinterpret_cast<char *>(&a[3]) + 1}},
  };
  for (Row &r : bad) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(order_array(4, a, r.pointers.data(), 4), E_INVALID_INPUT);
    EXPECT_EQ(std::vector<int32_t>(a, a + 4), (std::vector<int32_t>{12, 10, 13, 11}));
    EXPECT_EQ(reports.take(), std::vector<std::string>{"ORDER_ARRAY: invalid data"});
  }
  EXPECT_EQ(order_array(-1, a, p, 4), E_INVALID_INPUT);
  EXPECT_EQ(order_array(4, a, p, 0), E_INVALID_INPUT);
  EXPECT_EQ(reports.take(),
            (std::vector<std::string>{"ORDER_ARRAY: invalid input", "ORDER_ARRAY: invalid input"}));
}

TEST(ObjSort, QuickSortAccessAndHars) {
  for (int round = 0; round < 100; ++round) {
    int n = static_cast<int>(g_rng() % 150);
    std::vector<intptr_t> values(n);
    for (auto &x : values) x = static_cast<intptr_t>(g_rng() % 50) - 25;
    std::vector<intptr_t> expected = values;
    std::sort(expected.begin(), expected.end());

    static std::vector<void *> slots;
    slots.assign(n, nullptr);
    for (int i = 0; i < n; ++i) slots[i] = reinterpret_cast<void *>(values[i]);
    sort_pointers_access(n, int_cmp, [](int i) { return &slots[i]; });
    for (int i = 0; i < n; ++i) ASSERT_EQ(reinterpret_cast<intptr_t>(slots[i]), expected[i]);

    for (int segment : {n + 1, 3}) {
      void *har = har_alloc(0, sizeof(void *), segment);
      for (int i = 0; i < n; ++i) {
        void *v = reinterpret_cast<void *>(values[i]);
        har_append(&har, 1, &v);
      }
      sort_har_pointers_ts(har, int_cmp);
      for (int i = 0; i < n; ++i)
        ASSERT_EQ(*static_cast<intptr_t *>(har_access(har, i, nullptr, nullptr)), expected[i]);
      har_free(&har);
    }
  }
}

TEST(ObjSort, PointerIndexAndPointerPointers) {
  kw::test::Reports reports;
  intptr_t raw[5] = {40, 10, 30, 10, 20};
  void *p[5];
  for (int i = 0; i < 5; ++i) p[i] = reinterpret_cast<void *>(raw[i]);
  int32_t *indices = nullptr;
  sort_pointers_with_index(5, int_cmp, p, &indices);
  ASSERT_EQ(xar_count(&indices), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(reinterpret_cast<intptr_t>(p[i]), raw[indices[i]]);
  EXPECT_TRUE(std::is_sorted(p, p + 5));
  sort_pointers_with_index(5, nullptr, p, &indices);
  EXPECT_EQ(reports.take(),
            std::vector<std::string>{"with_index_ptr_compare_func: No compare function"});
  xar_free(&indices);

  void **sorted = nullptr;
  make_sorted_ptr_ptrs(5, int_cmp, p, &sorted);
  ASSERT_EQ(xar_count(&sorted), 5);
  for (int i = 1; i < 5; ++i)
    EXPECT_LE(*static_cast<intptr_t *>(sorted[i - 1]), *static_cast<intptr_t *>(sorted[i]));
  intptr_t words[4] = {7, 3, 9, 1};
  make_sorted_ptr_ptrs(4, int_cmp, words, &sorted);
  EXPECT_EQ(sorted_ptr_ptrs_lookup(4, int_cmp, reinterpret_cast<void *>(9), words, sorted), 2);
  EXPECT_EQ(sorted_ptr_ptrs_lookup(4, int_cmp, reinterpret_cast<void *>(4), words, sorted), -1);
  xar_free(&sorted);
}

TEST(ObjSort, PointsAndDoubles) {
  double pts[4][3] = {{1, 2, 3}, {1, 2.0005, 0}, {0, 5, 5}, {1, 1.9, 9}};
  double tol = 1e-3;
  double *ptrs[4];
  sort_xyz_points(4, &pts[0][0], ptrs, &tol);
  EXPECT_EQ(ptrs[0], pts[2]);
  EXPECT_EQ(ptrs[1], pts[3]);
  EXPECT_EQ(ptrs[2], pts[1]);  // y within the tolerance of pts[0]: z decides
  EXPECT_EQ(ptrs[3], pts[0]);
  sort_xyz_points(4, &pts[0][0], nullptr, &tol);
  EXPECT_EQ(pts[0][0], 0);
  EXPECT_EQ(pts[1][1], 1.9);
}

TEST(ObjSort, ShellSorts) {
  std::vector<int32_t> v(333);
  for (auto &x : v) x = static_cast<int32_t>(g_rng());
  std::vector<int32_t> e = v;
  std::sort(e.begin(), e.end());
  sort_ints(v.data(), 333);
  EXPECT_EQ(v, e);

  std::vector<void *> p(77);
  for (auto &x : p) x = reinterpret_cast<void *>(static_cast<uintptr_t>(g_rng()) << 33);
  std::vector<void *> q = p;
  std::sort(q.begin(), q.end());
  simple_sort_ptrs(p.data(), 77);
  EXPECT_EQ(p, q);
}

TEST(ObjSort, Moves) {
  kw::test::Reports reports;
  struct Row {
    int shift, count, result;
    std::vector<int> out;
  } rows[] = {{2, 5, 1, {2, 3, 4, 0, 1}},
              {0, 5, 1, {0, 1, 2, 3, 4}},
              {5, 5, 0, {0, 1, 2, 3, 4}},
              {-1, 5, 0, {0, 1, 2, 3, 4}}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.shift);
    int a[5] = {0, 1, 2, 3, 4};
    EXPECT_EQ(shift_elem_array(a, sizeof(int), r.shift, r.count), r.result);
    EXPECT_EQ(std::vector<int>(a, a + 5), r.out);
  }

  int32_t *x = static_cast<int32_t *>(xar_alloc(0, 4, 4));
  for (int32_t v : {0, 1, 2, 3}) xar_append(&x, 1, &v);
  EXPECT_EQ(xar_move(&x, 0, 3), 0);
  EXPECT_EQ(std::vector<int32_t>(x, x + 4), (std::vector<int32_t>{1, 2, 3, 0}));
  EXPECT_EQ(xar_move(&x, 3, 1), 0);
  EXPECT_EQ(std::vector<int32_t>(x, x + 4), (std::vector<int32_t>{1, 0, 2, 3}));
  EXPECT_EQ(xar_move(&x, 4, 0), 92);
  EXPECT_EQ(xar_swap(x, 0, 3), 0);
  EXPECT_EQ(x[0], 3);
  EXPECT_EQ(xar_swap(x, 0, 4), -1);
  EXPECT_EQ(reports.take(), std::vector<std::string>{"xar_swap: Invalid request"});
  xar_free(&x);

  int s[3];
  void **p = static_cast<void **>(xar_alloc(0, sizeof(void *), 4));
  for (void *v : {(void *)&s[2], (void *)nullptr, (void *)&s[0], (void *)&s[2], (void *)&s[0]})
    xar_append(&p, 1, &v);
  EXPECT_EQ(uniquify_pointer_array(&p, compare_ptrs), 2);
  EXPECT_EQ(p[0], &s[0]);
  EXPECT_EQ(p[1], &s[2]);
  void *tail[] = {nullptr, &s[1], nullptr};
  xar_append(&p, 3, tail);
  EXPECT_EQ(compress_pointer_array(&p), 3);
  EXPECT_EQ(p[2], &s[1]);
  xar_free(&p);
}

}  // namespace
