#include "transcription/segment_collector.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/scripted_speech_platform.h"

namespace vorn {
namespace {

using testing::makeResult;

std::shared_ptr<SpeechTranscriber> transcriberWith(const std::vector<SpeechTranscriberResult>& results,
                                                   std::optional<Error> failure = std::nullopt) {
  auto transcriber = std::make_shared<SpeechTranscriber>(Locale{"en-US"}, ResultAttributeOptions{true});
  for (const auto& result : results) transcriber->results().publish(result);
  if (failure) {
    transcriber->results().fail(*failure);
  } else {
    transcriber->results().finish();
  }
  return transcriber;
}

void expectSegments(const std::vector<Segment>& actual, const std::vector<Segment>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t k = 0; k < actual.size(); ++k) {
    EXPECT_EQ(actual[k].text, expected[k].text) << k;
    EXPECT_EQ(actual[k].start, expected[k].start) << k;
    EXPECT_EQ(actual[k].end, expected[k].end) << k;
  }
}

TEST(CollectSegmentsTest, EmptyOrNonFinalOnlyGivesNothing) {
  EXPECT_TRUE(collectSegments(transcriberWith({})).empty());
  EXPECT_TRUE(collectSegments(transcriberWith({makeResult(false, {{"draft", std::pair{0, 10}}})})).empty());
}

TEST(CollectSegmentsTest, FinalRunsInDeliveryOrderNonFinalSkipped) {
  const auto transcriber = transcriberWith({
      makeResult(true, {{"A", std::pair{0, 50}}, {" B", std::pair{50, 25}}}),
      makeResult(false, {{"ignored", std::pair{0, 100}}}),
      makeResult(true, {{" C", std::pair{300, 100}}}),
      makeResult(true, {{" A", std::pair{0, 50}}}),  // the same words again are kept
  });
  expectSegments(collectSegments(transcriber),
                 {{"A", 0.0, 0.5}, {"B", 0.5, 0.75}, {"C", 3.0, 4.0}, {"A", 0.0, 0.5}});
}

TEST(CollectSegmentsTest, TrimsAndSkipsBlankRuns) {
  const auto transcriber = transcriberWith({
      makeResult(true, {}),
      makeResult(true, {{" \n\t", std::pair{0, 1}}, {"\xE3\x80\x80", std::nullopt}}),
      makeResult(true, {{" word\n", std::pair{10, 10}}, {" two words ", std::pair{20, 10}}}),
  });
  expectSegments(collectSegments(transcriber), {{"word", 0.1, 0.2}, {"two words", 0.2, 0.3}});
}

TEST(CollectSegmentsTest, RunWithoutTimeRangeGetsZeros) {
  expectSegments(collectSegments(transcriberWith({makeResult(true, {{"untimed", std::nullopt}})})),
                 {{"untimed", 0.0, 0.0}});
}

TEST(CollectSegmentsTest, RoundsToHundredthsHalvesAwayFromZero) {
  struct Case {
    double seconds;
    double rounded;
  };
  const Case cases[] = {{0.125, 0.13}, {2.675, 2.68}, {1.005, 1.0},   {1.2345, 1.23},
                        {-0.125, -0.13}, {0.0, 0.0},   {12.5, 12.5}, {-1e-9, -0.0}};
  for (const Case& c : cases) EXPECT_EQ(roundToHundredths(c.seconds), c.rounded) << c.seconds;
}

TEST(CollectSegmentsTest, StartAndEndRoundedEachOnItsOwn) {
  // start 0.125 (1/8 s), duration 0.01: the end is rounded from 0.135, not
  // derived from the rounded start.
  SpeechTranscriberResult result;
  result.isFinal = true;
  AttributeContainer attributes;
  attributes.audioTimeRange = CMTimeRange{{1, 8}, {1, 100}};
  result.text.append("w", attributes);
  const auto segments = collectSegments(transcriberWith({result}));
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(segments[0].start, 0.13);
  EXPECT_EQ(segments[0].end, roundToHundredths(0.125 + 0.01));
}

TEST(CollectSegmentsTest, SequenceFailureFailsTheCollectorWithThatError) {
  const auto transcriber = transcriberWith(
      {makeResult(true, {{"A", std::pair{0, 1}}}), makeResult(true, {{"B", std::pair{1, 1}}})},
      Error("the engine stopped"));
  try {
    collectSegments(transcriber);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.localizedDescription(), "the engine stopped");
  }
}

TEST(CollectSegmentsTest, ReadsConcurrentlyWithThePublisher) {
  auto transcriber = std::make_shared<SpeechTranscriber>(Locale{"en-US"}, ResultAttributeOptions{true});
  std::thread engine([transcriber] {
    for (int k = 0; k < 200; ++k) {
      transcriber->results().publish(makeResult(true, {{std::string("w").append(std::to_string(k)), std::pair{k, 1}}}));
    }
    transcriber->results().finish();
  });
  const std::vector<Segment> segments = collectSegments(transcriber);
  engine.join();
  ASSERT_EQ(segments.size(), 200u);
  for (int k = 0; k < 200; ++k) EXPECT_EQ(segments[k].text, std::string("w").append(std::to_string(k)));
}

}  // namespace
}  // namespace vorn
