// vorn-speech: transcribes one audio file on the device and prints the words
// with their times as one line of JSON. Started as a child process by a
// desktop application, which reads standard output and the exit status.

#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "command_line.h"
#include "platform/device_speech_platform.h"
#include "platform/engines/setup/decoder_budget.h"
#include "platform/system/exit_guard.h"
#include "platform/file_url.h"
#include "platform/system/os_version.h"
#include "platform/system/run_loop.h"
#include "run_driver.h"
#include "standard_error.h"
#include "text/utf8.h"
#include "transcription/progress_meter.h"
#include "transcription/transcription_run.h"

namespace {

// The command-line state, one set per process. Written on the main thread
// before the transcription task exists and only read afterwards.
vorn::CommandLine commandLine;
vorn::FileURL fileURL;
std::string capturedLocaleId;
vorn::FileURL capturedFileURL;

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away must show up as a failed write, which is
  // reported, not as a signal that ends the process without a word.
  std::signal(SIGPIPE, SIG_IGN);
  // Under an address-space limit (ulimit -v), the malloc arena glibc gives
  // each new thread (64 MB of address space reserved apiece) would take the
  // room the engine's models need; with one shared arena the threads only
  // wait on each other's allocations now and then.
  if (vorn::measureMemoryRoom().addressLimit) mallopt(M_ARENA_MAX, 1);

  vorn::scanOptions(argc, argv, commandLine);

  if (commandLine.showHelp) {
    vorn::writeHelp(stderr);
    std::exit(0);
  }
  if (!commandLine.inputPath) vorn::exitWithError("--input is required", stderr);
  fileURL = vorn::FileURL::fromPath(*commandLine.inputPath);
  if (!vorn::fileExistsAtPath(*commandLine.inputPath)) {
    vorn::exitWithError("file not found: " + *commandLine.inputPath, stderr);
  }
  if (!vorn::operatingSystemSupportsSpeechEngine()) {
    vorn::exitWithError("SpeechAnalyzer requires macOS 26 or later", stderr);
  }

  capturedLocaleId = commandLine.localeId;
  capturedFileURL = fileURL;

  // From here on the engine's libraries run, and they may end the process
  // themselves; the guard keeps that within the tool's contract.
  vorn::DriverStreams streams;
  streams.err = vorn::installExitGuard(vorn::printableInLine(*commandLine.inputPath));

  // Progress lines go where the tool's own lines go, from the thread that
  // runs the transcription; the meter lives as long as the driver.
  std::FILE* const err = streams.err;
  std::optional<vorn::ProgressMeter> progress;
  if (commandLine.showProgress) {
    progress.emplace([err](int percent) { vorn::writeProgress(percent, err); });
  }

  vorn::RunLoop mainLoop;
  return vorn::runTranscriptionDriver(
      mainLoop, capturedFileURL, capturedLocaleId,
      [&progress](const vorn::FileURL& audioURL, const std::string& locale) {
        vorn::DeviceSpeechPlatform platform;
        return vorn::runTranscription(audioURL, locale, platform,
                                      progress ? &*progress : nullptr);
      },
      streams);
}
