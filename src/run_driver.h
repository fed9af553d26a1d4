#ifndef VORN_RUN_DRIVER_H_
#define VORN_RUN_DRIVER_H_

#include <cstdio>
#include <functional>
#include <string>

#include "platform/file_url.h"
#include "platform/system/run_loop.h"

namespace vorn {

// Turns the audio file and the locale identifier into the result document's
// text, or throws vorn::Error. Called once, off the main thread.
using Transcribe = std::function<std::string(const FileURL& audioURL, const std::string& locale)>;

struct DriverStreams {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// Launches the transcription task and turns `mainLoop` on the calling (main)
// thread until the task has finished.
//
// The task's own steps run on the main thread, inside turns of `mainLoop`:
// its start, which reads `capturedFileURL` and `capturedLocaleId` (so they
// must be set before the call and stay unchanged) and hands `transcribe` to a
// worker thread; and its end. Each turn waits at most 0.05 s, and completion
// is tested without blocking between turns.
//
// Success: writes the text and one newline to `streams.out`, flushes it, and
// returns 0. Failure of the transcription, or of that write or flush (a
// closed pipe, a full disk): writes "Error: " + the description + "\n" to
// `streams.err` with one fputs and ends the process with exit(1). Either way
// the worker thread has been joined first, so no engine thread is running.
int runTranscriptionDriver(RunLoop& mainLoop, const FileURL& capturedFileURL,
                           const std::string& capturedLocaleId, Transcribe transcribe,
                           DriverStreams streams = {});

}  // namespace vorn

#endif  // VORN_RUN_DRIVER_H_
