#include <gtest/gtest.h>
#include <keelwork/memory.h>
#include <keelwork/ownedxar.h>
#include <keelwork/xar.h>

#include <cstring>
#include <vector>

#include "algo_test_util.h"

namespace {

// A structure owning a getmem'd buffer.
struct Owner {
  int32_t id;
  char *name;
};

int g_freed = 0;
void free_owner(void *element) {
  auto *o = static_cast<Owner *>(element);
  relmem(&o->name);
  ++g_freed;
}
void copy_owner(const void *from, void *to) {
  auto *f = static_cast<const Owner *>(from);
  auto *t = static_cast<Owner *>(to);
  t->id = f->id;
  t->name = static_cast<char *>(getmem(std::strlen(f->name) + 1));
  std::strcpy(t->name, f->name);
}
Owner make_owner(int32_t id, const char *name) {
  Owner o{id, static_cast<char *>(getmem(std::strlen(name) + 1))};
  std::strcpy(o.name, name);
  return o;
}

TEST(OwnedXar, APIExamples) {
  Owner src[2] = {make_owner(1, "one"), make_owner(2, "two")};
  Owner *xs = nullptr;
  ASSERT_EQ(array_to_xar_str_copy(src, 2, sizeof(Owner), &xs, copy_owner, free_owner), 2);
  EXPECT_STREQ(xs[1].name, "two");
  EXPECT_NE(xs[1].name, src[1].name);  // deep copies
  g_freed = 0;
  EXPECT_EQ(xar_str_delete(&xs, 0, 1, free_owner), 0);
  EXPECT_EQ(g_freed, 1);
  xar_str_free(&xs, free_owner);
  EXPECT_EQ(g_freed, 2);
  EXPECT_EQ(xs, nullptr);
  free_owner(&src[0]);
  free_owner(&src[1]);
}

TEST(OwnedXar, StructureXarReports) {
  kw::test::Reports reports;
  Owner *xs = nullptr;
  ASSERT_EQ(xar_str_alloc_or_resize(&xs, 2, sizeof(Owner), 4, free_owner), 0);
  EXPECT_EQ(xar_str_alloc_or_resize(&xs, 3, 8, 4, free_owner), -1);
  EXPECT_EQ(xar_str_delete(&xs, 1, 2, free_owner), -1);
  EXPECT_EQ(xar_str_copy(xs, &xs, copy_owner, free_owner), -1);
  EXPECT_EQ(xar_str_delete(nullptr, 0, 1, free_owner), -1);
  xar_str_free(nullptr, free_owner);
  EXPECT_EQ(reports.take(),
            (std::vector<std::string>{
                "xar_str_alloc_or_resize: inconsistent size: old (16) != request (8) - SERIOUS "
                "ERROR.",
                "xar_str_delete: bad parameters: idx or n_elems", "xar_str_copy: bad parameters",
                "xar_str_delete: bad parameter: xar", "xar_str_free: bad parameter: xar"}));
  xar_str_free(&xs, nullptr);

  Owner one = make_owner(7, "seven");
  Owner *single = nullptr;
  EXPECT_EQ(str_alloc_or_copy(&one, &single, sizeof(Owner), copy_owner, free_owner), 0);
  EXPECT_STREQ(single->name, "seven");
  EXPECT_EQ(str_alloc_or_copy(single, &single, sizeof(Owner), copy_owner, free_owner), -1);
  EXPECT_EQ(str_alloc_or_copy(&one, &single, 20481, nullptr, nullptr), -1);
  EXPECT_EQ(reports.take(),
            (std::vector<std::string>{"str_alloc_or_copy: bad parametres: p_str_from or p_str_to",
                                      "str_alloc_or_copy: too big structure"}));
  str_free(&single, free_owner);
  EXPECT_EQ(single, nullptr);
  free_owner(&one);
}

TEST(OwnedXar, PointerXars) {
  kw::test::Reports reports;
  char **px = nullptr;
  const char *text = "block";
  EXPECT_EQ(xar_pblock_append(&px, text, 6), 0);
  EXPECT_EQ(xar_pblock_append(&px, "other", 6), 1);
  EXPECT_STREQ(px[0], "block");
  EXPECT_NE(px[0], text);
  char **copy = nullptr;
  EXPECT_EQ(xar_pblock_copy(px, &copy, 6), 2);
  EXPECT_EQ(xar_pblock_concat(&copy, copy, 6), 4);  // onto itself
  EXPECT_STREQ(copy[3], "other");
  EXPECT_EQ(xar_pblock_delete(&copy, 1, 2), 2);
  EXPECT_EQ(xar_count(&copy), 2);
  EXPECT_EQ(xar_pblock_alloc_or_resize(&copy, 1, 4), 0);
  EXPECT_EQ(xar_count(&copy), 1);
  xar_pblock_freeoff(&px);
  EXPECT_EQ(px[0], nullptr);
  EXPECT_EQ(xar_count(&px), 2);
  xar_pblock_free(&px);
  xar_pblock_free(&copy);
  xar_ptr_free(nullptr, nullptr);
  xar_ptr_freeoff(nullptr, nullptr);
  EXPECT_EQ(xar_ptr_alloc_or_resize(nullptr, 1, 1, nullptr), -1);
  EXPECT_EQ(reports.take(),
            (std::vector<std::string>{"xar_ptr_free: bad parameter: p_xar",
                                      "xar_ptr_free_offsprings: bad parameter: p_xar",
                                      "xar_ptr_alloc_or_resize: bad parameter: p_xar"}));

  Owner **owners = nullptr;
  for (int i = 0; i < 3; ++i) {
    Owner *o = static_cast<Owner *>(getmem(sizeof(Owner)));
    *o = make_owner(i, "x");
    xar_ptr_append(&owners, o, nullptr);
  }
  g_freed = 0;
  xar_ptr_freeoff_with_str(&owners, free_owner);
  EXPECT_EQ(g_freed, 3);
  xar_free(&owners);
}

TEST(OwnedXar, HarsAndConversions) {
  void **har = static_cast<void **>(har_alloc(0, sizeof(void *), 2));
  for (int i = 0; i < 5; ++i) {
    void *block = getmem(4);
    std::memcpy(block, &i, 4);
    har_append(&har, 1, &block);
  }
  void **copy = nullptr;
  EXPECT_EQ(har_ptr_copy(
                har, &copy,
                [](const void *t) -> void * {
                  void *c = getmem(4);
                  std::memcpy(c, t, 4);
                  return c;
                },
                rlsmem),
            5);
  EXPECT_EQ(*static_cast<int *>(*static_cast<void **>(har_access(copy, 4, nullptr, nullptr))), 4);
  har_pblock_free(&copy);
  har_ptr_free(&har, rlsmem);
  EXPECT_EQ(har, nullptr);

  int32_t *h = static_cast<int32_t *>(har_alloc(0, 4, 3));
  for (int32_t v = 0; v < 7; ++v) har_append(&h, 1, &v);
  int32_t *x = static_cast<int32_t *>(har_seg_to_xar(h, 2, 3, 0));
  ASSERT_EQ(xar_count(&x), 3);  // crosses from the first segment into the second
  EXPECT_EQ(std::vector<int32_t>(x, x + 3), (std::vector<int32_t>{2, 3, 4}));
  EXPECT_EQ(har_seg_to_xar(h, 0, 4, 0), nullptr);  // more than a segment holds
  EXPECT_EQ(har_seg_to_xar(h, 0, 0, 0), nullptr);
  int32_t *tail = static_cast<int32_t *>(har_seg_to_xar(h, 5, 3, 2));
  EXPECT_EQ(xar_count(&tail), 2);  // the har ends first
  har_free(&h);

  int32_t *ids = alloc_id_tab(3);
  EXPECT_EQ(xar_count(&ids), 3);
  EXPECT_EQ(ids[2], 0);
  EXPECT_EQ(xar_copy(x, &ids), 3);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(xar_copy(nullptr, &ids), 0);
  EXPECT_EQ(ids, nullptr);
  xar_free(&x);
  xar_free(&tail);
}

}  // namespace
