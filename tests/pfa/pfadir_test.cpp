// Directory listings on real directories: reading and rewinding, sorted
// scans with their flags, filters, order and duplicate rule, wildcard
// directories and the special listings of drives and UNC servers.
#include <gtest/gtest.h>
#include <keelwork/objtype.h>
#include <keelwork/pfa.h>
#include <keelwork/pfadir.h>
#include <keelwork/btk_registry.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::u16string w(const char *s) {
  std::u16string out;
  while (*s) out += static_cast<char16_t>(*s++);
  return out;
}
const kw_wchar *wc(const std::u16string &s) {
  return reinterpret_cast<const kw_wchar *>(s.c_str());
}

class Listing : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kw_dir_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    set_nt_directory_caching(0);  // these tests read the disk every time
  }
  void TearDown() override { fs::remove_all(root_); }
  void make(const std::vector<std::string> &names) {
    for (const std::string &n : names) {
      if (n.back() == '/')
        fs::create_directories(root_ + "/" + n);
      else
        std::ofstream(root_ + "/" + n) << n;
    }
  }
  vex_file *dir(const std::string &sub = "") {
    vex_file *d = pfa_alloc_dir((root_ + "/" + sub).c_str());
    EXPECT_NE(d, nullptr);
    return d;
  }
  // The names of a scan as "name/" for directories and "name.ext.N" for
  // files.
  std::vector<std::string> scan(int flags, const char *filter = nullptr, int mode = 0,
                                const std::string &sub = "") {
    vex_file *d = dir(sub);
    vex_file **list = nullptr;
    int count = -1;
    std::u16string wf = filter ? w(filter) : u"";
    int r = pfa_scandir_simple(d, flags, filter ? wc(wf) : nullptr, &list, &count, mode);
    EXPECT_EQ(r, 0);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(shown(list[i]));
    pfa_free_scan_list(&list, count);
    pfa_free_vex_file(&d);
    return names;
  }
  static std::string shown(const vex_file *e) {
    char buf[PFA_NAME_SIZE];
    if (pfa_is_dir(e)) {
      pfa_get_name(e, buf);
      return std::string(buf) + "/";
    }
    pfa_get_file_name(e, PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION, buf);
    return buf;
  }
  std::string root_;
};

TEST_F(Listing, ReadRewindAndClose) {
  make({"a.prt.1", "b.asm.2", "sub/"});
  vex_file *d = dir();
  vex_file *e = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&e), 0);
  EXPECT_EQ(pfa_read_dir(d, e), PFA_E_INACTIVE);
  ASSERT_EQ(pfa_open_dir(d), 0);
  EXPECT_EQ(pfa_open_dir(d), PFA_E_NOT_ALLOWED);
  EXPECT_EQ(pfa_read_dir(d, nullptr), PFA_E_NOT_VALID);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    std::vector<std::string> seen;
    int r;
    while ((r = pfa_read_dir(d, e)) == 0) {
      seen.push_back(shown(e));
      EXPECT_TRUE(e->flags & PFA_F_AS_ON_DISK);
      char parent[PFA_NAME_SIZE], mine[PFA_NAME_SIZE];
      pfa_get_file_name(d, PFA_M_DEVICE | PFA_M_PATH, mine);
      vex_file *up = pfa_alloc_parent(e);
      ASSERT_NE(up, nullptr);
      pfa_get_file_name(up, PFA_M_DEVICE | PFA_M_PATH, parent);
      EXPECT_STREQ(parent, mine);
      pfa_free_vex_file(&up);
    }
    EXPECT_EQ(r, PFA_E_NOT_CACHABLE);
    EXPECT_EQ(pfa_read_dir(d, e), PFA_E_NOT_CACHABLE);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"a.prt.1", "b.asm.2", "sub/"}));
    EXPECT_EQ(pfa_rewind_dir(d), 0);
  }
  EXPECT_EQ(pfadir_close(d), 0);
  EXPECT_EQ(pfadir_close(d), PFA_E_INACTIVE);
  EXPECT_FALSE(pfa_file_is_open(d));
  pfa_free_vex_file(&e);
  pfa_free_vex_file(&d);
}

TEST_F(Listing, OpenRefusals) {
  make({"a.prt.1"});
  vex_file *f = pfa_alloc_file((root_ + "/a.prt.1").c_str());
  EXPECT_EQ(pfa_open_dir(f), PFA_E_INVALID_INPUT);
  EXPECT_EQ(pfa_open_dir(nullptr), PFA_E_NOT_VALID);
  vex_file *missing = dir("nope");
  EXPECT_EQ(pfa_open_dir(missing), PFA_E_NOT_FOUND);
  EXPECT_FALSE(pfa_file_is_open(missing));
  vex_file **list = nullptr;
  int count = 0;
  EXPECT_EQ(pfa_scandir(missing, 0, nullptr, &list, &count), PFA_E_CANT_OPEN);
  EXPECT_EQ(pfa_scandir(missing, 0, nullptr, nullptr, &count), PFA_E_INVALID_INPUT);
  EXPECT_EQ(pfa_scandir(missing, 0, nullptr, &list, nullptr), PFA_E_INVALID_INPUT);
  pfa_free_vex_file(&f);
  pfa_free_vex_file(&missing);
}

TEST_F(Listing, EmptyDirectory) {
  vex_file *d = dir();
  vex_file **list = reinterpret_cast<vex_file **>(&list);
  int count = -1;
  EXPECT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(list, nullptr);
  EXPECT_FALSE(pfa_file_is_open(d));
  pfa_free_vex_file(&d);
}

TEST_F(Listing, OrderAndDuplicates) {
  // prt refuses mixed case: Bracket.prt.1 and bracket.prt.1 are the same
  // file to the application; txt keeps case, so both text files stay.
  ASSERT_FALSE(type_to_mixed_case_OK(extension_to_type("prt")));
  make({"zeta/", "Alpha/", "b.prt.10", "b.prt.2", "b.prt.1", "b.prt", "a.asm.1", "Bracket.prt.1",
        "bracket.prt.1", "Notes.txt", "notes.txt", "b-2.prt.1"});
  std::vector<std::string> got = scan(PFA_SCAN_HIDDEN);
  ASSERT_EQ(got.size(), 11u);
  EXPECT_EQ(got[0], "Alpha/");
  EXPECT_EQ(got[1], "zeta/");
  EXPECT_EQ(got[2], "Notes.txt");
  EXPECT_EQ(got[3], "a.asm.1");
  EXPECT_EQ(got[4], "b-2.prt.1");
  EXPECT_EQ((std::vector<std::string>(got.begin() + 5, got.begin() + 9)),
            (std::vector<std::string>{"b.prt", "b.prt.1", "b.prt.2", "b.prt.10"}));
  EXPECT_TRUE(got[9] == "Bracket.prt.1" || got[9] == "bracket.prt.1") << got[9];
  EXPECT_EQ(got[10], "notes.txt");
}

TEST_F(Listing, ScanFlags) {
  make({"sub/", ".hidden", "a.prt.1", "a.prt.3", "a.prt", "b.asm.2", "b.asm.5"});
  struct {
    const char *what;
    int flags;
    std::vector<std::string> expected;
  } rows[] = {
      {"plain", 0, {"sub/", "a.prt", "a.prt.1", "a.prt.3", "b.asm.2", "b.asm.5"}},
      {"hidden",
       PFA_SCAN_HIDDEN,
       {"sub/", ".hidden", "a.prt", "a.prt.1", "a.prt.3", "b.asm.2", "b.asm.5"}},
      {"dirs only", PFA_SCAN_DIRS_ONLY, {"sub/"}},
      {"files only", PFA_SCAN_FILES_ONLY, {"a.prt", "a.prt.1", "a.prt.3", "b.asm.2", "b.asm.5"}},
      {"highest", PFA_SCAN_HIGHEST, {"sub/", "a.prt.3", "b.asm.5"}},
      {"separate", PFA_SCAN_SEPARATE | PFA_SCAN_HIGHEST, {"sub/", "a.prt.3", "b.asm.5"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(scan(row.flags), row.expected);
  }
  // Separately allocated records can be kept after the list goes.
  vex_file *d = dir();
  vex_file **list = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir(d, PFA_SCAN_SEPARATE, nullptr, &list, &count), 0);
  ASSERT_GT(count, 1);
  vex_file *kept = list[1];
  list[1] = nullptr;
  pfa_free_scan_list(&list, count);
  EXPECT_TRUE(pfa_is_valid(kept));
  EXPECT_EQ(pfa_free_vex_file(&kept), 0);
  pfa_free_vex_file(&d);
}

TEST_F(Listing, KeepOpenScansAgain) {
  make({"a.prt.1"});
  vex_file *d = dir();
  vex_file **list = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir(d, PFA_SCAN_KEEP_OPEN, nullptr, &list, &count), 0);
  EXPECT_TRUE(pfa_file_is_open(d));
  pfa_free_scan_list(&list, count);
  make({"b.prt.1"});
  ASSERT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(pfa_file_is_open(d));
  pfa_free_scan_list(&list, count);
  pfa_free_vex_file(&d);
}

TEST_F(Listing, Filters) {
  make({"sub/", "gear/", "a.prt.1", "B.PRT.2", "gear.asm.1", "gear.drw.1", "readme.txt", "x.prtx"});
  // B.PRT.2 is a part, whose names compare in lower case.
  struct {
    const char *filter;
    int mode;
    std::vector<std::string> expected;
  } rows[] = {
      {"",
       0,
       {"gear/", "sub/", "a.prt.1", "B.PRT.2", "gear.asm.1", "gear.drw.1", "readme.txt", "x.prtx"}},
      {"*",
       0,
       {"gear/", "sub/", "a.prt.1", "B.PRT.2", "gear.asm.1", "gear.drw.1", "readme.txt", "x.prtx"}},
      {"Select Dir",
       0,
       {"gear/", "sub/", "a.prt.1", "B.PRT.2", "gear.asm.1", "gear.drw.1", "readme.txt", "x.prtx"}},
      // A known type matches its files whatever the case of the extension.
      {"*.prt", 0, {"gear/", "sub/", "a.prt.1", "B.PRT.2"}},
      {"*.asm, *.drw", 0, {"gear/", "sub/", "gear.asm.1", "gear.drw.1"}},
      {"gear*", 0, {"gear/", "sub/", "gear.asm.1", "gear.drw.1"}},
      {"*.txt", 0, {"gear/", "sub/", "readme.txt"}},
      // Mode 1 filters the directories too.
      {"gear*", 1, {"gear/", "gear.asm.1", "gear.drw.1"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.filter);
    EXPECT_EQ(scan(0, row.filter, row.mode), row.expected);
  }
  Pfa_Scan_Filter f;
  std::u16string text = u"*.prt,notes*";
  ASSERT_EQ(wstring_to_Pfa_Scan_FIlter(wc(text), 3, 7, &f), 0);
  EXPECT_EQ(f.count, 2);
  EXPECT_EQ(f.mode, 3);
  EXPECT_EQ(f.option, 7);
  EXPECT_EQ(f.typed[0], extension_to_type("prt"));
  EXPECT_EQ(f.typed[1], -1);
  pfa_clean_scan_filter(&f);
  EXPECT_EQ(f.count, 0);
  EXPECT_EQ(wstring_to_Pfa_Scan_FIlter(wc(text), 0, 0, nullptr), PFA_E_INVALID_INPUT);
}

TEST_F(Listing, NamesArray) {
  make({"a.prt.1", "sub/"});
  vex_file *d = dir();
  char **names = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir_to_array(d, 0, nullptr, &names, &count), 0);
  ASSERT_EQ(count, 2);
  vex_file *back = pfa_alloc_file(names[1]);
  ASSERT_NE(back, nullptr);
  char os_path[4096];
  ASSERT_EQ(pfa_get_os_path(back, os_path, sizeof os_path), 0);
  EXPECT_EQ(std::string(os_path), root_ + "/a.prt.1");
  EXPECT_TRUE(std::string(names[0]).ends_with("sub\\")) << names[0];
  pfa_free_vex_file(&back);
  pfa_free_name_array(&names, count);
  EXPECT_EQ(names, nullptr);
  pfa_free_vex_file(&d);
}

TEST_F(Listing, SortPointers) {
  make({"b.prt.2", "sub/", "b.prt.1", "a.asm.1"});
  vex_file *d = dir();
  vex_file **list = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
  std::vector<vex_file *> shuffled(list, list + count);
  std::reverse(shuffled.begin(), shuffled.end());
  sort_pfa_ptrs(shuffled.data(), count);
  EXPECT_EQ(shuffled, std::vector<vex_file *>(list, list + count));
  pfa_free_scan_list(&list, count);
  pfa_free_vex_file(&d);
}

TEST_F(Listing, WildcardDirectory) {
  make({"gear.asm.1", "gear.asm.2", "pump.asm.1", "gear.prt.1", "sub/"});
  vex_file *d = dir();
  vex_file *wild = nullptr;
  std::u16string pattern = u"gear*";
  ASSERT_EQ(pfa_make_wildcard_dir(d, wc(pattern), nullptr, &wild), 0);
  EXPECT_TRUE(pfa_is_wildcard_dir(wild));
  EXPECT_FALSE(pfa_is_wildcard_dir(d));
  vex_file **list = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir(wild, 0, nullptr, &list, &count), 0);
  std::vector<std::string> got;
  for (int i = 0; i < count; ++i) got.push_back(shown(list[i]));
  EXPECT_EQ(got, (std::vector<std::string>{"gear.asm.1", "gear.asm.2", "gear.prt.1"}));
  // The matches live in the real directory.
  char os_path[4096];
  ASSERT_GT(count, 0);
  ASSERT_EQ(pfa_get_os_path(list[0], os_path, sizeof os_path), 0);
  EXPECT_EQ(std::string(os_path), root_ + "/gear.asm.1");
  pfa_free_scan_list(&list, count);

  std::u16string too_long(251, u'x');
  vex_file *none = nullptr;
  EXPECT_EQ(pfa_make_wildcard_dir(d, wc(too_long), nullptr, &none), PFA_E_INVALID_INPUT);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(pfa_wildcard_search(d, "x*", nullptr), PFA_E_INVALID_INPUT);
  int result = 0;
  EXPECT_EQ(pfa_wildcard_search(d, "x*", &result), PFA_E_NOT_FOUND);  // no such method
  pfa_free_vex_file(&wild);
  pfa_free_vex_file(&d);
}

TEST_F(Listing, AllDrivesListsMappedLetters) {
  fs::create_directories(root_ + "/q");
  fs::create_directories(root_ + "/r");
  for (char c = 'A'; c <= 'Z'; ++c) unsetenv((std::string("KEELWORK_DRIVE_") + c).c_str());
  setenv("KEELWORK_DRIVE_R", (root_ + "/r").c_str(), 1);
  setenv("KEELWORK_DRIVE_Q", (root_ + "/q").c_str(), 1);
  vex_file *drives = pfa_alloc_dir("pfafs:drives");
  ASSERT_NE(drives, nullptr);
  vex_file **list = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir(drives, 0, nullptr, &list, &count), 0);
  std::vector<std::string> got;
  char name[PFA_NAME_SIZE];
  for (int i = 0; i < count; ++i) {
    pfa_get_full_name(list[i], name);
    got.push_back(name);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"Q:\\", "R:\\"}));
  pfa_free_scan_list(&list, count);
  pfa_free_vex_file(&drives);
}

TEST_F(Listing, DrivePoliciesHideAndRefuseDrives) {
  // The policies are read once per process; ctest runs each test in its own.
  setenv("KEELWORK_REGISTRY_FILE", (root_ + "/policy.ini").c_str(), 1);
  btkRegistryKey policy("Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer");
  ASSERT_TRUE(policy.SetDword("NoDrives", 1u << ('Q' - 'A')));
  ASSERT_TRUE(policy.SetDword("NoViewOnDrive", 1u << ('R' - 'A')));
  for (char c : {'Q', 'R', 'S'}) {
    fs::create_directories(root_ + "/" + c);
    setenv((std::string("KEELWORK_DRIVE_") + c).c_str(), (root_ + "/" + c).c_str(), 1);
  }
  EXPECT_EQ(nt_is_allowed_drive('r'), 0);
  EXPECT_EQ(nt_is_allowed_drive('Q'), 1);  // hidden from the list, still usable
  vex_file *drives = pfa_alloc_dir("pfafs:drives");
  ASSERT_NE(drives, nullptr);
  vex_file **list = nullptr;
  int count = 0;
  ASSERT_EQ(pfa_scandir(drives, 0, nullptr, &list, &count), 0);
  std::vector<std::string> got;
  char name[PFA_NAME_SIZE];
  for (int i = 0; i < count; ++i) got.push_back((pfa_get_full_name(list[i], name), name));
  EXPECT_EQ(got, (std::vector<std::string>{"R:\\", "S:\\"}));
  pfa_free_scan_list(&list, count);
  pfa_free_vex_file(&drives);
  vex_file *f = pfa_alloc_file("r:\\a.txt");
  char os_path[4096];
  EXPECT_EQ(pfa_get_os_path(f, os_path, sizeof os_path), PFA_E_NO_ACCESS);
  pfa_free_vex_file(&f);
}

TEST_F(Listing, UncServerListsShares) {
  fs::create_directories(root_ + "/srv/share1/deep");
  fs::create_directories(root_ + "/srv/share2");
  std::ofstream(root_ + "/srv/stray.txt") << "x";
  fs::create_directories(root_ + "/other");
  setenv("KEELWORK_UNC_ROOT", root_.c_str(), 1);
  struct {
    const char *name;
    std::vector<std::string> expected;
  } rows[] = {
      {"//srv/", {"share1/", "share2/"}},
      {"//", {"other/", "srv/"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    vex_file *d = pfa_alloc_dir(row.name);
    ASSERT_NE(d, nullptr);
    vex_file **list = nullptr;
    int count = 0;
    ASSERT_EQ(pfa_scandir(d, 0, nullptr, &list, &count), 0);
    std::vector<std::string> got;
    for (int i = 0; i < count; ++i) got.push_back(shown(list[i]));
    EXPECT_EQ(got, row.expected);
    pfa_free_scan_list(&list, count);
    pfa_free_vex_file(&d);
  }
}

}  // namespace
