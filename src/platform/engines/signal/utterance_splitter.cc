#include "platform/engines/signal/utterance_splitter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/engines/signal/frame_level.h"

// Why a hand-written detector and not the engine's: pocketsphinx's front end
// has a voice-activity detector (-remove_silence, fe_get_vad_state), but it
// drops the silent frames and does not say where the ones it keeps were. It
// reports a frame index only where speech resumes, and not reliably: for a
// 1 s tone starting at frame 100 after low noise, where 80 was due (it keeps
// 20 frames before speech), it reported -10, and its state never returned
// to silence after it. Word times would be off by however much silence it
// dropped. Frame energy against an adaptive floor is enough to find pauses,
// puts every boundary on an exact sample, and serves any engine.

namespace vorn {
namespace {

// Frames either side of a candidate cut whose energies are averaged, so
// that the cut lands in a quiet stretch rather than on one quiet frame
// between two sounds.
constexpr int kCutSmoothingFrames = 2;

}  // namespace

UtteranceSplitter::UtteranceSplitter() : UtteranceSplitter(Options{}) {}

UtteranceSplitter::UtteranceSplitter(Options options) : options_(options) {}

void UtteranceSplitter::push(std::span<const float> samples) {
  for (const float sample : samples) {
    samples_.push_back(sample);
    ++totalSamples_;
    partialSum_ += sample;
    partialSquares_ += static_cast<double>(sample) * sample;
    if (++partialCount_ == AudioFile::kFrameSamples) completeFrame();
  }
  // A frame is judged once the floor's look-ahead has been read.
  const std::int64_t known = energiesBase_ + static_cast<std::int64_t>(energies_.size());
  while (nextDecision_ + options_.floorFramesAfter < known) decideFrame(nextDecision_++);
  discardUnneeded();
}

void UtteranceSplitter::flush() {
  if (ended_) return;
  ended_ = true;
  if (partialCount_ > 0) completeFrame();
  const std::int64_t known = energiesBase_ + static_cast<std::int64_t>(energies_.size());
  while (nextDecision_ < known) decideFrame(nextDecision_++);
  if (open_) closeUtterance();
  discardUnneeded();
}

std::optional<Utterance> UtteranceSplitter::take() {
  if (ready_.empty()) return std::nullopt;
  Utterance utterance = std::move(ready_.front());
  ready_.pop_front();
  return utterance;
}

std::int64_t UtteranceSplitter::pendingFrom() const {
  if (!ready_.empty()) return ready_.front().startSample;
  // Once the stream has ended every frame is judged, and what is still held
  // (the padding a next utterance could have reached back into) will never
  // be an utterance.
  return ended_ ? totalSamples_ : samplesBase_;
}

std::size_t UtteranceSplitter::heldSamples() const {
  std::size_t held = samples_.size();
  for (const Utterance& utterance : ready_) held += utterance.samples.size();
  return held;
}

void UtteranceSplitter::completeFrame() {
  energies_.push_back(frameLevelDb(partialSum_, partialSquares_, partialCount_));
  partialSum_ = 0.0;
  partialSquares_ = 0.0;
  partialCount_ = 0;
}

double UtteranceSplitter::energyDb(std::int64_t frame) const {
  return energies_[static_cast<std::size_t>(frame - energiesBase_)];
}

bool UtteranceSplitter::isLoud(std::int64_t frame) const {
  const double energy = energyDb(frame);
  if (energy < options_.minLoudDb) return false;
  const std::int64_t last = energiesBase_ + static_cast<std::int64_t>(energies_.size()) - 1;
  const std::int64_t from = std::max<std::int64_t>(frame - options_.floorFramesBefore, 0);
  const std::int64_t to = std::min<std::int64_t>(frame + options_.floorFramesAfter, last);
  double floor = energy;
  for (std::int64_t i = from; i <= to; ++i) floor = std::min(floor, energyDb(i));
  return energy >= floor + options_.thresholdDb;
}

void UtteranceSplitter::decideFrame(std::int64_t frame) {
  const bool loud = isLoud(frame);
  if (!open_) {
    if (!loud) return;
    open_ = true;
    utteranceBegin_ = std::max(frame - options_.paddingFrames, emittedEnd_);
    lastLoud_ = frame;
    loudCount_ = 1;
  } else if (loud) {
    lastLoud_ = frame;
    ++loudCount_;
  } else if (frame - lastLoud_ >= options_.pauseFrames) {
    closeUtterance();
    return;
  }

  if (frame + 1 - utteranceBegin_ >= options_.maxUtteranceFrames) {
    const std::int64_t cut = quietestFrame(utteranceBegin_ + options_.maxUtteranceFrames / 2,
                                           utteranceBegin_ + options_.maxUtteranceFrames);
    emit(utteranceBegin_, cut);
    utteranceBegin_ = cut;
    // What follows the cut continues speech already found to be speech.
    loudCount_ = std::max(loudCount_, options_.minSpeechFrames);
  }
}

void UtteranceSplitter::closeUtterance() {
  // Too few loud frames are a click. And when speech ended just before a
  // cut, what follows the cut is only the padding after it: nothing to say.
  if (loudCount_ >= options_.minSpeechFrames && lastLoud_ >= utteranceBegin_) {
    emit(utteranceBegin_, lastLoud_ + 1 + options_.paddingFrames);
  }
  open_ = false;
}

std::int64_t UtteranceSplitter::quietestFrame(std::int64_t begin, std::int64_t end) const {
  const std::int64_t last = energiesBase_ + static_cast<std::int64_t>(energies_.size()) - 1;
  std::int64_t quietest = begin;
  double lowest = std::numeric_limits<double>::infinity();
  for (std::int64_t candidate = begin; candidate < end; ++candidate) {
    const std::int64_t from = std::max(candidate - kCutSmoothingFrames, energiesBase_);
    const std::int64_t to = std::min(candidate + kCutSmoothingFrames, last);
    double sum = 0.0;
    for (std::int64_t i = from; i <= to; ++i) sum += energyDb(i);
    const double mean = sum / static_cast<double>(to - from + 1);
    if (mean < lowest) {
      lowest = mean;
      quietest = candidate;
    }
  }
  return quietest;
}

void UtteranceSplitter::emit(std::int64_t beginFrame, std::int64_t endFrame) {
  const std::int64_t begin = beginFrame * AudioFile::kFrameSamples;
  const std::int64_t end = std::min(endFrame * AudioFile::kFrameSamples, totalSamples_);
  emittedEnd_ = endFrame;
  if (end <= begin) return;
  const auto first = samples_.begin() + (begin - samplesBase_);
  ready_.push_back({begin, std::vector<float>(first, first + (end - begin))});
}

void UtteranceSplitter::discardUnneeded() {
  // The earliest frame a future utterance can start at.
  const std::int64_t neededFrame =
      open_ ? utteranceBegin_
            : std::max(emittedEnd_, nextDecision_ - options_.paddingFrames);
  const std::int64_t neededSample = std::min(neededFrame * AudioFile::kFrameSamples, totalSamples_);
  if (neededSample > samplesBase_) {
    samples_.erase(samples_.begin(), samples_.begin() + (neededSample - samplesBase_));
    samplesBase_ = neededSample;
  }
  const std::int64_t neededEnergy =
      std::max<std::int64_t>(std::min(neededFrame, nextDecision_ - options_.floorFramesBefore), 0);
  if (neededEnergy > energiesBase_) {
    energies_.erase(energies_.begin(), energies_.begin() + (neededEnergy - energiesBase_));
    energiesBase_ = neededEnergy;
  }
}

}  // namespace vorn
