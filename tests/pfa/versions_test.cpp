// Versions on real directories (highest, next, lists, case), the directory
// decision and drive mapping, the desktop registration of numeric
// extensions, and family names with the wide-name parsers.
#include <gtest/gtest.h>
#include <keelwork/memory.h>
#include <keelwork/pfa.h>
#include <keelwork/xar.h>
#include <keelwork/btk_registry.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "algo/algo_test_util.h"

namespace fs = std::filesystem;

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kw_pfa_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("KEELWORK_DRIVE_Q", root_.c_str(), 1);
    setenv("KEELWORK_REGISTRY_FILE", (root_ + "/registry.ini").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }
  void touch(const std::string &name) { std::ofstream(root_ + "/" + name) << "x"; }
  vex_file *file(const char *name) {
    vex_file *f = pfa_alloc_nondir_file(name);
    EXPECT_NE(f, nullptr);
    return f;
  }
  std::string root_;
};

using FileVersions = TempDir;

TEST_F(FileVersions, HighestAndNext) {
  struct {
    std::vector<const char *> present;
    int highest_rc, highest, next;
  } rows[] = {
      {{"a.prt.3", "a.prt.7"}, 0, 7, 8},
      {{"a.prt"}, 0, 0, 2},
      {{}, PFA_E_NOT_FOUND, 0, 1},
      {{"a.prt.07", "a.prt.x", "a.prt.0", "ab.prt.9", "a.prt.3.1"}, PFA_E_NOT_FOUND, 0, 1},
      {{"a.prt", "a.prt.2", "a.prt.-4"}, 0, 2, 3},
      {{"a.prt.32767"}, 0, 32767, 0},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.present.empty() ? "(none)" : row.present[0]);
    for (const auto &e : fs::directory_iterator(root_)) fs::remove_all(e.path());
    for (const char *name : row.present) touch(name);
    vex_file *f = file("q:\\a.prt");
    int v = -1;
    EXPECT_EQ(pfa_get_file_vers(f, 1, &v), row.highest_rc);
    if (row.highest_rc == 0) {
      EXPECT_EQ(v, row.highest);
    }
    if (row.next == 0) {
      EXPECT_EQ(pfa_get_file_vers(f, 2, &v), PFA_E_INVALID_NAME);  // no version is left
    } else {
      ASSERT_EQ(pfa_set_to_next_version(f), 0);
      EXPECT_EQ(pfa_get_version(f), row.next);
    }
    EXPECT_EQ(pfa_get_file_vers(f, 3, &v), PFA_E_INVALID_INPUT);
    pfa_free_vex_file(&f);
  }
}

TEST_F(FileVersions, ListsAndCase) {
  for (const char *name : {"a.prt.5", "a.prt", "A.PRT.9", "a.prt.2"}) touch(name);
  vex_file *f = file("q:\\a.prt.5");
  int16_t *list = nullptr;
  ASSERT_EQ(pfa_get_versions(f, &list), 3);  // the exact case wins on this location
  EXPECT_EQ(std::vector<int16_t>(list, list + 3), (std::vector<int16_t>{0, 2, 5}));
  xar_free(&list);
  int v = 0;
  EXPECT_EQ(pfa_set_to_highest_version(f, &v), 0);
  EXPECT_EQ(v, 5);
  // A name that only differs in case finds the entries on disk.
  vex_file *g = file("q:\\b.prt");
  fs::remove(root_ + "/a.prt");
  fs::remove(root_ + "/a.prt.5");
  fs::remove(root_ + "/a.prt.2");
  touch("B.PRT.4");
  EXPECT_EQ(pfa_get_file_vers(g, 1, &v), 0);
  EXPECT_EQ(v, 4);
  pfa_free_vex_file(&g);

  std::u16string wname = u"q:\\a.prt";
  int16_t *all = nullptr;
  touch("a.prt");
  touch("a.prt.3");
  EXPECT_EQ(vex_get_all_versions(wname.c_str(), &all), 2);
  EXPECT_EQ(std::vector<int16_t>(all, all + 2), (std::vector<int16_t>{1, 3}));  // 0 counts as 1
  relmem(&all);
  EXPECT_EQ(vex_get_highest_version(wname.c_str()), 3);
  EXPECT_EQ(vex_file_highest_version("q:\\none.prt"), 0);
  touch("solo.prt");
  EXPECT_EQ(vex_get_highest_version(u"q:\\solo.prt"), 0);
  set_orma_local_model_versioning(1);
  EXPECT_EQ(vex_get_highest_version(u"q:\\solo.prt"), 1);
  set_orma_local_model_versioning(0);
  EXPECT_TRUE(fname_has_version(u"q:\\a.prt.3"));
  EXPECT_FALSE(fname_has_version(u"q:\\a.prt"));
  vex_file *h = file("q:\\a.prt.3");
  vex_file *i = file("q:\\a.prt.3");
  EXPECT_TRUE(pfa_same_versions(h, i));
  pfa_put_version(i, 4);
  EXPECT_FALSE(pfa_same_versions(h, i));
  pfa_free_vex_file(&h);
  pfa_free_vex_file(&i);
  pfa_free_vex_file(&f);
}

TEST_F(FileVersions, DirectoriesAndDriveMapping) {
  fs::create_directory(root_ + "/sub.prt");
  fs::create_directory(root_ + "/plain");
  touch("file.prt");
  vex_file *f = pfa_alloc_file("q:\\sub.prt");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(pfa_is_dir(f));  // the location found a directory
  char buf[PFA_NAME_SIZE * 2];
  ASSERT_EQ(pfa_get_full_name(f, buf), 0);
  EXPECT_STREQ(buf, "q:\\sub.prt\\");
  ASSERT_EQ(pfa_get_os_path(f, buf, sizeof buf), 0);
  EXPECT_EQ(std::string(buf), root_ + "/sub.prt");
  pfa_free_vex_file(&f);
  f = pfa_alloc_file("Q:\\PLAIN");  // found ignoring case
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(pfa_is_dir(f));
  pfa_free_vex_file(&f);
  f = pfa_alloc_file("q:\\file.prt");
  EXPECT_FALSE(pfa_is_dir(f));
  EXPECT_EQ(pfaloc_call_FII(PFALOC_PfaAccess, f, 0, 0), 0);
  pfa_free_vex_file(&f);
  f = pfa_alloc_nondir_file("q:\\sub.prt");
  EXPECT_FALSE(pfa_is_dir(f));
  pfa_free_vex_file(&f);
  f = pfa_alloc_file("z:\\x.prt");  // an unmapped drive maps nowhere
  EXPECT_EQ(pfa_get_os_path(f, buf, sizeof buf), PFA_E_NOT_FOUND);
  EXPECT_EQ(pfaloc_call_FII(PFALOC_PfaAccess, f, 0, 0), PFA_E_NOT_FOUND);
  pfa_free_vex_file(&f);
  setenv("KEELWORK_UNC_ROOT", root_.c_str(), 1);
  f = pfa_alloc_file("\\\\srv\\share\\a.prt");
  ASSERT_EQ(pfa_get_os_path(f, buf, sizeof buf), 0);
  EXPECT_EQ(std::string(buf), root_ + "/srv/share/a.prt");
  pfa_free_vex_file(&f);
  f = pfa_alloc_file("//");
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaIsFolder, f), PFA_E_EXIST);  // the network root
  pfa_free_vex_file(&f);
}

TEST_F(FileVersions, NumericExtensionsAreRegisteredOnce) {
  btkRegistryKey key("Software\\KST");
  ASSERT_TRUE(key.SetDword("ormaFileVers", 120));  // read once, at the first version handed out
  vex_file *f = file("q:\\a.prt");
  touch("a.prt.2");
  int v = 0;
  ASSERT_EQ(pfa_get_file_vers(f, 2, &v), 0);  // no open command: nothing is written
  EXPECT_FALSE(btkRegistryKey("Software\\Classes\\.3").Exists());
  pfa_free_vex_file(&f);
  ASSERT_TRUE(key.SetString("ormamsg", "vhub \"%1\""));
  EXPECT_EQ(set_ntver_open_with_msg("Open in vhub"), 0);
  EXPECT_EQ(ntver_insure_version_registered(125), 0);
  std::string value;
  EXPECT_TRUE(btkRegistryKey("Software\\Classes\\.121").GetString("@", value));
  EXPECT_EQ(value, "ormaFile");
  EXPECT_FALSE(btkRegistryKey("Software\\Classes\\.123").Exists());  // belongs to others
  EXPECT_FALSE(btkRegistryKey("Software\\Classes\\.120").Exists());
  EXPECT_TRUE(btkRegistryKey("Software\\Classes\\ormaFile\\shell\\Open").GetString("@", value));
  EXPECT_EQ(value, "Open in vhub");
  uint32_t reached = 0;
  EXPECT_TRUE(key.GetDword("ormaFileVers", reached));
  EXPECT_EQ(reached, 125u);
  EXPECT_EQ(ntver_insure_version_registered(1200), 0);
  EXPECT_TRUE(key.GetDword("ormaFileVers", reached));
  EXPECT_EQ(reached, 999u);  // never above 999
  EXPECT_EQ(set_ntver_open_with_msg(std::string(260, 'x').c_str()), PFA_E_INVALID_INPUT);
}

// ---- family names and wide-name parsers ----------------------------------------------------

TEST(Family, BuildAndSplit) {
  kw_wchar out[PFA_NAME_SIZE], gen[PFA_NAME_SIZE], inst[PFA_NAME_SIZE];
  struct {
    const char16_t *dir, *inst, *gen, *ext;
    int version;
    const char16_t *out;
  } rows[] = {{nullptr, u"bolt_m6", u"bolt", nullptr, 0, u"bolt_m6<bolt>"},
              {nullptr, u"", u"bolt", nullptr, 0, u"bolt"},
              {nullptr, u"bolt", u"bolt", nullptr, 0, u"bolt"},
              {u"c:\\lib", u"m6", u"bolt", u"prt", 3, u"c:\\lib\\m6<bolt>.prt.3"},
              {u"c:\\lib/", u"m6", u"bolt", u"prt", 0, u"c:\\lib/m6<bolt>.prt"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.out, row.out + std::char_traits<char16_t>::length(row.out)));
    ASSERT_EQ(make_family_fullname_low(row.dir, row.inst, row.gen, row.ext, row.version, out), 0);
    EXPECT_EQ(std::u16string(out), row.out);
  }
  ASSERT_EQ(make_family_name_w_ext(u"m6", u"bolt", 2, out), 0);
  EXPECT_EQ(std::u16string(out), u"m6<bolt>.prt");
  std::u16string big(250, u'x');
  EXPECT_EQ(make_family_fullname_low(big.c_str(), u"abc", u"defgh", u"prt", 0, out), PFA_E_ERROR);

  ASSERT_EQ(split_family_name(u"m6<bolt>", gen, inst), 0);
  EXPECT_EQ(std::u16string(gen), u"bolt");
  EXPECT_EQ(std::u16string(inst), u"m6");
  ASSERT_EQ(split_family_name(u"m6<bolt>x", gen, inst), 0);  // '>' not last: no family
  EXPECT_EQ(std::u16string(gen), u"m6<bolt>x");
  EXPECT_EQ(std::u16string(inst), u"");
  EXPECT_EQ(split_family_name(nullptr, gen, inst), 92);
  EXPECT_TRUE(is_family_name(u"c:\\lib\\m6<bolt>.prt"));
  EXPECT_FALSE(is_family_name(u"c:\\a<b\\m6.prt"));
  EXPECT_FALSE(is_family_name(u"m6>bolt<.prt"));

  struct {
    const char16_t *in;
    int rc;
    const char16_t *rest, *gen;
  } extracts[] = {{u"d\\m6<bolt>.prt", 0, u"d\\m6.prt", u"bolt"},
                  {u"m6.prt", 0, u"m6.prt", u""},
                  {u"m6<bolt.prt", PFA_E_NOT_VALID, u"", u""},
                  {u"m6<bo>lt>.prt", PFA_E_NOT_VALID, u"", u""}};
  for (const auto &row : extracts) {
    ASSERT_EQ(filename_extract_gen_and_inst(row.in, out, gen), row.rc);
    EXPECT_EQ(std::u16string(out), row.rest);
    EXPECT_EQ(std::u16string(gen), row.gen);
  }
  ASSERT_EQ(get_gen_name(u"c:\\lib\\m6<bolt>.prt.3", out), 0);
  EXPECT_EQ(std::u16string(out), u"c:\\lib\\bolt.prt.3");
}

TEST(Family, RecordsAndParsers) {
  vex_file *f = pfa_alloc_nondir_file("c:\\lib\\m6<bolt>.prt");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(pfa_is_generic_in_name(f));
  char gen[PFA_NAME_SIZE], inst[PFA_NAME_SIZE];
  ASSERT_EQ(pfa_get_family_name(f, gen, inst), 0);
  EXPECT_STREQ(gen, "bolt");
  EXPECT_STREQ(inst, "m6");
  kw_wchar wgen[PFA_NAME_SIZE], winst[PFA_NAME_SIZE];
  EXPECT_EQ(pfa_get_vex_family_wname(f, wgen, winst), 0);
  pfa_put_name(f, ("m6<" + std::string(32, 'g') + ">").c_str());
  EXPECT_EQ(pfa_get_vex_family_wname(f, wgen, winst), PFA_E_NO_SPACE);
  pfa_free_vex_file(&f);

  kw_wchar *dir, *name, *ext, *ver, *g, *i;
  ASSERT_EQ(parse_filename(u"c:\\w\\a.prt.3", &dir, &name, &ext, &ver), 0);
  EXPECT_EQ(std::u16string(dir), u"c:\\w\\");
  EXPECT_EQ(std::u16string(name), u"a");
  EXPECT_EQ(std::u16string(ext), u"prt");
  EXPECT_EQ(std::u16string(ver), u"3");
  ASSERT_EQ(parse_filename(u"plain", &dir, &name, &ext, &ver), 0);
  EXPECT_EQ(dir, nullptr);
  EXPECT_EQ(ext, nullptr);
  EXPECT_EQ(ver, nullptr);
  std::u16string long_name(70, u'n');
  EXPECT_EQ(parse_filename(long_name.c_str(), &dir, &name, &ext, &ver), PFA_E_NOT_VALID);

  ASSERT_EQ(generic_parse_filename(u"d\\m6<bolt>.prt", &dir, &i, &g, &ext, &ver), 0);
  EXPECT_EQ(std::u16string(i), u"m6");
  EXPECT_EQ(std::u16string(g), u"bolt");
  ASSERT_EQ(generic_parse_filename(u"bolt.prt", &dir, &i, &g, &ext, &ver), 0);
  EXPECT_EQ(i, nullptr);
  EXPECT_EQ(std::u16string(g), u"bolt");
  ASSERT_EQ(generic_parse_filename_weak_check(u"m6<bolt>x.prt.2", &dir, &i, &g, &ext, &ver), 0);
  EXPECT_EQ(std::u16string(i), u"m6x");
  EXPECT_EQ(std::u16string(g), u"bolt");
  EXPECT_EQ(std::u16string(ext), u"prt");
  EXPECT_EQ(std::u16string(ver), u"2");
  EXPECT_EQ(generic_parse_filename_weak_check(u"m6<bolt.prt", &dir, &i, &g, &ext, &ver),
            PFA_E_NOT_VALID);
  EXPECT_EQ(generic_parse_filename_weak_check(u"m6>x<bolt>.prt", &dir, &i, &g, &ext, &ver),
            PFA_E_NOT_VALID);
}

}  // namespace
