#include "platform/engines/setup/decoder_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <string_view>

namespace vorn {
namespace {

// The value of the line "<key>: <value> kB" of a /proc file, in bytes.
std::optional<std::uint64_t> procValue(const char* path, std::string_view key) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == ':') {
      std::uint64_t kilobytes = 0;
      const char* digits = line.c_str() + key.size() + 1;
      while (*digits == ' ' || *digits == '\t') ++digits;
      const auto [end, error] = std::from_chars(digits, line.c_str() + line.size(), kilobytes);
      if (error != std::errc()) return std::nullopt;
      return kilobytes << 10;
    }
  }
  return std::nullopt;
}

// How many `each` fit in `room` after `reserve`.
std::uint64_t howMany(std::uint64_t room, std::uint64_t reserve, std::uint64_t each) {
  if (each == 0) return UINT64_MAX;
  return room > reserve ? (room - reserve) / each : 0;
}

}  // namespace

MemoryRoom measureMemoryRoom() {
  MemoryRoom room;
  room.residentBytes = procValue("/proc/self/status", "VmRSS").value_or(0);
  room.addressBytes = procValue("/proc/self/status", "VmSize").value_or(0);
  room.availableBytes = procValue("/proc/meminfo", "MemAvailable");
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    room.addressLimit = limit.rlim_cur;
  }
  return room;
}

int decodersThatFit(int wanted, const DecoderCost& cost, const MemoryRoom& room,
                    std::uint64_t residentCeiling, std::uint64_t reserveBytes) {
  std::uint64_t residentLimit = residentCeiling;
  if (room.availableBytes) {
    residentLimit = std::min(residentLimit, room.residentBytes + *room.availableBytes);
  }
  const std::uint64_t residentRoom =
      residentLimit > room.residentBytes ? residentLimit - room.residentBytes : 0;
  std::uint64_t fit = howMany(residentRoom, reserveBytes, cost.residentBytes);
  if (room.addressLimit) {
    const std::uint64_t addressRoom =
        *room.addressLimit > room.addressBytes ? *room.addressLimit - room.addressBytes : 0;
    fit = std::min(fit, howMany(addressRoom, reserveBytes, cost.addressBytes));
  }
  const auto most = static_cast<std::uint64_t>(std::max(1, wanted));
  return static_cast<int>(std::clamp<std::uint64_t>(fit, 1, most));
}

}  // namespace vorn
