// Scan filters and the listing order on arbitrary texts: a filter built
// from UTF-16 text, names parsed into records, matched, sorted and used to
// invalidate the directory cache. Sorted records keep directories first
// and sorting is stable under a second pass.
#include <keelwork/pfa.h>
#include <keelwork/pfadir.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  int mode = data[0] & 1;
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  size_t cut = text.find('\n');
  std::string filter_bytes = text.substr(0, cut);
  std::u16string wfilter;
  for (size_t i = 0; i + 1 < filter_bytes.size(); i += 2)
    wfilter += static_cast<char16_t>(static_cast<uint8_t>(filter_bytes[i]) |
                                     static_cast<uint8_t>(filter_bytes[i + 1]) << 8);
  for (char16_t &c : wfilter)
    if (c == 0) c = u'*';
  Pfa_Scan_Filter filter;
  if (wstring_to_Pfa_Scan_FIlter(reinterpret_cast<const kw_wchar *>(wfilter.c_str()), mode, 0,
                                 &filter) != 0) {
    filter = Pfa_Scan_Filter{};
  }
  if (filter.count < 0 || (filter.count > 0 && (!filter.patterns || !filter.typed))) std::abort();

  std::vector<vex_file *> files;
  std::string rest = cut == std::string::npos ? std::string() : text.substr(cut + 1);
  for (size_t i = 0; i <= rest.size() && files.size() < 64;) {
    size_t end = rest.find('\n', i);
    if (end == std::string::npos) end = rest.size();
    std::string name = rest.substr(i, end - i);
    i = end + 1;
    name.resize(std::strlen(name.c_str()));
    pfa_file_name_update_dir_cache(name.c_str());
    vex_file *f = pfa_alloc_file(("/fuzz/" + name).c_str());
    if (!f) continue;
    int m = pfa_scan_filter_match(&filter, f);
    if (m != 0 && m != 1) std::abort();
    files.push_back(f);
  }
  std::vector<vex_file *> sorted = files;
  sort_pfa_ptrs(sorted.data(), static_cast<int>(sorted.size()));
  bool seen_file = false;
  for (vex_file *f : sorted) {
    if (pfa_is_dir(f) && seen_file) std::abort();  // directories come first
    seen_file |= !pfa_is_dir(f);
  }
  std::vector<vex_file *> again = sorted;
  sort_pfa_ptrs(again.data(), static_cast<int>(again.size()));
  if (again != sorted) std::abort();
  for (vex_file *f : files) pfa_free_vex_file(&f);
  pfa_clean_scan_filter(&filter);
  return 0;
}
