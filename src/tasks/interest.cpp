// The interest registry: listeners for the application's name-list
// notifications, reached through forwarders that the application calls.
#include <cstdint>

#include "keelwork/bind.h"

namespace {

// Records are never freed, only deactivated and reused, so a walk may
// follow `next` while listeners come and go.
struct Interest {
  vex_interest_func callback;
  int kind;
  intptr_t data;
  Interest *next;
  bool active;
  uint64_t registered;  // registration stamp, to leave out later listeners
};

Interest *g_head = nullptr;  // newest first
uint64_t g_registrations = 0;
bool g_forwarders_installed = false;

// What the application passes beyond these arguments is not used.
int forward_name_list(intptr_t first, intptr_t, intptr_t, intptr_t fourth) {
  notify_interest(0, first, fourth, 0);
  return 0;
}

int forward_name_list_1(intptr_t first, intptr_t, intptr_t, intptr_t fourth) {
  notify_interest(1, first, fourth, 0);
  return 0;
}

int forward_rename(intptr_t first, intptr_t, intptr_t, intptr_t fourth, intptr_t fifth) {
  notify_interest(2, first, fourth, fifth);
  return 0;
}

void install_forwarders() {
  if (g_forwarders_installed) return;
  g_forwarders_installed = true;
  const vex_func none = vex_call_get_default();
  vex_func add = vex_call("VexNameListNotificationAdd");
  vex_func rename = vex_call("VexNLRenameNotificationAdd");
  if (add != none) {
    auto registrar = reinterpret_cast<vex_name_list_notification_add_func>(add);
    registrar(0, reinterpret_cast<vex_func>(forward_name_list), nullptr, nullptr);
    registrar(1, reinterpret_cast<vex_func>(forward_name_list_1), nullptr, nullptr);
  }
  if (rename != none)
    reinterpret_cast<vex_nl_rename_notification_add_func>(rename)(
        reinterpret_cast<vex_func>(forward_rename), 0, 0);
}

bool same(const Interest &r, int kind, vex_interest_func callback, intptr_t data) {
  return r.kind == kind && r.callback == callback && r.data == data;
}

}  // namespace

KW_API int register_interest(int kind, vex_interest_func callback, intptr_t data) {
  install_forwarders();
  if (!callback) return 0;
  Interest *record = g_head;
  while (record && record->active) record = record->next;
  if (!record) {
    record = new Interest{};
    record->next = g_head;
    g_head = record;
  }
  record->callback = callback;
  record->kind = kind;
  record->data = data;
  record->registered = ++g_registrations;
  record->active = true;
  return 1;
}

KW_API int unregister_interest(int kind, vex_interest_func callback, intptr_t data) {
  // An active record first: with the same listener registered twice, the
  // record deactivated by an earlier call must not shadow the live one.
  bool found = false;
  for (Interest *r = g_head; r; r = r->next) {
    if (!same(*r, kind, callback, data)) continue;
    if (r->active) {
      r->active = false;
      return 1;
    }
    found = true;
  }
  return found ? 1 : 0;
}

KW_API void notify_interest(int kind, intptr_t a, intptr_t b, intptr_t c) {
  const uint64_t started = g_registrations;
  for (Interest *r = g_head; r; r = r->next) {
    if (r->active && r->kind == kind && r->registered <= started)
      r->callback(kind, r->data, a, b, c);
  }
}
