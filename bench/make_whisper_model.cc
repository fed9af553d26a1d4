// Writes a random-weight whisper model for the benchmark, which needs a
// model of a released model's dimensions and cannot download one.
//
// Usage: make_whisper_model OUT.bin [tiny|base.en|base|small.en] [SEED]
//   tiny      the tests' small English-only model
//   base.en   base.en's dimensions (the default): 74 M parameters, f16
//   base      the multilingual base model's dimensions
//   small.en  small.en's dimensions: 244 M parameters, f16 (width 768,
//             12 heads, 12 layers each side)

#include <cstdio>
#include <exception>
#include <string>

#include "support/random_whisper_model.h"

namespace {

using vorn::testing::RandomWhisperModelConfig;

bool configNamed(const std::string& name, RandomWhisperModelConfig& config) {
  if (name == "tiny") {
    config = RandomWhisperModelConfig::tiny();
  } else if (name == "base.en") {
    config = RandomWhisperModelConfig::baseEnDimensions();
  } else if (name == "base") {
    config = RandomWhisperModelConfig::baseDimensions();
  } else if (name == "small.en") {
    config = RandomWhisperModelConfig::baseEnDimensions();
    config.audioState = config.textState = 768;
    config.audioHeads = config.textHeads = 12;
    config.audioLayers = config.textLayers = 12;
  } else {
    return false;
  }
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "Error: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) return fail("usage: make_whisper_model OUT.bin [tiny|base.en|base|small.en] [SEED]");
  RandomWhisperModelConfig config;
  const std::string name = argc > 2 ? argv[2] : "base.en";
  if (!configNamed(name, config)) return fail("unknown model kind '" + name + "' (tiny, base.en, base or small.en)");
  if (argc > 3) {
    try {
      std::size_t used = 0;
      const unsigned long seed = std::stoul(argv[3], &used);
      if (used != std::string(argv[3]).size() || seed > 0xFFFFFFFFul) throw std::out_of_range("seed");
      config.seed = static_cast<uint32_t>(seed);
    } catch (const std::exception&) {
      return fail(std::string("the seed must be a number from 0 to 4294967295, not '") + argv[3] + "'");
    }
  }
  try {
    vorn::testing::writeRandomWhisperModel(argv[1], config);
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  return 0;
}
