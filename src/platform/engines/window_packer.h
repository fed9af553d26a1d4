#ifndef VORN_PLATFORM_ENGINES_WINDOW_PACKER_H_
#define VORN_PLATFORM_ENGINES_WINDOW_PACKER_H_

// Lays consecutive utterances end to end into windows of at most a given
// length, leaving out the pauses between them, and maps times in a window
// back onto the file's timeline.
//
// Engines such as whisper cost the same for every window whatever the
// length of the audio in it (they pad to 30 seconds), so decoding each short
// utterance alone would pay for a whole window each time. Packing decodes a
// minute of talk in two or three windows instead of twenty.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/engines/signal/utterance_splitter.h"

namespace vorn {

// Audio handed to a recognizer in one piece.
struct Window {
  // Where one utterance lies: samples [windowStart, windowStart + length)
  // of the window are samples [fileStart, fileStart + length) of the file.
  struct Piece {
    std::int64_t fileStart = 0;
    std::int64_t windowStart = 0;
    std::int64_t length = 0;
  };

  std::vector<Piece> pieces;  // in order from sample 0, maybe with silence between
  std::vector<float> samples;

  // A stretch [begin, end) of window samples, begin <= end, as file samples.
  // The start goes to its piece. A start in the silence between two pieces
  // goes to the start of the next one when the stretch reaches into it (a
  // word heard a little early), else to the end of the one before; a start
  // past the last piece goes to its end. The end stays in the start's
  // piece, clamped to its end, so a word never spans the pause that was
  // left out.
  struct Span {
    std::int64_t start = 0;
    std::int64_t end = 0;
  };
  Span toFile(std::int64_t begin, std::int64_t end) const;
};

class WindowPacker {
 public:
  // Windows hold at most `maxSamples` samples, except that an utterance
  // longer than that gets a window of its own. With 0 every utterance is a
  // window of its own. Consecutive utterances in a window are `gapSamples`
  // of digital silence apart: a recognizer that hears two utterances with
  // no pause between them can run their words together.
  explicit WindowPacker(std::size_t maxSamples, std::size_t gapSamples = 0)
      : maxSamples_(maxSamples), gapSamples_(gapSamples) {}

  // Adds the next utterance; utterances come in file order, not overlapping.
  void push(Utterance utterance);

  // Closes the window being filled.
  void flush();

  // The next full window, in file order, or nothing yet.
  std::optional<Window> take();

  // The file sample where the first utterance held (in a window not yet
  // taken, or the one being filled) starts; nothing when none is held.
  std::optional<std::int64_t> pendingFrom() const;

 private:
  void close();

  std::size_t maxSamples_;
  std::size_t gapSamples_;
  std::optional<Window> open_;
  std::deque<Window> ready_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_WINDOW_PACKER_H_
