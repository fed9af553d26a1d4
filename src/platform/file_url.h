#ifndef VORN_PLATFORM_FILE_URL_H_
#define VORN_PLATFORM_FILE_URL_H_

#include <string>

namespace vorn {

// A local file location. Made once from the path as typed; a relative path is
// joined to the working directory as it was at that moment, so a later change
// of directory cannot make the URL name another file. The bytes of the path
// are kept as they are (no normalisation, no re-encoding).
class FileURL {
 public:
  FileURL() = default;

  // Never fails: when the working directory cannot be read, a relative path
  // stays relative (and still names the same file while the directory stays).
  static FileURL fromPath(const std::string& path);

  const std::string& path() const noexcept { return path_; }

 private:
  explicit FileURL(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// Whether anything exists at `path`, exactly as typed (relative to the working
// directory when relative): a file, a directory, a device, anything. Symbolic
// links are followed, so a dangling one names nothing. Readability does not
// matter.
bool fileExistsAtPath(const std::string& path);

}  // namespace vorn

#endif  // VORN_PLATFORM_FILE_URL_H_
