#ifndef VORN_PLATFORM_ENGINES_SETUP_MODEL_FOLDERS_H_
#define VORN_PLATFORM_ENGINES_SETUP_MODEL_FOLDERS_H_

// Where the engines' models are looked for, and the one way they are found
// there. There is no option and no environment variable: models live beside
// the executable, so an application that bundles the tool bundles its models
// the same way. Each engine says which files make its model; only this file
// walks the folders.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vorn {

// The model folders, in the order they are searched: models/ beside the
// executable, then ../share/vorn-speech/models/ relative to it (the layout
// that `cmake --install` makes). Empty when the executable's folder cannot
// be found.
std::vector<std::filesystem::path> modelFolders();

// One piece of a model, relative to a model folder.
struct ModelEntry {
  enum class Kind { kFile, kFolder };
  std::filesystem::path relativePath;
  Kind kind = Kind::kFile;
};

// The first of `folders` that holds every one of `entries`, each a regular
// file or a folder as its kind says (links followed), or nothing. A folder
// with only some of them is passed over rather than failing later: a model
// is only whole with all its pieces.
std::optional<std::filesystem::path> findInModelFolders(
    const std::vector<std::filesystem::path>& folders, const std::vector<ModelEntry>& entries);

// A file found by listModelFolders.
struct ModelFolderEntry {
  std::filesystem::path path;
  int folderIndex = 0;  // which of the folders, in search order
};

// Every entry of each of `folders` whose file name `wanted` accepts (of any
// type: a folder with a model's name is the user's mistake to report), by
// folder in order, then by name. A folder that is missing or cannot be
// read holds none.
std::vector<ModelFolderEntry> listModelFolders(
    const std::vector<std::filesystem::path>& folders,
    const std::function<bool(std::string_view fileName)>& wanted);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SETUP_MODEL_FOLDERS_H_
