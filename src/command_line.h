#ifndef VORN_COMMAND_LINE_H_
#define VORN_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

// The state of the option scan.
struct CommandLine {
  std::optional<std::string> inputPath;  // the last --input/-i that had a value
  std::string localeId;                  // the last --locale/-l that had a value
  bool showHelp = false;                 // any --help/-h
  bool showProgress = false;             // any --progress
  std::int64_t i = 1;                    // the argument cursor
};

// Scans argv[1..argc-1] into `state`, after setting inputPath, localeId
// ("en-US"), showHelp, showProgress and i, in that order.
//
// An argument is an option only when it equals "--input", "-i", "--locale",
// "-l", "--help", "-h" or "--progress" exactly (--progress has no short
// form). The argument after --input/-i or
// --locale/-l is its value whatever its text (an option-like or empty text
// included) and is not examined as an option; such an option as the last
// argument assigns nothing. Later values replace earlier ones. Every other
// argument is skipped without a message. Never fails, never prints.
void scanOptions(int argc, const char* const argv[], CommandLine& state);

}  // namespace vorn

#endif  // VORN_COMMAND_LINE_H_
