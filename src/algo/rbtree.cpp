// Red-black trees on the pooled tree header: insertion with the classic
// fix-up, deletion with a temporary black sentinel standing in for a
// missing child, and the sideways dump.
#include <cstring>

#include "algo/algo_internal.h"
#include "algo/tree_internal.h"
#include "keelwork/rbtree.h"
#include "keelwork/vexformat.h"

namespace {

using Node = rbtree_node;

inline Node *root_of(const rbtree *tree) { return reinterpret_cast<Node *>(tree->root); }
inline void set_root(rbtree *tree, Node *n) { tree->root = reinterpret_cast<btree_node *>(n); }
inline bool is_red(const Node *n) { return n && n->color == KW_RB_RED; }

void rotate_left(rbtree *tree, Node *x) {
  Node *y = x->right;
  x->right = y->left;
  if (y->left) y->left->parent = x;
  y->parent = x->parent;
  if (!x->parent)
    set_root(tree, y);
  else if (x == x->parent->left)
    x->parent->left = y;
  else
    x->parent->right = y;
  y->left = x;
  x->parent = y;
}

void rotate_right(rbtree *tree, Node *x) {
  Node *y = x->left;
  x->left = y->right;
  if (y->right) y->right->parent = x;
  y->parent = x->parent;
  if (!x->parent)
    set_root(tree, y);
  else if (x == x->parent->right)
    x->parent->right = y;
  else
    x->parent->left = y;
  y->right = x;
  x->parent = y;
}

void insert_fixup(rbtree *tree, Node *z) {
  while (is_red(z->parent)) {
    Node *p = z->parent;
    Node *g = p->parent;  // exists: a red node is never the root
    if (p == g->left) {
      Node *uncle = g->right;
      if (is_red(uncle)) {
        p->color = uncle->color = KW_RB_BLACK;
        g->color = KW_RB_RED;
        z = g;
        continue;
      }
      if (z == p->right) {
        z = p;
        rotate_left(tree, z);
        p = z->parent;
      }
      p->color = KW_RB_BLACK;
      g->color = KW_RB_RED;
      rotate_right(tree, g);
    } else {
      Node *uncle = g->left;
      if (is_red(uncle)) {
        p->color = uncle->color = KW_RB_BLACK;
        g->color = KW_RB_RED;
        z = g;
        continue;
      }
      if (z == p->left) {
        z = p;
        rotate_right(tree, z);
        p = z->parent;
      }
      p->color = KW_RB_BLACK;
      g->color = KW_RB_RED;
      rotate_left(tree, g);
    }
  }
  root_of(tree)->color = KW_RB_BLACK;
}

void delete_fixup(rbtree *tree, Node *x) {
  while (x != root_of(tree) && !is_red(x)) {
    Node *p = x->parent;
    if (x == p->left) {
      Node *w = p->right;
      if (is_red(w)) {
        w->color = KW_RB_BLACK;
        p->color = KW_RB_RED;
        rotate_left(tree, p);
        w = p->right;
      }
      if (!is_red(w->left) && !is_red(w->right)) {
        w->color = KW_RB_RED;
        x = p;
        continue;
      }
      if (!is_red(w->right)) {
        w->left->color = KW_RB_BLACK;
        w->color = KW_RB_RED;
        rotate_right(tree, w);
        w = p->right;
      }
      w->color = p->color;
      p->color = KW_RB_BLACK;
      w->right->color = KW_RB_BLACK;
      rotate_left(tree, p);
      x = root_of(tree);
    } else {
      Node *w = p->left;
      if (is_red(w)) {
        w->color = KW_RB_BLACK;
        p->color = KW_RB_RED;
        rotate_right(tree, p);
        w = p->left;
      }
      if (!is_red(w->left) && !is_red(w->right)) {
        w->color = KW_RB_RED;
        x = p;
        continue;
      }
      if (!is_red(w->left)) {
        w->right->color = KW_RB_BLACK;
        w->color = KW_RB_RED;
        rotate_left(tree, w);
        w = p->left;
      }
      w->color = p->color;
      p->color = KW_RB_BLACK;
      w->left->color = KW_RB_BLACK;
      rotate_right(tree, p);
      x = root_of(tree);
    }
  }
  x->color = KW_RB_BLACK;
}

void link_red(rbtree *tree, Node *parent, bool left, Node *node, void *data) {
  node->parent = parent;
  node->left = node->right = nullptr;
  node->data = data;
  node->color = KW_RB_RED;
  if (!parent)
    set_root(tree, node);
  else if (left)
    parent->left = node;
  else
    parent->right = node;
  insert_fixup(tree, node);
}

// Inserts `data` into a node of the tree's pool, or returns null for a
// duplicate (no node is taken then).
Node *insert_data(rbtree *tree, void *data, kw_compare_fn compare) {
  Node *parent = nullptr, *equal = nullptr;
  bool left = false;
  if (!kw::algo::find_slot(root_of(tree), data, compare, &parent, &left, &equal)) return nullptr;
  auto *node = static_cast<Node *>(kw::algo::pool_take(tree));
  if (!node) return nullptr;
  link_red(tree, parent, left, node, data);
  return node;
}

void dump(const Node *n, int depth, void (*print)(const void *)) {
  if (!n) return;
  dump(n->right, depth + 1, print);
  vex_printf("%*s [%c] ", 3 * depth, " ", n->color == KW_RB_BLACK ? 'B' : 'R');
  if (print) print(n->data);
  vex_printf("\n");
  dump(n->left, depth + 1, print);
}

}  // namespace

KW_API rbtree *new_rbtree(int hint) {
  return new_btree_low(hint, KW_RBTREE_LARGEST_BLOCK, KW_RBTREE_NODE_SIZE, nullptr);
}

KW_API void release_rbtree(rbtree **tree_address) { release_btree(tree_address); }

KW_API rbtree_node *insert_data_into_rbtree(rbtree *tree, void *data, kw_compare_fn compare) {
  if (!tree || !compare || tree->node_size < KW_RBTREE_NODE_SIZE) return nullptr;
  return insert_data(tree, data, compare);
}

KW_API rbtree_node *insert_data_into_rbtree_low(rbtree *tree, void *data, int node_size,
                                                kw_compare_fn compare) {
  if (!tree || !compare || node_size < KW_RBTREE_NODE_SIZE) return nullptr;
  if (node_size > tree->node_size) {
    // A tree whose pool still holds no node takes the larger size; one that
    // already carved nodes of its own size keeps it.
    if (xar_count(&tree->blocks) != 1 || tree->blocks[0].used != 0 ||
        node_size % static_cast<int>(sizeof(void *)) != 0)
      return nullptr;
    btree_block &first = tree->blocks[0];
    if (getmem_area_size(first.memory) <
        static_cast<std::size_t>(first.capacity) * static_cast<std::size_t>(node_size)) {
      first.memory = relocmem(first.memory, static_cast<std::size_t>(first.capacity) * node_size);
    }
    tree->node_size = node_size;
  }
  return insert_data(tree, data, compare);
}

KW_API rbtree_node *insert_node_into_rbtree(rbtree *tree, rbtree_node *node, int node_size,
                                            kw_compare_fn compare) {
  if (!tree || !node || !compare) return nullptr;
  Node *parent = nullptr, *equal = nullptr;
  bool left = false;
  if (!kw::algo::find_slot(root_of(tree), node->data, compare, &parent, &left, &equal)) {
    btree_add_node_to_free_list(tree, node, node_size);
    return nullptr;
  }
  link_red(tree, parent, left, node, node->data);
  return node;
}

KW_API int rbtree_delete_node(rbtree *tree, rbtree_node *node) {
  if (!tree || !node) return 0;
  // The node removed from the tree: the node itself, or its in-order
  // successor when it has two children.
  Node *y = node;
  if (node->left && node->right) {
    y = node->right;
    while (y->left) y = y->left;
  }
  Node *x = y->left ? y->left : y->right;
  // A black node removed with no child leaves a "double black" hole: a
  // temporary black sentinel stands in for the missing child during the
  // fix-up.
  Node sentinel{};
  bool use_sentinel = !x && y->color == KW_RB_BLACK;
  if (use_sentinel) {
    sentinel.color = KW_RB_BLACK;
    x = &sentinel;
  }
  if (x) x->parent = y->parent;
  if (!y->parent)
    set_root(tree, x);
  else if (y == y->parent->left)
    y->parent->left = x;
  else
    y->parent->right = x;
  if (y != node) {
    // The node takes over the successor's data (and the caller's bytes of
    // a larger node), so its address stays in the tree.
    node->data = y->data;
    if (tree->node_size > KW_RBTREE_NODE_SIZE)
      std::memcpy(reinterpret_cast<char *>(node) + KW_RBTREE_NODE_SIZE,
                  reinterpret_cast<char *>(y) + KW_RBTREE_NODE_SIZE,
                  tree->node_size - KW_RBTREE_NODE_SIZE);
  }
  if (y->color == KW_RB_BLACK) delete_fixup(tree, x);
  if (use_sentinel) {
    Node *p = sentinel.parent;
    if (!p)
      set_root(tree, nullptr);
    else if (p->left == &sentinel)
      p->left = nullptr;
    else
      p->right = nullptr;
  }
  btree_add_node_to_free_list(tree, y, tree->node_size);
  return 1;
}

KW_API int rbtree_delete_node_with_data(rbtree *tree, const void *key, kw_compare_fn compare) {
  if (!tree || !compare) return 0;
  auto *node = reinterpret_cast<Node *>(btree_lookup(tree, key, compare));
  return node ? rbtree_delete_node(tree, node) : 0;
}

KW_API void dbg_dump_rbtree(const rbtree *tree, void (*print)(const void *data)) {
  if (tree) dump(reinterpret_cast<const Node *>(tree->root), 0, print);
  vex_printf("\n\n");
}
