#include "platform/engines/model_locations.h"

#include <system_error>

#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"
#include "platform/executable_path.h"

namespace vorn {

std::vector<std::filesystem::path> modelDirectories() {
  const std::optional<std::filesystem::path> directory = executableDirectory();
  if (!directory) return {};
  return {*directory / "models", (*directory / ".." / "share" / "vorn-speech" / "models").lexically_normal()};
}

std::filesystem::path pocketsphinxModelDirectory(
    const std::vector<std::filesystem::path>& modelDirectories) {
  for (const std::filesystem::path& directory : modelDirectories) {
    const std::filesystem::path candidate = directory / "en-us";
    std::error_code error;
    // A partial copy is passed over rather than failing later: the model is
    // three pieces, and only a folder with all of them is a model.
    if (std::filesystem::is_directory(candidate / "en-us", error) &&
        std::filesystem::is_regular_file(candidate / "en-us.lm.bin", error) &&
        std::filesystem::is_regular_file(candidate / "cmudict-en-us.dict", error)) {
      return candidate;
    }
  }
  return PocketsphinxRecognizer::kModelDirectory;
}

}  // namespace vorn
