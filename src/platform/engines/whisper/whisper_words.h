#ifndef VORN_PLATFORM_ENGINES_WHISPER_WHISPER_WORDS_H_
#define VORN_PLATFORM_ENGINES_WHISPER_WHISPER_WORDS_H_

// How whisper's tokens become the words of the document. whisper writes
// byte-level word pieces: a piece may hold part of a character, a word of a
// spaced language begins with a space, languages written without spaces
// (Chinese, Japanese, Thai, Lao, Burmese, Khmer) have none, and real models
// write what they hear besides speech as text ("[BLANK_AUDIO]", "(laughs)",
// "* DING *", "♪").

#include <cstdint>
#include <string>
#include <vector>

#include "platform/engines/utterance_recognizer.h"

namespace vorn {

// One token as whisper.cpp reports it, with its times in 10 ms steps from
// the start of the audio decoded.
struct WhisperToken {
  std::string text;  // its bytes: a word piece, possibly part of a character
  std::int64_t start = 0;
  std::int64_t end = 0;
  // A timestamp or control token, or the start of a segment: its text is
  // not written, and the piece after it starts a word.
  bool special = false;

  friend bool operator==(const WhisperToken&, const WhisperToken&) = default;
};

// The words the tokens spell, in order:
// - Pieces are taken together until their bytes are whole UTF-8 characters
//   (a special token or the end cuts a broken character short, and its bytes
//   are written as U+FFFD).
// - A piece starts a new word after a special token, when spaces come before
//   it (its own or a piece of nothing but spaces), and when it or the piece
//   before it is of a script written without spaces; otherwise it continues
//   the word before. Never inside a grapheme cluster, though: a piece that
//   is a mark of the character before (a Thai vowel sign, an accent)
//   continues that word unless spaces come between. Spaces are not part of
//   words.
// - What is not speech is left out: a span from a word that opens with "[",
//   "(", "*" or a music sign to the closer that ends it ("]", ")", "*",
//   a music sign) within one segment, keeping any punctuation after the
//   closer. An unclosed "[" runs to its segment's end; any other unclosed
//   opener is an ordinary mark (dropped when it stands alone). Music signs
//   are never written.
// - Punctuation joins a word: opening quotes and brackets the word after,
//   the rest the word before, except hyphens that stand alone between
//   spaces (speaker turns, spaced dashes), which join no word. A word with
//   no letter or digit is dropped.
// - A word runs from its first piece's start to its last piece's end,
//   punctuation not counted, on frames within [0, lastFrame]: the model's
//   times can reach past the audio.
std::vector<RecognizedWord> joinWhisperTokens(const std::vector<WhisperToken>& tokens,
                                              int lastFrame);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_WHISPER_WHISPER_WORDS_H_
