#include "standard_error.h"

#include <cstdlib>

namespace vorn {

void writeHelp(std::FILE* err) {
  std::fputs("vorn-speech \xE2\x80\x94 Apple Speech transcription sidecar\n", err);
  std::fputs("Usage: vorn-speech --input <audio-file> [--locale <locale>]\n", err);
}

void writeProgress(int percent, std::FILE* err) {
  const std::string line = "Progress: " + std::to_string(percent) + "%\n";
  std::fputs(line.c_str(), err);
}

void exitWithError(const std::string& description, std::FILE* err) {
  const std::string line = "Error: " + description + "\n";
  std::fputs(line.c_str(), err);
  std::exit(1);
}

}  // namespace vorn
