/* Partial-order sorting: putting items into an order that respects pairwise
 * "this must come before that" relations.
 *
 * sort_partial_order reorders an array in place and fails on a cycle.
 * get_partial_order_with_circles takes relations of four strengths, finds
 * the cycles ("circles"), breaks each by cutting its weakest edge (never an
 * unbreakable one), optionally reports the circles through a circle-data
 * record (SPOC_*), and returns a new array of the items' addresses ordered
 * by a caller-given priority among the items free to go next.
 *
 * Relation strengths: a kind code 1 (S, weakest; circles holding an S edge
 * are not recorded), 2 (R), 4 (H) or 8 (U, unbreakable), plus 16 for a
 * "propagate" request, which is not supported (reported, ignored). The
 * relation callback returns bits 5-9 = strength of "i before j" and bits
 * 10-14 = strength of "j before i" (KW_SPOC_RELATION builds such a word).
 *
 * Both sorts call their relation callback once per pair, n(n-1)/2 times.
 * Every call owns its own graph; a circle-data record may be shared by
 * callers at their own risk. The result array (getmem) and the circle-data
 * record (SPOC_release_circle_data) belong to the caller.
 */
#ifndef KEELWORK_PARTIAL_ORDER_H
#define KEELWORK_PARTIAL_ORDER_H

#include <stdio.h>

#include "kw_base.h"
#include "xar.h"

KW_BEGIN_DECLS

/* Relation kinds. */
#define KW_SPOC_S 1
#define KW_SPOC_R 2
#define KW_SPOC_H 4
#define KW_SPOC_U 8
#define KW_SPOC_PROPAGATE 16
/* A relation word: strength `before` of "i before j", `after` of "j before
 * i". */
#define KW_SPOC_RELATION(before, after) ((((before)&31) << 5) | (((after)&31) << 10))

/* The result for relations whose circles could not all be cut. */
#define KW_SPOC_UNRESOLVED 106

/* compare(a, b, data) on two items' addresses: negative when a must come
 * before b, positive when b must come before a, 0 when unrelated. */
typedef int (*spoc_compare_fn)(const void *a, const void *b, void *data);
/* The relation word of items i < j. */
typedef int (*spoc_relation_fn)(const void *base, int i, int j, void *data);
/* Priority among items free to go: negative when item a should be placed
 * before item b. */
typedef int (*spoc_order_fn)(const void *base, int a, int b, void *data);
/* Which edge to cut: positive when the first edge (from1 -> to1) should be
 * cut rather than the second, negative for the second, 0 no preference. */
typedef int (*spoc_edge_cmp_fn)(const void *base, int from1, int to1, int from2, int to2,
                                void *data);

/* An edge of the node graph: target node (-1 once cut) and strength code. */
typedef struct spoc_edge {
  int32_t target;
  int32_t code;
} spoc_edge;

/* A node of the graph that get_partial_order_with_circles builds; the debug
 * printers below take an array of them. */
typedef struct spoc_node {
  spoc_edge *edges;         /* an xar */
  void *object;             /* the item's address */
  int32_t unplaced_parents; /* uncut edges from unplaced nodes; -10 once placed */
  int32_t depth;            /* position on the search stack, -1 when off it */
  int32_t state;            /* 0 unsearched, 1 on the path, 2 searched, 3 list head */
  struct spoc_node *prev;   /* the list of unsearched nodes */
  struct spoc_node *next;
} spoc_node;

/* A broken edge: the circle it broke and the edge. */
typedef struct spoc_broken_edge {
  int32_t circle;
  int32_t from;
  int32_t to;
} spoc_broken_edge;

/* Circle data: each circle is an int32_t xar of node indices starting at
 * its smallest index and repeating it at the end, e.g. {2, 5, 7, 2}. */
typedef struct spoc_circle_data {
  int32_t **circles;              /* an xar of circles */
  spoc_broken_edge *broken_edges; /* an xar */
  void *reserved;                 /* kept null */
} spoc_circle_data;

/* Reorders `n` items of `element_size` bytes at `base` so that every
 * relation holds: 0 when done (also for n < 2), 1 when a cycle prevented it
 * (the array is unchanged). Free items go in index order, sweep by sweep. */
KW_API int sort_partial_order(void *base, int n, int element_size, spoc_compare_fn compare,
                              void *data);

/* Orders `n` items: `*result` receives a new array (getmem) of the n items'
 * addresses, or null for n = 0 and on failure. `order` and `edge_cmp` may
 * be null (then free items go in index order, and ties of edge strength
 * fall to the node indices). With `circles` the circles met are recorded
 * there, and each edge cut to break a recorded circle is listed under it.
 * `reserved` is not used. Returns 0, or KW_SPOC_UNRESOLVED (106) when an
 * unbreakable cycle remains. */
KW_API int get_partial_order_with_circles(const void *base, int n, int element_size,
                                          spoc_relation_fn relation, spoc_order_fn order,
                                          spoc_edge_cmp_fn edge_cmp, void *data, void *reserved,
                                          spoc_circle_data *circles, void ***result);

/* Releases an existing record in `*data_address` and makes an empty one. */
KW_API void SPOC_init_circle_data(spoc_circle_data **data_address);
/* Frees the circles, the broken-edge list and the record; nulls the pointer. */
KW_API void SPOC_release_circle_data(spoc_circle_data **data_address);
/* Number of circles (0 for null). */
KW_API int SPOC_get_circles_count(const spoc_circle_data *data);
/* Number of entries of circle i (with the repeated first node); a bad index
 * is reported ("Wrong Input") and gives 0. */
KW_API int SPOC_get_circle_count(const spoc_circle_data *data, int i);
/* Entry k of circle i, or -1 (reported) for a bad index. */
KW_API int SPOC_get_circle_item(const spoc_circle_data *data, int i, int k);
/* 0 and the first edge recorded as broken for circle `circle`, or 4
 * (E_NOT_FOUND) when there is none; the outs are untouched then. */
KW_API int SPOC_get_broken_edge(const spoc_circle_data *data, int circle, int *from, int *to);

/* Debug printers of a node graph: to standard output; to "nodelist.dat"
 * (mode "w"); to `file`. */
KW_API void dbg_print_spoc_nodes(const spoc_node *nodes, int n);
KW_API void dbg_dump_spoc_nodes(const spoc_node *nodes, int n);
KW_API void dbg_fprint_spoc_nodes(const spoc_node *nodes, int n, FILE *file);
/* Prints on the console every loop over uncut edges that returns to node
 * `node`. */
KW_API void dbg_find_loops_for_node(const spoc_node *nodes, int n, int node);

KW_END_DECLS

#endif /* KEELWORK_PARTIAL_ORDER_H */
