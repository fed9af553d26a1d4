#include "platform/file_url.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace vorn {

FileURL FileURL::fromPath(const std::string& path) {
  if (path.empty() || path.front() == '/') return FileURL(path);
  std::vector<char> cwd(PATH_MAX);
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return FileURL(path);
    cwd.resize(cwd.size() * 2);
  }
  std::string absolute(cwd.data());
  if (absolute.back() != '/') absolute += '/';
  return FileURL(absolute + path);
}

bool fileExistsAtPath(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace vorn
