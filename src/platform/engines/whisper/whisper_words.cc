#include "platform/engines/whisper/whisper_words.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

#include "text/grapheme.h"
#include "text/utf8.h"

namespace vorn {
namespace {

using Range = std::pair<char32_t, char32_t>;

bool inRanges(char32_t c, std::initializer_list<Range> ranges) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [c](const Range& r) { return c >= r.first && c <= r.second; });
}

// Scripts whose words are not separated by spaces: each whole piece of them
// is a word of its own, as in openai-whisper's word timing.
bool isSpaceless(char32_t c) {
  return inRanges(c, {
                         {0x0E00, 0x0E7F},    // Thai
                         {0x0E80, 0x0EFF},    // Lao
                         {0x1000, 0x109F},    // Myanmar
                         {0x1780, 0x17FF},    // Khmer
                         {0x19E0, 0x19FF},    // Khmer symbols
                         {0x2E80, 0x2FDF},    // CJK radicals
                         {0x3005, 0x3007},    // ideographic iteration, closing, zero
                         {0x3021, 0x3029},    // Hangzhou numerals
                         {0x3031, 0x3035},    // kana repeat marks
                         {0x3038, 0x303C},
                         {0x3040, 0x30FA},    // Hiragana, Katakana
                         {0x30FC, 0x30FF},
                         {0x31F0, 0x31FF},    // Katakana extensions
                         {0x3400, 0x4DBF},    // CJK extension A
                         {0x4E00, 0x9FFF},    // CJK unified ideographs
                         {0xA9E0, 0xA9FF},    // Myanmar extended B
                         {0xAA60, 0xAA7F},    // Myanmar extended A
                         {0xF900, 0xFAFF},    // CJK compatibility ideographs
                         {0xFF66, 0xFF9F},    // half-width Katakana
                         {0x20000, 0x3FFFF},  // CJK extensions B and on
                     });
}

bool isMusicSign(char32_t c) {
  return inRanges(c, {{0x2669, 0x266F}, {0x1F3B5, 0x1F3B6}, {0x1F3BC, 0x1F3BC}});
}

// Marks that attach to a word rather than being one. Symbols that can stand
// for a word ("&", "$", "%", "+") are not among them.
bool isPunctuation(char32_t c) {
  switch (c) {
    case '!': case '"': case '\'': case '(': case ')': case '*': case ',': case '-':
    case '.': case ':': case ';': case '?': case '[': case ']': case '_': case '`':
    case '{': case '}': case '~':
      return true;
    default:
      break;
  }
  return inRanges(c, {
                         {0x00A1, 0x00A1}, {0x00AB, 0x00AB}, {0x00B7, 0x00B7},
                         {0x00BB, 0x00BB}, {0x00BF, 0x00BF},   // ¡ « · » ¿
                         {0x0589, 0x0589},                      // Armenian full stop
                         {0x060C, 0x060C}, {0x061B, 0x061B},
                         {0x061F, 0x061F}, {0x06D4, 0x06D4},   // Arabic
                         {0x0964, 0x0965},                      // Devanagari danda
                         {0x104A, 0x104B},                      // Myanmar
                         {0x17D4, 0x17D6},                      // Khmer
                         {0x2010, 0x2027}, {0x2030, 0x205E},   // general punctuation
                         {0x3001, 0x3003}, {0x3008, 0x3011},
                         {0x3014, 0x301F}, {0x30FB, 0x30FB},   // CJK
                         {0xFF01, 0xFF0F}, {0xFF1A, 0xFF20},
                         {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65},   // full-width
                     });
}

// Punctuation that belongs to the word after it.
bool isOpening(char32_t c) {
  switch (c) {
    case '"': case '\'': case '(': case '[': case '{': case 0x00A1: case 0x00AB:
    case 0x00BF: case 0x2018: case 0x201C: case 0x3008: case 0x300A: case 0x300C:
    case 0x300E: case 0x3010: case 0xFF08: case 0xFF3B:
      return true;
    default:
      return false;
  }
}

bool isSpace(char32_t c) { return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x3000; }

bool isWordCharacter(char32_t c) { return !isPunctuation(c) && !isSpace(c) && !isMusicSign(c); }

// What closes a span of non-speech that `opener` opens, if it opens one.
std::optional<char32_t> annotationCloser(char32_t opener) {
  switch (opener) {
    case '[': return U']';
    case '(': return U')';
    case '*': return U'*';
    case 0xFF08: return char32_t{0xFF09};  // full-width parentheses
    case 0x3010: return char32_t{0x3011};  // black lenticular brackets
    default: return isMusicSign(opener) ? std::optional<char32_t>(opener) : std::nullopt;
  }
}

// Square brackets hold nothing but descriptions of sound ("[Music]",
// "[BLANK_AUDIO]"), so an unclosed one still opens one, to its segment's
// end. Parentheses, stars and music signs also appear alone (a sung line
// marked with one sign, an aside the model never closed), and words after
// them are speech.
bool opensEvenUnclosed(char32_t opener) { return opener == '[' || opener == 0x3010; }

// A hyphen standing between spaces is a dash of no word: a speaker turn
// ("- Hello. - Hi.") or a break ("Wait - what?"). Joined to the word before
// it would read as a word cut short ("I- I think"), which whisper writes
// without the space.
bool isSpacedHyphen(const std::u32string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char32_t c) { return c == '-'; });
}

// Whole characters of one or more tokens, with what the rules need to know.
struct Piece {
  std::u32string text;  // without leading spaces
  std::int64_t start = 0;
  std::int64_t end = 0;
  bool spaceBefore = false;   // leading spaces, or a piece of lone spaces before it
  bool afterSpecial = false;  // first after a special token
  int segment = 0;
};

struct RawWord {
  std::u32string text;
  std::optional<std::int64_t> start, end;  // of its pieces that hold a word character
  int segment = 0;
};

bool any(const std::u32string& text, bool (*test)(char32_t)) {
  return std::any_of(text.begin(), text.end(), test);
}

std::vector<Piece> wholePieces(const std::vector<WhisperToken>& tokens) {
  std::vector<Piece> pieces;
  std::string bytes;
  std::int64_t start = 0;
  std::int64_t end = 0;
  int segment = 0;
  bool spaces = false;
  bool special = true;
  auto emit = [&] {
    if (bytes.empty()) return;
    const std::u32string text = decodeUtf8(bytes);
    bytes.clear();
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    if (first == text.end()) {  // lone spaces start a new word
      spaces = true;
      return;
    }
    pieces.push_back({std::u32string(first, text.end()), start, end,
                      spaces || first != text.begin(), special, segment});
    spaces = false;
    special = false;
  };
  for (const WhisperToken& token : tokens) {
    if (token.special) {
      emit();
      special = true;
      ++segment;
      continue;
    }
    if (bytes.empty()) start = token.start;
    bytes += token.text;
    end = std::max(token.end, start);
    if (isValidUtf8(bytes)) emit();
  }
  emit();
  return pieces;
}

std::vector<RawWord> rawWords(const std::vector<Piece>& pieces) {
  std::vector<RawWord> words;
  bool previousSpaceless = false;
  for (const Piece& piece : pieces) {
    const bool spaceless = isSpaceless(piece.text.front());
    // A mark the model wrote as a token of its own stays with its character.
    const bool insideCharacter = !words.empty() && !piece.spaceBefore &&
                                 !isGraphemeBoundary(words.back().text, piece.text);
    if (!insideCharacter && (words.empty() || piece.afterSpecial || piece.spaceBefore ||
                             spaceless || previousSpaceless)) {
      words.push_back({{}, std::nullopt, std::nullopt, piece.segment});
    }
    previousSpaceless = spaceless;
    RawWord& word = words.back();
    word.text += piece.text;
    if (any(piece.text, isWordCharacter)) {
      if (!word.start) word.start = piece.start;
      word.end = std::max(piece.end, *word.start);
    }
  }
  return words;
}

// Where a span that `words[i]` opens with `closer` ends, within its
// segment: the word that closes it and the position just past the closer
// (past a run of music signs for one), or nothing when it stays open.
std::optional<std::pair<std::size_t, std::size_t>> annotationEnd(const std::vector<RawWord>& words,
                                                                 std::size_t i, char32_t closer) {
  for (std::size_t k = i; k < words.size() && words[k].segment == words[i].segment; ++k) {
    const std::u32string& text = words[k].text;
    const std::size_t from = k == i ? 1 : 0;
    if (isMusicSign(closer)) {
      const auto sign = std::find_if(text.begin() + from, text.end(), isMusicSign);
      if (sign == text.end()) continue;
      const auto after = std::find_if_not(sign, text.end(), isMusicSign);
      return std::pair(k, static_cast<std::size_t>(after - text.begin()));
    }
    const std::size_t at = text.find(closer, from);
    if (at != std::u32string::npos) return std::pair(k, at + 1);
  }
  return std::nullopt;
}

// Leaves out the spans of non-speech, but not the punctuation that follows
// one ("Okay (laughs)." ends a sentence), and every music sign.
std::vector<RawWord> withoutAnnotations(std::vector<RawWord> words) {
  std::vector<RawWord> kept;
  for (std::size_t i = 0; i < words.size(); ++i) {
    RawWord& word = words[i];
    if (const std::optional<char32_t> closer = annotationCloser(word.text.front())) {
      const auto end = annotationEnd(words, i, *closer);
      if (end) {
        const auto [j, past] = *end;
        std::u32string after = words[j].text.substr(past);
        std::erase_if(after, isMusicSign);
        if (!after.empty() && !any(after, isWordCharacter)) {
          kept.push_back({std::move(after), std::nullopt, std::nullopt, words[j].segment});
        }
        i = j;
        continue;
      }
      if (opensEvenUnclosed(word.text.front())) {
        while (i + 1 < words.size() && words[i + 1].segment == word.segment) ++i;
        continue;
      }
      // An opener left alone marks nothing the reader can place.
      if (!any(word.text, isWordCharacter)) continue;
    }
    std::erase_if(word.text, isMusicSign);
    if (!word.text.empty()) kept.push_back(std::move(word));
  }
  return kept;
}

// Joins the words of punctuation alone to their neighbours.
std::vector<RawWord> withPunctuationJoined(std::vector<RawWord> words) {
  std::vector<RawWord> joined;
  std::u32string opening;  // waiting for the word after it
  for (RawWord& word : words) {
    if (any(word.text, isWordCharacter)) {
      word.text = opening + word.text;
      opening.clear();
      joined.push_back(std::move(word));
    } else if (std::all_of(word.text.begin(), word.text.end(), isOpening)) {
      opening += word.text;
    } else if (!joined.empty() && !isSpacedHyphen(word.text)) {
      joined.back().text += word.text;
    }
  }
  return joined;
}

}  // namespace

std::vector<RecognizedWord> joinWhisperTokens(const std::vector<WhisperToken>& tokens,
                                              int lastFrame) {
  auto frame = [lastFrame](std::int64_t t) {
    return static_cast<int>(std::clamp<std::int64_t>(t, 0, std::max(0, lastFrame)));
  };
  std::vector<RecognizedWord> words;
  for (const RawWord& word :
       withPunctuationJoined(withoutAnnotations(rawWords(wholePieces(tokens))))) {
    const int first = frame(*word.start);
    const int last = frame(std::max(*word.start, *word.end - 1));
    words.push_back({encodeUtf8(word.text), first, std::max(first, last)});
  }
  return words;
}

}  // namespace vorn
