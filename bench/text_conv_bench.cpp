// The session conversions strtows and wstostr (Unicode mode) against ICU
// (u_strFromUTF8 / u_strToUTF8) and glibc iconv on ASCII, accented European
// and CJK text of 64 KiB, and EUC-JP to UTF-16 (the legacy Japanese
// conversion and the runtime's EUC decoder) against iconv. Throughput is
// reported in bytes of the byte-string side per second.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/wstring.h>

#include <string>
#include <vector>

#include "text_corpus.h"

#ifdef KW_HAVE_ICU
#include <unicode/ustring.h>
#endif

namespace {

using kw::bench::sample;

using kw::bench::sample16;

void label(benchmark::State &state, int kind, std::size_t bytes) {
  static const char *names[] = {"ascii", "european", "cjk"};
  state.SetLabel(names[kind]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_kw_strtows(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  const std::string &s = sample(kind);
  std::vector<kw_wchar> out(s.size() + 1);
  for (auto _ : state) benchmark::DoNotOptimize(strtows(out.data(), s.c_str()));
  label(state, kind, s.size());
}

void BM_kw_wstostr(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  std::u16string w = sample16(kind);
  std::vector<char> out(4 * w.size() + 1);
  for (auto _ : state) benchmark::DoNotOptimize(wstostr(out.data(), w.c_str()));
  label(state, kind, sample(kind).size());
}

#ifdef KW_HAVE_ICU
void BM_icu_u_strFromUTF8(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  const std::string &s = sample(kind);
  kw::bench::icu_from_utf8(state, s);
  label(state, kind, s.size());
}

void BM_icu_u_strToUTF8(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  kw::bench::icu_to_utf8(state, sample16(kind));
  label(state, kind, sample(kind).size());
}
#endif

using kw::bench::run_iconv;

void BM_iconv_utf8_to_utf16(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  const std::string &s = sample(kind);
  run_iconv(state, "UTF-16LE", "UTF-8", s.data(), s.size(), 2 * s.size() + 2);
  label(state, kind, s.size());
}

void BM_iconv_utf16_to_utf8(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  std::u16string w = sample16(kind);
  run_iconv(state, "UTF-8", "UTF-16LE", reinterpret_cast<const char *>(w.data()), 2 * w.size(),
            4 * w.size() + 1);
  label(state, kind, sample(kind).size());
}

// ---- EUC-JP ------------------------------------------------------------------------

const std::string &euc_sample() {
  static const std::string text = [] {
    const std::string &utf8 = sample(2);
    std::u16string w(utf8.size() + 1, u'\0');
    btkStrUtf8ToUtf16(utf8.c_str(), -1, w.data(), static_cast<int32_t>(w.size()), nullptr);
    // Keep the Japanese and Chinese characters EUC-JP has, with some ASCII.
    std::string euc(4 * w.size() + 1, '\0');
    btkStrUtf16ToEuc(w.c_str(), -1, euc.data(), static_cast<int32_t>(euc.size()), '.', nullptr);
    euc.resize(std::char_traits<char>::length(euc.c_str()));
    return euc;
  }();
  return text;
}

void BM_kw_strtows_legacy_japanese(benchmark::State &state) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_JAPANESE);
  const std::string &s = euc_sample();
  std::vector<kw_wchar> out(s.size() + 1);
  for (auto _ : state) benchmark::DoNotOptimize(strtows(out.data(), s.c_str()));
  btkUnicodeSetEnabled(1);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_kw_btkStrEucToUtf16(benchmark::State &state) {
  const std::string &s = euc_sample();
  std::vector<kw_wchar> out(s.size() + 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(btkStrEucToUtf16(s.data(), static_cast<int32_t>(s.size()), out.data(),
                                              static_cast<int32_t>(out.size()), 0, nullptr));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_iconv_euc_jp_to_utf16(benchmark::State &state) {
  const std::string &s = euc_sample();
  run_iconv(state, "UTF-16LE", state.range(0) ? "EUC-JP-MS" : "EUC-JP", s.data(), s.size(),
            2 * s.size() + 2);
  state.SetLabel(state.range(0) ? "EUC-JP-MS" : "EUC-JP");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

BENCHMARK(BM_kw_strtows)->DenseRange(0, 2);
#ifdef KW_HAVE_ICU
BENCHMARK(BM_icu_u_strFromUTF8)->DenseRange(0, 2);
#endif
BENCHMARK(BM_iconv_utf8_to_utf16)->DenseRange(0, 2);
BENCHMARK(BM_kw_wstostr)->DenseRange(0, 2);
#ifdef KW_HAVE_ICU
BENCHMARK(BM_icu_u_strToUTF8)->DenseRange(0, 2);
#endif
BENCHMARK(BM_iconv_utf16_to_utf8)->DenseRange(0, 2);
BENCHMARK(BM_kw_strtows_legacy_japanese);
BENCHMARK(BM_kw_btkStrEucToUtf16);
BENCHMARK(BM_iconv_euc_jp_to_utf16)->DenseRange(0, 1);

}  // namespace

BENCHMARK_MAIN();
