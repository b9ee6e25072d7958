// Extensible and segmented arrays, checked against std::vector models.
#include <gtest/gtest.h>
#include <keelwork/xar.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<int> contents(int *a) {
  return a ? std::vector<int>(a, a + xar_count(&a)) : std::vector<int>{};
}

TEST(Xar, APIExamples) {
  int *ids = static_cast<int *>(xar_alloc(0, sizeof(int), 4));
  int three[] = {1, 2, 3};
  ASSERT_EQ(xar_append(&ids, 3, three), 0);
  int *tail = static_cast<int *>(xar_extend(&ids, 2));  // zero-filled
  EXPECT_EQ(tail, ids + 3);
  EXPECT_EQ(contents(ids), (std::vector<int>{1, 2, 3, 0, 0}));
  EXPECT_EQ(*static_cast<int *>(xar_last(ids)), 0);
  int elsize, increment, count, max;
  ASSERT_EQ(xar_params(ids, &elsize, &increment, &count, &max), 0);
  EXPECT_EQ(elsize, 4);
  EXPECT_EQ(increment, 4);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(max, xar_max_count_get(4));
  xar_free(&ids);
  EXPECT_EQ(ids, nullptr);
  EXPECT_EQ(xar_count(&ids), 0);
}

TEST(Xar, RandomOperationsMatchAVector) {
  std::mt19937 rng(12345);
  int *a = static_cast<int *>(xar_alloc(0, sizeof(int), 3));
  std::vector<int> model;
  for (int step = 0; step < 20000; ++step) {
    int op = static_cast<int>(rng() % 6);
    int n = static_cast<int>(rng() % 5);
    int at = model.empty() ? 0 : static_cast<int>(rng() % (model.size() + 1));
    std::vector<int> src(static_cast<size_t>(n));
    for (int &v : src) v = static_cast<int>(rng());
    switch (op) {
      case 0:
        ASSERT_EQ(xar_append(&a, n, src.data()), 0);
        model.insert(model.end(), src.begin(), src.end());
        break;
      case 1:
        ASSERT_EQ(xar_insert(&a, at, n, src.data()), 0);
        model.insert(model.begin() + at, src.begin(), src.end());
        break;
      case 2: {
        int removed = xar_remove(&a, at, n);
        int expect = std::min<int>(n, static_cast<int>(model.size()) - at);
        if (expect < 0) expect = 0;
        ASSERT_EQ(removed, expect);
        model.erase(model.begin() + at, model.begin() + at + expect);
        break;
      }
      case 3: {
        int size = static_cast<int>(rng() % 40);
        ASSERT_EQ(xar_resize(&a, size), 0);
        model.resize(static_cast<size_t>(size), 0);
        break;
      }
      case 4:
        xar_shrink(&a, n);
        model.resize(model.size() > static_cast<size_t>(n) ? model.size() - n : 0);
        break;
      case 5:
        if (!model.empty()) {
          int i = static_cast<int>(rng() % model.size());
          ASSERT_EQ(xar_delete(&a, i), 0);
          model.erase(model.begin() + i);
        }
        break;
    }
    ASSERT_EQ(contents(a), model) << "step " << step;
    ASSERT_EQ(xar_count_if_valid(&a), static_cast<int>(model.size()));
  }
  xar_free(&a);
}

TEST(Xar, RefusesGrowthPastTheLimitAndBadArguments) {
  char *bytes = static_cast<char *>(xar_alloc(2, 1, 1));
  EXPECT_EQ(xar_append(&bytes, xar_max_count_get(1), nullptr), -1);
  EXPECT_EQ(xar_count(&bytes), 2);  // unchanged
  EXPECT_EQ(xar_insert(&bytes, 3, 1, "x"), -1);
  EXPECT_EQ(xar_insert(&bytes, -1, 1, "x"), -1);
  EXPECT_EQ(xar_delete(&bytes, 2), -1);
  EXPECT_EQ(xar_alloc(-1, 4, 1), nullptr);
  EXPECT_EQ(xar_alloc(xar_max_count_get(8) + 1, 8, 1), nullptr);
  void *null_array = nullptr;
  EXPECT_EQ(xar_append(&null_array, 1, "x"), -1);
  EXPECT_EQ(xar_extend(&null_array, 1), nullptr);
  xar_free(&bytes);
}

TEST(Xar, CopiesAndConcatenation) {
  int *a = nullptr;
  int v[] = {4, 5, 6};
  ASSERT_EQ(xar_alloc_or_append(&a, 3, sizeof(int), 2, v), 0);
  int *copy = static_cast<int *>(xar_replicate(a));
  EXPECT_EQ(contents(copy), contents(a));
  ASSERT_EQ(xar_concat(&copy, a), 0);
  EXPECT_EQ(contents(copy), (std::vector<int>{4, 5, 6, 4, 5, 6}));
  ASSERT_EQ(xar_concat(&copy, copy), 0);  // appending an array to itself
  EXPECT_EQ(xar_count(&copy), 12);
  int *target = nullptr;
  ASSERT_EQ(xar_cpy(&target, a), 0);
  EXPECT_EQ(contents(target), contents(a));
  double *doubles = static_cast<double *>(xar_alloc(1, sizeof(double), 1));
  EXPECT_EQ(xar_concat(&doubles, a), -1);  // element sizes differ
  int *fresh = nullptr;
  ASSERT_EQ(xar_alloc_or_resize(&fresh, 7, sizeof(int), 1), 0);
  EXPECT_EQ(contents(fresh), std::vector<int>(7, 0));
  for (int **p : {&a, &copy, &target, &fresh}) xar_free(p);
  xar_free(&doubles);
}

TEST(Xar, DamagedHeadersAreRecognised) {
  int *a = static_cast<int *>(xar_alloc(4, sizeof(int), 1));
  EXPECT_EQ(debug_xar_invalid(a), 0);
  EXPECT_EQ(debug_xar_invalid(nullptr), 0);
  int plain[16] = {};
  EXPECT_NE(debug_xar_invalid(plain + 8), 0);
  int *fake = plain + 8;
  EXPECT_EQ(xar_count_if_valid(&fake), -1);
  xar_free(&a);
}

TEST(Xar, PointerXarsReleaseTheirElements) {
  char **strings = static_cast<char **>(xar_alloc(0, sizeof(char *), 2));
  for (int i = 0; i < 5; ++i) {
    char *s = static_cast<char *>(getmem(8));
    xar_append(&strings, 1, &s);
  }
  reset_pointer_xar(&strings);
  EXPECT_EQ(xar_count(&strings), 0);
  char *s = static_cast<char *>(getmem(8));
  xar_append(&strings, 1, &s);
  release_pointer_xar(&strings);
  EXPECT_EQ(strings, nullptr);
}

std::vector<int> har_contents(void *h) {
  std::vector<int> out;
  for (int i = 0; i < har_total(h); ++i)
    out.push_back(*static_cast<int *>(har_access(h, i, nullptr, nullptr)));
  return out;
}

TEST(Har, ElementsNeverMoveWhileTheArrayGrows) {
  void *h = har_alloc(0, sizeof(int), 8);
  int first = 7;
  har_append(&h, 1, &first);
  int *address = static_cast<int *>(har_access(h, 0, nullptr, nullptr));
  void *base = h;
  for (int i = 1; i < 1000; ++i) har_append(&h, 1, &i);
  EXPECT_EQ(h, base);
  EXPECT_EQ(har_access(h, 0, nullptr, nullptr), address);
  EXPECT_EQ(har_segment_count(h), 125);
  int segment, offset;
  har_access(h, 17, &segment, &offset);
  EXPECT_EQ(segment, 2);
  EXPECT_EQ(offset, 1);
  EXPECT_EQ(har_access(h, 1000, nullptr, nullptr), nullptr);
  har_free(&h);
  EXPECT_EQ(h, nullptr);
}

TEST(Har, RandomOperationsMatchAVector) {
  std::mt19937 rng(99);
  void *h = har_alloc(3, sizeof(int), 5);
  std::vector<int> model(3, 0);
  for (int step = 0; step < 5000; ++step) {
    int op = static_cast<int>(rng() % 4);
    int n = static_cast<int>(rng() % 12);
    int at = static_cast<int>(rng() % (model.size() + 1));
    std::vector<int> src(static_cast<size_t>(n));
    for (int &v : src) v = static_cast<int>(rng() % 1000);
    switch (op) {
      case 0:
        ASSERT_EQ(har_append(&h, n, src.data()), 0);
        model.insert(model.end(), src.begin(), src.end());
        break;
      case 1:
        ASSERT_EQ(har_insert(&h, at, n, src.data()), 0);
        model.insert(model.begin() + at, src.begin(), src.end());
        break;
      case 2: {
        int expect = std::max(0, std::min<int>(n, static_cast<int>(model.size()) - at));
        ASSERT_EQ(har_remove(&h, at, n), expect);
        model.erase(model.begin() + at, model.begin() + at + expect);
        break;
      }
      case 3: {
        int size = static_cast<int>(rng() % 60);
        ASSERT_EQ(har_resize(&h, size), 0);
        model.resize(static_cast<size_t>(size), 0);
        break;
      }
    }
    ASSERT_EQ(har_contents(h), model) << "step " << step;
    int sum = 0;
    for (int s = 0; s < har_segment_count(h); ++s) {
      int c = 0;
      ASSERT_NE(har_segment(h, s, &c), nullptr);
      ASSERT_LE(c, har_segment_size(h));
      sum += c;
    }
    ASSERT_EQ(sum, har_total(h));
  }
  void *copy = har_copy(h);
  EXPECT_EQ(har_contents(copy), model);
  ASSERT_EQ(har_append_har(&copy, copy), 0);
  EXPECT_EQ(har_total(copy), 2 * static_cast<int>(model.size()));
  har_free(&copy);
  har_free(&h);
}

TEST(SortPointers, SortsAndSurvivesInconsistentComparators) {
  std::mt19937 rng(7);
  for (int n : {0, 1, 2, 10, 25, 100, 5000}) {
    SCOPED_TRACE(n);
    std::vector<intptr_t> v(static_cast<size_t>(n));
    for (auto &x : v) x = static_cast<intptr_t>(rng() % 1000);
    std::vector<intptr_t> expect = v;
    std::sort(expect.begin(), expect.end());
    sort_pointers(
        n,
        [](const void *a, const void *b) {
          auto x = reinterpret_cast<intptr_t>(a), y = reinterpret_cast<intptr_t>(b);
          return x < y ? -1 : x > y;
        },
        v.data());
    EXPECT_EQ(v, expect);
    // A comparator that is not an order must not make the sort leave the array.
    sort_pointers(
        n, [](const void *, const void *) { return static_cast<int>(std::rand() % 3) - 1; },
        v.data());
    std::sort(v.begin(), v.end());
    EXPECT_EQ(v, expect);  // still a permutation
  }
  int data = 0;
  std::vector<intptr_t> w = {3, 1, 2};
  sort_pointers_with_data(
      3,
      [](const void *a, const void *b, void *d) {
        ++*static_cast<int *>(d);
        return static_cast<int>(reinterpret_cast<intptr_t>(b) - reinterpret_cast<intptr_t>(a));
      },
      w.data(), &data);
  EXPECT_EQ(w, (std::vector<intptr_t>{3, 2, 1}));
  EXPECT_GT(data, 0);
  char x[300], y[300];
  std::memset(x, 'x', sizeof x);
  std::memset(y, 'y', sizeof y);
  swap_objects(x, y, sizeof x);
  EXPECT_EQ(x[299], 'y');
  EXPECT_EQ(y[0], 'x');
}

}  // namespace
