#include <gtest/gtest.h>
#include <keelwork/rbtree.h>
#include <keelwork/sorted.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "algo_test_util.h"

namespace {

void *word(intptr_t v) { return reinterpret_cast<void *>(v); }
intptr_t value(const void *n) {
  return reinterpret_cast<intptr_t>(static_cast<const rbtree_node *>(n)->data);
}

// Walks the tree and checks every red-black and search-tree invariant;
// returns the black height of `n` (0 for a null child).
int check(const rbtree_node *n, const rbtree_node *parent, const intptr_t *low,
          const intptr_t *high, std::vector<intptr_t> &keys) {
  if (!n) return 0;
  EXPECT_EQ(n->parent, parent);
  EXPECT_TRUE(n->color == KW_RB_RED || n->color == KW_RB_BLACK);
  intptr_t v = reinterpret_cast<intptr_t>(n->data);
  if (low) {
    EXPECT_GT(v, *low);
  }
  if (high) {
    EXPECT_LT(v, *high);
  }
  if (n->color == KW_RB_RED) {
    EXPECT_TRUE(!n->left || n->left->color == KW_RB_BLACK);
    EXPECT_TRUE(!n->right || n->right->color == KW_RB_BLACK);
  }
  int left = check(n->left, n, low, &v, keys);
  keys.push_back(v);
  int right = check(n->right, n, &v, high, keys);
  EXPECT_EQ(left, right) << "black heights differ below " << v;
  return left + (n->color == KW_RB_BLACK);
}

void check_tree(const rbtree *tree, const std::set<intptr_t> &model) {
  auto *root = reinterpret_cast<const rbtree_node *>(tree->root);
  if (root) {
    ASSERT_EQ(root->color, KW_RB_BLACK);
  }
  std::vector<intptr_t> keys;
  check(root, nullptr, nullptr, nullptr, keys);
  ASSERT_EQ(keys, std::vector<intptr_t>(model.begin(), model.end()));
}

TEST(Rbtree, APIExamples) {
  rbtree *tree = new_rbtree(0);
  for (intptr_t v : {5, 3, 8}) ASSERT_NE(insert_data_into_rbtree(tree, word(v), int_cmp), nullptr);
  EXPECT_EQ(insert_data_into_rbtree(tree, word(3), int_cmp), nullptr);  // duplicate
  EXPECT_EQ(value(btree_lookup(tree, word(8), int_cmp)), 8);
  EXPECT_EQ(rbtree_delete_node_with_data(tree, word(3), int_cmp), 1);
  EXPECT_EQ(rbtree_delete_node_with_data(tree, word(3), int_cmp), 0);
  EXPECT_EQ(rbtree_delete_node_with_data(nullptr, word(3), int_cmp), 0);
  release_rbtree(&tree);
}

// Thousands of random inserts, lookups, locates and deletes against
// std::set, with every invariant checked after each step.
TEST(Rbtree, ModelWithInvariants) {
  std::mt19937 rng(31337);
  rbtree *tree = new_rbtree(4);
  std::set<intptr_t> model;
  for (int step = 0; step < 6000; ++step) {
    intptr_t v = static_cast<intptr_t>(rng() % 500) - 250;
    switch (rng() % 5) {
      case 0:
      case 1: {
        rbtree_node *n = insert_data_into_rbtree(tree, word(v), int_cmp);
        ASSERT_EQ(n != nullptr, model.insert(v).second);
        if (n) {
          ASSERT_EQ(value(n), v);
        }
        break;
      }
      case 2:
        ASSERT_EQ(rbtree_delete_node_with_data(tree, word(v), int_cmp),
                  static_cast<int>(model.erase(v)));
        break;
      case 3: {
        // Delete a node by address; with two children its address stays
        // in the tree carrying the successor's data.
        auto *n = reinterpret_cast<rbtree_node *>(btree_lookup(tree, word(v), int_cmp));
        if (!n) break;
        bool two = n->left && n->right;
        auto next = model.upper_bound(v);
        ASSERT_EQ(rbtree_delete_node(tree, n), 1);
        model.erase(v);
        if (two) {
          ASSERT_EQ(btree_lookup(tree, word(*next), int_cmp), reinterpret_cast<btree_node *>(n));
        }
        break;
      }
      default: {
        btree_node *found, *below, *above;
        int hit = btree_locate(tree, word(v), int_cmp, &found, &below, &above);
        ASSERT_EQ(hit, static_cast<int>(model.count(v)));
        if (!hit) {
          auto up = model.upper_bound(v);
          ASSERT_EQ(above ? value(above) : INTPTR_MIN, up == model.end() ? INTPTR_MIN : *up);
          ASSERT_EQ(below ? value(below) : INTPTR_MIN,
                    up == model.begin() ? INTPTR_MIN : *std::prev(up));
        }
      }
    }
    check_tree(tree, model);
    if (HasFatalFailure()) return;
  }
  release_rbtree(&tree);
}

// Nodes deleted go back to the pool and are handed out again before new
// blocks are cut.
TEST(Rbtree, DeletedNodesAreReused) {
  rbtree *tree = new_rbtree(8);
  std::vector<rbtree_node *> nodes;
  for (intptr_t v = 0; v < 8; ++v) nodes.push_back(insert_data_into_rbtree(tree, word(v), int_cmp));
  ASSERT_EQ(xar_count(&tree->blocks), 1);
  for (intptr_t v = 0; v < 8; v += 2) rbtree_delete_node_with_data(tree, word(v), int_cmp);
  for (intptr_t v = 100; v < 104; ++v) insert_data_into_rbtree(tree, word(v), int_cmp);
  EXPECT_EQ(xar_count(&tree->blocks), 1);
  insert_data_into_rbtree(tree, word(200), int_cmp);
  EXPECT_EQ(xar_count(&tree->blocks), 2);
  EXPECT_EQ(tree->blocks[1].capacity, 16);

  // A prepared duplicate goes back to the free list.
  int index;
  char *memory = static_cast<char *>(
      new_btree_node_low(tree, KW_RBTREE_LARGEST_BLOCK, KW_RBTREE_NODE_SIZE, &index));
  auto *prepared = reinterpret_cast<rbtree_node *>(memory + index * KW_RBTREE_NODE_SIZE);
  prepared->data = word(1);
  EXPECT_EQ(insert_node_into_rbtree(tree, prepared, KW_RBTREE_NODE_SIZE, int_cmp), nullptr);
  EXPECT_EQ(insert_data_into_rbtree(tree, word(300), int_cmp), prepared);
  release_rbtree(&tree);
}

// Larger nodes keep the caller's bytes with their data when a node with
// two children takes its successor's place.
TEST(Rbtree, LargerNodesKeepTheirPayload) {
  struct Big {
    rbtree_node base;
    intptr_t payload[3];
  };
  rbtree *tree = new_btree_low(0, 100, sizeof(Big), nullptr);
  std::set<intptr_t> model;
  std::mt19937 rng(8);
  for (int step = 0; step < 2000; ++step) {
    intptr_t v = static_cast<intptr_t>(rng() % 200);
    if (rng() % 3) {
      auto *n =
          reinterpret_cast<Big *>(insert_data_into_rbtree_low(tree, word(v), sizeof(Big), int_cmp));
      if (n) n->payload[0] = n->payload[2] = v * 3;
      model.insert(v);
    } else {
      rbtree_delete_node_with_data(tree, word(v), int_cmp);
      model.erase(v);
    }
  }
  check_tree(tree, model);
  for (const btree_node *n = next_btree_node(tree, nullptr, KW_BTREE_NEXT); n;
       n = next_btree_node(tree, n, KW_BTREE_NEXT)) {
    auto *big = reinterpret_cast<const Big *>(n);
    ASSERT_EQ(big->payload[0], value(n) * 3);
    ASSERT_EQ(big->payload[2], value(n) * 3);
  }
  release_rbtree(&tree);

  rbtree *fresh = new_rbtree(0);  // takes the larger size before its first node
  EXPECT_NE(insert_data_into_rbtree_low(fresh, word(1), sizeof(Big), int_cmp), nullptr);
  EXPECT_EQ(fresh->node_size, static_cast<int>(sizeof(Big)));
  EXPECT_EQ(insert_data_into_rbtree_low(fresh, word(2), sizeof(Big) + 8, int_cmp), nullptr);
  release_rbtree(&fresh);
}

TEST(Rbtree, SidewaysDump) {
  rbtree *tree = new_rbtree(0);
  for (intptr_t v : {2, 1, 3}) insert_data_into_rbtree(tree, word(v), int_cmp);
  testing::internal::CaptureStdout();
  dbg_dump_rbtree(tree, [](const void *data) {
    std::printf("%d", static_cast<int>(reinterpret_cast<intptr_t>(data)));
  });
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "    [R] 3\n  [B] 2\n    [R] 1\n\n\n");
  release_rbtree(&tree);
}

}  // namespace
