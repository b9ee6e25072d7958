// Fuzzes glob and filter matching: pattern and text from the input, in
// bytes and in UTF-16, with the period rule on and off. Each input must be
// decided quickly: the matchers take time polynomial in pattern and text
// (a few milliseconds for 4 KiB of input in an optimised build, some
// hundred under the sanitizers), so an input that takes seconds is a
// finding.
#include <keelwork/pattern.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
  std::size_t split = input.find('\0');
  if (split == std::string::npos) split = data[0] % (input.size() + 1);
  std::string pattern = input.substr(0, split);
  std::string text = split < input.size() ? input.substr(split + 1) : std::string();
  text.resize(std::strlen(text.c_str()));
  pattern.resize(std::strlen(pattern.c_str()));
  std::u16string wpattern(pattern.begin(), pattern.end()), wtext(text.begin(), text.end());

  auto start = std::chrono::steady_clock::now();
  int period = data[0] & 1;
  int a = vex_glob_match_ascii(pattern.c_str(), text.c_str(), period);
  int b = vex_glob_match(wpattern.c_str(), wtext.c_str(), period);
  // Bytes from 0x80 are units of their own value in the wide form.
  bool ascii = true;
  for (unsigned char c : pattern + text) ascii &= c < 0x80;
  if (ascii && a != b) std::abort();
  int f = match_user_filter(text.c_str(), pattern.c_str());
  int g = match_w_user_filter(wtext.c_str(), wpattern.c_str());
  if (ascii && f != g) std::abort();
  if (string_match(text.c_str(), pattern.c_str()) != f) std::abort();
  pattern_match(wtext.c_str(), wpattern.c_str(), data[0] >> 1 & 1);
  vex_is_glob_pattern(wpattern.c_str());
  filter_is_any(pattern.c_str());
  auto elapsed = std::chrono::steady_clock::now() - start;
  if (elapsed > std::chrono::seconds(5)) std::abort();
  return 0;
}
