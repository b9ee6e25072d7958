// Fuzzes the UTF-8/UTF-16 conversions: whatever the bytes, the results obey
// the contract, valid text round-trips, and a bounded source is never read
// past its length.
#include <keelwork/btk_unicode.h>
#include <keelwork/memory.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 16) return 0;
  // An exact-size copy without a terminator: reads past it trip ASan.
  std::vector<char> bytes(data, data + size);
  const char *src = bytes.data();
  int32_t n = static_cast<int32_t>(size);
  std::vector<kw_wchar> wide(size + 1);
  int32_t used = -1;
  int32_t units = btkStrUtf8ToUtf16(src, n, wide.data(), n + 1, &used);
  int32_t measured = btkStrUtf8ToUtf16(src, n, nullptr, 0, nullptr);
  if (units != measured && !(units < 0 && measured < 0)) std::abort();
  if (units >= 0) {
    std::vector<char> back(size + 1);
    int32_t b = btkStrUtf16ToUtf8(wide.data(), units, back.data(), n + 1, nullptr);
    // Valid input up to its first NUL converts back to the same bytes.
    size_t len = strnlen(src, size);
    if (b != static_cast<int32_t>(len) || std::memcmp(back.data(), src, len) != 0) std::abort();
  } else if (used < 0 || used > n) {
    std::abort();
  }
  // The same bytes read as UTF-16 units.
  size_t nu = size / 2;
  std::vector<kw_wchar> units16(nu + 1);
  if (nu) std::memcpy(units16.data(), data, nu * 2);
  std::vector<char> out(nu * 3 + 1);
  int32_t r = btkStrUtf16ToUtf8(units16.data(), static_cast<int32_t>(nu), out.data(),
                                static_cast<int32_t>(out.size()), nullptr);
  if (r >= 0) {
    std::vector<kw_wchar> again(nu + 1);
    int32_t k =
        btkStrUtf8ToUtf16(out.data(), r, again.data(), static_cast<int32_t>(again.size()), nullptr);
    if (k < 0 || std::memcmp(again.data(), units16.data(), static_cast<size_t>(k) * 2) != 0)
      std::abort();
  }
  // Small destinations never overflow.
  kw_wchar tiny[3];
  btkStrUtf8ToUtf16(src, n, tiny, 3, nullptr);
  char tiny8[4];
  btkStrUtf16ToUtf8(units16.data(), static_cast<int32_t>(nu), tiny8, 4, nullptr);
  if (size > 0) {
    kw_wchar one[2];
    btk_u8tou16(src, n, one);
    char four[4];
    if (nu) btk_u16tou8(units16.data(), static_cast<int32_t>(nu), four);
  }
  return 0;
}
