// Binary-heap priority queues of word values, with and without move
// reports.
//
// Tie rules (both queues): a pushed value climbs only past parents that
// must move down (direction 0: the parent compares greater; direction 1:
// smaller), so it stays below an equal one; sifting down, a child replaces
// the current best only when strictly better, so the parent stays on a tie
// and the left child wins over an equal right one.
#include <cstddef>

#include "algo/algo_internal.h"
#include "keelwork/pqueue.h"

namespace {

inline int compare_values(kw_compare_data_fn compare, void *data, intptr_t a, intptr_t b) {
  if (!compare) return kw::algo::sign_cmp(a, b);
  return compare(reinterpret_cast<const void *>(a), reinterpret_cast<const void *>(b), data);
}

// "a is strictly better than b" for a queue's direction.
struct Better {
  kw_compare_data_fn compare;
  void *data;
  int direction;
  bool operator()(intptr_t a, intptr_t b) const {
    int r = compare_values(compare, data, a, b);
    return direction == KW_PQUEUE_LARGEST_FIRST ? r > 0 : r < 0;
  }
};

// A slot for one more value: the capacity grows by one slot when full. The
// array itself is extended by half again when it has no spare slot, so
// that a growing queue does not pay for an array call on every push.
template <class Queue>
bool make_room(Queue *q) {
  if (q->count < q->capacity) return true;
  if (xar_count(&q->elements) <= q->capacity &&
      xar_resize(&q->elements, q->capacity + 1 + q->capacity / 2) != 0 &&
      xar_resize(&q->elements, q->capacity + 1) != 0)
    return false;
  ++q->capacity;
  return true;
}

// ---- pqueue ----------------------------------------------------------------

// The plain queue's order with the direction (and whether there is a
// callback) fixed at compile time.
template <bool kLargest, bool kCallback>
struct Order {
  kw_compare_data_fn compare;
  void *data;
  int cmp(intptr_t a, intptr_t b) const {
    if (kCallback)
      return compare(reinterpret_cast<const void *>(a), reinterpret_cast<const void *>(b), data);
    return kw::algo::sign_cmp(a, b);
  }
  // A parent that must move below a climbing value.
  bool parent_moves(intptr_t parent, intptr_t value) const {
    int r = cmp(parent, value);
    return kLargest ? r < 0 : r >= 1;
  }
  bool better(intptr_t a, intptr_t b) const {
    int r = cmp(a, b);
    return kLargest ? r > 0 : r < 0;
  }
};

template <class O>
void pqueue_sift_up(intptr_t *e, int start, intptr_t value, O order) {
  std::ptrdiff_t slot = start;
  while (slot > 0) {
    std::ptrdiff_t parent = (slot - 1) / 2;
    intptr_t above = e[parent];
    if (!order.parent_moves(above, value)) break;
    e[slot] = above;
    slot = parent;
  }
  e[slot] = value;
}

// Places `value` at the root of a heap of `n` values. The hole first runs
// down the path of better children to a leaf (one comparison per level;
// the right child only when strictly better than the left), then `value`
// climbs back while the value above it is not strictly better. Along that
// path the values only get worse, so this ends in the same slot as the
// sift-down that compares the parent with both children at each level,
// with half the comparisons.
template <class O>
void pqueue_sift_down(intptr_t *e, int count, intptr_t value, O order) {
  // Native-width indexes: no sign extension on every step of the descent.
  std::ptrdiff_t n = count, hole = 0, right;
  while ((right = 2 * hole + 2) < n) {
    // The grandchildren lie next to each other: fetch them while the
    // children are compared, so that large heaps do not wait on memory at
    // every level.
    __builtin_prefetch(e + 2 * right - 1);
    __builtin_prefetch(e + 2 * right + 2);
    std::ptrdiff_t child = order.better(e[right], e[right - 1]) ? right : right - 1;
    e[hole] = e[child];
    hole = child;
  }
  if (right == n) {  // a last slot with only a left child
    e[hole] = e[n - 1];
    hole = n - 1;
  }
  while (hole > 0) {
    std::ptrdiff_t parent = (hole - 1) / 2;
    intptr_t above = e[parent];
    if (order.better(above, value)) break;
    e[hole] = above;
    hole = parent;
  }
  e[hole] = value;
}

// Runs `f` with the queue's order; false for an unknown direction.
template <class F>
bool with_order(const pqueue *q, F f) {
  bool largest = q->direction == KW_PQUEUE_LARGEST_FIRST;
  if (!largest && q->direction != KW_PQUEUE_SMALLEST_FIRST) return false;
  if (q->compare) {
    if (largest)
      f(Order<true, true>{q->compare, q->compare_data});
    else
      f(Order<false, true>{q->compare, q->compare_data});
  } else {
    if (largest)
      f(Order<true, false>{nullptr, nullptr});
    else
      f(Order<false, false>{nullptr, nullptr});
  }
  return true;
}

// ---- pqueued -----------------------------------------------------------------

struct Reporter {
  pqueued *q;
  void put(int slot, intptr_t value) const {
    q->elements[slot] = value;
    if (q->moved) q->moved(q->data, value, slot);
  }
};

Better better_of(const pqueued *q) {
  return Better{
      q->compare, q->data,
      q->direction == KW_PQUEUE_LARGEST_FIRST ? KW_PQUEUE_LARGEST_FIRST : KW_PQUEUE_SMALLEST_FIRST};
}

int pqueued_sift_up(pqueued *q, int slot, intptr_t value) {
  Reporter report{q};
  bool largest = q->direction == KW_PQUEUE_LARGEST_FIRST;
  while (slot > 0) {
    int parent = (slot - 1) / 2;
    intptr_t above = q->elements[parent];
    int r = compare_values(q->compare, q->data, above, value);
    if (!(largest ? r < 0 : r >= 1)) break;
    report.put(slot, above);
    slot = parent;
  }
  report.put(slot, value);
  return slot;
}

void pqueued_sift_down(pqueued *q, int slot, intptr_t value) {
  Reporter report{q};
  Better better = better_of(q);
  intptr_t *e = q->elements;
  int n = q->count;
  for (;;) {
    int best = slot;
    intptr_t best_value = value;
    int left = 2 * slot + 1;
    if (left < n && better(e[left], best_value)) best = left, best_value = e[left];
    if (left + 1 < n && better(e[left + 1], best_value)) best = left + 1, best_value = e[left + 1];
    if (best == slot) break;
    report.put(slot, best_value);
    slot = best;
  }
  report.put(slot, value);
}

}  // namespace

// ---- pqueue ------------------------------------------------------------------

KW_API pqueue *pqueue_alloc(kw_compare_data_fn compare, void *data, int capacity, int direction) {
  if (capacity < 0) capacity = 0;
  auto *q = static_cast<pqueue *>(getmem(sizeof(pqueue)));
  q->compare = compare;
  q->compare_data = data;
  q->direction = direction;
  q->elements =
      static_cast<intptr_t *>(xar_alloc(capacity, sizeof(intptr_t), capacity > 0 ? capacity : 1));
  q->capacity = capacity;
  q->count = 0;
  return q;
}

KW_API void pqueue_push(pqueue *queue, intptr_t value) {
  if (!queue || !make_room(queue)) return;
  int slot = queue->count++;
  intptr_t *e = queue->elements;
  if (!with_order(queue, [=](auto order) { pqueue_sift_up(e, slot, value, order); })) {
    kw::algo::reject("pqueue_push", "unknown direction");
    e[slot] = value;
  }
}

KW_API intptr_t pqueue_pop(pqueue *queue) {
  if (!queue || queue->count <= 0)
    return kw::algo::reject("pqueue_pop", "queue is empty", intptr_t{-1});
  intptr_t *e = queue->elements;
  intptr_t top = e[0];
  int n = --queue->count;
  if (n == 0) return top;
  intptr_t last = e[n];
  if (!with_order(queue, [=](auto order) { pqueue_sift_down(e, n, last, order); }))
    e[0] = last;  // no order to restore
  return top;
}

KW_API intptr_t pqueue_inquire_top(const pqueue *queue) {
  if (!queue || queue->count <= 0) {
    dbg_err_syserr("pqueue_inquire_smallest", "%s", "queue is empty");
    return -1;
  }
  return queue->elements[0];
}

KW_API int pqueue_is_empty(const pqueue *queue) { return !queue || queue->count <= 0; }

KW_API void pqueue_free(pqueue **queue_address) {
  if (!queue_address || !*queue_address) return;
  xar_free(&(*queue_address)->elements);
  relmem(queue_address);
}

// ---- pqueued -----------------------------------------------------------------

KW_API pqueued *pqueued_alloc(kw_compare_data_fn compare, pqueued_moved_fn moved, void *data,
                              int capacity, int direction) {
  if (capacity < 0) capacity = 0;
  auto *q = static_cast<pqueued *>(getmem(sizeof(pqueued)));
  q->compare = compare;
  q->moved = moved;
  q->data = data;
  q->direction = direction;
  q->elements =
      static_cast<intptr_t *>(xar_alloc(capacity, sizeof(intptr_t), capacity > 0 ? capacity : 1));
  q->capacity = capacity;
  q->count = 0;
  return q;
}

KW_API int pqueued_push(pqueued *queue, intptr_t value) {
  if (!queue || !make_room(queue)) return -1;
  return pqueued_sift_up(queue, queue->count++, value);
}

KW_API intptr_t pqueued_pop(pqueued *queue) {
  if (!queue || queue->count <= 0)
    return kw::algo::reject("pqueue_pop", "queue is empty", intptr_t{-1});
  intptr_t top = queue->elements[0];
  int n = --queue->count;
  if (n > 0) pqueued_sift_down(queue, 0, queue->elements[n]);
  return top;
}

KW_API intptr_t pqueued_inquire_top(const pqueued *queue) {
  if (!queue || queue->count <= 0) {
    dbg_err_syserr("pqueued_inquire_top", "%s", "queue is empty");
    return -1;
  }
  return queue->elements[0];
}

KW_API int pqueued_is_empty(const pqueued *queue) { return !queue || queue->count <= 0; }

KW_API intptr_t pqueued_del(pqueued *queue, int slot) {
  if (!queue || slot < 0 || slot >= queue->count)
    return kw::algo::reject("pqueued_del", "out of bounds", intptr_t{-1});
  intptr_t *e = queue->elements;
  intptr_t taken = e[slot];
  int n = queue->count;  // before the removal
  queue->count = n - 1;
  Reporter report{queue};
  Better better = better_of(queue);
  // Move the hole down to a leaf, lifting the better child at each level
  // (the right one only when strictly better than the left).
  int hole = slot;
  for (;;) {
    int child = 2 * hole + 1;
    if (child >= n) break;
    if (child + 1 < n && better(e[child + 1], e[child])) ++child;
    report.put(hole, e[child]);
    hole = child;
  }
  // A hole that ended in the old last slot leaves nothing to fill; else the
  // old last value fills it and climbs.
  if (hole != n - 1) pqueued_sift_up(queue, hole, e[n - 1]);
  return taken;
}

KW_API void pqueued_free(pqueued **queue_address) {
  if (!queue_address || !*queue_address) return;
  xar_free(&(*queue_address)->elements);
  relmem(queue_address);
}
