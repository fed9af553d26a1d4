// Peak memory of a whole transcription with the number of decoders forced,
// as on a machine with that many cores. The tool itself takes its count from
// the machine, so this bench-only program drives the same code with a count
// of its choosing.
//
// Usage: decoder_memory <decoders> <audio-file>
// Prints "<decoders> <seconds> <peak resident MB> <peak address space MB>
// <words>" on one line.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/device_speech_platform.h"
#include "platform/engines/setup/model_folders.h"
#include "platform/error.h"
#include "platform/file_url.h"
#include "transcription/transcription_run.h"

namespace {

// VmPeak of /proc/self/status, in MB.
double peakAddressSpaceMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmPeak:")) return std::atof(line.c_str() + 7) / 1024.0;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: decoder_memory <decoders> <audio-file>\n", stderr);
    return 2;
  }
  const int decoders = std::atoi(argv[1]);
  const auto start = std::chrono::steady_clock::now();
  std::string document;
  try {
    vorn::DeviceSpeechPlatform platform(vorn::modelFolders(), decoders);
    document = vorn::runTranscription(vorn::FileURL::fromPath(argv[2]), "en-US", platform);
  } catch (const vorn::Error& error) {
    std::fprintf(stderr, "Error: %s\n", error.localizedDescription().c_str());
    return 1;
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::size_t words = 0;
  for (std::size_t at = document.find("\"text\""); at != std::string::npos;
       at = document.find("\"text\"", at + 1)) {
    ++words;
  }
  std::printf("%d %.1f %.1f %.1f %zu\n", decoders, seconds.count(),
              static_cast<double>(usage.ru_maxrss) / 1024.0, peakAddressSpaceMb(), words);
  return 0;
}
