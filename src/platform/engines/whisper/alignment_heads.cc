#include "platform/engines/whisper/alignment_heads.h"

#include <algorithm>

namespace vorn {
namespace {

constexpr int kEnglishOnly = 51864;
constexpr int kMultilingual = 51865;
constexpr int kLargeV3Vocabulary = 51866;

struct ReleasedModel {
  int vocabulary;
  int state;
  int heads;
  int audioLayers;
  int textLayers;
  whisper_alignment_heads_preset preset;
};

// The released models' dimensions, from their published configurations.
constexpr ReleasedModel kReleased[] = {
    {kEnglishOnly, 384, 6, 4, 4, WHISPER_AHEADS_TINY_EN},
    {kEnglishOnly, 512, 8, 6, 6, WHISPER_AHEADS_BASE_EN},
    {kEnglishOnly, 768, 12, 12, 12, WHISPER_AHEADS_SMALL_EN},
    {kEnglishOnly, 1024, 16, 24, 24, WHISPER_AHEADS_MEDIUM_EN},
    {kMultilingual, 384, 6, 4, 4, WHISPER_AHEADS_TINY},
    {kMultilingual, 512, 8, 6, 6, WHISPER_AHEADS_BASE},
    {kMultilingual, 768, 12, 12, 12, WHISPER_AHEADS_SMALL},
    {kMultilingual, 1024, 16, 24, 24, WHISPER_AHEADS_MEDIUM},
    {kLargeV3Vocabulary, 1280, 20, 32, 32, WHISPER_AHEADS_LARGE_V3},
    {kLargeV3Vocabulary, 1280, 20, 32, 4, WHISPER_AHEADS_LARGE_V3_TURBO},
};

}  // namespace

AlignmentHeads alignmentHeadsFor(const WhisperModelInfo& model) {
  for (const ReleasedModel& released : kReleased) {
    if (model.vocabularySize == released.vocabulary && model.state == released.state &&
        model.textHeads == released.heads && model.audioHeads == released.heads &&
        model.audioLayers == released.audioLayers && model.textLayers == released.textLayers) {
      return {released.preset, 0};
    }
  }
  return {WHISPER_AHEADS_N_TOP_MOST, std::max(1, model.textLayers / 2)};
}

}  // namespace vorn
