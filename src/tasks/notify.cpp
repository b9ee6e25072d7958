// The notification registry: applications, their events and subscribers,
// and walks over an event that stay correct while subscribers come and go.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "keelwork/debug.h"
#include "keelwork/notify.h"
#include "runtime/runtime_internal.h"

namespace {

using kw::runtime::LazyMutex;
using kw::runtime::MTSectionLock;

struct Subscriber {
  vex_notify_func callback;
  intptr_t datum;
  vex_notify_release_func release;
  int32_t id;
};

// Subscribers are kept in subscription order, so their ids ascend. Every
// addition and every removal attempt bumps `changes`; a walk that finds the
// counter moved since its last step looks its place up by id instead of by
// index.
struct Event {
  std::vector<Subscriber> subscribers;
  uint32_t changes = 0;
  int32_t next_id = 0;
};

struct Application {
  std::string name;
  std::vector<Event> events;
};

// Event ids are small constants in practice; the bound keeps a wild id from
// growing an application's event table without limit.
constexpr int kMaxEventId = (1 << 20) - 1;

constexpr const char kRemove[] = "vex_notification_remove";

LazyMutex g_registry_lock;

// Lives until the process ends, so exit handlers and static destructors of
// other modules may still announce events.
std::vector<Application> &applications() {
  static auto *apps = new std::vector<Application>;
  return *apps;
}

Application *find_application(int key) {
  auto &apps = applications();
  if (key < 0 || static_cast<size_t>(key) >= apps.size()) return nullptr;
  return &apps[static_cast<size_t>(key)];
}

Event *find_event(int key, int event_id) {
  Application *app = find_application(key);
  if (!app || event_id < 0 || static_cast<size_t>(event_id) >= app->events.size()) return nullptr;
  return &app->events[static_cast<size_t>(event_id)];
}

// The event that exists, remove and remove-by-id work on; reports a bad key
// or event.
Event *checked_event(int key, int event_id) {
  Application *app = find_application(key);
  if (!app) {
    dbg_err_crash(kRemove, "invalid application key %d", key);
    return nullptr;
  }
  if (event_id < 0 || static_cast<size_t>(event_id) >= app->events.size()) {
    dbg_print_info(kRemove, "event_id %d was never defined?", event_id);
    return nullptr;
  }
  return &app->events[static_cast<size_t>(event_id)];
}

// Takes the subscriber off the event before releasing its datum, so that a
// release function that subscribes or unsubscribes finds the event in a
// consistent state.
void remove_at(Event &event, size_t index) {
  Subscriber gone = event.subscribers[index];
  event.subscribers.erase(event.subscribers.begin() + static_cast<std::ptrdiff_t>(index));
  if (gone.release) gone.release(&gone.datum);
}

void reset_position(Vex_notify_pos *pos, int key, int event_id) {
  pos->app_key = key;
  pos->event_id = event_id;
  pos->change_count = -1;
  pos->index = -1;
  pos->id = -1;
}

}  // namespace

KW_API int vex_notification_add_application(const char *name) {
  static const char kWhere[] = "vex_notification_add_application";
  MTSectionLock lock(g_registry_lock);
  if (!name || !*name) {
    dbg_print_info(kWhere, "invalid app_name");
    return -1;
  }
  auto &apps = applications();
  for (const Application &app : apps) {
    if (app.name == name) {
      dbg_err_crash(kWhere, "attempted to duplicate application name %s!", name);
      return -1;
    }
  }
  apps.push_back(Application{name, {}});
  return static_cast<int>(apps.size() - 1);
}

KW_API int vex_notification_add(int app_key, int event_id, vex_notify_func callback, intptr_t datum,
                                vex_notify_release_func release) {
  static const char kWhere[] = "vex_notification_add";
  if (!callback) {
    dbg_err_crash(kWhere, "invalid NULL function");
    return -1;
  }
  Application *app = find_application(app_key);
  if (!app) {
    dbg_err_crash(kWhere, "invalid application key %d", app_key);
    return -1;
  }
  if (event_id < 0 || event_id > kMaxEventId) {
    dbg_err_crash(kWhere, "invalid event id %d", event_id);
    return -1;
  }
  if (static_cast<size_t>(event_id) >= app->events.size())
    app->events.resize(static_cast<size_t>(event_id) + 1);
  Event &event = app->events[static_cast<size_t>(event_id)];
  if (event.next_id == INT32_MAX) {
    // Ids must keep ascending for walks to find their place.
    dbg_err_crash(kWhere, "no subscriber id left for event %d", event_id);
    return -1;
  }
  ++event.changes;
  int32_t id = event.next_id++;
  event.subscribers.push_back(Subscriber{callback, datum, release, id});
  return id;
}

KW_API void vex_notifications_init_loop(int app_key, int event_id, Vex_notify_pos *pos) {
  if (!pos) {
    dbg_err_crash("vex_notifications_init_loop", "missing Vex_notify_pos");
    return;
  }
  reset_position(pos, app_key, event_id);
}

KW_API int vex_notifications_get_next(int app_key, int event_id, Vex_notify_pos *pos,
                                      vex_notify_func *callback, int *id, intptr_t *datum) {
  if (!pos) {
    dbg_err_crash("vex_notifications_get_next", "missing Vex_notify_pos");
    return 0;
  }
  // A position left over from a walk of another event says nothing about
  // this one.
  if (pos->app_key != app_key || pos->event_id != event_id) reset_position(pos, app_key, event_id);

  Event *event = find_event(app_key, event_id);
  size_t next = 0;
  if (event && pos->index >= 0) {
    if (pos->change_count == static_cast<int32_t>(event->changes)) {
      next = static_cast<size_t>(pos->index) + 1;
    } else {
      // Subscribers came or went: continue after the last id returned.
      auto &subs = event->subscribers;
      auto it = std::upper_bound(subs.begin(), subs.end(), pos->id,
                                 [](int32_t v, const Subscriber &s) { return v < s.id; });
      next = static_cast<size_t>(it - subs.begin());
    }
  }
  if (!event || next >= event->subscribers.size()) {
    reset_position(pos, app_key, event_id);
    if (callback) *callback = nullptr;
    if (id) *id = -1;
    if (datum) *datum = 0;
    return 0;
  }
  const Subscriber &s = event->subscribers[next];
  pos->change_count = static_cast<int32_t>(event->changes);
  pos->index = static_cast<int32_t>(next);
  pos->id = s.id;
  if (callback) *callback = s.callback;
  if (id) *id = s.id;
  if (datum) *datum = s.datum;
  return 1;
}

KW_API int vex_notifications_simple_call(int app_key, int event_id) {
  Vex_notify_pos pos;
  vex_notifications_init_loop(app_key, event_id, &pos);
  vex_notify_func callback;
  int id;
  intptr_t datum;
  int calls = 0;
  while (vex_notifications_get_next(app_key, event_id, &pos, &callback, &id, &datum)) {
    reinterpret_cast<vex_notify_simple_func>(callback)(id, datum);
    ++calls;
  }
  return calls;
}

KW_API int vex_notification_exists(int app_key, int event_id, vex_notify_func callback) {
  if (!callback) return 0;
  Event *event = checked_event(app_key, event_id);
  if (!event) return 0;
  const auto &subs = event->subscribers;
  return std::any_of(subs.begin(), subs.end(),
                     [&](const Subscriber &s) { return s.callback == callback; })
             ? 1
             : 0;
}

KW_API int vex_notification_remove_by_data(int app_key, int event_id, vex_notify_func callback,
                                           intptr_t datum) {
  if (!callback) {
    dbg_err_crash(kRemove, "invalid NULL function");
    return 0;
  }
  Event *event = checked_event(app_key, event_id);
  if (!event) return 0;
  ++event->changes;
  auto &subs = event->subscribers;
  for (size_t i = subs.size(); i-- > 0;) {
    if (subs[i].callback == callback && (datum == 0 || subs[i].datum == datum)) {
      remove_at(*event, i);
      return 1;
    }
  }
  dbg_print_info(kRemove, "failed to find func to remove");
  return 0;
}

KW_API int vex_notification_remove(int app_key, int event_id, vex_notify_func callback) {
  return vex_notification_remove_by_data(app_key, event_id, callback, 0);
}

KW_API int vex_notification_remove_id(int app_key, int event_id, int id) {
  Event *event = checked_event(app_key, event_id);
  if (!event) return 0;
  ++event->changes;
  auto &subs = event->subscribers;
  auto it = std::lower_bound(subs.begin(), subs.end(), id,
                             [](const Subscriber &s, int v) { return s.id < v; });
  if (it == subs.end() || it->id != id) {
    dbg_print_info("vex_notification_remove_id", "notify id %d not found", id);
    return 0;
  }
  remove_at(*event, static_cast<size_t>(it - subs.begin()));
  return 1;
}
