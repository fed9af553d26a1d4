#include "platform/engines/engine_analyzer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_speech_platform.h"
#include "platform/error.h"
#include "platform/file_url.h"
#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"
#include "support/test_support.h"

namespace vorn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int kFrame = AudioFile::kFrameSamples;

// Serves fixed samples, at most `chunk` per read; throws `failure` once the
// samples are used up, when given one.
class MemoryAudioFile : public AudioFile {
 public:
  explicit MemoryAudioFile(std::vector<float> samples, std::size_t chunk = 1000,
                           std::optional<Error> failure = std::nullopt)
      : samples_(std::move(samples)), chunk_(chunk), failure_(std::move(failure)) {}

  std::size_t read(std::span<float> out) override {
    const std::size_t count = std::min({out.size(), chunk_, samples_.size() - at_});
    if (count == 0 && failure_) throw *failure_;
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(at_), count, out.begin());
    at_ += count;
    return count;
  }

 private:
  std::vector<float> samples_;
  std::size_t chunk_;
  std::size_t at_ = 0;
  std::optional<Error> failure_;
};

// Hears a word wherever a sound is: for each utterance, plays the next
// entry of its script, placing each word `offset` frames after the first
// sound in the utterance. A script entry may be empty (no words heard).
class FakeRecognizer : public UtteranceRecognizer {
 public:
  struct ScriptedWord {
    std::string text;
    int offset;  // frames after the sound starts
    int length;  // frames
  };

  explicit FakeRecognizer(std::vector<std::vector<ScriptedWord>> script)
      : script_(std::move(script)) {}

  std::vector<RecognizedWord> recognize(std::span<const float> samples) override {
    if (calls_ >= script_.size()) throw Error("the fake engine was given an unexpected utterance");
    const auto sound = std::find_if(samples.begin(), samples.end(), [](float s) { return s != 0; });
    const int soundFrame = static_cast<int>(sound - samples.begin()) / kFrame;
    std::vector<RecognizedWord> words;
    for (const ScriptedWord& word : script_[calls_]) {
      words.push_back({word.text, soundFrame + word.offset, soundFrame + word.offset + word.length - 1});
    }
    ++calls_;
    return words;
  }

 private:
  std::vector<std::vector<ScriptedWord>> script_;
  std::size_t calls_ = 0;
};

// Sample i of a sound the analyzer takes for speech: a tone that changes its
// pitch every 40 ms, as speech changes its sound. Starts at its peak, so its
// first sample is not zero.
float babble(int i) {
  constexpr std::array<double, 6> kPitches{300, 1200, 600, 2400, 450, 1800};
  const double pitch = kPitches[static_cast<std::size_t>(i / 640) % kPitches.size()];
  return 0.3f * static_cast<float>(std::cos(2 * std::numbers::pi * pitch * i / 16000));
}

// Bursts of babble 1 s long, starting at the given seconds, in `seconds` of
// digital silence. Bursts start on frame boundaries.
std::vector<float> bursts(std::initializer_list<int> starts, int seconds) {
  std::vector<float> samples(static_cast<std::size_t>(seconds) * 16000, 0.0f);
  for (const int start : starts) {
    for (int i = 0; i < 16000; ++i) samples[static_cast<std::size_t>(start * 16000 + i)] = babble(i);
  }
  return samples;
}

std::shared_ptr<SpeechTranscriber> transcriber(bool withTimes, std::string locale = "en-US") {
  return std::make_shared<SpeechTranscriber>(Locale{std::move(locale)},
                                             ResultAttributeOptions{.audioTimeRange = withTimes});
}

// What a result says, one entry per run: its characters and its time range,
// as "[start/timescale +duration/timescale]".
std::vector<std::string> describe(const SpeechTranscriberResult& result) {
  std::vector<std::string> runs;
  for (const AttributedString::Run& run : result.text.runs()) {
    std::ostringstream out;
    out << '"' << result.text.characters(run) << '"';
    if (const auto& range = run.attributes.audioTimeRange) {
      out << " [" << range->start.value << '/' << range->start.timescale << " +"
          << range->duration.value << '/' << range->duration.timescale << ']';
    }
    runs.push_back(out.str());
  }
  return runs;
}

// Everything published so far, and whether the sequence has been finished.
// Never blocks: a marker published now is seen only if the sequence is open.
struct Published {
  std::vector<SpeechTranscriberResult> results;
  bool finished = false;
};

Published readPublished(ResultsSequence& sequence) {
  SpeechTranscriberResult marker;
  marker.text.append("\x01marker", {});
  sequence.publish(marker);
  Published published;
  while (std::optional<SpeechTranscriberResult> result = sequence.next()) {
    if (result->text.characters() == marker.text.characters()) return published;
    published.results.push_back(std::move(*result));
  }
  published.finished = true;
  return published;
}

class EngineAnalyzerTest : public ::testing::Test {
 protected:
  // An analyzer whose recognizer plays `script`, counting how often one is made.
  std::unique_ptr<EngineAnalyzer> analyzer(std::shared_ptr<SpeechTranscriber> target,
                                           std::vector<std::vector<FakeRecognizer::ScriptedWord>> script) {
    // One decoder: the fake plays its script in call order.
    return std::make_unique<EngineAnalyzer>(
        std::move(target),
        [this, script](const AudioTraits&) {
          ++recognizersMade_;
          return std::make_unique<FakeRecognizer>(script);
        },
        EngineAnalyzer::Options{.decoders = 1});
  }

  int recognizersMade_ = 0;
};

// Three sounds, at 1 s, 3 s and 5 s: each its own utterance. The second
// holds no words, so it gives no result.
TEST_F(EngineAnalyzerTest, PublishesEachUtteranceWithWordsAsOneFinalResultTimedInTheFile) {
  auto target = transcriber(/*withTimes=*/true);
  auto analysis = analyzer(target, {{{"hello", 3, 8}, {"world", 12, 19}}, {}, {{"again", 5, 10}}});
  MemoryAudioFile file(bursts({1, 3, 5}, 7), /*chunk=*/777);

  const std::optional<CMTime> end = analysis->analyzeSequence(file);

  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->value, 7 * 16000);
  EXPECT_EQ(end->timescale, 16000);
  Published published = readPublished(target->results());
  EXPECT_FALSE(published.finished) << "finished before finalizeAndFinish";
  ASSERT_EQ(published.results.size(), 2u);
  for (const SpeechTranscriberResult& result : published.results) EXPECT_TRUE(result.isFinal);
  // A word `offset` frames after the sound at second s starts at sample
  // 16000 s + 160 offset of the file.
  EXPECT_THAT(describe(published.results[0]),
              ElementsAre("\"hello\" [16480/16000 +1280/16000]", "\" world\" [17920/16000 +3040/16000]"));
  EXPECT_THAT(describe(published.results[1]), ElementsAre("\"again\" [80800/16000 +1600/16000]"));
  EXPECT_EQ(recognizersMade_, 1);

  analysis->finalizeAndFinish(*end);
  EXPECT_TRUE(readPublished(target->results()).finished);
}

// Progress never runs ahead of what is published: whenever the analyzer
// says it is through some time, every utterance that starts before it has
// its result out. Silence counts as done, so it ends at the file's end.
TEST_F(EngineAnalyzerTest, ReportsProgressBehindEveryUnpublishedUtterance) {
  auto target = transcriber(true);
  auto analysis = analyzer(target, {{{"one", 3, 8}}, {{"two", 3, 8}}, {{"three", 3, 8}}});
  MemoryAudioFile file(bursts({1, 3, 5}, 9), /*chunk=*/777);
  struct Report {
    std::int64_t through;
    std::size_t published;
  };
  std::vector<Report> reports;
  std::size_t published = 0;
  analysis->setProgressHandler([&](CMTime through) {
    EXPECT_EQ(through.timescale, 16000);
    published += readPublished(target->results()).results.size();
    reports.push_back({through.value, published});
  });

  analysis->analyzeSequence(file);

  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.back().through, 9 * 16000);
  for (std::size_t i = 0; i < reports.size(); ++i) {
    if (i > 0) {
      EXPECT_GT(reports[i].through, reports[i - 1].through);
    }
    // Each utterance starts with a quarter second of the quiet before its
    // sound.
    std::size_t started = 0;
    for (const int second : {1, 3, 5}) started += reports[i].through > second * 16000 - 4000;
    EXPECT_LE(started, reports[i].published) << "at " << reports[i].through;
  }
  // Reports came while the file was read, not only at its end.
  EXPECT_LT(reports.front().through, 16000);
}

// Packed into windows, the three utterances of the test above reach the
// recognizer as one window of their samples laid end to end; the words come
// back at the same file times as when each utterance is decoded alone.
TEST(EngineAnalyzerPackingTest, WindowsMapWordsBackToTheirUtterances) {
  auto target = transcriber(/*withTimes=*/true);
  std::vector<std::size_t> windowLengths;
  // Hears a word 3 frames into every sound in the window, 5 frames long, and
  // one word overlapping the next, as estimated times can.
  class PieceRecognizer : public UtteranceRecognizer {
   public:
    explicit PieceRecognizer(std::vector<std::size_t>& lengths) : lengths_(lengths) {}
    std::vector<RecognizedWord> recognize(std::span<const float> samples) override {
      lengths_.push_back(samples.size());
      std::vector<RecognizedWord> words;
      for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] != 0 && (i == 0 || samples[i - 1] == 0)) {
          const int frame = static_cast<int>(i) / kFrame;
          words.push_back({std::string("w").append(std::to_string(words.size())), frame + 3, frame + 7});
        }
      }
      if (!words.empty()) words.push_back({"late", words.back().firstFrame, words.back().lastFrame});
      return words;
    }

   private:
    std::vector<std::size_t>& lengths_;
  };
  EngineAnalyzer analysis(
      target, [&](const AudioTraits&) { return std::make_unique<PieceRecognizer>(windowLengths); },
      EngineAnalyzer::Options{.decoders = 1, .windowSamples = 30 * 16000});
  MemoryAudioFile file(bursts({1, 3, 5}, 7), /*chunk=*/777);

  analysis.analyzeSequence(file);

  ASSERT_EQ(windowLengths.size(), 1u) << "the three utterances share one window";
  EXPECT_EQ(windowLengths[0], 72000u);
  Published published = readPublished(target->results());
  ASSERT_EQ(published.results.size(), 1u);
  // Each word 3 frames after its sound: 16480 = 16000 + 3 * 160, and so on;
  // "late" overlaps w2 and is moved to start where w2 ends.
  EXPECT_THAT(describe(published.results[0]),
              ElementsAre("\"w0\" [16480/16000 +800/16000]", "\" w1\" [48480/16000 +800/16000]",
                          "\" w2\" [80480/16000 +800/16000]", "\" late\" [81280/16000 +0/16000]"));
}

TEST_F(EngineAnalyzerTest, RunsCarryNoTimesUnlessAsked) {
  auto target = transcriber(/*withTimes=*/false);
  auto analysis = analyzer(target, {{{"hello", 3, 8}, {"world", 12, 19}}});
  MemoryAudioFile file(bursts({1}, 3));

  analysis->analyzeSequence(file);

  Published published = readPublished(target->results());
  ASSERT_EQ(published.results.size(), 1u);
  EXPECT_EQ(published.results[0].text.characters(), "hello world");
  EXPECT_THAT(describe(published.results[0]), ElementsAre("\"hello\"", "\" world\""));
}

TEST_F(EngineAnalyzerTest, EmptyFileGivesNoTimeAndFinishesTheResults) {
  auto target = transcriber(true);
  auto analysis = analyzer(target, {});
  MemoryAudioFile file(std::vector<float>{});

  EXPECT_EQ(analysis->analyzeSequence(file), std::nullopt);

  const Published published = readPublished(target->results());
  EXPECT_TRUE(published.finished);
  EXPECT_THAT(published.results, IsEmpty());
  EXPECT_EQ(recognizersMade_, 0);
}

// No model is loaded for a file without speech.
TEST_F(EngineAnalyzerTest, SilentFileGivesItsTimeWithoutMakingARecognizer) {
  auto target = transcriber(true);
  auto analysis = analyzer(target, {});
  MemoryAudioFile file(std::vector<float>(40000, 0.0f));

  const std::optional<CMTime> end = analysis->analyzeSequence(file);

  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->value, 40000);
  const Published published = readPublished(target->results());
  EXPECT_FALSE(published.finished);
  EXPECT_THAT(published.results, IsEmpty());
  EXPECT_EQ(recognizersMade_, 0);
}

TEST_F(EngineAnalyzerTest, ErrorsFromTheFileAndTheEngineReachTheCaller) {
  const struct {
    std::string name;
    std::vector<float> samples;
    std::optional<Error> fileFailure;
    RecognizerFactory factory;
    std::string expected;
  } cases[] = {
      {"file", bursts({1}, 2), Error("cannot read audio from a.wav: corrupt"),
       [](const AudioTraits&) { return std::make_unique<FakeRecognizer>(std::vector<std::vector<FakeRecognizer::ScriptedWord>>{{}}); },
       "cannot read audio from a.wav: corrupt"},
      {"model", bursts({1}, 2), std::nullopt,
       [](const AudioTraits&) -> std::unique_ptr<UtteranceRecognizer> { throw Error("no model"); }, "no model"},
      {"decoding", bursts({1}, 2), std::nullopt,
       [](const AudioTraits&) { return std::make_unique<FakeRecognizer>(std::vector<std::vector<FakeRecognizer::ScriptedWord>>{}); },
       "unexpected utterance"},
  };
  for (const auto& testCase : cases) {
    EngineAnalyzer analysis(transcriber(true), testCase.factory);
    MemoryAudioFile file(testCase.samples, 1000, testCase.fileFailure);
    try {
      analysis.analyzeSequence(file);
      ADD_FAILURE() << testCase.name << ": no error";
    } catch (const Error& error) {
      EXPECT_THAT(error.localizedDescription(), HasSubstr(testCase.expected)) << testCase.name;
    }
  }
}

TEST(EngineAnalyzerOnDeviceTest, EnglishIsAnyLocaleWithLanguageEn) {
  for (const char* english : {"en", "en-US", "en_GB", "EN-us", "En", "en-GB-oxford"}) {
    EXPECT_TRUE(DeviceSpeechPlatform::isEnglish(english)) << english;
  }
  for (const char* other : {"", "e", "eng", "enx-US", "fr-FR", "de_en", "-en", "_en", " en"}) {
    EXPECT_FALSE(DeviceSpeechPlatform::isEnglish(other)) << other;
  }
}

TEST(EngineAnalyzerOnDeviceTest, UnsupportedLocaleFailsWhenAnalysisStartsNamingIt) {
  const struct {
    std::string locale;
    std::string named;
  } cases[] = {{"fr-FR", "\"fr-FR\""}, {"fr\nFR", "\"fr\\nFR\""}};  // the message stays one line
  DeviceSpeechPlatform platform;
  for (const auto& [locale, named] : cases) {
    auto analysis = platform.makeAnalyzer(transcriber(true, locale));
    MemoryAudioFile file(bursts({1}, 2));
    try {
      analysis->analyzeSequence(file);
      ADD_FAILURE() << "analysed " << locale;
    } catch (const Error& error) {
      EXPECT_THAT(error.localizedDescription(), HasSubstr(named));
      EXPECT_EQ(error.localizedDescription().find('\n'), std::string::npos);
    }
  }
}

// The whole chain on a real recording: "had he married a more a amiable
// woman he might have been made still more respectable than he was".
TEST(EngineAnalyzerOnDeviceTest, TranscribesARecordingWithOrderedTimes) {
  const std::vector<std::string> expected = {"had", "he", "married", "a", "more", "a", "amiable",
                                             "woman", "he", "might", "have", "been", "made",
                                             "still", "more", "respectable", "than", "he", "was"};
  DeviceSpeechPlatform platform;
  auto target = transcriber(true, "en-US");
  auto analysis = platform.makeAnalyzer(target);
  auto file = platform.openAudioFile(FileURL::fromPath(
      "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0920.wav"));

  const std::optional<CMTime> end = analysis->analyzeSequence(*file);
  ASSERT_TRUE(end.has_value());
  analysis->finalizeAndFinish(*end);

  std::vector<std::string> words;
  std::int64_t previousStart = -1;
  for (const SpeechTranscriberResult& result : readPublished(target->results()).results) {
    for (const AttributedString::Run& run : result.text.runs()) {
      std::string word(result.text.characters(run));
      if (&run != &result.text.runs().front()) word.erase(0, 1);  // the space before it
      words.push_back(word);
      ASSERT_TRUE(run.attributes.audioTimeRange.has_value()) << word;
      const CMTimeRange& range = *run.attributes.audioTimeRange;
      EXPECT_EQ(range.start.timescale, 16000);
      EXPECT_GT(range.start.value, previousStart) << word;
      EXPECT_GT(range.duration.value, 0) << word;
      EXPECT_LE(range.start.value + range.duration.value, end->value) << word;
      previousStart = range.start.value;
    }
  }
  // The longest common subsequence with what was said.
  std::vector<std::vector<int>> common(expected.size() + 1, std::vector<int>(words.size() + 1));
  for (std::size_t i = 1; i <= expected.size(); ++i) {
    for (std::size_t j = 1; j <= words.size(); ++j) {
      common[i][j] = expected[i - 1] == words[j - 1] ? common[i - 1][j - 1] + 1
                                                     : std::max(common[i - 1][j], common[i][j - 1]);
    }
  }
  EXPECT_GE(common[expected.size()][words.size()], 14) << ::testing::PrintToString(words);
}

}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

// Names each utterance by its length in frames, taking longer the shorter
// the utterance, so that with several decoders later utterances finish
// first. Stateless, so every decoder's copy says the same.
class LengthRecognizer : public UtteranceRecognizer {
 public:
  std::vector<RecognizedWord> recognize(std::span<const float> samples) override {
    const int frames = static_cast<int>(samples.size()) / kFrame;
    std::this_thread::sleep_for(std::chrono::microseconds(std::max(0, 400 - frames) * 20));
    return {{std::to_string(frames), 0, 0}};
  }
};

std::vector<std::string> transcribeAll(const std::vector<float>& samples, RecognizerFactory factory, int decoders,
                                       std::size_t chunk = 1000) {
  auto target = transcriber(true);
  EngineAnalyzer analysis(target, std::move(factory), EngineAnalyzer::Options{.decoders = decoders});
  MemoryAudioFile file(samples, chunk);
  const std::optional<CMTime> end = analysis.analyzeSequence(file);
  if (end) analysis.finalizeAndFinish(*end);
  std::vector<std::string> all;
  for (const SpeechTranscriberResult& result : readPublished(target->results()).results) {
    for (const std::string& run : describe(result)) all.push_back(run);
  }
  return all;
}

TEST(EngineAnalyzerDecodersTest, ResultsLeaveInAudioOrderWhateverTheDecoderCount) {
  // Twenty bursts of growing length with pauses between: twenty utterances.
  std::vector<float> samples;
  for (int k = 0; k < 20; ++k) {
    samples.insert(samples.end(), 16000, 0.0f);
    for (int i = 0; i < 1600 * (k + 3); ++i) samples.push_back(babble(i));
  }
  samples.insert(samples.end(), 16000, 0.0f);
  const auto factory = [](const AudioTraits&) { return std::make_unique<LengthRecognizer>(); };
  const std::vector<std::string> one = transcribeAll(samples, factory, 1);
  ASSERT_EQ(one.size(), 20u);
  for (const int decoders : {2, 3, 8}) {
    EXPECT_EQ(transcribeAll(samples, factory, decoders, 777), one) << decoders << " decoders";
  }
}

TEST(EngineAnalyzerDecodersTest, StartsOnlyTheDecodersItNeeds) {
  std::atomic<int> made{0};
  const auto factory = [&made](const AudioTraits&) {
    ++made;
    return std::make_unique<LengthRecognizer>();
  };
  transcribeAll(bursts({1}, 3), factory, 4);  // one utterance: one model
  EXPECT_EQ(made, 1);
}

TEST(EngineAnalyzerDecodersTest, EveryRecognizerIsMadeForTheFilesSourceRate) {
  struct TelephoneFile : MemoryAudioFile {
    using MemoryAudioFile::MemoryAudioFile;
    int sourceSampleRate() const override { return 8000; }
  };
  std::mutex mutex;
  std::vector<int> rates;
  const auto factory = [&](const AudioTraits& traits) {
    std::lock_guard lock(mutex);
    rates.push_back(traits.sourceSampleRate);
    return std::make_unique<LengthRecognizer>();
  };
  auto target = transcriber(true);
  EngineAnalyzer analysis(target, factory, EngineAnalyzer::Options{.decoders = 3});
  TelephoneFile file(bursts({1, 3, 5, 7, 9, 11}, 13));
  analysis.analyzeSequence(file);
  ASSERT_FALSE(rates.empty());
  EXPECT_THAT(rates, ::testing::Each(8000));
}

// A call resampled to 16 kHz (here the reader's 16 kHz samples of an 8 kHz
// GSM file, served from memory, so with no source rate) is told from its
// spectrum; the wideband recording of the same speech is not.
TEST(EngineAnalyzerDecodersTest, EveryRecognizerIsMadeForTheMeasuredBandwidth) {
  const struct {
    std::string path;
    bool narrowband;
  } cases[] = {
      {testing::fixture("audio/speech_8k.gsm"), true},
      {VORN_SOURCE_DIR "/samples/sense-and-sensibility.flac", false},
  };
  for (const auto& c : cases) {
    std::mutex mutex;
    std::vector<AudioTraits> traits;
    const auto factory = [&](const AudioTraits& given) {
      std::lock_guard lock(mutex);
      traits.push_back(given);
      return std::make_unique<LengthRecognizer>();
    };
    auto target = transcriber(true);
    EngineAnalyzer analysis(target, factory,
                            EngineAnalyzer::Options{.decoders = 2, .measureBandwidth = true});
    MemoryAudioFile file(testing::readAllSamples(c.path));
    analysis.analyzeSequence(file);
    ASSERT_FALSE(traits.empty()) << c.path;
    EXPECT_THAT(traits, ::testing::Each(AudioTraits{.narrowbandSpeech = c.narrowband})) << c.path;
  }
}

// Serves `samples`; once `holdAt` of them are read, waits (at most
// `patience`) for a recognizer to be made before serving the rest.
class HoldingAudioFile : public MemoryAudioFile {
 public:
  HoldingAudioFile(std::vector<float> samples, std::size_t holdAt, std::chrono::milliseconds patience)
      : MemoryAudioFile(std::move(samples)), holdAt_(holdAt), patience_(patience) {}

  void recognizerMade() {
    {
      std::lock_guard lock(mutex_);
      made_ = true;
    }
    changed_.notify_all();
  }

  // Whether a recognizer was made before the file was read past `holdAt`.
  bool madeWhileReading() const { return madeWhileReading_; }

  std::size_t read(std::span<float> out) override {
    if (served_ >= holdAt_ && !held_) {
      held_ = true;
      std::unique_lock lock(mutex_);
      madeWhileReading_ = changed_.wait_for(lock, patience_, [this] { return made_; });
    }
    const std::size_t count = MemoryAudioFile::read(out);
    served_ += count;
    return count;
  }

 private:
  std::size_t holdAt_;
  std::chrono::milliseconds patience_;
  std::size_t served_ = 0;
  bool held_ = false;
  bool madeWhileReading_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool made_ = false;
};

// Measuring the bandwidth holds decoding back until enough speech is heard;
// an engine that does not ask for it has its first utterances decoded while
// the rest of the file is still being read. Here the file waits once its
// first utterance is complete, less speech than the meter needs.
TEST(EngineAnalyzerDecodersTest, DecodingWaitsForTheBandwidthOnlyWhenItIsMeasured) {
  const struct {
    bool measureBandwidth;
    std::chrono::milliseconds patience;
    bool madeWhileReading;
  } cases[] = {
      {false, std::chrono::seconds(20), true},
      {true, std::chrono::milliseconds(300), false},
  };
  for (const auto& c : cases) {
    HoldingAudioFile file(bursts({1, 3, 5, 7, 9}, 11), 4 * 16000 + 8000, c.patience);
    auto target = transcriber(true);
    EngineAnalyzer analysis(
        target,
        [&file](const AudioTraits&) {
          file.recognizerMade();
          return std::make_unique<LengthRecognizer>();
        },
        EngineAnalyzer::Options{.decoders = 1, .measureBandwidth = c.measureBandwidth});
    analysis.analyzeSequence(file);
    EXPECT_EQ(file.madeWhileReading(), c.madeWhileReading) << "measureBandwidth " << c.measureBandwidth;
    EXPECT_EQ(readPublished(target->results()).results.size(), 5u);
  }
}

TEST(EngineAnalyzerDecodersTest, ADecoderErrorStopsTheOthersAndLeaves) {
  struct Failing : UtteranceRecognizer {
    std::vector<RecognizedWord> recognize(std::span<const float>) override { throw Error("decoder broke"); }
  };
  auto target = transcriber(true);
  EngineAnalyzer analysis(target, [](const AudioTraits&) { return std::make_unique<Failing>(); },
                          EngineAnalyzer::Options{.decoders = 3});
  MemoryAudioFile file(bursts({1, 3, 5, 7, 9, 11, 13}, 15));
  try {
    analysis.analyzeSequence(file);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.localizedDescription(), "decoder broke");
  }
}

// The real engine gives the same words and times on one decoder and on
// several: no decoder state leaks from one utterance into the next.
TEST(EngineAnalyzerOnDeviceTest, SameTranscriptOnOneDecoderAndOnSeveral) {
  DeviceSpeechPlatform platform;
  std::vector<float> speech;
  for (const char* clip : {"0880", "0930", "0880"}) {
    auto file = platform.openAudioFile(FileURL::fromPath(
        std::string("/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-") + clip +
        ".wav"));
    std::vector<float> buffer(4096);
    while (const std::size_t n = file->read(buffer)) speech.insert(speech.end(), buffer.begin(), buffer.begin() + n);
    speech.insert(speech.end(), 16000, 0.0f);
  }
  const auto factory = [](const AudioTraits&) { return std::make_unique<PocketsphinxRecognizer>(); };
  const std::vector<std::string> one = transcribeAll(speech, factory, 1);
  EXPECT_GE(one.size(), 10u);
  EXPECT_EQ(transcribeAll(speech, factory, 3), one);
}

}  // namespace
}  // namespace vorn
