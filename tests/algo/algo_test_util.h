// Test helpers of the containers and algorithms: capturing the reports of
// the development message family.
#ifndef KW_TESTS_ALGO_TEST_UTIL_H
#define KW_TESTS_ALGO_TEST_UTIL_H

#include <gtest/gtest.h>
#include <keelwork/debug.h>
#include <keelwork/runmode.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace kw::test {

// Switches to a development run with verbose reports and collects every
// dbg_err_crash report ("where: message") instead of crashing. Console
// output (the other channels) is captured too and read with console().
class Reports {
 public:
  Reports() {
    instance_ = this;
    set_run_mode(-1);
    set_verbose_mode(1);
    previous_ = set_dbg_err_crash_callback(&Reports::collect);
    testing::internal::CaptureStdout();
  }
  ~Reports() {
    if (capturing_) console();
    set_dbg_err_crash_callback(previous_);
    set_verbose_mode(0);
    set_run_mode(0);
    instance_ = nullptr;
  }
  Reports(const Reports &) = delete;
  Reports &operator=(const Reports &) = delete;

  // The crash-channel reports so far, then forgets them.
  std::vector<std::string> take() { return std::exchange(crashes_, {}); }
  // Everything printed on the console since construction (once).
  std::string console() {
    std::fflush(stdout);
    capturing_ = false;
    return testing::internal::GetCapturedStdout();
  }

 private:
  static int collect(const char *where, const char *message) {
    instance_->crashes_.push_back(std::string(where ? where : "") + ": " +
                                  (message ? message : ""));
    return 0;  // continue instead of crashing
  }

  static inline Reports *instance_ = nullptr;
  dbg_err_crash_callback previous_ = nullptr;
  std::vector<std::string> crashes_;
  bool capturing_ = true;
};

}  // namespace kw::test

#endif  // KW_TESTS_ALGO_TEST_UTIL_H
