// btkFileBuf: std::istream/std::ostream through the buffered file, mixed
// reading, writing and seeking, and a derived buffer with its own raw ops.
#include <gtest/gtest.h>
#include <keelwork/btk_filebuf.hpp>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <string>

#include "test_files.h"

namespace {

using kw::test::temp_path;

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FileBuf, WriteThenReadLinesThroughStreams) {
  std::string path = temp_path("fb1");
  {
    btkFileBuf buf;
    ASSERT_NE(buf.Open(path.c_str(), std::ios::out | std::ios::trunc), nullptr);
    std::ostream out(&buf);
    for (int i = 0; i < 5000; ++i) out << "line " << i << '\n';
    ASSERT_TRUE(out.good());
    ASSERT_NE(buf.Close(), nullptr);
  }
  btkFileBuf buf;
  ASSERT_NE(buf.Open(path.c_str(), std::ios::in), nullptr);
  std::istream in(&buf);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) ASSERT_EQ(line, "line " + std::to_string(n++));
  EXPECT_EQ(n, 5000);
  std::remove(path.c_str());
}

TEST(FileBuf, MixedReadWriteAndSeek) {
  std::string path = temp_path("fb2");
  btkFileBuf buf;
  ASSERT_NE(buf.Open(path.c_str(), std::ios::in | std::ios::out | std::ios::trunc), nullptr);
  std::iostream io(&buf);
  io << "0123456789";
  io.seekg(2);
  char c;
  io.get(c);
  EXPECT_EQ(c, '2');
  EXPECT_EQ(static_cast<long>(io.tellg()), 3);
  io.seekp(5);
  io << "ab";
  io.seekg(0, std::ios::end);
  EXPECT_EQ(static_cast<long>(io.tellg()), 10);
  io.seekg(4);
  std::string rest;
  io >> rest;
  EXPECT_EQ(rest, "4ab789");
  buf.Close();
  EXPECT_EQ(slurp(path), "01234ab789");
  std::remove(path.c_str());
}

TEST(FileBuf, LargeWritesBypassTheBufferAndAppendMode) {
  std::string path = temp_path("fb3");
  std::string big(100000, 'z');
  {
    btkFileBuf buf;
    buf.setCache(16);
    ASSERT_NE(buf.Open(path.c_str(), std::ios::out | std::ios::trunc), nullptr);
    std::ostream out(&buf);
    out << "head" << big;
  }
  {
    btkFileBuf buf;
    ASSERT_NE(buf.Open(path.c_str(), std::ios::app), nullptr);
    std::ostream(&buf) << "tail";
  }
  EXPECT_EQ(slurp(path), "head" + big + "tail");
  btkFileBuf missing;
  EXPECT_EQ(missing.Open("/nonexistent/dir/x", std::ios::in), nullptr);
  EXPECT_EQ(missing.Close(), nullptr);
  std::remove(path.c_str());
}

TEST(FileBuf, TemporaryFile) {
  btkFileBuf buf;
  ASSERT_NE(buf.OpenTemp(), nullptr);
  std::iostream io(&buf);
  io << "scratch";
  io.seekg(0);
  std::string word;
  io >> word;
  EXPECT_EQ(word, "scratch");
}

// A buffer whose raw operations work on a string: what a file object of
// another kind does.
class StringFileBuf : public btkFileBuf {
 public:
  ~StringFileBuf() override { Close(); }
  std::string data;
  long pos = 0;

 protected:
  bool rtl_open_impl(const char *, std::ios_base::openmode) override { return true; }
  long rtl_read(char *b, long n) override {
    long k = std::min<long>(n, static_cast<long>(data.size()) - pos);
    data.copy(b, static_cast<size_t>(k), static_cast<size_t>(pos));
    pos += k;
    return k;
  }
  long rtl_write(const char *b, long n) override {
    data.replace(static_cast<size_t>(pos), static_cast<size_t>(n), b, static_cast<size_t>(n));
    pos += n;
    return n;
  }
  int64_t rtl_lseek(int64_t off, int whence) override {
    pos = static_cast<long>(whence == SEEK_SET   ? off
                            : whence == SEEK_CUR ? pos + off
                                                 : static_cast<long>(data.size()) + off);
    return pos;
  }
  int rtl_close_impl() override { return 0; }
};

TEST(FileBuf, DerivedRawOperations) {
  StringFileBuf buf;
  ASSERT_NE(buf.Open("any", std::ios::in | std::ios::out), nullptr);
  std::iostream io(&buf);
  io << "alpha beta";
  io.seekg(6);
  std::string w;
  io >> w;
  EXPECT_EQ(w, "beta");
  buf.Close();
  EXPECT_EQ(buf.data, "alpha beta");
}

}  // namespace
