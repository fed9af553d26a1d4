#include "platform/engines/signal/frame_level.h"

#include <algorithm>
#include <cmath>

namespace vorn {

namespace {

// Added to every variance: 10 log10 of it is kSilenceLevelDb exactly.
constexpr double kSilenceVariance = 1e-10;

}  // namespace

double frameLevelDb(double sum, double sumOfSquares, int count) {
  const double frames = count;
  const double mean = sum / frames;
  const double variance = std::max(sumOfSquares / frames - mean * mean, 0.0);
  return 10.0 * std::log10(variance + kSilenceVariance);
}

}  // namespace vorn
