#ifndef VORN_PLATFORM_SYSTEM_RUN_LOOP_H_
#define VORN_PLATFORM_SYSTEM_RUN_LOOP_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace vorn {

// The main thread's run loop: a queue of jobs that only the thread turning
// the loop runs. Other threads hand work to the main thread by posting.
// A command-line tool could simply join its worker; the loop is kept so that
// the task starts and ends on the main thread, as it would inside a desktop
// application's event loop, and the same driver serves both.
//
// post() is thread-safe; runOnce() is called by one thread (the main one).
class RunLoop {
 public:
  using Job = std::function<void()>;

  // Queues `job` to run on the thread that turns the loop, after the jobs
  // already queued.
  void post(Job job);

  // One turn: waits until a job is queued or `limit` has passed, whichever
  // comes first, then runs the jobs queued at that moment, in order. Returns
  // at once when jobs are already waiting. Jobs posted while these run wait
  // for the next turn.
  void runOnce(std::chrono::duration<double> limit);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Job> jobs_;
};

// A count of outstanding work that can be tested without blocking: entered
// once per piece of work, left once when it is done. Thread-safe. The main
// thread polls it between turns of its run loop instead of blocking on the
// worker, so the loop keeps running jobs while the work goes on.
class CompletionGroup {
 public:
  void enter() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }
  void leave() noexcept { count_.fetch_sub(1, std::memory_order_release); }

  // True when the group has been left as often as it was entered. Never
  // blocks. What was written before the matching leave() is visible after a
  // true result.
  bool isComplete() const noexcept { return count_.load(std::memory_order_acquire) == 0; }

 private:
  std::atomic<long> count_{0};
};

}  // namespace vorn

#endif  // VORN_PLATFORM_SYSTEM_RUN_LOOP_H_
