// Partial-order sorting: the plain in-place sort, and the full form that
// records circles, breaks them by cutting their weakest edges and places
// the items by priority (Kahn's method on a priority queue).
#include <map>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/objsort.h"
#include "keelwork/partial_order.h"
#include "keelwork/pqueue.h"
#include "keelwork/status_codes.h"

namespace {

enum State : int32_t { kUnsearched = 0, kOnPath = 1, kSearched = 2, kListHead = 3 };
enum class Mode { kCollect, kCut };

constexpr int32_t kPlaced = -10;
constexpr int kEdgeIncrement = 4;

inline int kind_of(int32_t code) { return code & 15; }

// ---- circle data ---------------------------------------------------------------

// The loop's nodes rotated to start at the smallest index, which is
// repeated at the end.
std::vector<int32_t> canonical(const std::vector<int32_t> &loop) {
  std::size_t start = 0;
  for (std::size_t k = 1; k < loop.size(); ++k)
    if (loop[k] < loop[start]) start = k;
  std::vector<int32_t> c;
  c.reserve(loop.size() + 1);
  for (std::size_t k = 0; k < loop.size(); ++k) c.push_back(loop[(start + k) % loop.size()]);
  c.push_back(c.front());
  return c;
}

int record_circle(spoc_circle_data *circles, const std::vector<int32_t> &loop) {
  std::vector<int32_t> c = canonical(loop);
  int32_t *circle = static_cast<int32_t *>(
      xar_alloc(static_cast<int>(c.size()), sizeof(int32_t), kEdgeIncrement));
  std::copy(c.begin(), c.end(), circle);
  xar_alloc_or_append(&circles->circles, 1, sizeof(int32_t *), 4, &circle);
  return xar_count(&circles->circles) - 1;
}

// ---- the graph ---------------------------------------------------------------------

class Graph {
 public:
  Graph(const void *base, int n, int element_size, spoc_edge_cmp_fn edge_cmp, void *data)
      : base_(base), n_(n), edge_cmp_(edge_cmp), data_(data), nodes_(n), head_{} {
    for (int i = 0; i < n; ++i) {
      nodes_[i] = spoc_node{};
      nodes_[i].object = const_cast<char *>(static_cast<const char *>(base)) +
                         static_cast<std::ptrdiff_t>(i) * element_size;
      nodes_[i].depth = -1;
    }
    head_.state = kListHead;
  }
  ~Graph() {
    for (spoc_node &node : nodes_) xar_free(&node.edges);
  }
  Graph(const Graph &) = delete;
  Graph &operator=(const Graph &) = delete;

  void build(spoc_relation_fn relation, spoc_circle_data *circles);
  void resolve(Mode mode, spoc_circle_data *circles);
  int place(spoc_order_fn order, void **result);

 private:
  int index_of(const spoc_node *node) const { return static_cast<int>(node - nodes_.data()); }
  void add_edge(int from, int to, int32_t code) {
    spoc_edge e{to, code};
    xar_alloc_or_append(&nodes_[from].edges, 1, sizeof(spoc_edge), kEdgeIncrement, &e);
    ++nodes_[to].unplaced_parents;
  }
  bool decrement_parents(int node) {
    if (nodes_[node].unplaced_parents <= 0) {
      dbg_err_crash("sortpartl_decr_n_unplaced_parents", "%s", "Inconsistency in parent count");
      return false;
    }
    return --nodes_[node].unplaced_parents == 0;
  }

  void link_all();
  // Moves a listed node to `state`; a searched node leaves the list (its
  // `next` stays for the walk, `prev` marks it unlisted).
  bool set_state(spoc_node *node, int32_t state) {
    if (state != kUnsearched && state != kOnPath && state != kSearched) {
      dbg_err_crash("sortpartl_set_state", "unknown state %d", state);
      return false;
    }
    if (!node->prev) {
      dbg_err_crash("sortpartl_set_state", "%s", "trying to visit an unlinked node");
      return false;
    }
    if (!node->next) {
      dbg_err_crash("sortpartl_set_state", "%s", "invalid NULL list");
      return false;
    }
    node->state = state;
    if (state == kSearched) {
      node->prev->next = node->next;
      node->next->prev = node->prev;
      node->prev = nullptr;
    }
    return true;
  }
  bool search_from(spoc_node *root, Mode mode, spoc_circle_data *circles);
  bool close_loop(int node, int top, Mode mode, spoc_circle_data *circles);
  int choose_cut(int from_depth, int top);

  const void *base_;
  int n_;
  spoc_edge_cmp_fn edge_cmp_;
  void *data_;
  std::vector<spoc_node> nodes_;
  spoc_node head_;
  // The search stack: node and current edge of each depth.
  std::vector<int32_t> stack_node_;
  std::vector<int32_t> stack_edge_;
  // Recorded circles by their node sequence, for listing broken edges.
  std::map<std::vector<int32_t>, int> known_;
};

void Graph::build(spoc_relation_fn relation, spoc_circle_data *circles) {
  bool propagate = false;
  for (int i = 0; i < n_; ++i) {
    for (int j = i + 1; j < n_; ++j) {
      int v = relation ? relation(base_, i, j, data_) : 0;
      int32_t s1 = (v >> 5) & 31, s2 = (v >> 10) & 31;
      int k1 = s1 % 16, k2 = s2 % 16;
      if (s1 >= 16 || s2 >= 16) propagate = true;
      if (k1 == KW_SPOC_U && k2 == KW_SPOC_U) {
        dbg_print_info("sortpartl_set_direct_refs", "unbreakable loop found -- between %d and %d",
                       i, j);
        add_edge(i, j, s1);
        add_edge(j, i, s2);
      } else if (k1 && k2) {
        if (k1 >= KW_SPOC_R && k2 >= KW_SPOC_R && circles) record_circle(circles, {i, j});
        bool keep_forward;
        if (k1 != k2) {
          keep_forward = k1 > k2;
        } else {
          int c = edge_cmp_ ? edge_cmp_(base_, i, j, j, i, data_) : 0;
          keep_forward = c <= 0;
        }
        if (keep_forward)
          add_edge(i, j, s1);
        else
          add_edge(j, i, s2);
      } else if (k1) {
        add_edge(i, j, s1);
      } else if (k2) {
        add_edge(j, i, s2);
      }
    }
  }
  if (propagate)
    dbg_err_syserr("get_partial_order_with_circles", "%s", "ORDER_PROPAGATE not implemented yet");
}

void Graph::link_all() {
  spoc_node *prev = &head_;
  for (spoc_node &node : nodes_) {
    node.state = kUnsearched;
    node.depth = -1;
    node.prev = prev;
    prev->next = &node;
    prev = &node;
  }
  prev->next = &head_;
  head_.prev = prev;
}

void Graph::resolve(Mode mode, spoc_circle_data *circles) {
  if (mode == Mode::kCollect && !circles) {
    dbg_err_crash("sortpartl_resolve_circular_refs", "%s", "Invalid Input");
    return;
  }
  if (n_ == 0) return;
  if (mode == Mode::kCut && circles) {
    int count = xar_count(&circles->circles);
    for (int c = 0; c < count; ++c) {
      const int32_t *circle = circles->circles[c];
      known_.emplace(std::vector<int32_t>(circle, circle + xar_count(&circle)), c);
    }
  }
  stack_node_.assign(n_ + 1, -1);
  stack_edge_.assign(n_ + 1, -1);
  link_all();
  const int64_t limit = static_cast<int64_t>(n_) * (n_ + 1) / 2 + 2;
  int64_t restarts = 0;
  spoc_node *cur = head_.next;
  while (head_.next != &head_) {
    if (cur == &head_) {
      if (++restarts >= limit) {
        dbg_err_crash("sortpartl_resolve_circular_refs", "%s", "bug found");
        return;
      }
      cur = head_.next;
      continue;
    }
    if (!cur->prev) {  // left the list while searched from another node
      cur = cur->next;
      continue;
    }
    if (cur->state != kUnsearched) {
      dbg_err_crash("sortpartl_resolve_circular_refs", "%s", "invalid list of unsearched nodes");
      return;
    }
    if (!search_from(cur, mode, circles)) return;
    cur = cur->next;
  }
}

// Depth-first search from `root` over uncut edges. In cutting mode the
// search unwinds after each cut, leaving the nodes of its path unsearched.
// False when the search had to stop on an inconsistency.
bool Graph::search_from(spoc_node *root, Mode mode, spoc_circle_data *circles) {
  int top = 0;
  stack_node_[0] = index_of(root);
  stack_edge_[0] = -1;
  if (!set_state(root, kOnPath)) return false;
  root->depth = 0;
  while (top >= 0) {
    spoc_node &x = nodes_[stack_node_[top]];
    int count = xar_count(&x.edges);
    int e = stack_edge_[top] + 1;
    while (e < count && x.edges[e].target < 0) ++e;
    stack_edge_[top] = e;
    if (e >= count) {  // every edge followed: searched
      x.depth = -1;
      if (!set_state(&x, kSearched)) return false;
      stack_node_[top] = stack_edge_[top] = -1;
      --top;
      continue;
    }
    int t = x.edges[e].target;
    if (t >= n_) {
      dbg_err_crash("sortpartl_which_edge_to_cut", "%s", "invalid_input");
      return false;
    }
    spoc_node &next = nodes_[t];
    switch (next.state) {
      case kUnsearched:
        if (top + 1 >= n_) {
          dbg_err_crash("find_cut_loop_recur", "%s", "stack handling error");
          return false;
        }
        ++top;
        stack_node_[top] = t;
        stack_edge_[top] = -1;
        if (!set_state(&next, kOnPath)) return false;
        next.depth = top;
        break;
      case kOnPath:
        if (close_loop(t, top, mode, circles)) {
          // An edge was cut: every node of the path goes back to the
          // unsearched state, to be searched again.
          for (int k = 0; k <= top; ++k) {
            set_state(&nodes_[stack_node_[k]], kUnsearched);
            nodes_[stack_node_[k]].depth = -1;
            stack_node_[k] = stack_edge_[k] = -1;
          }
          return true;
        }
        break;
      case kSearched:
        break;
      default:
        dbg_err_crash("sortpartl_find_cut_loop_recur", "%s", "unknown state");
        break;
    }
  }
  return true;
}

// Handles the loop closed by reaching `node` again: the stack entries from
// its depth to `top`, the last one's current edge returning to `node`.
// Returns true when an edge was cut.
bool Graph::close_loop(int node, int top, Mode mode, spoc_circle_data *circles) {
  int from_depth = nodes_[node].depth;
  if (from_depth < 0 || from_depth > top || stack_node_[from_depth] != node) {
    dbg_err_crash("sortpartl_close_stack_loop", "%s", "internal error");
    return false;
  }
  int length = top - from_depth + 1;
  if (length < 2) {
    dbg_err_crash("sortpartl_find_cut_loop_recur", "X- invalid %d-node circle!", length);
    return false;
  }
  if (mode == Mode::kCollect) {
    std::vector<int32_t> loop;
    for (int k = from_depth; k <= top; ++k) {
      const spoc_node &node = nodes_[stack_node_[k]];
      if (kind_of(node.edges[stack_edge_[k]].code) == KW_SPOC_S) return false;
      loop.push_back(stack_node_[k]);
    }
    record_circle(circles, loop);
    return false;
  }
  int k = choose_cut(from_depth, top);
  spoc_edge &edge = nodes_[stack_node_[k]].edges[stack_edge_[k]];
  if (kind_of(edge.code) == KW_SPOC_U) {
    dbg_print_info("sortpartl_select_edge_to_cut", "%s",
                   "unable to cut loop -- only unbreakable edges found");
    return false;
  }
  int from = stack_node_[k], to = edge.target;
  if (circles && !known_.empty()) {
    std::vector<int32_t> loop(stack_node_.begin() + from_depth, stack_node_.begin() + top + 1);
    auto hit = known_.find(canonical(loop));
    if (hit != known_.end()) {
      spoc_broken_edge broken{hit->second, from, to};
      xar_alloc_or_append(&circles->broken_edges, 1, sizeof broken, 4, &broken);
    }
  }
  edge.target = -1;
  decrement_parents(to);
  return true;
}

// The stack depth whose current edge is the loop's weakest: a weaker kind
// wins; at equal kinds edge_cmp decides, then the greater source index,
// then the greater target index.
int Graph::choose_cut(int from_depth, int top) {
  int cand = from_depth;
  auto edge_at = [this](int k) -> const spoc_edge & {
    return nodes_[stack_node_[k]].edges[stack_edge_[k]];
  };
  for (int k = from_depth + 1; k <= top; ++k) {
    const spoc_edge &c = edge_at(cand), &e = edge_at(k);
    int kc = kind_of(c.code), ke = kind_of(e.code);
    int cf = stack_node_[cand], ef = stack_node_[k];
    if (ke != kc) {
      if (ke < kc) cand = k;
      continue;
    }
    int r = edge_cmp_ ? edge_cmp_(base_, cf, c.target, ef, e.target, data_) : 0;
    if (r < 0 || (r == 0 && (ef > cf || (ef == cf && e.target > c.target)))) cand = k;
  }
  return cand;
}

struct OrderContext {
  spoc_order_fn order;
  const void *base;
  void *data;
};

// The placement queue's comparison: the caller's priority, ties to the
// smaller index.
int compare_by_order(const void *a, const void *b, void *context) {
  auto *ctx = static_cast<OrderContext *>(context);
  int x = static_cast<int>(reinterpret_cast<intptr_t>(a));
  int y = static_cast<int>(reinterpret_cast<intptr_t>(b));
  int r = ctx->order(ctx->base, x, y, ctx->data);
  return r != 0 ? r : kw::algo::sign_cmp(x, y);
}

// Places the nodes in priority order; returns the number placed.
int Graph::place(spoc_order_fn order, void **result) {
  OrderContext ctx{order, base_, data_};
  pqueue *queue =
      pqueue_alloc(order ? compare_by_order : nullptr, &ctx, n_ / 3 + 1, KW_PQUEUE_SMALLEST_FIRST);
  int placed = 0;
  int scan = 0;  // without `order`: the next index the forward scan examines
  if (order)
    for (int i = 0; i < n_; ++i)
      if (nodes_[i].unplaced_parents == 0) pqueue_push(queue, i);
  for (;;) {
    int x = -1;
    if (!pqueue_is_empty(queue)) {
      x = static_cast<int>(pqueue_pop(queue));
      if (!order && x >= scan) {
        dbg_err_crash("sortpartl_get_next_unplaced_node", "%s", "priority queue looks bad");
        break;
      }
    } else if (!order) {
      while (scan < n_ && nodes_[scan].unplaced_parents != 0) ++scan;
      if (scan < n_) x = scan++;
    }
    if (x < 0) break;
    spoc_node &node = nodes_[x];
    if (node.unplaced_parents != 0) {
      dbg_err_crash("sortpartl_order_items", "%s", "unvalid next node");
      break;
    }
    result[placed++] = node.object;
    node.unplaced_parents = kPlaced;
    int count = xar_count(&node.edges);
    for (int e = 0; e < count; ++e) {
      int t = node.edges[e].target;
      if (t < 0) continue;
      if (decrement_parents(t) && (order || t < scan)) pqueue_push(queue, t);
    }
  }
  pqueue_free(&queue);
  return placed;
}

}  // namespace

KW_API int sort_partial_order(void *base, int n, int element_size, spoc_compare_fn compare,
                              void *data) {
  if (n < 2 || !base || element_size < 1 || !compare) return 0;
  struct Record {
    std::vector<int32_t> children;
    int32_t parents = 0;
    bool placed = false;
  };
  std::vector<Record> records(n);
  auto object = [&](int i) { return kw::algo::at(base, i, element_size); };
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      int r = compare(object(i), object(j), data);
      if (r < 0) {
        ++records[j].parents;
        records[i].children.push_back(j);
      } else if (r > 0) {
        ++records[i].parents;
        records[j].children.push_back(i);
      }
    }
  }
  std::vector<void *> order;
  order.reserve(n);
  bool progress = true;
  while (progress && static_cast<int>(order.size()) < n) {
    progress = false;
    for (int i = 0; i < n; ++i) {
      Record &r = records[i];
      if (r.placed || r.parents != 0) continue;
      r.placed = true;
      order.push_back(object(i));
      for (int32_t c : r.children) --records[c].parents;
      progress = true;
    }
  }
  if (static_cast<int>(order.size()) < n) return 1;
  order_array(n, base, order.data(), element_size);
  return 0;
}

KW_API int get_partial_order_with_circles(const void *base, int n, int element_size,
                                          spoc_relation_fn relation, spoc_order_fn order,
                                          spoc_edge_cmp_fn edge_cmp, void *data, void *reserved,
                                          spoc_circle_data *circles, void ***result) {
  (void)reserved;
  if (!result) return E_INVALID_INPUT;
  *result = nullptr;
  if (n <= 0) return 0;
  if (!base || element_size < 1) return E_INVALID_INPUT;
  Graph graph(base, n, element_size, edge_cmp, data);
  graph.build(relation, circles);
  if (circles) graph.resolve(Mode::kCollect, circles);
  graph.resolve(Mode::kCut, circles);
  void **out = static_cast<void **>(getmem(static_cast<std::size_t>(n) * sizeof(void *)));
  if (graph.place(order, out) < n) {
    dbg_err_syserr("get_partial_order_with_circles", "%s", "unable to resolve all circles");
    rlsmem(out);
    return KW_SPOC_UNRESOLVED;
  }
  *result = out;
  return 0;
}

// ---- circle data -----------------------------------------------------------------------

KW_API void SPOC_release_circle_data(spoc_circle_data **data_address) {
  if (!data_address || !*data_address) return;
  spoc_circle_data *d = *data_address;
  int count = xar_count(&d->circles);
  for (int c = 0; c < count; ++c) xar_free(&d->circles[c]);
  xar_free(&d->circles);
  xar_free(&d->broken_edges);
  relmem(data_address);
}

KW_API void SPOC_init_circle_data(spoc_circle_data **data_address) {
  if (!data_address) return;
  SPOC_release_circle_data(data_address);
  auto *d = static_cast<spoc_circle_data *>(getmem(sizeof(spoc_circle_data)));
  d->circles = static_cast<int32_t **>(xar_alloc(0, sizeof(int32_t *), 4));
  d->broken_edges = static_cast<spoc_broken_edge *>(xar_alloc(0, sizeof(spoc_broken_edge), 4));
  d->reserved = nullptr;
  *data_address = d;
}

KW_API int SPOC_get_circles_count(const spoc_circle_data *data) {
  return data ? xar_count(&data->circles) : 0;
}

KW_API int SPOC_get_circle_count(const spoc_circle_data *data, int i) {
  if (i < 0 || i >= SPOC_get_circles_count(data))
    return kw::algo::reject("SPOC_get_circle_count", "Wrong Input", 0);
  return xar_count(&data->circles[i]);
}

KW_API int SPOC_get_circle_item(const spoc_circle_data *data, int i, int k) {
  if (i < 0 || i >= SPOC_get_circles_count(data) || k < 0 || k >= xar_count(&data->circles[i]))
    return kw::algo::reject("SPOC_get_circle_item", "Wrong Input", -1);
  return data->circles[i][k];
}

KW_API int SPOC_get_broken_edge(const spoc_circle_data *data, int circle, int *from, int *to) {
  int count = data ? xar_count(&data->broken_edges) : 0;
  for (int b = 0; b < count; ++b) {
    const spoc_broken_edge &e = data->broken_edges[b];
    if (e.circle != circle) continue;
    if (from) *from = e.from;
    if (to) *to = e.to;
    return 0;
  }
  return E_NOT_FOUND;
}
