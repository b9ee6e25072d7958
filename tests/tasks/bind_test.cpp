// The binding table, the interest registry, Subject and the runtime data
// store.
#include <gtest/gtest.h>
#include <keelwork/bind.h>
#include <keelwork/debug.h>
#include <keelwork/runmode.h>
#include <keelwork/subject.hpp>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

int seven(int x) { return 7 + x; }
int eight(int x) { return 8 + x; }
vex_func as_func(int (*f)(int)) { return reinterpret_cast<vex_func>(f); }
int call_int(vex_func f, int x) { return reinterpret_cast<int (*)(int)>(f)(x); }

// Nothing releases a binding table: the tests keep theirs reachable.
vex_func_table *&kept_table() {
  static vex_func_table *tables[16];
  static int used;
  return tables[used++];
}

std::string captured(void (*action)()) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

TEST(Binding, APIExamples) {
  EXPECT_EQ(vex_call("Nobody.Bound.This"), vex_call_get_default());
  EXPECT_EQ(reinterpret_cast<intptr_t (*)(int, void *)>(vex_call("x"))(3, nullptr), 0);

  EXPECT_EQ(vex_bind("get_cur_frnpgm_version", as_func(seven)), 1);
  EXPECT_EQ(vex_is_bound("GET_CUR_FRNPGM_VERSION"), 1);
  EXPECT_EQ(call_int(vex_call("Get_Cur_Frnpgm_Version"), 1), 8);
  EXPECT_EQ(vex_bind("get_cur_frnpgm_version", as_func(eight)), 0);  // the first stays
  EXPECT_EQ(call_int(vex_call("get_cur_frnpgm_version"), 0), 7);

  vex_func old = nullptr;
  EXPECT_EQ(vex_rebind("get_cur_frnpgm_version", as_func(eight), &old), 1);
  EXPECT_EQ(old, as_func(seven));
  EXPECT_EQ(call_int(vex_call("get_cur_frnpgm_version"), 0), 8);
  EXPECT_EQ(vex_rebind("fresh", nullptr, &old), 1);
  EXPECT_EQ(old, nullptr);
  EXPECT_EQ(vex_is_bound("fresh"), 1);
  EXPECT_EQ(vex_call("fresh"), vex_call_get_default());  // bound to null
  EXPECT_EQ(vex_bind(nullptr, as_func(seven)), 0);
}

TEST(Binding, NamesAreTheSameOverFortyCharactersWithoutCase) {
  const std::string forty(40, 'n');
  struct Case {
    const char *name;
    std::string bound, called;
    bool same;
  } cases[] = {
      {"case differs", "Pfa_Open_Hook", "PFA_OPEN_HOOK", true},
      {"prefix only", "pfa_open", "pfa_open_hook", false},
      {"differ after forty", forty + "a", forty + "b", true},
      {"differ at forty", forty.substr(1) + "a", forty.substr(1) + "b", false},
      {"forty and longer", forty, forty + "tail", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    vex_func_table *&table = kept_table();
    ASSERT_EQ(vex_bind_tool(&table, c.bound.c_str(), 0, as_func(seven), 0, 1, nullptr, nullptr), 1);
    EXPECT_EQ(vex_is_bound_(table, c.called.c_str(), 0), c.same);
    int was_bound = -1;
    EXPECT_EQ(vex_bind_tool(&table, c.called.c_str(), 0, as_func(eight), 0, 1, &was_bound, nullptr),
              c.same ? 0 : 1);
    EXPECT_EQ(was_bound, c.same);
  }
}

TEST(Binding, ToolFormsAndSlots) {
  vex_func_table *&table = kept_table();
  int was_bound = -1;
  vex_func old = as_func(seven);
  // No entry and no permission to create one: the table stays null.
  EXPECT_EQ(vex_bind_tool(&table, "a", 1, as_func(seven), 0, 0, &was_bound, &old), 0);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(was_bound, 0);
  EXPECT_EQ(old, nullptr);

  EXPECT_EQ(vex_bind_tool(&table, "a", 1, as_func(seven), 0, 1, &was_bound, &old), 1);
  EXPECT_EQ(vex_is_bound_(table, "A", 1), 1);
  EXPECT_EQ(vex_is_bound_(table, "A", 0), 0);
  EXPECT_EQ(vex_bind_tool(&table, "a", 1, as_func(eight), 0, 0, &was_bound, &old), 0);
  EXPECT_EQ(old, as_func(seven));
  EXPECT_EQ(vex_bind_tool(&table, "a", 1, as_func(eight), 1, 0, &was_bound, &old), 1);
  EXPECT_EQ(was_bound, 1);

  vex_func *slot = nullptr;
  ASSERT_EQ(vex_call_tool(table, "a", 1, &slot), 1);
  *slot = as_func(seven);  // the address is the slot itself
  EXPECT_EQ(vex_bind_tool(&table, "a", 1, nullptr, 1, 0, nullptr, &old), 1);
  EXPECT_EQ(old, as_func(seven));
  EXPECT_EQ(vex_call_tool(table, "a", 2, &slot), 0);
  EXPECT_EQ(vex_print_bind_table_(nullptr), -1);

  set_run_mode(5);
  set_verbose_mode(1);
  set_dbg_err_crash(0);
  std::string out = captured([] {
    vex_bind_tool(nullptr, "a", 0, nullptr, 0, 1, nullptr, nullptr);
    vex_bind_tool(&kept_table(), "a", 2, nullptr, 0, 1, nullptr, nullptr);
  });
  EXPECT_EQ(out.substr(0, out.find('\n')), "vex_bind_tool:  NULL p_func_table");
  EXPECT_NE(out.find("vex_bind_tool:  invalid slot 2\n"), std::string::npos);
}

TEST(Binding, PrintsEntriesInCaseInsensitiveOrder) {
  // Random names in random case, some equal over their first 40
  // characters: the table holds each name once and prints them in order.
  std::mt19937 rng(11);
  vex_func_table *&table = kept_table();
  std::vector<std::string> keys{"zeta"};
  for (int i = 0; i < 300; ++i) {
    // Half the names share 38 characters, so that many agree over 40.
    std::string name = rng() % 2 ? std::string(38, 'a') : "";
    for (int k = 0, length = 1 + static_cast<int>(rng() % 6); k < length; ++k) {
      char c = static_cast<char>('a' + rng() % 3);
      name += rng() % 2 ? static_cast<char>(c - 'a' + 'A') : c;
    }
    vex_bind_tool(&table, name.c_str(), 0, nullptr, 0, 1, nullptr, nullptr);
    std::string key = name.substr(0, 40);
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  ASSERT_EQ(vex_bind_tool(&table, "Zeta", 1, as_func(seven), 0, 1, nullptr, nullptr), 1);

  static vex_func_table *shown;
  shown = table;
  std::string out = captured([] { EXPECT_GT(vex_print_bind_table_(shown), 0); });
  std::vector<std::string> printed;
  std::string zeta;
  for (size_t at = 0; at < out.size();) {
    size_t end = out.find('\n', at);
    std::string line = out.substr(at, end - at);
    std::string name = line.substr(3, line.find('"', 3) - 3);
    if (name == "Zeta") zeta = line;
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    printed.push_back(name);
    at = end + 1;
  }
  EXPECT_EQ(printed, keys);
  char expected[160];
  std::snprintf(expected, sizeof expected,
                "  \"Zeta\" - PRIMARY NOT LOADED at addr 0x0 , SECONDARY LOADED at addr 0x%lx",
                reinterpret_cast<unsigned long>(seven));
  EXPECT_EQ(zeta, expected);
}

const char *g_twice;
const char *g_fresh;

TEST(Binding, RunModeWarnings) {
  struct Case {
    int run_mode;
    const char *twice, *fresh, *expected;
  } cases[] = {
      {0, "twice0", "fresh0", ""},
      {5, "twice5", "fresh5",
       "W : vex_bind : attempt to bind function \"twice5\" , which is already bound\n"
       "W : vex_rebind :  function \"fresh5\" , which wasn't bound is rebound\n"},
      {4321, "twice4321", "fresh4321",
       "W : vex_bind : attempt to bind function \"twice4321\" , which is already bound\n"
       "W : vex_rebind :  function \"fresh4321\" , which wasn't bound is rebound\n"
       "W : vex_call : attempt to use  function \"missing\" , which wasn't bound\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.run_mode);
    set_run_mode(c.run_mode);
    g_twice = c.twice;
    g_fresh = c.fresh;
    std::string out = captured([] {
      vex_bind(g_twice, as_func(seven));
      vex_bind(g_twice, as_func(eight));
      vex_rebind(g_twice, as_func(eight), nullptr);  // was bound: silent
      vex_rebind(g_fresh, as_func(eight), nullptr);
      vex_call("missing");
      vex_call(g_fresh);
    });
    EXPECT_EQ(out, c.expected);
  }
}

// ---- interest registry ---------------------------------------------------------

using Forwarder4 = int (*)(intptr_t, intptr_t, intptr_t, intptr_t);
using Forwarder5 = int (*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
vex_func g_forwarders[3];
std::vector<std::string> g_heard;

int name_list_add(int kind, vex_func forwarder, void *, void *) {
  g_forwarders[kind] = forwarder;
  return 0;
}
int rename_add(vex_func forwarder, intptr_t, intptr_t) {
  g_forwarders[2] = forwarder;
  return 0;
}
void listen(int kind, intptr_t data, intptr_t a, intptr_t b, intptr_t c) {
  g_heard.push_back(std::to_string(kind) + ":" + std::to_string(data) + ":" + std::to_string(a) +
                    "," + std::to_string(b) + "," + std::to_string(c));
}

TEST(Interest, ForwardersReachListenersNewestFirst) {
  vex_bind("VexNameListNotificationAdd", reinterpret_cast<vex_func>(name_list_add));
  vex_bind("VexNLRenameNotificationAdd", reinterpret_cast<vex_func>(rename_add));
  EXPECT_EQ(register_interest(0, listen, 10), 1);
  ASSERT_NE(g_forwarders[0], nullptr);
  ASSERT_NE(g_forwarders[1], nullptr);
  ASSERT_NE(g_forwarders[2], nullptr);
  register_interest(0, listen, 11);
  register_interest(2, listen, 20);
  register_interest(1, listen, 30);

  reinterpret_cast<Forwarder4>(g_forwarders[0])(1, 2, 3, 4);
  reinterpret_cast<Forwarder4>(g_forwarders[1])(5, 6, 7, 8);
  reinterpret_cast<Forwarder5>(g_forwarders[2])(9, 0, 0, 10, 11);
  EXPECT_EQ(g_heard,
            (std::vector<std::string>{"0:11:1,4,0", "0:10:1,4,0", "1:30:5,8,0", "2:20:9,10,11"}));

  // Registered twice, unregistered twice: gone.
  register_interest(0, listen, 11);
  EXPECT_EQ(unregister_interest(0, listen, 11), 1);
  EXPECT_EQ(unregister_interest(0, listen, 11), 1);
  EXPECT_EQ(unregister_interest(0, listen, 99), 0);
  EXPECT_EQ(register_interest(0, nullptr, 0), 0);
  g_heard.clear();
  notify_interest(0, 1, 2, 3);
  EXPECT_EQ(g_heard, std::vector<std::string>{"0:10:1,2,3"});
}

void churn(int kind, intptr_t data, intptr_t, intptr_t, intptr_t) {
  g_heard.push_back(std::to_string(data));
  unregister_interest(kind, listen, 1);  // not called yet: skipped
  register_interest(kind, listen, 3);    // takes over its record, but waits
}

TEST(Interest, ListenersComingAndGoingDuringANotification) {
  register_interest(4, listen, 1);
  register_interest(4, churn, 2);
  notify_interest(4, 0, 0, 0);
  EXPECT_EQ(g_heard, std::vector<std::string>{"2"});
  notify_interest(4, 0, 0, 0);
  EXPECT_EQ(g_heard, (std::vector<std::string>{"2", "2", "4:3:0,0,0"}));
}

// ---- Subject ---------------------------------------------------------------------

struct Change : SubjectChangeBase {};

struct Recorder : Observer {
  Subject *subject = nullptr;
  std::vector<int> *calls = nullptr;
  int id = 0;
  std::vector<Observer *> detach;  // detached when notified
  Observer *attach = nullptr;
  bool destroy = false;
  void Update(const SubjectChangeBase &) override {
    calls->push_back(id);
    for (Observer *o : detach) subject->Detach(o);
    if (attach) subject->Attach(std::exchange(attach, nullptr));
    if (destroy) delete subject;
  }
};

TEST(SubjectTest, ObserversDetachingDuringNotify) {
  struct Case {
    const char *name;
    std::vector<std::vector<int>> detach;  // per observer, indexes it detaches
    std::vector<int> calls;
    int left;
  } cases[] = {
      {"none", {{}, {}, {}, {}}, {1, 2, 3, 4}, 4},
      {"each detaches itself", {{0}, {1}, {2}, {3}}, {1, 2, 3, 4}, 0},
      {"second detaches itself and the fourth", {{}, {1, 3}, {}, {}}, {1, 2, 3}, 2},
      {"third detaches the first two", {{}, {}, {0, 1}, {}}, {1, 2, 3, 4}, 2},
      {"first detaches all", {{0, 1, 2, 3}, {}, {}, {}}, {1}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Subject subject;
    std::vector<int> calls;
    Recorder r[4];
    for (int i = 0; i < 4; ++i) {
      r[i].subject = &subject;
      r[i].calls = &calls;
      r[i].id = i + 1;
      subject.Attach(&r[i]);
      subject.Attach(&r[i]);  // ignored
    }
    for (int i = 0; i < 4; ++i)
      for (int k : c.detach[static_cast<size_t>(i)]) r[i].detach.push_back(&r[k]);
    subject.Notify(Change{});
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(subject.ObserverCount(), c.left);
  }
}

TEST(SubjectTest, AttachAndDestroyDuringNotify) {
  std::vector<int> calls;
  auto *subject = new Subject;
  Recorder a, b, late;
  for (Recorder *r : {&a, &b, &late}) r->subject = subject, r->calls = &calls;
  a.id = 1, b.id = 2, late.id = 3;
  a.attach = &late;  // attached during the notification: called by it
  late.destroy = true;
  subject->Attach(&a);
  subject->Attach(&b);
  subject->Attach(nullptr);
  subject->Notify(Change{});  // `late` deletes the subject; Notify must stop
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
}

// ---- runtime data store ------------------------------------------------------------

std::vector<intptr_t> g_freed;
void free_data(void *data_address) {
  auto *data = static_cast<void **>(data_address);
  g_freed.push_back(reinterpret_cast<intptr_t>(*data));
  *data = nullptr;
}

TEST(GenRtDataTest, APIExamples) {
  GenRtData *store = GenRtDataInit();
  void *data = reinterpret_cast<void *>(1);
  EXPECT_EQ(GenRtDataSet(store, "view", reinterpret_cast<void *>(10)), 0);
  EXPECT_EQ(GenRtDataSet(store, "view", reinterpret_cast<void *>(11)), -2);
  EXPECT_EQ(GenRtDataGet(store, "view", &data), 0);
  EXPECT_EQ(data, reinterpret_cast<void *>(10));
  EXPECT_EQ(GenRtDataGet(store, "View", &data), -4);  // keys keep their case
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(GenRtDataGet(nullptr, "view", &data), -2);
  EXPECT_EQ(GenRtDataFreeFuncSet(store, "none", free_data), -4);
  EXPECT_EQ(GenRtDataFreeFuncSet(store, "view", free_data), 0);
  GenRtDataSet(store, "plain", reinterpret_cast<void *>(20));
  GenRtDataSet(store, "owned", reinterpret_cast<void *>(30));
  GenRtDataFreeFuncSet(store, "owned", free_data);
  EXPECT_EQ(GenRtDataDelete(store, "view"), 0);
  EXPECT_EQ(GenRtDataGet(store, "view", nullptr), -4);
  GenRtDataFree(&store);
  EXPECT_EQ(store, nullptr);
  EXPECT_EQ(g_freed, (std::vector<intptr_t>{10, 30}));
}

}  // namespace
