#include "platform/engines/setup/model_folders.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "platform/system/executable_path.h"

namespace vorn {

std::vector<std::filesystem::path> modelFolders() {
  const std::optional<std::filesystem::path> directory = executableDirectory();
  if (!directory) return {};
  return {*directory / "models",
          (*directory / ".." / "share" / "vorn-speech" / "models").lexically_normal()};
}

std::optional<std::filesystem::path> findInModelFolders(
    const std::vector<std::filesystem::path>& folders, const std::vector<ModelEntry>& entries) {
  for (const std::filesystem::path& folder : folders) {
    const bool whole = std::all_of(entries.begin(), entries.end(), [&](const ModelEntry& entry) {
      std::error_code error;
      const std::filesystem::path path = folder / entry.relativePath;
      return entry.kind == ModelEntry::Kind::kFolder ? std::filesystem::is_directory(path, error)
                                                     : std::filesystem::is_regular_file(path, error);
    });
    if (whole) return folder;
  }
  return std::nullopt;
}

std::vector<ModelFolderEntry> listModelFolders(
    const std::vector<std::filesystem::path>& folders,
    const std::function<bool(std::string_view fileName)>& wanted) {
  std::vector<ModelFolderEntry> entries;
  for (std::size_t f = 0; f < folders.size(); ++f) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folders[f], error), end;
         !error && entry != end; entry.increment(error)) {
      if (wanted(entry->path().filename().string())) found.push_back(entry->path());
    }
    std::sort(found.begin(), found.end());
    for (std::filesystem::path& path : found) {
      entries.push_back({std::move(path), static_cast<int>(f)});
    }
  }
  return entries;
}

}  // namespace vorn
