// The default hash and key comparison of kw_HashTable.
#include "keelwork/hashtable.hpp"

#include <climits>

KW_API uint32_t kw_defHashFunc(intptr_t key, uint32_t bucket_count) {
  return kw::detail::def_hash(key, bucket_count);
}

KW_API int kw_defCompareFunc(intptr_t a, intptr_t b) {
  // The difference, as long as it fits an int; its sign otherwise (a
  // truncated difference of two distinct keys could be 0).
  if (a == b) return 0;
  if ((b > 0 && a < INTPTR_MIN + b) || (b < 0 && a > INTPTR_MAX + b)) return a < b ? -1 : 1;
  intptr_t d = a - b;
  if (d > INT_MAX || d < INT_MIN) return d < 0 ? -1 : 1;
  return static_cast<int>(d);
}
