// The tool under a limited address space (ulimit -v), as on a small device
// or under a supervisor that caps its children: it either fits itself to
// what it has and prints the same document as without a limit, or fails
// with one "Error: " line saying that memory ran out; never another status,
// never the engine's own messages.

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace vorn {
namespace {

using testing::ProcessOptions;
using testing::ProcessResult;
using testing::runVornSpeech;

// Sanitizers reserve terabytes of address space up front, so a process built
// with them cannot run under these limits at all.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

const std::string kSample = std::string(VORN_SOURCE_DIR) + "/samples/sense-and-sensibility.flac";

class MemoryLimitTest : public ::testing::TestWithParam<int> {};

TEST_P(MemoryLimitTest, FitsOrFailsWithOneLineAboutMemory) {
  if (kSanitized) GTEST_SKIP() << "address-space limits do not work under sanitizers";
  const int limitMb = GetParam();
  ProcessOptions limited;
  limited.addressSpaceLimitMb = limitMb;
  // Below some limit the system cannot even load the program and its
  // libraries; the tool's contract begins once it runs.
  if (runVornSpeech({"--help"}, limited).status != 0) {
    GTEST_SKIP() << "the program cannot be loaded within " << limitMb << " MB";
  }

  const ProcessResult result = runVornSpeech({"--input", kSample}, limited);
  ASSERT_TRUE(result.status == 0 || result.status == 1)
      << "status " << result.status << ", stderr: " << result.err;
  if (result.status == 0) {
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, runVornSpeech({"--input", kSample}).out);
  } else {
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find("memory"), std::string::npos) << result.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, MemoryLimitTest,
                         ::testing::Values(150, 200, 230, 250, 280, 320, 400, 600),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return std::to_string(param.param) + "MB";
                         });

// With room for the model, the tool fits itself to the limit instead of
// failing: one decoder instead of one per core.
TEST(MemoryLimitFitTest, SucceedsWithinFourHundredMegabytes) {
  if (kSanitized) GTEST_SKIP() << "address-space limits do not work under sanitizers";
  ProcessOptions limited;
  limited.addressSpaceLimitMb = 400;
  const ProcessResult result = runVornSpeech({"--input", kSample}, limited);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, runVornSpeech({"--input", kSample}).out);
}

}  // namespace
}  // namespace vorn
