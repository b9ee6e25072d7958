// The runtime data store: string keys with a data pointer and a release
// function each.
#include <utility>
#include <vector>

#include "keelwork/bind.h"
#include "keelwork/btk_base.hpp"

namespace {

struct Value {
  void *data;
  GenRtDataFreeFunc free;
};

constexpr int kOk = 0;
constexpr int kRefused = -2;
constexpr int kAbsent = -4;

void release(Value value) {
  if (value.free) value.free(&value.data);
}

}  // namespace

struct GenRtData {
  btkStringMap<Value> map;
};

KW_API GenRtData *GenRtDataInit(void) { return new GenRtData; }

KW_API int GenRtDataSet(GenRtData *store, const char *key, void *data) {
  if (!store || !key || store->map.Find(key) >= 0) return kRefused;
  store->map.Add(key, Value{data, nullptr});
  return kOk;
}

KW_API int GenRtDataGet(const GenRtData *store, const char *key, void **data) {
  if (data) *data = nullptr;
  if (!store) return kRefused;
  Value *value = key ? store->map.Lookup(key) : nullptr;
  if (!value) return kAbsent;
  if (data) *data = value->data;
  return kOk;
}

KW_API int GenRtDataFreeFuncSet(GenRtData *store, const char *key, GenRtDataFreeFunc free_func) {
  if (!store) return kRefused;
  Value *value = key ? store->map.Lookup(key) : nullptr;
  if (!value) return kAbsent;
  value->free = free_func;
  return kOk;
}

KW_API int GenRtDataDelete(GenRtData *store, const char *key) {
  int index = store && key ? store->map.Find(key) : -1;
  if (index < 0) return kOk;
  // Off the store first, so that a release function may use the store.
  Value value = store->map.GetValueAt(index);
  store->map.RemoveAt(index);
  release(value);
  return kOk;
}

KW_API void GenRtDataFree(GenRtData **store) {
  if (!store || !*store) return;
  GenRtData *gone = std::exchange(*store, nullptr);
  std::vector<Value> values;
  for (const auto &entry : gone->map) values.push_back(entry.second);
  delete gone;
  for (const Value &value : values) release(value);
}
