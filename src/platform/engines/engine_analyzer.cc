#include "platform/engines/engine_analyzer.h"

#include <algorithm>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "platform/engines/decoder_pool.h"
#include "platform/engines/signal/bandwidth_meter.h"
#include "platform/engines/signal/speech_likeness.h"
#include "platform/engines/signal/utterance_splitter.h"
#include "platform/engines/window_packer.h"

namespace vorn {
namespace {

// How much audio one read asks for: small enough to keep memory flat, large
// enough that reading costs nothing next to decoding.
constexpr std::size_t kReadSamples = AudioFile::kSampleRate;

}  // namespace

int EngineAnalyzer::defaultDecoderCount() {
  return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

EngineAnalyzer::EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber,
                               RecognizerFactory makeRecognizer)
    : EngineAnalyzer(std::move(transcriber), std::move(makeRecognizer), Options{}) {}

EngineAnalyzer::EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber,
                               RecognizerFactory makeRecognizer, Options options)
    : transcriber_(std::move(transcriber)),
      makeRecognizer_(std::move(makeRecognizer)),
      options_(options) {}

std::optional<CMTime> EngineAnalyzer::analyzeSequence(AudioFile& file) {
  // When the recognizers are made for the measured bandwidth of the speech,
  // nothing is decoded before the meter has heard enough speech (or the
  // file ends): the windows finished until then wait here.
  AudioTraits traits{.sourceSampleRate = file.sourceSampleRate()};
  std::optional<BandwidthMeter> bandwidth;
  if (options_.measureBandwidth) bandwidth.emplace();
  std::vector<Window> waiting;
  std::optional<DecoderPool> pool;
  UtteranceSplitter splitter;
  WindowPacker packer(options_.windowSamples, options_.joinGapSamples);
  // Moves what the splitter has finished on into the packer and what the
  // packer has finished on to the decoders; at the end of the file, both
  // are flushed first, in that order, so the last utterance is not left in
  // an open window.
  auto submitFinished = [&](bool atEnd) {
    if (atEnd) splitter.flush();
    // Music, tones and noise reach no engine: every engine finds words in
    // them.
    while (std::optional<Utterance> utterance = splitter.take()) {
      if (!soundsLikeSpeech(utterance->samples)) continue;
      if (!pool && bandwidth) bandwidth->add(utterance->samples);
      packer.push(std::move(*utterance));
    }
    if (atEnd) packer.flush();
    while (std::optional<Window> window = packer.take()) waiting.push_back(std::move(*window));
    const bool traitsKnown =
        !bandwidth || atEnd || bandwidth->measuredSeconds() >= BandwidthMeter::kEnoughSeconds;
    if (!pool && traitsKnown) {
      if (bandwidth) traits.narrowbandSpeech = bandwidth->narrowband();
      pool.emplace(makeRecognizer_, traits,
                   DecoderPool::Options{
                       .decoders = options_.decoders,
                       .withTimes = transcriber_->attributeOptions().audioTimeRange,
                   },
                   transcriber_->results());
    }
    if (!pool) return;
    for (Window& window : waiting) pool->submit(std::move(window));
    waiting.clear();
  };

  // How far the file is done: the start of the earliest audio still on its
  // way through the stages. They hold it in file order, decoders first.
  std::int64_t reported = 0;
  auto reportDone = [&] {
    std::optional<std::int64_t> pending = pool ? pool->pendingFrom() : std::nullopt;
    if (!pending && !waiting.empty()) pending = waiting.front().pieces.front().fileStart;
    if (!pending) pending = packer.pendingFrom();
    const std::int64_t done = pending ? *pending : splitter.pendingFrom();
    if (done <= reported) return;
    reported = done;
    reportProgress(CMTime{done, AudioFile::kSampleRate});
  };

  std::vector<float> buffer(kReadSamples);
  std::int64_t samplesRead = 0;
  while (const std::size_t count = std::min(file.read(buffer), buffer.size())) {
    samplesRead += static_cast<std::int64_t>(count);
    splitter.push(std::span<const float>(buffer).first(count));
    submitFinished(false);
    reportDone();
  }
  submitFinished(true);
  pool->drain(reportDone);
  reportDone();

  if (samplesRead == 0) {
    transcriber_->results().finish();
    return std::nullopt;
  }
  return CMTime{samplesRead, AudioFile::kSampleRate};
}

void EngineAnalyzer::finalizeAndFinish(CMTime /*through*/) { transcriber_->results().finish(); }

}  // namespace vorn
