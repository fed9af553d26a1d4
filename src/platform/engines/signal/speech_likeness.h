#ifndef VORN_PLATFORM_ENGINES_SIGNAL_SPEECH_LIKENESS_H_
#define VORN_PLATFORM_ENGINES_SIGNAL_SPEECH_LIKENESS_H_

// Tells speech from the other loud sounds the utterance splitter lets
// through (music, tones, dial and DTMF tones, clicks, steady noise), before
// an engine is asked to find words in them: a recognizer finds words in
// anything.
//
// Speech is a sound whose spectral shape keeps changing: the mouth moves
// from one sound to the next every few tens of milliseconds. A note, a
// chord, a tone or a steady noise keeps its shape for far longer, and an
// engine's words in it are inventions.

#include <span>

namespace vorn {

// How often the spectral shape of `samples` changes over 50 ms, measured
// over its loud 10 ms frames (those within 30 dB of its loudest): the share
// of pairs of loud frames 50 ms apart whose band levels, each relative to
// the frame's mean level, differ on average by at least 5 dB. In [0, 1];
// 0 when there are no such pairs. `samples` are mono, [-1, 1], at
// AudioFile::kSampleRate. Pure.
double spectralChangeRate(std::span<const float> samples);

// Whether `samples` (an utterance, as spectralChangeRate() takes them) hold
// speech: its spectral shape changes often enough. Speech behind music or
// noise passes; a sound that is not speech does not.
bool soundsLikeSpeech(std::span<const float> samples);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SIGNAL_SPEECH_LIKENESS_H_
