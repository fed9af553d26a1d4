#include "platform/engines/window_packer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace vorn {
namespace {

Utterance utterance(std::int64_t start, std::size_t length) {
  return {start, std::vector<float>(length, static_cast<float>(start))};
}

std::vector<Window> packAll(std::size_t maxSamples, const std::vector<Utterance>& utterances,
                            std::size_t gapSamples = 0) {
  WindowPacker packer(maxSamples, gapSamples);
  std::vector<Window> windows;
  for (const Utterance& u : utterances) {
    packer.push(u);
    while (auto w = packer.take()) windows.push_back(std::move(*w));
  }
  packer.flush();
  while (auto w = packer.take()) windows.push_back(std::move(*w));
  return windows;
}

TEST(WindowPackerTest, LaysUtterancesEndToEndUpToTheWindowLength) {
  // 400 + 300 fit in 1000; 500 more do not; 1200 is longer than a window.
  const std::vector<Window> windows =
      packAll(1000, {utterance(100, 400), utterance(2000, 300), utterance(5000, 500),
                     utterance(9000, 1200), utterance(20000, 10)});

  ASSERT_EQ(windows.size(), 4u);
  ASSERT_EQ(windows[0].pieces.size(), 2u);
  EXPECT_EQ(windows[0].samples.size(), 700u);
  EXPECT_EQ(windows[0].pieces[1].fileStart, 2000);
  EXPECT_EQ(windows[0].pieces[1].windowStart, 400);
  EXPECT_EQ(windows[0].samples[399], 100.0f);  // the samples are the utterances' own
  EXPECT_EQ(windows[0].samples[400], 2000.0f);
  EXPECT_EQ(windows[1].samples.size(), 500u);
  EXPECT_EQ(windows[2].samples.size(), 1200u);
  EXPECT_EQ(windows[3].pieces[0].fileStart, 20000);
}

TEST(WindowPackerTest, LeavesSilenceBetweenUtterancesAndCountsItInTheLength) {
  // 400 + 100 + 300 fit in 1000; a third utterance of 150 would need 1050
  // with its gap, so it starts the next window, with no silence before it.
  const std::vector<Window> windows =
      packAll(1000, {utterance(100, 400), utterance(2000, 300), utterance(5000, 150)}, 100);

  ASSERT_EQ(windows.size(), 2u);
  ASSERT_EQ(windows[0].pieces.size(), 2u);
  EXPECT_EQ(windows[0].samples.size(), 800u);
  EXPECT_EQ(windows[0].pieces[1].windowStart, 500);
  EXPECT_EQ(windows[0].samples[399], 100.0f);
  EXPECT_EQ(windows[0].samples[400], 0.0f);
  EXPECT_EQ(windows[0].samples[499], 0.0f);
  EXPECT_EQ(windows[0].samples[500], 2000.0f);
  EXPECT_EQ(windows[1].pieces[0].windowStart, 0);
  EXPECT_EQ(windows[1].samples.size(), 150u);
}

TEST(WindowPackerTest, WithoutALengthEveryUtteranceIsAWindow) {
  const std::vector<Window> windows = packAll(0, {utterance(0, 10), utterance(50, 10)});
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[1].pieces[0].fileStart, 50);
  EXPECT_EQ(windows[1].pieces[0].windowStart, 0);
}

TEST(WindowTest, MapsSpansBackOntoTheFile) {
  Window window;
  window.pieces = {{1000, 0, 400}, {5000, 400, 300}};
  struct Case {
    std::int64_t begin, end, start, stop;
  } cases[] = {
      {0, 160, 1000, 1160},      // inside the first piece
      {400, 560, 5000, 5160},    // inside the second
      {320, 480, 1320, 1400},    // across the join: the end stays in the start's piece
      {690, 900, 5290, 5300},    // past the window's end: clamped to the last piece
      {900, 1000, 5300, 5300},   // wholly past the end
      {-50, 10, 1000, 1010},     // before the start
  };
  for (const Case& c : cases) {
    const Window::Span span = window.toFile(c.begin, c.end);
    EXPECT_EQ(span.start, c.start) << c.begin << ".." << c.end;
    EXPECT_EQ(span.end, c.stop) << c.begin << ".." << c.end;
  }
}

TEST(WindowTest, MapsSpansThatStartInTheSilenceBetweenPieces) {
  Window window;
  window.pieces = {{1000, 0, 400}, {5000, 500, 300}};  // silence at 400..500
  struct Case {
    std::int64_t begin, end, start, stop;
  } cases[] = {
      {450, 600, 5000, 5100},   // heard early: the word is the next piece's
      {420, 480, 1400, 1400},   // wholly in the silence: the end of the piece before
      {380, 450, 1380, 1400},   // from the first piece into the silence
  };
  for (const Case& c : cases) {
    const Window::Span span = window.toFile(c.begin, c.end);
    EXPECT_EQ(span.start, c.start) << c.begin << ".." << c.end;
    EXPECT_EQ(span.end, c.stop) << c.begin << ".." << c.end;
  }
}

}  // namespace
}  // namespace vorn
