// Fuzzes the formatter over a fixed set of formats with fuzzed arguments:
// integers, doubles (every bit pattern), byte strings and UTF-16 strings
// that may hold unpaired surrogates, into destinations of fuzzed size.
#include <keelwork/btk_format.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <class T>
T take(const uint8_t *&p, const uint8_t *end) {
  T v{};
  size_t n = static_cast<size_t>(end - p) < sizeof v ? static_cast<size_t>(end - p) : sizeof v;
  std::memcpy(&v, p, n);
  p += n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *p = data, *end = data + size;
  unsigned pick = take<uint8_t>(p, end);
  unsigned cap = take<uint16_t>(p, end) % 600;
  int width = take<int8_t>(p, end);
  int prec = take<int8_t>(p, end);
  long long i = take<long long>(p, end);
  double d = take<double>(p, end);
  long double ld = static_cast<long double>(take<double>(p, end));
  size_t rest = static_cast<size_t>(end - p);
  std::string bytes(reinterpret_cast<const char *>(p), rest / 2);
  std::u16string wide(rest / 4, u'\0');
  std::memcpy(wide.data(), p + rest / 2, wide.size() * 2);
  std::vector<char> out(cap ? cap : 1);
  char *dst = cap ? out.data() : nullptr;
  int n = 0;
  switch (pick % 10) {
    case 0:
      n = btk_snprintf(dst, cap, "%*.*d|%-*lld|%#*.*llx", width, prec, static_cast<int>(i), width,
                       i, width, prec, i);
      break;
    case 1:
      n = btk_snprintf(dst, cap, "%*.*f|%*.*e", width, prec, d, width, prec, d);
      break;
    case 2:
      n = btk_snprintf(dst, cap, "%*.*g|%#*.*G|%.*a", width, prec, d, width, prec, d, prec, d);
      break;
    case 3:
      n = btk_snprintf(dst, cap, "%*.*Lf|%.*Le|%La", width, prec, ld, prec, ld, ld);
      break;
    case 4:
      n = btk_snprintf(dst, cap, "%*.*s|%s", width, prec, bytes.c_str(), bytes.c_str());
      break;
    case 5:
      n = btk_snprintf(dst, cap, "%*.*ws|%S", width, prec, wide.c_str(), wide.c_str());
      break;
    case 6:
      n = btk_snprintf(dst, cap, "%I64u %hhd %hu %zx %p %c", i, static_cast<int>(i),
                       static_cast<int>(i), static_cast<size_t>(i), reinterpret_cast<void *>(i),
                       static_cast<int>(i) | 1);  // a %c of 0 would end the text early
      break;
    case 7: {
      std::vector<kw_wchar> w(cap + 1);
      n = btk_swprintf(cap ? w.data() : nullptr, cap, u"%*.*s|%hs|%d|%.*f", width, prec,
                       wide.c_str(), bytes.c_str(), static_cast<int>(i), prec, d);
      break;
    }
    case 8:
      n = btk_snprintf(dst, cap, "%.*f", prec, d * 1e200);
      break;
    default:
      n = btk_snprintf(dst, cap, "%+0*d %-#*o % .*i", width, static_cast<int>(i), width,
                       static_cast<unsigned>(i), prec, static_cast<int>(i));
      break;
  }
  if (cap && (pick % 10) != 7 && n >= 0 &&
      std::strlen(dst) != (static_cast<unsigned>(n) < cap ? static_cast<unsigned>(n) : cap - 1))
    std::abort();
  return 0;
}
