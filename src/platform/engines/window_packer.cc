#include "platform/engines/window_packer.h"

#include <algorithm>
#include <utility>

namespace vorn {

Window::Span Window::toFile(std::int64_t begin, std::int64_t end) const {
  if (pieces.empty()) return {0, 0};
  // The piece holding `begin`: the last one starting at or before it.
  auto piece = std::upper_bound(pieces.begin(), pieces.end(), begin,
                                [](std::int64_t at, const Piece& p) { return at < p.windowStart; });
  if (piece != pieces.begin()) --piece;
  const auto next = piece + 1;
  if (begin >= piece->windowStart + piece->length && next != pieces.end() && end > next->windowStart) {
    piece = next;
  }
  const std::int64_t offset = std::clamp<std::int64_t>(begin - piece->windowStart, 0, piece->length);
  const std::int64_t length = std::clamp<std::int64_t>(end - piece->windowStart, offset, piece->length);
  return {piece->fileStart + offset, piece->fileStart + length};
}

void WindowPacker::push(Utterance utterance) {
  const std::size_t length = utterance.samples.size();
  if (open_ && (maxSamples_ == 0 || open_->samples.size() + gapSamples_ + length > maxSamples_)) close();
  if (!open_) {
    open_.emplace();
  } else {
    open_->samples.resize(open_->samples.size() + gapSamples_, 0.0f);
  }
  open_->pieces.push_back({utterance.startSample, static_cast<std::int64_t>(open_->samples.size()),
                           static_cast<std::int64_t>(length)});
  open_->samples.insert(open_->samples.end(), utterance.samples.begin(), utterance.samples.end());
  if (maxSamples_ == 0 || open_->samples.size() + gapSamples_ >= maxSamples_) close();
}

void WindowPacker::flush() { close(); }

std::optional<Window> WindowPacker::take() {
  if (ready_.empty()) return std::nullopt;
  Window window = std::move(ready_.front());
  ready_.pop_front();
  return window;
}

std::optional<std::int64_t> WindowPacker::pendingFrom() const {
  if (!ready_.empty()) return ready_.front().pieces.front().fileStart;
  if (open_) return open_->pieces.front().fileStart;
  return std::nullopt;
}

void WindowPacker::close() {
  if (open_) ready_.push_back(std::move(*open_));
  open_.reset();
}

}  // namespace vorn
