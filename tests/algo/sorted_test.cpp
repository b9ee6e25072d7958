#include <gtest/gtest.h>
#include <keelwork/sorted.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <vector>

#include "algo_test_util.h"

namespace {

int cmp_int_key(const void *key, const void *element) { return int_element_cmp(key, element); }
int cmp_int_data(const void *key, const void *element, void *) {
  return int_element_cmp(key, element);
}

std::vector<int32_t> to_vector(const int32_t *xar) {
  return std::vector<int32_t>(xar, xar + xar_count(&xar));
}

int32_t *make_ids(const std::vector<int32_t> &values) {
  int32_t *ids = static_cast<int32_t *>(xar_alloc(0, sizeof(int32_t), 2));
  xar_append(&ids, static_cast<int>(values.size()), values.data());
  return ids;
}

TEST(Sorted, APIExamples) {
  int32_t *ids = nullptr;
  EXPECT_EQ(id_insert(&ids, 5), 0);
  EXPECT_EQ(id_insert(&ids, 1), 0);
  EXPECT_EQ(id_insert(&ids, 5), 1);  // already there
  EXPECT_EQ(to_vector(ids), (std::vector<int32_t>{1, 5}));
  EXPECT_TRUE(id_search(ids, 5));
  int index = -1;
  int32_t key = 3;
  EXPECT_EQ(binary_srch_array_low(xar_count(&ids), cmp_int_key, 4, &key, ids, &index), 0);
  EXPECT_EQ(index, 1);  // where 3 would go
  EXPECT_EQ(id_remove(&ids, 1), 1);
  EXPECT_EQ(id_remove(&ids, 1), 0);
  xar_free(&ids);
}

TEST(Sorted, InsertionPoints) {
  const int32_t a[] = {1, 2, 4, 5};
  struct Row {
    int32_t key;
    int count;
    int found, index;
  } rows[] = {{3, 4, 0, 2}, {6, 4, 0, 4}, {0, 4, 0, 0}, {4, 4, 1, 2},
              {1, 4, 1, 0}, {5, 4, 1, 3}, {3, 0, 0, 0}, {3, -2, 0, 0}};
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << "key " << r.key << " count " << r.count);
    int index = -7;
    EXPECT_EQ(binary_srch_array_low_with_data(r.count, cmp_int_data, 4, &r.key, a, &index, nullptr),
              r.found);
    EXPECT_EQ(index, r.index);
    EXPECT_EQ(binary_srch_array(r.count, cmp_int_key, 4, &r.key, a), r.found ? r.index : -1);
    EXPECT_EQ(binary_search_int(r.count, a, r.key), r.found ? r.index : -1);
  }
}

// Random arrays with many duplicates: the index is always inside the run of
// equal elements (or the insertion point), never outside the array.
TEST(Sorted, SearchAgainstLowerBoundWithDuplicates) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 2000; ++round) {
    int n = static_cast<int>(rng() % 40);
    std::vector<int32_t> v(n);
    for (auto &x : v) x = static_cast<int32_t>(rng() % 12);
    std::sort(v.begin(), v.end());
    int32_t key = static_cast<int32_t>(rng() % 14) - 1;
    int index = -1;
    int found = binary_srch_array_low(n, cmp_int_key, 4, &key, v.data(), &index);
    auto lo = std::lower_bound(v.begin(), v.end(), key) - v.begin();
    auto hi = std::upper_bound(v.begin(), v.end(), key) - v.begin();
    ASSERT_EQ(found, lo != hi);
    if (found) {
      ASSERT_GE(index, lo);
      ASSERT_LT(index, hi);
    } else {
      ASSERT_EQ(index, lo);
    }
  }
}

// A comparison that answers at random never leads a search outside the
// array (ASan would see it) and always yields an index in 0 .. count.
TEST(Sorted, InconsistentComparisonStaysInside) {
  static std::mt19937 rng(99);
  auto coin = [](const void *, const void *, void *) { return static_cast<int>(rng() % 3) - 1; };
  for (int n = 0; n < 50; ++n) {
    std::vector<int32_t> v(n);
    int key = 0, index = -1;
    binary_srch_array_low_with_data(n, coin, 4, &key, v.data(), &index, nullptr);
    ASSERT_GE(index, 0);
    ASSERT_LE(index, n);
  }
}

TEST(Sorted, IntegerSetModel) {
  std::mt19937 rng(42);
  std::set<int32_t> model;
  int32_t *ids = nullptr;
  for (int step = 0; step < 5000; ++step) {
    int32_t v = static_cast<int32_t>(rng() % 200) - 100;
    switch (rng() % 3) {
      case 0: {
        int index = -1;
        bool present = model.count(v);
        ASSERT_EQ(id_insert_low(&ids, v, 1, &index), present);
        ASSERT_EQ(index, std::distance(model.begin(), model.lower_bound(v)));
        model.insert(v);
        break;
      }
      case 1:
        ASSERT_EQ(id_remove(&ids, v), static_cast<int>(model.erase(v)));
        break;
      default:
        ASSERT_EQ(id_search(ids, v), static_cast<int>(model.count(v)));
    }
  }
  EXPECT_EQ(to_vector(ids), std::vector<int32_t>(model.begin(), model.end()));
  xar_free(&ids);
}

TEST(Sorted, PointerListModel) {
  std::mt19937 rng(7);
  std::set<uintptr_t> model;
  void **list = static_cast<void **>(xar_alloc(0, sizeof(void *), 2));
  for (int step = 0; step < 3000; ++step) {
    uintptr_t v = (rng() % 64) * 8 + (step % 2 ? uintptr_t{1} << 63 : 0);  // high bit set too
    void *p = reinterpret_cast<void *>(v);
    switch (rng() % 4) {
      case 0:
        ASSERT_EQ(chk_add_ptr_list(&list, p), static_cast<int>(model.count(v)));
        model.insert(v);
        break;
      case 1:
        ASSERT_EQ(chk_rmv_ptr_list(&list, p), static_cast<int>(model.erase(v)));
        break;
      case 2:
        model.insert(v);
        ASSERT_EQ(add_to_ptr_list(&list, p), std::distance(model.begin(), model.find(v)));
        break;
      default:
        ASSERT_EQ(where_in_ptr_list(&list, p),
                  model.count(v) ? std::distance(model.begin(), model.find(v)) : -1);
    }
  }
  ASSERT_EQ(xar_count(&list), static_cast<int>(model.size()));
  EXPECT_TRUE(std::is_sorted(list, list + xar_count(&list), [](void *a, void *b) {
    return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
  }));
  void **none = nullptr;
  EXPECT_EQ(add_to_ptr_list(&none, list), -1);
  xar_free(&list);
}

TEST(Sorted, UniqueXarray) {
  int32_t *a = static_cast<int32_t *>(xar_alloc(0, 4, 2));
  int32_t v[] = {5, 1, 5, 3};
  EXPECT_EQ(unique_xarray_add(&a, &v[0], cmp_int_key), 0);
  EXPECT_EQ(unique_xarray_add(&a, &v[1], cmp_int_key), 0);
  EXPECT_EQ(unique_xarray_add(&a, &v[2], cmp_int_key), 1);  // existing index, nothing added
  EXPECT_EQ(xar_count(&a), 2);
  EXPECT_EQ(unique_xarray_index(&a, &v[3], cmp_int_key), -1);
  EXPECT_EQ(unique_xarray_check_add(&a, &v[3], cmp_int_key), 0);
  EXPECT_EQ(unique_xarray_check_add(&a, &v[3], cmp_int_key), 1);
  EXPECT_EQ(unique_xarray_check_remove(&a, &v[1], cmp_int_key), 1);
  EXPECT_EQ(to_vector(a), (std::vector<int32_t>{3, 5}));
  int32_t *none = nullptr;
  EXPECT_EQ(unique_xarray_add(&none, &v[0], cmp_int_key), -1);
  EXPECT_EQ(unique_xarray_index(&none, &v[0], cmp_int_key), -1);
  EXPECT_EQ(unique_xarray_contains(&none, &v[0], cmp_int_key), 0);
  xar_free(&a);
}

TEST(Sorted, Doubles) {
  double a = 1.0, b = 1.0 + 1e-9, c = 1.0 + 2e-9;
  EXPECT_EQ(cmp_double_tol(&a, &b), 0);
  EXPECT_EQ(cmp_double_tol(&a, &c), -1);

  double *xs = nullptr;
  EXPECT_EQ(insert_double_in_sorted_array(1.0, &xs), 1);
  EXPECT_EQ(insert_double_in_sorted_array(2.0 + 5e-10, &xs), 1);
  EXPECT_EQ(insert_double_in_sorted_array(2.0, &xs), 0);  // within 1e-9 of 2.0 + 5e-10
  EXPECT_EQ(insert_double_in_sorted_array(0.5, &xs), 1);
  EXPECT_EQ(insert_double_in_sorted_array(3.0, &xs), 1);
  ASSERT_EQ(xar_count(&xs), 4);
  EXPECT_EQ(xs[0], 0.5);

  int index = -1;
  EXPECT_EQ(binary_srch_doubles(4, xs, 1.0 + 1e-10, 0.0, &index), 1);  // tolerance raised
  EXPECT_EQ(index, 1);
  EXPECT_EQ(binary_srch_doubles(4, xs, 1.5, 0.1, &index), 0);
  EXPECT_EQ(index, 2);

  struct Row {
    double value;
    int interval, gen;
  } rows[] = {{0.1, 0, -1}, {0.5, 0, 0}, {1.5, 1, 1}, {3.0, 2, 3}, {9.0, 2, 3}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.value);
    EXPECT_EQ(search_double(4, xs, r.value), r.interval);
    EXPECT_EQ(search_double_gen(4, xs, r.value), r.gen);
  }
  EXPECT_EQ(search_double_gen(0, xs, 1.0), -1);

  const double more[] = {0.25, 0.5000001, 1.2, 1.3, 5.0};
  EXPECT_EQ(merge_params_to_first(&xs, more, 5, 1e-3), 8);
  EXPECT_EQ(std::vector<double>(xs, xs + 8),
            (std::vector<double>{0.25, 0.5, 1.0, 1.2, 1.3, 2.0 + 5e-10, 3.0, 5.0}));
  xar_free(&xs);
}

TEST(Sorted, FindWithStart) {
  kw::test::Reports reports;
  int32_t *a = make_ids({1, 3, 5, 7});
  int32_t key = 5;
  int index = -1;
  EXPECT_EQ(xar_sorted_find_w_start(&a, cmp_int_data, &key, nullptr, 1, &index), 1);
  EXPECT_EQ(index, 1);  // relative to the start
  EXPECT_EQ(xar_sorted_find_w_start(&a, cmp_int_data, &key, nullptr, 4, &index), 0);
  EXPECT_EQ(reports.take(),
            std::vector<std::string>{"xar_sorted_find_w_start: invalid start index!"});
  int32_t *none = nullptr;
  EXPECT_EQ(xar_sorted_find_w_start(&none, cmp_int_data, &key, nullptr, 0, &index), 0);
  EXPECT_TRUE(reports.take().empty());  // start 0 is always accepted
  xar_free(&a);
}

TEST(Sorted, IntegerSetOperationsModel) {
  std::mt19937 rng(5);
  auto random_set = [&rng]() {
    std::set<int32_t> s;
    int n = static_cast<int>(rng() % 30);
    while (static_cast<int>(s.size()) < n) s.insert(static_cast<int32_t>(rng() % 60) - 20);
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    std::set<int32_t> x = random_set(), y = random_set();
    std::vector<int32_t> vx(x.begin(), x.end()), vy(y.begin(), y.end()), expected;
    int32_t *a = make_ids(vx);
    int32_t *b = make_ids(vy);
    int32_t *out = nullptr;

    std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(expected));
    ASSERT_EQ(intersect_int_sets(a, b, &out), static_cast<int>(expected.size()));
    ASSERT_EQ(to_vector(out), expected);
    ASSERT_EQ(int_sets_intersect(a, b), !expected.empty());

    expected.clear();
    std::set_union(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(expected));
    ASSERT_EQ(merge_sorted_int_sets(a, b, &out), static_cast<int>(expected.size()));
    ASSERT_EQ(to_vector(out), expected);

    expected.clear();
    std::set_difference(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(expected));
    subtract_int_sets(&a, b);
    ASSERT_EQ(to_vector(a), expected);
    xar_free(&a);
    xar_free(&b);
    xar_free(&out);
  }
}

TEST(Sorted, IntegerListHelpers) {
  struct Row {
    const char *name;
    std::vector<int32_t> in, out;
    int result;
  } clean[] = {{"described", {3, -1, 3, 2}, {2, 3}, 2},
               {"below -1 kept", {-5, -1, 2, -1}, {-5, 2}, 2},
               {"only -1", {-1, -1}, {}, 0},
               {"empty", {}, {}, 0}};
  for (const Row &r : clean) {
    SCOPED_TRACE(r.name);
    int32_t *ids = make_ids(r.in);
    EXPECT_EQ(sort_and_clean_ids(&ids), r.result);
    EXPECT_EQ(to_vector(ids), r.out);
    xar_free(&ids);
  }
  Row fast[] = {{"non-increasing, not sorted", {9, 7, 7, 3}, {9, 7, 3}, 1},
                {"unsorted", {3, 9, 3, 1, 9}, {1, 3, 9}, 2},
                {"no duplicates", {4, 1, 8}, {1, 4, 8}, 0},
                {"single", {4}, {4}, 0}};
  for (const Row &r : fast) {
    SCOPED_TRACE(r.name);
    int32_t *ids = make_ids(r.in);
    EXPECT_EQ(uniquify_int_array_fast(&ids), r.result);
    EXPECT_EQ(to_vector(ids), r.out);
    xar_free(&ids);
  }
  int32_t *u = make_ids({4, 2, 4, 1});
  EXPECT_EQ(uniquify_int_array(&u), 3);
  EXPECT_EQ(to_vector(u), (std::vector<int32_t>{1, 2, 4}));
  xar_free(&u);

  int32_t *a = make_ids({1, 2}), *b = make_ids({1, 2, 3}), *c = make_ids({1, INT32_MIN});
  int32_t *d = make_ids({1, INT32_MAX});
  EXPECT_EQ(cmpr_int_lists(a, b), 1);
  EXPECT_EQ(cmpr_int_lists(c, d), INT32_MAX);  // saturated, sign kept
  EXPECT_EQ(cmpr_int_xarr(a, b), -1);          // a shorter prefix sorts first
  EXPECT_EQ(list_in_list(b, a), 0);
  subtract_unsorted_int_sets(&b, c);
  EXPECT_EQ(to_vector(b), (std::vector<int32_t>{2, 3}));
  for (int32_t **p : {&a, &b, &c, &d}) xar_free(p);
}

TEST(Sorted, MergeResults) {
  kw::test::Reports reports;
  int32_t *a = make_ids({1, 3}), *b = make_ids({3, 4});
  const void **out = nullptr;
  int32_t *results = nullptr;
  ASSERT_EQ(merge_sorted_xarrays(a, b, cmp_int_data, nullptr, &out, &results), 3);
  EXPECT_EQ(to_vector(results), (std::vector<int32_t>{-1, 0, 1}));
  EXPECT_EQ(out[0], &a[0]);
  EXPECT_EQ(out[1], &a[1]);  // equal elements: the first input's
  EXPECT_EQ(out[2], &b[1]);

  int32_t *merged = nullptr;
  EXPECT_EQ(make_merged_xarray(a, b, cmp_int_data, nullptr, &merged, nullptr), 3);
  EXPECT_EQ(to_vector(merged), (std::vector<int32_t>{1, 3, 4}));

  // Merging into the target itself, and into an empty target.
  EXPECT_EQ(merge_to_target_xar(&a, b, cmp_int_key), 3);
  EXPECT_EQ(to_vector(a), (std::vector<int32_t>{1, 3, 4}));
  int32_t *empty = nullptr;
  EXPECT_EQ(merge_to_target_xar(&empty, b, cmp_int_key), 2);
  EXPECT_EQ(to_vector(empty), (std::vector<int32_t>{3, 4}));

  double *wide = static_cast<double *>(xar_alloc(1, sizeof(double), 2));
  EXPECT_EQ(merge_sorted_xarrays(a, wide, cmp_int_data, nullptr, &out, nullptr), 0);
  EXPECT_EQ(reports.take(), std::vector<std::string>{"merge_sorted_xarrays: unequal size"});

  const void *raw[4];
  int raw_results[4], n = -1;
  const int32_t x[] = {2}, y[] = {1, 5, 6};
  EXPECT_EQ(merge_sorted_arrays(4, x, 1, y, 3, cmp_int_data, nullptr, raw, raw_results, &n), 1);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(std::vector<int>(raw_results, raw_results + 4), (std::vector<int>{1, -1, 1, 1}));
  for (int32_t **p : {&a, &b, &merged, &empty, &results}) xar_free(p);
  xar_free(&out);
  xar_free(&wide);
}

TEST(Sorted, MergeHars) {
  kw::test::Reports reports;
  int32_t *a = static_cast<int32_t *>(har_alloc(0, 4, 3));
  int32_t *b = static_cast<int32_t *>(har_alloc(0, 4, 2));
  for (int32_t v : {1, 2, 5, 8, 9}) har_append(&a, 1, &v);
  for (int32_t v : {2, 3, 10}) har_append(&b, 1, &v);
  int32_t *merged = nullptr, *results = nullptr;
  ASSERT_EQ(make_merged_harray(a, b, cmp_int_data, nullptr, &merged, &results), 7);
  std::vector<int32_t> got, res;
  for (int i = 0; i < har_total(merged); ++i) {
    got.push_back(*static_cast<int32_t *>(har_access(merged, i, nullptr, nullptr)));
    res.push_back(*static_cast<int32_t *>(har_access(results, i, nullptr, nullptr)));
  }
  EXPECT_EQ(got, (std::vector<int32_t>{1, 2, 3, 5, 8, 9, 10}));
  EXPECT_EQ(res, (std::vector<int32_t>{-1, 0, 1, -1, -1, -1, 1}));
  double *wide = static_cast<double *>(har_alloc(1, 8, 2));
  const void **out = nullptr;
  EXPECT_EQ(merge_sorted_harrays(a, wide, cmp_int_data, nullptr, &out, nullptr), 0);
  EXPECT_EQ(reports.take(), std::vector<std::string>{"merge_sorted_harrays: unequal size"});
  for (void *p : std::initializer_list<void *>{&a, &b, &merged, &results, &wide}) har_free(p);
}

TEST(Sorted, SubtractAndCompareXars) {
  kw::test::Reports reports;
  int32_t *a = make_ids({1, 2, 2, 4, 6, 9}), *b = make_ids({2, 4, 9, 12});
  EXPECT_EQ(subtract_xarrays(&a, b, cmp_int_key), 3);
  EXPECT_EQ(to_vector(a), (std::vector<int32_t>{1, 2, 6}));
  int32_t *none = nullptr;
  EXPECT_EQ(subtract_xarrays(&none, b, cmp_int_key), 0);
  EXPECT_EQ(reports.take(), std::vector<std::string>{"subtract_arrays: Invalid Input"});

  int32_t *c = make_ids({1, 2, 6}), *d = make_ids({1, 2, 7});
  EXPECT_EQ(xar_cmp(a, c), 0);
  EXPECT_LT(xar_cmp(c, d), 0);
  EXPECT_LT(xar_cmp_with_func(c, d, cmp_int_data, nullptr), 0);
  EXPECT_EQ(xar_cmp(nullptr, nullptr), 0);
  EXPECT_EQ(xar_cmp(nullptr, c), -1);
  EXPECT_GT(xar_cmp(b, c), 0);  // longer
  for (int32_t **p : {&a, &b, &c, &d}) xar_free(p);
}

TEST(Sorted, HarSearchAcrossSegments) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    int segment = 1 + static_cast<int>(rng() % 5);
    int32_t *har = static_cast<int32_t *>(har_alloc(0, 4, segment));
    std::vector<int32_t> model;
    int n = static_cast<int>(rng() % 25);
    for (int i = 0; i < n; ++i) model.push_back(static_cast<int32_t>(rng() % 30) * 2);
    std::sort(model.begin(), model.end());
    har_append(&har, n, model.data());
    // Some partly filled segments too: remove a few elements.
    if (n > 4 && rng() % 2) {
      int at = static_cast<int>(rng() % (n - 2));
      har_remove(&har, at, 2);
      model.erase(model.begin() + at, model.begin() + at + 2);
    }
    for (int32_t key = -1; key <= 61; ++key) {
      int total = -1, seg = -1, in_seg = -1;
      int found = binary_search_har_low(cmp_int_key, &key, har, 4, &total, &seg, &in_seg);
      auto lo = std::lower_bound(model.begin(), model.end(), key) - model.begin();
      bool present = std::binary_search(model.begin(), model.end(), key);
      ASSERT_EQ(found, present) << key;
      if (present) {
        ASSERT_EQ(model[total], key);
        ASSERT_EQ(har_access(har, total, nullptr, nullptr),
                  static_cast<char *>(har_segment(har, seg, nullptr)) + 4 * in_seg);
      } else {
        ASSERT_EQ(total, lo) << key;
      }
    }
    har_free(&har);
  }
}

TEST(Sorted, CheckNullPointers) {
  kw::test::Reports reports;
  int x = 0;
  EXPECT_EQ(check_null_pointers(nullptr, nullptr), 0);
  EXPECT_EQ(check_null_pointers(nullptr, &x), -1);
  EXPECT_EQ(check_null_pointers(&x, nullptr), 1);
  EXPECT_EQ(check_null_pointers(&x, &x), 0);
  EXPECT_EQ(reports.take(), std::vector<std::string>{"check_pointers: neither pointers are null"});
}

}  // namespace
