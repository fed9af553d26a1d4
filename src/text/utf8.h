#ifndef VORN_TEXT_UTF8_H_
#define VORN_TEXT_UTF8_H_

#include <string>
#include <string_view>

namespace vorn {

// Returns `text` with every ill-formed UTF-8 sequence replaced by U+FFFD
// (EF BF BD), one replacement per maximal subpart of an ill-formed sequence,
// as Unicode recommends (and as common string types do when they decode
// bytes). Well-formed text comes back unchanged.
std::string makeValidUtf8(std::string_view text);

// The code points of `text`, each ill-formed sequence decoded as U+FFFD as
// makeValidUtf8 replaces it.
std::u32string decodeUtf8(std::string_view text);

// `codePoints` as UTF-8. Each must be a Unicode scalar value.
std::string encodeUtf8(std::u32string_view codePoints);

// True when `text` is well-formed UTF-8 (no surrogates, no overlong forms,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// `text` without its leading and trailing whitespace and newlines: the
// Unicode space separators (general category Zs), U+0009 to U+000D, U+0085,
// U+2028 and U+2029. Whitespace between other characters stays. Bytes that
// are not well-formed UTF-8 count as non-whitespace.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

// `text` made safe to embed in a one-line message: well-formed UTF-8 (see
// makeValidUtf8) with every control character (U+0000-U+001F, U+007F) and
// backslash escaped as \n, \r, \t, \\ or \xNN. The result never holds a
// line break, so a message quoting a user's path or locale stays one line.
std::string printableInLine(std::string_view text);

}  // namespace vorn

#endif  // VORN_TEXT_UTF8_H_
