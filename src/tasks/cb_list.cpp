// Callback lists: caller-held xars of (function, datum, datum) triples,
// invoked in a fixed direction, and the process-wide post-render list.
//
// Callbacks may change the list they are called from. Every invocation in
// progress on a thread is recorded, and each insertion or removal made
// through this file adjusts the records of the lists it touches, the way a
// container fixes up its live iterators. So an invocation calls every
// triple that was on the list when it began and is still there exactly
// once, however the callbacks edit the list.
#include <cstdint>
#include <vector>

#include "keelwork/notify.h"
#include "keelwork/xar.h"

namespace {

constexpr int kListIncrement = 5;

enum class Call { Plain, One, Two };

struct Invocation {
  const vex_cb *array;  // the list's current block
  int current;          // index of the triple being called; -1 once it is gone
  int next;             // index of the next triple to call
  int end;              // forward walks: one past the last triple to call
  bool forward;
  std::uintptr_t frame;  // where the invoking frame lives on the stack
};

// The invocations in progress on this thread, outermost first. A record is
// addressed by its index, which stays valid while inner invocations come
// and go.
thread_local std::vector<Invocation> t_invocations;

vex_cb *&list_ref(void *list_address) { return *static_cast<vex_cb **>(list_address); }

bool matches(const vex_cb &t, vex_cb_func func, intptr_t a, intptr_t b) {
  return (func == VEX_CB_ANY_FUNC || t.func == func) && (a == VEX_CB_ANY || t.a == a) &&
         (b == VEX_CB_ANY || t.b == b);
}

bool same(const vex_cb &t, vex_cb_func func, intptr_t a, intptr_t b) {
  return t.func == func && t.a == a && t.b == b;
}

void note_moved(const vex_cb *from, const vex_cb *to) {
  if (from == to) return;
  for (Invocation &v : t_invocations)
    if (v.array == from) v.array = to;
}

void note_removed(const vex_cb *array, int index) {
  for (Invocation &v : t_invocations) {
    if (v.array != array) continue;
    if (index == v.current)
      v.current = -1;
    else if (index < v.current)
      --v.current;
    if (v.forward) {
      if (index < v.next) --v.next;
      if (index < v.end) --v.end;
    } else if (index <= v.next) {
      --v.next;
    }
  }
}

void remove_at(void *list_address, int index) {
  const vex_cb *before = list_ref(list_address);
  xar_remove(list_address, index, 1);
  note_removed(before, index);
  note_moved(before, list_ref(list_address));
}

int remove_matching(void *list_address, vex_cb_func func, intptr_t a, intptr_t b, bool exact) {
  if (!list_address) return 0;
  int removed = 0;
  for (int i = xar_count(list_address) - 1; i >= 0; --i) {
    const vex_cb &t = list_ref(list_address)[i];
    if (exact ? same(t, func, a, b) : matches(t, func, a, b)) {
      remove_at(list_address, i);
      ++removed;
    }
  }
  return removed;
}

int call(const vex_cb &t, Call kind, intptr_t x, intptr_t y) {
  switch (kind) {
    case Call::Plain:
      return reinterpret_cast<vex_cb_func0>(t.func)(t.a, t.b);
    case Call::One:
      return reinterpret_cast<vex_cb_func1>(t.func)(x, t.a, t.b);
    case Call::Two:
      return reinterpret_cast<vex_cb_func2>(t.func)(x, y, t.a, t.b);
  }
  return 0;
}

// A callback that left through a longjmp (a guarded call's recovery) never
// popped its record. Such records lie deeper on the stack than any frame
// that invokes a list afterwards, so they are dropped here.
void drop_abandoned(std::uintptr_t frame) {
  while (!t_invocations.empty() && t_invocations.back().frame <= frame) t_invocations.pop_back();
}

int invoke(void *list_address, Call kind, intptr_t x, intptr_t y) {
  if (!list_address || !list_ref(list_address)) return 0;
  auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  drop_abandoned(frame);

  const bool forward = kind == Call::Two;
  const int count = xar_count(list_address);
  t_invocations.push_back(
      Invocation{list_ref(list_address), -1, forward ? 0 : count - 1, count, forward, frame});
  const size_t self = t_invocations.size() - 1;

  int calls = 0;
  for (;;) {
    Invocation &v = t_invocations[self];
    // The list was freed or replaced by other means than this family's
    // functions: its records no longer describe it.
    if (list_ref(list_address) != v.array) break;
    if (forward ? v.next >= v.end : v.next < 0) break;
    v.current = v.next;
    v.next += forward ? 1 : -1;
    if (v.current >= xar_count(list_address)) break;
    const vex_cb t = list_ref(list_address)[v.current];
    if (!t.func || t.func == VEX_CB_ANY_FUNC) continue;
    int result = call(t, kind, x, y);
    ++calls;
    const Invocation &after = t_invocations[self];
    if (result != 0 && after.current >= 0 && list_ref(list_address) == after.array &&
        after.current < xar_count(list_address))
      remove_at(list_address, after.current);
  }
  t_invocations.resize(self);
  return calls;
}

vex_cb *g_post_render = nullptr;

}  // namespace

KW_API int vex_cb_list_add(void *list_address, vex_cb_func func, intptr_t a, intptr_t b) {
  if (!list_address) return 0;
  remove_matching(list_address, func, a, b, true);
  const vex_cb *before = list_ref(list_address);
  vex_cb triple{func, a, b};
  xar_alloc_or_append(list_address, 1, sizeof(vex_cb), kListIncrement, &triple);
  note_moved(before, list_ref(list_address));
  return xar_count(list_address);
}

KW_API int vex_cb_list_remove(void *list_address, vex_cb_func func, intptr_t a, intptr_t b) {
  return remove_matching(list_address, func, a, b, false);
}

KW_API int vex_cb_list_invoke(void *list_address) {
  return invoke(list_address, Call::Plain, 0, 0);
}

KW_API int vex_cb_list_invoke1(void *list_address, intptr_t x) {
  return invoke(list_address, Call::One, x, 0);
}

KW_API int vex_cb_list_invoke2(void *list_address, intptr_t x, intptr_t y) {
  return invoke(list_address, Call::Two, x, y);
}

KW_API int vex_cb_list_get(void *dest_address, const void *source, vex_cb_func func, intptr_t a,
                           intptr_t b) {
  if (!dest_address) return 0;
  // Copied first: adding to the destination may move or reorder the source
  // when both are the same list.
  std::vector<vex_cb> found;
  const auto *src = static_cast<const vex_cb *>(source);
  for (int i = xar_count(&src) - 1; i >= 0; --i)
    if (matches(src[i], func, a, b)) found.push_back(src[i]);
  for (const vex_cb &t : found) vex_cb_list_add(dest_address, t.func, t.a, t.b);
  return xar_count(dest_address);
}

KW_API int post_render_callback_add(vex_cb_func func, intptr_t a, intptr_t b) {
  return vex_cb_list_add(&g_post_render, func, a, b);
}

KW_API int post_render_callback_remove(vex_cb_func func, intptr_t a, intptr_t b) {
  return vex_cb_list_remove(&g_post_render, func, a, b);
}

KW_API int post_render_callback_invoke(intptr_t x) {
  return vex_cb_list_invoke1(&g_post_render, x);
}

KW_API int post_render_callback_get(void *dest_address, vex_cb_func func, intptr_t a, intptr_t b) {
  return vex_cb_list_get(dest_address, g_post_render, func, a, b);
}

KW_API int ret_true(void) { return 1; }

KW_API int ret_false(void) { return 0; }
