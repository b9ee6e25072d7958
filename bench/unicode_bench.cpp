// UTF-8 <-> UTF-16 conversion: keelwork against ICU (u_strFromUTF8,
// u_strToUTF8) and glibc iconv, on ASCII, accented European and CJK text of
// 64 KiB. Throughput is reported in UTF-8 bytes per second.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <keelwork/btk_unicode.h>

#include <string>
#include <vector>

#include "text_corpus.h"

#ifdef KW_HAVE_ICU
#include <unicode/ustring.h>
#endif

namespace {

using kw::bench::sample;

using kw::bench::sample16;

void label(benchmark::State &state, int kind) {
  static const char *names[] = {"ascii", "european", "cjk"};
  state.SetLabel(names[kind]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample(kind).size()));
}

void BM_kw_utf8_to_utf16(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  const std::string &s = sample(kind);
  std::vector<kw_wchar> out(s.size() + 1);
  for (auto _ : state) {
    int32_t n = btkStrUtf8ToUtf16(s.data(), static_cast<int32_t>(s.size()), out.data(),
                                  static_cast<int32_t>(out.size()), nullptr);
    benchmark::DoNotOptimize(n);
  }
  label(state, kind);
}

void BM_kw_utf16_to_utf8(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  std::u16string w = sample16(kind);
  std::vector<char> out(sample(kind).size() + 1);
  for (auto _ : state) {
    int32_t n = btkStrUtf16ToUtf8(w.data(), static_cast<int32_t>(w.size()), out.data(),
                                  static_cast<int32_t>(out.size()), nullptr);
    benchmark::DoNotOptimize(n);
  }
  label(state, kind);
}

#ifdef KW_HAVE_ICU
void BM_icu_utf8_to_utf16(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  const std::string &s = sample(kind);
  kw::bench::icu_from_utf8(state, s);
  label(state, kind);
}

void BM_icu_utf16_to_utf8(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  kw::bench::icu_to_utf8(state, sample16(kind));
  label(state, kind);
}
#endif

using kw::bench::run_iconv;

void BM_iconv_utf8_to_utf16(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  const std::string &s = sample(kind);
  run_iconv(state, "UTF-16LE", "UTF-8", s.data(), s.size(), s.size() * 2 + 2);
  label(state, kind);
}

void BM_iconv_utf16_to_utf8(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  std::u16string w = sample16(kind);
  run_iconv(state, "UTF-8", "UTF-16LE", reinterpret_cast<const char *>(w.data()), w.size() * 2,
            sample(kind).size() + 1);
  label(state, kind);
}

BENCHMARK(BM_kw_utf8_to_utf16)->DenseRange(0, 2);
#ifdef KW_HAVE_ICU
BENCHMARK(BM_icu_utf8_to_utf16)->DenseRange(0, 2);
#endif
BENCHMARK(BM_iconv_utf8_to_utf16)->DenseRange(0, 2);
BENCHMARK(BM_kw_utf16_to_utf8)->DenseRange(0, 2);
#ifdef KW_HAVE_ICU
BENCHMARK(BM_icu_utf16_to_utf8)->DenseRange(0, 2);
#endif
BENCHMARK(BM_iconv_utf16_to_utf8)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
