// The command line as the desktop application sees it: the built binary run
// as a child process, with exact bytes on standard error, nothing on standard
// output, and the exit status.

#include "command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

using testing::ProcessResult;
using testing::runVornSpeech;
using testing::TempDir;

const std::string kHelp =
    "vorn-speech \xE2\x80\x94 Apple Speech transcription sidecar\n"
    "Usage: vorn-speech --input <audio-file> [--locale <locale>]\n";
const std::string kInputRequired = "Error: --input is required\n";

struct StartupCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string err;
};

class StartupTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupTest, WritesOnlyTheExpectedLineAndStatus) {
  const StartupCase& c = GetParam();
  const ProcessResult result = runVornSpeech(c.args);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, StartupTest,
    ::testing::Values(
        StartupCase{"NoArguments", {}, 1, kInputRequired},
        StartupCase{"HelpAlone", {"--help"}, 0, kHelp},
        StartupCase{"ShortHelpBeatsMissingFile", {"-i", "/no/such/file", "-h"}, 0, kHelp},
        StartupCase{"HelpFirstBeatsEverything", {"-h", "--input", "/no/such", "--locale", "x"}, 0, kHelp},
        StartupCase{"HelpWithoutInput", {"stray", "--help", "more"}, 0, kHelp},
        StartupCase{"InputAsLastArgument", {"--input"}, 1, kInputRequired},
        StartupCase{"ShortInputAsLastArgument", {"-l", "de", "-i"}, 1, kInputRequired},
        StartupCase{"EarlierInputSurvivesDanglingOption", {"-i", "/no/a", "--input"}, 1,
                    "Error: file not found: /no/a\n"},
        StartupCase{"LastInputWins", {"--input", "/no/a", "-i", "/no/b"}, 1,
                    "Error: file not found: /no/b\n"},
        StartupCase{"ValueThatLooksLikeHelp", {"--input", "-h"}, 1, "Error: file not found: -h\n"},
        StartupCase{"LocaleSwallowsInputOption", {"--locale", "--input", "a.wav"}, 1, kInputRequired},
        StartupCase{"BareFileName", {"a.wav"}, 1, kInputRequired},
        StartupCase{"JoinedWithEquals", {"--input=/etc/hostname"}, 1, kInputRequired},
        StartupCase{"UpperCaseShortOption", {"-I", "/etc/hostname"}, 1, kInputRequired},
        StartupCase{"DoubleDash", {"--", "--input"}, 1, kInputRequired},
        StartupCase{"EmptyPath", {"--input", ""}, 1, "Error: file not found: \n"},
        StartupCase{"PathKeptAsTyped", {"-i", "./no/../such dir//x.wav"}, 1,
                    "Error: file not found: ./no/../such dir//x.wav\n"},
        StartupCase{"PathBytesNotReencoded", {"-i", "/no/caf\xE9\xFF.wav"}, 1,
                    "Error: file not found: /no/caf\xE9\xFF.wav\n"},
        // --progress changes no start-up text, wherever it stands.
        StartupCase{"HelpWithProgress", {"--progress", "--help"}, 0, kHelp},
        StartupCase{"ProgressWithoutInput", {"--progress"}, 1, kInputRequired},
        StartupCase{"ProgressWithMissingFile", {"-i", "/no/x", "--progress"}, 1,
                    "Error: file not found: /no/x\n"},
        StartupCase{"ProgressAsTheInputsValue", {"--input", "--progress"}, 1,
                    "Error: file not found: --progress\n"},
        StartupCase{"MissingFileWithAnyLocale", {"-l", "", "-i", "/no/x"}, 1,
                    "Error: file not found: /no/x\n"}),
    testing::CaseName());

TEST(CommandLineTest, DanglingSymbolicLinkIsNotFound) {
  TempDir dir;
  const std::string link = dir.path() + "/dangling.wav";
  ASSERT_EQ(symlink((dir.path() + "/missing.wav").c_str(), link.c_str()), 0);
  const ProcessResult result = runVornSpeech({"--input", link});
  EXPECT_EQ(result.err, "Error: file not found: " + link + "\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

TEST(CommandLineTest, RelativePathIsTakenAgainstTheWorkingDirectory) {
  TempDir dir;
  // Exists relative to the child's directory, not to the test's.
  dir.write("notes.wav", "this is not audio");
  testing::ProcessOptions options;
  options.workingDirectory = dir.path();
  const ProcessResult result = runVornSpeech({"-i", "notes.wav"}, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  // It got past the existence test: the failure is about the contents.
  EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
  EXPECT_EQ(result.err.find("file not found"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(dir.path() + "/notes.wav"), std::string::npos) << result.err;
}

// The scan itself, for the cursor rules that the process-level cases above
// cannot show directly.
TEST(ScanOptionsTest, ResetsStateAndFollowsTheCursor) {
  CommandLine state;
  state.inputPath = "stale";
  state.showHelp = true;
  state.localeId = "stale";
  const char* const argv[] = {"vorn-speech", "-l", "-h", "-i", "x", "--locale"};
  scanOptions(6, argv, state);
  EXPECT_EQ(state.inputPath, "x");
  EXPECT_EQ(state.localeId, "-h");  // a value, not an option
  EXPECT_FALSE(state.showHelp);
  EXPECT_EQ(state.i, 7);  // stepped over the dangling --locale's missing value
}

TEST(ScanOptionsTest, ProgressIsRecognisedOnlyAsItself) {
  const struct {
    std::vector<const char*> args;
    bool showProgress;
  } cases[] = {
      {{"--progress"}, true},
      {{"-i", "a.wav", "--progress", "-l", "de"}, true},
      {{"--progress", "--progress"}, true},
      {{"--locale", "--progress"}, false},  // a value
      {{"-p"}, false},                      // no short form
      {{"--Progress", "--progress=1", "--progres", "progress"}, false},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"vorn-speech"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    CommandLine state;
    state.showProgress = !c.showProgress;  // reset by the scan
    scanOptions(static_cast<int>(argv.size()), argv.data(), state);
    EXPECT_EQ(state.showProgress, c.showProgress) << argv.size() << " arguments, first " << c.args[0];
  }
}

TEST(ScanOptionsTest, ProgramNameIsNeverExamined) {
  CommandLine state;
  const char* const argv[] = {"--help"};
  scanOptions(1, argv, state);
  EXPECT_FALSE(state.showHelp);
  EXPECT_EQ(state.localeId, "en-US");
  EXPECT_FALSE(state.inputPath);
}

}  // namespace
}  // namespace vorn
