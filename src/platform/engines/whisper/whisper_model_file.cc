#include "platform/engines/whisper/whisper_model_file.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include <ggml.h>
#include <sys/stat.h>

#include "platform/error.h"
#include "text/utf8.h"

namespace vorn {
namespace {

constexpr std::uint32_t kMagic = 0x67676d6c;  // "ggml"
constexpr std::int32_t kFftBins = 201;        // 1 + 400 / 2: whisper's window
// Bounds well beyond every published model (large: width 1280, 32 layers,
// 20 heads), so that a damaged header cannot ask for absurd allocations.
constexpr std::int32_t kMaxState = 4096;
constexpr std::int32_t kMaxLayers = 64;
constexpr std::int32_t kMaxHeads = 64;
constexpr std::int32_t kMaxAudioContext = 1500;  // 30 s of 20 ms positions
constexpr std::int32_t kMaxTextContext = 448;
constexpr std::uint32_t kMaxTokenBytes = 1024;
constexpr std::int32_t kMaxNameBytes = 256;

struct ExpectedTensor {
  ggml_type type;
  std::int64_t shape[3];
};

struct CloseFile {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

class Reader {
 public:
  Reader(std::FILE* file, std::int64_t size, const std::filesystem::path& path)
      : file_(file), size_(size), path_(path) {}

  template <typename T>
  T read(const char* what) {
    T value{};
    bytes(&value, sizeof value, what);
    return value;
  }

  void bytes(void* out, std::size_t count, const char* what) {
    if (std::fread(out, 1, count, file_) != count) fail(std::string("it ends inside ") + what);
    offset_ += static_cast<std::int64_t>(count);
  }

  void skip(std::int64_t count, const char* what) {
    if (count < 0 || count > size_ - offset_) fail(std::string("it ends inside ") + what);
    if (::fseeko(file_, static_cast<off_t>(count), SEEK_CUR) != 0) fail("it cannot be read");
    offset_ += count;
  }

  bool atEnd() const noexcept { return offset_ == size_; }

  [[noreturn]] void fail(const std::string& problem) const {
    throw Error("the whisper model " + printableInLine(path_.string()) +
                " cannot be used: " + problem);
  }

 private:
  std::FILE* file_;
  std::int64_t size_;
  std::int64_t offset_ = 0;
  const std::filesystem::path& path_;
};

// The tensors whisper.cpp creates for a model of these dimensions, by name:
// the same list, types and shapes as its loader.
std::map<std::string, ExpectedTensor> expectedTensors(const WhisperModelInfo& m) {
  const auto wtype = static_cast<ggml_type>(m.weightType);
  const ggml_type conv = wtype == GGML_TYPE_F32 ? GGML_TYPE_F32 : GGML_TYPE_F16;
  const std::int64_t n = m.state;
  std::map<std::string, ExpectedTensor> tensors;
  auto add = [&](std::string name, ggml_type type, std::int64_t a, std::int64_t b = 1,
                 std::int64_t c = 1) { tensors[std::move(name)] = {type, {a, b, c}}; };

  add("encoder.positional_embedding", GGML_TYPE_F32, n, m.audioContext);
  add("encoder.conv1.weight", conv, 3, m.mels, n);
  add("encoder.conv1.bias", GGML_TYPE_F32, 1, n);
  add("encoder.conv2.weight", conv, 3, n, n);
  add("encoder.conv2.bias", GGML_TYPE_F32, 1, n);
  add("encoder.ln_post.weight", GGML_TYPE_F32, n);
  add("encoder.ln_post.bias", GGML_TYPE_F32, n);
  // One attention block: query, key (no bias), value, out.
  auto attention = [&](const std::string& prefix) {
    add(prefix + "_ln.weight", GGML_TYPE_F32, n);
    add(prefix + "_ln.bias", GGML_TYPE_F32, n);
    add(prefix + ".query.weight", wtype, n, n);
    add(prefix + ".query.bias", GGML_TYPE_F32, n);
    add(prefix + ".key.weight", wtype, n, n);
    add(prefix + ".value.weight", wtype, n, n);
    add(prefix + ".value.bias", GGML_TYPE_F32, n);
    add(prefix + ".out.weight", wtype, n, n);
    add(prefix + ".out.bias", GGML_TYPE_F32, n);
  };
  auto mlp = [&](const std::string& prefix) {
    add(prefix + ".mlp_ln.weight", GGML_TYPE_F32, n);
    add(prefix + ".mlp_ln.bias", GGML_TYPE_F32, n);
    add(prefix + ".mlp.0.weight", wtype, n, 4 * n);
    add(prefix + ".mlp.0.bias", GGML_TYPE_F32, 4 * n);
    add(prefix + ".mlp.2.weight", wtype, 4 * n, n);
    add(prefix + ".mlp.2.bias", GGML_TYPE_F32, n);
  };
  for (int i = 0; i < m.audioLayers; ++i) {
    const std::string block = "encoder.blocks." + std::to_string(i);
    mlp(block);
    attention(block + ".attn");
  }
  add("decoder.positional_embedding", GGML_TYPE_F32, n, m.textContext);
  add("decoder.token_embedding.weight", wtype, n, m.vocabularySize);
  add("decoder.ln.weight", GGML_TYPE_F32, n);
  add("decoder.ln.bias", GGML_TYPE_F32, n);
  for (int i = 0; i < m.textLayers; ++i) {
    const std::string block = "decoder.blocks." + std::to_string(i);
    mlp(block);
    attention(block + ".attn");
    attention(block + ".cross_attn");
  }
  return tensors;
}

void checkHeader(const WhisperModelInfo& m, const Reader& reader) {
  auto within = [](std::int32_t value, std::int32_t low, std::int32_t high) {
    return value >= low && value <= high;
  };
  if (!within(m.vocabularySize, 51864, 51866)) reader.fail("its vocabulary size is not whisper's");
  if (!within(m.state, 1, kMaxState) || !within(m.audioHeads, 1, kMaxHeads) ||
      !within(m.textHeads, 1, kMaxHeads) || m.state % m.audioHeads != 0 ||
      m.state % m.textHeads != 0) {
    reader.fail("its width or attention heads are out of range");
  }
  if (!within(m.audioLayers, 1, kMaxLayers) || !within(m.textLayers, 1, kMaxLayers)) {
    reader.fail("its layer counts are out of range");
  }
  if (!within(m.audioContext, 1, kMaxAudioContext) || !within(m.textContext, 1, kMaxTextContext)) {
    reader.fail("its context lengths are out of range");
  }
  if (m.mels != 80 && m.mels != 128) reader.fail("its mel band count is not whisper's");
  const auto type = static_cast<ggml_type>(m.weightType);
  // Quantized rows are whole blocks; the width must fill them.
  if (m.state % ggml_blck_size(type) != 0) reader.fail("its weight type does not fit its width");
}

}  // namespace

double WhisperModelInfo::bitsPerWeight() const {
  const auto type = static_cast<ggml_type>(weightType);
  return 8.0 * static_cast<double>(ggml_type_size(type)) / static_cast<double>(ggml_blck_size(type));
}

namespace {

WhisperModelInfo readModel(const std::filesystem::path& path, bool wholeFile) {
  WhisperModelInfo info;
  info.path = path;
  const std::string shown = printableInLine(path.string());

  std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
  struct stat status {};
  if (!file || ::fstat(::fileno(file.get()), &status) != 0) {
    throw Error("the whisper model " + shown + " cannot be opened");
  }
  if (!S_ISREG(status.st_mode)) {
    throw Error("the whisper model " + shown + " is not a regular file");
  }
  if (status.st_size == 0) throw Error("the whisper model " + shown + " is empty");
  Reader reader(file.get(), static_cast<std::int64_t>(status.st_size), path);

  std::uint32_t magic = 0;
  if (status.st_size < static_cast<off_t>(sizeof magic) ||
      (reader.bytes(&magic, sizeof magic, "the header"), magic != kMagic)) {
    reader.fail("it is not a whisper model");
  }
  info.vocabularySize = reader.read<std::int32_t>("the header");
  info.audioContext = reader.read<std::int32_t>("the header");
  info.state = reader.read<std::int32_t>("the header");
  info.audioHeads = reader.read<std::int32_t>("the header");
  info.audioLayers = reader.read<std::int32_t>("the header");
  info.textContext = reader.read<std::int32_t>("the header");
  if (reader.read<std::int32_t>("the header") != info.state) {
    reader.fail("its encoder and decoder widths differ");
  }
  info.textHeads = reader.read<std::int32_t>("the header");
  info.textLayers = reader.read<std::int32_t>("the header");
  info.mels = reader.read<std::int32_t>("the header");
  // The file type's thousands count the quantization format's version.
  const std::int32_t fileType = reader.read<std::int32_t>("the header") % GGML_QNT_VERSION_FACTOR;
  // ggml aborts the process on a file type it has no weight type for, so
  // only the ones it maps are passed to it: f32, f16, q4_0, q4_1, and q8_0
  // through the newest, q1_0 (4 is the retired "q4_1 with some f16", 5 and
  // 6 were never used).
  const bool known = (fileType >= GGML_FTYPE_ALL_F32 && fileType <= GGML_FTYPE_MOSTLY_Q4_1) ||
                     (fileType >= GGML_FTYPE_MOSTLY_Q8_0 && fileType <= GGML_FTYPE_MOSTLY_Q1_0);
  if (!known) reader.fail("its weight type is unknown");
  const ggml_type weightType = ggml_ftype_to_ggml_type(static_cast<ggml_ftype>(fileType));
  info.weightType = weightType;
  checkHeader(info, reader);
  if (!wholeFile) return info;

  if (reader.read<std::int32_t>("the mel filters") != info.mels ||
      reader.read<std::int32_t>("the mel filters") != kFftBins) {
    reader.fail("its mel filters do not match its header");
  }
  reader.skip(std::int64_t{info.mels} * kFftBins * 4, "the mel filters");

  const std::int32_t tokens = reader.read<std::int32_t>("the vocabulary");
  if (tokens < 1 || tokens > info.vocabularySize) reader.fail("its vocabulary size is out of range");
  bool hasSpace = false;
  for (std::int32_t i = 0; i < tokens; ++i) {
    const std::uint32_t length = reader.read<std::uint32_t>("the vocabulary");
    if (length > kMaxTokenBytes) reader.fail("its vocabulary is damaged");
    if (length == 1 && !hasSpace) {
      hasSpace = reader.read<char>("the vocabulary") == ' ';
    } else {
      reader.skip(length, "the vocabulary");
    }
  }
  // whisper.cpp looks the plain space token up by text when it decodes.
  if (!hasSpace) reader.fail("its vocabulary lacks the space token");

  std::map<std::string, ExpectedTensor> expected = expectedTensors(info);
  while (!reader.atEnd()) {
    const auto dimensions = reader.read<std::int32_t>("a tensor header");
    const auto nameLength = reader.read<std::int32_t>("a tensor header");
    const auto type = reader.read<std::int32_t>("a tensor header");
    if (dimensions < 1 || dimensions > 3 || nameLength < 1 || nameLength > kMaxNameBytes ||
        type < 0 || type >= GGML_TYPE_COUNT) {
      reader.fail("a tensor header is damaged");
    }
    std::int64_t shape[3] = {1, 1, 1};
    for (int d = 0; d < dimensions; ++d) shape[d] = reader.read<std::int32_t>("a tensor header");
    std::string name(static_cast<std::size_t>(nameLength), '\0');
    reader.bytes(name.data(), name.size(), "a tensor header");

    const auto found = expected.find(name);
    if (found == expected.end()) {
      reader.fail("it holds an unexpected or repeated tensor " + printableInLine(name));
    }
    const ExpectedTensor want = found->second;
    expected.erase(found);
    if (type != want.type || shape[0] != want.shape[0] || shape[1] != want.shape[1] ||
        shape[2] != want.shape[2]) {
      reader.fail("the tensor " + name + " has the wrong type or shape");
    }
    const std::int64_t bytes = static_cast<std::int64_t>(ggml_row_size(want.type, shape[0])) *
                               shape[1] * shape[2];
    reader.skip(bytes, "the weights");
  }
  if (!expected.empty()) {
    reader.fail("it is truncated or incomplete (" + std::to_string(expected.size()) +
                " tensors missing, first " + expected.begin()->first + ")");
  }
  return info;
}

}  // namespace

WhisperModelInfo inspectWhisperModel(const std::filesystem::path& path) {
  return readModel(path, true);
}

WhisperModelInfo readWhisperModelHeader(const std::filesystem::path& path) {
  return readModel(path, false);
}

}  // namespace vorn
