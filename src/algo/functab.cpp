// Function tables: (key, function) pairs.
#include "keelwork/functab.h"
#include "algo/algo_internal.h"

KW_API kw_functab_fn find_func_in_functab_by_key(const kw_functab *table, int32_t key) {
  if (!table) return nullptr;
  for (; table->function; ++table)
    if (table->key == key) return table->function;
  return nullptr;
}

KW_API kw_functab_fn get_func_from_functab(const kw_functab *table, int32_t key) {
  if (!table) return nullptr;
  if (key >= 0 && table[key].key == key) return table[key].function;
  if (key >= 0)
    dbg_err_crash("get_func_from_functab", "%s", "functable[key].key != key:  fix the fucntable.");
  for (; table->key != -1; ++table)
    if (table->key == key) return table->function;
  return nullptr;
}

KW_API kw_functab *functab_to_xarray(const kw_functab *table) {
  if (!table) return nullptr;
  int n = 0;
  while (table[n].function) ++n;
  auto *copy = static_cast<kw_functab *>(xar_alloc(0, sizeof(kw_functab), 8));
  xar_append(&copy, n + 1, table);
  return copy;
}
