// Names of the library's and the toolkit's status codes.
#include <array>

#include "keelwork/debug.h"

namespace {

constexpr int kFirst = -2;
constexpr int kLast = 396;

// Dense table over kFirst..kLast built from the code list; the gaps stay null.
struct NameTable {
  std::array<const char *, kLast - kFirst + 1> names{};
  constexpr NameTable() {
#define KW_NAME_ENTRY(name, value) \
  if ((value) >= kFirst && (value) <= kLast) names[(value)-kFirst] = #name;
    KW_STATUS_CODE_LIST(KW_NAME_ENTRY)
#undef KW_NAME_ENTRY
  }
};
constexpr NameTable kNames;

struct ToolkitName {
  int code;
  const char *name;
};
constexpr ToolkitName kToolkitNames[] = {
#define KW_TK_ENTRY(name, value) {(value), #name},
    KW_TOOLKIT_CODE_LIST(KW_TK_ENTRY)
#undef KW_TK_ENTRY
};

}  // namespace

KW_API const char *dbg_err_string(int code) {
  if (code == W_BAD_PARAM) return "W_BAD_PARAM";
  if (code >= kFirst && code <= kLast && kNames.names[code - kFirst])
    return kNames.names[code - kFirst];
  return "Unknown error macro.";
}

KW_API const char *vextk_perror(int code) {
  for (const ToolkitName &t : kToolkitNames)
    if (t.code == code) return t.name;
  return "";
}
