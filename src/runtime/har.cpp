// Segmented arrays: elements live in segments of a fixed capacity, so growth
// never moves them. The caller holds the address of the first segment's
// first element; the header in front of it lists the segments.
//
// Segments may be partly filled after insertions and removals; while every
// segment but the last is full (the common case of arrays that only grow at
// the end) an element is found by arithmetic, otherwise by walking the
// segment counts.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "keelwork/xar.h"
#include "runtime/runtime_internal.h"

namespace {

constexpr std::uint32_t kHarMagic = 0x68617221;  // "har!"

struct alignas(16) HarHeader {
  std::int32_t total;
  std::int32_t elsize;
  std::int32_t segsize;
  std::int32_t nsegs;
  std::int32_t capsegs;
  std::uint32_t magic;
  bool dense;            // every segment but the last is full
  char **data;           // segment data; data[0] follows this header
  std::int32_t *counts;  // elements in each segment
};

inline HarHeader *hdr(const void *har) {
  return reinterpret_cast<HarHeader *>(const_cast<char *>(static_cast<const char *>(har))) - 1;
}
inline void *&slot(void *address) { return *static_cast<void **>(address); }
inline std::size_t seg_bytes(const HarHeader *h) {
  return static_cast<std::size_t>(h->segsize) * h->elsize;
}

void add_segment(HarHeader *h, int at) {
  if (h->nsegs == h->capsegs) {
    int cap = h->capsegs ? h->capsegs * 2 : 8;
    h->data = static_cast<char **>(kw::runtime::sys_realloc(h->data, cap * sizeof(char *), "har"));
    h->counts = static_cast<std::int32_t *>(
        kw::runtime::sys_realloc(h->counts, cap * sizeof(std::int32_t), "har"));
    h->capsegs = cap;
  }
  std::memmove(h->data + at + 1, h->data + at, (h->nsegs - at) * sizeof(char *));
  std::memmove(h->counts + at + 1, h->counts + at, (h->nsegs - at) * sizeof(std::int32_t));
  h->data[at] = static_cast<char *>(memmgr_getmem(getmem_area_find_memmgr(h), seg_bytes(h)));
  h->counts[at] = 0;
  ++h->nsegs;
}

void recompute_dense(HarHeader *h) {
  h->dense = true;
  for (int s = 0; s + 1 < h->nsegs; ++s)
    if (h->counts[s] != h->segsize) {
      h->dense = false;
      return;
    }
}

// Finds the segment and offset of `index` (0 <= index < total).
void locate(const HarHeader *h, int index, int *seg, int *off) {
  if (h->dense) {
    *seg = index / h->segsize;
    *off = index % h->segsize;
    return;
  }
  int s = 0;
  while (index >= h->counts[s]) index -= h->counts[s++];
  *seg = s;
  *off = index;
}

// Appends `n` elements from `src` (zeros when null) after the last element,
// filling the last segment first.
void append_raw(HarHeader *h, int n, const char *src) {
  std::size_t es = h->elsize;
  while (n > 0) {
    int last = h->nsegs - 1;
    if (h->counts[last] == h->segsize) {
      add_segment(h, h->nsegs);
      last = h->nsegs - 1;
    }
    int room = std::min(n, h->segsize - h->counts[last]);
    char *dst = h->data[last] + h->counts[last] * es;
    if (src) {
      std::memcpy(dst, src, room * es);
      src += room * es;
    } else {
      std::memset(dst, 0, room * es);
    }
    h->counts[last] += room;
    h->total += room;
    n -= room;
  }
}

bool fits(const HarHeader *h, std::int64_t extra) {
  return extra >= 0 && h->total + extra <= xar_max_count_get(h->elsize);
}

}  // namespace

KW_API void *har_alloc(int count, int element_size, int segment_size) {
  if (count < 0 || element_size < 1 || count > xar_max_count_get(element_size)) return nullptr;
  if (segment_size < 1) segment_size = 1;
  std::size_t first = static_cast<std::size_t>(segment_size) * element_size;
  auto *h = static_cast<HarHeader *>(getmem(sizeof(HarHeader) + first));
  *h = HarHeader{};
  h->elsize = element_size;
  h->segsize = segment_size;
  h->magic = kHarMagic;
  h->dense = true;
  h->capsegs = 8;
  h->data = static_cast<char **>(kw::runtime::sys_alloc(8 * sizeof(char *), "har"));
  h->counts = static_cast<std::int32_t *>(kw::runtime::sys_alloc(8 * sizeof(std::int32_t), "har"));
  h->data[0] = reinterpret_cast<char *>(h + 1);
  h->counts[0] = 0;
  h->nsegs = 1;
  append_raw(h, count, nullptr);
  return h + 1;
}

KW_API void *har_access(const void *har, int index, int *segment, int *index_in_segment) {
  if (!har) return nullptr;
  const HarHeader *h = hdr(har);
  if (index < 0 || index >= h->total) return nullptr;
  int s, o;
  locate(h, index, &s, &o);
  if (segment) *segment = s;
  if (index_in_segment) *index_in_segment = o;
  return h->data[s] + static_cast<std::size_t>(o) * h->elsize;
}

KW_API int har_total(const void *har) { return har ? hdr(har)->total : 0; }
KW_API int har_element_size(const void *har) { return har ? hdr(har)->elsize : 0; }
KW_API int har_segment_size(const void *har) { return har ? hdr(har)->segsize : 0; }
KW_API int har_segment_count(const void *har) { return har ? hdr(har)->nsegs : 0; }

KW_API void *har_segment(const void *har, int segment, int *count) {
  if (!har) return nullptr;
  const HarHeader *h = hdr(har);
  if (segment < 0 || segment >= h->nsegs) return nullptr;
  if (count) *count = h->counts[segment];
  return h->data[segment];
}

KW_API int har_append(void *har_address, int n, const void *source) {
  if (!har_address || !slot(har_address) || n < 0) return -1;
  HarHeader *h = hdr(slot(har_address));
  if (!fits(h, n)) return -1;
  bool was_dense = h->dense && h->counts[h->nsegs - 1] == h->segsize;
  append_raw(h, n, static_cast<const char *>(source));
  if (!h->dense || !was_dense) recompute_dense(h);
  return 0;
}

KW_API int har_append_har(void *har_address, const void *from) {
  if (!har_address || !slot(har_address)) return -1;
  if (!from) return 0;
  const HarHeader *f = hdr(from);
  HarHeader *h = hdr(slot(har_address));
  if (f->elsize != h->elsize || !fits(h, f->total)) return -1;
  if (from == slot(har_address)) {
    void *copy = har_copy(from);
    int r = har_append_har(har_address, copy);
    har_free(&copy);
    return r;
  }
  for (int s = 0; s < f->nsegs; ++s) append_raw(h, f->counts[s], f->data[s]);
  recompute_dense(h);
  return 0;
}

KW_API int har_insert(void *har_address, int index, int n, const void *source) {
  if (!har_address || !slot(har_address) || n < 0) return -1;
  HarHeader *h = hdr(slot(har_address));
  if (index < 0 || index > h->total || !fits(h, n)) return -1;
  if (n == 0) return 0;
  if (index == h->total) return har_append(har_address, n, source);
  std::size_t es = h->elsize;
  int s, o;
  locate(h, index, &s, &o);
  if (h->counts[s] + n <= h->segsize) {  // room in the segment itself
    char *at = h->data[s] + o * es;
    std::memmove(at + n * es, at, (h->counts[s] - o) * es);
    if (source)
      std::memcpy(at, source, n * es);
    else
      std::memset(at, 0, n * es);
    h->counts[s] += n;
    h->total += n;
    recompute_dense(h);
    return 0;
  }
  // Cut the segment at the insertion point, then lay the new elements and
  // the cut-off tail into it and into fresh segments that follow it.
  int tail_n = h->counts[s] - o;
  std::vector<char> tail(h->data[s] + o * es, h->data[s] + (o + tail_n) * es);
  h->counts[s] = o;
  int cur = s;
  auto put = [&](const char *src, int count) {
    while (count > 0) {
      if (h->counts[cur] == h->segsize) add_segment(h, ++cur);
      int room = std::min(count, h->segsize - h->counts[cur]);
      char *dst = h->data[cur] + h->counts[cur] * es;
      if (src) {
        std::memcpy(dst, src, room * es);
        src += room * es;
      } else {
        std::memset(dst, 0, room * es);
      }
      h->counts[cur] += room;
      count -= room;
    }
  };
  put(static_cast<const char *>(source), n);
  put(tail.data(), tail_n);
  h->total += n;
  recompute_dense(h);
  return 0;
}

KW_API int har_remove(void *har_address, int index, int n) {
  if (!har_address || !slot(har_address) || n <= 0) return 0;
  HarHeader *h = hdr(slot(har_address));
  if (index < 0) {
    n += index;
    index = 0;
  }
  if (index >= h->total || n <= 0) return 0;
  n = std::min(n, h->total - index);
  std::size_t es = h->elsize;
  int s, o;
  locate(h, index, &s, &o);
  int left = n;
  while (left > 0) {
    int take = std::min(left, h->counts[s] - o);
    char *at = h->data[s] + o * es;
    std::memmove(at, at + take * es, (h->counts[s] - o - take) * es);
    h->counts[s] -= take;
    left -= take;
    ++s;
    o = 0;
  }
  h->total -= n;
  // Drop empty segments at the end (never the first, which holds the
  // caller's address).
  while (h->nsegs > 1 && h->counts[h->nsegs - 1] == 0) {
    rlsmem(h->data[h->nsegs - 1]);
    --h->nsegs;
  }
  recompute_dense(h);
  return n;
}

KW_API void *har_copy(const void *har) {
  if (!har) return nullptr;
  const HarHeader *f = hdr(har);
  void *copy = har_alloc(0, f->elsize, f->segsize);
  har_append_har(&copy, har);
  return copy;
}

KW_API int har_resize(void *har_address, int count) {
  if (!har_address || !slot(har_address) || count < 0) return -1;
  HarHeader *h = hdr(slot(har_address));
  if (count >= h->total) return har_append(har_address, count - h->total, nullptr);
  har_remove(har_address, count, h->total - count);
  return 0;
}

KW_API void har_free(void *har_address) {
  if (!har_address || !slot(har_address)) return;
  HarHeader *h = hdr(slot(har_address));
  for (int s = 1; s < h->nsegs; ++s) rlsmem(h->data[s]);
  std::free(h->data);
  std::free(h->counts);
  h->magic = 0;
  rlsmem(h);
  slot(har_address) = nullptr;
}
