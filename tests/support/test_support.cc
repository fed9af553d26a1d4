#include "support/test_support.h"

#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/file_url.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vorn::testing {

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

}  // namespace

ProcessResult runVornSpeech(const std::vector<std::string>& args, const ProcessOptions& options) {
  TempDir capture;
  const std::string outPath = capture.path() + "/out";
  const std::string errPath = capture.path() + "/err";

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!options.stdoutPath) {
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  } else if (options.stdoutPath->empty()) {
    posix_spawn_file_actions_addclose(&actions, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, options.stdoutPath->c_str(), O_WRONLY, 0);
  }
  if (options.errorIntoOutput) {
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (!options.workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
  }

  std::vector<char*> argv;
  std::string program = options.binary.empty() ? VORN_SPEECH_BINARY : options.binary;
  std::vector<std::string> copies(args);
  std::string shell = "/bin/sh";
  std::string limitScript;
  if (options.addressSpaceLimitMb) {
    // The limit must be in place before the binary is loaded, so a shell
    // sets it and then becomes the binary ($0 is the binary, "$@" its args).
    limitScript = "ulimit -v " + std::to_string(*options.addressSpaceLimitMb * 1024) +
                  " && exec \"$0\" \"$@\"";
    argv.push_back(shell.data());
    argv.push_back(const_cast<char*>("-c"));
    argv.push_back(limitScript.data());
  }
  argv.push_back(program.data());
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid;
  const std::string& executable = options.addressSpaceLimitMb ? shell : program;
  const int spawned = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + program);

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
  }
  ProcessResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  return result;
}

std::vector<int> expectProgressThenDocument(const std::string& merged) {
  std::vector<std::string> lines;
  std::istringstream in(merged);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_FALSE(merged.empty() || merged.back() != '\n') << merged;
  EXPECT_GE(lines.size(), 3u) << merged;
  if (lines.size() < 3) return {};

  std::vector<int> percents;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    const bool wellFormed = line.starts_with("Progress: ") && line.ends_with("%") &&
                            line.size() > 11 && line.size() <= 14 &&
                            line.find_first_not_of("0123456789", 10) == line.size() - 1;
    EXPECT_TRUE(wellFormed) << "line " << i << ": " << line;
    if (!wellFormed) return percents;
    percents.push_back(std::stoi(line.substr(10)));
  }
  EXPECT_EQ(percents.front(), 0) << merged;
  EXPECT_EQ(percents.back(), 100) << merged;
  for (std::size_t i = 1; i < percents.size(); ++i) {
    EXPECT_LT(percents[i - 1], percents[i]) << merged;
  }
  EXPECT_TRUE(lines.back().starts_with("{\"locale\":")) << merged;
  return percents;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vorn-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& contents) const {
  const std::string path = path_ + "/" + name;
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

std::string fixture(const std::string& relativePath) {
  return std::string(VORN_FIXTURES_DIR) + "/" + relativePath;
}

std::vector<float> readAllSamples(const std::string& path) {
  std::unique_ptr<AudioFile> file = FfmpegAudioFile::open(FileURL::fromPath(path));
  std::vector<float> samples;
  std::vector<float> buffer(AudioFile::kSampleRate);
  while (const std::size_t count = file->read(buffer)) {
    samples.insert(samples.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
  }
  return samples;
}

}  // namespace vorn::testing
