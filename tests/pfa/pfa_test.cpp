// The file object: a corpus of full names with their components, types,
// versions and formatted forms; round trips through the formatted and the
// neutral forms; record lifecycle, attachments, accessors, paths, parents,
// joins and comparisons.
#include <gtest/gtest.h>
#include <keelwork/objtype.h>
#include <keelwork/pfa.h>
#include <keelwork/pfaloc.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "algo/algo_test_util.h"

namespace {

struct Row {
  const char *in;
  int loc;  // location type; 0 = the parse fails with 9
  const char *c0, *c1, *c2, *name, *ext, *iter;
  int version;
  int32_t type;
  const char *out;
};

const std::string k252(252, 'a');
const std::string k253(253, 'a');
const std::string k31(31, 'n');
const std::string k32(32, 'n');
const std::string k40(40, 'n');
const std::string kLong259 = "c:\\" + k252 + ".igs";
const std::string kLong260 = "c:\\" + k253 + ".igs";
const std::string kName31 = k31 + ".prt", kName32 = k32 + ".prt", kName40 = k40 + ".igs";

// Expected values follow the name grammar; "" is an empty component.
const Row kCorpus[] = {
    // drives
    {"c:\\work\\a.prt.3", 1, "", "c", "/work/", "a", "prt", "", 3, 2, "c:\\work\\a.prt.3"},
    {"c:/work/a.prt.3", 1, "", "c", "/work/", "a", "prt", "", 3, 2, "c:\\work\\a.prt.3"},
    {"C:\\Work\\A.PRT", 1, "", "C", "/Work/", "A", "PRT", "", 0, 2, "C:\\Work\\a.prt"},
    {"c:\\work\\a.PRT.3", 1, "", "c", "/work/", "a", "PRT", "", 3, 2, "c:\\work\\a.prt.3"},
    {"c:a.prt", 1, "", "c", "", "a", "prt", "", 0, 2, "c:a.prt"},
    {"c:", 1, "", "c", "", "", "", "", 0, -5, "c:"},
    {"c:\\", 1, "", "c", "/", "", "", "", 0, -5, "c:\\"},
    {"d:\\x\\y\\z\\", 1, "", "d", "/x/y/z/", "", "", "", 0, -5, "d:\\x\\y\\z\\"},
    {"c:/a//b/x.prt", 1, "", "c", "/a//b/", "x", "prt", "", 0, 2, "c:\\a\\b\\x.prt"},
    {"c:/dir/./b/../x.txt", 1, "", "c", "/dir/b/../", "x", "txt", "", 0, 146, "c:\\dir\\x.txt"},
    {"c:\\a\\..\\..\\b.prt", 1, "", "c", "/a/../../", "b", "prt", "", 0, 2, "c:\\..\\b.prt"},
    {"c:\\work\\.cfg", 1, "", "c", "/work/", ".cfg", "", "", 0, -6, "c:\\work\\.cfg"},
    // versions
    {"c:\\work\\a.prt.03", 1, "", "c", "/work/", "a.prt", "03", "", 0, -6, "c:\\work\\a.prt.03"},
    {"c:\\work\\a.prt.x", 1, "", "c", "/work/", "a.prt", "x", "", 0, -6, "c:\\work\\a.prt.x"},
    {"a.prt.0", 1, "", "", "", "a.prt", "0", "", 0, -6, "a.prt.0"},
    {"a.prt.-3", 1, "", "", "", "a", "prt", "", -3, 2, "a.prt.-3"},
    {"a.prt.-0", 1, "", "", "", "a.prt", "-0", "", 0, -6, "a.prt.-0"},
    {"a.prt.1", 1, "", "", "", "a", "prt", "", 1, 2, "a.prt.1"},
    {"a.prt.32767", 1, "", "", "", "a", "prt", "", 32767, 2, "a.prt.32767"},
    {"a.prt.32768", 1, "", "", "", "a.prt", "32768", "", 0, -6, "a.prt.32768"},
    {"a.prt.-32768", 1, "", "", "", "a", "prt", "", -32768, 2, "a.prt.-32768"},
    {"a.prt.99999", 1, "", "", "", "a.prt", "99999", "", 0, -6, "a.prt.99999"},
    {"a.asm.12", 1, "", "", "", "a", "asm", "", 12, 1, "a.asm.12"},
    {"a.prt.3.4", 1, "", "", "", "a.prt", "3", "", 4, -6, "a.prt.3.4"},
    {"a.3", 1, "", "", "", "a", "", "", 3, -6, "a.3"},
    // types and names
    {"a.drw", 1, "", "", "", "a", "drw", "", 0, 4, "a.drw"},
    {"a.sec", 1, "", "", "", "a", "sec", "", 0, 11, "a.sec"},
    {"a.txt", 1, "", "", "", "a", "txt", "", 0, 146, "a.txt"},
    {"a.zip", 1, "", "", "", "a", "zip", "", 0, 9000, "a.zip"},
    {"x.CATPart", 1, "", "", "", "x", "CATPart", "", 0, 1013, "x.CATPart"},
    {"Model.jt", 1, "", "", "", "Model", "jt", "", 0, 918, "Model.jt"},
    {"MyPart.PRT", 1, "", "", "", "MyPart", "PRT", "", 0, 2, "mypart.prt"},
    {"a", 1, "", "", "", "a", "", "", 0, -6, "a"},
    {"a.", 1, "", "", "", "a", "", "", 0, -6, "a"},
    {"a..", 1, "", "", "", "a.", "", "", 0, -6, "a.."},
    {"a.b..3", 1, "", "", "", "a.b", "", "", 3, -6, "a.b..3"},
    {"a.dir", 1, "", "", "", "a", "dir", "", 0, -6, "a.dir"},
    {"a.unknownext", 1, "", "", "", "a", "unknownext", "", 0, -6, "a.unknownext"},
    {"a.b.c.prt", 1, "", "", "", "a.b.c", "prt", "", 0, -6, "a.b.c.prt"},
    {"my_part-1.prt", 1, "", "", "", "my_part-1", "prt", "", 0, 2, "my_part-1.prt"},
    {"My Part.prt", 1, "", "", "", "My Part", "prt", "", 0, -6, "My Part.prt"},
    {"-a.prt", 1, "", "", "", "-a", "prt", "", 0, -6, "-a.prt"},
    {"a_b.prt", 1, "", "", "", "a_b", "prt", "", 0, 2, "a_b.prt"},
    {"\xc3\xa9t\xc3\xa9.prt", 1, "", "", "", "\xc3\xa9t\xc3\xa9", "prt", "", 0, 2,
     "\xc3\xa9t\xc3\xa9.prt"},
    {"Weird Name.igs", 1, "", "", "", "Weird Name", "igs", "", 0, 134, "Weird Name.igs"},
    {".prt", 1, "", "", "", ".prt", "", "", 0, -6, ".prt"},
    {".bashrc", 1, "", "", "", ".bashrc", "", "", 0, -6, ".bashrc"},
    {".hidden.prt", 1, "", "", "", ".hidden.prt", "", "", 0, -6, ".hidden.prt"},
    {kName31.c_str(), 1, "", "", "", k31.c_str(), "prt", "", 0, 2, kName31.c_str()},
    {kName32.c_str(), 1, "", "", "", k32.c_str(), "prt", "", 0, -6, kName32.c_str()},
    {kName40.c_str(), 1, "", "", "", k40.c_str(), "igs", "", 0, 134, kName40.c_str()},
    {kLong259.c_str(), 1, "", "c", "/", k252.c_str(), "igs", "", 0, 134, kLong259.c_str()},
    {kLong260.c_str(), 0, "", "", "", "", "", "", 0, 0, ""},
    // relative names and POSIX-style paths
    {"work\\a.prt", 1, "", "", "work/", "a", "prt", "", 0, 2, "work\\a.prt"},
    {"work/sub/a.prt.2", 1, "", "", "work/sub/", "a", "prt", "", 2, 2, "work\\sub\\a.prt.2"},
    {"./a.prt", 1, "", "", "", "a", "prt", "", 0, 2, "a.prt"},
    {"../a.prt", 1, "", "", "../", "a", "prt", "", 0, 2, "..\\a.prt"},
    {".", 1, "", "", "", "", "", "", 0, -5, ".\\"},
    {"..", 1, "", "", "../", "", "", "", 0, -5, "..\\"},
    {"x/..", 1, "", "", "x/../", "", "", "", 0, -5, ".\\"},
    {"/usr/local/a.prt", 1, "", "", "/usr/local/", "a", "prt", "", 0, 2, "\\usr\\local\\a.prt"},
    {"/", 1, "", "", "/", "", "", "", 0, -5, "\\"},
    {"/tmp/", 1, "", "", "/tmp/", "", "", "", 0, -5, "\\tmp\\"},
    {"\\work\\a.prt", 1, "", "", "/work/", "a", "prt", "", 0, 2, "\\work\\a.prt"},
    // UNC
    {"\\\\srv\\share\\dir\\x.asm", 4, "//srv", "/share", "/dir/", "x", "asm", "", 0, 1,
     "\\\\srv\\share\\dir\\x.asm"},
    {"//srv/share/dir/x.asm", 4, "//srv", "/share", "/dir/", "x", "asm", "", 0, 1,
     "\\\\srv\\share\\dir\\x.asm"},
    {"//srv/share", 4, "//srv", "/share", "/", "", "", "", 0, -5, "\\\\srv\\share\\"},
    {"//srv//share/x.asm", 4, "//srv", "/share", "/", "x", "asm", "", 0, 1,
     "\\\\srv\\share\\x.asm"},
    {"//srv//", 4, "//srv", "", "", "", "", "", 0, -5, "\\\\srv"},
    {"//srv/share/", 4, "//srv", "/share", "/", "", "", "", 0, -5, "\\\\srv\\share\\"},
    {"//srv", 4, "//srv", "", "", "", "", "", 0, -5, "\\\\srv"},
    {"//srv/", 4, "//srv", "", "", "", "", "", 0, -5, "\\\\srv"},
    {"//", 4, "//", "", "", "", "", "", 0, -5, "\\\\"},
    {"\\\\srv\\c$\\work\\a.prt", 4, "//srv", "/c$", "/work/", "a", "prt", "", 0, 2,
     "\\\\srv\\c$\\work\\a.prt"},
    {"//srv/share/a.prt.4", 4, "//srv", "/share", "/", "a", "prt", "", 4, 2,
     "\\\\srv\\share\\a.prt.4"},
    {"//a/b/c/d/e.prt", 4, "//a", "/b", "/c/d/", "e", "prt", "", 0, 2, "\\\\a\\b\\c\\d\\e.prt"},
    {"//srv/share/../a.prt", 4, "//srv", "/share", "/../", "a", "prt", "", 0, 2,
     "\\\\srv\\share\\..\\a.prt"},
    // neutral forms
    {"/////host///c/dir/", 1, "host", "c", "/dir/", "", "", "", 0, -5, "\\\\host\\c$\\dir\\"},
    {"/////host///c/dir/a.prt", 1, "host", "c", "/dir/", "a", "prt", "", 0, 2,
     "\\\\host\\c$\\dir\\a.prt"},
    {"///c/dir/a.prt", 1, "", "c", "/dir/", "a", "prt", "", 0, 2, "c:\\dir\\a.prt"},
    {"///c", 1, "", "c", "", "", "", "", 0, -5, "c:"},
    {"/////host/dir/a.prt", 1, "host", "", "/dir/", "a", "prt", "", 0, 2, "host:/dir\\a.prt"},
    {"////dir/a.prt", 1, "", "", "/dir/", "a", "prt", "", 0, 2, "\\dir\\a.prt"},
    {"//////dir/a.prt", 1, "", "", "/dir/", "a", "prt", "", 0, 2, "\\dir\\a.prt"},
    {"/////", 1, "", "", "/", "", "", "", 0, -5, "\\"},
    {"/////a:b/x", 1, "", "", "/a:b/", "x", "", "", 0, -6, "\\a:b\\x"},
    {"///a:b/x", 1, "", "", "///a:b/", "x", "", "", 0, -6, "\\a:b\\x"},
    // hosts and schemes
    {"srv::c:/dir/a.prt", 1, "srv", "c", "/dir/", "a", "prt", "", 0, 2, "\\\\srv\\c$\\dir\\a.prt"},
    {"srv:/dir/a.prt", 1, "srv", "", "/dir/", "a", "prt", "", 0, 2, "srv:/dir\\a.prt"},
    {"ab:/x/a.prt", 1, "ab", "", "/x/", "a", "prt", "", 0, 2, "ab:/x\\a.prt"},
    {"a::/x/a.prt", 1, "a", "", "/x/", "a", "prt", "", 0, 2, "a::/x\\a.prt"},
    {"srv::a.prt", 1, "srv", "", "", "a", "prt", "", 0, 2, "srv::a.prt"},
    {"c:/x", 1, "", "c", "/", "x", "", "", 0, -6, "c:\\x"},
    {"lhws://ws/a.prt", 1, "", "", "lhws://ws/", "a", "prt", "", 0, 2, "lhws://ws/a.prt"},
    {"lhpub://x/y.asm", 1, "", "", "lhpub://x/", "y", "asm", "", 0, 1, "lhpub://x/y.asm"},
    {"lhp://proj/a.prt", 1, "", "", "lhp://proj/", "a", "prt", "", 0, 2, "lhp://proj/a.prt"},
    {"awws://x/a.prt", 1, "", "", "awws://x/", "a", "prt", "", 0, 2, "awws:\\x\\a.prt"},
    {"pfazip://a/b.zip", 1, "", "", "pfazip://a/", "b", "zip", "", 0, 9000, "pfazip:\\a\\b.zip"},
    {"pfafs:drives", 1, "", "/", "", "", "", "", 0, -5, "pfafs:drives"},
    {"$dev/dir/a.prt", 1, "", "dev", "/dir/", "a", "prt", "", 0, 2, "dev:\\dir\\a.prt"},
    // standard streams
    {"stdio://out", 8, "", "stdio://", "", "out", "", "", 0, -6, "stdio://out"},
    {"stdio://err", 8, "", "stdio://", "", "err", "", "", 0, -6, "stdio://err"},
    {"stdio://in", 8, "", "stdio://", "", "in", "", "", 0, -6, "stdio://in"},
    {"stdio:/out", 1, "stdio", "", "/", "out", "", "", 0, -6, "stdio:/out"},
    // variables and home
    {"$KWTEST_ROOT/a.prt", 1, "", "c", "/proj/", "a", "prt", "", 0, 2, "c:\\proj\\a.prt"},
    {"$KWTEST_UNSET/a.prt", 1, "", "KWTEST_UNSET", "/", "a", "prt", "", 0, 2,
     "KWTEST_UNSET:\\a.prt"},
    {"c:/$KWTEST_DIR/a.prt", 1, "", "c", "/sub/", "a", "prt", "", 0, 2, "c:\\sub\\a.prt"},
    {"$KWTEST_NAME.prt", 1, "", "", "", "part1", "prt", "", 0, 2, "part1.prt"},
    {"~", 1, "", "", "/home/kw/", "", "", "", 0, -5, "\\home\\kw\\"},
    {"~/a.prt", 1, "", "", "/home/kw/", "a", "prt", "", 0, 2, "\\home\\kw\\a.prt"},
    {"~\\a.prt", 1, "", "", "/home/kw/", "a", "prt", "", 0, 2, "\\home\\kw\\a.prt"},
    {"~user/a.prt", 1, "", "", "~user/", "a", "prt", "", 0, 2, "~user\\a.prt"},
    // string versions
    {"a.prt|B.1", 1, "", "", "", "a", "prt", "B.1", 0, 2, "a.prt|B.1"},
    {"c:\\w\\a.prt|A", 1, "", "c", "/w/", "a", "prt", "A", 0, 2, "c:\\w\\a.prt|A"},
    {"a|rev", 1, "", "", "", "a", "", "rev", 0, -6, "a|rev"},
    {"a.prt|", 1, "", "", "", "a", "prt", "", 0, 2, "a.prt"},
    {"a.prt.3|B", 1, "", "", "", "a.prt", "3", "B", 0, -6, "a.prt.3|B"},
    // family names
    {"inst<gen>.prt", 1, "", "", "", "inst<gen>", "prt", "", 0, 2, "inst<gen>.prt"},
    {"bolt<screw>.asm.2", 1, "", "", "", "bolt<screw>", "asm", "", 2, 1, "bolt<screw>.asm.2"},
    {"inst<gen>.drw", 1, "", "", "", "inst<gen>", "drw", "", 0, -6, "inst<gen>.drw"},
    {"<gen>.prt", 1, "", "", "", "<gen>", "prt", "", 0, -6, "<gen>.prt"},
    {"a<b>c.prt", 1, "", "", "", "a<b>c", "prt", "", 0, -6, "a<b>c.prt"},
};

class PfaEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KWTEST_ROOT", "c:/proj", 1);
    setenv("KWTEST_DIR", "sub", 1);
    setenv("KWTEST_NAME", "part1", 1);
    unsetenv("KWTEST_UNSET");
    unsetenv("dev");
    setenv("HOME", "/home/kw", 1);
    ASSERT_EQ(pfa_alloc_vex_file(&f_), 0);
  }
  void TearDown() override { pfa_free_vex_file(&f_); }
  std::string full(const vex_file *f) {
    char buf[PFA_NAME_SIZE];
    EXPECT_EQ(pfa_get_full_name(f, buf), 0);
    return buf;
  }
  std::string component(const vex_file *f, int k) {
    char buf[PFA_NAME_SIZE];
    EXPECT_EQ(pfa_get_component(f, k, buf, sizeof buf), 0);
    return buf;
  }
  vex_file *f_ = nullptr;
};

using Corpus = PfaEnv;

TEST_F(Corpus, ComponentsTypesVersionsAndFormatting) {
  for (const Row &row : kCorpus) {
    SCOPED_TRACE(row.in);
    int rc = parse_to_pfa(f_, -1, row.in);
    if (row.loc == 0) {
      EXPECT_EQ(rc, PFA_E_INVALID_INPUT);
      continue;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(f_->loc_type, row.loc);
    const char *expected[] = {row.c0, row.c1, row.c2, row.name, row.ext, row.iter};
    for (int k = 0; k < PFA_COMPONENT_COUNT; ++k) EXPECT_EQ(component(f_, k), expected[k]) << k;
    EXPECT_EQ(pfa_get_version(f_), row.version);
    EXPECT_EQ(pfa_get_obj_type(f_), row.type);
    EXPECT_EQ(full(f_), row.out);
  }
}

// What a record formats to parses back to the same text, and the neutral
// location with the tail parses back to the same record: names stored in
// data keep their meaning.
TEST_F(Corpus, FormattedAndNeutralFormsParseBack) {
  vex_file *g = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&g), 0);
  for (const Row &row : kCorpus) {
    SCOPED_TRACE(row.in);
    if (row.loc == 0 || parse_to_pfa(f_, -1, row.in) != 0) continue;
    std::string once = full(f_);
    ASSERT_EQ(parse_to_pfa(g, -1, once.c_str()), 0);
    EXPECT_EQ(full(g), once);
    // The neutral form roots an empty path ("/"): only rooted names compare.
    if (row.loc == 8 || !pfa_path_is_absolute(f_) || !pfa_has_component(f_, PFA_LOC3)) continue;
    char neutral[PFA_NAME_SIZE * 2], tail[PFA_NAME_SIZE];
    ASSERT_EQ(pfaloc_call_FPPS(PFALOC_PfaGetNeutralLocation, f_, neutral, nullptr, sizeof neutral),
              0);
    ASSERT_EQ(pfa_get_full_name_low(f_, tail, 0,
                                    PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION | PFA_M_STRING_VERSION),
              0);
    std::string stored = std::string(neutral) + tail;
    SCOPED_TRACE(stored);
    if (stored.size() >= PFA_NAME_SIZE) continue;  // the neutral form is longer
    ASSERT_EQ(parse_to_pfa(g, -1, stored.c_str()), 0);
    EXPECT_EQ(full(g), once);
    EXPECT_EQ(g->loc_type, f_->loc_type);
    EXPECT_EQ(pfa_get_obj_type(g), pfa_get_obj_type(f_));
  }
  pfa_free_vex_file(&g);
}

TEST(Pfa, APIExamples) {
  vex_file *f = pfa_alloc_file("c:\\work\\bracket.prt.3");
  ASSERT_NE(f, nullptr);
  char buf[PFA_NAME_SIZE];
  pfa_get_name(f, buf);
  EXPECT_STREQ(buf, "bracket");
  EXPECT_EQ(pfa_get_version(f), 3);
  EXPECT_EQ(pfa_get_obj_type(f), 2);
  pfa_get_path(f, buf);
  EXPECT_STREQ(buf, "\\work\\");
  EXPECT_EQ(pfa_put_version(f, 4), 0);
  pfa_get_full_name(f, buf);
  EXPECT_STREQ(buf, "c:\\work\\bracket.prt.4");
  vex_file *dir = pfa_alloc_parent(f);
  ASSERT_NE(dir, nullptr);
  pfa_get_full_name(dir, buf);
  EXPECT_STREQ(buf, "c:\\work\\");
  pfa_free_vex_file(&dir);
  pfa_free_vex_file(&f);
  EXPECT_EQ(f, nullptr);
}

TEST_F(PfaEnv, StrictCaseRefusesUpperCaseForLowerCaseTypes) {
  ASSERT_EQ(parse_to_pfa_dirstat(f_, -1, "MyPart.prt", 0, 1), 0);
  EXPECT_EQ(pfa_get_obj_type(f_), -6);
  ASSERT_EQ(parse_to_pfa_dirstat(f_, -1, "MyPart.igs", 0, 1), 0);
  EXPECT_EQ(pfa_get_obj_type(f_), 134);
}

TEST_F(PfaEnv, RevisionMayHoldSeparatorsWhenAllowed) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt|B/1"), 0);
  EXPECT_EQ(component(f_, PFA_LOC3), "/w/a.prt|B/");  // the claim sees the separator
  set_allow_unusual_revision_characters(1);
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt|B/1"), 0);
  EXPECT_EQ(component(f_, PFA_LOC3), "/w/");
  EXPECT_EQ(component(f_, PFA_ITER), "B/1");
  EXPECT_EQ(full(f_), "c:\\w\\a.prt|B/1");
}

TEST_F(PfaEnv, DotFilesSplitWhenNotHidden) {
  set_hide_initial_dot_files(0);
  ASSERT_EQ(parse_to_pfa(f_, -1, ".hidden.prt"), 0);
  EXPECT_EQ(component(f_, PFA_NAME), ".hidden");
  EXPECT_EQ(pfa_get_obj_type(f_), -6);  // a leading dot is unusual
}

TEST_F(PfaEnv, TwoBarsAreReportedAndTheLastCounts) {
  kw::test::Reports reports;
  ASSERT_EQ(parse_to_pfa(f_, -1, "a.prt|x|y"), 0);
  EXPECT_EQ(component(f_, PFA_ITER), "y");
  EXPECT_EQ(full(f_), "a.prt|x|y");
  auto seen = reports.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "parse_name_ext_vers: not expecting two");

  // A bar kept in the name with an empty revision must read back the same.
  ASSERT_EQ(parse_to_pfa(f_, -1, "a||"), 0);
  EXPECT_EQ(component(f_, PFA_NAME), "a|");
  EXPECT_EQ(full(f_), "a||");
  // A name "." with an empty extension is no parent directory.
  ASSERT_EQ(parse_to_pfa(f_, -1, "..|"), 0);
  EXPECT_EQ(full(f_), "..|");
  ASSERT_EQ(parse_to_pfa(f_, -1, "/a//../b.prt"), 0);  // folded as printed: "\\b.prt"
  EXPECT_EQ(full(f_), "\\b.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, ".\\w::A:x"), 0);  // a name, not a host and drive
  EXPECT_EQ(full(f_), ".\\w::A:x");
  ASSERT_EQ(parse_to_pfa(f_, -1, "./P:./x.prt"), 0);  // a relative path, not drive P
  EXPECT_EQ(full(f_), ".\\P:.\\x.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, "lhp:\\x\\a.prt"), 0);  // a path, not host "lhp"
  EXPECT_EQ(full(f_), ".\\lhp:/x/a.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, "x/../lhp:/y/a.prt"), 0);  // folds into a scheme path
  EXPECT_EQ(full(f_), ".\\lhp:/y/a.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, "./pfafs:drives.prt"), 0);  // not the all-drives location
  EXPECT_EQ(full(f_), ".\\pfafs:drives.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, "t:.\\:\\a.prt"), 0);  // drive t, path ":/"
  EXPECT_EQ(full(f_), "t:.\\:\\a.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, "w::.\\c:x"), 0);  // host w, name "c:x"
  EXPECT_EQ(full(f_), "w::.\\c:x");
  ASSERT_EQ(parse_to_pfa(f_, -1, "p:.\\:x"), 0);  // drive p, name ":x"
  EXPECT_EQ(full(f_), "p:.\\:x");
  ASSERT_EQ(parse_to_pfa(f_, -1, "hp::.\\p:\\a.prt"), 0);  // host hp, relative path "p:/"
  EXPECT_EQ(full(f_), "hp::.\\p:\\a.prt");
  ASSERT_EQ(parse_to_pfa(f_, -1, "hp::x/../p:y"), 0);  // the path folds away when printed
  EXPECT_EQ(full(f_), "hp::.\\p:y");
  ASSERT_EQ(parse_to_pfa(f_, -1, "a.1|"), 0);  // extension "1", no version
  EXPECT_EQ(full(f_), "a.1|");
  ASSERT_EQ(parse_to_pfa(f_, -1, "...2"), 0);
  EXPECT_EQ(full(f_), "...2");
  // A hidden dot file's bars belong to its name.
  set_hide_initial_dot_files(1);
  ASSERT_EQ(parse_to_pfa(f_, -1, ".#|"), 0);
  EXPECT_EQ(full(f_), ".#|");
  set_hide_initial_dot_files(0);
  reports.take();
}

TEST_F(PfaEnv, ExpansionBeyondTheLimitIsRefused) {
  setenv("KWTEST_BIG", std::string(250, 'x').c_str(), 1);
  EXPECT_EQ(parse_to_pfa(f_, -1, "c:/$KWTEST_BIG/$KWTEST_BIG"), PFA_E_INVALID_INPUT);
  setenv("KWTEST_LOOP", "$KWTEST_LOOP", 1);
  ASSERT_EQ(parse_to_pfa(f_, -1, "$KWTEST_LOOP.prt"), 0);  // the value is not searched again
  EXPECT_EQ(component(f_, PFA_NAME), "$KWTEST_LOOP");
}

TEST_F(PfaEnv, RefusedHostDriveFormAndLimits) {
  EXPECT_EQ(parse_to_pfa(f_, 1, "\\\\host\\cx\\a.prt"), PFA_E_INVALID_INPUT);
  ASSERT_EQ(parse_to_pfa(f_, 1, "\\\\host\\c$\\a.prt"), 0);
  EXPECT_EQ(component(f_, PFA_LOC1), "host");
  EXPECT_EQ(component(f_, PFA_LOC2), "c");
  EXPECT_EQ(parse_to_pfa(f_, -1, nullptr), PFA_E_INVALID_INPUT);
  EXPECT_EQ(parse_to_pfa(nullptr, -1, "a.prt"), PFA_E_NOT_VALID);
  EXPECT_EQ(pfa_put_host(f_, k31.c_str()), 0);
  EXPECT_EQ(pfa_put_host(f_, k32.c_str()), PFA_E_INVALID_INPUT);
  EXPECT_EQ(pfa_put_device(f_, k32.c_str()), PFA_E_INVALID_INPUT);
  // A share name too long for a component falls through to the standard
  // file system only in the "\\host\X$\" form; otherwise nothing claims it.
  std::string long_share = "//srv/" + std::string(40, 's') + "/a.prt";
  EXPECT_EQ(parse_to_pfa(f_, 4, long_share.c_str()), PFA_E_INVALID_INPUT);
}

// ---- lifecycle and attachments ----------------------------------------------------------

struct HookLog {
  static inline std::vector<std::string> calls;
};
void on_release(vex_file *, intptr_t v) {
  HookLog::calls.push_back("release " + std::to_string(v));
}
intptr_t on_copy(intptr_t v) {
  HookLog::calls.push_back("copy " + std::to_string(v));
  return v + 100;
}
void on_copy_with_file(vex_file *f, intptr_t *v) {
  HookLog::calls.push_back("with_file " + std::to_string(*v));
  *v += pfa_get_version(f);
}

// A claim that stores a location and then refuses the name.
int scribble_and_refuse(vex_file *f, void *, void *, void *) {
  pfa_put_component_len(f, PFA_LOC1, "junk", 4, 0);
  pfa_put_component_len(f, PFA_LOC3, "/junk/", 6, 0);
  return PFA_E_INVALID_NAME;
}

// What a refusing type stored is gone before the next type is asked, and
// the name parses as it did without it.
TEST_F(PfaEnv, RefusedClaimsLeaveNothingBehind) {
  const char *names[] = {"c:\\w\\a.prt.2", "/h/u/b.asm", "\\\\srv\\sh\\c.drw", "stdio://out",
                         "rel/d.txt"};
  std::vector<std::string> before;
  for (const char *n : names) {
    ASSERT_EQ(parse_to_pfa(f_, -1, n), 0) << n;
    before.push_back(full(f_) + "|" + component(f_, PFA_LOC1) + "|" + component(f_, PFA_LOC3));
  }
  const int t = 13;
  ASSERT_EQ(pfa_loc_register_setup(t), 1);
  pfa_loc_method_register_FPPP(t, PFALOC_PfaClaimLocation, scribble_and_refuse);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
  for (size_t i = 0; i < std::size(names); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_EQ(parse_to_pfa(f_, -1, names[i]), 0);
    EXPECT_EQ(full(f_) + "|" + component(f_, PFA_LOC1) + "|" + component(f_, PFA_LOC3), before[i]);
  }
  // Asked alone, the type's refusal stands and leaves an empty location.
  EXPECT_EQ(parse_to_pfa(f_, t, "c:\\w\\a.prt"), PFA_E_INVALID_NAME);
  EXPECT_EQ(pfa_has_location(f_, nullptr), 0);
  ASSERT_EQ(pfa_loc_register_append(t), 1);
  pfa_loc_method_unregister(t, PFALOC_PfaClaimLocation);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
}

TEST_F(PfaEnv, InitialStateAndRelease) {
  EXPECT_EQ(f_->magic, PFA_MAGIC);
  EXPECT_EQ(f_->obj_type, -4);
  EXPECT_EQ(f_->encoding, -4);
  EXPECT_EQ(f_->loc_type, 1);
  EXPECT_EQ(pfa_alloc_vex_file(nullptr), PFA_E_NOT_VALID);
  EXPECT_EQ(pfaidx_app_id, 0);  // the layer's own kind comes first

  kw::test::Reports reports;
  f_->flags |= PFA_F_OPEN;
  EXPECT_EQ(pfa_free_vex_file(&f_), PFA_E_NOT_ALLOWED);
  ASSERT_NE(f_, nullptr);
  EXPECT_EQ(f_->magic, PFA_MAGIC);
  f_->flags &= ~PFA_F_OPEN;
  vex_file bogus{};
  vex_file *bp = &bogus;
  EXPECT_EQ(pfa_free_vex_file(&bp), PFA_E_NOT_VALID);
  auto seen = reports.take();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], "pfa_free_vex_file: Attempting to free open file");
  EXPECT_EQ(seen[1].rfind("pfa_free_vex_file: Not freeing invalid pfa at: ", 0), 0u);
}

TEST_F(PfaEnv, AttachmentsFollowTheirHooks) {
  int32_t kind = -1;
  ASSERT_EQ(appinfo_register_type_mt(on_release, on_copy, on_copy_with_file, &kind), 0);
  int32_t again = kind;
  ASSERT_EQ(appinfo_register_type_mt(nullptr, nullptr, nullptr, &again), 0);
  EXPECT_EQ(again, kind);  // an assigned id stays
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt.5"), 0);
  EXPECT_EQ(pfa_find_appinfo(f_, kind, 0), nullptr);
  intptr_t *slot = pfa_find_appinfo(f_, kind, 1);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(*slot, 0);
  *slot = 7;

  vex_file *copy = pfa_make_copy(f_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(*pfa_find_appinfo(copy, kind, 0), 107 + 5);
  EXPECT_EQ(*pfa_find_appinfo(f_, kind, 0), 7);

  HookLog::calls.clear();
  EXPECT_EQ(pfa_put_name(f_, "b"), 0);  // a new name drops what belonged to the old
  EXPECT_EQ(pfa_find_appinfo(f_, kind, 0), nullptr);
  pfa_free_vex_file(&copy);
  EXPECT_EQ(HookLog::calls, (std::vector<std::string>{"release 7", "release 112"}));
}

TEST_F(PfaEnv, CopyClearsStreamStateAndKeepsTheName) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt.5"), 0);
  f_->flags |= PFA_F_UI_HIDDEN | PFA_F_DIR_CACHED | PFA_F_CACHE_COPY;
  vex_file *copy = pfa_make_copy(f_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(full(copy), "c:\\w\\a.prt.5");
  EXPECT_EQ(copy->flags, static_cast<uint32_t>(PFA_F_UI_HIDDEN));
  EXPECT_EQ(compare_vex_files(copy, f_), 0);
  copy->flags |= PFA_F_OPEN;
  EXPECT_EQ(pfa_copy_vex_file(f_, copy), PFA_E_NOT_ALLOWED);  // would lose its stream
  copy->flags &= ~PFA_F_OPEN;
  pfa_free_vex_file(&copy);
}

// ---- accessors and setters -------------------------------------------------------------

TEST_F(PfaEnv, SettersKeepTheRecordConsistent) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt.5"), 0);
  f_->flags |= PFA_F_AS_ON_DISK;
  ASSERT_EQ(pfa_put_path(f_, "x\\.\\y"), 0);
  EXPECT_EQ(component(f_, PFA_LOC3), "x/y/");
  EXPECT_EQ(f_->flags & PFA_F_AS_ON_DISK, 0u);
  ASSERT_EQ(pfa_put_extension(f_, "asm"), 0);
  EXPECT_EQ(pfa_get_obj_type(f_), 1);
  ASSERT_EQ(pfa_put_extension(f_, "nope"), 0);
  EXPECT_EQ(pfa_get_obj_type(f_), -6);
  ASSERT_EQ(pfa_put_extension(f_, "prt"), 0);
  ASSERT_EQ(pfa_put_name(f_, "has space"), 0);
  EXPECT_EQ(pfa_get_obj_type(f_), -6);
  ASSERT_EQ(pfa_put_string_version(f_, "B"), 0);
  EXPECT_EQ(pfa_get_version(f_), 0);
  EXPECT_EQ(full(f_), "c:x\\y\\has space.prt|B");
  EXPECT_EQ(pfa_put_path(f_, std::string(260, 'p').c_str()), PFA_E_INVALID_INPUT);
  // The whole name must stay below 260 characters; nothing changes then.
  EXPECT_EQ(pfa_put_name(f_, std::string(252, 'n').c_str()), PFA_E_INVALID_INPUT);
  EXPECT_EQ(component(f_, PFA_NAME), "has space");
  EXPECT_EQ(pfa_component_append(f_, PFA_NAME, std::string(250, 'n').c_str()), PFA_E_ERROR);
  EXPECT_EQ(pfa_component_append(f_, PFA_NAME, "2"), 0);
  EXPECT_EQ(component(f_, PFA_NAME), "has space2");
  EXPECT_EQ(pfa_put_location_type(f_, 3), PFA_E_INVALID_INPUT);
  EXPECT_EQ(pfa_put_location_type(f_, 16), PFA_E_INVALID_INPUT);
}

TEST_F(PfaEnv, NewLocationsKeepTheName) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt.5"), 0);
  struct {
    const char *loc, *out;
    int type;
  } rows[] = {{"//srv/share/dir", "\\\\srv\\share\\dir\\a.prt.5", 4},
              {"d:", "d:a.prt.5", 1},
              {"/////h///e/x/", "\\\\h\\e$\\x\\a.prt.5", 1}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.loc);
    ASSERT_EQ(pfa_put_location(f_, row.loc, -1), 0);
    EXPECT_EQ(full(f_), row.out);
    EXPECT_EQ(f_->loc_type, row.type);
  }
  f_->flags |= PFA_F_OPEN;
  EXPECT_EQ(pfa_put_location(f_, "c:/", -1), PFA_E_ERROR);  // an open file keeps its place
  f_->flags &= ~PFA_F_OPEN;
  EXPECT_EQ(pfa_get_encode(f_), -4);
}

TEST_F(PfaEnv, GettersAndComparisons) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/dir/sub/"), 0);
  char buf[PFA_NAME_SIZE];
  ASSERT_EQ(pfa_get_name(f_, buf), 0);
  EXPECT_STREQ(buf, "sub");  // a directory is named by its last segment
  EXPECT_EQ(pfa_get_string_version(f_, buf), PFA_E_NOT_FOUND);
  char c = 0;
  EXPECT_EQ(pfa_component_first_char(f_, PFA_LOC3, &c), 0);
  EXPECT_EQ(c, '/');
  EXPECT_EQ(pfa_component_last_char(f_, PFA_NAME, &c), PFA_E_NOT_FOUND);
  // The length decides first.
  EXPECT_LT(pfa_component_strcmp(f_, PFA_LOC3, "/zzzzzzzzzzz/", -1), 0);
  EXPECT_GT(pfa_component_strcmp(f_, PFA_LOC3, "/zz/", -1), 0);
  EXPECT_EQ(pfa_component_strcmp(f_, PFA_LOC3, "/dir/sub/xyz", 9), 0);
  EXPECT_NE(pfa_component_strcmp(f_, PFA_LOC3, "/DIR/sub/", -1), 0);
  EXPECT_EQ(pfa_component_u_strcmp(f_, PFA_LOC3, "/DIR/sub/", -1), 0);

  vex_file *g = pfa_alloc_file("c:/dir/sub/x/");
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(pfa_component_is_substring(f_, g, PFA_LOC3));
  EXPECT_FALSE(pfa_component_is_substring(g, f_, PFA_LOC3));
  EXPECT_FALSE(pfa_same_locations(f_, g));
  ASSERT_EQ(parse_to_pfa(g, -1, "c:/DIR/sub/"), 0);
  EXPECT_FALSE(pfa_same_locations(f_, g));  // the standard file system is case-sensitive
  ASSERT_EQ(parse_to_pfa(g, -1, "c:/dir/sub/"), 0);
  EXPECT_TRUE(pfa_same_locations(f_, g));
  char host[256] = {0};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  std::string local = "/////" + std::string(host) + "///c/dir/sub/";
  ASSERT_EQ(parse_to_pfa(g, -1, local.c_str()), 0);
  EXPECT_TRUE(pfa_same_locations(f_, g));  // a missing host is the local one

  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/a.prt.2"), 0);
  ASSERT_EQ(parse_to_pfa(g, -1, "c:/a.prt.10"), 0);
  EXPECT_LT(compare_vex_files(f_, g), 0);
  EXPECT_LT(compare_vex_files(nullptr, g), 0);
  EXPECT_EQ(compare_vex_files(nullptr, nullptr), 0);
  ASSERT_EQ(parse_to_pfa(g, -1, "//s/h/a.prt"), 0);
  EXPECT_LT(compare_vex_files(f_, g), 0);  // location type first
  EXPECT_STREQ(pfa_error_to_string(14), "PFA_E_ROOT_DIR");
  EXPECT_STREQ(pfa_error_to_string(20), "PFA_UNKNOWN_ERROR");
  EXPECT_STREQ(pfa_error_to_string(-1), "PFA_UNKNOWN_ERROR");
  pfa_free_vex_file(&g);
}

TEST_F(PfaEnv, SelectedComponents) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "/////h///c/dir/A.PRT.3"), 0);
  struct {
    int mask;
    const char *out;
  } rows[] = {{PFA_M_ALL, "\\\\h\\c$\\dir\\a.prt.3"},
              {PFA_M_NAME | PFA_M_EXT, "a.prt"},
              {PFA_M_DEVICE | PFA_M_PATH | PFA_M_NAME, "c:\\dir\\a"},
              {PFA_M_PATH | PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION, "\\dir\\a.prt.3"},
              {PFA_M_HOST | PFA_M_PATH, "h::/dir\\"}};
  char buf[PFA_NAME_SIZE];
  for (const auto &row : rows) {
    SCOPED_TRACE(row.out);
    ASSERT_EQ(pfa_get_file_name(f_, row.mask, buf), 0);
    EXPECT_STREQ(buf, row.out);
  }
  kw::test::Reports reports;
  EXPECT_EQ(pfa_get_full_name_low(f_, buf, 0, PFA_M_PATH), PFA_E_INVALID_INPUT);
  ASSERT_EQ(parse_to_pfa(f_, -1, "//s/h/d/x.prt"), 0);
  EXPECT_EQ(pfa_get_file_name(f_, PFA_M_PATH | PFA_M_NAME, buf), PFA_E_INVALID_INPUT);
  auto seen = reports.take();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], "pfa_get_full_name_low: can't split location");
  EXPECT_EQ(seen[1], "pfa_get_file_name: can't split non-standard location");
  // Without the path, a directory is named by its last segment.
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/dir/sub/"), 0);
  ASSERT_EQ(pfa_get_file_name(f_, PFA_M_NAME, buf), 0);
  EXPECT_STREQ(buf, "sub");
}

TEST_F(PfaEnv, NamesFoundOnDiskKeepTheirCase) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/Mixed.PRT"), 0);
  EXPECT_EQ(full(f_), "c:\\w\\mixed.prt");
  f_->flags |= PFA_F_AS_ON_DISK;
  EXPECT_EQ(full(f_), "c:\\w\\Mixed.PRT");
  kw_wchar wbuf[PFA_NAME_SIZE];
  ASSERT_EQ(pfa_get_full_wname_mixed_case(f_, wbuf, 0), 0);
  EXPECT_EQ(std::u16string(wbuf), u"c:\\w\\Mixed.PRT");
}

// ---- object types of a record ------------------------------------------------------------

TEST_F(PfaEnv, ObjectTypeOfARecord) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:/w/a.prt.3"), 0);
  EXPECT_EQ(pfa_put_obj_type(f_, 1), 0);
  EXPECT_EQ(component(f_, PFA_EXT), "ASM");
  EXPECT_EQ(pfa_put_obj_type_lower(f_, 4, 1), 0);
  EXPECT_EQ(component(f_, PFA_EXT), "drw");
  EXPECT_EQ(pfa_put_obj_type(f_, -1), PFA_E_INVALID_INPUT);  // "All File" has no extension
  EXPECT_EQ(pfa_put_obj_type_keep_ext(f_, 889), 0);          // SolidWorks drawing: DRW too
  EXPECT_EQ(pfa_get_obj_type(f_), 889);
  {
    kw::test::Reports reports;
    EXPECT_EQ(pfa_put_obj_type_keep_ext(f_, 2), PFA_E_ERROR);
    EXPECT_EQ(reports.take(),
              std::vector<std::string>{"pfa_put_obj_type_keep_ext: extension mismatch"});
  }
  EXPECT_EQ(pfa_no_mixed_case(f_), 0);  // SolidWorks names keep their case
  EXPECT_EQ(pfa_put_obj_type(f_, 4), 0);
  EXPECT_EQ(pfa_no_mixed_case(f_), 1);
  EXPECT_EQ(pfa_no_mixed_case(nullptr), 1);
  f_->obj_type = 1;
  EXPECT_EQ(pfa_verify_obj_type(f_), 1);
  EXPECT_EQ(pfa_get_obj_type(f_), 4);
  EXPECT_EQ(pfa_verify_obj_type(f_), 0);
  // A directory takes the name into its path.
  EXPECT_EQ(pfa_put_obj_type(f_, -5), 0);
  EXPECT_EQ(component(f_, PFA_LOC3), "/w/a.drw.3/");
  EXPECT_EQ(pfa_get_version(f_), 0);
  EXPECT_EQ(full(f_), "c:\\w\\a.drw.3\\");
  EXPECT_EQ(pfa_put_obj_type(f_, -4), 0);
  EXPECT_EQ(pfa_get_obj_type(f_), -4);
}

// ---- paths, joins and parents ------------------------------------------------------------

TEST(PfaPaths, RemoveRedundantUpdirs) {
  struct {
    const char *in, *out;
    int changed;
  } rows[] = {{"/a/b/../c/", "/a/c/", 1}, {"/a/../../c/", "/../c/", 1},
              {"../a/", "../a/", 0},      {"a/..", "", 1},
              {"/a/b/..", "/a", 1},       {"/x/../", "/", 1},
              {"/a/..b/", "/a/..b/", 0},  {"/../../x/", "/../../x/", 0},
              {"a/b/../../c", "c", 1},    {"", "", 0}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.in);
    char buf[64];
    std::strcpy(buf, row.in);
    EXPECT_EQ(pfa_remove_redundant_updirs(buf), row.changed);
    EXPECT_STREQ(buf, row.out);
  }
}

TEST_F(PfaEnv, Parents) {
  struct {
    const char *in;
    int rc;
    const char *out;
  } rows[] = {{"c:\\w\\a.prt.3", 0, "c:\\w\\"},
              {"c:\\w\\sub\\", 0, "c:\\w\\"},
              {"c:\\w\\", 0, "c:\\"},
              {"c:\\", 0, "pfafs:drives"},
              {"pfafs:drives", PFA_E_ROOT_DIR, ""},
              {"/////h///c/", PFA_E_ROOT_DIR, ""},
              {"/////h///c/x/", 0, "\\\\h\\c$\\"},
              {"/", PFA_E_ROOT_DIR, ""},
              {"/usr/", 0, "\\"},
              {"work/", 0, ".\\"},
              {"../", 0, "..\\..\\"},
              {"//srv/share/x/", 0, "\\\\srv\\share\\"},
              {"//srv/share/", 0, "\\\\srv"},
              {"//srv", 0, "\\\\"},
              {"//", PFA_E_ROOT_DIR, ""}};
  vex_file *p = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&p), 0);
  for (const auto &row : rows) {
    SCOPED_TRACE(row.in);
    ASSERT_EQ(parse_to_pfa(f_, -1, row.in), 0);
    ASSERT_EQ(pfa_make_parent(f_, p), row.rc);
    if (row.rc == 0) {
      EXPECT_EQ(full(p), row.out);
      EXPECT_TRUE(pfa_is_dir(p));
    }
  }
  pfa_free_vex_file(&p);
}

TEST_F(PfaEnv, JoiningRelativeNames) {
  vex_file *dir = pfa_alloc_dir("c:\\work");
  ASSERT_NE(dir, nullptr);
  const std::string too_long(255, 'z');
  struct {
    const char *rel;
    int rc;
    const char *out;
  } rows[] = {{"a/b", 0, "c:\\work\\a\\b\\"},
              {"../x", 0, "c:\\x\\"},
              {"../../x", PFA_E_ROOT_DIR, ""},
              {"./y/", 0, "c:\\work\\y\\"},
              {too_long.c_str(), PFA_E_INVALID_NAME, ""}};
  vex_file *out = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&out), 0);
  char buf[PFA_NAME_SIZE];
  for (const auto &row : rows) {
    SCOPED_TRACE(row.rel);
    ASSERT_EQ(pfa_make_subdir(dir, row.rel, out), row.rc);
    if (row.rc == 0) {
      EXPECT_EQ(full(out), row.out);
    }
    ASSERT_EQ(pfa_build_path(dir, row.rel, buf), row.rc);
    if (row.rc == 0) {
      EXPECT_STREQ(buf, row.out);
    }
  }
  EXPECT_EQ(pfa_make_subdir(f_, "a", out), PFA_E_INVALID_INPUT);  // not a directory

  // Relative names parsed in a directory join onto it; in a file, onto
  // its parent; drive-relative and absolute names stay as they are.
  struct {
    const char *name, *out;
  } names[] = {{"sub\\a.prt", "c:\\work\\sub\\a.prt"},
               {"a.prt.2", "c:\\work\\a.prt.2"},
               {"..\\b.asm", "c:\\b.asm"},
               {"sub/", "c:\\work\\sub\\"},
               {"d:a.prt", "d:a.prt"},
               {"d:\\a.prt", "d:\\a.prt"},
               {"//s/h/a.prt", "\\\\s\\h\\a.prt"}};
  vex_file *file = pfa_alloc_file_in_dir(dir, "x.prt");
  ASSERT_NE(file, nullptr);
  for (const auto &row : names) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(pfa_parse_to_vex_file_in_dir(f_, dir, row.name), 0);
    EXPECT_EQ(full(f_), row.out);
    ASSERT_EQ(pfa_parse_to_vex_file_in_dir(f_, file, row.name), 0);
    EXPECT_EQ(full(f_), row.out);
  }
  EXPECT_EQ(pfa_parse_to_vex_file_in_dir(f_, dir, "../../x.prt"), PFA_E_ROOT_DIR);
  ASSERT_EQ(parse_to_pfa(f_, -1, "rel/a.prt"), 0);
  EXPECT_EQ(pfa_concat_locations(dir, f_), 0);
  EXPECT_EQ(full(f_), "c:\\work\\rel\\a.prt");
  EXPECT_TRUE(pfa_is_path_relative(u"a\\b.prt"));
  EXPECT_FALSE(pfa_is_path_relative(u"c:\\b.prt"));
  EXPECT_TRUE(pfa_is_path_relative(u"c:b.prt"));  // drive-relative
  EXPECT_FALSE(pfa_is_path_relative(u"lhws://x/a.prt"));
  pfa_free_vex_file(&file);
  pfa_free_vex_file(&out);
  pfa_free_vex_file(&dir);
}

TEST_F(PfaEnv, DumpShowsTheUsedComponents) {
  ASSERT_EQ(parse_to_pfa(f_, -1, "c:\\w\\a.prt.3"), 0);
  testing::internal::CaptureStdout();
  dump_vex_file(f_, f_);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "This file represents the Current Directory\n"
            "      loc2: c\n      loc3: /w/\n      name: a\n       ext: prt\n"
            "   version:  3\n      type: 2\nEnd of this file.\n\n");
}

}  // namespace
