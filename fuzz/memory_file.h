#ifndef VORN_FUZZ_MEMORY_FILE_H_
#define VORN_FUZZ_MEMORY_FILE_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// Readers refuse anything but a regular file, so the bytes go into a
// memory-backed one, reached through its /proc/self/fd link; nothing touches
// the disk and nothing is left behind.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : fd_(memfd_create("fuzz_input", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    for (std::size_t written = 0; written < size;) {
      const ssize_t n = ::write(fd_, data + written, size - written);
      if (n <= 0) std::abort();
      written += static_cast<std::size_t>(n);
    }
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};


#endif  // VORN_FUZZ_MEMORY_FILE_H_
