// Tables of status codes that `kw errors` searches. Each family of codes
// registers one table with a static KwStatusTable object.
#ifndef KW_TOOL_STATUS_TABLES_H
#define KW_TOOL_STATUS_TABLES_H

#include <optional>
#include <string>
#include <vector>

struct KwStatusTable {
  // `name_of` returns the name of a code, or nothing when the table lacks it;
  // `code_of` the code of a name.
  KwStatusTable(const char *title, std::optional<std::string> (*name_of)(long code),
                std::optional<long> (*code_of)(const std::string &name));
  const char *title;
  std::optional<std::string> (*name_of)(long code);
  std::optional<long> (*code_of)(const std::string &name);
};

const std::vector<const KwStatusTable *> &kw_status_tables();

#endif  // KW_TOOL_STATUS_TABLES_H
