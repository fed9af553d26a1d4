#include "command_line.h"

#include <string_view>

namespace vorn {

void scanOptions(int argc, const char* const argv[], CommandLine& state) {
  state.inputPath.reset();
  state.localeId = "en-US";
  state.showHelp = false;
  state.showProgress = false;
  state.i = 1;

  while (state.i < argc) {
    const std::string_view argument = argv[state.i];
    if (argument == "--input" || argument == "-i") {
      ++state.i;
      if (state.i < argc) state.inputPath = argv[state.i];
    } else if (argument == "--locale" || argument == "-l") {
      ++state.i;
      if (state.i < argc) state.localeId = argv[state.i];
    } else if (argument == "--help" || argument == "-h") {
      state.showHelp = true;
    } else if (argument == "--progress") {
      state.showProgress = true;
    }
    ++state.i;
  }
}

}  // namespace vorn
