#include "platform/results_sequence.h"

#include <gtest/gtest.h>

#include <thread>

namespace vorn {
namespace {

SpeechTranscriberResult final(const std::string& text) {
  SpeechTranscriberResult result;
  result.isFinal = true;
  result.text.append(text, {});
  return result;
}

TEST(ResultsSequenceTest, LateReaderGetsEverythingThenTheEnd) {
  ResultsSequence sequence;
  sequence.publish(final("a"));
  sequence.publish(final("b"));
  sequence.finish();
  sequence.publish(final("after the end"));  // ignored: the sequence has ended
  EXPECT_EQ(sequence.next()->text.characters(), "a");
  EXPECT_EQ(sequence.next()->text.characters(), "b");
  EXPECT_FALSE(sequence.next());
  EXPECT_FALSE(sequence.next());
}

TEST(ResultsSequenceTest, FailureComesAfterWhatWasPublished) {
  ResultsSequence sequence;
  sequence.publish(final("a"));
  sequence.fail(Error("engine broke"));
  sequence.finish();  // the first end stands
  EXPECT_EQ(sequence.next()->text.characters(), "a");
  try {
    sequence.next();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.localizedDescription(), "engine broke");
  }
}

TEST(ResultsSequenceTest, BlockedReaderWakesForResultsFromAnotherThread) {
  ResultsSequence sequence;
  std::thread producer([&] {
    sequence.publish(final("x"));
    sequence.finish();
  });
  EXPECT_EQ(sequence.next()->text.characters(), "x");
  EXPECT_FALSE(sequence.next());
  producer.join();
}

TEST(ResultsSequenceTest, StopEndsABlockedReadWithAnError) {
  ResultsSequence sequence;  // never finished: only the stop can end the wait
  std::stop_source stop;
  std::thread canceller([&] { stop.request_stop(); });
  EXPECT_THROW(sequence.next(stop.get_token()), Error);
  canceller.join();
}

}  // namespace
}  // namespace vorn
