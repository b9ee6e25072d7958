// Notification applications, walks, removals, callback lists, attributes and
// generic callback data.
#include <gtest/gtest.h>
#include <keelwork/debug.h>
#include <keelwork/notify.h>
#include <keelwork/runmode.h>
#include <keelwork/thread.h>
#include <keelwork/xar.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Development messages print only outside the user run mode and, for the
// assertion, in verbose mode; the assertion must not end the test.
void report_messages() {
  set_run_mode(5);
  set_verbose_mode(1);
  set_dbg_err_crash(0);
}

int f_a(int, intptr_t) { return 0; }
int f_b(int, intptr_t) { return 0; }
int f_c(int, intptr_t) { return 0; }
const vex_notify_func kFuncs[] = {reinterpret_cast<vex_notify_func>(f_a),
                                  reinterpret_cast<vex_notify_func>(f_b),
                                  reinterpret_cast<vex_notify_func>(f_c)};

std::vector<int> walk_ids(int key, int event) {
  std::vector<int> ids;
  Vex_notify_pos pos;
  vex_notifications_init_loop(key, event, &pos);
  int id;
  while (vex_notifications_get_next(key, event, &pos, nullptr, &id, nullptr)) ids.push_back(id);
  return ids;
}

std::map<intptr_t, int> g_released;
void count_release(void *datum_address) {
  auto *datum = static_cast<intptr_t *>(datum_address);
  ++g_released[*datum];
  *datum = 0;
}

TEST(Notifications, APIExamples) {
  int key = vex_notification_add_application("kwpfa");
  ASSERT_GE(key, 0);
  EXPECT_EQ(vex_notification_add_application("other"), key + 1);

  static std::vector<std::pair<int, intptr_t>> seen;
  auto on_open = [](int id, intptr_t datum) { return seen.emplace_back(id, datum), 0; };
  auto cb = reinterpret_cast<vex_notify_func>(+on_open);
  EXPECT_EQ(vex_notification_add(key, 4, cb, 10, nullptr), 0);
  EXPECT_EQ(vex_notification_add(key, 4, cb, 20, count_release), 1);
  EXPECT_EQ(vex_notification_exists(key, 4, cb), 1);
  EXPECT_EQ(vex_notification_exists(key, 3, cb), 0);  // an earlier slot, empty
  EXPECT_EQ(vex_notifications_simple_call(key, 4), 2);
  EXPECT_EQ(seen, (std::vector<std::pair<int, intptr_t>>{{0, 10}, {1, 20}}));

  EXPECT_EQ(vex_notification_remove(key, 4, cb), 1);  // the newer one
  EXPECT_EQ(g_released[20], 1);
  EXPECT_EQ(vex_notification_add(key, 4, cb, 30, nullptr), 2);  // ids keep growing
  EXPECT_EQ(vex_notification_remove_id(key, 4, 0), 1);

  Vex_notify_pos pos;
  vex_notifications_init_loop(key, 4, &pos);
  vex_notify_func f;
  int id;
  intptr_t datum;
  ASSERT_EQ(vex_notifications_get_next(key, 4, &pos, &f, &id, &datum), 1);
  EXPECT_TRUE(f == cb && id == 2 && datum == 30);
  EXPECT_EQ(vex_notifications_get_next(key, 4, &pos, &f, &id, &datum), 0);
  EXPECT_TRUE(f == nullptr && id == -1 && datum == 0 && pos.index == -1);
  EXPECT_EQ(vex_notifications_get_next(key, 99, &pos, &f, &id, &datum), 0);  // quietly
}

// Several walks over one event, with subscribers added and removed at random
// between their steps, checked against a model of the event.
TEST(Notifications, RandomizedWalksNeverRepeatOrSkip) {
  int key = vex_notification_add_application("random");
  struct Sub {
    int id;
    int func;
    intptr_t datum;
  };
  struct Walk {
    Vex_notify_pos pos;
    bool active = false;
    std::vector<int> returned;
  };
  std::mt19937 rng(20240611);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int event = round % 3;
    std::vector<Sub> model;
    g_released.clear();
    std::map<intptr_t, int> expected_release;
    int next_id = -1;

    auto add = [&] {
      int func = static_cast<int>(rng() % 3);
      intptr_t datum = 1 + static_cast<intptr_t>(rng() % 6);
      int id = vex_notification_add(key, event, kFuncs[func], datum, count_release);
      ASSERT_GT(id, next_id);
      next_id = id;
      model.push_back({id, func, datum});
    };
    for (int i = 0; i < 12; ++i) add();

    Walk walks[3];
    for (int step = 0; step < 300; ++step) {
      unsigned action = rng() % 10;
      if (action < 3) {
        add();
      } else if (action < 5 && !model.empty()) {
        // By data: the newest subscriber with the function and the datum.
        int func = static_cast<int>(rng() % 3);
        intptr_t datum = static_cast<intptr_t>(rng() % 7);  // 0 matches any
        auto it = std::find_if(model.rbegin(), model.rend(), [&](const Sub &s) {
          return s.func == func && (datum == 0 || s.datum == datum);
        });
        int removed = vex_notification_remove_by_data(key, event, kFuncs[func], datum);
        EXPECT_EQ(removed, it != model.rend() ? 1 : 0);
        if (it != model.rend()) {
          ++expected_release[it->datum];
          model.erase(std::next(it).base());
        }
      } else if (action < 6 && !model.empty()) {
        const Sub s = model[rng() % model.size()];
        EXPECT_EQ(vex_notification_remove_id(key, event, s.id), 1);
        ++expected_release[s.datum];
        model.erase(
            std::find_if(model.begin(), model.end(), [&](const Sub &m) { return m.id == s.id; }));
      } else {
        Walk &w = walks[rng() % 3];
        if (!w.active) {
          vex_notifications_init_loop(key, event, &w.pos);
          w.active = true;
          w.returned.clear();
        }
        vex_notify_func f;
        int id;
        intptr_t datum;
        if (vex_notifications_get_next(key, event, &w.pos, &f, &id, &datum)) {
          ASSERT_TRUE(w.returned.empty() || id > w.returned.back()) << "order or repeat";
          auto it =
              std::find_if(model.begin(), model.end(), [&](const Sub &s) { return s.id == id; });
          ASSERT_NE(it, model.end()) << "returned a removed subscriber " << id;
          EXPECT_EQ(f, kFuncs[it->func]);
          EXPECT_EQ(datum, it->datum);
          w.returned.push_back(id);
        } else {
          // Whatever is there now either existed when the walk began or was
          // added since with a higher id: the walk must have returned it.
          for (const Sub &s : model) {
            EXPECT_TRUE(std::binary_search(w.returned.begin(), w.returned.end(), s.id))
                << "skipped subscriber " << s.id;
          }
          w.active = false;
        }
      }
    }
    std::vector<int> ids;
    for (const Sub &s : model) ids.push_back(s.id);
    EXPECT_EQ(walk_ids(key, event), ids);
    for (auto [datum, n] : expected_release) EXPECT_EQ(g_released[datum], n) << datum;
    for (const Sub &s : model) vex_notification_remove_id(key, event, s.id);
  }
}

struct MessageCase {
  const char *name;
  std::function<int()> action;
  int result;
  const char *output;
};

TEST(Notifications, FailureMessages) {
  int key = vex_notification_add_application("dup");
  vex_notification_add(key, 1, kFuncs[0], 5, nullptr);
  const MessageCase cases[] = {
      {"null name", [] { return vex_notification_add_application(nullptr); }, -1,
       "vex_notification_add_application:  invalid app_name (INFO MESSAGE)\n"},
      {"duplicate name", [] { return vex_notification_add_application("dup"); }, -1,
       "vex_notification_add_application:  attempted to duplicate application name dup!\n"},
      {"null function on add", [&] { return vex_notification_add(key, 0, nullptr, 0, nullptr); },
       -1, "vex_notification_add:  invalid NULL function\n"},
      {"bad key on add", [] { return vex_notification_add(700, 0, kFuncs[0], 0, nullptr); }, -1,
       "vex_notification_add:  invalid application key 700\n"},
      {"negative event on add",
       [&] { return vex_notification_add(key, -2, kFuncs[0], 0, nullptr); }, -1,
       "vex_notification_add:  invalid event id -2\n"},
      {"init without position", [&] { return vex_notifications_init_loop(key, 1, nullptr), 0; }, 0,
       "vex_notifications_init_loop:  missing Vex_notify_pos\n"},
      {"step without position",
       [&] { return vex_notifications_get_next(key, 1, nullptr, nullptr, nullptr, nullptr); }, 0,
       "vex_notifications_get_next:  missing Vex_notify_pos\n"},
      {"null function on remove", [&] { return vex_notification_remove(key, 1, nullptr); }, 0,
       "vex_notification_remove:  invalid NULL function\n"},
      {"bad key on exists", [] { return vex_notification_exists(-1, 1, kFuncs[0]); }, 0,
       "vex_notification_remove:  invalid application key -1\n"},
      {"bad key on remove by id", [] { return vex_notification_remove_id(300, 1, 0); }, 0,
       "vex_notification_remove:  invalid application key 300\n"},
      {"event never defined", [&] { return vex_notification_remove(key, 2, kFuncs[0]); }, 0,
       "vex_notification_remove:  event_id 2 was never defined? (INFO MESSAGE)\n"},
      {"nothing matched", [&] { return vex_notification_remove_by_data(key, 1, kFuncs[0], 6); }, 0,
       "vex_notification_remove:  failed to find func to remove (INFO MESSAGE)\n"},
      {"id not found", [&] { return vex_notification_remove_id(key, 1, 3); }, 0,
       "vex_notification_remove_id:  notify id 3 not found (INFO MESSAGE)\n"},
      {"gencb count", [] { return get_from_gencb_data(nullptr, 20); }, 0,
       "get_from_gencb_data:  bad number of args\n"},
  };
  report_messages();
  for (const MessageCase &c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStdout();
    int result = c.action();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.output);
  }
  // The failed removals still count as changes, and the subscriber is there.
  EXPECT_EQ(walk_ids(key, 1), std::vector<int>{0});
}

TEST(Notifications, ApplicationsRegisteredFromParallelThreads) {
  thrThread_SetInMTSection(1);
  std::vector<int> keys(8, -2);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, &keys] {
      keys[static_cast<size_t>(t)] =
          vex_notification_add_application(("thread " + std::to_string(t)).c_str());
    });
  for (auto &th : threads) th.join();
  thrThread_SetInMTSection(0);
  std::sort(keys.begin(), keys.end());
  ASSERT_GE(keys[0], 0);
  for (int t = 1; t < 8; ++t) EXPECT_EQ(keys[static_cast<size_t>(t)], keys[0] + t);
}

// ---- callback lists ----------------------------------------------------------

// Triples are told apart by their first datum; the second is a letter that
// selects what the callback does: s stays, d returns non-zero, r removes
// itself, R removes itself and returns non-zero, n removes both neighbours,
// a adds triple 9, m adds itself again (moving to the end).
std::vector<intptr_t> g_calls;
vex_cb *g_list = nullptr;
vex_cb_func g_func;  // the callback of the invocation under test

int act(intptr_t a, intptr_t b) {
  g_calls.push_back(a);
  if (b == 'r' || b == 'R') vex_cb_list_remove(&g_list, VEX_CB_ANY_FUNC, a, VEX_CB_ANY);
  if (b == 'n') {
    vex_cb_list_remove(&g_list, VEX_CB_ANY_FUNC, a + 1, VEX_CB_ANY);
    vex_cb_list_remove(&g_list, VEX_CB_ANY_FUNC, a - 1, VEX_CB_ANY);
  }
  if (b == 'a') vex_cb_list_add(&g_list, g_func, 9, 's');
  if (b == 'm') vex_cb_list_add(&g_list, g_func, a, b);
  return b == 'd' || b == 'R';
}
int act1(intptr_t x, intptr_t a, intptr_t b) { return x == 77 ? act(a, b) : 0; }
int act2(intptr_t x, intptr_t y, intptr_t a, intptr_t b) {
  return x == 77 && y == 88 ? act(a, b) : 0;
}

std::vector<intptr_t> firsts(const vex_cb *list) {
  std::vector<intptr_t> out;
  for (int i = 0; i < xar_count(&list); ++i) out.push_back(list[i].a);
  return out;
}

TEST(CallbackLists, APIExamples) {
  vex_cb *list = nullptr;
  auto f = reinterpret_cast<vex_cb_func>(act);
  EXPECT_EQ(vex_cb_list_add(&list, f, 1, 's'), 1);
  EXPECT_EQ(xar_capacity(list), 1);
  vex_cb_list_add(&list, f, 2, 's');
  vex_cb_list_add(&list, f, 3, 's');
  EXPECT_EQ(vex_cb_list_add(&list, f, 1, 's'), 3);  // moved to the end
  EXPECT_EQ(firsts(list), (std::vector<intptr_t>{2, 3, 1}));

  vex_cb *copy = nullptr;
  EXPECT_EQ(vex_cb_list_get(&copy, list, VEX_CB_ANY_FUNC, VEX_CB_ANY, 's'), 3);
  EXPECT_EQ(firsts(copy), (std::vector<intptr_t>{1, 3, 2}));     // taken last to first
  EXPECT_EQ(vex_cb_list_get(&copy, copy, f, 3, VEX_CB_ANY), 3);  // from itself
  EXPECT_EQ(firsts(copy), (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_EQ(vex_cb_list_remove(&copy, VEX_CB_ANY_FUNC, VEX_CB_ANY, 's'), 3);
  xar_free(&list);
  xar_free(&copy);

  post_render_callback_add(reinterpret_cast<vex_cb_func>(act1), 5, 'd');
  post_render_callback_add(reinterpret_cast<vex_cb_func>(act1), 6, 's');
  EXPECT_EQ(post_render_callback_invoke(77), 2);
  EXPECT_EQ(g_calls, (std::vector<intptr_t>{6, 5}));
  EXPECT_EQ(post_render_callback_remove(VEX_CB_ANY_FUNC, 6, VEX_CB_ANY), 1);

  vex_cb_list_add(&list, reinterpret_cast<vex_cb_func>(ret_true), 0, 0);
  vex_cb_list_add(&list, reinterpret_cast<vex_cb_func>(ret_false), 0, 0);
  vex_cb_list_invoke(&list);
  ASSERT_EQ(xar_count(&list), 1);
  EXPECT_EQ(list[0].func, reinterpret_cast<vex_cb_func>(ret_false));
  xar_free(&list);
}

// Each row: the behaviours of triples 1, 2, ..., then the calls and the
// triples left after a backward and after a forward invocation.
struct InvokeCase {
  const char *behaviours, *backward_calls, *backward_left, *forward_calls, *forward_left;
};

TEST(CallbackLists, CallbacksEditingTheListDuringAllThreeInvocations) {
  const InvokeCase cases[] = {
      {"sds", "321", "13", "123", "13"},   {"ddd", "321", "", "123", ""},
      {"rsr", "321", "2", "123", "2"},     {"sRss", "4321", "134", "1234", "134"},
      {"snss", "432", "24", "124", "24"},  {"sas", "321", "1239", "123", "1239"},
      {"msm", "321", "231", "123", "213"},
  };
  using Invoke = int (*)();
  const Invoke invokes[] = {
      [] { return vex_cb_list_invoke(&g_list); },
      [] { return vex_cb_list_invoke1(&g_list, 77); },
      [] { return vex_cb_list_invoke2(&g_list, 77, 88); },
  };
  const vex_cb_func funcs[] = {reinterpret_cast<vex_cb_func>(act),
                               reinterpret_cast<vex_cb_func>(act1),
                               reinterpret_cast<vex_cb_func>(act2)};
  auto labels = [](const char *digits) {
    std::vector<intptr_t> out;
    for (const char *d = digits; *d; ++d) out.push_back(*d - '0');
    return out;
  };
  for (const InvokeCase &c : cases) {
    for (int kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(std::string(c.behaviours) + ", invoke" + (kind ? std::to_string(kind) : ""));
      g_func = funcs[kind];
      for (intptr_t i = 0; c.behaviours[i]; ++i)
        vex_cb_list_add(&g_list, g_func, i + 1, c.behaviours[i]);
      g_calls.clear();
      int calls = invokes[kind]();
      const bool forward = kind == 2;
      EXPECT_EQ(g_calls, labels(forward ? c.forward_calls : c.backward_calls));
      EXPECT_EQ(calls, static_cast<int>(g_calls.size()));
      EXPECT_EQ(firsts(g_list), labels(forward ? c.forward_left : c.backward_left));
      xar_free(&g_list);
    }
  }
}

// ---- attributes and gencb ------------------------------------------------------

TEST(Attributes, SetClearTestFlip) {
  struct Case {
    uint32_t flags;
    int n;
    uint32_t put, cleared, flip_result, flipped;
  } cases[] = {
      {0, 1, 0x1, 0x0, 0x1, 0x1},  // attribute 1 is bit 0
      {0x1, 32, 0x80000001u, 0x1, 0x80000000u, 0x80000001u},
      {0x6, 2, 0x6, 0x4, 0x4, 0x4},  // cleared by the flip: the rest
      {0x5, 0, 0x5, 0x5, 0x5, 0x5},  // 0 and 33 name no attribute
      {0x5, 33, 0x5, 0x5, 0x5, 0x5},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.n);
    uint32_t f = c.flags, g = c.flags, h = c.flags;
    EXPECT_EQ(put_attribute(&f, c.n), c.put);
    EXPECT_EQ(is_attribute(f, c.n), c.n >= 1 && c.n <= 32);
    EXPECT_EQ(clear_attribute(&g, c.n), c.cleared);
    EXPECT_EQ(flip_attribute(&h, c.n), c.flip_result);
    EXPECT_EQ(h, c.flipped);
  }
  for (auto [n, kept] : std::vector<std::pair<int, uint32_t>>{
           {0, 0}, {-3, 0}, {4, 0xF}, {31, 0x7FFFFFFF}, {32, 0xFFFFFFFF}, {40, 0xFFFFFFFF}}) {
    SCOPED_TRACE("clear_attributes_after " + std::to_string(n));
    uint32_t f = 0xFFFFFFFF;
    EXPECT_EQ(clear_attributes_after(&f, n), kept);
  }
}

TEST(GenericCallbackData, StoresAndFetchesSlots) {
  intptr_t block[VEX_GENCB_SLOTS];
  std::fill(std::begin(block), std::end(block), -1);
  int x = 0;
  EXPECT_EQ(set_to_gencb_data(block, 2, intptr_t{-9}, reinterpret_cast<intptr_t>(&x)), 2);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(block[VEX_GENCB_SLOTS - 1], 0);
  intptr_t a = 0;
  int *p = nullptr;
  EXPECT_EQ(get_from_gencb_data(block, 2, &a, reinterpret_cast<intptr_t *>(&p)), 2);
  EXPECT_EQ(a, -9);
  EXPECT_EQ(p, &x);
  // Refused counts copy nothing.
  block[0] = 5;
  EXPECT_EQ(set_to_gencb_data(block, VEX_GENCB_SLOTS, intptr_t{1}), 0);
  EXPECT_EQ(block[0], 5);
  EXPECT_EQ(set_to_gencb_data(nullptr, 1, intptr_t{1}), 0);
}

}  // namespace
