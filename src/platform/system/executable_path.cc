#include "platform/system/executable_path.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace vorn {

std::optional<std::filesystem::path> executableDirectory() {
  std::error_code error;
#if defined(__APPLE__)
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size + 1, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) return std::nullopt;
  const std::filesystem::path executable =
      std::filesystem::canonical(std::filesystem::path(buffer.data()), error);
#else
  // The kernel's own record of the executable: unlike argv[0], it is right
  // however the tool was started (through PATH, a relative path, a link).
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
#endif
  if (error || executable.empty()) return std::nullopt;
  return executable.parent_path();
}

}  // namespace vorn
