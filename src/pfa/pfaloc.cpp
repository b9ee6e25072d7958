// The registry of location types: sixteen tables of method slots, their
// registration under one mutex, and the dispatch of a call on a file to its
// location's method (following substitutes for the stream slots).
#include <array>
#include <atomic>
#include <cstring>

#include "keelwork/debug.h"
#include "keelwork/pfa.h"
#include "keelwork/pfaloc.h"
#include "keelwork/runmode.h"
#include "pfa/pfa_internal.h"
#include "runtime/runtime_internal.h"

namespace kw::pfa {
namespace {

constexpr const char *kTypeNames[PFA_LOC_TYPE_COUNT] = {
    "NoLocation", "PfaStdFilesystem", "UniFilesystem", "PfaWorkspace",
    "PfaUNC",     "PfaInSession",     "PfaQuillbay",   "PfaList",
    "PfaStdio",   "PfaCommonspace",   "PfaFavorites",  "PfaZip",
    "PfaIdeas",   "PfaSearch",        "PfaTryOut",     "PfaSandbox"};

struct SlotInfo {
  const char *name;
  int sequence;
  bool substitute;
};

constexpr SlotInfo kSlots[PFALOC_SLOT_COUNT] = {
#define KW_SLOT_ROW(slot, method, seq, subst) {#method, PLM_CALL_##seq, subst != 0},
    PFALOC_SLOT_LIST(KW_SLOT_ROW)
#undef KW_SLOT_ROW
};

constexpr const char *kSequenceNames[PLM_CALL_COUNT] = {
#define KW_SEQ_ROW(code, name, mparams, cparams, args, after) "PLM_CALL_" #name,
    PFALOC_SEQUENCE_LIST(KW_SEQ_ROW)
#undef KW_SEQ_ROW
};

constexpr bool kTakesStream[PLM_CALL_COUNT] = {
#define KW_SEQ_L(code, name, mparams, cparams, args, after) (#name[0] == 'F' && #name[1] == 'L'),
    PFALOC_SEQUENCE_LIST(KW_SEQ_L)
#undef KW_SEQ_L
};

constexpr bool slots_in_order() {
  int i = 0;
#define KW_SLOT_CHECK(slot, method, seq, subst) \
  if (slot != i++) return false;
  PFALOC_SLOT_LIST(KW_SLOT_CHECK)
#undef KW_SLOT_CHECK
  return i == PFALOC_SLOT_COUNT;
}
static_assert(slots_in_order(), "the slot list must hold slots 0..97 in order");

struct LocationType {
  std::atomic<int32_t> index{0};
  std::array<std::atomic<pfaloc_method>, PFALOC_SLOT_COUNT> slots{};
};

// Lookups read without a lock; slots change only while registering.
LocationType g_types[PFA_LOC_TYPE_COUNT];
std::atomic<bool> g_any_registered{false};
// Bit t: type t is registered and has a PfaClaimLocation method.
std::atomic<uint32_t> g_claim_mask{0};

// Counts changes of any slot, so that callers may keep answers derived
// from the tables until the next change.
std::atomic<uint32_t> g_generation{0};

void update_claim_mask(int t) {
  g_generation.fetch_add(1, std::memory_order_acq_rel);
  uint32_t bit = 1u << t;
  bool has = g_types[t].index.load(std::memory_order_acquire) == t && t != 0 &&
             g_types[t].slots[PFALOC_PfaClaimLocation].load(std::memory_order_acquire);
  if (has)
    g_claim_mask.fetch_or(bit, std::memory_order_release);
  else
    g_claim_mask.fetch_and(~bit, std::memory_order_release);
}
runtime::LazyMutex g_registry_lock;
int g_open_type = 0;  // guarded by g_registry_lock

bool registered(int t) {
  return t >= 0 && t < PFA_LOC_TYPE_COUNT &&
         g_types[t].index.load(std::memory_order_acquire) == t && (t != 0);
}

const char *type_name(int t) { return t >= 0 && t < PFA_LOC_TYPE_COUNT ? kTypeNames[t] : "?"; }

int access_always_zero(vex_file *, int, int) { return 0; }

// The open type is locked from setup or append until setup(0).
bool check_open(const char *where, int t) {
  if (t < 0 || t >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "args out of range");
    return false;
  }
  if (g_open_type != t) {
    if (g_open_type == 0)
      dbg_err_crash(where, "not currently registering %s", type_name(t));
    else
      dbg_err_crash(where, "registry open for type %s, not type %s", type_name(g_open_type),
                    type_name(t));
    return false;
  }
  return true;
}

// The cold ends of a call's dispatch, kept out of its common path.
[[gnu::noinline, gnu::cold]] void report_undefined(int t, int slot) {
  dbg_err_syserr("pfaloc_get_func_low", "calling undefined %s method for %s", kSlots[slot].name,
                 type_name(t));
}

[[gnu::noinline, gnu::cold]] void report_no_stream() {
  dbg_err_crash("pfaloc_prepare_call", "pfa_stream missing");
}

// A call with a substitute or with arguments that may be wrong: every check
// in order, each failure reported.
[[gnu::noinline]] pfaloc_method prepare_checked(vex_file **f, int slot, int sequence) {
  vex_file *target = nullptr;
  pfaloc_method fn = pfaloc_get_func(f ? *f : nullptr, slot, sequence, &target);
  if (!fn) return nullptr;
  // Sequences that start "FL" hand the method the file's own stream.
  if (kTakesStream[sequence] && sequence != PLM_CALL_FLFIIIPPP && !target->stream) {
    report_no_stream();
    return nullptr;
  }
  *f = target;
  return fn;
}

}  // namespace

uint32_t claim_mask() { return g_claim_mask.load(std::memory_order_acquire); }

pfaloc_method claim_method(int t) {
  return g_types[t].slots[PFALOC_PfaClaimLocation].load(std::memory_order_acquire);
}

uint32_t registry_generation() { return g_generation.load(std::memory_order_acquire); }

pfaloc_method slot_method(int t, int slot) {
  return g_types[t].slots[slot].load(std::memory_order_acquire);
}

int device_idx(const vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaDeviceIdx, const_cast<vex_file *>(f));
  return r >= 0 && r <= 2 ? r : 1;
}
int host_idx(const vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaHostIdx, const_cast<vex_file *>(f));
  return r >= 0 && r <= 2 ? r : 0;
}
int path_idx(const vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaPathIdx, const_cast<vex_file *>(f));
  return r >= 0 && r <= 2 ? r : 2;
}

thread_local pfa_stream t_private_stream{};

}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int pfa_loc_register_setup(int t) {
  const char *where = "pfa_loc_register_setup";
  if (t == 0) {
    if (g_open_type == 0) {
      dbg_err_crash(where, "closing unopened registry");
      return 0;
    }
    g_open_type = 0;
    g_registry_lock.unlock();
    return 1;
  }
  if (t < 1 || t >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "invalid type index %d", t);
    return 0;
  }
  g_registry_lock.lock();
  if (registered(t)) {
    dbg_err_crash(where, "type %s (%d) already registered", type_name(t), t);
    g_registry_lock.unlock();
    return 0;
  }
  if (g_open_type != 0) {
    // The same thread left another type open: close it first.
    g_registry_lock.unlock();
  }
  g_open_type = t;
  g_types[t].index.store(t, std::memory_order_release);
  g_any_registered.store(true, std::memory_order_release);
  update_claim_mask(t);
  return 1;
}

int pfa_loc_register_append(int t) {
  const char *where = "pfa_loc_register_append";
  if (!g_any_registered.load(std::memory_order_acquire)) {
    dbg_err_crash(where, "no known locations");
    return 0;
  }
  if (t < 1 || t >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "invalid type index %d", t);
    return 0;
  }
  if (!registered(t)) {
    dbg_err_crash(where, "type index %d not registered", t);
    return 0;
  }
  g_registry_lock.lock();
  if (g_open_type != 0) g_registry_lock.unlock();
  g_open_type = t;
  return 1;
}

int pfa_loc_method_register(int t, int slot, int sequence, pfaloc_method fn) {
  const char *where = "pfa_loc_method_register";
  if (slot < 0 || slot >= PFALOC_SLOT_COUNT || t < 0 || t >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "invalid input");
    return 0;
  }
  if (!check_open(where, t)) return 0;
  if (sequence < 0 || sequence >= PLM_CALL_COUNT) {
    dbg_err_crash(where, "unknown calling sequence code %d", sequence);
    return 0;
  }
  if (sequence != kSlots[slot].sequence) {
    dbg_err_crash(where, "%s should be %s, not %s", kSlots[slot].name,
                  kSequenceNames[kSlots[slot].sequence], kSequenceNames[sequence]);
    return 0;
  }
  g_types[t].slots[slot].store(fn, std::memory_order_release);
  update_claim_mask(t);
  return 1;
}

int pfa_loc_method_unregister(int t, int slot) {
  const char *where = "pfa_loc_method_unregister";
  if (slot < 0 || slot >= PFALOC_SLOT_COUNT || t < 0 || t >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "invalid input");
    return 0;
  }
  if (!check_open(where, t)) return 0;
  g_types[t].slots[slot].store(nullptr, std::memory_order_release);
  update_claim_mask(t);
  return 1;
}

int pfa_loc_type_inherit_methods(int t, int from) {
  const char *where = "pfa_loc_type_inherit_methods";
  if (from < 0 || from >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "args out of range");
    return 0;
  }
  if (!check_open(where, t)) return 0;
  if (!registered(from)) {
    dbg_err_crash(where, "can't inherit methods from as-yet-unregistered %s", type_name(from));
    return 0;
  }
  for (int s = 0; s < PFALOC_SLOT_COUNT; ++s)
    g_types[t].slots[s].store(g_types[from].slots[s].load(std::memory_order_acquire),
                              std::memory_order_release);
  update_claim_mask(t);
  return 1;
}

int pfa_loc_type_inherit_method(int t, int from, int slot) {
  const char *where = "pfa_loc_type_inherit_methods";
  if (from < 0 || from >= PFA_LOC_TYPE_COUNT || slot < 0 || slot >= PFALOC_SLOT_COUNT) {
    dbg_err_crash(where, "args out of range");
    return 0;
  }
  if (!check_open(where, t)) return 0;
  if (!registered(from)) {
    dbg_err_crash(where, "can't inherit methods from as-yet-unregistered %s", type_name(from));
    return 0;
  }
  pfaloc_method fn = g_types[from].slots[slot].load(std::memory_order_acquire);
  g_types[t].slots[slot].store(fn, std::memory_order_release);
  update_claim_mask(t);
  return fn != nullptr;
}

int pfa_location_unregister(int t) {
  const char *where = "pfa_location_unregister";
  if (!registered(t)) {
    dbg_err_crash(where, "type index %d not registered", t);
    return 0;
  }
  kw::runtime::LazyLock lock(g_registry_lock);
  for (int s = 0; s < PFALOC_SLOT_COUNT; ++s)
    if (s != PFALOC_PfaClaimLocation) g_types[t].slots[s].store(nullptr, std::memory_order_release);
  g_types[t].slots[PFALOC_PfaAccess].store(reinterpret_cast<pfaloc_method>(&access_always_zero),
                                           std::memory_order_release);
  update_claim_mask(t);
  return 1;
}

int pfa_location_type_registered(int t) { return registered(t) ? 1 : 0; }

const char *pfaloc_type_name(int t) { return type_name(t); }
const char *pfaloc_slot_name(int slot) {
  return slot >= 0 && slot < PFALOC_SLOT_COUNT ? kSlots[slot].name : "?";
}
const char *pfaloc_sequence_name(int sequence) {
  return sequence >= 0 && sequence < PLM_CALL_COUNT ? kSequenceNames[sequence] : "?";
}
int pfaloc_slot_sequence(int slot) {
  return slot >= 0 && slot < PFALOC_SLOT_COUNT ? kSlots[slot].sequence : -1;
}
int pfaloc_slot_uses_substitute(int slot) {
  return slot >= 0 && slot < PFALOC_SLOT_COUNT && kSlots[slot].substitute ? 1 : 0;
}

pfaloc_method pfaloc_get_func_low(int loc_type, int slot, int sequence) {
  const char *where = "pfaloc_get_func_low";
  if (slot < 0 || slot >= PFALOC_SLOT_COUNT) {
    dbg_err_crash(where, "no such method %d", slot);
    return nullptr;
  }
  if (sequence != kSlots[slot].sequence) {
    dbg_err_crash(where, "tried to call %s with attrs %d", kSlots[slot].name, sequence);
    return nullptr;
  }
  if (loc_type < 0 || loc_type >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash(where, "unknown location type %d (out of range)", loc_type);
    return nullptr;
  }
  pfaloc_method fn = g_types[loc_type].slots[slot].load(std::memory_order_acquire);
  if (!fn && loc_type != 0 && is_run_mode(9998)) report_undefined(loc_type, slot);
  return fn;
}

pfaloc_method pfaloc_get_func(vex_file *f, int slot, int sequence, vex_file **target) {
  const char *where = "pfaloc_get_func";
  if (target) *target = nullptr;
  if (!valid(f)) return nullptr;
  // Follow substitutes for the slots that use them; a bounded walk keeps a
  // chain that loops back on itself from hanging the caller.
  for (int depth = 0; (f->flags & PFA_F_SUBSTITUTE) && depth < 64; ++depth) {
    if (slot < 0 || slot >= PFALOC_SLOT_COUNT) {
      dbg_err_crash(where, "no such method %d", slot);
      return nullptr;
    }
    if (!kSlots[slot].substitute) break;
    if (!f->stream) {
      dbg_err_crash(where, "pfa_stream missing");
      return nullptr;
    }
    vex_file *sub = static_cast<vex_file *>(f->stream->handle);
    if (!valid(sub)) return nullptr;
    f = sub;
  }
  if (f->flags & PFA_F_SUBSTITUTE && slot >= 0 && slot < PFALOC_SLOT_COUNT &&
      kSlots[slot].substitute)
    return nullptr;  // a substitute chain that does not end
  pfaloc_method fn = pfaloc_get_func_low(f->loc_type, slot, sequence);
  if (fn && target) *target = f;
  return fn;
}

pfaloc_method pfaloc_prepare_call(vex_file **f, int slot, int sequence) {
  // The common call, answered from the type's table in place: a valid file
  // without a substitute, a slot in range called with its own sequence and
  // a type in range. Everything else takes the checked path, which reports
  // each misuse.
  vex_file *g = f ? *f : nullptr;
  if (!valid(g) || (g->flags & PFA_F_SUBSTITUTE) ||
      static_cast<unsigned>(slot) >= PFALOC_SLOT_COUNT || kSlots[slot].sequence != sequence ||
      static_cast<unsigned>(g->loc_type) >= PFA_LOC_TYPE_COUNT)
    return prepare_checked(f, slot, sequence);
  pfaloc_method fn = g_types[g->loc_type].slots[slot].load(std::memory_order_acquire);
  if (!fn) {
    // The run mode is asked only here, where it decides on a report.
    if (g->loc_type != 0 && is_run_mode(9998)) report_undefined(g->loc_type, slot);
    return nullptr;
  }
  if (kTakesStream[sequence] && sequence != PLM_CALL_FLFIIIPPP && !g->stream) {
    report_no_stream();
    return nullptr;
  }
  return fn;
}

pfa_stream *pfaloc_stream_of(const vex_file *f) { return valid(f) ? f->stream : nullptr; }

pfa_stream *pfaloc_lend_stream(pfa_stream *given) {
  if (given) return given;
  t_private_stream = pfa_stream{};
  return &t_private_stream;
}

void pfaloc_check_lent(const pfa_stream *given, const char *where) {
  static const pfa_stream zero{};
  if (!given && std::memcmp(&t_private_stream, &zero, sizeof zero) != 0)
    dbg_err_crash(where, "stream not provided by caller but modified by function");
}

// ---- predicates and pass-throughs ------------------------------------------------

int pfaloc_supports_method(vex_file *f, int slot) {
  if (!valid(f)) return 0;
  if (f->loc_type < 0 || f->loc_type >= PFA_LOC_TYPE_COUNT) {
    dbg_err_crash("pfaloc_supports_method", "unknown location type %d (out of range)", f->loc_type);
    return 0;
  }
  if (slot < 0 || slot >= PFALOC_SLOT_COUNT) return 0;
  if (!g_types[f->loc_type].slots[slot].load(std::memory_order_acquire)) return 0;
  int r = pfaloc_call_FI(PFALOC_PfaLocSupportsMethod, f, slot);
  return r == -1 ? 1 : (r != 0);
}

int pfaloc_is_case_sensitive(vex_file *f) {
  if (!valid(f)) return 0;
  int r = pfaloc_call_F(PFALOC_PfaCaseSensitiveLoc, f);
  if (r != -1) return r != 0;
  char value[PFA_NAME_SIZE] = {0};
  if (pfaloc_call_FIP(PFALOC_PfaGetProperty, f, 11, value) == 0 && value[0])
    return std::strcmp(value, "true") == 0;
  return 1;
}

int pfaloc_is_transient(vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaLocIsTransient, f);
  return r == -1 ? 0 : (r != 0);
}

static int versioning(vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaLocGetVersioning, f);
  return r == -1 ? 0x3 : r;
}
int pfaloc_allows_multiple_versions(vex_file *f) { return (versioning(f) & 0x1) != 0; }
int pfaloc_allows_numeric_versions(vex_file *f) { return (versioning(f) & 0x2) != 0; }
int pfaloc_allows_string_versions(vex_file *f) { return (versioning(f) & 0x4) != 0; }

int pfaloc_forbids_TARVO5(vex_file *f) {
  return pfaloc_call_F(PFALOC_PfaLocDisallowsTARVO, f) == 0;
}
int pfaloc_uses_instance_index(vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaLocUsesInstIndex, f);
  return r == -1 ? 0 : (r != 0);
}
int pfaloc_is_logical_offline(vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaLocIsLogicalOffline, f);
  return r == -1 ? 0 : (r != 0);
}
int pfa_is_remote_mounted(vex_file *f) {
  int r = pfaloc_call_F(PFALOC_PfaIsRemoteMounted, f);
  return r == -1 ? 0 : (r != 0);
}
int pfa_get_property(vex_file *f, int key, void *value) {
  return pfaloc_call_FIP(PFALOC_PfaGetProperty, f, key, value);
}

static bool pdm_scheme(vex_file *f, std::initializer_list<const char *> schemes) {
  if (!valid(f) || f->loc_type != PFA_LOC_UNI_FS) return false;
  char buf[PFA_NAME_SIZE];
  if (pfaloc_call_FPPS(PFALOC_PfaGetLocationString, f, buf, nullptr, sizeof buf) != 0) return false;
  for (const char *s : schemes)
    if (std::strncmp(buf, s, std::strlen(s)) == 0) return true;
  return false;
}
int pfaloc_is_pdm_system(vex_file *f) {
  return pdm_scheme(f, {"lhp:", "awws:", "awcs:", "lhws:", "lhpub:"});
}
int pfaloc_is_pdm_workspace(vex_file *f) { return pdm_scheme(f, {"lhp:", "awws:", "lhws:"}); }
int pfaloc_is_archway3_pdm(vex_file *f) { return pdm_scheme(f, {"awws:", "awcs:"}); }
int pfaloc_is_plankyard(vex_file *f) { return pdm_scheme(f, {"lhp:"}); }
int pfaloc_is_ledgerhall(vex_file *f) { return pdm_scheme(f, {"lhws:", "lhpub:"}); }

static int or_default(int r, int dflt) { return r == -1 ? dflt : r; }
int pfaloc_get_transaction_owner(vex_file *f, vex_file *owner) {
  return or_default(pfaloc_call_FF(PFALOC_PfaGetTransactionOwner, f, owner), 2);
}
int pfaloc_open_transaction(vex_file *f, int kind, void *hints) {
  return or_default(pfaloc_call_FIP(PFALOC_PfaOpenTransaction, f, kind, hints), 0);
}
int pfaloc_add_transaction_hints(vex_file *f, int kind, void *hints) {
  return or_default(pfaloc_call_FIP(PFALOC_PfaAddTransactionHints, f, kind, hints), 0);
}
int pfaloc_test_transaction(vex_file *f, int kind, void *a, void *b, void *c) {
  return or_default(pfaloc_call_FIPPP(PFALOC_PfaTestTransaction, f, kind, a, b, c), 0);
}
int pfaloc_close_transaction(vex_file *f, int kind, void *a, void *b) {
  return or_default(pfaloc_call_FIPP(PFALOC_PfaCloseTransaction, f, kind, a, b), 0);
}
int pfaloc_txnmsg_getinfo(vex_file *f, void *msg, void *a, void *b, void *c) {
  return or_default(pfaloc_call_PPPP(PFALOC_PfaTxnMsgGetInfo, f, msg, a, b, c), 0);
}
int pfaloc_txnmsg_free(vex_file *f, void *msg) {
  return or_default(pfaloc_call_P(PFALOC_PfaTxnMsgFree, f, msg), 0);
}
int pfaloc_supports_ugc_tag_hints(vex_file *f) {
  return pfaloc_call_FIP(PFALOC_PfaLocUgcTagHint, f, 0, nullptr);
}
int pfaloc_put_ugc_tag_hints(vex_file *f, int kind, void *hints) {
  return pfaloc_call_FIP(PFALOC_PfaLocUgcTagHint, f, kind, hints);
}
int pfaloc_ugc_tag_control(vex_file *f, int kind, void *data) {
  return pfaloc_call_FIP(PFALOC_PfaLocUGCTagControl, f, kind, data);
}

#define KW_TXN_SETTER(field, type)                             \
  type pfaloc_txnhint_set_##field(pfaloc_txnhint *h, type v) { \
    if (!h) return 0;                                          \
    type old = h->field;                                       \
    h->field = v;                                              \
    return old;                                                \
  }
KW_TXN_SETTER(mode, int32_t)
KW_TXN_SETTER(transdir, int32_t)
KW_TXN_SETTER(overconf, int32_t)
KW_TXN_SETTER(retrmode, int32_t)
KW_TXN_SETTER(file_retrmode, int32_t)
KW_TXN_SETTER(file_retrmode_ncb, int32_t)
KW_TXN_SETTER(accdownload, int32_t)
KW_TXN_SETTER(batchopstart, int32_t)
KW_TXN_SETTER(batchopend, int32_t)
KW_TXN_SETTER(copy_associates, int32_t)
KW_TXN_SETTER(update_pdm_state, int32_t)
KW_TXN_SETTER(top_object, vex_file *)
KW_TXN_SETTER(file, vex_file *)
KW_TXN_SETTER(second, vex_file *)
#undef KW_TXN_SETTER

}  // extern "C"
