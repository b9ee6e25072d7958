// kw_HashTable: a chained hash table from key words (an integer or an
// address in an intptr_t) to values of any copyable type, btkString by
// default.
//
// The table has a fixed number of buckets chosen at construction; hash(key,
// bucket_count) picks the bucket (a result outside the table is reduced
// modulo the bucket count) and compare(a, b) == 0 says two keys are equal.
// Add keeps the first value stored for a key. Entries live until the table
// is destroyed, when `destruct` (may be null) is called with each entry's
// key and value before the value's own destructor runs.
//
// kw_AutoDestructDataHashTable is the table with 1021 buckets, the default
// hash and comparison and no destruct callback (values clean up after
// themselves through their destructors).
//
// Not thread-safe: one table, one thread at a time (or the caller's lock).
// No exception is thrown by the table itself; a throwing Value copy leaves
// the table unchanged.
#ifndef KEELWORK_HASHTABLE_HPP
#define KEELWORK_HASHTABLE_HPP

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "btk_base.hpp"
#include "kw_base.h"

KW_BEGIN_DECLS

// The default hash: the key folded to 32 bits (keys that fit in 32 bits
// are taken as they are), then mixed on unsigned 32-bit words:
// h = k * 4097; h = (h ^ (h >> 22)) * 17; h = (h ^ (h >> 9)) * 1025;
// h = (h ^ (h >> 2)) * 129; result (h ^ (h >> 12)) % bucket_count.
// 0 for a bucket count of 0.
KW_API uint32_t kw_defHashFunc(intptr_t key, uint32_t bucket_count);
// The default comparison: the sign-preserving difference a - b (0 exactly
// when the keys are equal).
KW_API int kw_defCompareFunc(intptr_t a, intptr_t b);

KW_END_DECLS

namespace kw::detail {

inline uint32_t fold_key(intptr_t key) {
  if (key == static_cast<int32_t>(key)) return static_cast<uint32_t>(key);
  uint64_t k = static_cast<uint64_t>(key);
  return static_cast<uint32_t>(k ^ (k >> 32));
}

inline uint32_t def_hash(intptr_t key, uint32_t n) {
  uint32_t h = fold_key(key) * 4097u;
  h = (h ^ (h >> 22)) * 17u;
  h = (h ^ (h >> 9)) * 1025u;
  h = (h ^ (h >> 2)) * 129u;
  return n ? (h ^ (h >> 12)) % n : 0;
}

}  // namespace kw::detail

template <class Value = btkString>
class kw_HashTable {
 public:
  typedef uint32_t (*HashFunc)(intptr_t key, uint32_t bucket_count);
  typedef int (*CompareFunc)(intptr_t a, intptr_t b);
  typedef void (*DestructFunc)(intptr_t key, Value &value);

  // A null compare or hash takes the default one; a bucket count of 0
  // becomes 1.
  kw_HashTable(CompareFunc compare, DestructFunc destruct, uint32_t bucket_count, HashFunc hash)
      : bucket_count_(bucket_count ? bucket_count : 1),
        hash_(hash ? hash : kw_defHashFunc),
        compare_(compare ? compare : kw_defCompareFunc),
        destruct_(destruct),
        default_hash_(hash_ == kw_defHashFunc),
        default_compare_(compare_ == kw_defCompareFunc) {
    buckets_ = new Entry *[bucket_count_]();
  }

  kw_HashTable(const kw_HashTable &) = delete;
  kw_HashTable &operator=(const kw_HashTable &) = delete;

  ~kw_HashTable() {
    for (uint32_t b = 0; b < bucket_count_; ++b) {
      for (Entry *e = buckets_[b]; e;) {
        Entry *next = e->next;
        if (destruct_) destruct_(e->key, e->value);
        e->~Entry();
        e = next;
      }
    }
    delete[] buckets_;
    while (chunks_) {
      Chunk *next = chunks_->next;
      ::operator delete(chunks_);
      chunks_ = next;
    }
  }

  // Adds key -> value when the key is absent: true. False when present (the
  // stored value is left unchanged).
  bool Add(intptr_t key, const Value &value) {
    Entry **link = &buckets_[bucket(key)];
    for (Entry *e = *link; e; e = e->next) {
      if (same(e->key, key)) return false;
      link = &e->next;
    }
    void *room = take_room();
    try {
      *link = new (room) Entry{nullptr, key, value};
    } catch (...) {
      give_back_room();
      throw;
    }
    ++count_;
    return true;
  }

  // True and the value copied to `value` when the key is present.
  bool Find(intptr_t key, Value &value) const {
    const Entry *e = lookup(key);
    if (!e) return false;
    value = e->value;
    return true;
  }

  bool ContainsKey(intptr_t key) const { return lookup(key) != nullptr; }

  // Number of entries and of buckets.
  uint32_t Count() const { return count_; }
  uint32_t BucketCount() const { return bucket_count_; }

 private:
  struct Entry {
    Entry *next;
    intptr_t key;
    Value value;
  };
  // Entries are carved from chunks that double in size, so that adding n
  // entries costs O(log n) allocations.
  struct Chunk {
    Chunk *next;
    std::size_t capacity;
  };
  static constexpr std::size_t kEntryStride =
      (sizeof(Entry) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
  static constexpr std::size_t kChunkHeader =
      (sizeof(Chunk) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);

  uint32_t bucket(intptr_t key) const {
    uint32_t b =
        default_hash_ ? kw::detail::def_hash(key, bucket_count_) : hash_(key, bucket_count_);
    return b < bucket_count_ ? b : b % bucket_count_;
  }
  bool same(intptr_t a, intptr_t b) const {
    return default_compare_ ? a == b : compare_(a, b) == 0;
  }
  const Entry *lookup(intptr_t key) const {
    for (const Entry *e = buckets_[bucket(key)]; e; e = e->next)
      if (same(e->key, key)) return e;
    return nullptr;
  }
  void *take_room() {
    if (!chunks_ || used_ == chunks_->capacity) {
      std::size_t capacity = chunks_ ? chunks_->capacity * 2 : 16;
      if (capacity > 65536) capacity = 65536;
      void *block = ::operator new(kChunkHeader + capacity * kEntryStride);
      Chunk *c = static_cast<Chunk *>(block);
      c->next = chunks_;
      c->capacity = capacity;
      chunks_ = c;
      used_ = 0;
    }
    return reinterpret_cast<char *>(chunks_) + kChunkHeader + used_++ * kEntryStride;
  }
  void give_back_room() { --used_; }

  uint32_t bucket_count_;
  HashFunc hash_;
  CompareFunc compare_;
  DestructFunc destruct_;
  bool default_hash_;
  bool default_compare_;
  Entry **buckets_ = nullptr;
  Chunk *chunks_ = nullptr;
  std::size_t used_ = 0;
  uint32_t count_ = 0;
};

template <class Value = btkString>
class kw_AutoDestructDataHashTable : public kw_HashTable<Value> {
 public:
  kw_AutoDestructDataHashTable()
      : kw_HashTable<Value>(kw_defCompareFunc, nullptr, 1021, kw_defHashFunc) {}
};

#endif  // KEELWORK_HASHTABLE_HPP
