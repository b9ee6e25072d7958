// Pooled binary search trees: the node pool, unbalanced insertion, lookup,
// location of neighbours and in-order navigation (shared with the
// red-black trees).
#include <algorithm>
#include <cstring>
#include <functional>

#include "algo/algo_internal.h"
#include "algo/tree_internal.h"
#include "keelwork/btree.h"
#include "keelwork/vexformat.h"

namespace {

constexpr int kBlocksIncrement = 5;

// A node on a free list carries the address of this word in its second
// word, so that a node given back twice is recognised (a live node's
// second word is a child link, never this address).
const char g_free_mark = 0;
inline void *free_mark() { return const_cast<char *>(&g_free_mark); }

inline void **words(void *node) { return static_cast<void **>(node); }

bool good_node_size(int node_size) {
  return node_size >= KW_BTREE_NODE_SIZE && node_size % static_cast<int>(sizeof(void *)) == 0;
}

int block_count(const btree *tree) { return xar_count(&tree->blocks); }

// Adds a block record and keeps the by-address order of the blocks.
void add_block(btree *tree, int capacity, void *memory, int used) {
  btree_block record{capacity, used, memory, -1};
  xar_append(&tree->blocks, 1, &record);
  int32_t number = block_count(tree) - 1;
  int n = xar_count(&tree->block_order);
  int at = static_cast<int>(std::upper_bound(tree->block_order, tree->block_order + n, memory,
                                             [tree](const void *m, int32_t b) {
                                               return std::less<const void *>()(
                                                   m, tree->blocks[b].memory);
                                             }) -
                            tree->block_order);
  xar_insert(&tree->block_order, at, 1, &number);
}

// The block whose handed-out nodes contain `node`, or -1; `*index` is the
// node's index in it.
int block_of(const btree *tree, const void *node, int node_size, int *index) {
  int n = xar_count(&tree->block_order);
  const int32_t *order = tree->block_order;
  // The last block starting at or below the node.
  int low = 0, high = n - 1, found = -1;
  while (low <= high) {
    int mid = (low + high) / 2;
    if (!std::less<const void *>()(node, tree->blocks[order[mid]].memory)) {
      found = mid;
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  if (found < 0) return -1;
  const btree_block &b = tree->blocks[order[found]];
  auto offset = reinterpret_cast<std::uintptr_t>(node) - reinterpret_cast<std::uintptr_t>(b.memory);
  if (offset % node_size != 0 || offset / node_size >= static_cast<std::uintptr_t>(b.used) ||
      offset + node_size > getmem_area_size(b.memory))
    return -1;
  *index = static_cast<int>(offset / node_size);
  return order[found];
}

btree_node *first_node(btree_node *n) {
  while (n && n->left) n = n->left;
  return n;
}
btree_node *last_node(btree_node *n) {
  while (n && n->right) n = n->right;
  return n;
}

bool good_mode(int mode) {
  if (mode >= KW_BTREE_UNIQUE && mode <= KW_BTREE_EQUAL_RIGHT) return true;
  vex_printf("Illegal mode in insert_into_btree().\n");
  return false;
}

// Finds where `data` goes under `mode`; null with `*equal` for a refused
// duplicate (mode 0).
btree_node **insertion_link(btree *tree, const void *data, kw_compare_fn compare, int mode,
                            btree_node **parent, btree_node **equal) {
  btree_node **link = &tree->root;
  btree_node *up = nullptr;
  while (btree_node *n = *link) {
    int r = compare(n->data, data);
    if (r == 0) {
      if (mode == KW_BTREE_UNIQUE) {
        *equal = n;
        return nullptr;
      }
      r = mode == KW_BTREE_EQUAL_LEFT ? 1 : -1;
    }
    up = n;
    link = r > 0 ? &n->left : &n->right;
  }
  *parent = up;
  return link;
}

void link_node(btree_node **link, btree_node *parent, btree_node *node, void *data) {
  node->parent = parent;
  node->left = node->right = nullptr;
  node->data = data;
  *link = node;
}

}  // namespace

// ---- trees and the pool ---------------------------------------------------------

KW_API btree *new_btree_low(int hint, int largest_block, int node_size, memmgr *manager) {
  if (!good_node_size(node_size)) return nullptr;
  if (largest_block < 1) largest_block = 1;
  int first = hint > 0 ? std::min(hint, largest_block) : KW_TREE_DEFAULT_BLOCK;
  auto *tree = static_cast<btree *>(memmgr_getmem(manager, sizeof(btree)));
  tree->root = nullptr;
  tree->freed = 0;
  tree->node_size = node_size;
  tree->largest_block = largest_block;
  tree->free_hint = -1;
  tree->blocks = static_cast<btree_block *>(
      memmgr_xar_alloc(manager, 0, sizeof(btree_block), kBlocksIncrement));
  tree->block_order =
      static_cast<int32_t *>(memmgr_xar_alloc(manager, 0, sizeof(int32_t), kBlocksIncrement));
  add_block(tree, first, memmgr_getmem(manager, static_cast<std::size_t>(first) * node_size), 0);
  return tree;
}

KW_API btree *new_btree(int hint) {
  return new_btree_low(hint, KW_BTREE_LARGEST_BLOCK, KW_BTREE_NODE_SIZE, nullptr);
}

KW_API void release_btree(btree **tree_address) {
  if (!tree_address || !*tree_address) return;
  btree *tree = *tree_address;
  int n = block_count(tree);
  for (int b = 0; b < n; ++b) rlsmem(tree->blocks[b].memory);
  xar_free(&tree->blocks);
  xar_free(&tree->block_order);
  rlsmem(tree);
  *tree_address = nullptr;
}

KW_API void *new_btree_node_low(btree *tree, int largest_block, int node_size, int *index) {
  if (!tree || !good_node_size(node_size)) return nullptr;
  int n = block_count(tree);
  // Free nodes first (not for plain btree nodes), from the last block that
  // has any.
  if (node_size != KW_BTREE_NODE_SIZE && tree->freed) {
    for (int b = std::min(tree->free_hint, n - 1); b >= 0; --b) {
      btree_block &block = tree->blocks[b];
      if (block.free_head < 0) continue;
      int i = block.free_head;
      void **node =
          words(static_cast<char *>(block.memory) + static_cast<std::ptrdiff_t>(i) * node_size);
      block.free_head = static_cast<int32_t>(reinterpret_cast<std::intptr_t>(node[0]));
      node[1] = nullptr;
      tree->free_hint = b;
      if (index) *index = i;
      return block.memory;
    }
    tree->freed = 0;
    tree->free_hint = -1;
  }
  btree_block &last = tree->blocks[n - 1];
  if (last.used < last.capacity) {
    int i = last.used++;
    words(static_cast<char *>(last.memory) + static_cast<std::ptrdiff_t>(i) * node_size)[1] =
        nullptr;
    if (index) *index = i;
    return last.memory;
  }
  int capacity = std::max(1, std::min(2 * last.capacity, largest_block));
  void *memory =
      memmgr_getmem(getmem_area_find_memmgr(tree), static_cast<std::size_t>(capacity) * node_size);
  words(memory)[1] = nullptr;
  add_block(tree, capacity, memory, 1);
  if (index) *index = 0;
  return memory;
}

KW_API btree_node *new_btree_node(btree *tree) {
  if (!tree) return nullptr;
  int index;
  char *memory =
      static_cast<char *>(new_btree_node_low(tree, tree->largest_block, tree->node_size, &index));
  return memory ? reinterpret_cast<btree_node *>(memory + static_cast<std::ptrdiff_t>(index) *
                                                              tree->node_size)
                : nullptr;
}

KW_API int btree_add_node_to_free_list(btree *tree, void *node, int node_size) {
  if (!tree || !node || !good_node_size(node_size)) return 0;
  int index;
  int b = block_of(tree, node, node_size, &index);
  if (b < 0 || words(node)[1] == free_mark()) return 0;
  btree_block &block = tree->blocks[b];
  words(node)[0] = reinterpret_cast<void *>(static_cast<std::intptr_t>(block.free_head));
  words(node)[1] = free_mark();
  block.free_head = index;
  tree->freed = 1;
  tree->free_hint = std::max(tree->free_hint, b);
  return 1;
}

// ---- insertion, lookup, navigation -------------------------------------------

KW_API btree_node *insert_data_into_btree(btree *tree, void *data, kw_compare_fn compare,
                                          int mode) {
  if (!tree || !compare || !good_mode(mode)) return nullptr;
  btree_node *parent = nullptr, *equal = nullptr;
  btree_node **link = insertion_link(tree, data, compare, mode, &parent, &equal);
  if (!link) return equal;
  auto *node = static_cast<btree_node *>(kw::algo::pool_take(tree));
  link_node(link, parent, node, data);
  return node;
}

KW_API int insert_node_into_btree(btree *tree, btree_node *node, kw_compare_fn compare, int mode) {
  if (!tree || !node || !compare || !good_mode(mode)) return 0;
  btree_node *parent = nullptr, *equal = nullptr;
  btree_node **link = insertion_link(tree, node->data, compare, mode, &parent, &equal);
  if (!link) return 0;
  link_node(link, parent, node, node->data);
  return 1;
}

KW_API btree_node *btree_lookup(const btree *tree, const void *key, kw_compare_fn compare) {
  if (!tree || !compare) return nullptr;
  btree_node *n = tree->root;
  while (n) {
    // Start loading both children while the comparison runs.
    __builtin_prefetch(n->left);
    __builtin_prefetch(n->right);
    int r = compare(key, n->data);
    if (r == 0) return n;
    n = r < 0 ? n->left : n->right;
  }
  return nullptr;
}

KW_API int btree_locate(const btree *tree, const void *key, kw_compare_fn compare,
                        btree_node **found, btree_node **below, btree_node **above) {
  btree_node *lo = nullptr, *hi = nullptr, *hit = nullptr;
  btree_node *n = tree && compare ? tree->root : nullptr;
  while (n) {
    int r = compare(key, n->data);
    if (r == 0) {
      hit = n;
      break;
    }
    if (r < 0) {
      hi = n;
      n = n->left;
    } else {
      lo = n;
      n = n->right;
    }
  }
  if (found) *found = hit;
  if (below) *below = hit ? nullptr : lo;
  if (above) *above = hit ? nullptr : hi;
  return hit != nullptr;
}

KW_API btree_node *next_btree_node(const btree *tree, const btree_node *node, int mode) {
  if (mode != KW_BTREE_NEXT && mode != KW_BTREE_PREVIOUS) {
    vex_printf("Unknown mode in next_btree_node()\n");
    return nullptr;
  }
  if (!tree) return nullptr;
  bool forward = mode == KW_BTREE_NEXT;
  if (!node) return forward ? first_node(tree->root) : last_node(tree->root);
  btree_node *n = const_cast<btree_node *>(node);
  btree_node *down = forward ? n->right : n->left;
  if (down) return forward ? first_node(down) : last_node(down);
  // Up to the first ancestor reached from its left (right) side.
  btree_node *up = n->parent;
  while (up && (forward ? up->right : up->left) == n) {
    n = up;
    up = up->parent;
  }
  return up;
}
