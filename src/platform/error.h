#ifndef VORN_PLATFORM_ERROR_H_
#define VORN_PLATFORM_ERROR_H_

#include <exception>
#include <string>

namespace vorn {

// The one kind of failure that travels through a transcription: opening the
// audio file, the engine, the results sequence and the document writer all
// throw it. Nobody tells errors apart; the driver prints the description
// unchanged, so it must say what went wrong in words a user understands.
class Error : public std::exception {
 public:
  explicit Error(std::string description) : description_(std::move(description)) {}

  const std::string& localizedDescription() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ERROR_H_
