#ifndef VORN_TEXT_GRAPHEME_H_
#define VORN_TEXT_GRAPHEME_H_

#include <string_view>

namespace vorn {

// True when `before` followed by `after` has a grapheme-cluster boundary
// (what a reader sees as one character: a letter with its marks, a Hangul
// syllable from its jamo, an emoji sequence) exactly where `after` begins,
// by Unicode's extended grapheme cluster rules (UAX #29). True when either
// side is empty. Text may be cut into words only at such boundaries.
bool isGraphemeBoundary(std::u32string_view before, std::u32string_view after);

}  // namespace vorn

#endif  // VORN_TEXT_GRAPHEME_H_
