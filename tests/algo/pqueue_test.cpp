#include <gtest/gtest.h>
#include <keelwork/pqueue.h>

#include <map>
#include <random>
#include <vector>

#include "algo_test_util.h"

namespace {

// Values carry a key (compared) and an id (not compared), so that the pop
// order among equal keys shows the tie rules.
intptr_t make(int key, int id) { return static_cast<intptr_t>(key) * 100000 + id; }
int key_of(intptr_t v) { return static_cast<int>(v / 100000); }
int by_key(const void *a, const void *b, void *) {
  int x = key_of(reinterpret_cast<intptr_t>(a)), y = key_of(reinterpret_cast<intptr_t>(b));
  return (x > y) - (x < y);
}

// The heap as the tie rules describe it, step by step: the reference the
// queues must agree with value for value.
struct Reference {
  int direction;
  std::vector<intptr_t> e;
  bool better(intptr_t a, intptr_t b) const {
    int r = by_key(reinterpret_cast<void *>(a), reinterpret_cast<void *>(b), nullptr);
    return direction == 1 ? r > 0 : r < 0;
  }
  bool parent_moves(intptr_t parent, intptr_t value) const {
    int r = by_key(reinterpret_cast<void *>(parent), reinterpret_cast<void *>(value), nullptr);
    return direction == 1 ? r < 0 : r >= 1;
  }
  void up(std::size_t slot, intptr_t v) {
    while (slot > 0 && parent_moves(e[(slot - 1) / 2], v)) {
      e[slot] = e[(slot - 1) / 2];
      slot = (slot - 1) / 2;
    }
    e[slot] = v;
  }
  void push(intptr_t v) {
    e.push_back(v);
    up(e.size() - 1, v);
  }
  void down(std::size_t i, intptr_t v) {
    for (;;) {
      std::size_t best = i;
      intptr_t bv = v;
      for (std::size_t c : {2 * i + 1, 2 * i + 2})
        if (c < e.size() && better(e[c], bv)) best = c, bv = e[c];
      if (best == i) break;
      e[i] = bv;
      i = best;
    }
    e[i] = v;
  }
  intptr_t pop() {
    intptr_t top = e[0];
    intptr_t last = e.back();
    e.pop_back();
    if (!e.empty()) down(0, last);
    return top;
  }
  intptr_t del(std::size_t slot) {
    intptr_t taken = e[slot];
    std::size_t n = e.size(), hole = slot;
    for (;;) {
      std::size_t c = 2 * hole + 1;
      if (c >= n) break;
      if (c + 1 < n && better(e[c + 1], e[c])) ++c;
      e[hole] = e[c];
      hole = c;
    }
    intptr_t last = e[n - 1];
    e.pop_back();
    if (hole != n - 1) up(hole, last);
    return taken;
  }
};

TEST(Pqueue, APIExamples) {
  kw::test::Reports reports;
  pqueue *q = pqueue_alloc(nullptr, nullptr, 2, KW_PQUEUE_SMALLEST_FIRST);
  for (intptr_t v : {5, 3, 3, 9}) pqueue_push(q, v);
  EXPECT_EQ(q->capacity, 4);
  EXPECT_EQ(pqueue_inquire_top(q), 3);
  std::vector<intptr_t> popped;
  while (!pqueue_is_empty(q)) popped.push_back(pqueue_pop(q));
  EXPECT_EQ(popped, (std::vector<intptr_t>{3, 3, 5, 9}));
  EXPECT_EQ(pqueue_pop(q), -1);
  EXPECT_EQ(reports.take(), std::vector<std::string>{"pqueue_pop: queue is empty"});
  pqueue_free(&q);
  EXPECT_EQ(q, nullptr);
}

TEST(Pqueue, TieRulesAgainstReference) {
  std::mt19937 rng(77);
  for (int direction : {KW_PQUEUE_SMALLEST_FIRST, KW_PQUEUE_LARGEST_FIRST}) {
    SCOPED_TRACE(direction);
    pqueue *q = pqueue_alloc(by_key, nullptr, 1, direction);
    Reference ref{direction, {}};
    for (int step = 0; step < 20000; ++step) {
      if (ref.e.empty() || rng() % 5 < 3) {
        intptr_t v = make(static_cast<int>(rng() % 10), step);
        pqueue_push(q, v);
        ref.push(v);
      } else {
        ASSERT_EQ(pqueue_pop(q), ref.pop()) << "step " << step;
      }
      ASSERT_EQ(q->count, static_cast<int>(ref.e.size()));
    }
    pqueue_free(&q);
  }
}

TEST(Pqueue, EmptyAndUnknownDirection) {
  kw::test::Reports reports;
  pqueue *q = pqueue_alloc(nullptr, nullptr, 0, 2);
  EXPECT_EQ(pqueue_inquire_top(q), -1);
  EXPECT_EQ(pqueue_inquire_top(nullptr), -1);
  for (intptr_t v : {4, 1, 7}) pqueue_push(q, v);
  EXPECT_EQ(std::vector<intptr_t>(q->elements, q->elements + 3), (std::vector<intptr_t>{4, 1, 7}));
  EXPECT_EQ(reports.take(), std::vector<std::string>(3, "pqueue_push: unknown direction"));
  EXPECT_EQ(pqueue_pop(q), 4);
  pqueue_free(&q);
  EXPECT_NE(reports.console().find("pqueue_inquire_smallest:  queue is empty (ORDER_DEBUG)\n"),
            std::string::npos);
}

// Every value's last reported slot is its current slot, after each push,
// pop and delete; and the queue agrees with the reference heap.
TEST(Pqueued, MovedReportsTrackSlots) {
  std::mt19937 rng(4242);
  for (int direction : {KW_PQUEUE_SMALLEST_FIRST, KW_PQUEUE_LARGEST_FIRST, 5}) {
    SCOPED_TRACE(direction);
    std::map<intptr_t, int> where;
    auto moved = [](void *data, intptr_t value, int slot) {
      (*static_cast<std::map<intptr_t, int> *>(data))[value] = slot;
    };
    pqueued *q = pqueued_alloc(by_key, moved, &where, 1, direction);
    Reference ref{direction == 1 ? 1 : 0, {}};
    for (int step = 0; step < 8000; ++step) {
      unsigned op = rng() % 6;
      if (ref.e.empty() || op < 3) {
        intptr_t v = make(static_cast<int>(rng() % 8), step);
        ref.push(v);
        int slot = pqueued_push(q, v);
        ASSERT_EQ(q->elements[slot], v);
      } else if (op < 4) {
        intptr_t top = ref.pop();
        ASSERT_EQ(pqueued_pop(q), top);
        where.erase(top);
      } else {
        int slot = static_cast<int>(rng() % ref.e.size());
        intptr_t taken = ref.del(slot);
        ASSERT_EQ(pqueued_del(q, slot), taken);
        where.erase(taken);
      }
      ASSERT_EQ(std::vector<intptr_t>(q->elements, q->elements + q->count), ref.e);
      for (int i = 0; i < q->count; ++i) ASSERT_EQ(where.at(q->elements[i]), i);
    }
    pqueued_free(&q);
  }
}

TEST(Pqueued, Reports) {
  kw::test::Reports reports;
  pqueued *q = pqueued_alloc(nullptr, nullptr, nullptr, 4, 0);
  EXPECT_EQ(pqueued_inquire_top(q), -1);
  EXPECT_EQ(pqueued_pop(q), -1);
  pqueued_push(q, 8);
  EXPECT_EQ(pqueued_del(q, 1), -1);
  EXPECT_EQ(pqueued_del(q, -1), -1);
  EXPECT_EQ(pqueued_del(q, 0), 8);
  EXPECT_TRUE(pqueued_is_empty(q));
  EXPECT_EQ(reports.take(),
            (std::vector<std::string>{"pqueue_pop: queue is empty", "pqueued_del: out of bounds",
                                      "pqueued_del: out of bounds"}));
  EXPECT_NE(reports.console().find("pqueued_inquire_top:  queue is empty (ORDER_DEBUG)\n"),
            std::string::npos);
  pqueued_free(&q);
}

}  // namespace
