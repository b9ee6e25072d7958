// Substring search shared by the string families: linear time whatever
// the input (Knuth-Morris-Pratt), with a plain scan for short needles.
#ifndef KW_TEXT_SEARCH_INTERNAL_H
#define KW_TEXT_SEARCH_INTERNAL_H

#include <cstddef>
#include <vector>

namespace kw::text {

// Result of a search of `needle` in `hay`.
struct SearchResult {
  std::ptrdiff_t found;  // index of the first occurrence, or -1
  std::size_t tail;      // length of the longest proper prefix of the
                         // needle that ends the haystack (when not found)
};

// Searches with the equality `eq(hay unit, needle unit)`. The needle must
// not be empty.
template <class T, class Eq>
SearchResult search_units(const T *hay, std::size_t n, const T *needle, std::size_t m, Eq eq) {
  if (m <= 8) {
    for (std::size_t i = 0; i + m <= n; ++i) {
      std::size_t j = 0;
      while (j < m && eq(hay[i + j], needle[j])) ++j;
      if (j == m) return {static_cast<std::ptrdiff_t>(i), 0};
    }
    for (std::size_t i = n >= m ? n - m + 1 : 0; i < n; ++i) {
      std::size_t j = 0;
      while (i + j < n && eq(hay[i + j], needle[j])) ++j;
      if (i + j == n) return {-1, n - i};
    }
    return {-1, 0};
  }
  // Failure function of the needle.
  std::vector<std::size_t> fail(m, 0);
  for (std::size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && !eq(needle[i], needle[k])) k = fail[k - 1];
    if (eq(needle[i], needle[k])) ++k;
    fail[i] = k;
  }
  std::size_t k = 0;
  for (std::size_t i = 0; i < n; ++i) {
    while (k > 0 && !eq(hay[i], needle[k])) k = fail[k - 1];
    if (eq(hay[i], needle[k])) ++k;
    if (k == m) return {static_cast<std::ptrdiff_t>(i + 1 - m), 0};
  }
  return {-1, k};
}

}  // namespace kw::text

#endif  // KW_TEXT_SEARCH_INTERNAL_H
