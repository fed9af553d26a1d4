#include "platform/engines/signal/word_edges.h"

#include <algorithm>
#include <cstddef>

#include "platform/engines/signal/frame_level.h"

namespace vorn {
namespace {

constexpr double kBelowPeakDb = 30.0;
constexpr double kAboveFloorDb = 6.0;
constexpr int kMostOutwardFrames = 10;
std::vector<double> frameLevels(std::span<const float> samples) {
  const std::size_t step = AudioFile::kFrameSamples;
  std::vector<double> levels;
  levels.reserve(samples.size() / step + 1);
  for (std::size_t begin = 0; begin < samples.size(); begin += step) {
    const std::size_t end = std::min(samples.size(), begin + step);
    double sum = 0;
    double squares = 0;
    for (std::size_t i = begin; i < end; ++i) {
      sum += samples[i];
      squares += static_cast<double>(samples[i]) * samples[i];
    }
    levels.push_back(frameLevelDb(sum, squares, static_cast<int>(end - begin)));
  }
  return levels;
}

}  // namespace

std::vector<RecognizedWord> fitWordEdges(std::vector<RecognizedWord> words,
                                         std::span<const float> samples) {
  const std::vector<double> levels = frameLevels(samples);
  std::vector<double> heard;
  for (double level : levels) {
    if (level > kSilenceLevelDb) heard.push_back(level);
  }
  if (heard.empty() || words.empty()) return words;
  const auto tenth = heard.begin() + static_cast<std::ptrdiff_t>(heard.size() / 10);
  std::nth_element(heard.begin(), tenth, heard.end());
  const double floor = *tenth;
  const int lastFrame = static_cast<int>(levels.size()) - 1;

  for (std::size_t i = 0; i < words.size(); ++i) {
    RecognizedWord& word = words[i];
    int first = std::clamp(word.firstFrame, 0, lastFrame);
    int last = std::clamp(word.lastFrame, first, lastFrame);
    const double peak = *std::max_element(levels.begin() + first, levels.begin() + last + 1);
    const double threshold = std::max(peak - kBelowPeakDb, floor + kAboveFloorDb);
    if (peak < threshold) continue;
    auto sound = [&](int f) { return levels[static_cast<std::size_t>(f)] >= threshold; };

    const int earliest = i > 0 ? words[i - 1].lastFrame + 1 : 0;
    const int latest = i + 1 < words.size() ? words[i + 1].firstFrame - 1 : lastFrame;
    if (!sound(first)) {
      while (!sound(first)) ++first;
    } else {
      for (int n = 0; n < kMostOutwardFrames && first - 1 >= earliest && sound(first - 1); ++n) --first;
    }
    if (!sound(last)) {
      while (!sound(last)) --last;
    } else {
      for (int n = 0; n < kMostOutwardFrames && last + 1 <= latest && sound(last + 1); ++n) ++last;
    }
    word.firstFrame = first;
    word.lastFrame = last;
  }
  return words;
}

}  // namespace vorn
