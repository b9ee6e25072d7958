#include <gtest/gtest.h>
#include <keelwork/memory.h>
TEST(Memory, Placeholder) { void *p = getmem(10); EXPECT_EQ(getmem_area_size(p), 10u); relmem(&p); EXPECT_EQ(p, nullptr); }
