/* Red-black trees on the pooled tree header of btree.h.
 *
 * A red-black tree keeps unique data; btree_lookup, btree_locate and
 * next_btree_node serve it unchanged (cast its nodes to btree_node).
 * Deleting a node with two children moves its in-order successor's data
 * (and, for nodes larger than KW_RBTREE_NODE_SIZE, the caller's bytes
 * after the five words) into it, so the node's address stays in the tree
 * and the successor's node is the one freed.
 *
 * Same ownership and threading rules as btree.h.
 */
#ifndef KEELWORK_RBTREE_H
#define KEELWORK_RBTREE_H

#include "btree.h"

KW_BEGIN_DECLS

/* Colours. */
#define KW_RB_RED 0
#define KW_RB_BLACK 1

typedef struct rbtree_node {
  struct rbtree_node *parent;
  struct rbtree_node *left;
  struct rbtree_node *right;
  void *data;
  intptr_t color;
} rbtree_node;

typedef btree rbtree;

/* A new empty red-black tree whose first block holds min(hint, 6553) nodes
 * (512 for a hint of 0). */
KW_API rbtree *new_rbtree(int hint);
/* As release_btree. */
KW_API void release_rbtree(rbtree **tree_address);

/* Inserts `data`: the new node, or null when an equal node exists (or for
 * null arguments). */
KW_API rbtree_node *insert_data_into_rbtree(rbtree *tree, void *data, kw_compare_fn compare);
/* The same with nodes of `node_size` bytes (at least KW_RBTREE_NODE_SIZE, a
 * multiple of the pointer size); the bytes after the five words are the
 * caller's. A tree has one node size: a larger one is taken over while the
 * tree has handed out no node yet (else null); a smaller one gets nodes of
 * the tree's size. Trees made by new_btree_low with the node size need no
 * take-over. */
KW_API rbtree_node *insert_data_into_rbtree_low(rbtree *tree, void *data, int node_size,
                                                kw_compare_fn compare);
/* Links a prepared node (from new_btree_node_low; its data word is the key):
 * the node, or null when an equal node exists, in which case the node goes
 * back to the free list. */
KW_API rbtree_node *insert_node_into_rbtree(rbtree *tree, rbtree_node *node, int node_size,
                                            kw_compare_fn compare);
/* Removes `node` (which must be in the tree) and returns 1; 0 for null
 * arguments. */
KW_API int rbtree_delete_node(rbtree *tree, rbtree_node *node);
/* Removes the node whose data compares equal to `key`: 1, or 0 for a null
 * tree or callback or when there is none. */
KW_API int rbtree_delete_node_with_data(rbtree *tree, const void *key, kw_compare_fn compare);
/* Prints the tree sideways on the console: right subtree first, each node
 * as "%*s [B|R] " indented by three spaces per level, then print(data) and
 * a newline; then "\n\n". */
KW_API void dbg_dump_rbtree(const rbtree *tree, void (*print)(const void *data));

KW_END_DECLS

#endif /* KEELWORK_RBTREE_H */
