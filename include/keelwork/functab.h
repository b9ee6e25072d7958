/* Function tables: arrays of (key, function) pairs, used to dispatch on small
 * integer codes.
 *
 * find_func_in_functab_by_key scans until the first pair whose function is
 * null. get_func_from_functab expects the pair of key k at index k (the
 * table must hold a pair at every index a caller passes) and falls back to
 * a scan that ends at the first pair of key -1. No state, no locks.
 */
#ifndef KEELWORK_FUNCTAB_H
#define KEELWORK_FUNCTAB_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* A function of the table; callers cast it to its real type. */
typedef void (*kw_functab_fn)(void);

typedef struct kw_functab {
  int32_t key;
  kw_functab_fn function;
} kw_functab;

/* The function of the first pair with `key` before the first null function,
 * or null. */
KW_API kw_functab_fn find_func_in_functab_by_key(const kw_functab *table, int32_t key);
/* The function of table[key] when that pair carries `key`; otherwise the
 * misplaced pair is reported and the table is scanned up to the pair of key
 * -1. Null when not found (or for a null table). */
KW_API kw_functab_fn get_func_from_functab(const kw_functab *table, int32_t key);
/* A new xar holding the pairs up to and including the first with a null
 * function; null for a null table. Freed with xar_free. */
KW_API kw_functab *functab_to_xarray(const kw_functab *table);

KW_END_DECLS

#endif /* KEELWORK_FUNCTAB_H */
