#include <gtest/gtest.h>
#include <keelwork/btree.h>
#include <keelwork/sorted.h>

#include <map>
#include <random>
#include <vector>

#include "algo_test_util.h"

namespace {

void *word(intptr_t v) { return reinterpret_cast<void *>(v); }
intptr_t value(const btree_node *n) { return reinterpret_cast<intptr_t>(n->data); }

// Records compared by key only, so that equal keys stay distinguishable.
struct Item {
  int key;
  int seq;
};
int by_key(const void *a, const void *b) {
  return static_cast<const Item *>(a)->key - static_cast<const Item *>(b)->key;
}

std::vector<const btree_node *> in_order(const btree *tree) {
  std::vector<const btree_node *> out;
  for (const btree_node *n = next_btree_node(tree, nullptr, KW_BTREE_NEXT); n;
       n = next_btree_node(tree, n, KW_BTREE_NEXT))
    out.push_back(n);
  return out;
}

TEST(Btree, APIExamples) {
  btree *tree = new_btree(0);
  for (intptr_t v : {50, 20, 80, 10})
    insert_data_into_btree(tree, word(v), int_cmp, KW_BTREE_UNIQUE);
  EXPECT_EQ(value(btree_lookup(tree, word(20), int_cmp)), 20);
  EXPECT_EQ(btree_lookup(tree, word(21), int_cmp), nullptr);
  btree_node *found, *below, *above;
  EXPECT_EQ(btree_locate(tree, word(30), int_cmp, &found, &below, &above), 0);
  EXPECT_EQ(value(below), 20);
  EXPECT_EQ(value(above), 50);
  EXPECT_EQ(btree_locate(tree, word(5), int_cmp, &found, &below, &above), 0);
  EXPECT_EQ(below, nullptr);
  EXPECT_EQ(value(above), 10);
  EXPECT_EQ(value(next_btree_node(tree, nullptr, KW_BTREE_PREVIOUS)), 80);
  release_btree(&tree);
  EXPECT_EQ(tree, nullptr);
}

TEST(Btree, NavigationEdges) {
  testing::internal::CaptureStdout();
  btree *tree = new_btree(4);
  EXPECT_EQ(next_btree_node(tree, nullptr, KW_BTREE_NEXT), nullptr);
  btree_node *only = insert_data_into_btree(tree, word(1), int_cmp, KW_BTREE_UNIQUE);
  EXPECT_EQ(next_btree_node(tree, nullptr, KW_BTREE_NEXT), only);
  EXPECT_EQ(next_btree_node(tree, only, KW_BTREE_NEXT), nullptr);
  EXPECT_EQ(next_btree_node(tree, only, KW_BTREE_PREVIOUS), nullptr);
  EXPECT_EQ(next_btree_node(tree, only, 7), nullptr);
  EXPECT_EQ(insert_data_into_btree(tree, word(2), int_cmp, 3), nullptr);
  EXPECT_EQ(in_order(tree).size(), 1u);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Unknown mode in next_btree_node()\nIllegal mode in insert_into_btree().\n");
  release_btree(&tree);
}

TEST(Btree, DuplicateModes) {
  btree *tree = new_btree(0);
  btree_node *first = insert_data_into_btree(tree, word(7), int_cmp, KW_BTREE_UNIQUE);
  EXPECT_EQ(insert_data_into_btree(tree, word(7), int_cmp, KW_BTREE_UNIQUE), first);
  EXPECT_EQ(in_order(tree).size(), 1u);
  btree_node *second = insert_data_into_btree(tree, word(7), int_cmp, KW_BTREE_EQUAL_LEFT);
  EXPECT_EQ(first->left, second);
  btree_node *prepared = new_btree_node(tree);
  prepared->data = word(7);
  prepared->left = prepared;  // must stay untouched when refused
  EXPECT_EQ(insert_node_into_btree(tree, prepared, int_cmp, KW_BTREE_UNIQUE), 0);
  EXPECT_EQ(prepared->left, prepared);
  EXPECT_EQ(insert_node_into_btree(tree, prepared, int_cmp, KW_BTREE_EQUAL_RIGHT), 1);
  EXPECT_EQ(first->right, prepared);
  release_btree(&tree);
}

// Equal keys: mode 2 keeps them in insertion order, mode 1 in reverse.
TEST(Btree, ModelWithDuplicates) {
  std::mt19937 rng(17);
  for (int mode : {KW_BTREE_EQUAL_LEFT, KW_BTREE_EQUAL_RIGHT}) {
    SCOPED_TRACE(mode);
    btree *tree = new_btree(3);
    std::vector<Item> items(3000);
    std::multimap<int, int> model;
    for (int i = 0; i < 3000; ++i) {
      items[i] = {static_cast<int>(rng() % 300), i};
      ASSERT_NE(insert_data_into_btree(tree, &items[i], by_key, mode), nullptr);
      model.emplace(items[i].key, i);
    }
    std::vector<const btree_node *> nodes = in_order(tree);
    ASSERT_EQ(nodes.size(), model.size());
    auto m = model.begin();
    for (std::size_t k = 0; k < nodes.size(); ++k, ++m) {
      const Item *item = static_cast<const Item *>(nodes[k]->data);
      ASSERT_EQ(item->key, m->first);
      if (k > 0 && static_cast<const Item *>(nodes[k - 1]->data)->key == item->key) {
        ASSERT_EQ(static_cast<const Item *>(nodes[k - 1]->data)->seq < item->seq,
                  mode == KW_BTREE_EQUAL_RIGHT);
      }
    }
    std::vector<const btree_node *> back;
    for (const btree_node *n = next_btree_node(tree, nullptr, KW_BTREE_PREVIOUS); n;
         n = next_btree_node(tree, n, KW_BTREE_PREVIOUS))
      back.insert(back.begin(), n);
    ASSERT_EQ(back, nodes);
    release_btree(&tree);
  }
}

TEST(Btree, PoolGrowsGeometricallyAndReusesFreeNodes) {
  const int size = 6 * sizeof(void *);
  btree *tree = new_btree_low(3, 10, size, nullptr);
  ASSERT_NE(tree, nullptr);
  std::vector<char *> nodes;
  for (int i = 0; i < 25; ++i) {
    int index = -1;
    char *memory = static_cast<char *>(new_btree_node_low(tree, 10, size, &index));
    nodes.push_back(memory + index * size);
  }
  std::vector<int> capacities;
  for (int b = 0; b < xar_count(&tree->blocks); ++b) capacities.push_back(tree->blocks[b].capacity);
  EXPECT_EQ(capacities, (std::vector<int>{3, 6, 10, 10}));

  EXPECT_EQ(btree_add_node_to_free_list(tree, nodes[1], size), 1);
  EXPECT_EQ(btree_add_node_to_free_list(tree, nodes[1], size), 0);  // already free
  EXPECT_EQ(btree_add_node_to_free_list(tree, nodes[5], size), 1);
  EXPECT_EQ(btree_add_node_to_free_list(tree, nodes[5] + 8, size), 0);      // not a boundary
  EXPECT_EQ(btree_add_node_to_free_list(tree, nodes[24] + size, size), 0);  // beyond `used`
  int local;
  EXPECT_EQ(btree_add_node_to_free_list(tree, &local, size), 0);
  EXPECT_EQ(tree->freed, 1);
  // The last block with a free node first, then the earlier one.
  int index;
  char *m = static_cast<char *>(new_btree_node_low(tree, 10, size, &index));
  EXPECT_EQ(m + index * size, nodes[5]);
  m = static_cast<char *>(new_btree_node_low(tree, 10, size, &index));
  EXPECT_EQ(m + index * size, nodes[1]);
  m = static_cast<char *>(new_btree_node_low(tree, 10, size, &index));
  EXPECT_EQ(m + index * size, nodes[24] + size);
  EXPECT_EQ(tree->freed, 0);
  EXPECT_EQ(new_btree_low(0, 10, 3 * sizeof(void *), nullptr), nullptr);  // too small
  release_btree(&tree);

  memmgr *mgr = alloc_memmgr("btree test", MEMMGR_STYLE_NORMAL);
  btree *owned = new_btree_low(2, 8, KW_BTREE_NODE_SIZE, mgr);
  for (intptr_t v = 0; v < 20; ++v)
    insert_data_into_btree(owned, word(v), int_cmp, KW_BTREE_UNIQUE);
  EXPECT_EQ(getmem_area_find_memmgr(owned), mgr);
  EXPECT_EQ(getmem_area_find_memmgr(owned->blocks[xar_count(&owned->blocks) - 1].memory), mgr);
  release_btree(&owned);
}

}  // namespace
