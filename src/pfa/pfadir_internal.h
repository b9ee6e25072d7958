// Internal parts of directory listing and the directory cache: the
// listing record a directory carries while open, the entries a complete
// listing keeps for the cache, and the cache's calls from the listing code.
#ifndef KW_PFA_PFADIR_INTERNAL_H
#define KW_PFA_PFADIR_INTERNAL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "keelwork/pfadir.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa::dir {

// How a cache entry is validated; filled before the directory is read, so
// that a change made while it is read makes the entry stale.
struct CacheFields {
  int32_t mode = 0;          // 0 none, 1 change watch, 2 modification time
  int64_t notification = 0;  // watch token (mode 1)
  int64_t mod_time = 0;      // nanoseconds since 1970 (mode 2)
  uint64_t generation = 0;   // invalidations counted when the listing began
};

// The entries of a listing read to its end, in listing order.
struct Snapshot {
  vex_file source;  // the directory they were read from (location only)
  std::vector<vex_file> entries;
};

struct ListingState {
  bool location_open = false;  // PfaDirOpen answered; PfaDirClose is owed
  bool at_end = false;
  bool replay = false;      // entries come from `snap`
  bool recording = false;   // entries go into `snap` for the cache
  bool lent = false;        // `snap` belongs to a cache entry (flag 0x200)
  bool cache_copy = false;  // this is the cache's own copy
  bool wildcard = false;
  bool have_fields = false;
  bool relocate = false;  // replayed entries take this directory's location
  std::shared_ptr<Snapshot> snap;
  size_t pos = 0;
  std::string key;
  std::string pattern;  // the caller's
  std::string wild;     // a wildcard directory's
  void *subset = nullptr;
  int options = 0;
  CacheFields fields;
  vex_file target;  // the directory the location reads (a wildcard's parent)
};

// What a directory's stream points at while it is listed. The location's
// methods see only `base`; `magic` tells a listing from a file stream.
struct DirListing {
  pfa_stream base;
  uint32_t magic;
  ListingState *state;
};
inline constexpr uint32_t kListingMagic = 0x4C495354;

// The listing of an open directory, or null.
DirListing *listing_of(const vex_file *dir);
// Makes a listing record for `dir` (not yet attached).
DirListing *new_listing();
void free_listing(DirListing *l);

// Listing order: directories first, then name with extension (lowercased
// for types that refuse mixed case, without case with `no_case`), then the
// numeric version or with `string_versions` the string version.
int compare_entries(const vex_file *a, const vex_file *b, bool no_case, bool string_versions);
// The name of an entry as written on disk (a directory's last segment).
void disk_name(const vex_file *e, NameBuf &out);
// Sorts records in listing order (default flags).
void order_entries(std::vector<vex_file *> &entries);

// ---- the cache ----------------------------------------------------------

// The absolute hostless location text of a directory; false when it has
// none that fits.
bool cache_key(const vex_file *dir, std::string &key);
// At open: a valid cached listing for `key` is lent to `dir` (true, `snap`
// set, flag 0x200 on `dir`).
bool cache_lend(vex_file *dir, const std::string &key, std::shared_ptr<Snapshot> &snap);
// At open, when the listing is not lent: whether the listing may be cached
// once read, with its validation fields set up now.
bool cache_prepare(vex_file *dir, const std::string &key, CacheFields &fields);
// Ends validation fields that were not handed to the cache.
void release_fields(CacheFields &fields);
// At the end of a recorded listing: inserts it. True when the cache took
// the listing (and the fields); `dir` is then a borrower (0x200).
bool cache_insert(vex_file *dir, ListingState &st);
// At close of a borrower.
void cache_return(vex_file *dir, const std::string &key);
// Debug prints of the cache (to standard error) when ___DIR_CACHE_DEBUG
// is on.
bool debug_on();
void debug_print(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The key of the file layer's notification application "kwpfa" (cache
// notifications are its kind 3), registered on first use.
int notification_key();

// Installs the directory methods of the built-in file systems and the
// console opener of the text subsystem; called once by the layer's set-up.
void setup();

}  // namespace kw::pfa::dir

#endif  // KW_PFA_PFADIR_INTERNAL_H
