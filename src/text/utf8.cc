#include "text/utf8.h"

#include <cstdint>

namespace vorn {

namespace {

// One step of decoding: the code point at the front of `text` and how many
// bytes it took, or, for an ill-formed sequence, no code point and the length
// of its maximal subpart (at least 1). Follows the table of well-formed byte
// sequences in the Unicode standard (chapter 3, table 3-7).
struct Decoded {
  char32_t codePoint;
  std::size_t length;
  bool valid;
};

Decoded decodeFront(std::string_view text) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return {lead, 1, true};

  std::size_t need;
  std::uint8_t low = 0x80, high = 0xBF;  // range of the second byte
  char32_t cp;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {0, 1, false};
  }

  for (std::size_t k = 1; k <= need; ++k) {
    if (k >= text.size()) return {0, k, false};
    const std::uint8_t b = byte(k);
    const std::uint8_t lo = k == 1 ? low : 0x80;
    const std::uint8_t hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) return {0, k, false};
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return {cp, need + 1, true};
}

bool isWhitespaceOrNewline(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

}  // namespace

std::string makeValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const Decoded d = decodeFront(text);
    if (d.valid) {
      out.append(text.substr(0, d.length));
    } else {
      out.append("\xEF\xBF\xBD");
    }
    text.remove_prefix(d.length);
  }
  return out;
}

std::u32string decodeUtf8(std::string_view text) {
  std::u32string codePoints;
  while (!text.empty()) {
    const Decoded decoded = decodeFront(text);
    codePoints += decoded.valid ? decoded.codePoint : U'\uFFFD';
    text.remove_prefix(decoded.length);
  }
  return codePoints;
}

std::string encodeUtf8(std::u32string_view codePoints) {
  std::string bytes;
  for (const char32_t c : codePoints) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

bool isValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const Decoded d = decodeFront(text);
    if (!d.valid) return false;
    text.remove_prefix(d.length);
  }
  return true;
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  std::size_t begin = text.size();  // first byte of the first kept character
  std::size_t end = 0;              // one past the last kept character
  for (std::size_t pos = 0; pos < text.size();) {
    const Decoded d = decodeFront(text.substr(pos));
    if (!d.valid || !isWhitespaceOrNewline(d.codePoint)) {
      if (begin == text.size()) begin = pos;
      end = pos + d.length;
    }
    pos += d.length;
  }
  if (begin >= end) return {};
  return text.substr(begin, end - begin);
}

std::string printableInLine(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : makeValidUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace vorn
