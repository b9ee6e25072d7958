// The INI-style registry store.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "keelwork/btk_registry.hpp"
#include "keelwork/btk_unicode.h"

namespace {

struct Value {
  std::string name;
  std::string text;
};
struct Section {
  std::string key;
  std::vector<Value> values;
};
using Store = std::vector<Section>;

bool same(const std::string &a, const char *b) { return btk_strcasecmp(a.c_str(), b) == 0; }

std::string trim(const std::string &s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Values are written escaped so that any text survives a round trip:
// backslash, line breaks and a leading or trailing blank.
std::string escape(const std::string &s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if ((c == ' ' || c == '\t') && (i == 0 || i + 1 == s.size()))
      out += c == ' ' ? "\\s" : "\\t";
    else
      out += c;
  }
  return out;
}

std::string unescape(const std::string &s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 's' ? ' ' : c == 't' ? '\t' : c;
  }
  return out;
}

Store parse(std::istream &in) {
  Store store;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      store.push_back({t.substr(1, t.size() - 2), {}});
      continue;
    }
    auto eq = t.find('=');
    if (eq == std::string::npos || store.empty()) continue;
    store.back().values.push_back({trim(t.substr(0, eq)), unescape(trim(t.substr(eq + 1)))});
  }
  return store;
}

Store read_store(const std::string &path) {
  std::ifstream in(path);
  return in ? parse(in) : Store{};
}

Section *find_section(Store &store, const std::string &key) {
  for (Section &s : store)
    if (same(s.key, key.c_str())) return &s;
  return nullptr;
}

Value *find_value(Section *s, const char *name) {
  if (!s) return nullptr;
  for (Value &v : s->values)
    if (same(v.name, name)) return &v;
  return nullptr;
}

bool make_dirs(const std::string &dir) {
  for (std::size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      std::string part = dir.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// Holds a flock on "<store>.lock" for its lifetime.
class StoreLock {
 public:
  StoreLock(const std::string &store, bool exclusive) {
    std::string dir = store.substr(0, store.rfind('/'));
    if (exclusive) make_dirs(dir);
    fd_ = ::open((store + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  StoreLock(const StoreLock &) = delete;
  StoreLock &operator=(const StoreLock &) = delete;

 private:
  int fd_ = -1;
};

bool write_store(const std::string &path, const Store &store) {
  std::ostringstream out;
  out << "; keelwork registry store\n";
  for (const Section &s : store) {
    if (s.values.empty()) continue;
    out << '[' << s.key << "]\n";
    for (const Value &v : s.values) out << v.name << '=' << escape(v.text) << '\n';
    out << '\n';
  }
  std::string text = out.str();
  std::string tmp = path + ".tmpXXXXXX";
  int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const char *p = text.data();
  std::size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  ::close(fd);
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

template <class Change>
bool modify(Change change) {
  std::string path = btkRegistryKey::UserStorePath();
  StoreLock lock(path, true);
  Store store = read_store(path);
  if (!change(store)) return false;
  return write_store(path, store);
}

std::string home_dir() {
  if (const char *h = std::getenv("HOME"); h && *h) return h;
  passwd pw{}, *res = nullptr;
  char buf[4096];
  if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &res) == 0 && res && pw.pw_dir)
    return pw.pw_dir;
  return "/tmp";
}

}  // namespace

btkRegistryKey::btkRegistryKey(const char *path) : path_(path ? path : "") {}

std::string btkRegistryKey::UserStorePath() {
  if (const char *f = std::getenv("KEELWORK_REGISTRY_FILE"); f && *f) return f;
  std::string base;
  if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    base = x;
  else
    base = home_dir() + "/.config";
  return base + "/keelwork/registry.ini";
}

bool btkRegistryKey::GetString(const char *name, std::string &value) const {
  if (!name) return false;
  std::string path = UserStorePath();
  StoreLock lock(path, false);
  Store store = read_store(path);
  Value *v = find_value(find_section(store, path_), name);
  if (!v) return false;
  value = v->text;
  return true;
}

bool btkRegistryKey::GetDword(const char *name, uint32_t &value) const {
  std::string text;
  if (!GetString(name, text) || text.rfind("dword:", 0) != 0) return false;
  char *end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(text.c_str() + 6, &end, 16);
  if (errno || !end || *end || end == text.c_str() + 6 || v > 0xFFFFFFFFul) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

bool btkRegistryKey::SetString(const char *name, const char *value) {
  if (!name || !*name || !value || path_.empty()) return false;
  return modify([&](Store &store) {
    Section *s = find_section(store, path_);
    if (!s) {
      store.push_back({path_, {}});
      s = &store.back();
    }
    if (Value *v = find_value(s, name))
      v->text = value;
    else
      s->values.push_back({name, value});
    return true;
  });
}

bool btkRegistryKey::SetDword(const char *name, uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "dword:%08x", value);
  return SetString(name, text);
}

bool btkRegistryKey::DeleteValue(const char *name) {
  if (!name) return false;
  return modify([&](Store &store) {
    Section *s = find_section(store, path_);
    if (!s) return false;
    for (auto it = s->values.begin(); it != s->values.end(); ++it)
      if (same(it->name, name)) {
        s->values.erase(it);
        return true;
      }
    return false;
  });
}

bool btkRegistryKey::DeleteKey() {
  return modify([&](Store &store) {
    for (auto it = store.begin(); it != store.end(); ++it)
      if (same(it->key, path_.c_str())) {
        store.erase(it);
        return true;
      }
    return false;
  });
}

std::vector<std::string> btkRegistryKey::ValueNames() const {
  std::string path = UserStorePath();
  StoreLock lock(path, false);
  Store store = read_store(path);
  std::vector<std::string> names;
  if (Section *s = find_section(store, path_))
    for (const Value &v : s->values) names.push_back(v.name);
  return names;
}

bool btkRegistryKey::Exists() const { return !ValueNames().empty(); }

std::string btkMachineRegistry::StorePath() {
  if (const char *f = std::getenv("KEELWORK_MACHINE_REGISTRY_FILE"); f && *f) return f;
  return "/etc/keelwork/registry.ini";
}

bool btkMachineRegistry::GetString(const char *key_path, const char *name, std::string &value) {
  if (!key_path || !name) return false;
  Store store = read_store(StorePath());
  Value *v = find_value(find_section(store, key_path), name);
  if (!v) return false;
  value = v->text;
  return true;
}
