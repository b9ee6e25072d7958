/* Two small sub-allocators for many small blocks released together.
 *
 * Block sub-allocator: an xar of kw_mem_block records (growth increment
 * 10) whose blocks are getmem blocks of the caller's block size (default
 * 65435 bytes). Requests are carved from the last block, 8-byte aligned;
 * a new block is appended when it is full. block_rlsmem releases them all.
 * A request (plus reserve) larger than a block is printed on the console
 * and returns null in the user run mode; any other run mode crashes.
 *
 * Thread zones: each thread carves blocks from its own memory zone
 * (alloc_zone(memmgr_for_current_thread(), 32768, 0)), held in a
 * thread-local object; the zone and all its blocks go at once with
 * end_w_getmem or when the thread ends. w_getmem is thread-safe by
 * construction; the other functions are called once per process or thread.
 */
#ifndef KEELWORK_SUBALLOC_H
#define KEELWORK_SUBALLOC_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* One block of the block sub-allocator and the bytes used from its start. */
typedef struct kw_mem_block {
  void *block;
  int32_t used;
} kw_mem_block;

/* The default block size of block_getmem. */
#define KW_BLOCK_GETMEM_DEFAULT 65435

/* Returns `size` bytes from the last block of `*blocks_address` (an xar of
 * kw_mem_block, created when null) when it has room for size + reserve,
 * else from a new block of `block_size` bytes (0: 65435). Null (user run
 * mode) when size + reserve exceeds the block size. */
KW_API void *block_getmem(void *blocks_address, int size, int block_size, int reserve);
/* Gives the last `size` bytes of the last block back; a size beyond its
 * used bytes (or no block) is printed and changes nothing in the user run
 * mode, crashes in any other. A null array is left alone. */
KW_API void block_truncate(void *blocks_address, int size);
/* Releases every block and the array; nulls the pointer. */
KW_API void block_rlsmem(void *blocks_address);

/* Creates the thread-local slot of the zones (once; later calls do nothing). */
KW_API void init_w_getmem(void);
/* Gives the calling thread its zone (when it has none). */
KW_API void start_w_getmem(void);
/* `size` bytes (16-byte aligned) from the calling thread's zone, started
 * when needed; never null. Released with the zone, never singly. */
KW_API void *w_getmem(size_t size);
/* Releases the calling thread's zone and every block carved from it. */
KW_API void end_w_getmem(void);
/* Destroys the thread-local slot (after every thread ended its zone). A
 * second call, or one before init_w_getmem, is reported and does nothing. */
KW_API void destroy_w_getmem(void);

KW_END_DECLS

#endif /* KEELWORK_SUBALLOC_H */
