// The runtime logger: thresholds, entries, nested loggers.
#include <gtest/gtest.h>
#include <keelwork/btk_log.hpp>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace {

TEST(Logger, EntriesOfLoggableAreasOnly) {
  btkLogManager *m = btkLogManager::Create();
  std::ostringstream out;
  m->SetOutput(&out);
  btkLogArea *regen = m->CreateArea("regen", "regeneration");
  EXPECT_EQ(m->CreateArea("regen", "again"), regen);
  EXPECT_EQ(m->GetArea("regen"), regen);
  EXPECT_EQ(m->GetArea("nothing"), nullptr);
  EXPECT_FALSE(m->AreaIsLoggable(regen, LOG_LEVEL_ERROR));  // off by default
  btkLogGetOStream(regen, LOG_LEVEL_ERROR) << "dropped" << btkLogEndEntry;
  EXPECT_EQ(out.str(), "");

  EXPECT_EQ(m->SetAreaLevel("regen", LOG_LEVEL_INFO), 1);
  EXPECT_TRUE(m->AreaIsLoggable(regen, LOG_LEVEL_INFO));
  EXPECT_FALSE(m->AreaIsLoggable(regen, LOG_LEVEL_DEBUG));
  btkLogger *root = m->GetLogger("vexe", "event log");
  btkLogger::SetCurrent(root);
  btkLogGetOStream(regen, LOG_LEVEL_INFO) << "[" << 1 << "] started" << btkLogEndEntry;
  btkLogGetOStream(regen, LOG_LEVEL_DEBUG) << "too detailed" << btkLogEndEntry;
  std::string text = out.str();
  EXPECT_NE(text.find(" vexe regen INFO: [1] started\n"), std::string::npos);
  EXPECT_EQ(text.find("too detailed"), std::string::npos);

  btkLogger *nested = btkLogger::CreateNestedOnCurrent("child", "event log", nullptr);
  EXPECT_STREQ(nested->FullName(), "vexe/child");
  btkLogger::PushCurrent(nested);
  nested->Release();  // the stack keeps it alive
  EXPECT_EQ(btkLogger::GetCurrent(), nested);
  btkLogGetOStream(regen, LOG_LEVEL_WARNING) << "inside" << btkLogEndEntry;
  EXPECT_NE(out.str().find(" vexe/child regen WARNING: inside\n"), std::string::npos);
  btkLogger::PopCurrent();
  EXPECT_EQ(btkLogger::GetCurrent(), root);
  root->Release();
  m->SetOutput(nullptr);
}

TEST(Logger, EntriesOfThreadsDoNotInterleave) {
  btkLogManager *m = btkLogManager::Create();
  std::ostringstream out;
  m->SetOutput(&out);
  btkLogArea *a = m->CreateArea("threads", "");
  m->SetAreaLevel("*", LOG_LEVEL_TRACE);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([a, t] {
      for (int i = 0; i < 200; ++i)
        btkLogGetOStream(a, LOG_LEVEL_TRACE) << "t" << t << "-" << i << "-end" << btkLogEndEntry;
    });
  for (auto &t : threads) t.join();
  std::istringstream lines(out.str());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_NE(line.find("TRACE: t"), std::string::npos) << line;
    ASSERT_EQ(line.substr(line.size() - 4), "-end") << line;
  }
  EXPECT_EQ(count, 800);
  m->SetOutput(nullptr);
}

TEST(Logger, ThresholdsFromTheEnvironment) {
  EXPECT_EXIT(
      {
        setenv("KEELWORK_LOG", "io=debug,*=error", 1);
        btkLogManager *m = btkLogManager::Create();
        bool ok = m->AreaIsLoggable(m->CreateArea("io", ""), LOG_LEVEL_DEBUG) &&
                  !m->AreaIsLoggable(m->CreateArea("other", ""), LOG_LEVEL_WARNING) &&
                  m->AreaIsLoggable(m->CreateArea("other2", ""), LOG_LEVEL_ERROR);
        _exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(btkLogManager::ParseLevel("Warn"), LOG_LEVEL_WARNING);
  EXPECT_EQ(btkLogManager::ParseLevel("3"), LOG_LEVEL_DEBUG);
  EXPECT_EQ(btkLogManager::ParseLevel("loud"), LOG_LEVEL_OFF);
}

}  // namespace
