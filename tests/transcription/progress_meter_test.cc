#include "transcription/progress_meter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace vorn {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

// A meter on a clock the test moves by hand, recording what it tells.
class ProgressMeterTest : public ::testing::Test {
 protected:
  ProgressMeter meter_{[this](int percent) { told_.push_back(percent); }, [this] { return now_; }};
  ProgressMeter::Clock::time_point now_{};
  std::vector<int> told_;

  // `seconds` of a 100-second file are done, after the clock moved by `later`.
  void advance(double seconds, std::chrono::milliseconds later = 600ms) {
    now_ += later;
    meter_.advance(CMTime{static_cast<std::int64_t>(seconds * 16000), 16000});
  }
};

TEST_F(ProgressMeterTest, TellsRisingWholePercentsOfTheStatedLengthThenHundred) {
  meter_.start(CMTime{1600000, 16000});  // 100 s
  advance(12.7);
  advance(12.9);  // still 12
  advance(40);
  advance(30);  // behind: never goes down
  advance(100);
  advance(250);  // the file was longer than it said
  meter_.finish();
  meter_.finish();
  advance(100);
  EXPECT_THAT(told_, ElementsAre(0, 12, 40, 99, 100));
}

TEST_F(ProgressMeterTest, TellsAtMostOnePercentPerInterval) {
  meter_.start(CMTime{100, 1});
  advance(1, 100ms);  // too soon after 0
  advance(2, 100ms);
  advance(3, 100ms);
  advance(4, 200ms);  // 500 ms after 0
  advance(5, 499ms);
  advance(6, 1ms);
  meter_.finish();  // the last is never held back
  EXPECT_THAT(told_, ElementsAre(0, 4, 6, 100));
}

TEST_F(ProgressMeterTest, UnknownLengthTellsOnlyTheEnds) {
  for (const std::optional<CMTime> duration : {std::optional<CMTime>{}, std::optional(CMTime{0, 16000}),
                                               std::optional(CMTime{5, 0})}) {
    told_.clear();
    ProgressMeter meter([this](int percent) { told_.push_back(percent); }, [this] { return now_; });
    meter.start(duration);
    now_ += 1s;
    meter.advance(CMTime{8000, 16000});
    meter.finish();
    EXPECT_THAT(told_, ElementsAre(0, 100));
  }
}

TEST_F(ProgressMeterTest, TellsNothingBeforeStart) {
  advance(50);
  meter_.finish();
  EXPECT_THAT(told_, ::testing::IsEmpty());
}

}  // namespace
}  // namespace vorn
