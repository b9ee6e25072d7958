/* Operating-system wrappers of the runtime.
 *
 * Functions shaped like the C library's, so that paths, descriptors and the
 * environment are handled in one place: byte-string paths are UTF-8, every
 * descriptor and stream the library opens is close-on-exec, and the few
 * facilities without a POSIX namesake (temporary directory, user and host
 * names, debugger detection, the Windows-shaped file opening used by
 * serialization) have their Linux meaning documented here.
 *
 * Results follow the namesakes: 0 / -1 with errno for the calls, null for
 * failed opens. Strings returned by get_* functions are owned by the
 * library and stay valid for the process. All functions are thread-safe
 * except btk_putenv, which changes the process environment.
 */
#ifndef KEELWORK_BTK_OS_H
#define KEELWORK_BTK_OS_H

#include <stdio.h>

#include "kw_base.h"

KW_BEGIN_DECLS

/* ---- environment ------------------------------------------------------------ */

/* The value of `name`, or null when unset. */
KW_API const char *btk_getenv(const char *name);
/* "NAME=value" sets NAME (the text is copied), "NAME=" sets it empty and
 * "NAME" alone removes it. 0, or -1 for a malformed entry. */
KW_API int btk_putenv(const char *entry);

/* ---- standard streams and files --------------------------------------------- */

KW_API FILE *btk_get_stdin(void);
KW_API FILE *btk_get_stdout(void);
KW_API FILE *btk_get_stderr(void);
/* fopen with close-on-exec. */
KW_API FILE *btk_fopen(const char *path, const char *mode);
/* The same with a UTF-16 path and mode; null when they are not valid UTF-16. */
KW_API FILE *btk_wfopen(const kw_wchar *path, const kw_wchar *mode);
KW_API int btk_fclose(FILE *stream);
KW_API char *btk_fgets(char *buffer, int size, FILE *stream);
KW_API int btk_fputs(const char *text, FILE *stream);
KW_API int btk_fflush(FILE *stream);

/* File status, with the library's own layout (no platform header needed). */
typedef struct btk_stat_t {
  uint64_t device;
  uint64_t inode;
  uint32_t mode; /* POSIX type and permission bits */
  uint32_t nlink;
  uint32_t uid;
  uint32_t gid;
  int64_t size;
  int64_t atime; /* seconds since 1970 */
  int64_t mtime;
  int64_t ctime;
  int64_t mtime_nsec; /* nanoseconds within mtime */
} btk_stat_t;

/* The bits of btk_stat_t.mode that tell the file type. */
#define BTK_S_IFMT 0170000
#define BTK_S_IFDIR 0040000
#define BTK_S_IFREG 0100000
#define BTK_S_IFLNK 0120000

/* stat (following links); 0 or -1. */
KW_API int btk_stat(const char *path, btk_stat_t *status);
/* lstat (not following links); 0 or -1. */
KW_API int btk_lstat(const char *path, btk_stat_t *status);
/* access: mode is a combination of 0 (exists), 2 (write), 4 (read), 1 (x). */
KW_API int btk_access(const char *path, int mode);
KW_API int btk_unlink(const char *path);
KW_API int btk_rename(const char *from, const char *to);
KW_API int btk_mkdir(const char *path, int mode);
KW_API int btk_rmdir(const char *path);
KW_API int btk_chdir(const char *path);
/* The working directory into `buffer`, or null when it does not fit. */
KW_API char *btk_getcwd(char *buffer, size_t size);

/* ---- time ------------------------------------------------------------------ */

/* Seconds since 1970; also stored in *t when given. */
KW_API int64_t btk_time(int64_t *t);
typedef struct btk_utimbuf {
  int64_t actime;
  int64_t modtime;
} btk_utimbuf;
/* Sets access and modification times (null: now). */
KW_API int btk_utime(const char *path, const btk_utimbuf *times);

/* ---- processes ---------------------------------------------------------------- */

/* Runs `command` with /bin/sh -c and waits; the exit status (128 + signal
 * number for a signalled child), -1 when it could not start. */
KW_API int btk_system(const char *command);
/* Modes of btk_spawnv. */
#define BTK_P_WAIT 0
#define BTK_P_NOWAIT 1
/* Starts `path` with `argv` (null-terminated): BTK_P_WAIT waits and returns
 * the exit status, BTK_P_NOWAIT returns the process id. -1 on failure. */
KW_API intptr_t btk_spawnv(int mode, const char *path, const char *const *argv);
/* The same, looking `file` up on PATH when it holds no '/'. */
KW_API intptr_t btk_spawnvp(int mode, const char *file, const char *const *argv);
/* Replaces the process image; returns -1 only on failure. */
KW_API int btk_execv(const char *path, const char *const *argv);

/* ---- the machine --------------------------------------------------------------- */

/* The temporary directory: TMPDIR, then TMP, then "/tmp". */
KW_API const char *get_tmp_dir(void);
/* The host's full name (with its domain when known). */
KW_API const char *get_btk_fullhost(void);
/* The user's login name (password database, then USER/LOGNAME). */
KW_API const char *get_btk_user(void);
/* 1 when a debugger is attached (the process has a tracer). */
KW_API int btkIsDebuggerPresent(void);
/* Debug output: writes `text` to standard error. */
KW_API void uOutputDebugString(const char *text);

/* ---- sockets (descriptors are close-on-exec) ------------------------------------ */

KW_API int btk_socket(int domain, int type, int protocol);
KW_API int btk_connect(int socket, const void *address, uint32_t length);
KW_API int btk_bind(int socket, const void *address, uint32_t length);
KW_API int btk_listen(int socket, int backlog);
KW_API int btk_accept(int socket, void *address, uint32_t *length);
KW_API intptr_t btk_send(int socket, const void *bytes, size_t n, int flags);
KW_API intptr_t btk_recv(int socket, void *bytes, size_t n, int flags);
KW_API int btk_closesocket(int socket);

/* ---- Windows-shaped file opening ------------------------------------------------ */

#define BTK_GENERIC_READ 0x80000000u
#define BTK_GENERIC_WRITE 0x40000000u
#define BTK_CREATE_NEW 1
#define BTK_CREATE_ALWAYS 2
#define BTK_OPEN_EXISTING 3
#define BTK_OPEN_ALWAYS 4
#define BTK_TRUNCATE_EXISTING 5
#define BTK_INVALID_HANDLE ((intptr_t)-1)

/* Opens `path` with a Windows-style access mask and creation disposition
 * (`share`, `security`, `flags` and `template_file` are accepted and
 * ignored). Returns a descriptor as a handle, BTK_INVALID_HANDLE on
 * failure. Close with btk_close_handle. */
KW_API intptr_t uCreateFile(const char *path, uint32_t access, uint32_t share, void *security,
                            uint32_t disposition, uint32_t flags, void *template_file);
KW_API int btk_close_handle(intptr_t handle);
/* read/write on a handle; the byte count or -1. */
KW_API intptr_t btk_read_handle(intptr_t handle, void *bytes, size_t n);
KW_API intptr_t btk_write_handle(intptr_t handle, const void *bytes, size_t n);

KW_END_DECLS

#endif /* KEELWORK_BTK_OS_H */
