/* Priority queues of word values on a binary heap (the children of slot i
 * are 2i+1 and 2i+2).
 *
 * `pqueue` keeps values only; `pqueued` also reports every move of a value
 * to a `moved(data, value, slot)` callback, so that a caller can remember
 * each value's slot and delete it by position with pqueued_del.
 *
 * Order: direction 0 keeps the smallest value on top, direction 1 the
 * largest. compare(a, b, data) receives the two values converted to
 * pointers; without a callback the values compare as signed integers.
 * Ties: a pushed value never climbs above an equal one, and a value
 * sifting down is replaced only by a strictly better child, the left child
 * winning over an equal right one; so among equal values the pop order
 * follows the heap's shape, not the push order.
 *
 * Empty queues: the inquiry and pop functions report (see each) and return
 * -1. The queues take no lock: one queue, one thread at a time. The
 * `capacity` field grows by one slot when the queue is full; the value xar
 * behind it is extended by half again when it has no spare slot.
 */
#ifndef KEELWORK_PQUEUE_H
#define KEELWORK_PQUEUE_H

#include "kw_base.h"
#include "xar.h"

KW_BEGIN_DECLS

#define KW_PQUEUE_SMALLEST_FIRST 0
#define KW_PQUEUE_LARGEST_FIRST 1

typedef void (*pqueued_moved_fn)(void *data, intptr_t value, int slot);

typedef struct pqueue {
  kw_compare_data_fn compare; /* may be null */
  void *compare_data;
  int32_t direction;
  intptr_t *elements; /* an xar */
  int32_t capacity;
  int32_t count;
} pqueue;

typedef struct pqueued {
  kw_compare_data_fn compare; /* may be null */
  pqueued_moved_fn moved;     /* may be null */
  void *data;                 /* passed to both callbacks */
  int32_t direction;
  intptr_t *elements; /* an xar */
  int32_t capacity;
  int32_t count;
} pqueued;

/* A queue with `capacity` slots allocated (at least 1). Freed with
 * pqueue_free / pqueued_free. A direction other than 0 or 1 is accepted;
 * pqueue_push then reports it, pqueued treats it as 0. */
KW_API pqueue *pqueue_alloc(kw_compare_data_fn compare, void *data, int capacity, int direction);
KW_API pqueued *pqueued_alloc(kw_compare_data_fn compare, pqueued_moved_fn moved, void *data,
                              int capacity, int direction);

/* Adds a value. An unknown direction is reported ("pqueue_push" / "unknown
 * direction") and the value is stored in the last slot without ordering. */
KW_API void pqueue_push(pqueue *queue, intptr_t value);
/* Adds a value; returns the slot where it came to rest (-1 for a null
 * queue). */
KW_API int pqueued_push(pqueued *queue, intptr_t value);

/* Remove and return the top value; -1 and "pqueue_pop" / "queue is empty"
 * (crash channel) for a null or empty queue. */
KW_API intptr_t pqueue_pop(pqueue *queue);
KW_API intptr_t pqueued_pop(pqueued *queue);

/* The top value, not removed; -1 and "pqueue_inquire_smallest" (or
 * "pqueued_inquire_top") / "queue is empty" (system-error channel) for a
 * null or empty queue. */
KW_API intptr_t pqueue_inquire_top(const pqueue *queue);
KW_API intptr_t pqueued_inquire_top(const pqueued *queue);

/* 1 for a null or empty queue. */
KW_API int pqueue_is_empty(const pqueue *queue);
KW_API int pqueued_is_empty(const pqueued *queue);

/* Removes and returns the value in `slot`; -1 and "pqueued_del" / "out of
 * bounds" for a slot outside 0 .. count-1. */
KW_API intptr_t pqueued_del(pqueued *queue, int slot);

/* Free the values and the record; null the caller's pointer. */
KW_API void pqueue_free(pqueue **queue_address);
KW_API void pqueued_free(pqueued **queue_address);

KW_END_DECLS

#endif /* KEELWORK_PQUEUE_H */
