#include "platform/system/exit_guard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vorn {
namespace {

using ::testing::ExitedWithCode;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the guard keeps standard error as it is
#else
constexpr bool kSanitized = false;
#endif

// What a library does when it gives up on a thread of its own: a line of its
// own on standard error, then exit.
void libraryGivesUp(int status) {
  std::thread([status] {
    std::fputs("calloc(240007,32) failed from hash_table.c(165)\n", stderr);
    std::exit(status);
  }).join();
}

struct GuardCase {
  const char* name;
  int status;
  const char* line;
};

class ExitGuardTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(ExitGuardTest, ExitOnAnotherThreadBecomesOneErrorLineAndStatusOne) {
  const GuardCase& c = GetParam();
  const std::string expected = kSanitized ? ".*" : std::string("^") + c.line + "\n$";
  EXPECT_EXIT(
      {
        installExitGuard("talk.wav");
        libraryGivesUp(c.status);
      },
      ExitedWithCode(1), ::testing::MatchesRegex(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ExitGuardTest,
    ::testing::Values(
        // The engine's allocator: exit(-1).
        GuardCase{"AllocatorFailure", -1, "Error: memory ran out while transcribing talk.wav"},
        // The engine's fatal-error macro: exit(1), with logging off.
        GuardCase{"FatalError", 1, "Error: the speech engine stopped while transcribing talk.wav"},
        GuardCase{"Success", 0, "Error: the speech engine stopped while transcribing talk.wav"}),
    [](const ::testing::TestParamInfo<GuardCase>& param) { return std::string(param.param.name); });

TEST(ExitGuardMainThreadTest, OwnExitsAreUnchangedAndWriteWhereStandardErrorWent) {
  EXPECT_EXIT(
      {
        std::FILE* errors = installExitGuard("talk.wav");
        std::fputs("Error: our own line\n", errors);
        std::exit(1);
      },
      ExitedWithCode(1), ::testing::MatchesRegex("^Error: our own line\n$"));
  EXPECT_EXIT(
      {
        installExitGuard("talk.wav");
        std::exit(0);
      },
      ExitedWithCode(0), ::testing::MatchesRegex("^$"));
}

TEST(ExitGuardMainThreadTest, LibraryLinesOnStandardErrorGoNowhere) {
  if (kSanitized) GTEST_SKIP() << "sanitizer builds keep standard error for their reports";
  EXPECT_EXIT(
      {
        installExitGuard("talk.wav");
        std::fputs("INFO: a library talking\n", stderr);
        std::exit(0);
      },
      ExitedWithCode(0), ::testing::MatchesRegex("^$"));
}

}  // namespace
}  // namespace vorn
