// Bit arrays of unsigned 32-bit words.
#include <cstdarg>
#include <cstring>

#include "algo/algo_internal.h"
#include "keelwork/bitarray.h"

namespace {

// Every operation reports a bit number outside the array under the same
// caption, the one callers have always seen.
bool bad_bit(int n, int i) {
  if (i >= 0 && static_cast<int64_t>(i) < static_cast<int64_t>(n) * 32) return false;
  kw::algo::reject("bit_array_clear_bit", "Bad call");
  return true;
}

inline uint32_t mask(int i) { return uint32_t{1} << (i % 32); }

// Applies `op` to each bit of a list ended by a negative number: 1, or 0 at
// the first bad bit number.
template <class Op>
int each_bit(int n, va_list args, Op op) {
  for (;;) {
    int i = va_arg(args, int);
    if (i < 0) return 1;
    if (bad_bit(n, i)) return 0;
    op(i);
  }
}

}  // namespace

KW_API int bit_array_check_bit(const uint32_t *bits, int n, int i) {
  if (!bits || bad_bit(n, i)) return 0;
  return (bits[i / 32] & mask(i)) != 0;
}

KW_API int bit_array_set_bit(uint32_t *bits, int n, int i) {
  if (!bits || bad_bit(n, i)) return 0;
  int was = (bits[i / 32] & mask(i)) != 0;
  bits[i / 32] |= mask(i);
  return was;
}

KW_API int bit_array_clear_bit(uint32_t *bits, int n, int i) {
  if (!bits || bad_bit(n, i)) return 0;
  int was = (bits[i / 32] & mask(i)) != 0;
  bits[i / 32] &= ~mask(i);
  return was;
}

KW_API int bit_array_set_bit_list(uint32_t *bits, int n, ...) {
  if (!bits) return 0;
  va_list args;
  va_start(args, n);
  int r = each_bit(n, args, [bits](int i) { bits[i / 32] |= mask(i); });
  va_end(args);
  return r;
}

KW_API int bit_array_clear_bit_list(uint32_t *bits, int n, ...) {
  if (!bits) return 0;
  va_list args;
  va_start(args, n);
  int r = each_bit(n, args, [bits](int i) { bits[i / 32] &= ~mask(i); });
  va_end(args);
  return r;
}

KW_API int bit_array_check_bit_list(const uint32_t *bits, int n, ...) {
  if (!bits) return 0;
  va_list args;
  va_start(args, n);
  bool any = false;
  int r = each_bit(n, args, [bits, &any](int i) { any = any || (bits[i / 32] & mask(i)); });
  va_end(args);
  return r && any;
}

KW_API int bit_array_compare(const uint32_t *a, const uint32_t *b, int n) {
  if (!a || !b) return 0;
  return n <= 0 || std::memcmp(a, b, static_cast<std::size_t>(n) * sizeof(uint32_t)) == 0;
}

KW_API int bit_array_check(const uint32_t *a, const uint32_t *b, int n) {
  if (!a || !b) return 0;
  for (int k = 0; k < n; ++k)
    if (a[k] & b[k]) return 1;
  return 0;
}

KW_API int bit_array_check_all(const uint32_t *a, const uint32_t *b, int n) {
  if (!a || !b) return 0;
  for (int k = 0; k < n; ++k)
    if ((a[k] & b[k]) != b[k]) return 0;
  return 1;
}

KW_API int bit_array_check_any(const uint32_t *a, int n) {
  if (!a) return 0;
  for (int k = 0; k < n; ++k)
    if (a[k]) return 1;
  return 0;
}

KW_API int bit_array_copy(uint32_t *to, const uint32_t *from, int n) {
  if (!to || !from) return 0;
  if (n > 0) std::memmove(to, from, static_cast<std::size_t>(n) * sizeof(uint32_t));
  return 1;
}

KW_API int bit_array_merge(uint32_t *to, const uint32_t *from, int n) {
  if (!to || !from) return 0;
  for (int k = 0; k < n; ++k) to[k] |= from[k];
  return 1;
}

KW_API int bit_array_mask(uint32_t *to, const uint32_t *from, int n) {
  if (!to || !from) return 0;
  for (int k = 0; k < n; ++k) to[k] &= from[k];
  return 1;
}

KW_API int bit_array_reset(uint32_t *to, const uint32_t *from, int n) {
  if (!to || !from) return 0;
  for (int k = 0; k < n; ++k) to[k] &= ~from[k];
  return 1;
}

KW_API int bit_array_clear(uint32_t *bits, int n) {
  if (!bits) return 0;
  if (n > 0) std::memset(bits, 0, static_cast<std::size_t>(n) * sizeof(uint32_t));
  return 1;
}

KW_API int bit_array_set_all(uint32_t *bits, int n) {
  if (!bits) return 0;
  if (n > 0) std::memset(bits, 0xff, static_cast<std::size_t>(n) * sizeof(uint32_t));
  return 1;
}

KW_API int bit_array_get_size(int bits) { return bits < 1 ? 0 : (bits - 1) / 32 + 1; }
