// The containers and algorithms beside their std:: peers: red-black tree
// against std::set, priority queue against std::priority_queue, binary
// search against std::lower_bound, object sort against std::sort,
// kw_HashTable against std::unordered_map, and the partial-order sort on
// 2,000 items. Comparisons go through function pointers on both sides
// unless a benchmark's name says "inline".
#include <benchmark/benchmark.h>
#include <keelwork/memory.h>
#include <keelwork/objsort.h>
#include <keelwork/partial_order.h>
#include <keelwork/pqueue.h>
#include <keelwork/rbtree.h>
#include <keelwork/sorted.h>
#include <keelwork/hashtable.hpp>

#include <algorithm>
#include <numeric>
#include <queue>
#include <random>
#include <set>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kN = 1 << 20;

const std::vector<intptr_t> &shuffled_keys() {
  static const std::vector<intptr_t> keys = [] {
    std::vector<intptr_t> k(kN);
    std::iota(k.begin(), k.end(), 0);
    std::shuffle(k.begin(), k.end(), std::mt19937(1));
    return k;
  }();
  return keys;
}

void *word(intptr_t v) { return reinterpret_cast<void *>(v); }

bool less_words(intptr_t a, intptr_t b) { return a < b; }
using FnLess = bool (*)(intptr_t, intptr_t);

// ---- red-black tree against std::set -----------------------------------------

// One iteration: insert all keys, look each up, delete each.
enum Phase { kInsert, kLookup, kDelete };

void BM_rbtree(benchmark::State &state) {
  const auto &keys = shuffled_keys();
  Phase phase = static_cast<Phase>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    rbtree *tree = new_rbtree(0);
    if (phase != kInsert)
      for (intptr_t k : keys) insert_data_into_rbtree(tree, word(k), int_cmp);
    state.ResumeTiming();
    switch (phase) {
      case kInsert:
        for (intptr_t k : keys)
          benchmark::DoNotOptimize(insert_data_into_rbtree(tree, word(k), int_cmp));
        break;
      case kLookup:
        for (intptr_t k : keys) benchmark::DoNotOptimize(btree_lookup(tree, word(k), int_cmp));
        break;
      case kDelete:
        for (intptr_t k : keys) rbtree_delete_node_with_data(tree, word(k), int_cmp);
        break;
    }
    state.PauseTiming();
    release_rbtree(&tree);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

template <class Set>
void run_set(benchmark::State &state, Set make()) {
  const auto &keys = shuffled_keys();
  Phase phase = static_cast<Phase>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Set set = make();
    if (phase != kInsert) set.insert(keys.begin(), keys.end());
    state.ResumeTiming();
    switch (phase) {
      case kInsert:
        for (intptr_t k : keys) benchmark::DoNotOptimize(set.insert(k));
        break;
      case kLookup:
        for (intptr_t k : keys) benchmark::DoNotOptimize(set.find(k));
        break;
      case kDelete:
        for (intptr_t k : keys) set.erase(k);
        break;
    }
    state.PauseTiming();
    { Set gone = std::move(set); }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

// The comparison is laundered through DoNotOptimize so that the compiler
// cannot see which function the pointer holds and inline it.
// (A volatile copy rather than DoNotOptimize: g++ 12 miscompiles that on
// function pointers, calling through a truncated address.)
template <class F>
F opaque(F f) {
  F volatile copy = f;
  return copy;
}

void BM_std_set_fnptr(benchmark::State &state) {
  run_set<std::set<intptr_t, FnLess>>(
      state, [] { return std::set<intptr_t, FnLess>(opaque(less_words)); });
}

void BM_std_set_inline(benchmark::State &state) {
  run_set<std::set<intptr_t>>(state, [] { return std::set<intptr_t>(); });
}

// ---- priority queue against std::priority_queue -----------------------------

int compare_words(const void *a, const void *b, void *) {
  auto x = reinterpret_cast<intptr_t>(a), y = reinterpret_cast<intptr_t>(b);
  return (x > y) - (x < y);
}
bool greater_words(intptr_t a, intptr_t b) { return a > b; }

void BM_pqueue(benchmark::State &state) {
  const auto &keys = shuffled_keys();
  for (auto _ : state) {
    pqueue *q = pqueue_alloc(compare_words, nullptr, 16, KW_PQUEUE_SMALLEST_FIRST);
    for (intptr_t k : keys) pqueue_push(q, k);
    while (!pqueue_is_empty(q)) benchmark::DoNotOptimize(pqueue_pop(q));
    pqueue_free(&q);
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

void BM_std_priority_queue(benchmark::State &state) {
  const auto &keys = shuffled_keys();
  for (auto _ : state) {
    std::priority_queue<intptr_t, std::vector<intptr_t>, FnLess> q(opaque(greater_words));
    for (intptr_t k : keys) q.push(k);
    while (!q.empty()) {
      benchmark::DoNotOptimize(q.top());
      q.pop();
    }
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

// The same peer with the queue's own three-way callback behind its
// function-pointer comparison, so both sides pay for the same comparisons.
struct ThreeWayGreater {
  kw_compare_data_fn compare;
  bool operator()(intptr_t a, intptr_t b) const { return compare(word(a), word(b), nullptr) > 0; }
};

void BM_std_priority_queue_threeway(benchmark::State &state) {
  const auto &keys = shuffled_keys();
  for (auto _ : state) {
    std::priority_queue<intptr_t, std::vector<intptr_t>, ThreeWayGreater> q(
        ThreeWayGreater{opaque(compare_words)});
    for (intptr_t k : keys) q.push(k);
    while (!q.empty()) {
      benchmark::DoNotOptimize(q.top());
      q.pop();
    }
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

// ---- binary search against std::lower_bound ----------------------------------

int compare_int_data(const void *key, const void *element, void *) {
  int32_t x = *static_cast<const int32_t *>(key), y = *static_cast<const int32_t *>(element);
  return (x > y) - (x < y);
}
bool less_int32(int32_t a, int32_t b) { return a < b; }

const std::vector<int32_t> &sorted_ints() {
  static const std::vector<int32_t> v = [] {
    std::vector<int32_t> s(kN);
    for (int i = 0; i < kN; ++i) s[i] = 2 * i;
    return s;
  }();
  return v;
}

void BM_binary_srch_array_low_with_data(benchmark::State &state) {
  const auto &v = sorted_ints();
  const auto &keys = shuffled_keys();
  for (auto _ : state) {
    for (int i = 0; i < kN; ++i) {
      int32_t key = static_cast<int32_t>(keys[i]);
      int index;
      benchmark::DoNotOptimize(binary_srch_array_low_with_data(kN, compare_int_data, 4, &key,
                                                               v.data(), &index, nullptr));
      benchmark::DoNotOptimize(index);
    }
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

void BM_std_lower_bound(benchmark::State &state) {
  const auto &v = sorted_ints();
  const auto &keys = shuffled_keys();
  bool (*less)(int32_t, int32_t) = less_int32;
  benchmark::DoNotOptimize(less);
  for (auto _ : state) {
    for (int i = 0; i < kN; ++i)
      benchmark::DoNotOptimize(
          std::lower_bound(v.begin(), v.end(), static_cast<int32_t>(keys[i]), less));
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

// ---- object sort against std::sort ---------------------------------------------

struct Record {
  int64_t key;
  double a, b;
};
static_assert(sizeof(Record) == 24);

int compare_records(const void *x, const void *y) {
  int64_t a = static_cast<const Record *>(x)->key, b = static_cast<const Record *>(y)->key;
  return (a > b) - (a < b);
}
bool less_records(const Record &x, const Record &y) { return x.key < y.key; }

std::vector<Record> random_records() {
  std::vector<Record> r(kN);
  std::mt19937_64 rng(3);
  for (auto &x : r) x = {static_cast<int64_t>(rng()), 1.0, 2.0};
  return r;
}

void BM_sort_objects(benchmark::State &state) {
  const std::vector<Record> input = random_records();
  std::vector<Record> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    sort_objects(kN, compare_records, work.data(), sizeof(Record));
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

void BM_std_sort(benchmark::State &state) {
  const std::vector<Record> input = random_records();
  std::vector<Record> work;
  bool (*less)(const Record &, const Record &) = less_records;
  benchmark::DoNotOptimize(less);
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    std::sort(work.begin(), work.end(), less);
  }
  state.SetItemsProcessed(state.iterations() * kN);
}

// ---- kw_HashTable against std::unordered_map ---------------------------------

void BM_kw_HashTable(benchmark::State &state) {
  const auto &keys = shuffled_keys();
  for (auto _ : state) {
    kw_HashTable<int> table(nullptr, nullptr, kN, nullptr);
    for (intptr_t k : keys) table.Add(k * 8, static_cast<int>(k));
    int value = 0;
    for (intptr_t k : keys) benchmark::DoNotOptimize(table.Find(k * 8, value));
  }
  state.SetItemsProcessed(state.iterations() * kN * 2);
}

void BM_std_unordered_map(benchmark::State &state) {
  const auto &keys = shuffled_keys();
  for (auto _ : state) {
    std::unordered_map<intptr_t, int> map;
    map.reserve(kN);
    for (intptr_t k : keys) map.emplace(k * 8, static_cast<int>(k));
    for (intptr_t k : keys) benchmark::DoNotOptimize(map.find(k * 8));
  }
  state.SetItemsProcessed(state.iterations() * kN * 2);
}

// ---- partial order ---------------------------------------------------------------

// 2,000 items along a hidden order with about one relation in eight, a
// tenth of them pointing backwards (so that there are circles to cut).
struct PartialOrderInput {
  std::vector<int> items;
  std::vector<int> rank;
  int relation(int i, int j) const {
    uint32_t h = static_cast<uint32_t>(i * 2654435761u ^ j * 40503u);
    if (h % 8) return 0;
    bool forward = (h / 8) % 10 != 0;
    int kind = 1 << ((h / 80) % 3);
    bool i_first = (rank[i] < rank[j]) == forward;
    return i_first ? KW_SPOC_RELATION(kind, 0) : KW_SPOC_RELATION(0, kind);
  }
};

int input_relation(const void *, int i, int j, void *data) {
  return static_cast<const PartialOrderInput *>(data)->relation(i, j);
}

void BM_get_partial_order_with_circles(benchmark::State &state) {
  PartialOrderInput in;
  int n = static_cast<int>(state.range(0));
  in.items.resize(n);
  in.rank.resize(n);
  std::iota(in.items.begin(), in.items.end(), 0);
  std::iota(in.rank.begin(), in.rank.end(), 0);
  std::shuffle(in.rank.begin(), in.rank.end(), std::mt19937(5));
  for (auto _ : state) {
    spoc_circle_data *circles = nullptr;
    SPOC_init_circle_data(&circles);
    void **result = nullptr;
    benchmark::DoNotOptimize(get_partial_order_with_circles(in.items.data(), n, sizeof(int),
                                                            input_relation, nullptr, nullptr, &in,
                                                            nullptr, circles, &result));
    state.counters["circles"] = SPOC_get_circles_count(circles);
    relmem(&result);
    SPOC_release_circle_data(&circles);
  }
}

}  // namespace

BENCHMARK(BM_rbtree)->Arg(kInsert)->Arg(kLookup)->Arg(kDelete)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_set_fnptr)
    ->Arg(kInsert)
    ->Arg(kLookup)
    ->Arg(kDelete)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_set_inline)
    ->Arg(kInsert)
    ->Arg(kLookup)
    ->Arg(kDelete)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pqueue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_priority_queue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_priority_queue_threeway)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_binary_srch_array_low_with_data)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_lower_bound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sort_objects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_sort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_kw_HashTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_unordered_map)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_get_partial_order_with_circles)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
