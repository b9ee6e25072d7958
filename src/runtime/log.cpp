// The runtime logger.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "keelwork/btk_log.hpp"
#include "keelwork/btk_unicode.h"

struct btkLogArea {
  std::string name;
  std::string description;
  LogLevelT threshold = LOG_LEVEL_OFF;
};

namespace {

const char *const kLevelNames[] = {"ERROR", "WARNING", "INFO", "DEBUG", "TRACE"};

struct LogState {
  std::mutex lock;  // areas, loggers, stack and output
  std::map<std::string, std::unique_ptr<btkLogArea>> areas;
  std::map<std::string, LogLevelT> configured;  // from KEELWORK_LOG and SetAreaLevel
  LogLevelT all_level = LOG_LEVEL_OFF;
  bool all_set = false;
  std::map<std::string, btkLogger *> roots;
  std::vector<btkLogger *> stack;
  std::ostream *override_out = nullptr;
  std::unique_ptr<std::ofstream> file;
  bool file_tried = false;

  LogState() {
    if (const char *spec = std::getenv("KEELWORK_LOG")) parse_config(spec);
  }

  void parse_config(std::string spec) {
    std::stringstream in(spec);
    std::string item;
    while (std::getline(in, item, ',')) {
      auto eq = item.find('=');
      std::string name = item.substr(0, eq);
      LogLevelT level = eq == std::string::npos ? LOG_LEVEL_INFO
                                                : btkLogManager::ParseLevel(item.c_str() + eq + 1);
      if (name == "*") {
        all_level = level;
        all_set = true;
      } else if (!name.empty()) {
        configured[name] = level;
      }
    }
  }

  LogLevelT level_for(const std::string &name) const {
    auto it = configured.find(name);
    if (it != configured.end()) return it->second;
    return all_set ? all_level : LOG_LEVEL_OFF;
  }

  std::ostream &out() {
    if (override_out) return *override_out;
    if (!file_tried) {
      file_tried = true;
      if (const char *path = std::getenv("KEELWORK_LOG_FILE")) {
        auto f = std::make_unique<std::ofstream>(path, std::ios::app);
        if (*f) file = std::move(f);
      }
    }
    return file ? static_cast<std::ostream &>(*file) : std::cerr;
  }
};

LogState &state() {
  // Never destroyed: entries may be written from static destructors.
  static LogState *s = new LogState;
  return *s;
}

// The per-thread entry stream with the area and level it was opened for.
struct EntryStream : std::ostringstream {
  btkLogArea *area = nullptr;
  LogLevelT level = LOG_LEVEL_OFF;
};
thread_local EntryStream t_entry;

std::string timestamp() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t secs = system_clock::to_time_t(now);
  int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buf;
}

}  // namespace

// ---- manager -------------------------------------------------------------------------

btkLogManager *btkLogManager::Create() {
  static btkLogManager *manager = new btkLogManager;
  state();
  return manager;
}

btkLogArea *btkLogManager::GetArea(const char *name) {
  if (!name) return nullptr;
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.areas.find(name);
  return it == s.areas.end() ? nullptr : it->second.get();
}

btkLogArea *btkLogManager::CreateArea(const char *name, const char *description) {
  if (!name) return nullptr;
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  auto &slot = s.areas[name];
  if (!slot) {
    slot = std::make_unique<btkLogArea>();
    slot->name = name;
    slot->description = description ? description : "";
    slot->threshold = s.level_for(name);
  }
  return slot.get();
}

bool btkLogManager::AreaIsLoggable(const btkLogArea *area, LogLevelT level) const {
  return area && level >= LOG_LEVEL_ERROR && area->threshold != LOG_LEVEL_OFF &&
         level <= area->threshold;
}

int btkLogManager::SetAreaLevel(const char *name, LogLevelT level) {
  if (!name) return 0;
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  int changed = 0;
  if (std::string(name) == "*") {
    s.all_level = level;
    s.all_set = true;
    s.configured.clear();
    for (auto &a : s.areas) a.second->threshold = level, ++changed;
    return changed;
  }
  s.configured[name] = level;
  auto it = s.areas.find(name);
  if (it != s.areas.end()) {
    it->second->threshold = level;
    ++changed;
  }
  return changed;
}

const char *btkLogManager::AreaName(const btkLogArea *area) {
  return area ? area->name.c_str() : "";
}

const char *btkLogManager::AreaDescription(const btkLogArea *area) {
  return area ? area->description.c_str() : "";
}

void btkLogManager::SetOutput(std::ostream *out) {
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.override_out = out;
}

btkLogger *btkLogManager::GetLogger(const char *name, const char *description) {
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  std::string key = name ? name : "";
  auto &slot = s.roots[key];
  if (!slot) slot = new btkLogger(key.c_str(), description, nullptr);  // kept by the registry
  slot->AddRef();
  return slot;
}

LogLevelT btkLogManager::ParseLevel(const char *text) {
  if (!text) return LOG_LEVEL_OFF;
  if (*text >= '0' && *text <= '4' && !text[1]) return static_cast<LogLevelT>(*text - '0');
  static const struct {
    const char *name;
    LogLevelT level;
  } kNames[] = {{"off", LOG_LEVEL_OFF},         {"error", LOG_LEVEL_ERROR},
                {"warning", LOG_LEVEL_WARNING}, {"warn", LOG_LEVEL_WARNING},
                {"info", LOG_LEVEL_INFO},       {"debug", LOG_LEVEL_DEBUG},
                {"trace", LOG_LEVEL_TRACE}};
  for (const auto &n : kNames)
    if (btk_strcasecmp(text, n.name) == 0) return n.level;
  return LOG_LEVEL_OFF;
}

// ---- loggers -------------------------------------------------------------------------------

btkLogger::btkLogger(const char *name, const char *description, btkLogger *parent)
    : name_(name), description_(description), parent_(parent) {
  full_name_ = parent ? btkZString(parent->FullName()) + "/" + name_ : name_;
  if (parent_) parent_->AddRef();
}

btkLogger::~btkLogger() {
  if (parent_) parent_->Release();
}

const char *btkLogger::Name() const { return name_.c_str(); }
const char *btkLogger::Description() const { return description_.c_str(); }
const char *btkLogger::FullName() const { return full_name_.c_str(); }

void btkLogger::SetCurrent(btkLogger *logger) {
  LogState &s = state();
  btkLogger *old = nullptr;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (logger) logger->AddRef();
    if (s.stack.empty()) {
      if (logger) s.stack.push_back(logger);
    } else {
      old = s.stack.back();
      if (logger)
        s.stack.back() = logger;
      else
        s.stack.pop_back();
    }
  }
  if (old) old->Release();
}

void btkLogger::PushCurrent(btkLogger *logger) {
  if (!logger) return;
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  logger->AddRef();
  s.stack.push_back(logger);
}

void btkLogger::PopCurrent() {
  LogState &s = state();
  btkLogger *old = nullptr;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.stack.size() > 1) {
      old = s.stack.back();
      s.stack.pop_back();
    }
  }
  if (old) old->Release();
}

btkLogger *btkLogger::GetCurrent() {
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  return s.stack.empty() ? nullptr : s.stack.back();
}

btkLogger *btkLogger::CreateNestedOnCurrent(const char *name, const char *description, void *) {
  btkLogger *parent = GetCurrent();
  return new btkLogger(name ? name : "", description ? description : "", parent);
}

// ---- entries ------------------------------------------------------------------------------------

std::ostream &btkLogGetOStream(btkLogArea *area, LogLevelT level) {
  if (t_entry.area != area || t_entry.level != level) {
    t_entry.str(std::string());
    t_entry.clear();
    t_entry.area = area;
    t_entry.level = level;
  }
  return t_entry;
}

std::ostream &btkLogEndEntry(std::ostream &stream) {
  auto *entry = dynamic_cast<EntryStream *>(&stream);
  if (!entry) return stream << '\n';
  std::string text = entry->str();
  entry->str(std::string());
  entry->clear();
  btkLogArea *area = entry->area;
  LogLevelT level = entry->level;
  if (!btkLogManager::Create()->AreaIsLoggable(area, level)) return stream;
  LogState &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  const char *logger = s.stack.empty() ? "-" : s.stack.back()->FullName();
  std::ostream &out = s.out();
  out << timestamp() << ' ' << logger << ' ' << area->name << ' ' << kLevelNames[level] << ": "
      << text << '\n';
  out.flush();
  return stream;
}
