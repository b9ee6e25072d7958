/* Memory: blocks, memory managers, zones and pools.
 *
 * Every block of the library comes from here. `getmem` never returns null for
 * a request that can be met: when the system refuses memory the installed
 * allocation-failure handler is asked to free some and the request is retried;
 * when that fails too the manager's fatal-error path ends the process.
 *
 * Ownership: a block from `getmem`/`memmgr_getmem`/`pool_getmem` belongs to
 * the caller until it is given back with `relmem` or `rlsmem`. Blocks carved
 * from a zone belong to the zone and live until `empty_zone`/`free_zone`.
 *
 * Managers: `shared_memmgr()` serves `getmem`; each thread other than the main
 * thread has its own manager (`memmgr_for_current_thread`). Managers run in
 * the normal style (1) or the debug style (2); in the debug style every block
 * is chained for checking and leak reports and the installed debug hooks are
 * called on every allocation, reallocation and release.
 *
 * Thread safety: all functions may be called from any thread. A zone created
 * without KW_ZONE_LOCKED must be used by one thread at a time.
 */
#ifndef KEELWORK_MEMORY_H
#define KEELWORK_MEMORY_H

#include "kw_base.h"

KW_BEGIN_DECLS

typedef struct memmgr memmgr;   /* a memory manager */
typedef struct memzone memzone; /* a zone: blocks released all at once */
typedef struct mempool mempool; /* a pool of equally sized blocks */

/* Manager styles reported by memmgr_style. */
#define MEMMGR_STYLE_NORMAL 1
#define MEMMGR_STYLE_DEBUG 2

/* Zone flag: the zone is shared between threads and takes a lock. */
#define KW_ZONE_LOCKED 1

/* ---- blocks ------------------------------------------------------------ */

/* Returns a block of at least `size` bytes from the shared manager (not
 * zero-filled); never null. */
KW_API void *getmem(size_t size);
/* Frees the block `*pointer_address` holds and sets the pointer to null; a
 * null pointer_address or a null block is accepted. Zone blocks are left to
 * their zone. */
KW_API void relmem(void *pointer_address);
/* Frees a block given by value; null is accepted. */
KW_API void rlsmem(void *block);
/* Resizes `block` (null: allocates) keeping its manager and contents up to
 * the smaller size; returns the new address, never null. A zone block is
 * copied into a new block of its zone. */
KW_API void *relocmem(void *block, size_t size);
/* The size requested for `block` (0 for null). */
KW_API size_t getmem_area_size(const void *block);
/* The manager that owns `block` (that of its zone or pool); null for null. */
KW_API memmgr *getmem_area_find_memmgr(const void *block);

/* ---- managers ---------------------------------------------------------- */

/* Creates a manager with a name (copied) and a style (1 or 2); lives until
 * the process ends. */
KW_API memmgr *alloc_memmgr(const char *name, int style);
/* The manager behind getmem. */
KW_API memmgr *shared_memmgr(void);
/* The calling thread's manager: the shared one on the main thread, a manager
 * of its own (created on first use, reused after the thread ended) elsewhere. */
KW_API memmgr *memmgr_for_current_thread(void);
/* getmem from `manager` (null: the shared manager). */
KW_API void *memmgr_getmem(memmgr *manager, size_t size);
/* Allocates a block of `size` bytes owned by `owner` (a static name that the
 * debug hooks report); `owner` may be null. */
KW_API void *memmgr_getmem_owned(memmgr *manager, size_t size, const char *owner);
/* The manager's name; "shared" for the shared manager. */
KW_API const char *memmgr_name(const memmgr *manager);
/* The manager's identifier: 0 for the shared manager, then 1, 2, ... */
KW_API int memmgr_id(const memmgr *manager);
/* The style of `manager` (null: the shared manager). */
KW_API int memmgr_style(const memmgr *manager);
/* Switches `manager` (null: shared) to `style`; returns the previous style.
 * Blocks allocated before keep the layout they were made with. */
KW_API int memmgr_set_style(memmgr *manager, int style);
/* Calls `visit(manager, arg)` for every manager, in creation order, until a
 * call returns non-zero; returns that value or 0. */
KW_API int memmgr_visit_all(int (*visit)(memmgr *manager, void *arg), void *arg);
/* The address of the manager's debug-information slot (one pointer that the
 * memory debugger owns); null for a null manager. */
KW_API void **memmgr_debug_info(memmgr *manager);

/* ---- zones and pools --------------------------------------------------- */

/* Creates a zone that takes chunks of `chunk_size` bytes (at least 1024) from
 * `manager` (null: shared); `flags` may hold KW_ZONE_LOCKED. */
KW_API memzone *alloc_zone(memmgr *manager, size_t chunk_size, int flags);
/* Carves a block of `size` bytes (16-byte aligned) out of `zone`; never null. */
KW_API void *zone_getmem(memzone *zone, size_t size);
/* Releases every block of the zone, keeping the zone (and its first chunk). */
KW_API void empty_zone(memzone *zone);
/* Releases the zone and its blocks and sets `*zone_address` to null. */
KW_API void free_zone(memzone **zone_address);
/* Bytes carved from the zone since it was created or emptied. */
KW_API size_t zone_used_size(const memzone *zone);
/* The manager whose chunks the zone uses. */
KW_API memmgr *zone_memmgr(const memzone *zone);

/* Creates a pool of blocks of `block_size` bytes, taken from `manager` (null:
 * shared) `blocks_per_chunk` at a time; the pool takes a lock. */
KW_API mempool *alloc_pool(memmgr *manager, size_t block_size, int blocks_per_chunk);
/* A block of the pool; `size` may not exceed the pool's block size (a larger
 * request takes the fatal-error path). Freed with relmem/rlsmem. */
KW_API void *pool_getmem(mempool *pool, size_t size);
/* Gives every block back to the pool at once (outstanding blocks become
 * invalid) and returns the chunks to the manager. */
KW_API void empty_pool(mempool *pool);
/* Releases the pool and its blocks; sets `*pool_address` to null. */
KW_API void free_pool(mempool **pool_address);

/* ---- usage, failures and verbosity ------------------------------------- */

/* Bytes currently held by the application through this library. */
KW_API size_t get_memory_usage(void);
/* Non-zero once an allocation failed and the failure handler had to act. */
KW_API int get_out_of_memory_status(void);

/* Called with the size of a request the system refused: return 1 after
 * freeing memory to have the request retried, 0 to let it fail. */
typedef int (*kw_alloc_failure_handler)(size_t size);
/* Installs the allocation-failure handler (null: none); returns the old one. */
KW_API kw_alloc_failure_handler memmgr_set_failure_handler(kw_alloc_failure_handler handler);
/* Test aid: the `countdown`-th following system allocation fails as if the
 * system had refused it (0 switches the countdown off). */
KW_API void memmgr_fail_after(long countdown);

/* Verbosity of the managers' messages. */
KW_API int memmgr_verbose(void);
/* Sets the verbosity; returns the previous value. */
KW_API int set_memmgr_verbose(int flag);
/* Writes a message of `manager` ("where: text") to the standard-error
 * stream; `format` is printf-like. */
KW_API void memmgr_info_msg(memmgr *manager, const char *where, const char *format, ...);
/* Reports an unrecoverable fault of `manager` and ends the process through
 * the crash hook (or abort). */
KW_API KW_NORETURN void memmgr_fatal_error(memmgr *manager, const char *where, const char *format,
                                           ...);

/* ---- debugging --------------------------------------------------------- */

/* Hooks of a debug-style manager, called in this order of slots. Blocks the
 * manager takes for its own zones and pools report the owner "~memmgr". */
typedef struct memmgr_debug_hooks {
  void (*start)(memmgr *manager);
  void (*allocate)(memmgr *manager, void *block, size_t size, const char *owner);
  void (*reallocate)(memmgr *manager, void *old_block, void *new_block, size_t size,
                     const char *owner);
  void (*release)(memmgr *manager, void *block);
  int (*check)(memmgr *manager);
  void (*pause)(memmgr *manager, int on);
  const char *(*owner_name)(memmgr *manager, const void *block);
  void (*zone_update)(memmgr *manager, memzone *zone, int created);
} memmgr_debug_hooks;

/* Installs hooks on `manager` (null: shared; null hooks: none) and calls
 * their start hook; returns the previous table. */
KW_API const memmgr_debug_hooks *memmgr_set_debug_hooks(memmgr *manager,
                                                        const memmgr_debug_hooks *hooks);
/* The installed hook table or null. */
KW_API const memmgr_debug_hooks *memmgr_get_debug_hooks(const memmgr *manager);
/* Pauses (on != 0) or resumes the hooks of `manager` through its pause hook. */
KW_API void memmgr_debug_pause(memmgr *manager, int on);

/* Checks the chain of debug-style blocks of `manager` (null: every manager):
 * guard words and links; returns the number of damaged blocks (0: sound). */
KW_API int checkmem_chain(memmgr *manager);
/* Reports the blocks still held in debug-style managers; `after_exit` is 1
 * when called after the exit handlers ran. Returns the number reported. */
KW_API int report_memory_leaks(int after_exit);
/* Notes that a block of `size` bytes at `block` is known not to be released;
 * the formatted text says why. */
KW_API void debug_memory_not_released(size_t size, const void *block, const char *format, ...);
/* The memory-debugging configuration: KEELWORK_MEMORY_CONFIG as an integer
 * (0 when unset). */
KW_API int get_dbg_memory_config(void);

KW_END_DECLS

#endif /* KEELWORK_MEMORY_H */
