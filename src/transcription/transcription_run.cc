#include "transcription/transcription_run.h"

#include <exception>
#include <optional>
#include <thread>
#include <vector>

#include "output/result_document.h"
#include "transcription/segment_collector.h"

namespace vorn {

namespace {

// What the collector thread leaves behind. Written by that thread only, and
// read by the run only after joining it, so it needs no lock.
struct CollectorOutcome {
  std::vector<Segment> segments;
  std::exception_ptr error;
};

}  // namespace

std::string runTranscription(const FileURL& audioURL, const std::string& locale,
                             SpeechPlatform& platform, ProgressMeter* progress) {
  const Locale platformLocale{locale};
  ResultAttributeOptions attributeOptions;
  attributeOptions.audioTimeRange = true;
  auto transcriber = std::make_shared<SpeechTranscriber>(platformLocale, attributeOptions);
  std::unique_ptr<SpeechAnalyzer> analyzer = platform.makeAnalyzer(transcriber);
  std::unique_ptr<AudioFile> audioFile = platform.openAudioFile(audioURL);
  if (progress) {
    progress->start(audioFile->duration());
    analyzer->setProgressHandler([progress](CMTime through) { progress->advance(through); });
  }

  CollectorOutcome outcome;
  std::jthread collector([transcriber, &outcome](std::stop_token stop) {
    try {
      outcome.segments = collectSegments(transcriber, stop);
    } catch (...) {
      outcome.error = std::current_exception();
    }
  });

  try {
    if (const std::optional<CMTime> lastSampleTime = analyzer->analyzeSequence(*audioFile)) {
      analyzer->finalizeAndFinish(*lastSampleTime);
    }
  } catch (...) {
    // Stop path: the engine's error is the one that leaves; whatever the
    // collector gathered or threw meanwhile is dropped with it.
    collector.request_stop();
    collector.join();
    throw;
  }

  collector.join();
  if (outcome.error) std::rethrow_exception(outcome.error);
  std::string document = encodeResultDocument(locale, outcome.segments);
  if (progress) progress->finish();
  return document;
}

}  // namespace vorn
