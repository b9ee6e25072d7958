// The three 64 KiB sample texts of the conversion benchmarks, in UTF-8:
// ASCII (0), accented European (1) and CJK (2), and the peers the library's
// conversions are measured against: ICU and glibc iconv.
#ifndef KW_BENCH_TEXT_CORPUS_H
#define KW_BENCH_TEXT_CORPUS_H

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <keelwork/btk_unicode.h>

#include <cstddef>
#include <string>
#include <vector>

#ifdef KW_HAVE_ICU
#include <unicode/ustring.h>
#endif

namespace kw::bench {

constexpr std::size_t kTarget = 64 * 1024;

inline std::string repeat_to_size(const std::string &unit) {
  std::string s;
  while (s.size() + unit.size() < kTarget) s += unit;
  return s;
}

inline const std::string &sample(int kind) {
  static const std::string texts[] = {
      repeat_to_size("The quick brown fox jumps over the lazy dog; part 42 of assembly A-7. "),
      repeat_to_size("Les \xc3\xa9l\xc3\xa8ves s\xe2\x80\x99"
                     "en vont \xc3\xa0 l\xe2\x80\x99"
                     "\xc3\xa9"
                     "cole; M\xc3\xbc"
                     "ller f\xc3\xa4hrt \xc3\xbc"
                     "ber die Br\xc3\xbc"
                     "cke. "),
      repeat_to_size(
          "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe6\x96\x87\xe7\xab\xa0\xe3\x81"
          "\xa7\xe3\x81\x99\xe3\x80\x82\xe4\xb8\xad\xe6\x96\x87\xe6\xb5\x8b\xe8\xaf\x95"
          "\xe3\x80\x81\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4\xe3\x80\x82"),
  };
  return texts[kind];
}

// The sample as UTF-16.
inline std::u16string sample16(int kind) {
  const std::string &s = sample(kind);
  std::u16string w(s.size() + 1, u'\0');
  int32_t n = btkStrUtf8ToUtf16(s.c_str(), static_cast<int32_t>(s.size()), w.data(),
                                static_cast<int32_t>(w.size()), nullptr);
  w.resize(static_cast<std::size_t>(n));
  return w;
}

#ifdef KW_HAVE_ICU
inline void icu_from_utf8(benchmark::State &state, const std::string &s) {
  std::vector<UChar> out(s.size() + 1);
  for (auto _ : state) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = 0;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(),
                  static_cast<int32_t>(s.size()), &err);
    benchmark::DoNotOptimize(n);
  }
}

inline void icu_to_utf8(benchmark::State &state, const std::u16string &w) {
  std::vector<char> out(4 * w.size() + 1);
  for (auto _ : state) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &n, w.data(),
                static_cast<int32_t>(w.size()), &err);
    benchmark::DoNotOptimize(n);
  }
}
#endif

// Converts `in` from `from` to `to` with one iconv descriptor per run.
inline void run_iconv(benchmark::State &state, const char *to, const char *from, const char *in,
                      std::size_t in_len, std::size_t out_cap) {
  iconv_t cd = iconv_open(to, from);
  std::vector<char> out(out_cap);
  for (auto _ : state) {
    char *ip = const_cast<char *>(in);
    std::size_t il = in_len;
    char *op = out.data();
    std::size_t ol = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(iconv(cd, &ip, &il, &op, &ol));
  }
  iconv_close(cd);
}

}  // namespace kw::bench

#endif  // KW_BENCH_TEXT_CORPUS_H
