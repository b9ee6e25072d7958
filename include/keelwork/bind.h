/* Function binding, the interest registry and the runtime data store.
 *
 * Binding: modules do not link to each other's functions; one binds a
 * function under a name (vex_bind) and the others fetch it by name
 * (vex_call) and call it. A name nobody bound yields a default function
 * that ignores its arguments and returns 0, so an unbound name never fails
 * a call. Names are compared without regard to ASCII case over their first
 * 40 characters: longer names that agree that far are the same name. Each
 * name has a primary slot (the one vex_bind and vex_call use) and a
 * secondary slot for the _tool forms, which work on any table. Tables and
 * their entries live until the process ends (or, for a caller's table,
 * for good: nothing releases one).
 *
 * Interest registry: listeners register for a kind of name-list
 * notification; the library forwards the application's notifications to
 * them (register_interest installs the forwarders on its first call).
 *
 * Runtime data store: string keys with a data pointer and an optional
 * release function, owned by the caller (GenRtDataInit / GenRtDataFree).
 *
 * Threads: none of this takes a lock. Bindings and registrations are made
 * during start-up on the main thread; lock_vex_func_table and
 * unlock_vex_func_table do nothing.
 */
#ifndef KEELWORK_BIND_H
#define KEELWORK_BIND_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* ---- function binding --------------------------------------------------- */

/* A bound function; callers cast it to its real type. */
typedef void (*vex_func)(void);

/* Names are significant over this many characters. */
#define VEX_BIND_NAME_MAX 40

/* Slots of an entry. */
#define VEX_BIND_PRIMARY 0
#define VEX_BIND_SECONDARY 1

/* A binding table: a red-black tree of entries carved from a zone. Held by
 * the caller as a pointer, null until the first entry. */
typedef struct vex_func_table vex_func_table;

/* Binds `function` in the primary slot of `name` in the process-wide table:
 * 1 when bound; 0 when the slot is bound already (the first function stays;
 * outside the user run mode a warning is printed) or `name` is null. */
KW_API int vex_bind(const char *name, vex_func function);
/* Binds `function` whether or not the slot was bound: 1, with the previous
 * function (null when there was none) in `*old` (may be null); 0 for a null
 * name. Outside the user run mode, rebinding a name that was not bound
 * prints a warning. */
KW_API int vex_rebind(const char *name, vex_func function, vex_func *old);
/* The function bound to `name`, or the default function when the name is
 * unbound, bound to null, or null. Run mode 4321 warns about unbound names. */
KW_API vex_func vex_call(const char *name);
/* 1 when the primary slot of `name` is bound. */
KW_API int vex_is_bound(const char *name);
/* The default function: ignores its arguments and returns 0 (as an integer
 * or a pointer). */
KW_API vex_func vex_call_get_default(void);
/* Kept for callers that bracket their bindings; they do nothing. */
KW_API void lock_vex_func_table(void);
KW_API void unlock_vex_func_table(void);

/* Binds `function` in slot `slot` (VEX_BIND_PRIMARY or VEX_BIND_SECONDARY)
 * of `name` in `*table` (created on the first entry). `*was_bound` and
 * `*old` (each may be null) receive the slot's state before the call.
 * Returns 1 when bound; 0 without change when the slot is bound and `force`
 * is 0, when the name has no entry and `create` is 0, or for a null table
 * address, a null name or a bad slot. */
KW_API int vex_bind_tool(vex_func_table **table, const char *name, int slot, vex_func function,
                         int force, int create, int *was_bound, vex_func *old);
/* 1 and `*slot_address` = the address of the function word of that slot
 * when `name` has an entry and `slot` is 0 or 1; else 0 and null.
 * `slot_address` may be null. The address stays valid for good. */
KW_API int vex_call_tool(const vex_func_table *table, const char *name, int slot,
                         vex_func **slot_address);
/* 1 when slot `slot` of `name` is bound. */
KW_API int vex_is_bound_(const vex_func_table *table, const char *name, int slot);
/* Prints every entry in name order on the console, one line each with the
 * state and address of both slots. Returns the number printed; -1 for a
 * null table. */
KW_API int vex_print_bind_table_(const vex_func_table *table);

/* ---- interest registry ------------------------------------------------------- */

/* A listener: called with its kind and datum and the notification's three
 * words. */
typedef void (*vex_interest_func)(int kind, intptr_t data, intptr_t a, intptr_t b, intptr_t c);

/* The application's registrars, bound under "VexNameListNotificationAdd"
 * and "VexNLRenameNotificationAdd". register_interest passes them its
 * forwarders as vex_func: the name-list forwarders (kinds 0 and 1) are
 * called with four words, the rename forwarder (kind 2) with five. */
typedef int (*vex_name_list_notification_add_func)(int kind, vex_func forwarder, void *reserved1,
                                                   void *reserved2);
typedef int (*vex_nl_rename_notification_add_func)(vex_func forwarder, intptr_t reserved1,
                                                   intptr_t reserved2);

/* On its first call installs the forwarders with the application's
 * registrars (those that are bound). Then registers `callback` for `kind`
 * with `data`, reusing a record that was unregistered. Returns 1 when
 * registered, 0 for a null callback. */
KW_API int register_interest(int kind, vex_interest_func callback, intptr_t data);
/* Deactivates the first record (active or not) with these three values:
 * 1, or 0 when there is none. */
KW_API int unregister_interest(int kind, vex_interest_func callback, intptr_t data);
/* Calls callback(kind, data, a, b, c) for every active record of `kind`,
 * newest first. Listeners may register and unregister meanwhile; those
 * registered during the call are not called by it. */
KW_API void notify_interest(int kind, intptr_t a, intptr_t b, intptr_t c);

/* ---- runtime data store ----------------------------------------------------------- */

typedef struct GenRtData GenRtData;
/* Releases an entry's data; receives the address of the data pointer (so
 * relmem fits for a getmem block). */
typedef void (*GenRtDataFreeFunc)(void *data_address);

/* A new empty store; released with GenRtDataFree. */
KW_API GenRtData *GenRtDataInit(void);
/* Adds `key` (copied) with `data` and no release function: 0; -2 for a null
 * store or key or when the key exists (its data stays). */
KW_API int GenRtDataSet(GenRtData *store, const char *key, void *data);
/* 0 and the data in `*data` (may be null); -4 and null when the key is
 * absent; -2 for a null store. */
KW_API int GenRtDataGet(const GenRtData *store, const char *key, void **data);
/* Sets the release function of `key` (null: none): 0; -4 when the key is
 * absent; -2 for a null store. */
KW_API int GenRtDataFreeFuncSet(GenRtData *store, const char *key, GenRtDataFreeFunc free_func);
/* Releases the data of `key` (when it has a release function) and removes
 * the entry; 0, also when there is nothing to remove. */
KW_API int GenRtDataDelete(GenRtData *store, const char *key);
/* Releases every entry's data that has a release function, frees the store
 * and nulls `*store`; a null store is accepted. */
KW_API void GenRtDataFree(GenRtData **store);

KW_END_DECLS

#endif /* KEELWORK_BIND_H */
