/* The file object: one file or directory name split into components.
 *
 * A vex_file holds a full name in one fixed buffer of 260 bytes as six
 * components (three of location, then name, extension and string version),
 * with the object type, the numeric version, the location type, state flags,
 * the attached stream and a list of attachments. What the location part
 * means (host, device, path) is asked of the location type (pfaloc.h).
 * Full names keep one syntax on every platform ("c:\dir\a.prt.3",
 * "\\server\share\x.asm", "/////host///c/dir/", "stdio://out"): they are
 * stored in data and must parse and format the same way everywhere.
 *
 * Errors: functions return the PFA_E_* codes; a null or invalid record
 * gives PFA_E_NOT_VALID, a bad argument PFA_E_INVALID_INPUT, and predicates
 * (pfa_is_*, pfa_has_*) give 0 for an invalid record. After a failure an
 * output buffer holds an empty string unless stated.
 *
 * Memory: records come from pfa_alloc_vex_file and the pfa_alloc_* helpers
 * and are released with pfa_free_vex_file; caller buffers for names are
 * PFA_NAME_SIZE (260) bytes or wide characters unless stated; host and
 * device buffers PFA_COMPONENT_SIZE (32).
 *
 * Threads: records take no lock; one record belongs to one thread at a
 * time. The first allocation sets the layer up under a lock.
 */
#ifndef KEELWORK_PFA_H
#define KEELWORK_PFA_H

#include "kw_base.h"
#include "pfaloc.h"

KW_BEGIN_DECLS

#define PFA_MAGIC 0x886A
#define PFA_NAME_SIZE 260     /* a full name: 259 characters and the NUL */
#define PFA_COMPONENT_SIZE 32 /* host, device: 31 characters and the NUL */

/* Components. */
enum {
  PFA_LOC1 = 0,
  PFA_LOC2 = 1,
  PFA_LOC3 = 2,
  PFA_NAME = 3,
  PFA_EXT = 4,
  PFA_ITER = 5,
  PFA_COMPONENT_COUNT = 6
};

/* Flags. */
#define PFA_F_MOUNTED 0x2
#define PFA_F_OPEN 0x100
#define PFA_F_DIR_CACHED 0x200
#define PFA_F_CACHE_COPY 0x400
#define PFA_F_REMOTE_COUNTED 0x800
#define PFA_F_UI_HIDDEN 0x1000
#define PFA_F_GENERIC_NAME 0x2000
#define PFA_F_AS_ON_DISK 0x4000
#define PFA_F_MOUNT_KNOWN 0x8000
#define PFA_F_SUBSTITUTE 0x10000
#define PFA_F_OS_HIDDEN 0x20000

/* Formatting masks. */
#define PFA_M_HOST 1
#define PFA_M_DEVICE 2
#define PFA_M_PATH 4
#define PFA_M_NAME 8
#define PFA_M_EXT 16
#define PFA_M_VERSION 32
#define PFA_M_STRING_VERSION 64
#define PFA_M_ALL 127

/* Error codes. */
#define PFA_ERROR_LIST(X)    \
  X(PFA_E_NO_ERROR, 0)       \
  X(PFA_E_ERROR, 1)          \
  X(PFA_E_NOT_FOUND, 2)      \
  X(PFA_E_CANT_OPEN, 3)      \
  X(PFA_E_INVALID_NAME, 4)   \
  X(PFA_E_QUIT, 5)           \
  X(PFA_E_NO_SPACE, 6)       \
  X(PFA_E_NO_ACCESS, 7)      \
  X(PFA_E_NOT_ALLOWED, 8)    \
  X(PFA_E_INVALID_INPUT, 9)  \
  X(PFA_E_INACTIVE, 10)      \
  X(PFA_E_NOT_VALID, 11)     \
  X(PFA_E_EXIST, 12)         \
  X(PFA_E_CANT_WRITE, 13)    \
  X(PFA_E_ROOT_DIR, 14)      \
  X(PFA_E_NET_TROUBLE, 15)   \
  X(PFA_E_OUT_OF_MEMORY, 16) \
  X(PFA_E_ABORTED, 17)       \
  X(PFA_E_TOO_MANY_OPEN, 18) \
  X(PFA_E_NOT_CACHABLE, 19)

enum pfa_error {
#define PFA_ERROR_ENUM_(name, value) name = value,
  PFA_ERROR_LIST(PFA_ERROR_ENUM_)
#undef PFA_ERROR_ENUM_
};

/* The record. Fields in this order; components live in `text` back to back,
 * component k in text[ranges[k][0], ranges[k][1]). */
struct vex_file {
  uint16_t magic;           /* PFA_MAGIC while valid, 0 once released */
  char text[PFA_NAME_SIZE]; /* the components without separators */
  int16_t ranges[6][2];     /* (start, end) of each component */
  int32_t obj_type;         /* object type; -4 not yet, -5 dir, -6 untyped */
  int16_t version;          /* numeric version, 0 for none */
  uint32_t flags;           /* PFA_F_* */
  int32_t encoding;         /* encoding of the contents, -4 unknown */
  int32_t loc_type;         /* location type 0..15 */
  pfa_stream *stream;       /* the open stream, or null */
  void *appinfo;            /* attachments (xar of pfa_appinfo), or null */
};

/* One attachment. */
typedef struct pfa_appinfo {
  int32_t kind;
  intptr_t value;
} pfa_appinfo;

/* Hooks of an attachment kind: release the value of a record being released
 * or reset; copy a value into a new record's list; then, once the new list
 * is complete, adjust a copied value knowing the new record. */
typedef void (*pfa_appinfo_release)(vex_file *f, intptr_t value);
typedef intptr_t (*pfa_appinfo_copy)(intptr_t value);
typedef void (*pfa_appinfo_copy_with_file)(vex_file *copy, intptr_t *value);

/* The attachment kind the layer registers for itself (-1 until the first
 * allocation). */
KW_API int32_t pfa_layer_appinfo_kind(void);
#define pfaidx_app_id (pfa_layer_appinfo_kind())

/* ---- lifecycle ------------------------------------------------------------ */

/* A new record in the initial state: empty, obj_type -4, version 0,
 * encoding -4, loc_type 1. 0; 11 for a null address; 6 without memory. */
KW_API int pfa_alloc_vex_file(vex_file **f);
/* Resets `*f` to the initial state (attachments released first), or
 * allocates when `*f` is null. */
KW_API int pfa_recycle_vex_file(vex_file **f);
/* Releases `*f` and nulls it. Refuses (reported) an invalid record (11), an
 * open one (8) and the current-directory record (9), leaving them alone. */
KW_API int pfa_free_vex_file(vex_file **f);
/* Copies `src` into `dst` (attachments by their hooks); the copy is not
 * open, not cached and has no substitute. */
KW_API int pfa_copy_vex_file(const vex_file *src, vex_file *dst);
/* A new copy of `src`, or null. */
KW_API vex_file *pfa_make_copy(const vex_file *src);
/* New records parsed from a full name (a wide one converted first); null
 * when allocation or parsing fails. _dir forms append a '/' when the name
 * does not end in a separator; _in_dir forms resolve relative names against
 * `dir`; _nondir never makes a directory; pfa_alloc_parent gives the parent
 * of `f`. pfa_alloc_file_vers sets the version by `mode` (0 own, 1 highest,
 * 2 next) and leaves the version search's code in `*status` (may be null);
 * the record is returned whatever that code is. */
KW_API vex_file *pfa_alloc_file(const char *name);
KW_API vex_file *pfa_alloc_wfile(const kw_wchar *wname);
KW_API vex_file *pfa_alloc_dir(const char *name);
KW_API vex_file *pfa_alloc_wdir(const kw_wchar *wname);
KW_API vex_file *pfa_alloc_file_vers(const char *name, int mode, int *status);
KW_API vex_file *pfa_alloc_file_in_dir(const vex_file *dir, const char *name);
KW_API vex_file *pfa_alloc_wfile_in_dir(const vex_file *dir, const kw_wchar *wname);
KW_API vex_file *pfa_alloc_nondir_file(const char *name);
KW_API vex_file *pfa_alloc_parent(const vex_file *f);
/* 1 when `f` is a valid record. */
KW_API int pfa_is_valid(const vex_file *f);

/* Registers an attachment kind: `*id` gets the next id (0, 1, ...) unless
 * it already holds one (ids start as -1). Hooks may be null. 0, or 9 for a
 * null `id`. */
KW_API int appinfo_register_type_mt(pfa_appinfo_release release, pfa_appinfo_copy copy,
                                    pfa_appinfo_copy_with_file copy_with_file, int32_t *id);
/* The value of attachment `kind` of `f`; with `create` a zeroed one is
 * appended when missing. Null when missing (or invalid). The address is
 * valid until the next attachment is added or the list is released. */
KW_API intptr_t *pfa_find_appinfo(vex_file *f, int32_t kind, int create);

/* ---- parsing -------------------------------------------------------------- */

/* Parses a full name into an existing record. 0; 11 for an invalid record;
 * 9 for a null name, the current-directory record or a name (before or
 * after expansion) of 260 characters or more; the claim's code when no
 * location type takes the name. On failure the record is left reset. */
KW_API int pfa_parse_to_vex_file(vex_file *f, const char *name);
/* The same resolving a relative name against the directory `dir`. */
KW_API int pfa_parse_to_vex_file_in_dir(vex_file *f, const vex_file *dir, const char *name);
/* Parses trying only location type `loc_type` (-1: all). */
KW_API int parse_to_pfa(vex_file *f, int loc_type, const char *name);
/* The same with a directory mode (0 never, 1 always, other: ask the
 * location) and, with `strict_case`, the mixed-case check of the type. */
KW_API int parse_to_pfa_dirstat(vex_file *f, int loc_type, const char *name, int dir_mode,
                                int strict_case);
/* Splits the last part of `full` without a record: `dir_out` gets the text
 * up to its last separator, the rest is split into name, extension, string
 * version, version and type; `*family` is 1 for a family name. A name that
 * ends in a separator gives type -5 when `dir_if_trailing` is set. Any
 * output may be null; buffers are 260 bytes. 0, or 9. */
KW_API int pfa_parse_filename_tail(const char *full, char *dir_out, char *name_out, char *ext_out,
                                   char *rev_out, int *version, int32_t *type, int *family,
                                   int dir_if_trailing);
/* Switches of the parser; each returns the previous value. While unusual
 * revision characters are allowed, the text from the first '|' on is kept
 * from the location claim. Initial dot files are hidden (a tail starting
 * with '.' is all name) by default. */
KW_API int set_allow_unusual_revision_characters(int flag);
KW_API int set_hide_initial_dot_files(int flag);

/* ---- formatting ------------------------------------------------------------ */

/* The full name into `buf`, lowercased when the type refuses mixed case. */
KW_API int pfa_get_full_name(const vex_file *f, char *buf);
KW_API int pfa_get_full_name_mixed_case(const vex_file *f, char *buf, int lower);
/* The components of `mask` (PFA_M_*); the location bits go all or none. */
KW_API int pfa_get_full_name_low(const vex_file *f, char *buf, int lower, int mask);
KW_API int pfa_get_full_wname(const vex_file *f, kw_wchar *wbuf);
KW_API int pfa_get_full_wname_mixed_case(const vex_file *f, kw_wchar *wbuf, int lower);
/* Selected components; on the standard file system any subset of the
 * location bits. */
KW_API int pfa_get_file_name(const vex_file *f, int mask, char *buf);
KW_API int pfa_get_file_wname(const vex_file *f, int mask, kw_wchar *wbuf);
/* Prints the record on standard output (components, version, type,
 * stream, substitute). */
KW_API void dump_vex_file(const vex_file *f, const vex_file *cur_dir);
/* "PFA_E_NOT_FOUND" ...; "PFA_UNKNOWN_ERROR" for other codes. */
KW_API const char *pfa_error_to_string(int code);

/* ---- paths ----------------------------------------------------------------- */

/* Removes each named segment followed by ".." in a '/' separated path, in
 * place; 1 when it changed anything. */
KW_API int pfa_remove_redundant_updirs(char *path);
/* Joins the relative text onto the directory `dir` into `out` (location
 * only, a directory). 9 when `dir` is not a directory, 14 when ".." climbs
 * past the root, 4 when the result is 260 characters or more. */
KW_API int pfa_make_subdir(const vex_file *dir, const char *relative, vex_file *out);
/* The same writing the joined name into `buf` (260 bytes). */
KW_API int pfa_build_path(const vex_file *dir, const char *relative, char *buf);
/* Joins the location of `rel` (relative) onto the directory `dir`, in
 * `rel`. */
KW_API int pfa_concat_locations(const vex_file *dir, vex_file *rel);
/* 1 when the location of `f` does not depend on the current directory. */
KW_API int pfa_path_is_absolute(const vex_file *f);
/* 1 when the wide name parses to a relative location. */
KW_API int pfa_is_path_relative(const kw_wchar *wname);
/* The parent directory of `f` into `out` (may be `f`): 0, or 14 at a
 * root. */
KW_API int pfa_make_parent(const vex_file *f, vex_file *out);

/* ---- comparisons ------------------------------------------------------------ */

/* 1 when both name the same location (case as the location type says). */
KW_API int pfa_same_locations(const vex_file *a, const vex_file *b);
/* Orders null first, then by location type, text and version. */
KW_API int compare_vex_files(const vex_file *a, const vex_file *b);

/* ---- accessors ---------------------------------------------------------------- */

KW_API int pfa_get_host(const vex_file *f, char *buf);   /* 32 bytes */
KW_API int pfa_get_device(const vex_file *f, char *buf); /* 32 bytes */
/* The path with backslashes, ".." pairs removed; scheme paths unchanged. */
KW_API int pfa_get_path(const vex_file *f, char *buf);
/* The name; for a directory the last path segment. */
KW_API int pfa_get_name(const vex_file *f, char *buf);
KW_API int pfa_get_wname(const vex_file *f, kw_wchar *wbuf);
/* The extension; 11 when longer than 4 and than the type's extension. */
KW_API int pfa_get_extension(const vex_file *f, char *buf);
KW_API int pfa_get_wext(const vex_file *f, kw_wchar *wbuf);
/* The field, or -1 for an invalid record. */
KW_API int32_t pfa_get_obj_type(const vex_file *f);
KW_API int32_t pfa_get_version(const vex_file *f);
/* The string version; 2 when empty, 9 for bad arguments. */
KW_API int pfa_get_string_version(const vex_file *f, char *buf);
/* The attached stream's known encoding, else the field; -4 when invalid. */
KW_API int32_t pfa_get_encode(const vex_file *f);
/* Component k into `buf` of `size` bytes (9 when it does not fit). */
KW_API int pfa_get_component(const vex_file *f, int k, char *buf, int size);
KW_API int pfa_component_length(const vex_file *f, int k); /* -1 when invalid */
KW_API int pfa_has_component(const vex_file *f, int k);
/* First / last character of component k into `*c`; 2 when it is empty. */
KW_API int pfa_component_first_char(const vex_file *f, int k, char *c);
KW_API int pfa_component_last_char(const vex_file *f, int k, char *c);
/* Compare component k with `s` of `len` characters (-1: to its NUL); the
 * length decides first, then the bytes (ASCII case ignored by _u_). */
KW_API int pfa_component_strcmp(const vex_file *f, int k, const char *s, int len);
KW_API int pfa_component_u_strcmp(const vex_file *f, int k, const char *s, int len);
KW_API int pfas_component_strcmp(const vex_file *a, const vex_file *b, int k);
KW_API int pfas_component_u_strcmp(const vex_file *a, const vex_file *b, int k);
/* 1 when component k of `a` is a prefix of component k of `b`. */
KW_API int pfa_component_is_substring(const vex_file *a, const vex_file *b, int k);
/* 1 when the location is not empty; `*loc_type` (may be null) gets it. */
KW_API int pfa_has_location(const vex_file *f, int *loc_type);
KW_API int pfa_is_dir(const vex_file *f);
KW_API int pfa_is_location(const vex_file *f, int loc_type);
KW_API int pfa_file_is_open(const vex_file *f);
/* Setters: 0, 9 for text too long or bad arguments, 11 invalid. */
KW_API int pfa_put_host(vex_file *f, const char *host);
KW_API int pfa_put_device(vex_file *f, const char *device);
KW_API int pfa_put_path(vex_file *f, const char *path);
KW_API int pfa_put_name(vex_file *f, const char *name);
KW_API int pfa_put_extension(vex_file *f, const char *ext);
KW_API int pfa_put_version(vex_file *f, int version);
KW_API int pfa_put_string_version(vex_file *f, const char *rev);
KW_API int pfa_put_location(vex_file *f, const char *text, int loc_type);
KW_API int pfa_put_location_type(vex_file *f, int loc_type);
KW_API int pfa_put_wname(vex_file *f, const kw_wchar *wname);
KW_API int pfa_put_wextension(vex_file *f, const kw_wchar *wext);
KW_API int pfa_put_wlocation(vex_file *f, const kw_wchar *wtext, int loc_type);
KW_API int pfa_copy_component(const vex_file *src, vex_file *dst, int k);
/* Copies components 0..2 and the location type; 1 for an open `dst`. */
KW_API int pfa_copy_location(const vex_file *src, vex_file *dst);
/* Replaces component k with `len` bytes of `src`; with `drop_attachments`
 * the attachments are released first. 9 when the name would reach 260. */
KW_API int pfa_put_component_len(vex_file *f, int k, const char *src, int len,
                                 int drop_attachments);
/* Appends `s` to component k; 1 when the name would reach 260. */
KW_API int pfa_component_append(vex_file *f, int k, const char *s);
/* Appends `src` to `dst`, whose length `*len` tracks, within 260 bytes;
 * 1 when it does not fit (nothing appended). */
KW_API int pfa_strcat(const char *src, char *dst, int *len);
/* Flag bits: setters return the previous bit (0 or 1, -1 invalid). */
KW_API int pfa_set_mounted(vex_file *f, int on);
KW_API int pfa_is_mounted(const vex_file *f);
KW_API int pfa_set_ui_hidden_flag(vex_file *f, int on);
KW_API int pfa_get_ui_hidden_flag(const vex_file *f);
KW_API int pfa_set_OS_hidden_flag(vex_file *f, int on);
KW_API int pfa_get_OS_hidden_flag(const vex_file *f);
KW_API int pfa_set_generic_in_name(vex_file *f, int on);
KW_API int pfa_is_generic_in_name(const vex_file *f);

/* ---- object type of a record ------------------------------------------------- */

/* Derives obj_type from the extension and the name (`name_len` characters,
 * `unusual` when it holds unusual characters). */
KW_API int pfa_put_extension_to_type(vex_file *f, int name_len, int unusual);
/* Stores a type: -6 as is, -5 turns the record into a directory, another
 * type replaces the extension by its own (lower-cased with `lower`); 9 for
 * a type without extension. */
KW_API int pfa_put_obj_type(vex_file *f, int32_t type);
KW_API int pfa_put_obj_type_lower(vex_file *f, int32_t type, int lower);
/* Stores a type whose extension matches the record's; 1 (reported) when
 * it does not. */
KW_API int pfa_put_obj_type_keep_ext(vex_file *f, int32_t type);
/* 1 when the record's type refuses mixed case (1 for null). */
KW_API int pfa_no_mixed_case(const vex_file *f);
/* 0 when obj_type agrees with the name; else stores the derived type and
 * returns 1. */
KW_API int pfa_verify_obj_type(vex_file *f);

/* ---- versions ------------------------------------------------------------------ */

/* Mode 0: the record's version; 1: the highest present (the unversioned
 * file counts as 0); 2: the next one to write (1 when nothing is present, 2
 * beside a lone unversioned file). The location's PfaGetFileVersion is
 * asked first, else the file's directory is listed. 0; 2 when mode 1 finds
 * nothing; 4 when the next version would not fit in 16 bits; 9 for another
 * mode or a null `version`. A version handed out is registered with the
 * desktop (ntver_insure_version_registered). */
KW_API int pfa_get_file_vers(vex_file *f, int mode, int *version);
/* Store the highest / next version in the record. */
KW_API int pfa_set_to_highest_version(vex_file *f, int *version);
KW_API int pfa_set_to_next_version(vex_file *f);
/* Every version present, sorted, into `*versions` (an xar of int16_t the
 * caller frees with xar_free; 0 for the unversioned file); the count, or
 * -1. */
KW_API int pfa_get_versions(vex_file *f, int16_t **versions);
/* 1 when both records name the same file and version. */
KW_API int pfa_same_versions(const vex_file *a, const vex_file *b);
/* The highest version of a named file, 0 when none or on failure (1 for a
 * lone unversioned file while local model versioning is on). */
KW_API int vex_get_highest_version(const kw_wchar *wname);
KW_API int vex_get_highest_version_low(const kw_wchar *wname, const vex_file *dir, int32_t type);
KW_API int vex_file_highest_version(const char *name);
/* Count of versions and a sorted getmem array of them (0 written as 1);
 * -1 on failure. */
KW_API int vex_get_all_versions(const kw_wchar *wname, int16_t **versions);
/* 1 when the parsed name has a numeric version. */
KW_API int fname_has_version(const kw_wchar *wname);
KW_API int use_orma_local_model_versioning(void);
KW_API int set_orma_local_model_versioning(int flag);
/* Associates the numeric extensions ".N" up to `version` (at most 999;
 * not 123, 323, 386) with the application in the user registry store,
 * provided "Software\\KST" "ormamsg" holds an open command; the highest
 * number done is kept in "ormaFileVers" and read once. 0, or 1 when the
 * store cannot be written. Thread-safe. */
KW_API int ntver_insure_version_registered(int version);
/* The "Open with" text (at most 259 characters); 0, or 9. */
KW_API int set_ntver_open_with_msg(const char *text);

/* ---- family names ----------------------------------------------------------------- */

/* Instance and generic of "inst<gen>" (or the whole name as generic);
 * buffers of 260; 92 (E_INVALID_INPUT) for null arguments. */
KW_API int split_family_name(const kw_wchar *wname, kw_wchar *generic, kw_wchar *instance);
KW_API int make_family_name(const kw_wchar *instance, const kw_wchar *generic, kw_wchar *out);
KW_API int make_family_fullname_low(const kw_wchar *dir, const kw_wchar *instance,
                                    const kw_wchar *generic, const kw_wchar *ext, int version,
                                    kw_wchar *out);
KW_API int make_family_name_w_ext(const kw_wchar *instance, const kw_wchar *generic, int32_t type,
                                  kw_wchar *out);
KW_API int is_family_name(const kw_wchar *wname);
KW_API int filename_extract_gen_and_inst(const kw_wchar *wname, kw_wchar *rest, kw_wchar *generic);
KW_API int pfa_get_family_name(const vex_file *f, char *generic, char *instance);
KW_API int pfa_get_family_wname(const vex_file *f, kw_wchar *generic, kw_wchar *instance);
KW_API int pfa_get_vex_family_wname(const vex_file *f, kw_wchar *generic, kw_wchar *instance);
KW_API int get_gen_name(const kw_wchar *wname, kw_wchar *wout);
/* Wide-name parsers; parts point into static buffers overwritten by the
 * next call (one thread at a time); null for empty parts. 0 or 11. */
KW_API int parse_filename(const kw_wchar *wname, kw_wchar **dir, kw_wchar **name, kw_wchar **ext,
                          kw_wchar **version);
KW_API int generic_parse_filename(const kw_wchar *wname, kw_wchar **dir, kw_wchar **instance,
                                  kw_wchar **generic, kw_wchar **ext, kw_wchar **version);
KW_API int generic_parse_filename_weak_check(const kw_wchar *wname, kw_wchar **dir,
                                             kw_wchar **instance, kw_wchar **generic,
                                             kw_wchar **ext, kw_wchar **version);

KW_END_DECLS

#endif /* KEELWORK_PFA_H */
