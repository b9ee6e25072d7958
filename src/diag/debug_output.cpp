// Formatted-dump helpers of the debug messages.
#include <cstring>
#include <string>

#include "diag/debug_output_internal.h"
#include "keelwork/btk_format.h"
#include "keelwork/btk_os.h"
#include "keelwork/debug.h"
#include "keelwork/pfastream.h"
#include "keelwork/vexformat.h"
#include "keelwork/xar.h"

namespace kw::diag {

// The messages are session text written as it is: no byte-order mark, so
// that the messages of later runs append to the same plain text.
vex_file *open_error_file(const char *name, const char *mode) {
  vex_file *f = pfa_alloc_file(name);
  if (!f) return nullptr;
  pfa_put_encode(f, PFA_ENC_NONE);
  if (pfa_fopen(f, PFA_VERS_OWN, mode) != 0) pfa_free_vex_file(&f);
  return f;
}

void close_error_file(vex_file *file) { pfa_dispose(&file); }

}  // namespace kw::diag

namespace {

constexpr std::size_t kBuffer = 1000;

// The text of "label[a, b, c]".
std::string id_tab_text(const char *label, const int32_t *ids, int count) {
  std::string text = label ? label : "";
  text += '[';
  char item[32];
  for (int i = 0; i < count && ids; ++i) {
    btk_snprintf(item, sizeof item, "%s%d", i ? ", " : "", ids[i]);
    text += item;
  }
  text += ']';
  return text;
}

// A null file is the file layer's standard error, flushed at once.
void pfa_write(vex_file *file, const char *text) {
  if (file) {
    pfa_fputs(file, text);
    return;
  }
  vex_file *err = pfa_get_stderr();
  if (!err) {
    btk_fputs(text, btk_get_stderr());
    btk_fflush(btk_get_stderr());
    return;
  }
  pfa_fputs(err, text);
  pfa_flush_file(err);
}

}  // namespace

KW_API void dbg_fprintf(FILE *stream, const char *format, ...) {
  char buffer[kBuffer];
  va_list args;
  va_start(args, format);
  btk_vsnprintf(buffer, sizeof buffer, format ? format : "", args);
  va_end(args);
  ikst_fprintf(stream ? stream : btk_get_stderr(), "%s", buffer);
}

KW_API void dbg_pfa_fprintf(vex_file *file, const char *format, ...) {
  char buffer[kBuffer];
  va_list args;
  va_start(args, format);
  btk_vsnprintf(buffer, sizeof buffer, format ? format : "", args);
  va_end(args);
  pfa_write(file, buffer);
}

KW_API void dbg_pfa_show_id_tab(vex_file *file, const char *label, const int32_t *ids, int count) {
  std::string text = id_tab_text(label, ids, count) + "\n";
  pfa_write(file, text.c_str());
}

KW_API void dbg_pfa_show_id_tab_xar(vex_file *file, const char *label, const int32_t *ids_xar) {
  dbg_pfa_fprintf(file, "%s", label ? label : "");
  int element_size = 0;
  if (!ids_xar) {
    dbg_pfa_fprintf(file, "%ws\n", u"<NULL>");
  } else if (debug_xar_invalid(ids_xar) ||
             xar_params(ids_xar, &element_size, nullptr, nullptr, nullptr) != 0 ||
             element_size != 4) {
    dbg_pfa_fprintf(file, "%ws\n", u"<INVALID>");
  } else {
    dbg_pfa_show_id_tab(file, "", ids_xar, xar_count(&ids_xar));
  }
}

KW_API int dbg_sprintf_id_tab(char *buffer, const char *label, const int32_t *ids, int count) {
  if (!buffer) return 0;
  std::string text = id_tab_text(label, ids, count);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 0;
}
