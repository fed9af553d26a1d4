#ifndef VORN_PLATFORM_SYSTEM_EXECUTABLE_PATH_H_
#define VORN_PLATFORM_SYSTEM_EXECUTABLE_PATH_H_

#include <filesystem>
#include <optional>

namespace vorn {

// The folder holding the running executable, with symbolic links resolved,
// or nothing when the system cannot tell. Models are looked up relative to
// it, so that an application can ship the tool and its models side by side
// wherever it is installed, with no configuration.
std::optional<std::filesystem::path> executableDirectory();

}  // namespace vorn

#endif  // VORN_PLATFORM_SYSTEM_EXECUTABLE_PATH_H_
