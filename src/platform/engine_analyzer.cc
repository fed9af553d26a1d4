#include "platform/engine_analyzer.h"

#include <algorithm>
#include <utility>

#include "platform/error.h"
#include "platform/utterance_splitter.h"

namespace vorn {
namespace {

// How much audio one read asks for: small enough to keep memory flat, large
// enough that reading costs nothing next to decoding.
constexpr std::size_t kReadSamples = AudioFile::kSampleRate;

}  // namespace

EngineAnalyzer::EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber,
                               RecognizerFactory makeRecognizer)
    : transcriber_(std::move(transcriber)), makeRecognizer_(std::move(makeRecognizer)) {}

std::optional<CMTime> EngineAnalyzer::analyzeSequence(AudioFile& file) {
  const bool withTimes = transcriber_->attributeOptions().audioTimeRange;
  // Utterances are decoded one after another as they come out of the
  // splitter. Decoding them on several threads instead needs only one
  // recognizer per thread and publishing the results (resultFor is pure) in
  // utterance order.
  UtteranceSplitter splitter;
  auto decodeFinished = [&] {
    while (std::optional<Utterance> utterance = splitter.take()) {
      if (!recognizer_) {
        recognizer_ = makeRecognizer_();
        if (!recognizer_) throw Error("the speech engine could not be started");
      }
      const std::vector<RecognizedWord> words = recognizer_->recognize(utterance->samples);
      if (!words.empty()) {
        transcriber_->results().publish(resultFor(utterance->startSample, words, withTimes));
      }
    }
  };

  std::vector<float> buffer(kReadSamples);
  std::int64_t samplesRead = 0;
  while (const std::size_t count = std::min(file.read(buffer), buffer.size())) {
    samplesRead += static_cast<std::int64_t>(count);
    splitter.push(std::span<const float>(buffer).first(count));
    decodeFinished();
  }
  splitter.flush();
  decodeFinished();

  if (samplesRead == 0) {
    transcriber_->results().finish();
    return std::nullopt;
  }
  return CMTime{samplesRead, AudioFile::kSampleRate};
}

void EngineAnalyzer::finalizeAndFinish(CMTime /*through*/) { transcriber_->results().finish(); }

SpeechTranscriberResult EngineAnalyzer::resultFor(std::int64_t startSample,
                                                  const std::vector<RecognizedWord>& words,
                                                  bool withTimes) {
  constexpr std::int64_t kFrame = RecognizedWord::kSamplesPerFrame;
  SpeechTranscriberResult result;
  result.isFinal = true;
  for (const RecognizedWord& word : words) {
    const bool first = &word == &words.front();
    AttributeContainer attributes;
    if (withTimes) {
      attributes.audioTimeRange = CMTimeRange{
          .start = {startSample + word.firstFrame * kFrame, AudioFile::kSampleRate},
          .duration = {(word.lastFrame - word.firstFrame + 1) * kFrame, AudioFile::kSampleRate},
      };
    }
    result.text.append(first ? word.text : " " + word.text,
                       std::move(attributes));
  }
  return result;
}

}  // namespace vorn
