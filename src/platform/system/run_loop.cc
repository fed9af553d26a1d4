#include "platform/system/run_loop.h"

namespace vorn {

void RunLoop::post(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  posted_.notify_one();
}

void RunLoop::runOnce(std::chrono::duration<double> limit) {
  std::deque<Job> ready;
  {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, limit, [this] { return !jobs_.empty(); });
    ready.swap(jobs_);
  }
  // Run outside the lock: a job may post further jobs.
  for (Job& job : ready) job();
}

}  // namespace vorn
