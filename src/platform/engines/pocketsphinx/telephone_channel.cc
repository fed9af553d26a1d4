#include "platform/engines/pocketsphinx/telephone_channel.h"

#include <optional>

#include "platform/engines/setup/model_folders.h"

namespace vorn {

bool isTelephoneAudio(const AudioTraits& traits) {
  return traits.narrowbandSpeech ||
         (traits.sourceSampleRate > 0 && traits.sourceSampleRate <= kTelephoneMaxSampleRate);
}

std::string telephoneTransformPath(const std::vector<std::filesystem::path>& modelFolders) {
  const std::filesystem::path transform = std::filesystem::path("telephone") / "mllr_matrix";
  const std::optional<std::filesystem::path> folder =
      findInModelFolders(modelFolders, {{transform, ModelEntry::Kind::kFile}});
  return folder ? (*folder / transform).string() : std::string();
}

}  // namespace vorn
