// The exit-handler registry, temporary-file cleanup and the exit sequence.
// Anything that ends the process runs in a death-test child.
#include <gtest/gtest.h>
#include <keelwork/debug.h>
#include <keelwork/kstexit.h>
#include <keelwork/runmode.h>
#include <keelwork/thread.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

// Handlers print their name and reason on standard error, where the death
// tests read them.
int handler_a(int reason) { return std::fprintf(stderr, "A%d ", reason); }
int handler_b(int reason) { return std::fprintf(stderr, "B%d ", reason); }
int handler_c(int reason) { return std::fprintf(stderr, "C%d ", reason); }

// A fresh directory for one test's temporary files.
class TempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) / ("kst_exit_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, ec);
    fs::remove_all(root_, ec);
  }
  std::string path(const char *name) const { return (root_ / name).string(); }
  std::string touch(const char *name) const {
    std::ofstream(path(name)) << "x";
    return path(name);
  }
  fs::path root_;
};

TEST(ExitHandlersDeath, RunNewestFirstWithTheReasonOfTheStatus) {
  struct Row {
    int status;
    const char *out;
  };
  for (Row row :
       {Row{0, "C1 B1 A1 $"}, Row{1, "C2 B2 A2 $"}, Row{3, "C3 B3 A3 $"}, Row{7, "C2 B2 A2 $"}}) {
    SCOPED_TRACE(row.status);
    EXPECT_EXIT(
        {
          kst_exit_register(handler_a);
          kst_exit_register(handler_b);
          kst_exit_register(handler_c);
          kst_exit(row.status);
        },
        testing::ExitedWithCode(row.status), row.out);
  }
}

TEST(ExitHandlersDeath, UnregisterRemovesTheNewestDuplicate) {
  EXPECT_EXIT(
      {
        kst_exit_register(handler_a);
        kst_exit_register(handler_b);
        kst_exit_register(handler_a);
        if (kst_exit_unregister(handler_a) != 1 || kst_exit_unregister(handler_c) != 0) _exit(9);
        kst_exit_register(nullptr);  // refused: it could only crash the exit
        kst_exit(0);
      },
      testing::ExitedWithCode(0), "^B1 A1 $");
}

// Handlers that change the list while it runs: those registered when the
// run began all run once, a newcomer waits for a run that never comes.
TEST(ExitHandlersDeath, ChangesDuringTheRunDoNotDisturbIt) {
  EXPECT_EXIT(
      {
        kst_exit_register(handler_a);
        kst_exit_register([](int r) {
          kst_exit_unregister(handler_a);
          kst_exit_register(handler_c);
          return std::fprintf(stderr, "B%d ", r);
        });
        kst_exit(0);
      },
      testing::ExitedWithCode(0), "^B1 A1 $");
}

TEST(ExitHandlersDeath, EachStageRunsOnceWhateverPathEndsTheProcess) {
  // A handler that crashes: crash()'s fallback neither repeats the handlers
  // nor skips the final stage, and ends with status 2.
  EXPECT_EXIT(
      {
        dup2(2, 1);
        std::signal(SIGABRT, [](int) {});
        kst_exit_register([](int r) { return std::fprintf(stderr, "H%d ", r), crash(); });
        kst_exit(0);
      },
      testing::ExitedWithCode(2), "^H1 Serious internal error; cannot continue.\n$");
  EXPECT_EXIT(
      {
        kst_exit_register(handler_a);
        kst_exit_run(3);
        kst_exit_run(4);
        kst_exit(0);
      },
      testing::ExitedWithCode(0), "^A3 $");
}

TEST(ExitHandlersDeath, ExceptionsAreContainedByKstExit) {
  EXPECT_EXIT(
      {
        kst_exit_register(handler_a);
        kst_exit_register([](int) -> int { throw std::runtime_error("handler"); });
        _exit(kst_exit(0) == -1 ? 42 : 1);
      },
      testing::ExitedWithCode(42), "^$");  // the older handler is skipped
  EXPECT_EXIT(
      {
        set_kst_exit_func([](int) -> int { throw 1; });
        _exit(kst_exit(0) == -1 ? 43 : 1);
      },
      testing::ExitedWithCode(43), "");
}

TEST(ExitStatusDeath, ExpectedStatusBecomesSuccess) {
  struct Row {
    const char *expected;
    int status;
    int code;
    const char *out;
  };
  for (Row row :
       {Row{"7", 7, 0, "^Status - expected: 7, actual: 7\nA1 $"},
        Row{"7", 5, 5, "^Status - expected: 7, actual: 5\nA2 $"}, Row{"0", 0, 0, "^A1 $"},
        Row{" 3 ", 3, 0, "^Status - expected: 3, actual: 3\nA1 $"}, Row{"7x", 7, 7, "^A2 $"}}) {
    SCOPED_TRACE(row.expected);
    EXPECT_EXIT(
        {
          dup2(2, 1);
          setenv("VEX_EXPECTED_EXIT_STATUS", row.expected, 1);
          kst_exit_register(handler_a);
          kst_exit(row.status);
        },
        testing::ExitedWithCode(row.code), row.out);
  }
}

TEST_F(TempFiles, ExitFunctionReplacesTheWholeSequence) {
  std::string file = touch("kept");
  EXPECT_EXIT(
      {
        dup2(2, 1);
        setenv("VEX_EXPECTED_EXIT_STATUS", "5", 1);
        kst_exit_register(handler_a);
        kst_exit_register_temp(file.c_str());
        set_kst_exit_func([](int status) { return status + 40; });
        int result = kst_exit(5);  // the function sees the expected status as 0
        std::fflush(stdout);
        _exit(result);
      },
      testing::ExitedWithCode(40), "^Status - expected: 5, actual: 5\n$");
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(TempFiles, CleanupRemovesFilesAndEmptyDirectoriesNewestFirst) {
  std::string readonly = touch("readonly"), parent = path("parent"), target = path("target");
  std::string later_file = path("later_file"), later_dir = path("later_dir"), link = path("link");
  chmod(readonly.c_str(), 0444);
  fs::create_directories(parent + "/child");
  fs::create_directories(target);
  std::string inside = touch("target/inside");
  fs::create_directory_symlink(target, link);

  ASSERT_EQ(kst_exit_register_temp(readonly.c_str()), 1);
  ASSERT_EQ(kst_exit_register_temp(parent.c_str()), 1);
  ASSERT_EQ(kst_exit_register_temp((parent + "/child").c_str()), 1);
  ASSERT_EQ(kst_exit_register_temp(later_file.c_str()), 1);  // not there yet: a file
  ASSERT_EQ(kst_exit_register_temp(later_dir.c_str()), 1);
  ASSERT_EQ(kst_exit_register_temp(link.c_str()), 1);    // the link, never its target
  ASSERT_EQ(kst_exit_register_temp(target.c_str()), 1);  // not empty: reported, left
  touch("later_file");
  fs::create_directories(later_dir);

  set_verbose_mode(1);
  set_run_mode(5);
  set_dbg_err_crash(0);
  testing::internal::CaptureStdout();
  kst_exit_cleanup_temp();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("SysRemoveDirAsyncSafe:  dir " + target +
                                                        " is not empty"),
            std::string::npos);
  for (const std::string &gone : {readonly, parent, later_file, link}) {
    SCOPED_TRACE(gone);
    EXPECT_FALSE(fs::exists(fs::symlink_status(gone)));
  }
  EXPECT_TRUE(fs::is_directory(later_dir));
  EXPECT_TRUE(fs::exists(inside));

  touch("later_file");  // still registered: a second cleanup tries again
  kst_exit_cleanup_temp();
  EXPECT_FALSE(fs::exists(later_file));
}

TEST_F(TempFiles, RelativePathsAreFixedAtRegistration) {
  fs::create_directories(root_ / "a");
  fs::create_directories(root_ / "b");
  std::string cwd = fs::current_path();
  fs::current_path(root_ / "a");
  std::ofstream("rel.tmp") << "x";
  ASSERT_EQ(kst_exit_register_temp("rel.tmp"), 1);
  fs::current_path(root_ / "b");
  std::ofstream("rel.tmp") << "x";  // a file of the same name elsewhere
  kst_exit_cleanup_temp();
  fs::current_path(cwd);
  EXPECT_FALSE(fs::exists(root_ / "a/rel.tmp"));
  EXPECT_TRUE(fs::exists(root_ / "b/rel.tmp"));
}

TEST_F(TempFiles, UnregisterMatchesTheExactText) {
  std::string file = touch("f.tmp"), dir = path("d");
  std::string named = touch("\xC3\xA9.tmp");
  std::u16string wide = fs::path(named).u16string();
  ASSERT_EQ(kst_exit_register_temp(file.c_str()), 1);
  ASSERT_EQ(kst_exit_register_temp(dir.c_str()), 1);  // not there: a file entry
  ASSERT_EQ(kst_exit_register_temp(named.c_str()), 1);
  fs::create_directories(dir);  // now a directory: still found
  EXPECT_EQ(kst_exit_unregister_temp(path("F.tmp").c_str()), 0);
  EXPECT_EQ(kst_exit_unregister_temp(file.c_str()), 1);
  EXPECT_EQ(kst_exit_unregister_temp(file.c_str()), 0);
  EXPECT_EQ(kst_exit_unregister_temp(dir.c_str()), 1);
  EXPECT_EQ(kst_exit_unregister_temp_w(wide.c_str()), 1);
  EXPECT_EQ(kst_exit_unregister_temp(""), 0);
  EXPECT_EQ(kst_exit_register_temp_w(nullptr), 0);
  kst_exit_cleanup_temp();
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(fs::exists(named));
}

TEST_F(TempFiles, SignalHandlerCleansUp) {
  std::string file = touch("f"), dir = path("d"), full = path("full");
  fs::create_directories(dir);
  fs::create_directories(full);
  touch("full/x");
  EXPECT_EXIT(
      {
        kst_exit_register_temp(file.c_str());
        kst_exit_register_temp(dir.c_str());
        kst_exit_register_temp(full.c_str());
        set_verbose_mode(1);
        set_run_mode(5);
        kst_exit_register(handler_a);  // handlers do not run from a signal
        std::signal(SIGTERM, [](int) {
          kst_exit_run_signal_safe(3);
          _exit(7);
        });
        std::raise(SIGTERM);
      },
      testing::ExitedWithCode(7), "^SysRemoveDirAsyncSafe:  dir " + full + " is not empty\n$");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(fs::exists(full));
}

TEST(TerminateDeath, CrashesAndThreadFailuresEndThroughTheSequence) {
  EXPECT_EXIT(
      {
        dup2(2, 1);
        std::signal(SIGABRT, [](int) {});
        init_terminate_handler();
        kst_exit_register(handler_a);
        std::terminate();
      },
      testing::ExitedWithCode(2), "^Serious internal error; cannot continue.\nA4 $");
  // With an exit function that returns, the abort handler goes on to its
  // own exit after crash()'s.
  EXPECT_EXIT(
      {
        dup2(2, 1);
        std::signal(SIGABRT, [](int) {});
        kst_exit_register(handler_a);
        set_kst_exit_func([](int status) { return std::fprintf(stderr, "exit%d ", status); });
        on_sys_abort_handler();
        _exit(0);
      },
      testing::ExitedWithCode(0), "^Serious internal error; cannot continue.\nA4 exit2 exit3 $");
  EXPECT_EXIT(
      {
        dup2(2, 1);
        init_terminate_handler();
        kst_exit_register(handler_a);
        thrThread *t = thrThread_Create();
        thrThread_SetUserExecute(
            t, [](thrThread *, void *) -> int { throw 1; }, nullptr);
        thrThread_Execute(t);
        thrThread_Wait(t, -1, nullptr);
        _exit(9);
      },
      testing::ExitedWithCode(3), "^ThreadOnhandledException called, exit with cleanup\nA3 $");
}

TEST(ApplStart, SignalsTheRecordedProcess) {
  EXPECT_EQ(exit_applstart(1), 0);  // none recorded
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  set_applstart_procid(getpid());
  EXPECT_EQ(exit_applstart(42), 1);
  siginfo_t info{};
  timespec wait{5, 0};
  ASSERT_EQ(sigtimedwait(&set, &info, &wait), SIGTERM);
  EXPECT_EQ(info.si_value.sival_int, 42);

  set_applstart_procid(-1);
  EXPECT_EQ(exit_applstart(1), 0);
}

}  // namespace
