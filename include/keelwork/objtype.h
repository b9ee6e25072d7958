/* Object types: the table of the kinds of document a file name denotes.
 *
 * Every type has a signed 32-bit code, an upper-case extension (empty when
 * the type has none), a label, the rules it imposes on names (length, case,
 * unusual characters, family names), its authoring application and a few
 * categories owned by callers. The static table holds 416 types; modules
 * add their own at run time (codes from OBJ_TYPE_DYNAMIC_BASE + 1 on).
 * Rows sharing an extension resolve to the first in table order ("PRT"
 * gives 2).
 *
 * Errors: lookups never fail. An unknown code answers from the "All File"
 * row (code -1: empty extension, name length 32); an unknown extension gives
 * OBJ_TYPE_NO_TYPE. Refusals and inconsistencies are reported through the
 * debug messages (debug.h).
 *
 * Memory: strings returned here belong to the table and live until the
 * process ends, except that renaming a type's extension or label
 * (notify_extension_changed) releases the text it had set before. Functions
 * that return an internal buffer say so; such a buffer is per thread and
 * valid until the same function is called again on that thread.
 *
 * Threads: the table is built on first use, once, from any thread; lookups
 * may run on any thread. Registration, renaming and the restriction switch
 * change the table and are meant for start-up, on one thread, before
 * lookups run elsewhere.
 */
#ifndef KEELWORK_OBJTYPE_H
#define KEELWORK_OBJTYPE_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Special codes. */
#define OBJ_TYPE_ALL_FILE (-1)       /* the "All File" row: no extension */
#define OBJ_TYPE_NO_TYPE (-2)        /* no type has that extension */
#define OBJ_TYPE_NOT_YET (-4)        /* a file not typed yet */
#define OBJ_TYPE_DIRECTORY (-5)      /* "DIR" */
#define OBJ_TYPE_UNTYPED (-6)        /* a file without a valid type */
#define OBJ_TYPE_TOOL_PARAM (-7)     /* "TPM" */
#define OBJ_TYPE_DYNAMIC_BASE 750000 /* registered types lie above */

/* Flags of a type. */
#define OBJ_TYPE_LOWER_CASE 0x1       /* names are lower case */
#define OBJ_TYPE_WEIRD_CHARS 0x2      /* names may hold unusual characters */
#define OBJ_TYPE_IMPORT 0x4           /* a foreign format brought in by import */
#define OBJ_TYPE_DIALOG_FILTERING 0x8 /* file dialogs filter it specially */
#define OBJ_TYPE_OWNED_EXTENSION 0x10 /* extension replaced at run time */
#define OBJ_TYPE_UNMATCHABLE_EXT 0x20 /* filters drop the extension's last character */
#define OBJ_TYPE_NO_EXT_IN_LABEL 0x40 /* dialogs do not append the extension */
#define OBJ_TYPE_DONT_TRANSLATE 0x80  /* the label is shown untranslated */
#define OBJ_TYPE_SUBTYPES 0x100       /* files carry a subtype */
#define OBJ_TYPE_FAMILY_NAMES 0x200   /* names may take the family form */
#define OBJ_TYPE_OWNED_LABEL 0x400    /* label replaced at run time */

/* Authoring applications. */
#define OBJ_AUTHOR_NONE 0
#define OBJ_AUTHOR_VEXE 1      /* this application */
#define OBJ_AUTHOR_QUILLWORK 2 /* the maker's publishing application */
#define OBJ_AUTHOR_BASALT 3    /* the maker's geometry-kernel applications */
#define OBJ_AUTHOR_ACAD 4
#define OBJ_AUTHOR_CATIAV5 5
#define OBJ_AUTHOR_INVENTOR 6
#define OBJ_AUTHOR_SOLIDWORKS 7
#define OBJ_AUTHOR_UG 8
#define OBJ_AUTHOR_TARVO5 9
#define OBJ_AUTHOR_MOSSDRAFT 10
#define OBJ_AUTHOR_MOSSMOD 11
#define OBJ_AUTHOR_MSTATION 12
#define OBJ_AUTHOR_SEDGE 13

/* Room for an extension (OBJ_TYPE_EXT_SIZE - 1 characters at most) and for
 * the filters of one type, terminators included. */
#define OBJ_TYPE_EXT_SIZE 32
#define OBJ_TYPE_FILTER_SIZE 80

/* ---- per-type fields (unknown codes answer from the "All File" row) ---------- */

/* The extension, upper case, "" when the type has none. */
KW_API const char *type_to_extension(int32_t type);
/* The same as a wide string, in a per-thread buffer. */
KW_API const kw_wchar *object_extension(int32_t type);
/* Writes the extension into `wbuf` (OBJ_TYPE_EXT_SIZE wide characters;
 * "" for an unknown code); 1 when the type is known, else 0. */
KW_API int type_to_extension_wbuff(int32_t type, kw_wchar *wbuf);
/* The label ("Part"). */
KW_API const char *get_db_type_label(int32_t type);
/* The longest name files of this type may have. */
KW_API int32_t type_to_name_length(int32_t type);
/* The search-path mode, -1 for none. */
KW_API int32_t type_to_spg_mode(int32_t type);
/* The name-list category, -1 for none. */
KW_API int32_t type_to_name_list_type(int32_t type);
/* The import layer's category, 0 for none. */
KW_API int32_t find_ugc_type_from_db_type(int32_t type);
/* The authoring application (OBJ_AUTHOR_*). */
KW_API int32_t type_to_authoring_app(int32_t type);
/* 1 when the type belongs to the maker's geometry-kernel applications. */
KW_API int is_basalt_application_type(int32_t type);
/* 1 when the code is in the table (static or registered). */
KW_API int is_valid_dbtype(int32_t type);
/* 1 when the code was registered at run time. */
KW_API int is_runtime_file_type(int32_t type);
/* The flags, one question each: 1 or 0. */
KW_API int type_to_mixed_case_OK(int32_t type); /* OBJ_TYPE_LOWER_CASE clear */
KW_API int type_to_weird_chars_OK(int32_t type);
KW_API int is_nonkst_import_type(int32_t type);
KW_API int type_needs_special_dialog_filtering(int32_t type);
KW_API int type_has_unmatchable_ext(int32_t type);
KW_API int type_no_ext_append_to_label(int32_t type);
KW_API int type_dont_translate_label(int32_t type);
KW_API int type_has_subtypes(int32_t type);
KW_API int type_allows_family_names(int32_t type);
/* The icon name; when the type has none: null, or with `want_default`
 * "generic_nonkst" for import types and "generic_kst" for the others. */
KW_API const char *type_to_icon_name(int32_t type, int want_default);
/* The type whose extension filter matches this one: the type its extension
 * looks up to, or itself for an unmatchable extension or none. */
KW_API int32_t type_to_ext_match_type(int32_t type);

/* ---- reverse lookups ------------------------------------------------------------ */

/* The first type (in table order) with the extension `ext`, in any case;
 * OBJ_TYPE_ALL_FILE for "", OBJ_TYPE_NO_TYPE for an unknown extension or
 * null. */
KW_API int32_t extension_to_type(const char *ext);
/* The same for a wide extension (OBJ_TYPE_NO_TYPE when it is not valid
 * UTF-16). */
KW_API int32_t ext_to_type(const kw_wchar *wext);
/* The type of the extension as written by the application `author`
 * ("SOLIDWORKS" and "PRT" give 887); `kind` ("drw", "frm") chooses among the
 * drawing and format types that share an extension. "TARVO5" gives 1005
 * whatever the extension; an empty or null extension gives OBJ_TYPE_NO_TYPE;
 * an unknown author is reported and gives the plain extension type. `name`
 * is accepted for the callers' sake and not used. */
KW_API int32_t author_and_ext_to_type(const char *author, const char *ext, const char *kind,
                                      const char *name);
/* The type whose label equals `label` ignoring ASCII case, the lowest code
 * first; -1 when none (or null). */
KW_API int32_t type_label_to_type(const char *label);
/* The first type (in table order) with search-path mode `mode`; -1 when
 * none. */
KW_API int32_t spg_mode_to_type(int32_t mode);

/* ---- authoring applications -------------------------------------------------------- */

/* The code of an application name (ignoring ASCII case; "" is
 * OBJ_AUTHOR_NONE); an unknown name is reported and gives 0. */
KW_API int32_t string_to_author(const char *text);
/* The name of an application code; an unknown code is reported and gives
 * null. */
KW_API const char *author_to_string(int32_t code);

/* ---- registration --------------------------------------------------------------------- */

/* Registers a type for the extension `wext` (upper-cased; 1 to 31 characters
 * without '.', separators, wildcards, ',', '{', '}', '|' or blanks) with the
 * label `wlabel`. The type allows unusual characters and long names (260)
 * and shows its label untranslated; `is_import` marks it as an import type.
 * Returns the new code (OBJ_TYPE_DYNAMIC_BASE + 1 for the first), or -1 for
 * missing or invalid input, text that is not valid UTF-16, or an extension
 * already in use (each reported). */
KW_API int32_t add_obj_type(const kw_wchar *wext, const kw_wchar *wlabel, int is_import);
/* Gives the type `type` the extension `ext` (upper-cased; the rules of
 * add_obj_type apply) and, when `label` is not null, the label `label`,
 * shown translated when `translate` is set. Texts set by an earlier call are
 * released. 0, or -1 (reported) for an unknown code or invalid input. */
KW_API int notify_extension_changed(int32_t type, const char *ext, const char *label,
                                    int translate);
/* Lets every type without a name-list category take unusual characters,
 * mixed case and names of 260 characters. Refused (reported, -1) while the
 * flag of access_objextension_vex_flag is on; 0 otherwise. */
KW_API int relax_non_vexe_filename_restrictions(void);
/* With `set` non-zero, sets the flag that marks the main modelling
 * application as the running program to `value`; returns the flag. */
KW_API int access_objextension_vex_flag(int set, int value);

/* ---- filters ----------------------------------------------------------------------------- */

/* "*{.EXT1,.EXT2}*" for several types (those without extension left out),
 * "*.EXT*" for one, "" for none; upper case, in a per-thread buffer. */
KW_API const char *get_object_extension_filter(const int32_t *types, int n);
/* "*.ext*" (lower case) into `buf` (OBJ_TYPE_FILTER_SIZE bytes); with
 * `honour_unmatchable` an unmatchable extension loses its last character.
 * Type 37 gives the assembly filter, ',' and its own. 1, or 0 with "" for a
 * type without extension (or a null buffer). */
KW_API int type_to_one_filter_str_buff(int32_t type, char *buf, int honour_unmatchable);
/* The filters of `n` types joined by ',' into `buf` of `size` bytes; types
 * without extension are left out and a filter that does not fit is not
 * written. Returns the number of filters written. */
KW_API int type_to_filter_str_buff(const int32_t *types, int n, char *buf, int size,
                                   int honour_unmatchable);
/* Wide forms, honouring unmatchable extensions; a positive code without an
 * extension gives "/|/". type_to_one_filter_str returns 1 when it wrote a
 * filter, 0 (with "" when `size` allows) otherwise; type_to_filter_str
 * returns the number of filters written. */
KW_API int type_to_one_filter_str(int32_t type, kw_wchar *wbuf, int size);
KW_API int type_to_filter_str(const int32_t *types, int n, kw_wchar *wbuf, int size);

/* ---- consistency checks against callers' tables --------------------------------------------- */

/* Compare the name-list categories / import categories that the callers
 * assign to `n` types with the table's; each difference is reported
 * ("namelist %d != %d for type %d", "ugc type %d != %d for type %d", the
 * table's value first). Return the number of differences. */
KW_API int obj_type_verify_namelist_ids(const int32_t *types, const int32_t *namelist_ids, int n);
KW_API int obj_type_verify_ugc_types(const int32_t *types, const int32_t *ugc_types, int n);

/* ---- numeric versions in names ----------------------------------------------------------------
 */

/* Copies `name` into `out` (room for the whole name) and, when the text after
 * the last '.' of its last segment is all digits, cuts the copy there and
 * returns their value; otherwise (also for a name ending in a separator or
 * digits beyond the int32 range) returns 0. */
KW_API int32_t get_version_from_ascii_fname(const char *name, char *out);
/* Cut a name in place at the second '.' of its last segment (the version) or
 * at the first (the extension and version); a leading '.' of the segment
 * does not count. Segments end at '/' or '\\'. Return 1 when they cut, else
 * 0. */
KW_API int strip_version_from_fname(kw_wchar *wname);
KW_API int strip_extension_from_fname(kw_wchar *wname);
KW_API int strip_ext_from_ascii_fname(char *name);

KW_END_DECLS

#endif /* KEELWORK_OBJTYPE_H */
