/* Notifications, callback lists, attribute bits and generic callback data.
 *
 * Notifications: a module registers an application under a unique name and
 * gets a key for it; for each event id (0 and up) of the application the
 * registry keeps the subscribers in the order they subscribed, each with a
 * subscriber id that grows by one with every subscription to that event. A
 * walk (vex_notifications_init_loop / vex_notifications_get_next) may be
 * interleaved with any number of additions, removals and other walks of the
 * same event: it returns every subscriber that existed when it began and is
 * still there exactly once, in subscription order, and also reaches
 * subscribers added while it runs. Applications and events are never
 * removed, so keys stay valid for the life of the process.
 *
 * Callback lists: an xar of (function, datum, datum) triples that the caller
 * holds and frees with xar_free. An invocation calls each triple once, in a
 * fixed direction; a callback that returns non-zero is taken off the list.
 * Callbacks may add and remove triples of the list being invoked (through
 * the vex_cb_list_* functions, not by editing the array): removed triples
 * are not called any more and triples added during an invocation are left
 * for the next one. A callback must not free the list it is called from.
 *
 * Misuse (bad keys, null functions, missing positions) is reported through
 * the development messages of debug.h and answered with the documented
 * result; nothing here aborts by itself.
 *
 * Threads: vex_notification_add_application may be called during parallel
 * work (it locks the registry then). Everything else is for one thread at a
 * time: subscribers are added, removed and walked from one thread, and a
 * callback list belongs to one thread while it is used.
 */
#ifndef KEELWORK_NOTIFY_H
#define KEELWORK_NOTIFY_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* ---- notifications ------------------------------------------------------- */

/* A subscriber's function. Its calling sequence is agreed between the module
 * that announces an event and the modules that subscribe to it: subscribers
 * cast their function to this type, announcers cast it back. The functions
 * called by vex_notifications_simple_call have the sequence
 * vex_notify_simple_func. */
typedef void (*vex_notify_func)(void);
typedef int (*vex_notify_simple_func)(int32_t id, intptr_t datum);
/* Releases a subscriber's datum when the subscriber is removed; receives the
 * address of the datum (so relmem fits for a getmem block). */
typedef void (*vex_notify_release_func)(void *datum_address);

/* The position of a walk, owned by the caller. `change_count`, `index` and
 * `id` are -1 before the first step and after the end. */
typedef struct Vex_notify_pos {
  int32_t app_key;
  int32_t event_id;
  int32_t change_count; /* the event's change counter at the last step */
  int32_t index;        /* index of the subscriber returned last */
  int32_t id;           /* id of the subscriber returned last */
} Vex_notify_pos;

/* Registers an application under a copy of `name` (non-empty, not yet
 * registered; compared byte for byte) and returns its key (0, 1, ...);
 * -1 when refused. Thread-safe. */
KW_API int vex_notification_add_application(const char *name);

/* Subscribes `callback` (non-null) with `datum` to event `event_id` (0 or
 * more) of application `app_key`; `release` (may be null) is called with
 * the address of the datum when the subscriber is removed. Returns the new
 * subscriber id (0 for the event's first subscriber), or -1 when refused. */
KW_API int vex_notification_add(int app_key, int event_id, vex_notify_func callback, intptr_t datum,
                                vex_notify_release_func release);

/* Prepares `pos` for a walk over the subscribers of an event. */
KW_API void vex_notifications_init_loop(int app_key, int event_id, Vex_notify_pos *pos);

/* Steps the walk: 1 with the next subscriber's function, id and datum in the
 * outputs; 0 at the end (outputs null, -1 and 0; `pos` ready for a new walk)
 * or for an unknown application or event. Each output may be null. A
 * position prepared for another application or event starts a new walk. */
KW_API int vex_notifications_get_next(int app_key, int event_id, Vex_notify_pos *pos,
                                      vex_notify_func *callback, int *id, intptr_t *datum);

/* Walks the event and calls every subscriber as callback(id, datum), cast to
 * vex_notify_simple_func. Subscribers may subscribe and unsubscribe during
 * the walk. Returns the number of calls. */
KW_API int vex_notifications_simple_call(int app_key, int event_id);

/* 1 when some subscriber of the event has `callback`; 0 otherwise (also for
 * a null callback or an unknown application or event). */
KW_API int vex_notification_exists(int app_key, int event_id, vex_notify_func callback);

/* Removes the newest subscriber with `callback` and `datum` (a datum of 0
 * matches any), releasing its datum. 1 when one was removed, else 0. */
KW_API int vex_notification_remove_by_data(int app_key, int event_id, vex_notify_func callback,
                                           intptr_t datum);
/* vex_notification_remove_by_data with datum 0. */
KW_API int vex_notification_remove(int app_key, int event_id, vex_notify_func callback);
/* Removes the subscriber with this id, releasing its datum. 1 when it was
 * removed, else 0. */
KW_API int vex_notification_remove_id(int app_key, int event_id, int id);

/* ---- callback lists --------------------------------------------------------- */

/* A callback of a list, called as vex_cb_func0 by vex_cb_list_invoke, as
 * vex_cb_func1 by vex_cb_list_invoke1 and as vex_cb_func2 by
 * vex_cb_list_invoke2: cast to this type to add, the list casts back. A
 * non-zero result takes the triple off the list. */
typedef void (*vex_cb_func)(void);
typedef int (*vex_cb_func0)(intptr_t a, intptr_t b);
typedef int (*vex_cb_func1)(intptr_t x, intptr_t a, intptr_t b);
typedef int (*vex_cb_func2)(intptr_t x, intptr_t y, intptr_t a, intptr_t b);

/* One entry of a callback list. */
typedef struct vex_cb {
  vex_cb_func func;
  intptr_t a;
  intptr_t b;
} vex_cb;

/* In vex_cb_list_remove and vex_cb_list_get: matches any datum or function. */
#define VEX_CB_ANY ((intptr_t)-1)
#define VEX_CB_ANY_FUNC ((vex_cb_func)(intptr_t)-1)

/* `list_address` is the address of the caller's list: a pointer to the first
 * vex_cb of an xar, null for an empty list. */

/* Removes every triple equal to (func, a, b) from the list (created when
 * null, with room for 1 and growth by 5), then appends it. Returns the number
 * of triples. */
KW_API int vex_cb_list_add(void *list_address, vex_cb_func func, intptr_t a, intptr_t b);
/* Removes every matching triple (VEX_CB_ANY and VEX_CB_ANY_FUNC match
 * anything). Returns the number removed. */
KW_API int vex_cb_list_remove(void *list_address, vex_cb_func func, intptr_t a, intptr_t b);
/* From the last triple to the first: func(a, b). Returns the number of
 * calls. Null functions are skipped. */
KW_API int vex_cb_list_invoke(void *list_address);
/* From the last triple to the first: func(x, a, b). */
KW_API int vex_cb_list_invoke1(void *list_address, intptr_t x);
/* From the first triple to the last: func(x, y, a, b). */
KW_API int vex_cb_list_invoke2(void *list_address, intptr_t x, intptr_t y);
/* Adds to the list at `dest_address` (with vex_cb_list_add) every triple of
 * the list `source` that matches, taken from the last to the first. Returns
 * the number of triples of the destination. `source` may be the
 * destination list itself. */
KW_API int vex_cb_list_get(void *dest_address, const void *source, vex_cb_func func, intptr_t a,
                           intptr_t b);

/* The process-wide post-render list, invoked as vex_cb_list_invoke1. */
KW_API int post_render_callback_add(vex_cb_func func, intptr_t a, intptr_t b);
KW_API int post_render_callback_remove(vex_cb_func func, intptr_t a, intptr_t b);
KW_API int post_render_callback_invoke(intptr_t x);
KW_API int post_render_callback_get(void *dest_address, vex_cb_func func, intptr_t a, intptr_t b);

/* Ready-made callbacks: 1 and 0. */
KW_API int ret_true(void);
KW_API int ret_false(void);

/* ---- attributes ---------------------------------------------------------------- */

/* Attribute n (1 to 32) of a flags word is bit n - 1. Other numbers name no
 * attribute: setting, clearing and flipping them changes nothing, and they
 * are never set. */

/* Set or clear attribute n; return the flags. */
KW_API uint32_t put_attribute(uint32_t *flags, int n);
KW_API uint32_t clear_attribute(uint32_t *flags, int n);
/* 1 when attribute n is set. */
KW_API int is_attribute(uint32_t flags, int n);
/* Toggles attribute n: returns its mask when it is now set, the flags when
 * it is now clear. */
KW_API uint32_t flip_attribute(uint32_t *flags, int n);
/* Keeps attributes 1 to n and clears the rest (n of 32 or more keeps all,
 * n of 0 or less clears all); returns the flags. */
KW_API uint32_t clear_attributes_after(uint32_t *flags, int n);

/* ---- generic callback data ---------------------------------------------------- */

/* A block of pointer-sized slots that carries the arguments of a generic
 * callback. At most VEX_GENCB_MAX_ARGS values are stored. */
#define VEX_GENCB_SLOTS 20
#define VEX_GENCB_MAX_ARGS 19

/* Zeroes the VEX_GENCB_SLOTS slots of `block` and stores `count` values
 * (each an intptr_t or a pointer) in slots 0 onward. Returns `count`; 0
 * without touching the block when count is negative or over
 * VEX_GENCB_MAX_ARGS or the block is null. */
KW_API int set_to_gencb_data(intptr_t *block, int count, ...);
/* Stores slots 0 onward through `count` pointers (each an intptr_t * or the
 * address of a pointer). Returns `count`; 0 without storing when refused as
 * above. */
KW_API int get_from_gencb_data(const intptr_t *block, int count, ...);

KW_END_DECLS

#endif /* KEELWORK_NOTIFY_H */
