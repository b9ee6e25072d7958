// Location types: registration and its refusals, calling-sequence checks,
// dispatch with substitutes, unregistering, the built-in types and a
// data-management type registered the way other modules do it.
#include <gtest/gtest.h>
#include <keelwork/pfa.h>

#include <cstring>
#include <string>

#include "algo/algo_test_util.h"

namespace {

struct pfa_stream_view {  // the stream record's first word
  void *handle;
  int32_t pad[2];
};

int g_calls = 0;
int answer_seven(vex_file *) { return ++g_calls, 7; }
int answer_fl(vex_file *, pfa_stream *) { return ++g_calls, 11; }
int claim_lhws(vex_file *f, void *name, void *, void *consumed) {
  const char *s = static_cast<const char *>(name);
  if (std::strncmp(s, "lhws://", 7) != 0) return PFA_E_INVALID_NAME;
  const char *end = std::strrchr(s, '/');
  int n = static_cast<int>(end - s) + 1;
  pfa_put_component_len(f, PFA_LOC1, "lhws:", 5, 0);
  pfa_put_component_len(f, PFA_LOC3, s + 6, n - 6, 0);
  *static_cast<int *>(consumed) = n;
  return 0;
}
int print_lhws(vex_file *f, void *buf, void *, size_t size) {
  char host[PFA_NAME_SIZE], path[PFA_NAME_SIZE];
  pfa_get_component(f, PFA_LOC1, host, sizeof host);
  pfa_get_component(f, PFA_LOC3, path, sizeof path);
  std::string s = std::string(host) + "/" + path;
  if (s.size() >= size) return PFA_E_INVALID_INPUT;
  std::memcpy(buf, s.c_str(), s.size() + 1);
  return 0;
}
int idx0(vex_file *) { return 0; }
int idx1(vex_file *) { return 1; }
int idx2(vex_file *) { return 2; }
int versioning_strings(vex_file *) { return 0x4; }
int g_freed = 0;
int on_free(vex_file *) { return ++g_freed, 0; }

// Registers type 2 as a data-management location with the "lhws:" scheme.
void register_lhws() {
  ASSERT_EQ(pfa_loc_register_setup(PFA_LOC_UNI_FS), 1);
  pfa_loc_method_register_F(2, PFALOC_PfaDeviceIdx, idx1);
  pfa_loc_method_register_F(2, PFALOC_PfaHostIdx, idx0);
  pfa_loc_method_register_F(2, PFALOC_PfaPathIdx, idx2);
  pfa_loc_method_register_FPPP(2, PFALOC_PfaClaimLocation, claim_lhws);
  pfa_loc_method_register_FPPS(2, PFALOC_PfaGetLocationString, print_lhws);
  pfa_loc_method_register_FPPS(2, PFALOC_PfaGetNeutralLocation, print_lhws);
  pfa_loc_method_register_F(2, PFALOC_PfaFree, on_free);
  pfa_loc_method_register_F(2, PFALOC_PfaLocGetVersioning, versioning_strings);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
}

TEST(PfaLoc, APIExamples) {
  vex_file *first = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&first), 0);  // registers the built-in types
  register_lhws();
  vex_file *f = pfa_alloc_file("lhws://ws/doc/a.prt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->loc_type, PFA_LOC_UNI_FS);
  char buf[PFA_NAME_SIZE];
  ASSERT_EQ(pfa_get_full_name(f, buf), 0);
  EXPECT_STREQ(buf, "lhws://ws/doc/a.prt");
  EXPECT_TRUE(pfaloc_is_pdm_system(f));
  EXPECT_TRUE(pfaloc_is_ledgerhall(f));
  EXPECT_TRUE(pfaloc_is_pdm_workspace(f));
  EXPECT_FALSE(pfaloc_is_plankyard(f));
  EXPECT_FALSE(pfaloc_allows_numeric_versions(f));
  EXPECT_TRUE(pfaloc_allows_string_versions(f));
  *pfa_find_appinfo(f, pfaidx_app_id, 1) = 1;
  pfa_free_vex_file(&f);
  EXPECT_EQ(g_freed, 1);  // the location hears of the release
  pfa_free_vex_file(&first);
}

TEST(PfaLoc, BuiltInTypesAndTheirDefaults) {
  vex_file *f = pfa_alloc_file("c:\\w\\a.prt");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(pfa_location_type_registered(1));
  EXPECT_TRUE(pfa_location_type_registered(4));
  EXPECT_TRUE(pfa_location_type_registered(8));
  EXPECT_FALSE(pfa_location_type_registered(0));
  EXPECT_FALSE(pfa_location_type_registered(2));
  EXPECT_FALSE(pfa_location_type_registered(16));
  EXPECT_TRUE(pfaloc_is_case_sensitive(f));
  EXPECT_TRUE(pfaloc_allows_multiple_versions(f));
  EXPECT_TRUE(pfaloc_allows_numeric_versions(f));
  EXPECT_FALSE(pfaloc_allows_string_versions(f));
  EXPECT_FALSE(pfaloc_is_transient(f));
  EXPECT_FALSE(pfaloc_forbids_TARVO5(f));
  EXPECT_FALSE(pfaloc_is_pdm_system(f));
  EXPECT_EQ(pfaloc_get_transaction_owner(f, nullptr), 2);
  EXPECT_EQ(pfaloc_open_transaction(f, 0, nullptr), 0);
  EXPECT_TRUE(pfaloc_supports_method(f, PFALOC_PfaClaimLocation));
  EXPECT_FALSE(pfaloc_supports_method(f, PFALOC_PfaOpenTransaction));
  EXPECT_STREQ(pfaloc_type_name(4), "PfaUNC");
  EXPECT_STREQ(pfaloc_slot_name(PFALOC_PfaDirGetEntryInfo), "PfaDirGetEntryInfo");
  EXPECT_STREQ(pfaloc_sequence_name(pfaloc_slot_sequence(59)), "PLM_CALL_FLFIIIPPP");
  EXPECT_EQ(pfaloc_slot_uses_substitute(PFALOC_PfaFgets), 1);
  EXPECT_EQ(pfaloc_slot_uses_substitute(PFALOC_PfaCloseFile), 0);
  // Standard streams: named, untyped, without versions.
  vex_file *out = pfa_alloc_file("stdio://out");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->loc_type, PFA_LOC_STDIO);
  EXPECT_FALSE(pfaloc_allows_numeric_versions(out));
  EXPECT_EQ(pfaloc_call_FII(PFALOC_PfaAccess, out, 0, 0), 0);
  pfa_free_vex_file(&out);
  // A file of location type 0 has no methods and answers defaults silently.
  f->loc_type = 0;
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaIsFolder, f), -1);
  EXPECT_TRUE(pfaloc_allows_numeric_versions(f));
  EXPECT_TRUE(pfaloc_is_case_sensitive(f));
  f->loc_type = 1;
  pfa_free_vex_file(&f);
}

TEST(PfaLoc, RegistrationRefusals) {
  vex_file *f = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&f), 0);
  kw::test::Reports reports;
  EXPECT_EQ(pfa_loc_register_setup(4), 0);
  EXPECT_EQ(pfa_loc_register_setup(16), 0);
  EXPECT_EQ(pfa_loc_register_setup(0), 0);
  EXPECT_EQ(pfa_loc_register_append(3), 0);
  EXPECT_EQ(pfa_loc_method_register(5, PFALOC_PfaFree, PLM_CALL_F, nullptr), 0);
  ASSERT_EQ(pfa_loc_register_setup(5), 1);
  EXPECT_EQ(pfa_loc_method_register(6, PFALOC_PfaFree, PLM_CALL_F, nullptr), 0);
  EXPECT_EQ(pfa_loc_method_register(5, 98, PLM_CALL_F, nullptr), 0);
  EXPECT_EQ(pfa_loc_method_register(5, PFALOC_PfaIsFolder, 36, nullptr), 0);
  EXPECT_EQ(pfa_loc_method_register(5, PFALOC_PfaIsFolder, PLM_CALL_FL,
                                    reinterpret_cast<pfaloc_method>(&answer_fl)),
            0);
  EXPECT_EQ(pfa_loc_type_inherit_methods(5, 2), 0);
  EXPECT_EQ(pfa_loc_type_inherit_methods(5, 17), 0);
  EXPECT_EQ(pfa_loc_register_setup(0), 1);
  EXPECT_EQ(pfa_location_unregister(9), 0);
  EXPECT_EQ(
      reports.take(),
      (std::vector<std::string>{
          "pfa_loc_register_setup: type PfaUNC (4) already registered",
          "pfa_loc_register_setup: invalid type index 16",
          "pfa_loc_register_setup: closing unopened registry",
          "pfa_loc_register_append: type index 3 not registered",
          "pfa_loc_method_register: not currently registering PfaInSession",
          "pfa_loc_method_register: registry open for type PfaInSession, not type PfaQuillbay",
          "pfa_loc_method_register: invalid input",
          "pfa_loc_method_register: unknown calling sequence code 36",
          "pfa_loc_method_register: PfaIsFolder should be PLM_CALL_F, not PLM_CALL_FL",
          "pfa_loc_type_inherit_methods: can't inherit methods from as-yet-unregistered "
          "UniFilesystem",
          "pfa_loc_type_inherit_methods: args out of range",
          "pfa_location_unregister: type index 9 not registered"}));
  // The refused method left the slot empty.
  EXPECT_EQ(pfaloc_get_func_low(5, PFALOC_PfaIsFolder, PLM_CALL_F), nullptr);
  // Calling with the wrong sequence finds no method and says so.
  EXPECT_EQ(pfaloc_get_func_low(1, PFALOC_PfaIsFolder, PLM_CALL_FP), nullptr);
  EXPECT_EQ(pfaloc_get_func_low(16, PFALOC_PfaIsFolder, PLM_CALL_F), nullptr);
  EXPECT_EQ(reports.take(), (std::vector<std::string>{
                                "pfaloc_get_func_low: tried to call PfaIsFolder with attrs 17",
                                "pfaloc_get_func_low: unknown location type 16 (out of range)"}));
  pfa_free_vex_file(&f);
}

TEST(PfaLoc, AppendInheritAndUnregister) {
  vex_file *f = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&f), 0);
  ASSERT_EQ(pfa_loc_register_setup(14), 1);
  EXPECT_EQ(pfa_loc_type_inherit_methods(14, PFA_LOC_STD_FS), 1);
  EXPECT_EQ(pfa_loc_method_unregister(14, PFALOC_PfaClaimLocation), 1);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
  // Type 14 inherits everything but the claim, so names still go to type 1.
  ASSERT_EQ(pfa_parse_to_vex_file(f, "c:\\x\\a.prt"), 0);
  EXPECT_EQ(f->loc_type, 1);
  ASSERT_EQ(pfa_loc_register_append(14), 1);
  EXPECT_EQ(pfa_loc_type_inherit_method(14, PFA_LOC_STD_FS, PFALOC_PfaClaimLocation), 1);
  EXPECT_EQ(pfa_loc_type_inherit_method(14, PFA_LOC_STD_FS, PFALOC_PfaOpenTransaction), 0);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
  ASSERT_EQ(pfa_parse_to_vex_file(f, "c:\\x\\a.prt"), 0);
  EXPECT_EQ(f->loc_type, 14);  // higher types are asked first

  // Unregistered, the type keeps parsing its names; access answers 0 and
  // everything else its default.
  ASSERT_EQ(pfa_location_unregister(14), 1);
  EXPECT_TRUE(pfa_location_type_registered(14));
  ASSERT_EQ(pfa_parse_to_vex_file(f, "c:\\x\\a.prt.2"), 0);
  EXPECT_EQ(f->loc_type, 14);
  EXPECT_EQ(pfaloc_call_FII(PFALOC_PfaAccess, f, 0, 0), 0);
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaIsFolder, f), -1);
  char buf[PFA_NAME_SIZE];
  EXPECT_EQ(pfa_get_full_name(f, buf), 0);
  EXPECT_STREQ(buf, "a.prt.2");  // no printer: the location prints nothing
  pfa_free_vex_file(&f);
}

TEST(PfaLoc, SubstitutesTakeTheStreamCalls) {
  ASSERT_EQ(pfa_loc_register_setup(13), 1);
  pfa_loc_method_register_F(13, PFALOC_PfaDeviceIdx, idx1);
  pfa_loc_method_register_FL(13, PFALOC_PfaFgetc, answer_fl);
  pfa_loc_method_register_FL(13, PFALOC_PfaCloseFile, answer_fl);
  pfa_loc_method_register_F(13, PFALOC_PfaIsFolder, answer_seven);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
  ASSERT_EQ(pfa_loc_register_setup(12), 1);
  pfa_loc_method_register_F(12, PFALOC_PfaDeviceIdx, idx1);
  pfa_loc_method_register_F(12, PFALOC_PfaIsFolder, answer_seven);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);

  vex_file *outer = nullptr, *sub = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&outer), 0);
  ASSERT_EQ(pfa_alloc_vex_file(&sub), 0);
  outer->loc_type = 12;
  sub->loc_type = 13;
  pfa_stream_view outer_stream{sub, {0, 0}}, sub_stream{nullptr, {0, 0}};
  outer->stream = reinterpret_cast<pfa_stream *>(&outer_stream);
  sub->stream = reinterpret_cast<pfa_stream *>(&sub_stream);
  outer->flags |= PFA_F_SUBSTITUTE;

  g_calls = 0;
  EXPECT_EQ(pfaloc_call_FL(PFALOC_PfaFgetc, outer), 11);      // marked: to the substitute
  EXPECT_EQ(pfaloc_call_FL(PFALOC_PfaCloseFile, outer), -1);  // not marked: type 12 has none
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaIsFolder, outer), 7);
  EXPECT_EQ(g_calls, 2);

  kw::test::Reports reports;
  sub->stream = nullptr;
  EXPECT_EQ(pfaloc_call_FL(PFALOC_PfaFgetc, sub), -1);  // L without a stream is refused
  outer->stream = nullptr;
  EXPECT_EQ(pfaloc_call_FL(PFALOC_PfaFgetc, outer), -1);
  // A substitute that leads back to itself ends instead of looping.
  outer->stream = reinterpret_cast<pfa_stream *>(&outer_stream);
  outer_stream.handle = outer;
  EXPECT_EQ(pfaloc_call_FL(PFALOC_PfaFgetc, outer), -1);
  EXPECT_EQ(reports.take(), (std::vector<std::string>{"pfaloc_prepare_call: pfa_stream missing",
                                                      "pfaloc_get_func: pfa_stream missing"}));
  outer->flags &= ~PFA_F_SUBSTITUTE;
  outer->stream = nullptr;
  pfa_free_vex_file(&sub);
  pfa_free_vex_file(&outer);
}

// The call wrappers answer from the type's table directly; whatever that
// path cannot vouch for must still be refused and reported as before.
TEST(PfaLoc, CallsAreCheckedLikeLookups) {
  vex_file *f = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&f), 0);
  ASSERT_EQ(pfa_parse_to_vex_file(f, "c:\\x\\a.prt"), 0);
  f->loc_type = PFA_LOC_STD_FS;  // whichever type claimed it in earlier tests
  kw::test::Reports reports;
  add_added_run_mode(9998);
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaDeviceIdx, f), PFA_LOC2);
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaFree, f), -1);  // empty slot, reported in this mode
  f->loc_type = 0;
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaFree, f), -1);  // no location: nothing to report
  del_added_run_mode(9998);
  EXPECT_NE(reports.console().find(
                "pfaloc_get_func_low:  calling undefined PfaFree method for PfaStdFilesystem"),
            std::string::npos);
  EXPECT_TRUE(reports.take().empty());

  vex_file *g = f;
  f->loc_type = 1;
  EXPECT_EQ(pfaloc_prepare_call(&g, PFALOC_PfaDeviceIdx, PLM_CALL_FP), nullptr);
  EXPECT_EQ(pfaloc_prepare_call(&g, PFALOC_SLOT_COUNT, PLM_CALL_F), nullptr);
  f->loc_type = PFA_LOC_TYPE_COUNT;
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaDeviceIdx, f), -1);
  EXPECT_EQ(reports.take(), (std::vector<std::string>{
                                "pfaloc_get_func_low: tried to call PfaDeviceIdx with attrs 17",
                                "pfaloc_get_func_low: no such method 98",
                                "pfaloc_get_func_low: unknown location type 16 (out of range)"}));
  EXPECT_EQ(g, f);
  f->loc_type = 1;
  f->magic = 0;
  EXPECT_EQ(pfaloc_call_F(PFALOC_PfaDeviceIdx, f), -1);  // not a record: no method
  f->magic = PFA_MAGIC;
  pfa_free_vex_file(&f);
}

int g_private_touch = 0;
int entry_info(vex_file *, pfa_stream *l, vex_file *, int, int, int, void *, void *, void *) {
  if (g_private_touch) reinterpret_cast<pfa_stream_view *>(l)->handle = l;
  return 3;
}

TEST(PfaLoc, PrivateStreamMustNotChange) {
  ASSERT_EQ(pfa_loc_register_setup(11), 1);
  pfa_loc_method_register_FLFIIIPPP(11, PFALOC_PfaDirGetEntryInfo, entry_info);
  ASSERT_EQ(pfa_loc_register_setup(0), 1);
  vex_file *f = nullptr;
  ASSERT_EQ(pfa_alloc_vex_file(&f), 0);
  f->loc_type = 11;
  kw::test::Reports reports;
  EXPECT_EQ(pfaloc_call_FLFIIIPPP(PFALOC_PfaDirGetEntryInfo, f, nullptr, nullptr, 0, 0, 0, nullptr,
                                  nullptr, nullptr),
            3);
  EXPECT_TRUE(reports.take().empty());
  g_private_touch = 1;
  EXPECT_EQ(pfaloc_call_FLFIIIPPP(PFALOC_PfaDirGetEntryInfo, f, nullptr, nullptr, 0, 0, 0, nullptr,
                                  nullptr, nullptr),
            3);
  EXPECT_EQ(reports.take(),
            std::vector<std::string>{
                "pfaloc_call_FLFIIIPPP: stream not provided by caller but modified by function"});
  pfa_free_vex_file(&f);
}

}  // namespace
