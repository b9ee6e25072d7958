// Operating-system wrappers.
#include <gtest/gtest.h>
#include <keelwork/btk_os.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

TEST(OsWrappers, EnvironmentEntries) {
  EXPECT_EQ(btk_putenv("KW_OS_TEST=value"), 0);
  EXPECT_STREQ(btk_getenv("KW_OS_TEST"), "value");
  EXPECT_EQ(btk_putenv("KW_OS_TEST="), 0);
  EXPECT_STREQ(btk_getenv("KW_OS_TEST"), "");
  EXPECT_EQ(btk_putenv("KW_OS_TEST"), 0);
  EXPECT_EQ(btk_getenv("KW_OS_TEST"), nullptr);
  EXPECT_EQ(btk_putenv("=x"), -1);
  EXPECT_EQ(btk_putenv(nullptr), -1);
}

TEST(OsWrappers, FilesAndStatus) {
  std::string dir = std::string(::testing::TempDir()) + "kwos" + std::to_string(getpid());
  ASSERT_EQ(btk_mkdir(dir.c_str(), 0700), 0);
  std::string file = dir + "/f.txt";
  FILE *f = btk_fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC);
  btk_fputs("hello\n", f);
  btk_fclose(f);
  btk_stat_t st;
  ASSERT_EQ(btk_stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.size, 6);
  EXPECT_EQ(st.mode & BTK_S_IFMT, static_cast<uint32_t>(BTK_S_IFREG));
  btk_utimbuf times = {1000000000, 1000000000};
  ASSERT_EQ(btk_utime(file.c_str(), &times), 0);
  ASSERT_EQ(btk_stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.mtime, 1000000000);
  kw_wchar wide[256] = {};
  std::u16string wpath(file.begin(), file.end());
  std::copy(wpath.begin(), wpath.end(), wide);
  FILE *g = btk_wfopen(wide, u"r");
  ASSERT_NE(g, nullptr);
  char line[16];
  EXPECT_STREQ(btk_fgets(line, sizeof line, g), "hello\n");
  btk_fclose(g);
  EXPECT_EQ(btk_rename(file.c_str(), (file + "2").c_str()), 0);
  EXPECT_EQ(btk_access(file.c_str(), 0), -1);
  EXPECT_EQ(btk_unlink((file + "2").c_str()), 0);
  EXPECT_EQ(btk_rmdir(dir.c_str()), 0);
  EXPECT_EQ(btk_stat(nullptr, &st), -1);
}

TEST(OsWrappers, HandlesWithWindowsDispositions) {
  std::string path = std::string(::testing::TempDir()) + "kwh" + std::to_string(getpid());
  intptr_t h = uCreateFile(path.c_str(), BTK_GENERIC_WRITE, 0, nullptr, BTK_CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, BTK_INVALID_HANDLE);
  EXPECT_EQ(btk_write_handle(h, "abc", 3), 3);
  btk_close_handle(h);
  EXPECT_EQ(uCreateFile(path.c_str(), BTK_GENERIC_WRITE, 0, nullptr, BTK_CREATE_NEW, 0, nullptr),
            BTK_INVALID_HANDLE);  // exists already
  h = uCreateFile(path.c_str(), BTK_GENERIC_READ, 0, nullptr, BTK_OPEN_EXISTING, 0, nullptr);
  char buf[4] = {};
  EXPECT_EQ(btk_read_handle(h, buf, 4), 3);
  EXPECT_STREQ(buf, "abc");
  btk_close_handle(h);
  btk_unlink(path.c_str());
  EXPECT_EQ(uCreateFile(path.c_str(), BTK_GENERIC_READ, 0, nullptr, BTK_OPEN_EXISTING, 0, nullptr),
            BTK_INVALID_HANDLE);
}

TEST(OsWrappers, ProcessesAndExitStatuses) {
  EXPECT_EQ(btk_system("exit 3"), 3);
  EXPECT_EQ(btk_system("kill -TERM $$"), 128 + 15);
  const char *argv[] = {"sh", "-c", "exit 5", nullptr};
  EXPECT_EQ(btk_spawnv(BTK_P_WAIT, "/bin/sh", argv), 5);
  EXPECT_EQ(btk_spawnvp(BTK_P_WAIT, "sh", argv), 5);
  EXPECT_EQ(btk_spawnv(BTK_P_WAIT, "/nonexistent/program", argv), -1);
  EXPECT_EQ(btk_system(nullptr), 1);
}

TEST(OsWrappers, MachineFacts) {
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_STREQ(get_tmp_dir(), "/var/tmp");
  EXPECT_GT(std::string(get_btk_user()).size(), 0u);
  EXPECT_GT(std::string(get_btk_fullhost()).size(), 0u);
  EXPECT_EQ(btkIsDebuggerPresent(), 0);
  int64_t t = 0;
  EXPECT_EQ(btk_time(&t), t);
  EXPECT_GT(t, 1700000000);
}

}  // namespace
