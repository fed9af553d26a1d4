#ifndef VORN_PLATFORM_SPEECH_ENGINE_H_
#define VORN_PLATFORM_SPEECH_ENGINE_H_

// What the transcription needs of a speech engine and of the audio-file
// reader. The transcription code sees only these types; the engines behind
// them (and the test double beside them) live in their own files, so adding
// an engine never touches the transcription.
//
// The shape: a SpeechTranscriber is a recognition module configured with a
// locale and attribute options; a SpeechAnalyzer drives it with audio; the
// transcriber's results sequence delivers what was recognised, to a reader on
// another thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/attributed_string.h"
#include "platform/audio_file.h"
#include "platform/cm_time.h"
#include "platform/file_url.h"
#include "platform/results_sequence.h"

namespace vorn {

struct Locale {
  std::string identifier;  // as given, unchecked
};

// Which attributes a transcriber attaches to the runs of its results' text.
struct ResultAttributeOptions {
  bool audioTimeRange = false;
};

// A recognition module. Construction cannot fail: a locale the engine cannot
// serve is reported when analysis starts, through the normal error route.
//
// Shared by the analyzer, which publishes results into it, and by the reader
// of its results; both may do so from different threads.
class SpeechTranscriber {
 public:
  SpeechTranscriber(Locale locale, ResultAttributeOptions attributeOptions)
      : locale_(std::move(locale)), attributeOptions_(attributeOptions) {}

  const Locale& locale() const noexcept { return locale_; }
  const ResultAttributeOptions& attributeOptions() const noexcept { return attributeOptions_; }

  // The sequence of this transcriber's results. Every result from the start
  // is delivered, also those published before the reader first asks.
  ResultsSequence& results() noexcept { return results_; }

 private:
  Locale locale_;
  ResultAttributeOptions attributeOptions_;
  ResultsSequence results_;
};

// Drives one transcriber with audio. Single-use; its methods are called from
// one thread, in order: analyzeSequence once, then finalizeAndFinish at most
// once.
class SpeechAnalyzer {
 public:
  virtual ~SpeechAnalyzer() = default;

  // Feeds the whole file and returns when it has been fed, with the time of
  // its last sample, or nothing when the file held no audio. When nothing is
  // returned, the analyzer ends the transcriber's results by itself once the
  // results it produced have been published. Throws vorn::Error.
  virtual std::optional<CMTime> analyzeSequence(AudioFile& file) = 0;

  // Makes every result up to `through` final and published, then ends the
  // transcriber's results. Throws vorn::Error.
  virtual void finalizeAndFinish(CMTime through) = 0;

  // How far the analysis has got: every result for the audio before
  // `finalizedThrough` is final and published (or that audio held nothing
  // to recognise). Called on the thread running analyzeSequence, with
  // times that only rise; an analyzer may call it seldom or never.
  using ProgressHandler = std::function<void(CMTime finalizedThrough)>;

  // Set before analyzeSequence; an empty handler (the default) hears nothing.
  void setProgressHandler(ProgressHandler handler) { progressHandler_ = std::move(handler); }

 protected:
  void reportProgress(CMTime finalizedThrough) const {
    if (progressHandler_) progressHandler_(finalizedThrough);
  }

 private:
  ProgressHandler progressHandler_;
};

// The platform's speech services: the seam between the transcription and the
// real engines, and where tests put a scripted engine instead.
class SpeechPlatform {
 public:
  virtual ~SpeechPlatform() = default;

  // An analyzer driving `transcriber`. Cannot fail; must be cheap (no model
  // is loaded before analysis starts).
  virtual std::unique_ptr<SpeechAnalyzer> makeAnalyzer(
      std::shared_ptr<SpeechTranscriber> transcriber) = 0;

  // Opens the audio file for reading. Throws vorn::Error naming the file and
  // what is wrong with it.
  virtual std::unique_ptr<AudioFile> openAudioFile(const FileURL& url) = 0;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_SPEECH_ENGINE_H_
