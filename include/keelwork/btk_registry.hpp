// Registry values: per-user settings kept in an INI-style store.
//
// Keys keep their Windows-style paths ("Software\\Vendor\\Product\\Key"),
// each a section of the store; values are strings or 32-bit numbers. The
// user store is $XDG_CONFIG_HOME/keelwork/registry.ini (default
// ~/.config/keelwork/registry.ini; KEELWORK_REGISTRY_FILE overrides it);
// btkMachineRegistry reads the read-only machine store
// /etc/keelwork/registry.ini (KEELWORK_MACHINE_REGISTRY_FILE overrides it).
//
// Every write re-reads the store, changes it and replaces the file
// atomically (temporary file, then rename) under an exclusive lock on a
// lock file, so concurrent processes never lose each other's values.
// Reads take a shared lock. Key paths compare ignoring ASCII case, as do
// value names.
#ifndef KEELWORK_BTK_REGISTRY_HPP
#define KEELWORK_BTK_REGISTRY_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "kw_base.h"

class KW_API btkRegistryKey {
 public:
  // A key of the user store; nothing is created until a value is set.
  explicit btkRegistryKey(const char *path);
  const std::string &Path() const { return path_; }

  // Reads a value; false when the key or the value does not exist (or, for
  // GetDword, does not hold a number).
  bool GetString(const char *name, std::string &value) const;
  bool GetDword(const char *name, uint32_t &value) const;
  // Writes a value; false when the store cannot be written.
  bool SetString(const char *name, const char *value);
  bool SetDword(const char *name, uint32_t value);
  // Removes a value; true when it existed and was removed.
  bool DeleteValue(const char *name);
  // Removes the key with its values; true when it existed.
  bool DeleteKey();
  // The names of the key's values, in the order they were first set.
  std::vector<std::string> ValueNames() const;
  // Whether the key holds at least one value.
  bool Exists() const;

  // The file of the user store.
  static std::string UserStorePath();

 private:
  std::string path_;
};

class KW_API btkMachineRegistry {
 public:
  // Reads a value of the machine store.
  static bool GetString(const char *key_path, const char *name, std::string &value);
  static std::string StorePath();
};

#endif  // KEELWORK_BTK_REGISTRY_HPP
