// Subjects and observers: a subject keeps a list of observers and tells
// each of them about a change.
//
// Notify calls the observers in the order they were attached, including
// observers attached during the notification. An observer may detach itself
// or others while it is notified, and even destroy the subject: observers
// still attached are called once each, detached ones no more. The subject
// does not own its observers. One subject, one thread at a time.
#ifndef KEELWORK_SUBJECT_HPP
#define KEELWORK_SUBJECT_HPP

#include "kw_base.h"

// The base of the objects that describe a change.
class KW_API SubjectChangeBase {
 public:
  virtual ~SubjectChangeBase();
};

// Receives the changes of the subjects it is attached to.
class KW_API Observer {
 public:
  virtual ~Observer();
  virtual void Update(const SubjectChangeBase &change) = 0;
};

class KW_API Subject {
 public:
  Subject() = default;
  // Frees the list of observers, not the observers.
  virtual ~Subject();
  Subject(const Subject &) = delete;
  Subject &operator=(const Subject &) = delete;

  // Appends `observer`; null and observers already attached are ignored.
  void Attach(Observer *observer);
  // Removes the first occurrence of `observer`, if any.
  void Detach(Observer *observer);
  // Calls Update(change) on every attached observer, in attach order.
  void Notify(const SubjectChangeBase &change);
  // The number of attached observers.
  int ObserverCount() const;

 private:
  struct Walk;
  Observer **observers_ = nullptr;  // an xar, growth increment 1
  Walk *walks_ = nullptr;           // notifications in progress, innermost first
};

#endif  // KEELWORK_SUBJECT_HPP
