// The object-type table: its rows, the lookups and their ties, match types,
// filters, authors, registration and renaming, and the version helpers.
#include <gtest/gtest.h>
#include <keelwork/debug.h>
#include <keelwork/objtype.h>
#include <keelwork/runmode.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string narrow(const kw_wchar *w) {
  std::string s;
  for (; *w; ++w) s += static_cast<char>(*w);
  return s;
}

// Development messages print outside the user run mode; the assertion
// reports and continues.
void report_and_continue() {
  set_run_mode(-1);
  set_verbose_mode(1);
  set_dbg_err_crash(0);
}

TEST(ObjType, APIExamples) {
  int32_t type = extension_to_type("prt");
  EXPECT_EQ(type, 2);
  EXPECT_STREQ(get_db_type_label(type), "Part");
  EXPECT_EQ(type_to_mixed_case_OK(type), 0);  // part names are lower case
  char filter[OBJ_TYPE_FILTER_SIZE];
  EXPECT_EQ(type_to_one_filter_str_buff(type, filter, 1), 1);
  EXPECT_STREQ(filter, "*.prt*");
  int32_t mine = add_obj_type(u"KWX", u"Keelwork Example", 0);
  EXPECT_EQ(mine, 750001);
  EXPECT_EQ(ext_to_type(u"kwx"), mine);
}

TEST(ObjType, TellingRows) {
  struct Row {
    int32_t type;
    const char *ext, *label;
    int32_t name_length, spg_mode, name_list_type;
    const char *icon;
    int32_t ugc, author;
    uint32_t flags;
  } rows[] = {
      {2, "PRT", "Part", 32, 1, 2, "prt_image", 1, 1, 0x301},
      {10030, "PRT", "Concept Part", 32, 1, 2, nullptr, 0, 1, 0x101},
      {1, "ASM", "Assembly", 32, 2, 4, "asm_image", 2, 1, 0x301},
      {4, "DRW", "Drawing", 32, 3, 5, "drawing16x16", 4, 1, 0x1},
      {19, "LAY", "Layout", 32, 7, 6, "layout16x16", 5, 1, 0x1},
      {11, "SEC", "Sketch", 32, 0, 8, "sketcher16x16", 3, 1, 0x1},
      {33, "FRM", "Format", 32, 3, 9, "format16x16", 9, 1, 0x1},
      {37, "MFG", "Manufacturing", 32, 9, 10, "mfg16x16", 10, 1, 0x101},
      {27, "GPH", "Group", 32, -1, 16, "udf", 8, 1, 0x1},
      {10017, "XPR", "Inst Part", 32, 1, 2, nullptr, 50, 1, 0x1},
      {129, "PIC", "Picture", 260, -1, -1, "generic_nonkst", 56, 1, 0x0},
      {134, "IGS", "IGES", 260, -1, -1, nullptr, 0, 0, 0x6},
      {569, "EMN", "ECAD IDF", 66, -1, -1, nullptr, 0, 0, 0x4},
      {12910, "FMP", "FEM Mesh Part", 99, -1, -1, nullptr, 58, 1, 0x2},
      {-5, "DIR", "Directory", 260, -1, -1, "UI dir closed image", 0, 0, 0x2},
      {-7, "TPM", "Tool Param", 32, -1, -1, "mfg_tool", 0, 0, 0x0},
      {9000, "ZIP", "Zip file", 260, -1, -1, "UI zipfile image", 0, 0, 0x2},
      {1013, "CATPART", "CATIA V5 CATPart", 260, -1, -1, "epm_ctv5_part.gif", 0, 5, 0x246},
      {887, "PRT", "SolidWorks Part", 32, -1, -1, "epm_sw_part.gif", 0, 7, 0x222},
      {918, "JT", "JT", 80, -1, -1, nullptr, 0, 0, 0x2e},
      {74167, "UI", "User Customization File", 66, -1, -1, nullptr, 0, 0, 0x0},
      {-1, "", "All File", 32, -1, -1, "", 0, 0, 0x0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.type);
    EXPECT_TRUE(is_valid_dbtype(r.type));
    EXPECT_STREQ(type_to_extension(r.type), r.ext);
    EXPECT_STREQ(get_db_type_label(r.type), r.label);
    EXPECT_EQ(type_to_name_length(r.type), r.name_length);
    EXPECT_EQ(type_to_spg_mode(r.type), r.spg_mode);
    EXPECT_EQ(type_to_name_list_type(r.type), r.name_list_type);
    EXPECT_STREQ(type_to_icon_name(r.type, 0), r.icon);
    EXPECT_EQ(find_ugc_type_from_db_type(r.type), r.ugc);
    EXPECT_EQ(type_to_authoring_app(r.type), r.author);
    uint32_t flags =
        (type_to_mixed_case_OK(r.type) ? 0 : 0x1) | (type_to_weird_chars_OK(r.type) ? 0x2 : 0) |
        (is_nonkst_import_type(r.type) ? 0x4 : 0) |
        (type_needs_special_dialog_filtering(r.type) ? 0x8 : 0) |
        (type_has_unmatchable_ext(r.type) ? 0x20 : 0) |
        (type_no_ext_append_to_label(r.type) ? 0x40 : 0) |
        (type_dont_translate_label(r.type) ? 0x80 : 0) | (type_has_subtypes(r.type) ? 0x100 : 0) |
        (type_allows_family_names(r.type) ? 0x200 : 0);
    EXPECT_EQ(flags, r.flags);
  }
}

TEST(ObjType, SharedExtensionsResolveInTableOrder) {
  struct Row {
    const char *ext;
    int32_t type;
  } rows[] = {
      {"PRT", 2},        {"ASM", 1},     {"DRW", 4},
      {"SEC", 11},       {"IGS", 134},   {"CSV", 722},
      {"PDF", 617},      {"XML", 639},   {"JT", 918},
      {"WPF", 74130},    {"DIR", -5},    {"NEU", 198},
      {"MDB", 1100},     {"CEM", 316},   {"TIF", 563},
      {"INT", 124},      {"FRA", 12932}, {"CEL", 20005},
      {"MI", 747},       {"WPR", 753},   {"prt", 2},
      {"Catpart", 1013}, {"mrd", 74213}, {"MRD", 74213},
      {"x_t", 837},      {"", -1},       {"QQQ", -2},
      {"PRT ", -2},      {"P", -2},      {"AVERYLONGEXTENSIONTHATNOTYPEHASATALL", -2},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.ext);
    EXPECT_EQ(extension_to_type(r.ext), r.type);
  }
  EXPECT_EQ(extension_to_type(nullptr), -2);
  EXPECT_EQ(ext_to_type(u"asm"), 1);
  EXPECT_EQ(ext_to_type(nullptr), -2);
  const kw_wchar lone_surrogate[] = {0xD800, 0};
  EXPECT_EQ(ext_to_type(lone_surrogate), -2);
}

TEST(ObjType, UnknownCodesAnswerFromTheAllFileRow) {
  for (int32_t code : {3, 999999, -3, 750000}) {
    SCOPED_TRACE(code);
    EXPECT_FALSE(is_valid_dbtype(code));
    EXPECT_STREQ(type_to_extension(code), "");
    EXPECT_EQ(type_to_name_length(code), 32);
    EXPECT_STREQ(get_db_type_label(code), "All File");
    EXPECT_EQ(type_to_ext_match_type(code), -1);
    kw_wchar w[OBJ_TYPE_EXT_SIZE] = u"zz";
    EXPECT_EQ(type_to_extension_wbuff(code, w), 0);
    EXPECT_EQ(w[0], 0);
  }
  // The one-entry cache must not answer for another code.
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(get_db_type_label(2), "Part");
    EXPECT_STREQ(get_db_type_label(3), "All File");
    EXPECT_STREQ(get_db_type_label(1), "Assembly");
  }
  EXPECT_EQ(narrow(object_extension(1013)), "CATPART");
  EXPECT_EQ(is_runtime_file_type(2), 0);
}

TEST(ObjType, MatchTypesAndIcons) {
  struct Row {
    int32_t type, match;
  } rows[] = {{2, 2},     {10030, 2}, {887, 887}, {889, 889}, {891, 891}, {12905, -5},
              {810, 810}, {-1, -1},   {918, 918}, {732, 918}, {592, 129}, {74213, 74213}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.type);
    EXPECT_EQ(type_to_ext_match_type(r.type), r.match);
  }
  EXPECT_STREQ(type_to_icon_name(2, 1), "prt_image");
  EXPECT_STREQ(type_to_icon_name(537, 1), "generic_nonkst");  // an import type
  EXPECT_STREQ(type_to_icon_name(45, 1), "generic_kst");
  EXPECT_EQ(type_to_icon_name(45, 0), nullptr);
}

TEST(ObjType, ReverseLookupsByLabelAndMode) {
  EXPECT_EQ(type_label_to_type("part"), 2);
  EXPECT_EQ(type_label_to_type("SOLIDWORKS PART"), 887);
  EXPECT_EQ(type_label_to_type("no such label"), -1);
  EXPECT_EQ(type_label_to_type(nullptr), -1);
  EXPECT_EQ(spg_mode_to_type(1), 2);
  EXPECT_EQ(spg_mode_to_type(9), 37);
  EXPECT_EQ(spg_mode_to_type(0), 11);
  EXPECT_EQ(spg_mode_to_type(4242), -1);
}

TEST(Filters, OneType) {
  struct Row {
    int32_t type;
    int honour;
    int result;
    const char *filter;
  } rows[] = {
      {2, 1, 1, "*.prt*"},
      {918, 0, 1, "*.jt*"},
      {918, 1, 1, "*.j*"},
      {887, 1, 1, "*.pr*"},
      {37, 1, 1, "*.asm*,*.mfg*"},
      {1013, 1, 1, "*.catpart*"},
      {810, 1, 0, ""},
      {-1, 1, 0, ""},
      {74213, 1, 1, "*.mrd*"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.type);
    char buf[OBJ_TYPE_FILTER_SIZE] = "junk";
    EXPECT_EQ(type_to_one_filter_str_buff(r.type, buf, r.honour), r.result);
    EXPECT_STREQ(buf, r.filter);
  }
  kw_wchar w[OBJ_TYPE_FILTER_SIZE];
  EXPECT_EQ(type_to_one_filter_str(918, w, OBJ_TYPE_FILTER_SIZE), 1);
  EXPECT_EQ(narrow(w), "*.j*");
  EXPECT_EQ(type_to_one_filter_str(810, w, OBJ_TYPE_FILTER_SIZE), 1);
  EXPECT_EQ(narrow(w), "/|/");
  EXPECT_EQ(type_to_one_filter_str(-1, w, OBJ_TYPE_FILTER_SIZE), 0);
  EXPECT_EQ(narrow(w), "");
  EXPECT_EQ(type_to_one_filter_str(2, w, 4), 0);  // "*.prt*" does not fit
  EXPECT_EQ(w[0], 0);
}

TEST(Filters, SeveralTypes) {
  const int32_t types[] = {2, 810, 1, -1, 74213};
  EXPECT_STREQ(get_object_extension_filter(types, 5), "*{.PRT,.ASM,.MRD}*");
  EXPECT_STREQ(get_object_extension_filter(types, 1), "*.PRT*");
  EXPECT_STREQ(get_object_extension_filter(types, 0), "");
  EXPECT_STREQ(get_object_extension_filter(nullptr, 3), "");

  char buf[32];
  EXPECT_EQ(type_to_filter_str_buff(types, 5, buf, sizeof buf, 1), 3);
  EXPECT_STREQ(buf, "*.prt*,*.asm*,*.mrd*");
  EXPECT_EQ(type_to_filter_str_buff(types, 5, buf, 14, 1), 2);  // the third does not fit
  EXPECT_STREQ(buf, "*.prt*,*.asm*");
  EXPECT_EQ(type_to_filter_str_buff(types, 5, buf, 6, 1), 0);
  EXPECT_STREQ(buf, "");

  kw_wchar w[40];
  EXPECT_EQ(type_to_filter_str(types, 5, w, 40), 4);
  EXPECT_EQ(narrow(w), "*.prt*,/|/,*.asm*,*.mrd*");
}

TEST(Authors, NamesAndCodes) {
  report_and_continue();
  struct Row {
    const char *text;
    int32_t code;
  } rows[] = {{"", 0},        {"VEXE", 1},       {"vexe", 1},   {"QUILLWORK", 2}, {"ACAD", 4},
              {"CATIAV5", 5}, {"SolidWorks", 7}, {"TARVO5", 9}, {"MOSSMOD", 11},  {"SEDGE", 13}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(string_to_author(r.text), r.code);
  }
  EXPECT_STREQ(author_to_string(3), "VEXE");
  EXPECT_STREQ(author_to_string(12), "MSTATION");
  testing::internal::CaptureStdout();
  EXPECT_EQ(string_to_author("NOBODY"), 0);
  EXPECT_EQ(author_to_string(14), nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("NOBODY not found"), std::string::npos) << out;
  EXPECT_NE(out.find("Unknown type 14"), std::string::npos) << out;
}

TEST(Authors, AuthorAndExtensionRefineSharedExtensions) {
  report_and_continue();
  struct Row {
    const char *author, *ext, *kind;
    int32_t type;
  } rows[] = {
      {"VEXE", "prt", "", 2},
      {"SOLIDWORKS", "PRT", "", 887},
      {"UG", "PRT", "", 872},
      {"SEDGE", "PRT", "", 2},
      {"SOLIDWORKS", "ASM", "", 891},
      {"SEDGE", "asm", "", 20255},
      {"SOLIDWORKS", "DRW", "", 889},
      {"MSTATION", "CEL", "", 20251},
      {"SEDGE", "DFT", "", 20257},
      {"MOSSDRAFT", "MI", "drw", 747},
      {"MOSSDRAFT", "MI", "frm", 748},
      {"MOSSMOD", "MI", "drw", 758},
      {"MOSSMOD", "MI", "FRM", 759},
      {"MOSSMOD", "MI", nullptr, 758},
      {"TARVO5", "", "", 1005},
      {"TARVO5", "PRT", "", 1005},
      {"VEXE", "", "", -2},
      {"VEXE", nullptr, "", -2},
      {"ACAD", "DWG", "", 560},
      {"", "IGS", "", 134},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.author) + " " + (r.ext ? r.ext : "(null)"));
    EXPECT_EQ(author_and_ext_to_type(r.author, r.ext, r.kind, "name"), r.type);
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(author_and_ext_to_type("NOBODY", "PRT", "", "a"), 2);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("unknown author NOBODY:"),
            std::string::npos);
}

TEST(Registration, AddsTypesAboveTheDynamicBase) {
  report_and_continue();
  int32_t first = add_obj_type(u"abc", u"First Added", 0);
  int32_t second = add_obj_type(u"DEF", u"Second Added", 1);
  EXPECT_EQ(first, 750001);
  EXPECT_EQ(second, 750002);
  EXPECT_EQ(extension_to_type("ABC"), first);
  EXPECT_STREQ(type_to_extension(first), "ABC");
  EXPECT_STREQ(get_db_type_label(second), "Second Added");
  EXPECT_EQ(type_label_to_type("second added"), second);
  EXPECT_EQ(is_runtime_file_type(first), 1);
  EXPECT_EQ(type_to_name_length(first), 260);
  EXPECT_EQ(type_to_spg_mode(first), -1);
  EXPECT_EQ(type_to_ext_match_type(second), second);
  EXPECT_EQ(type_to_weird_chars_OK(first), 1);
  EXPECT_EQ(type_to_mixed_case_OK(first), 1);
  EXPECT_EQ(type_dont_translate_label(first), 1);
  EXPECT_EQ(is_nonkst_import_type(first), 0);
  EXPECT_EQ(is_nonkst_import_type(second), 1);
  // The earlier lookups of the static table still hold.
  EXPECT_EQ(extension_to_type("PRT"), 2);
  EXPECT_EQ(extension_to_type("IGS"), 134);

  testing::internal::CaptureStdout();
  EXPECT_EQ(add_obj_type(u"prt", u"Clash", 0), -1);
  EXPECT_EQ(add_obj_type(u"Abc", u"Clash", 0), -1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("extension prt in use"), std::string::npos) << out;
  const kw_wchar lone_surrogate[] = {u'A', 0xDC00, 0};
  struct Bad {
    const kw_wchar *ext, *label;
  } bad[] = {{nullptr, u"x"},       {u"X1", nullptr}, {u"", u"x"},
             {u".X", u"x"},         {u"A,B", u"x"},   {u"A B", u"x"},
             {u"A/B", u"x"},        {u"A*", u"x"},    {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", u"x"},
             {lone_surrogate, u"x"}};
  testing::internal::CaptureStdout();
  for (const Bad &b : bad) EXPECT_EQ(add_obj_type(b.ext, b.label, 0), -1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(add_obj_type(u"GHI", u"Third Added", 0), 750003);  // no code was used up
}

TEST(Registration, RenamingMovesTheLookups) {
  report_and_continue();
  int32_t mine = add_obj_type(u"OLD1", u"Mine", 0);
  ASSERT_EQ(notify_extension_changed(mine, "new1", "Renamed", 1), 0);
  EXPECT_EQ(extension_to_type("OLD1"), -2);
  EXPECT_EQ(extension_to_type("NEW1"), mine);
  EXPECT_STREQ(type_to_extension(mine), "NEW1");
  EXPECT_STREQ(get_db_type_label(mine), "Renamed");
  EXPECT_EQ(type_dont_translate_label(mine), 0);
  ASSERT_EQ(notify_extension_changed(mine, "NEW2", nullptr, 0), 0);
  EXPECT_STREQ(get_db_type_label(mine), "Renamed");  // no label: kept
  EXPECT_EQ(type_dont_translate_label(mine), 0);

  // A static row gives up a shared extension: the next row in table order
  // takes over, and match types follow.
  ASSERT_EQ(notify_extension_changed(129, "PICX", "Picture", 0), 0);
  EXPECT_EQ(extension_to_type("PIC"), 592);
  EXPECT_EQ(type_to_ext_match_type(592), 592);
  EXPECT_EQ(extension_to_type("picx"), 129);
  EXPECT_EQ(type_dont_translate_label(129), 1);

  testing::internal::CaptureStdout();
  EXPECT_EQ(notify_extension_changed(3, "ZZZ", nullptr, 0), -1);
  EXPECT_EQ(notify_extension_changed(mine, nullptr, nullptr, 0), -1);
  EXPECT_EQ(notify_extension_changed(mine, "A.B", nullptr, 0), -1);
  testing::internal::GetCapturedStdout();
}

// Enough registrations to outgrow the indexes more than once: every type,
// old and new, stays reachable by code and by extension in any ASCII case.
TEST(Registration, ManyTypesKeepEveryLookup) {
  report_and_continue();
  std::vector<int32_t> codes;
  for (int i = 0; i < 700; ++i) {
    std::u16string ext = u"R" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                         static_cast<char16_t>(u'0' + i / 26 % 10) +
                         static_cast<char16_t>(u'0' + i / 260);
    codes.push_back(add_obj_type(ext.c_str(), u"Many", 0));
    ASSERT_GT(codes.back(), 750000) << i;
  }
  for (int i = 0; i < 700; ++i) {
    SCOPED_TRACE(i);
    std::string ext = type_to_extension(codes[i]);
    std::string lower = ext;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(extension_to_type(lower.c_str()), codes[i]);
    EXPECT_EQ(type_to_ext_match_type(codes[i]), codes[i]);
  }
  EXPECT_EQ(extension_to_type("prt"), 2);
  EXPECT_EQ(extension_to_type("sec"), 11);
  EXPECT_EQ(extension_to_type(""), -1);
  EXPECT_EQ(type_to_name_length(2), 32);

  // Only ASCII letters fold; the longest extension is found, one more
  // character is none.
  int32_t accented = add_obj_type(u"\u00c4X", u"Accented", 0);
  ASSERT_GT(accented, 750000);
  EXPECT_EQ(extension_to_type("\xc3\x84x"), accented);
  EXPECT_EQ(extension_to_type("\xc3\xa4x"), -2);
  const std::u16string k31(31, u'L');
  int32_t longest = add_obj_type(k31.c_str(), u"Longest", 0);
  ASSERT_GT(longest, 750000);
  EXPECT_EQ(extension_to_type(std::string(31, 'l').c_str()), longest);
  EXPECT_EQ(extension_to_type(std::string(32, 'l').c_str()), -2);
}

TEST(Registration, RelaxingNameRestrictions) {
  report_and_continue();
  EXPECT_EQ(access_objextension_vex_flag(0, 1), 0);  // reading leaves it
  EXPECT_EQ(access_objextension_vex_flag(1, 1), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(relax_non_vexe_filename_restrictions(), -1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("not for vexe!"), std::string::npos);
  EXPECT_EQ(type_to_mixed_case_OK(45), 0);
  access_objextension_vex_flag(1, 0);
  EXPECT_EQ(relax_non_vexe_filename_restrictions(), 0);
  EXPECT_EQ(type_to_mixed_case_OK(45), 1);
  EXPECT_EQ(type_to_weird_chars_OK(45), 1);
  EXPECT_EQ(type_to_name_length(45), 260);
  EXPECT_EQ(type_to_mixed_case_OK(2), 0);  // has a name-list category
  EXPECT_EQ(type_to_name_length(2), 32);
}

TEST(Consistency, ChecksReportEachDifference) {
  dbg_set_allow_print(1);
  const int32_t types[] = {2, 1, 4};
  const int32_t namelists[] = {2, 5, 5};
  const int32_t ugcs[] = {1, 2, 4};
  testing::internal::CaptureStderr();
  EXPECT_EQ(obj_type_verify_namelist_ids(types, namelists, 3), 1);
  EXPECT_EQ(obj_type_verify_ugc_types(types, ugcs, 3), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("namelist 4 != 5 for type 1"), std::string::npos) << err;
  EXPECT_EQ(obj_type_verify_ugc_types(nullptr, ugcs, 3), 0);
}

TEST(Versions, NameHelpers) {
  struct Row {
    const char *name, *cut;
    int32_t version;
  } rows[] = {
      {"a.prt.3", "a.prt", 3},
      {"dir\\a.prt.12", "dir\\a.prt", 12},
      {"a.prt", "a.prt", 0},
      {"a.prt.x", "a.prt.x", 0},
      {"a.prt.", "a.prt.", 0},
      {"dir.5\\", "dir.5\\", 0},
      {"dir.5/a", "dir.5/a", 0},
      {"a.prt.99999999999", "a.prt.99999999999", 0},
      {"a.prt.2147483647", "a.prt", 2147483647},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    char out[64] = "";
    EXPECT_EQ(get_version_from_ascii_fname(r.name, out), r.version);
    EXPECT_STREQ(out, r.cut);
  }
  struct Strip {
    const char16_t *name;
    const char *without_version, *without_ext;
  } strips[] = {
      {u"a.prt.3", "a.prt", "a"},
      {u"d.x\\a.prt.3", "d.x\\a.prt", "d.x\\a"},
      {u".hidden.prt.2", ".hidden.prt", ".hidden"},
      {u"a", "a", "a"},
      {u"d.x/b", "d.x/b", "d.x/b"},
  };
  for (const Strip &s : strips) {
    SCOPED_TRACE(narrow(s.name));
    std::u16string a(s.name), b(s.name);
    strip_version_from_fname(a.data());
    strip_extension_from_fname(b.data());
    EXPECT_EQ(narrow(a.c_str()), s.without_version);
    EXPECT_EQ(narrow(b.c_str()), s.without_ext);
    std::string c = narrow(s.name);
    strip_ext_from_ascii_fname(c.data());
    EXPECT_STREQ(c.c_str(), s.without_ext);
  }
  EXPECT_EQ(strip_version_from_fname(nullptr), 0);
  EXPECT_EQ(get_version_from_ascii_fname(nullptr, nullptr), 0);
}

}  // namespace
