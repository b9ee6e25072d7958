// Attribute bits of a flags word and the argument block of generic
// callbacks.
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "keelwork/debug.h"
#include "keelwork/notify.h"

namespace {

// The mask of attribute n (1 to 32), 0 for any other number.
uint32_t mask_of(int n) { return n >= 1 && n <= 32 ? uint32_t{1} << (n - 1) : 0; }

bool gencb_count_ok(const char *where, const void *block, int count) {
  if (count < 0 || count > VEX_GENCB_MAX_ARGS) {
    dbg_err_crash(where, "bad number of args");
    return false;
  }
  if (!block) {
    dbg_err_crash(where, "NULL data block");
    return false;
  }
  return true;
}

}  // namespace

KW_API uint32_t put_attribute(uint32_t *flags, int n) {
  if (!flags) return 0;
  return *flags |= mask_of(n);
}

KW_API uint32_t clear_attribute(uint32_t *flags, int n) {
  if (!flags) return 0;
  return *flags &= ~mask_of(n);
}

KW_API int is_attribute(uint32_t flags, int n) { return (flags & mask_of(n)) != 0; }

KW_API uint32_t flip_attribute(uint32_t *flags, int n) {
  if (!flags) return 0;
  uint32_t mask = mask_of(n);
  *flags ^= mask;
  return mask && (*flags & mask) ? mask : *flags;
}

KW_API uint32_t clear_attributes_after(uint32_t *flags, int n) {
  if (!flags) return 0;
  if (n <= 0)
    *flags = 0;
  else if (n < 32)
    *flags &= (uint32_t{1} << n) - 1;
  return *flags;
}

KW_API int set_to_gencb_data(intptr_t *block, int count, ...) {
  if (!gencb_count_ok("set_to_gencb_data", block, count)) return 0;
  std::memset(block, 0, VEX_GENCB_SLOTS * sizeof(intptr_t));
  va_list args;
  va_start(args, count);
  for (int i = 0; i < count; ++i) block[i] = va_arg(args, intptr_t);
  va_end(args);
  return count;
}

KW_API int get_from_gencb_data(const intptr_t *block, int count, ...) {
  if (!gencb_count_ok("get_from_gencb_data", block, count)) return 0;
  va_list args;
  va_start(args, count);
  for (int i = 0; i < count; ++i) {
    auto *out = va_arg(args, intptr_t *);
    if (out) *out = block[i];
  }
  va_end(args);
  return count;
}
