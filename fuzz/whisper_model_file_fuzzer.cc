// Arbitrary bytes as a file → inspectWhisperModel and readWhisperModelHeader,
// the walk every ggml-*.bin file in the model folders gets before whisper.cpp
// may load it. vorn::Error is the one allowed failure; a crash, a leak, a
// hang, any other exception, or a file passed whole whose header reads
// differently on its own is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "memory_file.h"
#include "platform/engines/whisper/whisper_model_file.h"
#include "platform/error.h"

namespace {

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "whisper_model_file_fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MemoryFile file(data, size);
  try {
    const vorn::WhisperModelInfo whole = vorn::inspectWhisperModel(file.path());
    const vorn::WhisperModelInfo header = vorn::readWhisperModelHeader(file.path());
    if (header.state != whole.state || header.vocabularySize != whole.vocabularySize ||
        header.audioLayers != whole.audioLayers || header.textLayers != whole.textLayers ||
        header.mels != whole.mels || header.weightType != whole.weightType) {
      finding("the header reads differently from the whole file");
    }
  } catch (const vorn::Error&) {
    // Refusing a damaged or foreign file is the walk's job.
  }
  try {
    vorn::readWhisperModelHeader(file.path());
  } catch (const vorn::Error&) {
  }
  return 0;
}
