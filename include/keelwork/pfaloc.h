/* Location types: the method tables that tell the file layer how to parse,
 * print, open, list and manage the names of one kind of location.
 *
 * A location type is an index 1..15 into a registry of sixteen tables of 98
 * method slots (index 0 stands for no location). Every slot has a fixed
 * calling sequence (pfaloc_slots.h); a method is registered and called with
 * exactly that sequence, which is checked at both ends. The library
 * registers the standard file system (1), the UNC file system (4) and the
 * process's standard streams (8) on the first pfa_alloc_vex_file; other
 * modules register their data-management locations the same way:
 *
 *   pfa_loc_register_setup(t);               // open type t (1..15, free)
 *   pfa_loc_method_register_FPPP(t, PFALOC_PfaClaimLocation, my_claim);
 *   ...                                      // slots 0..5 and 84 at least
 *   pfa_loc_register_setup(0);               // close the registry
 *
 * Errors: registration functions answer 1 on success and 0 on refusal; each
 * misuse is reported through dbg_err_crash with the operation as `where` and
 * leaves the registry unchanged. A missing method is not an error: the call
 * wrappers answer -1 and every predicate below its documented default.
 *
 * Threads: registration is serialised by one mutex held from
 * pfa_loc_register_setup(t) (or _append) until pfa_loc_register_setup(0).
 * Lookups take no lock: slots change only while registering, at start-up.
 */
#ifndef KEELWORK_PFALOC_H
#define KEELWORK_PFALOC_H

#include "kw_base.h"
#include "pfaloc_slots.h"

KW_BEGIN_DECLS

typedef struct vex_file vex_file;
/* The stream record of an open file; its first word is the location's
 * handle (for a file with a substitute, the substitute vex_file). */
typedef struct pfa_stream pfa_stream;

/* Location type indexes. */
enum {
  PFA_LOC_NONE = 0,
  PFA_LOC_STD_FS = 1,
  PFA_LOC_UNI_FS = 2,
  PFA_LOC_WORKSPACE = 3,
  PFA_LOC_UNC = 4,
  PFA_LOC_IN_SESSION = 5,
  PFA_LOC_QUILLBAY = 6,
  PFA_LOC_LIST = 7,
  PFA_LOC_STDIO = 8,
  PFA_LOC_COMMONSPACE = 9,
  PFA_LOC_FAVORITES = 10,
  PFA_LOC_ZIP = 11,
  PFA_LOC_IDEAS = 12,
  PFA_LOC_SEARCH = 13,
  PFA_LOC_TRYOUT = 14,
  PFA_LOC_SANDBOX = 15,
  PFA_LOC_TYPE_COUNT = 16
};

#define PFALOC_PASTE_(a, b) a##b
#define PFALOC_UNPAREN_(...) __VA_ARGS__

/* Calling sequences: PLM_CALL_F = 0 ... PLM_CALL_FIIIPP = 35. */
enum pfaloc_sequence {
#define PFALOC_SEQ_ENUM_(code, name, mparams, cparams, args, after) \
  PFALOC_PASTE_(PLM_CALL_, name) = code,
  PFALOC_SEQUENCE_LIST(PFALOC_SEQ_ENUM_)
#undef PFALOC_SEQ_ENUM_
      PLM_CALL_COUNT = 36
};

/* Method slots: PFALOC_PfaDeviceIdx = 0 ... PFALOC_PfaGetIconPaths = 97. */
enum pfaloc_slot {
#define PFALOC_SLOT_ENUM_(slot, method, seq, subst) PFALOC_PASTE_(PFALOC_, method) = slot,
  PFALOC_SLOT_LIST(PFALOC_SLOT_ENUM_)
#undef PFALOC_SLOT_ENUM_
      PFALOC_SLOT_COUNT = 98
};

/* A method as stored in a slot; registered through the typed helpers below
 * or cast from the type of its calling sequence. */
typedef void (*pfaloc_method)(void);

/* One pointer type per calling sequence: pfaloc_fn_F, pfaloc_fn_FPPS, ... */
#define PFALOC_SEQ_TYPEDEF_(code, name, mparams, cparams, args, after) \
  typedef int(*PFALOC_PASTE_(pfaloc_fn_, name)) mparams;
PFALOC_SEQUENCE_LIST(PFALOC_SEQ_TYPEDEF_)
#undef PFALOC_SEQ_TYPEDEF_

/* ---- the registry ---------------------------------------------------------- */

/* t in 1..15: opens type t (not registered yet) for registration; it counts
 * as registered from now on. t = 0: closes the registry. 1, or 0 when
 * refused ("type %s (%d) already registered", "invalid type index %d",
 * "closing unopened registry"). */
KW_API int pfa_loc_register_setup(int t);
/* Reopens the registered type t to add methods; closed by
 * pfa_loc_register_setup(0). 1, or 0 when refused. */
KW_API int pfa_loc_register_append(int t);
/* Stores `fn` (null clears) in `slot` of the open type t when `sequence` is
 * the slot's calling sequence. 1 when stored, else 0 (reported). */
KW_API int pfa_loc_method_register(int t, int slot, int sequence, pfaloc_method fn);
/* Clears one slot of the open type t. 1, or 0 when refused. */
KW_API int pfa_loc_method_unregister(int t, int slot);
/* Copies all 98 slots of the registered type `from` into the open type t.
 * 1, or 0 when refused. */
KW_API int pfa_loc_type_inherit_methods(int t, int from);
/* Copies one slot; 1 when the copied slot holds a method, else 0. */
KW_API int pfa_loc_type_inherit_method(int t, int from, int slot);
/* Empties every slot of the registered type t except PfaClaimLocation and
 * puts into PfaAccess a method that always answers 0: names of type t still
 * parse, every other operation answers its default. 1, or 0 when refused. */
KW_API int pfa_location_unregister(int t);
/* 1 when t is in 0..15 and registered. */
KW_API int pfa_location_type_registered(int t);
/* The built-in registrations (done once by the first pfa_alloc_vex_file;
 * a second call is refused like any double registration). 1 or 0. */
KW_API int pfa_register_std_filesystem(void);
KW_API int pfa_register_unc_filesystem(void);
KW_API int pfa_register_stdio_location(void);

/* Names for messages: "PfaUNC", "PfaClaimLocation", "PLM_CALL_FPPP"; "?"
 * out of range. */
KW_API const char *pfaloc_type_name(int t);
KW_API const char *pfaloc_slot_name(int slot);
KW_API const char *pfaloc_sequence_name(int sequence);
/* The calling sequence of a slot, -1 out of range. */
KW_API int pfaloc_slot_sequence(int slot);
/* 1 when calls of the slot on a file with a substitute go to the
 * substitute. */
KW_API int pfaloc_slot_uses_substitute(int slot);

/* ---- dispatch -------------------------------------------------------------- */

/* The method of `slot` for the location type `loc_type`, called with
 * `sequence`; null (reported) when the slot or type is out of range or the
 * sequence is not the slot's, null when the slot is empty. */
KW_API pfaloc_method pfaloc_get_func_low(int loc_type, int slot, int sequence);
/* The method for file `f`, after following its substitutes for the slots
 * that use them; `*target` (may be null) receives the file the method is to
 * be called with. Null for a null or invalid file and when there is none. */
KW_API pfaloc_method pfaloc_get_func(vex_file *f, int slot, int sequence, vex_file **target);

/* What the call wrappers below use: the method of `slot` for `*f` called
 * with `sequence`, after following substitutes (`*f` then names the file
 * the method is for); null when there is none or when the sequence takes
 * the file's stream and it has none (reported, "pfa_stream missing"). */
KW_API pfaloc_method pfaloc_prepare_call(vex_file **f, int slot, int sequence);
/* The stream attached to `f`, or null. */
KW_API pfa_stream *pfaloc_stream_of(const vex_file *f);
/* `given`, or when it is null the calling thread's private stream, zeroed. */
KW_API pfa_stream *pfaloc_lend_stream(pfa_stream *given);
/* When `given` was null: reports a private stream the method changed. */
KW_API void pfaloc_check_lent(const pfa_stream *given, const char *where);

/* Call wrappers, one per sequence: pfaloc_call_F(slot, f),
 * pfaloc_call_FPPS(slot, f, p, p, size), ... The stream of an L argument is
 * the file's own (a missing one is reported and the call refused);
 * pfaloc_call_FLFIIIPPP takes the caller's stream and, when it is null,
 * lends the method a private one that it must not change. Each returns the
 * method's answer, or -1 when there is no method. P sequences take the file
 * only to find the location. */
#define PFALOC_STREAM_OF(x) pfaloc_stream_of(x)
#define PFALOC_CALLER_STREAM(x) pfaloc_lend_stream(x)
#define PFALOC_SEQ_CALL_(code, name, mparams, cparams, args, after)                        \
  static inline int PFALOC_PASTE_(pfaloc_call_, name)(int slot, PFALOC_UNPAREN_ cparams) { \
    pfaloc_method m_ = pfaloc_prepare_call(&f, slot, PFALOC_PASTE_(PLM_CALL_, name));      \
    int r_;                                                                                \
    if (!m_) return -1;                                                                    \
    r_ = ((PFALOC_PASTE_(pfaloc_fn_, name))m_)args;                                        \
    PFALOC_UNPAREN_ after;                                                                 \
    return r_;                                                                             \
  }
PFALOC_SEQUENCE_LIST(PFALOC_SEQ_CALL_)
#undef PFALOC_SEQ_CALL_

/* Typed registration: pfa_loc_method_register_FPPP(t, slot, fn) checks the
 * method's C type against the sequence at compile time. */
#define PFALOC_SEQ_REG_(code, name, mparams, cparams, args, after)                              \
  static inline int PFALOC_PASTE_(pfa_loc_method_register_, name)(                              \
      int t, int slot, PFALOC_PASTE_(pfaloc_fn_, name) fn) {                                    \
    return pfa_loc_method_register(t, slot, PFALOC_PASTE_(PLM_CALL_, name), (pfaloc_method)fn); \
  }
PFALOC_SEQUENCE_LIST(PFALOC_SEQ_REG_)
#undef PFALOC_SEQ_REG_

/* ---- predicates and pass-through operations ----------------------------------- */

/* 0 when the slot is empty; else the answer of PfaLocSupportsMethod for it
 * (1 when that method is absent). */
KW_API int pfaloc_supports_method(vex_file *f, int slot);
/* PfaCaseSensitiveLoc; without it 1 unless property 11 reads other than
 * "true". */
KW_API int pfaloc_is_case_sensitive(vex_file *f);
KW_API int pfaloc_is_transient(vex_file *f);
/* Bits 1, 2, 4 of PfaLocGetVersioning; without it (or -1): 1, 1, 0. */
KW_API int pfaloc_allows_multiple_versions(vex_file *f);
KW_API int pfaloc_allows_numeric_versions(vex_file *f);
KW_API int pfaloc_allows_string_versions(vex_file *f);
/* 1 when PfaLocDisallowsTARVO answers 0 (default 0). */
KW_API int pfaloc_forbids_TARVO5(vex_file *f);
KW_API int pfaloc_uses_instance_index(vex_file *f);
KW_API int pfaloc_is_logical_offline(vex_file *f);
/* Location type 2 whose location string begins with a data-management
 * scheme: any of them; a workspace; the legacy server; the project server;
 * the main server. */
KW_API int pfaloc_is_pdm_system(vex_file *f);
KW_API int pfaloc_is_pdm_workspace(vex_file *f);
KW_API int pfaloc_is_archway3_pdm(vex_file *f);
KW_API int pfaloc_is_plankyard(vex_file *f);
KW_API int pfaloc_is_ledgerhall(vex_file *f);
KW_API int pfa_is_remote_mounted(vex_file *f);
/* Property `key` of the file's location into `value` (the method's
 * contract; property 11 writes "true" or "false" into 260 bytes). -1 when
 * the location has no properties. */
KW_API int pfa_get_property(vex_file *f, int key, void *value);

/* Transactions of the data-management locations: the method's answer; an
 * absent method, or an answer of -1, gives 2 for the owner and 0 for the
 * others. */
KW_API int pfaloc_get_transaction_owner(vex_file *f, vex_file *owner);
KW_API int pfaloc_open_transaction(vex_file *f, int kind, void *hints);
KW_API int pfaloc_add_transaction_hints(vex_file *f, int kind, void *hints);
KW_API int pfaloc_test_transaction(vex_file *f, int kind, void *a, void *b, void *c);
KW_API int pfaloc_close_transaction(vex_file *f, int kind, void *a, void *b);
KW_API int pfaloc_txnmsg_getinfo(vex_file *f, void *msg, void *a, void *b, void *c);
KW_API int pfaloc_txnmsg_free(vex_file *f, void *msg);
/* Tag hints of the import layer: pass-through (-1 without the method). */
KW_API int pfaloc_supports_ugc_tag_hints(vex_file *f);
KW_API int pfaloc_put_ugc_tag_hints(vex_file *f, int kind, void *hints);
KW_API int pfaloc_ugc_tag_control(vex_file *f, int kind, void *data);

/* A transaction-hint record, filled by the setters below and handed to
 * pfaloc_open_transaction or pfaloc_add_transaction_hints; the fields mean
 * what the data-management location that reads them says. */
typedef struct pfaloc_txnhint {
  int32_t mode, transdir, overconf, retrmode, file_retrmode, file_retrmode_ncb;
  int32_t accdownload, batchopstart, batchopend, copy_associates, update_pdm_state;
  vex_file *top_object, *file, *second;
} pfaloc_txnhint;
/* Each stores its value and returns the previous one (0 for a null hint). */
KW_API int32_t pfaloc_txnhint_set_mode(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_transdir(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_overconf(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_retrmode(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_file_retrmode(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_file_retrmode_ncb(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_accdownload(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_batchopstart(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_batchopend(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_copy_associates(pfaloc_txnhint *h, int32_t v);
KW_API int32_t pfaloc_txnhint_set_update_pdm_state(pfaloc_txnhint *h, int32_t v);
/* Store the file and return the previous one. */
KW_API vex_file *pfaloc_txnhint_set_top_object(pfaloc_txnhint *h, vex_file *v);
KW_API vex_file *pfaloc_txnhint_set_file(pfaloc_txnhint *h, vex_file *v);
KW_API vex_file *pfaloc_txnhint_set_second(pfaloc_txnhint *h, vex_file *v);

/* ---- the standard streams and POSIX paths ------------------------------------- */

/* The POSIX path that the standard or UNC file system uses for `f` (drive
 * map KEELWORK_DRIVE_<LETTER>, UNC root KEELWORK_UNC_ROOT, default /net)
 * into `buf` of `size` bytes: 0, 2 (PFA_E_NOT_FOUND) for an unmapped drive
 * or another host, 9 for other locations or too small a buffer. */
KW_API int pfa_get_os_path(const vex_file *f, char *buf, size_t size);

KW_END_DECLS

#endif /* KEELWORK_PFALOC_H */
