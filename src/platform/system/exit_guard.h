#ifndef VORN_PLATFORM_SYSTEM_EXIT_GUARD_H_
#define VORN_PLATFORM_SYSTEM_EXIT_GUARD_H_

// The speech engine's libraries give up by ending the whole process from
// whichever thread they run on: their allocator writes "calloc(...) failed
// from ..." on standard error and calls exit(-1) when memory runs out, and
// their fatal-error macro calls exit(1) without a word once logging is off.
// Neither can be caught or switched off, and both would break the tool's
// contract (status 0 or 1; on failure one "Error: " line and nothing else).
// The guard turns such an exit into that contract.

#include <cstdio>
#include <string>

namespace vorn {

// Call once, on the main thread, before any other thread exists and after
// the last line the tool writes on standard error by itself (help, start-up
// errors). From then on, for the life of the process:
//
// - File descriptor 2 is /dev/null, so that what libraries write on standard
//   error goes nowhere. The returned stream (never null) writes where
//   standard error went before; the tool's own lines go there. Sanitizer
//   builds keep descriptor 2 as it was, so that their reports stay visible;
//   the returned stream is then stderr itself.
// - exit() called on any thread but the calling one ends the process at
//   once (_exit: no further exit handler runs, no stdio buffer is flushed)
//   with status 1, after one line on the returned stream: "Error: memory ran
//   out while transcribing <subject>" when the exit status was 255 (the
//   allocator's), else "Error: the speech engine stopped while transcribing
//   <subject>". Writing that line allocates nothing.
// - exit() on the calling thread (the tool's own exits, main returning)
//   behaves exactly as before.
//
// If two threads call exit() at once, the first to reach the guard ends the
// process; the other may meanwhile run exit handlers registered before this
// call (the C++ runtime's), which write nothing on standard output.
std::FILE* installExitGuard(const std::string& subject);

}  // namespace vorn

#endif  // VORN_PLATFORM_SYSTEM_EXIT_GUARD_H_
