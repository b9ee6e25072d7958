/* Directory listing, the directory cache and the cache-invalidating
 * wrappers of the system calls.
 *
 * A directory is a vex_file of type -5. Opening it for listing attaches a
 * listing to it (flag 0x100); each entry read is delivered into a caller's
 * record with the directory's location, the entry's name, extension and
 * version, and flag 0x4000 (name as found on disk). pfadir_close ends a
 * listing.
 *
 * The directory cache keeps the listings of recently read local
 * directories (at most get_dir_cache_max(), 256 by default) and hands them
 * to the next reader while they are still valid: watched with inotify
 * (caching mode 1, the default) or compared by modification time (any
 * other non-zero mode). Every write through the dci_* wrappers, and every
 * pfa_file_name_update_dir_cache, drops the entries of the directories it
 * touched. Cache functions take one recursive mutex; a listing belongs to
 * one thread at a time.
 *
 * Errors are the PFA_E_* codes of pfa.h; names are UTF-8.
 */
#ifndef KEELWORK_PFADIR_H
#define KEELWORK_PFADIR_H

#include <stdio.h>

#include "kw_base.h"
#include "pfa.h"

KW_BEGIN_DECLS

/* ---- listing ------------------------------------------------------------- */

/* pfa_open_dir_subset(dir, 0, 0, 0). */
KW_API int pfa_open_dir(vex_file *dir);
/* Opens `dir` for listing, from the cache when it holds a valid listing.
 * `pattern` (may be null) keeps only entries whose name matches it ("*",
 * "?"); `subset` and `options` go to the location's PfaDirOpen. A listing
 * with a pattern or subset is neither taken from nor put into the cache.
 * 0; 11 invalid record; 9 not a directory; 8 already open; the location's
 * answer when it cannot be opened (2 when missing). */
KW_API int pfa_open_dir_subset(vex_file *dir, const char *pattern, void *subset, int options);
/* The next entry into `entry`: 0; 19 at the end; 10 when `dir` is not
 * open; 11 when `dir` is not an open directory or `entry` is invalid. An
 * entry without a location gets the directory's and type -4. */
KW_API int pfa_read_dir(vex_file *dir, vex_file *entry);
/* Back to the first entry (the directory is read again unless the listing
 * came from the cache). 0, or the open's code. */
KW_API int pfa_rewind_dir(vex_file *dir);
/* Ends the listing of `dir`; a listing lent by the cache goes back to it.
 * 0; 11 invalid or not a listing; 10 not open; 7 for the cache's own
 * copy. pfa_close is to pass open directories here. */
KW_API int pfadir_close(vex_file *dir);

/* ---- scanning -------------------------------------------------------------- */

/* Flags of pfa_scandir. */
#define PFA_SCAN_PRINT 0x1          /* print the list on standard output */
#define PFA_SCAN_HIDDEN 0x2         /* keep dot files (hidden by default) */
#define PFA_SCAN_DIRS_ONLY 0x4      /* only directories */
#define PFA_SCAN_STRING_VERS 0x8    /* with 0x800: order versions as strings */
#define PFA_SCAN_KEEP_OPEN 0x10     /* leave the directory open */
#define PFA_SCAN_INSTANCE 0x20      /* instance index (dropped where the location keeps one) */
#define PFA_SCAN_NO_CASE 0x40       /* compare names without case (set for such locations) */
#define PFA_SCAN_FILTER_DIRS 0x80   /* the filter applies to directories too (filter mode 1) */
#define PFA_SCAN_USE_CACHE 0x100    /* always set */
#define PFA_SCAN_FILL_CACHE 0x200   /* always set */
#define PFA_SCAN_FILES_ONLY 0x400   /* only files */
#define PFA_SCAN_STRING_VERS2 0x800 /* see 0x8 */
#define PFA_SCAN_SEPARATE 0x1000    /* records each freeable with pfa_free_vex_file */
#define PFA_SCAN_HIGHEST 0x2000     /* only the highest numeric version of each file */

/* A scan filter: patterns ("*.prt", "bracket*") each with an extension,
 * and beside each whether that extension names a known object type (then
 * any file of that type matches, whatever case its extension is written
 * in). Versions never take part. An empty filter lets everything pass. */
typedef struct Pfa_Scan_Filter {
  char **patterns; /* `count` UTF-8 patterns */
  int32_t *typed;  /* object type of each pattern's extension, or -1 */
  int32_t count;
  int32_t mode;   /* the caller's filter mode: 1 also filters directories */
  int32_t option; /* the caller's option, kept for it */
} Pfa_Scan_Filter;

/* Builds `filter` from patterns separated by commas; "*", "Select Dir" and
 * an empty or null text give an empty filter. 0, 9 for a null filter, 16
 * without memory. Release with pfa_clean_scan_filter. */
KW_API int wstring_to_Pfa_Scan_FIlter(const kw_wchar *wtext, int mode, int option,
                                      Pfa_Scan_Filter *filter);
KW_API void pfa_clean_scan_filter(Pfa_Scan_Filter *filter);
/* 1 when `entry` passes `filter` (null: everything passes). */
KW_API int pfa_scan_filter_match(const Pfa_Scan_Filter *filter, const vex_file *entry);

/* Lists `dir` sorted (directories first, then name and extension, then
 * version) into `*list` (release with pfa_free_scan_list) and its length
 * into `*count`. An entry equal to one already listed is dropped
 * ("duplicates in file list!"). 0; 9 missing outputs; 3 when the directory
 * cannot be opened; 11 invalid `dir`. */
KW_API int pfa_scandir(vex_file *dir, int flags, const Pfa_Scan_Filter *filter, vex_file ***list,
                       int *count);
/* The same listing only the entries whose on-disk name matches the
 * pattern `subset` (null: all); such a listing bypasses the cache. */
KW_API int pfa_scandir_low(vex_file *dir, int flags, const Pfa_Scan_Filter *filter,
                           const char *subset, vex_file ***list, int *count);
/* The same building the filter from `wfilter` with `mode` first. */
KW_API int pfa_scandir_simple(vex_file *dir, int flags, const kw_wchar *wfilter, vex_file ***list,
                              int *count, int mode);
/* The same listing full names (release with pfa_free_name_array). */
KW_API int pfa_scandir_to_array(vex_file *dir, int flags, const Pfa_Scan_Filter *filter,
                                char ***names, int *count);
KW_API void pfa_free_scan_list(vex_file ***list, int count);
KW_API void pfa_free_name_array(char ***names, int count);
/* Sorts records in listing order. */
KW_API void sort_pfa_ptrs(vex_file **array, int n);

/* ---- wildcard directories and searches ---------------------------------------- */

/* A copy of `dir` whose last path segment is "search|" and `wpattern`
 * (at most 250 characters); listing it lists the entries of `dir` that
 * match the pattern. `data` is kept with it for the location. 0; 9; 11. */
KW_API int pfa_make_wildcard_dir(const vex_file *dir, const kw_wchar *wpattern, void *data,
                                 vex_file **result);
/* 1 when the last path segment of `dir` begins with "search|". */
KW_API int pfa_is_wildcard_dir(const vex_file *dir);
/* The location's PfaWildcardSearch(dir, pattern, result); 2 when the
 * location has none; 9 for missing arguments. */
KW_API int pfa_wildcard_search(vex_file *dir, const char *pattern, void *result);
/* The location's PfaLibrarySearch(dir, max, pattern, list, count) (max 0:
 * no limit); 2 when the location has none; 9 for missing arguments. */
KW_API int pfa_library_search(vex_file *dir, const char *pattern, vex_file ***list, int *count);
KW_API int pfa_library_search_n(vex_file *dir, const char *pattern, int max, vex_file ***list,
                                int *count);

/* ---- the directory cache ---------------------------------------------------------- */

/* The maximum number of entries (256 by default). */
KW_API int get_dir_cache_max(void);
/* Reads `wvalue` as a decimal number of entries (at least 1); `name` names
 * the setting in messages. The previous maximum. */
KW_API int set_dir_cache_max(const char *name, const kw_wchar *wvalue);
/* Null: drops every automatically cached entry of a directory that is not
 * always cached ("autocache expired") and calls the cache notifications
 * (kind 3 of "kwpfa"). A name: adds that directory to the always-cached
 * list. 0, or 9 when the name does not parse. */
KW_API int pfa_set_dir_cache(const char *name);
/* Caching forced (1) or not (0): forced caching ignores the location's
 * eligibility, so that remote directories are cached too (by modification
 * time). The previous value. */
KW_API int pfa_force_cache_dir(int force);
/* Drops the cache entries of the directory holding `name` (for a directory
 * also of its parent). An empty or null name means the current directory.
 * 0, or 9 when the name does not parse. */
KW_API int pfa_file_name_update_dir_cache(const char *name);
/* Prints the cache's entries on standard output; their number. */
KW_API int pfa_dir_cache_debug(void);
/* The slot of the cache entry of directory `name`, or -1. */
KW_API int pfadc_find_appdata(const char *name);
/* The writable mark kept with a cache entry (-1 unknown). set returns the
 * previous mark, or -2 when the directory has no entry. */
KW_API int pfadc_set_nt_dir_writable(const char *name, int value);
KW_API int pfadc_get_nt_dir_writable(const char *name);
/* The cache's debug prints: 1 on, 0 off, -1 read "___DIR_CACHE_DEBUG"
 * again at the next print (on unless it begins with 'f' or 'F'; it is
 * otherwise read once). The previous setting (0 or 1). */
KW_API int pfa_set_dir_cache_debug(int on);
/* At most `n` directories watched at once (-1: the kernel's limit, or
 * KEELWORK_INOTIFY_LIMIT when set); directories beyond fall back to
 * modification times. The previous limit. */
KW_API int pfa_set_dir_watch_limit(int n);
/* Number of entries in use (state other than free). */
KW_API int pfa_dir_cache_count(void);

/* Caching mode: 0 off, 1 change watches (inotify, the default), other
 * values modification times. The previous mode. */
KW_API int set_nt_directory_caching(int mode);
KW_API int get_nt_directory_caching(void);

/* Validation of one directory (a file-layer or POSIX directory name).
 * init: `*cachable` 1 when it may be cached now; in mode 1 `*notification`
 * gets a watch (0 on a remote file system or when none could be set: the
 * directory then goes by modification time); `*mod_time` its modification time in nanoseconds
 * since 1970. A directory modified within 2 seconds (30 on a remote file
 * system) is not cachable by modification time. 0, or 2 when missing. */
KW_API int nt_directory_cache_init_fields(const char *name, int *cachable, int64_t *notification,
                                          int64_t *mod_time);
/* 1 while the directory is unchanged since init; 0 when stale (the watch
 * is ended when `close_when_stale`). */
KW_API int nt_directory_cache_still_valid(const char *name, int close_when_stale,
                                          int64_t *notification, int64_t *mod_time);
/* Modification time in nanoseconds since 1970: 0, or 2. */
KW_API int nt_directory_get_mod_time(const char *name, int64_t *time);
/* 1 when the directory `name` is on a local file system and caching is on. */
KW_API int is_drive_cachable(const char *name);
/* 1 when drive `letter` (either case) may be used as a location, 0 when the
 * per-user policy value "NoViewOnDrive" hides it (bit 0 = A; read once). */
KW_API int nt_is_allowed_drive(int letter);

/* ---- cache-invalidating wrappers ---------------------------------------------------- */

/* Each calls the runtime's service and then drops the cache entries of the
 * directories involved; the service's result is returned unchanged. The
 * Windows-named ones answer 1 (success) or 0 like their namesakes; the
 * others 0/-1, a stream or null, a descriptor or -1. dci_open takes the
 * _O_* flags (0x1 write, 0x2 read-write, 0x8 append, 0x100 create,
 * 0x200 truncate, 0x400 exclusive). dci_CreateFile returns a handle of
 * uCreateFile (btk_os.h). */
KW_API FILE *dci_fopen(const char *name, const char *mode);
KW_API int dci_open(const char *name, int flags, int permissions);
KW_API int dci_rename(const char *old_name, const char *new_name);
KW_API int dci_unlink(const char *name);
KW_API int dci_mkdir(const char *name, int mode);
KW_API int dci_rmdir(const char *name);
KW_API int dci_DeleteFile(const char *name);
KW_API intptr_t dci_CreateFile(const char *name, uint32_t access, uint32_t share, void *security,
                               uint32_t disposition, uint32_t flags, void *template_file);
KW_API int dci_CreateDirectory(const char *name, void *security);
KW_API int dci_CreateDirectoryEx(const char *template_dir, const char *name, void *security);
KW_API int dci_RemoveDirectory(const char *name);
KW_API int dci_CopyFile(const char *from, const char *to, int fail_if_exists);
/* `progress` and `data` are accepted and not called; a non-null `cancel`
 * holding non-zero refuses the copy; flag 0x1 fails when `to` exists. */
KW_API int dci_CopyFileEx(const char *from, const char *to, void *progress, void *data, int *cancel,
                          uint32_t flags);
KW_API int dci_MoveFile(const char *from, const char *to);
/* Flags: 0x1 replace an existing target, 0x2 copy across file systems. */
KW_API int dci_MoveFileEx(const char *from, const char *to, uint32_t flags);

KW_END_DECLS

#endif /* KEELWORK_PFADIR_H */
