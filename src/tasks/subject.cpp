// Subject and Observer.
#include "keelwork/subject.hpp"

#include "keelwork/xar.h"

// A notification in progress. Detach moves `next` back when it removes an
// observer before it, so the walk neither skips nor repeats one; the
// destructor marks every walk so that none touches the subject again.
struct Subject::Walk {
  int next;
  bool subject_gone;
  Walk *outer;
};

SubjectChangeBase::~SubjectChangeBase() = default;

Observer::~Observer() = default;

Subject::~Subject() {
  for (Walk *w = walks_; w; w = w->outer) w->subject_gone = true;
  xar_free(&observers_);
}

void Subject::Attach(Observer *observer) {
  if (!observer) return;
  for (int i = 0, n = xar_count(&observers_); i < n; ++i)
    if (observers_[i] == observer) return;
  xar_alloc_or_append(&observers_, 1, sizeof(Observer *), 1, &observer);
}

void Subject::Detach(Observer *observer) {
  for (int i = 0, n = xar_count(&observers_); i < n; ++i) {
    if (observers_[i] != observer) continue;
    xar_remove(&observers_, i, 1);
    for (Walk *w = walks_; w; w = w->outer)
      if (i < w->next) --w->next;
    return;
  }
}

void Subject::Notify(const SubjectChangeBase &change) {
  Walk walk{0, false, walks_};
  walks_ = &walk;
  // Pops the walk however Update leaves, unless the subject is gone.
  struct Pop {
    Subject *subject;
    Walk &walk;
    ~Pop() {
      if (!walk.subject_gone) subject->walks_ = walk.outer;
    }
  } pop{this, walk};
  while (walk.next < xar_count(&observers_)) {
    Observer *observer = observers_[walk.next++];
    observer->Update(change);
    if (walk.subject_gone) return;
  }
}

int Subject::ObserverCount() const { return xar_count(&observers_); }
