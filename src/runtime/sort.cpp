// Sorting of pointer arrays.
#include <cstring>

#include "keelwork/xar.h"
#include "runtime/sort_internal.h"

KW_API void sort_pointers(int count, kw_compare_fn compare, void *pointers) {
  if (count < 2 || !compare || !pointers) return;
  kw::runtime::introsort(static_cast<void **>(pointers), count,
                         [compare](void *a, void *b) { return compare(a, b) < 0; });
}

KW_API void sort_pointers_with_data(int count, kw_compare_data_fn compare, void *pointers,
                                    void *data) {
  if (count < 2 || !compare || !pointers) return;
  kw::runtime::introsort(static_cast<void **>(pointers), count,
                         [compare, data](void *a, void *b) { return compare(a, b, data) < 0; });
}

KW_API void swap_pointers(void **a, void **b) {
  void *t = *a;
  *a = *b;
  *b = t;
}

KW_API void swap_objects(void *a, void *b, size_t size) {
  if (a == b) return;
  auto *x = static_cast<unsigned char *>(a);
  auto *y = static_cast<unsigned char *>(b);
  unsigned char buf[256];
  while (size > 0) {
    size_t n = size < sizeof buf ? size : sizeof buf;
    std::memcpy(buf, x, n);
    std::memcpy(x, y, n);
    std::memcpy(y, buf, n);
    x += n;
    y += n;
    size -= n;
  }
}
