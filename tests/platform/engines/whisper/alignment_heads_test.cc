#include "platform/engines/whisper/alignment_heads.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

WhisperModelInfo header(int vocabulary, int state, int heads, int audioLayers, int textLayers) {
  WhisperModelInfo info;
  info.vocabularySize = vocabulary;
  info.state = state;
  info.audioHeads = heads;
  info.textHeads = heads;
  info.audioLayers = audioLayers;
  info.textLayers = textLayers;
  return info;
}

TEST(AlignmentHeadsTest, GoByTheModelsDimensions) {
  struct Case {
    const char* model;
    WhisperModelInfo header;
    whisper_alignment_heads_preset preset;
    int topLayers;
  } cases[] = {
      {"tiny.en", header(51864, 384, 6, 4, 4), WHISPER_AHEADS_TINY_EN, 0},
      {"tiny", header(51865, 384, 6, 4, 4), WHISPER_AHEADS_TINY, 0},
      {"base.en", header(51864, 512, 8, 6, 6), WHISPER_AHEADS_BASE_EN, 0},
      {"base", header(51865, 512, 8, 6, 6), WHISPER_AHEADS_BASE, 0},
      {"small.en", header(51864, 768, 12, 12, 12), WHISPER_AHEADS_SMALL_EN, 0},
      {"small", header(51865, 768, 12, 12, 12), WHISPER_AHEADS_SMALL, 0},
      {"medium.en", header(51864, 1024, 16, 24, 24), WHISPER_AHEADS_MEDIUM_EN, 0},
      {"medium", header(51865, 1024, 16, 24, 24), WHISPER_AHEADS_MEDIUM, 0},
      {"large-v3", header(51866, 1280, 20, 32, 32), WHISPER_AHEADS_LARGE_V3, 0},
      {"large-v3-turbo", header(51866, 1280, 20, 32, 4), WHISPER_AHEADS_LARGE_V3_TURBO, 0},
      // large-v1 and -v2 cannot be told apart, and their heads differ.
      {"large-v1 or -v2", header(51865, 1280, 20, 32, 32), WHISPER_AHEADS_N_TOP_MOST, 16},
      // Distilled: large-v3's encoder, two text layers.
      {"distil-large-v3", header(51866, 1280, 20, 32, 2), WHISPER_AHEADS_N_TOP_MOST, 1},
      // base.en's width with tiny's depth: no released model.
      {"made-up", header(51864, 512, 8, 4, 4), WHISPER_AHEADS_N_TOP_MOST, 2},
      {"small, English vocabulary", header(51864, 64, 2, 2, 3), WHISPER_AHEADS_N_TOP_MOST, 1},
      {"one text layer", header(51864, 64, 2, 1, 1), WHISPER_AHEADS_N_TOP_MOST, 1},
  };
  for (const Case& c : cases) {
    const AlignmentHeads heads = alignmentHeadsFor(c.header);
    EXPECT_EQ(heads.preset, c.preset) << c.model;
    EXPECT_EQ(heads.topLayers, c.topLayers) << c.model;
  }
}

}  // namespace
}  // namespace vorn
