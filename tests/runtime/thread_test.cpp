// Threads, locks, thread-local objects, exit functions and the MT-safe set.
#include <gtest/gtest.h>
#include <keelwork/thread.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(Thread, RunsWaitsAndReturnsTheResult) {
  thrThread *t = thrThread_Create();
  static int data = 5;
  thrThread_SetData(t, &data);
  EXPECT_EQ(thrThread_Wait(t, 0, nullptr), -1);  // never started
  thrThread_SetUserExecute(
      t,
      [](thrThread *self, void *arg) {
        return *static_cast<int *>(thrThread_GetData(self)) + *static_cast<int *>(arg);
      },
      &data);
  ASSERT_EQ(thrThread_Execute_With_StackSize(t, 1), 0);  // raised to the minimum
  EXPECT_EQ(thrThread_Execute(t), -1);                   // already started
  int result = 0;
  EXPECT_EQ(thrThread_Wait(t, -1, &result), 0);
  EXPECT_EQ(result, 10);
  EXPECT_EQ(thrThread_Wait(t, 0, &result), 0);  // waiting again is harmless
  thrThread_Destroy(t);
}

TEST(Thread, WaitTimesOut) {
  static std::atomic<bool> release{false};
  thrThread *t = thrThread_Create();
  thrThread_SetUserExecute(
      t,
      [](thrThread *, void *) {
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
      },
      nullptr);
  thrThread_Execute(t);
  EXPECT_EQ(thrThread_Wait(t, 20, nullptr), 1);
  release = true;
  EXPECT_EQ(thrThread_Wait(t, -1, nullptr), 0);
  thrThread_Destroy(t);
}

TEST(Thread, IdentityAndMainThread) {
  EXPECT_EQ(thrThread_IsMainThread(), 1);
  long main_id = thrThread_GetCurrentThreadId();
  long other_id = 0;
  int other_main = -1;
  std::thread([&] {
    other_id = thrThread_GetCurrentThreadId();
    other_main = thrThread_IsMainThread();
  }).join();
  EXPECT_NE(other_id, main_id);
  EXPECT_EQ(other_main, 0);
  EXPECT_EQ(thrThread_SetInMTSection(1), 0);
  EXPECT_EQ(thrThread_IsInMTSection(), 1);
  EXPECT_EQ(thrThread_SetInMTSection(0), 1);
}

TEST(Thread, ExitFunctionsRunNewestFirstAtThreadEnd) {
  static std::vector<int> order;
  order.clear();
  std::thread([] {
    static int one = 1, two = 2;
    thrCurThread_RegisterOnExitFunc([](void *d) { order.push_back(*static_cast<int *>(d)); }, &one);
    thrCurThread_RegisterOnExitFunc([](void *d) { order.push_back(*static_cast<int *>(d)); }, &two);
  }).join();
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST(Thread, LocalObjectsAreDestroyedPerThread) {
  static std::atomic<int> destroyed{0};
  thrLocalObject *slot = thrLocalObject_Create([](void *) { ++destroyed; });
  thrLocalObject_SetData(slot, &destroyed);
  std::thread([slot] {
    EXPECT_EQ(thrLocalObject_GetData(slot), nullptr);
    thrLocalObject_SetData(slot, &destroyed);
  }).join();
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(thrLocalObject_GetData(slot), &destroyed);
  thrLocalObject_Destroy(slot);
}

TEST(Thread, MutexesSemaphoresAndCounters) {
  thrMutex *m = thrMutex_Create();
  thrMutex *r = thrMutex_Create_Recursive();
  ASSERT_EQ(thrMutex_TryLock(m), 1);
  int other_try = -1;
  std::thread([&] { other_try = thrMutex_TryLock(m); }).join();
  EXPECT_EQ(other_try, 0);
  thrMutex_Unlock(m);
  thrMutex_Lock(r);
  EXPECT_EQ(thrMutex_TryLock(r), 1);  // recursive
  thrMutex_Unlock(r);
  thrMutex_Unlock(r);
  EXPECT_EQ(thrMutex_TryLock(nullptr), 0);

  thrSemaphore *s = thrSemaphore_Create(1);
  EXPECT_EQ(thrSemaphore_Decrement(s, 0), 0);
  EXPECT_EQ(thrSemaphore_Decrement(s, 10), 1);  // empty: times out
  std::thread([s] { thrSemaphore_Increment(s); }).join();
  EXPECT_EQ(thrSemaphore_Decrement(s, -1), 0);

  volatile int32_t counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        btkAoInc32(&counter);
        btkAoInc32(&counter);
        btkAoDec32(&counter);
      }
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(counter, 40000);
  thrSemaphore_Destroy(s);
  thrMutex_Destroy(m);
  thrMutex_Destroy(r);
}

TEST(Thread, InitOnceRunsOnceAcrossThreads) {
  static int once = 0;
  static std::atomic<int> runs{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([] { btkThrSetupInitOnce(&once, [] { ++runs; }); });
  for (auto &t : threads) t.join();
  EXPECT_EQ(runs.load(), 1);
}

TEST(Thread, MTSafeSet) {
  EXPECT_EQ(IsInMTSafeSet("language"), 0);
  EXPECT_EQ(AddToMTSafeSet("language"), 0);
  EXPECT_EQ(AddToMTSafeSet("language"), 1);
  EXPECT_EQ(IsInMTSafeSet("language"), 1);
  EXPECT_EQ(RemoveFromMTSafeSet("language"), 0);
  EXPECT_EQ(RemoveFromMTSafeSet("language"), 1);
  EXPECT_EQ(IsInMTSafeSet(nullptr), 0);
}

TEST(ThreadDeath, AnEscapedExceptionReachesTheHandler) {
  EXPECT_EXIT(
      {
        thrSetDefaultOnUnhandled([](const char *what) {
          fprintf(stderr, "handler: %s\n", what);
          _exit(7);
        });
        thrThread *t = thrThread_Create();
        thrThread_SetUserExecute(
            t, [](thrThread *, void *) -> int { throw std::runtime_error("boom"); }, nullptr);
        thrThread_Execute(t);
        thrThread_Wait(t, -1, nullptr);
        _exit(0);
      },
      testing::ExitedWithCode(7), "handler: unhandled exception in thread: boom");
}

}  // namespace
