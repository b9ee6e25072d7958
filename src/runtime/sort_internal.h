// A guarded introsort for the library's sorts.
//
// The comparison callbacks come from callers and are not always consistent
// (a comparator that is not a strict weak order must give some order, never
// a read outside the array), so every scan here is bounds-checked, unlike
// std::sort's unguarded loops.
#ifndef KW_RUNTIME_SORT_INTERNAL_H
#define KW_RUNTIME_SORT_INTERNAL_H

#include <cstddef>
#include <utility>

namespace kw::runtime {

template <class T, class Less>
void insertion_sort(T *a, std::ptrdiff_t n, Less &less) {
  for (std::ptrdiff_t i = 1; i < n; ++i) {
    T v = std::move(a[i]);
    std::ptrdiff_t j = i;
    while (j > 0 && less(v, a[j - 1])) {
      a[j] = std::move(a[j - 1]);
      --j;
    }
    a[j] = std::move(v);
  }
}

template <class T, class Less>
void sift_down(T *a, std::ptrdiff_t root, std::ptrdiff_t n, Less &less) {
  for (;;) {
    std::ptrdiff_t child = 2 * root + 1;
    if (child >= n) return;
    if (child + 1 < n && less(a[child], a[child + 1])) ++child;
    if (!less(a[root], a[child])) return;
    std::swap(a[root], a[child]);
    root = child;
  }
}

template <class T, class Less>
void heap_sort(T *a, std::ptrdiff_t n, Less &less) {
  for (std::ptrdiff_t i = n / 2 - 1; i >= 0; --i) sift_down(a, i, n, less);
  for (std::ptrdiff_t end = n - 1; end > 0; --end) {
    std::swap(a[0], a[end]);
    sift_down(a, 0, end, less);
  }
}

template <class T, class Less>
void introsort_loop(T *a, std::ptrdiff_t n, int depth, Less &less) {
  while (n > 24) {
    if (depth-- == 0) {
      heap_sort(a, n, less);
      return;
    }
    // Median of three moved to the front as the pivot.
    std::ptrdiff_t mid = n / 2;
    if (less(a[mid], a[0])) std::swap(a[mid], a[0]);
    if (less(a[n - 1], a[0])) std::swap(a[n - 1], a[0]);
    if (less(a[n - 1], a[mid])) std::swap(a[n - 1], a[mid]);
    std::swap(a[0], a[mid]);
    // Hoare partition around a[0], with both scans bounded.
    std::ptrdiff_t i = 0, j = n;
    for (;;) {
      do ++i;
      while (i < n && less(a[i], a[0]));
      do --j;
      while (j > 0 && less(a[0], a[j]));
      if (i >= j) break;
      std::swap(a[i], a[j]);
    }
    std::swap(a[0], a[j]);
    // Recurse into the smaller side, loop on the larger.
    std::ptrdiff_t left = j, right = n - j - 1;
    if (left < right) {
      introsort_loop(a, left, depth, less);
      a += j + 1;
      n = right;
    } else {
      introsort_loop(a + j + 1, right, depth, less);
      n = left;
    }
  }
  insertion_sort(a, n, less);
}

// Sorts a[0..n) so that `less` holds between neighbours as far as it is
// consistent. Not stable.
template <class T, class Less>
void introsort(T *a, std::ptrdiff_t n, Less less) {
  if (n < 2) return;
  int depth = 0;
  for (std::ptrdiff_t k = n; k > 1; k >>= 1) depth += 2;
  introsort_loop(a, n, depth, less);
}

}  // namespace kw::runtime

#endif  // KW_RUNTIME_SORT_INTERNAL_H
