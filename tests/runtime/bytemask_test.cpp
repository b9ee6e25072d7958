// The byte masks and short-text copies against plain loops, over every
// length a file name can have and across the 64-byte word boundaries.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

#include "runtime/bytemask.h"

namespace {

using Masks = kw::runtime::ByteMasks<3, 5>;
constexpr size_t npos = Masks::npos;
constexpr char kWanted[3] = {'/', '.', ':'};

bool wanted(char c, size_t k) { return c == kWanted[k] || (k == 0 && c == '\\'); }

std::string random_text(std::mt19937 &rng, size_t n) {
  static const char kBytes[] = "/\\.:ab.\xc3Z_/";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += kBytes[rng() % (sizeof kBytes - 1)];
  return s;
}

TEST(ByteMasks, QueriesMatchPlainSearches) {
  std::mt19937 rng(7);
  for (size_t n = 0; n <= Masks::kMaxLen; ++n) {
    std::string s = random_text(rng, n);
    Masks m;
    m.scan(s.data(), n, kWanted, '\\');
    for (size_t k = 0; k < 3; ++k) {
      bool any = false;
      for (char c : s) any |= wanted(c, k);
      ASSERT_EQ(m.any(k), any) << n;
      for (int trial = 0; trial < 8; ++trial) {
        size_t from = n ? rng() % (n + 1) : 0, to = n ? rng() % (n + 1) : 0;
        size_t first = npos, last = npos;
        for (size_t i = from; i < to; ++i)
          if (wanted(s[i], k)) {
            if (first == npos) first = i;
            last = i;
          }
        ASSERT_EQ(m.next(k, from, to), first) << n << " " << from << " " << to;
        ASSERT_EQ(m.prev(k, from, to), last) << n << " " << from << " " << to;
        bool pair = false;
        for (size_t i = from; i + 1 < to; ++i) pair |= wanted(s[i], k) && wanted(s[i + 1], k);
        ASSERT_EQ(m.pair_in(k, from, to), pair) << n << " " << from << " " << to;
        uint64_t window = 0;
        for (size_t i = from; i < n && i < from + 64; ++i)
          if (wanted(s[i], k)) window |= uint64_t{1} << (i - from);
        ASSERT_EQ(m.window(k, from), window) << n << " " << from;
      }
    }
  }
}

TEST(ByteMasks, CopiesMatchPlainLoops) {
  std::mt19937 rng(11);
  for (size_t n = 0; n <= 80; ++n) {
    std::string s = random_text(rng, n) + "AzQ@[`{";
    s.resize(n);
    std::string replaced(n, 0), lowered(n, 0), small(n, 0);
    kw::runtime::copy_replacing(replaced.data(), s.data(), n, '/', '\\');
    kw::runtime::copy_lowered(lowered.data(), s.data(), n);
    kw::runtime::copy_small(small.data(), s.data(), n);
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(replaced[i], s[i] == '/' ? '\\' : s[i]) << n;
      ASSERT_EQ(lowered[i], s[i] >= 'A' && s[i] <= 'Z' ? s[i] + 32 : s[i]) << n;
    }
    ASSERT_EQ(small, s);
  }
}

TEST(ByteMasks, LetterDigitClasses) {
  // Every byte alone, then mixed texts of every length up to 40.
  for (int c = 1; c < 256; ++c) {
    char b = static_cast<char>(c);
    bool upper = c >= 'A' && c <= 'Z';
    bool usual = upper || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                 c == '-' || c >= 0x80;
    unsigned expected = (usual ? 0u : 1u) | (upper ? 2u : 0u);
    for (size_t n : {1, 3, 5, 9, 17}) {
      std::string s(n, 'a');
      s[n / 2] = b;
      ASSERT_EQ(kw::runtime::letter_digit_classes(s.data(), n, '_', '-'), expected)
          << c << " " << n;
    }
  }
  std::mt19937 rng(3);
  for (size_t n = 0; n <= 40; ++n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += "ab_-9Z \x80."[rng() % 9];
    unsigned expected = 0;
    for (char c : s) {
      unsigned char u = static_cast<unsigned char>(c);
      if (!(std::isalnum(u) || c == '_' || c == '-' || u >= 0x80)) expected |= 1;
      if (c >= 'A' && c <= 'Z') expected |= 2;
    }
    ASSERT_EQ(kw::runtime::letter_digit_classes(s.data(), n, '_', '-'), expected) << s;
  }
}

}  // namespace
