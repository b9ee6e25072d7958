// The directory cache on real directories: lending and returning,
// invalidation by each cache-invalidating wrapper, validation by inotify
// and by modification time with its fallback, slot recycling, the debug
// switch, and listings while another thread writes into the directory.
#include <gtest/gtest.h>
#include <keelwork/btk_os.h>
#include <keelwork/pfa.h>
#include <keelwork/pfadir.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The cache's debug prints so far (standard error is captured).
std::string g_prints;
bool printed(const std::string &part) {
  g_prints += testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  return g_prints.find(part) != std::string::npos;
}

class DirCache : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kw_dc_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    set_nt_directory_caching(1);
    g_prints.clear();
    testing::internal::CaptureStderr();
    pfa_set_dir_cache_debug(1);
  }
  void TearDown() override {
    testing::internal::GetCapturedStderr();
    fs::remove_all(root_);
  }
  std::string path(const std::string &sub) const { return root_ + "/" + sub; }
  void touch(const std::string &sub) { std::ofstream(path(sub)) << sub; }
  // Sets the modification time of a directory `seconds` into the past.
  void age(const std::string &sub, int seconds) {
    btk_utimbuf t{btk_time(nullptr) - seconds, btk_time(nullptr) - seconds};
    ASSERT_EQ(btk_utime(path(sub).c_str(), &t), 0);
  }
  // The names listed in `sub`.
  std::vector<std::string> scan(const std::string &sub = "") {
    vex_file *d = pfa_alloc_dir(path(sub).c_str());
    vex_file **list = nullptr;
    int count = 0;
    EXPECT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
    std::vector<std::string> names;
    char buf[PFA_NAME_SIZE];
    for (int i = 0; i < count; ++i) {
      pfa_get_file_name(list[i], PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION, buf);
      names.push_back(pfa_is_dir(list[i]) ? "dir" : buf);
    }
    pfa_free_scan_list(&list, count);
    pfa_free_vex_file(&d);
    return names;
  }
  bool cached(const std::string &sub = "") {
    return pfadc_find_appdata((path(sub) + "/").c_str()) >= 0;
  }
  std::string root_;
};

TEST_F(DirCache, LendsAndReturnsListings) {
  touch("a.prt.1");
  EXPECT_FALSE(cached());
  EXPECT_EQ(scan(), std::vector<std::string>{"a.prt.1"});
  EXPECT_TRUE(cached());
  EXPECT_TRUE(printed("appended"));

  // The first reader borrows the listing; a second one at the same time
  // reads the directory itself; both see the same entries.
  vex_file *one = pfa_alloc_dir(root_.c_str());
  vex_file *two = pfa_alloc_dir((root_ + "/").c_str());
  vex_file *e = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&e), 0);
  ASSERT_EQ(pfa_open_dir(one), 0);
  EXPECT_TRUE(one->flags & PFA_F_DIR_CACHED);
  ASSERT_EQ(pfa_open_dir(two), 0);
  EXPECT_FALSE(two->flags & PFA_F_DIR_CACHED);
  EXPECT_TRUE(printed("second one the hard way"));
  for (vex_file *d : {one, two}) {
    ASSERT_EQ(pfa_read_dir(d, e), 0);
    char name[PFA_NAME_SIZE];
    pfa_get_file_name(e, PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION, name);
    EXPECT_STREQ(name, "a.prt.1");
    EXPECT_EQ(pfa_read_dir(d, e), PFA_E_NOT_CACHABLE);
    EXPECT_EQ(pfa_rewind_dir(d), 0);
    EXPECT_EQ(pfa_read_dir(d, e), 0);
  }
  EXPECT_EQ(pfadir_close(one), 0);
  EXPECT_EQ(pfadir_close(two), 0);
  // Returned: the next reader borrows it again.
  ASSERT_EQ(pfa_open_dir(two), 0);
  EXPECT_TRUE(two->flags & PFA_F_DIR_CACHED);
  EXPECT_EQ(pfadir_close(two), 0);
  pfa_free_vex_file(&e);
  pfa_free_vex_file(&one);
  pfa_free_vex_file(&two);
}

TEST_F(DirCache, EveryWrapperInvalidates) {
  fs::create_directories(path("d"));
  touch("d/old.prt.1");
  std::string d = path("d") + "/";
  struct {
    const char *what;
    std::function<void()> op;
  } rows[] = {
      {"fopen w", [&] { btk_fclose(dci_fopen((d + "n.prt.1").c_str(), "w")); }},
      {"open create",
       [&] { btk_close_handle(dci_open((d + "n.prt.1").c_str(), 0x1 | 0x100, 0x180)); }},
      {"rename", [&] { dci_rename((d + "old.prt.1").c_str(), (d + "n.prt.1").c_str()); }},
      {"unlink", [&] { dci_unlink((d + "old.prt.1").c_str()); }},
      {"mkdir", [&] { dci_mkdir((d + "sub").c_str(), 0777); }},
      {"rmdir", [&] { dci_rmdir((d + "gone").c_str()); }},
      {"DeleteFile", [&] { dci_DeleteFile((d + "old.prt.1").c_str()); }},
      {"CreateFile",
       [&] {
         btk_close_handle(dci_CreateFile((d + "n.prt.1").c_str(), BTK_GENERIC_WRITE, 0, nullptr,
                                         BTK_CREATE_NEW, 0, nullptr));
       }},
      {"CreateDirectory", [&] { dci_CreateDirectory((d + "sub").c_str(), nullptr); }},
      {"CreateDirectoryEx",
       [&] { dci_CreateDirectoryEx(d.c_str(), (d + "sub").c_str(), nullptr); }},
      {"RemoveDirectory", [&] { dci_RemoveDirectory((d + "gone").c_str()); }},
      {"CopyFile", [&] { dci_CopyFile((d + "old.prt.1").c_str(), (d + "n.prt.1").c_str(), 1); }},
      {"CopyFileEx",
       [&] {
         dci_CopyFileEx((d + "old.prt.1").c_str(), (d + "n.prt.1").c_str(), nullptr, nullptr,
                        nullptr, 0);
       }},
      {"MoveFile", [&] { dci_MoveFile((d + "old.prt.1").c_str(), (d + "n.prt.1").c_str()); }},
      {"MoveFileEx",
       [&] { dci_MoveFileEx((d + "old.prt.1").c_str(), (d + "n.prt.1").c_str(), 1); }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(path("d"));
    fs::create_directories(path("d"));
    touch("d/old.prt.1");
    fs::create_directories(path("d/gone"));
    std::vector<std::string> before = scan("d");
    ASSERT_TRUE(cached("d"));
    row.op();
    // Dropped by the wrapper itself, before any watch is asked.
    EXPECT_FALSE(cached("d"));
    EXPECT_NE(scan("d"), before);
  }
  // Reading does not invalidate.
  scan("d");
  ASSERT_TRUE(cached("d"));
  btk_fclose(dci_fopen((d + "old.prt.1").c_str(), "r"));
  EXPECT_TRUE(cached("d"));
  EXPECT_TRUE(printed("nuked"));
}

TEST_F(DirCache, WrapperResults) {
  std::string a = path("a.txt"), b = path("b.txt");
  touch("a.txt");
  EXPECT_EQ(dci_CopyFile(a.c_str(), b.c_str(), 0), 1);
  EXPECT_EQ(dci_CopyFile(a.c_str(), b.c_str(), 1), 0);  // exists
  EXPECT_EQ(dci_MoveFile(a.c_str(), b.c_str()), 0);     // no replace without the flag
  EXPECT_EQ(dci_MoveFileEx(a.c_str(), b.c_str(), 1), 1);
  EXPECT_FALSE(fs::exists(a));
  int cancel = 1;
  EXPECT_EQ(dci_CopyFileEx(b.c_str(), a.c_str(), nullptr, nullptr, &cancel, 0), 0);
  EXPECT_EQ(dci_DeleteFile(a.c_str()), 0);
  EXPECT_EQ(dci_unlink(a.c_str()), -1);
  EXPECT_EQ(dci_open(a.c_str(), 0, 0), -1);
  int fd = dci_open(a.c_str(), 0x1 | 0x100 | 0x400, 0x180);
  ASSERT_GE(fd, 0);
  btk_close_handle(fd);
  EXPECT_EQ(dci_open(a.c_str(), 0x1 | 0x100 | 0x400, 0x180), -1);  // exclusive
  std::ifstream in(b);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "a.txt");
}

TEST_F(DirCache, DirectoryNameDropsItselfAndParent) {
  fs::create_directories(path("p/c"));
  scan("p");
  scan("p/c");
  ASSERT_TRUE(cached("p"));
  ASSERT_TRUE(cached("p/c"));
  EXPECT_EQ(pfa_file_name_update_dir_cache((path("p/c") + "/").c_str()), 0);
  EXPECT_FALSE(cached("p"));
  EXPECT_FALSE(cached("p/c"));
}

TEST_F(DirCache, OneDirectoryNamedTwoWays) {
  fs::create_directories(path("p/sub"));
  touch("p/a.prt.1");
  struct {
    const char *what;
    std::string name;
  } rows[] = {
      {"plain", path("p")},
      {"with ..", path("p/sub/..")},
      {"relative", "p"},
  };
  fs::path before = fs::current_path();
  fs::current_path(root_);
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    vex_file *d = pfa_alloc_dir(row.name.c_str());
    vex_file **list = nullptr;
    int count = 0;
    ASSERT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
    EXPECT_TRUE(cached("p"));  // one entry serves every spelling
    ASSERT_EQ(count, 2);
    // The entries carry the reader's own location and name real files.
    char dir_loc[PFA_NAME_SIZE], entry_loc[PFA_NAME_SIZE], os[4096];
    pfa_get_file_name(d, PFA_M_DEVICE | PFA_M_PATH, dir_loc);
    for (int i = 0; i < count; ++i) {
      pfa_get_file_name(list[i], PFA_M_DEVICE | PFA_M_PATH, entry_loc);
      EXPECT_TRUE(std::string(entry_loc).starts_with(dir_loc)) << entry_loc << " " << dir_loc;
      ASSERT_EQ(pfa_get_os_path(list[i], os, sizeof os), 0);
      EXPECT_TRUE(fs::exists(os)) << os;
    }
    pfa_free_scan_list(&list, count);
    pfa_free_vex_file(&d);
  }
  // A relative name follows the process's directory, whoever changed it.
  fs::current_path(path("p"));
  vex_file *d = pfa_alloc_dir("sub");
  vex_file **list = nullptr;
  int count = -1;
  ASSERT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
  EXPECT_EQ(count, 0);
  pfa_free_vex_file(&d);
  fs::current_path(before);
}

TEST_F(DirCache, InotifyNoticesOutsideWrites) {
  scan();
  ASSERT_TRUE(cached());
  touch("late.prt.1");  // not through a wrapper
  EXPECT_EQ(scan(), std::vector<std::string>{"late.prt.1"});
  EXPECT_TRUE(printed("STALE"));
  // A change while the listing is being read makes the new entry stale at
  // once.
  vex_file *d = pfa_alloc_dir(root_.c_str());
  vex_file *e = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&e), 0);
  ASSERT_EQ(pfa_open_dir(d), 0);
  touch("during.prt.1");
  while (pfa_read_dir(d, e) == 0) {
  }
  pfadir_close(d);
  EXPECT_EQ(scan().size(), 2u);
  pfa_free_vex_file(&e);
  pfa_free_vex_file(&d);
}

TEST_F(DirCache, ModificationTimeMode) {
  set_nt_directory_caching(2);
  touch("a.prt.1");
  // Modified just now: too recent to trust its time.
  scan();
  EXPECT_FALSE(cached());
  EXPECT_TRUE(printed("too recent"));
  age("", 10);
  scan();
  ASSERT_TRUE(cached());
  scan();
  EXPECT_TRUE(printed(" OK "));
  touch("b.prt.1");  // changes the directory's time
  EXPECT_EQ(scan(), (std::vector<std::string>{"a.prt.1", "b.prt.1"}));
  EXPECT_TRUE(printed("STALE"));

  int64_t t = 0;
  EXPECT_EQ(nt_directory_get_mod_time(root_.c_str(), &t), 0);
  EXPECT_GT(t, 0);
  EXPECT_EQ(nt_directory_get_mod_time(path("missing").c_str(), &t), PFA_E_NOT_FOUND);
}

TEST_F(DirCache, ValidationFunctions) {
  struct {
    int mode;
    int age;
    int cachable;
  } rows[] = {{0, 10, 0}, {1, 0, 1}, {2, 0, 0}, {2, 10, 1}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.mode * 100 + row.age);
    set_nt_directory_caching(row.mode);
    age("", row.age);
    int cachable = -1;
    int64_t note = -1, mtime = -1;
    ASSERT_EQ(nt_directory_cache_init_fields(root_.c_str(), &cachable, &note, &mtime), 0);
    EXPECT_EQ(cachable, row.cachable);
    EXPECT_EQ(note != 0, row.mode == 1);
    if (!cachable) continue;
    EXPECT_EQ(nt_directory_cache_still_valid(root_.c_str(), 1, &note, &mtime), 1);
    touch("x" + std::to_string(row.mode));
    EXPECT_EQ(nt_directory_cache_still_valid(root_.c_str(), 1, &note, &mtime), 0);
    EXPECT_EQ(note, 0);  // closed when stale
  }
  EXPECT_EQ(is_drive_cachable(root_.c_str()), 1);
  set_nt_directory_caching(0);
  EXPECT_EQ(is_drive_cachable(root_.c_str()), 0);
}

TEST_F(DirCache, FallsBackToModificationTimesAtTheWatchLimit) {
  pfa_set_dir_watch_limit(0);
  age("", 10);
  EXPECT_TRUE(scan().empty());
  EXPECT_TRUE(printed("inotify limit reached"));
  ASSERT_TRUE(cached());
  touch("a.prt.1");
  EXPECT_EQ(scan(), std::vector<std::string>{"a.prt.1"});
  pfa_set_dir_watch_limit(-1);
}

TEST_F(DirCache, SlotsAreRecycledAndGrowWhenAllAreLent) {
  // Entries of earlier tests in this process count too.
  const int base = pfa_dir_cache_count();
  std::string max_text = std::to_string(base + 2);
  std::u16string wmax(max_text.begin(), max_text.end());
  EXPECT_EQ(set_dir_cache_max("test", reinterpret_cast<const kw_wchar *>(wmax.c_str())), 256);
  EXPECT_EQ(get_dir_cache_max(), base + 2);
  std::vector<vex_file *> open;
  for (int i = 0; i < 3; ++i) {
    fs::create_directories(path("d" + std::to_string(i)));
    scan("d" + std::to_string(i));
    vex_file *d = pfa_alloc_dir(path("d" + std::to_string(i)).c_str());
    ASSERT_EQ(pfa_open_dir(d), 0);
    open.push_back(d);
  }
  // Every entry is lent: the third still got a slot.
  EXPECT_EQ(pfa_dir_cache_count(), base + 3);
  for (vex_file *&d : open) {
    pfadir_close(d);
    pfa_free_vex_file(&d);
  }
  // Once a second has passed an unlent entry makes room.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  fs::create_directories(path("d3"));
  scan("d3");
  EXPECT_EQ(pfa_dir_cache_count(), base + 3);
  EXPECT_TRUE(cached("d3"));
  EXPECT_TRUE(printed("slot recycled"));
}

TEST_F(DirCache, MaximumAndAlwaysCached) {
  std::u16string bad = u"12x", good = u"40";
  int before = get_dir_cache_max();
  EXPECT_EQ(set_dir_cache_max("m", reinterpret_cast<const kw_wchar *>(bad.c_str())), before);
  EXPECT_EQ(get_dir_cache_max(), before);
  EXPECT_EQ(set_dir_cache_max("m", reinterpret_cast<const kw_wchar *>(good.c_str())), before);
  EXPECT_EQ(get_dir_cache_max(), 40);

  // An always-cached directory is cached with caching off, and expiring
  // the automatic entries keeps it.
  set_nt_directory_caching(0);
  EXPECT_EQ(pfa_set_dir_cache(root_.c_str()), 0);
  scan();
  ASSERT_TRUE(cached());
  EXPECT_EQ(pfa_set_dir_cache(nullptr), 0);
  EXPECT_TRUE(cached());
  EXPECT_EQ(pfadc_get_nt_dir_writable(root_.c_str()), -1);
  EXPECT_EQ(pfadc_set_nt_dir_writable(root_.c_str(), 1), -1);
  EXPECT_EQ(pfadc_get_nt_dir_writable(root_.c_str()), 1);
  EXPECT_EQ(pfadc_set_nt_dir_writable(path("none").c_str(), 1), -2);
  // Trusted until a write drops it.
  touch("a.prt.1");
  EXPECT_TRUE(scan().empty());
  btk_fclose(dci_fopen(path("b.prt.1").c_str(), "w"));
  EXPECT_EQ(scan().size(), 2u);
}

TEST_F(DirCache, WriteWhileReadingKeepsTheListingOut) {
  // An always-cached directory is not validated: only the write's own
  // invalidation can tell that the listing being read missed it.
  set_nt_directory_caching(0);
  ASSERT_EQ(pfa_set_dir_cache(root_.c_str()), 0);
  touch("a.prt.1");
  vex_file *d = pfa_alloc_dir(root_.c_str());
  vex_file *e = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&e), 0);
  ASSERT_EQ(pfa_open_dir(d), 0);
  btk_fclose(dci_fopen(path("b.prt.1").c_str(), "w"));
  while (pfa_read_dir(d, e) == 0) {
  }
  pfadir_close(d);
  EXPECT_FALSE(cached());
  EXPECT_EQ(scan().size(), 2u);
  EXPECT_TRUE(cached());
  pfa_free_vex_file(&e);
  pfa_free_vex_file(&d);
}

TEST(DirCacheDebug, EnvironmentSwitch) {
  struct {
    const char *value;
    bool on;
  } rows[] = {{"false", false}, {"F", false}, {"1", true},
              {"yes", true},    {"", true},   {nullptr, false}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.value ? row.value : "(unset)");
    if (row.value)
      setenv("___DIR_CACHE_DEBUG", row.value, 1);
    else
      unsetenv("___DIR_CACHE_DEBUG");
    pfa_set_dir_cache_debug(-1);
    EXPECT_EQ(pfa_set_dir_cache_debug(-1), row.on ? 1 : 0);
  }
}

TEST_F(DirCache, ListingWhileAnotherThreadWrites) {
  constexpr int kFiles = 200;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < kFiles; ++i) {
      std::string name = path("w" + std::to_string(i) + ".prt.1");
      if (i % 2)
        btk_fclose(dci_fopen(name.c_str(), "w"));
      else
        std::ofstream(name) << i;  // seen only through the watch
    }
    done = true;
  });
  size_t last = 0;
  while (!done) {
    size_t n = scan().size();
    EXPECT_GE(n, last);  // a stale listing would go back
    last = n;
  }
  writer.join();
  EXPECT_EQ(scan().size(), static_cast<size_t>(kFiles));
  EXPECT_EQ(scan().size(), static_cast<size_t>(kFiles));
}

}  // namespace
