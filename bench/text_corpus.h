// The three 64 KiB sample texts of the conversion benchmarks, in UTF-8:
// ASCII (0), accented European (1) and CJK (2).
#ifndef KW_BENCH_TEXT_CORPUS_H
#define KW_BENCH_TEXT_CORPUS_H

#include <cstddef>
#include <string>

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

}  // namespace kw::bench

#endif  // KW_BENCH_TEXT_CORPUS_H
