// Threads and locks on pthreads.
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "keelwork/btk_hooks.h"
#include "keelwork/memory.h"
#include "keelwork/thread.h"
#include "runtime/runtime_internal.h"

struct thrMutex {
  pthread_mutex_t m;
};

struct thrSemaphore {
  pthread_mutex_t m;
  pthread_cond_t c;
  long units;
};

struct thrThread {
  pthread_t handle{};
  thrThreadFunc func = nullptr;
  void *arg = nullptr;
  void *data = nullptr;
  int result = 0;
  bool started = false;
  bool joined = false;
  pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t done_cond = PTHREAD_COND_INITIALIZER;
  bool done = false;
};

struct thrLocalObject {
  pthread_key_t key;
};

namespace {

thrMutex *new_mutex(int type) {
  auto *m = static_cast<thrMutex *>(kw::runtime::sys_alloc(sizeof(thrMutex), "thrMutex_Create"));
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, type);
  pthread_mutex_init(&m->m, &attr);
  pthread_mutexattr_destroy(&attr);
  return m;
}

// Absolute CLOCK_REALTIME deadline `ms` milliseconds from now.
timespec deadline_after(long ms) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  ts.tv_sec += ms / 1000;
  ts.tv_nsec += (ms % 1000) * 1000000L;
  if (ts.tv_nsec >= 1000000000L) {
    ts.tv_sec += 1;
    ts.tv_nsec -= 1000000000L;
  }
  return ts;
}

pthread_mutex_t g_init_mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
std::atomic<int> g_in_mt_section{0};
std::atomic<long> g_main_tid{0};
std::atomic<thrUnhandledFunc> g_unhandled{nullptr};
std::atomic<int> g_job_concurrency{0};

long current_tid() {
  static thread_local long tid = static_cast<long>(syscall(SYS_gettid));
  return tid;
}

// The set of guard names, under its own mutex.
std::mutex &mt_set_lock() {
  static std::mutex m;
  return m;
}
std::set<std::string> &mt_set() {
  static auto *s = new std::set<std::string>;
  return *s;
}

// Per-thread exit functions, run newest first when the thread ends.
struct ExitFuncs {
  std::vector<std::pair<void (*)(void *), void *>> funcs;
  ~ExitFuncs() { run(); }
  void run() {
    while (!funcs.empty()) {
      auto f = funcs.back();
      funcs.pop_back();
      f.first(f.second);
    }
  }
};
thread_local ExitFuncs t_exit_funcs;

void report_unhandled(const char *what) {
  if (thrUnhandledFunc h = g_unhandled.load()) {
    h(what);
    return;
  }
  btkAbort(what, "thread", nullptr, 0);
}

void *thread_entry(void *p) {
  auto *t = static_cast<thrThread *>(p);
  int result = 0;
  try {
    result = t->func(t, t->arg);
  } catch (const std::exception &e) {
    std::string what = std::string("unhandled exception in thread: ") + e.what();
    report_unhandled(what.c_str());
    result = -1;
  } catch (...) {
    report_unhandled("unhandled exception in thread");
    result = -1;
  }
  t_exit_funcs.run();
  pthread_mutex_lock(&t->m);
  t->result = result;
  t->done = true;
  pthread_cond_broadcast(&t->done_cond);
  pthread_mutex_unlock(&t->m);
  return nullptr;
}

}  // namespace

// ---- runtime-internal -----------------------------------------------------------

namespace kw::runtime {

thrMutex *LazyMutex::get() {
  thrMutex *m = mutex_.load(std::memory_order_acquire);
  if (m) return m;
  LockInitializationMutex();
  m = mutex_.load(std::memory_order_relaxed);
  if (!m) {
    m = recursive_ ? thrMutex_Create_Recursive() : thrMutex_Create();
    mutex_.store(m, std::memory_order_release);
  }
  UnlockInitializationMutex();
  return m;
}

}  // namespace kw::runtime

// ---- mutexes and semaphores -------------------------------------------------------

KW_API thrMutex *thrMutex_Create(void) { return new_mutex(PTHREAD_MUTEX_NORMAL); }

KW_API thrMutex *thrMutex_Create_Recursive(void) { return new_mutex(PTHREAD_MUTEX_RECURSIVE); }

KW_API int thrMutex_Lock(thrMutex *mutex) {
  if (mutex) pthread_mutex_lock(&mutex->m);
  return 0;
}

KW_API int thrMutex_Unlock(thrMutex *mutex) {
  if (mutex) pthread_mutex_unlock(&mutex->m);
  return 0;
}

KW_API int thrMutex_TryLock(thrMutex *mutex) {
  return mutex && pthread_mutex_trylock(&mutex->m) == 0 ? 1 : 0;
}

KW_API void thrMutex_Destroy(thrMutex *mutex) {
  if (!mutex) return;
  pthread_mutex_destroy(&mutex->m);
  std::free(mutex);
}

KW_API thrSemaphore *thrSemaphore_Create(int initial) {
  auto *s = static_cast<thrSemaphore *>(
      kw::runtime::sys_alloc(sizeof(thrSemaphore), "thrSemaphore_Create"));
  pthread_mutex_init(&s->m, nullptr);
  pthread_cond_init(&s->c, nullptr);
  s->units = initial > 0 ? initial : 0;
  return s;
}

KW_API int thrSemaphore_Increment(thrSemaphore *semaphore) {
  if (!semaphore) return -1;
  pthread_mutex_lock(&semaphore->m);
  ++semaphore->units;
  pthread_cond_signal(&semaphore->c);
  pthread_mutex_unlock(&semaphore->m);
  return 0;
}

KW_API int thrSemaphore_Decrement(thrSemaphore *semaphore, long timeout_ms) {
  if (!semaphore) return -1;
  timespec until{};
  if (timeout_ms >= 0) until = deadline_after(timeout_ms);
  pthread_mutex_lock(&semaphore->m);
  int result = 0;
  while (semaphore->units == 0) {
    if (timeout_ms < 0) {
      pthread_cond_wait(&semaphore->c, &semaphore->m);
    } else if (pthread_cond_timedwait(&semaphore->c, &semaphore->m, &until) == ETIMEDOUT) {
      if (semaphore->units == 0) result = 1;
      break;
    }
  }
  if (result == 0) --semaphore->units;
  pthread_mutex_unlock(&semaphore->m);
  return result;
}

KW_API void thrSemaphore_Destroy(thrSemaphore *semaphore) {
  if (!semaphore) return;
  pthread_cond_destroy(&semaphore->c);
  pthread_mutex_destroy(&semaphore->m);
  std::free(semaphore);
}

KW_API void LockInitializationMutex(void) { pthread_mutex_lock(&g_init_mutex); }

KW_API void UnlockInitializationMutex(void) { pthread_mutex_unlock(&g_init_mutex); }

KW_API int btkThrSetupInitOnce(int *once, void (*init)(void)) {
  if (!once || !init) return -1;
  // 0: not run, 1: running, 2: done.
  auto *state = reinterpret_cast<std::atomic<int> *>(once);
  if (state->load(std::memory_order_acquire) == 2) return 0;
  LockInitializationMutex();
  if (state->load(std::memory_order_relaxed) == 0) {
    state->store(1, std::memory_order_relaxed);
    init();
    state->store(2, std::memory_order_release);
  }
  UnlockInitializationMutex();
  return 0;
}

// ---- parallel sections and identity -------------------------------------------------

KW_API int thrThread_IsInMTSection(void) { return g_in_mt_section.load(std::memory_order_relaxed); }

KW_API int thrThread_SetInMTSection(int flag) { return g_in_mt_section.exchange(flag ? 1 : 0); }

KW_API long thrThread_GetCurrentThreadId(void) { return current_tid(); }

// The process's first thread (whose id is the process id) is the main
// thread unless the application names another one.
KW_API int thrThread_IsMainThread(void) {
  long main_tid = g_main_tid.load(std::memory_order_relaxed);
  return current_tid() == (main_tid ? main_tid : static_cast<long>(getpid())) ? 1 : 0;
}

KW_API void thrThread_SetMainThread(void) { g_main_tid.store(current_tid()); }

// ---- threads -------------------------------------------------------------------------

KW_API thrThread *thrThread_Create(void) {
  void *p = kw::runtime::sys_alloc(sizeof(thrThread), "thrThread_Create");
  return new (p) thrThread;
}

KW_API int thrThread_SetUserExecute(thrThread *thread, thrThreadFunc func, void *arg) {
  if (!thread) return -1;
  thread->func = func;
  thread->arg = arg;
  return 0;
}

KW_API void thrThread_SetData(thrThread *thread, void *data) {
  if (thread) thread->data = data;
}

KW_API void *thrThread_GetData(const thrThread *thread) { return thread ? thread->data : nullptr; }

KW_API int thrThread_Execute(thrThread *thread) {
  return thrThread_Execute_With_StackSize(thread, 0);
}

KW_API int thrThread_Execute_With_StackSize(thrThread *thread, size_t stack_size) {
  if (!thread || !thread->func || thread->started) return -1;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stack_size) {
    // The system minimum (16 KiB) cannot hold a formatted message or the
    // thread-exit functions; small requests get a floor that can.
    constexpr size_t kStackFloor = 256 * 1024;
    stack_size = std::max({stack_size, kStackFloor, static_cast<size_t>(PTHREAD_STACK_MIN)});
    pthread_attr_setstacksize(&attr, stack_size);
  }
  int rc = pthread_create(&thread->handle, &attr, thread_entry, thread);
  pthread_attr_destroy(&attr);
  if (rc != 0) return -1;
  thread->started = true;
  return 0;
}

KW_API int thrThread_Wait(thrThread *thread, long timeout_ms, int *result) {
  if (!thread || !thread->started) return -1;
  pthread_mutex_lock(&thread->m);
  if (timeout_ms < 0) {
    while (!thread->done) pthread_cond_wait(&thread->done_cond, &thread->m);
  } else {
    timespec until = deadline_after(timeout_ms);
    while (!thread->done)
      if (pthread_cond_timedwait(&thread->done_cond, &thread->m, &until) == ETIMEDOUT) break;
  }
  bool done = thread->done;
  int r = thread->result;
  pthread_mutex_unlock(&thread->m);
  if (!done) return 1;
  if (!thread->joined) {
    pthread_join(thread->handle, nullptr);
    thread->joined = true;
  }
  if (result) *result = r;
  return 0;
}

KW_API void thrThread_Destroy(thrThread *thread) {
  if (!thread) return;
  if (thread->started) thrThread_Wait(thread, -1, nullptr);
  thread->~thrThread();
  std::free(thread);
}

KW_API thrUnhandledFunc thrSetDefaultOnUnhandled(thrUnhandledFunc handler) {
  return g_unhandled.exchange(handler);
}

// ---- thread-local objects and exit functions -------------------------------------------

KW_API thrLocalObject *thrLocalObject_Create(void (*destructor)(void *value)) {
  auto *o = static_cast<thrLocalObject *>(
      kw::runtime::sys_alloc(sizeof(thrLocalObject), "thrLocalObject_Create"));
  if (pthread_key_create(&o->key, destructor) != 0) {
    std::free(o);
    return nullptr;
  }
  return o;
}

KW_API void *thrLocalObject_GetData(thrLocalObject *object) {
  return object ? pthread_getspecific(object->key) : nullptr;
}

KW_API int thrLocalObject_SetData(thrLocalObject *object, void *value) {
  return object && pthread_setspecific(object->key, value) == 0 ? 0 : -1;
}

KW_API void thrLocalObject_Destroy(thrLocalObject *object) {
  if (!object) return;
  pthread_key_delete(object->key);
  std::free(object);
}

KW_API int thrCurThread_RegisterOnExitFunc(void (*func)(void *datum), void *datum) {
  if (!func) return -1;
  t_exit_funcs.funcs.emplace_back(func, datum);
  return 0;
}

// ---- MT-safe set -----------------------------------------------------------------------

KW_API int AddToMTSafeSet(const char *name) {
  if (!name) return -1;
  std::lock_guard<std::mutex> g(mt_set_lock());
  return mt_set().insert(name).second ? 0 : 1;
}

KW_API int RemoveFromMTSafeSet(const char *name) {
  if (!name) return -1;
  std::lock_guard<std::mutex> g(mt_set_lock());
  return mt_set().erase(name) ? 0 : 1;
}

KW_API int IsInMTSafeSet(const char *name) {
  if (!name) return 0;
  std::lock_guard<std::mutex> g(mt_set_lock());
  return mt_set().count(name) ? 1 : 0;
}

// ---- atomics ----------------------------------------------------------------------------

KW_API int32_t btkAoInc32(volatile int32_t *counter) {
  return __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST);
}

KW_API int32_t btkAoDec32(volatile int32_t *counter) {
  return __atomic_sub_fetch(counter, 1, __ATOMIC_SEQ_CST);
}

KW_API int btkThrSetJobMaxConcurrency(int count) {
  return g_job_concurrency.exchange(count > 0 ? count : 0);
}
