#ifndef VORN_PLATFORM_ENGINES_SIGNAL_WORD_EDGES_H_
#define VORN_PLATFORM_ENGINES_SIGNAL_WORD_EDGES_H_

// Fits recognised words' edges to where their sound is.
//
// An engine that times words by aligning its text with the audio (whisper's
// cross-attention) places each word boundary somewhere in the pause between
// two words, or takes a word to end where the next begins: the times are
// right to a word but not to the sound. The level of the signal says where
// within those bounds the sound is.

#include <span>
#include <vector>

#include "platform/engines/utterance_recognizer.h"

namespace vorn {

// Moves each word's edges to its sound, on the 10 ms frame grid of
// `samples` (the audio the words were recognised in; frame f covers
// samples [f * AudioFile::kFrameSamples, (f + 1) * ...)). A frame is sound
// when its level is within 30 dB of the word's loudest frame and 6 dB above
// the noise floor (the tenth percentile of the samples' frames that are not
// digital silence). Then:
// - an edge on a quiet frame moves inwards to the word's first or last
//   sound frame;
// - an edge on a sound frame moves outwards over sound frames, by at most
//   100 ms, but never into the words before or after it.
// A word that never rises 6 dB above the floor keeps its times. `words` must
// be in order and not overlap, each within the samples; so are the results.
std::vector<RecognizedWord> fitWordEdges(std::vector<RecognizedWord> words,
                                         std::span<const float> samples);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SIGNAL_WORD_EDGES_H_
