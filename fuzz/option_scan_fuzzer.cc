// The input, split on NUL bytes, is the argument list after the program name
// → scanOptions. Checked: what the scan reports can only have come from the
// arguments, and appending or prepending arguments changes it exactly as the
// contract says. The scan always starts from a dirty state, since it must
// reset every field itself.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"

namespace {

bool isInputOption(std::string_view a) { return a == "--input" || a == "-i"; }
bool isLocaleOption(std::string_view a) { return a == "--locale" || a == "-l"; }
bool isHelpOption(std::string_view a) { return a == "--help" || a == "-h"; }
bool isProgressOption(std::string_view a) { return a == "--progress"; }

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "option_scan_fuzzer: %s\n", what);
  std::abort();
}

void require(bool condition, const char* what) {
  if (!condition) finding(what);
}

// Runs the scan the way main() would call it: argv[0] is the program name and
// argv[argc] is null.
vorn::CommandLine scan(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"vorn-speech"};
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  vorn::CommandLine state;
  state.inputPath = "left over";
  state.localeId = "left-over";
  state.showHelp = true;
  state.showProgress = true;
  state.i = -7;
  vorn::scanOptions(static_cast<int>(argv.size() - 1), argv.data(), state);
  return state;
}

bool operator==(const vorn::CommandLine& a, const vorn::CommandLine& b) {
  return a.inputPath == b.inputPath && a.localeId == b.localeId && a.showHelp == b.showHelp &&
         a.showProgress == b.showProgress && a.i == b.i;
}

std::vector<std::string> with(std::vector<std::string> arguments, std::vector<std::string> tail) {
  arguments.insert(arguments.end(), tail.begin(), tail.end());
  return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  if (size > 0) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    for (std::size_t nul = text.find('\0'); nul != std::string_view::npos;
         nul = text.find('\0', from)) {
      arguments.emplace_back(text.substr(from, nul - from));
      from = nul + 1;
    }
    arguments.emplace_back(text.substr(from));
  }
  const auto argc = static_cast<std::int64_t>(arguments.size() + 1);
  const vorn::CommandLine state = scan(arguments);

  // A value option as the last argument is consumed with nothing after it,
  // leaving the cursor one past the end; otherwise the cursor stops at argc.
  require(state.i == argc || state.i == argc + 1,
          "the cursor stops neither at argc nor at argc + 1");
  const bool dangling = state.i == argc + 1;
  require(!dangling || isInputOption(arguments.back()) || isLocaleOption(arguments.back()),
          "the cursor passes the end without a value option last");

  bool anyHelp = false;
  bool anyProgress = false;
  bool inputFollowsOption = false;
  bool localeFollowsOption = state.localeId == "en-US";  // the default
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    anyHelp = anyHelp || isHelpOption(arguments[k]);
    anyProgress = anyProgress || isProgressOption(arguments[k]);
    if (k > 0 && isInputOption(arguments[k - 1]) && state.inputPath == arguments[k])
      inputFollowsOption = true;
    if (k > 0 && isLocaleOption(arguments[k - 1]) && state.localeId == arguments[k])
      localeFollowsOption = true;
  }
  require(!state.showHelp || anyHelp, "help shown without --help or -h");
  require(!state.showProgress || anyProgress, "progress shown without --progress");
  require(!state.inputPath || inputFollowsOption, "an input path that no --input/-i was given");
  require(localeFollowsOption, "a locale that is neither the default nor given with --locale/-l");

  // Arguments before the first one are never a value, so a plain word in
  // front changes nothing but the cursor.
  {
    std::vector<std::string> prefixed{"word"};
    prefixed.insert(prefixed.end(), arguments.begin(), arguments.end());
    vorn::CommandLine expected = state;
    ++expected.i;
    require(scan(prefixed) == expected, "a plain first argument changes the scan");
  }

  // Unless the last argument is waiting for its value, options appended at
  // the end take effect as such and replace earlier values.
  if (!dangling) {
    vorn::CommandLine expected = state;
    expected.inputPath = "-h";
    expected.i += 2;
    require(scan(with(arguments, {"--input", "-h"})) == expected,
            "a trailing --input is not applied");

    expected = state;
    expected.localeId = "";
    expected.i += 2;
    require(scan(with(arguments, {"-l", ""})) == expected, "a trailing -l is not applied");

    expected = state;
    expected.showHelp = true;
    expected.i += 1;
    require(scan(with(arguments, {"-h"})) == expected, "a trailing -h is not applied");

    expected = state;
    expected.showProgress = true;
    expected.i += 1;
    require(scan(with(arguments, {"--progress"})) == expected, "a trailing --progress is not applied");
  } else {
    // The appended argument is the dangling option's value, whatever it says.
    vorn::CommandLine expected = state;
    if (isInputOption(arguments.back())) {
      expected.inputPath = "--help";
    } else {
      expected.localeId = "--help";
    }
    require(scan(with(arguments, {"--help"})) == expected,
            "a dangling option does not take the next argument");
  }
  return 0;
}
