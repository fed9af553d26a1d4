#include "platform/engines/pocketsphinx/telephone_channel.h"

#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"

namespace vorn {

bool isTelephoneAudio(const AudioTraits& traits) {
  return traits.sourceSampleRate > 0 && traits.sourceSampleRate <= kTelephoneMaxSampleRate;
}

std::string telephoneTransformPath() { return VORN_TELEPHONE_TRANSFORM; }

std::unique_ptr<UtteranceRecognizer> makePocketsphinxRecognizer(const AudioTraits& traits) {
  return std::make_unique<PocketsphinxRecognizer>(
      PocketsphinxRecognizer::kModelDirectory,
      isTelephoneAudio(traits) ? telephoneTransformPath() : std::string());
}

}  // namespace vorn
