// The runtime logger: areas, levels, nested loggers and entry streams.
//
// An area is a named subject ("vexe.regen", ...) with a threshold level; an
// entry of an area at a level is written only when the area is loggable at
// that level. Entries go to the current logger, which names itself in each
// line; loggers nest ("vexe/child") and the current one is chosen through a
// process-wide stack.
//
// Text is written through btkLogGetOStream(area, level), a per-thread
// stream, and ended with the btkLogEndEntry manipulator, which writes the
// whole entry as one line:
//
//   2026-12-06T10:15:02.123 vexe regen INFO: [12] text
//
// Thresholds come from KEELWORK_LOG ("area=level,...", "*" for every area;
// levels off, error, warning, info, debug, trace; the default is off) and
// from SetAreaLevel; output goes to KEELWORK_LOG_FILE (appended) or to
// standard error, or to the stream given to SetOutput.
//
// The manager and the loggers live for the process. Entries of different
// threads never interleave: each entry is written whole under a lock.
#ifndef KEELWORK_BTK_LOG_HPP
#define KEELWORK_BTK_LOG_HPP

#include <ostream>

#include "btk_base.hpp"
#include "kw_base.h"

enum LogLevelT {
  LOG_LEVEL_OFF = -1,
  LOG_LEVEL_ERROR = 0,
  LOG_LEVEL_WARNING = 1,
  LOG_LEVEL_INFO = 2,
  LOG_LEVEL_DEBUG = 3,
  LOG_LEVEL_TRACE = 4
};

// An area: an opaque handle owned by the manager.
struct btkLogArea;

class btkLogger;

class KW_API btkLogManager {
 public:
  // The process's manager, created on the first call.
  static btkLogManager *Create();
  // The area named `name`, or null.
  btkLogArea *GetArea(const char *name);
  // Creates the area (or returns the existing one of that name).
  btkLogArea *CreateArea(const char *name, const char *description);
  // Whether entries of `area` at `level` are written.
  bool AreaIsLoggable(const btkLogArea *area, LogLevelT level) const;
  // Sets the threshold of the area `name` ("*": every area, also those
  // created later); returns the number of areas changed.
  int SetAreaLevel(const char *name, LogLevelT level);
  // The area's name and description.
  static const char *AreaName(const btkLogArea *area);
  static const char *AreaDescription(const btkLogArea *area);
  // Writes entries to `out` (null: back to the configured file or standard
  // error). The stream must outlive its use.
  void SetOutput(std::ostream *out);
  // A top-level logger (created on first request, shared afterwards) with
  // one reference for the caller.
  btkLogger *GetLogger(const char *name, const char *description);
  // Parses a level name ("info", "DEBUG", "2"); LOG_LEVEL_OFF when unknown.
  static LogLevelT ParseLevel(const char *text);

 private:
  btkLogManager() = default;
};

class KW_API btkLogger : public btkObject {
 public:
  // Makes `logger` the current one (replacing the top of the stack); the
  // stack keeps a reference.
  static void SetCurrent(btkLogger *logger);
  // Pushes `logger` (a reference is kept) so that it becomes current.
  static void PushCurrent(btkLogger *logger);
  // Pops the current logger (the bottom one stays).
  static void PopCurrent();
  // The current logger (no reference added), or null.
  static btkLogger *GetCurrent();
  // A logger nested in the current one, with one reference for the caller.
  static btkLogger *CreateNestedOnCurrent(const char *name, const char *description,
                                          void *reserved);

  const char *Name() const;
  const char *Description() const;
  // "parent/child" for nested loggers.
  const char *FullName() const;
  btkLogger *Parent() const { return parent_; }

  ~btkLogger() override;

 private:
  friend class btkLogManager;
  btkLogger(const char *name, const char *description, btkLogger *parent);
  btkZString name_, description_, full_name_;
  btkLogger *parent_;
};

// The calling thread's entry stream for `area` at `level`. Text written to
// it becomes one entry when btkLogEndEntry is applied; an entry of an area
// that is not loggable at the level is discarded.
KW_API std::ostream &btkLogGetOStream(btkLogArea *area, LogLevelT level);
// Ends the entry: writes it as one line and empties the stream.
KW_API std::ostream &btkLogEndEntry(std::ostream &stream);

#endif  // KEELWORK_BTK_LOG_HPP
