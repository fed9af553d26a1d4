#ifndef VORN_TESTS_SUPPORT_TEST_SUPPORT_H_
#define VORN_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vorn::testing {

// What a run of the built vorn-speech binary left behind.
struct ProcessResult {
  int status = -1;  // exit status, or -1 when a signal ended it
  std::string out;
  std::string err;
};

struct ProcessOptions {
  // Where standard output goes instead of being captured ("/dev/full", say);
  // an empty string closes it.
  std::optional<std::string> stdoutPath;
  std::string workingDirectory;  // empty: the test's own
  std::string binary;            // empty: the built vorn-speech
  // The process's address-space limit (ulimit -v) in MB; none: inherited.
  std::optional<int> addressSpaceLimitMb;
  // Standard error goes where standard output goes, so that `out` holds
  // both in the order they were written (and `err` nothing).
  bool errorIntoOutput = false;
};

// Runs the binary with `args` (argv[1..]) and no standard input, waits for it.
ProcessResult runVornSpeech(const std::vector<std::string>& args, const ProcessOptions& options = {});

// Checks what a run with --progress wrote (errorIntoOutput): progress
// lines ("Progress: N%") rising from 0 to 100, then the document as the
// last line. Returns the percents told.
std::vector<int> expectProgressThenDocument(const std::string& merged);

// A fresh empty directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `contents` to `name` inside the directory; returns the full path.
  std::string write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

// Names each case of a parameterised test after its `name` member.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& param) const {
    return param.param.name;
  }
};

// The path of a file under tests/fixtures.
std::string fixture(const std::string& relativePath);

// Every sample of the audio file at `path` as the tool's reader delivers
// them (mono, [-1, 1], at AudioFile::kSampleRate). Throws vorn::Error as
// the reader does.
std::vector<float> readAllSamples(const std::string& path);

}  // namespace vorn::testing

#endif  // VORN_TESTS_SUPPORT_TEST_SUPPORT_H_
