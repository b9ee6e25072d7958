#include <gtest/gtest.h>
#include <keelwork/memory.h>
#include <keelwork/runmode.h>
#include <keelwork/suballoc.h>
#include <keelwork/thread.h>
#include <keelwork/xar.h>

#include <cstring>
#include <string>

#include "algo_test_util.h"

namespace {

TEST(SubAlloc, APIExamples) {
  kw_mem_block *blocks = nullptr;
  char *a = static_cast<char *>(block_getmem(&blocks, 10, 64, 0));
  char *b = static_cast<char *>(block_getmem(&blocks, 20, 64, 0));
  EXPECT_EQ(b, a + 16);  // carved at 8-byte boundaries
  std::memset(a, 1, 10);
  std::memset(b, 2, 20);
  char *c = static_cast<char *>(block_getmem(&blocks, 30, 64, 0));  // 36 + 30 > 64
  EXPECT_EQ(xar_count(&blocks), 2);
  EXPECT_EQ(c, blocks[1].block);
  block_truncate(&blocks, 30);
  EXPECT_EQ(blocks[1].used, 0);
  block_rlsmem(&blocks);
  EXPECT_EQ(blocks, nullptr);
}

TEST(SubAlloc, ReserveAndDefaultBlockSize) {
  kw_mem_block *blocks = nullptr;
  block_getmem(&blocks, 100, 0, 0);
  EXPECT_EQ(getmem_area_size(blocks[0].block), size_t{KW_BLOCK_GETMEM_DEFAULT});
  block_getmem(&blocks, 65100, 0, 300);  // would not leave the reserve in block 0
  EXPECT_EQ(xar_count(&blocks), 2);
  block_rlsmem(&blocks);
}

TEST(SubAlloc, OversizedRequestInUserRun) {
  testing::internal::CaptureStdout();
  kw_mem_block *blocks = nullptr;
  EXPECT_EQ(block_getmem(&blocks, 60, 64, 8), nullptr);
  block_truncate(&blocks, 1);  // null array: left alone
  block_getmem(&blocks, 8, 64, 0);
  block_truncate(&blocks, 9);
  EXPECT_EQ(blocks[0].used, 8);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "block_getmem: requested size larger than block!\n"
            "block_truncate: requested size larger than block!\n");
  block_rlsmem(&blocks);
}

TEST(SubAllocDeathTest, OversizedRequestCrashesInDevelopmentRun) {
  EXPECT_DEATH(
      {
        set_run_mode(-1);
        kw_mem_block *blocks = nullptr;
        block_getmem(&blocks, 100, 64, 0);
      },
      "");
}

TEST(SubAlloc, ThreadZones) {
  init_w_getmem();
  void *mine = w_getmem(100);
  std::memset(mine, 7, 100);
  static void *theirs = nullptr;
  thrThread *t = thrThread_Create();
  thrThread_SetUserExecute(
      t,
      [](thrThread *, void *) {
        theirs = w_getmem(100);
        std::memset(theirs, 9, 100);
        return 0;  // the zone goes when the thread ends
      },
      nullptr);
  ASSERT_EQ(thrThread_Execute(t), 0);
  thrThread_Destroy(t);
  EXPECT_NE(theirs, nullptr);
  EXPECT_EQ(static_cast<char *>(mine)[99], 7);
  end_w_getmem();
  EXPECT_NE(w_getmem(8), nullptr);  // a new zone on demand
  end_w_getmem();

  kw::test::Reports reports;
  destroy_w_getmem();
  destroy_w_getmem();
  EXPECT_EQ(reports.take(),
            std::vector<std::string>{"destroy_w_getmem: Attempt to delete w_zone_key twice or to "
                                     "delete uninitialized w_zone_key!"});
}

}  // namespace
