/* Pooled binary search trees. `btree` is an unbalanced tree; `rbtree`
 * (rbtree.h) is a red-black tree built on the same header, node pool and
 * navigation functions.
 *
 * Nodes are carved from blocks that grow geometrically (each block holds
 * twice the nodes of the previous one, up to a largest block), so a tree
 * of n nodes costs O(log n) allocations and nodes are never released to
 * the memory manager one by one. Each block keeps a free list of nodes
 * given back; a free node holds the index of the next free node of its
 * block in its first word.
 *
 * Node sizes are in native words: a btree node is four pointers (parent,
 * left, right, data), a red-black node five (plus the colour); larger
 * nodes carry the caller's bytes after those words. `data` is the caller's
 * word (usually a pointer); the comparison callbacks receive data words.
 * The left subtree of a node holds data that compare smaller, the right
 * subtree data that compare greater (or equal, by insertion mode).
 *
 * Ownership: a tree and its nodes belong to the caller and go with
 * release_btree; data words are never dereferenced or freed. The trees
 * take no lock: one tree, one thread at a time (or the caller's lock).
 */
#ifndef KEELWORK_BTREE_H
#define KEELWORK_BTREE_H

#include "kw_base.h"
#include "memory.h"
#include "xar.h"

KW_BEGIN_DECLS

typedef struct btree_node {
  struct btree_node *parent;
  struct btree_node *left;
  struct btree_node *right;
  void *data;
} btree_node;

/* One block of the node pool. */
typedef struct btree_block {
  int32_t capacity;  /* nodes */
  int32_t used;      /* nodes handed out from the block's start so far */
  void *memory;      /* capacity * node size bytes */
  int32_t free_head; /* index of the first free node, -1 when none */
} btree_block;

/* The tree header. `freed` is set when a node has been put on a free list
 * since all free lists were last found empty; `node_size` and
 * `largest_block` are the pool parameters the tree was made with. The last
 * two fields are the pool's own bookkeeping. */
typedef struct btree {
  btree_node *root;
  btree_block *blocks; /* an xar, growth increment 5 */
  int32_t freed;
  int32_t node_size;
  int32_t largest_block;
  int32_t free_hint;    /* no free list above this block is non-empty */
  int32_t *block_order; /* an xar: block numbers by ascending memory */
} btree;

/* Pool parameters of the two kinds of tree. */
#define KW_BTREE_NODE_SIZE ((int)(4 * sizeof(void *)))
#define KW_BTREE_LARGEST_BLOCK 8192
#define KW_RBTREE_NODE_SIZE ((int)(5 * sizeof(void *)))
#define KW_RBTREE_LARGEST_BLOCK 6553
/* The first block when the hint is 0 (or negative). */
#define KW_TREE_DEFAULT_BLOCK 512

/* Insertion modes: equal data are refused, go left, go right. */
#define KW_BTREE_UNIQUE 0
#define KW_BTREE_EQUAL_LEFT 1
#define KW_BTREE_EQUAL_RIGHT 2

/* Navigation modes of next_btree_node. */
#define KW_BTREE_NEXT 0
#define KW_BTREE_PREVIOUS 1

/* A new empty btree whose first block holds min(hint, 8192) nodes (512 for
 * a hint of 0). Released with release_btree. */
KW_API btree *new_btree(int hint);
/* The same with another largest block and node size (at least
 * KW_BTREE_NODE_SIZE and a multiple of the pointer size, so that every
 * node is aligned); the header and first block come from `manager` (null:
 * the shared one), later blocks from the manager that owns the header.
 * Null for a bad node size. */
KW_API btree *new_btree_low(int hint, int largest_block, int node_size, memmgr *manager);
/* Frees every block, the block list and the header; nulls `*tree_address`
 * (which may hold null). */
KW_API void release_btree(btree **tree_address);

/* Inserts `data` by compare(node data, new data). Mode 0: returns the
 * existing node when one compares equal; modes 1 and 2 put equal data to
 * the left or right. Returns the new node, or null for an unknown mode
 * (printed on the console) or a null tree. */
KW_API btree_node *insert_data_into_btree(btree *tree, void *data, kw_compare_fn compare, int mode);
/* Links a node the caller prepared (its data word is the key). Returns 1
 * when inserted, 0 when not (an equal node exists in mode 0, unknown mode,
 * null arguments); a node that was not inserted is left untouched. */
KW_API int insert_node_into_btree(btree *tree, btree_node *node, kw_compare_fn compare, int mode);
/* The node whose data compares equal (compare(key, node data) == 0), or
 * null (also for a null tree). */
KW_API btree_node *btree_lookup(const btree *tree, const void *key, kw_compare_fn compare);
/* 1 and `*found` = the equal node; otherwise 0, `*below` = the node with the
 * greatest data smaller than the key and `*above` = that with the smallest
 * greater data (null when none). Each out may be null. */
KW_API int btree_locate(const btree *tree, const void *key, kw_compare_fn compare,
                        btree_node **found, btree_node **below, btree_node **above);
/* Mode 0: the in-order successor (node null: the smallest node); mode 1:
 * the predecessor (node null: the largest). Null at the end, for an empty
 * tree and for an unknown mode (printed on the console). Serves red-black
 * trees unchanged. */
KW_API btree_node *next_btree_node(const btree *tree, const btree_node *node, int mode);

/* A fresh node of the tree's node size from the pool (never a reused one). */
KW_API btree_node *new_btree_node(btree *tree);
/* A node of `node_size` bytes (a multiple of the pointer size) from the
 * pool: returns the block memory and the node's index in it in `*index`
 * (node address = memory + index * node_size). Reuses free nodes for node
 * sizes other than KW_BTREE_NODE_SIZE; a new block holds min(2 x previous,
 * largest_block) nodes. Null for a null tree or a bad size. */
KW_API void *new_btree_node_low(btree *tree, int largest_block, int node_size, int *index);
/* Puts `node` on its block's free list. 1 when the node lies in one of the
 * tree's blocks at a node boundary below `used` and is not free already;
 * else 0 and nothing changes. */
KW_API int btree_add_node_to_free_list(btree *tree, void *node, int node_size);

KW_END_DECLS

#endif /* KEELWORK_BTREE_H */
