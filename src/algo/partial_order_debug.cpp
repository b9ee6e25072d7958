// Debug printers of the partial-order node graph.
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/btk_format.h"
#include "keelwork/btk_os.h"
#include "keelwork/partial_order.h"
#include "keelwork/vexformat.h"

namespace {

const char *kind_letter(int32_t code) {
  switch (code & 15) {
    case KW_SPOC_S:
      return "S";
    case KW_SPOC_R:
      return "R";
    case KW_SPOC_H:
      return "H";
    case KW_SPOC_U:
      return "U";
    default:
      return "";
  }
}

}  // namespace

KW_API void dbg_fprint_spoc_nodes(const spoc_node *nodes, int n, FILE *file) {
  if (!nodes || !file) return;
  for (int i = 0; i < n; ++i) {
    const spoc_node &node = nodes[i];
    btk_fprintf(file, "Node %-7d: depth %d, n_u_p %d\n", i, node.depth, node.unplaced_parents);
    btk_fprintf(file, "     %-7s  ", " ");
    int count = xar_count(&node.edges);
    for (int e = 0; e < count; ++e)
      btk_fprintf(file, "%s%d ", kind_letter(node.edges[e].code), node.edges[e].target);
    btk_fprintf(file, "\n");
  }
}

KW_API void dbg_print_spoc_nodes(const spoc_node *nodes, int n) {
  dbg_fprint_spoc_nodes(nodes, n, btk_get_stdout());
}

KW_API void dbg_dump_spoc_nodes(const spoc_node *nodes, int n) {
  FILE *file = btk_fopen("nodelist.dat", "w");
  if (!file) {
    vex_printf("Can't open file, exiting\n");
    return;
  }
  dbg_fprint_spoc_nodes(nodes, n, file);
  btk_fclose(file);
}

KW_API void dbg_find_loops_for_node(const spoc_node *nodes, int n, int node) {
  if (!nodes || node < 0 || node >= n) return;
  // Depth-first over uncut edges, each node visited once; `path` holds the
  // nodes from `node` to the current one and `next_edge` where each
  // continues.
  std::vector<bool> visited(n);
  std::vector<int> path{node};
  std::vector<int> next_edge{0};
  visited[node] = true;
  while (!path.empty()) {
    const spoc_node &x = nodes[path.back()];
    int &e = next_edge.back();
    if (e >= xar_count(&x.edges)) {
      path.pop_back();
      next_edge.pop_back();
      continue;
    }
    int t = x.edges[e++].target;
    if (t < 0 || t >= n) continue;
    if (t == node) {
      vex_printf("Found a loop for %d!  Length = %d:\n", node, static_cast<int>(path.size()));
      for (int p : path) vex_printf("   %d\n", p);
      vex_printf("   %d\n", node);
      vex_printf("\n");
      continue;
    }
    if (visited[t] || static_cast<int>(path.size()) >= n) continue;
    visited[t] = true;
    path.push_back(t);
    next_edge.push_back(0);
  }
}
