// Sorting in place: objects by a sorted address array and a cycle-following
// permutation, pointer arrays reached through an accessor (quicksort), hars,
// doubles and points, and the small moves that go with them.
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/objsort.h"
#include "keelwork/sorted.h"
#include "keelwork/status_codes.h"
#include "runtime/sort_internal.h"

using kw::algo::at;
using kw::algo::count_of;
using kw::algo::elsize_of;
using kw::algo::slot;

namespace {

// Scratch memory on the stack up to N bytes, else from getmem.
template <std::size_t N>
class Scratch {
 public:
  explicit Scratch(std::size_t bytes) : p_(bytes <= N ? local_ : getmem(bytes)) {}
  ~Scratch() {
    if (p_ != local_) rlsmem(p_);
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;
  void *get() { return p_; }

 private:
  alignas(std::max_align_t) unsigned char local_[N];
  void *p_;
};

// Address arrays of up to 12 objects live on the stack; temporaries for
// elements of up to 512 bytes too.
constexpr std::size_t kStackAddresses = 12;
constexpr std::size_t kStackElement = 512;

// Moves the objects so that object i becomes the one pointers[i] named,
// following each cycle of the permutation once, and resets the pointers.
// `pointers` must be a permutation of the objects' addresses.
void permute(int count, char *base, void **pointers, std::size_t size) {
  Scratch<kStackElement> tmp(size);
  for (int i = 0; i < count; ++i) {
    char *self = base + i * size;
    if (pointers[i] == self) continue;
    std::memcpy(tmp.get(), self, size);
    int j = i;
    for (;;) {
      int src = static_cast<int>((static_cast<char *>(pointers[j]) - base) / size);
      pointers[j] = base + j * size;
      if (src == i) {
        std::memcpy(base + j * size, tmp.get(), size);
        break;
      }
      std::memcpy(base + j * size, base + src * size, size);
      j = src;
    }
  }
}

// True when `pointers` addresses each of the `count` objects exactly once.
bool is_permutation_of(int count, const char *base, void *const *pointers, std::size_t size) {
  std::vector<bool> seen(count);
  for (int i = 0; i < count; ++i) {
    const char *p = static_cast<const char *>(pointers[i]);
    if (p < base) return false;
    std::size_t offset = static_cast<std::size_t>(p - base);
    if (offset % size != 0 || offset / size >= static_cast<std::size_t>(count)) return false;
    if (seen[offset / size]) return false;
    seen[offset / size] = true;
  }
  return true;
}

// Sorts `count` objects by `less` on their addresses.
template <class Less>
void sort_by_addresses(int count, void *base, int element_size, Less less) {
  if (count < 2 || !base || element_size < 1) return;
  Scratch<kStackAddresses * sizeof(void *)> addresses(count * sizeof(void *));
  void **a = static_cast<void **>(addresses.get());
  for (int i = 0; i < count; ++i) a[i] = at(base, i, element_size);
  kw::runtime::introsort(a, count, less);
  permute(count, static_cast<char *>(base), a, element_size);
}

// Swaps two elements of N bytes (a size known at compile time) or of
// `size` bytes.
template <std::size_t N>
struct FixedSwap {
  void operator()(char *a, char *b) const {
    unsigned char x[N], y[N];
    std::memcpy(x, a, N);
    std::memcpy(y, b, N);
    std::memcpy(a, y, N);
    std::memcpy(b, x, N);
  }
};
struct ByteSwap {
  std::size_t size;
  void operator()(char *a, char *b) const { swap_objects(a, b, size); }
};

// Introsort of `n` elements of `size` bytes in place. Every comparison is
// made between two elements inside the array (the pivot stays in the first
// slot while a range is partitioned, and insertion sort swaps neighbours),
// so the callback always receives addresses of the caller's elements. Both
// scans are bounded, as in the pointer introsort.
template <class Swap, class Less>
class InPlaceSort {
 public:
  InPlaceSort(std::size_t size, Swap swap, Less less) : size_(size), swap_(swap), less_(less) {}

  void sort(char *a, std::ptrdiff_t n) {
    int depth = 0;
    for (std::ptrdiff_t k = n; k > 1; k >>= 1) depth += 2;
    loop(a, n, depth);
  }

 private:
  char *at(char *a, std::ptrdiff_t i) const { return a + i * static_cast<std::ptrdiff_t>(size_); }

  void loop(char *a, std::ptrdiff_t n, int depth) {
    while (n > 16) {
      if (depth-- == 0) {
        heap_sort(a, n);
        return;
      }
      std::ptrdiff_t mid = n / 2;
      if (less_(at(a, mid), at(a, 0))) swap_(at(a, mid), at(a, 0));
      if (less_(at(a, n - 1), at(a, 0))) swap_(at(a, n - 1), at(a, 0));
      if (less_(at(a, n - 1), at(a, mid))) swap_(at(a, n - 1), at(a, mid));
      swap_(at(a, 0), at(a, mid));
      std::ptrdiff_t i = 0, j = n;
      for (;;) {
        do ++i;
        while (i < n && less_(at(a, i), at(a, 0)));
        do --j;
        while (j > 0 && less_(at(a, 0), at(a, j)));
        if (i >= j) break;
        swap_(at(a, i), at(a, j));
      }
      swap_(at(a, 0), at(a, j));
      std::ptrdiff_t left = j, right = n - j - 1;
      if (left < right) {
        loop(a, left, depth);
        a = at(a, j + 1);
        n = right;
      } else {
        loop(at(a, j + 1), right, depth);
        n = left;
      }
    }
    for (std::ptrdiff_t i = 1; i < n; ++i)
      for (std::ptrdiff_t j = i; j > 0 && less_(at(a, j), at(a, j - 1)); --j)
        swap_(at(a, j), at(a, j - 1));
  }

  void sift_down(char *a, std::ptrdiff_t root, std::ptrdiff_t n) {
    for (;;) {
      std::ptrdiff_t child = 2 * root + 1;
      if (child >= n) return;
      if (child + 1 < n && less_(at(a, child), at(a, child + 1))) ++child;
      if (!less_(at(a, root), at(a, child))) return;
      swap_(at(a, root), at(a, child));
      root = child;
    }
  }

  void heap_sort(char *a, std::ptrdiff_t n) {
    for (std::ptrdiff_t i = n / 2 - 1; i >= 0; --i) sift_down(a, i, n);
    for (std::ptrdiff_t end = n - 1; end > 0; --end) {
      swap_(at(a, 0), at(a, end));
      sift_down(a, 0, end);
    }
  }

  std::size_t size_;
  Swap swap_;
  Less less_;
};

// Elements up to this size are sorted where they lie; larger ones through
// their addresses, so that each is copied about once.
constexpr int kInPlaceLimit = 64;

template <class Less>
void sort_in_place(char *a, int n, int size, Less less) {
  auto run = [&](auto swap) { InPlaceSort(size, swap, less).sort(a, n); };
  switch (size) {
    case 4:
      return run(FixedSwap<4>{});
    case 8:
      return run(FixedSwap<8>{});
    case 12:
      return run(FixedSwap<12>{});
    case 16:
      return run(FixedSwap<16>{});
    case 24:
      return run(FixedSwap<24>{});
    case 32:
      return run(FixedSwap<32>{});
    default:
      return run(ByteSwap{static_cast<std::size_t>(size)});
  }
}

// The unstable object sorts: in place for small elements, else by address.
template <class Less>
void sort_objects_by(int count, void *base, int element_size, Less less) {
  if (count < 2 || !base || element_size < 1) return;
  if (element_size <= kInPlaceLimit)
    sort_in_place(static_cast<char *>(base), count, element_size, less);
  else
    sort_by_addresses(count, base, element_size, less);
}

// Quicksort of slots low .. high reached through `access` (which returns a
// void ** for an index). The pivot is the middle slot's value; scans stop at
// the pivot's own value and at the range's ends, so an inconsistent
// comparison cannot lead them outside. Ranges below 10 slots are finished
// by insertion sort.
template <class Access>
void quick_sort_slots(int low, int high, kw_compare_fn compare, Access &access) {
  while (high - low >= 9) {
    void *pivot = *access((low + high) / 2);
    int i = low, j = high;
    do {
      while (i <= high) {
        void *v = *access(i);
        if (v == pivot || compare(v, pivot) >= 0) break;
        ++i;
      }
      while (j >= low) {
        void *v = *access(j);
        if (v == pivot || compare(pivot, v) >= 0) break;
        --j;
      }
      if (i <= j) {
        std::swap(*access(i), *access(j));
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - low < high - i) {
      quick_sort_slots(low, j, compare, access);
      low = i;
    } else {
      quick_sort_slots(i, high, compare, access);
      high = j;
    }
  }
  for (int k = low + 1; k <= high; ++k) {
    void *v = *access(k);
    int m = k;
    for (; m > low; --m) {
      void *prev = *access(m - 1);
      if (compare(v, prev) >= 0) break;
      *access(m) = prev;
    }
    *access(m) = v;
  }
}

// Stable order of two addresses with equal keys: their position.
inline bool before(const void *a, const void *b) { return std::less<const void *>()(a, b); }

bool is_single_segment(const void *har) { return har_segment_count(har) == 1; }

}  // namespace

// ---- objects ---------------------------------------------------------------------

KW_API void sort_objects_with_data(int count, kw_compare_data_fn compare, void *base,
                                   int element_size, void *data) {
  if (!compare) return;
  sort_objects_by(count, base, element_size,
                  [compare, data](void *a, void *b) { return compare(a, b, data) < 0; });
}

KW_API void sort_objects(int count, kw_compare_fn compare, void *base, int element_size) {
  if (!compare) return;
  sort_objects_by(count, base, element_size,
                  [compare](void *a, void *b) { return compare(a, b) < 0; });
}

KW_API void sort_objects_same_order(int count, kw_compare_fn compare, void *base,
                                    int element_size) {
  if (!compare) return kw::algo::reject("sort_objects_same_order", "No compare function");
  sort_by_addresses(count, base, element_size, [compare](void *a, void *b) {
    int r = compare(a, b);
    return r < 0 || (r == 0 && before(a, b));
  });
}

KW_API void sort_objects_same_order_w_data(int count, kw_compare_data_fn compare, void *base,
                                           int element_size, void *data) {
  if (!compare) return kw::algo::reject("sort_objects_same_order_w_data", "No compare function");
  sort_by_addresses(count, base, element_size, [compare, data](void *a, void *b) {
    int r = compare(a, b, data);
    return r < 0 || (r == 0 && before(a, b));
  });
}

KW_API void sort_pointers_same_order(int count, kw_compare_fn compare, void *pointers) {
  if (!compare) return kw::algo::reject("sort_pointers_same_order", "No compare function");
  if (count < 2 || !pointers) return;
  // Sort the slots' addresses, so that ties fall to the original position.
  std::vector<void **> slots(count);
  void **p = static_cast<void **>(pointers);
  for (int i = 0; i < count; ++i) slots[i] = p + i;
  kw::runtime::introsort(slots.data(), count, [compare](void **a, void **b) {
    int r = compare(*a, *b);
    return r < 0 || (r == 0 && a < b);
  });
  std::vector<void *> sorted(count);
  for (int i = 0; i < count; ++i) sorted[i] = *slots[i];
  std::copy(sorted.begin(), sorted.end(), p);
}

KW_API int order_array(int count, void *base, void *pointers, int element_size) {
  if (count < 0 || element_size < 1)
    return kw::algo::reject("ORDER_ARRAY", "invalid input", E_INVALID_INPUT);
  if (count == 0) return 0;
  if (!base || !pointers) return kw::algo::reject("ORDER_ARRAY", "invalid input", E_INVALID_INPUT);
  void **p = static_cast<void **>(pointers);
  char *b = static_cast<char *>(base);
  // Check the whole permutation first, so that bad data moves nothing.
  if (!is_permutation_of(count, b, p, element_size))
    return kw::algo::reject("ORDER_ARRAY", "invalid data", E_INVALID_INPUT);
  permute(count, b, p, element_size);
  return 0;
}

KW_API int xar_sort(void *array_address, kw_compare_fn compare) {
  if (!array_address || !slot(array_address)) return 0;
  void *xar = slot(array_address);
  int n = count_of(xar);
  sort_objects(n, compare, xar, elsize_of(xar));
  return n;
}

KW_API void sort_pointers_with_index(int count, kw_compare_fn compare, void *pointers,
                                     void *indices_address) {
  if (!compare) return kw::algo::reject("with_index_ptr_compare_func", "No compare function");
  if (!indices_address) return sort_pointers(count, compare, pointers);
  if (count < 0 || !pointers) count = 0;
  struct Entry {
    void *pointer;
    int32_t index;
  };
  std::vector<Entry> entries(count);
  void **p = static_cast<void **>(pointers);
  for (int i = 0; i < count; ++i) entries[i] = {p[i], i};
  kw::runtime::introsort(entries.data(), count, [compare](const Entry &a, const Entry &b) {
    return compare(a.pointer, b.pointer) < 0;
  });
  if (xar_alloc_or_resize(indices_address, count, sizeof(int32_t), 8) != 0) return;
  int32_t *indices = static_cast<int32_t *>(slot(indices_address));
  for (int i = 0; i < count; ++i) {
    p[i] = entries[i].pointer;
    indices[i] = entries[i].index;
  }
}

KW_API void make_sorted_ptr_ptrs(int count, kw_compare_fn compare, const void *base,
                                 void *out_address) {
  if (!out_address || !compare || !base || count < 0) return;
  if (xar_alloc_or_resize(out_address, count, sizeof(void *), 8) != 0) return;
  void **out = static_cast<void **>(slot(out_address));
  for (int i = 0; i < count; ++i)
    out[i] = const_cast<char *>(static_cast<const char *>(base)) + i * sizeof(void *);
  kw::runtime::introsort(out, count, [compare](void *a, void *b) {
    return compare(*static_cast<void **>(a), *static_cast<void **>(b)) < 0;
  });
}

KW_API void sort_double(int count, double *array) {
  if (!array || count < 2) return;
  kw::runtime::introsort(array, count, [](double a, double b) { return a < b; });
}

KW_API void sort_xyz_points(int count, double *points, double **pointers, const double *tolerance) {
  if (!points || count < 2) {
    if (points && pointers && count == 1) pointers[0] = points;
    return;
  }
  void *tol = const_cast<double *>(tolerance);
  if (!pointers) {
    sort_objects_with_data(count, compare_xyz_points, points, 3 * sizeof(double), tol);
    return;
  }
  for (int i = 0; i < count; ++i) pointers[i] = points + 3 * i;
  kw::runtime::introsort(pointers, count,
                         [tol](double *a, double *b) { return compare_xyz_points(a, b, tol) < 0; });
}

// ---- pointer arrays through an accessor, hars -----------------------------------

KW_API void quick_sort_access(int low, int high, kw_compare_fn compare, kw_access_fn access) {
  if (!compare || !access || low < 0) return;
  quick_sort_slots(low, high, compare, access);
}

KW_API void sort_pointers_access(int count, kw_compare_fn compare, kw_access_fn access) {
  quick_sort_access(0, count - 1, compare, access);
}

KW_API void sort_har_pointers(void *har, kw_compare_fn compare) {
  int n = har_total(har);
  if (!compare || n < 2 || har_element_size(har) != static_cast<int>(sizeof(void *))) return;
  if (is_single_segment(har)) {
    void **p = static_cast<void **>(har_segment(har, 0, nullptr));
    auto access = [p](int i) { return p + i; };
    quick_sort_slots(0, n - 1, compare, access);
    return;
  }
  auto access = [har](int i) { return static_cast<void **>(har_access(har, i, nullptr, nullptr)); };
  quick_sort_slots(0, n - 1, compare, access);
}

KW_API void sort_har_pointers_ts(void *har, kw_compare_fn compare) {
  // The accessor carries the har itself, so the sort shares no state.
  sort_har_pointers(har, compare);
}

KW_API void sort_har_objects(void *har, kw_compare_fn compare, int element_size) {
  int n = har_total(har);
  if (!compare || n < 2 || element_size < 1 || har_element_size(har) != element_size) return;
  if (is_single_segment(har)) {
    sort_objects(n, compare, har_segment(har, 0, nullptr), element_size);
    return;
  }
  // Sort the element addresses, then move the objects along the cycles of
  // the permutation (elements of a har do not lie in one block).
  std::vector<char *> address(n);
  for (int i = 0; i < n; ++i)
    address[i] = static_cast<char *>(har_access(har, i, nullptr, nullptr));
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  kw::runtime::introsort(order.data(), n,
                         [&](int a, int b) { return compare(address[a], address[b]) < 0; });
  Scratch<kStackElement> tmp(element_size);
  std::vector<bool> done(n);
  for (int i = 0; i < n; ++i) {
    if (done[i] || order[i] == i) continue;
    std::memcpy(tmp.get(), address[i], element_size);
    int j = i;
    for (;;) {
      done[j] = true;
      int src = order[j];
      if (src == i) {
        std::memcpy(address[j], tmp.get(), element_size);
        break;
      }
      std::memcpy(address[j], address[src], element_size);
      j = src;
    }
  }
}

// ---- moves -------------------------------------------------------------------------

KW_API int shift_elem_array(void *base, int element_size, int shift, int count) {
  if (!base || element_size < 1 || shift < 0 || shift >= count) return 0;
  char *b = static_cast<char *>(base);
  std::rotate(b, b + static_cast<std::size_t>(shift) * element_size,
              b + static_cast<std::size_t>(count) * element_size);
  return 1;
}

KW_API int xar_swap(void *array, int i, int j) {
  int n = count_of(array);
  if (i < 0 || j < 0 || i >= n || j >= n)
    return kw::algo::reject("xar_swap", "Invalid request", -1);
  int size = elsize_of(array);
  swap_objects(at(array, i, size), at(array, j, size), size);
  return 0;
}

KW_API int xar_move(void *array_address, int from, int to) {
  if (!array_address) return E_INVALID_INPUT;
  int n = xar_count(array_address);
  if (from < 0 || to < 0 || from >= n || to >= n) return E_INVALID_INPUT;
  if (from == to) return 0;
  void *xar = slot(array_address);
  std::size_t size = elsize_of(xar);
  Scratch<kStackElement> tmp(size);
  std::memcpy(tmp.get(), at(xar, from, size), size);
  if (from < to)
    std::memmove(at(xar, from, size), at(xar, from + 1, size), (to - from) * size);
  else
    std::memmove(at(xar, to + 1, size), at(xar, to, size), (from - to) * size);
  std::memcpy(at(xar, to, size), tmp.get(), size);
  return 0;
}

KW_API int compress_pointer_array(void *array_address) {
  if (!array_address || !slot(array_address)) return 0;
  void **p = static_cast<void **>(slot(array_address));
  int n = xar_count(array_address);
  int w = static_cast<int>(std::remove(p, p + n, nullptr) - p);
  if (w != n) xar_resize(array_address, w);
  return w;
}

KW_API int uniquify_sorted_pointer_array(void *array_address, int count) {
  if (!array_address || !slot(array_address)) return 0;
  void **p = static_cast<void **>(slot(array_address));
  int n = xar_count(array_address);
  if (count < 0 || count > n) count = n;
  int w = 0;
  for (int r = 0; r < count; ++r) {
    if (!p[r] || (w > 0 && p[w - 1] == p[r])) continue;
    p[w++] = p[r];
  }
  if (w == count) return n;
  std::memmove(p + w, p + count, (n - count) * sizeof(void *));
  xar_resize(array_address, n - (count - w));
  return n - (count - w);
}

KW_API int uniquify_pointer_array(void *array_address, kw_compare_fn compare) {
  if (!array_address || !slot(array_address)) return 0;
  if (compare) sort_pointers(xar_count(array_address), compare, slot(array_address));
  return uniquify_sorted_pointer_array(array_address, -1);
}
