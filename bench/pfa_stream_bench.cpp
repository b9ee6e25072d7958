// Line reads of a 200 MB UTF-8 file: pfa_fgets against std::getline on an
// std::ifstream and fgets on a FILE; and EUC-JP text read as UTF-8 lines:
// pfa_fgets on a transcoding stream against fgets plus iconv(3) on each
// line. The files are made once under $TMPDIR (or /tmp) and reused.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/pfastream.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr size_t kUtf8Bytes = 200u << 20;
constexpr size_t kEucBytes = 40u << 20;

std::string temp_dir() {
  const char *t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

// Lines of 20 to 120 bytes, ASCII with some kana.
std::string make_utf8_lines(size_t total) {
  std::string text;
  text.reserve(total + 256);
  unsigned seed = 12345;
  while (text.size() < total) {
    seed = seed * 1103515245 + 12345;
    size_t len = 20 + (seed >> 16) % 100;
    for (size_t i = 0; i < len; i += 1) {
      if ((i + seed) % 17 == 0) {
        text += "\xE3\x81\x8B";
        i += 2;
      } else {
        text += static_cast<char>('a' + (i + seed) % 26);
      }
    }
    text += '\n';
  }
  return text;
}

const std::string &file(bool euc) {
  static std::string utf8_path, euc_path;
  std::string &path = euc ? euc_path : utf8_path;
  if (!path.empty()) return path;
  path = temp_dir() + (euc ? "/kw_stream_bench_euc.txt" : "/kw_stream_bench_utf8.txt");
  size_t want = euc ? kEucBytes : kUtf8Bytes;
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && std::filesystem::file_size(path, ec) >= want * 9 / 10)
    return path;
  std::string text = make_utf8_lines(want);
  if (euc) {
    std::string out(text.size() + 16, '\0');
    int n = btkStrUtf8ToEuc(text.c_str(), static_cast<int32_t>(text.size()), out.data(),
                            static_cast<int32_t>(out.size()), '?', nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    text.swap(out);
  }
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

void finish(benchmark::State &state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Reads an open file line by line to its end and disposes of it; the bytes
// read.
size_t read_lines(vex_file *&f) {
  char line[4096];
  int count = 0;
  size_t bytes = 0;
  while (pfa_fgets(f, sizeof line, &count, line) == 0) bytes += static_cast<size_t>(count);
  pfa_dispose(&f);
  return bytes;
}

void BM_Utf8_pfa_fgets(benchmark::State &state) {
  const std::string &path = file(false);
  size_t bytes = 0;
  for (auto _ : state) {
    vex_file *f = pfa_fopen_file(path.c_str(), "r");
    if (!f) {
      state.SkipWithError("open failed");
      return;
    }
    bytes += read_lines(f);
  }
  finish(state, bytes);
}

void BM_Utf8_std_getline(benchmark::State &state) {
  const std::string &path = file(false);
  size_t bytes = 0;
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) bytes += line.size() + 1;
  }
  finish(state, bytes);
}

void BM_Utf8_fgets(benchmark::State &state) {
  const std::string &path = file(false);
  size_t bytes = 0;
  for (auto _ : state) {
    FILE *fp = std::fopen(path.c_str(), "r");
    if (!fp) {
      state.SkipWithError("open failed");
      return;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, fp)) bytes += std::strlen(line);
    std::fclose(fp);
  }
  finish(state, bytes);
}

void BM_EucToUtf8_pfa_fgets(benchmark::State &state) {
  const std::string &path = file(true);
  size_t bytes = 0;
  for (auto _ : state) {
    vex_file *f = pfa_alloc_file(path.c_str());
    pfa_put_encode(f, BTK_CP_EUC_JP);
    if (pfa_fopen(f, PFA_VERS_OWN, "r") != 0) {
      state.SkipWithError("open failed");
      return;
    }
    bytes += read_lines(f);
  }
  finish(state, bytes);
}

void BM_EucToUtf8_iconv(benchmark::State &state) {
  const std::string &path = file(true);
  size_t bytes = 0;
  for (auto _ : state) {
    FILE *fp = std::fopen(path.c_str(), "r");
    iconv_t cd = iconv_open("UTF-8", "EUC-JP");
    if (!fp || cd == reinterpret_cast<iconv_t>(-1)) {
      state.SkipWithError("open failed");
      return;
    }
    char line[4096], out[4 * sizeof line];
    while (std::fgets(line, sizeof line, fp)) {
      char *in = line, *o = out;
      size_t il = std::strlen(line), ol = sizeof out;
      iconv(cd, &in, &il, &o, &ol);
      bytes += sizeof out - ol;
    }
    iconv_close(cd);
    std::fclose(fp);
  }
  finish(state, bytes);
}

BENCHMARK(BM_Utf8_pfa_fgets)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Utf8_std_getline)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Utf8_fgets)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EucToUtf8_pfa_fgets)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EucToUtf8_iconv)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
