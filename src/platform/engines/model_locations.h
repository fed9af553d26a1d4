#ifndef VORN_PLATFORM_ENGINES_MODEL_LOCATIONS_H_
#define VORN_PLATFORM_ENGINES_MODEL_LOCATIONS_H_

// Where the engines' models are looked for. There is no option and no
// environment variable: models live beside the executable, so an
// application that bundles the tool bundles its models the same way.

#include <filesystem>
#include <vector>

namespace vorn {

// The model folders, in the order they are searched: models/ beside the
// executable, then ../share/vorn-speech/models/ relative to it (the layout
// that `cmake --install` makes). Empty when the executable's folder cannot
// be found.
std::vector<std::filesystem::path> modelDirectories();

// The folder of the default engine's US-English model: the first en-us/
// folder in `modelDirectories` that holds the whole model, else the one the
// Debian package installs. The result is not checked further; the engine
// names what is missing when it loads.
std::filesystem::path pocketsphinxModelDirectory(
    const std::vector<std::filesystem::path>& modelDirectories);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_MODEL_LOCATIONS_H_
