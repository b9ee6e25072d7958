// vex_sprintf and relatives: the runtime formatter in Unicode mode, the
// library's own in legacy mode, per-thread rotating result buffers, and
// console output with its redirections.
#include <atomic>
#include <cstring>

#include "keelwork/btk_format.h"
#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "keelwork/thread.h"
#include "keelwork/vexformat.h"
#include "keelwork/xar.h"
#include "runtime/runtime_internal.h"
#include "text/file_seam_internal.h"
#include "text/vexformat_internal.h"

namespace kw::text {
namespace {

constexpr int kSlots = 9;

// The per-thread result buffers: 9 byte xars used in turn.
struct ResultBuffers {
  char *slot[kSlots];
  int index;
};

thrLocalObject *g_buffers_key = nullptr;

void release_buffers(void *p) {
  auto *b = static_cast<ResultBuffers *>(p);
  for (char *&s : b->slot) xar_free(&s);
  rlsmem(b);
  thrLocalObject_SetData(g_buffers_key, nullptr);
}

ResultBuffers *thread_buffers() {
  static int once = 0;
  btkThrSetupInitOnce(&once, [] { g_buffers_key = thrLocalObject_Create(nullptr); });
  auto *b = static_cast<ResultBuffers *>(thrLocalObject_GetData(g_buffers_key));
  if (!b) {
    b = static_cast<ResultBuffers *>(getmem(sizeof(ResultBuffers)));
    std::memset(b, 0, sizeof *b);
    b->index = -1;
    thrLocalObject_SetData(g_buffers_key, b);
    thrCurThread_RegisterOnExitFunc(release_buffers, b);
  }
  return b;
}

// Output sink appending to a byte xar.
struct XarSink {
  btk_out_sink base;
  char **buffer;
};

int xar_sink_write(btk_out_sink *s, const char *bytes, size_t n) {
  auto *sink = reinterpret_cast<XarSink *>(s);
  int count = xar_count(sink->buffer);
  if (n > static_cast<size_t>(xar_max_count_get(1) - count)) return -1;
  return xar_append(sink->buffer, static_cast<int>(n), bytes) == 0 ? 0 : -1;
}

int xar_sink_finish(btk_out_sink *s) {
  auto *sink = reinterpret_cast<XarSink *>(s);
  char nul = 0;
  if (xar_append(sink->buffer, 1, &nul) != 0) {
    int count = xar_count(sink->buffer);
    if (count > 0) (*sink->buffer)[count - 1] = 0;
  }
  return 0;
}

int sink_nothing(btk_out_sink *) { return 0; }

constexpr btk_out_ops kXarSinkOps = {xar_sink_write, xar_sink_finish, sink_nothing, sink_nothing};

}  // namespace

char *format_to_thread_buffer(const char *format, va_list args) {
  ResultBuffers *b = thread_buffers();
  b->index = (b->index + 1) % kSlots;
  char *&buffer = b->slot[b->index];
  if (buffer)
    xar_resize(&buffer, 0);
  else
    buffer = static_cast<char *>(xar_alloc(0, 1, 300));
  XarSink sink{{&kXarSinkOps}, &buffer};
  va_list copy;
  va_copy(copy, args);
  int r = btk_printf_stream_low(&sink.base, format ? format : "", copy);
  va_end(copy);
  if (xar_count(&buffer) == 0 || buffer[xar_count(&buffer) - 1] != 0) xar_sink_finish(&sink.base);
  return r < 0 && xar_count(&buffer) <= 1 ? nullptr : buffer;
}

char *format_in_mode(const char *format, va_list args) {
  if (!btkUnicodeIsEnabled()) return legacy_format_to_thread_buffer(format, args);
  return format_to_thread_buffer(format, args);
}

}  // namespace kw::text

using kw::text::format_in_mode;
using kw::text::format_to_thread_buffer;

KW_API char *vex_vsnprintf_low(char *dst, long size, const char *format, va_list args) {
  char *result = format_to_thread_buffer(format, args);
  if (!dst) return result;
  if (!result || size == 0) return dst;
  size_t len = std::strlen(result);
  if (size > 0 && len > static_cast<size_t>(size - 1)) len = static_cast<size_t>(size - 1);
  std::memcpy(dst, result, len);
  dst[len] = 0;
  return dst;
}

KW_API char *vex_vsprintf(char *dst, const char *format, va_list args) {
  if (btkUnicodeIsEnabled()) return vex_vsnprintf_low(dst, -1, format, args);
  char *result = kw::text::legacy_format_to_thread_buffer(format, args);
  if (!dst) return result;
  std::memcpy(dst, result, std::strlen(result) + 1);
  return dst;
}

KW_API char *vex_sprintf(char *dst, const char *format, ...) {
  va_list args;
  va_start(args, format);
  char *r = vex_vsprintf(dst, format, args);
  va_end(args);
  return r;
}

KW_API int vex_printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  char *text = format_in_mode(format, args);
  va_end(args);
  if (!text) return 0;
  size_t len = std::strlen(text);
  // Printing may format again (hooks, redirections): work on a copy.
  char *copy = static_cast<char *>(getmem(len + 1));
  std::memcpy(copy, text, len + 1);
  ikst_printf("%s", copy);
  relmem(&copy);
  return static_cast<int>(len);
}

KW_API int vex_fprintf(FILE *stream, const char *format, ...) {
  va_list args;
  va_start(args, format);
  char *text = format_in_mode(format, args);
  va_end(args);
  if (!text) return 0;
  if (btk_fputs(text, stream) == -1) return 0;
  return static_cast<int>(std::strlen(text));
}

KW_API int vex_fputs(const char *text, FILE *stream) {
  if (!text) return -1;
  if (btk_fputs(text, stream) == -1) return -1;
  return static_cast<int>(std::strlen(text));
}

// ---- console output -------------------------------------------------------------------

namespace {

std::atomic<int> g_no_console{0};
char g_stdout_name[260] = "std.out";
char g_stderr_name[260] = "std.err";
FILE *g_stdout_file = nullptr;
FILE *g_stderr_file = nullptr;
kw::runtime::LazyMutex g_console_files_lock;

// The debugger test reads /proc once; a debugger attached later is not
// noticed.
bool debugger_attached() {
  static const int attached = btkIsDebuggerPresent();
  return attached != 0;
}

FILE *console_file(FILE *&file, const char *name) {
  kw::runtime::LazyLock lock(g_console_files_lock);
  if (!file) file = kw::text::file_layer().console_open(name, "w");
  return file;
}

int to_debugger(const char *format, va_list args) {
  // One buffer per thread, so that threads printing under a debugger do not
  // garble each other's text.
  thread_local char buffer[4096];
  int r = btk_vsnprintf(buffer, sizeof buffer, format, args);
  uOutputDebugString(buffer);
  return r;
}

int to_stream(FILE *stream, const char *format, va_list args) {
  int r = btk_vfprintf(stream, format, args);
  btk_fflush(stream);
  return r;
}

const char *set_name(char *buffer, const char *name) {
  g_no_console.store(1);
  if (!name) return nullptr;
  std::strncpy(buffer, name, 259);
  buffer[259] = 0;
  return buffer;
}

}  // namespace

KW_API int ikst_vprintf(const char *format, va_list args) {
  if (!format) return -1;
  if (g_no_console.load()) {
    FILE *f = console_file(g_stdout_file, g_stdout_name);
    return f ? to_stream(f, format, args) : -1;
  }
  if (debugger_attached()) return to_debugger(format, args);
  return to_stream(btk_get_stdout(), format, args);
}

KW_API int ikst_printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = ikst_vprintf(format, args);
  va_end(args);
  return r;
}

KW_API int ikst_vfprintf(FILE *stream, const char *format, va_list args) {
  if (!format || !stream) return -1;
  if (stream == btk_get_stderr()) {
    if (g_no_console.load()) {
      FILE *f = console_file(g_stderr_file, g_stderr_name);
      return f ? to_stream(f, format, args) : -1;
    }
    if (debugger_attached()) return to_debugger(format, args);
  }
  return to_stream(stream, format, args);
}

KW_API int ikst_fprintf(FILE *stream, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = ikst_vfprintf(stream, format, args);
  va_end(args);
  return r;
}

KW_API int Gdi32SetNoConsole(int flag) {
  g_no_console.store(flag);
  return flag;
}

KW_API const char *Gdi32SetStdOutFile(const char *name) { return set_name(g_stdout_name, name); }

KW_API const char *Gdi32SetStdErrFile(const char *name) { return set_name(g_stderr_name, name); }
