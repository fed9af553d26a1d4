#ifndef VORN_PLATFORM_ENGINES_SIGNAL_UTTERANCE_SPLITTER_H_
#define VORN_PLATFORM_ENGINES_SIGNAL_UTTERANCE_SPLITTER_H_

// Cuts a stream of audio into utterances at pauses, so that an engine can
// decode each one as a whole while the stream is still being read, holding
// only a bounded amount of audio.
//
// Speech is told from pauses by the energy of 10 ms frames against a noise
// floor that adapts to the recording. Deterministic: the same samples give
// the same utterances however they are split into pushes.
//
//   UtteranceSplitter splitter;
//   while (std::size_t n = file.read(buffer)) {
//     splitter.push(std::span(buffer).first(n));
//     while (auto utterance = splitter.take()) decode(*utterance);
//   }
//   splitter.flush();
//   while (auto utterance = splitter.take()) decode(*utterance);

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "platform/audio_file.h"

namespace vorn {

// A stretch of the stream holding speech, with some quiet kept on each side.
struct Utterance {
  std::int64_t startSample = 0;  // where samples[0] is in the stream
  std::vector<float> samples;    // the stream's samples, unchanged
};

class UtteranceSplitter {
 public:
  // Lengths are in frames of AudioFile::kFrameSamples.
  struct Options {
    // A quiet stretch at least this long ends an utterance; a shorter one
    // (a comma, a breath) stays inside it.
    int pauseFrames = 50;
    // Quiet kept before the first and after the last loud frame, so that
    // soft word edges (an initial "f", a final "s") are not clipped.
    // Less than pauseFrames; never reaches into the previous utterance.
    int paddingFrames = 25;
    // Fewer loud frames than this, with no pause between them, are a click
    // or a knock, not speech, and are dropped.
    int minSpeechFrames = 10;
    // Speech that runs on without a pause is cut into utterances no longer
    // than this, each cut at the quietest point of the second half.
    int maxUtteranceFrames = 2000;
    // A frame is loud when its energy is this far above the noise floor.
    double thresholdDb = 10.0;
    // ... and above this level (dB relative to full scale), so that a
    // recording of near-silence gives no speech however quiet its floor.
    double minLoudDb = -60.0;
    // The noise floor at a frame is the lowest frame energy from this many
    // frames before it to this many after it: long enough that speech
    // always has a quiet frame in it, short enough to follow a change of
    // background noise within seconds.
    int floorFramesBefore = 300;
    int floorFramesAfter = 100;
  };

  UtteranceSplitter();
  explicit UtteranceSplitter(Options options);

  // Adds the next samples of the stream (mono, [-1, 1]). Not after flush().
  void push(std::span<const float> samples);

  // Ends the stream: whatever speech is still open becomes an utterance.
  void flush();

  // The next finished utterance, in stream order, or nothing yet.
  // Utterances never overlap.
  std::optional<Utterance> take();

  // The first sample of the stream whose fate is still open: every sample
  // before it has been taken as part of an utterance or judged to hold no
  // speech. After flush(), with every utterance taken, the stream's length.
  std::int64_t pendingFrom() const;

  // Samples held, finished utterances not yet taken included. While the
  // caller takes utterances after each push, this stays below
  // (maxUtteranceFrames + paddingFrames + floorFramesAfter + 1) frames plus
  // the last push.
  std::size_t heldSamples() const;

 private:
  void completeFrame();
  void decideFrame(std::int64_t frame);
  bool isLoud(std::int64_t frame) const;
  double energyDb(std::int64_t frame) const;
  void closeUtterance();
  std::int64_t quietestFrame(std::int64_t begin, std::int64_t end) const;
  void emit(std::int64_t beginFrame, std::int64_t endFrame);
  void discardUnneeded();

  Options options_;

  // Sums over the frame being filled.
  double partialSum_ = 0.0;
  double partialSquares_ = 0.0;
  int partialCount_ = 0;

  std::deque<float> samples_;  // stream samples from samplesBase_
  std::int64_t samplesBase_ = 0;
  std::int64_t totalSamples_ = 0;
  std::deque<double> energies_;  // frame energies in dB from energiesBase_
  std::int64_t energiesBase_ = 0;
  std::int64_t nextDecision_ = 0;  // first frame not yet judged loud or quiet
  bool ended_ = false;

  // The speech being gathered into an utterance, when open_.
  bool open_ = false;
  std::int64_t utteranceBegin_ = 0;  // frame
  std::int64_t lastLoud_ = 0;
  int loudCount_ = 0;
  std::int64_t emittedEnd_ = 0;  // frame where the last utterance ended

  std::deque<Utterance> ready_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SIGNAL_UTTERANCE_SPLITTER_H_
