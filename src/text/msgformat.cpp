// Positional message formats and the status codes of message errors.
#include <cstring>

#include "keelwork/status_codes.h"
#include "keelwork/vexformat.h"

namespace {

constexpr int kBadFormat = -30;

inline bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The type of a directive letter; 0 for "q" (accepted, untyped), -1 for a
// letter that is not a directive.
int type_of(char letter) {
  switch (letter) {
    case 'S':
    case 's':
      return VEX_MSG_ARG_STRING;
    case 'W':
    case 'w':
      return VEX_MSG_ARG_WSTRING;
    case 'd':
      return VEX_MSG_ARG_INT;
    case 'e':
    case 'f':
    case 'g':
      return VEX_MSG_ARG_DOUBLE;
    case 'q':
      return 0;
    default:
      return -1;
  }
}

}  // namespace

KW_API int ParseMsgFormat(const char *format, vex_msg_format *info) {
  if (!format || !info) return kBadFormat;
  std::memset(info, 0, sizeof *info);
  const char *p = format;
  if (p[0] == '%' && p[1] == 'C') p += 2;
  int highest = -1;
  while ((p = std::strchr(p, '%'))) {
    char c = p[1];
    if (c == '%' || c == 'Q') {
      p += 2;
      continue;
    }
    if (c < '0' || c > '9') return kBadFormat;
    int index = c - '0';
    const char *q = p + 2;
    while (*q && !is_letter(*q)) ++q;
    int type = *q ? type_of(*q) : -1;
    if (type < 0) return kBadFormat;
    if (type > 0) {
      info->args[index].type = type;
      if (index > highest) highest = index;
    }
    p = q + 1;
  }
  info->count = highest + 1;
  for (int i = info->count; i < VEX_MSG_MAX_ARGS; ++i) info->args[i] = vex_msg_arg{0, 0};
  return 0;
}

KW_API int Eerror2VexError_Msg(int code, int *result) {
  int mapped;
  switch (code) {
    case E_NOT_FOUND:
      mapped = -4;
      break;
    case E_CANT_OPEN:
      mapped = -24;
      break;
    case E_EXIST:
      mapped = -5;
      break;
    default:
      mapped = -1;
      break;
  }
  if (result) *result = mapped;
  return mapped;
}
