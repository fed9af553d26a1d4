#include "platform/engines/signal/frame_level.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>

namespace vorn {
namespace {

TEST(FrameLevelTest, ReadsLevelsRelativeToFullScaleWithoutTheOffset) {
  const struct {
    std::string name;
    std::function<double(int)> sample;
    double levelDb;
  } cases[] = {
      {"digital silence", [](int) { return 0.0; }, kSilenceLevelDb},
      {"an offset alone is silence", [](int) { return 0.5; }, kSilenceLevelDb},
      {"full-scale square wave", [](int i) { return i % 2 ? 1.0 : -1.0; }, 0.0},
      {"full-scale sine", [](int i) { return std::sin(2 * std::numbers::pi * i / 32); }, -3.0103},
      {"a tenth, on an offset", [](int i) { return 0.3 + (i % 2 ? 0.1 : -0.1); }, -20.0},
  };
  for (const auto& c : cases) {
    double sum = 0;
    double squares = 0;
    for (int i = 0; i < 160; ++i) {
      sum += c.sample(i);
      squares += c.sample(i) * c.sample(i);
    }
    EXPECT_NEAR(frameLevelDb(sum, squares, 160), c.levelDb, 1e-3) << c.name;
    EXPECT_GE(frameLevelDb(sum, squares, 160), kSilenceLevelDb) << c.name;
  }
}

}  // namespace
}  // namespace vorn
