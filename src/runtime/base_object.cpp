// The reference-counted base object.
#include <ostream>

#include "keelwork/btk_base.hpp"

btkObject::~btkObject() = default;

int btkObject::AddRef() const { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

int btkObject::Release() const {
  int left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

btkObject *btkObject::Clone() const { return nullptr; }

int btkObject::SerializeTo(std::ostream &) const { return -1; }
