// The seam through which the text families reach the file layer, which
// installs its functions here when it starts (as it does for the debug
// messages in diag/debug_output_internal.h). Until then file-layer streams
// are not available to these families, paths pass unchanged and console
// files are opened with btk_fopen.
#ifndef KW_TEXT_FILE_SEAM_INTERNAL_H
#define KW_TEXT_FILE_SEAM_INTERNAL_H

#include <cstdio>

#include "keelwork/kw_base.h"

struct vex_file;

namespace kw::text {

struct FileLayer {
  // pfa_fgetc: the next byte of the stream, or -1 at its end.
  int (*fgetc)(vex_file *file);
  // pfa_fgets: a line of at most size-1 bytes into `buffer`; null at the end
  // or on error (`*error` gets the file-layer error, 0 at the end).
  char *(*fgets)(char *buffer, int size, vex_file *file, int *error);
  // Writes `text` to the stream; -1 when the write fails.
  int (*fputs)(const char *text, vex_file *file);
  // pfu_path_to_os: converts a byte-string path in place for the operating
  // system (`mode` 4 is the formatter's); returns 0.
  int (*path_to_os)(char *path, int size, int mode);
  // dci_fopen: opens a console substitute file.
  FILE *(*console_open)(const char *name, const char *mode);
  // The full name of a file-layer stream, for messages.
  const char *(*full_name)(vex_file *file);
};

// Installs the file layer's functions (null members keep the defaults).
void set_file_layer(const FileLayer &layer);
// The installed functions; members may be null except console_open.
const FileLayer &file_layer();

// One wide character read through a byte reader in the session encoding
// (the core of fget_unicode_wc and pfa_get_unicode_wc): 0xFFFF at the end
// or for bytes that do not convert.
kw_wchar get_unicode_wc(int (*get)(void *source), void *source);

}  // namespace kw::text

#endif  // KW_TEXT_FILE_SEAM_INTERNAL_H
