#ifndef VORN_PLATFORM_ENGINES_POCKETSPHINX_TELEPHONE_CHANNEL_H_
#define VORN_PLATFORM_ENGINES_POCKETSPHINX_TELEPHONE_CHANNEL_H_

// Which pocketsphinx model decodes a file: the US-English acoustic model was
// trained on 16 kHz speech and listens up to 6.8 kHz, so telephone audio,
// which holds nothing above 4 kHz (usually nothing above 3.4 kHz) whatever
// rate it is stored at, reaches it with half of what it expects. Such audio is decoded
// with the model adapted to the telephone channel by the MLLR transform
// that models/telephone/make_transform.sh estimates; everything else with
// the model as installed.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/engines/utterance_recognizer.h"

namespace vorn {

// The highest source sample rate decoded as telephone audio. Calls and
// voicemail are stored at 8 kHz (G.711, GSM, AMR-NB, plain PCM); the next
// common rate, 11.025 kHz, keeps speech up to 5.5 kHz, most of what the
// model hears, and is better served by the model as it is.
inline constexpr int kTelephoneMaxSampleRate = 8000;

// Whether audio with `traits` is decoded as telephone audio: its source
// rate is known and at most kTelephoneMaxSampleRate, or its speech was
// measured to hold nothing above the telephone band (a call resampled to a
// higher rate). Otherwise it is not: the model as installed is the one that
// suits most audio.
bool isTelephoneAudio(const AudioTraits& traits);

// The MLLR transform file that fits the acoustic model to telephone audio:
// telephone/mllr_matrix in the first of `modelFolders` that holds it
// (the build puts the one the project ships, models/telephone/mllr_matrix,
// in build/models/; `cmake --install` in share/vorn-speech/models/), or an
// empty path when none does.
std::string telephoneTransformPath(const std::vector<std::filesystem::path>& modelFolders);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_POCKETSPHINX_TELEPHONE_CHANNEL_H_
