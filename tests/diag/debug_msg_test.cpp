// The error-file and development message families, crash() and the
// status-code names.
#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/runmode.h>
#include <keelwork/thread.h>

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "test_files.h"

namespace {

using kw::test::read_file;
using kw::test::temp_path;

TEST(ErrorFileMessages, SilentWithTheStartSettings) {
  testing::internal::CaptureStderr();
  dbg_error_msg("f", 'A', "text %d", 1);
  dbg_info_msg("f", "text");
  dbg_crash_msg("f", "fatal");  // neither prints nor crashes
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ErrorFileMessages, FramesOnStandardError) {
  dbg_set_allow_print(1);
  testing::internal::CaptureStderr();
  dbg_error_msg("load_part", 'B', "bad %s", "header");
  dbg_info_msg("load_part", "%d parts", 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n*** B-LEVEL ERROR in load_part : ***\n\tbad header\n"
            "\n*** INFO MESSAGE from load_part : ***\n\t3 parts\n");
}

TEST(ErrorFileMessages, FirstMessageTruncatesTheFileLaterOnesAppend) {
  std::string path = temp_path("errfile");
  {
    std::ofstream old(path);
    old << "stale contents\n";
  }
  dbg_set_allow_print(1);
  dbg_set_error_file_name(path.c_str());
  dbg_info_msg("one", "first");
  dbg_info_msg("two", "second");
  EXPECT_EQ(
      read_file(path),
      "\n*** INFO MESSAGE from one : ***\n\tfirst\n\n*** INFO MESSAGE from two : ***\n\tsecond\n");
  std::remove(path.c_str());
}

TEST(ErrorFileMessages, UnopenableFileFallsBackToStandardError) {
  dbg_set_allow_print(1);
  dbg_set_error_file_name("/nonexistent-dir/for/sure/err.txt");
  testing::internal::CaptureStderr();
  dbg_info_msg("w", "to stderr");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("to stderr"), std::string::npos);
}

TEST(ErrorFileMessages, LongMessagesAreCutAtACharacterBoundary) {
  dbg_set_allow_print(1);
  std::string text(998, 'x');
  text += "\xC3\xA9";  // a two-byte character straddles byte 999
  testing::internal::CaptureStderr();
  dbg_info_msg("w", "%s", text.c_str());
  std::string out = testing::internal::GetCapturedStderr();
  std::string body = out.substr(out.find('\t') + 1);
  EXPECT_EQ(body, std::string(998, 'x') + "\n");
}

TEST(ErrorFileMessages, LegacyMessagesAreCutAtACharacterBoundary) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_JAPANESE);
  dbg_set_allow_print(1);
  std::string text = "x";
  for (int i = 0; i < 600; ++i) text += "\xB0\xA1";  // EUC-JP: two bytes each
  testing::internal::CaptureStderr();
  dbg_info_msg("w", "%s", text.c_str());
  std::string out = testing::internal::GetCapturedStderr();
  std::string body = out.substr(out.find('\t') + 1);
  EXPECT_EQ(body.size(), 1u + 998u + 1u);  // "x", 499 whole characters, the line feed
}

TEST(ErrorFileMessages, VetoKeepsCrashMsgFromCrashing) {
  dbg_set_allow_print(1);
  dbg_set_allow_crash(1);
  dbg_set_crash_func([](const char *where) { return std::string(where) == "harmless" ? 0 : 1; });
  testing::internal::CaptureStderr();
  dbg_crash_msg("harmless", "still printed");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("*** FATAL ERROR in harmless : ***"),
            std::string::npos);
}

TEST(ErrorFileMessagesDeath, CrashMsgCrashesInTheDebugEnvironment) {
  vex_set_debug_env(1);
  EXPECT_DEATH(dbg_crash_msg("fatal_place", "cannot %s", "go on"),
               "FATAL ERROR in fatal_place : \\*\\*\\*\n\tcannot go on");
}

TEST(ErrorFileMessages, NestedMessageIsDroppedAndDoesNotCrash) {
  dbg_set_allow_print(1);
  dbg_set_allow_crash(1);
  dbg_set_crash_func([](const char *) {
    dbg_crash_msg("nested", "inside the veto");  // busy: dropped, no crash
    return 0;
  });
  testing::internal::CaptureStderr();
  dbg_crash_msg("outer", "message");
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.find("nested"), std::string::npos);
  EXPECT_NE(out.find("outer"), std::string::npos);
}

int g_hook_calls;
std::string g_hook_text;
std::u16string g_trail;

int record_hook(const char *first, va_list rest) {
  ++g_hook_calls;
  g_hook_text = first;
  if (std::string(first) == "dummy message")
    g_hook_text += std::string("|") + va_arg(rest, const char *);
  return 0;
}

void record_trail(const kw_wchar *text, int code) {
  EXPECT_EQ(code, 69);
  g_trail += text;
  g_trail += u"\n";
}

TEST(DevelopmentMessages, SwitchedOffWithoutVerboseMode) {
  set_run_mode(5);
  testing::internal::CaptureStdout();
  EXPECT_EQ(dbg_err_crash("f", "x"), 0);
  EXPECT_EQ(dbg_err_syserr("f", "x"), 0);
  EXPECT_EQ(dbg_print_info("f", "value %d", 4), 1);  // verbose is not consulted
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "f:  value 4 (INFO MESSAGE)\n");
  set_run_mode(0);
  EXPECT_EQ(dbg_print_info("f", "x"), 0);
}

TEST(DevelopmentMessages, UserModeContinuesAndTellsTheHook) {
  set_verbose_mode(1);
  set_mgr_msg_func(record_hook);
  g_hook_calls = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(dbg_err_crash("f", "broken %d", 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "dbg_err_crash() -- continuing from serious error (ORDER_DEBUG).\n");
  EXPECT_EQ(g_hook_calls, 1);
  EXPECT_EQ(g_hook_text,
            "dummy message|dbg_err_crash() - continuing from serious error (ORDER_DEBUG).");
  testing::internal::CaptureStdout();
  EXPECT_EQ(dbg_err_syserr("f", "x"), 1);  // acts, prints nothing in user mode
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(DevelopmentMessagesDeath, DevelopmentModeCrashesAfterTellingTheTrail) {
  EXPECT_DEATH(
      {
        dup2(2, 1);  // console output to where the death test looks
        set_verbose_mode(1);
        set_run_mode(5);
        set_mgr_msg_put_in_trl_func(record_trail);
        dbg_err_crash("solver", "lost %s", "track");
      },
      "solver:  lost track\ndbg_err_crash\\(\\) -- crashing out in ORDER_DEBUG ONLY.");
}

TEST(DevelopmentMessages, CallbackDecidesAndIsAskedOnlyWhenTheDialogIsOn) {
  set_verbose_mode(1);
  set_run_mode(5);
  set_input_mode(1);  // no DBG_ERR_SHOW_DIALOG: the callback is not asked
  static int asked;
  asked = 0;
  set_dbg_err_crash_callback([](const char *, const char *) { return ++asked, 0; });
  set_dbg_err_crash(0);
  testing::internal::CaptureStdout();
  dbg_err_crash("f", "m");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(asked, 0);
}

TEST(DevelopmentMessages, CallbackReturningZeroTurnsTheCrashIntoContinuing) {
  set_verbose_mode(1);
  set_run_mode(5);
  set_mgr_msg_func(record_hook);
  set_mgr_msg_put_in_trl_func(record_trail);
  g_hook_calls = 0;
  g_trail.clear();
  static std::string seen;
  set_dbg_err_crash_callback([](const char *where, const char *message) {
    seen = std::string(where) + "/" + (message ? message : "(null)");
    return 0;
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(dbg_err_crash("mesh", "degenerate %d", 3), 1);
  EXPECT_EQ(
      testing::internal::GetCapturedStdout(),
      "mesh:  degenerate 3\ndbg_err_crash() -- continuing from serious error (ORDER_DEBUG).\n");
  EXPECT_EQ(seen, "mesh/degenerate 3");
  EXPECT_EQ(g_hook_calls, 1);
  EXPECT_TRUE(g_trail.empty());
}

TEST(DevelopmentMessages, DialogDecisionFollowsInputModeAndRunMode) {
  struct Row {
    int run_mode;
    bool show_dialog_env;
    bool expect_asked;
  };
  for (Row row : {Row{5, true, true}, Row{9029, true, false}, Row{-151, true, false}}) {
    SCOPED_TRACE(row.run_mode);
    EXPECT_EXIT(
        {
          if (row.show_dialog_env) setenv("DBG_ERR_SHOW_DIALOG", "", 1);
          set_verbose_mode(1);
          set_run_mode(row.run_mode);
          set_input_mode(1);
          static bool asked;
          set_dbg_err_crash_callback([](const char *, const char *) { return asked = true, 0; });
          std::signal(SIGABRT, [](int) { _exit(4); });  // the crash, when not asked
          dbg_err_crash("f", "m");
          _exit(asked ? 3 : 5);
        },
        testing::ExitedWithCode(row.expect_asked ? 3 : 4), "");
  }
}

TEST(DevelopmentMessages, InCrashHandlingOrNestedCallsDoNothing) {
  set_verbose_mode(1);
  EXPECT_EQ(set_in_crash_handling(1), 0);
  EXPECT_EQ(dbg_err_crash("f", "x"), 0);
  EXPECT_EQ(set_in_crash_handling(0), 1);
  set_run_mode(5);
  static int inner;
  set_dbg_err_crash_callback([](const char *, const char *) {
    inner = dbg_err_crash("inner", "x");
    return 0;
  });
  setenv("DBG_ERR_SHOW_DIALOG", "1", 1);
  testing::internal::CaptureStdout();
  dbg_err_crash("outer", "x");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(inner, 0);
}

TEST(DevelopmentMessages, ReportVaDispatchesByKind) {
  set_run_mode(3);
  set_verbose_mode(1);
  auto report = [](int kind, const char *where, ...) {
    va_list args;
    va_start(args, where);
    int r = VexDebugErrorReport_va(kind, where, args);
    va_end(args);
    return r;
  };
  testing::internal::CaptureStdout();
  EXPECT_EQ(report(1, "sys", "errno %d", 5), 0);
  EXPECT_EQ(report(2, "info", "n=%d", 2), 0);
  EXPECT_EQ(report(9, "none", "ignored"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "sys:  errno 5 (ORDER_DEBUG)\ninfo:  n=2 (INFO MESSAGE)\n");
}

TEST(Settings, AutoTracebackFlagFromAllowCrash) {
  struct Row {
    const char *value;
    int expect;
  };
  for (Row row : {Row{nullptr, 1}, Row{"always", 3}, Row{"AlWaYs", 3}, Row{"yes", 2}}) {
    SCOPED_TRACE(row.value ? row.value : "(unset)");
    EXPECT_EXIT(
        {
          if (row.value)
            setenv("ALLOW_CRASH", row.value, 1);
          else
            unsetenv("ALLOW_CRASH");
          _exit(get_auto_traceback_flag());
        },
        testing::ExitedWithCode(row.expect), "");
  }
  EXPECT_EQ(set_auto_traceback_flag(2), 0);  // set first: the environment is not read
  EXPECT_EQ(get_auto_traceback_flag(), 2);
}

TEST(Settings, SettersReturnWhatTheyShould) {
  EXPECT_EQ(dbg_set_allow_print(7), 7);
  EXPECT_EQ(set_vex_debug_switch(3), 3);
  EXPECT_EQ(set_verbose_mode(1), 0);
  EXPECT_EQ(get_verbose_mode(), 1);
  const char *name = "errors.log";
  EXPECT_EQ(dbg_set_error_file_name(name), name);
  EXPECT_EQ(vex_set_debug_env(1), 0);  // previous memory-manager verbosity
  EXPECT_EQ(get_run_mode(), -1);
  EXPECT_EQ(vex_set_debug_env(0), 1);
  EXPECT_EQ(get_run_mode(), 0);
  unlock_dbg_crash();  // before the lock exists: nothing happens
  lock_dbg_msg_tool();
  unlock_dbg_msg_tool();
}

TEST(CrashDeath, FallbackWhenTheCrashSignalReturns) {
  EXPECT_EXIT(
      {
        std::signal(SIGABRT, [](int) {});
        crash();
      },
      testing::ExitedWithCode(2), "");
  EXPECT_EXIT(
      {
        std::signal(SIGABRT, [](int) {});
        std::signal(SIGSEGV, [](int) {});
        set_vex_debug_switch(1);
        _exit(crash() == 0 ? 9 : 8);
      },
      testing::ExitedWithCode(9), "");
}

TEST(CrashDeath, TerminateHandlerRoutesAbortsIntoTheAssertion) {
  EXPECT_DEATH(
      {
        dup2(2, 1);
        init_terminate_handler();
        set_verbose_mode(1);
        set_run_mode(5);
        btkAbortToDbgErrCrash("bad state", "x.cpp", 12);
      },
      "btkAbort:   Warning in file x.cpp, line 12 :bad state");
}

TEST(StatusNames, Tables) {
  struct Row {
    int code;
    const char *name;
  };
  for (Row row : {Row{13, "E_NOT_IMPLEMENTED"}, Row{2048, "W_BAD_PARAM"},
                  Row{164, "Unknown error macro."}, Row{-3, "Unknown error macro."},
                  Row{-2, "E_BAD_IDX_FLAG"}, Row{396, "KST_E_TRANSITION_INTERSECT"},
                  Row{397, "Unknown error macro."}, Row{0, "E_NO_ERROR"}}) {
    SCOPED_TRACE(row.code);
    EXPECT_STREQ(dbg_err_string(row.code), row.name);
  }
  EXPECT_STREQ(vextk_perror(-7), "VEX_TK_CONTINUE");
  EXPECT_STREQ(vextk_perror(-98), "VEX_TK_APP_NEW_VERSION");
  EXPECT_STREQ(vextk_perror(5), "");
  EXPECT_STREQ(vextk_perror(-40), "");
  EXPECT_EQ(E_FOUND, 125);
  EXPECT_EQ(VEX_TK_E_BUSY, -38);
}

TEST(OutputHelpers, IdTables) {
  int32_t ids[] = {3, 5};
  testing::internal::CaptureStderr();
  dbg_pfa_show_id_tab(nullptr, "ids", ids, 2);
  dbg_pfa_show_id_tab(nullptr, "ids", ids, 0);
  dbg_pfa_show_id_tab_xar(nullptr, "none", nullptr);
  int32_t fake[8] = {};
  dbg_pfa_show_id_tab_xar(nullptr, "bad", fake + 4);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ids[3, 5]\nids[]\nnone<NULL>\nbad<INVALID>\n");
  char buffer[64];
  EXPECT_EQ(dbg_sprintf_id_tab(buffer, "t", ids, 2), 0);
  EXPECT_STREQ(buffer, "t[3, 5]");
  EXPECT_EQ(e_not_implemented_x("nothing"), E_NOT_IMPLEMENTED);
}

}  // namespace
