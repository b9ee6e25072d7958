/* Threads and locks: mutexes, semaphores, threads, thread-local objects,
 * per-thread exit functions, the initialisation mutex, the MT-safe set and
 * atomic counters.
 *
 * Locks that the library creates lazily follow one pattern: take the
 * initialisation mutex, create the lock if its global is still null, release
 * the initialisation mutex, then take the new lock (see KW_LAZY_LOCK in the
 * sources).
 *
 * `thrThread_IsInMTSection()` is non-zero while the application runs
 * parallel work (it says so with thrThread_SetInMTSection); several families
 * take their locks only then.
 *
 * Handles returned here belong to the caller and are released with the
 * matching Destroy function. Every function is thread-safe.
 */
#ifndef KEELWORK_THREAD_H
#define KEELWORK_THREAD_H

#include "kw_base.h"

KW_BEGIN_DECLS

typedef struct thrMutex thrMutex;
typedef struct thrSemaphore thrSemaphore;
typedef struct thrThread thrThread;
typedef struct thrLocalObject thrLocalObject;

/* ---- mutexes and semaphores -------------------------------------------- */

/* A new plain (non-recursive) mutex. */
KW_API thrMutex *thrMutex_Create(void);
/* A new recursive mutex. */
KW_API thrMutex *thrMutex_Create_Recursive(void);
/* Locks; returns 0. A null mutex is accepted and does nothing. */
KW_API int thrMutex_Lock(thrMutex *mutex);
/* Unlocks; returns 0. A null mutex is accepted. */
KW_API int thrMutex_Unlock(thrMutex *mutex);
/* 1 when the lock was taken, 0 when it is held elsewhere (or null). */
KW_API int thrMutex_TryLock(thrMutex *mutex);
/* Destroys an unlocked mutex; null is accepted. */
KW_API void thrMutex_Destroy(thrMutex *mutex);

/* A counting semaphore with `initial` units. */
KW_API thrSemaphore *thrSemaphore_Create(int initial);
/* Adds one unit, waking one waiter. Returns 0. */
KW_API int thrSemaphore_Increment(thrSemaphore *semaphore);
/* Takes one unit, waiting up to `timeout_ms` milliseconds (negative: for
 * ever). Returns 0 when taken, 1 on time-out. */
KW_API int thrSemaphore_Decrement(thrSemaphore *semaphore, long timeout_ms);
/* Destroys the semaphore; null is accepted. */
KW_API void thrSemaphore_Destroy(thrSemaphore *semaphore);

/* The process-wide initialisation mutex (recursive). */
KW_API void LockInitializationMutex(void);
KW_API void UnlockInitializationMutex(void);

/* Runs `init` exactly once for `*once` (a zero-initialised int), even when
 * several threads arrive together; later callers wait for the first to
 * finish. Returns 0. */
KW_API int btkThrSetupInitOnce(int *once, void (*init)(void));

/* ---- parallel sections and thread identity ------------------------------ */

/* Non-zero while the application runs parallel work. */
KW_API int thrThread_IsInMTSection(void);
/* The application enters (1) or leaves (0) parallel work; returns the
 * previous value. */
KW_API int thrThread_SetInMTSection(int flag);
/* The kernel thread id of the calling thread. */
KW_API long thrThread_GetCurrentThreadId(void);
/* 1 on the main thread (the one that loaded the library or called
 * thrThread_SetMainThread), else 0. */
KW_API int thrThread_IsMainThread(void);
/* Declares the calling thread the main thread. */
KW_API void thrThread_SetMainThread(void);

/* ---- threads ------------------------------------------------------------- */

typedef int (*thrThreadFunc)(thrThread *thread, void *arg);

/* A new thread object, not yet running. */
KW_API thrThread *thrThread_Create(void);
/* Sets the function the thread will run and its argument. Returns 0. */
KW_API int thrThread_SetUserExecute(thrThread *thread, thrThreadFunc func, void *arg);
/* Attaches a data word to the thread object. */
KW_API void thrThread_SetData(thrThread *thread, void *data);
KW_API void *thrThread_GetData(const thrThread *thread);
/* Starts the thread. Returns 0, or -1 when it could not be started (no
 * function set, already started, or refused by the system). */
KW_API int thrThread_Execute(thrThread *thread);
/* The same with a stack of `stack_size` bytes (0: default). */
KW_API int thrThread_Execute_With_StackSize(thrThread *thread, size_t stack_size);
/* Waits up to `timeout_ms` (negative: for ever) for the thread to end.
 * Returns 0 when it ended (its result goes to `*result` when given), 1 on
 * time-out, -1 when it was never started. */
KW_API int thrThread_Wait(thrThread *thread, long timeout_ms, int *result);
/* Waits for a started thread to end, then frees the object; null accepted. */
KW_API void thrThread_Destroy(thrThread *thread);

/* Handler of a C++ exception that escaped a thread function (or of a fault
 * the thread guard caught); `what` describes it. */
typedef void (*thrUnhandledFunc)(const char *what);
/* Installs the default handler for failures in threads started here;
 * returns the previous one. Without a handler such a failure ends the
 * process through the abort hook. */
KW_API thrUnhandledFunc thrSetDefaultOnUnhandled(thrUnhandledFunc handler);

/* ---- thread-local objects and exit functions ---------------------------- */

/* A new thread-local slot; `destructor` (may be null) is called with a
 * thread's non-null value when that thread ends. */
KW_API thrLocalObject *thrLocalObject_Create(void (*destructor)(void *value));
KW_API void *thrLocalObject_GetData(thrLocalObject *object);
KW_API int thrLocalObject_SetData(thrLocalObject *object, void *value);
/* Destroys the slot (values are not destroyed). */
KW_API void thrLocalObject_Destroy(thrLocalObject *object);

/* Registers `func(datum)` to run when the calling thread ends (newest
 * first). On the main thread the functions run at process exit. */
KW_API int thrCurThread_RegisterOnExitFunc(void (*func)(void *datum), void *datum);

/* ---- MT-safe set -------------------------------------------------------- */

/* Adds a guard name (copied) to the process-wide set; 0, or 1 when present. */
KW_API int AddToMTSafeSet(const char *name);
/* Removes a guard name; 0, or 1 when absent. */
KW_API int RemoveFromMTSafeSet(const char *name);
/* 1 when the name is in the set. */
KW_API int IsInMTSafeSet(const char *name);

/* ---- atomics ------------------------------------------------------------ */

/* Atomically adds 1 to `*counter`; returns the new value. */
KW_API int32_t btkAoInc32(volatile int32_t *counter);
/* Atomically subtracts 1; returns the new value. */
KW_API int32_t btkAoDec32(volatile int32_t *counter);

/* Sets the number of asynchronous jobs the runtime may run at once; returns
 * the previous limit. */
KW_API int btkThrSetJobMaxConcurrency(int count);

KW_END_DECLS

#endif /* KEELWORK_THREAD_H */
