// The file layer's PFA_E_* codes for kw errors.
#include <keelwork/pfa.h>

#include <cstring>

#include "status_tables.h"

namespace {

std::optional<std::string> pfa_name(long code) {
  const char *name = pfa_error_to_string(static_cast<int>(code));
  if (std::strcmp(name, "PFA_UNKNOWN_ERROR") == 0) return std::nullopt;
  return std::string(name);
}

std::optional<long> pfa_code(const std::string &name) {
#define KW_ROW(n, value) \
  if (name == #n) return (value);
  PFA_ERROR_LIST(KW_ROW)
#undef KW_ROW
  return std::nullopt;
}

const KwStatusTable kFileLayer{"file layer", pfa_name, pfa_code};

}  // namespace
