#include "run_driver.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <variant>

#include "platform/error.h"
#include "standard_error.h"
#include "text/utf8.h"

namespace vorn {

namespace {

constexpr std::chrono::duration<double> kSliceLength{0.05};

// What the worker hands back to the main thread.
using Outcome = std::variant<std::string, Error>;

Outcome transcribeCatchingErrors(const Transcribe& transcribe, const FileURL& url,
                                 const std::string& locale) {
  try {
    return transcribe(url, locale);
  } catch (const Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return Error("memory ran out while transcribing " + printableInLine(url.path()));
  } catch (const std::exception& error) {
    // Out of memory and the like: still one clean "Error: " line.
    return Error(error.what());
  }
}

// The document goes out in full, and a failure to write or flush it is a
// failure of the run: reporting success without the document would lose it.
void printDocument(const std::string& text, std::FILE* out, std::FILE* err) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                       std::fputc('\n', out) != EOF && std::fflush(out) == 0;
  if (!written) {
    const int cause = errno;
    std::string description = "cannot write the result to standard output";
    if (cause != 0) description += std::string(": ") + std::strerror(cause);
    exitWithError(description, err);
  }
}

// The transcription task. Shared by the job that starts it, the worker
// thread and the job that ends it; only one of them touches it at a time.
struct Task {
  RunLoop& mainLoop;
  CompletionGroup& group;
  std::thread worker;
};

}  // namespace

int runTranscriptionDriver(RunLoop& mainLoop, const FileURL& capturedFileURL,
                           const std::string& capturedLocaleId, Transcribe transcribe,
                           DriverStreams streams) {
  CompletionGroup group;
  // Entered before the task exists, so the loop below cannot see the group
  // complete before the task has left it.
  group.enter();

  auto task = std::make_shared<Task>(Task{mainLoop, group, {}});
  mainLoop.post([task, &capturedFileURL, &capturedLocaleId, transcribe = std::move(transcribe),
                 streams] {
    // On the main thread: take the inputs, then leave the transcription to a
    // worker so the main thread keeps turning its loop.
    FileURL url = capturedFileURL;
    std::string locale = capturedLocaleId;
    try {
      task->worker = std::thread([task, url = std::move(url), locale = std::move(locale),
                                  transcribe, streams]() mutable {
        Outcome outcome = transcribeCatchingErrors(transcribe, url, locale);
        task->mainLoop.post([task, outcome = std::move(outcome), streams] {
          // Back on the main thread. The worker has nothing left to do.
          task->worker.join();
          if (const Error* error = std::get_if<Error>(&outcome)) {
            exitWithError(error->localizedDescription(), streams.err);
          }
          printDocument(std::get<std::string>(outcome), streams.out, streams.err);
          task->group.leave();
        });
      });
    } catch (const std::system_error& error) {
      // Under an address-space limit, the thread's stack may not fit.
      exitWithError(std::string("cannot start the transcription: not enough memory or threads left (") + error.what() + ")",
               streams.err);
    }
  });

  while (!group.isComplete()) mainLoop.runOnce(kSliceLength);
  return 0;
}

}  // namespace vorn
