#include "platform/system/exit_guard.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>

namespace vorn {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Everything the handler needs, made up front: when it runs, memory may be
// exhausted. Lives until the process ends (on_exit keeps only a pointer).
struct GuardState {
  pthread_t mainThread;
  int errorFd;
  std::string outOfMemoryLine;
  std::string stoppedLine;
};

void writeFully(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
    if (count <= 0) return;
    written += static_cast<std::size_t>(count);
  }
}

void onExit(int status, void* argument) {
  const auto* state = static_cast<const GuardState*>(argument);
  if (pthread_equal(pthread_self(), state->mainThread)) return;
  // The allocator's exit(-1) is the engine's only exit with status 255
  // (on_exit sees the value passed to exit, not the status it becomes).
  const bool outOfMemory = (status & 0xff) == 255;
  writeFully(state->errorFd, outOfMemory ? state->outOfMemoryLine : state->stoppedLine);
  ::_exit(1);
}

}  // namespace

std::FILE* installExitGuard(const std::string& subject) {
  // Kept for the rest of the process: the handler may run at its very end.
  // Held here as well as by on_exit, which stores the pointer in a form
  // leak checkers cannot see.
  static GuardState* state = nullptr;
  state = new GuardState{
      pthread_self(), STDERR_FILENO,
      "Error: memory ran out while transcribing " + subject + "\n",
      "Error: the speech engine stopped while transcribing " + subject + "\n"};
  std::FILE* errors = stderr;
  if (!kSanitized) {
    const int saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::FILE* stream = saved >= 0 ? ::fdopen(saved, "w") : nullptr;
    if (stream != nullptr && null >= 0 && ::dup2(null, STDERR_FILENO) >= 0) {
      // Unbuffered like stderr: each line the tool writes goes out whole at
      // once, also when the process ends through exit() right after.
      std::setvbuf(stream, nullptr, _IONBF, 0);
      errors = stream;
      state->errorFd = saved;
    } else if (stream != nullptr) {
      std::fclose(stream);
    } else if (saved >= 0) {
      ::close(saved);
    }
    if (null >= 0) ::close(null);
  }
  ::on_exit(onExit, state);
  return errors;
}

}  // namespace vorn
