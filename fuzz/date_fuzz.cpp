// format_date_time_string on arbitrary formats, values and output sizes. The
// output goes into a heap block of exactly the given size, so AddressSanitizer
// sees any write past it; the result must be terminated within the block and
// its length must be what the function returned.
#include <keelwork/ptime.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int32_t take_int(const uint8_t *&data, size_t &size) {
  int32_t v = 0;
  if (size >= 4) {
    std::memcpy(&v, data, 4);
    data += 4;
    size -= 4;
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Values: year, month, day, with_time, hour, minute, second, out_size.
  int32_t v[8];
  for (int32_t &x : v) x = take_int(data, size);
  // Mostly plausible values, sometimes extreme ones as they came.
  const bool raw = (v[3] & 0x100) != 0;
  const int year = raw ? v[0] : v[0] % 10000;
  const int month = raw ? v[1] : v[1] % 14;
  const int day = raw ? v[2] : v[2] % 33;
  const int with_time = v[3] & 1;
  const int hour = raw ? v[4] : v[4] % 25;
  const int minute = raw ? v[5] : v[5] % 61;
  const int second = raw ? v[6] : v[6] % 61;
  const int out_size = static_cast<int>(static_cast<uint32_t>(v[7]) % 200);

  std::vector<kw_wchar> format(size / 2 + 1, 0);
  if (size >= 2) std::memcpy(format.data(), data, size / 2 * 2);
  format.back() = 0;

  kw_wchar *out =
      out_size > 0 ? static_cast<kw_wchar *>(std::malloc(out_size * sizeof(kw_wchar))) : nullptr;
  const int n = format_date_time_string(format.data(), year, month, day, with_time, hour, minute,
                                        second, out, out_size);
  if (out_size < 1) {
    if (n != 0) std::abort();
  } else {
    if (n < 0 || n >= out_size || out[n] != 0) std::abort();
    for (int i = 0; i < n; ++i)
      if (out[i] == 0) std::abort();
  }
  std::free(out);
  return 0;
}
