// The function-binding table: names ordered case-insensitively in a
// red-black tree, each with a primary and a secondary slot.
#include <cstdint>
#include <cstring>

#include "keelwork/bind.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/rbtree.h"
#include "keelwork/runmode.h"
#include "keelwork/vexformat.h"

struct vex_func_table {
  rbtree *tree;
  memzone *zone;  // entries are carved from here and never released
};

namespace {

struct Slot {
  int32_t bound;
  vex_func address;
};

// The name comes first, so an entry compares like its name and a bare name
// serves as the lookup key.
struct Entry {
  char name[VEX_BIND_NAME_MAX + 1];
  Slot slots[2];
};

constexpr int kTreeHint = 500;
constexpr size_t kZoneChunk = 8192;
constexpr int kRunModeWarnCalls = 4321;

// Calls to an unbound name land here, whatever the caller's signature: the
// arguments are ignored and 0 comes back in the integer result register.
intptr_t default_function() { return 0; }

vex_func_table *g_table = nullptr;  // the process-wide table

int compare_names(const void *a, const void *b) {
  if (a == b) return 0;
  if (!a) return -1;
  if (!b) return 1;
  return btk_strncasecmp(static_cast<const char *>(a), static_cast<const char *>(b),
                         VEX_BIND_NAME_MAX);
}

vex_func_table *new_table() {
  auto *table = static_cast<vex_func_table *>(getmem(sizeof(vex_func_table)));
  table->tree = new_rbtree(kTreeHint);
  table->zone = alloc_zone(nullptr, kZoneChunk, 0);
  return table;
}

Entry *find_entry(const vex_func_table *table, const char *name) {
  if (!table || !name) return nullptr;
  btree_node *node = btree_lookup(table->tree, name, compare_names);
  return node ? static_cast<Entry *>(node->data) : nullptr;
}

Entry *add_func_def_entry(vex_func_table *table, const char *name) {
  if (!table) {
    dbg_err_crash("add_func_def_entry", "NULL p_func_table");
    return nullptr;
  }
  auto *entry = static_cast<Entry *>(zone_getmem(table->zone, sizeof(Entry)));
  std::memset(entry, 0, sizeof(Entry));
  std::strncpy(entry->name, name, VEX_BIND_NAME_MAX);
  // Callers look the name up first, so the insertion finds no equal entry.
  insert_data_into_rbtree(table->tree, entry, compare_names);
  return entry;
}

bool valid_slot(int slot) { return slot == VEX_BIND_PRIMARY || slot == VEX_BIND_SECONDARY; }

}  // namespace

KW_API int vex_bind_tool(vex_func_table **table, const char *name, int slot, vex_func function,
                         int force, int create, int *was_bound, vex_func *old) {
  static const char kWhere[] = "vex_bind_tool";
  if (was_bound) *was_bound = 0;
  if (old) *old = nullptr;
  if (!table) {
    dbg_err_crash(kWhere, "NULL p_func_table");
    return 0;
  }
  if (!valid_slot(slot)) {
    dbg_err_crash(kWhere, "invalid slot %d", slot);
    return 0;
  }
  if (!name) return 0;
  Entry *entry = find_entry(*table, name);
  if (!entry) {
    if (!create) return 0;
    if (!*table) *table = new_table();
    entry = add_func_def_entry(*table, name);
    if (!entry) return 0;
  }
  Slot &s = entry->slots[slot];
  if (was_bound) *was_bound = s.bound;
  if (old) *old = s.bound ? s.address : nullptr;
  if (s.bound && !force) return 0;
  s.bound = 1;
  s.address = function;
  return 1;
}

KW_API int vex_call_tool(const vex_func_table *table, const char *name, int slot,
                         vex_func **slot_address) {
  if (slot_address) *slot_address = nullptr;
  Entry *entry = valid_slot(slot) ? find_entry(table, name) : nullptr;
  if (!entry) return 0;
  if (slot_address) *slot_address = &entry->slots[slot].address;
  return 1;
}

KW_API int vex_is_bound_(const vex_func_table *table, const char *name, int slot) {
  Entry *entry = valid_slot(slot) ? find_entry(table, name) : nullptr;
  return entry && entry->slots[slot].bound ? 1 : 0;
}

KW_API int vex_print_bind_table_(const vex_func_table *table) {
  if (!table) return -1;
  auto state = [](const Slot &s) { return s.bound ? "LOADED" : "NOT LOADED"; };
  auto address = [](const Slot &s) {
    return s.bound ? static_cast<unsigned long>(reinterpret_cast<uintptr_t>(s.address)) : 0UL;
  };
  int printed = 0;
  for (btree_node *node = next_btree_node(table->tree, nullptr, KW_BTREE_NEXT); node;
       node = next_btree_node(table->tree, node, KW_BTREE_NEXT)) {
    const auto *entry = static_cast<const Entry *>(node->data);
    const Slot &p = entry->slots[VEX_BIND_PRIMARY];
    const Slot &s = entry->slots[VEX_BIND_SECONDARY];
    vex_printf("  \"%s\" - PRIMARY %s at addr 0x%lx , SECONDARY %s at addr 0x%lx\n", entry->name,
               state(p), address(p), state(s), address(s));
    ++printed;
  }
  return printed;
}

KW_API int vex_bind(const char *name, vex_func function) {
  int was_bound = 0;
  if (vex_bind_tool(&g_table, name, VEX_BIND_PRIMARY, function, 0, 1, &was_bound, nullptr))
    return 1;
  if (was_bound && !user_run_mode())
    vex_printf("W : vex_bind : attempt to bind function \"%s\" , which is already bound\n", name);
  return 0;
}

KW_API int vex_rebind(const char *name, vex_func function, vex_func *old) {
  int was_bound = 0;
  int bound = vex_bind_tool(&g_table, name, VEX_BIND_PRIMARY, function, 1, 1, &was_bound, old);
  if (bound && !was_bound && !user_run_mode())
    vex_printf("W : vex_rebind :  function \"%s\" , which wasn't bound is rebound\n", name);
  return bound;
}

KW_API vex_func vex_call(const char *name) {
  const Entry *entry = find_entry(g_table, name);
  const Slot *s = entry ? &entry->slots[VEX_BIND_PRIMARY] : nullptr;
  if (s && s->bound && s->address) return s->address;
  if ((!s || !s->bound) && get_run_mode() == kRunModeWarnCalls)
    vex_printf("W : vex_call : attempt to use  function \"%s\" , which wasn't bound\n",
               name ? name : "(null)");
  return vex_call_get_default();
}

KW_API int vex_is_bound(const char *name) { return vex_is_bound_(g_table, name, VEX_BIND_PRIMARY); }

KW_API vex_func vex_call_get_default(void) { return reinterpret_cast<vex_func>(default_function); }

KW_API void lock_vex_func_table(void) {}

KW_API void unlock_vex_func_table(void) {}
