#include "platform/engines/pocketsphinx/telephone_channel.h"

#include <system_error>

namespace vorn {

bool isTelephoneAudio(const AudioTraits& traits) {
  return traits.narrowbandSpeech ||
         (traits.sourceSampleRate > 0 && traits.sourceSampleRate <= kTelephoneMaxSampleRate);
}

std::string telephoneTransformPath(const std::vector<std::filesystem::path>& modelDirectories) {
  for (const std::filesystem::path& directory : modelDirectories) {
    const std::filesystem::path candidate = directory / "telephone" / "mllr_matrix";
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
  }
  return {};
}

}  // namespace vorn
