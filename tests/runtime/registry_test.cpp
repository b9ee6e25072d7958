// The registry store: values survive, writes are atomic and concurrent
// writers lose nothing.
#include <gtest/gtest.h>
#include <keelwork/btk_registry.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[64];
    std::snprintf(name, sizeof name, "kwreg%d/sub/registry.ini", static_cast<int>(getpid()));
    path_ = std::string(::testing::TempDir()) + name;
    setenv("KEELWORK_REGISTRY_FILE", path_.c_str(), 1);
  }
  // The store creates its directories on the first write; remove them all.
  void TearDown() override {
    std::filesystem::path top(path_);
    std::error_code ec;
    std::filesystem::remove_all(top.parent_path().parent_path(), ec);
  }
  std::string path_;
};

TEST_F(Registry, StringsAndDwordsRoundTrip) {
  btkRegistryKey key("Software\\Vhub\\FileVersions");
  EXPECT_FALSE(key.Exists());
  std::string value;
  EXPECT_FALSE(key.GetString("prt", value));
  ASSERT_TRUE(key.SetString("prt", "  odd = value\\with\nline break "));
  ASSERT_TRUE(key.SetDword("asm", 0xDEADBEEF));
  btkRegistryKey same("software\\vhub\\fileversions");  // paths ignore case
  ASSERT_TRUE(same.GetString("PRT", value));
  EXPECT_EQ(value, "  odd = value\\with\nline break ");
  uint32_t number = 0;
  ASSERT_TRUE(same.GetDword("asm", number));
  EXPECT_EQ(number, 0xDEADBEEFu);
  EXPECT_FALSE(same.GetDword("prt", number));  // not a number
  EXPECT_EQ(key.ValueNames(), (std::vector<std::string>{"prt", "asm"}));
  EXPECT_TRUE(key.DeleteValue("prt"));
  EXPECT_FALSE(key.DeleteValue("prt"));
  EXPECT_TRUE(key.DeleteKey());
  EXPECT_FALSE(key.Exists());
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
  const int kProcs = 4, kValues = 25;
  for (int p = 0; p < kProcs; ++p) {
    if (fork() == 0) {
      btkRegistryKey key("Software\\Race");
      for (int i = 0; i < kValues; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "v%d_%d", p, i);
        if (!key.SetDword(name, static_cast<uint32_t>(i))) _exit(1);
      }
      _exit(0);
    }
  }
  for (int p = 0; p < kProcs; ++p) {
    int status = 0;
    wait(&status);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(btkRegistryKey("Software\\Race").ValueNames().size(),
            static_cast<size_t>(kProcs * kValues));
}

TEST_F(Registry, MachineStoreIsReadOnly) {
  char name[64];
  std::snprintf(name, sizeof name, "kwmachine%d.ini", static_cast<int>(getpid()));
  std::string machine = std::string(::testing::TempDir()) + name;
  {
    std::ofstream out(machine);
    out << "; comment\n[Software\\Vhub]\nhome = /opt/vhub \n\n[Other]\nx=1\n";
  }
  setenv("KEELWORK_MACHINE_REGISTRY_FILE", machine.c_str(), 1);
  std::string value;
  ASSERT_TRUE(btkMachineRegistry::GetString("software\\vhub", "HOME", value));
  EXPECT_EQ(value, "/opt/vhub");
  EXPECT_FALSE(btkMachineRegistry::GetString("Software\\Vhub", "x", value));
  std::remove(machine.c_str());
}

}  // namespace
