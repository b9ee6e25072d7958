// The node pool shared by the binary and red-black trees.
#ifndef KW_ALGO_TREE_INTERNAL_H
#define KW_ALGO_TREE_INTERNAL_H

#include "keelwork/btree.h"

namespace kw::algo {

// A node of the tree's own size: the fast path (no free node pending, room
// in the last block) inline, the rest in new_btree_node_low.
inline void *pool_take(btree *tree) {
  if (!tree->freed) {
    int n = xar_count(&tree->blocks);
    btree_block &last = tree->blocks[n - 1];
    if (last.used < last.capacity) {
      char *node = static_cast<char *>(last.memory) +
                   static_cast<std::ptrdiff_t>(last.used++) * tree->node_size;
      reinterpret_cast<void **>(node)[1] = nullptr;  // no free mark
      return node;
    }
  }
  int index;
  char *memory =
      static_cast<char *>(new_btree_node_low(tree, tree->largest_block, tree->node_size, &index));
  return memory ? memory + static_cast<std::ptrdiff_t>(index) * tree->node_size : nullptr;
}

// The tree's comparison walk under mode 0: false with `*equal` set to the
// node that compares equal; otherwise true with the parent of the empty
// slot where `data` belongs (null for an empty tree) and its side.
template <class Node>
inline bool find_slot(Node *root, const void *data, kw_compare_fn compare, Node **parent,
                      bool *left, Node **equal) {
  Node *up = nullptr;
  bool go_left = false;
  for (Node *n = root; n; n = go_left ? n->left : n->right) {
    // Start loading both children while the comparison runs.
    __builtin_prefetch(n->left);
    __builtin_prefetch(n->right);
    int r = compare(n->data, data);
    if (r == 0) {
      *equal = n;
      return false;
    }
    up = n;
    go_left = r > 0;
  }
  *parent = up;
  *left = go_left;
  return true;
}

}  // namespace kw::algo

#endif  // KW_ALGO_TREE_INTERNAL_H
