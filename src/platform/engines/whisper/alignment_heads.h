#ifndef VORN_PLATFORM_ENGINES_WHISPER_ALIGNMENT_HEADS_H_
#define VORN_PLATFORM_ENGINES_WHISPER_ALIGNMENT_HEADS_H_

// Which decoder attention heads follow the audio, for timing words.
//
// Word times come from dynamic time warping over the cross-attention of a
// few "alignment heads" of the decoder: the heads whose attention moves
// along the audio as the text goes on. Which heads those are was measured
// per released model; whisper.cpp carries the table as presets, which must
// be chosen before the model is loaded. The file does not name its model,
// so the choice goes by its dimensions alone.

#include <whisper.h>

#include "platform/engines/whisper/whisper_model_file.h"

namespace vorn {

struct AlignmentHeads {
  whisper_alignment_heads_preset preset = WHISPER_AHEADS_N_TOP_MOST;
  // With WHISPER_AHEADS_N_TOP_MOST: every head of this many top text layers.
  int topLayers = 0;
};

// The preset of the released model with exactly `model`'s vocabulary,
// width, head and layer counts: tiny, base, small and medium in their
// English-only (51864 tokens) and multilingual (51865) kinds, large-v3 (51866
// tokens, 32 text layers) and large-v3-turbo (51866, 4 text layers). For
// anything else (a model of other dimensions, a distilled one, or large-v1
// and -v2, which share their dimensions and whose heads differ) every head
// of the top half of the text layers, at least one layer: the layers
// nearest the output follow the audio best in every released model.
AlignmentHeads alignmentHeadsFor(const WhisperModelInfo& model);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_WHISPER_ALIGNMENT_HEADS_H_
