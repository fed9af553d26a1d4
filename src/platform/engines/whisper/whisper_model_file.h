#ifndef VORN_PLATFORM_ENGINES_WHISPER_WHISPER_MODEL_FILE_H_
#define VORN_PLATFORM_ENGINES_WHISPER_WHISPER_MODEL_FILE_H_

// What a whisper model file (whisper.cpp's ggml format, ggml-*.bin) holds,
// read and checked without loading its weights.
//
// whisper.cpp's loader trusts the file: it reads past the end of a truncated
// file without noticing, sizes buffers from the header unchecked, and writes
// as many dimensions as a tensor header claims into a four-element array. So
// every file is walked here first, seeking past the weights, and only a file
// whose every part is where and what the loader expects is handed to it.

#include <cstdint>
#include <filesystem>
#include <string>

namespace vorn {

struct WhisperModelInfo {
  std::filesystem::path path;
  std::int32_t vocabularySize = 0;  // 51864 English-only, 51865 multilingual, 51866 v3
  std::int32_t audioContext = 0;
  std::int32_t state = 0;  // width of the encoder and the decoder alike
  std::int32_t audioHeads = 0;
  std::int32_t audioLayers = 0;
  std::int32_t textContext = 0;
  std::int32_t textHeads = 0;
  std::int32_t textLayers = 0;
  std::int32_t mels = 0;
  std::int32_t weightType = 0;  // ggml_type of the large weight matrices

  // Whether the model knows every language whisper does; an English-only
  // (".en") model has one token fewer.
  bool multilingual() const noexcept { return vocabularySize >= 51865; }

  // Bits per weight of the large matrices: 32 for f32, 16 for f16, about 8.5
  // for q8_0 and so on.
  double bitsPerWeight() const;
};

// Reads the header of the model file at `path` and walks its vocabulary and
// every tensor's header, checking that the file holds exactly the tensors a
// model of those dimensions has, each with its type and shape, and ends right
// after the last one. Reads a few hundred kilobytes whatever the model's size.
//
// Throws vorn::Error naming `path` and what is wrong: not a readable regular
// file, empty, not a whisper model, dimensions out of range, truncated,
// tensors missing, unexpected or misshapen, bytes after the end.
WhisperModelInfo inspectWhisperModel(const std::filesystem::path& path);

// Reads and checks only the header: enough to know which languages the
// model serves and how capable it is. Throws vorn::Error as above.
WhisperModelInfo readWhisperModelHeader(const std::filesystem::path& path);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_WHISPER_WHISPER_MODEL_FILE_H_
