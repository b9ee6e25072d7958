// Internal interface between the portable conversions and the code-page
// tables that the posix/ layer builds from the system's iconv.
#ifndef KW_RUNTIME_UNICODE_INTERNAL_H
#define KW_RUNTIME_UNICODE_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kw::runtime {

// Source extents under the "up to the NUL or the limit" rule; a negative
// limit or 0x7fffffff means unbounded.
std::size_t u8_extent(const char *src, std::int32_t len);
std::size_t u16_extent(const char16_t *src, std::int32_t len);

// Maps an internal result (0 done, kUtfInvalid, 1 no space) to the public
// result and stores the consumed count.
std::int32_t finish_conversion(int rc, std::size_t used, std::size_t written,
                               std::int32_t *src_used);

// EUC-JP, indexed by row and cell (0-93 each). Built once from iconv.
struct EucTables {
  char16_t jis0208[94 * 94];  // code set 1; 0: unmapped
  char16_t jis0212[94 * 94];  // code set 3; 0: unmapped
  // Unicode (BMP) to EUC process code; 0: no EUC-JP form (U+0000 is NUL).
  std::uint16_t from_unicode[65536];
};
const EucTables &euc_tables();

// Unicode of an EUC process code, 0 when it has none.
char16_t euc_process_to_unicode(std::uint16_t code);

// A single- or double-byte code page (Shift-JIS/CP932, GBK, CP949, BIG5,
// the CP125x and ISO-8859-8), built once from iconv.
struct DbcsTable {
  int code_page;
  bool lead[256];            // byte starts a two-byte character
  char16_t single[256];      // 0: unmapped (byte 0 maps to U+0000)
  char16_t pair[256 * 256];  // index lead<<8|trail; 0: unmapped
  // Unicode (BMP) to a code: below 0x100 one byte, else lead<<8|trail; 0:
  // none.
  std::uint16_t from_unicode[65536];
};
// The table of `code_page`, or null when the system lacks it.
const DbcsTable *dbcs_table(int code_page);

// The iconv name of a code page number, or null.
const char *code_page_iconv_name(int code_page);

// The process locale's codeset (nl_langinfo(CODESET)) and whether it is
// UTF-8.
std::string native_codeset();
bool native_is_utf8();

// Converts a whole buffer with iconv from `from` to `to`; false when the
// conversion is not available or the input is invalid in `from`.
// Unmappable characters become `subst` (when non-zero) on the way out.
bool iconv_whole(const char *from, const char *to, const char *src, std::size_t n, std::string &out,
                 int subst, std::size_t *bad_offset);

}  // namespace kw::runtime

#endif  // KW_RUNTIME_UNICODE_INTERNAL_H
