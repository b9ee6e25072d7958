// Base classes of the runtime: strings, arrays, sorted arrays, maps, lists
// and the reference-counted object.
//
// The containers keep the orders later families rely on: btkXArray keeps
// insertion order; btkSortedXArray and btkMap keep their entries sorted by a
// three-way comparison of element (or key) addresses, a new entry going
// after every entry that compares equal to it, and Lookup finds an entry
// that compares equal. btkList is a doubly linked list.
//
// The untyped storage classes (btkXArrayImpl for trivially copyable
// elements, btkClassXArrayImpl for objects, btkListImpl for lists) sit on
// the runtime's xar arrays and getmem blocks. None of these classes takes a
// lock: one container, one thread at a time. btkObject's reference count is
// atomic.
#ifndef KEELWORK_BTK_BASE_HPP
#define KEELWORK_BTK_BASE_HPP

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <iosfwd>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "btk_format.h"
#include "btk_unicode.h"
#include "kw_base.h"
#include "memory.h"
#include "xar.h"

// ---- btkObject ------------------------------------------------------------------

// A reference-counted object: created with one reference, destroyed when
// Release drops the last.
class KW_API btkObject {
 public:
  btkObject() = default;
  virtual ~btkObject();
  // Adds a reference; returns the new count.
  int AddRef() const;
  // Drops a reference, destroying the object at zero; returns the new count.
  int Release() const;
  int RefCount() const { return refs_.load(std::memory_order_acquire); }
  // A new object equal to this one (with one reference), or null when the
  // class cannot be copied.
  virtual btkObject *Clone() const;
  // Writes the object's state to `out`; returns 0, or -1 when the class has
  // nothing to write.
  virtual int SerializeTo(std::ostream &out) const;

 protected:
  btkObject(const btkObject &) {}
  btkObject &operator=(const btkObject &) { return *this; }

 private:
  mutable std::atomic<int> refs_{1};
};

// ---- strings ----------------------------------------------------------------------

// A narrow string value (UTF-8 in Unicode mode).
class btkZString {
 public:
  btkZString() = default;
  btkZString(const char *s) : s_(s ? s : "") {}  // NOLINT: implicit by design
  btkZString(const char *s, std::size_t n) : s_(s ? std::string(s, n) : std::string()) {}
  btkZString(std::string s) : s_(std::move(s)) {}  // NOLINT

  const char *c_str() const { return s_.c_str(); }
  const char *GetString() const { return s_.c_str(); }
  const std::string &str() const { return s_; }
  int Length() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  char operator[](int i) const { return s_[static_cast<std::size_t>(i)]; }

  btkZString &operator=(const char *s) {
    s_ = s ? s : "";
    return *this;
  }
  btkZString &operator+=(const btkZString &o) {
    s_ += o.s_;
    return *this;
  }
  btkZString &operator+=(const char *s) {
    if (s) s_ += s;
    return *this;
  }
  btkZString &operator+=(char c) {
    s_ += c;
    return *this;
  }
  friend btkZString operator+(btkZString a, const btkZString &b) { return a += b; }

  // Three-way comparisons: bytewise, and ignoring ASCII case.
  int Compare(const btkZString &o) const { return s_.compare(o.s_) < 0 ? -1 : s_ == o.s_ ? 0 : 1; }
  int CompareNoCase(const btkZString &o) const { return btk_strcasecmp(s_.c_str(), o.s_.c_str()); }
  friend bool operator==(const btkZString &a, const btkZString &b) { return a.s_ == b.s_; }
  friend bool operator!=(const btkZString &a, const btkZString &b) { return a.s_ != b.s_; }
  friend bool operator<(const btkZString &a, const btkZString &b) { return a.s_ < b.s_; }

  // Replaces the value by formatted text (the runtime formatter's directives).
  btkZString &Format(const char *format, ...) {
    va_list args, copy;
    va_start(args, format);
    va_copy(copy, args);
    int n = btk_vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    s_.assign(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) btk_vsnprintf(s_.data(), s_.size() + 1, format, args);
    va_end(args);
    return *this;
  }

  // Splits at any of the `delimiters`, dropping empty words; calls
  // `add(word)` for each word in order.
  template <class Add>
  void SplitWords(const char *delimiters, Add add) const {
    std::string_view d = delimiters ? delimiters : " \t";
    std::size_t pos = 0;
    while (pos < s_.size()) {
      std::size_t start = s_.find_first_not_of(d, pos);
      if (start == std::string::npos) break;
      std::size_t end = s_.find_first_of(d, start);
      if (end == std::string::npos) end = s_.size();
      add(btkZString(s_.substr(start, end - start)));
      pos = end;
    }
  }

 private:
  std::string s_;
};

// A string key of the runtime's string maps.
class btkString : public btkZString {
 public:
  using btkZString::btkZString;
  btkString() = default;
  btkString(const btkZString &z) : btkZString(z) {}  // NOLINT
};

// The comparison of btkString keys: bytewise, three-way.
inline int Cmp_btkStrings(const void *a, const void *b) {
  return static_cast<const btkString *>(a)->Compare(*static_cast<const btkString *>(b));
}

// A wide string value (UTF-16).
class btkWZString {
 public:
  btkWZString() = default;
  btkWZString(const kw_wchar *s) : s_(s ? s : u"") {}  // NOLINT
  btkWZString(std::u16string s) : s_(std::move(s)) {}  // NOLINT
  // From UTF-8; invalid input gives an empty string.
  static btkWZString FromUtf8(const char *s) {
    btkWZString w;
    if (kw_wchar *wide = btkStrUtf8ToUtf16Alloc(s, -1, nullptr)) {
      w.s_ = wide;
      rlsmem(wide);
    }
    return w;
  }
  // As UTF-8; an unpaired surrogate gives an empty string.
  std::string ToUtf8() const {
    std::string out;
    if (char *narrow =
            btkStrUtf16ToUtf8Alloc(s_.c_str(), static_cast<int32_t>(s_.size()), nullptr)) {
      out = narrow;
      rlsmem(narrow);
    }
    return out;
  }

  const kw_wchar *c_str() const { return s_.c_str(); }
  const std::u16string &str() const { return s_; }
  int Length() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  kw_wchar operator[](int i) const { return s_[static_cast<std::size_t>(i)]; }
  btkWZString &operator+=(const btkWZString &o) {
    s_ += o.s_;
    return *this;
  }
  btkWZString &operator+=(kw_wchar c) {
    s_ += c;
    return *this;
  }
  friend btkWZString operator+(btkWZString a, const btkWZString &b) { return a += b; }
  int Compare(const btkWZString &o) const { return s_.compare(o.s_) < 0 ? -1 : s_ == o.s_ ? 0 : 1; }
  friend bool operator==(const btkWZString &a, const btkWZString &b) { return a.s_ == b.s_; }
  friend bool operator<(const btkWZString &a, const btkWZString &b) { return a.s_ < b.s_; }

  // Splits at any of the `delimiters`, dropping empty words.
  template <class Add>
  void SplitWords(const kw_wchar *delimiters, Add add) const {
    std::u16string_view d = delimiters ? delimiters : u" \t";
    std::size_t pos = 0;
    while (pos < s_.size()) {
      std::size_t start = s_.find_first_not_of(d, pos);
      if (start == std::u16string::npos) break;
      std::size_t end = s_.find_first_of(d, start);
      if (end == std::u16string::npos) end = s_.size();
      add(btkWZString(s_.substr(start, end - start)));
      pos = end;
    }
  }

 private:
  std::u16string s_;
};

// ---- untyped storage ------------------------------------------------------------------

// Storage of trivially copyable elements in one xar.
class btkXArrayImpl {
 public:
  explicit btkXArrayImpl(int element_size, int increment = 8)
      : elsize_(element_size), increment_(increment) {}
  btkXArrayImpl(const btkXArrayImpl &o) : elsize_(o.elsize_), increment_(o.increment_) {
    data_ = xar_replicate(o.data_);
  }
  btkXArrayImpl &operator=(const btkXArrayImpl &o) {
    if (this != &o) {
      xar_cpy(&data_, o.data_);
      elsize_ = o.elsize_;
      increment_ = o.increment_;
    }
    return *this;
  }
  ~btkXArrayImpl() { xar_free(&data_); }

  int GetSize() const { return xar_count(&data_); }
  void *GetAt(int i) const {
    return static_cast<char *>(data_) + static_cast<std::size_t>(i) * elsize_;
  }
  void *Data() const { return data_; }
  // Inserts `n` elements (zeros when `src` is null) before `i`; the address
  // of the first, null when refused.
  void *InsertAt(int i, const void *src, int n = 1) {
    if (!data_) data_ = xar_alloc(0, elsize_, increment_);
    if (xar_insert(&data_, i, n, src) != 0) return nullptr;
    return GetAt(i);
  }
  void *Append(const void *src, int n = 1) { return InsertAt(GetSize(), src, n); }
  void RemoveAt(int i, int n = 1) { xar_remove(&data_, i, n); }
  bool SetSize(int n) {
    return data_ ? xar_resize(&data_, n) == 0 : (InsertAt(0, nullptr, n) || n == 0);
  }
  void RemoveAll() { xar_free(&data_); }

 private:
  void *data_ = nullptr;
  int elsize_;
  int increment_;
};

// Storage of objects, each in its own block, so that they never move.
class btkClassXArrayImpl {
 public:
  using Destroy = void (*)(void *object);
  explicit btkClassXArrayImpl(Destroy destroy) : impl_(sizeof(void *)), destroy_(destroy) {}
  btkClassXArrayImpl(const btkClassXArrayImpl &) = delete;
  btkClassXArrayImpl &operator=(const btkClassXArrayImpl &) = delete;
  ~btkClassXArrayImpl() { RemoveAll(); }

  int GetSize() const { return impl_.GetSize(); }
  void *GetAt(int i) const { return *static_cast<void **>(impl_.GetAt(i)); }
  // Takes ownership of `object` (a getmem block holding a constructed object).
  void InsertAt(int i, void *object) { impl_.InsertAt(i, &object); }
  void RemoveAt(int i, int n = 1) {
    for (int k = i; k < i + n && k < GetSize(); ++k) destroy_(GetAt(k));
    impl_.RemoveAt(i, n);
  }
  void RemoveAll() { RemoveAt(0, GetSize()); }

 private:
  btkXArrayImpl impl_;
  Destroy destroy_;
};

// A doubly linked list of untyped values (one getmem block per node).
class btkListImpl {
 public:
  struct Node {
    Node *prev;
    Node *next;
  };
  using Destroy = void (*)(Node *node);
  explicit btkListImpl(Destroy destroy) : destroy_(destroy) {}
  btkListImpl(const btkListImpl &) = delete;
  btkListImpl &operator=(const btkListImpl &) = delete;
  ~btkListImpl() { RemoveAll(); }

  int GetCount() const { return count_; }
  Node *Head() const { return head_; }
  Node *Tail() const { return tail_; }
  // Links `node` in before `before` (null: at the tail).
  void Link(Node *node, Node *before) {
    node->next = before;
    node->prev = before ? before->prev : tail_;
    (node->prev ? node->prev->next : head_) = node;
    (before ? before->prev : tail_) = node;
    ++count_;
  }
  void Unlink(Node *node) {
    (node->prev ? node->prev->next : head_) = node->next;
    (node->next ? node->next->prev : tail_) = node->prev;
    --count_;
  }
  void Remove(Node *node) {
    Unlink(node);
    destroy_(node);
  }
  void RemoveAll() {
    while (head_) Remove(head_);
  }

 private:
  Node *head_ = nullptr;
  Node *tail_ = nullptr;
  int count_ = 0;
  Destroy destroy_;
};

// ---- typed containers ----------------------------------------------------------------------

// A growable array. Trivially copyable elements live in one block; other
// elements each in a block of their own (their addresses never change).
template <class T>
class btkXArray {
  static constexpr bool kPlain = std::is_trivially_copyable_v<T>;

 public:
  btkXArray() = default;
  btkXArray(const btkXArray &o) {
    for (int i = 0; i < o.GetSize(); ++i) Append(o[i]);
  }
  btkXArray &operator=(const btkXArray &o) {
    if (this != &o) {
      RemoveAll();
      for (int i = 0; i < o.GetSize(); ++i) Append(o[i]);
    }
    return *this;
  }

  int GetSize() const { return kPlain ? plain_.GetSize() : objects_.GetSize(); }
  int Size() const { return GetSize(); }
  bool IsEmpty() const { return GetSize() == 0; }
  T &operator[](int i) const { return *At(i); }
  T &GetAt(int i) const { return *At(i); }
  void SetAt(int i, const T &v) { *At(i) = v; }
  // Appends a copy; returns its index.
  int Append(const T &v) {
    InsertAt(GetSize(), v);
    return GetSize() - 1;
  }
  void InsertAt(int i, const T &v) {
    if constexpr (kPlain) {
      plain_.InsertAt(i, &v);
    } else {
      void *block = getmem(sizeof(T));
      new (block) T(v);
      objects_.InsertAt(i, block);
    }
  }
  void RemoveAt(int i, int n = 1) {
    if constexpr (kPlain)
      plain_.RemoveAt(i, n);
    else
      objects_.RemoveAt(i, n);
  }
  void RemoveAll() { RemoveAt(0, GetSize()); }
  // Index of the first element equal to `v`, or -1.
  int Find(const T &v) const {
    for (int i = 0; i < GetSize(); ++i)
      if ((*this)[i] == v) return i;
    return -1;
  }

  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T *;
    using reference = T &;
    Iterator() = default;
    Iterator(const btkXArray *a, int i) : a_(a), i_(i) {}
    T &operator*() const { return (*a_)[i_]; }
    T *operator->() const { return &(*a_)[i_]; }
    Iterator &operator++() {
      ++i_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++i_;
      return old;
    }
    bool operator!=(const Iterator &o) const { return i_ != o.i_; }
    bool operator==(const Iterator &o) const { return i_ == o.i_; }

   private:
    const btkXArray *a_ = nullptr;
    int i_ = 0;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, GetSize()); }

 private:
  static void DestroyObject(void *p) {
    static_cast<T *>(p)->~T();
    rlsmem(p);
  }
  T *At(int i) const {
    if constexpr (kPlain)
      return static_cast<T *>(plain_.GetAt(i));
    else
      return static_cast<T *>(objects_.GetAt(i));
  }

  btkXArrayImpl plain_{static_cast<int>(sizeof(T))};
  btkClassXArrayImpl objects_{DestroyObject};
};

// The default three-way comparison of two element addresses, by operator<.
template <class T>
int btkDefaultCompare(const void *a, const void *b) {
  const T &x = *static_cast<const T *>(a);
  const T &y = *static_cast<const T *>(b);
  return x < y ? -1 : y < x ? 1 : 0;
}

// An array kept sorted by a comparison of element addresses.
template <class T>
class btkSortedXArray {
 public:
  using Compare = int (*)(const void *a, const void *b);
  explicit btkSortedXArray(Compare compare = btkDefaultCompare<T>) : compare_(compare) {}

  int GetSize() const { return items_.GetSize(); }
  const T &operator[](int i) const { return items_[i]; }
  T &GetAt(int i) const { return items_[i]; }
  // Inserts after every element that compares equal; returns the index.
  int Insert(const T &v) {
    int at = UpperBound(&v);
    items_.InsertAt(at, v);
    return at;
  }
  // Index of an element equal to `key` (as the comparison says), or -1.
  int Find(const T &key) const {
    int lo = 0, hi = GetSize() - 1;
    while (lo <= hi) {
      int mid = lo + (hi - lo) / 2;
      int r = compare_(&key, &items_[mid]);
      if (r == 0) return mid;
      if (r > 0)
        lo = mid + 1;
      else
        hi = mid - 1;
    }
    return -1;
  }
  void RemoveAt(int i, int n = 1) { items_.RemoveAt(i, n); }
  void RemoveAll() { items_.RemoveAll(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  int UpperBound(const T *key) const {
    int lo = 0, hi = GetSize();
    while (lo < hi) {
      int mid = lo + (hi - lo) / 2;
      if (compare_(key, &items_[mid]) >= 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }

  btkXArray<T> items_;
  Compare compare_;
};

// A map kept sorted by a comparison of key addresses. Add places a new
// entry after every entry whose key compares equal; SetAt replaces the value
// of an equal key or adds; Lookup finds an entry whose key compares equal.
template <class K, class V>
class btkMap {
 public:
  using Compare = int (*)(const void *key_a, const void *key_b);
  explicit btkMap(Compare compare = btkDefaultCompare<K>) : compare_(compare) {}

  int GetCount() const { return entries_.GetSize(); }
  int GetSize() const { return entries_.GetSize(); }
  bool IsEmpty() const { return GetCount() == 0; }
  const K &GetKeyAt(int i) const { return entries_[i].first; }
  V &GetValueAt(int i) const { return entries_[i].second; }
  V &GetAt(int i) const { return entries_[i].second; }

  // Index of an entry with an equal key, or -1.
  int Find(const K &key) const {
    int lo = 0, hi = GetCount() - 1;
    while (lo <= hi) {
      int mid = lo + (hi - lo) / 2;
      int r = compare_(&key, &entries_[mid].first);
      if (r == 0) return mid;
      if (r > 0)
        lo = mid + 1;
      else
        hi = mid - 1;
    }
    return -1;
  }
  bool Lookup(const K &key, V &value) const {
    int i = Find(key);
    if (i < 0) return false;
    value = entries_[i].second;
    return true;
  }
  V *Lookup(const K &key) const {
    int i = Find(key);
    return i < 0 ? nullptr : &entries_[i].second;
  }
  // Adds an entry after the equal ones; returns its index.
  int Add(const K &key, const V &value) {
    int lo = 0, hi = GetCount();
    while (lo < hi) {
      int mid = lo + (hi - lo) / 2;
      if (compare_(&key, &entries_[mid].first) >= 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    entries_.InsertAt(lo, std::pair<K, V>(key, value));
    return lo;
  }
  // Replaces the value of an equal key, or adds; returns the index.
  int SetAt(const K &key, const V &value) {
    int i = Find(key);
    if (i >= 0) {
      entries_[i].second = value;
      return i;
    }
    return Add(key, value);
  }
  V &operator[](const K &key) {
    int i = Find(key);
    if (i < 0) i = Add(key, V());
    return entries_[i].second;
  }
  bool RemoveKey(const K &key) {
    int i = Find(key);
    if (i < 0) return false;
    entries_.RemoveAt(i);
    return true;
  }
  void RemoveAt(int i) { entries_.RemoveAt(i); }
  void RemoveAll() { entries_.RemoveAll(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  btkXArray<std::pair<K, V>> entries_;
  Compare compare_;
};

// A map with btkString keys compared by Cmp_btkStrings.
template <class V>
class btkStringMap : public btkMap<btkString, V> {
 public:
  btkStringMap() : btkMap<btkString, V>(Cmp_btkStrings) {}
};

// A doubly linked list of values.
template <class T>
class btkList {
  struct Node : btkListImpl::Node {
    T value;
    explicit Node(const T &v) : btkListImpl::Node{nullptr, nullptr}, value(v) {}
  };

 public:
  // A position in the list (null: none).
  using Position = btkListImpl::Node *;

  btkList() = default;
  btkList(const btkList &o) {
    for (Position p = o.GetHeadPosition(); p; p = o.Next(p)) AddTail(o.GetAt(p));
  }
  btkList &operator=(const btkList &o) {
    if (this != &o) {
      RemoveAll();
      for (Position p = o.GetHeadPosition(); p; p = o.Next(p)) AddTail(o.GetAt(p));
    }
    return *this;
  }

  int GetCount() const { return impl_.GetCount(); }
  bool IsEmpty() const { return GetCount() == 0; }
  Position AddHead(const T &v) { return Insert(impl_.Head(), v); }
  Position AddTail(const T &v) { return Insert(nullptr, v); }
  // Inserts before `pos` (null: at the tail).
  Position InsertBefore(Position pos, const T &v) { return Insert(pos, v); }
  T &GetHead() const { return GetAt(impl_.Head()); }
  T &GetTail() const { return GetAt(impl_.Tail()); }
  T RemoveHead() {
    T v = GetHead();
    impl_.Remove(impl_.Head());
    return v;
  }
  T RemoveTail() {
    T v = GetTail();
    impl_.Remove(impl_.Tail());
    return v;
  }
  void RemoveAt(Position pos) { impl_.Remove(pos); }
  void RemoveAll() { impl_.RemoveAll(); }
  Position GetHeadPosition() const { return impl_.Head(); }
  Position GetTailPosition() const { return impl_.Tail(); }
  Position Next(Position pos) const { return pos->next; }
  Position Prev(Position pos) const { return pos->prev; }
  T &GetAt(Position pos) const { return static_cast<Node *>(pos)->value; }
  // The first position holding a value equal to `v`, or null.
  Position Find(const T &v) const {
    for (Position p = impl_.Head(); p; p = p->next)
      if (GetAt(p) == v) return p;
    return nullptr;
  }

 private:
  static void DestroyNode(btkListImpl::Node *n) {
    static_cast<Node *>(n)->~Node();
    rlsmem(n);
  }
  Position Insert(Position before, const T &v) {
    auto *n = new (getmem(sizeof(Node))) Node(v);
    impl_.Link(n, before);
    return n;
  }

  btkListImpl impl_{DestroyNode};
};

// ---- btkTime ----------------------------------------------------------------------------

// A point in wall-clock time with microsecond resolution.
class btkTime {
 public:
  btkTime() = default;
  explicit btkTime(int64_t microseconds) : us_(microseconds) {}
  static btkTime Now() {
    using namespace std::chrono;
    return btkTime(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
  }
  int64_t Microseconds() const { return us_; }
  int64_t Seconds() const { return us_ / 1000000; }
  // Elapsed microseconds from `earlier` to this time.
  int64_t Since(const btkTime &earlier) const { return us_ - earlier.us_; }
  friend bool operator<(const btkTime &a, const btkTime &b) { return a.us_ < b.us_; }
  friend bool operator==(const btkTime &a, const btkTime &b) { return a.us_ == b.us_; }

 private:
  int64_t us_ = 0;
};

#endif  // KEELWORK_BTK_BASE_HPP
